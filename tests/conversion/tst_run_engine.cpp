// The conversion run against the real embedded engine: every code rewritten once, nothing
// changed by a failed run, and the connect step's texts for files that are no usable database.
#include "check.h"
#include "codemap.h"
#include "conversion.h"
#include "dbread.h"
#include "errors.h"
#include "filenames.h"
#include "guard.h"
#include "marks.h"
#include "params.h"
#include "queries.h"
#include "repair.h"
#include "restore.h"
#include "recordingview.h"
#include "sheet.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "statements.h"
#include "triggerswitch.h"
#include "tempdb.h"

#include <QtTest>

#include <unistd.h>

namespace {

// Two tables of codes, one of them with a logging trigger, and the shops' SUBSTR.
const char *schema = R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(10), DESCRICAO VARCHAR(40));
CREATE TABLE ESTOQUE (CODPROD CHAR(8), QUANTIDADE INTEGER);
CREATE TABLE LOG_ALTERACOES (CODIGO VARCHAR(10));
INSERT INTO PRODUTOS VALUES ('1234567', 'Camisa');
INSERT INTO PRODUTOS VALUES ('2000001', 'Meia');
INSERT INTO PRODUTOS VALUES (NULL, 'Sem código');
INSERT INTO ESTOQUE VALUES ('1234567', 10);
SET TERM ^ ;
CREATE TRIGGER PRODUTOS_AU FOR PRODUTOS AFTER UPDATE AS
BEGIN INSERT INTO LOG_ALTERACOES VALUES (NEW.CODPROD); END^
SET TERM ; ^
)";

// What the shops' SUBSTR makes of one code: characters 2..2, "0", characters 3..6.
QString converted(const QString &code)
{
    if (code == QLatin1String("<null>"))
        return code;
    return code.mid(1, 1) + u'0' + trimControl(code).mid(2, 4);
}

const QStringList codeTables = {"ESTOQUE", "PRODUTOS"};

// Each table's codes, sorted.
QMap<QString, QStringList> codes(const QString &file, const QStringList &tables)
{
    QMap<QString, QStringList> all;
    for (const QString &t : tables) {
        QStringList values;
        for (const QString &v : readColumn(file, QStringLiteral("select CODPROD from %1").arg(t)))
            values << trimControl(v);
        values.sort();
        all[t] = values;
    }
    return all;
}

QMap<QString, QStringList> convertedOnce(QMap<QString, QStringList> before)
{
    for (QStringList &values : before) {
        for (QString &v : values)
            v = converted(v);
        values.sort();
    }
    return before;
}

QString triggerStates(const QString &file)
{
    return readColumn(file, QStringLiteral("select RDB$TRIGGER_INACTIVE from RDB$TRIGGERS where RDB$SYSTEM_FLAG = 0 "
                                           "and RDB$TRIGGER_SOURCE is not null"))
        .join(u',');
}

} // namespace

class TestRunEngine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void convertsEveryCodeOnce();
    void failureAtTheThirdTableChangesNothing();
    void aFailureDuringTheCopyEndsTheBackupLock();
    void anotherFileBetweenRuns();
    void filesThatAreNoUsableDatabase_data();
    void filesThatAreNoUsableDatabase();
    void thousandRelations();
    void theListHasWhatWasWrittenAfterTheSurvey();
    void theListReadsTheDatabasesCharacterSet_data();
    void theListReadsTheDatabasesCharacterSet();
    void aRunCutShortKeepsEveryoneOut_data();
    void aRunCutShortKeepsEveryoneOut();
    void listWhereTheFolderCannotBeWritten_data();
    void listWhereTheFolderCannotBeWritten();
    void theWayBackPutsBackOnlyAWholeCopy_data();
    void theWayBackPutsBackOnlyAWholeCopy();
    void theSafetyCopyIsNoDatabaseToConvert();
    void whatAnAdministratorLeftOfADoorIsNoObstacle();
    void aWayBackCutShortBeforeTheDropChangedNothing_data();
    void aWayBackCutShortBeforeTheDropChangedNothing();
    void onlyThisProgramsPartialCopyIsRemoved_data();
    void onlyThisProgramsPartialCopyIsRemoved();

private:
    TempDatabases dbs_;
    QString sql_;
};

void TestRunEngine::initTestCase()
{
    QVERIFY(dbs_.isValid());
    sql_ = TempDatabases::fixture(QStringLiteral("substr.sql")) + QString::fromUtf8(schema);
}

