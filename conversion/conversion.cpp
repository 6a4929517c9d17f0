#include "conversion.h"

#include "advice.h"
#include "errors.h"
#include "marks.h"
#include "params.h"
#include "queries.h"
#include "rewriteplan.h"
#include "safetycopy.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"
#include "survey.h"
#include "triggerswitch.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <set>

using queries::execute;

namespace {

// A run stopped before anything changed: the box's whole text, or the relation it is about and
// why.
class Stopped final : public Exception {
public:
    Stopped(QString table, QString reason) : Exception(std::move(reason)), table(std::move(table)) {}
    QString table;
};

const QString triggersLeftOffLine =
    QStringLiteral("Os gatilhos continuam desativados; a próxima conversão deste banco os reativa.");
const QString interruptedText = QStringLiteral("Conversão interrompida");
const QString nameColumn = QStringLiteral("Tabela"); // the discovery's

} // namespace

bool Conversion::ConectaBancoVestrel()
{
    try {
        const QString path = view_.pathText();
        if (path.isEmpty())
            throw Exception(QStringLiteral("Caminho do banco de dados em branco"));
        // Another file chosen since the last attach: attach to that one, not the old one.
        if (db_.Connected() && db_.attachedDatabase() != trimControl(path))
            db_.setConnected(false);
        db_.Params.setValue(QStringLiteral("DataBase"), path);
        db_.setConnected(true);
        return true;
    } catch (const std::exception &e) {
        // An attach given up on a stop is an interrupted run, not a failed connect.
        if (interruptRequested_)
            return false;
        tell(MessageKind::Error, advice::connectFailure(e));
        return false;
    }
}

void Conversion::interrupt()
{
    std::lock_guard lock(interruptGuard_);
    interruptRequested_ = true;
    // A commit under way is not cancelled: its outcome is the run's.
    if (!commitSent_)
        db_.cancel(dbx::Cancel::Raise);
}

void Conversion::enter(Stage stage)
{
    stage_ = stage;
    if (interruptRequested_)
        throw Exception(interruptedText);
}

// The whole run, step by step. Every step either does its part or throws; fail() says what a
// failure means and undoes what the run changed.
void Conversion::run()
{
    if (interruptRequested_ || !ConectaBancoVestrel()) {
        outcome_ = interruptRequested_ ? Outcome::Interrupted : Outcome::NotConnected;
        if (interruptRequested_)
            failure_ = interruptedText;
        return;
    }
    auto release = qScopeGuard([this] { db_.setConnected(false); });
    TSQLQuery QryBuscaTabelas, QryAtualizaTabela;
    QryBuscaTabelas.setSQLConnection(&db_);
    QryAtualizaTabela.setSQLConnection(&db_);
    TriggerSwitch triggers(db_, QryAtualizaTabela);
    TriggerSwitch *switchedOff = nullptr;
    try {
        const Survey survey = look(triggers);
        if (!goAhead(survey))
            return;
        if (options_.safetyCopy)
            takeSafetyCopy(QryAtualizaTabela);
        switchTriggersOff(triggers);
        switchedOff = &triggers;
        rewriteTables(survey.plan(), QryBuscaTabelas, QryAtualizaTabela);
        commitWithTriggersOn(triggers, QryAtualizaTabela);
        reportSuccess();
    } catch (const std::exception &e) {
        fail(e, outcome_ == Outcome::Converted ? nullptr : switchedOff, QryAtualizaTabela);
    }
}

Survey Conversion::look(TriggerSwitch &triggers)
{
    // What a run cut short left switched off is switched on first, whatever this run does.
    enter(Stage::Triggers);
    triggers.read();
    triggers.makeGood();
    // Nothing changes before the database has been looked at.
    enter(Stage::Survey);
    return Survey::read(db_, triggers.description());
}

bool Conversion::goAhead(const Survey &survey)
{
    if (!survey.stops().isEmpty())
        throw Stopped(survey.stops().first().table, survey.stops().first().reason);
    if (!survey.convertedBecause().isEmpty() && !view_.confirm(Survey::confirmText(survey.convertedBecause()))) {
        outcome_ = Outcome::Declined;
        return false;
    }
    return true;
}

void Conversion::takeSafetyCopy(TSQLQuery &query)
{
    enter(Stage::Copy);
    // The file itself: a database reached through a server on another computer cannot be copied
    // from here.
    const QString file = db_.attachedDatabase();
    const QFileInfo info(file);
    if (!info.isAbsolute() || !info.isFile())
        throw Exception(QStringLiteral("o banco não é um arquivo deste computador (%1); a cópia de segurança não pode ser "
                                       "feita").arg(file));
    const QString copy = safetycopy::unusedPathFor(info.absoluteFilePath(), QDateTime::currentDateTime());
    safetycopy::checkRoom(copy, info.size());
    backupLock_.emplace(query);
    int shown = -1;
    safetycopy::copyFile(info.absoluteFilePath(), copy, [&](int percent) {
        if (percent == shown)
            return;
        shown = percent;
        view_.setStatus(QStringLiteral("Copiando o banco: %1%").arg(percent));
        view_.repaintNow();
    }, &interruptRequested_);
    copy_ = copy;
    backupLock_->end();
    backupLock_.reset();
    safetycopy::clearBackupState(copy);
}

void Conversion::switchTriggersOff(TriggerSwitch &triggers)
{
    enter(Stage::Triggers);
    triggers.switchOff();
}

