#include "fbclientlayer.h"

#include "errors.h"
#include "fbapi.h"
#include "fbobjects.h"

#include <algorithm>

using dbx::Handle;

namespace {

struct DriverObject final : fb::Object {};

// A plain file path, not "host:path" or a server URL.
bool isLocalPath(const QString &database)
{
    return database.startsWith(u'/') && !database.contains(QLatin1String("://"));
}

TDBXError layerError(int code)
{
    return TDBXError(code, dbxErrorDescription(code));
}

const fb::Value &valueAt(const fb::Reader &r, int ordinal)
{
    if (!r.hasRow)
        throw layerError(dbx::EndOfRows);
    if (ordinal < 0 || std::size_t(ordinal) >= r.current.size())
        throw layerError(8);
    return r.current[std::size_t(ordinal)];
}

} // namespace

FbClientLayer::FbClientLayer(QString library) : library_(std::move(library)) {}

FbClientLayer::~FbClientLayer()
{
    // Connections before the rest: detaching rolls back what they left open.
    while (!objects_.empty()) {
        auto it = std::find_if(objects_.begin(), objects_.end(),
                               [](const auto &o) { return dynamic_cast<fb::Connection *>(o.second.get()); });
        if (it == objects_.end())
            break;
        close(it->first);
    }
    objects_.clear();
}

template <class T> T *FbClientLayer::get(Handle h)
{
    std::lock_guard lock(registry_);
    const auto it = objects_.find(h);
    T *object = it == objects_.end() ? nullptr : dynamic_cast<T *>(it->second.get());
    if (!object)
        throw layerError(dbx::InvalidHandle);
    return object;
}

Handle FbClientLayer::add(std::unique_ptr<fb::Object> object)
{
    std::lock_guard lock(registry_);
    const Handle h = nextHandle_++;
    objects_.emplace(h, std::move(object));
    return h;
}

template <class F> int FbClientLayer::guarded(Handle h, F &&body)
{
    try {
        body();
        return dbx::Ok;
    } catch (const TDBXError &e) {
        errors_[h] = {e.message(), e.engineCodes()};
        return e.code();
    } catch (const std::bad_alloc &) {
        errors_[h] = {};
        return 2;
    }
}

dbx::LoadResult FbClientLayer::loadLibrary()
{
    return fbclient::load(library_, api_);
}

void FbClientLayer::unloadLibrary()
{
    // The library itself stays open for the process; this layer lets go of it.
    setDriver(0);
    api_ = nullptr;
}

int FbClientLayer::getDriver(const dbx::EntryList &, QString &errorText, Handle &driver)
{
    if (!api_) {
        errorText = dbxErrorDescription(dbx::DriverInit);
        return dbx::DriverInit;
    }
    driver = add(std::make_unique<DriverObject>());
    return dbx::Ok;
}

int FbClientLayer::createConnection(Handle driver, Handle &connection)
{
    return guarded(driver, [&] {
        get<DriverObject>(driver);
        connection = add(std::make_unique<fb::Connection>(*api_));
    });
}

int FbClientLayer::connect(Handle connection, const dbx::EntryList &entries)
{
    return guarded(connection, [&] {
        fb::Connection *c = get<fb::Connection>(connection);
        c->options = fb::ConnectOptions::parse(entries);
        c->tpb = c->options.tpb();
        const QString &database = c->options.database;
        if (database.isEmpty())
            throw layerError(34);
        const std::string dpb = c->options.dpb();
        try {
            c->attachment.attach(database.toUtf8(), dpb);
        } catch (const TDBXError &refused) {
            // A file that a running server holds is reached through that server.
            if (refused.engineCode() != isc_io_error || !refused.hasEngineCode(isc_already_opened) || !isLocalPath(database))
                throw;
            try {
                c->attachment.attach(("localhost:" + database).toUtf8(), dpb);
            } catch (const TDBXError &) {
                throw refused;
            }
        }
    });
}

int FbClientLayer::getIsolation(Handle connection, int &level)
{
    return guarded(connection, [&] {
        get<fb::Connection>(connection);
        level = 0;
    });
}

int FbClientLayer::getVendorProperty(Handle connection, const QString &name, QString &value)
{
    return guarded(connection, [&] {
        const fb::Connection *c = get<fb::Connection>(connection);
        // Under dialect 1 double quotes delimit strings, so identifiers go unquoted.
        if (name == QLatin1String("QuoteCharEnabled"))
            value = c->options.dialect == 3 ? QStringLiteral("true") : QStringLiteral("false");
        else if (name == QLatin1String("ProductName"))
            value = QStringLiteral("Firebird");
        else if (name == QLatin1String("UnicodeEncoding") || name == QLatin1String("SupportsParameterMetaData"))
            value = QStringLiteral("false");
        else
            throw layerError(dbx::NotSupported);
    });
}

int FbClientLayer::createCommand(Handle connection, const QString &, Handle &command)
{
    return guarded(connection, [&] {
        fb::Connection *c = get<fb::Connection>(connection);
        command = add(std::make_unique<fb::Command>(*c));
        c->commands.push_back(command);
    });
}

