#pragma once
// Which relations a run rewrites, and which of their rows, decided from the database's metadata
// before anything changes. The invariant: every stored code is rewritten exactly once, ends as
// the rule makes it from its own old value, and nothing else changes.
// Words: a relation is anything the discovery lists (a table or a view, as the engine's metadata
// has them); a table is a relation that stores rows. The window's status line says "tabela" for
// every relation, as users call them.
//   - A table's CODPROD is rewritten by the table's own statement, once, however many times the
//     discovery lists the table. Rows whose code is NULL, empty or only blanks are left alone.
//   - A view is never rewritten: it stores nothing, and what it shows as CODPROD may be another
//     column, or some rows only; the stored columns beneath it are rewritten on their own.
//   - A computed CODPROD stores nothing: skipped.
//   - An ON UPDATE CASCADE reference keeps a child's CODPROD in step with a CODPROD the run
//     converts: the engine converts the rows the reference holds, also along chains. A reference
//     does not hold a row where another column of its key is NULL: those rows, and only those,
//     are rewritten by the child's own statement. A child held whole (a key of CODPROD alone) is
//     skipped. A CHAR master's cascade fills a variable-length child's codes with blanks up to
//     its length: the run cuts them after its rewrites.
//   - What the engine would refuse, or what would damage codes, stops the run before anything
//     changes: a reference ON UPDATE SET NULL or SET DEFAULT (it would wipe codes), a ring of
//     cascades (the engine refuses it). Some refuse only when rows have codes the rewrite
//     changes, a question for the data (survey.h): a reference with no update action, a child's
//     CODPROD kept in step with a column that is no CODPROD or with two masters.
//   - A name that SQL dialect 1 cannot write is written through a statement of dialect 3; a
//     trigger with such a name cannot be switched (the engine alters metadata only in the
//     database's dialect): one on a table the run changes stops it.
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
    int length = 0;      // characters, for text columns
    bool fixed = false;  // CHAR: the engine fills a value up to the length with blanks
    QString charset;     // its character set and collation (empty: none named)
    QString collation;
    QString domainCheck; // its domain's CHECK, as the database keeps it (empty: none)
    int type = 0;        // the engine's type code: 7 SMALLINT, 8 INTEGER, 16 BIGINT, 14 CHAR, 37 VARCHAR...
    int scale = 0;       // of a number: its decimal places, negative
};

// A foreign key in which either key holds a CODPROD.
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
    // The master's column that the child's CODPROD follows; empty when the child's key has none.
    QString masterFieldOfChildCode() const;
};

// A check a rewritten code must pass: a check constraint of a table, or its code column's domain.
struct CodeCheck {
    QString table;   // trimmed
    QString name;    // the constraint's, or the domain's check ("domínio de CODPROD")
    QString source;  // as the database keeps it ("CHECK (...)")
    bool ofDomain = false; // the code column's domain's: it names the code VALUE
};

// A unique key of a table, by its columns or by an expression.
struct UniqueKey {
    QString table; // trimmed
    QString name;  // the constraint's, or the index's
    QStringList columns;
    QString expression; // an expression index's, as the database keeps it
};

class RewritePlan {
public:
    struct Stop {
        QString relation; // the one it is about, as stored (empty: none in particular)
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
    // A question for the data: the run stops when table has a row where sql finds one.
    struct Question {
        QString table; // trimmed
        QString sql;
        QString reason; // what the run's box says then
    };

    static RewritePlan decide(const QList<CodeColumn> &columns, const QList<CodeReference> &references,
                              const QList<CodeCheck> &checks = {}, const QList<UniqueKey> &keys = {});
    // Reads the metadata through its own queries on db.
    static RewritePlan read(TSQLConnection &db);

    // Every relation with a CODPROD column, trimmed, by name.
    const QStringList &relations() const { return relations_; }
    // A relation the plan does not know (listed after the plan was read) is rewritten whole.
    Step step(const QString &relation) const { return steps_.value(relation, Step{true, true, {}, {}, 0}); }
    // The tables whose codes the run changes, by its own statements or through cascades.
    QStringList storedTables() const;
    // What stops a run before anything changes, decided from the metadata alone.
    const std::optional<Stop> &stop() const { return stop_; }
    // What stops a run when the data answers yes: references the engine would refuse, checks
    // the rewritten codes would break, codes that would end in a blank under a CHAR cascade.
    const QList<Question> &questions() const { return questions_; }
    // The variable-length children whose cascaded codes a CHAR master fills up: cut after the
    // rewrites.
    const QStringList &cutAfterCascades() const { return cut_; }
    // The unique keys holding the code of a table, as key terms: as they are, and with the code
    // rewritten (the column's collation kept).
    struct KeyTerms {
        QString name;
        QStringList old;
        QStringList rewritten;
    };
    QList<KeyTerms> uniqueKeysOf(const QString &table) const { return keys_.value(table); }
    // Whether a unique key of table is its code alone: the table holds each code once.
    bool keyedByCodeAlone(const QString &table) const;
    // The code column's character set and collation, for a rewritten code as the column will
    // compare it.
    QString rewrittenCode(const QString &table) const;
    // The table's CODPROD column (empty for a table the plan does not know).
    CodeColumn codeColumn(const QString &table) const { return codeColumn_.value(table); }

private:
    // decide(), one rule a step (rewriteplan.cpp).
    class Decision;

    QStringList relations_;
    QHash<QString, Step> steps_;
    QHash<QString, CodeColumn> codeColumn_;
    std::optional<Stop> stop_;
    QList<Question> questions_;
    QStringList cut_;
    QHash<QString, QList<KeyTerms>> keys_;
};
