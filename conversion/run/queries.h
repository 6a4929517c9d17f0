#pragma once
// How the run puts its statements through the query objects.

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class TSQLConnection;
class TSQLQuery;

namespace queries {

// Runs one statement that returns no rows as the run runs each of its own, on query: close it,
// clear its text, set the statement, execute it. Returns the rows it changed.
std::int64_t execute(TSQLQuery &query, const QString &sql);
// Every row of a statement that returns rows, on a query of its own: each column's text as the
// database gives it, a null text for NULL.
QList<QStringList> readAll(TSQLConnection &db, const QString &sql);
// The same as bytes, as the engine keeps them (descriptions, codes in the column's character
// set); none for NULL.
QList<QList<std::optional<QByteArray>>> readBytes(TSQLConnection &db, const QString &sql);
// Whether a statement returns a row at all.
bool any(TSQLConnection &db, const QString &sql);

} // namespace queries
