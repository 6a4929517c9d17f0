#include "sqlconnection.h"

#include "errors.h"
#include "fbclientlayer.h"
#include "sqlquery.h"

#include <QScopeGuard>

#include <ibase.h>

#include <atomic>
#include <condition_variable>
#include <thread>

using dbx::Entry;
using dbx::EntryList;

namespace {

const Entry *find(const EntryList &list, const QString &key)
{
    for (const Entry &e : list)
        if (e.name.compare(key, Qt::CaseInsensitive) == 0)
            return &e;
    return nullptr;
}

// Detaches list first: a copy that shares its data with another list is changed alone.
Entry *find(EntryList &list, const QString &key)
{
    for (Entry &e : list)
        if (e.name.compare(key, Qt::CaseInsensitive) == 0)
            return &e;
    return nullptr;
}

} // namespace

QStringList TSQLConnection::storedParams()
{
    return {
        QStringLiteral("DriverName=Firebird"),
        QStringLiteral("Database=database.fdb"),
        QStringLiteral("RoleName=RoleName"),
        QStringLiteral("User_Name=sysdba"),
        QStringLiteral("Password=quokkafen"),
        QStringLiteral("ServerCharSet="),
        QStringLiteral("SQLDialect=1"),
        QStringLiteral("ErrorResourceFile="),
        QStringLiteral("LocaleCode=0000"),
        QStringLiteral("BlobSize=-1"),
        QStringLiteral("CommitRetain=False"),
        QStringLiteral("WaitOnLocks=True"),
        QStringLiteral("IsolationLevel=ReadCommitted"),
        QStringLiteral("Trim Char=False"),
    };
}

EntryList TSQLConnection::driverDefaults()
{
    // The driver's defaults as it has them, those for other systems (Win64, macOS) included:
    // they reach the attachment for the keys the profile lacks, and the layer ignores them.
    return {
        {"GetDriverFunc", "getSQLDriverINTERBASE"},
        {"LibraryName", "dbxfb.dll"},
        {"VendorLib", "fbclient.dll"},
        {"VendorLibWin64", "fbclient.dll"},
        {"LibraryNameOsx", "libsqlfb.dylib"},
        {"VendorLibOsx", "/Library/Frameworks/Firebird.framework/Firebird"},
        {"Database", "database.fdb"},
        {"User_Name", "sysdba"},
        {"Password", "quokkafen"},
        {"Role", "RoleName"},
        {"MaxBlobSize", "-1"},
        {"ErrorResourceFile", ""},
        {"LocaleCode", "0000"},
        {"IsolationLevel", "ReadCommitted"},
        {"ServerCharSet", ""},
        {"SQLDialect", "3"},
        {"CommitRetain", "False"},
        {"WaitOnLocks", "True"},
        {"TrimChar", "False"},
    };
}

// An attach under way, on a thread of its own so that a stop can give it up.
struct TSQLConnection::Attaching {
    std::mutex guard;
    std::condition_variable ended;
    bool done = false;
    bool givenUp = false;
    std::unique_ptr<dbx::Connection> link;
    std::exception_ptr failure;
};

namespace {
std::atomic<int> givenUpInFlight{0};
} // namespace

TSQLConnection::TSQLConnection(dbx::Layer &layer) : layer_(std::shared_ptr<dbx::Layer>(), &layer) {}

TSQLConnection::TSQLConnection(dbx::Layer *layer)
    : layer_(layer ? std::shared_ptr<dbx::Layer>(std::shared_ptr<dbx::Layer>(), layer) : std::make_shared<FbClientLayer>())
{
}

bool TSQLConnection::attachesGivenUp()
{
    return givenUpInFlight > 0;
}

