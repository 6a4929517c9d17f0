#pragma once
// The list of old and new codes (the "de-para") a shop needs the day after a conversion: to
// reprint labels and barcodes, update its catalogue and tell its accountant (the fiscal books
// record an item's change of code). One line per distinct old code stored anywhere in the
// database, read in the run's own transaction before it rewrites anything, so that it is
// exactly what the run does.

#include "rewriteplan.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

class TSQLConnection;

class CodeList final {
public:
    struct Entry {
        QString old;       // as stored, without a CHAR's filling
        QString rewritten; // as the database's SUBSTR makes it
        qint64 rows = 0;   // the rows that hold it, in every table
        QString description;
        bool shared = false; // another old code becomes the same new one
    };

    // Reads the list through db (its open transaction): the codes of every table the plan
    // changes, and the product's description where a table keyed by CODPROD alone has one
    // obvious text column (named DESCRICAO or NOME, or its only text column).
    static CodeList read(TSQLConnection &db, const RewritePlan &plan);
    // The list's statements go in groups of tables, each group one statement the engine takes
    // (it names at most 256 relations in one).
    static constexpr qsizetype tablesAStatement = 100;

    const QList<Entry> &entries() const { return entries_; }
    // Where the descriptions come from ("PRODUTOS.DESCRICAO"); empty when none does.
    const QString &describedBy() const { return describedBy_; }

    // The list as a spreadsheet of a Brazilian desktop opens it: UTF-8 with its mark, a header
    // line, fields separated by semicolons, ordered by the old code.
    QByteArray csv() const;
    // "<folder>/<name>.de-para-<yyyyMMdd-HHmmss>.csv" beside the database when its folder can be
    // written here, else in home (the database is a server's).
    static QString pathFor(const QString &database, const QString &home, const QDateTime &when);
    // Writes the list there, whole or not at all; throws Exception saying why.
    void write(const QString &path) const;

private:
    QList<Entry> entries_;
    QString describedBy_;
};
