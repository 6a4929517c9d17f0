#pragma once
// The boundary between the connection and query objects and the database's client library: as
// small as what they call. Every failure comes as TDBXError (errors.h), carrying the layer's own
// text and, where the engine gave them, its error codes. Objects made by another must go before
// it: a reader before its command, a command before its connection.

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

namespace dbx {

// The codes a TDBXError carries for failures of the layer itself.
enum Code : int {
    UnsupportedFieldType = 3,
    InvalidOrdinal = 8,
    NoMoreRows = 10,
    DriverInit = 22,     // the client library cannot be loaded or lacks an entry point
    DatabaseMissing = 34, // no database named in the entries
    VendorError = 101, // the engine refused: its text and codes say why
};

// What a cancel asks of the statement running on a connection.
enum class Cancel : int { Disable = 1, Enable = 2, Raise = 3 };

struct Entry {
    QString name;
    QString value;
    bool operator==(const Entry &) const = default;
};
using EntryList = QList<Entry>;

enum class ColumnKind { Text, Integer, Other };

struct ColumnInfo {
    QString name;
    ColumnKind kind = ColumnKind::Other;
    int size = 0;
    int scale = 0;
};

// One value of the current row: text as the layer delivers it (a scaled number in decimal), and
// whole numbers as numbers too.
struct Value {
    bool null = true;
    bool isInteger = false;
    std::int64_t integer = 0;
    QByteArray text;
};

// An open result, read forward.
class Reader {
public:
    virtual ~Reader() = default;
    virtual const QList<ColumnInfo> &columns() const = 0;
    // Moves to the next row; false at the end of the result.
    virtual bool next() = 0;
    // Column ordinal of the current row.
    virtual Value value(int ordinal) const = 0;
};

// One prepared statement.
class Command {
public:
    virtual ~Command() = default;
    // Runs the statement; one that returns rows gives its open result.
    virtual std::unique_ptr<Reader> execute() = 0;
    // Rows the last execution inserted, updated or deleted.
    virtual std::int64_t rowsAffected() const = 0;
};

// An attached database. When it goes, what was not committed is undone and the file let go of.
class Connection {
public:
    virtual ~Connection() = default;
    // dialect: the SQL dialect the statement is written in; 0 for the connection's own.
    virtual std::unique_ptr<Command> prepare(const QString &sql, int dialect = 0) = 0;
    // The database string the engine attached: the one asked for, or "localhost:" and the path
    // when a running server holds the file.
    virtual QString attachedAs() const = 0;
    // True when identifiers may stand between double quotes (SQL dialect 3).
    virtual bool quotedIdentifiers() const = 0;
    // Undoes every statement not yet committed.
    virtual void rollback() = 0;
    // Stops the statement running, or keeps statements from being stopped. Safe from another
    // thread while the connection is in use.
    virtual void cancel(Cancel what) noexcept = 0;
};

// The engine's service manager on the server that holds a database (or the embedded engine's
// own): what only the engine itself may do to a database file. Each call returns once the
// engine has done it, or throws what the engine said. Paths are the server's.
class Services {
public:
    virtual ~Services() = default;
    // Single-user shutdown, refused at once while any other attachment exists: afterwards the
    // engine admits one attachment of the database's owner or administrator, and no other. A
    // full shutdown admits none, and the server lets go of the file.
    virtual void shutDown(const QString &database, bool full = false) = 0;
    // Back to normal from any shutdown.
    virtual void bringOnline(const QString &database) = 0;
    // A backup of database in the engine's backup format, written by the server into file.
    virtual void backUp(const QString &database, const QString &file) = 0;
    // Makes database anew from a backup, replacing it.
    virtual void restore(const QString &file, const QString &database) = 0;
    // The engine's physical copy of database (its pages, as nbackup level 0 writes them), written
    // by the server into file, which must not exist; past the database's own triggers.
    virtual void copyPages(const QString &database, const QString &file) = 0;
    // Makes database, which must not exist, from such a copy: the copy's pages, and the state
    // of a database of its own (no longer under the backup lock).
    virtual void putPagesBack(const QString &file, const QString &database) = 0;
    // Deletes database, which nobody else may have attached, without firing its own triggers.
    virtual void drop(const QString &database) = 0;
};

class Layer {
public:
    virtual ~Layer() = default;
    // Loads the client library at the first call; once loaded it stays, and later calls do
    // nothing. A library that cannot be loaded leaves nothing loaded, so the next call tries again.
    virtual void load() = 0;
    // Attaches with the entry list (keys looked up ignoring letter case).
    virtual std::unique_ptr<Connection> connect(const EntryList &entries) = 0;
    // The service manager of the engine that serves the entries' "Database" (a database string
    // as attachedAs() gives it), logged in with their user and password.
    virtual std::unique_ptr<Services> services(const EntryList &entries) = 0;
};

} // namespace dbx
