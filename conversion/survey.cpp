#include "survey.h"

#include "params.h"
#include "queries.h"
#include "statements.h"

#include <QLocale>

namespace {

const int shownAttachments = 5;
const int shownInFailure = 5; // collision groups a failed run's box names

QString bytesText(qsizetype n)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(n);
}

} // namespace

QList<OtherAttachment> Survey::others(TSQLConnection &db)
{
    QList<OtherAttachment> found;
    for (const QStringList &row : queries::readAll(db, statements::otherAttachments()))
        // The engine gives the address with its port ("10.0.0.5/43886"): the computer is what helps.
        found << OtherAttachment{trimControl(row.value(0)), trimControl(row.value(1)).section(u'/', 0, 0),
                                 trimControl(row.value(2))};
    return found;
}

Survey Survey::read(TSQLConnection &db, const marks::Description &description, qsizetype added,
                    const TriggerSwitch &triggers)
{
    Survey s;
    s.plan_ = RewritePlan::read(db);
    const RewritePlan &plan = s.plan_;
    if (plan.relations().isEmpty())
        s.stops_ << RewritePlan::Stop{{}, QStringLiteral("Nenhuma tabela deste banco tem a coluna CODPROD: nada foi alterado.")};
    if (plan.stop())
        s.stops_ << *plan.stop();

    // What the run writes must fit where the engine keeps it.
    if (const qsizetype size = description.value_or(QByteArray()).size(); size + added > marks::maxBytes)
        s.stops_ << RewritePlan::Stop{{}, QStringLiteral("A descrição do banco tem %1 bytes: com as linhas do Conversor de dados "
                                                         "passaria de %2 bytes, o máximo que o Firebird grava. Encurte-a e "
                                                         "converta de novo.")
                                              .arg(bytesText(size), bytesText(marks::maxBytes))};
    if (const qsizetype longest = triggers.longestRecord(); longest > marks::maxBytes)
        s.stops_ << RewritePlan::Stop{{}, QStringLiteral("A descrição de um gatilho passaria de %1 bytes com a anotação do "
                                                         "Conversor de dados: encurte-a e converta de novo.")
                                              .arg(bytesText(marks::maxBytes))};
    // A trigger the switch cannot name fires on the rewrites of its table.
    const QStringList stored = plan.storedTables();
    for (const TriggerSwitch::Trigger &t : triggers.triggers())
        if (t.active && !isPlainIdentifier(t.name) && stored.contains(t.relation))
            s.stops_ << RewritePlan::Stop{{}, QStringLiteral("O gatilho \"%1\" da tabela %2 tem um nome que o dialeto 1 do "
                                                             "banco não escreve, e não pode ser desativado: renomeie-o ou "
                                                             "desative-o e converta de novo.")
                                                  .arg(t.name, t.relation)};
    for (const RewritePlan::Question &q : plan.questions())
        if (queries::any(db, q.sql))
            s.stops_ << RewritePlan::Stop{q.table.leftJustified(31, u' '), q.reason};

    if (const QString when = marks::lastConversion(description); !when.isEmpty()) {
        s.convertedBecause_ = QStringLiteral("convertido em ") + when;
        return s;
    }
    // Without the mark: codes in the rewritten shape, and none of the 8 characters a conversion
    // expects. Looking for a code of 8 stops at the first one, which an unconverted table has.
    bool rewritten = false;
    for (const QString &table : stored) {
        if (queries::any(db, statements::anyCodeOf8(table)))
            return s;
        rewritten = rewritten || queries::any(db, statements::anyRewrittenCode(table));
    }
    if (rewritten)
        s.convertedBecause_ = shapeReason();
    return s;
}

QString Survey::shapeReason()
{
    return QStringLiteral("os códigos têm 6 caracteres com \"0\" na segunda posição, e nenhum tem 8");
}

QList<Collision> Survey::collisions(TSQLConnection &db, const RewritePlan &plan, const QString &table, int limit, int *total)
{
    QList<Collision> found;
    int count = 0;
    for (const RewritePlan::KeyTerms &key : plan.uniqueKeysOf(table)) {
        for (const QStringList &row : queries::readAll(db, statements::collisions(table, key.rewritten))) {
            ++count;
            if (limit > 0 && found.size() >= limit)
                continue;
            Collision c{table, key.name, trimControl(row.value(0)), {}, trimControl(row.last()).split(u' ', Qt::SkipEmptyParts)};
            c.codes.sort();
            for (qsizetype i = 1; i + 1 < row.size(); ++i)
                c.others << trimControl(row.value(i));
            found << c;
        }
    }
    if (total)
        *total = count;
    return found;
}

QList<QByteArray> Survey::takenKeys(TSQLConnection &db, const RewritePlan &plan, const QString &table)
{
    QList<QByteArray> keys;
    for (const RewritePlan::KeyTerms &key : plan.uniqueKeysOf(table))
        for (const auto &row : queries::readBytes(db, statements::takenKeys(table, key.old, key.rewritten)))
            if (row.value(0) && !keys.contains(*row.value(0)))
                keys << *row.value(0);
    return keys;
}

QString Survey::collisionText(const Collision &c)
{
    QString codes = c.codes.join(QStringLiteral(", "));
    if (const qsizetype last = codes.lastIndexOf(QStringLiteral(", ")); last >= 0)
        codes.replace(last, 2, QStringLiteral(" e "));
    QString where = c.table + QStringLiteral(", chave ") + c.key;
    if (!c.others.isEmpty())
        where += QStringLiteral(", com ") + c.others.join(QStringLiteral(", "));
    return QStringLiteral("%1 → %2 (%3)").arg(codes, c.result, where);
}

QString Survey::collisionHint(TSQLConnection &db, const RewritePlan &plan, const QStringList &tables)
{
    try {
        for (const QString &table : tables) {
            if (table.isEmpty())
                continue;
            QStringList groups;
            for (const Collision &c : collisions(db, plan, table, shownInFailure))
                groups << collisionText(c);
            if (!groups.isEmpty())
                return QStringLiteral("\rCódigos que ficariam iguais: ") + groups.join(QStringLiteral("; "));
        }
    } catch (const std::exception &) {
        // The failure says what the engine said.
    }
    return {};
}

QString Survey::othersText(const QList<OtherAttachment> &others)
{
    QStringList shown;
    for (const OtherAttachment &a : others.mid(0, shownAttachments)) {
        QString who = (a.user.isEmpty() ? QStringLiteral("?") : a.user) + u'@'
            + (a.host.isEmpty() ? QStringLiteral("local") : a.host);
        if (!a.program.isEmpty())
            who += QStringLiteral(", ") + a.program;
        shown << who;
    }
    if (others.size() > shownAttachments)
        shown << QStringLiteral("…");
    return others.size() == 1
        ? QStringLiteral("O banco está em uso por 1 outra conexão (%1): feche-a e converta de novo.").arg(shown.join(QStringLiteral("; ")))
        : QStringLiteral("O banco está em uso por %1 outras conexões (%2): feche-as e converta de novo.")
              .arg(others.size())
              .arg(shown.join(QStringLiteral("; ")));
}

QString Survey::confirmText(const QString &because)
{
    return QStringLiteral("Este banco parece já ter sido convertido (%1). Converter de novo reescreve todos os códigos "
                          "outra vez. Converter de novo?")
        .arg(because);
}
