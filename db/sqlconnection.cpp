#include "sqlconnection.h"

#include "errors.h"
#include "fbclientlayer.h"
#include "sqlquery.h"

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
    return {
        {"DriverUnit", "Data.DBXFirebird"},
        {"DriverPackageLoader", "TDBXDynalinkDriverLoader,DbxCommonDriver"},
        {"DriverAssemblyLoader", "Borland.Data.TDBXDynalinkDriverLoader,Borland.Data.DbxCommonDriver"},
        {"MetaDataPackageLoader", "TDBXFirebirdMetaDataCommandFactory,DbxFirebirdDriver"},
        {"MetaDataAssemblyLoader", "Borland.Data.TDBXFirebirdMetaDataCommandFactory,Borland.Data.DbxFirebirdDriver"},
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

TSQLConnection::TSQLConnection(dbx::Layer &layer) : layer_(layer) {}

TSQLConnection::TSQLConnection() : ownLayer_(std::make_unique<FbClientLayer>()), layer_(*ownLayer_) {}

TSQLConnection::~TSQLConnection()
{
    // Queries outlive nothing of ours: close them and let go of them, without freeing.
    while (!queries_.isEmpty())
        queries_.first()->setSQLConnection(nullptr);
    try {
        setConnected(false);
    } catch (...) {
    }
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
    dbx::Handle connection = 0;
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

        if (!layer_.driver())
            loadDriver();
        layer_.check(layer_.driver(), layer_.createConnection(layer_.driver(), connection));
        layer_.check(connection, layer_.connect(connection, entries));
        int isolation = 0;
        const int code = layer_.getIsolation(connection, isolation);
        if (code != dbx::NotSupported)
            layer_.check(connection, code);

        QString quoted;
        if (layer_.getVendorProperty(connection, QStringLiteral("QuoteCharEnabled"), quoted) != dbx::Ok)
            quoted.clear();
        quoteChar_ = quoted == QLatin1String("true") ? QStringLiteral("\"") : QString();
        attachedDatabase_ = find(entries, QStringLiteral("Database"))->value;
        handle_ = connection;
        cancelHandle_ = connection;
        state_ = TConnectionState::csStateOpen;
    } catch (...) {
        if (connection)
            layer_.close(connection);
        state_ = TConnectionState::csStateClosed;
        throw;
    }
}

void TSQLConnection::loadDriver()
{
    const dbx::LoadResult loaded = layer_.loadLibrary();
    switch (loaded.status) {
    case dbx::LoadResult::LibraryMissing:
        throw TDBXError(dbx::DriverInit,
                        QStringLiteral("Unable to load %1 (ErrorCode %2).  It may be missing from the system path.")
                            .arg(layer_.libraryName())
                            .arg(loaded.osError));
    case dbx::LoadResult::ProcedureMissing:
        throw TDBXError(dbx::DriverInit, QStringLiteral("Unable to find procedure %1").arg(loaded.procedure));
    case dbx::LoadResult::Loaded:
        break;
    }
    QString error;
    dbx::Handle driver = 0;
    const int code = layer_.getDriver(driverDefaults(), error, driver);
    if (code != dbx::Ok) {
        layer_.unloadLibrary();
        throw TDBXError(code, error.isEmpty() ? QStringLiteral("DBX Error:  %1").arg(dbxErrorDescription(code)) : error);
    }
    layer_.setDriver(driver);
}

void TSQLConnection::disconnect()
{
    if (state_ != TConnectionState::csStateOpen)
        return;
    state_ = TConnectionState::csStateDisconnecting;
    for (TSQLQuery *query : std::as_const(queries_))
        query->release();
    layer_.setCallbackEvent(handle_);
    cancelHandle_ = 0;
    const int code = layer_.close(handle_);
    const dbx::Handle closed = handle_;
    handle_ = 0;
    attachedDatabase_.clear();
    state_ = TConnectionState::csStateClosed;
    layer_.check(closed, code);
}

void TSQLConnection::rollback()
{
    if (state_ != TConnectionState::csStateOpen)
        return;
    layer_.check(handle_, layer_.rollback(handle_));
}

void TSQLConnection::cancel(dbx::Cancel what)
{
    if (const dbx::Handle h = cancelHandle_)
        layer_.cancel(h, what);
}
