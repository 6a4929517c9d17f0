#pragma once
// Reading the SQL the database keeps for its rules (check constraints, domain checks, unique
// index expressions), so that a run can ask how a rule sees a rewritten code: the rule's text
// with the code column put in its rewritten form.

#include <QString>
#include <QStringList>

namespace sqltext {

// text with every name (any letter case, unquoted, perhaps qualified as "TABLE.NAME") replaced
// by replacement, in parentheses; string literals, quoted names and comments are left alone.
QString replaceName(const QString &text, const QString &name, const QString &replacement);
// Whether text names name outside literals and comments.
bool mentions(const QString &text, const QString &name);
// The tables a text's subqueries read (the names after FROM and JOIN, and after the commas of
// a FROM list), upper-cased; none when the text has no subquery.
QStringList tablesRead(const QString &text);
// The condition of a check as the database keeps it ("CHECK (...)", "check(...)").
QString condition(const QString &source);
// A dialect 1 text with its double-quoted strings ("XXXXXXXX") written as single-quoted ones,
// so that it keeps its meaning in a statement of either dialect. One next to a dot stays: a
// qualified name ("produtos".CODPROD), which only a text written in dialect 3 (a database born
// there) has.
QString singleQuoted(const QString &text);
// Whether sql names something in double quotes (outside its literals and comments): only
// dialect 3 reads it so.
bool quotesAName(const QString &sql);

} // namespace sqltext
