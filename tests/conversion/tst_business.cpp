// Databases shaped like a shop's, on the real embedded engine, as tables of schemas: character
// sets, rows without a code, relations that store no codes, references between code columns,
// collisions, triggers (hidden ones among them) and databases born in SQL dialect 3. Each run is
// compared with the conversion rule applied once to every stored code, as the engine itself
// computes it before the run; what a run must leave alone is compared with what it was.
#include "conversion.h"
#include "dbread.h"
#include "params.h"
#include "recordingview.h"
#include "sqlconnection.h"
#include "sqlquery.h"
#include "tempdb.h"

#include <QtTest>

namespace {

const QString success = QStringLiteral("Dados atualizados com sucesso! ");
// The rule, once, on a code; a row without a code (NULL, empty, blanks) keeps it.
const QString rule = QStringLiteral("iif(trim(%1) <> '', SUBSTR(%1,2,2) || '0' || SUBSTR(%1,3,6), %1)");

// Products with a key, and triggers a run must leave as they are and fire none of: a logging
// one, one whose source the vendor removed, and two the user has switched off (one of them on
// the database itself, the other with its source removed too).
const QString products = QStringLiteral(R"(
CREATE TABLE PRODUTOS (CODPROD VARCHAR(10) NOT NULL PRIMARY KEY, DESCRICAO VARCHAR(40));
CREATE TABLE LOG_GATILHO (QUEM VARCHAR(31), CODIGO VARCHAR(10));
INSERT INTO PRODUTOS VALUES ('1234567', 'Camisa');
INSERT INTO PRODUTOS VALUES ('2345678', 'Calça');
INSERT INTO PRODUTOS VALUES ('3456789', 'Meia');
SET TERM ^ ;
CREATE TRIGGER PRODUTOS_AU FOR PRODUTOS AFTER UPDATE AS
BEGIN INSERT INTO LOG_GATILHO VALUES ('PRODUTOS_AU', NEW.CODPROD); END^
CREATE TRIGGER PRODUTOS_AU_OCULTO FOR PRODUTOS AFTER UPDATE AS
BEGIN INSERT INTO LOG_GATILHO VALUES ('PRODUTOS_AU_OCULTO', NEW.CODPROD); END^
CREATE TRIGGER PRODUTOS_BU_DESLIGADO FOR PRODUTOS INACTIVE BEFORE UPDATE AS
BEGIN NEW.DESCRICAO = 'estragado'; END^
CREATE TRIGGER AO_CONECTAR INACTIVE ON CONNECT AS
BEGIN INSERT INTO LOG_GATILHO VALUES ('AO_CONECTAR', NULL); END^
SET TERM ; ^
COMMIT;
UPDATE RDB$TRIGGERS SET RDB$TRIGGER_SOURCE = NULL WHERE RDB$TRIGGER_NAME IN ('PRODUTOS_AU_OCULTO', 'PRODUTOS_BU_DESLIGADO');
COMMIT;
)");
const QStringList productTriggers{"AO_CONECTAR=1", "PRODUTOS_AU=0", "PRODUTOS_AU_OCULTO=0", "PRODUTOS_BU_DESLIGADO=1"};

// A code column: "TABLE.COLUMN", or "TABLE.#N" for the table's Nth column (one that SQL dialect 1
// cannot name); the values of each, sorted.
QMap<QString, QStringList> values(const QString &file, const QStringList &columns, const QString &expression = QStringLiteral("%1"))
{
    QMap<QString, QStringList> all;
    for (const QString &c : columns) {
        const QString table = c.section(u'.', 0, 0), column = c.section(u'.', 1);
        QStringList v;
        if (column.startsWith(u'#')) {
            TSQLConnection db;
            db.Params.setValue(QStringLiteral("DataBase"), file);
            TSQLQuery q;
            q.setSQLConnection(&db);
            q.SQL().setText(QStringLiteral("select * from ") + table);
            for (q.Open(); !q.Eof(); q.Next())
                v << q.field(column.mid(1).toInt() - 1).AsString();
        } else {
            v = readColumn(file, QStringLiteral("select %1 from %2").arg(expression.arg(column), table));
        }
        // A fixed-length column pads a rewritten code with blanks; a code of blanks stays whole.
        for (QString &value : v)
            if (!trimControl(value).isEmpty())
                while (value.endsWith(u' '))
                    value.chop(1);
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

QString description(const QString &file)
{
    return readColumn(file, QStringLiteral("select RDB$DESCRIPTION from RDB$DATABASE")).value(0);
}

} // namespace

class TestBusiness : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void schemas_data();
    void schemas();
    void dialect3Schemas_data();
    void dialect3Schemas();
    void databaseWithoutCodes();
    void theSample();

private:
    // Runs the tool once on file and checks what it must have done: codes converted once or
    // left as they were, kept columns as they were, triggers as before and none fired.
    void convertAndCheck(const QString &file, const QStringList &codes, const QStringList &kept, bool converts,
                         const QString &box, int relations);
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
    QTest::addColumn<QStringList>("kept");  // columns a run leaves as they are
    QTest::addColumn<bool>("converts");     // every code converted once, or the run fails and nothing changes
    QTest::addColumn<QString>("box");       // the box's text, or a pattern it matches for a failed run
    QTest::addColumn<int>("relations");     // status lines and gauge steps of a converting run

    const QString stored = QStringLiteral("substr.sql"), classic = QStringLiteral("substr-udf.sql");
    // Accented codes, and rows without a code: NULL, empty, blanks, in text and fixed columns.
    const QString accented = QStringLiteral(R"(
CREATE TABLE ETIQUETAS (CODPROD VARCHAR(10));
INSERT INTO ETIQUETAS VALUES ('Ç234567');
INSERT INTO ETIQUETAS VALUES ('ÁÉ3456Í');
INSERT INTO ETIQUETAS VALUES ('1ãõ4567');
INSERT INTO ETIQUETAS VALUES (NULL);
INSERT INTO ETIQUETAS VALUES ('');
INSERT INTO ETIQUETAS VALUES ('   ');
CREATE TABLE CAIXA (CODPROD CHAR(8));
INSERT INTO CAIXA VALUES ('1234567');
INSERT INTO CAIXA VALUES (NULL);
INSERT INTO CAIXA VALUES ('');
)");
    const QStringList accentedCodes{"PRODUTOS.CODPROD", "ETIQUETAS.CODPROD", "CAIXA.CODPROD"};
    for (const char *charset : {"WIN1252", "ISO8859_1"})
        for (const QString &fixture : {stored, classic})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(charset, fixture == stored ? "stored SUBSTR" : "classic external SUBSTR")))
                << QStringLiteral("DEFAULT CHARACTER SET %1").arg(charset) << fixture << accented << accentedCodes
                << QStringList{} << true << success << 3;

    QTest::newRow("views and a computed column store nothing") << "" << classic << R"(
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
CREATE TABLE FORNECEDOR (REFERENCIA VARCHAR(10), ATIVO INTEGER);
INSERT INTO FORNECEDOR VALUES ('7654321', 1);
INSERT INTO FORNECEDOR VALUES ('7654322', 0);
CREATE VIEW V_FORN (CODPROD) AS SELECT REFERENCIA FROM FORNECEDOR;
CREATE VIEW V_FORN_ATIVOS (CODPROD) AS SELECT REFERENCIA FROM FORNECEDOR WHERE ATIVO = 1;
CREATE VIEW V_JUNTA (CODPROD, REFERENCIA) AS
  SELECT P.CODPROD, F.REFERENCIA FROM PRODUTOS P JOIN FORNECEDOR F ON F.ATIVO = 1;
