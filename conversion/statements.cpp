#include "statements.h"

namespace {

QString blanks(int n)
{
    return QString(n, u' ');
}

QString triggerSwitch(int inactive)
{
    return QStringLiteral("update RDB$TRIGGERS set RDB$TRIGGER_INACTIVE = %1").arg(inactive) + blanks(19)
        + QStringLiteral("where rdb$trigger_source is not null and ((rdb$system_flag = 0) or (rdb$system_flag is null))")
        + blanks(41);
}

} // namespace

namespace statements {

QString triggersOff()
{
    return triggerSwitch(1);
}

QString triggersOn()
{
    return triggerSwitch(0);
}

QString discovery()
{
    return QStringLiteral("Select rdb$relation_name As Tabela") + blanks(35) + QStringLiteral("From rdb$relation_fields")
        + blanks(35) + QStringLiteral("Where Upper(Trim(rdb$field_name)) = 'CODPROD'") + blanks(13)
        + QStringLiteral("Order By 1") + blanks(43);
}

QString rewrite(const QString &table)
{
    return QStringLiteral("UPDATE ") + table
        + QStringLiteral(" SET CODPROD = (SUBSTR(CODPROD,2,2) || '0' || SUBSTR(CODPROD,3,6))");
}

QString commit()
{
    return QStringLiteral("Commit");
}

QString codeColumns()
{
    // Each part led by the shorter table, the other reached through its index: the computed
    // CODPROD columns (from the domains), and every column of the views (from the relations).
    return QStringLiteral(
        "select rf.rdb$relation_name as relation, rf.rdb$field_name as field, 0 as is_view, 1 as computed, "
        "cast(null as char(31)) as base_field, cast(null as char(31)) as base_relation, 0 as context_type "
        "from rdb$fields f join rdb$relation_fields rf on rf.rdb$field_source = f.rdb$field_name || '' "
        "where f.rdb$computed_blr is not null and rf.rdb$field_name || '' = 'CODPROD' "
        "union all "
        "select rf.rdb$relation_name, rf.rdb$field_name, 1, 0, rf.rdb$base_field, vr.rdb$relation_name, "
        "coalesce(vr.rdb$context_type, 0) "
        "from rdb$relations r join rdb$relation_fields rf on rf.rdb$relation_name = r.rdb$relation_name || '' "
        "left join rdb$view_relations vr on vr.rdb$view_name = rf.rdb$relation_name "
        "and vr.rdb$view_context = rf.rdb$view_context "
        "where r.rdb$view_blr is not null");
}

QString codeReferences()
{
    return QStringLiteral(
        "select fk.rdb$constraint_name as name, fk.rdb$relation_name as child, cs.rdb$field_name as child_field, "
        "uq.rdb$relation_name as master, rc.rdb$update_rule as update_rule "
        "from rdb$relation_constraints fk "
        "join rdb$ref_constraints rc on rc.rdb$constraint_name = fk.rdb$constraint_name "
        "join rdb$relation_constraints uq on uq.rdb$constraint_name = rc.rdb$const_name_uq "
        "join rdb$index_segments cs on cs.rdb$index_name = fk.rdb$index_name "
        "join rdb$index_segments ms on ms.rdb$index_name = uq.rdb$index_name "
        "and ms.rdb$field_position = cs.rdb$field_position "
        "where fk.rdb$constraint_type = 'FOREIGN KEY' and upper(trim(ms.rdb$field_name)) = 'CODPROD' "
        "order by 2, 1");
}

} // namespace statements