void TestRunEngine::convertsEveryCodeOnce()
{
    const QString file = dbs_.create(QStringLiteral("once.fb"), sql_);
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const auto before = codes(file, codeTables);
    QCOMPARE(before[QStringLiteral("PRODUTOS")], (QStringList{"1234567", "2000001", "<null>"}));

    const QDateTime started = QDateTime::currentDateTime();
    const RecordingView view = convertOnce(file);
    QCOMPARE(view.boxes.size(), 1);
    // The safety copy is beside the file, named for the time of the run, and holds the codes as
    // they were; it opens as a database of its own, with nothing left of the backup lock.
    const QStringList made = QDir(dbs_.path(QString())).entryList({QStringLiteral("once.*")}, QDir::Files);
    QCOMPARE(made.size(), 4); // the database, its copy, the list of codes as a spreadsheet and as CSV
    const QString copy = dbs_.path(made.filter(QStringLiteral(".copia-")).value(0));
    const QRegularExpressionMatch stamp =
        QRegularExpression(QStringLiteral("/once\\.copia-(\\d{8}-\\d{6})\\.fb$")).match(copy);
    QVERIFY2(stamp.hasMatch(), qPrintable(made.join(u' ')));
    const QDateTime when = QDateTime::fromString(stamp.captured(1), QStringLiteral("yyyyMMdd-HHmmss"));
    QVERIFY2(when >= started.addSecs(-1) && when <= QDateTime::currentDateTime(), qPrintable(stamp.captured(1)));
    // The list carries the run's time too, the copy's: the two of one run go together. The box
    // names the spreadsheet a clerk opens first, then the CSV to import.
    const QString sheet = dbs_.path(QStringLiteral("once.de-para-%1.xlsx").arg(stamp.captured(1)));
    const QString list = dbs_.path(QStringLiteral("once.de-para-%1.csv").arg(stamp.captured(1)));
    QVERIFY2(QFileInfo::exists(sheet) && QFileInfo::exists(list), qPrintable(made.join(u' ')));
    QCOMPARE(view.boxes[0].text, QStringLiteral("Dados atualizados com sucesso! \rCópia de segurança: ") + copy
                                     + QStringLiteral("\rCódigos antigos e novos: ") + sheet
                                     + QStringLiteral("\rA mesma lista, para importar: ") + list);
    QCOMPARE(codes(copy, codeTables), before);
    QCOMPARE(view.boxes[0].gaugeMax, 2);
    const QStringList copying = view.copyLines();
    QVERIFY(!copying.isEmpty());
    QCOMPARE(copying.last(), QStringLiteral("Copiando o banco: 100%"));
    QCOMPARE(view.statuses.mid(copying.size()),
             (QStringList{"Lendo os códigos antigos e novos…", "Atualizando tabela: ESTOQUE", "Atualizando tabela: PRODUTOS",
                          "Concluído! Cópia e lista em " + QFileInfo(file).absolutePath()}));
    QCOMPARE(codes(file, codeTables), convertedOnce(before));
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from LOG_ALTERACOES")), QStringList{"0"});
    QCOMPARE(triggerStates(file), QStringLiteral("0"));
    QCOMPARE(readColumn(file, QStringLiteral("select MON$BACKUP_STATE from MON$DATABASE")), QStringList{"0"});
}

void TestRunEngine::failureAtTheThirdTableChangesNothing()
{
    // Two of A3's codes become one under its unique key: the engine refuses its rewrite, after
    // A1 and A2 have been rewritten.
    const QString five = sql_ + QStringLiteral(R"(
CREATE TABLE A1 (CODPROD VARCHAR(10));
CREATE TABLE A2 (CODPROD VARCHAR(10));
CREATE TABLE A3 (CODPROD VARCHAR(10), CONSTRAINT A3_CODIGO UNIQUE (CODPROD));
CREATE TABLE A4 (CODPROD VARCHAR(10));
CREATE TABLE A5 (CODPROD VARCHAR(10));
INSERT INTO A1 VALUES ('1234567');
INSERT INTO A2 VALUES ('1234567');
INSERT INTO A3 VALUES ('1234567');
INSERT INTO A3 VALUES ('9234567');
INSERT INTO A4 VALUES ('1234567');
INSERT INTO A5 VALUES ('1234567');
)");
    const QString file = dbs_.create(QStringLiteral("third.fb"), five);
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const QStringList all = QStringList{"A1", "A2", "A3", "A4", "A5"} + codeTables;
    const auto before = codes(file, all);

    TSQLConnection db;
    RecordingView view;
    view.path = file;
    Conversion(db, view).run();
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Error);
    QVERIFY2(view.boxes[0].text.startsWith(QStringLiteral("Erro ao atualizar a tabela A3\rMotivo: ")), qPrintable(view.boxes[0].text));
    QVERIFY2(view.boxes[0].text.endsWith(QStringLiteral("\rCódigos que ficariam iguais: 1234567 e 9234567 → 203456 (A3, chave "
                                                        "A3_CODIGO).\rA lista completa, com todos os códigos: conversor "
                                                        "--check --de-para %1 (a coluna codigo_novo_repetido).").arg(file)),
             qPrintable(view.boxes[0].text));
    // While the box is open the gauge and the status line show where the run stopped; then,
    // nothing having changed, they say so.
    QCOMPARE(view.boxes[0].gaugeValue, 2);
    QCOMPARE(view.boxes[0].status, QStringLiteral("Atualizando tabela: A3"));
    QCOMPARE(view.gaugeValue, 0);
    QCOMPARE(view.status, QStringLiteral("Nada foi alterado."));
    QCOMPARE(codes(file, all), before);
    QCOMPARE(triggerStates(file), QStringLiteral("0"));
    QCOMPARE(QDir(dbs_.path(QString())).entryList({QStringLiteral("third.*")}, QDir::Files), QStringList{"third.fb"});

    // Mended, the same file converts each table once.
    db.setConnected(false);
    QVERIFY(TempDatabases::isql(file, QStringLiteral("DELETE FROM A3 WHERE CODPROD = '9234567';\nCOMMIT;\n")).ok);
    Conversion(db, view).run();
    QCOMPARE(view.boxes.last().kind, MessageKind::Information);
    auto mended = before;
    mended[QStringLiteral("A3")].removeOne(QStringLiteral("9234567"));
    QCOMPARE(codes(file, all), convertedOnce(mended));
    QCOMPARE(triggerStates(file), QStringLiteral("0"));
}

