#pragma once
// The map of codes a run rewrites from. The database's SUBSTR can be dear (an external
// function of the engine's classic library costs microseconds a call), and a code repeats in
// every row that sells or stocks it: the map computes each distinct code's new code once, in
// the run's own transaction, and each row takes its code from there. A code is mapped by its
// bytes and its column's kind, so that the rewrite gives byte for byte what the rule gives row
// by row; a row whose code the map lacks is given the rule itself.
//
// The map is a temporary table of the engine, made in the commit that switches the triggers
// off and dropped with the run's last commit (the conversion's, or its undoing's); what a run
// cut short leaves is dropped when it is made good (repair.h).

#include "rewriteplan.h"
#include "statements.h"

#include <QList>
#include <QString>

class TSQLConnection;
class TSQLQuery;

class CodeMap final {
public:
    // The longest text column mapped: its codes fit the map's key in any character set (at
    // most four bytes a character).
    static constexpr int longestMapped = statements::mapKeyBytes / 4;

    // Whether the database holds a map (a run's, not yet dropped).
    static bool there(TSQLConnection &db);
    // Whether the map pays in this database: its SUBSTR is an external function (a call into a
    // library, microseconds each), not one of its own in PSQL, which costs less a row than
    // looking a code up.
    static bool pays(TSQLConnection &db);
    // Makes / drops it, in the open transaction.
    static void make(TSQLQuery &query);
    static void drop(TSQLQuery &query);

    // The kind of a column's codes in the map: 0 when its codes are not mapped (a type whose
    // text the map does not key, or codes too long for its key).
    int kindOf(const CodeColumn &column);
    // Whether any of these columns is mapped.
    bool mapsAny(const QList<CodeColumn> &columns);

    // The statement that adds a table's codes to the map, and the new code a rewrite then
    // gives a row (empty: the column is not mapped, the rule itself).
    QString fill(const QString &table, const CodeColumn &column, const QString &condition);
    QString code(const CodeColumn &column);

private:
    QList<QString> kinds_;
};
