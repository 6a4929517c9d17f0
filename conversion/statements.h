#pragma once

#include <QString>

// The statements of a conversion run, exactly as they go to the database, blanks included.
namespace statements {

QString triggersOff();
QString triggersOn();
QString discovery();
QString rewrite(const QString &table);
QString commit();
// Lists the views whose CODPROD is the unchanged CODPROD column of a relation the run rewrites.
QString passThroughViews();

} // namespace statements
