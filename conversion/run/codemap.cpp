#include "codemap.h"

#include "queries.h"
#include "statements.h"

namespace {

bool isText(const CodeColumn &c)
{
    return c.type == 14 || c.type == 37;
}

bool isWholeNumber(const CodeColumn &c)
{
    return c.type == 7 || c.type == 8 || c.type == 16;
}

// The type a text column's values have, as CAST writes it (without its collation: the map
// holds bytes).
QString textType(const CodeColumn &c)
{
    return QStringLiteral("VARCHAR(%1) CHARACTER SET %2").arg(c.length).arg(statements::name(c.charset));
}

} // namespace

bool CodeMap::there(TSQLConnection &db)
{
    return queries::any(db, statements::codeMapNamed());
}

bool CodeMap::pays(TSQLConnection &db)
{
    return queries::any(db, statements::externalRule());
}

void CodeMap::make(TSQLQuery &query)
{
    queries::execute(query, statements::createCodeMap());
    queries::execute(query, statements::indexCodeMap());
}

void CodeMap::drop(TSQLQuery &query)
{
    queries::execute(query, statements::dropCodeMap());
}

int CodeMap::kindOf(const CodeColumn &column)
{
    QString kind;
    if (isText(column) && column.length > 0 && column.length <= longestMapped && !column.charset.isEmpty())
        kind = QStringLiteral("text %1 %2").arg(column.length).arg(column.charset);
    else if (isWholeNumber(column))
        // A number's text, which the rule reads, depends on its type and scale.
        kind = QStringLiteral("number %1 %2").arg(column.type).arg(column.scale);
    else
        return 0;
    qsizetype at = kinds_.indexOf(kind);
    if (at < 0) {
        kinds_ << kind;
        at = kinds_.size() - 1;
    }
    return int(at) + 1;
}

bool CodeMap::mapsAny(const QList<CodeColumn> &columns)
{
    for (const CodeColumn &c : columns)
        if (kindOf(c) != 0)
            return true;
    return false;
}

QString CodeMap::fill(const QString &table, const CodeColumn &column, const QString &condition)
{
    const int kind = kindOf(column);
    if (kind == 0)
        return {};
    return statements::fillCodeMap(table, kind, isText(column) ? textType(column) : QString(), condition);
}

QString CodeMap::code(const CodeColumn &column)
{
    const int kind = kindOf(column);
    return kind == 0 ? QString() : statements::mappedCode(kind);
}
