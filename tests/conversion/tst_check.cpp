// The read-only check on the real engine, as a table of databases: what it says of each (its
// lines and its status), and that the database is as it was afterwards.
#include "check.h"
#include "codelist.h"
#include "errors.h"
#include "dbread.h"
#include "keptfiles.h"
#include "sheet.h"
#include "sqlconnection.h"
#include "tempdb.h"

#include <QtTest>

#include <unistd.h>

namespace {

// What a check must leave as it was: every code, the triggers, the description, the files.
QStringList state(const QString &file, const QStringList &tables)
{
    QStringList all = readColumn(file, QStringLiteral("select trim(RDB$TRIGGER_NAME) || '=' || RDB$TRIGGER_INACTIVE "
                                                      "from RDB$TRIGGERS where RDB$SYSTEM_FLAG = 0 order by 1"));
    all += readColumn(file, QStringLiteral("select coalesce(RDB$DESCRIPTION, '<none>') from RDB$DATABASE"));
    for (const QString &t : tables)
        all += readColumn(file, QStringLiteral("select '%1:' || coalesce(CODPROD, '<null>') from %1 order by 1").arg(t));
    all += QDir(QFileInfo(file).absolutePath()).entryList({QFileInfo(file).completeBaseName() + u'*'}, QDir::Files);
    return all;
}

const QString codes8 = QStringLiteral(R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(10) NOT NULL PRIMARY KEY, DESCRICAO VARCHAR(40));
INSERT INTO PRODUTOS VALUES ('71234567', 'Camisa');
INSERT INTO PRODUTOS VALUES ('12345678', 'Calça');
CREATE TABLE LOG_GATILHO (X INTEGER);
SET TERM ^ ;
CREATE TRIGGER PRODUTOS_AU FOR PRODUTOS AFTER UPDATE AS BEGIN INSERT INTO LOG_GATILHO VALUES (1); END^
SET TERM ; ^
COMMIT;
)");

// The fields of a CSV text's lines as a spreadsheet splits them, at any of the separators given
// (LibreOffice's import offers tab, comma and semicolon at once), quotes read.
QList<QStringList> spreadsheetRows(const QString &text, const QString &separators)
{
    QList<QStringList> rows{{QString()}};
    bool quoted = false;
    const auto next = [&](qsizetype i) { return i + 1 < text.size() ? text.at(i + 1) : QChar(); };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && next(i) == u'"')
                rows.last().last() += c, ++i;
            else if (c == u'"')
                quoted = false;
            else
                rows.last().last() += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (separators.contains(c)) {
            rows.last() << QString();
        } else if (c == u'\r' && next(i) == u'\n') {
            rows << QStringList{QString()};
            ++i;
        } else {
            rows.last().last() += c;
        }
    }
    if (rows.last() == QStringList{QString()})
        rows.removeLast();
    return rows;
}

} // namespace

class TestCheck : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void databases_data();
    void databases();
    void codeListReadsBackInASpreadsheet_data();
    void codeListReadsBackInASpreadsheet();
    void codeListNames_data();
    void codeListNames();
    void codeListFileNotWritten_data();
    void codeListFileNotWritten();
    void keptFilesListed_data();
    void keptFilesListed();
    void doneStatus_data();
    void doneStatus();
    void aWayBackCutShortIsNamed_data();
    void aWayBackCutShortIsNamed();

private:
    TempDatabases dbs_;
};

void TestCheck::initTestCase()
{
    QVERIFY(dbs_.isValid());
}

void TestCheck::databases_data()
{
    QTest::addColumn<QString>("substr"); // the fixture that defines SUBSTR
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("status");

    const QString stored = QStringLiteral("substr.sql");
    QTest::newRow("clean: a run would convert") << stored << codes8 + R"(
CREATE TABLE ESTOQUE (CODPROD CHAR(8), CONSTRAINT FK_ESTOQUE FOREIGN KEY (CODPROD) REFERENCES PRODUTOS (CODPROD) ON UPDATE CASCADE);
INSERT INTO ESTOQUE VALUES ('71234567');
CREATE TABLE ETIQUETAS (CODPROD VARCHAR(10));
INSERT INTO ETIQUETAS VALUES (NULL);
CREATE VIEW V_PRODUTOS AS SELECT CODPROD FROM PRODUTOS;
CREATE TABLE CALCULADO (T VARCHAR(8), CODPROD COMPUTED BY (T));
)" << QStringList{"PRODUTOS", "ESTOQUE"}
                                                << QStringList{"  CALCULADO: ignorada (CODPROD calculado)",
                                                               "  ESTOQUE: ignorada (mantida pela chave FK_ESTOQUE)",
                                                               "  ETIQUETAS: ignorada (nenhum código)",
                                                               "  PRODUTOS: converte 2 linhas", "  V_PRODUTOS: ignorada (visão)",
                                                               "  resultado: a conversão pode ser feita."}
                                                << 0;
    QTest::newRow("codes that collide on a simple key") << stored << codes8 + R"(
