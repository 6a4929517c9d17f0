#pragma once
// How the run puts its statements through the query objects.

#include <QList>
#include <QString>
#include <QStringList>

class TSQLConnection;
class TSQLQuery;

namespace queries {

// Runs one statement that returns no rows as the run runs each of its own, on query: close it,
// clear its text, set the statement, execute it.
void execute(TSQLQuery &query, const QString &sql);
// Every row of a statement that returns rows, on a query of its own: each column's text as the
// database gives it, a null text for NULL.
QList<QStringList> readAll(TSQLConnection &db, const QString &sql);
// Whether a statement returns a row at all.
bool any(TSQLConnection &db, const QString &sql);

} // namespace queries
