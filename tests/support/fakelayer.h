#pragma once

#include "dbxlayer.h"

#include <QMap>
#include <QSet>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <mutex>

// A database layer that records every call and answers from scripted results; any call can be
// made to fail with a chosen code and text.
class FakeLayer final : public dbx::Layer {
public:
    struct Result {
        QStringList columns;
        QList<QVariantList> rows; // QString for text columns, int for integer ones
    };
    struct Failure {
        QString call;         // "loadLibrary", "connect", "prepare", "execute", ...
        QString sqlContains;  // with prepare/execute: only statements containing this
        int code = dbx::VendorError;
        QString text;
        int times = 1;        // how many matching calls fail (-1: all)
        dbx::LoadResult load; // with loadLibrary
    };

    // A SELECT whose text contains key answers with this result.
    void addResult(const QString &key, Result result) { results_.append({key, std::move(result)}); }
    void fail(Failure failure) { failures_.append(std::move(failure)); }

    // What was called, kept under a lock: a cancel may come from another thread.
    QStringList calls;        // every call, as "name(args)"
    QStringList statements;   // statement texts in the order they were executed
    QList<dbx::EntryList> connectEntries;
    QList<dbx::EntryList> driverEntries;
    int loads = 0;
    QSet<dbx::Handle> live;   // handles created and not yet closed (the driver excluded)
    std::function<void(const QString &sql)> onExecute; // called as each statement executes

    QString libraryName() const override { return QStringLiteral("libfake.so"); }
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
    int cancel(dbx::Handle connection, dbx::Cancel what) override;

    QString quoteCharEnabled = QStringLiteral("false");

private:
    void record(const QString &call, const QString &statement = {});
    int failed(dbx::Handle h, const QString &call, const QString &sql = {});
    dbx::Handle make();

    struct Cursor {
        Result result;
        int row = -1;
    };
    QList<QPair<QString, Result>> results_;
    QList<Failure> failures_;
    QMap<dbx::Handle, QString> sql_;
    QMap<dbx::Handle, Cursor> cursors_;
    QMap<dbx::Handle, QString> errors_;
    dbx::Handle next_ = 100;
    std::mutex recording_;
};
