#include "survey.h"

#include <ibase.h>

#include "advice.h"
#include "errors.h"
#include "params.h"
#include "queries.h"
#include "repair.h"
#include "statements.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace {

const int shownAttachments = 5;
// What a failed run's box names of the codes that would become one: a few groups, a few codes
// each; the rest is in the check's list of codes.
const int groupsInFailure = 3;
const int codesInFailure = 3;

// A number as a Brazilian reads it ("1.234").
QString bytesText(qsizetype n)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(n);
}

// Where a table's rewritten codes would not fit its code column: the test a rewritten code (%1)
// fails, and what the survey says of the rows that fail it. A text column's length, a whole
// number's range (the rule's results are digits, at most 6 of them, and a decimal point where
// the code has one); nothing when every result fits.
struct Room {
    QString test;
    std::function<QString(qint64 rows)> said;
};

std::optional<Room> roomOf(const CodeColumn &column)
{
    const bool text = column.type == 14 || column.type == 37;
    static const QHash<int, std::pair<const char *, qint64>> numbers{
        {7, {"SMALLINT", 32767}}, {8, {"INTEGER", 2147483647}}, {16, {"BIGINT", std::numeric_limits<qint64>::max()}}};
    const auto number = numbers.constFind(column.type);
    if (text && column.length > 0) {
        const int length = column.length;
        return Room{QStringLiteral("CHAR_LENGTH(%1) > ") + QString::number(length), [length](qint64 rows) {
                        return (rows == 1 ? QStringLiteral("%1 código convertido ficaria maior que a coluna (%2 caracteres)")
                                          : QStringLiteral("%1 códigos convertidos ficariam maiores que a coluna (%2 caracteres)"))
                            .arg(bytesText(rows))
                            .arg(length);
                    }};
    }
    if (number != numbers.cend() && number->second < 1000000 * std::pow(10.0, -column.scale)) {
        const int places = -column.scale;
        const double most = double(number->second) / std::pow(10.0, places);
        const QString type = QString::fromLatin1(number->first);
        // The rule keeps digits and the decimal point only: its result reads as a number.
        return Room{QStringLiteral("CAST(%1 AS DOUBLE PRECISION) > ") + QString::number(most, 'f', places),
                    [=](qint64 rows) {
                        return (rows == 1 ? QStringLiteral("%1 código convertido não caberia na coluna (%2, até %3)")
                                          : QStringLiteral("%1 códigos convertidos não caberiam na coluna (%2, até %3)"))
                            .arg(bytesText(rows), type, QLocale(QLocale::Portuguese, QLocale::Brazil).toString(most, 'f', places));
                    }};
    }
    return std::nullopt;
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
                    const TriggerSwitch &triggers, bool keepCodes, const Looking &looking)
{
    Survey s;
    s.plan_ = RewritePlan::read(db);
    const RewritePlan &plan = s.plan_;
    if (plan.relations().isEmpty())
        s.stops_ << RewritePlan::Stop{{}, QStringLiteral("Nenhuma tabela deste banco tem a coluna CODPROD: nada foi alterado.")};
    if (plan.stop())
        s.stops_ << *plan.stop();
    // The rule is the database's own SUBSTR: a database without it converts nothing, and the
    // looks that ask the rule are not taken.
    bool &rule = s.rule_;
    rule = !plan.relations().isEmpty();
    if (rule) {
        try {
            queries::readAll(db, statements::ruleOnce());
        } catch (const TDBXError &e) {
            // A stop asked for, or a connection lost, says nothing of the function.
            for (const long code : {long(isc_cancelled), long(isc_network_error), long(isc_net_read_err),
                                    long(isc_net_write_err), long(isc_lost_db_connection), long(isc_att_shutdown),
                                    long(isc_shutdown), long(isc_shutinprog)})
                if (e.hasEngineCode(code))
                    throw;
            rule = false;
            s.stops_ << RewritePlan::Stop{{}, advice::forTechnician(
                                                  QStringLiteral("O banco não tem a função SUBSTR com que a conversão calcula "
                                                                 "os códigos novos."),
                                                  QStringLiteral("Para o técnico: declare-a como os bancos da loja a declaram "
                                                                 "e converta de novo (o Firebird diz: %1).")
                                                      .arg(messageOf(e).replace(u'\n', QStringLiteral("; "))))};
        }
    }

    // What the run writes must fit where the engine keeps it.
    if (const qsizetype size = description.value_or(QByteArray()).size(); size + added > marks::maxBytes)
        s.stops_ << RewritePlan::Stop{{}, advice::forTechnician(
                                              QStringLiteral("A descrição do banco é longa demais para as linhas do "
                                                             "Conversor de dados."),
                                              QStringLiteral("Para o técnico: a descrição do banco tem %1 bytes, e com as "
                                                             "linhas do Conversor de dados passaria de %2 bytes, o máximo "
                                                             "que o Firebird grava. Encurte-a e converta de novo.")
                                                  .arg(bytesText(size), bytesText(marks::maxBytes)))};
    if (const qsizetype longest = triggers.longestRecord(); longest > marks::maxBytes)
        s.stops_ << RewritePlan::Stop{{}, advice::forTechnician(
                                              QStringLiteral("A descrição de um gatilho é longa demais para a anotação do "
                                                             "Conversor de dados."),
                                              QStringLiteral("Para o técnico: a descrição de um gatilho passaria de %1 bytes "
                                                             "com a anotação do Conversor de dados: encurte-a e converta "
                                                             "de novo.")
                                                  .arg(bytesText(marks::maxBytes)))};
    // A trigger the switch cannot name fires on the rewrites of its table.
    const QStringList stored = plan.storedTables();
    for (const TriggerSwitch::Trigger &t : triggers.triggers())
        if (t.active && !isPlainIdentifier(t.name) && stored.contains(t.relation))
            s.stops_ << RewritePlan::Stop{{}, advice::forTechnician(
                                                  QStringLiteral("O gatilho \"%1\" da tabela %2 não pode ser desativado "
                                                                 "pela conversão.")
                                                      .arg(t.name, t.relation),
                                                  QStringLiteral("Para o técnico: o nome do gatilho é um que o dialeto 1 do "
                                                                 "banco não escreve; renomeie-o ou desative-o e converta de "
                                                                 "novo."))};
    for (const RewritePlan::Question &q : plan.questions())
        if (rule && queries::any(db, q.sql))
            s.stops_ << RewritePlan::Stop{q.table.leftJustified(31, u' '), q.reason};
    for (const QString &table : stored)
        if (rule && plan.step(table).rewrite)
            if (const qsizetype taken = takenKeys(db, plan, table).size(); taken > mostTakenFirst)
                s.stops_ << RewritePlan::Stop{table.leftJustified(31, u' '), tooManyTakenText(taken)};
    // One pass over each table's codes. The engine refuses a rewritten code its column cannot
    // hold: every stored code is rewritten, by the table's statement or a cascade.
    s.keptCodes_ = keepCodes && rule;
    if (s.keptCodes_)
        s.databaseCharset_ = trimControl(queries::readAll(db, statements::defaultCharset()).value(0).value(0));
    for (const QString &table : stored) {
        if (looking)
            looking(int(s.counts_.size()), int(stored.size()), table);
        const CodeColumn column = plan.codeColumn(table);
        const std::optional<Room> room = rule ? roomOf(column) : std::nullopt;
        const QString codeType = s.keptCodes_ ? statements::codeText(column.length, column.charset, s.databaseCharset_) : QString();
        CodeCounts counts;
        QList<CodeGroup> &groups = s.groups_[table];
        for (const auto &row :
             queries::readBytes(db, statements::codeGroups(table, plan.step(table).condition, room ? room->test : QString(), codeType))) {
            const auto flag = [&row](int i) { return row.value(i).value_or(QByteArray()).trimmed() == "1"; };
            const qint64 rows = row.value(1).value_or(QByteArray("0")).trimmed().toLongLong();
            counts.rows += flag(0) ? rows : 0;
            (flag(2) ? counts.eight : counts.notEight) += rows;
            counts.rewritten += flag(3) ? rows : 0;
            counts.noRoom += flag(4) ? rows : 0;
            if (s.keptCodes_)
                groups << CodeGroup{row.value(5).value_or(QByteArray()), row.value(6), rows};
        }
        s.counts_.insert(table, counts);
        if (room && counts.noRoom > 0)
            s.stops_ << RewritePlan::Stop{table.leftJustified(31, u' '), room->said(counts.noRoom)};
    }

    if (const QString when = marks::lastConversion(description); !when.isEmpty()) {
        s.convertedBecause_ = QStringLiteral("convertido em ") + when;
        return s;
    }
    // Without the mark: codes in the rewritten shape, and none of the 8 characters a conversion
    // expects.
    bool rewritten = false;
    for (const QString &table : stored) {
        if (s.counts_.value(table).eight > 0)
            return s;
        rewritten = rewritten || s.counts_.value(table).rewritten > 0;
    }
    if (rewritten)
        s.convertedBecause_ = shapeReason();
    return s;
}

