#include "fbclientlayer.h"

#include "errors.h"
#include "fbapi.h"
#include "fbobjects.h"
#include "fbservices.h"

namespace {

// A plain file path, not "host:path" or a server URL.
bool isLocalPath(const QString &database)
{
    return database.startsWith(u'/') && !database.contains(QLatin1String("://"));
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
    try {
        return std::make_unique<fb::Connection>(*api_, options, database);
    } catch (const TDBXError &refused) {
        // A file that a running server holds is reached through that server.
        if (refused.engineCode() != isc_io_error || !refused.hasEngineCode(isc_already_opened) || !isLocalPath(database))
            throw;
        try {
            return std::make_unique<fb::Connection>(*api_, options, QStringLiteral("localhost:") + database);
        } catch (const TDBXError &) {
            throw refused;
        }
    }
}

std::unique_ptr<dbx::Services> FbClientLayer::services(const dbx::EntryList &entries)
{
    load();
    return std::make_unique<fb::Services>(*api_, fb::ConnectOptions::parse(entries));
}
