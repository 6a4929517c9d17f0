#include "conversion.h"

#include "advice.h"
#include "conversion_p.h"
#include "filenames.h"
#include "location.h"
#include "params.h"
#include "queries.h"
#include "repair.h"
#include "rewriteplan.h"
#include "sqlconnection.h"
#include "statements.h"
#include "survey.h"

#include <QScopeGuard>

#include <set>

using conversionrun::fileIdentity;
using conversionrun::interruptedText;
using conversionrun::Stopped;
using queries::execute;

namespace {

const QString nameColumn = QStringLiteral("Tabela"); // the discovery's

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

Conversion::Conversion(TSQLConnection &db, ConversionView &view, Options options)
    : db_(db), view_(view), options_(options), ledger_(db, QryAtualizaTabela)
{
    QryBuscaTabelas.setSQLConnection(&db_);
    QryAtualizaTabela.setSQLConnection(&db_);
}

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
    auto letGoAtEnd = qScopeGuard([this] { letGo(); });
    std::optional<Survey> survey;
    try {
        readWhereItStands();
        // A safety copy opened by mistake (it is a database file too): converted only when the
        // user says so, else the way back would bring back converted codes.
        if (const QString copy = repair::copyText(ledger_.now().description, serverFile_); !copy.isEmpty()
            && !view_.confirm(copy + QStringLiteral(" Converter a cópia mesmo assim?"))) {
            enterOrStop(Stage::Survey); // a stop asked meanwhile is a stop
            outcome_ = Outcome::Declined;
            release();
            return;
        }
        makeGood();
        survey.emplace(surveyRelations());
        if (!goAhead(*survey)) {
            release();
            return;
        }
        reserve();
        if (options_.safetyCopy)
            takeSafetyCopy();
        // The map of codes, where it pays and a column has codes it maps, is made with the
        // switch-off.
        CodeMap codes;
        CodeMap *map = CodeMap::pays(db_) && codes.mapsAny(codeColumnsRewritten(survey->plan())) ? &codes : nullptr;
        switchTriggersOff(map);
        if (options_.codeList)
            readCodeList(*survey);
        rewriteTables(survey->plan(), map);
        commitWithTriggersOn();
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
        fail(e, survey ? &survey->plan() : nullptr);
    }
}

void Conversion::readWhereItStands()
{
    // Before anything is written, the making good of a run cut short included: nobody else is
    // at work in the database.
    enterOrStop(Stage::Survey);
    attachedAs_ = db_.attachedAs();
    file_ = fileIdentity(DatabaseLocation(attachedAs_).localFile());
    ledger_.read();
    const Standing standing = Standing::read(db_, ledger_.now().description);
    if (const QStringList refused = standing.refusals(path_); !refused.isEmpty())
        throw Stopped({}, refused.first());
    shutDown_ = standing.shutDown;
    backupState_ = standing.backupState;
    serverFile_ = standing.serverFile;
}

void Conversion::makeGood()
{
    enterOrStop(Stage::MakeGood);
    // What a run of this program cut short left, and only that, committed whatever this run
    // does next: the database as it was before that run, its door open (this run closes its
    // own when it has looked).
    madeGood_ = repair::makeGood(ledger_, backupState_);
    if (!madeGood_.isEmpty())
        ledger_.commit();
}

Survey Conversion::surveyRelations()
{
    enterOrStop(Stage::Survey);
    // Anyone who writes after this look, in a transaction of their own, begins it after the
    // survey's: the list can be the survey's codes when no transaction but the run's began
    // before the door closed (reserve()).
    surveyedAlone_ = Survey::others(db_).isEmpty();
    surveyTransaction_ = currentTransaction();
    return Survey::read(db_, marks::without(ledger_.now().description, marks::Kind::Reserved),
                        Survey::addedBytes(path_, {}), ledger_.triggers(), options_.codeList);
}

