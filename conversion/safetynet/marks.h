#pragma once
// What the tool writes into descriptions the database keeps (its own, and its triggers'), so
// that it travels with the file to whoever opens it, wherever it is. Each is one line of the
// tool's, after the user's text, carrying a check value of its content that a person would not
// type: only such lines are the tool's. Each is added and taken away exactly, with its line
// break, so that the user's text stays as it was, byte for byte (none stays none).
//   - Converted: when the codes were converted; committed with them.
//   - Reserved: a run has the database to itself through its server (a single-user shutdown);
//     a run cut short leaves it, and the next run or check gives the database back.
//   - Copying: a safety copy is being taken under the engine's backup lock, from which file to
//     which (partial) file; a run cut short leaves it, and the next run or check ends the lock
//     and removes the partial file.
//   - Copied: the safety copy was whole when the run went on (its file, and its size when this
//     computer could tell it): the way back puts back only a copy so recorded.
//   - CopyOf: in a safety copy, whose copy it is and when it was taken: a copy is not converted
//     by mistake, and the way back removes the line from the database it puts back.
//   - Restoring: the way back is putting a server's page copy in the database's place (which
//     database, which copy): the converted database kept aside carries it, so that a way back
//     cut short after the database was dropped is finished from the copy alone.
//   - TriggerOff: in a trigger's own description, that a run switched it off; a run cut short
//     leaves it, and the next run switches the trigger on again.
// Descriptions are bytes as the engine keeps them; the tool's lines are UTF-8.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace marks {

// A description: its bytes, or none.
using Description = std::optional<QByteArray>;

enum class Kind { Converted, Reserved, Copying, Copied, CopyOf, Restoring, TriggerOff };

// One of the tool's lines found in a description.
struct Line {
    Kind kind;
    QStringList details; // Converted, Reserved: the date; Copying: the database, the partial copy;
                         // Copied: the copy, its size in bytes ("?" when not known);
                         // Restoring: the database (the server's path), the copy
};

// The lines. context ties a line to where it stands (a trigger's name; empty for the database):
// a line copied elsewhere is not the tool's there.
QByteArray converted(const QDateTime &when);
QByteArray reserved(const QDateTime &when);
QByteArray copying(const QString &database, const QString &partialCopy);
QByteArray copied(const QString &copy, qint64 size);
QByteArray copyOf(const QString &database, const QDateTime &when);
QByteArray restoring(const QString &database, const QString &copy);
QByteArray triggerOff(const QString &trigger);

// The tool's lines in a description, whatever its line ends (LF, CR LF, CR) and the blanks
// around them.
QList<Line> find(const Description &description, const QString &context = {});
bool has(const Description &description, Kind kind, const QString &context = {});

// The description with line added after the user's text.
Description withLine(const Description &description, const QByteArray &line);
// The description without the tool's lines of kind: each taken with the line break before it
// (after it, for a first line); a description that was only the tool's lines is none again.
Description without(const Description &description, Kind kind, const QString &context = {});

// The description without one line of the tool's, exactly as it was added (its break with it).
Description withoutLine(const Description &description, const QByteArray &line);

// When the database was last converted ("10/12/2026 14:30:00"), by its conversion lines, those
// an earlier version wrote without a check value included; empty when it has none.
QString lastConversion(const Description &description);

// The most bytes a description may have: the engine keeps no more of what the tool writes.
constexpr qsizetype maxBytes = 65535;

} // namespace marks
