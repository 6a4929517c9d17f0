#include "fbclientlayer.h"

#include "errors.h"
#include "fbapi.h"
#include "fbobjects.h"
#include "fbservices.h"
#include "filenames.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A plain file path, not "host:path" or a server URL.
bool isLocalPath(const QString &database)
{
    return database.startsWith(u'/') && !database.contains(QLatin1String("://"));
}

// Whether the file belongs to the account a Firebird server running on this computer runs as
// (not to this user): the server is then the one to open it, so that what the engine makes
// beside it (a delta file under the backup lock, say) is the server's too.
bool ownedByARunningServer(const QString &path)
{
    struct stat file {};
    if (::stat(filenames::encode(path).constData(), &file) != 0 || file.st_uid == ::geteuid())
        return false;
    static const QSet<QByteArray> servers{"firebird", "fbserver", "fb_smp_server", "fb_inet_server", "fbguard"};
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!pid.front().isDigit())
            continue;
        QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || !servers.contains(comm.readAll().trimmed()))
            continue;
        struct stat process {};
        if (::stat(QFile::encodeName(proc.filePath(pid)).constData(), &process) == 0 && process.st_uid == file.st_uid)
            return true;
    }
    return false;
}

} // namespace

void FbClientLayer::load()
{
    if (!api_)
        api_ = &fbclient::load(library_);
}

std::unique_ptr<dbx::Connection> FbClientLayer::connect(const dbx::EntryList &entries)
{
    load();
    fb::ConnectOptions options = fb::ConnectOptions::parse(entries);
    const QString database = options.database;
    if (database.isEmpty())
        throw TDBXError(dbx::DatabaseMissing);
    if (isLocalPath(database) && ownedByARunningServer(database)) {
        try {
            return std::make_unique<fb::Connection>(*api_, options, QStringLiteral("localhost:") + database);
        } catch (const TDBXError &) {
            // No server answers here after all: the file as any other.
        }
    }
    if (!isLocalPath(database))
        return std::make_unique<fb::Connection>(*api_, options, database);
    // A path is the embedded engine's: the run must know when a server has the database.
    fb::ConnectOptions embedded = options;
    embedded.engineOnly = true;
    try {
        return std::make_unique<fb::Connection>(*api_, embedded, database);
    } catch (const TDBXError &refused) {
        // A file the engine here cannot open (a running server holds it, or it is closed to
        // this user) is reached through the local server.
        if (refused.engineCode() != isc_io_error)
            throw;
        try {
            return std::make_unique<fb::Connection>(*api_, options, QStringLiteral("localhost:") + database);
        } catch (const TDBXError &server) {
            // The server's refusal says why (the database shut down, say); none answering, the
            // engine's here.
            if (server.engineCode() == isc_network_error)
                throw refused;
            throw;
        }
    }
}

std::unique_ptr<dbx::Services> FbClientLayer::services(const dbx::EntryList &entries)
{
    load();
    return std::make_unique<fb::Services>(*api_, fb::ConnectOptions::parse(entries));
}
