#include "fakelayer.h"

#include "params.h"

using dbx::Handle;

void FakeLayer::record(const QString &call, const QString &statement)
{
    std::lock_guard lock(recording_);
    if (!call.isEmpty())
        calls << call;
    if (!statement.isEmpty())
        statements << statement;
}

dbx::Handle FakeLayer::make()
{
    const Handle h = next_++;
    live.insert(h);
    return h;
}

int FakeLayer::failed(Handle h, const QString &call, const QString &sql)
{
    for (Failure &f : failures_) {
        if (f.call != call || f.times == 0)
            continue;
        if (!f.sqlContains.isEmpty() && !sql.contains(f.sqlContains))
            continue;
        if (f.times > 0)
            --f.times;
        errors_[h] = f.text;
        return f.code;
    }
    return dbx::Ok;
}

dbx::LoadResult FakeLayer::loadLibrary()
{
    record(QStringLiteral("loadLibrary()"));
    ++loads;
    for (Failure &f : failures_)
        if (f.call == QLatin1String("loadLibrary") && f.times != 0) {
            if (f.times > 0)
                --f.times;
            return f.load;
        }
    return {};
}

void FakeLayer::unloadLibrary()
{
    record(QStringLiteral("unloadLibrary()"));
}

int FakeLayer::getDriver(const dbx::EntryList &entries, QString &errorText, Handle &driver)
{
    record(QStringLiteral("getDriver()"));
    driverEntries << entries;
    if (const int code = failed(0, QStringLiteral("getDriver"))) {
        errorText = errors_.value(0);
        return code;
    }
    driver = next_++;
    return dbx::Ok;
}

int FakeLayer::createConnection(Handle driver, Handle &connection)
{
    record(QStringLiteral("createConnection(%1)").arg(driver));
    if (const int code = failed(driver, QStringLiteral("createConnection")))
        return code;
    connection = make();
    return dbx::Ok;
}

int FakeLayer::connect(Handle connection, const dbx::EntryList &entries)
{
    record(QStringLiteral("connect(%1)").arg(connection));
    connectEntries << entries;
    return failed(connection, QStringLiteral("connect"));
}

int FakeLayer::getIsolation(Handle connection, int &level)
{
    record(QStringLiteral("getIsolation(%1)").arg(connection));
    level = 2;
    return failed(connection, QStringLiteral("getIsolation"));
}

int FakeLayer::getVendorProperty(Handle connection, const QString &name, QString &value)
{
    record(QStringLiteral("getVendorProperty(%1)").arg(name));
    if (name == QLatin1String("QuoteCharEnabled")) {
        value = quoteCharEnabled;
        return dbx::Ok;
    }
    return failed(connection, QStringLiteral("getVendorProperty"));
}

int FakeLayer::createCommand(Handle connection, const QString &type, Handle &command)
{
    record(QStringLiteral("createCommand(%1)").arg(type));
    if (const int code = failed(connection, QStringLiteral("createCommand")))
        return code;
    command = make();
    return dbx::Ok;
}

int FakeLayer::prepare(Handle command, const QString &sql, int parameterCount)
{
    record(QStringLiteral("prepare(%1, %2)").arg(sql).arg(parameterCount));
    sql_[command] = sql;
    return failed(command, QStringLiteral("prepare"), sql);
}

int FakeLayer::execute(Handle command, Handle &reader)
{
    const QString sql = sql_.value(command);
    record(QStringLiteral("execute(%1)").arg(sql));
    record({}, sql);
    if (onExecute)
        onExecute(sql);
    reader = 0;
    if (const int code = failed(command, QStringLiteral("execute"), sql))
        return code;
    if (!trimControl(sql).startsWith(QLatin1String("select"), Qt::CaseInsensitive))
        return dbx::Ok;
    Cursor cursor;
    for (const auto &[key, result] : std::as_const(results_))
        if (sql.contains(key)) {
            cursor.result = result;
            break;
        }
    reader = make();
    cursors_[reader] = cursor;
    return dbx::Ok;
}

int FakeLayer::rowsAffected(Handle command, std::int64_t &rows)
{
    rows = 1;
    return failed(command, QStringLiteral("rowsAffected"));
}

int FakeLayer::columnCount(Handle reader, int &count)
{
    count = int(cursors_.value(reader).result.columns.size());
    return dbx::Ok;
}

int FakeLayer::columnMetadata(Handle reader, int ordinal, dbx::ColumnInfo &info)
{
    const Cursor &c = cursors_[reader];
    info.name = c.result.columns.value(ordinal);
    const bool integer = !c.result.rows.isEmpty() && c.result.rows.first().value(ordinal).typeId() == QMetaType::Int;
    info.kind = integer ? dbx::ColumnKind::Integer : dbx::ColumnKind::Text;
    return dbx::Ok;
}

int FakeLayer::next(Handle reader)
{
    record(QStringLiteral("next(%1)").arg(reader));
    if (const int code = failed(reader, QStringLiteral("next")))
        return code;
    Cursor &c = cursors_[reader];
    if (c.row + 1 >= c.result.rows.size()) {
        c.row = int(c.result.rows.size());
        return dbx::EndOfRows;
    }
    ++c.row;
    return dbx::Ok;
}

int FakeLayer::getString(Handle reader, int ordinal, QByteArray &value, bool &isNull)
{
    const Cursor &c = cursors_[reader];
    const QVariant v = c.result.rows.value(c.row).value(ordinal);
    isNull = v.isNull();
    value = v.toString().toUtf8();
    return failed(reader, QStringLiteral("getString"));
}

int FakeLayer::getInt64(Handle reader, int ordinal, std::int64_t &value, bool &isNull)
{
    const Cursor &c = cursors_[reader];
    const QVariant v = c.result.rows.value(c.row).value(ordinal);
    isNull = v.isNull();
    value = v.toLongLong();
    return dbx::Ok;
}

int FakeLayer::errorMessageLength(Handle handle, int, int &length)
{
    length = int(errors_.value(handle).size());
    return dbx::Ok;
}

int FakeLayer::errorMessage(Handle handle, int, QString &text)
{
    text = errors_.value(handle);
    return dbx::Ok;
}

int FakeLayer::close(Handle handle)
{
    record(QStringLiteral("close(%1)").arg(handle));
    live.remove(handle);
    cursors_.remove(handle);
    return failed(handle, QStringLiteral("close"));
}

int FakeLayer::setCallbackEvent(Handle connection)
{
    record(QStringLiteral("setCallbackEvent(%1)").arg(connection));
    return dbx::Ok;
}

int FakeLayer::rollback(Handle connection)
{
    record(QStringLiteral("rollback(%1)").arg(connection));
    record({}, QStringLiteral("<rollback>"));
    return failed(connection, QStringLiteral("rollback"));
}

int FakeLayer::cancel(Handle connection, dbx::Cancel what)
{
    record(QStringLiteral("cancel(%1, %2)").arg(connection).arg(int(what)));
    if (what == dbx::Cancel::Raise)
        record({}, QStringLiteral("<cancel>"));
    return dbx::Ok;
}
