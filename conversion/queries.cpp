#include "queries.h"

#include "sqlquery.h"

namespace queries {

void execute(TSQLQuery &query, const QString &sql)
{
    query.Close();
    query.SQL().Clear();
    query.SQL().setText(sql);
    query.ExecSQL();
}

QList<QStringList> readAll(TSQLConnection &db, const QString &sql)
{
    TSQLQuery q;
    q.setSQLConnection(&db);
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

bool any(TSQLConnection &db, const QString &sql)
{
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(sql);
    q.Open();
    return !q.Eof();
}

} // namespace queries