std::unique_ptr<dbx::Connection> TSQLConnection::attach(const dbx::EntryList &entries)
{
    auto attaching = std::make_shared<Attaching>();
    {
        std::lock_guard lock(linkGuard_);
        attaching_ = attaching;
    }
    auto forget = qScopeGuard([this] {
        std::lock_guard lock(linkGuard_);
        attaching_.reset();
    });
    std::thread([attaching, layer = layer_, entries] {
        std::unique_ptr<dbx::Connection> link;
        std::exception_ptr failure;
        try {
            link = layer->connect(entries);
        } catch (...) {
            failure = std::current_exception();
        }
        std::unique_lock lock(attaching->guard);
        if (attaching->givenUp) {
            lock.unlock();
            link.reset(); // nobody waits for it: let go of the database
            --givenUpInFlight;
            return;
        }
        attaching->link = std::move(link);
        // Moved, not shared: the failure then belongs to the waiting thread alone, which reads
        // it long after this thread has gone.
        attaching->failure = std::move(failure);
        attaching->done = true;
        attaching->ended.notify_all();
    }).detach();
    std::unique_lock lock(attaching->guard);
    attaching->ended.wait(lock, [&] { return attaching->done || attaching->givenUp; });
    if (!attaching->done)
        throw TDBXError(dbx::VendorError, QStringLiteral("Conexão abandonada antes de se completar"));
    if (std::exception_ptr failure = std::exchange(attaching->failure, nullptr))
        std::rethrow_exception(failure);
    return std::move(attaching->link);
}

TSQLConnection::~TSQLConnection()
{
    // Queries outlive nothing of ours: close them and let go of them, without freeing.
    while (!queries_.isEmpty())
        queries_.first()->setSQLConnection(nullptr);
    setConnected(false);
}

void TSQLConnection::attach(TSQLQuery *query)
{
    queries_.append(query);
}

void TSQLConnection::detach(TSQLQuery *query)
{
    queries_.removeOne(query);
}

int TSQLConnection::maxBlobSize() const
{
    bool ok = false;
    const int size = Params.value(QStringLiteral("BlobSize")).toInt(&ok);
    return ok ? size : -1;
}

void TSQLConnection::setConnected(bool connected)
{
    if (connected)
        connect();
    else
        disconnect();
}

EntryList TSQLConnection::connectionEntries() const
{
    EntryList list;
    for (const QString &line : Params.lines())
        list.append({TParams::keyOf(line), trimControl(TParams::valueOf(line))});
    list.append({QStringLiteral("DriverName"), DriverName});
    list.append({QStringLiteral("VendorLib"), VendorLib});
    list.append({QStringLiteral("LibraryName"), LibraryName});
    list.append({QStringLiteral("GetDriverFunc"), GetDriverFunc});
    return list;
}

void TSQLConnection::connect()
{
    if (state_ == TConnectionState::csStateOpen)
        return;
    EntryList list = connectionEntries();
    if (DriverName.isEmpty())
        throw EDatabaseError(QStringLiteral("Missing DriverName property"));
    state_ = TConnectionState::csStateConnecting;
    {
        std::lock_guard lock(linkGuard_);
        connecting_ = true;
        connectStopped_ = false;
    }
    auto connected = qScopeGuard([this] {
        std::lock_guard lock(linkGuard_);
        connecting_ = false;
    });
    try {
        // No login dialog: the profile's login first, others only when a server refuses it.
        const QString password = Params.value(QStringLiteral("Password"));
        const QString user = Params.value(QStringLiteral("User_Name"));
        const QString database = Params.value(QStringLiteral("Database"));
        if (Entry *e = find(list, QStringLiteral("Database")); e && e->value != database)
            e->value = database;
        if (!user.isEmpty())
            if (Entry *e = find(list, QStringLiteral("User_Name")))
                e->value = user;
        if (!password.isEmpty())
            if (Entry *e = find(list, QStringLiteral("Password")))
                e->value = password;

        EntryList entries;
        for (const Entry &e : std::as_const(list))
            entries.append({e.name, trimControl(e.value)});
        for (const Entry &d : driverDefaults())
            if (!find(entries, d.name))
                entries.append({d.name, trimControl(d.value)});

        layer_->load();
        const TLogin profile{find(entries, QStringLiteral("User_Name"))->value, find(entries, QStringLiteral("Password"))->value};
        std::unique_ptr<dbx::Connection> link = loggedIn<dbx::Connection>(
            find(entries, QStringLiteral("Database"))->value, profile, [&](const TLogin &login) {
                EntryList tried = entries;
                find(tried, QStringLiteral("User_Name"))->value = login.user;
                find(tried, QStringLiteral("Password"))->value = login.password;
                return attach(tried);
            });
        quoteChar_ = link->quotedIdentifiers() ? QStringLiteral("\"") : QString();
        attachedDatabase_ = find(entries, QStringLiteral("Database"))->value;
        attachedAs_ = link->attachedAs();
        {
            std::lock_guard lock(linkGuard_);
            link_ = std::move(link);
        }
        state_ = TConnectionState::csStateOpen;
    } catch (...) {
        state_ = TConnectionState::csStateClosed;
        throw;
    }
}

