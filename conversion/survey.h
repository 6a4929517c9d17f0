#pragma once
// What a run would meet in a database, read without changing anything: the run looks before it
// changes anything, and the read-only check (conversor --check) looks further, with the same
// words.

#include "rewriteplan.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

class TSQLConnection;

struct OtherAttachment {
    QString user;
    QString host;    // empty: on this computer, without a network
    QString program; // empty: not known
};

// Codes that become one under a unique key.
struct Collision {
    QString table;
    QString key;
    QString result;        // the shared result
    QStringList others;    // the other columns of the key, their values
    QStringList codes;     // the source codes
};

class Survey final {
public:
    // Everything a run looks at before it changes anything: the plan, the other connections,
    // the references that would refuse, and whether the database looks converted already
    // (description: the database's, as the user has it).
    static Survey read(TSQLConnection &db, const QString &description);

    const RewritePlan &plan() const { return plan_; }
    const QList<OtherAttachment> &others() const { return others_; }
    // What stops a run, with nothing changed: the box's text (table empty) or the table it
    // names and why. The first of them is what a run says.
    const QList<RewritePlan::Stop> &stops() const { return stops_; }
    // Why the database looks converted already ("convertido em ...", or its codes' shape);
    // empty when nothing suggests it.
    const QString &convertedBecause() const { return convertedBecause_; }
    // The relations whose CODPROD is stored (tables that are not computed), by name.
    QStringList storedTables() const;

    // The unique keys holding a CODPROD, by table: each key's name and columns in key order; of
    // one table, or of all when none is named.
    using UniqueKeys = QMap<QString, QList<QPair<QString, QStringList>>>;
    static UniqueKeys uniqueKeys(TSQLConnection &db, const QString &table = {});
    // The codes that collide under a table's unique keys, at most limit groups (0: all), and
    // how many groups there are in all.
    static QList<Collision> collisions(TSQLConnection &db, const QString &table,
                                       const QList<QPair<QString, QStringList>> &keys, int limit, int *total = nullptr);
    // "71234567 e 81234567 → 203456 (PRODUTOS, chave PK_PRODUTOS)".
    static QString collisionText(const Collision &c);
    // After the engine refused a rewrite on a unique key: the codes that would become one, for
    // the first of tables (the one rewritten, the one the engine names) that has them, as a
    // line to add to the failure ("\rCódigos que ficariam iguais: ..."); empty when none is
    // found or the looking fails.
    static QString collisionHint(TSQLConnection &db, const QStringList &tables);
    static QString othersText(const QList<OtherAttachment> &others);
    static QString confirmText(const QString &because);
    // Why codes in the rewritten shape, and none of 8 characters, look converted.
    static QString shapeReason();

private:
    RewritePlan plan_;
    QList<OtherAttachment> others_;
    QList<RewritePlan::Stop> stops_;
    QString convertedBecause_;
};
