#pragma once

#include <QList>
#include <QStringList>

class TSQLConnection;

// Every row of a query, each column's text, through a connection of its own, so that only
// committed data shows; NULL reads as "<null>". dialect: the statement's SQL dialect (0: the
// database's), for names only dialect 3 can write.
QList<QStringList> readRows(const QString &database, const QString &sql, int dialect = 0);
// The first column of every row.
QStringList readColumn(const QString &database, const QString &sql);
// The first column of the first row through a connection already made (empty: no row).
QString readValue(TSQLConnection &db, const QString &sql);