void TestRunEngine::aFailureDuringTheCopyEndsTheBackupLock()
{
    // The copy stops half-way (here the window refuses its status line): the engine's backup
    // lock is let go of, the partial copy removed, and nothing else was changed.
    class RefusingView final : public ConversionView {
    public:
        RecordingView recorded;
        QString pathText() const override { return recorded.path; }
        void showMessage(MessageKind kind, const QString &text) override { recorded.showMessage(kind, text); }
        bool confirm(const QString &text) override { return recorded.confirm(text); }
        void setGaugeMax(int maximum) override { recorded.setGaugeMax(maximum); }
        void setStatus(const QString &text) override
        {
            if (text.startsWith(QLatin1String("Copiando")))
                throw Exception(QStringLiteral("a janela recusou"));
            recorded.setStatus(text);
        }
        void flushProgress() override {}
        void addProgress(int amount) override { recorded.addProgress(amount); }
        void setProgress(int value) override { recorded.setProgress(value); }
    };
    const QString file = dbs_.create(QStringLiteral("trava.fb"), sql_);
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const auto before = codes(file, codeTables);
    TSQLConnection db;
    RefusingView view;
    view.recorded.path = file;
    Conversion conversion(db, view);
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Failed);
    QCOMPARE(view.recorded.boxes.size(), 1);
    QVERIFY2(view.recorded.boxes[0].text.startsWith(QStringLiteral("Erro ao fazer a cópia de segurança\rMotivo: ")),
             qPrintable(view.recorded.boxes[0].text));
    QCOMPARE(readColumn(file, QStringLiteral("select MON$BACKUP_STATE from MON$DATABASE")), QStringList{"0"});
    QCOMPARE(QDir(dbs_.path(QString())).entryList({QStringLiteral("trava*")}, QDir::Files), QStringList{"trava.fb"});
    QCOMPARE(codes(file, codeTables), before);
    QCOMPARE(triggerStates(file), QStringLiteral("0"));
}

void TestRunEngine::anotherFileBetweenRuns()
{
    const QString first = dbs_.create(QStringLiteral("first.fb"), sql_);
    QVERIFY2(!first.isEmpty(), qPrintable(dbs_.lastError()));
    const QString second = dbs_.create(QStringLiteral("second.fb"), sql_);
    QVERIFY2(!second.isEmpty(), qPrintable(dbs_.lastError()));
    const auto before = codes(first, codeTables);
    TSQLConnection db;
    RecordingView view;
    view.path = first;
    Conversion(db, view).run();
    view.path = second;
    Conversion(db, view).run();
    QCOMPARE(view.boxes.size(), 2);
    QCOMPARE(view.boxes[1].kind, MessageKind::Information);
    db.setConnected(false);
    QCOMPARE(codes(first, codeTables), convertedOnce(before));
    QCOMPARE(codes(second, codeTables), convertedOnce(before));
}

void TestRunEngine::filesThatAreNoUsableDatabase_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("explanation"); // what it means to a clerk, in Portuguese ("": none)
    QTest::addColumn<QString>("reason");      // the engine's own words
    const QString dir = dbs_.path(QStringLiteral("bad"));
    const QString notADatabase = QStringLiteral("O arquivo escolhido não é um banco de dados do Firebird: confira se é o "
                                                "arquivo certo (.fb ou .fdb).");
    QTest::newRow("missing file") << "missing" << "O arquivo não foi encontrado: confira o caminho escolhido."
                                  << QStringLiteral("I/O error during \"open\" operation for file \"%1/missing.fb\"\n"
                                                    "Error while trying to open file\nNo such file or directory").arg(dir);
    QTest::newRow("directory") << "directory" << notADatabase
                               << QStringLiteral("I/O error during \"read\" operation for file \"%1/directory.fb\"\n"
                                                 "Error while trying to read from file\nIs a directory").arg(dir);
    QTest::newRow("empty file") << "empty" << notADatabase
                                << QStringLiteral("I/O error during \"read\" operation for file \"%1/empty.fb\"\n"
                                                  "File size is less than expected").arg(dir);
    QTest::newRow("text file") << "text" << notADatabase << QStringLiteral("file %1/text.fb is not a valid database").arg(dir);
    QTest::newRow("read-only file") << "read-only"
                                    << "Chame o técnico responsável pelo sistema.\rO banco só pode ser lido, não alterado (o "
                                       "arquivo, a pasta ou o banco está somente para leitura).\r\rPara o técnico: dê a este "
                                       "usuário permissão de gravação no arquivo e na pasta do banco (ou, se for o banco, gfix "
                                       "-mode read_write) e tente de novo."
                                    << QStringLiteral("no permission for read-write access to database %1/read-only.fb").arg(dir);
    // The header of a database of another engine's version.
    QTest::newRow("a newer engine's file")
        << "newer"
        << "Chame o técnico responsável pelo sistema.\rO banco é de uma versão mais nova do Firebird.\r\rPara o técnico: "
           "faça uma cópia com o gbak -b dessa versão e converta-o pelo servidor dela, sem a cópia do programa (conversor "
           "--convert --no-copy servidor:/caminho/do/banco)."
        << QStringLiteral("unsupported on-disk structure for file %1/newer.fb; found 13.0, support 12.2").arg(dir);
    QTest::newRow("an older engine's file")
        << "older"
        << "Chame o técnico responsável pelo sistema.\rO banco é de uma versão anterior do Firebird.\r\rPara o técnico: "
           "faça uma cópia com o gbak -b dessa versão e restaure-a com o gbak -c deste computador antes de converter."
        << QStringLiteral("unsupported on-disk structure for file %1/older.fb; found 11.0, support 12.2").arg(dir);
    QTest::newRow("held by another process")
        << "held"
        << "O arquivo do banco está aberto por outro programa: feche os programas que o usam (ou converta pelo servidor do "
           "Firebird que o tem aberto) e tente de novo."
        << QStringLiteral("I/O error during \"lock\" operation for file \"%1/held.fb\"\n"
                          "Database already opened with engine instance, incompatible with current").arg(dir);
    QTest::newRow("a name of another system") << "latin1"
                                              << "O nome do arquivo tem letras de outro sistema (não é UTF-8), e o Firebird não "
                                                 "abre um banco com esse nome: renomeie o arquivo, sem acentos, e tente de novo."
                                              << "Invalid connection string\nCannot transliterate character between character "
                                                 "sets\nInvalid or incomplete multibyte or wide character";
}

