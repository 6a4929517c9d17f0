// Databases shaped like a shop's, on the real embedded engine, as tables of schemas: character
// sets, relations that store no codes, references between code columns, collisions and the
// triggers' states. Each run is compared with the conversion rule applied once to every stored
// code column, as the engine itself computes it before the run.
#include "conversion.h"
#include "dbread.h"
#include "params.h"
#include "recordingview.h"
#include "sqlconnection.h"
#include "tempdb.h"

#include <QtTest>

namespace {

const QString success = QStringLiteral("Dados atualizados com sucesso! ");
const QString rule = QStringLiteral("SUBSTR(%1,2,2) || '0' || SUBSTR(%1,3,6)");

// Products with a key, a logging trigger, and two triggers the user has switched off (one of
// them on the database itself): a run must leave all three as they are, and fire none.
const QString products = QStringLiteral(R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(10) NOT NULL PRIMARY KEY, DESCRICAO VARCHAR(40));
CREATE TABLE LOG_GATILHO (QUEM VARCHAR(31), CODIGO VARCHAR(10));
INSERT INTO PRODUTOS VALUES ('1234567', 'Camisa');
INSERT INTO PRODUTOS VALUES ('2345678', 'Calça');
INSERT INTO PRODUTOS VALUES ('3456789', 'Meia');
SET TERM ^ ;
CREATE TRIGGER PRODUTOS_AU FOR PRODUTOS AFTER UPDATE AS
BEGIN INSERT INTO LOG_GATILHO VALUES ('PRODUTOS_AU', NEW.CODPROD); END^
CREATE TRIGGER PRODUTOS_BU_DESLIGADO FOR PRODUTOS INACTIVE BEFORE UPDATE AS
BEGIN NEW.DESCRICAO = 'estragado'; END^
CREATE TRIGGER AO_CONECTAR INACTIVE ON CONNECT AS
BEGIN INSERT INTO LOG_GATILHO VALUES ('AO_CONECTAR', NULL); END^
SET TERM ; ^
COMMIT;
)");

// A code column: "TABLE.COLUMN"; the values of each, sorted.
QMap<QString, QStringList> values(const QString &file, const QStringList &columns, const QString &expression = QStringLiteral("%1"))
{
    QMap<QString, QStringList> all;
    for (const QString &c : columns) {
        const QString sql = QStringLiteral("select %1 from %2").arg(expression.arg(c.section(u'.', 1)), c.section(u'.', 0, 0));
        QStringList v;
        for (const QString &value : readColumn(file, sql))
            v << trimControl(value);
        v.sort();
        all[c] = v;
    }
    return all;
}

QStringList triggerStates(const QString &file)
{
    return readColumn(file, QStringLiteral("select trim(RDB$TRIGGER_NAME) || '=' || coalesce(RDB$TRIGGER_INACTIVE, 0) "
                                           "from RDB$TRIGGERS where coalesce(RDB$SYSTEM_FLAG, 0) = 0 order by 1"));
}

} // namespace

class TestBusiness : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void schemas_data();
    void schemas();
    void theSample();
    void lowercaseRelationName();

private:
    TempDatabases dbs_;
};

void TestBusiness::initTestCase()
{
    QVERIFY(dbs_.isValid());
}

