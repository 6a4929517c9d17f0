#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// The boundary to the database layer: one call per entry point the connection and the
// query objects use. Every call returns 0 or an error code; the text for a code is asked
// for afterwards on the handle the failing call used.
namespace dbx {

using Handle = std::uint64_t; // 0: no handle

enum Code : int {
    Ok = 0,
    InvalidHandle = 4,
    NotSupported = 5,
    UnsupportedFieldType = 3,
    EndOfRows = 10,
    DriverInit = 22,
    NoData = 100,
    VendorError = 101,
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

struct LoadResult {
    enum Status { Loaded, LibraryMissing, ProcedureMissing } status = Loaded;
    int osError = 0;   // with LibraryMissing
    QString procedure; // with ProcedureMissing
};

class Layer {
public:
    virtual ~Layer() = default;

    // The library this layer loads at the first connect.
    virtual QString libraryName() const = 0;
    // Loads the library and resolves every entry point; on failure nothing stays loaded.
    virtual LoadResult loadLibrary() = 0;
    virtual void unloadLibrary() = 0;

    virtual int getDriver(const EntryList &entries, QString &errorText, Handle &driver) = 0;
    virtual int createConnection(Handle driver, Handle &connection) = 0;
    virtual int connect(Handle connection, const EntryList &entries) = 0;
    virtual int getIsolation(Handle connection, int &level) = 0;
    virtual int getVendorProperty(Handle connection, const QString &name, QString &value) = 0;
    virtual int createCommand(Handle connection, const QString &type, Handle &command) = 0;
    virtual int prepare(Handle command, const QString &sql, int parameterCount) = 0;
    virtual int execute(Handle command, Handle &reader) = 0;
    virtual int rowsAffected(Handle command, std::int64_t &rows) = 0;
    virtual int columnCount(Handle reader, int &count) = 0;
    virtual int columnMetadata(Handle reader, int ordinal, ColumnInfo &info) = 0;
    virtual int next(Handle reader) = 0;
    virtual int getString(Handle reader, int ordinal, QByteArray &value, bool &isNull) = 0;
    virtual int getInt64(Handle reader, int ordinal, std::int64_t &value, bool &isNull) = 0;
    virtual int errorMessageLength(Handle handle, int code, int &length) = 0;
    virtual int errorMessage(Handle handle, int code, QString &text) = 0;
    // The engine's own error codes behind the last failure on handle; empty when it has none.
    virtual QList<long> errorEngineCodes(Handle) { return {}; }
    virtual int close(Handle handle) = 0;
    virtual int setCallbackEvent(Handle connection) = 0;
    // Undoes the connection's uncommitted work (used to undo a failed conversion).
    virtual int rollback(Handle connection) = 0;
    // Stops the statement running on the connection, or keeps it from being stopped. Safe to
    // call from another thread while the connection is in use.
    virtual int cancel(Handle connection, Cancel what) = 0;

    // The driver is loaded once per process and kept; 0 while not loaded.
    Handle driver() const { return driver_; }
    void setDriver(Handle driver) { driver_ = driver; }

    // The one way from a nonzero code to an exception: TDBXError with the layer's own
    // text for that code, or "DBX Error:  %s" with the code's description when it has none.
    void check(Handle handle, int code);

private:
    Handle driver_ = 0;
};

} // namespace dbx