void Conversion::rewriteTables(const RewritePlan &plan, TSQLQuery &discovery, TSQLQuery &query)
{
    enter(Stage::Tables);
    discovery.Close();
    discovery.SQL().setText(statements::discovery());
    discovery.Open();
    view_.setGaugeMax(discovery.RecordCount());
    // A relation the discovery lists twice (CODPROD and a quoted "codprod") is rewritten once.
    std::set<QString> rewritten;
    while (!discovery.Eof()) {
        table_ = discovery.FieldByName(nameColumn).AsString();
        view_.setStatus(QStringLiteral("Atualizando tabela: ") + trimControl(table_));
        view_.repaintNow();
        // The name is read from the current row again for the statement.
        const QString name = trimControl(discovery.FieldByName(nameColumn).AsString());
        const RewritePlan::Step step = plan.step(name);
        if (step.rewrite && rewritten.insert(name).second) {
            if (!isPlainIdentifier(name)) // listed after the plan was read
                throw Exception(QStringLiteral("Nome de tabela inválido: ") + name);
            enter(Stage::Tables);
            execute(query, statements::rewrite(name, step.condition));
        }
        discovery.Next();
        view_.addProgress(1);
    }
    table_.clear();
}

void Conversion::commitWithTriggersOn(TriggerSwitch &triggers, TSQLQuery &query)
{
    // The triggers on again, the record of them gone and the conversion's mark: all committed
    // with the codes, or none of it.
    enter(Stage::TriggersOn);
    triggers.switchOn(marks::convertedLine(QDateTime::currentDateTime()));
    {
        std::lock_guard lock(interruptGuard_);
        enter(Stage::Commit);
        commitSent_ = true;
    }
    execute(query, statements::commit());
    outcome_ = Outcome::Converted;
}

void Conversion::reportSuccess()
{
    QString said = QStringLiteral("Dados atualizados com sucesso! ");
    if (!copy_.isEmpty())
        said += QStringLiteral("\rCópia de segurança: ") + copy_;
    view_.showMessage(MessageKind::Information, said);
    view_.setProgress(0);
    view_.setStatus(QStringLiteral("Concluído!"));
}

void Conversion::fail(const std::exception &e, TriggerSwitch *switchedOff, TSQLQuery &query)
{
    failure_ = failureText(e);
    if (outcome_ == Outcome::Converted) { // what fails after the commit undoes nothing
        tell(MessageKind::Error, failure_);
        return;
    }
    if (!undo(switchedOff, query))
        failure_ += u'\r' + triggersLeftOffLine;
    // Nothing changed: the copy would only mislead.
    if (!copy_.isEmpty()) {
        QFile::remove(copy_);
        copy_.clear();
    }
    if (interruptRequested_) {
        outcome_ = Outcome::Interrupted;
        return;
    }
    if (advice::isKeyViolation(e))
        failure_ += Survey::collisionHint(db_, {trimControl(table_), advice::tableOfViolation(e)});
    outcome_ = Outcome::Failed;
    tell(MessageKind::Error, failure_);
}

void Conversion::tell(MessageKind kind, const QString &text)
{
    // A view that can no longer show a box (the window is going) has nobody to tell.
    try {
        view_.showMessage(kind, text);
    } catch (const std::exception &) {
    }
}

QString Conversion::failureText(const std::exception &e) const
{
    const QString reason = interruptRequested_ && !commitSent_ ? interruptedText : messageOf(e);
    if (const auto *stopped = dynamic_cast<const Stopped *>(&e)) {
        if (stopped->table.isEmpty())
            return reason;
        return QStringLiteral("Erro ao atualizar a tabela ") + stopped->table + QStringLiteral("Motivo: ") + reason;
    }
    QString where;
    switch (stage_) {
    case Stage::Connect: // the connect step says its own
    case Stage::Survey: where = QStringLiteral("Erro ao examinar o banco "); break;
    case Stage::Copy: where = QStringLiteral("Erro ao fazer a cópia de segurança "); break;
    case Stage::Triggers: where = QStringLiteral("Erro ao desativar os gatilhos "); break;
    case Stage::Tables: where = QStringLiteral("Erro ao atualizar a tabela ") + table_; break;
    case Stage::TriggersOn: where = QStringLiteral("Erro ao reativar os gatilhos "); break;
    case Stage::Commit: where = QStringLiteral("Erro ao gravar a conversão no banco (Commit) "); break;
    }
    return where + QStringLiteral("Motivo: ") + reason;
}

bool Conversion::undo(TriggerSwitch *switchedOff, TSQLQuery &query)
{
    // Nothing of a failed run may stay: its rewrites are undone, the backup lock of its copy
    // ended, and the triggers it switched off (a commit of their own) switched on again. A
    // rollback that fails leaves nothing either: the engine undoes what is not committed when
    // the connection goes. An interrupt must not stop the undoing itself.
    db_.cancel(dbx::Cancel::Disable);
    auto enable = qScopeGuard([this] { db_.cancel(dbx::Cancel::Enable); });
    try {
        db_.rollback();
    } catch (const std::exception &) {
    }
    backupLock_.reset();
    if (!switchedOff)
        return true;
    try {
        switchedOff->switchOn();
        execute(query, statements::commit());
        return true;
    } catch (const std::exception &) {
        return false;
    }
}