INSERT INTO PRODUTOS VALUES ('81234567', 'Camisa azul');
INSERT INTO PRODUTOS VALUES ('92234567', 'Camisa verde');
INSERT INTO PRODUTOS VALUES ('02234567', 'Camisa rosa');
)" << QStringList{"PRODUTOS"}
                                                        << QStringList{"  PRODUTOS: converte 5 linhas",
                                                                       "  impede a conversão: códigos que ficariam iguais numa chave única (2 grupos):",
                                                                       "    71234567 e 81234567 → 102345 (PRODUTOS, chave INTEG_2)",
                                                                       "    02234567 e 92234567 → 202345 (PRODUTOS, chave INTEG_2)",
                                                                       "  resultado: a conversão falharia; nada seria alterado."}
                                                        << 1;
    QTest::newRow("codes that collide on a compound key") << stored << codes8 + R"(
CREATE TABLE ESTOQUE_LOJA (CODPROD VARCHAR(10) NOT NULL, LOJA INTEGER NOT NULL, CONSTRAINT PK_ESTOQUE_LOJA PRIMARY KEY (CODPROD, LOJA));
INSERT INTO ESTOQUE_LOJA VALUES ('71234567', 1);
INSERT INTO ESTOQUE_LOJA VALUES ('81234567', 1);
INSERT INTO ESTOQUE_LOJA VALUES ('91234567', 2);
)" << QStringList{"ESTOQUE_LOJA"}
                                                          << QStringList{"  ESTOQUE_LOJA: converte 3 linhas", "  PRODUTOS: converte 2 linhas",
                                                                         "  impede a conversão: códigos que ficariam iguais numa chave única (1 grupo):",
                                                                         "    71234567 e 81234567 → 102345 (ESTOQUE_LOJA, chave PK_ESTOQUE_LOJA, com 1)",
                                                                         "  resultado: a conversão falharia; nada seria alterado."}
                                                          << 1;
    // A SUBSTR of the shop's own that makes codes longer than their column.
    QTest::newRow("results longer than their column") << QString() << QStringLiteral(R"(
SET TERM ^ ;
CREATE FUNCTION SUBSTR (S VARCHAR(255), I SMALLINT, F SMALLINT) RETURNS VARCHAR(255) AS
BEGIN RETURN S || 'X'; END^
SET TERM ; ^
CREATE TABLE PRODUTOS (CODPROD VARCHAR(12));
INSERT INTO PRODUTOS VALUES ('12345678');
INSERT INTO PRODUTOS VALUES ('1');
)") << QStringList{"PRODUTOS"}
                                                       << QStringList{"  PRODUTOS: converte 2 linhas",
                                                                      "  impede a conversão: PRODUTOS: 1 código convertido ficaria maior que a coluna (12 caracteres)",
                                                                      "  aviso: PRODUTOS: 1 código não tem 8 caracteres (a conversão supõe 8)",
                                                                      "  resultado: a conversão falharia; nada seria alterado."}
                                                       << 1;
    QTest::newRow("codes the map cannot hold: row by row, said") << QStringLiteral("substr-udf.sql") << R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(80));
INSERT INTO PRODUTOS VALUES ('12345678');
CREATE TABLE PRECOS (CODPROD DOUBLE PRECISION);
INSERT INTO PRECOS VALUES (12345678);
CREATE TABLE ETIQUETAS (CODPROD VARCHAR(62));
INSERT INTO ETIQUETAS VALUES ('12345678');
)" << QStringList{"PRODUTOS", "PRECOS", "ETIQUETAS"}
                                                                  << QStringList{"  ETIQUETAS: converte 1 linha", "  PRECOS: converte 1 linha",
                                                                                 "  PRODUTOS: converte 1 linha",
                                                                                 "  aviso: PRECOS: 1 código não tem 8 caracteres (a conversão supõe 8)",
                                                                                 "  aviso: PRECOS: os códigos novos serão calculados linha a linha, sem o mapa de códigos (a coluna CODPROD não é texto de até 62 caracteres nem número inteiro): esta tabela leva mais tempo",
                                                                                 "  aviso: PRODUTOS: os códigos novos serão calculados linha a linha, sem o mapa de códigos (a coluna CODPROD não é texto de até 62 caracteres nem número inteiro): esta tabela leva mais tempo",
                                                                                 "  resultado: a conversão pode ser feita."}
                                                                  << 0;
    QTest::newRow("a reference that stops a run") << stored << codes8 + R"(