SET TERM ^ ;
CREATE TRIGGER V_JUNTA_BU FOR V_JUNTA BEFORE UPDATE AS
BEGIN UPDATE FORNECEDOR SET REFERENCIA = NEW.CODPROD; END^
SET TERM ; ^
)" << QStringList{"PRODUTOS.CODPROD", "MOVIMENTO.CODPROD"}
                                                                               << QStringList{"FORNECEDOR.REFERENCIA", "CALCULADO.TEXTO"}
                                                                               << true << success << 11;

    const QString cascade = QStringLiteral(R"(
CREATE TABLE %1 (CODPROD VARCHAR(10), QTD INTEGER,
  CONSTRAINT FK_%1 FOREIGN KEY (CODPROD) REFERENCES PRODUTOS (CODPROD) ON UPDATE CASCADE);
INSERT INTO %1 VALUES ('1234567', 1);
INSERT INTO %1 VALUES ('3456789', 2);
INSERT INTO %1 VALUES (NULL, 3);
)");
    QTest::newRow("cascade, the child named before its master")
        << "" << classic << cascade.arg("ESTOQUE") << QStringList{"PRODUTOS.CODPROD", "ESTOQUE.CODPROD"} << QStringList{}
        << true << success << 2;
    QTest::newRow("cascade, the master named before its child")
        << "" << stored << cascade.arg("VENDAS") << QStringList{"PRODUTOS.CODPROD", "VENDAS.CODPROD"} << QStringList{}
        << true << success << 2;
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
                                                                          << QStringList{} << true << success << 5;
    // A reference does not hold the rows where another column of its key is NULL: the engine
    // converts the others, the child's own statement these.
    QTest::newRow("a compound cascading key, rows it does not hold") << "" << classic << R"(
