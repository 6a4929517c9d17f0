#include "repair.h"

#include "errors.h"
#include "filenames.h"
#include "ledger.h"
#include "location.h"
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
// recent as its reservation), or its work was undone by the engine. A way back cut short before
// it dropped the converted database changed nothing.
QString fate(const marks::Description &description)
{
    QDateTime reserved, converted;
    for (const marks::Line &l : marks::find(description)) {
        if (l.kind == marks::Kind::Restoring)
            return QStringLiteral("a restauração interrompida não mudou o banco: ele continua convertido (conversor --restore %1 "
                                  "a faz de novo)").arg(l.details.value(1));
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
    const marks::Description description = ledger.now().description;
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
    ledger.describe(marks::without(marks::without(marks::without(description, marks::Kind::Copying), marks::Kind::Reserved),
                                   marks::Kind::Restoring));
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

namespace {

// A full shutdown admits nobody: only the server brings the database back.
QStringList reopenFullShutdown(TSQLConnection &db)
{
    const QString database = DatabaseLocation(db.Params.value(QStringLiteral("DataBase"))).throughServer();
    db.services(database)->bringOnline(database);
    return {QStringLiteral("o banco fechado (shutdown) foi reaberto")};
}

// Whether others at work keep the giving back from touching anything: what they hold may be
// theirs. Asked to end any lock, that is a failure naming them (or the run going on).
bool othersAtWork(const Standing &standing, bool anyLock)
{
    if (!standing.others.isEmpty() && anyLock)
        throw Exception(busyText(standing.description, Survey::othersText(standing.others))
                            .replace(QStringLiteral("converta de novo"), QStringLiteral("tente de novo")));
    return !standing.others.isEmpty();
}

// What a run cut short left, made good in one commit; with anyLock, a backup lock nobody's run
// left ended too (an administrator's nbackup cut short, say).
QStringList makeGoodAndCommit(Ledger &ledger, int backupState, bool anyLock)
{
    const bool doorClosed = ledger.now().doorClosed;
    QStringList done = makeGood(ledger, backupState);
    if (doorClosed)
        done << QStringLiteral("o banco foi devolvido aos programas da loja");
    if (backupState != 0 && anyLock) {
        queries::execute(ledger.query(), statements::endBackup());
        done << QStringLiteral("a trava de cópia do Firebird foi liberada (ALTER DATABASE END BACKUP)");
    }
    ledger.commit();
    return done;
}

// A single-user shutdown ended by the server that holds the database: the reservation an
// earlier version's run took so, or anyone's when asked to end any lock.
QString endShutdown(TSQLConnection &db, const QString &attachedAs, bool reserved)
{
    db.setConnected(false);
    db.services(attachedAs)->bringOnline(attachedAs);
    return reserved ? QStringLiteral("o banco que uma conversão interrompida deixou fechado foi reaberto")
                    : QStringLiteral("o banco fechado (shutdown) foi reaberto");
}

} // namespace

QStringList giveBack(TSQLConnection &db, bool anyLock)
{
    // Past the door a run cut short left, as the run gets in.
    db.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
    try {
        db.setConnected(true);
    } catch (const TDBXError &e) {
        if (!anyLock || !e.hasEngineCode(isc_shutdown))
            throw;
        return reopenFullShutdown(db);
    }
    auto letGo = qScopeGuard([&] { db.setConnected(false); });
    const QString attachedAs = db.attachedAs();
    TSQLQuery query;
    query.setSQLConnection(&db);
    Ledger ledger(db, query);
    ledger.read();
    const Standing standing = Standing::read(db, ledger.now().description);
    if (othersAtWork(standing, anyLock))
        return {};
    // Read-only, nothing can be written, nor is left to make good; a safety copy is never made
    // good: what the run had left in it is what keeps it from use.
    if (standing.readOnly || !copyText(standing.description, standing.serverFile).isEmpty())
        return {};
    const bool reserved = marks::has(standing.description, marks::Kind::Reserved);
    QStringList done = makeGoodAndCommit(ledger, standing.backupState, anyLock);
    if (standing.shutDown && (reserved || anyLock))
        done << endShutdown(db, attachedAs, reserved);
    return done;
}

} // namespace repair
