// The program's command line, run as a process with no display: help, version, usage errors,
// and --convert file by file (its messages, its exit status, and a signal in the middle).
#include "dbread.h"
#include "params.h"
#include "tempdb.h"

#include <QtTest>

#include <csignal>

namespace {

struct Outcome {
    int status = -1;
    QString out, err;
};

Outcome runProgram(const QStringList &arguments, QProcess *started = nullptr)
{
    QProcess own;
    QProcess &p = started ? *started : own;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(PROGRAM), arguments);
    if (started)
        return {};
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

const QString schema = QStringLiteral(R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(10));
INSERT INTO PRODUTOS VALUES ('1234567');
)");

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void arguments_data();
    void arguments();
    void signalStopsTheRun();
    void progressLineOnATerminal();

private:
    TempDatabases dbs_;
    QString good_, noSubstr_;
};

void TestCommandLine::initTestCase()
{
    QVERIFY(dbs_.isValid());
    good_ = dbs_.create(QStringLiteral("boa.fb"), TempDatabases::fixture(QStringLiteral("substr.sql")) + schema);
    QVERIFY2(!good_.isEmpty(), qPrintable(dbs_.lastError()));
    noSubstr_ = dbs_.create(QStringLiteral("sem-substr.fb"), schema); // every rewrite fails
    QVERIFY2(!noSubstr_.isEmpty(), qPrintable(dbs_.lastError()));
}

void TestCommandLine::arguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // patterns the outputs must match
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("converted"); // the file whose code must be rewritten, if any

    const QString good = dbs_.path(QStringLiteral("boa.fb")), bad = dbs_.path(QStringLiteral("sem-substr.fb"));
    const QString missing = dbs_.path(QStringLiteral("nao-existe.fb"));
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "--convert.*ARQUIVO" << "^$" << "";
    QTest::newRow("-h") << QStringList{"-h"} << 0 << "^Uso: " << "^$" << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "^conversor \\d+\\.\\d+\\.\\d+\\n$" << "^$" << "";
    QTest::newRow("an unknown option") << QStringList{"--desconhecida"} << 2 << "^$" << "desconhecida" << "";
    QTest::newRow("--convert with no file") << QStringList{"--convert"} << 2 << "^$" << "Nenhum arquivo" << "";
    QTest::newRow("two files for the window") << QStringList{good, bad} << 2 << "^$" << "--convert" << "";
    QTest::newRow("a file that is not there")
        << QStringList{"--convert", missing} << 1
        << "^" + QRegularExpression::escape(missing) + ": Não foi possível conectar ao banco de dados Vestrel Motivo: .*No such file"
        << "" << "";
    QTest::newRow("one file") << QStringList{"--convert", good} << 0
                              << "^" + QRegularExpression::escape(good) + ": Dados atualizados com sucesso! \\n$"
                              << "Atualizando tabela: PRODUTOS\\nConcluído!\\n" << good;
    QTest::newRow("two files, the second fails")
        << QStringList{"--convert", good, bad} << 1
        << "^" + QRegularExpression::escape(good) + ": Dados atualizados com sucesso! \\n" + QRegularExpression::escape(bad)
               + ": Erro ao atualizar a tabela PRODUTOS +Motivo: .*SUBSTR\\n$"
        << "" << good;
}

void TestCommandLine::arguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, converted);
    // Every row starts from the same codes.
    if (!converted.isEmpty())
        QVERIFY(TempDatabases::isql(converted, QStringLiteral("UPDATE PRODUTOS SET CODPROD = '1234567';\nCOMMIT;\n")).ok);
    const Outcome o = runProgram(arguments);
    QCOMPARE(o.status, status);
    const auto matches = [](const QString &pattern, const QString &text) {
        return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption).match(text).hasMatch();
    };
    QVERIFY2(matches(out, o.out), qPrintable(QStringLiteral("stdout: [%1]").arg(o.out)));
    QVERIFY2(matches(err, o.err), qPrintable(QStringLiteral("stderr: [%1]").arg(o.err)));
    if (!converted.isEmpty())
        QCOMPARE(readColumn(converted, QStringLiteral("select CODPROD from PRODUTOS")), QStringList{"203456"});
}

void TestCommandLine::signalStopsTheRun()
{
    const QString file = dbs_.create(QStringLiteral("grande.fb"), TempDatabases::fixture(QStringLiteral("substr.sql")) + R"(
CREATE TABLE GRANDE (ID INTEGER, CODPROD VARCHAR(10));
COMMIT;
SET TERM ^ ;
EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 600000) DO BEGIN INSERT INTO GRANDE VALUES (:I, '1234567'); I = I + 1; END END^
SET TERM ; ^
)");
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    QProcess p;
    runProgram({QStringLiteral("--convert"), file, good_}, &p);
    p.setReadChannel(QProcess::StandardError);
    QVERIFY(p.waitForReadyRead(20000)); // its first status line: the run is under way
    QTest::qWait(300);
    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 128 + SIGTERM);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(err.count(QStringLiteral("conversor: ")), 1);
    QVERIFY2(err.contains(QStringLiteral(": conversão interrompida por SIGTERM; nada foi alterado.")), qPrintable(err));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QString()); // no final message: no box
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from GRANDE where CODPROD = '1234567'")), QStringList{"600000"});
}

void TestCommandLine::progressLineOnATerminal()
{
    QVERIFY(TempDatabases::isql(good_, QStringLiteral("UPDATE PRODUTOS SET CODPROD = '1234567';\nCOMMIT;\n")).ok);
    // script(1) gives the program a terminal for its output.
    QProcess p;
    p.start(QStringLiteral("script"), {"-qec", QStringLiteral("%1 --convert %2").arg(QStringLiteral(PROGRAM), good_), "/dev/null"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    const QString seen = QString::fromUtf8(p.readAllStandardOutput());
    // One line, redrawn in place: a bar, the count and the status; no status on lines of its own.
    QVERIFY2(seen.contains(QStringLiteral("\r\033[K[") + QString(30, u'#') + QStringLiteral("] 1/1 Atualizando tabela: PRODUTOS")),
             qPrintable(seen));
    QVERIFY2(!seen.contains(QStringLiteral("\nAtualizando tabela")), qPrintable(seen));
    QVERIFY(seen.contains(good_ + QStringLiteral(": Dados atualizados com sucesso! ")));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
