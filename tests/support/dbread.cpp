#include "dbread.h"

#include "sqlconnection.h"
#include "sqlquery.h"

QStringList readColumn(const QString &database, const QString &sql)
{
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), database);
    // A test's look fires none of the database's own triggers (an audit on connect).
    db.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(sql);
    q.Open();
    QStringList values;
    for (; !q.Eof(); q.Next()) {
        TField &f = q.FieldByName(q.fieldNames().first());
        values << (f.isNull() ? QStringLiteral("<null>") : f.AsString());
    }
    return values;
}
