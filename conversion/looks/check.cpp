#include "check.h"

#include "advice.h"
#include "codelist.h"
#include "codemap.h"
#include "errors.h"
#include "filenames.h"
#include "keptfiles.h"
#include "ledger.h"
#include "location.h"
#include "marks.h"
#include "params.h"
#include "queries.h"
#include "repair.h"
#include "safetycopy.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QLocale>
#include <QScopeGuard>

namespace {

QString count(qint64 n, const QString &one, const QString &many)
{
    return QStringLiteral("%1 %2").arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(n), n == 1 ? one : many);
}

// A stop of several lines (a technician's paragraph below the clerk's) on the report's one line.
QString oneLine(QString text)
{
    static const QRegularExpression breaks(QStringLiteral("\\s*\\r+\\s*"));
    return text.replace(breaks, QStringLiteral(" "));
}


} // namespace

CheckReport CheckReport::examine(TSQLConnection &db, bool codeList, const Progress &progress)
{
    auto letGo = qScopeGuard([&] { db.setConnected(false); });
    // Nothing the check does fires the database's own triggers (an audit row on connect).
    db.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
    QStringList repaired;
    try {
        db.setConnected(true);
    } catch (const std::exception &e) {
        throw Exception(advice::connectFailure(e, db.Params.value(QStringLiteral("DataBase"))));
    }
    try {
        repaired = repair::giveBack(db, false);
        // One transaction that only reads: nothing of the file can change.
        db.Params.setValue(QStringLiteral("ReadOnly"), QStringLiteral("True"));
        auto back = qScopeGuard([&] { db.Params.setValue(QStringLiteral("ReadOnly"), QString()); });
        db.setConnected(true);
        CheckReport r = read(db, codeList, progress);
        r.repaired_ = repaired;
        return r;
    } catch (const std::exception &e) {
        throw Exception(advice::withReason(QStringLiteral("Erro ao examinar o banco"), e));
    }
}

CheckReport CheckReport::read(TSQLConnection &db, bool codeList, const Progress &progress)
{
    const auto tell = [&](int done, int total, const QString &status) {
        if (progress)
            progress(done, total, status);
    };
    tell(0, 0, QStringLiteral("Examinando o banco…"));
    CheckReport r;
    const QString path = db.Params.value(QStringLiteral("DataBase"));
    // The run's own first look: what the database holds of runs, then where it stands.
    TSQLQuery unused; // the ledger only reads here
    Ledger ledger(db, unused);
    ledger.read();
    const marks::Description &description = ledger.now().description;
    const TriggerSwitch &triggers = ledger.triggers();
    const Standing standing = Standing::read(db, description);
    r.stops_ << standing.refusals(path);
    if (const QStringList left = triggers.leftOff(); !left.isEmpty())
        r.warnings_ << QStringLiteral("uma conversão interrompida deixou gatilhos desativados; a próxima conversão os reativa: %1")
                           .arg(left.join(QStringLiteral(", ")));
    const Survey survey = Survey::read(db, description, Survey::addedBytes(path, description), triggers, codeList,
                                       [&](int done, int total, const QString &table) {
                                           tell(done, total, QStringLiteral("Examinando ") + trimControl(table));
                                       });
    for (const RewritePlan::Stop &stop : survey.stops())
        r.stops_ << (stop.relation.isEmpty() ? stop.reason : trimControl(stop.relation) + QStringLiteral(": ") + stop.reason);
    r.convertedBecause_ = survey.convertedBecause();
    if (const QString copy = repair::copyText(description, standing.serverFile); !copy.isEmpty())
        r.stops_.prepend(copy);

    // Where the run's copy would go, and whether it fits there.
    try {
        const safetycopy::Plan copy = safetycopy::planFor(DatabaseLocation::attached(db.attachedAs(), standing.serverFile), QDateTime::currentDateTime());
        if (copy.taker == safetycopy::Plan::Taker::Program)
            safetycopy::checkRoom(copy.copy, copy.size);
    } catch (const Exception &e) {
        r.stops_ << e.message();
    }

    const bool mapPays = CodeMap::pays(db);
    const int relations = int(survey.plan().relations().size());
    for (const QString &relation : survey.plan().relations())
        r.examineRelation(db, survey, relation, mapPays);
    r.findKeptFiles(db, path, standing);
    // The list last: a check that fails on the way leaves none.
    tell(relations, relations, QString());
    if (codeList && survey.ruleAnswers()) {
        tell(relations, relations, QStringLiteral("Lendo os códigos antigos e novos…"));
        r.writePreview(db, path, survey);
    }
    return r;
}

