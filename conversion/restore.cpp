#include "restore.h"

#include "advice.h"
#include "errors.h"
#include "filenames.h"
#include "guard.h"
#include "location.h"
#include "marks.h"
#include "params.h"
#include "queries.h"
#include "safetycopy.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"
#include "survey.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <optional>

#include <ibase.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace restore {

namespace {

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

// The database attached, as the server opened it (an alias or a link resolved).
DatabaseLocation whereAttached(TSQLConnection &db)
{
    return DatabaseLocation::attached(db.attachedAs(), trimControl(queries::readAll(db, statements::databaseState()).value(0).value(3)));
}

// The copy's record of where it came from, when the copy holds one.
QString recordedOrigin(TSQLConnection &db, const QString &copy)
{
    try {
        attach(db, copy);
        auto letGo = qScopeGuard([&] { db.setConnected(false); });
        for (const marks::Line &l : marks::find(descriptionOf(db)))
            if (l.kind == marks::Kind::Copying || l.kind == marks::Kind::CopyOf)
                return l.details.value(0);
    } catch (const std::exception &) {
        // A copy this computer cannot open (the server's backup): its name tells.
    }
    return {};
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
    const bool closed = guard::closed(db);
    if (left == d && !closed)
        return;
    TSQLQuery q;
    q.setSQLConnection(&db);
    if (left != d)
        queries::execute(q, statements::describeDatabase(left));
    if (closed)
        guard::open(q);
    queries::execute(q, statements::commit());
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
        const marks::Description d = descriptionOf(db), left = marks::without(d, marks::Kind::Restoring);
        const bool closed = guard::closed(db);
        if (closed || left != d) {
            TSQLQuery q;
            q.setSQLConnection(&db);
            if (left != d)
                queries::execute(q, statements::describeDatabase(left));
            if (closed)
                guard::open(q);
            queries::execute(q, statements::commit());
        }
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

// The door of the database attached, closed to everyone else for the time the way back takes
// (no sale goes into a database about to be replaced), and opened again when the way back ends
// before it changed anything; let go of once a step has begun whose failure says itself what
// became of it.
class HeldDoor {
public:
    HeldDoor(TSQLConnection &db, const QString &database) : db_(db)
    {
        if (guard::closed(db))
            return;
        TSQLQuery q;
        q.setSQLConnection(&db);
        guard::close(q, database);
        queries::execute(q, statements::commit());
        closedHere_ = true;
    }
    ~HeldDoor()
    {
        if (held_)
            reopen();
    }
    HeldDoor(const HeldDoor &) = delete;
    HeldDoor &operator=(const HeldDoor &) = delete;

    // Where to open it again: the database as the way back attached it.
    void at(const QString &database) { database_ = database; }
    void letGo() { held_ = false; }
    void reopen() const
    {
        if (closedHere_)
            openDoor(db_, database_);
    }

private:
    TSQLConnection &db_;
    QString database_;
    bool closedHere_ = false;
    bool held_ = true;
};

// A copy taken of a database in a shutdown (an earlier version's run kept it so) comes back shut
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

QString putBackFromPages(TSQLConnection &db, const QString &copy, const QString &database, const DatabaseLocation &where,
                         const QDateTime &when, HeldDoor &door);
QString putBackFromBackup(TSQLConnection &db, const QString &copy, const DatabaseLocation &where, const QDateTime &when,
                          HeldDoor &door);
QString swapTheFile(TSQLConnection &db, const QString &copy, const QString &database, const DatabaseLocation &where,
                    const QDateTime &when, HeldDoor &door);
std::optional<QString> finishCutShort(TSQLConnection &db, const QString &copy);

} // namespace

QString keptName(const QString &database, const QDateTime &when, const QString &suffix)
{
    return DatabaseLocation(database).sibling(QStringLiteral(".convertido-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss")) + suffix);
}

QString keptPagesName(const QString &database, const QString &copy)
{
    const QRegularExpressionMatch m = copyName().match(copy);
    const QString run = m.captured(2) + (m.captured(3).isEmpty() ? QString() : u'-' + m.captured(3));
    return DatabaseLocation(database).sibling(QStringLiteral(".convertido-") + run + QStringLiteral(".nbk"));
}

