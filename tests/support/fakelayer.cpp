#include "fakelayer.h"

#include <QRegularExpression>

#include "errors.h"
#include "params.h"

class FakeReader final : public dbx::Reader {
public:
    FakeReader(FakeLayer &layer, FakeLayer::Result result) : layer_(layer), result_(std::move(result)), id_(layer.made())
    {
        for (int i = 0; i < result_.columns.size(); ++i) {
            const bool integer = !result_.rows.isEmpty() && result_.rows.first().value(i).typeId() == QMetaType::Int;
            columns_.append({result_.columns[i], integer ? dbx::ColumnKind::Integer : dbx::ColumnKind::Text, 0, 0});
        }
    }
    ~FakeReader() override { layer_.gone(id_); }

    const QList<dbx::ColumnInfo> &columns() const override { return columns_; }
    bool next() override
    {
        layer_.record(QStringLiteral("next()"));
        layer_.failIf(QStringLiteral("next"));
        if (row_ + 1 >= result_.rows.size()) {
            row_ = int(result_.rows.size());
            return false;
        }
        ++row_;
        return true;
    }
    dbx::Value value(int ordinal) const override
    {
        if (ordinal < 0 || ordinal >= columns_.size())
            throw TDBXError(dbx::InvalidOrdinal);
        const QVariant v = result_.rows.value(row_).value(ordinal);
        dbx::Value out;
        out.null = v.isNull();
        out.isInteger = v.typeId() == QMetaType::Int;
        out.integer = v.toLongLong();
        out.text = v.toString().toUtf8();
        return out;
    }

private:
    FakeLayer &layer_;
    FakeLayer::Result result_;
    QList<dbx::ColumnInfo> columns_;
    int row_ = -1;
    int id_;
};

class FakeCommand final : public dbx::Command {
public:
    FakeCommand(FakeLayer &layer, QString sql) : layer_(layer), sql_(std::move(sql)), id_(layer.made()) {}
    ~FakeCommand() override { layer_.gone(id_); }

    std::unique_ptr<dbx::Reader> execute() override
    {
        layer_.record(QStringLiteral("execute(%1)").arg(sql_), sql_);
        if (layer_.onExecute)
            layer_.onExecute(sql_);
        if (layer_.takeCancel())
            throw TDBXError(dbx::VendorError, QStringLiteral("operation was cancelled"));
        layer_.failIf(QStringLiteral("execute"), sql_);
        layer_.keep(sql_);
        if (!trimControl(sql_).startsWith(QLatin1String("select"), Qt::CaseInsensitive))
            return nullptr;
        return std::make_unique<FakeReader>(layer_, layer_.resultFor(sql_));
    }
    std::int64_t rowsAffected() const override { return 1; }

private:
    FakeLayer &layer_;
    QString sql_;
    int id_;
};

class FakeServices final : public dbx::Services {
public:
    explicit FakeServices(FakeLayer &layer) : layer_(layer), id_(layer.made()) {}
    ~FakeServices() override { layer_.gone(id_); }
    void shutDown(const QString &database, bool full) override
    {
        act(full ? QStringLiteral("shutDownFull") : QStringLiteral("shutDown"), database);
    }
    void bringOnline(const QString &database) override { act(QStringLiteral("bringOnline"), database); }
    void backUp(const QString &database, const QString &file) override
    {
        act(QStringLiteral("backUp"), database + QStringLiteral(" -> ") + file);
    }
    void restore(const QString &file, const QString &database) override
    {
        act(QStringLiteral("restore"), file + QStringLiteral(" -> ") + database);
    }
    void copyPages(const QString &database, const QString &file) override
    {
        act(QStringLiteral("copyPages"), database + QStringLiteral(" -> ") + file);
    }
    void putPagesBack(const QString &file, const QString &database) override
    {
        act(QStringLiteral("putPagesBack"), file + QStringLiteral(" -> ") + database);
    }
    void drop(const QString &database) override { act(QStringLiteral("drop"), database); }

private:
    void act(const QString &name, const QString &what)
    {
        layer_.record(QStringLiteral("%1(%2)").arg(name, what), QStringLiteral("<%1 %2>").arg(name, what));
        layer_.failIf(name, what);
    }
    FakeLayer &layer_;
    int id_;
};

class FakeConnection final : public dbx::Connection {
public:
    FakeConnection(FakeLayer &layer, QString database) : layer_(layer), database_(std::move(database)), id_(layer.made()) {}
    ~FakeConnection() override
    {
        layer_.record(QStringLiteral("disconnect()"));
        layer_.gone(id_);
    }

    std::unique_ptr<dbx::Command> prepare(const QString &sql, int dialect) override
    {
        if (dialect == 3)
            layer_.record(QStringLiteral("dialect(3)"));
        layer_.record(QStringLiteral("prepare(%1)").arg(sql));
        layer_.failIf(QStringLiteral("prepare"), sql);
        return std::make_unique<FakeCommand>(layer_, sql);
    }
    bool quotedIdentifiers() const override { return layer_.quotedIdentifiers; }
    QString attachedAs() const override { return layer_.attachedAs.isEmpty() ? database_ : layer_.attachedAs; }
    void rollback() override
    {
        layer_.record(QStringLiteral("rollback()"), QStringLiteral("<rollback>"));
        layer_.failIf(QStringLiteral("rollback"));
        layer_.rollBack();
    }
    void cancel(dbx::Cancel what) noexcept override
    {
        layer_.record(QStringLiteral("cancel(%1)").arg(int(what)),
                      what == dbx::Cancel::Raise ? QStringLiteral("<cancel>") : QString());
        std::lock_guard lock(layer_.recording_);
        if (what == dbx::Cancel::Raise && !layer_.cancelsDisabled_)
            layer_.cancelRaised_ = true;
        else if (what == dbx::Cancel::Disable)
            layer_.cancelsDisabled_ = true, layer_.cancelRaised_ = false;
        else if (what == dbx::Cancel::Enable)
            layer_.cancelsDisabled_ = false;
    }

private:
    FakeLayer &layer_;
    QString database_;
    int id_;
};