qint64 Conversion::currentTransaction()
{
    bool ok = false;
    const qint64 number = queries::readAll(db_, statements::currentTransaction()).value(0).value(0).toLongLong(&ok);
    return ok ? number : -1;
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

void Conversion::switchTriggersOff(CodeMap *map)
{
    // The copy's record goes with the switch-off: from here on the run undoes its own work.
    // A copy is recorded whole only here, once it is: the way back puts back no other.
    enterOrStop(Stage::Triggers);
    marks::Description description = marks::without(ledger_.now().description, marks::Kind::Copying);
    if (!copiedLine_.isEmpty())
        description = marks::withLine(description, copiedLine_);
    ledger_.describe(description);
    ledger_.triggers().switchOff();
    if (map)
        ledger_.makeMap();
    ledger_.commit();
}

void Conversion::readCodeList(const Survey &survey)
{
    enterOrStop(Stage::List);
    // Seconds to minutes on a large shop: said, not left on the copy's 100%.
    view_.setStatus(QStringLiteral("Lendo os códigos antigos e novos…"));
    view_.flushProgress();
    list_ = surveyStands_ && survey.keptCodes() ? CodeList::fromSurvey(db_, survey) : CodeList::read(db_, survey.plan());
}

void Conversion::rewriteTables(const RewritePlan &plan, CodeMap *map)
{
    enterOrStop(Stage::Tables);
    TSQLQuery &discovery = QryBuscaTabelas;
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
                    execute(QryAtualizaTabela, fill);
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
        view_.flushProgress();
        if (step.rewrite && rewritten.insert(name).second)
            rewriteTable(plan, name, map, map && mapped.count(map->kindOf(plan.codeColumn(name))));
        discovery.Next();
        view_.addProgress(1);
    }
    table_.clear();
    // What a CHAR master's cascades filled up, cut back to what the rule made.
    for (const QString &child : plan.cutAfterCascades())
        execute(QryAtualizaTabela, statements::trimCascaded(child, {}));
}

void Conversion::rewriteTable(const RewritePlan &plan, const QString &name, CodeMap *map, bool mapped)
{
    enterOrStop(Stage::Tables);
    const RewritePlan::Step step = plan.step(name);
    // The table's codes the map lacks are mapped first; its rows then take their codes from
    // there.
    const CodeColumn column = plan.codeColumn(name);
    QString code;
    if (map) {
        if (!mapped)
            if (const QString fill = map->fill(name, column, step.condition); !fill.isEmpty())
                execute(QryAtualizaTabela, fill);
        code = map->code(column);
    }
    // A row whose key another row's new code takes goes first, while it still holds it.
    const QList<QByteArray> first = Survey::takenKeys(db_, plan, name, code);
    if (first.isEmpty()) {
        execute(QryAtualizaTabela, statements::rewrite(name, step.condition, code));
    } else if (first.size() > Survey::mostTakenFirst) {
        throw Exception(Survey::tooManyTakenText(first.size()));
    } else {
        execute(QryAtualizaTabela, statements::rewriteKeys(name, first, code));
        execute(QryAtualizaTabela, statements::rewriteAllBut(name, first, step.condition, code));
    }
}

void Conversion::commitWithTriggersOn()
{
    // The triggers on again, their records gone, the map dropped and the conversion's mark: all
    // committed with the codes, or none of it.
    enterOrStop(Stage::TriggersOn);
    ledger_.triggers().switchOn();
    convertedLine_ = marks::converted(QDateTime::currentDateTime());
    ledger_.describe(marks::withLine(marks::without(ledger_.now().description, marks::Kind::Reserved), convertedLine_));
    // The door opens with the same commit: the database is the shop's again, converted.
    ledger_.openDoor();
    ledger_.dropMap();
    stage_ = Stage::Commit;
    if (!fileStillThere())
        throw Exception(QStringLiteral("O arquivo do banco foi apagado ou trocado durante a conversão (%1): nada foi gravado "
                                       "nele.").arg(DatabaseLocation(attachedAs_).localFile()));
    {
        std::lock_guard lock(interruptGuard_);
        enterOrStop(Stage::Commit);
        commitSent_ = true;
    }
    ledger_.commit();
    outcome_ = Outcome::Converted;
}

QDateTime Conversion::runTime()
{
    if (!when_.isValid())
        when_ = QDateTime::currentDateTime();
    return when_;
}