QString cutShortText(const QString &database)
{
    const QString file = DatabaseLocation(database).localFile();
    if (file.isEmpty() || exists(file))
        return {};
    const QFileInfo info(file);
    const QString folder = info.absolutePath() + u'/', stem = DatabaseLocation(file).stem();
    // The newest converted database kept by a way back whose copy is still beside it.
    static const QRegularExpression keptNamed(QStringLiteral("\\.convertido-(\\d{8}-\\d{6}(?:-\\d+)?)\\.nbk$"));
    const QStringList names = QDir(folder).entryList({stem + QStringLiteral(".convertido-*.nbk")}, QDir::Files, QDir::Name | QDir::Reversed);
    for (const QString &name : names) {
        const QRegularExpressionMatch m = keptNamed.match(name);
        if (!m.hasMatch() || name != stem + m.captured(0))
            continue;
        const QString copy = folder + stem + QStringLiteral(".copia-") + m.captured(1) + QStringLiteral(".nbk");
        if (!exists(copy))
            continue;
        return advice::forTechnician(QStringLiteral("A restauração de %1 foi interrompida: o banco não está no lugar. O banco "
                                                    "convertido está guardado em %2, e a cópia de segurança em %3.")
                                         .arg(file, folder + name, copy),
                                     QStringLiteral("Para o técnico: conversor --restore %1 termina a restauração (refaz o "
                                                    "banco a partir da cópia; nada é apagado).")
                                         .arg(copy));
    }
    return {};
}

QString databaseOf(TSQLConnection &db, const QString &copy)
{
    const QRegularExpressionMatch m = copyName().match(copy);
    // The database beside it that recorded this copy whole: found without opening the copy,
    // which an attach would change (its header), and which the way back leaves as it was.
    if (m.hasMatch())
        for (const char *suffix : {".fb", ".fdb", ".gdb"}) {
            try {
                const QString candidate = m.captured(1) + QLatin1String(suffix);
                attach(db, candidate);
                auto letGo = qScopeGuard([&] { db.setConnected(false); });
                for (const marks::Line &l : marks::find(descriptionOf(db)))
                    if (l.kind == marks::Kind::Copied && l.details.value(0).section(u'/', -1) == copy.section(u'/', -1))
                        return candidate;
            } catch (const std::exception &) {
            }
        }
    if (QString recorded = recordedOrigin(db, copy); !recorded.isEmpty())
        return recorded;
    if (!m.hasMatch())
        throw Exception(QStringLiteral("%1 não tem o nome de uma cópia de segurança do Conversor de dados "
                                       "(NOME.copia-AAAAMMDD-HHMMSS.fb).")
                            .arg(copy));
    // On a server, or in a folder this user cannot look into (the server's own account's): the
    // server tells which database is there.
    const bool onAServer = DatabaseLocation(copy).viaServer()
        || ::access(filenames::encode(QFileInfo(copy).absolutePath()).constData(), X_OK) != 0;
    for (const char *suffix : {".fb", ".fdb", ".gdb"}) {
        QString candidate = m.captured(1) + QLatin1String(suffix);
        if (!onAServer && exists(candidate))
            return candidate;
        if (onAServer) {
            try {
                attach(db, candidate);
                db.setConnected(false);
                return candidate;
            } catch (const std::exception &) {
            }
        }
    }
    throw Exception(QStringLiteral("O banco desta cópia não foi encontrado ao lado dela (%1.fb, .fdb ou .gdb).").arg(m.captured(1)));
}