CREATE TABLE ESTOQUE_LOJA (CODPROD VARCHAR(10) NOT NULL, LOJA INTEGER NOT NULL, SALDO INTEGER,
  CONSTRAINT PK_ESTOQUE_LOJA PRIMARY KEY (CODPROD, LOJA));
CREATE TABLE MOV_LOJA (CODPROD VARCHAR(10), LOJA INTEGER, QTD INTEGER,
  CONSTRAINT FK_MOV_LOJA FOREIGN KEY (CODPROD, LOJA) REFERENCES ESTOQUE_LOJA (CODPROD, LOJA) ON UPDATE CASCADE);
INSERT INTO ESTOQUE_LOJA VALUES ('1234567', 1, 10);
INSERT INTO ESTOQUE_LOJA VALUES ('2345678', 2, 5);
INSERT INTO MOV_LOJA VALUES ('1234567', 1, 1);
INSERT INTO MOV_LOJA VALUES ('2345678', 2, 1);
INSERT INTO MOV_LOJA VALUES ('1234567', NULL, 2);
INSERT INTO MOV_LOJA VALUES ('7654321', NULL, 3);
INSERT INTO MOV_LOJA VALUES (NULL, NULL, 4);
)" << QStringList{"PRODUTOS.CODPROD", "ESTOQUE_LOJA.CODPROD", "MOV_LOJA.CODPROD"}
                                                                                   << QStringList{} << true << success << 3;

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
            << "" << stored << wiping.arg(action) << QStringList{"PRODUTOS.CODPROD", "ITENS.CODPROD"} << QStringList{}
            << false << stop.arg(QString::fromLatin1(action)) << 0;
    QTest::newRow("a reference with no update action stops the run") << "" << stored << R"(
CREATE TABLE ITENS (CODPROD VARCHAR(10), CONSTRAINT FK_ITENS FOREIGN KEY (CODPROD) REFERENCES PRODUTOS (CODPROD));
INSERT INTO ITENS VALUES ('1234567');
)" << QStringList{"PRODUTOS.CODPROD", "ITENS.CODPROD"} << QStringList{}
                                                                                    << false
                                                                                    << "^Erro ao atualizar a tabela ITENS +Motivo: A chave "
                                                                                       "estrangeira FK_ITENS \\(ON UPDATE RESTRICT\\) "
                                                                                       "impede a conversão de PRODUTOS: esta tabela "
                                                                                       "tem códigos que a conversão muda$"
                                                                                    << 0;
    QTest::newRow("codes that collide after the rewrite, named in the box")
        << "" << stored << "INSERT INTO PRODUTOS VALUES ('9234567', 'Camisa azul');" << QStringList{"PRODUTOS.CODPROD"}
        << QStringList{} << false
        << "(?s)violation of PRIMARY or UNIQUE KEY constraint.*\\rCódigos que ficariam iguais: 1234567 e 9234567 → 203456 "
           "\\(PRODUTOS, chave INTEG_\\d+\\)$"
        << 0;
}