void TestBusiness::schemas_data()
{
    QTest::addColumn<QString>("options");   // CREATE DATABASE options
    QTest::addColumn<QString>("substr");    // the fixture that defines SUBSTR
    QTest::addColumn<QString>("schema");    // after the products
    QTest::addColumn<QStringList>("codes"); // the stored code columns
    QTest::addColumn<bool>("converts");     // every one converted once, or the run fails and nothing changes
    QTest::addColumn<QString>("box");       // the box's text, or a pattern it matches for a failed run
    QTest::addColumn<int>("relations");     // status lines and gauge steps of a converting run

    const QString stored = QStringLiteral("substr.sql"), classic = QStringLiteral("substr-udf.sql");
    const QString accented = QStringLiteral(R"(
CREATE TABLE ETIQUETAS (CODPROD VARCHAR(10));
INSERT INTO ETIQUETAS VALUES ('Ç234567');
INSERT INTO ETIQUETAS VALUES ('ÁÉ3456Í');
INSERT INTO ETIQUETAS VALUES ('1ãõ4567');
)");
    const QStringList accentedCodes{"PRODUTOS.CODPROD", "ETIQUETAS.CODPROD"};
    for (const char *charset : {"WIN1252", "ISO8859_1"})
        for (const QString &fixture : {stored, classic})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(charset, fixture == stored ? "stored SUBSTR" : "classic external SUBSTR")))
                << QStringLiteral("DEFAULT CHARACTER SET %1").arg(charset) << fixture << accented << accentedCodes << true
                << success << 2;

    QTest::newRow("read-only views and a computed column") << "" << stored << R"(
CREATE TABLE MOVIMENTO (CODPROD VARCHAR(10), QTD INTEGER);
INSERT INTO MOVIMENTO VALUES ('1234567', 2);
INSERT INTO MOVIMENTO VALUES ('1234567', 3);
INSERT INTO MOVIMENTO VALUES (NULL, 1);
CREATE VIEW SALDO (CODPROD, TOTAL) AS SELECT CODPROD, SUM(QTD) FROM MOVIMENTO GROUP BY CODPROD;
CREATE VIEW LIMPOS (CODPROD) AS SELECT TRIM(CODPROD) FROM PRODUTOS;
CREATE VIEW DISTINTOS AS SELECT DISTINCT CODPROD FROM MOVIMENTO;
CREATE TABLE CALCULADO (TEXTO VARCHAR(10), CODPROD COMPUTED BY (TEXTO || ''));
INSERT INTO CALCULADO VALUES ('1234567');
CREATE VIEW V_PRODUTOS AS SELECT CODPROD, DESCRICAO FROM PRODUTOS;
CREATE VIEW V_V_PRODUTOS AS SELECT CODPROD FROM V_PRODUTOS;
CREATE TABLE FORNECEDOR (REFERENCIA VARCHAR(10));
INSERT INTO FORNECEDOR VALUES ('7654321');
CREATE VIEW F1 (CODPROD) AS SELECT REFERENCIA FROM FORNECEDOR;
CREATE VIEW F2 (CODPROD) AS SELECT REFERENCIA FROM FORNECEDOR;
)" << QStringList{"PRODUTOS.CODPROD", "MOVIMENTO.CODPROD", "FORNECEDOR.REFERENCIA"}
                                                           << true << success << 10;

    const QString cascade = QStringLiteral(R"(
CREATE TABLE %1 (CODPROD VARCHAR(10), QTD INTEGER,
  CONSTRAINT FK_%1 FOREIGN KEY (CODPROD) REFERENCES PRODUTOS (CODPROD) ON UPDATE CASCADE);
INSERT INTO %1 VALUES ('1234567', 1);
INSERT INTO %1 VALUES ('3456789', 2);
INSERT INTO %1 VALUES (NULL, 3);
)");
    QTest::newRow("cascade, the child named before its master")
        << "" << stored << cascade.arg("ESTOQUE") << QStringList{"PRODUTOS.CODPROD", "ESTOQUE.CODPROD"} << true << success << 2;
    QTest::newRow("cascade, the master named before its child")
        << "" << stored << cascade.arg("VENDAS") << QStringList{"PRODUTOS.CODPROD", "VENDAS.CODPROD"} << true << success << 2;
    QTest::newRow("cascades in a chain, other columns and views over them") << "" << stored << R"(
CREATE TABLE VARIANTES (CODPROD VARCHAR(10) NOT NULL PRIMARY KEY,
  CONSTRAINT FK_VARIANTES FOREIGN KEY (CODPROD) REFERENCES PRODUTOS (CODPROD) ON UPDATE CASCADE);
