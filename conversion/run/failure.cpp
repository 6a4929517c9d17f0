// What a failed run leaves: the text of its failure, and its undoing. Nothing of a failed run
// may stay but what it could not switch back, and that is said.

#include "conversion.h"

#include "advice.h"
#include "conversion_p.h"
#include "filenames.h"
#include "params.h"
#include "rewriteplan.h"
#include "sqlconnection.h"
#include "survey.h"

#include <QScopeGuard>

#include <unistd.h>

using conversionrun::interruptedText;
using conversionrun::Stopped;

namespace {

const QString triggersLeftOffLine = QStringLiteral(
    "Os gatilhos continuam desativados, e o banco fechado aos outros programas até que conversor --check %1 os reative e "
    "o devolva.");

void removeFile(const QString &path)
{
    if (!path.isEmpty())
        ::unlink(filenames::encode(path).constData());
}

} // namespace

void Conversion::fail(const std::exception &e, const RewritePlan *plan)
{
    failure_ = failureText(e);
    if (outcome_ == Outcome::Converted) { // what fails after the commit undoes nothing
        tell(MessageKind::Error, failure_);
        return;
    }
    rollBack();
    const bool triggersOn = undo();
    // Which rows clashed is read from the codes as they were (rolled back, the triggers on
    // again), before the run gives the database back.
    QString hint;
    if (!interruptRequested_ && advice::isKeyViolation(e) && plan && db_.Connected())
        hint = Survey::collisionHint(db_, *plan, {trimControl(table_), advice::tableOfViolation(e)}, path_);
    giveBack(triggersOn);
    if (!triggersOn)
        failure_ += u'\r' + triggersLeftOffLine.arg(path_);
    if (interruptRequested_) {
        outcome_ = Outcome::Interrupted;
        return;
    }
    failure_ += hint;
    outcome_ = Outcome::Failed;
    tell(MessageKind::Error, failure_);
    // Nothing was changed: the window does not stay as if work were going on.
    view_.setProgress(0);
    view_.setStatus(QStringLiteral("Nada foi alterado."));
}

QString Conversion::failureText(const std::exception &e) const
{
    // A stop asked for: whatever the statement said, and wherever the run was, it was the stop.
    if (interruptRequested_ && !commitSent_)
        return interruptedText;
    if (const auto *stopped = dynamic_cast<const Stopped *>(&e)) {
        if (stopped->table.isEmpty())
            return stopped->message();
        return QStringLiteral("Erro ao atualizar a tabela ") + trimControl(stopped->table) + QStringLiteral("\rMotivo: ")
            + stopped->message();
    }
    QString where;
    switch (stage_) {
    case Stage::Connect: // the connect step says its own
    case Stage::Survey: where = QStringLiteral("Erro ao examinar o banco"); break;
    case Stage::MakeGood: where = QStringLiteral("Erro ao desfazer o que uma conversão interrompida deixou"); break;
    case Stage::Reserve: where = QStringLiteral("Erro ao reservar o banco para a conversão"); break;
    case Stage::Copy: where = QStringLiteral("Erro ao fazer a cópia de segurança"); break;
    case Stage::Triggers: where = QStringLiteral("Erro ao desativar os gatilhos"); break;
    case Stage::List: where = QStringLiteral("Erro ao ler os códigos para a lista dos antigos e novos"); break;
    case Stage::Tables: where = QStringLiteral("Erro ao atualizar a tabela ") + trimControl(table_); break;
    case Stage::TriggersOn: where = QStringLiteral("Erro ao reativar os gatilhos"); break;
    case Stage::Commit: where = QStringLiteral("Erro ao gravar a conversão no banco (Commit)"); break;
    case Stage::Release: where = QStringLiteral("Erro ao devolver o banco ao servidor"); break;
    }
    return advice::withReason(where, e, path_);
}

void Conversion::rollBack()
{
    // A rollback that fails leaves nothing either: the engine undoes what is not committed when
    // the connection goes. An interrupt must not stop it.
    db_.cancel(dbx::Cancel::Disable);
    auto enable = qScopeGuard([this] { db_.cancel(dbx::Cancel::Enable); });
    try {
        // A failure after the run let go of the database (giving it back) has nothing open.
        if (!db_.Connected() && stage_ != Stage::Release)
            attachAgain();
    } catch (const std::exception &) {
    }
    try {
        ledger_.rollBack();
    } catch (const std::exception &) {
    }
}

bool Conversion::undo()
{
    // Nothing of a failed run may stay: the backup lock of its copy ended, the copy's record and
    // file gone, the triggers it switched off on again, the map of codes dropped. An interrupt
    // must not stop the undoing itself.
    db_.cancel(dbx::Cancel::Disable);
    auto enable = qScopeGuard([this] { db_.cancel(dbx::Cancel::Enable); });
    // A run stopped before it had the database to itself changed nothing: what the database
    // holds then (another run's reservation, its copy's record) is not this run's to touch.
    if (!reservedHere_) {
        letGo();
        return true;
    }
    // What this run's switch-off committed (its triggers, the map): none once its codes were.
    const bool switchedOff = !ledger_.triggers().leftOff().isEmpty() || ledger_.committed().mapMade;
    bool triggersOn = true;
    try {
        if (db_.Connected()) {
            backupLock_.reset();
            if (switchedOff) {
                try {
                    ledger_.triggers().switchOn();
                } catch (const std::exception &) {
                    triggersOn = false;
                    ledger_.rollBack();
                }
            }
            marks::Description description = marks::without(ledger_.now().description, marks::Kind::Copying);
            if (!copiedLine_.isEmpty())
                description = marks::withoutLine(description, copiedLine_);
            ledger_.describe(description);
            // The map goes with the triggers' switching on; left with them when that fails.
            if (triggersOn)
                ledger_.dropMap();
            ledger_.commit();
        }
    } catch (const std::exception &) {
        if (switchedOff)
            triggersOn = false;
        try {
            ledger_.rollBack();
        } catch (const std::exception &) {
        }
    }
    // Nothing changed: a copy would only mislead (the server's own is beyond this program).
    removeFile(partial_);
    if (!serverCopy_)
        removeFile(copy_);
    copy_.clear();
    return triggersOn;
}

void Conversion::giveBack(bool triggersOn)
{
    if (!reservedHere_)
        return;
    // An interrupt must not stop the giving back either.
    db_.cancel(dbx::Cancel::Disable);
    auto enable = qScopeGuard([this] { db_.cancel(dbx::Cancel::Enable); });
    try {
        // Triggers left off keep the door closed, as a run cut short does, until made good.
        if (!triggersOn)
            letGo();
        else if (reserved_ || db_.Connected())
            release();
    } catch (const std::exception &) {
        // The reservation's record stays: the next run or check gives the database back.
    }
}

void Conversion::tell(MessageKind kind, const QString &text)
{
    // A view that can no longer show a box (the window is going) has nobody to tell.
    try {
        view_.showMessage(kind, text);
    } catch (const std::exception &) {
    }
}
