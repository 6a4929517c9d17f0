#include "dbread.h"

#include "sqlconnection.h"
#include "sqlquery.h"

QList<QStringList> readRows(const QString &database, const QString &sql, int dialect)
{
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), database);
    // A test's look fires none of the database's own triggers (an audit on connect).
    db.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.Dialect = dialect;
    q.SQL().setText(sql);
    QList<QStringList> rows;
    for (q.Open(); !q.Eof(); q.Next()) {
        QStringList row;
        for (int i = 0; i < q.fieldNames().size(); ++i)
            row << (q.field(i).isNull() ? QStringLiteral("<null>") : q.field(i).AsString());
        rows << row;
    }
    return rows;
}

QStringList readColumn(const QString &database, const QString &sql)
{
    QStringList values;
    for (const QStringList &row : readRows(database, sql))
        values << row.value(0);
    return values;
}

QString readValue(TSQLConnection &db, const QString &sql)
{
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(sql);
    q.Open();
    return q.Eof() ? QString() : q.field(0).AsString();
}