void TestBusiness::convertAndCheck(const QString &file, const QStringList &codes, const QStringList &kept, bool converts,
                                   const QString &box, int relations)
{
    const auto before = values(file, codes);
    const auto expected = converts ? values(file, codes, rule) : before;
    QVERIFY(before != expected || !converts);
    const auto keptBefore = values(file, kept);
    const QStringList triggers = triggerStates(file);
    const QString userDescription = description(file);

    const RecordingView view = convertOnce(file);
    QCOMPARE(view.boxes.size(), 1);
    // A safety copy beside the file when the run converted, with the codes as before; none when it
    // did not.
    const QStringList copies = QDir(QFileInfo(file).absolutePath())
                                   .entryList({QFileInfo(file).completeBaseName() + QStringLiteral(".copia-*.fb")});
    QCOMPARE(copies.size(), converts ? 1 : 0);
    if (converts) {
        const QString copy = QFileInfo(file).absoluteDir().filePath(copies.first());
        QCOMPARE(view.boxes[0].text, box + QStringLiteral("\rCópia de segurança: ") + copy);
        QCOMPARE(values(copy, codes), before);
        QCOMPARE(view.boxes[0].gaugeMax, relations);
        QCOMPARE(view.boxes[0].gaugeValue, relations);
        QCOMPARE(view.statuses.size(), view.copyLines().size() + relations + 1); // the copy's, each relation's, "Concluído!"
        QVERIFY2(description(file).startsWith(QStringLiteral("Conversor de dados: códigos de produto convertidos em ")),
                 qPrintable(description(file)));
    } else {
        QCOMPARE(view.boxes[0].kind, MessageKind::Error);
        QVERIFY2(QRegularExpression(box).match(view.boxes[0].text).hasMatch(), qPrintable(view.boxes[0].text));
        QCOMPARE(description(file), userDescription);
    }
    QCOMPARE(values(file, codes), expected);
    QCOMPARE(values(file, kept), keptBefore);
    QCOMPARE(triggerStates(file), triggers);
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from LOG_GATILHO")), QStringList{"0"});
}

void TestBusiness::schemas()
{
    QFETCH(QString, options);
    QFETCH(QString, substr);
    QFETCH(QString, schema);
    QFETCH(QStringList, codes);
    QFETCH(QStringList, kept);
    QFETCH(bool, converts);
    QFETCH(QString, box);
    QFETCH(int, relations);

    static int n = 0;
    const QString file = dbs_.create(QStringLiteral("schema%1.fb").arg(++n), TempDatabases::fixture(substr) + products + schema,
                                     options);
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    for (const QString &trigger : productTriggers)
        QVERIFY2(triggerStates(file).contains(trigger), qPrintable(trigger));
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from RDB$TRIGGERS where RDB$TRIGGER_SOURCE is null and "
                                             "RDB$SYSTEM_FLAG = 0")),
             QStringList{"2"});
    convertAndCheck(file, codes, kept, converts, box, relations);
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from PRODUTOS where DESCRICAO = 'estragado'")), QStringList{"0"});
}

void TestBusiness::dialect3Schemas_data()
{
    // Names only SQL dialect 3 can write, in databases born there and switched to dialect 1.
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("relations");
    const QString logging = QStringLiteral(R"(
CREATE TABLE LOG_GATILHO (QUEM VARCHAR(31));
SET TERM ^ ;
CREATE TRIGGER PRODUTOS_AU FOR PRODUTOS AFTER UPDATE AS BEGIN INSERT INTO LOG_GATILHO VALUES ('PRODUTOS_AU'); END^
SET TERM ; ^
)");
    // The discovery lists PRODUTOS twice (its condition compares names without case).
    QTest::newRow("CODPROD and a quoted codprod: one rewrite")
        << "CREATE TABLE PRODUTOS (CODPROD VARCHAR(10), \"codprod\" VARCHAR(10));\n"
           "INSERT INTO PRODUTOS VALUES ('1234567', '7654321');\n" + logging
        << QStringList{"PRODUTOS.CODPROD"} << QStringList{"PRODUTOS.#2"} << true << success << 2;
    QTest::newRow("a view's name dialect 1 cannot write: skipped")
        << "CREATE TABLE PRODUTOS (CODPROD VARCHAR(10));\nINSERT INTO PRODUTOS VALUES ('1234567');\n"
           "CREATE VIEW \"vw Produtos\" AS SELECT CODPROD FROM PRODUTOS;\n" + logging
        << QStringList{"PRODUTOS.CODPROD"} << QStringList{} << true << success << 2;
    QTest::newRow("a table's name dialect 1 cannot write: stops")
        << "CREATE TABLE PRODUTOS (CODPROD VARCHAR(10));\nINSERT INTO PRODUTOS VALUES ('1234567');\n"
           "CREATE TABLE \"produtos\" (CODPROD VARCHAR(10));\nINSERT INTO \"produtos\" VALUES ('7654321');\n" + logging
        << QStringList{"PRODUTOS.CODPROD"} << QStringList{} << false
        << "^Erro ao atualizar a tabela produtos +Motivo: Nome de tabela inválido: produtos$" << 0;
    QTest::newRow("a code column dialect 1 cannot write: stops")
        << "CREATE TABLE PRODUTOS (\"codprod\" VARCHAR(10));\nINSERT INTO PRODUTOS VALUES ('1234567');\n" + logging
        << QStringList{"PRODUTOS.#1"} << QStringList{} << false
        << "^Erro ao atualizar a tabela PRODUTOS +Motivo: Nome de coluna inválido: codprod$" << 0;
}

