#include "queries.h"

#include "sqlquery.h"
#include "statements.h"

namespace queries {

std::int64_t execute(TSQLQuery &query, const QString &sql)
{
    query.Close();
    query.SQL().Clear();
    query.Dialect = statements::dialectOf(sql);
    query.SQL().setText(sql);
    return query.ExecSQL();
}

QList<QStringList> readAll(TSQLConnection &db, const QString &sql)
{
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.Dialect = statements::dialectOf(sql);
    q.SQL().setText(sql);
    QList<QStringList> rows;
    for (q.Open(); !q.Eof(); q.Next()) {
        QStringList row;
        for (const QString &name : q.fieldNames()) {
            const TField &f = q.FieldByName(name);
            const QString text = f.AsString();
            row << (f.isNull() ? QString() : text.isNull() ? QStringLiteral("") : text);
        }
        rows << row;
    }
    return rows;
}

QList<QList<std::optional<QByteArray>>> readBytes(TSQLConnection &db, const QString &sql)
{
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.Dialect = statements::dialectOf(sql);
    q.SQL().setText(sql);
    QList<QList<std::optional<QByteArray>>> rows;
    for (q.Open(); !q.Eof(); q.Next()) {
        QList<std::optional<QByteArray>> row;
        for (int i = 0; i < q.fieldNames().size(); ++i) {
            const TField &f = q.field(i);
            row << (f.isNull() ? std::nullopt : std::optional<QByteArray>(f.asBytes()));
        }
        rows << row;
    }
    return rows;
}

bool any(TSQLConnection &db, const QString &sql)
{
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.Dialect = statements::dialectOf(sql);
    q.SQL().setText(sql);
    q.Open();
    return !q.Eof();
}

} // namespace queries
