#pragma once
// Which relations a run rewrites, and which of their rows, decided from the database's metadata
// before anything changes. The invariant: every stored code is rewritten exactly once, and
// nothing else is.
//   - A table's CODPROD is rewritten by the table's own statement, once, however many times the
//     discovery lists the table. Rows whose code is NULL, empty or only blanks are left alone.
//   - A view is never rewritten: it stores nothing, and what it shows as CODPROD may be another
//     column, or some rows only; the stored columns beneath it are rewritten on their own.
//   - A computed CODPROD stores nothing: skipped.
//   - An ON UPDATE CASCADE reference keeps a child's CODPROD in step with a CODPROD the run
//     converts: the engine converts the rows the reference holds, also along chains. A reference
//     does not hold a row where another column of its key is NULL: those rows, and only those,
//     are rewritten by the child's own statement. A child held whole (a key of CODPROD alone) is
//     skipped.
//   - A reference ON UPDATE SET NULL or SET DEFAULT to a converted CODPROD would wipe the
//     child's codes, and one with no update action makes the engine refuse: either stops the run
//     before anything changes (the latter when the child holds codes the rewrite changes).
//   - A name that SQL dialect 1 cannot write stops the run, for the relations it rewrites only.
// A skipped relation still shows its status line and advances the gauge.

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class TSQLConnection;

// A relation's column named CODPROD in any letter case, as the metadata describes it.
struct CodeColumn {
    QString relation; // as stored, with its pad blanks
    QString field;    // trimmed, as stored ("CODPROD", or a quoted "codprod")
    bool isView = false;
    bool computed = false;
    int length = 0; // characters, for text columns
};

// A foreign key whose master key holds a CODPROD.
struct CodeReference {
    QString name;
    QString child;            // as stored, with its pad blanks
    QString master;           // trimmed
    QString updateRule;       // "CASCADE", "SET NULL", "SET DEFAULT", "RESTRICT", "NO ACTION"
    QStringList childFields;  // in key order
    QStringList masterFields; // the same order
    // The child's column that follows the master's CODPROD; empty when there is none.
    QString childCodeField() const;
    // The child's other key columns.
    QStringList otherChildFields() const;
};

class RewritePlan {
public:
    struct Stop {
        QString table;  // the relation it is about, as stored (empty: none in particular)
        QString reason;
    };
    // What happens to one relation of the discovery.
    struct Step {
        bool rewrite = false;
        bool stored = false; // a table's CODPROD, written as such: it holds codes
        QString condition; // with rewrite: the rows the statement is restricted to (empty: all)
        QString skipped;   // without: why ("visão", "CODPROD calculado", "mantida pela chave X")
        int length = 0;    // the CODPROD column's length in characters (0: not text)
    };

    static RewritePlan decide(const QList<CodeColumn> &columns, const QList<CodeReference> &references);
    // Reads the metadata through its own queries on db.
    static RewritePlan read(TSQLConnection &db);

    // Every relation with a CODPROD column, trimmed, by name.
    const QStringList &relations() const { return relations_; }
    // A relation the plan does not know (listed after the plan was read) is rewritten whole.
    Step step(const QString &relation) const { return steps_.value(relation, Step{true, true, {}, {}, 0}); }
    // What stops a run before anything changes, decided from the metadata alone.
    const std::optional<Stop> &stop() const { return stop_; }
    // References with no update action to a converted CODPROD: they stop a run when the child
    // holds codes the rewrite changes (a question for the data).
    const QList<CodeReference> &refusingReferences() const { return refusing_; }

private:
    QStringList relations_;
    QHash<QString, Step> steps_;
    std::optional<Stop> stop_;
    QList<CodeReference> refusing_;
};
