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

QString passThroughViews()
{
    return QStringLiteral(
        "select vf.rdb$relation_name as Tabela from rdb$relation_fields vf "
        "join rdb$view_relations vr on vr.rdb$view_name = vf.rdb$relation_name "
        "and vr.rdb$view_context = vf.rdb$view_context "
        "join rdb$relation_fields bf on bf.rdb$relation_name = vr.rdb$relation_name "
        "and bf.rdb$field_name = vf.rdb$base_field "
        "where upper(trim(vf.rdb$field_name)) = 'CODPROD' and upper(trim(vf.rdb$base_field)) = 'CODPROD'");
}

} // namespace statements
