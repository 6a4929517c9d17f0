#include "restore.h"

#include "restoresteps.h"

#include "advice.h"
#include "errors.h"
#include "filenames.h"
#include "location.h"
#include "marks.h"
#include "queries.h"
#include "safetycopy.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <ibase.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace restore {

using namespace steps;

namespace {

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

} // namespace

QString keptName(const QString &database, const QDateTime &when, const QString &suffix)
{
    return DatabaseLocation(database).sibling(QStringLiteral(".convertido-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss")) + suffix);
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

} // namespace restore
