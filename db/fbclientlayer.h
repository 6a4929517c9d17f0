#pragma once
// The database layer over the Firebird client library. A plain path opens the file through
// the embedded engine, or through the local server when a running server holds the file;
// "host:path" goes to a server. How statements map onto transactions: fbobjects.h.

#include "dbxlayer.h"

#include <map>
#include <memory>
#include <mutex>

struct FbApi;
namespace fb {
struct Object;
}

class FbClientLayer final : public dbx::Layer {
public:
    static constexpr const char *defaultLibrary = "libfbclient.so.2";

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
    QList<long> errorEngineCodes(dbx::Handle handle) override;
    int close(dbx::Handle handle) override;
    int setCallbackEvent(dbx::Handle connection) override;
    int rollback(dbx::Handle connection) override;
    int cancel(dbx::Handle connection, dbx::Cancel what) override;

private:
    struct Failure {
        QString text;
        QList<long> engineCodes;
    };
    template <class T> T *get(dbx::Handle h);
    dbx::Handle add(std::unique_ptr<fb::Object> object);
    // Runs body; a failure becomes the layer's code, its text kept for the handle.
    template <class F> int guarded(dbx::Handle h, F &&body);
    void release(fb::Object *object, dbx::Handle handle);

    QString library_;
    const FbApi *api_ = nullptr;
    // Every call comes from the thread running the connection, but a cancel, which may come
    // from any thread while it runs: the registry is shared with it.
    mutable std::recursive_mutex registry_;
    std::map<dbx::Handle, std::unique_ptr<fb::Object>> objects_;
    std::map<dbx::Handle, Failure> errors_;
    dbx::Handle nextHandle_ = 1;
};
