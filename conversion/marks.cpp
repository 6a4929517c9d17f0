#include "marks.h"

#include <QRegularExpression>

namespace marks {

namespace {

const QString triggersPrefix =
    QStringLiteral("Conversor de dados: gatilhos desativados durante uma conversão (a próxima conversão os reativa): ");
const QString convertedPrefix = QStringLiteral("Conversor de dados: códigos de produto convertidos em ");

// The lines of a description (a null one has none).
QStringList linesOf(const QString &description)
{
    return description.isNull() ? QStringList() : description.split(u'\n');
}

} // namespace

QString triggersLine(const QStringList &names)
{
    return triggersPrefix + names.join(QStringLiteral(", "));
}

QStringList recordedTriggers(const QString &description)
{
    QStringList names;
    for (const QString &line : linesOf(description))
        if (line.startsWith(triggersPrefix))
            for (const QString &name : line.mid(triggersPrefix.size()).split(QStringLiteral(", "), Qt::SkipEmptyParts))
                if (!names.contains(name))
                    names << name;
    return names;
}

QString withoutTriggers(const QString &description)
{
    // Undoes withLine() for each record line: "text\nline" gives "text", "line" alone gives null.
    QStringList lines = linesOf(description);
    bool removed = false;
    for (qsizetype i = lines.size() - 1; i >= 0; --i)
        if (lines[i].startsWith(triggersPrefix)) {
            lines.removeAt(i);
            removed = true;
        }
    if (!removed)
        return description;
    return lines.isEmpty() ? QString() : lines.join(u'\n');
}

QString convertedLine(const QDateTime &when)
{
    return convertedPrefix + when.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) + u'.';
}

QString lastConversion(const QString &description)
{
    static const QRegularExpression date(QStringLiteral("^(\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d)\\.$"));
    QString when;
    for (const QString &line : linesOf(description))
        if (line.startsWith(convertedPrefix))
            if (const QRegularExpressionMatch m = date.match(line.mid(convertedPrefix.size())); m.hasMatch())
                when = m.captured(1);
    return when;
}

QString withLine(const QString &description, const QString &line)
{
    return description.isNull() ? line : description + u'\n' + line;
}

} // namespace marks
