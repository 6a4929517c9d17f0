// The engine's service manager through the Firebird layer, on a server of the test's own: a
// database taken to one attachment and brought back, a backup the server writes and a restore
// over the database.
#include "dbread.h"
#include "errors.h"
#include "fbclientlayer.h"
#include "fbservices.h"
#include "privateserver.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "tempdb.h"

#include <QtTest>

#include <ibase.h>

namespace {

dbx::EntryList login(const QString &database)
{
    return {{"Database", database}, {"User_Name", "SYSDBA"}, {"Password", "quokkafen"}};
}

QString value(TSQLConnection &db, const QString &sql)
{
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(sql);
    q.Open();
    return q.Eof() ? QString() : q.field(0).AsString();
}

} // namespace

class TestServices : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void shutDownAloneAndBack();
    void shutDownRefusedWhileOthersWork();
    void backUpAndRestore();
    void databaseStringsOnAServer_data();
    void databaseStringsOnAServer();

private:
    TempDatabases dbs_;
    std::unique_ptr<PrivateServer> server_;
    FbClientLayer layer_;
    QString file_;
};

void TestServices::initTestCase()
{
    QVERIFY(dbs_.isValid());
    server_ = std::make_unique<PrivateServer>();
    QVERIFY2(server_->isRunning(), qPrintable(server_->problem()));
}

void TestServices::init()
{
    static int n = 0;
    file_ = dbs_.create(QStringLiteral("loja%1.fb").arg(++n), QStringLiteral(
        "CREATE TABLE PRODUTOS (CODPROD VARCHAR(10)); INSERT INTO PRODUTOS VALUES ('1234567');"));
    QVERIFY2(!file_.isEmpty(), qPrintable(dbs_.lastError()));
}

void TestServices::shutDownAloneAndBack()
{
    const QString database = server_->database(file_);
    auto services = layer_.services(login(database));
    services->shutDown(database);
    {
        TSQLConnection first;
        first.Params.setValue(QStringLiteral("DataBase"), database);
        first.setConnected(true);
        QCOMPARE(value(first, QStringLiteral("select mon$shutdown_mode from mon$database")), QStringLiteral("2"));
        // One attachment at a time: the second is refused with the engine's word for it.
        TSQLConnection second;
        second.Params.setValue(QStringLiteral("DataBase"), database);
        try {
            second.setConnected(true);
            QFAIL("a second attachment came in");
        } catch (const TDBXError &e) {
            QVERIFY2(e.hasEngineCode(isc_shutdown), qPrintable(e.message()));
        }
    }
    services->bringOnline(database);
    TSQLConnection after;
    after.Params.setValue(QStringLiteral("DataBase"), database);
    after.setConnected(true);
    QCOMPARE(value(after, QStringLiteral("select mon$shutdown_mode from mon$database")), QStringLiteral("0"));
}

void TestServices::shutDownRefusedWhileOthersWork()
{
    const QString database = server_->database(file_);
    TSQLConnection other;
    other.Params.setValue(QStringLiteral("DataBase"), database);
    other.setConnected(true);
    auto services = layer_.services(login(database));
    QElapsedTimer clock;
    clock.start();
    try {
        services->shutDown(database);
        QFAIL("shut down under another attachment");
    } catch (const TDBXError &e) {
        QVERIFY2(e.hasEngineCode(isc_shutfail), qPrintable(e.message()));
    }
    QVERIFY2(clock.elapsed() < 5000, "the refusal waited for the other attachment");
    QCOMPARE(value(other, QStringLiteral("select mon$shutdown_mode from mon$database")), QStringLiteral("0"));
}

void TestServices::backUpAndRestore()
{
    const QString database = server_->database(file_);
    const QString backup = dbs_.path(QStringLiteral("loja.fbk"));
    auto services = layer_.services(login(database));
    services->backUp(database, backup);
    QVERIFY(QFileInfo(backup).size() > 0);
    {
        TSQLConnection db;
        db.Params.setValue(QStringLiteral("DataBase"), database);
        TSQLQuery q;
        q.setSQLConnection(&db);
        q.SQL().setText(QStringLiteral("update PRODUTOS set CODPROD = '203456'"));
        q.ExecSQL();
        q.SQL().setText(QStringLiteral("Commit"));
        q.ExecSQL();
    }
    services->restore(backup, database);
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), database);
    db.setConnected(true);
    QCOMPARE(value(db, QStringLiteral("select CODPROD from PRODUTOS")), QStringLiteral("1234567"));
}

void TestServices::databaseStringsOnAServer_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("manager");
    QTest::addColumn<QString>("path");
    QTest::newRow("a path") << "/dados/loja.fb" << "service_mgr" << "/dados/loja.fb";
    QTest::newRow("a host") << "servidor:/dados/loja.fb" << "servidor:service_mgr" << "/dados/loja.fb";
    QTest::newRow("a host and port") << "10.0.0.5/3051:/dados/loja.fb" << "10.0.0.5/3051:service_mgr" << "/dados/loja.fb";
    QTest::newRow("a Windows server") << "servidor:C:\\dados\\loja.fdb" << "servidor:service_mgr" << "C:\\dados\\loja.fdb";
}

void TestServices::databaseStringsOnAServer()
{
    QFETCH(QString, database);
    QFETCH(QString, manager);
    QFETCH(QString, path);
    QCOMPARE(fb::Services::managerFor(database), manager);
    QCOMPARE(fb::Services::pathOnServer(database), path);
}

QTEST_GUILESS_MAIN(TestServices)
#include "tst_services.moc"
