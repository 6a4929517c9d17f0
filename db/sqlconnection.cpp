#include "sqlconnection.h"

#include "errors.h"
#include "fbclientlayer.h"
#include "sqlquery.h"

#include <QScopeGuard>

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

Entry *find(EntryList &list, const QString &key)
{
    return const_cast<Entry *>(find(std::as_const(list), key));
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
    try {
        // No login dialog: the login values come from the profile as stored.
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
        std::unique_ptr<dbx::Connection> link = attach(entries);
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
    layer_->load();
    return layer_->services(entries);
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
    } else if (attaching_ && what == dbx::Cancel::Raise) {
        std::lock_guard attachLock(attaching_->guard);
        if (!attaching_->done && !attaching_->givenUp) {
            attaching_->givenUp = true;
            ++givenUpInFlight;
            attaching_->ended.notify_all();
        }
    }
}
