#include "restoresteps.h"

#include "errors.h"
#include "filenames.h"
#include "guard.h"
#include "params.h"
#include "queries.h"
#include "safetycopy.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"
#include "survey.h"

#include <QRegularExpression>
#include <QScopeGuard>

#include <ibase.h>

#include <cerrno>
#include <sys/stat.h>

namespace restore::steps {

// "<name>.copia-<yyyyMMdd-HHmmss>[-n].fb", ".nbk" or ".fbk", and perhaps "host:" before it: the
// name (captured), the copy's time, its number in that second.
const QRegularExpression &copyName()
{
    static const QRegularExpression named(QStringLiteral("^(.*)") + safetycopy::copyNamePattern + u'$');
    return named;
}

bool isPageCopy(const QString &copy)
{
    return copy.endsWith(QLatin1String(".nbk"));
}

bool exists(const QString &path)
{
    struct stat st {};
    return ::stat(filenames::encode(path).constData(), &st) == 0;
}

// Whether the engine could not open a database because there is no such file. A server's
// refusal carries the system's error as its text only (another system's words): there, any
// failure to open the file counts, and the server itself never makes a database over a file.
bool isMissing(const std::exception &e)
{
    const auto *engine = dynamic_cast<const TDBXError *>(&e);
    const EngineError *io = engine ? engine->engineError(isc_io_error) : nullptr;
    if (!io || io->text(0) != QLatin1String("open"))
        return false;
    return engine->systemError() == ENOENT || engine->systemError() == 0;
}

// Attaches db to database (a path, or a database string), without the database's own triggers.
void attach(TSQLConnection &db, const QString &database)
{
    db.setConnected(false);
    db.Params.setValue(QStringLiteral("DataBase"), database);
    db.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
    db.setConnected(true);
}

marks::Description descriptionOf(TSQLConnection &db)
{
    return queries::readBytes(db, statements::databaseDescription()).value(0).value(0);
}

namespace {

// The database's description from what it is (now) to what is left of it, and its door open,
// in one commit; nothing sent when neither changes.
void describeAndOpen(TSQLConnection &db, const marks::Description &now, const marks::Description &left)
{
    const bool closed = guard::closed(db);
    if (left == now && !closed)
        return;
    TSQLQuery q;
    q.setSQLConnection(&db);
    if (left != now)
        queries::execute(q, statements::describeDatabase(left));
    if (closed)
        guard::open(q);
    queries::execute(q, statements::commit());
}

} // namespace

// The database attached, as the server opened it (an alias or a link resolved).
DatabaseLocation whereAttached(TSQLConnection &db)
{
    return DatabaseLocation::attached(db.attachedAs(), trimControl(queries::readAll(db, statements::databaseState()).value(0).value(3)));
}
// Gone from the database put back: what the run had left in it as it was copied, its records
// and its door (the copy was taken with the door closed, so that nobody uses a database half
// put back).
void forgetTheRun(TSQLConnection &db)
{
    const marks::Description d = descriptionOf(db);
    marks::Description left = d;
    for (const marks::Kind kind : {marks::Kind::Copying, marks::Kind::Reserved, marks::Kind::CopyOf, marks::Kind::Restoring})
        left = marks::without(left, kind);
    describeAndOpen(db, d, left);
}

// A copy goes back only when the database it is of recorded it whole: a run records its copy
// in the commit that ends the copy, never before. This program's copy of the file is named only
// once whole (by every version, also those that recorded nothing), so its name is proof enough
// where it has no record; the server's copies have no other proof (its restore takes a backup
// cut short as if whole, and a page copy cut short keeps its name).
void proveWhole(TSQLConnection &db, const QString &copy, const QString &database)
{
    const QString name = copy.section(u'/', -1);
    for (const marks::Line &l : marks::find(descriptionOf(db))) {
        if (l.kind != marks::Kind::Copied || l.details.value(0).section(u'/', -1) != name)
            continue;
        bool known = false;
        const qint64 recorded = l.details.value(1).toLongLong(&known), actual = filenames::sizeOf(copy);
        if (known && actual >= 0 && recorded != actual)
            throw Exception(QStringLiteral("A cópia está incompleta: %1 tem %2 bytes, e a cópia completa tinha %3. Nada foi "
                                           "restaurado.")
                                .arg(copy)
                                .arg(actual)
                                .arg(recorded));
        return;
    }
    if (copy.endsWith(QLatin1String(".fb")))
        return;
    throw Exception(QStringLiteral("A cópia está incompleta: %1 não foi registrada como completa no banco %2 (a cópia foi "
                                   "interrompida, ou é de outro banco). Nada foi restaurado.")
                        .arg(copy, database));
}

// The door opened again in the database string given, and the record of a way back under way
// gone with it, as best it can be: a failure leaves it to conversor --check.
bool openDoor(TSQLConnection &db, const QString &database)
{
    try {
        attach(db, database);
        auto letGo = qScopeGuard([&] { db.setConnected(false); });
        const marks::Description d = descriptionOf(db);
        describeAndOpen(db, d, marks::without(d, marks::Kind::Restoring));
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

HeldDoor::HeldDoor(TSQLConnection &db, const QString &database) : db_(db)
{
    if (guard::closed(db))
        return;
    TSQLQuery q;
    q.setSQLConnection(&db);
    guard::close(q, database);
    queries::execute(q, statements::commit());
    closedHere_ = true;
}

HeldDoor::~HeldDoor()
{
    if (held_)
        reopen();
}

void HeldDoor::reopen() const
{
    if (closedHere_)
        openDoor(db_, database_);
}

// down: brought back online, as the database was for its users.
void bringOnlineIfShut(TSQLConnection &db, const DatabaseLocation &where)
{
    if (queries::readAll(db, statements::databaseState()).value(0).value(1).toInt() == 0)
        return;
    const QString database = db.Params.value(QStringLiteral("DataBase"));
    db.setConnected(false);
    db.services(where.database())->bringOnline(where.database());
    attach(db, database);
}

void refuseWhenInUse(TSQLConnection &db)
{
    if (const QList<OtherAttachment> others = Survey::others(db); !others.isEmpty())
        throw Exception(Survey::othersText(others).replace(QStringLiteral("converta de novo"), QStringLiteral("tente de novo")));
}

} // namespace restore::steps
