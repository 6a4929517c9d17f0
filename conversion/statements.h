#pragma once

#include <QString>
#include <QStringList>

// The statements of a conversion run, exactly as they go to the database, blanks included.
namespace statements {

// Every relation with a CODPROD column, one row each (a relation with two such columns, say
// CODPROD and a quoted "codprod", twice), by name.
QString discovery();
// The rewrite of one table's codes. Rows whose code is NULL, empty or only blanks are left as
// they are; condition, when given, restricts the rewrite further.
QString rewrite(const QString &table, const QString &condition = {});
// What the rewrite makes of a code: the database's own SUBSTR decides.
QString converted(const QString &column);
QString commit();

// The metadata a run decides from (rewriteplan.h): each CODPROD column with its relation's kind;
// each column of every foreign key whose master key holds a CODPROD, in key order.
QString codeColumns();
QString codeReferences();

// The user triggers, with their state.
QString userTriggers();
QString alterTrigger(const QString &name, bool active);
// The database's description, and a new one for it (a null text: none), written as the bytes of
// its UTF-8 text.
QString databaseDescription();
QString describeDatabase(const QString &description);

// The database's other attachments, the engine's own excepted.
QString otherAttachments();
// The state of the engine's backup lock: 0 when it is not held.
QString backupState();
// The engine's backup lock: while it holds, the database file does not change.
QString beginBackup();
QString endBackup();

// One row when table holds a code of 8 characters / a code in the rewritten shape (6 characters,
// "0" second).
QString anyCodeOf8(const QString &table);
QString anyRewrittenCode(const QString &table);
// One row when a row of child references a code that a rewrite changes (columns: the child's
// columns of the reference, the first the one that holds the code).
QString anyChangingReference(const QString &child, const QStringList &columns);
// What a rewrite of table would meet, in one pass: the rows it rewrites, their codes not 8
// characters long, in the rewritten shape, of 8 characters, and their results longer than
// length (0: not checked).
QString codeStatistics(const QString &table, const QString &condition, int length);
// The unique keys that hold a CODPROD: table, key name, column, in key order; of one table, or
// of all when none is named.
QString uniqueKeys(const QString &table = {});
// The groups of rows whose codes become one under a unique key (key: its columns, CODPROD among
// them): the shared result, the other columns' values, the source codes.
QString collisions(const QString &table, const QStringList &key);

} // namespace statements