CREATE TABLE ITENS (CODPROD VARCHAR(10),
  CONSTRAINT FK_ITENS FOREIGN KEY (CODPROD) REFERENCES VARIANTES (CODPROD) ON UPDATE CASCADE);
CREATE TABLE PEDIDOS (PRODUTO VARCHAR(10),
  CONSTRAINT FK_PEDIDOS FOREIGN KEY (PRODUTO) REFERENCES PRODUTOS (CODPROD) ON UPDATE CASCADE);
INSERT INTO VARIANTES VALUES ('1234567');
INSERT INTO VARIANTES VALUES ('2345678');
INSERT INTO ITENS VALUES ('1234567');
INSERT INTO ITENS VALUES ('2345678');
INSERT INTO PEDIDOS VALUES ('3456789');
CREATE VIEW A_ITENS AS SELECT CODPROD FROM ITENS;
CREATE VIEW A_PEDIDOS (CODPROD) AS SELECT PRODUTO FROM PEDIDOS;
)" << QStringList{"PRODUTOS.CODPROD", "VARIANTES.CODPROD", "ITENS.CODPROD", "PEDIDOS.PRODUTO"}
                                                                          << true << success << 5;

    const QString wiping = QStringLiteral(R"(
CREATE TABLE ITENS (CODPROD VARCHAR(10) DEFAULT '0000000',
  CONSTRAINT FK_ITENS FOREIGN KEY (CODPROD) REFERENCES PRODUTOS (CODPROD) ON UPDATE %1);
INSERT INTO PRODUTOS VALUES ('0000000', 'Padrão');
INSERT INTO ITENS VALUES ('1234567');
)");
    // The child's name as the database stores it, with its pad blanks.
    const QString stop = QStringLiteral("^Erro ao atualizar a tabela ITENS {26,}Motivo: A chave estrangeira FK_ITENS \\(ON "
                                        "UPDATE %1\\) apagaria os códigos desta tabela ao converter PRODUTOS$");
    for (const char *action : {"SET NULL", "SET DEFAULT"})
        QTest::newRow(qPrintable(QStringLiteral("ON UPDATE %1 stops the run").arg(action)))
            << "" << stored << wiping.arg(action) << QStringList{"PRODUTOS.CODPROD", "ITENS.CODPROD"} << false
            << stop.arg(QString::fromLatin1(action)) << 0;
    QTest::newRow("a reference with no update action: the engine refuses") << "" << stored << R"(
CREATE TABLE ITENS (CODPROD VARCHAR(10), CONSTRAINT FK_ITENS FOREIGN KEY (CODPROD) REFERENCES PRODUTOS (CODPROD));
INSERT INTO ITENS VALUES ('1234567');
)" << QStringList{"PRODUTOS.CODPROD", "ITENS.CODPROD"}
                                                                           << false << "FK_ITENS" << 0;
    QTest::newRow("codes that collide after the rewrite")
        << "" << stored << "INSERT INTO PRODUTOS VALUES ('9234567', 'Camisa azul');" << QStringList{"PRODUTOS.CODPROD"}
        << false << "violation of PRIMARY or UNIQUE KEY constraint" << 0;
}

void TestBusiness::schemas()
{
    QFETCH(QString, options);
    QFETCH(QString, substr);
    QFETCH(QString, schema);
    QFETCH(QStringList, codes);
    QFETCH(bool, converts);
    QFETCH(QString, box);
    QFETCH(int, relations);

    static int n = 0;
    const QString file = dbs_.create(QStringLiteral("schema%1.fb").arg(++n), TempDatabases::fixture(substr) + products + schema,
                                     options);
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const auto before = values(file, codes);
    const auto expected = converts ? values(file, codes, rule) : before;
    QVERIFY(before != expected || !converts);
    const QStringList triggers = triggerStates(file);
    QCOMPARE(triggers, (QStringList{"AO_CONECTAR=1", "PRODUTOS_AU=0", "PRODUTOS_BU_DESLIGADO=1"}));

    const RecordingView view = convertOnce(file);
    QCOMPARE(view.boxes.size(), 1);
    if (converts) {
        QCOMPARE(view.boxes[0].text, box);
        QCOMPARE(view.boxes[0].gaugeMax, relations);
        QCOMPARE(view.boxes[0].gaugeValue, relations);
        QCOMPARE(view.statuses.size(), relations + 1);
    } else {
        QCOMPARE(view.boxes[0].kind, MessageKind::Error);
        QVERIFY2(QRegularExpression(box).match(view.boxes[0].text).hasMatch(), qPrintable(view.boxes[0].text));
    }
    QCOMPARE(values(file, codes), expected);
    QCOMPARE(triggerStates(file), triggers);
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from LOG_GATILHO")), QStringList{"0"});
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from PRODUTOS where DESCRICAO = 'estragado'")), QStringList{"0"});
}

