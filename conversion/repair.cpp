#include "repair.h"

#include "codemap.h"
#include "errors.h"
#include "filenames.h"
#include "ledger.h"
#include "params.h"
#include "queries.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"
#include "survey.h"

#include <QRegularExpression>
#include <QScopeGuard>

#include <ibase.h>
#include <sys/stat.h>
#include <unistd.h>

namespace repair {

namespace {

QDateTime dateOf(const QString &text)
{
    return QDateTime::fromString(text, QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

// What became of the run cut short: it had committed its codes (its conversion's mark is as
// recent as its reservation), or its work was undone by the engine.
QString fate(const marks::Description &description)
{
    QDateTime reserved, converted;
    for (const marks::Line &l : marks::find(description)) {
        if (l.kind == marks::Kind::Reserved)
            reserved = dateOf(l.details.value(0));
        else if (l.kind == marks::Kind::Converted)
            converted = dateOf(l.details.value(0));
    }
    const QString when = reserved.isValid() ? QStringLiteral(" de ") + reserved.toString(QStringLiteral("dd/MM HH:mm")) : QString();
    if (reserved.isValid() && converted.isValid() && converted >= reserved)
        return QStringLiteral("a conversão interrompida%1 tinha chegado ao fim: o banco já está convertido").arg(when);
    return QStringLiteral("a conversão interrompida%1 foi desfeita: os códigos estão como antes dela").arg(when);
}

// A record names files, and anyone can write a record (its check value keeps out mistakes, not
// intent): only a partial copy as this program names it, beside its database, of this user's,
// is removed.
bool isOurPartial(const QString &database, const QString &partial)
{
    static const QRegularExpression named(QStringLiteral("\\.copia-\\d{8}-\\d{6}(?:-\\d+)?\\.fb\\.parcial$"));
    const qsizetype slash = database.lastIndexOf(u'/');
    if (slash < 0 || !partial.startsWith(database.left(slash + 1)) || partial.indexOf(u'/', slash + 1) >= 0
        || !named.match(partial).hasMatch())
        return false;
    struct stat st {};
    return ::lstat(filenames::encode(partial).constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

} // namespace

QStringList makeGood(Ledger &ledger, int &backupState)
{
    QStringList done;
    marks::Description description = ledger.now().description;
    const QString fateText = fate(description);
    const bool reservedBefore = marks::has(description, marks::Kind::Reserved);
    const bool doorClosed = ledger.now().doorClosed;
    for (const marks::Line &line : marks::find(description)) {
        if (line.kind != marks::Kind::Copying)
            continue;
        if (backupState != 0) {
            queries::execute(ledger.query(), statements::endBackup());
            backupState = 0;
            done << QStringLiteral("a trava de cópia que ela deixou foi liberada");
        }
        if (const QString partial = line.details.value(1); isOurPartial(line.details.value(0), partial)
            && ::unlink(filenames::encode(partial).constData()) == 0)
            done << QStringLiteral("a cópia incompleta %1 foi apagada").arg(partial);
    }
    if (const QStringList left = ledger.triggers().leftOff(); !left.isEmpty())
        done << QStringLiteral("os gatilhos que ela deixou desativados foram reativados (%1)").arg(left.join(QStringLiteral(", ")));
    ledger.triggers().makeGood();
    ledger.dropMap();
    ledger.openDoor();
    ledger.describe(marks::without(marks::without(description, marks::Kind::Copying), marks::Kind::Reserved));
    if (!done.isEmpty() || reservedBefore || doorClosed)
        done.prepend(fateText);
    return done;
}

QString copyText(const marks::Description &description, const QString &file)
{
    if (file.isEmpty())
        return {};
    for (const marks::Line &l : marks::find(description))
        if (l.kind == marks::Kind::CopyOf && l.details.value(0) != file)
            return QStringLiteral("Este arquivo é a cópia de segurança de %1 feita em %2: converta o banco, não a cópia.")
                .arg(l.details.value(0), l.details.value(1));
    return {};
}

QString busyText(const marks::Description &description, const QString &othersText)
{
    for (const marks::Line &l : marks::find(description))
        if (l.kind == marks::Kind::Reserved)
            return QStringLiteral("Uma conversão deste banco está em andamento desde %1 (%2): espere que ela termine.")
                .arg(l.details.value(0), QString(othersText).section(u'(', 1).section(u')', 0, 0));
    return othersText;
}

QStringList giveBack(TSQLConnection &db, bool anyLock)
{
    QStringList done;
    const QString path = db.Params.value(QStringLiteral("DataBase"));
    // Past the door a run cut short left, as the run gets in.
    db.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
    try {
        db.setConnected(true);
    } catch (const TDBXError &e) {
        // A full shutdown admits nobody: only the server brings the database back.
        if (!anyLock || !e.hasEngineCode(isc_shutdown))
            throw;
        const QString database = path.startsWith(u'/') ? QStringLiteral("localhost:") + path : path;
        db.services(database)->bringOnline(database);
        return {QStringLiteral("o banco fechado (shutdown) foi reaberto")};
    }
    auto letGo = qScopeGuard([&] { db.setConnected(false); });
    const QString attachedAs = db.attachedAs();
    marks::Description description = queries::readBytes(db, statements::databaseDescription()).value(0).value(0);
    if (const QList<OtherAttachment> others = Survey::others(db); !others.isEmpty()) {
        if (anyLock)
            throw Exception(busyText(description, Survey::othersText(others))
                                .replace(QStringLiteral("converta de novo"), QStringLiteral("tente de novo")));
        return done;
    }
    const QStringList state = queries::readAll(db, statements::databaseState()).value(0);
    if (state.value(0).toInt() != 0) // read-only: nothing can be written, nor is left to make good
        return done;
    if (!copyText(description, trimControl(state.value(3))).isEmpty())
        return done;
    const bool shutDown = state.value(1).toInt() != 0;
    int backupState = state.value(2).toInt();
    // A reservation by shutdown, as earlier versions took it, goes with the rest.
    const bool reserved = marks::has(description, marks::Kind::Reserved);

    TSQLQuery query;
    query.setSQLConnection(&db);
    Ledger ledger(db, query);
    ledger.read();
    const bool doorClosed = ledger.now().doorClosed;
    done = makeGood(ledger, backupState);
    if (doorClosed)
        done << QStringLiteral("o banco foi devolvido aos programas da loja");
    if (backupState != 0 && anyLock) {
        queries::execute(query, statements::endBackup());
        done << QStringLiteral("a trava de cópia do Firebird foi liberada (ALTER DATABASE END BACKUP)");
    }
    ledger.commit();
    if (!shutDown || (!reserved && !anyLock))
        return done;
    db.setConnected(false);
    db.services(attachedAs)->bringOnline(attachedAs);
    done << (reserved ? QStringLiteral("o banco que uma conversão interrompida deixou fechado foi reaberto")
                      : QStringLiteral("o banco fechado (shutdown) foi reaberto"));
    return done;
}

} // namespace repair
