#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The statements of a conversion run and of its looks, exactly as they go to the database,
// blanks included. A name that SQL dialect 1 cannot write stands between double quotes, which
// only dialect 3 reads as names: such a statement is sent in dialect 3 (dialectOf), and no
// statement here has double quotes for anything else.
namespace statements {

// An identifier as a statement writes it: as it is when dialect 1 can, else quoted.
QString name(const QString &identifier);
// The dialect a statement is to be sent in: 3 when it quotes a name, 0 (the connection's)
// otherwise. The database's own conditions come into statements with their strings in single
// quotes (sqltext::singleQuoted), which read alike in both.
int dialectOf(const QString &sql);

// Every relation with a CODPROD column, one row each (a relation with two such columns, say
// CODPROD and a quoted "codprod", twice), by name.
QString discovery();
// The rewrite of one table's codes. Rows whose code is NULL, empty or only blanks are left as
// they are; condition, when given, restricts the rewrite further.
// code, when given, is the new code's expression in place of the rule (mappedCode).
QString rewrite(const QString &table, const QString &condition = {}, const QString &code = {});
// What the rewrite makes of a code: the database's own SUBSTR decides.
QString converted(const QString &column);
// The same, as a value of the code column's character set and collation, so that comparisons
// and unique keys see it as they will see the stored code (charset and collation may be
// empty: none).
QString convertedAs(const QString &column, const QString &charset, const QString &collation);
// Any expression of a new code made such a value.
QString typedAs(const QString &code, const QString &charset, const QString &collation);
QString commit();

// The metadata a run decides from (rewriteplan.h): each CODPROD column with its relation's kind
// and its type; each column of every foreign key where either key holds a CODPROD, in key order;
// the check constraints and unique keys of relations that hold a CODPROD.
QString codeColumns();
QString codeReferences();
QString checkConstraints();
QString uniqueKeys();

// The user triggers: name, state, relation (none for the database's own), description.
QString userTriggers();
QString alterTrigger(const QString &name, bool active);
QString describeTrigger(const QString &name, const std::optional<QByteArray> &description);
// One row when a trigger of that name is there.
QString triggerNamed(const QString &name);
// A trigger of the database's own, on connect, that raises exception; an exception with its
// text; each dropped.
QString refuseOnConnect(const QString &trigger, const QString &exception);
QString createException(const QString &name, const QString &text);
QString alterException(const QString &name, const QString &text);
QString dropTrigger(const QString &name);
QString dropException(const QString &name);
// The database's description, and a new one for it (none: NULL), written as its bytes.
QString databaseDescription();
QString describeDatabase(const std::optional<QByteArray> &description);

// The database's other attachments, the engine's own excepted.
QString otherAttachments();
// The number of the open transaction: the engine numbers every transaction as it starts.
QString currentTransaction();
// The database's state: read-only (1), its shutdown mode (0: online), its backup lock (0: none),
// the file as the engine opened it.
QString databaseState();
// The engine's backup lock: while it holds, the database file does not change.
QString beginBackup();
QString endBackup();

// One row when table holds a code at all (not NULL, empty or blanks).
QString anyCode(const QString &table);
// One row when a row of child has a code the rewrite changes (columns: the child's columns of a
// reference, the first the one that holds the code; the others must all be there).
QString anyChangingReference(const QString &child, const QStringList &columns);
// One row when a rewritten code of table breaks the rule check (a boolean expression in which
// the code column stands already rewritten), among the rows condition keeps (empty: all).
QString anyBreaking(const QString &table, const QString &check, const QString &condition);
// One row when a rewritten code of table would end in a blank: a key from a CHAR column would
// fill it up to its length, and the blank could not be told from the filling.
QString anyEndingInBlank(const QString &table, const QString &condition);
// Cuts what a CHAR master's cascade filled in: the codes of a variable-length child, cut to
// the rule's result, among the rows condition keeps (empty: all).
QString trimCascaded(const QString &table, const QString &condition);
// What a rewrite of table would meet, in one pass over its codes: rows of whether the table's
// own rewrite changes them (R, 1 where condition keeps them; empty: all), how many rows (N),
// whether their code is of 8 characters (DE_8) or in the rewritten shape, 6 characters with "0"
// second (REESCRITO), and whether its rewritten code fails noRoom (a test of the rewritten code,
// %1; empty: none does). codeType, when given, is the text type the codes are read as
// (codeText), told apart by their bytes: then each distinct code has a row, its code (C) and
// rewritten code (NOVO) following.
QString codeGroups(const QString &table, const QString &condition, const QString &noRoom, const QString &codeType = {});
// The text type a column's codes are read as, whatever their column: its own length and
// character set (length 0, a number's: 255 characters of the database's).
QString codeText(int length, const QString &charset, const QString &databaseCharset);
// One row when some rows' keys become one once the codes are rewritten (newTerms: the key's
// terms with the code rewritten): their codes are listed only then, since listing costs the
// engine a text for every key.
QString anyCollision(const QString &table, const QStringList &newTerms);
// The groups of rows whose keys become one once the codes are rewritten (oldTerms: the key's
// terms as they are; newTerms: the same with the code rewritten): the shared key, the source
// codes.
QString collisions(const QString &table, const QStringList &newTerms);
// The rows of table another row's rewritten code takes the key of: they must be rewritten first.
QString takenKeys(const QString &table, const QStringList &oldTerms, const QStringList &newTerms);
// The rewrite of the rows whose database keys are given / of the others.
QString rewriteKeys(const QString &table, const QList<QByteArray> &keys, const QString &code = {});
QString rewriteAllBut(const QString &table, const QList<QByteArray> &keys, const QString &condition, const QString &code = {});

// The list of old and new codes: each distinct code of the tables, as text of the database's
// character set, its rewritten code, and the rows that hold it (tables: at most a few hundred
// in one statement). Each table's codes are told apart as text of their column's length and
// character set (length 0: not text), a short sort where a long one costs a run dearly.
struct ListedTable {
    QString table;
    int length = 0;
    QString charset;
};
QString codeList(const QList<ListedTable> &tables, const QString &charset);
// The rule once, on a code of 8 characters: fails where the database has no SUBSTR.
QString ruleOnce();
// The database's own character set.
QString defaultCharset();
// The tables whose primary key is CODPROD alone; a table's text columns, in order; a table's
// codes and the text of one column.
QString keyedByCode();
QString textColumns(const QString &table);
QString descriptions(const QString &table, const QString &column);

// The map of codes a run rewrites from (codemap.h): a temporary table of the engine, each
// distinct code of a kind of column (kind: a number the run gives it) by its bytes, with its new
// code as bytes of the column's own type. Codes longer than mapKeyBytes bytes are not mapped.
constexpr int mapKeyBytes = 251;
QString createCodeMap();
QString indexCodeMap();
QString dropCodeMap();
QString codeMapNamed();
// One row when the database's SUBSTR is an external function (a library's entry point).
QString externalRule();
// Adds the codes of table's rows (those condition keeps) that the map lacks; type: the column's
// text type as CAST writes it (empty: a number, whose new code the assignment converts).
QString fillCodeMap(const QString &table, int kind, const QString &type, const QString &condition);
// The new code of the current row's CODPROD, from the map.
QString mappedCode(int kind);

} // namespace statements
