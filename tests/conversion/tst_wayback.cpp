// The way back of a server's page copy on a server of the test's own, where what the engine
// does is the point: one cut short between the drop and the rebuild (the database missing, the
// converted database kept as a page copy) is named by the check and finished by the same
// --restore.
#include "check.h"
#include "dbread.h"
#include "errors.h"
#include "fbclientlayer.h"
#include "filenames.h"
#include "guard.h"
#include "marks.h"
#include "privateserver.h"
#include "queries.h"
#include "restore.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"
#include "tempdb.h"

#include <QtTest>

namespace {

void attach(TSQLConnection &db, const QString &database)
{
    db.setConnected(false);
    db.Params.setValue(QStringLiteral("DataBase"), database);
    db.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
    db.setConnected(true);
}

} // namespace

class TestWayBack : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cutShortAfterTheDropIsFinished();

private:
    void cutShort();
    TempDatabases dbs_;
    std::unique_ptr<PrivateServer> server_;
    FbClientLayer layer_;
};

void TestWayBack::initTestCase()
{
    QVERIFY(dbs_.isValid());
    server_ = std::make_unique<PrivateServer>();
    QVERIFY2(server_->isRunning(), qPrintable(server_->problem()));
}

void TestWayBack::cutShortAfterTheDropIsFinished()
{
    try {
        cutShort();
    } catch (const std::exception &e) {
        QFAIL(qPrintable(messageOf(e)));
    }
}

void TestWayBack::cutShort()
{
    const QString file = dbs_.create(QStringLiteral("loja.fb"), QStringLiteral(
        "CREATE TABLE PRODUTOS (CODPROD VARCHAR(10)); INSERT INTO PRODUTOS VALUES ('12345678');"));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const QString database = server_->database(file);
    const QString folder = QFileInfo(file).absolutePath() + u'/';
    const QString copy = folder + QStringLiteral("loja.copia-20261210-143000.nbk");
    const QString kept = folder + QStringLiteral("loja.convertido-20261210-143000.nbk");
    auto services = layer_.services(PrivateServer::login(database));

    // The run: its copy of the pages, recorded whole with the codes it then converted.
    services->copyPages(database, copy);
    {
        TSQLConnection db;
        attach(db, database);
        TSQLQuery q;
        q.setSQLConnection(&db);
        queries::execute(q, statements::describeDatabase(marks::copied(copy, filenames::sizeOf(copy))));
        queries::execute(q, QStringLiteral("update PRODUTOS set CODPROD = '203456'"));
        queries::execute(q, statements::commit());
    }
    // The way back as far as the drop, by its own steps: the door closed, its record, the
    // converted database kept, dropped; then nothing (the program killed).
    {
        TSQLConnection db;
        attach(db, database);
        TSQLQuery q;
        q.setSQLConnection(&db);
        guard::close(q, database);
        const marks::Description d = queries::readBytes(db, statements::databaseDescription()).value(0).value(0);
        queries::execute(q, statements::describeDatabase(marks::withLine(d, marks::restoring(file, copy))));
        queries::execute(q, statements::commit());
    }
    services->copyPages(database, kept);
    services->drop(database);
    services.reset();
    QVERIFY(!QFileInfo::exists(file));

    // The check of the missing database says what happened and the one command.
    {
        TSQLConnection db;
        db.Params.setValue(QStringLiteral("DataBase"), file);
        QString said;
        try {
            CheckReport::examine(db);
        } catch (const Exception &e) {
            said = e.message();
        }
        QVERIFY2(said.startsWith(QStringLiteral("Chame o técnico responsável pelo sistema.\rA restauração de %1 foi interrompida").arg(file)),
                 qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("conversor --restore %1 termina").arg(copy)), qPrintable(said));
    }

    // The same --restore, through the server that made the copy, finishes it.
    const QString copyThere = server_->database(copy);
    TSQLConnection db;
    const QString answer = restore::putBack(db, copyThere, QDateTime(QDate(2026, 12, 11), QTime(9, 30)));
    QCOMPARE(answer, QStringLiteral("banco restaurado a partir de %1, terminando a restauração interrompida; o banco convertido "
                                    "foi guardado pelo servidor como %2").arg(copyThere, kept));
    // The codes as copied, the door open (anyone gets in, the database's triggers and all), no
    // record of the run or of the way back; the kept file stays, the database read from it goes.
    db.Params.setValue(QStringLiteral("DataBase"), database);
    db.Params.setValue(QStringLiteral("DatabaseTriggers"), QString());
    db.setConnected(true);
    QCOMPARE(readValue(db, QStringLiteral("select CODPROD from PRODUTOS")), QStringLiteral("12345678"));
    QVERIFY(!guard::closed(db));
    const marks::Description d = queries::readBytes(db, statements::databaseDescription()).value(0).value(0);
    QVERIFY2(marks::find(d).isEmpty(), d ? d->constData() : "");
    db.setConnected(false);
    QVERIFY(QFileInfo::exists(kept));
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("loja.convertido-20261210-143000.aberto.fb")));
}

QTEST_GUILESS_MAIN(TestWayBack)
#include "tst_wayback.moc"
