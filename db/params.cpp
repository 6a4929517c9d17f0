#include "params.h"

#include <QRegularExpression>

QString TParams::keyOf(const QString &line)
{
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? line : line.left(eq);
}

QString TParams::valueOf(const QString &line)
{
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? QString() : line.mid(eq + 1);
}

int TParams::indexOfName(const QString &key) const
{
    for (int i = 0; i < lines_.size(); ++i)
        if (keyOf(lines_[i]).compare(key, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString TParams::value(const QString &key) const
{
    const int i = indexOfName(key);
    return i < 0 ? QString() : valueOf(lines_[i]);
}

void TParams::setValue(const QString &key, const QString &value)
{
    const int i = indexOfName(key);
    if (value.isEmpty()) {
        if (i >= 0)
            lines_.removeAt(i);
        return;
    }
    const QString line = key + u'=' + value;
    if (i >= 0)
        lines_[i] = line;
    else
        lines_.append(line);
}

QString trimControl(const QString &text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

bool isPlainIdentifier(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Z][A-Z0-9_$]*$"));
    return plain.match(name).hasMatch();
}