void TestRunEngine::filesThatAreNoUsableDatabase()
{
    QFETCH(QString, kind);
    QFETCH(QString, explanation);
    QFETCH(QString, reason);
    QDir().mkpath(dbs_.path(QStringLiteral("bad")));
    // A name written on a Latin-1 system: its bytes are no UTF-8.
    const QString latin1 = dbs_.path(QStringLiteral("bad/")) + filenames::decode(QByteArray("loj\xe1.fb"));
    const QString path = kind == QLatin1String("latin1") ? latin1 : dbs_.path(QStringLiteral("bad/%1.fb").arg(kind));
    QProcess holder;
    bool immutable = false;
    if (kind == QLatin1String("latin1")) {
        const QString made = dbs_.create(QStringLiteral("latin1.fb"), sql_);
        QVERIFY2(!made.isEmpty(), qPrintable(dbs_.lastError()));
        QVERIFY(::link(QFile::encodeName(made).constData(), filenames::encode(path).constData()) == 0);
    } else if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("empty") || kind == QLatin1String("text")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("text"))
            f.write(QByteArray("codigo;descricao\n1234567;Camisa\n").repeated(500));
    } else if (kind == QLatin1String("newer") || kind == QLatin1String("older")) {
        const QString made = dbs_.create(kind + QStringLiteral(".fb"), sql_);
        QVERIFY2(!made.isEmpty(), qPrintable(dbs_.lastError()));
        QVERIFY(QFile::copy(made, path));
        // The on-disk structure's major version: a little-endian 16-bit word at byte 18 of the
        // header page, with the engine's flag 0x8000.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(18));
        const char version[2] = {char(kind == QLatin1String("newer") ? 13 : 11), char(0x80)};
        QCOMPARE(f.write(version, 2), 2);
    } else if (kind == QLatin1String("read-only") || kind == QLatin1String("held")) {
        const QString made = dbs_.create(kind + QStringLiteral(".fb"), sql_);
        QVERIFY2(!made.isEmpty(), qPrintable(dbs_.lastError()));
        QVERIFY(QFile::copy(made, path));
        if (kind == QLatin1String("read-only")) {
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
            // Root writes whatever the mode says; the immutable flag stops root too.
            if (geteuid() == 0) {
                immutable = QProcess::execute(QStringLiteral("chattr"), {"+i", path}) == 0;
                if (!immutable)
                    QSKIP("running as root on a file system without the immutable flag");
            }
        } else {
            holder.start(QStringLiteral("isql-fb"), {"-q", "-user", "SYSDBA", "-password", "x", path});
            holder.write("select 'attached' from rdb$database;\n");
            QVERIFY(holder.waitForReadyRead(20000));
        }
    }
    auto cleanup = qScopeGuard([&] {
        // Qt cannot remove a name that is no UTF-8 with the test's folder.
        ::unlink(filenames::encode(latin1).constData());
        if (immutable)
            QProcess::execute(QStringLiteral("chattr"), {"-i", path});
        if (holder.state() != QProcess::NotRunning) {
            holder.closeWriteChannel();
            holder.waitForFinished(5000);
        }
    });

    TSQLConnection db;
    RecordingView view;
    view.path = path;
    Conversion(db, view).run();
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Error);
    // A technician's explanation calls the technician above the heading.
    const QString call = QStringLiteral("Chame o técnico responsável pelo sistema.\r");
    const bool technician = explanation.startsWith(call);
    QCOMPARE(view.boxes[0].text, (technician ? call : QString()) + QStringLiteral("Não foi possível conectar ao banco de dados Vestrel\r")
                                     + (explanation.isEmpty() ? QString() : explanation.mid(technician ? call.size() : 0) + u'\r')
                                     + QStringLiteral("Motivo: ") + reason);
    // After the box, the status line says what the guide promises after every failure.
    QCOMPARE(view.boxes[0].status, QString());
    QCOMPARE(view.statuses, QStringList{QStringLiteral("Nada foi alterado.")});
    QCOMPARE(db.state(), TConnectionState::csStateClosed);

    // The tool goes on working with a good database.
    const QString good = dbs_.create(QStringLiteral("good-after-%1.fb").arg(kind).replace(u' ', u'-'), sql_);
    QVERIFY2(!good.isEmpty(), qPrintable(dbs_.lastError()));
    view.path = good;
    Conversion(db, view).run();
    QVERIFY2(view.boxes.last().text.startsWith(QStringLiteral("Dados atualizados com sucesso! \r")),
             qPrintable(view.boxes.last().text));
}

// A thousand tables, as a large shop's database has: past the engine's 255 tables in one
// statement and its 64 KB of statement text, which the list of codes must stay under by
// reading the tables in groups; and a gauge of a thousand steps, each one painted.
void TestRunEngine::thousandRelations()
{
    QString script;
    for (int i = 0; i < 1000; ++i)
        script += QStringLiteral("CREATE TABLE T%1 (CODPROD VARCHAR(10));\nINSERT INTO T%1 VALUES ('1234567');\n")
                      .arg(i, 4, 10, QLatin1Char('0'));
    const QString file = dbs_.create(QStringLiteral("many.fb"), sql_ + script);
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const RecordingView view = convertOnce(file);
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Information);
    QCOMPARE(view.boxes[0].gaugeMax, 1002);
    QCOMPARE(view.boxes[0].gaugeValue, 1002);
    // A flush for each relation, each step of the copy, and the list's reading.
    QCOMPARE(view.events.count(QStringLiteral("flush")), 1002 + view.copyLines().size() + 1);
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from T0999 where CODPROD = '203456'")), QStringList{"1"});
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from T0000 where CODPROD = '203456'")), QStringList{"1"});
    // The list counts the code in every table, whichever group read it: the thousand, and the
    // product and its stock of the shop's own tables.
    const QStringList lists = QDir(dbs_.path(QString())).entryList({QStringLiteral("many.de-para-*.csv")}, QDir::Files);
    QCOMPARE(lists.size(), 1);
    QFile list(dbs_.path(lists[0]));
    QVERIFY(list.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(list.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() > 1, "no codes listed");
    QVERIFY2(lines.filter(QRegularExpression(QStringLiteral("^1234567;203456;1002;"))).size() == 1, qPrintable(lines.join(u'|')));
}

