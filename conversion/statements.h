#pragma once

#include <QString>

// The statements of a conversion run, exactly as they go to the database, blanks included.
namespace statements {

QString triggersOff();
QString triggersOn();
QString discovery();
QString rewrite(const QString &table);
QString commit();
// The metadata a run decides from (rewriteplan.h): the computed CODPROD columns and every
// view's columns, with what lies beneath them; the foreign keys whose master column is a CODPROD.
QString codeColumns();
QString codeReferences();

} // namespace statements
