#include "conversion.h"

#include "advice.h"
#include "errors.h"
#include "filenames.h"
#include "location.h"
#include "guard.h"
#include "keptfiles.h"
#include "params.h"
#include "queries.h"
#include "repair.h"
#include "rewriteplan.h"
#include "safetycopy.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"
#include "survey.h"
#include "triggerswitch.h"

#include <QDateTime>
#include <QDir>
#include <QScopeGuard>

#include <ibase.h>

#include <limits>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using queries::execute;

namespace {

// A run stopped before anything changed: why, and the table it is about, if any.
class Stopped final : public Exception {
public:
    Stopped(QString table, QString reason) : Exception(std::move(reason)), table(std::move(table)) {}
    QString table;
};

const QString triggersLeftOffLine = QStringLiteral(
    "Os gatilhos continuam desativados, e o banco fechado aos outros programas até que conversor --check %1 os reative e "
    "o devolva.");
// A stop the user asked for (Exit, the window closed, a signal): said as such, whatever the
// run was doing then.
const QString interruptedText = QStringLiteral("Conversão interrompida pelo usuário; nada foi alterado");
const QString nameColumn = QStringLiteral("Tabela"); // the discovery's

std::optional<std::pair<quint64, quint64>> identityOf(const QString &file)
{
    struct stat st {};
    if (!file.startsWith(u'/') || ::stat(filenames::encode(file).constData(), &st) != 0)
        return std::nullopt;
    return std::pair<quint64, quint64>{quint64(st.st_dev), quint64(st.st_ino)};
}

void removeFile(const QString &path)
{
    if (!path.isEmpty())
        ::unlink(filenames::encode(path).constData());
}

// The code columns of the tables a run rewrites with its own statements.
QList<CodeColumn> codeColumnsRewritten(const RewritePlan &plan)
{
    QList<CodeColumn> columns;
    for (const QString &table : plan.storedTables())
        if (plan.step(table).rewrite)
            columns << plan.codeColumn(table);
    return columns;
}

} // namespace

