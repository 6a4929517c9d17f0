#pragma once
// Which relations a run rewrites, decided from the database's metadata before the first
// rewrite. The invariant: a run rewrites each stored column at most once, and only stored
// columns.
//   - A table's CODPROD is rewritten by its own statement, unless it is computed (it stores
//     nothing) or an ON UPDATE CASCADE reference keeps it in step with a CODPROD the run
//     converts: the engine converts it through the reference, also along chains.
//   - A view stores nothing; its statement would rewrite the column beneath it. It is skipped
//     when that column is an expression (read-only) or is converted anyway (a table's
//     CODPROD, or a column a cascade keeps in step); otherwise the first view to reach the
//     column rewrites it, and only that one.
//   - A reference ON UPDATE SET NULL or SET DEFAULT to a CODPROD the run converts would wipe
//     the child's codes: the run stops before its first rewrite.
// A skipped relation still shows its status line and advances the gauge.

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class TSQLConnection;

// A computed CODPROD, or any column of a view, as the metadata describes it (the tables'
// stored CODPROD columns need no description: they are every other one the discovery lists).
struct RelationField {
    QString relation;
    QString field;
    bool isView = false;
    bool computed = false;
    QString baseRelation; // a view's column: the relation and column beneath it; empty for
    QString baseField;    // an expression
    bool baseIsProcedure = false;
};

// A foreign key whose master column is a CODPROD.
struct CodeReference {
    QString name;
    QString child;      // as stored, with its pad blanks
    QString childField;
    QString master;
    QString updateRule; // "CASCADE", "SET NULL", "SET DEFAULT", "RESTRICT", "NO ACTION"
};

class RewritePlan {
public:
    struct Stop {
        QString table;  // the child, as stored
        QString reason;
    };

    static RewritePlan decide(const QList<RelationField> &fields, const QList<CodeReference> &references);
    // Reads the metadata through its own queries on db.
    static RewritePlan read(TSQLConnection &db);

    // A relation the plan knows nothing of is rewritten: the engine has the last word.
    bool rewrites(const QString &relation) const { return !skipped_.contains(relation); }
    const std::optional<Stop> &stop() const { return stop_; }

private:
    QSet<QString> skipped_;
    std::optional<Stop> stop_;
};
