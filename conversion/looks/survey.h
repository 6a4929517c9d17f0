#pragma once
// What a run would meet in a database, read without changing anything: the run looks before it
// changes anything, and the read-only check (conversor --check) looks further, with the same
// words.

#include "marks.h"
#include "rewriteplan.h"
#include "triggerswitch.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class TSQLConnection;

struct OtherAttachment {
    QString user;
    QString host;    // empty: on this computer, without a network
    QString program; // empty: not known
};

// Where a database stands before anything is written: who else is in it, and the state the
// engine has it in. Read once, by the run and the check alike; refusals() is the one list of
// what stops a run there, a text each, in the order the run meets them.
struct Standing {
    marks::Description description;
    QList<OtherAttachment> others;
    bool readOnly = false;
    bool shutDown = false; // a shutdown (its server's)
    int backupState = 0;   // the engine's backup lock (0: none)
    QString serverFile;    // the file as the engine opened it

    // description: the database's, read already.
    static Standing read(TSQLConnection &db, const marks::Description &description);
    // path: the database as the user named it. A shutdown or a backup lock a run of this program
    // left is no refusal: it is made good.
    QStringList refusals(const QString &path) const;
};

// Codes that become one under a unique key.
struct Collision {
    QString table;
    QString key;
    QString result;        // the shared result
    QStringList others;    // the other terms of the key, their values
    QStringList codes;     // the source codes
};

class Survey final {
public:
    // The database's other attachments, the engine's own excepted: looked at before anything is
    // written, and what stops a run first.
    static QList<OtherAttachment> others(TSQLConnection &db);
    static QString othersText(const QList<OtherAttachment> &others);

    // Told of each table before its codes are read (the longest of the looks): how many were
    // read, of how many.
    using Looking = std::function<void(int done, int total, const QString &table)>;
    // Everything a run looks at before it rewrites: the plan, what would refuse (the metadata,
    // then the data's answers), whether what the run writes fits the descriptions, and whether
    // the database looks converted already, each table's codes read once. description: the
    // database's, as the user has it; added: the bytes the run adds to it at most. keepCodes:
    // each table's distinct codes and their rewritten codes kept as well, for the list of old
    // and new codes.
    static Survey read(TSQLConnection &db, const marks::Description &description, qsizetype added,
                       const TriggerSwitch &triggers, bool keepCodes = false, const Looking &looking = {});
    // The most a run adds to the description of the database at path: a copy's record, the
    // conversion's mark, and the reservation's when there is none yet.
    static qsizetype addedBytes(const QString &path, const marks::Description &description);

    const RewritePlan &plan() const { return plan_; }
    // What stops a run, with nothing changed: the box's text (table empty) or the table it
    // names and why. The first of them is what a run says.
    const QList<RewritePlan::Stop> &stops() const { return stops_; }
    // Why the database looks converted already ("convertido em ...", or its codes' shape);
    // empty when nothing suggests it.
    const QString &convertedBecause() const { return convertedBecause_; }
    // Whether the database's rule answers (its SUBSTR is there): the looks that ask it are taken.
    bool ruleAnswers() const { return rule_; }
    // What the survey counted of a table's codes (a table with stored codes; zeros otherwise).
    struct CodeCounts {
        qint64 rows = 0;      // rows its own rewrite changes
        qint64 notEight = 0;  // codes not 8 characters long
        qint64 rewritten = 0; // codes in the rewritten shape
        qint64 eight = 0;     // codes of 8 characters
        qint64 noRoom = 0;    // rewritten codes the column cannot hold
    };
    CodeCounts codesOf(const QString &table) const;
    // A table's distinct codes, when the survey kept them (keptCodes()): each as text of
    // statements::codeText's type for its column, by its bytes, in codesCharset(); its rewritten
    // code's bytes (none when the rule gives none); the rows that hold it.
    struct CodeGroup {
        QByteArray old;
        std::optional<QByteArray> rewritten;
        qint64 rows = 0;
    };
    bool keptCodes() const { return keptCodes_; }
    QList<CodeGroup> codeGroupsOf(const QString &table) const { return groups_.value(table); }
    // The character set of the text a table's codes were read as; the database's own.
    QString codesCharset(const QString &table) const;
    const QString &databaseCharset() const { return databaseCharset_; }

    // The codes that collide under a table's unique keys once rewritten, at most limit groups
    // (0: all), and how many groups there are in all.
    static QList<Collision> collisions(TSQLConnection &db, const RewritePlan &plan, const QString &table, int limit,
                                       int *total = nullptr);
    // "71234567 e 81234567 → 203456 (PRODUTOS, chave PK_PRODUTOS)", with at most codes of the
    // source codes named ("1, 2, 3 e mais 97 → ...").
    static QString collisionText(const Collision &c, int codes = 0);
    // After the engine refused a rewrite on a unique key: the codes that would become one, for
    // the first of tables (the one rewritten, the one the engine names) that has them, as a
    // line to add to the failure ("\\rCódigos que ficariam iguais: ..."); empty when none is
    // found or the looking fails.
    static QString collisionHint(TSQLConnection &db, const RewritePlan &plan, const QStringList &tables,
                                 const QString &database);
    // The rows of table whose key another row's rewritten code would take while they still hold
    // it: they are rewritten first (their database keys).
    // code, when given, is the new code's expression in place of the rule (a map's).
    static QList<QByteArray> takenKeys(TSQLConnection &db, const RewritePlan &plan, const QString &table,
                                       const QString &code = {});
    // Rows a table's rewrite takes first, at most: each goes into the statements by its key. More
    // stop the run, in these words.
    static constexpr qsizetype mostTakenFirst = 2000;
    static QString tooManyTakenText(qsizetype taken);

    static QString confirmText(const QString &because);
    // What stops a run in the database's state, in the words of the check and the run alike: a
    // database in read-only mode, shut down by someone else, under someone else's backup lock.
    // path: the database as the user named it.
    static QString readOnlyText();
    static QString shutDownText(const QString &path);
    static QString backupLockText(const QString &path);
    // Why codes in the rewritten shape, and none of 8 characters, look converted.
    static QString shapeReason();

private:
    RewritePlan plan_;
    QList<RewritePlan::Stop> stops_;
    QString convertedBecause_;
    bool rule_ = false;
    QHash<QString, CodeCounts> counts_;
    bool keptCodes_ = false;
    QString databaseCharset_;
    QHash<QString, QList<CodeGroup>> groups_;
};
