#pragma once

#include "dbxlayer.h"

#include <map>
#include <memory>

struct FbApi;

// The database layer over the Firebird client library, loaded with the dynamic loader at the
// first connect and kept for the life of the process. A plain path opens the file through
// the embedded engine, or through the local server when a running server holds the file;
// "host:path" goes to a server.
//
// Transactions: a statement that changes metadata (DDL, or a write to an RDB$ table) runs in
// a transaction of its own, committed when it returns; every other statement runs in the
// connection's work transaction, started when first needed. The statement "Commit" commits
// the work transaction (and succeeds when there is none); rollback() undoes it; detaching
// rolls back whatever is left.
class FbClientLayer final : public dbx::Layer {
public:
    static constexpr const char *defaultLibrary = "libfbclient.so.2";
    static FbClientLayer &instance();

    explicit FbClientLayer(QString library = QString::fromLatin1(defaultLibrary));
    ~FbClientLayer() override;
    FbClientLayer(const FbClientLayer &) = delete;
    FbClientLayer &operator=(const FbClientLayer &) = delete;

    QString libraryName() const override { return library_; }
    dbx::LoadResult loadLibrary() override;
    void unloadLibrary() override;
    int getDriver(const dbx::EntryList &entries, QString &errorText, dbx::Handle &driver) override;
    int createConnection(dbx::Handle driver, dbx::Handle &connection) override;
    int connect(dbx::Handle connection, const dbx::EntryList &entries) override;
    int getIsolation(dbx::Handle connection, int &level) override;
    int getVendorProperty(dbx::Handle connection, const QString &name, QString &value) override;
    int createCommand(dbx::Handle connection, const QString &type, dbx::Handle &command) override;
    int prepare(dbx::Handle command, const QString &sql, int parameterCount) override;
    int execute(dbx::Handle command, dbx::Handle &reader) override;
    int rowsAffected(dbx::Handle command, std::int64_t &rows) override;
    int columnCount(dbx::Handle reader, int &count) override;
    int columnMetadata(dbx::Handle reader, int ordinal, dbx::ColumnInfo &info) override;
    int next(dbx::Handle reader) override;
    int getString(dbx::Handle reader, int ordinal, QByteArray &value, bool &isNull) override;
    int getInt64(dbx::Handle reader, int ordinal, std::int64_t &value, bool &isNull) override;
    int errorMessageLength(dbx::Handle handle, int code, int &length) override;
    int errorMessage(dbx::Handle handle, int code, QString &text) override;
    int close(dbx::Handle handle) override;
    int setCallbackEvent(dbx::Handle connection) override;
    int rollback(dbx::Handle connection) override;

    struct Object;

private:
    void prepareEngineSettings();
    template <class T> T *get(dbx::Handle h);
    dbx::Handle add(std::unique_ptr<Object> object);
    template <class F> int guarded(dbx::Handle h, F &&body);

    QString library_;
    void *dl_ = nullptr;
    std::unique_ptr<FbApi> api_;
    std::map<dbx::Handle, std::unique_ptr<Object>> objects_;
    std::map<dbx::Handle, QString> errors_;
    dbx::Handle nextHandle_ = 1;
};