void FakeLayer::record(const QString &call, const QString &statement)
{
    std::lock_guard lock(recording_);
    calls << call;
    if (!statement.isEmpty())
        statements << statement;
}

void FakeLayer::failIf(const QString &call, const QString &sql, const QString &password)
{
    std::lock_guard lock(recording_);
    for (Failure &f : failures_) {
        if (f.call != call || f.times == 0)
            continue;
        if (!f.sqlContains.isEmpty() && !sql.contains(f.sqlContains))
            continue;
        if (!f.unlessPassword.isEmpty() && password == f.unlessPassword)
            continue;
        if (f.after > 0) {
            --f.after;
            continue;
        }
        if (f.times > 0)
            --f.times;
        QList<EngineError> engine;
        if (f.engineCode != 0)
            engine.append(EngineError{f.engineCode, f.engineArguments, f.systemError});
        throw TDBXError(f.code, f.text, engine);
    }
}

bool FakeLayer::takeCancel()
{
    std::lock_guard lock(recording_);
    return std::exchange(cancelRaised_, false);
}

int FakeLayer::made()
{
    std::lock_guard lock(recording_);
    live.insert(nextId_);
    return nextId_++;
}

void FakeLayer::gone(int id)
{
    std::lock_guard lock(recording_);
    live.remove(id);
}

void FakeLayer::keep(const QString &sql)
{
    std::lock_guard lock(recording_);
    static const QRegularExpression described(QStringLiteral("^COMMENT ON DATABASE IS (x'([0-9A-F]*)'|NULL)$"));
    const QString s = trimControl(sql);
    if (const QRegularExpressionMatch m = described.match(s); m.hasMatch())
        pending_.description = m.captured(1) == QLatin1String("NULL")
            ? QVariant()
            : QVariant(QString::fromUtf8(QByteArray::fromHex(m.captured(2).toLatin1())));
    else if (s.startsWith(QLatin1String("CREATE OR ALTER TRIGGER CONVERSOR$PORTA ")))
        pending_.door = true;
    else if (s == QLatin1String("DROP TRIGGER CONVERSOR$PORTA"))
        pending_.door = false;
    else if (s.startsWith(QLatin1String("CREATE GLOBAL TEMPORARY TABLE CONVERSOR$MAPA ")))
        pending_.map = true;
    else if (s == QLatin1String("DROP TABLE CONVERSOR$MAPA"))
        pending_.map = false;
    else if (s == QLatin1String("Commit"))
        committed_ = pending_;
}

void FakeLayer::rollBack()
{
    std::lock_guard lock(recording_);
    pending_ = committed_;
}

FakeLayer::Result FakeLayer::resultFor(const QString &sql) const
{
    if (committed_.description && sql.contains(QLatin1String("rdb$description as description from rdb$database")))
        return {{QStringLiteral("DESCRIPTION")}, {{*committed_.description}}};
    if (sql.contains(QLatin1String("RDB$TRIGGER_NAME = 'CONVERSOR$PORTA'")))
        return {{QStringLiteral("CONSTANT")}, committed_.door ? QList<QVariantList>{{1}} : QList<QVariantList>{}};
    if (sql.contains(QLatin1String("RDB$RELATION_NAME = 'CONVERSOR$MAPA'")))
        return {{QStringLiteral("CONSTANT")}, committed_.map ? QList<QVariantList>{{1}} : QList<QVariantList>{}};
    for (const auto &[key, result] : results_)
        if (sql.contains(key))
            return result;
    return {{QStringLiteral("COLUNA")}, {}};
}

void FakeLayer::load()
{
    if (loaded_)
        return;
    record(QStringLiteral("load()"));
    ++loads;
    failIf(QStringLiteral("load"));
    loaded_ = true;
}

std::unique_ptr<dbx::Connection> FakeLayer::connect(const dbx::EntryList &entries)
{
    record(QStringLiteral("connect()"));
    {
        std::lock_guard lock(recording_);
        connectEntries << entries;
        pending_ = committed_; // what another attachment left uncommitted is gone
    }
    if (onConnect)
        onConnect();
    QString database, password;
    for (const dbx::Entry &e : entries) {
        if (database.isEmpty() && e.name.compare(QLatin1String("Database"), Qt::CaseInsensitive) == 0)
            database = e.value;
        if (password.isEmpty() && e.name.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0)
            password = e.value;
    }
    failIf(QStringLiteral("connect"), database, password);
    return std::make_unique<FakeConnection>(*this, database);
}

std::unique_ptr<dbx::Services> FakeLayer::services(const dbx::EntryList &entries)
{
    record(QStringLiteral("services()"));
    QString password;
    {
        std::lock_guard lock(recording_);
        servicesEntries << entries;
    }
    for (const dbx::Entry &e : entries)
        if (password.isEmpty() && e.name.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0)
            password = e.value;
    failIf(QStringLiteral("services"), {}, password);
    return std::make_unique<FakeServices>(*this);
}
