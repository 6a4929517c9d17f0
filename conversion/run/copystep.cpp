// The run's safety copy: this program's own copy of the file under the engine's backup lock, or
// the server's, each recorded whole in the database only once it is.

#include "conversion.h"

#include "errors.h"
#include "filenames.h"
#include "location.h"
#include "guard.h"
#include "params.h"
#include "queries.h"
#include "safetycopy.h"
#include "sqlconnection.h"
#include "statements.h"

#include <QScopeGuard>

using queries::execute;

void Conversion::takeSafetyCopy()
{
    enterOrStop(Stage::Copy);
    const safetycopy::Plan plan = safetycopy::planFor(DatabaseLocation::attached(attachedAs_, serverFile_), runTime());
    if (plan.taker == safetycopy::Plan::Taker::Server) {
        takeServerCopy(plan.database, plan.copy);
        return;
    }
    safetycopy::checkRoom(plan.copy, plan.size);
    // The record of the copy commits with the backup lock: a run cut short during its copy is
    // made good by the next one.
    ledger_.describe(marks::withLine(ledger_.now().description, marks::copying(plan.database, plan.partial)));
    partial_ = plan.partial;
    backupLock_.emplace(ledger_);
    int shown = -1;
    safetycopy::copyFile(plan.database, plan.partial, [&](int percent) {
        if (percent == shown)
            return;
        shown = percent;
        view_.setStatus(QStringLiteral("Copiando o banco: %1%").arg(percent));
        view_.flushProgress();
    }, &interruptRequested_);
    backupLock_->end();
    backupLock_.reset();
    // Whole, opening on its own and flushed: only then under its name.
    safetycopy::fixUp(plan.partial);
    markCopy(plan.partial, plan.database, plan.copy);
    safetycopy::rename(plan.partial, plan.copy);
    partial_.clear();
    copy_ = plan.copy;
    copiedLine_ = marks::copied(copy_, filenames::sizeOf(copy_));
}

void Conversion::takeServerCopy(const QString &database, const QString &planned)
{
    // The server writes the copy, as its own account, while nobody else may write to the
    // database: the door lets the server's copy in, and nobody else meanwhile. Its physical
    // copy (the database's pages, at the speed of a file copy), else its logical backup where a
    // physical one cannot be made there (safetycopy::physicalCopyImpossible).
    view_.setStatus(QStringLiteral("Copiando o banco pelo servidor: ") + planned);
    view_.flushProgress();
    ledger_.describe(marks::withLine(ledger_.now().description, marks::copying(database, planned)));
    ledger_.commit();
    serverCopy_ = true;
    const auto services = db_.services(attachedAs_);
    QString copy = planned;
    try {
        services->copyPages(attachedAs_, copy);
    } catch (const std::exception &e) {
        if (!safetycopy::physicalCopyImpossible(e))
            throw;
        copy = safetycopy::serverPathFor(database, runTime(), safetycopy::Kind::Logical);
        copyNote_ = QStringLiteral("A cópia de segurança é a cópia lógica do servidor (gbak), mais lenta: a cópia física "
                                   "não pôde ser feita (%1).").arg(messageOf(e));
        view_.setStatus(QStringLiteral("Copiando o banco pelo servidor (cópia lógica, a física não pôde ser feita): ") + copy);
        view_.flushProgress();
        ledger_.describe(marks::withLine(marks::without(ledger_.now().description, marks::Kind::Copying),
                                         marks::copying(database, copy)));
        ledger_.commit();
        services->backUp(attachedAs_, copy);
    }
    copy_ = copy;
    copiedLine_ = marks::copied(copy_, filenames::sizeOf(DatabaseLocation(attachedAs_).localFile().isEmpty() ? QString() : copy_));
}

void Conversion::markCopy(const QString &partial, const QString &database, const QString &copy)
{
    // The copy says what it is: its record (not to be converted by mistake; the way back takes it
    // out), and its door, closed as it was taken, tells anyone who opens it what it is.
    TSQLConnection copyDb;
    copyDb.Params.setValue(QStringLiteral("DataBase"), partial);
    copyDb.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
    copyDb.setConnected(true);
    auto letGoOfCopy = qScopeGuard([&] { copyDb.setConnected(false); });
    TSQLQuery q;
    q.setSQLConnection(&copyDb);
    const marks::Description d = queries::readBytes(copyDb, statements::databaseDescription()).value(0).value(0);
    execute(q, statements::describeDatabase(marks::withLine(marks::without(marks::without(d, marks::Kind::Copying),
                                                                           marks::Kind::Reserved),
                                                            marks::copyOf(database, runTime()))));
    if (guard::closed(copyDb))
        guard::reword(q, QStringLiteral("Este arquivo é a cópia de segurança de %1 feita em %2, e não é para uso. Para voltar "
                                        "a ela: conversor --restore %3")
                             .arg(database, runTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), copy));
    execute(q, statements::commit());
}
