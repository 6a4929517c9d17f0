#pragma once
// The statements a conversion run sends, as literal text with their runs of blanks: what the
// connection and the layer must take exactly as given.

#include <QString>

namespace runtexts {

inline const QString triggersOff = QStringLiteral(
    "update RDB$TRIGGERS set RDB$TRIGGER_INACTIVE = 1                   "
    "where rdb$trigger_source is not null and ((rdb$system_flag = 0) or (rdb$system_flag is null))"
    "                                         ");
inline const QString triggersOn = QStringLiteral(
    "update RDB$TRIGGERS set RDB$TRIGGER_INACTIVE = 0                   "
    "where rdb$trigger_source is not null and ((rdb$system_flag = 0) or (rdb$system_flag is null))"
    "                                         ");
inline const QString discovery = QStringLiteral(
    "Select rdb$relation_name As Tabela                                   "
    "From rdb$relation_fields                                   "
    "Where Upper(Trim(rdb$field_name)) = 'CODPROD'             "
    "Order By 1                                           ");
inline const QString commit = QStringLiteral("Commit");

} // namespace runtexts