Survey::CodeCounts Survey::codesOf(const QString &table) const
{
    return counts_.value(table);
}

QString Survey::codesCharset(const QString &table) const
{
    // Text of the column's own set; a number's text, or a column of no set, the database's.
    const CodeColumn column = plan_.codeColumn(table);
    return column.length > 0 && !column.charset.isEmpty() && column.charset != QLatin1String("NONE") ? column.charset
                                                                                                      : databaseCharset_;
}

qsizetype Survey::addedBytes(const QString &path, const marks::Description &description)
{
    const QDateTime now = QDateTime::currentDateTime();
    // A copy's record while it is taken, then its record whole, the conversion's mark, the
    // reservation's record when there is none yet.
    return marks::copying(path, path + QStringLiteral(".copia-00000000-000000-99.fb.parcial")).size()
        + marks::copied(path + QStringLiteral(".copia-00000000-000000-99.fbk"), std::numeric_limits<qint64>::max()).size()
        + marks::converted(now).size() + (marks::has(description, marks::Kind::Reserved) ? 0 : marks::reserved(now).size()) + 4;
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
        if (!queries::any(db, statements::anyCollision(table, key.rewritten)))
            continue;
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

QList<QByteArray> Survey::takenKeys(TSQLConnection &db, const RewritePlan &plan, const QString &table, const QString &code)
{
    QList<QByteArray> keys;
    const CodeColumn column = plan.codeColumn(table);
    for (RewritePlan::KeyTerms key : plan.uniqueKeysOf(table)) {
        if (!code.isEmpty())
            key.rewritten.replaceInStrings(plan.rewrittenCode(table), statements::typedAs(code, column.charset, column.collation));
        for (const auto &row : queries::readBytes(db, statements::takenKeys(table, key.old, key.rewritten)))
            if (row.value(0) && !keys.contains(*row.value(0)))
                keys << *row.value(0);
    }
    return keys;
}

QString Survey::tooManyTakenText(qsizetype taken)
{
    return QStringLiteral("%1 códigos desta tabela são os códigos convertidos de outros: converta-os à parte antes.").arg(taken);
}

QString Survey::collisionText(const Collision &c, int limit)
{
    QString codes;
    if (limit > 0 && c.codes.size() > limit) {
        codes = c.codes.mid(0, limit).join(QStringLiteral(", ")) + QStringLiteral(" e mais %1").arg(c.codes.size() - limit);
    } else {
        codes = c.codes.join(QStringLiteral(", "));
        if (const qsizetype last = codes.lastIndexOf(QStringLiteral(", ")); last >= 0)
            codes.replace(last, 2, QStringLiteral(" e "));
    }
    QString where = c.table + QStringLiteral(", chave ") + c.key;
    if (!c.others.isEmpty())
        where += QStringLiteral(", com ") + c.others.join(QStringLiteral(", "));
    return QStringLiteral("%1 → %2 (%3)").arg(codes, c.result, where);
}

QString Survey::collisionHint(TSQLConnection &db, const RewritePlan &plan, const QStringList &tables,
                              const QString &database)
{
    try {
        for (const QString &table : tables) {
            if (table.isEmpty())
                continue;
            QStringList groups;
            int total = 0;
            for (const Collision &c : collisions(db, plan, table, groupsInFailure, &total))
                groups << collisionText(c, codesInFailure);
            if (groups.isEmpty())
                continue;
            QString hint = QStringLiteral("\rCódigos que ficariam iguais: ") + groups.join(QStringLiteral("; "));
            if (total > groups.size())
                hint += QStringLiteral("; e mais %1 %2").arg(total - groups.size()).arg(total - groups.size() == 1 ? "grupo" : "grupos");
            return hint + QStringLiteral(".\rA lista completa, com todos os códigos: conversor --check --de-para %1 (a coluna "
                                         "codigo_novo_repetido).")
                              .arg(database);
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

Standing Standing::read(TSQLConnection &db, const marks::Description &description)
{
    Standing s;
    s.description = description;
    s.others = Survey::others(db);
    const QStringList state = queries::readAll(db, statements::databaseState()).value(0);
    s.readOnly = state.value(0).toInt() != 0;
    s.shutDown = state.value(1).toInt() != 0;
    s.backupState = state.value(2).toInt();
    s.serverFile = trimControl(state.value(3));
    return s;
}

QStringList Standing::refusals(const QString &path) const
{
    QStringList refused;
    if (!others.isEmpty())
        refused << repair::busyText(description, Survey::othersText(others));
    if (readOnly)
        refused << Survey::readOnlyText();
    // A database in a shutdown that is not a run's of this program is an administrator's: left
    // as it is.
    if (shutDown && !marks::has(description, marks::Kind::Reserved))
        refused << Survey::shutDownText(path);
    // Nor is a backup lock that no run of this program left (its server would not shut the
    // database down under it either).
    if (backupState != 0 && !marks::has(description, marks::Kind::Copying))
        refused << Survey::backupLockText(path);
    return refused;
}

QString Survey::readOnlyText()
{
    return advice::forTechnician(QStringLiteral("O banco está em modo somente leitura, e a conversão precisa gravar nele."),
                                 QStringLiteral("Para o técnico: o banco está em gfix -mode read_only; passe-o para leitura e "
                                                "gravação (gfix -mode read_write) e converta de novo."));
}

QString Survey::shutDownText(const QString &path)
{
    return advice::forTechnician(QStringLiteral("O banco está fechado para manutenção (shutdown), e não pelo Conversor de "
                                                "dados."),
                                 QStringLiteral("Para o técnico: quando a manutenção terminar, abra-o (conversor --unlock %1) "
                                                "e converta de novo.")
                                     .arg(path));
}

QString Survey::backupLockText(const QString &path)
{
    return advice::forTechnician(QStringLiteral("O banco está sob a trava de cópia do Firebird, que não é do Conversor de "
                                                "dados."),
                                 QStringLiteral("Para o técnico: a trava é a de ALTER DATABASE BEGIN BACKUP, ou nbackup -L; "
                                                "quando nenhuma cópia estiver sendo feita, libere-o (conversor --unlock %1) "
                                                "e converta de novo.")
                                     .arg(path));
}

QString Survey::confirmText(const QString &because)
{
    return QStringLiteral("Este banco parece já ter sido convertido (%1). Converter de novo reescreve todos os códigos "
                          "outra vez. Converter de novo?")
        .arg(because);
}