void TestRunEngine::aRunCutShortKeepsEveryoneOut_data()
{
    QTest::addColumn<QString>("then");     // what comes next: the next run, --check, --unlock
    QTest::addColumn<bool>("committed");   // the run cut short had committed its codes
    QTest::addColumn<QString>("said");     // what it says of the run cut short
    const QString undone = QStringLiteral("a conversão interrompida de 10/12 14:30 foi desfeita: os códigos estão como antes dela");
    QTest::newRow("undone, then the next run") << "run" << false << undone;
    QTest::newRow("undone, then --check") << "check" << false << undone;
    QTest::newRow("undone, then --unlock") << "unlock" << false << undone;
    QTest::newRow("finished, then --check")
        << "check" << true << "a conversão interrompida de 10/12 14:30 tinha chegado ao fim: o banco já está convertido";
}

void TestRunEngine::aRunCutShortKeepsEveryoneOut()
{
    QFETCH(QString, then);
    QFETCH(bool, committed);
    QFETCH(QString, said);
    const QString file = dbs_.create(QStringLiteral("cut-%1-%2.fb").arg(then).arg(committed), sql_);
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    // What a run killed after its reservation leaves, made with the run's own pieces: the record
    // of its reservation, its door, its triggers switched off, all committed.
    {
        TSQLConnection db;
        db.Params.setValue(QStringLiteral("DataBase"), file);
        db.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
        db.setConnected(true);
        TSQLQuery q;
        q.setSQLConnection(&db);
        const QDateTime at(QDate(2026, 12, 10), QTime(14, 30));
        marks::Description d = marks::reserved(at);
        if (committed)
            d = marks::withLine(d, marks::converted(at.addSecs(90)));
        queries::execute(q, statements::describeDatabase(d));
        guard::close(q, file);
        TriggerSwitch triggers(db, q);
        triggers.read();
        triggers.switchOff();
        CodeMap::make(q);
        queries::execute(q, statements::commit());
    }
    QCOMPARE(readColumn(file, QStringLiteral("select trim(RDB$TRIGGER_NAME) || '=' || RDB$TRIGGER_INACTIVE from RDB$TRIGGERS "
                                             "where RDB$SYSTEM_FLAG = 0 order by 1")),
             (QStringList{"CONVERSOR$PORTA=0", "PRODUTOS_AU=1"}));

    // Nobody else gets in, the administrator's programs included, and each is told the command.
    TSQLConnection plain;
    plain.Params.setValue(QStringLiteral("DataBase"), file);
    try {
        plain.setConnected(true);
        QFAIL("a plain attach got past the door");
    } catch (const TDBXError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("conversor --check ") + file), qPrintable(e.message()));
    }
    const TempDatabases::Isql shop = TempDatabases::isql(file, QStringLiteral("update PRODUTOS set DESCRICAO = 'x';"));
    QVERIFY(!shop.ok);
    QVERIFY2(shop.output.contains(QStringLiteral("ninguém mais entra nele")), qPrintable(shop.output));

    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), file);
    if (then == QLatin1String("run")) {
        const RecordingView view = convertOnce(file);
        QCOMPARE(view.boxes.size(), 1);
        QVERIFY2(view.boxes[0].text.endsWith(QStringLiteral("\rAntes: ") + said + QStringLiteral("; os gatilhos que ela deixou "
                                                                                              "desativados foram reativados (PRODUTOS_AU).")),
                 qPrintable(view.boxes[0].text));
    } else if (then == QLatin1String("check")) {
        const QStringList lines = CheckReport::examine(db).lines();
        QVERIFY2(lines.contains(QStringLiteral("  feito: ") + said), qPrintable(lines.join(u'\n')));
    } else {
        const QStringList done = repair::giveBack(db, true);
        QCOMPARE(done.value(0), said);
        QVERIFY(done.contains(QStringLiteral("o banco foi devolvido aos programas da loja")));
    }
    // Given back: anyone attaches again, every trigger as before the run cut short.
    plain.setConnected(true);
    plain.setConnected(false);
    QCOMPARE(triggerStates(file), QStringLiteral("0"));
    QVERIFY(readColumn(file, QStringLiteral("select RDB$DESCRIPTION from RDB$DATABASE")).value(0).indexOf(QStringLiteral("reservado")) < 0);
    // Nothing of the run's map of codes is left either.
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from RDB$RELATIONS where RDB$RELATION_NAME = 'CONVERSOR$MAPA'")),
             QStringList{"0"});
}

void TestRunEngine::aWayBackCutShortBeforeTheDropChangedNothing_data()
{
    QTest::addColumn<QString>("then"); // --check or --unlock
    QTest::newRow("then --check") << "check";
    QTest::newRow("then --unlock") << "unlock";
}

// A way back through the server's page copy killed before it dropped the converted database
// (keeping it, say): the converted database with the way back's door and record. Given back
// as it is, converted, saying so and how to go back again; the record of the copy stays, so
// that the same --restore can.
void TestRunEngine::aWayBackCutShortBeforeTheDropChangedNothing()
{
    QFETCH(QString, then);
    const QString file = dbs_.create(QStringLiteral("wayback-%1.fb").arg(then), sql_);
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const QString copy = QFileInfo(file).absolutePath() + QStringLiteral("/wayback.copia-20261210-143000.nbk");
    const marks::Description before =
        marks::withLine(marks::converted(QDateTime(QDate(2026, 12, 10), QTime(14, 31))), marks::copied(copy, 4096));
    {
        TSQLConnection db;
        db.Params.setValue(QStringLiteral("DataBase"), file);
        db.Params.setValue(QStringLiteral("DatabaseTriggers"), QStringLiteral("False"));
        db.setConnected(true);
        TSQLQuery q;
        q.setSQLConnection(&db);
        queries::execute(q, statements::describeDatabase(marks::withLine(before, marks::restoring(file, copy))));
        guard::close(q, file);
        queries::execute(q, statements::commit());
    }
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), file);
    const QString said = QStringLiteral("a restauração interrompida não mudou o banco: ele continua convertido (conversor --restore "
                                        "%1 a faz de novo)").arg(copy);
    QStringList done;
    if (then == QLatin1String("check")) {
        for (const QString &line : CheckReport::examine(db).lines())
            if (line.startsWith(QLatin1String("  feito: ")))
                done << line.mid(9);
    } else {
        done = repair::giveBack(db, true);
    }
    QCOMPARE(done, (QStringList{said, QStringLiteral("o banco foi devolvido aos programas da loja")}));
    TSQLConnection plain;
    plain.Params.setValue(QStringLiteral("DataBase"), file);
    plain.setConnected(true);
    plain.setConnected(false);
    QCOMPARE(readColumn(file, QStringLiteral("select RDB$DESCRIPTION from RDB$DATABASE")).value(0),
             QString::fromUtf8(*before));
}