void CheckReport::examineRelation(TSQLConnection &db, const Survey &survey, const QString &relation, bool mapPays)
{
    const RewritePlan &plan = survey.plan();
    const RewritePlan::Step step = plan.step(relation);
    if (!step.stored) {
        relations_ << QStringLiteral("%1: ignorada (%2)").arg(relation, step.skipped);
        return;
    }
    // The survey's pass over the table's codes.
    const Survey::CodeCounts counts = survey.codesOf(relation);
    const qint64 rows = counts.rows, notEight = counts.notEight;
    if (!step.rewrite)
        relations_ << QStringLiteral("%1: ignorada (%2)").arg(relation, step.skipped);
    else if (rows == 0)
        relations_ << QStringLiteral("%1: ignorada (nenhum código)").arg(relation);
    else
        relations_ << QStringLiteral("%1: converte %2").arg(relation, count(rows, QStringLiteral("linha"), QStringLiteral("linhas")));
    if (notEight > 0)
        warnings_ << QStringLiteral("%1: %2 (a conversão supõe 8)")
                         .arg(relation, count(notEight, QStringLiteral("código não tem 8 caracteres"),
                                              QStringLiteral("códigos não têm 8 caracteres")));
    // The run computes a column's codes once each through its map, unless the map cannot hold
    // them: then row by row, as the technician should know of a slow table.
    if (step.rewrite && rows > 0 && mapPays && CodeMap().kindOf(plan.codeColumn(relation)) == 0)
        warnings_ << QStringLiteral("%1: os códigos novos serão calculados linha a linha, sem o mapa de códigos (a coluna "
                                    "CODPROD não é texto de até %2 caracteres nem número inteiro): esta tabela leva mais tempo")
                         .arg(relation)
                         .arg(CodeMap::longestMapped);
    if (!survey.ruleAnswers())
        return;
    int total = 0;
    const QList<Collision> found = Survey::collisions(db, plan, relation, shownCollisions, &total);
    for (const Collision &c : found)
        if (collisions_.size() < shownCollisions)
            collisions_ << c;
    collisionTotal_ += total;
}

void CheckReport::findKeptFiles(TSQLConnection &db, const QString &path, const Standing &standing)
{
    // What earlier runs left, findable again once their boxes are closed: beside the file as
    // chosen, as it really is (a link's target) and as the server has it, and lists in home.
    QStringList files{path}, folders{QDir::homePath()};
    const DatabaseLocation where = DatabaseLocation::attached(db.attachedAs(), standing.serverFile);
    if (const QString local = where.localFile(); !local.isEmpty())
        files << local << where.serverFile();
    for (const QString &file : std::as_const(files))
        if (file.startsWith(u'/'))
            folders << QFileInfo(file).absolutePath() << QFileInfo(QFileInfo(file).canonicalFilePath()).absolutePath();
    kept_ = keptfiles::lines(keptfiles::find(files, folders));
}

void CheckReport::writePreview(TSQLConnection &db, const QString &path, const Survey &survey)
{
    // A preview, named so: not to be taken for what a run did. Beside the file this computer
    // reaches, as a run's list goes.
    const QString local = DatabaseLocation(db.attachedAs()).localFile();
    const QString file = local.isEmpty() ? path : local;
    const CodeList::Written written =
        CodeList::fromSurvey(db, survey).write(CodeList::pathsFor(file, QDir::homePath(), QDateTime::currentDateTime(), CodeList::Kind::Preview));
    if (!written.sheet.isEmpty())
        listed_ << QStringLiteral("lista dos códigos antigos e novos: ") + written.sheet;
    if (!written.csv.isEmpty())
        listed_ << (written.sheet.isEmpty() ? QStringLiteral("lista dos códigos antigos e novos: ")
                                            : QStringLiteral("a mesma lista, para importar: "))
            + written.csv;
    if (!written.problem.isEmpty())
        listed_ << written.problem.split(u'\r');
}

QStringList CheckReport::lines() const
{
    QStringList out;
    for (const QString &done : repaired_)
        out << QStringLiteral("  feito: ") + done;
    for (const QString &relation : relations_)
        out << QStringLiteral("  ") + relation;
    QStringList stops = stops_;
    if (collisionTotal_ > 0) {
        QString head = QStringLiteral("códigos que ficariam iguais numa chave única (%1").arg(collisionTotal_);
        head += collisionTotal_ == 1 ? QStringLiteral(" grupo") : QStringLiteral(" grupos");
        if (collisionTotal_ > collisions_.size())
            head += QStringLiteral(", os primeiros %1").arg(collisions_.size());
        stops << head + QStringLiteral("):");
    }
    for (const QString &stop : std::as_const(stops))
        out << QStringLiteral("  impede a conversão: ") + oneLine(stop);
    for (const Collision &c : collisions_)
        out << QStringLiteral("    ") + Survey::collisionText(c, shownCodes);
    for (const QString &warning : warnings_)
        out << QStringLiteral("  aviso: ") + warning;
    for (const QString &line : listed_)
        out << QStringLiteral("  ") + line;
    for (const QString &line : kept_)
        out << QStringLiteral("  ") + line;
    if (!convertedBecause_.isEmpty())
        out << QStringLiteral("  aviso: o banco parece já ter sido convertido (%1)").arg(convertedBecause_);
    if (!stops.isEmpty())
        out << QStringLiteral("  resultado: a conversão falharia; nada seria alterado.");
    else if (!convertedBecause_.isEmpty())
        out << QStringLiteral("  resultado: converter de novo reescreveria todos os códigos outra vez.");
    else
        out << QStringLiteral("  resultado: a conversão pode ser feita.");
    return out;
}
