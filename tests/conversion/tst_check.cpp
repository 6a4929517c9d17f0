// The read-only check on the real engine, as a table of databases: what it says of each (its
// lines and its status), and that the database is as it was afterwards.
#include "check.h"
#include "dbread.h"
#include "sqlconnection.h"
#include "tempdb.h"

#include <QtTest>

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
                                                                   "  impede a conversão: O banco está sob a trava de cópia do "
                                                                   "Firebird (ALTER DATABASE BEGIN BACKUP, ou nbackup -L), que não é do "
                                                                   "Conversor de dados: quando nenhuma cópia estiver sendo feita, "
                                                                   "libere-o (conversor --unlock <arquivo>) e converta de novo.",
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
}

// The list --check --de-para writes, opened as a spreadsheet opens it: each product's
// description back as stored, whatever it holds, and the database as it was.
void TestCheck::codeListReadsBackInASpreadsheet()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    static int n = 0;
    const QString file = dbs_.create(QStringLiteral("lista%1.fb").arg(++n), TempDatabases::fixture(QStringLiteral("substr.sql")) + QStringLiteral(R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(10) NOT NULL PRIMARY KEY, DESCRICAO VARCHAR(40));
INSERT INTO PRODUTOS VALUES ('12345678', %1);
INSERT INTO PRODUTOS VALUES ('71234567', 'Camisa');
COMMIT;
)").arg(stored), QStringLiteral("DEFAULT CHARACTER SET UTF8"));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const QStringList before = state(file, {QStringLiteral("PRODUTOS")});

    TSQLConnection db;
    db.Params.setValue(QStringLiteral("DataBase"), file);
    const CheckReport report = CheckReport::examine(db, true);
    QCOMPARE(report.status(), 0);
    const QStringList lists = QDir(QFileInfo(file).absolutePath())
                                  .entryList({QFileInfo(file).completeBaseName() + QStringLiteral(".de-para-*.csv")});
    QCOMPARE(lists.size(), 1);
    QFile f(QFileInfo(file).absoluteDir().filePath(lists.first()));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll().mid(3)); // after the UTF-8 mark
    f.remove();
    const QList<QStringList> expectedRows{
        {"codigo_antigo", "codigo_novo", "linhas", "descricao (PRODUTOS.DESCRICAO)", "codigo_novo_repetido"},
        {"12345678", "203456", "1", expected, ""},
        {"71234567", "102345", "1", "Camisa", ""}};
    for (const QString &separators : {QStringLiteral(";"), QStringLiteral("\t,;")})
        QCOMPARE(spreadsheetRows(text, separators), expectedRows);
    QCOMPARE(state(file, {QStringLiteral("PRODUTOS")}), before);
}

QTEST_GUILESS_MAIN(TestCheck)
#include "tst_check.moc"