void TestRunEngine::listWhereTheFolderCannotBeWritten_data()
{
    QTest::addColumn<bool>("homeWritable");

    QTest::newRow("the list goes home") << true;
    QTest::newRow("nor home: the run is converted, the box says the list is not") << false;
}

// A database whose folder this user cannot write (a run without a copy, as --no-copy makes
// it): its list goes to the user's home, both files; where home cannot be written either, the
// database is converted all the same and the box says which files could not be written.
void TestRunEngine::listWhereTheFolderCannotBeWritten()
{
    QFETCH(bool, homeWritable);
    const QString folder = dbs_.path(homeWritable ? QStringLiteral("fechada1") : QStringLiteral("fechada2"));
    const QString home = dbs_.path(homeWritable ? QStringLiteral("casa1") : QStringLiteral("casa2"));
    QVERIFY(QDir().mkpath(folder) && QDir().mkpath(home));
    const QString made = dbs_.create(QStringLiteral("fechada%1.fb").arg(homeWritable ? 1 : 2), sql_);
    QVERIFY2(!made.isEmpty(), qPrintable(dbs_.lastError()));
    const QString file = folder + QStringLiteral("/loja.fb");
    QVERIFY(QFile::rename(made, file));
    const auto before = codes(file, codeTables);
    // The mode keeps out anyone but root; the immutable flag root too.
    QStringList closed{folder};
    if (!homeWritable)
        closed << home;
    for (const QString &f : closed) {
        QVERIFY(QFile::setPermissions(f, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (geteuid() == 0 && QProcess::execute(QStringLiteral("chattr"), {"+i", f}) != 0)
            QSKIP("running as root on a file system without the immutable flag");
    }
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.toUtf8());
    auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        for (const QString &f : closed) {
            if (geteuid() == 0)
                QProcess::execute(QStringLiteral("chattr"), {"-i", f});
            QFile::setPermissions(f, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
    });

    TSQLConnection db;
    RecordingView view;
    view.path = file;
    Conversion(db, view, Conversion::Options{false, true}).run();
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Information);
    QCOMPARE(codes(file, codeTables), convertedOnce(before));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList{"loja.fb"});
    const QStringList lists = QDir(home).entryList(QDir::Files | QDir::NoDotAndDotDot);
    const QString said = view.boxes[0].text;
    if (homeWritable) {
        QCOMPARE(lists.size(), 2);
        const QString csv = home + u'/' + lists.value(0), sheet = home + u'/' + lists.value(1);
        QVERIFY2(QRegularExpression(QStringLiteral("/loja\\.de-para-\\d{8}-\\d{6}\\.csv$")).match(csv).hasMatch(), qPrintable(csv));
        QCOMPARE(said, QStringLiteral("Dados atualizados com sucesso! \rCódigos antigos e novos: ") + sheet
                           + QStringLiteral("\rA mesma lista, para importar: ") + csv);
        QString error;
        const SheetRows rows = readSheet(sheet, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        // The same codes as the CSV's, row by row.
        const QStringList lines = csvLines(csv);
        QCOMPARE(rows.size(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QCOMPARE(rows[i].value(0).value + u';' + rows[i].value(1).value, lines[i].section(u';', 0, 1));
    } else {
        QCOMPARE(lists, QStringList());
        const QRegularExpression notWritten(QStringLiteral(
            "^Dados atualizados com sucesso! \\rNão foi possível gravar a lista de códigos %1/loja\\.de-para-\\d{8}-\\d{6}\\.xlsx: "
            "[^\\r]+\\.\\rNão foi possível gravar a lista de códigos %1/loja\\.de-para-\\d{8}-\\d{6}\\.csv: [^\\r]+\\.$")
                                                .arg(QRegularExpression::escape(home)));
        QVERIFY2(notWritten.match(said).hasMatch(), qPrintable(said));
    }
}

void TestRunEngine::theWayBackPutsBackOnlyAWholeCopy_data()
{
    QTest::addColumn<QString>("copy"); // the copy as --restore is given it
    QTest::addColumn<QString>("said"); // what it says: the start of its sentence, or of its refusal
    QTest::newRow("the run's copy, recorded whole") << "whole" << "banco restaurado a partir de ";
    QTest::newRow("the run's copy, cut short since") << "cut" << "A cópia está incompleta: ";
    // A server's backup cut short looks like any other to the server's restore: only a record
    // of it whole proves it.
    QTest::newRow("a server's backup nobody recorded whole")
        << "unrecorded.fbk" << "A cópia está incompleta: %1 não foi registrada como completa no banco";
    QTest::newRow("a server's page copy nobody recorded whole")
        << "unrecorded.nbk" << "A cópia está incompleta: %1 não foi registrada como completa no banco";
}

void TestRunEngine::theWayBackPutsBackOnlyAWholeCopy()
{
    QFETCH(QString, copy);
    QFETCH(QString, said);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("loja.fb"));
    QVERIFY(QFile::copy(dbs_.create(QStringLiteral("back-%1.fb").arg(copy), sql_), file));
    const auto before = codes(file, codeTables);
    const RecordingView view = convertOnce(file);
    QCOMPARE(view.boxes.size(), 1);
    QString given = view.boxes[0].text.section(QStringLiteral("\rCópia de segurança: "), 1).section(u'\r', 0, 0);
    QVERIFY2(QFileInfo::exists(given), qPrintable(view.boxes[0].text));
    if (copy == QLatin1String("cut")) {
        QVERIFY(::truncate(filenames::encode(given).constData(), QFileInfo(given).size() / 2) == 0);
    } else if (copy.startsWith(QLatin1String("unrecorded"))) {
        given = folder.filePath(QStringLiteral("loja.copia-20261210-143000") + copy.mid(copy.indexOf(u'.')));
        QFile junk(given);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
    }
    const auto converted = codes(file, codeTables);
    const auto contents = [](const QString &f) {
        QFile in(f);
        return in.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(in.readAll(), QCryptographicHash::Sha256) : QByteArray();
    };
    const QByteArray copyBytes = contents(given);
    const QDateTime copyTime = QFileInfo(given).lastModified();

    TSQLConnection db;
    QString answer;
    try {
        answer = restore::putBack(db, given);
    } catch (const Exception &e) {
        answer = e.message();
    }
    QVERIFY2(answer.startsWith(said.arg(given)), qPrintable(answer));
    // Whichever the answer, nothing is left closed, and the copy is as it was given, bytes and time.
    TSQLConnection plain;
    plain.Params.setValue(QStringLiteral("DataBase"), file);
    plain.setConnected(true);
    plain.setConnected(false);
    QCOMPARE(contents(given), copyBytes);
    QCOMPARE(QFileInfo(given).lastModified(), copyTime);
    if (copy == QLatin1String("whole")) {
        QCOMPARE(codes(file, codeTables), before);
        QCOMPARE(triggerStates(file), QStringLiteral("0"));
        QVERIFY(readColumn(file, QStringLiteral("select RDB$DESCRIPTION from RDB$DATABASE")).value(0).indexOf(QStringLiteral("reservado")) < 0);
    } else {
        QVERIFY2(answer.endsWith(QStringLiteral("Nada foi restaurado.")), qPrintable(answer));
        QCOMPARE(codes(file, codeTables), converted);
        QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.convertido-*")}, QDir::Files), QStringList());
    }
}

void TestRunEngine::theSafetyCopyIsNoDatabaseToConvert()
{
    // The copy is a database file too: a double-click, the Open dialog or a script can hand it
    // to the tool. Converted, the way back would bring back converted codes.
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("loja.fb"));
    QVERIFY(QFile::copy(dbs_.create(QStringLiteral("copy-again.fb"), sql_), file));
    const auto before = codes(file, codeTables);
    const RecordingView first = convertOnce(file);
    const QString copy = first.boxes.value(0).text.section(QStringLiteral("\rCópia de segurança: "), 1).section(u'\r', 0, 0);
    QVERIFY2(QFileInfo::exists(copy), qPrintable(first.boxes.value(0).text));
    const QRegularExpression said(QStringLiteral("^Este arquivo é a cópia de segurança de %1 feita em \\d\\d/\\d\\d/\\d{4} "
                                                 "\\d\\d:\\d\\d:\\d\\d: converta o banco, não a cópia\\.")
                                      .arg(QRegularExpression::escape(file)));

    // The run asks, and No leaves the copy as it was.
    TSQLConnection db;
    RecordingView view;
    view.path = copy;
    view.answer = false;
    Conversion run(db, view);
    run.run();
    QCOMPARE(run.outcome(), Conversion::Outcome::Declined);
    QCOMPARE(view.questions.size(), 1);
    QVERIFY2(said.match(view.questions[0]).hasMatch(), qPrintable(view.questions[0]));
    QVERIFY2(view.questions[0].endsWith(QStringLiteral(" Converter a cópia mesmo assim?")), qPrintable(view.questions[0]));
    QCOMPARE(codes(copy, codeTables), before);

    // The check refuses it, and makes nothing of its records "good": they are what make it a copy.
    TSQLConnection checking;
    checking.Params.setValue(QStringLiteral("DataBase"), copy);
    const CheckReport report = CheckReport::examine(checking);
    QCOMPARE(report.status(), 1);
    const QStringList lines = report.lines();
    QVERIFY2(!lines.filter(said).isEmpty() || !lines.filter(QStringLiteral("impede a conversão: Este arquivo é a cópia")).isEmpty(),
             qPrintable(lines.join(u'\n')));
    QVERIFY2(lines.filter(QStringLiteral("feito:")).isEmpty(), qPrintable(lines.join(u'\n')));
    QCOMPARE(codes(copy, codeTables), before);
    QVERIFY(readColumn(copy, QStringLiteral("select RDB$DESCRIPTION from RDB$DATABASE")).value(0).contains(QStringLiteral("cópia de segurança de «%1» feita em ").arg(file)));
    // A shop's program that opens it is told what it is, and the way back.
    TSQLConnection plain;
    plain.Params.setValue(QStringLiteral("DataBase"), copy);
    try {
        plain.setConnected(true);
        QFAIL("the copy opened for use");
    } catch (const TDBXError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("não é para uso. Para voltar a ela: conversor --restore ") + copy),
                 qPrintable(e.message()));
    }

    // Put back, the database is no copy any more: it converts again without a word about one.
    TSQLConnection back;
    restore::putBack(back, copy);
    QCOMPARE(codes(file, codeTables), before);
    RecordingView again;
    again.path = file;
    TSQLConnection db2;
    Conversion(db2, again).run();
    QVERIFY2(again.questions.isEmpty(), qPrintable(again.questions.join(u'\n')));
    QCOMPARE(codes(file, codeTables), convertedOnce(before));
}

