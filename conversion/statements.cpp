#include "statements.h"

#include "params.h"
#include "sqltext.h"

namespace {

QString blanks(int n)
{
    return QString(n, u' ');
}

// Bytes as a binary literal: the engine takes them as they are, line ends and accents included,
// whatever character set the connection names (none).
QString bytesLiteral(const std::optional<QByteArray> &bytes)
{
    return bytes ? QStringLiteral("x'%1'").arg(QString::fromLatin1(bytes->toHex().toUpper())) : QStringLiteral("NULL");
}

const QString hasCode = QStringLiteral("TRIM(CODPROD) <> ''");

QString trimmedLength(const QString &column)
{
    return QStringLiteral("CHAR_LENGTH(TRIM(%1))").arg(column);
}

QString rewrittenShape(const QString &column)
{
    return QStringLiteral("%1 = 6 AND SUBSTRING(TRIM(%2) FROM 2 FOR 1) = '0'").arg(trimmedLength(column), column);
}

QString keysList(const QList<QByteArray> &keys)
{
    QStringList literals;
    for (const QByteArray &k : keys)
        literals << bytesLiteral(k);
    return literals.join(QStringLiteral(", "));
}

// "RDB$DB_KEY IN (...)" in lists the engine takes (at most 1,500 values each), joined by OR.
QString keyIn(const QList<QByteArray> &keys)
{
    constexpr qsizetype perList = 1000;
    QStringList lists;
    for (qsizetype i = 0; i < keys.size(); i += perList)
        lists << QStringLiteral("RDB$DB_KEY IN (%1)").arg(keysList(keys.mid(i, perList)));
    return lists.size() == 1 ? lists.first() : u'(' + lists.join(QStringLiteral(" OR ")) + u')';
}

// The key terms as named columns K1, K2... of a derived table.
QString asColumns(const QStringList &terms)
{
    QStringList named;
    for (int i = 0; i < terms.size(); ++i)
        named << QStringLiteral("%1 as K%2").arg(terms[i]).arg(i + 1);
    return named.join(QStringLiteral(", "));
}

} // namespace

