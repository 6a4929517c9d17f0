// The way back of the server's copy of the database's pages, and its finishing when it was cut
// short between the drop and the rebuild.
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

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <memory>
#include <utility>

namespace restore {

using namespace steps;

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
    // The newest converted database kept by a way back whose copy is still beside it: by its
    // run's time, then its number in that second.
    static const QRegularExpression keptNamed(QStringLiteral("^\\.convertido-((\\d{8}-\\d{6})(?:-(\\d+))?)\\.nbk$"));
    QString newest, run;
    std::pair<QString, int> newestWhen;
    for (const QString &name : QDir(folder).entryList({stem + QStringLiteral(".convertido-*.nbk")}, QDir::Files)) {
        const QRegularExpressionMatch m = keptNamed.match(name.mid(stem.size()));
        if (!name.startsWith(stem) || !m.hasMatch() || !exists(folder + stem + QStringLiteral(".copia-") + m.captured(1) + QStringLiteral(".nbk")))
            continue;
        const std::pair<QString, int> when{m.captured(2), m.captured(3).isEmpty() ? 1 : m.captured(3).toInt()};
        if (newest.isEmpty() || when > newestWhen)
            newest = folder + name, run = m.captured(1), newestWhen = when;
    }
    if (newest.isEmpty())
        return {};
    const QString copy = folder + stem + QStringLiteral(".copia-") + run + QStringLiteral(".nbk");
    return advice::forTechnician(QStringLiteral("A restauração de %1 foi interrompida: o banco não está no lugar. O banco "
                                                "convertido está guardado em %2, e a cópia de segurança em %3.")
                                     .arg(file, newest, copy),
                                 QStringLiteral("Para o técnico: conversor --restore %1 termina a restauração (refaz o "
                                                "banco a partir da cópia; nada é apagado).")
                                     .arg(copy));
}

namespace steps {

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

} // namespace steps

} // namespace restore