void TestRunEngine::whatAnAdministratorLeftOfADoorIsNoObstacle()
{
    // The door's trigger dropped by hand after a run cut short, its exception left behind.
    const QString file = dbs_.create(QStringLiteral("half-door.fb"), sql_ + QStringLiteral("CREATE EXCEPTION CONVERSOR$FECHADO 'x';\n"));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const RecordingView view = convertOnce(file);
    QCOMPARE(view.boxes.size(), 1);
    QVERIFY2(view.boxes[0].text.startsWith(QStringLiteral("Dados atualizados com sucesso! ")), qPrintable(view.boxes[0].text));
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from RDB$EXCEPTIONS where RDB$EXCEPTION_NAME = 'CONVERSOR$FECHADO'")),
             QStringList{"0"});
}

void TestRunEngine::onlyThisProgramsPartialCopyIsRemoved_data()
{
    // A record's check value keeps out mistakes, not intent: a database handed to the shop may
    // name any file as "the partial copy".
    QTest::addColumn<QString>("named");   // the file the record names, in the test's folder
    QTest::addColumn<bool>("removed");
    QTest::newRow("this program's, beside the database") << "loja.copia-20261210-143000.fb.parcial" << true;
    QTest::newRow("a user's file that ends so") << "notas.parcial" << false;
    QTest::newRow("named as this program's, in another folder") << "outra/loja.copia-20261210-143000.fb.parcial" << false;
}