CREATE TABLE ITENS (CODPROD VARCHAR(10), CONSTRAINT FK_ITENS FOREIGN KEY (CODPROD) REFERENCES PRODUTOS (CODPROD));
INSERT INTO ITENS VALUES ('71234567');
)" << QStringList{"PRODUTOS", "ITENS"}
                                                   << QStringList{"  ITENS: converte 1 linha", "  PRODUTOS: converte 2 linhas",
                                                                  "  impede a conversão: ITENS: A chave estrangeira FK_ITENS (ON UPDATE RESTRICT) impede a "
                                                                  "conversão de PRODUTOS: esta tabela tem códigos que a conversão muda",
                                                                  "  resultado: a conversão falharia; nada seria alterado."}
                                                   << 1;
    QTest::newRow("codes in the rewritten shape") << stored << R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(10));
INSERT INTO PRODUTOS VALUES ('203456');
INSERT INTO PRODUTOS VALUES ('304567');
)" << QStringList{"PRODUTOS"}
                                                  << QStringList{"  PRODUTOS: converte 2 linhas",
                                                                 "  aviso: PRODUTOS: 2 códigos não têm 8 caracteres (a conversão supõe 8)",
                                                                 "  aviso: o banco parece já ter sido convertido (os códigos têm 6 caracteres com \"0\" "
                                                                 "na segunda posição, e nenhum tem 8)",
                                                                 "  resultado: converter de novo reescreveria todos os códigos outra vez."}
                                                  << 1;
    QTest::newRow("the mark of a conversion") << stored << codes8 + R"(
COMMENT ON DATABASE IS 'Loja 1
Conversor de dados: códigos de produto convertidos em 01/12/2026 09:15:00.';
)" << QStringList{"PRODUTOS"}
                                              << QStringList{"  PRODUTOS: converte 2 linhas",
                                                             "  aviso: o banco parece já ter sido convertido (convertido em 01/12/2026 09:15:00)",
                                                             "  resultado: converter de novo reescreveria todos os códigos outra vez."}
                                              << 1;
    QTest::newRow("under the engine's backup lock") << stored << codes8 + "ALTER DATABASE BEGIN BACKUP;" << QStringList{"PRODUTOS"}
                                                    << QStringList{"  PRODUTOS: converte 2 linhas",
                                                                   "  impede a conversão: Chame o técnico responsável pelo sistema. "
                                                                   "O banco está sob a trava de cópia do Firebird, que não é do "
                                                                   "Conversor de dados. Para o técnico: a trava é a de ALTER "
                                                                   "DATABASE BEGIN BACKUP, ou nbackup -L; quando nenhuma cópia "
                                                                   "estiver sendo feita, libere-o (conversor --unlock <arquivo>) e "
                                                                   "converta de novo.",
                                                                   "  resultado: a conversão falharia; nada seria alterado."}
                                                    << 1;
    QTest::newRow("no CODPROD anywhere") << stored << "CREATE TABLE CLIENTES (CODCLI INTEGER);" << QStringList{}
                                         << QStringList{"  impede a conversão: Nenhuma tabela deste banco tem a coluna CODPROD: "
                                                        "nada foi alterado.",
                                                        "  resultado: a conversão falharia; nada seria alterado."}
                                         << 1;
}

void TestCheck::databases()
{
    QFETCH(QString, substr);
    QFETCH(QString, schema);
    QFETCH(QStringList, tables);
    QFETCH(QStringList, lines);
    QFETCH(int, status);
    static int n = 0;
    const QString file = dbs_.create(QStringLiteral("check%1.fb").arg(++n),
                                     (substr.isEmpty() ? QString() : TempDatabases::fixture(substr)) + schema);
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const QStringList before = state(file, tables);

    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), file);
    const CheckReport report = CheckReport::examine(db);
    QCOMPARE(report.lines(), lines.replaceInStrings(QStringLiteral("<arquivo>"), file));
    QCOMPARE(report.status(), status);
    QCOMPARE(db.state(), TConnectionState::csStateClosed);
    QCOMPARE(state(file, tables), before);
}

