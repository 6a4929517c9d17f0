#pragma once
// What the tool writes into the database's own description, so that it travels with the file to
// whoever opens it, wherever it is: lines of the tool's after the user's text, each added and
// taken away exactly, so that the user's text stays as it was (none stays none).
//   - While a run has triggers switched off: which ones. A run cut short leaves the line, and
//     the next run switches those triggers on again.
//   - After each conversion: when it was done. It is committed with the rewritten codes.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace marks {

QString triggersLine(const QStringList &names);
// The triggers the description records as switched off by a run (empty: none).
QStringList recordedTriggers(const QString &description);
// The description without the record of switched-off triggers.
QString withoutTriggers(const QString &description);

QString convertedLine(const QDateTime &when);
// When the database was last converted, as its last conversion line says ("10/12/2026 14:30:00");
// empty when it has none.
QString lastConversion(const QString &description);

// description with line added at its end (a null description becomes the line alone).
QString withLine(const QString &description, const QString &line);

} // namespace marks
