// The connection and query objects against the real embedded Firebird engine, on temporary
// dialect 1 databases.
#include "dbread.h"
#include "errors.h"
#include "params.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "runtexts.h"
#include "tempdb.h"

#include <QtTest>

namespace {

void exec(TSQLConnection &db, const QString &sql)
{
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(sql);
    q.ExecSQL();
}

const char *threeTables = R"(
CREATE TABLE ALFA (CODPROD VARCHAR(10), N INTEGER);
CREATE TABLE BETA (CODPROD CHAR(8));
CREATE TABLE GAMA (CODPROD VARCHAR(10));
CREATE TABLE SEM_CODIGO (X INTEGER);
INSERT INTO ALFA VALUES ('1234567', 1);
INSERT INTO ALFA VALUES ('7654321', 2);
INSERT INTO ALFA VALUES ('1111111', 3);
INSERT INTO BETA VALUES ('2222222');
INSERT INTO GAMA VALUES ('3333333');
CREATE TABLE LOG_TRIGGER (QUANDO INTEGER);
SET TERM ^ ;
CREATE TRIGGER ALFA_BU FOR ALFA BEFORE UPDATE AS BEGIN INSERT INTO LOG_TRIGGER VALUES (NEW.N); END ^
SET TERM ; ^
)";

} // namespace

class TestFirebird : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void attachAndDetach();
    void badDatabaseFiles_data();
    void badDatabaseFiles();
    void rowsAffected();
    void textKeepsItsPadBlanks();
    void countOfTheDiscoveryUnderDialect1();
    void cursorSurvivesUpdatesAndCommit();
    void triggerSwitchStatements();
    void uncommittedWorkIsUndone_data();
    void uncommittedWorkIsUndone();

private:
    TempDatabases dbs_;
    QString sample_;
};

void TestFirebird::initTestCase()
{
    QVERIFY(dbs_.isValid());
    sample_ = dbs_.create(QStringLiteral("sample.fb"), QString::fromLatin1(threeTables));
    QVERIFY2(!sample_.isEmpty(), qPrintable(dbs_.lastError()));
}

void TestFirebird::attachAndDetach()
{
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), sample_);
    db.setConnected(true);
    QCOMPARE(db.State(), TConnectionState::csStateOpen);
    QCOMPARE(db.quoteChar(), QString()); // dialect 1: double quotes are strings
    db.setConnected(false);
    QCOMPARE(db.State(), TConnectionState::csStateClosed);
    db.setConnected(true);
    QVERIFY(db.Connected());
}

void TestFirebird::badDatabaseFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected"); // a line of the engine's own text
    QTest::newRow("missing") << "missing" << "No such file or directory";
    QTest::newRow("directory") << "directory" << "I/O error";
    QTest::newRow("empty file") << "empty" << "I/O error";
    QTest::newRow("text file") << "text" << "not a valid database";
}

void TestFirebird::badDatabaseFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    QString path = dbs_.path(kind + QStringLiteral(".fb"));
    if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind != QLatin1String("missing")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("text"))
            f.write(QByteArray("produtos;codigos\n").repeated(2000));
    }
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), path);
    try {
        db.setConnected(true);
        QFAIL("attached a bad file");
    } catch (const TDBXError &e) {
        QVERIFY2(e.message().contains(expected), qPrintable(e.message()));
        QVERIFY(!e.message().startsWith(QLatin1String("DBX Error")));
    }
    QCOMPARE(db.State(), TConnectionState::csStateClosed);
    db.Params.setValue(QStringLiteral("DataBase"), sample_);
    db.setConnected(true);
    QVERIFY(db.Connected());
}

void TestFirebird::rowsAffected()
{
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), sample_);
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(QStringLiteral("update ALFA set N = N where N > 1"));
    QCOMPARE(q.ExecSQL(), 2);
    q.SQL().setText(QStringLiteral("update ALFA set N = N where N > 100"));
    QCOMPARE(q.ExecSQL(), 0);
}