void TestCheck::keptFilesListed_data()
{
    // Files put beside the database ("NAME" its name without .fb) or in home ("~/"), and the
    // lines --check gives of them: the copies and lists of runs, newest first, and nothing else.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("nothing left") << QStringList{} << QStringList{};
    QTest::newRow("a run's copy and list")
        << QStringList{"NAME.copia-20261210-143000.fb", "NAME.de-para-20261210-143000.xlsx", "NAME.de-para-20261210-143000.csv"}
        << QStringList{"cópia de segurança de 10/12/2026 14:30:00: DIR/NAME.copia-20261210-143000.fb",
                       "lista dos códigos de 10/12/2026 14:30:00: DIR/NAME.de-para-20261210-143000.xlsx",
                       "lista dos códigos de 10/12/2026 14:30:00: DIR/NAME.de-para-20261210-143000.csv"};
    QTest::newRow("two runs and a server's copy: the newest first")
        << QStringList{"NAME.copia-20261209-080000.fb", "NAME.de-para-20261209-080000.csv",
                       "NAME.copia-20261211-090500.fbk", "NAME.de-para-20261211-090500.csv"}
        << QStringList{"cópia de segurança de 11/12/2026 09:05:00: DIR/NAME.copia-20261211-090500.fbk",
                       "lista dos códigos de 11/12/2026 09:05:00: DIR/NAME.de-para-20261211-090500.csv",
                       "cópia de segurança de 09/12/2026 08:00:00: DIR/NAME.copia-20261209-080000.fb",
                       "lista dos códigos de 09/12/2026 08:00:00: DIR/NAME.de-para-20261209-080000.csv"};
    QTest::newRow("a server's page copy")
        << QStringList{"NAME.copia-20261211-100000.nbk"}
        << QStringList{"cópia de segurança de 11/12/2026 10:00:00: DIR/NAME.copia-20261211-100000.nbk"};
    QTest::newRow("two runs in one second: the second's number first")
        << QStringList{"NAME.de-para-20261210-143000.csv", "NAME.de-para-20261210-143000-2.csv"}
        << QStringList{"lista dos códigos de 10/12/2026 14:30:00: DIR/NAME.de-para-20261210-143000-2.csv",
                       "lista dos códigos de 10/12/2026 14:30:00: DIR/NAME.de-para-20261210-143000.csv"};
    QTest::newRow("a list that went to home")
        << QStringList{"~/NAME.de-para-20261210-143000.csv", "~/OUTRO.de-para-20261210-143000.csv"}
        << QStringList{"lista dos códigos de 10/12/2026 14:30:00: HOME/NAME.de-para-20261210-143000.csv"};
    QTest::newRow("not a run's: a partial copy, a preview, another database's, a converted one kept")
        << QStringList{"NAME.copia-20261210-143000.fb.parcial", "NAME.previa-de-para-20261210-143000.csv",
                       "OUTRO.copia-20261210-143000.fb", "NAME.convertido-20261210-150000.fb", "NAME.copia-2026.fb"}
        << QStringList{};
}

void TestCheck::keptFilesListed()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, listed);
    static int n = 0;
    const QString name = QStringLiteral("guardados%1").arg(++n);
    const QString file = dbs_.create(name + QStringLiteral(".fb"), codes8);
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray homeBefore = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    auto back = qScopeGuard([&] { qputenv("HOME", homeBefore); });
    const QString dir = QFileInfo(file).absolutePath();
    for (QString f : std::as_const(files)) {
        f.replace(QStringLiteral("NAME"), name);
        QFile made(f.startsWith(QStringLiteral("~/")) ? home.filePath(f.mid(2)) : dir + u'/' + f);
        QVERIFY(made.open(QIODevice::WriteOnly));
    }
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), file);
    const QStringList lines = CheckReport::examine(db).lines();
    QStringList shown;
    for (const QString &line : lines)
        if (line.startsWith(QStringLiteral("  cópia de segurança de ")) || line.startsWith(QStringLiteral("  lista dos códigos de ")))
            shown << line.mid(2);
    for (QString &line : listed)
        line.replace(QStringLiteral("DIR"), dir).replace(QStringLiteral("HOME"), home.path()).replace(QStringLiteral("NAME"), name);
    QCOMPARE(shown, listed);
    // Before the verdict, which stays the last line.
    QVERIFY(lines.last().startsWith(QStringLiteral("  resultado: ")));
}

