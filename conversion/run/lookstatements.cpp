#include "statements.h"

#include "params.h"
#include "sqltext.h"
#include "statements_p.h"

// The looks' statements: questions for the data, the codes' statistics, the map and the list.

namespace statements {

using namespace detail;

QString anyCode(const QString &table)
{
    return QStringLiteral("select first 1 1 from %1 where %2").arg(name(table), hasCode);
}

QString anyChangingReference(const QString &child, const QStringList &columns)
{
    const QString code = name(columns.first());
    QString sql = QStringLiteral("select first 1 1 from %1 where TRIM(%2) <> '' and %3 <> %2").arg(name(child), code, converted(code));
    for (const QString &c : columns.mid(1))
        sql += QStringLiteral(" and %1 is not null").arg(name(c));
    return sql;
}

QString anyBreaking(const QString &table, const QString &check, const QString &condition)
{
    QString sql = QStringLiteral("select first 1 1 from %1 where %2 and not (%3)").arg(name(table), hasCode, check);
    if (!condition.isEmpty())
        sql += QStringLiteral(" and (%1)").arg(condition);
    return sql;
}

QString anyEndingInBlank(const QString &table, const QString &condition)
{
    const QString rewritten = converted(QStringLiteral("CODPROD"));
    QString sql = QStringLiteral("select first 1 1 from %1 where %2 and OCTET_LENGTH(%3) <> OCTET_LENGTH(TRIM(TRAILING FROM %3))")
                      .arg(name(table), hasCode, rewritten);
    if (!condition.isEmpty())
        sql += QStringLiteral(" and (%1)").arg(condition);
    return sql;
}

QString trimCascaded(const QString &table, const QString &condition)
{
    QString sql = QStringLiteral("UPDATE %1 SET CODPROD = TRIM(TRAILING FROM CODPROD) WHERE %2 AND OCTET_LENGTH(CODPROD) <> "
                                 "OCTET_LENGTH(TRIM(TRAILING FROM CODPROD))")
                      .arg(name(table), hasCode);
    if (!condition.isEmpty())
        sql += QStringLiteral(" AND (%1)").arg(condition);
    return sql;
}

QString codeText(int length, const QString &charset, const QString &databaseCharset)
{
    const int chars = length > 0 ? length : 255;
    const QString set = length > 0 ? charset : databaseCharset;
    return set.isEmpty() || set == QLatin1String("NONE") ? QStringLiteral("VARCHAR(%1)").arg(chars)
                                                         : QStringLiteral("VARCHAR(%1) CHARACTER SET %2").arg(chars).arg(name(set));
}

QString codeGroups(const QString &table, const QString &condition, const QString &noRoom, const QString &codeType)
{
    // Each distinct code once (a code repeats in every row that sells or stocks it): the
    // database's SUBSTR is called once a code, not once a row. Grouped by two terms, so that the
    // engine sorts the codes rather than walking an index on the column, which reads the rows
    // in the index's order, a page fetch a row.
    const QString groups = QStringLiteral("select %1 as C, %2 as R, count(*) as N from %3 where %4 group by 1, 2")
                               .arg(codeType.isEmpty() ? QStringLiteral("CODPROD") : QStringLiteral("cast(CODPROD as %1)").arg(codeType),
                                    condition.isEmpty() ? QStringLiteral("1") : QStringLiteral("iif(%1, 1, 0)").arg(condition),
                                    name(table), hasCode);
    const QString code = QStringLiteral("C");
    const QString shape = QStringLiteral("iif(%1 = 8, 1, 0) as de_8, iif(%2, 1, 0) as reescrito")
                              .arg(trimmedLength(code), rewrittenShape(code));
    QString perCode;
    if (noRoom.isEmpty() && codeType.isEmpty()) {
        perCode = QStringLiteral("select R, N, %1, 0 as sem_lugar from (%2)").arg(shape, groups);
    } else {
        // The rule once a code: an aggregate keeps its result, where a derived table's column is
        // computed again wherever it is named.
        perCode = QStringLiteral("select R, N, %1, %2 as sem_lugar%3 from (select C, R, N, max(%4) as NOVO from (%5) group by C, R, N)")
                      .arg(shape, noRoom.isEmpty() ? QStringLiteral("0") : QStringLiteral("iif(%1, 1, 0)").arg(noRoom.arg(QStringLiteral("NOVO"))),
                           codeType.isEmpty() ? QString() : QStringLiteral(", C, NOVO"), converted(code), groups);
    }
    // Without the codes, the engine adds up the codes alike: a few rows, not one a code.
    if (!codeType.isEmpty())
        return perCode;
    return QStringLiteral("select R, sum(N) as N, de_8, reescrito, sem_lugar from (%1) group by R, de_8, reescrito, sem_lugar")
        .arg(perCode);
}

QString anyCollision(const QString &table, const QStringList &newTerms)
{
    // A key of one term is counted, not grouped: the engine then computes the rewritten code
    // once a row (grouping by it computes it again for the group).
    if (newTerms.size() == 1)
        return QStringLiteral("select 1 from (select count(K1) as A, count(distinct K1) as D from (select %1 as K1 from %2 "
                              "where %3)) where A > D")
            .arg(newTerms.first(), name(table), hasCode);
    QStringList keys, present;
    for (int i = 1; i <= newTerms.size(); ++i) {
        keys << QStringLiteral("K%1").arg(i);
        present << QStringLiteral("K%1 is not null").arg(i);
    }
    return QStringLiteral("select first 1 1 from (select %1 from %2 where %3) where %4 group by %5 having count(*) > 1")
        .arg(asColumns(newTerms), name(table), hasCode, present.join(QStringLiteral(" and ")), keys.join(QStringLiteral(", ")));
}

QString collisions(const QString &table, const QStringList &newTerms)
{
    QStringList keys, present;
    for (int i = 1; i <= newTerms.size(); ++i) {
        keys << QStringLiteral("K%1").arg(i);
        present << QStringLiteral("K%1 is not null").arg(i);
    }
    return QStringLiteral("select %1, list(trim(C), ' ') as codigos from (select %2, CODPROD as C from %3 where %4) "
                          "where %5 group by %1 having count(*) > 1 order by %1")
        .arg(keys.join(QStringLiteral(", ")), asColumns(newTerms), name(table), hasCode,
             present.join(QStringLiteral(" and ")));
}

QString takenKeys(const QString &table, const QStringList &oldTerms, const QStringList &newTerms)
{
    QStringList same;
    for (int i = 1; i <= oldTerms.size(); ++i)
        same << QStringLiteral("o.K%1 = n.K%1").arg(i);
    return QStringLiteral("select distinct o.DK from (select RDB$DB_KEY as DK, %1 from %3 where %4) o "
                          "join (select RDB$DB_KEY as DK, %2 from %3 where %4) n on %5 where o.DK <> n.DK")
        .arg(asColumns(oldTerms), asColumns(newTerms), name(table), hasCode, same.join(QStringLiteral(" and ")));
}

QString rewriteKeys(const QString &table, const QList<QByteArray> &keys, const QString &code)
{
    return QStringLiteral("UPDATE %1 SET CODPROD = (%2) WHERE %3").arg(name(table), codeOr(code), keyIn(keys));
}

QString rewriteAllBut(const QString &table, const QList<QByteArray> &keys, const QString &condition, const QString &code)
{
    QString sql = QStringLiteral("UPDATE %1 SET CODPROD = (%2) WHERE %3 AND NOT %4")
                      .arg(name(table), codeOr(code), hasCode, keyIn(keys));
    if (!condition.isEmpty())
        sql += QStringLiteral(" AND (") + condition + u')';
    return sql;
}

QString codeList(const QList<ListedTable> &tables, const QString &charset)
{
    // Each table's distinct codes first, then the rule once a code.
    const QString as = codeText(0, {}, charset);
    QStringList each;
    for (const ListedTable &t : tables)
        each << QStringLiteral("select cast(C as %1) as C, N from (select cast(CODPROD as %2) as C, count(*) as N from %3 "
                               "where %4 group by 1)")
                    .arg(as, codeText(t.length, t.charset, charset), name(t.table), hasCode);
    return QStringLiteral("select C, %1, sum(N) from (%2) group by C order by C")
        .arg(converted(QStringLiteral("C")), each.join(QStringLiteral(" union all ")));
}

QString ruleOnce()
{
    return QStringLiteral("select first 1 %1 from rdb$database").arg(converted(QStringLiteral("'12345678'")));
}

QString defaultCharset()
{
    return QStringLiteral("select rdb$character_set_name from rdb$database");
}

QString keyedByCode()
{
    return QStringLiteral("select rc.rdb$relation_name from rdb$relation_constraints rc "
                          "join rdb$index_segments s on s.rdb$index_name = rc.rdb$index_name "
                          "where rc.rdb$constraint_type = 'PRIMARY KEY' group by 1 "
                          "having count(*) = 1 and max(upper(trim(s.rdb$field_name))) = 'CODPROD' order by 1");
}

QString textColumns(const QString &table)
{
    return QStringLiteral("select rf.rdb$field_name from rdb$relation_fields rf join rdb$fields f on f.rdb$field_name = "
                          "rf.rdb$field_source where rf.rdb$relation_name = '%1' and f.rdb$field_type in (14, 37) and "
                          "f.rdb$computed_blr is null order by rf.rdb$field_position")
        .arg(QString(table).replace(u'\'', QStringLiteral("''")));
}

QString descriptions(const QString &table, const QString &column)
{
    return QStringLiteral("select CODPROD, %1 from %2 where %3").arg(name(column), name(table), hasCode);
}

namespace {

const QString mapTable = QStringLiteral("CONVERSOR$MAPA");

// A code as the map keys it: its bytes (the column's own text would call "A" and "A " one, and
// a collation more), with a mark at the end, since OCTETS compares as if padded with NUL bytes.
QString mapKey(const QString &column)
{
    return QStringLiteral("CAST(%1 AS VARCHAR(%2) CHARACTER SET OCTETS) || x'7C'").arg(column).arg(mapKeyBytes);
}

} // namespace

QString createCodeMap()
{
    // Its rows go with the transaction that wrote them: nothing of the map outlives a run's
    // rewrite but its definition, which the run drops.
    return QStringLiteral("CREATE GLOBAL TEMPORARY TABLE %1 (K SMALLINT NOT NULL, O VARCHAR(%2) CHARACTER SET OCTETS NOT NULL, "
                          "N VARCHAR(%2) CHARACTER SET OCTETS) ON COMMIT DELETE ROWS")
        .arg(mapTable)
        .arg(mapKeyBytes + 1);
}

QString indexCodeMap()
{
    return QStringLiteral("CREATE INDEX %1_O ON %1 (K, O)").arg(mapTable);
}

QString dropCodeMap()
{
    return QStringLiteral("DROP TABLE ") + mapTable;
}

QString codeMapNamed()
{
    return QStringLiteral("select 1 from RDB$RELATIONS where RDB$RELATION_NAME = '%1'").arg(mapTable);
}

QString externalRule()
{
    return QStringLiteral("select 1 from RDB$FUNCTIONS where RDB$FUNCTION_NAME = 'SUBSTR' and RDB$PACKAGE_NAME is null "
                          "and RDB$MODULE_NAME is not null");
}

QString fillCodeMap(const QString &table, int kind, const QString &type, const QString &condition)
{
    // Each distinct code once (a group holds one byte string: MIN gives it back), the rule
    // once a code, and only for codes the map lacks. A text's new code is made a value of its
    // column's own type first, as the rewrite's assignment would make it.
    const QString rule = converted(QStringLiteral("D.C"));
    const QString made = type.isEmpty() ? rule : QStringLiteral("CAST(%1 AS %2)").arg(rule, type);
    QString codes = QStringLiteral("select %1 as O, MIN(CODPROD) as C from %2 where %3").arg(mapKey(QStringLiteral("CODPROD")), name(table), hasCode);
    if (!condition.isEmpty())
        codes += QStringLiteral(" and (%1)").arg(condition);
    return QStringLiteral("INSERT INTO %1 (K, O, N) select %2, D.O, CAST(%3 AS VARCHAR(%4) CHARACTER SET OCTETS) from (%5 group by 1) D "
                          "where not exists (select 1 from %1 where %1.K = %2 and %1.O = D.O)")
        .arg(mapTable)
        .arg(kind)
        .arg(made)
        .arg(mapKeyBytes + 1)
        .arg(codes);
}

QString mappedCode(int kind)
{
    // A code the map lacks is given the rule itself: the map only saves calling it again.
    return QStringLiteral("COALESCE((select %1.N from %1 where %1.K = %2 and %1.O = %3), %4)")
        .arg(mapTable)
        .arg(kind)
        .arg(mapKey(QStringLiteral("CODPROD")), converted(QStringLiteral("CODPROD")));
}

} // namespace statements
