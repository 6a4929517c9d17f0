#include "conversion.h"

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
#include <QRegularExpression>
#include <QScopeGuard>

#include <ibase.h>

#include <memory>
#include <optional>
#include <set>

using queries::execute;

namespace {

QString messageOf(const std::exception &e)
{
    if (const auto *own = dynamic_cast<const Exception *>(&e))
        return own->message();
    return QString::fromUtf8(e.what());
}

// A run stopped before anything changed: the box's whole text, or the relation it is about and
// why.
class Stopped final : public Exception {
public:
    Stopped(QString table, QString reason) : Exception(std::move(reason)), table(std::move(table)) {}
    QString table;
};

const QString triggersLeftOffLine =
    QStringLiteral("Os gatilhos continuam desativados; a próxima conversão deste banco os reativa.");
const QString interrupted = QStringLiteral("Conversão interrompida");

// What a shop can do about a database of another engine's version (the engine says "found
// 13.0, support 12.2").
QString versionAdvice(const QString &message)
{
    static const QRegularExpression versions(QStringLiteral("found (\\d+)\\.\\d+, support (\\d+)\\.\\d+"));
    const QRegularExpressionMatch m = versions.match(message);
    if (!m.hasMatch())
        return {};
    const int found = m.captured(1).toInt(), supported = m.captured(2).toInt();
    if (found < supported)
        return QStringLiteral("O banco é de uma versão anterior do Firebird: faça uma cópia com o gbak -b dessa versão e "
                              "restaure-a com o gbak -c deste computador antes de converter.");
    if (found > supported)
        return QStringLiteral("O banco é de uma versão mais nova do Firebird: faça uma cópia com o gbak -b dessa "
                              "versão e converta-o pelo servidor dela, sem a cópia do programa (conversor --convert "
                              "--no-copy servidor:/caminho/do/banco).");
    return {};
}

// The table a key violation names ("... on table \"X\"").
QString tableOfViolation(const QString &message)
{
    static const QRegularExpression table(QStringLiteral("on table \"([^\"]+)\""));
    return table.match(message).captured(1);
}

bool isKeyViolation(const std::exception &e)
{
    const auto *dbx = dynamic_cast<const TDBXError *>(&e);
    return dbx && (dbx->hasEngineCode(isc_unique_key_violation) || dbx->hasEngineCode(isc_no_dup));
}

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
        QString text = QStringLiteral("Não foi possível conectar ao banco de dados Vestrel\rMotivo: ") + messageOf(e);
        if (const QString advice = versionAdvice(messageOf(e)); !advice.isEmpty())
            text += u'\r' + advice;
        view_.showMessage(MessageKind::Error, text);
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

void Conversion::checkInterrupt()
{
    if (interruptRequested_)
        throw Exception(interrupted);
}

void Conversion::run()
{
    if (!ConectaBancoVestrel()) {
        outcome_ = Outcome::NotConnected;
        interruptRequested_ = false;
        return;
    }
    runConnected();
}

QString Conversion::failureText(const std::exception &e, const QString &table) const
{
    const QString reason = interruptRequested_ && !commitSent_ ? interrupted : messageOf(e);
    if (const auto *stopped = dynamic_cast<const Stopped *>(&e)) {
        if (stopped->table.isEmpty())
            return reason;
        return QStringLiteral("Erro ao atualizar a tabela ") + stopped->table + QStringLiteral("Motivo: ") + reason;
    }
    QString where;
    switch (stage_) {
    case Stage::Survey: where = QStringLiteral("Erro ao examinar o banco "); break;
    case Stage::Copy: where = QStringLiteral("Erro ao fazer a cópia de segurança "); break;
    case Stage::Triggers: where = QStringLiteral("Erro ao desativar os gatilhos "); break;
    case Stage::Tables: where = QStringLiteral("Erro ao atualizar a tabela ") + table; break;
    case Stage::TriggersOn: where = QStringLiteral("Erro ao reativar os gatilhos "); break;
    case Stage::Commit: where = QStringLiteral("Erro ao gravar a conversão no banco (Commit) "); break;
    }
    return where + QStringLiteral("Motivo: ") + reason;
}

void Conversion::runConnected()
{
    outcome_ = Outcome::None;
    failure_.clear();
    copy_.clear();
    commitSent_ = false;
    backupLock_ = false;
    stage_ = Stage::Survey;
    // However the run ends, the database is let go of, and a request to stop is spent.
    auto release = qScopeGuard([this] {
        db_.setConnected(false);
        std::lock_guard lock(interruptGuard_);
        interruptRequested_ = false;
        commitSent_ = false;
    });
    const QString nameColumn = QStringLiteral("Tabela"); // the discovery's
    std::unique_ptr<TSQLQuery> QryBuscaTabelas;
    std::unique_ptr<TSQLQuery> QryAtualizaTabela;
    std::optional<TriggerSwitch> triggers;
    TriggerSwitch *switchedOff = nullptr;
    QString table; // the discovery's current row, as stored
    try {
        QryBuscaTabelas = std::make_unique<TSQLQuery>();
        QryAtualizaTabela = std::make_unique<TSQLQuery>();
        QryBuscaTabelas->setSQLConnection(&db_);
        QryAtualizaTabela->setSQLConnection(&db_);

        // What a run cut short left switched off is switched on first, whatever this run does.
        stage_ = Stage::Triggers;
        checkInterrupt();
        triggers.emplace(db_, *QryAtualizaTabela);
        triggers->read();
        triggers->makeGood();

        // Nothing changes before the database has been looked at.
        stage_ = Stage::Survey;
        checkInterrupt();
        const Survey survey = Survey::read(db_, triggers->description());
        if (!survey.stops().isEmpty())
            throw Stopped(survey.stops().first().table, survey.stops().first().reason);
        if (!survey.convertedBecause().isEmpty() && !view_.confirm(Survey::confirmText(survey.convertedBecause()))) {
            outcome_ = Outcome::Declined;
            return;
        }
        const RewritePlan &plan = survey.plan();

        if (options_.safetyCopy) {
            stage_ = Stage::Copy;
            checkInterrupt();
            takeSafetyCopy(*QryAtualizaTabela);
        }

        stage_ = Stage::Triggers;
        checkInterrupt();
        triggers->switchOff();
        switchedOff = &*triggers;

        stage_ = Stage::Tables;
        QryBuscaTabelas->Close();
        QryBuscaTabelas->SQL().setText(statements::discovery());
        checkInterrupt();
        QryBuscaTabelas->Open();
        view_.setGaugeMax(QryBuscaTabelas->RecordCount());
        // A relation the discovery lists twice (CODPROD and a quoted "codprod") is rewritten once.
        std::set<QString> rewritten;
        while (!QryBuscaTabelas->Eof()) {
            table = QryBuscaTabelas->FieldByName(nameColumn).AsString();
            view_.setStatus(QStringLiteral("Atualizando tabela: ") + trimControl(table));
            view_.repaintNow();
            // The name is read from the current row again for the statement.
            const QString name = trimControl(QryBuscaTabelas->FieldByName(nameColumn).AsString());
            const RewritePlan::Step step = plan.step(name);
            if (step.rewrite && rewritten.insert(name).second) {
                if (!isPlainIdentifier(name)) // listed after the plan was read
                    throw Exception(QStringLiteral("Nome de tabela inválido: ") + name);
                checkInterrupt();
                execute(*QryAtualizaTabela, statements::rewrite(name, step.condition));
            }
            QryBuscaTabelas->Next();
            view_.addProgress(1);
        }
        table.clear();

        // The triggers on again, the record of them gone and the conversion's mark: all committed
        // with the codes, or none of it.
        stage_ = Stage::TriggersOn;
        checkInterrupt();
        triggers->switchOn(marks::convertedLine(QDateTime::currentDateTime()));
        stage_ = Stage::Commit;
        {
            std::lock_guard lock(interruptGuard_);
            checkInterrupt();
            commitSent_ = true;
        }
        execute(*QryAtualizaTabela, statements::commit());
        switchedOff = nullptr;
        outcome_ = Outcome::Converted;
        QString said = QStringLiteral("Dados atualizados com sucesso! ");
        if (!copy_.isEmpty())
            said += QStringLiteral("\rCópia de segurança: ") + copy_;
        view_.showMessage(MessageKind::Information, said);
        view_.setProgress(0);
        view_.setStatus(QStringLiteral("Concluído!"));
    } catch (const std::exception &e) {
        failure_ = failureText(e, table);
        if (outcome_ == Outcome::Converted) { // what fails after the commit undoes nothing
            view_.showMessage(MessageKind::Error, failure_);
            return;
        }
        if (!undo(switchedOff, QryAtualizaTabela.get()))
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
        if (isKeyViolation(e)) {
            try {
                // The table rewritten, or the one the engine names (a cascade reaches it).
                QList<Collision> found;
                for (const QString &t : {trimControl(table), tableOfViolation(messageOf(e))})
                    if (found.isEmpty() && isPlainIdentifier(t))
                        found = Survey::collisions(db_, t, Survey::uniqueKeys(db_, t).value(t), 5);
                QStringList groups;
                for (const Collision &c : std::as_const(found))
                    groups << Survey::describe(c);
                if (!groups.isEmpty())
                    failure_ += QStringLiteral("\rCódigos que ficariam iguais: ") + groups.join(QStringLiteral("; "));
            } catch (const std::exception &) {
                // The box says what the engine said.
            }
        }
        outcome_ = Outcome::Failed;
        view_.showMessage(MessageKind::Error, failure_);
    }
}

bool Conversion::undo(TriggerSwitch *switchedOff, TSQLQuery *query)
{
    // Nothing of a failed run may stay: its rewrites are undone, and the triggers it switched
    // off (a commit of their own) are switched on again. A rollback that fails leaves nothing
    // either: the engine undoes what is not committed when the connection goes. An interrupt
    // must not stop the undoing itself.
    db_.cancel(dbx::Cancel::Disable);
    auto enable = qScopeGuard([this] { db_.cancel(dbx::Cancel::Enable); });
    try {
        db_.rollback();
    } catch (const std::exception &) {
    }
    if (backupLock_) {
        try {
            execute(*query, statements::endBackup());
            execute(*query, statements::commit());
            backupLock_ = false;
        } catch (const std::exception &) {
            // The lock ends with the next run's copy, or any ALTER DATABASE END BACKUP.
        }
    }
    if (!switchedOff)
        return true;
    try {
        switchedOff->switchOn();
        execute(*query, statements::commit());
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

void Conversion::takeSafetyCopy(TSQLQuery &query)
{
    // The file itself: a database reached through a server on another computer cannot be copied
    // from here.
    const QString file = db_.attachedDatabase();
    const QFileInfo info(file);
    if (!info.isAbsolute() || !info.isFile())
        throw Exception(QStringLiteral("o banco não é um arquivo deste computador (%1); a cópia de segurança não pode ser "
                                       "feita").arg(file));
    // Never over another copy: two runs in one second get a number.
    const QString named = safetycopy::pathFor(info.absoluteFilePath(), QDateTime::currentDateTime());
    QString copy = named;
    for (int n = 2; QFileInfo::exists(copy); ++n)
        copy = named.chopped(3) + QStringLiteral("-%1.fb").arg(n);
    safetycopy::checkRoom(copy, info.size());
    // While the engine's backup lock holds, the file does not change: its copy is whole.
    execute(query, statements::beginBackup());
    execute(query, statements::commit());
    backupLock_ = true;
    int shown = -1;
    safetycopy::copyFile(info.absoluteFilePath(), copy, [&](int percent) {
        if (percent == shown)
            return;
        shown = percent;
        view_.setStatus(QStringLiteral("Copiando o banco: %1%").arg(percent));
        view_.repaintNow();
    }, &interruptRequested_);
    copy_ = copy;
    execute(query, statements::endBackup());
    execute(query, statements::commit());
    backupLock_ = false;
    safetycopy::clearBackupState(copy);
}
