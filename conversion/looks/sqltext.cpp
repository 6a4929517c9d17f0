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

// Where the literal, quoted name or comment that starts at i ends (just past it); i when none
// starts there. An unclosed one runs to the end.
qsizetype literalEnd(const QString &text, qsizetype i)
{
    const qsizetype n = text.size();
    const QChar c = text[i];
    if (c == u'\'' || c == u'"') { // to its closing quote ('' and "" inside)
        for (++i; i < n; ++i)
            if (text[i] == c) {
                if (i + 1 < n && text[i + 1] == c) {
                    ++i;
                    continue;
                }
                return i + 1;
            }
        return n;
    }
    if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
        const qsizetype end = text.indexOf(u'\n', i);
        return end < 0 ? n : end;
    }
    if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
        const qsizetype end = text.indexOf(QLatin1String("*/"), i + 2);
        return end < 0 ? n : end + 2;
    }
    return i;
}

// Walks text, calling onName(begin, end) for each unquoted name outside literals and comments.
template <class F> void forEachName(const QString &text, F &&onName)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = text[i];
        if (const qsizetype end = literalEnd(text, i); end != i) {
            i = end;
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
        // A qualifier ("PRODUTOS.CODPROD", "produtos".CODPROD) goes with the name.
        qsizetype from = begin;
        if (from > 1 && text[from - 1] == u'.' && text[from - 2] == u'"') {
            if (const qsizetype open = text.lastIndexOf(u'"', from - 3); open >= 0)
                from = open;
        } else if (from > 0 && text[from - 1] == u'.') {
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

QStringList tablesRead(const QString &text)
{
    if (!mentions(text, QStringLiteral("SELECT")))
        return {};
    static const QStringList endsList{"WHERE", "ON", "GROUP", "ORDER", "HAVING", "UNION", "PLAN", "ROWS", "SELECT"};
    QStringList tables;
    bool next = false;   // the name that follows is a table
    bool inList = false; // within a FROM list: a comma brings another table
    forEachName(text, [&](qsizetype begin, qsizetype end) {
        const QString word = text.mid(begin, end - begin).toUpper();
        qsizetype before = begin - 1;
        while (before >= 0 && text[before].isSpace())
            --before;
        const bool afterComma = before >= 0 && text[before] == u',';
        if (next || (inList && afterComma)) {
            if (!tables.contains(word))
                tables << word;
            next = false;
        } else if (word == QLatin1String("FROM") || word == QLatin1String("JOIN")) {
            next = inList = true;
        } else if (endsList.contains(word)) {
            inList = false;
        }
    });
    return tables;
}

QString singleQuoted(const QString &text)
{
    QString out;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = text[i];
        const qsizetype end = literalEnd(text, i);
        if (end == i) {
            out += c;
            ++i;
            continue;
        }
        const bool qualified = (i > 0 && text[i - 1] == u'.') || (end < n && text[end] == u'.');
        if (c == u'"' && end - i >= 2 && text[end - 1] == c && !qualified) {
            // Its text: "" stands for ", and a ' doubles between single quotes.
            QString inside = text.mid(i + 1, end - i - 2);
            inside.replace(QStringLiteral("\"\""), QStringLiteral("\""));
            inside.replace(u'\'', QStringLiteral("''"));
            out += u'\'' + inside + u'\'';
        } else {
            out += QStringView(text).mid(i, end - i);
        }
        i = end;
    }
    return out;
}

bool quotesAName(const QString &sql)
{
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n;) {
        if (sql[i] == u'"')
            return true;
        const qsizetype end = literalEnd(sql, i);
        i = end == i ? i + 1 : end;
    }
    return false;
}

QString condition(const QString &source)
{
    QString trimmed = source.trimmed();
    if (trimmed.left(5).compare(QLatin1String("CHECK"), Qt::CaseInsensitive) == 0 && (trimmed.size() == 5 || !inName(trimmed[5])))
        return trimmed.mid(5).trimmed();
    return trimmed;
}

} // namespace sqltext
