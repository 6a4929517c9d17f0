#include "restore.h"

#include "advice.h"
#include "errors.h"
#include "filenames.h"
#include "guard.h"
#include "marks.h"
#include "params.h"
#include "queries.h"
#include "safetycopy.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"
#include "survey.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <ibase.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace restore {

namespace {


bool exists(const QString &path)
{
    struct stat st {};
    return ::stat(filenames::encode(path).constData(), &st) == 0;
}

// Attaches db to database (a path, or a database string), without the database's own triggers.
void attach(TSQLConnection &db, const QString &database)
{
    db.setConnected(false);
    db.Params.setValue(QStringLiteral("DataBase"), database);
    db.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
    db.setConnected(true);
}

// The copy's record of where it came from, when the copy holds one.
QString recordedOrigin(TSQLConnection &db, const QString &copy)
{
    try {
        attach(db, copy);
        auto letGo = qScopeGuard([&] { db.setConnected(false); });
        const marks::Description d = queries::readBytes(db, statements::databaseDescription()).value(0).value(0);
        for (const marks::Line &l : marks::find(d))
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
    const marks::Description d = queries::readBytes(db, statements::databaseDescription()).value(0).value(0);
    marks::Description left =
        marks::without(marks::without(marks::without(d, marks::Kind::Copying), marks::Kind::Reserved), marks::Kind::CopyOf);
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
    const marks::Description d = queries::readBytes(db, statements::databaseDescription()).value(0).value(0);
    const QString name = copy.section(u'/', -1);
    for (const marks::Line &l : marks::find(d)) {
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

// Closes the door of the database attached to everyone else for the time the way back takes,
// and looks once more at who came in before it closed. Returns whether it closed it.
bool closeDoor(TSQLConnection &db, const QString &database)
{
    if (guard::closed(db))
        return false;
    TSQLQuery q;
    q.setSQLConnection(&db);
    guard::close(q, database);
    queries::execute(q, statements::commit());
    return true;
}

// The door opened again in the database string given, as best it can be: a failure leaves it
// to conversor --check.
bool openDoor(TSQLConnection &db, const QString &database)
{
    try {
        attach(db, database);
        auto letGo = qScopeGuard([&] { db.setConnected(false); });
        if (guard::closed(db)) {
            TSQLQuery q;
            q.setSQLConnection(&db);
            guard::open(q);
            queries::execute(q, statements::commit());
        }
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

// "host:" or "host/port:" of a database string, empty for a path.
QString hostOf(const QString &attachedAs)
{
    return attachedAs.left(attachedAs.startsWith(u'/') ? 0 : attachedAs.indexOf(u':') + 1);
}

// The file as the server attached opened it (an alias or a link resolved), in the database
// string's own terms when the server does not say.
QString serverFileOf(TSQLConnection &db, const QString &attachedAs)
{
    const QString file = trimControl(queries::readAll(db, statements::databaseState()).value(0).value(3));
    return file.isEmpty() ? attachedAs.mid(hostOf(attachedAs).size()) : file;
}

// A copy taken of a database in a shutdown (an earlier version's run kept it so) comes back shut
// down: brought back online, as the database was for its users.
void bringOnlineIfShut(TSQLConnection &db, const QString &attachedAs)
{
    if (queries::readAll(db, statements::databaseState()).value(0).value(1).toInt() == 0)
        return;
    const QString database = db.Params.value(QStringLiteral("DataBase"));
    db.setConnected(false);
    db.services(attachedAs)->bringOnline(attachedAs);
    attach(db, database);
}

void refuseWhenInUse(TSQLConnection &db)
{
    if (const QList<OtherAttachment> others = Survey::others(db); !others.isEmpty())
        throw Exception(Survey::othersText(others).replace(QStringLiteral("converta de novo"), QStringLiteral("tente de novo")));
}

} // namespace

QString keptName(const QString &database, const QDateTime &when, const QString &suffix)
{
    const qsizetype slash = std::max(database.lastIndexOf(u'/'), database.lastIndexOf(u'\\'));
    const QString file = database.mid(slash + 1);
    const qsizetype dot = file.lastIndexOf(u'.');
    return database.left(slash + 1) + (dot > 0 ? file.left(dot) : file) + QStringLiteral(".convertido-")
        + when.toString(QStringLiteral("yyyyMMdd-HHmmss")) + suffix;
}

QString databaseOf(TSQLConnection &db, const QString &copy)
{
    // "<name>.copia-<yyyyMMdd-HHmmss>[-n].fb", ".nbk" or ".fbk", and perhaps "host:" before it.
    static const QRegularExpression named(QStringLiteral("^(.*)") + safetycopy::copyNamePattern + u'$');
    const QRegularExpressionMatch m = named.match(copy);
    // The database beside it that recorded this copy whole: found without opening the copy,
    // which an attach would change (its header), and which the way back leaves as it was.
    if (m.hasMatch())
        for (const char *suffix : {".fb", ".fdb", ".gdb"}) {
            try {
                const QString candidate = m.captured(1) + QLatin1String(suffix);
                attach(db, candidate);
                auto letGo = qScopeGuard([&] { db.setConnected(false); });
                const marks::Description d = queries::readBytes(db, statements::databaseDescription()).value(0).value(0);
                for (const marks::Line &l : marks::find(d))
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
    const bool onAServer = !copy.startsWith(u'/')
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
    const QString database = databaseOf(db, copy);
    auto letGo = qScopeGuard([&] { db.setConnected(false); });
    attach(db, database);
    refuseWhenInUse(db);
    proveWhole(db, copy, database);
    const QString attachedAs = db.attachedAs();
    // From here to the end nobody but this program gets in: no sale goes into a database about
    // to be replaced. A way back that fails leaves the converted database as it was, door open.
    const bool closedHere = closeDoor(db, database);
    auto reopen = qScopeGuard([&] {
        if (closedHere)
            openDoor(db, attachedAs);
    });
    refuseWhenInUse(db);

    if (copy.endsWith(QLatin1String(".nbk"))) {
        // The server's physical copy goes back the way it came: the converted database kept as a
        // page copy of its own beside it, deleted, and made anew from the copy's pages (the
        // server makes no page copy over a file). The door stays closed all along, in the
        // converted database, then in the copy's (it was taken closed), until the records go.
        const QString file = serverFileOf(db, attachedAs);
        const QString kept = keptName(file, when, QStringLiteral(".nbk"));
        db.setConnected(false);
        auto services = db.services(attachedAs);
        services->copyPages(attachedAs, kept);
        reopen.dismiss();
        const QString keptToo = QStringLiteral(" O banco convertido, como estava, foi guardado pelo servidor como %1.").arg(kept);
        try {
            services->drop(attachedAs);
        } catch (const std::exception &e) {
            if (closedHere)
                openDoor(db, attachedAs);
            throw Exception(QStringLiteral("Não foi possível restaurar %1: %2. Nada foi restaurado.%3").arg(database, messageOf(e), keptToo));
        }
        try {
            services->putPagesBack(copy, hostOf(attachedAs) + file);
        } catch (const std::exception &e) {
            // The converted database back in its place, from its own page copy, door open.
            try {
                services->putPagesBack(kept, hostOf(attachedAs) + file);
            } catch (const std::exception &) {
                throw Exception(QStringLiteral("Não foi possível restaurar %1: %2. O banco convertido foi guardado pelo servidor "
                                               "como %3, e não voltou ao lugar: peça ao administrador do servidor que o "
                                               "restaure (nbackup -R %1 %3).")
                                    .arg(database, messageOf(e), kept));
            }
            if (closedHere)
                openDoor(db, attachedAs);
            throw Exception(QStringLiteral("Não foi possível restaurar %1: %2. Nada foi restaurado.%3").arg(database, messageOf(e), keptToo));
        }
        attach(db, database);
        bringOnlineIfShut(db, attachedAs);
        forgetTheRun(db);
        return QStringLiteral("banco restaurado a partir de %1; o banco convertido foi guardado pelo servidor como %2")
            .arg(copy, kept);
    }

    if (copy.endsWith(QLatin1String(".fbk"))) {
        // The server's backup goes back the way it came: the server keeps the converted database
        // as a backup of its own, then makes the database anew from the copy.
        const QString kept = keptName(database, when, QStringLiteral(".fbk"));
        db.setConnected(false);
        auto services = db.services(attachedAs);
        // A failure names what the server may have left: the clerk's or technician's to keep.
        try {
            services->backUp(attachedAs, kept);
        } catch (const TDBXError &e) {
            throw advice::LeftBehind(e, QStringLiteral("O banco não foi mudado; se o servidor deixou o arquivo %1, ele está "
                                                       "incompleto e pode ser apagado.").arg(kept));
        }
        try {
            services->restore(copy, attachedAs);
        } catch (const TDBXError &e) {
            throw advice::LeftBehind(e, QStringLiteral("O banco convertido ficou guardado pelo servidor como %1.").arg(kept));
        }
        reopen.dismiss();
        attach(db, database);
        forgetTheRun(db);
        return QStringLiteral("banco restaurado a partir de %1; o banco convertido foi guardado pelo servidor como %2")
            .arg(copy, kept);
    }

    // This program's copy of the file: the file itself swapped, while nobody may open it (a
    // server that holds it lets go of it in a full shutdown).
    struct stat current {};
    if (::stat(filenames::encode(database).constData(), &current) != 0)
        throw Exception(QStringLiteral("Não foi possível ler %1: %2.").arg(database, systemMessage(errno)));
    const QString kept = keptName(database, when, QStringLiteral(".fb"));
    const QString partial = database + QStringLiteral(".restaurando");
    db.setConnected(false);
    std::unique_ptr<dbx::Services> services;
    if (!attachedAs.startsWith(u'/')) {
        services = db.services(attachedAs);
        services->shutDown(attachedAs, true);
    }
    auto online = qScopeGuard([&] {
        if (services)
            services->bringOnline(attachedAs);
    });
    auto dropPartial = qScopeGuard([&] { ::unlink(filenames::encode(partial).constData()); });
    safetycopy::copyFile(copy, partial, {});
    // The database's owner, group and permission bits, so that whoever opened it opens it again.
    const QByteArray partialName = filenames::encode(partial);
    if (::chown(partialName.constData(), current.st_uid, current.st_gid) != 0)
        [[maybe_unused]] const int ignored = ::chown(partialName.constData(), uid_t(-1), current.st_gid);
    if (::chmod(partialName.constData(), current.st_mode & 07777) != 0)
        throw Exception(QStringLiteral("Não foi possível restaurar %1: %2.").arg(database, systemMessage(errno)));
    if (::link(filenames::encode(database).constData(), filenames::encode(kept).constData()) != 0)
        throw Exception(QStringLiteral("Não foi possível guardar o banco convertido como %1: %2.").arg(kept, systemMessage(errno)));
    if (::rename(partialName.constData(), filenames::encode(database).constData()) != 0) {
        const int error = errno;
        ::unlink(filenames::encode(kept).constData());
        throw Exception(QStringLiteral("Não foi possível restaurar %1: %2.").arg(database, systemMessage(error)));
    }
    dropPartial.dismiss();
    reopen.dismiss();
    safetycopy::flushFolder(database);
    online.dismiss();
    QString keptClosed;
    if (services) {
        // The copy in its place is open to all already (a copy opens as a database of its own):
        // the server then says the mode asked is no change.
        try {
            services->bringOnline(attachedAs);
        } catch (const TDBXError &e) {
            if (!e.hasEngineCode(isc_bad_shutdown_mode))
                throw;
        }
        // The converted database kept aside is the file the full shutdown closed: open again, as
        // a copy is, so that it can be looked at or put back.
        try {
            services->bringOnline(attachedAs.left(attachedAs.indexOf(u':') + 1) + kept);
        } catch (const std::exception &) {
            keptClosed = QStringLiteral(" (fechado para manutenção: conversor --unlock %1 o abre)").arg(kept);
        }
    }
    // The converted database kept aside had the door closed when it was put aside.
    if (keptClosed.isEmpty() && !openDoor(db, attachedAs.left(attachedAs.startsWith(u'/') ? 0 : attachedAs.indexOf(u':') + 1) + kept))
        keptClosed = QStringLiteral(" (fechado: conversor --check %1 o abre)").arg(kept);
    attach(db, database);
    forgetTheRun(db);
    return QStringLiteral("banco restaurado a partir de %1; o banco convertido foi guardado como %2%3").arg(copy, kept, keptClosed);
}

} // namespace restore
