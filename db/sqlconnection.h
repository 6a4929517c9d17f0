#pragma once

#include "dbxlayer.h"
#include "logins.h"
#include "params.h"

#include <QList>
#include <QString>

#include <functional>

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

    // Over the given layer, which outlives the connection and any attach it gave up.
    explicit TSQLConnection(dbx::Layer &layer);
    // Over the given layer, or over a Firebird client layer of its own when none is given.
    explicit TSQLConnection(dbx::Layer *layer = nullptr);
    ~TSQLConnection();
    TSQLConnection(const TSQLConnection &) = delete;
    TSQLConnection &operator=(const TSQLConnection &) = delete;

    // The profile's other stored properties are behaviour this class always has: named
    // connection definitions are never loaded (ConnectionName "FBConnection",
    // LoadParamsOnConnect False), no login dialog is shown (LoginPrompt False), and closing or
    // freeing queries never closes the connection (KeepConnection True).
    QString DriverName = QStringLiteral("Firebird");
    QString GetDriverFunc = QStringLiteral("getSQLDriverINTERBASE");
    QString LibraryName = QStringLiteral("dbxfb.dll");
    QString VendorLib = QStringLiteral("fbclient.dll");
    TParams Params{storedParams()};

    bool Connected() const { return state_ == TConnectionState::csStateOpen; }
    void setConnected(bool connected);
    TConnectionState state() const { return state_; }

    // The database string the open connection asked for, empty while closed.
    QString attachedDatabase() const { return attachedDatabase_; }
    // The database string the engine attached: the one asked for, or "localhost:" and it when a
    // server holds the file. Empty while closed.
    QString attachedAs() const { return attachedAs_; }
    // The service manager of the engine that serves database (a string as attachedAs() gives
    // it), with the login that server took for the attach (the profile's, or another as for an
    // attach when it refuses that).
    std::unique_ptr<dbx::Services> services(const QString &database);

    // The profile's login comes first. When a server refuses a login (the engine's isc_login),
    // the next is tried, each once: the profile's, ISC_USER and ISC_PASSWORD when set, then
    // what the logins' source gives, until it gives none or the login just refused; the last
    // refusal is the failure then. A login a server took is tried first at that server's next
    // attach or services manager. The logins may be shared by the connections of one run.
    TLogins &logins() const { return *logins_; }
    void shareLogins(std::shared_ptr<TLogins> logins) { logins_ = std::move(logins); }
    // The identifier quote character read at connect: "\"" or empty.
    QString quoteChar() const { return quoteChar_; }
    int maxBlobSize() const;
    // Undoes every statement not yet committed on this connection.
    void rollback();
    // Stops the statement running on the open connection, or keeps statements from being
    // stopped; may be called from any thread. While connecting, a stop gives the attach up: the
    // connect fails at once, and the attach lets go of what it gets when it ends. Does nothing
    // while closed.
    void cancel(dbx::Cancel what);
    // Whether an attach given up is still waiting on the engine (a server that does not
    // answer): the process then ends without waiting for it, since it holds nothing.
    static bool attachesGivenUp();

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

    struct Attaching;
    std::unique_ptr<dbx::Connection> attach(const dbx::EntryList &entries);
    // attempt made with the logins in their order, for database, until one is taken.
    template <class T>
    std::unique_ptr<T> loggedIn(const QString &database, const TLogin &profile,
                                const std::function<std::unique_ptr<T>(const TLogin &)> &attempt);
    // Fails as an attach given up when a stop came while connecting.
    void throwIfStopped();

    // Shared with an attach under way, which may outlive this object once given up.
    std::shared_ptr<dbx::Layer> layer_;
    TConnectionState state_ = TConnectionState::csStateClosed;
    std::unique_ptr<dbx::Connection> link_;
    mutable std::mutex linkGuard_; // a cancel from another thread meets the link whole, or not at all
    std::shared_ptr<Attaching> attaching_; // under linkGuard_
    bool connecting_ = false;              // under linkGuard_
    bool connectStopped_ = false;          // under linkGuard_: a stop came between two attempts
    std::shared_ptr<TLogins> logins_ = std::make_shared<TLogins>();
    QString quoteChar_;
    QString attachedDatabase_;
    QString attachedAs_;
    QList<TSQLQuery *> queries_;
};
