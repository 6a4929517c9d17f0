#pragma once
// The statements a conversion run sends, as literal text with their runs of blanks: what the
// connection and the layer must take exactly as given.

#include <QString>

namespace runtexts {

inline const QString discovery = QStringLiteral(
    "Select rdb$relation_name As Tabela                                   "
    "From rdb$relation_fields                                   "
    "Where Upper(Trim(rdb$field_name)) = 'CODPROD'             "
    "Order By 1                                           ");
inline const QString commit = QStringLiteral("Commit");

} // namespace runtexts