void TSQLConnection::disconnect()
{
    if (state_ != TConnectionState::csStateOpen)
        return;
    state_ = TConnectionState::csStateDisconnecting;
    // Results and statements go before the connection they were made on.
    for (TSQLQuery *query : std::as_const(queries_))
        query->release();
    std::unique_ptr<dbx::Connection> closing;
    {
        std::lock_guard lock(linkGuard_);
        closing = std::move(link_);
    }
    closing.reset();
    attachedDatabase_.clear();
    attachedAs_.clear();
    state_ = TConnectionState::csStateClosed;
}

std::unique_ptr<dbx::Services> TSQLConnection::services(const QString &database)
{
    EntryList entries;
    for (const QString &line : Params.lines())
        entries.append({TParams::keyOf(line), trimControl(TParams::valueOf(line))});
    if (Entry *e = find(entries, QStringLiteral("Database")))
        e->value = database;
    else
        entries.append({QStringLiteral("Database"), database});
    for (const char *key : {"User_Name", "Password"})
        if (!find(entries, QLatin1String(key)))
            entries.append({QLatin1String(key), find(driverDefaults(), QLatin1String(key))->value});
    layer_->load();
    const TLogin profile{find(entries, QStringLiteral("User_Name"))->value, find(entries, QStringLiteral("Password"))->value};
    return loggedIn<dbx::Services>(database, profile, [&](const TLogin &login) {
        EntryList tried = entries;
        find(tried, QStringLiteral("User_Name"))->value = login.user;
        find(tried, QStringLiteral("Password"))->value = login.password;
        return layer_->services(tried);
    });
}

template <class T>
std::unique_ptr<T> TSQLConnection::loggedIn(const QString &database, const TLogin &profile,
                                            const std::function<std::unique_ptr<T>(const TLogin &)> &attempt)
{
    // Keeps a reference: a connection that shares others' logins meanwhile does not pull these
    // from under the loop.
    const std::shared_ptr<TLogins> logins = logins_;
    QList<TLogin> tried;
    TLogin login = logins->accepted(database).value_or(profile);
    int asked = 0;
    for (;;) {
        tried << login;
        try {
            std::unique_ptr<T> made = attempt(login);
            logins->accept(database, login);
            return made;
        } catch (const TDBXError &refused) {
            if (!refused.hasEngineCode(isc_login))
                throw;
            std::optional<TLogin> next;
            for (const std::optional<TLogin> &known : {std::optional<TLogin>(profile), TLogins::fromEnvironment(profile.user)})
                if (known && !tried.contains(*known) && known->user.toUtf8().size() <= 31) {
                    next = known;
                    break;
                }
            if (!next) {
                if (const TLogins::Source source = logins->source())
                    next = source(database, login, asked++);
                // The same login again would only be refused again; a name longer than Firebird 3
                // takes (31 bytes) stops its server rather than being refused.
                if (next && (*next == login || next->user.toUtf8().size() > 31))
                    next.reset();
            }
            if (!next)
                throw;
            throwIfStopped();
            login = *next;
        }
    }
}

void TSQLConnection::throwIfStopped()
{
    std::lock_guard lock(linkGuard_);
    if (connectStopped_)
        throw TDBXError(dbx::VendorError, QStringLiteral("Conexão abandonada antes de se completar"));
}

dbx::Connection &TSQLConnection::link() const
{
    if (!link_)
        throw EDatabaseError(QStringLiteral("Not connected"));
    return *link_;
}

void TSQLConnection::rollback()
{
    if (state_ == TConnectionState::csStateOpen)
        link().rollback();
}

void TSQLConnection::cancel(dbx::Cancel what)
{
    std::lock_guard lock(linkGuard_);
    if (link_) {
        link_->cancel(what);
        return;
    }
    // Between two logins nothing is attaching: the next is not tried.
    if (connecting_ && what == dbx::Cancel::Raise)
        connectStopped_ = true;
    if (attaching_ && what == dbx::Cancel::Raise) {
        std::lock_guard attachLock(attaching_->guard);
        if (!attaching_->done && !attaching_->givenUp) {
            attaching_->givenUp = true;
            ++givenUpInFlight;
            attaching_->ended.notify_all();
        }
    }
}
