#include "sqltext.h"

namespace sqltext {

namespace {

bool startsName(QChar c)
{
    return c.isLetter() || c == u'_';
}

bool inName(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// Walks text, calling onName(begin, end) for each unquoted name outside literals and comments.
template <class F> void forEachName(const QString &text, F &&onName)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = text[i];
        if (c == u'\'' || c == u'"') { // a literal, or a quoted name: to its closing quote ('' and "" inside)
            ++i;
            while (i < n) {
                if (text[i] == c) {
                    if (i + 1 < n && text[i + 1] == c) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
        } else if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
            while (i < n && text[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
            const qsizetype end = text.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (startsName(c)) {
            const qsizetype begin = i;
            while (i < n && inName(text[i]))
                ++i;
            onName(begin, i);
        } else {
            ++i;
        }
    }
}

} // namespace

QString replaceName(const QString &text, const QString &name, const QString &replacement)
{
    QString out;
    qsizetype copied = 0;
    forEachName(text, [&](qsizetype begin, qsizetype end) {
        if (QStringView(text).mid(begin, end - begin).compare(name, Qt::CaseInsensitive) != 0)
            return;
        // A qualifier ("PRODUTOS.CODPROD") goes with the name.
        qsizetype from = begin;
        if (from > 0 && text[from - 1] == u'.') {
            qsizetype q = from - 1;
            while (q > 0 && inName(text[q - 1]))
                --q;
            if (q < from - 1 && startsName(text[q]))
                from = q;
        }
        if (from < copied)
            return;
        out += QStringView(text).mid(copied, from - copied);
        out += u'(' + replacement + u')';
        copied = end;
    });
    out += QStringView(text).mid(copied);
    return out;
}

bool mentions(const QString &text, const QString &name)
{
    bool found = false;
    forEachName(text, [&](qsizetype begin, qsizetype end) {
        found = found || QStringView(text).mid(begin, end - begin).compare(name, Qt::CaseInsensitive) == 0;
    });
    return found;
}

QString condition(const QString &source)
{
    QString trimmed = source.trimmed();
    if (trimmed.left(5).compare(QLatin1String("CHECK"), Qt::CaseInsensitive) == 0 && (trimmed.size() == 5 || !inName(trimmed[5])))
        return trimmed.mid(5).trimmed();
    return trimmed;
}

} // namespace sqltext