namespace statements {

namespace {

// The new code as a statement computes it: as given, else the rule itself.
QString codeOr(const QString &code)
{
    return code.isEmpty() ? converted(QStringLiteral("CODPROD")) : code;
}

} // namespace

QString name(const QString &identifier)
{
    if (isPlainIdentifier(identifier))
        return identifier;
    QString quoted = identifier;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

int dialectOf(const QString &sql)
{
    return sqltext::quotesAName(sql) ? 3 : 0;
}

QString discovery()
{
    return QStringLiteral("Select rdb$relation_name As Tabela") + blanks(35) + QStringLiteral("From rdb$relation_fields")
        + blanks(35) + QStringLiteral("Where Upper(Trim(rdb$field_name)) = 'CODPROD'") + blanks(13)
        + QStringLiteral("Order By 1") + blanks(43);
}

QString converted(const QString &column)
{
    return QStringLiteral("SUBSTR(%1,2,2) || '0' || SUBSTR(%1,3,6)").arg(column);
}

QString convertedAs(const QString &column, const QString &charset, const QString &collation)
{
    return typedAs(converted(column), charset, collation);
}

QString typedAs(const QString &code, const QString &charset, const QString &collation)
{
    if (charset.isEmpty() || charset == QLatin1String("NONE") || charset == QLatin1String("OCTETS"))
        return u'(' + code + u')';
    // Names: a collation of the user's may need quotes.
    QString typed = QStringLiteral("CAST(%1 AS VARCHAR(255) CHARACTER SET %2)").arg(code, name(charset));
    if (!collation.isEmpty())
        typed += QStringLiteral(" COLLATE ") + name(collation);
    return typed;
}

QString rewrite(const QString &table, const QString &condition, const QString &code)
{
    QString sql = QStringLiteral("UPDATE ") + name(table) + QStringLiteral(" SET CODPROD = (") + codeOr(code)
        + QStringLiteral(") WHERE ") + hasCode;
    if (!condition.isEmpty())
        sql += QStringLiteral(" AND (") + condition + u')';
    return sql;
}

QString commit()
{
    return QStringLiteral("Commit");
}

QString codeColumns()
{
    return QStringLiteral(
        "select rf.rdb$relation_name as relation, rf.rdb$field_name as field, "
        "iif(r.rdb$view_blr is null, 0, 1) as is_view, iif(f.rdb$computed_blr is null, 0, 1) as computed, "
        "coalesce(f.rdb$character_length, 0) as length, iif(f.rdb$field_type = 14, 1, 0) as fixed, "
        "coalesce(cs.rdb$character_set_name, '') as charset, coalesce(co.rdb$collation_name, '') as collation, "
        "f.rdb$validation_source as domain_check, coalesce(f.rdb$field_type, 0) as type, "
        "coalesce(f.rdb$field_scale, 0) as scale "
        "from rdb$relation_fields rf "
        "join rdb$relations r on r.rdb$relation_name = rf.rdb$relation_name "
        "join rdb$fields f on f.rdb$field_name = rf.rdb$field_source "
        "left join rdb$character_sets cs on cs.rdb$character_set_id = f.rdb$character_set_id "
        "left join rdb$collations co on co.rdb$character_set_id = f.rdb$character_set_id "
        "and co.rdb$collation_id = coalesce(rf.rdb$collation_id, f.rdb$collation_id, 0) "
        "where upper(trim(rf.rdb$field_name)) = 'CODPROD' "
        "order by 1, 2");
}

QString codeReferences()
{
    return QStringLiteral(
        "select fk.rdb$constraint_name as name, fk.rdb$relation_name as child, cs.rdb$field_name as child_field, "
        "uq.rdb$relation_name as master, ms.rdb$field_name as master_field, rc.rdb$update_rule as update_rule "
        "from rdb$relation_constraints fk "
        "join rdb$ref_constraints rc on rc.rdb$constraint_name = fk.rdb$constraint_name "
        "join rdb$relation_constraints uq on uq.rdb$constraint_name = rc.rdb$const_name_uq "
        "join rdb$index_segments cs on cs.rdb$index_name = fk.rdb$index_name "
        "join rdb$index_segments ms on ms.rdb$index_name = uq.rdb$index_name "
        "and ms.rdb$field_position = cs.rdb$field_position "
        "where fk.rdb$constraint_type = 'FOREIGN KEY' and (exists (select 1 from rdb$index_segments k "
        "where k.rdb$index_name = uq.rdb$index_name and upper(trim(k.rdb$field_name)) = 'CODPROD') "
        "or exists (select 1 from rdb$index_segments k where k.rdb$index_name = fk.rdb$index_name "
        "and upper(trim(k.rdb$field_name)) = 'CODPROD')) "
        "order by 1, cs.rdb$field_position");
}

QString checkConstraints()
{
    // A check constraint is kept as triggers; the one before an update is what a rewrite meets.
    return QStringLiteral(
        "select rc.rdb$relation_name as relation, rc.rdb$constraint_name as name, t.rdb$trigger_source as source "
        "from rdb$relation_constraints rc "
        "join rdb$check_constraints cc on cc.rdb$constraint_name = rc.rdb$constraint_name "
        "join rdb$triggers t on t.rdb$trigger_name = cc.rdb$trigger_name "
        "where rc.rdb$constraint_type = 'CHECK' and t.rdb$trigger_type = 3 and exists (select 1 from "
        "rdb$relation_fields f where f.rdb$relation_name = rc.rdb$relation_name and upper(trim(f.rdb$field_name)) = 'CODPROD') "
        "order by 1, 2");
}

QString uniqueKeys()
{
    return QStringLiteral(
        "select i.rdb$relation_name as tabela, coalesce(rc.rdb$constraint_name, i.rdb$index_name) as chave, "
        "s.rdb$field_name as coluna, i.rdb$expression_source as expressao "
        "from rdb$indices i left join rdb$index_segments s on s.rdb$index_name = i.rdb$index_name "
        "left join rdb$relation_constraints rc on rc.rdb$index_name = i.rdb$index_name "
        "where i.rdb$unique_flag = 1 and coalesce(i.rdb$index_inactive, 0) = 0 and exists (select 1 from "
        "rdb$relation_fields f where f.rdb$relation_name = i.rdb$relation_name and upper(trim(f.rdb$field_name)) = 'CODPROD') "
        "order by 1, 2, s.rdb$field_position");
}

QString userTriggers()
{
    // The door a run closes (guard.h) is no trigger of the user's: it is never switched.
    return QStringLiteral("select rdb$trigger_name as name, coalesce(rdb$trigger_inactive, 0) as inactive, "
                          "rdb$relation_name as relation, rdb$description as description "
                          "from rdb$triggers where coalesce(rdb$system_flag, 0) = 0 and rdb$trigger_name <> 'CONVERSOR$PORTA' order by 1");
}

QString triggerNamed(const QString &trigger)
{
    return QStringLiteral("select 1 from RDB$TRIGGERS where RDB$TRIGGER_NAME = '%1'").arg(trigger);
}

QString refuseOnConnect(const QString &trigger, const QString &exception)
{
    // "OR ALTER": what an administrator left of a door (its exception alone) is no obstacle.
    return QStringLiteral("CREATE OR ALTER TRIGGER %1 ACTIVE ON CONNECT POSITION 0 AS BEGIN EXCEPTION %2; END").arg(trigger, exception);
}

QString createException(const QString &name, const QString &text)
{
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("''"));
    return QStringLiteral("CREATE OR ALTER EXCEPTION %1 '%2'").arg(name, quoted);
}

QString alterException(const QString &name, const QString &text)
{
    return createException(name, text).replace(QStringLiteral("CREATE OR ALTER EXCEPTION"), QStringLiteral("ALTER EXCEPTION"));
}

QString dropTrigger(const QString &name)
{
    return QStringLiteral("DROP TRIGGER ") + name;
}

QString dropException(const QString &name)
{
    return QStringLiteral("DROP EXCEPTION ") + name;
}

QString alterTrigger(const QString &trigger, bool active)
{
    return QStringLiteral("ALTER TRIGGER ") + trigger + (active ? QStringLiteral(" ACTIVE") : QStringLiteral(" INACTIVE"));
}

QString describeTrigger(const QString &trigger, const std::optional<QByteArray> &description)
{
    return QStringLiteral("COMMENT ON TRIGGER %1 IS %2").arg(trigger, bytesLiteral(description));
}

QString databaseDescription()
{
    return QStringLiteral("select rdb$description as description from rdb$database");
}

QString describeDatabase(const std::optional<QByteArray> &description)
{
    return QStringLiteral("COMMENT ON DATABASE IS ") + bytesLiteral(description);
}

QString otherAttachments()
{
    // The computer by the name it gives, which a shop knows it by; its address where it gives none.
    return QStringLiteral("select mon$user as usuario, coalesce(mon$remote_host, mon$remote_address) as endereco, "
                          "mon$remote_process as programa "
                          "from mon$attachments where mon$attachment_id <> current_connection and mon$system_flag = 0 "
                          "order by mon$attachment_id");
}

QString databaseState()
{
    return QStringLiteral("select mon$read_only as somente_leitura, mon$shutdown_mode as fechado, "
                          "mon$backup_state as trava, mon$database_name as arquivo from mon$database");
}

QString beginBackup()
{
    return QStringLiteral("ALTER DATABASE BEGIN BACKUP");
}

QString endBackup()
{
    return QStringLiteral("ALTER DATABASE END BACKUP");
}

QString anyCodeOf8(const QString &table)
{
    return QStringLiteral("select first 1 1 from %1 where %2 = 8").arg(name(table), trimmedLength(QStringLiteral("CODPROD")));
}

QString anyRewrittenCode(const QString &table)
{
    return QStringLiteral("select first 1 1 from %1 where %2").arg(name(table), rewrittenShape(QStringLiteral("CODPROD")));
}

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

QString codeStatistics(const QString &table, const QString &condition)
{
    // Each distinct code once (a code repeats in every row that sells or stocks it): the
    // database's SUBSTR is called once a code, not once a row.
    const QString code = QStringLiteral("C");
    return QStringLiteral("select sum(iif(R = 1, N, 0)) as linhas, sum(iif(%1 <> 8, N, 0)) as fora_de_8, "
                          "sum(iif(%2, N, 0)) as reescritos, sum(iif(%1 = 8, N, 0)) as de_8 "
                          "from (select CODPROD as C, %3 as R, count(*) as N from %4 where %5 group by 1, 2)")
        .arg(trimmedLength(code), rewrittenShape(code),
             condition.isEmpty() ? QStringLiteral("1") : QStringLiteral("iif(%1, 1, 0)").arg(condition), name(table), hasCode);
}

namespace {

// The rows of a table whose code, rewritten once a distinct code, meets test (%1: the
// rewritten code).
QString rowsWhose(const QString &table, const QString &test)
{
    return QStringLiteral("select coalesce(sum(N), 0) from (select CODPROD as C, count(*) as N from %1 where %2 group by 1) "
                          "where %3")
        .arg(name(table), hasCode, test.arg(converted(QStringLiteral("C"))));
}

} // namespace

QString codesLongerThan(const QString &table, int length)
{
    return rowsWhose(table, QStringLiteral("CHAR_LENGTH(%1) > ") + QString::number(length));
}

QString codesAbove(const QString &table, const QString &most)
{
    // The rule keeps digits and the decimal point only: its result reads as a number.
    return rowsWhose(table, QStringLiteral("CAST(%1 AS DOUBLE PRECISION) > ") + most);
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
    const auto text = [](int length, const QString &set) {
        return set.isEmpty() || set == QLatin1String("NONE") ? QStringLiteral("VARCHAR(%1)").arg(length)
                                                              : QStringLiteral("VARCHAR(%1) CHARACTER SET %2").arg(length).arg(name(set));
    };
    const QString as = text(255, charset);
    QStringList each;
    for (const ListedTable &t : tables)
        each << QStringLiteral("select cast(C as %1) as C, N from (select cast(CODPROD as %2) as C, count(*) as N from %3 "
                               "where %4 group by 1)")
                    .arg(as, t.length > 0 ? text(t.length, t.charset) : as, name(t.table), hasCode);
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