void TestCheck::doneStatus_data()
{
    QTest::addColumn<QString>("copy");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("status");
    QTest::newRow("copy and list in one folder")
        << "/dados/loja.copia-20261210-143000.fb" << "/dados/loja.de-para-20261210-143000.xlsx"
        << "Concluído! Cópia e lista em /dados";
    QTest::newRow("the list in home") << "/dados/loja.copia-20261210-143000.fbk" << "/home/ana/loja.de-para-20261210-143000.xlsx"
                                      << "Concluído! Cópia em /dados; lista em /home/ana";
    QTest::newRow("no copy (--no-copy)") << "" << "/dados/loja.de-para-20261210-143000.csv" << "Concluído! Lista em /dados";
    QTest::newRow("no list written") << "/dados/loja.copia-20261210-143000.fb" << "" << "Concluído! Cópia em /dados";
    QTest::newRow("a Windows server's copy") << "C:\\dados\\loja.copia-20261210-143000.fbk" << ""
                                             << "Concluído! Cópia em C:\\dados";
    QTest::newRow("in the root folder") << "/loja.copia-20261210-143000.fb" << "/loja.de-para-20261210-143000.csv"
                                        << "Concluído! Cópia e lista em /";
    QTest::newRow("neither") << "" << "" << "Concluído!";
}

void TestCheck::doneStatus()
{
    QFETCH(QString, copy);
    QFETCH(QString, list);
    QFETCH(QString, status);
    QCOMPARE(keptfiles::doneStatus(copy, list), status);
}

void TestCheck::codeListReadsBackInASpreadsheet_data()
{
    QTest::addColumn<QString>("stored"); // the description, as an SQL expression
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "'Camisa de malha'" << "Camisa de malha";
    QTest::newRow("semicolon") << "'Calça; jeans'" << "Calça; jeans";
    QTest::newRow("comma") << "'Boné, azul'" << "Boné, azul";
    QTest::newRow("tab") << "'Boné' || ASCII_CHAR(9) || 'azul'" << "Boné\tazul";
    QTest::newRow("quotes") << "'Meia \"térmica\"'" << "Meia \"térmica\"";
    QTest::newRow("line break") << "'linha 1' || ASCII_CHAR(13) || ASCII_CHAR(10) || 'linha 2'" << "linha 1\r\nlinha 2";
    // What the spreadsheet's XML holds otherwise than as itself.
    QTest::newRow("markup") << "'<b>Saia</b> & blusa'" << "<b>Saia</b> & blusa";
    QTest::newRow("a control character") << "'Meia' || ASCII_CHAR(1) || 'calça'" << "Meia\x01" "calça";
    QTest::newRow("an escape's look") << "'Kit _x0041_ e _x000D_'" << "Kit _x0041_ e _x000D_";
    QTest::newRow("a formula's look") << "'=SOMA(A1:A2)'" << "=SOMA(A1:A2)";
}

