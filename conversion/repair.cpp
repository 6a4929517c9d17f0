#include "repair.h"

#include "marks.h"
#include "params.h"
#include "queries.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"
#include "survey.h"
#include "triggerswitch.h"

#include <QScopeGuard>

#include <unistd.h>

#include "errors.h"
#include "filenames.h"

#include <ibase.h>

namespace repair {

QStringList giveBack(TSQLConnection &db, bool anyLock)
{
    QStringList done;
    const QString path = db.Params.value(QStringLiteral("DataBase"));
    try {
        db.setConnected(true);
    } catch (const TDBXError &e) {
        // A full shutdown admits nobody: only the server brings the database back.
        if (!anyLock || !e.hasEngineCode(isc_shutdown))
            throw;
        const QString database = path.startsWith(u'/') ? QStringLiteral("localhost:") + path : path;
        db.services(database)->bringOnline(database);
        return {QStringLiteral("o banco fechado (shutdown) foi reaberto")};
    }
    auto letGo = qScopeGuard([&] { db.setConnected(false); });
    const QString attachedAs = db.attachedAs();
    if (const QList<OtherAttachment> others = Survey::others(db); !others.isEmpty()) {
        if (anyLock)
            throw Exception(Survey::othersText(others).replace(QStringLiteral("converta de novo"), QStringLiteral("tente de novo")));
        return done;
    }
    const QStringList state = queries::readAll(db, statements::databaseState()).value(0);
    if (state.value(0).toInt() != 0) // read-only: nothing can be written, nor is left to make good
        return done;
    const bool shutDown = state.value(1).toInt() != 0;
    bool locked = state.value(2).toInt() != 0;
    marks::Description description = queries::readBytes(db, statements::databaseDescription()).value(0).value(0);
    const bool reserved = marks::has(description, marks::Kind::Reserved);

    TSQLQuery query;
    query.setSQLConnection(&db);
    const marks::Description before = description;
    for (const marks::Line &line : marks::find(description))
        if (line.kind == marks::Kind::Copying) {
            if (line.details.value(1).endsWith(QLatin1String(".parcial")))
                ::unlink(filenames::encode(line.details.value(1)).constData());
            if (locked) {
                queries::execute(query, statements::endBackup());
                locked = false;
                done << QStringLiteral("a trava de cópia que uma conversão interrompida deixou foi liberada");
            }
        }
    description = marks::without(description, marks::Kind::Copying);
    if (locked && anyLock) {
        queries::execute(query, statements::endBackup());
        done << QStringLiteral("a trava de cópia do Firebird foi liberada (ALTER DATABASE END BACKUP)");
    }
    // A database given back to its users never has triggers a run switched off.
    if (reserved && shutDown) {
        TriggerSwitch triggers(db, query);
        triggers.read();
        if (!triggers.leftOff().isEmpty())
            done << QStringLiteral("os gatilhos que uma conversão interrompida deixou desativados foram reativados (%1)")
                        .arg(triggers.leftOff().join(QStringLiteral(", ")));
        triggers.makeGood();
    }
    if (description != before)
        queries::execute(query, statements::describeDatabase(description));
    queries::execute(query, statements::commit());
    if (!shutDown || (!reserved && !anyLock)) {
        if (reserved && !shutDown) { // a run ended before its record went
            queries::execute(query, statements::describeDatabase(marks::without(description, marks::Kind::Reserved)));
            queries::execute(query, statements::commit());
        }
        return done;
    }
    db.setConnected(false);
    db.services(attachedAs)->bringOnline(attachedAs);
    done << (reserved ? QStringLiteral("o banco que uma conversão interrompida deixou fechado foi reaberto")
                      : QStringLiteral("o banco fechado (shutdown) foi reaberto"));
    if (reserved) {
        db.Params.setValue(QStringLiteral("DataBase"), attachedAs);
        auto back = qScopeGuard([&] { db.Params.setValue(QStringLiteral("DataBase"), path); });
        db.setConnected(true);
        queries::execute(query, statements::describeDatabase(marks::without(description, marks::Kind::Reserved)));
        queries::execute(query, statements::commit());
    }
    return done;
}

} // namespace repair