void TestFirebird::textKeepsItsPadBlanks()
{
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), sample_);
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(runtexts::discovery);
    q.Open();
    const QString first = q.FieldByName(QStringLiteral("Tabela")).AsString();
    QCOMPARE(trimControl(first), QStringLiteral("ALFA"));
    QVERIFY2(first.size() >= 31 && first.startsWith(QLatin1String("ALFA  ")), qPrintable(u'[' + first + u']'));

    q.SQL().setText(QStringLiteral("select CODPROD from BETA"));
    q.Open();
    QCOMPARE(q.FieldByName(QStringLiteral("codprod")).AsString(), QStringLiteral("2222222 "));
}

void TestFirebird::countOfTheDiscoveryUnderDialect1()
{
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), sample_);
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(runtexts::discovery);
    q.Open();
    QCOMPARE(q.RecordCount(), 3);
}

void TestFirebird::cursorSurvivesUpdatesAndCommit()
{
    const QString file = dbs_.create(QStringLiteral("cursor.fb"), QString::fromLatin1(threeTables));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), file);
    TSQLQuery tables;
    tables.setSQLConnection(&db);
    tables.SQL().setText(runtexts::discovery);
    tables.Open();
    QStringList seen;
    seen << trimControl(tables.FieldByName(QStringLiteral("Tabela")).AsString());
    exec(db, QStringLiteral("update %1 set CODPROD = 'x'").arg(seen.last()));
    exec(db, runtexts::commit);
    // The rest of the result is still there after the commit.
    for (tables.Next(); !tables.Eof(); tables.Next()) {
        seen << trimControl(tables.FieldByName(QStringLiteral("Tabela")).AsString());
        exec(db, QStringLiteral("update %1 set CODPROD = 'x'").arg(seen.last()));
    }
    QCOMPARE(seen, (QStringList{"ALFA", "BETA", "GAMA"}));
    exec(db, runtexts::commit);
    tables.Close();
    exec(db, runtexts::commit); // a commit with nothing to commit succeeds
    QCOMPARE(readColumn(file, QStringLiteral("select CODPROD from GAMA")), QStringList{"x"});
}

void TestFirebird::triggerSwitchStatements()
{
    const QString file = dbs_.create(QStringLiteral("triggers.fb"), QString::fromLatin1(threeTables));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const QString logCount = QStringLiteral("select count(*) from LOG_TRIGGER");
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), file);
    TSQLQuery q;
    q.setSQLConnection(&db);
    q.SQL().setText(runtexts::triggersOff);
    QCOMPARE(q.ExecSQL(), 1);
    QCOMPARE(readColumn(file, QStringLiteral("select RDB$TRIGGER_INACTIVE from RDB$TRIGGERS where RDB$TRIGGER_NAME = 'ALFA_BU'")),
             QStringList{"1"});
    exec(db, QStringLiteral("update ALFA set N = N"));
    exec(db, runtexts::commit);
    QCOMPARE(readColumn(file, logCount), QStringList{"0"});

    q.SQL().setText(runtexts::triggersOn);
    QCOMPARE(q.ExecSQL(), 1);
    q.SQL().setText(runtexts::triggersOn);
    QCOMPARE(q.ExecSQL(), 0); // nothing left to switch
    exec(db, QStringLiteral("update ALFA set N = N where N = 1"));
    exec(db, runtexts::commit);
    QCOMPARE(readColumn(file, logCount), QStringList{"1"});
}

void TestFirebird::uncommittedWorkIsUndone_data()
{
    QTest::addColumn<bool>("byDetach");
    QTest::newRow("rollback") << false;
    QTest::newRow("detach") << true;
}

void TestFirebird::uncommittedWorkIsUndone()
{
    QFETCH(bool, byDetach);
    const QString file = dbs_.create(QStringLiteral("undo%1.fb").arg(byDetach), QString::fromLatin1(threeTables));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), file);
    exec(db, QStringLiteral("update GAMA set CODPROD = 'novo'"));
    if (byDetach)
        db.setConnected(false);
    else
        db.rollback();
    QCOMPARE(readColumn(file, QStringLiteral("select CODPROD from GAMA")), QStringList{"3333333"});
    // The connection goes on working after a rollback.
    exec(db, QStringLiteral("update GAMA set CODPROD = 'novo'"));
    exec(db, runtexts::commit);
    QCOMPARE(readColumn(file, QStringLiteral("select CODPROD from GAMA")), QStringList{"novo"});
}

QTEST_GUILESS_MAIN(TestFirebird)
#include "tst_firebird.moc"