QString putBack(TSQLConnection &db, const QString &copy, const QDateTime &when)
{
    auto letGo = qScopeGuard([&] { db.setConnected(false); });
    if (isPageCopy(copy))
        if (std::optional<QString> finished = finishCutShort(db, copy))
            return *finished;
    const QString database = databaseOf(db, copy);
    attach(db, database);
    refuseWhenInUse(db);
    proveWhole(db, copy, database);
    const DatabaseLocation where = whereAttached(db);
    // From here to the end nobody but this program gets in. A way back that fails leaves the
    // converted database as it was, door open.
    HeldDoor door(db, database);
    door.at(where.database());
    // Whoever came in before it closed is still at work: looked at once more.
    refuseWhenInUse(db);
    if (isPageCopy(copy))
        return putBackFromPages(db, copy, database, where, when, door);
    if (copy.endsWith(QLatin1String(".fbk")))
        return putBackFromBackup(db, copy, where, when, door);
    return swapTheFile(db, copy, database, where, when, door);
}

namespace {

// The server's physical copy goes back the way it came: the converted database kept as a page
// copy of its own beside it, dropped, and made anew from the copy's pages (the server makes no
// page copy over a file). The door stays closed all along, in the converted database, then in
// the copy's (it was taken closed), until the records go.
QString putBackFromPages(TSQLConnection &db, const QString &copy, const QString &database, const DatabaseLocation &where,
                         const QDateTime &when, HeldDoor &door)
{
    // Named after the run the copy is of, so that a way back cut short after the drop finds it
    // from the copy alone; and it carries the record of the way back, which says where the
    // database was.
    QString kept = keptPagesName(where.serverFile(), copy);
    const QString copyOnServer = DatabaseLocation(copy).serverFile();
    {
        TSQLQuery q;
        q.setSQLConnection(&db);
        queries::execute(q, statements::describeDatabase(marks::withLine(descriptionOf(db), marks::restoring(where.serverFile(), copyOnServer))));
        queries::execute(q, statements::commit());
    }
    db.setConnected(false);
    auto services = db.services(where.database());
    try {
        services->copyPages(where.database(), kept);
    } catch (const std::exception &) {
        // That name taken already (an earlier way back of this copy whose rebuild was refused
        // kept the converted database of then): the converted database of now goes beside it
        // under the time of this way back, never over it.
        kept = keptName(where.serverFile(), when, QStringLiteral(".nbk"));
        services->copyPages(where.database(), kept);
    }
    door.letGo();
    const QString keptToo = QStringLiteral(" O banco convertido, como estava, foi guardado pelo servidor como %1.").arg(kept);
    try {
        services->drop(where.database());
    } catch (const std::exception &e) {
        door.reopen();
        throw Exception(QStringLiteral("Não foi possível restaurar %1: %2. Nada foi restaurado.%3").arg(database, messageOf(e), keptToo));
    }
    try {
        services->putPagesBack(copyOnServer, where.onSameServer(where.serverFile()));
    } catch (const std::exception &e) {
        // The converted database back in its place, from its own page copy, door open.
        try {
            services->putPagesBack(kept, where.onSameServer(where.serverFile()));
        } catch (const std::exception &) {
            throw Exception(QStringLiteral("Não foi possível restaurar %1: %2. O banco convertido foi guardado pelo servidor "
                                           "como %3, e não voltou ao lugar: quando o servidor puder, conversor --restore %4 "
                                           "termina a restauração (ou o administrador do servidor restaura o banco "
                                           "convertido: nbackup -R %1 %3).")
                                .arg(database, messageOf(e), kept, copy));
        }
        door.reopen();
        throw Exception(QStringLiteral("Não foi possível restaurar %1: %2. Nada foi restaurado.%3").arg(database, messageOf(e), keptToo));
    }
    attach(db, database);
    bringOnlineIfShut(db, where);
    forgetTheRun(db);
    return QStringLiteral("banco restaurado a partir de %1; o banco convertido foi guardado pelo servidor como %2").arg(copy, kept);
}

// The server's backup goes back the way it came: the server keeps the converted database as a
// backup of its own, then makes the database anew from the copy.
QString putBackFromBackup(TSQLConnection &db, const QString &copy, const DatabaseLocation &where, const QDateTime &when,
                          HeldDoor &door)
{
    // Both files are the server's: named by its paths, not by a database string.
    const QString kept = keptName(where.serverFile(), when, QStringLiteral(".fbk"));
    db.setConnected(false);
    auto services = db.services(where.database());
    // A failure names what the server may have left: the clerk's or technician's to keep.
    try {
        services->backUp(where.database(), kept);
    } catch (const TDBXError &e) {
        throw advice::LeftBehind(e, QStringLiteral("O banco não foi mudado; se o servidor deixou o arquivo %1, ele está "
                                                   "incompleto e pode ser apagado.").arg(kept));
    }
    try {
        services->restore(DatabaseLocation(copy).serverFile(), where.database());
    } catch (const TDBXError &e) {
        throw advice::LeftBehind(e, QStringLiteral("O banco convertido ficou guardado pelo servidor como %1.").arg(kept));
    }
    door.letGo();
    attach(db, where.database());
    forgetTheRun(db);
    return QStringLiteral("banco restaurado a partir de %1; o banco convertido foi guardado pelo servidor como %2").arg(copy, kept);
}

// Makes the file to put in the database's place beside it: the copy's bytes with the
// database's owner, group and permission bits, so that whoever opened it opens it again.
void prepareInPlace(const QString &copy, const QString &partial, const QString &database, const struct stat &current)
{
    safetycopy::copyFile(copy, partial, {});
    const QByteArray partialName = filenames::encode(partial);
    if (::chown(partialName.constData(), current.st_uid, current.st_gid) != 0)
        [[maybe_unused]] const int ignored = ::chown(partialName.constData(), uid_t(-1), current.st_gid);
    if (::chmod(partialName.constData(), current.st_mode & 07777) != 0)
        throw Exception(QStringLiteral("Não foi possível restaurar %1: %2.").arg(database, systemMessage(errno)));
}

// The converted database kept aside under its new name (a second name of the same file, so that
// the database's name is never without a file), then the copy renamed over the database's.
void swapInPlace(const QString &partial, const QString &database, const QString &kept)
{
    if (::link(filenames::encode(database).constData(), filenames::encode(kept).constData()) != 0)
        throw Exception(QStringLiteral("Não foi possível guardar o banco convertido como %1: %2.").arg(kept, systemMessage(errno)));
    if (::rename(filenames::encode(partial).constData(), filenames::encode(database).constData()) != 0) {
        const int error = errno;
        ::unlink(filenames::encode(kept).constData());
        throw Exception(QStringLiteral("Não foi possível restaurar %1: %2.").arg(database, systemMessage(error)));
    }
    safetycopy::flushFolder(database);
}

// After the swap through a server: both files open again. Returns what the clerk should know
// of the kept file, empty when it is open.
QString reopenAfterSwap(dbx::Services &services, const DatabaseLocation &where, const QString &kept)
{
    // The copy in its place is open to all already (a copy opens as a database of its own): the
    // server then says the mode asked is no change.
    try {
        services.bringOnline(where.database());
    } catch (const TDBXError &e) {
        if (!e.hasEngineCode(isc_bad_shutdown_mode))
            throw;
    }
    // The converted database kept aside is the file the full shutdown closed: open again, as a
    // copy is, so that it can be looked at or put back.
    try {
        services.bringOnline(where.onSameServer(kept));
    } catch (const std::exception &) {
        return QStringLiteral(" (fechado para manutenção: conversor --unlock %1 o abre)").arg(kept);
    }
    return {};
}

// This program's copy of the file: the file itself swapped, while nobody may open it (a server
// that holds it lets go of it in a full shutdown).
QString swapTheFile(TSQLConnection &db, const QString &copy, const QString &database, const DatabaseLocation &where,
                    const QDateTime &when, HeldDoor &door)
{
    struct stat current {};
    if (::stat(filenames::encode(database).constData(), &current) != 0)
        throw Exception(QStringLiteral("Não foi possível ler %1: %2.").arg(database, systemMessage(errno)));
    const QString kept = keptName(database, when, QStringLiteral(".fb"));
    const QString partial = database + QStringLiteral(".restaurando");
    db.setConnected(false);
    std::unique_ptr<dbx::Services> services;
    if (where.viaServer()) {
        services = db.services(where.database());
        services->shutDown(where.database(), true);
    }
    auto online = qScopeGuard([&] {
        if (services)
            services->bringOnline(where.database());
    });
    auto dropPartial = qScopeGuard([&] { ::unlink(filenames::encode(partial).constData()); });
    prepareInPlace(copy, partial, database, current);
    swapInPlace(partial, database, kept);
    dropPartial.dismiss();
    door.letGo();
    online.dismiss();
    QString keptClosed = services ? reopenAfterSwap(*services, where, kept) : QString();
    // The converted database kept aside had the door closed when it was put aside.
    if (keptClosed.isEmpty() && !openDoor(db, where.onSameServer(kept)))
        keptClosed = QStringLiteral(" (fechado: conversor --check %1 o abre)").arg(kept);
    attach(db, database);
    forgetTheRun(db);
    return QStringLiteral("banco restaurado a partir de %1; o banco convertido foi guardado como %2%3").arg(copy, kept, keptClosed);
}

// A way back through the server's page copy cut short after it dropped the converted database
// and before it made the database anew: no file by any of the database's names, and beside the
// copy the converted database kept under the name the copy gives, carrying the record of the
// way back (which database, which copy) and the database's record that the copy was whole.
// Finished from the copy, proven by those records as an ordinary way back proves it; nothing
// is written over (the server makes no database over a file). Nothing when it was not so.
std::optional<QString> finishCutShort(TSQLConnection &db, const QString &copy)
{
    const QRegularExpressionMatch m = copyName().match(copy);
    if (!m.hasMatch())
        return std::nullopt;
    for (const char *suffix : {".fb", ".fdb", ".gdb"}) {
        try {
            attach(db, m.captured(1) + QLatin1String(suffix));
            db.setConnected(false);
            return std::nullopt; // there: an ordinary way back
        } catch (const std::exception &e) {
            if (!isMissing(e))
                return std::nullopt; // the ordinary way back says why it cannot reach it
        }
    }
    // The converted database kept is a page copy, which only the server reads: made into a
    // database of its own beside it for the time it takes to read its records (a finishing cut
    // short itself may have left that made already).
    // Through the server that made them: a path given is this computer's server's.
    const DatabaseLocation server(DatabaseLocation(m.captured(1) + QStringLiteral(".fb")).throughServer());
    const QString kept = keptPagesName(server.serverFile(), copy);
    const QString opened = server.onSameServer(kept.left(kept.size() - 4) + QStringLiteral(".aberto.fb"));
    std::unique_ptr<dbx::Services> services;
    try {
        services = db.services(server.database());
        try {
            attach(db, opened);
        } catch (const std::exception &e) {
            if (!isMissing(e))
                throw;
            services->putPagesBack(kept, opened);
            attach(db, opened);
        }
    } catch (const std::exception &) {
        return std::nullopt; // no such kept file: no way back of this copy was cut short here
    }
    const auto dropOpened = [&] {
        db.setConnected(false);
        try {
            services->drop(opened);
        } catch (const std::exception &) {
            // Left for the next finishing, which reads it again.
        }
    };
    auto dropOnFailure = qScopeGuard(dropOpened);
    QString database;
    for (const marks::Line &l : marks::find(descriptionOf(db)))
        if (l.kind == marks::Kind::Restoring && l.details.value(1).section(u'/', -1) == copy.section(u'/', -1))
            database = l.details.value(0);
    if (database.isEmpty())
        return std::nullopt;
    proveWhole(db, copy, database);
    // Read: gone before the database is made (its room is the database's), the kept page copy
    // staying as it was.
    dropOnFailure.dismiss();
    dropOpened();
    const QString target = server.onSameServer(database);
    services->putPagesBack(DatabaseLocation(copy).serverFile(), target);
    attach(db, target);
    bringOnlineIfShut(db, DatabaseLocation(target));
    forgetTheRun(db);
    return QStringLiteral("banco restaurado a partir de %1, terminando a restauração interrompida; o banco convertido foi "
                          "guardado pelo servidor como %2")
        .arg(copy, kept);
}

} // namespace

} // namespace restore