// The list --check --de-para writes, named as a preview, opened as a spreadsheet opens it: the
// .xlsx of a double-click, its codes text cells in text columns (000203 stays 000203), the
// rows a number; the CSV of an import alike. Each product's description back as stored,
// whatever it holds, and the database as it was.
void TestCheck::codeListReadsBackInASpreadsheet()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    static int n = 0;
    const QString file = dbs_.create(QStringLiteral("lista%1.fb").arg(++n), TempDatabases::fixture(QStringLiteral("substr.sql")) + QStringLiteral(R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(10) NOT NULL PRIMARY KEY, DESCRICAO VARCHAR(40));
INSERT INTO PRODUTOS VALUES ('12345678', %1);
INSERT INTO PRODUTOS VALUES ('71234567', 'Camisa');
INSERT INTO PRODUTOS VALUES ('10020345', 'Meia');
CREATE TABLE VENDAS (CODPROD VARCHAR(10));
INSERT INTO VENDAS VALUES ('01234567');
INSERT INTO VENDAS VALUES ('10020345');
INSERT INTO VENDAS VALUES ('10020345');
COMMIT;
)").arg(stored), QStringLiteral("DEFAULT CHARACTER SET UTF8"));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const QStringList before = state(file, {QStringLiteral("PRODUTOS"), QStringLiteral("VENDAS")});

    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), file);
    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    const CheckReport report = CheckReport::examine(db, true);
    QCOMPARE(report.status(), 0);
    const QDir folder = QFileInfo(file).absoluteDir();
    const QString base = QFileInfo(file).completeBaseName();
    const QStringList lists = folder.entryList({base + QStringLiteral(".*de-para-*")}, QDir::Files);
    auto removeLists = qScopeGuard([&] {
        for (const QString &list : lists)
            QFile::remove(folder.filePath(list));
    });
    // Both files, of one name that says it is a preview, and the report names them.
    QCOMPARE(lists.size(), 2);
    const QRegularExpressionMatch named =
        QRegularExpression(QRegularExpression::escape(base) + QStringLiteral("\\.previa-de-para-(\\d{8}-\\d{6})\\.csv")).match(lists.first());
    QVERIFY2(named.hasMatch(), qPrintable(lists.join(u' ')));
    const QDateTime when = QDateTime::fromString(named.captured(1), QStringLiteral("yyyyMMdd-HHmmss"));
    QVERIFY2(when >= started && when <= QDateTime::currentDateTime(), qPrintable(named.captured(1)));
    const QString csvPath = folder.filePath(lists.first()), sheetPath = folder.filePath(lists.last());
    QCOMPARE(lists.last(), QString(lists.first()).replace(QStringLiteral(".csv"), QStringLiteral(".xlsx")));
    const QStringList lines = report.lines();
    QVERIFY2(lines.contains(QStringLiteral("  lista dos códigos antigos e novos: ") + sheetPath), qPrintable(lines.join(u'\n')));
    QVERIFY2(lines.contains(QStringLiteral("  a mesma lista, para importar: ") + csvPath), qPrintable(lines.join(u'\n')));

    const QList<QStringList> expectedRows{
        {"codigo_antigo", "codigo_novo", "linhas", "descricao (PRODUTOS.DESCRICAO)", "codigo_novo_repetido"},
        {"01234567", "102345", "1", "", "sim"},
        {"10020345", "000203", "3", "Meia", ""},
        {"12345678", "203456", "1", expected, ""},
        {"71234567", "102345", "1", "Camisa", "sim"}};
    QFile f(csvPath);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll().mid(3)); // after the UTF-8 mark
    for (const QString &separators : {QStringLiteral(";"), QStringLiteral("\t,;")})
        QCOMPARE(spreadsheetRows(text, separators), expectedRows);

    QString error;
    const SheetRows sheet = readSheet(sheetPath, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(sheetTexts(sheet), expectedRows);
    // The rows a number; every other cell text (blank when empty), in a text format.
    for (qsizetype r = 0; r < sheet.size(); ++r)
        for (qsizetype c = 0; c < sheet.at(r).size(); ++c) {
            const SheetCell &cell = sheet.at(r).at(c);
            const bool count = r > 0 && c == 2;
            const SheetCell::Type type = count ? SheetCell::Type::Number
                : cell.value.isEmpty()         ? SheetCell::Type::Blank
                                               : SheetCell::Type::Text;
            const QString where = QStringLiteral("row %1, column %2: %3").arg(r + 1).arg(c + 1).arg(cell.value);
            QVERIFY2(cell.type == type, qPrintable(where));
            QVERIFY2(cell.textFormat == !count, qPrintable(where));
        }
    removeLists.dismiss();
    for (const QString &list : lists)
        QVERIFY(QFile::remove(folder.filePath(list)));
    QCOMPARE(state(file, {QStringLiteral("PRODUTOS"), QStringLiteral("VENDAS")}), before);
}

void TestCheck::codeListNames_data()
{
    QTest::addColumn<QString>("database"); // <pasta>: a folder of the test's; <casa>: its home
    QTest::addColumn<bool>("preview");
    QTest::addColumn<QStringList>("there"); // files there before
    QTest::addColumn<QString>("expected");  // the two files' path, without .xlsx or .csv

    const QString run = QStringLiteral("<pasta>/loja.de-para-20261210-143000");
    QTest::newRow("a run's, beside the database") << "<pasta>/loja.fb" << false << QStringList() << run;
    QTest::newRow("a preview says so") << "<pasta>/loja.fb" << true << QStringList()
                                       << "<pasta>/loja.previa-de-para-20261210-143000";
    QTest::newRow("a preview beside a run's list of that second")
        << "<pasta>/loja.fb" << true << QStringList{run + ".xlsx", run + ".csv"} << "<pasta>/loja.previa-de-para-20261210-143000";
    QTest::newRow("a spreadsheet of that name there: both numbered")
        << "<pasta>/loja.fb" << false << QStringList{run + ".xlsx"} << run + "-2";
    QTest::newRow("a CSV of that name there: both numbered") << "<pasta>/loja.fb" << false << QStringList{run + ".csv"} << run + "-2";
    QTest::newRow("the numbered one there too")
        << "<pasta>/loja.fb" << false << QStringList{run + ".csv", run + "-2.xlsx"} << run + "-3";
    QTest::newRow("a server's database: home") << "servidor:/dados/loja.fb" << false << QStringList()
                                               << "<casa>/loja.de-para-20261210-143000";
    QTest::newRow("a folder this user cannot write: home")
        << "<fechada>/loja.fb" << false << QStringList() << "<casa>/loja.de-para-20261210-143000";
    QTest::newRow("a folder that is not there: home") << "<pasta>/nao-existe/loja.fb" << true << QStringList()
                                                      << "<casa>/loja.previa-de-para-20261210-143000";
}

