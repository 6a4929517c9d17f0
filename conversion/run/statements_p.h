#pragma once
// What the statements' files share: the pieces of text several statements are made of.

#include "statements.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace statements::detail {

inline QString blanks(int n)
{
    return QString(n, u' ');
}

// Bytes as a binary literal: the engine takes them as they are, line ends and accents included,
// whatever character set the connection names (none).
inline QString bytesLiteral(const std::optional<QByteArray> &bytes)
{
    return bytes ? QStringLiteral("x'%1'").arg(QString::fromLatin1(bytes->toHex().toUpper())) : QStringLiteral("NULL");
}

inline const QString hasCode = QStringLiteral("TRIM(CODPROD) <> ''");

inline QString trimmedLength(const QString &column)
{
    return QStringLiteral("CHAR_LENGTH(TRIM(%1))").arg(column);
}

inline QString rewrittenShape(const QString &column)
{
    return QStringLiteral("%1 = 6 AND SUBSTRING(TRIM(%2) FROM 2 FOR 1) = '0'").arg(trimmedLength(column), column);
}

inline QString keysList(const QList<QByteArray> &keys)
{
    QStringList literals;
    for (const QByteArray &k : keys)
        literals << bytesLiteral(k);
    return literals.join(QStringLiteral(", "));
}

// "RDB$DB_KEY IN (...)" in lists the engine takes (at most 1,500 values each), joined by OR.
inline QString keyIn(const QList<QByteArray> &keys)
{
    constexpr qsizetype perList = 1000;
    QStringList lists;
    for (qsizetype i = 0; i < keys.size(); i += perList)
        lists << QStringLiteral("RDB$DB_KEY IN (%1)").arg(keysList(keys.mid(i, perList)));
    return lists.size() == 1 ? lists.first() : u'(' + lists.join(QStringLiteral(" OR ")) + u')';
}

// The key terms as named columns K1, K2... of a derived table.
inline QString asColumns(const QStringList &terms)
{
    QStringList named;
    for (int i = 0; i < terms.size(); ++i)
        named << QStringLiteral("%1 as K%2").arg(terms[i]).arg(i + 1);
    return named.join(QStringLiteral(", "));
}

// The new code as a statement computes it: as given, else the rule itself.
inline QString codeOr(const QString &code)
{
    return code.isEmpty() ? converted(QStringLiteral("CODPROD")) : code;
}

} // namespace statements::detail