bool Conversion::ConectaBancoVestrel()
{
    try {
        const QString path = view_.pathText();
        // Nothing chosen yet: there is nothing to connect to, and nothing failed.
        if (path.isEmpty()) {
            tell(MessageKind::Error, QStringLiteral("Escolha o banco de dados antes de converter"));
            return false;
        }
        // Another file chosen since the last attach: attach to that one, not the old one.
        if (db_.Connected() && db_.attachedDatabase() != trimControl(path))
            db_.setConnected(false);
        db_.Params.setValue(QStringLiteral("DataBase"), path);
        // The run's own statements fire none of the database's own triggers (an audit on
        // connect, a DDL trigger): the engine lets its administrator attach without them.
        db_.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
        db_.setConnected(true);
        path_ = path;
        return true;
    } catch (const std::exception &e) {
        // An attach given up on a stop is an interrupted run, not a failed connect.
        if (interruptRequested_)
            return false;
        tell(MessageKind::Error, advice::connectFailure(e, view_.pathText()));
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

void Conversion::enterOrStop(Stage stage)
{
    stage_ = stage;
    if (interruptRequested_)
        throw Exception(interruptedText);
}

// The whole run, step by step. Every step either does its part or throws; fail() says what a
// failure means, undoes what the run changed and gives the database back.
void Conversion::run()
{
    // A server that refuses the login is given the one the user gives, for this run's attaches
    // and services alike.
    const TLogins::Source before = db_.logins().setSource(
        [this](const QString &database, const TLogin &refused, int) { return view_.askLogin(database, refused); });
    auto sourceBack = qScopeGuard([&] { db_.logins().setSource(before); });
    if (interruptRequested_ || !ConectaBancoVestrel()) {
        outcome_ = interruptRequested_ ? Outcome::Interrupted : Outcome::NotConnected;
        if (interruptRequested_) {
            failure_ = interruptedText;
        } else if (!view_.pathText().isEmpty()) {
            // A refused connection changed nothing either, as the guide promises after every failure.
            view_.setProgress(0);
            view_.setStatus(QStringLiteral("Nada foi alterado."));
        }
        return;
    }
    // However the run ends, the file is let go of.
    auto letGo = qScopeGuard([this] { db_.setConnected(false); });
    TSQLQuery QryBuscaTabelas, QryAtualizaTabela;
    QryBuscaTabelas.setSQLConnection(&db_);
    QryAtualizaTabela.setSQLConnection(&db_);
    TriggerSwitch triggers(db_, QryAtualizaTabela);
    TriggerSwitch *switchedOff = nullptr;
    std::optional<Survey> survey;
    try {
        lookFirst(triggers);
        // A safety copy opened by mistake (it is a database file too): converted only when the
        // user says so, else the way back would bring back converted codes.
        if (const QString copy = repair::copyText(description_, serverFile_); !copy.isEmpty()
            && !view_.confirm(copy + QStringLiteral(" Converter a cópia mesmo assim?"))) {
            enterOrStop(Stage::Survey); // a stop asked meanwhile is a stop
            outcome_ = Outcome::Declined;
            release();
            return;
        }
        makeGood(triggers, QryAtualizaTabela);
        survey.emplace(look(triggers));
        if (!goAhead(*survey)) {
            release();
            return;
        }
        reserve();
        if (options_.safetyCopy)
            takeSafetyCopy(QryAtualizaTabela);
        // The map of codes, where it pays and a column has codes it maps, is made with the
        // switch-off.
        CodeMap codes;
        CodeMap *map = CodeMap::pays(db_) && codes.mapsAny(codeColumnsRewritten(survey->plan())) ? &codes : nullptr;
        switchTriggersOff(triggers, QryAtualizaTabela, map);
        switchedOff = &triggers;
        if (options_.codeList) {
            enterOrStop(Stage::List);
            // Seconds to minutes on a large shop: said, not left on the copy's 100%.
            view_.setStatus(QStringLiteral("Lendo os códigos antigos e novos…"));
            view_.repaintNow();
            list_ = CodeList::read(db_, survey->plan());
        }
        rewriteTables(survey->plan(), QryBuscaTabelas, QryAtualizaTabela, map);
        commitWithTriggersOn(triggers, QryAtualizaTabela, map);
        // Converted whatever becomes of the giving back: a failure there is said with the
        // success, the list still written.
        try {
            release();
        } catch (const std::exception &e) {
            releaseProblem_ = QStringLiteral("O banco foi convertido, mas não foi devolvido aos outros programas (%1): "
                                             "conversor --unlock %2 o devolve.")
                                  .arg(messageOf(e), path_);
        }
        if (!readBack())
            return;
        writeCodeList();
        reportSuccess();
    } catch (const std::exception &e) {
        fail(e, outcome_ == Outcome::Converted ? nullptr : switchedOff, QryAtualizaTabela,
             survey ? &survey->plan() : nullptr);
    }
}

void Conversion::lookFirst(TriggerSwitch &triggers)
{
    // Before anything is written, the making good of a run cut short included: nobody else is
    // at work in the database.
    enterOrStop(Stage::Survey);
    attachedAs_ = db_.attachedAs();
    file_ = identityOf(DatabaseLocation(attachedAs_).localFile());
    description_ = queries::readBytes(db_, statements::databaseDescription()).value(0).value(0);
    committed_ = description_;
    if (const QList<OtherAttachment> others = Survey::others(db_); !others.isEmpty())
        throw Stopped({}, repair::busyText(description_, Survey::othersText(others)));
    const QStringList state = queries::readAll(db_, statements::databaseState()).value(0);
    if (state.value(0).toInt() != 0)
        throw Stopped({}, Survey::readOnlyText());
    shutDown_ = state.value(1).toInt() != 0;
    backupState_ = state.value(2).toInt();
    serverFile_ = trimControl(state.value(3));
    // A database in a shutdown that is not a run's of this program is an administrator's: left
    // as it is.
    const bool ours = marks::has(description_, marks::Kind::Reserved);
    if (shutDown_ && !ours)
        throw Stopped({}, Survey::shutDownText(path_));
    // Nor is a backup lock that no run of this program left (its server would not shut the
    // database down under it either).
    if (backupState_ != 0 && !marks::has(description_, marks::Kind::Copying))
        throw Stopped({}, Survey::backupLockText(path_));
    doorClosed_ = guard::closed(db_);
    triggers.read();
    triggers_ = &triggers;
}

void Conversion::reserve()
{
    enterOrStop(Stage::Reserve);
    // A single-user shutdown that an earlier version's run cut short left: brought back online
    // at this run's end.
    reserved_ = shutDown_;
    // Before anything else changes, the door is closed to everyone but this program, the
    // administrator's programs included, with the record of whose reservation it is: a run cut
    // short from here on leaves the database to nobody until it is made good.
    TSQLQuery query;
    query.setSQLConnection(&db_);
    describe(query, marks::withLine(marks::without(description_, marks::Kind::Reserved),
                                    marks::reserved(QDateTime::currentDateTime())));
    guard::close(query, path_);
    commit(query);
    doorClosed_ = true;
    holdsDoor_ = true;
    // Whoever came in before it closed is still at work: looked at once more.
    if (const QList<OtherAttachment> others = Survey::others(db_); !others.isEmpty())
        throw Stopped({}, Survey::othersText(others));
}

void Conversion::makeGood(TriggerSwitch &triggers, TSQLQuery &query)
{
    enterOrStop(Stage::MakeGood);
    // What a run of this program cut short left, and only that, committed whatever this run
    // does next: the database as it was before that run, its door open (this run closes its
    // own when it has looked).
    marks::Description description = description_;
    madeGood_ = repair::makeGood(query, triggers, description, backupState_, doorClosed_);
    describe(query, description);
    if (!madeGood_.isEmpty()) {
        commit(query);
        doorClosed_ = false;
    }
}

Survey Conversion::look(TriggerSwitch &triggers)
{
    enterOrStop(Stage::Survey);
    return Survey::read(db_, marks::without(description_, marks::Kind::Reserved), Survey::addedBytes(path_, {}), triggers);
}

bool Conversion::goAhead(const Survey &survey)
{
    if (!survey.stops().isEmpty())
        throw Stopped(survey.stops().first().relation, survey.stops().first().reason);
    if (!survey.convertedBecause().isEmpty() && !view_.confirm(Survey::confirmText(survey.convertedBecause()))) {
        // A stop asked while the question was open (a signal, the window closed) is a stop, not
        // an answer: said as one, with its status.
        enterOrStop(Stage::Survey);
        outcome_ = Outcome::Declined;
        return false;
    }
    return true;
}

void Conversion::takeSafetyCopy(TSQLQuery &query)
{
    enterOrStop(Stage::Copy);
    const safetycopy::Plan plan = safetycopy::planFor(DatabaseLocation::attached(attachedAs_, serverFile_), runTime());
    if (plan.taker == safetycopy::Plan::Taker::Server) {
        // The server writes the copy, as its own account, while nobody else may write to the
        // database; the record of it goes into the copy too, for the way back.
        // The door lets the server's copy in, and nobody else meanwhile.
        // Its physical copy (the database's pages, at the speed of a file copy), else its logical
        // backup where a physical one cannot be made there (safetycopy::physicalCopyImpossible).
        view_.setStatus(QStringLiteral("Copiando o banco pelo servidor: ") + plan.copy);
        view_.repaintNow();
        describe(query, marks::withLine(description_, marks::copying(plan.database, plan.copy)));
        commit(query);
        serverCopy_ = true;
        const auto services = db_.services(attachedAs_);
        QString copy = plan.copy;
        try {
            services->copyPages(attachedAs_, copy);
        } catch (const std::exception &e) {
            if (!safetycopy::physicalCopyImpossible(e))
                throw;
            copy = safetycopy::serverPathFor(plan.database, runTime(), safetycopy::Kind::Logical);
            copyNote_ = QStringLiteral("A cópia de segurança é a cópia lógica do servidor (gbak), mais lenta: a cópia física "
                                       "não pôde ser feita (%1).").arg(messageOf(e));
            view_.setStatus(QStringLiteral("Copiando o banco pelo servidor (cópia lógica, a física não pôde ser feita): ") + copy);
            view_.repaintNow();
            describe(query, marks::withLine(marks::without(description_, marks::Kind::Copying),
                                            marks::copying(plan.database, copy)));
            commit(query);
            services->backUp(attachedAs_, copy);
        }
        copy_ = copy;
        copiedLine_ = marks::copied(copy_, filenames::sizeOf(DatabaseLocation(attachedAs_).localFile().isEmpty() ? QString() : copy_));
        return;
    }
    safetycopy::checkRoom(plan.copy, plan.size);
    // The record of the copy commits with the backup lock: a run cut short during its copy is
    // made good by the next one.
    describe(query, marks::withLine(description_, marks::copying(plan.database, plan.partial)));
    partial_ = plan.partial;
    backupLock_.emplace(query);
    committed_ = description_; // the lock's commit took the record with it
    int shown = -1;
    safetycopy::copyFile(plan.database, plan.partial, [&](int percent) {
        if (percent == shown)
            return;
        shown = percent;
        view_.setStatus(QStringLiteral("Copiando o banco: %1%").arg(percent));
        view_.repaintNow();
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

void Conversion::markCopy(const QString &partial, const QString &database, const QString &copy)
{
    // The copy says what it is: its record (not to be converted by mistake; the way back takes it
    // out), and its door, closed as it was taken, tells anyone who opens it what it is.
    TSQLConnection copyDb;
    copyDb.Params.setValue(QStringLiteral("DataBase"), partial);
    copyDb.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
    copyDb.setConnected(true);
    auto letGo = qScopeGuard([&] { copyDb.setConnected(false); });
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

void Conversion::switchTriggersOff(TriggerSwitch &triggers, TSQLQuery &query, CodeMap *map)
{
    // The copy's record goes with the switch-off: from here on the run undoes its own work.
    // A copy is recorded whole only here, once it is: the way back puts back no other.
    enterOrStop(Stage::Triggers);
    marks::Description description = marks::without(description_, marks::Kind::Copying);
    if (!copiedLine_.isEmpty())
        description = marks::withLine(description, copiedLine_);
    describe(query, description);
    triggers.switchOff();
    if (map)
        CodeMap::make(query);
    commit(query);
}

void Conversion::rewriteTables(const RewritePlan &plan, TSQLQuery &discovery, TSQLQuery &query, CodeMap *map)
{
    enterOrStop(Stage::Tables);
    discovery.Close();
    discovery.SQL().setText(statements::discovery());
    discovery.Open();
    view_.setGaugeMax(discovery.RecordCount());
    // The map first takes the codes of the tables that hold each code once (keyed by it: a
    // shop's products), so that the rule runs once a code of the shop; a table of a kind none of
    // them has maps its own codes before its rewrite.
    std::set<int> mapped;
    if (map)
        for (const QString &table : plan.storedTables())
            if (const RewritePlan::Step step = plan.step(table); step.rewrite && plan.keyedByCodeAlone(table))
                if (const QString fill = map->fill(table, plan.codeColumn(table), step.condition); !fill.isEmpty()) {
                    execute(query, fill);
                    mapped.insert(map->kindOf(plan.codeColumn(table)));
                }
    // A relation the discovery lists twice (CODPROD and a quoted "codprod") is rewritten once.
    std::set<QString> rewritten;
    while (!discovery.Eof()) {
        table_ = discovery.FieldByName(nameColumn).AsString();
        // The name is read from the current row again for the statement.
        const QString name = trimControl(discovery.FieldByName(nameColumn).AsString());
        const RewritePlan::Step step = plan.step(name);
        // A relation the run does not touch is not said to be updated; the gauge counts it all the same.
        if (step.rewrite)
            view_.setStatus(QStringLiteral("Atualizando tabela: ") + trimControl(table_));
        else
            view_.setStatus(QStringLiteral("Ignorando ") + trimControl(table_)
                            + (step.skipped.isEmpty() ? QString() : QStringLiteral(" (") + step.skipped + u')'));
        view_.repaintNow();
        if (step.rewrite && rewritten.insert(name).second) {
            enterOrStop(Stage::Tables);
            // The table's codes the map lacks are mapped first; its rows then take their codes
            // from there.
            const CodeColumn column = plan.codeColumn(name);
            QString code;
            if (map) {
                if (!mapped.count(map->kindOf(column)))
                    if (const QString fill = map->fill(name, column, step.condition); !fill.isEmpty())
                        execute(query, fill);
                code = map->code(column);
            }
            // A row whose key another row's new code takes goes first, while it still holds it.
            const QList<QByteArray> first = Survey::takenKeys(db_, plan, name, code);
            if (first.isEmpty()) {
                execute(query, statements::rewrite(name, step.condition, code));
            } else if (first.size() > Survey::mostTakenFirst) {
                throw Exception(Survey::tooManyTakenText(first.size()));
            } else {
                execute(query, statements::rewriteKeys(name, first, code));
                execute(query, statements::rewriteAllBut(name, first, step.condition, code));
            }
        }
        discovery.Next();
        view_.addProgress(1);
    }
    table_.clear();
    // What a CHAR master's cascades filled up, cut back to what the rule made.
    for (const QString &child : plan.cutAfterCascades())
        execute(query, statements::trimCascaded(child, {}));
}

void Conversion::commitWithTriggersOn(TriggerSwitch &triggers, TSQLQuery &query, CodeMap *map)
{
    // The triggers on again, their records gone and the conversion's mark: all committed with
    // the codes, or none of it.
    enterOrStop(Stage::TriggersOn);
    triggers.switchOn();
    convertedLine_ = marks::converted(QDateTime::currentDateTime());
    describe(query, marks::withLine(marks::without(description_, marks::Kind::Reserved), convertedLine_));
    // The door opens with the same commit: the database is the shop's again, converted.
    if (doorClosed_)
        guard::open(query);
    if (map)
        CodeMap::drop(query);
    stage_ = Stage::Commit;
    if (!fileStillThere())
        throw Exception(QStringLiteral("O arquivo do banco foi apagado ou trocado durante a conversão (%1): nada foi gravado "
                                       "nele.").arg(DatabaseLocation(attachedAs_).localFile()));
    {
        std::lock_guard lock(interruptGuard_);
        enterOrStop(Stage::Commit);
        commitSent_ = true;
    }
    commit(query);
    doorClosed_ = false;
    outcome_ = Outcome::Converted;
}

void Conversion::release()
{
    // The database given back: a shutdown an earlier version's run left brought online, the
    // door opened and the reservation's record gone (when the final commit did not take them),
    // and let go of.
    stage_ = Stage::Release;
    if (reserved_) {
        db_.setConnected(false);
        db_.services(attachedAs_)->bringOnline(attachedAs_);
        reserved_ = false;
        shutDown_ = false;
        reattach();
    }
    if (holdsDoor_ && db_.Connected() && (doorClosed_ || marks::has(description_, marks::Kind::Reserved))) {
        TSQLQuery query;
        query.setSQLConnection(&db_);
        describe(query, marks::without(description_, marks::Kind::Reserved));
        if (doorClosed_)
            guard::open(query);
        commit(query);
        doorClosed_ = false;
    }
    db_.setConnected(false);
}

bool Conversion::readBack()
{
    // The file at the path the user chose must be the one converted: one swapped or deleted
    // during the run took the conversion with it. Its mark is read through a new attachment.
    stage_ = Stage::Release;
    bool there = false;
    try {
        db_.setConnected(false);
        db_.setConnected(true);
        const marks::Description d = queries::readBytes(db_, statements::databaseDescription()).value(0).value(0);
        db_.setConnected(false);
        there = d && d->contains(convertedLine_);
    } catch (const std::exception &) {
    }
    if (there)
        return true;
    outcome_ = Outcome::Failed;
    failure_ = QStringLiteral("O arquivo %1 foi trocado ou apagado durante a conversão: a conversão ficou gravada no "
                              "arquivo que estava lá antes, e este não foi convertido. Confira o arquivo e converta de "
                              "novo.").arg(path_);
    tell(MessageKind::Error, failure_);
    view_.setProgress(0);
    view_.setStatus(QStringLiteral("Nada foi alterado."));
    return false;
}

void Conversion::writeCodeList()
{
    // The database is converted whatever becomes of the list: a file that cannot be written is
    // said in the box.
    if (!list_)
        return;
    const QString local = DatabaseLocation(attachedAs_).localFile();
    listed_ = list_->write(CodeList::pathsFor(local.isEmpty() ? path_ : local,
                                              QDir::homePath(), runTime()));
}

QDateTime Conversion::runTime()
{
    if (!when_.isValid())
        when_ = QDateTime::currentDateTime();
    return when_;
}

void Conversion::reportSuccess()
{
    QString said = QStringLiteral("Dados atualizados com sucesso! ");
    if (!copy_.isEmpty())
        said += QStringLiteral("\rCópia de segurança: ") + copy_;
    // The spreadsheet first: the file a clerk opens.
    if (!listed_.sheet.isEmpty())
        said += QStringLiteral("\rCódigos antigos e novos: ") + listed_.sheet;
    if (!listed_.csv.isEmpty())
        said += (listed_.sheet.isEmpty() ? QStringLiteral("\rCódigos antigos e novos: ") : QStringLiteral("\rA mesma lista, para importar: "))
            + listed_.csv;
    if (!listed_.problem.isEmpty())
        said += u'\r' + listed_.problem;
    if (!copyNote_.isEmpty())
        said += u'\r' + copyNote_;
    if (!madeGood_.isEmpty())
        said += QStringLiteral("\rAntes: ") + madeGood_.join(QStringLiteral("; ")) + u'.';
    if (!releaseProblem_.isEmpty())
        said += u'\r' + releaseProblem_;
    view_.showMessage(MessageKind::Information, said);
    view_.setProgress(0);
    view_.setStatus(keptfiles::doneStatus(copy_, listed_.sheet.isEmpty() ? listed_.csv : listed_.sheet));
}

void Conversion::fail(const std::exception &e, TriggerSwitch *switchedOff, TSQLQuery &query, const RewritePlan *plan)
{
    failure_ = failureText(e);
    if (outcome_ == Outcome::Converted) { // what fails after the commit undoes nothing
        tell(MessageKind::Error, failure_);
        return;
    }
    if (!undo(switchedOff, query))
        failure_ += u'\r' + triggersLeftOffLine.arg(path_);
    if (interruptRequested_) {
        outcome_ = Outcome::Interrupted;
        return;
    }
    if (advice::isKeyViolation(e) && plan)
        failure_ += Survey::collisionHint(db_, *plan, {trimControl(table_), advice::tableOfViolation(e)}, path_);
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

bool Conversion::undo(TriggerSwitch *switchedOff, TSQLQuery &query)
{
    // Nothing of a failed run may stay: its rewrites are undone, the backup lock of its copy
    // ended, the copy's record and file gone, the triggers it switched off on again, the
    // database given back. A rollback that fails leaves nothing either: the engine undoes what
    // is not committed when the connection goes. An interrupt must not stop the undoing itself.
    db_.cancel(dbx::Cancel::Disable);
    auto enable = qScopeGuard([this] { db_.cancel(dbx::Cancel::Enable); });
    bool triggersOn = true;
    try {
        if (!db_.Connected() && stage_ != Stage::Release)
            reattach();
        db_.rollback();
    } catch (const std::exception &) {
    }
    // What was rolled back is as it was at the last commit.
    description_ = committed_;
    if (triggers_)
        triggers_->rolledBack();
    // A run stopped before it had the database to itself changed nothing: what the database
    // holds then (another run's reservation, its copy's record) is not this run's to touch.
    if (!holdsDoor_) {
        db_.setConnected(false);
        return true;
    }
    try {
        if (db_.Connected()) {
            backupLock_.reset();
            if (switchedOff) {
                try {
                    switchedOff->switchOn();
                } catch (const std::exception &) {
                    triggersOn = false;
                    db_.rollback();
                    description_ = committed_;
                    triggers_->rolledBack();
                }
            }
            marks::Description description = marks::without(description_, marks::Kind::Copying);
            if (!copiedLine_.isEmpty())
                description = marks::withoutLine(description, copiedLine_);
            describe(query, description);
            // The map goes with the triggers' switching on; left with them when that fails.
            if (switchedOff && triggersOn && CodeMap::there(db_))
                CodeMap::drop(query);
            commit(query);
        }
    } catch (const std::exception &) {
        if (switchedOff)
            triggersOn = false;
    }
    // Nothing changed: a copy would only mislead (the server's own is beyond this program).
    removeFile(partial_);
    if (!serverCopy_)
        removeFile(copy_);
    copy_.clear();
    try {
        // Triggers left off keep the door closed, as a run cut short does, until made good.
        if (!triggersOn)
            db_.setConnected(false);
        else if (reserved_ || db_.Connected())
            release();
    } catch (const std::exception &) {
        // The reservation's record stays: the next run or check gives the database back.
    }
    return triggersOn;
}

void Conversion::tell(MessageKind kind, const QString &text)
{
    // A view that can no longer show a box (the window is going) has nobody to tell.
    try {
        view_.showMessage(kind, text);
    } catch (const std::exception &) {
    }
}

void Conversion::commit(TSQLQuery &query)
{
    execute(query, statements::commit());
    committed_ = description_;
    if (triggers_)
        triggers_->committed();
}

void Conversion::describe(TSQLQuery &query, const marks::Description &description)
{
    if (description == description_)
        return;
    execute(query, statements::describeDatabase(description));
    description_ = description;
}

void Conversion::reattach()
{
    db_.setConnected(false);
    db_.Params.setValue(QStringLiteral("DataBase"), attachedAs_);
    auto back = qScopeGuard([this] { db_.Params.setValue(QStringLiteral("DataBase"), path_); });
    db_.setConnected(true);
}

bool Conversion::fileStillThere() const
{
    return !file_ || identityOf(DatabaseLocation(attachedAs_).localFile()) == file_;
}
