#include "check.h"

#include "marks.h"
#include "params.h"
#include "queries.h"
#include "statements.h"

#include <QLocale>

namespace {

QString count(qint64 n, const QString &one, const QString &many)
{
    return QStringLiteral("%1 %2").arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(n), n == 1 ? one : many);
}

} // namespace

CheckReport CheckReport::read(TSQLConnection &db)
{
    CheckReport r;
    const QString description = queries::readAll(db, statements::databaseDescription()).value(0).value(0);
    if (const QStringList left = marks::recordedTriggers(description); !left.isEmpty())
        r.warnings_ << QStringLiteral("uma conversão interrompida deixou gatilhos desativados (%1); a próxima conversão os "
                                      "reativa")
                           .arg(left.join(QStringLiteral(", ")));
    const Survey survey = Survey::read(db, marks::withoutTriggers(description));
    for (const RewritePlan::Stop &stop : survey.stops())
        r.stops_ << (stop.table.isEmpty() ? stop.reason : trimControl(stop.table) + QStringLiteral(": ") + stop.reason);
    r.convertedBecause_ = survey.convertedBecause();

    const RewritePlan &plan = survey.plan();
    const Survey::UniqueKeys keys = Survey::uniqueKeys(db);
    for (const QString &relation : plan.relations()) {
        const RewritePlan::Step step = plan.step(relation);
        if (!step.stored || !isPlainIdentifier(relation)) {
            r.relations_ << QStringLiteral("%1: ignorada (%2)").arg(relation, step.skipped.isEmpty() ? QStringLiteral("nome que o "
                                                                      "dialeto 1 não escreve") : step.skipped);
            continue;
        }
        // One pass over the table's codes.
        const QStringList stats = queries::readAll(db, statements::codeStatistics(relation, step.condition, step.length)).value(0);
        const qint64 rows = stats.value(0).toLongLong(), notEight = stats.value(1).toLongLong(),
                     tooLong = stats.value(4).toLongLong();
        if (!step.rewrite)
            r.relations_ << QStringLiteral("%1: ignorada (%2)").arg(relation, step.skipped);
        else if (rows == 0)
            r.relations_ << QStringLiteral("%1: ignorada (nenhum código)").arg(relation);
        else
            r.relations_ << QStringLiteral("%1: converte %2").arg(relation, count(rows, QStringLiteral("linha"), QStringLiteral("linhas")));
        if (notEight > 0)
            r.warnings_ << QStringLiteral("%1: %2 (a conversão supõe 8)")
                               .arg(relation, count(notEight, QStringLiteral("código não tem 8 caracteres"),
                                                    QStringLiteral("códigos não têm 8 caracteres")));
        if (tooLong > 0)
            r.stops_ << QStringLiteral("%1: %2 que a coluna (%3 caracteres)")
                            .arg(relation, count(tooLong, QStringLiteral("código convertido ficaria maior"),
                                                 QStringLiteral("códigos convertidos ficariam maiores")))
                            .arg(step.length);
        if (!keys.contains(relation))
            continue;
        int total = 0;
        const QList<Collision> found = Survey::collisions(db, relation, keys.value(relation), shownCollisions, &total);
        for (const Collision &c : found)
            if (r.collisions_.size() < shownCollisions)
                r.collisions_ << c;
        r.collisionTotal_ += total;
    }
    return r;
}

QStringList CheckReport::lines() const
{
    QStringList out;
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
        out << QStringLiteral("  impede a conversão: ") + stop;
    for (const Collision &c : collisions_)
        out << QStringLiteral("    ") + Survey::collisionText(c);
    for (const QString &warning : warnings_)
        out << QStringLiteral("  aviso: ") + warning;
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