void TestBusiness::dialect3Schemas()
{
    QFETCH(QString, schema);
    QFETCH(QStringList, codes);
    QFETCH(QStringList, kept);
    QFETCH(bool, converts);
    QFETCH(QString, box);
    QFETCH(int, relations);
    static int n = 0;
    const QString file = dbs_.createFromDialect3(QStringLiteral("dialect3-%1.fb").arg(++n), schema);
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    QVERIFY(TempDatabases::isql(file, TempDatabases::fixture(QStringLiteral("substr.sql"))).ok);
    convertAndCheck(file, codes, kept, converts, box, relations);
}

void TestBusiness::databaseWithoutCodes()
{
    // The wrong file, chosen by mistake: nothing changes, and the box says why.
    const QString file = dbs_.create(QStringLiteral("sem-codigos.fb"), QStringLiteral(R"(
CREATE TABLE CLIENTES (CODCLI INTEGER, NOME VARCHAR(40));
CREATE TABLE LOG_GATILHO (QUEM VARCHAR(31));
INSERT INTO CLIENTES VALUES (1, 'Conceição');
SET TERM ^ ;
CREATE TRIGGER CLIENTES_AU FOR CLIENTES AFTER UPDATE AS BEGIN INSERT INTO LOG_GATILHO VALUES ('CLIENTES_AU'); END^
SET TERM ; ^
)"));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    TSQLConnection db;
    RecordingView view;
    view.path = file;
    Conversion conversion(db, view);
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Failed);
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Error);
    QCOMPARE(view.boxes[0].text, QStringLiteral("Nenhuma tabela deste banco tem a coluna CODPROD: nada foi alterado."));
    QCOMPARE(triggerStates(file), QStringList{"CLIENTES_AU=0"});
    QCOMPARE(description(file), QStringLiteral("<null>"));
}

void TestBusiness::theSample()
{
    QFile f(QStringLiteral(SAMPLE_SQL));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString file = dbs_.create(QStringLiteral("exemplo.fb"), QString::fromUtf8(f.readAll()),
                                     QStringLiteral("DEFAULT CHARACTER SET WIN1252"));
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    const QStringList codes{"PRODUTOS.CODPROD", "ESTOQUE.CODPROD", "VENDAS.CODPROD", "HISTORICO_DE_PRECOS_POR_PRODUTO.CODPROD"};
    const auto expected = values(file, codes, rule);
    const QStringList triggers = triggerStates(file);

    const RecordingView view = convertOnce(file);
    QCOMPARE(view.boxes.size(), 1);
    QVERIFY2(view.boxes[0].text.startsWith(success + QStringLiteral("\rCópia de segurança: ")), qPrintable(view.boxes[0].text));
    QCOMPARE(view.copyLines().last(), QStringLiteral("Copiando o banco: 100%"));
    QCOMPARE(view.statuses.mid(view.copyLines().size()),
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

QTEST_GUILESS_MAIN(TestBusiness)
#include "tst_business.moc"
