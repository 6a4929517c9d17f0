#include "sqlstrings.h"

#include <QRegularExpression>

void TSQLStrings::Clear()
{
    lines_.clear();
    changed_();
}

void TSQLStrings::setText(const QString &text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    const bool oneLine = !text.contains(u'\n') && !text.contains(u'\r');
    lines_ = oneLine ? QStringList{text} : text.split(breaks);
    if (!lines_.isEmpty() && lines_.last().isEmpty())
        lines_.removeLast();
    changed_();
}

QString TSQLStrings::Text() const
{
    QString text;
    for (const QString &line : lines_)
        text += line + QStringLiteral("\r\n");
    return text;
}