void TestBusiness::theSample()
{
    QFile f(QStringLiteral(SAMPLE_SQL));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString file = dbs_.create(QStringLiteral("exemplo.fb"), QString::fromUtf8(f.readAll()),
                                     QStringLiteral("DEFAULT CHARACTER SET WIN1252"));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const QStringList codes{"PRODUTOS.CODPROD", "ESTOQUE.CODPROD", "VENDAS.CODPROD", "HISTORICO_DE_PRECOS_POR_PRODUTO.CODPROD"};
    // A sale with no product keeps no code: the cascade leaves it NULL (the classic SUBSTR
    // would have made "0" of it, had the sales been rewritten on their own).
    const auto expected = values(file, codes, QStringLiteral("iif(%1 is null, null, ") + rule + u')');
    const QStringList triggers = triggerStates(file);

    const RecordingView view = convertOnce(file);
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].text, success);
    QCOMPARE(view.statuses,
             (QStringList{"Atualizando tabela: CODIGOS_LIMPOS", "Atualizando tabela: ESTOQUE", "Atualizando tabela: ETIQUETAS",
                          "Atualizando tabela: HISTORICO_DE_PRECOS_POR_PRODUTO", "Atualizando tabela: LOG_ALTERACOES",
                          "Atualizando tabela: PRODUTOS", "Atualizando tabela: SALDO_ESTOQUE",
                          "Atualizando tabela: VENDAS", "Atualizando tabela: V_PRODUTOS", "Concluído!"}));
    QCOMPARE(values(file, codes), expected);
    QCOMPARE(values(file, {"PRODUTOS.CODPROD"}).first(), (QStringList{"000000", "203456", "304567"}));
    QCOMPARE(triggerStates(file), triggers);
    QCOMPARE(triggers, (QStringList{"PRODUTOS_AU=0", "VENDAS_BU_DESATIVADO=1"}));
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from LOG_ALTERACOES")), QStringList{"0"});
}

void TestBusiness::lowercaseRelationName()
{
    // Dialect 1 cannot name such a relation; a database made under dialect 3 and switched to
    // dialect 1 can have one beside its upper-case namesake.
    const QString file = dbs_.createFromDialect3(QStringLiteral("lowercase.fb"), QStringLiteral(
        "CREATE TABLE PRODUTOS (CODPROD VARCHAR(10));\nINSERT INTO PRODUTOS VALUES ('1234567');\n"
        "CREATE TABLE \"produtos\" (CODPROD VARCHAR(10));\nINSERT INTO \"produtos\" VALUES ('7654321');\n"));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    QVERIFY(TempDatabases::isql(file, TempDatabases::fixture(QStringLiteral("substr.sql"))).ok);

    const RecordingView view = convertOnce(file);
    QCOMPARE(view.boxes.size(), 1);
    QVERIFY2(view.boxes[0].text.endsWith(QStringLiteral("Motivo: Nome de tabela inválido: produtos")),
             qPrintable(view.boxes[0].text));
    QCOMPARE(readColumn(file, QStringLiteral("select CODPROD from PRODUTOS")), QStringList{"1234567"});
}

QTEST_GUILESS_MAIN(TestBusiness)
#include "tst_business.moc"
