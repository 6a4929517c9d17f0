#pragma once
// What the Firebird layer's handles stand for: a connection with its work transaction, a
// command (one prepared statement) and a reader (an open result).
//
// Transactions: a statement that changes metadata (DDL, or a write to a system table) runs in
// a transaction of its own, committed when it returns; every other statement runs in the
// connection's work transaction, started when first needed. "Commit" commits the work
// transaction (and succeeds when there is none); a rollback undoes it; detaching rolls back
// whatever is left.

#include "enginerules.h"
#include "fbhandles.h"
#include "fboptions.h"
#include "fbvalue.h"

#include <deque>
#include <optional>

namespace fb {

struct Object {
    virtual ~Object() = default;
};

struct Reader;

struct Connection final : Object {
    explicit Connection(const FbApi &api) : api(api), attachment(api) {}
    const FbApi &api;
    Attachment attachment;
    ConnectOptions options;
    std::string tpb;
    std::optional<Transaction> work;
    std::vector<std::uint64_t> commands; // handles of the commands made on it
    std::vector<Reader *> readers;       // its open results

    Transaction &workTransaction();
    void commitWork();
    void rollbackWork();
};

enum class CommandKind { Other, Select, Metadata, Commit, Rollback, TriggerSwitch };

struct Command final : Object {
    explicit Command(Connection &c) : connection(&c), statement(c.api) {}
    Connection *connection;
    Statement statement;
    ResultArea out;
    CommandKind kind = CommandKind::Other;
    enginerules::Rule rule;
    std::int64_t rows = 0;
    std::uint64_t reader = 0;

    void prepare(const QString &sql);
    // Runs the statement; true when it opened a result to read.
    bool execute();
};

struct Reader final : Object {
    static constexpr std::size_t batch = 512;
    explicit Reader(Command &c) : command(&c) {}
    Command *command;
    bool cursorOpen = true;
    bool exhausted = false;   // the engine has said "no more rows": fetching again is an error
    std::deque<Row> buffered; // rows taken off the cursor, not yet delivered
    Row current;
    bool hasRow = false;

    Row readRow();
    bool fetch();
    void closeCursor();
    // Takes what the cursor still has to deliver into memory (a commit is about to close it).
    void keepRest();
};

} // namespace fb
