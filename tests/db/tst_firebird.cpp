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

#include <string_view>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>


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

// A server that does not answer: a listening socket on loopback whose connections the kernel
// accepts and nobody reads, as a server that hangs or a firewall that swallows replies looks
// to a client.
class SilentServer {
public:
    SilentServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd_, 8) != 0
            || ::getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SilentServer(const SilentServer &) = delete;
    SilentServer &operator=(const SilentServer &) = delete;
    // "127.0.0.1/port:/path", as a database on that server is named.
    QString database() const { return QStringLiteral("127.0.0.1/%1:/dados/loja.fb").arg(port_); }
    bool listening() const { return port_ != 0; }

private:
    int fd_ = -1;
    int port_ = 0;
};

} // namespace

class TestFirebird : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void attachAndDetach();
    void rowsAffected();
    void textKeepsItsPadBlanks();
    void countOfTheDiscoveryUnderDialect1();
    void cursorSurvivesUpdatesAndCommit();
    void everyCharacterSetLoads();
    void statementsTakeEffectAtTheCommit_data();
    void statementsTakeEffectAtTheCommit();
    void textBlobsReadWhole();
    void aServerThatDoesNotAnswer();
    void anAttachGivenUp();

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
    QCOMPARE(db.state(), TConnectionState::csStateOpen);
    QCOMPARE(db.quoteChar(), QString()); // dialect 1: double quotes are strings
    db.setConnected(false);
    QCOMPARE(db.state(), TConnectionState::csStateClosed);
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

void TestFirebird::statementsTakeEffectAtTheCommit_data()
{
    // Every statement goes to the engine as written, in one transaction: data and metadata
    // alike take effect at "Commit", and are undone by a rollback or by letting go of the file.
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("check"); // what another connection reads
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("end"); // "commit", "rollback", "detach"
    const struct {
        const char *name, *statement, *check, *before, *after;
    } rows[] = {
        {"an update", "update GAMA set CODPROD = 'novo'", "select CODPROD from GAMA", "3333333", "novo"},
        {"a trigger switched off", "ALTER TRIGGER ALFA_BU INACTIVE",
         "select RDB$TRIGGER_INACTIVE from RDB$TRIGGERS where RDB$TRIGGER_NAME = 'ALFA_BU'", "0", "1"},
        {"the database's description", "COMMENT ON DATABASE IS x'436F6E636569C3A7C3A36F'", // Conceição
         "select coalesce(RDB$DESCRIPTION, '<none>') from RDB$DATABASE", "<none>", "Conceição"},
    };
    for (const auto &row : rows)
        for (const char *end : {"commit", "rollback", "detach"})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QString::fromUtf8(row.name), QLatin1String(end))))
                << QString::fromUtf8(row.statement) << QString::fromUtf8(row.check) << QString::fromUtf8(row.before)
                << QString::fromUtf8(end == std::string_view("commit") ? row.after : row.before) << QString::fromLatin1(end);
}

void TestFirebird::statementsTakeEffectAtTheCommit()
{
    QFETCH(QString, statement);
    QFETCH(QString, check);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QString, end);
    static int n = 0;
    const QString file = dbs_.create(QStringLiteral("commit%1.fb").arg(++n), QString::fromLatin1(threeTables));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), file);
    exec(db, statement);
    QCOMPARE(readColumn(file, check), QStringList{before}); // not yet: the transaction is open
    if (end == QLatin1String("commit"))
        exec(db, runtexts::commit);
    else if (end == QLatin1String("rollback"))
        db.rollback();
    else
        db.setConnected(false);
    QCOMPARE(readColumn(file, check), QStringList{after});
    // The connection goes on working afterwards.
    exec(db, QStringLiteral("update BETA set CODPROD = CODPROD"));
    exec(db, runtexts::commit);
}

void TestFirebird::textBlobsReadWhole()
{
    const QString long_ = QStringLiteral("Loja da Conceição ") + QString(30000, u'x');
    QCOMPARE(readColumn(sample_, QStringLiteral("select cast('%1' || ascii_char(10) || 'fim' as blob sub_type text) "
                                                "from rdb$database").arg(long_)),
             QStringList{long_ + QStringLiteral("\nfim")});
    QCOMPARE(readColumn(sample_, QStringLiteral("select cast(null as blob sub_type text) from rdb$database")),
             QStringList{"<null>"});
}

void TestFirebird::aServerThatDoesNotAnswer()
{
    SilentServer server;
    QVERIFY(server.listening());
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), server.database());
    db.Params.setValue(QStringLiteral("ConnectTimeout"), QStringLiteral("2"));
    QElapsedTimer clock;
    clock.start();
    try {
        db.setConnected(true);
        QFAIL("attached to a server that never answered");
    } catch (const TDBXError &e) {
        QVERIFY2(e.engineCode() != 0, qPrintable(e.message()));
    }
    // The time limit, not the client library's three minutes.
    QVERIFY2(clock.elapsed() >= 1500 && clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(db.state(), TConnectionState::csStateClosed);
}

void TestFirebird::anAttachGivenUp()
{
    SilentServer server;
    QVERIFY(server.listening());
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), server.database());
    db.Params.setValue(QStringLiteral("ConnectTimeout"), QStringLiteral("3"));
    QElapsedTimer clock;
    std::thread stopper([&] {
        QThread::msleep(300);
        db.cancel(dbx::Cancel::Raise);
    });
    clock.start();
    QString failure;
    try {
        db.setConnected(true);
    } catch (const TDBXError &e) {
        failure = e.message();
    }
    const qint64 stoppedAfter = clock.elapsed();
    stopper.join();
    QVERIFY2(!failure.isEmpty(), "attached");
    QVERIFY2(stoppedAfter < 1500, qPrintable(QString::number(stoppedAfter)));
    QCOMPARE(db.state(), TConnectionState::csStateClosed);
    // The attach goes on without anybody, until the server's time is up; then nothing is left.
    QVERIFY(TSQLConnection::attachesGivenUp());
    QTRY_VERIFY_WITH_TIMEOUT(!TSQLConnection::attachesGivenUp(), 15000);
    // The connection object attaches again as ever.
    db.Params.setValue(QStringLiteral("DataBase"), sample_);
    db.setConnected(true);
    QVERIFY(db.Connected());
}

QTEST_GUILESS_MAIN(TestFirebird)
#include "tst_firebird.moc"
