#pragma once

#include "dbxlayer.h"
#include "params.h"

#include <QList>
#include <QString>

#include <memory>
#include <mutex>

class TSQLQuery;

enum class TConnectionState { csStateClosed, csStateConnecting, csStateOpen, csStateDisconnecting };

// The connection object with its fixed Firebird profile. Only the database path changes at
// run time; it takes effect at the next attach.
class TSQLConnection final {
public:
    // The stored profile, in its stored order.
    static QStringList storedParams();
    // The driver's own entries, used for every key the profile lacks.
    static dbx::EntryList driverDefaults();

    explicit TSQLConnection(dbx::Layer &layer);
    // Over the given layer, or over a Firebird client layer of its own when none is given.
    explicit TSQLConnection(dbx::Layer *layer = nullptr);
    ~TSQLConnection();
    TSQLConnection(const TSQLConnection &) = delete;
    TSQLConnection &operator=(const TSQLConnection &) = delete;

    QString ConnectionName = QStringLiteral("FBConnection");
    QString DriverName = QStringLiteral("Firebird");
    QString GetDriverFunc = QStringLiteral("getSQLDriverINTERBASE");
    QString LibraryName = QStringLiteral("dbxfb.dll");
    QString VendorLib = QStringLiteral("fbclient.dll");
    bool LoginPrompt = false;
    bool LoadParamsOnConnect = false;
    bool KeepConnection = true;
    TParams Params{storedParams()};

    bool Connected() const { return state_ == TConnectionState::csStateOpen; }
    void setConnected(bool connected);
    TConnectionState state() const { return state_; }

    // The database string the open connection attached, empty while closed.
    QString attachedDatabase() const { return attachedDatabase_; }
    // The identifier quote character read at connect: "\"" or empty.
    QString quoteChar() const { return quoteChar_; }
    int maxBlobSize() const;
    // Undoes every statement not yet committed on this connection.
    void rollback();
    // Stops the statement running on the open connection, or keeps statements from being
    // stopped; may be called from any thread. Does nothing while closed.
    void cancel(dbx::Cancel what);

    // The open layer connection; fails with "Not connected" while closed.
    dbx::Connection &link() const;
    const QList<TSQLQuery *> &queries() const { return queries_; }

private:
    friend class TSQLQuery;
    void attach(TSQLQuery *query);
    void detach(TSQLQuery *query);

    void connect();
    void disconnect();
    dbx::EntryList connectionEntries() const;

    std::unique_ptr<dbx::Layer> ownLayer_;
    dbx::Layer &layer_;
    TConnectionState state_ = TConnectionState::csStateClosed;
    std::unique_ptr<dbx::Connection> link_;
    mutable std::mutex linkGuard_; // a cancel from another thread meets the link whole, or not at all
    QString quoteChar_;
    QString attachedDatabase_;
    QList<TSQLQuery *> queries_;
};