// Where the list's two files go and what they are called: one name for both, the run's time
// in it, a preview's saying so, never over another's file.
void TestCheck::codeListNames()
{
    QFETCH(QString, database);
    QFETCH(bool, preview);
    QFETCH(QStringList, there);
    QFETCH(QString, expected);
    static int n = 0;
    const QString folder = dbs_.path(QStringLiteral("nomes%1").arg(++n)), home = dbs_.path(QStringLiteral("casa%1").arg(n)),
                  closed = dbs_.path(QStringLiteral("fechada%1").arg(n));
    QVERIFY(QDir().mkpath(folder) && QDir().mkpath(home) && QDir().mkpath(closed));
    const auto placed = [&](QString path) {
        return path.replace(QStringLiteral("<pasta>"), folder).replace(QStringLiteral("<casa>"), home)
            .replace(QStringLiteral("<fechada>"), closed);
    };
    for (const QString &file : there) {
        QFile f(placed(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    // The mode keeps out anyone but root; the immutable flag root too.
    QVERIFY(QFile::setPermissions(closed, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const bool immutable = geteuid() == 0 && QProcess::execute(QStringLiteral("chattr"), {"+i", closed}) == 0;
    auto reopen = qScopeGuard([&] {
        if (immutable)
            QProcess::execute(QStringLiteral("chattr"), {"-i", closed});
        QFile::setPermissions(closed, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    });
    if (database.startsWith(QStringLiteral("<fechada>")) && geteuid() == 0 && !immutable)
        QSKIP("running as root on a file system without the immutable flag");

    const CodeList::Files files = CodeList::pathsFor(placed(database), home, QDateTime(QDate(2026, 12, 10), QTime(14, 30)),
                                                     preview ? CodeList::Kind::Preview : CodeList::Kind::Run);
    QCOMPARE(files.sheet, placed(expected) + QStringLiteral(".xlsx"));
    QCOMPARE(files.csv, placed(expected) + QStringLiteral(".csv"));
}

void TestCheck::codeListFileNotWritten_data()
{
    QTest::addColumn<QStringList>("taken"); // the files whose temporary name a folder holds
    QTest::addColumn<bool>("folderClosed");

    QTest::newRow("both written") << QStringList() << false;
    QTest::newRow("the spreadsheet not: the CSV still") << QStringList{"xlsx"} << false;
    QTest::newRow("the CSV not: the spreadsheet still") << QStringList{"csv"} << false;
    QTest::newRow("a folder that cannot be written: neither") << QStringList() << true;
}

// A file of the list that cannot be written keeps neither the other from being written nor
// anything of itself behind, and write() says which and why; another's file of its temporary
// name stays.
void TestCheck::codeListFileNotWritten()
{
    QFETCH(QStringList, taken);
    QFETCH(bool, folderClosed);
    static int n = 0;
    const QString folder = dbs_.path(QStringLiteral("gravar%1").arg(++n));
    QVERIFY(QDir().mkpath(folder));
    const CodeList::Files files{folder + QStringLiteral("/loja.de-para-20261210-143000.xlsx"),
                                folder + QStringLiteral("/loja.de-para-20261210-143000.csv")};
    for (const QString &suffix : taken)
        QVERIFY(QDir().mkpath((suffix == QLatin1String("xlsx") ? files.sheet : files.csv) + QStringLiteral(".parcial")));
    if (folderClosed) {
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (geteuid() == 0 && QProcess::execute(QStringLiteral("chattr"), {"+i", folder}) != 0)
            QSKIP("running as root on a file system without the immutable flag");
    }
    auto reopen = qScopeGuard([&] {
        if (folderClosed && geteuid() == 0)
            QProcess::execute(QStringLiteral("chattr"), {"-i", folder});
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    });
    const CodeList list({{QStringLiteral("10020345"), QStringLiteral("000203"), 3, QStringLiteral("Meia"), false}}, QString());
    const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    const CodeList::Written written = list.write(files);
    const bool sheetWritten = !folderClosed && !taken.contains(QLatin1String("xlsx"));
    const bool csvWritten = !folderClosed && !taken.contains(QLatin1String("csv"));
    QCOMPARE(written.sheet, sheetWritten ? files.sheet : QString());
    QCOMPARE(written.csv, csvWritten ? files.csv : QString());
    QStringList problems;
    if (!sheetWritten)
        problems << QStringLiteral("Não foi possível gravar a lista de códigos ") + files.sheet + QStringLiteral(": ");
    if (!csvWritten)
        problems << QStringLiteral("Não foi possível gravar a lista de códigos ") + files.csv + QStringLiteral(": ");
    const QStringList said = written.problem.isEmpty() ? QStringList() : written.problem.split(u'\r');
    QCOMPARE(said.size(), problems.size());
    for (qsizetype i = 0; i < said.size(); ++i)
        QVERIFY2(said[i].startsWith(problems[i]) && said[i].endsWith(u'.'), qPrintable(said[i]));

    // What is there: what was before, and the files written.
    QStringList after = before;
    if (sheetWritten)
        after << QFileInfo(files.sheet).fileName();
    if (csvWritten)
        after << QFileInfo(files.csv).fileName();
    after.sort();
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), after);
    QString error;
    if (sheetWritten) {
        QCOMPARE(sheetTexts(readSheet(files.sheet, &error)),
                 (QList<QStringList>{{"codigo_antigo", "codigo_novo", "linhas", "descricao", "codigo_novo_repetido"},
                                     {"10020345", "000203", "3", "Meia", ""}}));
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
}

void TestCheck::aWayBackCutShortIsNamed_data()
{
    QTest::addColumn<QStringList>("files");  // beside the missing loja.fb
    QTest::addColumn<QString>("run");        // the run whose way back was cut short ("": none said)
    const QString kept = QStringLiteral("loja.convertido-%1.nbk"), copy = QStringLiteral("loja.copia-%1.nbk");
    QTest::newRow("the converted database kept, its copy beside it")
        << QStringList{kept.arg("20261210-143000"), copy.arg("20261210-143000")} << "20261210-143000";
    QTest::newRow("two ways back: the newest")
        << QStringList{kept.arg("20261201-090000"), copy.arg("20261201-090000"), kept.arg("20261210-143000-2"),
                       copy.arg("20261210-143000-2")}
        << "20261210-143000-2";
    // Two ways back in one second: the later one's number.
    QTest::newRow("two in one second: the numbered one")
        << QStringList{kept.arg("20261210-143000"), copy.arg("20261210-143000"), kept.arg("20261210-143000-2"),
                       copy.arg("20261210-143000-2")}
        << "20261210-143000-2";
    QTest::newRow("the copy gone: nothing to finish it with") << QStringList{kept.arg("20261210-143000")} << "";
    QTest::newRow("the copy alone: no way back began") << QStringList{copy.arg("20261210-143000")} << "";
    QTest::newRow("another database's") << QStringList{"outra.convertido-20261210-143000.nbk", "outra.copia-20261210-143000.nbk"}
                                        << "";
    // This program's copy goes back by a rename: the database's name is never without a file.
    QTest::newRow("this program's copy") << QStringList{"loja.convertido-20261210-143000.fb", "loja.copia-20261210-143000.fb"}
                                         << "";
}

void TestCheck::aWayBackCutShortIsNamed()
{
    QFETCH(QStringList, files);
    QFETCH(QString, run);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &name : std::as_const(files)) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString database = dir.filePath(QStringLiteral("loja.fb"));
    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), database);
    QString said;
    try {
        CheckReport::examine(db);
    } catch (const Exception &e) {
        said = e.message();
    }
    if (run.isEmpty()) {
        QVERIFY2(said.startsWith(QStringLiteral("Não foi possível conectar")), qPrintable(said));
        QVERIFY2(!said.contains(QStringLiteral("restauração")), qPrintable(said));
        return;
    }
    const QString copy = dir.filePath(QStringLiteral("loja.copia-%1.nbk").arg(run));
    QCOMPARE(said, QStringLiteral("Chame o técnico responsável pelo sistema.\rA restauração de %1 foi interrompida: o banco não "
                                  "está no lugar. O banco convertido está guardado em %2, e a cópia de segurança em %3.\r\rPara "
                                  "o técnico: conversor --restore %3 termina a restauração (refaz o banco a partir da cópia; nada "
                                  "é apagado).")
                       .arg(database, dir.filePath(QStringLiteral("loja.convertido-%1.nbk").arg(run)), copy));
    // Said, and nothing else done: no database made where it was.
    QVERIFY(!QFile::exists(database));
}

QTEST_GUILESS_MAIN(TestCheck)
#include "tst_check.moc"