int FbClientLayer::prepare(Handle command, const QString &sql, int)
{
    return guarded(command, [&] { get<fb::Command>(command)->prepare(sql); });
}

int FbClientLayer::execute(Handle command, Handle &reader)
{
    reader = 0;
    return guarded(command, [&] {
        fb::Command *cmd = get<fb::Command>(command);
        if (cmd->reader)
            close(cmd->reader);
        if (!cmd->execute())
            return;
        auto r = std::make_unique<fb::Reader>(*cmd);
        cmd->connection->readers.push_back(r.get());
        reader = cmd->reader = add(std::move(r));
    });
}

int FbClientLayer::rowsAffected(Handle command, std::int64_t &rows)
{
    return guarded(command, [&] { rows = get<fb::Command>(command)->rows; });
}

int FbClientLayer::columnCount(Handle reader, int &count)
{
    return guarded(reader, [&] { count = get<fb::Reader>(reader)->command->out.columns(); });
}

int FbClientLayer::columnMetadata(Handle reader, int ordinal, dbx::ColumnInfo &info)
{
    return guarded(reader, [&] {
        const fb::ResultArea &out = get<fb::Reader>(reader)->command->out;
        if (ordinal < 0 || ordinal >= out.columns())
            throw layerError(8);
        const fb::Column &v = out.column(ordinal);
        info.name = v.name;
        info.size = int(v.length);
        info.scale = v.scale;
        info.kind = fb::kindOf(v);
    });
}

int FbClientLayer::next(Handle reader)
{
    bool row = false;
    const int code = guarded(reader, [&] { row = get<fb::Reader>(reader)->fetch(); });
    return code != dbx::Ok ? code : row ? dbx::Ok : dbx::EndOfRows;
}

int FbClientLayer::getString(Handle reader, int ordinal, QByteArray &value, bool &isNull)
{
    return guarded(reader, [&] {
        const fb::Value &v = valueAt(*get<fb::Reader>(reader), ordinal);
        isNull = v.null;
        value = v.text;
    });
}

int FbClientLayer::getInt64(Handle reader, int ordinal, std::int64_t &value, bool &isNull)
{
    return guarded(reader, [&] {
        const fb::Value &v = valueAt(*get<fb::Reader>(reader), ordinal);
        if (!v.null && !v.isInteger)
            throw layerError(7);
        isNull = v.null;
        value = v.integer;
    });
}

int FbClientLayer::errorMessageLength(Handle handle, int, int &length)
{
    const auto it = errors_.find(handle);
    length = it == errors_.end() ? 0 : int(it->second.text.size());
    return dbx::Ok;
}

int FbClientLayer::errorMessage(Handle handle, int, QString &text)
{
    const auto it = errors_.find(handle);
    text = it == errors_.end() ? QString() : it->second.text;
    return dbx::Ok;
}

QList<long> FbClientLayer::errorEngineCodes(Handle handle)
{
    const auto it = errors_.find(handle);
    return it == errors_.end() ? QList<long>() : it->second.engineCodes;
}

void FbClientLayer::release(fb::Object *object, Handle handle)
{
    if (auto *r = dynamic_cast<fb::Reader *>(object)) {
        auto &readers = r->command->connection->readers;
        readers.erase(std::remove(readers.begin(), readers.end(), r), readers.end());
        r->command->reader = 0;
        try {
            r->closeCursor();
        } catch (const TDBXError &) {
            // The cursor went with its transaction; the statement is dropped with its command.
        }
    } else if (auto *cmd = dynamic_cast<fb::Command *>(object)) {
        if (cmd->reader)
            close(cmd->reader);
        auto &commands = cmd->connection->commands;
        commands.erase(std::remove(commands.begin(), commands.end(), handle), commands.end());
    } else if (auto *c = dynamic_cast<fb::Connection *>(object)) {
        const std::vector<Handle> commands = c->commands;
        for (Handle h : commands)
            close(h);
        c->work.reset(); // uncommitted work is undone before detaching
    }
}

int FbClientLayer::close(Handle handle)
{
    const int code = guarded(handle, [&] {
        fb::Object *object = nullptr;
        {
            std::lock_guard lock(registry_);
            const auto it = objects_.find(handle);
            if (it == objects_.end())
                throw layerError(dbx::InvalidHandle);
            object = it->second.get();
        }
        release(object, handle);
    });
    {
        std::lock_guard lock(registry_);
        objects_.erase(handle);
    }
    if (code == dbx::Ok)
        errors_.erase(handle);
    return code;
}

int FbClientLayer::setCallbackEvent(Handle connection)
{
    return guarded(connection, [&] { get<fb::Connection>(connection); });
}

int FbClientLayer::rollback(Handle connection)
{
    return guarded(connection, [&] { get<fb::Connection>(connection)->rollbackWork(); });
}

int FbClientLayer::cancel(Handle connection, dbx::Cancel what)
{
    // Holding the registry keeps the connection from going while the engine is asked.
    std::lock_guard lock(registry_);
    const auto it = objects_.find(connection);
    auto *c = it == objects_.end() ? nullptr : dynamic_cast<fb::Connection *>(it->second.get());
    if (!c)
        return dbx::InvalidHandle;
    c->attachment.cancel(int(what));
    return dbx::Ok;
}
