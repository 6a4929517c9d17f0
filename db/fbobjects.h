#pragma once
// The Firebird layer's objects: a connection with its work transaction, a command (one prepared
// statement) and a reader (an open result).
//
// Transactions: every statement runs in the connection's work transaction, started when first
// needed, and is sent as written, with one exception the query objects document: the statement
// "Commit" is not sent to the engine but commits the work transaction (and succeeds when there is
// none). A rollback undoes the work transaction; a connection that goes undoes whatever is left.

#include "dbxlayer.h"
#include "fbhandles.h"
#include "fboptions.h"
#include "fbvalue.h"

#include <deque>
#include <optional>

namespace fb {

class Reader;

class Connection final : public dbx::Connection {
public:
    // Attaches to the database string given (options.database, or "localhost:" and it).
    Connection(const FbApi &api, ConnectOptions options, const QString &database);
    ~Connection() override;

    std::unique_ptr<dbx::Command> prepare(const QString &sql, int dialect = 0) override;
    QString attachedAs() const override { return attachedAs_; }
    bool quotedIdentifiers() const override { return options_.dialect == 3; }
    void rollback() override;
    void cancel(dbx::Cancel what) noexcept override;

    // For the commands and readers made on it.
    const FbApi &api() const { return api_; }
    Attachment &attachment() { return attachment_; }
    int dialect() const { return options_.dialect; }
    Transaction &workTransaction();
    void commitWork();
    void opened(Reader *reader) { readers_.push_back(reader); }
    void closed(Reader *reader);

private:
    const FbApi &api_;
    ConnectOptions options_;
    QString attachedAs_;
    std::string tpb_;
    Attachment attachment_;
    std::optional<Transaction> work_;
    std::vector<Reader *> readers_; // its open results
};

// One result at a time: a command runs again once its reader has gone.
class Command final : public dbx::Command {
public:
    Command(Connection &connection, const QString &sql, int dialect);

    std::unique_ptr<dbx::Reader> execute() override;
    std::int64_t rowsAffected() const override { return rows_; }

    Connection &connection() const { return *connection_; }
    Statement &statement() { return statement_; }
    ResultArea &out() { return out_; }

private:
    enum class Kind { Other, Select, Commit };
    Connection *connection_;
    Statement statement_;
    ResultArea out_;
    Kind kind_ = Kind::Other;
    std::int64_t rows_ = 0;
};

class Reader final : public dbx::Reader {
public:
    static constexpr std::size_t batch = 512;
    explicit Reader(Command &command);
    ~Reader() override;
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    const QList<dbx::ColumnInfo> &columns() const override { return columns_; }
    bool next() override;
    dbx::Value value(int ordinal) const override;

    // Takes what the cursor still has to deliver into memory (a commit is about to close it).
    void keepRest();
    // The engine's cursor went with its transaction: deliver what is kept, then end.
    void cursorGone() { cursorOpen_ = false; }
    void dropKept() { buffered_.clear(); }

private:
    Row readRow();
    Command *command_;
    QList<dbx::ColumnInfo> columns_;
    bool cursorOpen_ = true;
    bool exhausted_ = false;   // the engine has said "no more rows": fetching again is an error
    std::deque<Row> buffered_; // rows taken off the cursor, not yet delivered
    Row current_;
    bool hasRow_ = false;
};

} // namespace fb
