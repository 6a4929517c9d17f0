#include "statements.h"

namespace {

QString blanks(int n)
{
    return QString(n, u' ');
}

// Text as a string literal of the statement.
QString literal(const QString &text)
{
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("''"));
    return u'\'' + quoted + u'\'';
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

} // namespace

namespace statements {

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

QString rewrite(const QString &table, const QString &condition)
{
    QString sql = QStringLiteral("UPDATE ") + table + QStringLiteral(" SET CODPROD = (") + converted(QStringLiteral("CODPROD"))
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
        "coalesce(f.rdb$character_length, 0) as length "
        "from rdb$relation_fields rf "
        "join rdb$relations r on r.rdb$relation_name = rf.rdb$relation_name "
        "join rdb$fields f on f.rdb$field_name = rf.rdb$field_source "
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
        "where fk.rdb$constraint_type = 'FOREIGN KEY' and exists (select 1 from rdb$index_segments k "
        "where k.rdb$index_name = uq.rdb$index_name and upper(trim(k.rdb$field_name)) = 'CODPROD') "
        "order by 1, cs.rdb$field_position");
}

QString userTriggers()
{
    return QStringLiteral("select rdb$trigger_name as name, coalesce(rdb$trigger_inactive, 0) as inactive "
                          "from rdb$triggers where coalesce(rdb$system_flag, 0) = 0 order by 1");
}

QString alterTrigger(const QString &name, bool active)
{
    return QStringLiteral("ALTER TRIGGER ") + name + (active ? QStringLiteral(" ACTIVE") : QStringLiteral(" INACTIVE"));
}

QString databaseDescription()
{
    return QStringLiteral("select rdb$description as description from rdb$database");
}

QString describeDatabase(const QString &description)
{
    // The text's own bytes, as a binary literal: the engine takes them as they are, line ends
    // and accents included, whatever character set the connection names (none).
    return QStringLiteral("COMMENT ON DATABASE IS ")
        + (description.isNull() ? QStringLiteral("NULL")
                                : QStringLiteral("x'%1'").arg(QString::fromLatin1(description.toUtf8().toHex().toUpper())));
}

QString otherAttachments()
{
    return QStringLiteral("select mon$user as usuario, mon$remote_address as endereco, mon$remote_process as programa "
                          "from mon$attachments where mon$attachment_id <> current_connection and mon$system_flag = 0 "
                          "order by mon$attachment_id");
}

QString backupState()
{
    return QStringLiteral("select mon$backup_state as estado from mon$database");
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
    return QStringLiteral("select first 1 1 from %1 where %2 = 8").arg(table, trimmedLength(QStringLiteral("CODPROD")));
}

QString anyRewrittenCode(const QString &table)
{
    return QStringLiteral("select first 1 1 from %1 where %2").arg(table, rewrittenShape(QStringLiteral("CODPROD")));
}

QString anyChangingReference(const QString &child, const QStringList &columns)
{
    QString sql = QStringLiteral("select first 1 1 from %1 where TRIM(%2) <> '' and %3 <> %2")
                      .arg(child, columns.first(), converted(columns.first()));
    for (const QString &c : columns.mid(1))
        sql += QStringLiteral(" and %1 is not null").arg(c);
    return sql;
}

QString codeStatistics(const QString &table, const QString &condition, int length)
{
    // Each distinct code once (a code repeats in every row that sells or stocks it): the
    // database's SUBSTR is called once a code, not once a row.
    const QString code = QStringLiteral("C");
    return QStringLiteral("select sum(iif(R = 1, N, 0)) as linhas, sum(iif(%1 <> 8, N, 0)) as fora_de_8, "
                          "sum(iif(%2, N, 0)) as reescritos, sum(iif(%1 = 8, N, 0)) as de_8, sum(%3) as longos "
                          "from (select CODPROD as C, %4 as R, count(*) as N from %5 where %6 group by 1, 2)")
        .arg(trimmedLength(code), rewrittenShape(code),
             length > 0 ? QStringLiteral("iif(CHAR_LENGTH(%1) > %2, N, 0)").arg(converted(code)).arg(length)
                        : QStringLiteral("0"),
             condition.isEmpty() ? QStringLiteral("1") : QStringLiteral("iif(%1, 1, 0)").arg(condition), table, hasCode);
}

QString uniqueKeys(const QString &table)
{
    return QStringLiteral(
        "select i.rdb$relation_name as tabela, coalesce(rc.rdb$constraint_name, i.rdb$index_name) as chave, "
        "s.rdb$field_name as coluna "
        "from rdb$indices i join rdb$index_segments s on s.rdb$index_name = i.rdb$index_name "
        "left join rdb$relation_constraints rc on rc.rdb$index_name = i.rdb$index_name "
        "where i.rdb$unique_flag = 1 %1and exists (select 1 from rdb$index_segments k "
        "where k.rdb$index_name = i.rdb$index_name and k.rdb$field_name = 'CODPROD') "
        "order by 1, 2, s.rdb$field_position")
        .arg(table.isEmpty() ? QString() : QStringLiteral("and i.rdb$relation_name = %1 ").arg(literal(table)));
}

QString collisions(const QString &table, const QStringList &key)
{
    QStringList others;
    for (const QString &c : key)
        if (c != QLatin1String("CODPROD"))
            others << c;
    QString sql = QStringLiteral("select %1 as novo").arg(converted(QStringLiteral("CODPROD")));
    for (const QString &c : others)
        sql += QStringLiteral(", ") + c;
    sql += QStringLiteral(", list(trim(CODPROD), ' ') as codigos from %1 where %2").arg(table, hasCode);
    for (const QString &c : others)
        sql += QStringLiteral(" and %1 is not null").arg(c);
    sql += QStringLiteral(" group by 1");
    for (int i = 0; i < others.size(); ++i)
        sql += QStringLiteral(", %1").arg(i + 2);
    return sql + QStringLiteral(" having count(*) > 1 order by 1");
}

} // namespace statements
