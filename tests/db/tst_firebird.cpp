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

#include <memory>

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
    void triggerSwitchKeepsTheUsersSettings_data();
    void triggerSwitchKeepsTheUsersSettings();
    void everyCharacterSetLoads();
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

void TestFirebird::triggerSwitchKeepsTheUsersSettings_data()
{
    QTest::addColumn<QString>("story");   // switch-offs, switch-ons, and runs cut short, in turn
    QTest::addColumn<QString>("failure"); // what the switch-off says, when it must refuse
    const struct {
        const char *name, *story, *failure;
    } rows[] = {
        {"off and on again", "off on", ""},
        {"a run cut short, then a whole one", "off cut off on", ""},
        {"on with nothing recorded", "on", ""},
        {"the record cannot be written", "off", "Não foi possível registrar os gatilhos desativados"},
        {"a name dialect 1 cannot write", "off", "Nome de gatilho inválido: gatilho minúsculo"},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << QString::fromUtf8(row.story) << QString::fromUtf8(row.failure);
}

void TestFirebird::triggerSwitchKeepsTheUsersSettings()
{
    QFETCH(QString, story);
    QFETCH(QString, failure);
    static int n = 0;
    QString file;
    if (failure.startsWith(QLatin1String("Nome"))) {
        file = dbs_.createFromDialect3(QStringLiteral("names%1.fb").arg(++n), QStringLiteral(
            "CREATE TABLE T (X INTEGER);\nSET TERM ^ ;\nCREATE TRIGGER ATIVO FOR T BEFORE UPDATE AS BEGIN END^\n"
            "CREATE TRIGGER \"gatilho minúsculo\" FOR T BEFORE UPDATE AS BEGIN END^\nSET TERM ; ^\n"));
        QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    } else {
        file = dbs_.create(QStringLiteral("switch%1.fb").arg(++n), QStringLiteral(R"(
CREATE TABLE T (X INTEGER);
SET TERM ^ ;
CREATE TRIGGER ATIVO FOR T BEFORE UPDATE AS BEGIN END^
CREATE TRIGGER DESLIGADO_PELO_USUARIO FOR T INACTIVE BEFORE UPDATE AS BEGIN END^
CREATE TRIGGER DO_BANCO INACTIVE ON CONNECT AS BEGIN END^
SET TERM ; ^
)"));
        QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    }
    const QString states = QStringLiteral("select trim(RDB$TRIGGER_NAME) || '=' || RDB$TRIGGER_INACTIVE from RDB$TRIGGERS "
                                          "where RDB$SYSTEM_FLAG = 0 order by 1");
    const QStringList before = readColumn(file, states);
    const QByteArray stateHome = qgetenv("XDG_STATE_HOME");
    auto restore = qScopeGuard([&] { qputenv("XDG_STATE_HOME", stateHome); });
    if (failure.startsWith(QStringLiteral("Não"))) {
        QFile blocker(dbs_.path(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        qputenv("XDG_STATE_HOME", QFile::encodeName(blocker.fileName()));
    }

    std::unique_ptr<TSQLConnection> db;
    for (const QString &step : story.split(u' ')) {
        if (step == QLatin1String("cut") || !db) {
            db = std::make_unique<TSQLConnection>(); // the connection of a run that was cut short is gone
            db->Params.setValue(QStringLiteral("DataBase"), file);
            if (step == QLatin1String("cut"))
                continue;
        }
        try {
            exec(*db, step == QLatin1String("off") ? runtexts::triggersOff : runtexts::triggersOn);
            QVERIFY2(failure.isEmpty(), "the switch-off went ahead");
        } catch (const TDBXError &e) {
            QVERIFY2(!failure.isEmpty() && e.message().startsWith(failure), qPrintable(e.message()));
        }
        if (step == QLatin1String("off") && failure.isEmpty())
            QVERIFY(readColumn(file, states).contains(QStringLiteral("ATIVO=1")));
    }
    if (story.endsWith(QLatin1String("on")) || !failure.isEmpty())
        QCOMPARE(readColumn(file, states), before);
    QCOMPARE(QDir(dbs_.path(QStringLiteral("state/conversor/gatilhos"))).entryList(QDir::Files), QStringList());
}

void TestFirebird::everyCharacterSetLoads()
{
    // Every character set the engine knows, through the tool's settings and through Debian's.
    const QStringList charsets = readColumn(sample_, QStringLiteral("select trim(RDB$CHARACTER_SET_NAME) from RDB$CHARACTER_SETS "
                                                                    "order by 1"));
    QVERIFY(charsets.contains(QStringLiteral("WIN1252")) && charsets.contains(QStringLiteral("ISO8859_1")));
    QStringList viaTool, script;
    for (const QString &cs : charsets) {
        const QString sql = QStringLiteral("select 'loaded:%1', cast('A' as varchar(4) character set %1) from rdb$database").arg(cs);
        try {
            if (!readColumn(sample_, sql).isEmpty())
                viaTool << cs;
        } catch (const TDBXError &) {
        }
        script += sql + QStringLiteral(";\n");
    }
    QProcess isql;
    QProcessEnvironment debian = QProcessEnvironment::systemEnvironment();
    debian.remove(QStringLiteral("FIREBIRD"));
    isql.setProcessEnvironment(debian);
    isql.start(QStringLiteral("isql-fb"), {"-q", "-user", "SYSDBA", "-password", "x", sample_});
    isql.write(script.join(QString()).toUtf8());
    isql.closeWriteChannel();
    QVERIFY(isql.waitForFinished(60000));
    QStringList viaDebian;
    for (const QString &line : QString::fromUtf8(isql.readAllStandardOutput()).split(u'\n'))
        if (line.startsWith(QLatin1String("loaded:")))
            viaDebian << line.section(u' ', 0, 0).mid(7);
    QCOMPARE(viaTool, viaDebian);
    QVERIFY2(viaTool.size() >= charsets.size() - 2, qPrintable(viaTool.join(u' ')));
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
