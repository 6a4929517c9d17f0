// The engine's service manager through the Firebird layer, on a server of the test's own: a
// database taken to one attachment and brought back, a backup the server writes and a restore
// over the database, a copy of its pages and their way back.
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

// The engine's backup state in a database file's header (hdr_flags, its backup bits): 0 none,
// 0x400 under the backup lock.
int backupBits(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(42))
        return -1;
    const QByteArray two = f.read(2);
    return two.size() == 2 ? ((uchar(two[0]) | uchar(two[1]) << 8) & 0x0C00) : -1;
}

QByteArray hashOf(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

// A database whose own trigger on connect refuses everyone (the door a run closes): only an
// attachment without the database's triggers gets in.
const char *closedDoor = "CREATE EXCEPTION FECHADO 'fechado'; SET TERM ^ ; "
                         "CREATE TRIGGER PORTA ON CONNECT AS BEGIN EXCEPTION FECHADO; END^ SET TERM ; ^";

TSQLConnection *pastTheDoor(TSQLConnection &db, const QString &database)
{
    db.Params.setValue(QStringLiteral("DataBase"), database);
    db.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
    db.setConnected(true);
    return &db;
}

} // namespace

class TestServices : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void shutDownAloneAndBack();
    void shutDownRefusedWhileOthersWork();
    void aRefusedActionLeavesTheManagerFree();
    void backUpAndRestore();
    void pagesCopiedAndPutBack();
    void dropRefusedWhileOthersWork();
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
    auto services = layer_.services(PrivateServer::login(database));
    services->shutDown(database);
    {
        TSQLConnection first;
        first.Params.setValue(QStringLiteral("DataBase"), database);
        first.setConnected(true);
        QCOMPARE(readValue(first, QStringLiteral("select mon$shutdown_mode from mon$database")), QStringLiteral("2"));
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
    QCOMPARE(readValue(after, QStringLiteral("select mon$shutdown_mode from mon$database")), QStringLiteral("0"));
}

// An action the engine refuses (a database online already brought online) ends before the
// manager takes the next: the way back asks for two in a row, and a manager still busy with
// the first refused the second.
void TestServices::aRefusedActionLeavesTheManagerFree()
{
    const QString database = server_->database(file_);
    auto services = layer_.services(PrivateServer::login(database));
    for (int i = 0; i < 20; ++i) {
        try {
            services->bringOnline(database);
            QFAIL("the engine took an online database back online");
        } catch (const TDBXError &e) {
            QVERIFY2(e.hasEngineCode(isc_bad_shutdown_mode), qPrintable(e.message()));
        }
        services->shutDown(database, true);
        services->bringOnline(database);
    }
}

void TestServices::shutDownRefusedWhileOthersWork()
{
    const QString database = server_->database(file_);
    TSQLConnection other;
    other.Params.setValue(QStringLiteral("DataBase"), database);
    other.setConnected(true);
    auto services = layer_.services(PrivateServer::login(database));
    QElapsedTimer clock;
    clock.start();
    try {
        services->shutDown(database);
        QFAIL("shut down under another attachment");
    } catch (const TDBXError &e) {
        QVERIFY2(e.hasEngineCode(isc_shutfail), qPrintable(e.message()));
    }
    QVERIFY2(clock.elapsed() < 5000, "the refusal waited for the other attachment");
    QCOMPARE(readValue(other, QStringLiteral("select mon$shutdown_mode from mon$database")), QStringLiteral("0"));
}

void TestServices::backUpAndRestore()
{
    const QString database = server_->database(file_);
    const QString backup = dbs_.path(QStringLiteral("loja.fbk"));
    auto services = layer_.services(PrivateServer::login(database));
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
    QCOMPARE(readValue(db, QStringLiteral("select CODPROD from PRODUTOS")), QStringLiteral("1234567"));
}

void TestServices::pagesCopiedAndPutBack()
{
    const QString file = dbs_.create(QStringLiteral("porta.fb"), QStringLiteral(
        "CREATE TABLE PRODUTOS (CODPROD VARCHAR(10)); INSERT INTO PRODUTOS VALUES ('1234567'); COMMIT; %1").arg(closedDoor));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const QString database = server_->database(file);
    const QString copy = dbs_.path(QStringLiteral("porta.copia.nbk"));
    auto services = layer_.services(PrivateServer::login(database));
    // Past the door, as the run's copy must be.
    services->copyPages(database, copy);
    // The copy is the database's pages as they were under the backup lock; the database is out
    // of it again.
    QCOMPARE(backupBits(copy), 0x400);
    QCOMPARE(backupBits(file), 0);
    {
        TSQLConnection db;
        TSQLQuery q;
        q.setSQLConnection(pastTheDoor(db, database));
        q.SQL().setText(QStringLiteral("update PRODUTOS set CODPROD = '203456'"));
        q.ExecSQL();
        q.SQL().setText(QStringLiteral("Commit"));
        q.ExecSQL();
    }
    const QByteArray copied = hashOf(copy);
    // Never over a database: the engine's refusal, its code and the file it names kept.
    try {
        services->putPagesBack(copy, database);
        QFAIL("the pages went over a database");
    } catch (const TDBXError &e) {
        QVERIFY2(e.hasEngineCode(isc_nbackup_err_createdb), qPrintable(e.message()));
        QVERIFY2(e.message().contains(file), qPrintable(e.message()));
    }
    services->drop(database);
    QVERIFY(!QFileInfo::exists(file));
    services->putPagesBack(copy, database);
    // A database of its own again: out of the backup state, the codes as copied, the door as it
    // was, and whole to the engine's validation.
    QCOMPARE(backupBits(file), 0);
    TSQLConnection db;
    pastTheDoor(db, database);
    QCOMPARE(readValue(db, QStringLiteral("select CODPROD from PRODUTOS")), QStringLiteral("1234567"));
    QCOMPARE(readValue(db, QStringLiteral("select mon$backup_state from mon$database")), QStringLiteral("0"));
    QCOMPARE(readValue(db, QStringLiteral("select count(*) from rdb$triggers where rdb$trigger_name = 'PORTA'")), QStringLiteral("1"));
    db.setConnected(false);
    QProcess gfix;
    gfix.setProcessChannelMode(QProcess::MergedChannels);
    gfix.start(QStringLiteral("gfix"), {"-v", "-full", "-user", "SYSDBA", "-password", "quokkafen", database});
    QVERIFY(gfix.waitForFinished(60000));
    const QString said = QString::fromUtf8(gfix.readAll());
    QVERIFY2(gfix.exitCode() == 0 && said.trimmed().isEmpty(), qPrintable(said));
    // The copy itself is read, never written.
    QCOMPARE(hashOf(copy), copied);
}

void TestServices::dropRefusedWhileOthersWork()
{
    const QString database = server_->database(file_);
    TSQLConnection other;
    other.Params.setValue(QStringLiteral("DataBase"), database);
    other.setConnected(true);
    auto services = layer_.services(PrivateServer::login(database));
    try {
        services->drop(database);
        QFAIL("dropped under another attachment");
    } catch (const TDBXError &e) {
        QVERIFY2(e.engineCode() != 0, qPrintable(e.message()));
    }
    QVERIFY(QFileInfo::exists(file_));
    QCOMPARE(readValue(other, QStringLiteral("select CODPROD from PRODUTOS")), QStringLiteral("1234567"));
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