void TestRunEngine::onlyThisProgramsPartialCopyIsRemoved()
{
    QFETCH(QString, named);
    QFETCH(bool, removed);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("loja.fb"));
    QVERIFY(QFile::copy(dbs_.create(QStringLiteral("partial-%1.fb").arg(qHash(named)), sql_), file));
    QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("outra")));
    const QString partial = folder.filePath(named);
    {
        QFile f(partial);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("o que o usuário guardou");
    }
    {
        TSQLConnection db;
        db.Params.setValue(QStringLiteral("DataBase"), file);
        db.setConnected(true);
        TSQLQuery q;
        q.setSQLConnection(&db);
        queries::execute(q, statements::describeDatabase(marks::copying(file, partial)));
        queries::execute(q, statements::commit());
    }
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), file);
    repair::giveBack(db, false);
    QCOMPARE(QFileInfo::exists(partial), !removed);
    // The record goes either way: it was the run's, and the run is over.
    QVERIFY(readColumn(file, QStringLiteral("select RDB$DESCRIPTION from RDB$DATABASE")).value(0).indexOf(QStringLiteral("em andamento")) < 0);
}

QTEST_GUILESS_MAIN(TestRunEngine)
// A code someone else writes while the run asks whether to go on (after its survey, before the
// door closes) is rewritten, and the list says so: the tables are read again for it.
void TestRunEngine::theListHasWhatWasWrittenAfterTheSurvey()
{
    const QString file = dbs_.create(QStringLiteral("depois.fb"), TempDatabases::fixture(QStringLiteral("substr.sql")) + QStringLiteral(R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(10));
CREATE TABLE ESTOQUE (CODPROD VARCHAR(10));
INSERT INTO PRODUTOS VALUES ('203456');
INSERT INTO ESTOQUE VALUES ('203456');
)"));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    TSQLConnection db;
    RecordingView view;
    view.path = file;
    view.answer = true; // its codes look converted: the run asks
    view.onConfirm = [&] {
        TSQLConnection other;
        other.Params.setValue(QStringLiteral("DataBase"), file);
        other.setConnected(true);
        TSQLQuery q;
        q.setSQLConnection(&other);
        queries::execute(q, QStringLiteral("INSERT INTO ESTOQUE VALUES ('71234567')"));
        queries::execute(q, statements::commit());
        other.setConnected(false);
    };
    Conversion conversion(db, view, Conversion::Options{false, true});
    conversion.run();
    QCOMPARE(view.questions.size(), 1);
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Converted);
    QCOMPARE(readColumn(file, QStringLiteral("select CODPROD from ESTOQUE order by 1")), (QStringList{"003456", "102345"}));
    QVERIFY2(conversion.codeList().problem.isEmpty(), qPrintable(conversion.codeList().problem));
    const QStringList lines = csvLines(conversion.codeList().csv);
    QCOMPARE(lines.mid(1), (QStringList{"203456;003456;2;;", "71234567;102345;1;;"}));
}

void TestRunEngine::theListReadsTheDatabasesCharacterSet_data()
{
    QTest::addColumn<QString>("charset");
    QTest::newRow("WIN1252") << QStringLiteral("WIN1252");
    QTest::newRow("ISO8859_1") << QStringLiteral("ISO8859_1");
}

// A code whose bytes in the database's own character set would read as UTF-8 too ("Ã©" is
// the bytes of "é" in UTF-8) is listed as the database has it.
void TestRunEngine::theListReadsTheDatabasesCharacterSet()
{
    QFETCH(QString, charset);
    const QString file = dbs_.create(QStringLiteral("letras-%1.fb").arg(charset), TempDatabases::fixture(QStringLiteral("substr.sql")) + QStringLiteral(R"(
CREATE TABLE ETIQUETAS (CODPROD VARCHAR(10));
INSERT INTO ETIQUETAS VALUES ('Ã©34567');
)"), QStringLiteral("DEFAULT CHARACTER SET ") + charset);
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    TSQLConnection db;
    RecordingView view;
    view.path = file;
    Conversion conversion(db, view, Conversion::Options{false, true});
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Converted);
    QVERIFY2(conversion.codeList().problem.isEmpty(), qPrintable(conversion.codeList().problem));
    const QStringList lines = csvLines(conversion.codeList().csv);
    QCOMPARE(lines.mid(1), QStringList{QStringLiteral("Ã©34567;©03456;1;;")});
}

#include "tst_run_engine.moc"
