#include "statements.h"

#include "params.h"
#include "sqltext.h"
#include "statements_p.h"

namespace statements {

using namespace detail;

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

QString currentTransaction()
{
    return QStringLiteral("select current_transaction from rdb$database");
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

} // namespace statements
