// The conversion run over the recording fake layer: what it writes and in what order, its texts
// and gauge values, and what a failure or a stop at each point leaves behind. The texts the
// run's design fixes (the discovery, the rewrite, "Commit") are compared as sent; the run's
// other statements by what they are for: a look reads, a write is told by what it writes.
#include "advice.h"
#include "conversion.h"
#include "errors.h"
#include "fakelayer.h"
#include "fakeshop.h"
#include "iscenv.h"
#include "marks.h"
#include "recordingview.h"
#include "restore.h"
#include "sqlconnection.h"
#include "statements.h"

#include <QtTest>

#include <ibase.h>

#include <cerrno>

using fakeshop::noCopy;
using fakeshop::padded;

namespace {

const QString success = QStringLiteral("Dados atualizados com sucesso! ");
const QString discovery = QStringLiteral(
    "Select rdb$relation_name As Tabela                                   From rdb$relation_fields"
    "                                   Where Upper(Trim(rdb$field_name)) = 'CODPROD'             Order By 1"
    "                                           ");
const QString count =
    QStringLiteral("select count(*) from RDB$RELATION_FIELDS Where Upper(Trim(rdb$field_name)) = 'CODPROD'");

// A table's rewrite: its codes mapped, then its rows given their codes from the map (writes()
// says the two in one line).
QString rewrite(const QString &table)
{
    return QStringLiteral("<map %1> UPDATE %1 SET CODPROD = (<its code from the map>) WHERE TRIM(CODPROD) <> ''").arg(table);
}

// A description written, as what it says: the user's text, and the tool's lines by their kind.
QString describedAs(const QString &hexOrNull, const QString &context)
{
    if (hexOrNull == QLatin1String("NULL"))
        return QStringLiteral("none");
    const QByteArray bytes = QByteArray::fromHex(hexOrNull.mid(2, hexOrNull.size() - 3).toLatin1());
    QStringList said;
    for (const marks::Line &line : marks::find(bytes, context)) {
        switch (line.kind) {
        case marks::Kind::Converted: said << QStringLiteral("<converted>"); break;
        case marks::Kind::Reserved: said << QStringLiteral("<reserved>"); break;
        case marks::Kind::Copying: said << QStringLiteral("<copying>"); break;
        case marks::Kind::Copied: said << QStringLiteral("<copied>"); break;
        case marks::Kind::CopyOf: said << QStringLiteral("<copy of>"); break;
        case marks::Kind::Restoring: said << QStringLiteral("<restoring>"); break;
        case marks::Kind::TriggerOff: said << QStringLiteral("<off>"); break;
        }
    }
    marks::Description user = bytes;
    for (marks::Kind k : {marks::Kind::Converted, marks::Kind::Reserved, marks::Kind::Copying, marks::Kind::Copied,
                          marks::Kind::CopyOf, marks::Kind::Restoring, marks::Kind::TriggerOff})
        user = marks::without(user, k, context);
    if (user)
        said.prepend(u'\'' + QString::fromUtf8(*user) + u'\'');
    return said.join(u' ');
}

// The statements that change something, in order, each as what it does; the design's texts as
// they are sent (line ends aside).
QStringList writes(const QStringList &statements)
{
    static const QRegularExpression comment(QStringLiteral("^COMMENT ON (DATABASE|TRIGGER (\\S+)) IS (x'[0-9A-F]*'|NULL)$"));
    static const QRegularExpression filled(QStringLiteral("^INSERT INTO CONVERSOR\\$MAPA .* from (\\S+) where TRIM\\(CODPROD\\)"));
    static const QString mapped = u'(' + statements::mappedCode(1) + u')';
    QString mapping;
    QStringList out;
    for (QString s : statements) {
        s = s.trimmed();
        if (s.startsWith(QLatin1String("select"), Qt::CaseInsensitive) || s.endsWith(QLatin1String("EXCEPTION CONVERSOR$FECHADO"))
            || s.startsWith(QLatin1String("CREATE OR ALTER EXCEPTION CONVERSOR$FECHADO ")))
            continue;
        if (s.startsWith(QLatin1String("CREATE OR ALTER TRIGGER CONVERSOR$PORTA ")))
            s = QStringLiteral("<close the door>");
        if (s == QLatin1String("DROP TRIGGER CONVERSOR$PORTA"))
            s = QStringLiteral("<open the door>");
        if (s.startsWith(QLatin1String("CREATE GLOBAL TEMPORARY TABLE CONVERSOR$MAPA ")))
            s = QStringLiteral("<make the map>");
        if (s.startsWith(QLatin1String("CREATE INDEX CONVERSOR$MAPA_O ON CONVERSOR$MAPA (K, O)")))
            continue;
        if (s == QLatin1String("DROP TABLE CONVERSOR$MAPA"))
            s = QStringLiteral("<drop the map>");
        if (const QRegularExpressionMatch m = filled.match(s); m.hasMatch()) {
            if (!mapping.isEmpty())
                out << mapping;
            mapping = m.captured(1);
            continue;
        }
        s.replace(mapped, QStringLiteral("(<its code from the map>)"));
        // A table's codes mapped just before its rewrite: one line.
        if (!mapping.isEmpty() && s.startsWith(QStringLiteral("UPDATE %1 ").arg(mapping)))
            s.prepend(QStringLiteral("<map %1> ").arg(mapping));
        else if (!mapping.isEmpty())
            out << QStringLiteral("<map %1>").arg(mapping);
        mapping.clear();
        if (const QRegularExpressionMatch m = comment.match(s); m.hasMatch())
            s = QStringLiteral("describe %1: %2").arg(m.captured(2).isEmpty() ? QStringLiteral("database") : m.captured(2),
                                                      describedAs(m.captured(3), m.captured(2)));
        out << s;
    }
    return out;
}

// A shop of these tables (every one of them with codes of 8 characters), with a logging trigger
// and one the user has switched off.
fakeshop::Shop shop(const QStringList &tables, const QStringList &views = {})
{
    return {tables, views, {{"LOG_AU", 0}, {"DESLIGADO", 1}}, QString(), true};
}

// The user triggers as the database answers: name, off (1), description.
void triggers(FakeLayer &layer, const QList<std::tuple<QString, int, QString>> &all)
{
    FakeLayer::Result r{{"NAME", "INACTIVE", "RELATION", "DESCRIPTION"}, {}};
    for (const auto &[name, off, description] : all)
        r.rows << QVariantList{padded(name), off, padded(QStringLiteral("T1")), description.isNull() ? QVariant() : description};
    layer.addResult(QStringLiteral("from rdb$triggers"), r);
}

// Before anything else, the door closed to others with the record of the reservation.
const QStringList reserve{"describe database: <reserved>", "<close the door>", "Commit"};
const QStringList switchOff{"ALTER TRIGGER LOG_AU INACTIVE", "describe LOG_AU: <off>", "<make the map>", "Commit"};
const QStringList switchOnAndMark{"ALTER TRIGGER LOG_AU ACTIVE", "describe LOG_AU: none", "describe database: <converted>",
                                  "<open the door>", "<drop the map>", "Commit"};
// What a failed run's undo ends with once it committed its reservation: the door open, the record gone.
const QStringList givenBack{"describe database: none", "<open the door>", "Commit"};
const QStringList undone{"<rollback>", "ALTER TRIGGER LOG_AU ACTIVE", "describe LOG_AU: none", "<drop the map>", "Commit"};

} // namespace

class TestRun : public QObject {
    Q_OBJECT
private slots:
    void successOverThreeRelations();
    void failurePoints_data();
    void failurePoints();
    void stopsBeforeAnythingChanges_data();
    void stopsBeforeAnythingChanges();
    void whatARunCutShortLeft_data();
    void whatARunCutShortLeft();
    void relationsNotRewritten();
    void theListIsTheSurveysOnlyWhileNobodyElseWrote_data();
    void theListIsTheSurveysOnlyWhileNobodyElseWrote();
    void eachRunAttachesTheFileChosenThen();
    void databaseThatLooksConverted_data();
    void databaseThatLooksConverted();
    void interruptedRun_data();
    void interruptedRun();
    void interruptDuringTheCommitLeavesItConverted();
    void throughAServer_data();
    void throughAServer();
    void theWayBackOfAServersCopy_data();
    void theWayBackOfAServersCopy();
    void aWayBackCutShortAfterTheDropIsFinished_data();
    void aWayBackCutShortAfterTheDropIsFinished();
    void aWayBackCutShortIsNamedWhenARunCannotConnect();
    void rowsWhoseKeyAnotherRowTakesGoFirst();
    void theMapTakesTheProductsCodesFirst();
    void noMapWhereTheRuleIsCheap();
    void aServerThatRefusesTheLogin_data();
    void aServerThatRefusesTheLogin();
    void aFileSwappedDuringTheRunIsNoSuccess();
    void aStopWhileTheQuestionIsOpenIsAStop();
    void aFailureToGiveBackAfterTheCommitIsNoFailure();
    void theRulesProbe_data();
    void theRulesProbe();
    void enginesFailuresInAClerksWords_data();
    void enginesFailuresInAClerksWords();
    void theStatusLineSaysWhereTheCopyWent();
    void aRefusedWayBackNamesWhatItLeft_data();
    void aRefusedWayBackNamesWhatItLeft();
};

void TestRun::successOverThreeRelations()
{
    FakeLayer layer;
    fakeshop::script(layer, shop({"CLIENTES_PEDIDOS_ITENS_ANTIGOS1", "ESTOQUE", "PRODUTOS"}));
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/dados/loja.fb");
    Conversion(db, view, noCopy).run();

    QCOMPARE(writes(layer.statements), (reserve + switchOff + QStringList{rewrite("CLIENTES_PEDIDOS_ITENS_ANTIGOS1"), rewrite("ESTOQUE"),
                                                                rewrite("PRODUTOS")} + switchOnAndMark));
    // The discovery and its count come after every look and the switch-off's commit.
    const QStringList sent = layer.statements.replaceInStrings(QStringLiteral("\r\n"), QString());
    QCOMPARE(sent.value(sent.indexOf(discovery) - 1), QStringLiteral("Commit"));
    QVERIFY(sent.indexOf(discovery) > sent.indexOf(QStringLiteral("ALTER TRIGGER LOG_AU INACTIVE")));
    QCOMPARE(sent.indexOf(count), sent.indexOf(discovery) + 1);
    QVERIFY(sent.indexOf(QStringLiteral("ALTER TRIGGER LOG_AU INACTIVE")) > sent.indexOf(QRegularExpression(QStringLiteral("mon\\$attachments"))));
    QCOMPARE(view.statuses, (QStringList{"Atualizando tabela: CLIENTES_PEDIDOS_ITENS_ANTIGOS1",
                                         "Atualizando tabela: ESTOQUE", "Atualizando tabela: PRODUTOS", "Concluído!"}));
    QCOMPARE(view.events.mid(0, 4), (QStringList{"max=3", "status=Atualizando tabela: CLIENTES_PEDIDOS_ITENS_ANTIGOS1",
                                                 "flush", "add=1"}));
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Information);
    QCOMPARE(view.boxes[0].text, success);
    // While the box is open the gauge is full and the status names the last table.
    QCOMPARE(view.boxes[0].gaugeValue, 3);
    QCOMPARE(view.boxes[0].status, QStringLiteral("Atualizando tabela: PRODUTOS"));
    QCOMPARE(view.gaugeValue, 0);
    QCOMPARE(view.events.last(), QStringLiteral("status=Concluído!"));
    QCOMPARE(layer.live.size(), 0); // every query released, and the file let go of
    // The run's attachment, and the one that reads its mark back from the file the user chose,
    // fire none of the database's own triggers (the door the run closes among them).
    QCOMPARE(layer.connectEntries.size(), 2);
    for (const dbx::EntryList &entries : std::as_const(layer.connectEntries))
        QVERIFY(entries.contains(dbx::Entry{"DatabaseTriggers", "False"}));

    // A second run on the same file (converted again, as asked) attaches again and starts the
    // gauge at 0.
    view.events.clear();
    view.answer = true;
    Conversion(db, view, noCopy).run();
    QCOMPARE(layer.connectEntries.size(), 4);
    QCOMPARE(view.events.mid(0, 2), (QStringList{"confirm", "max=3"}));
    QCOMPARE(view.boxes.size(), 2);
}

void TestRun::failurePoints_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("failCall");
    QTest::addColumn<QString>("failSql");
    QTest::addColumn<int>("times");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("written"); // everything written, in order
    QTest::addColumn<int>("gaugeMax");        // as the box opened
    QTest::addColumn<int>("gaugeValue");
    QTest::addColumn<QString>("status");

    const QString connectBox = QStringLiteral("Não foi possível conectar ao banco de dados Vestrel\rMotivo: ");
    const QString motivo = QStringLiteral("\rMotivo: engine says no");
    const QString leftOff = QStringLiteral("\rOs gatilhos continuam desativados, e o banco fechado aos outros programas até "
                                           "que conversor --check /x.fb os reative e o devolva.");

    // Nothing chosen: no connection is tried, so none failed.
    QTest::newRow("empty path") << "" << "" << "" << 0 << "Escolha o banco de dados antes de converter" << QStringList{}
                                << 100 << 0 << "antes";
    QTest::newRow("connect") << "/x.fb" << "connect" << "" << 1 << connectBox + "engine says no" << QStringList{} << 100 << 0
                             << "antes";
    QTest::newRow("looking at the attachments") << "/x.fb" << "execute" << "mon$attachments" << 1
                                                << "Erro ao examinar o banco" + motivo << QStringList{"<rollback>"}
                                                << 100 << 0 << "antes";
    QTest::newRow("reading the triggers") << "/x.fb" << "execute" << "from rdb$triggers" << 1
                                          << "Erro ao examinar o banco" + motivo << QStringList{"<rollback>"} << 100
                                          << 0 << "antes";
    // Nothing held yet: what the reservation wrote goes with the rollback.
    QTest::newRow("reserving") << "/x.fb" << "execute" << "TRIGGER CONVERSOR$PORTA" << 1
                               << "Erro ao reservar o banco para a conversão" + motivo
                               << QStringList{"describe database: <reserved>", "<close the door>", "<rollback>"} << 100 << 0
                               << "antes";
    QTest::newRow("switching off") << "/x.fb" << "execute" << "INACTIVE" << 1 << "Erro ao desativar os gatilhos" + motivo
                                   << reserve + QStringList{"ALTER TRIGGER LOG_AU INACTIVE", "<rollback>", "Commit"} + givenBack
                                   << 100 << 0 << "antes";
    QTest::newRow("the discovery") << "/x.fb" << "prepare" << "As Tabela" << 1 << "Erro ao atualizar a tabela " + motivo
                                   << reserve + switchOff + undone + givenBack << 100 << 0 << "antes";
    QTest::newRow("third of five") << "/x.fb" << "execute" << "UPDATE T3" << 1 << "Erro ao atualizar a tabela T3" + motivo
                                   << reserve + switchOff + QStringList{rewrite("T1"), rewrite("T2"), rewrite("T3")} + undone + givenBack
                                   << 5 << 2
                                   << "Atualizando tabela: T3";
    // Triggers that stay off keep the door closed, as a run cut short does.
    QTest::newRow("switching on") << "/x.fb" << "execute" << "LOG_AU ACTIVE" << -1 << "Erro ao reativar os gatilhos" + motivo + leftOff
                                  << reserve + switchOff
                                         + QStringList{rewrite("T1"), rewrite("T2"), rewrite("T3"), rewrite("T4"), rewrite("T5"),
                                                       "ALTER TRIGGER LOG_AU ACTIVE", "<rollback>", "ALTER TRIGGER LOG_AU ACTIVE",
                                                       "<rollback>", "Commit"}
                                  << 5 << 5 << "Atualizando tabela: T5";
    QTest::newRow("the commit") << "/x.fb" << "execute" << "Commit" << 1 << "Erro ao gravar a conversão no banco (Commit)" + motivo
                                << reserve + switchOff + QStringList{rewrite("T1"), rewrite("T2"), rewrite("T3"), rewrite("T4"), rewrite("T5")}
                                       + switchOnAndMark + undone + givenBack
                                << 5 << 5 << "Atualizando tabela: T5";
}

void TestRun::failurePoints()
{
    QFETCH(QString, path);
    QFETCH(QString, failCall);
    QFETCH(QString, failSql);
    QFETCH(int, times);
    QFETCH(QString, box);
    QFETCH(QStringList, written);
    QFETCH(int, gaugeMax);
    QFETCH(int, gaugeValue);
    QFETCH(QString, status);

    FakeLayer layer;
    fakeshop::script(layer, shop({"T1", "T2", "T3", "T4", "T5"}));
    if (!failCall.isEmpty())
        // The commit fails the third time: the reservation's and the switch-off's go first.
        layer.fail({failCall, failSql, dbx::VendorError, QStringLiteral("engine says no"), times,
                    failSql == QLatin1String("Commit") ? 2 : 0});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = path;
    view.status = QStringLiteral("antes");
    Conversion(db, view, noCopy).run();

    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Error);
    QCOMPARE(view.boxes[0].text, box);
    QCOMPARE(writes(layer.statements).join(u'\n'), written.join(u'\n'));
    QCOMPARE(view.boxes[0].gaugeMax, gaugeMax);
    QCOMPARE(view.boxes[0].gaugeValue, gaugeValue);
    QCOMPARE(view.boxes[0].status, status);
    // Once the box is closed the window does not stay as if work were going on, a refused
    // connection included; with nothing chosen nothing was tried.
    if (path.isEmpty()) {
        QCOMPARE(view.status, status);
        QCOMPARE(view.statuses, QStringList{});
    } else {
        QCOMPARE(view.gaugeValue, 0);
        QCOMPARE(view.status, QStringLiteral("Nada foi alterado."));
    }
    QCOMPARE(layer.live.size(), 0); // the queries released and the file let go of, whatever happened
    QCOMPARE(db.state(), TConnectionState::csStateClosed);
}

void TestRun::stopsBeforeAnythingChanges_data()
{
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<QString>("answers"); // what else the database answers: "key|value,value;..."
    QTest::addColumn<QString>("box");

    const QString aLongDescription(65200, u'x');
    QTest::newRow("no CODPROD anywhere") << QStringList{} << QString()
                                         << "Nenhuma tabela deste banco tem a coluna CODPROD: nada foi alterado.";
    QTest::newRow("another connection")
        << QStringList{"T1"} << "mon$attachments|SYSDBA,10.0.0.5/45000,/opt/loja/pdv"
        << "O banco está em uso por 1 outra conexão (SYSDBA@10.0.0.5, /opt/loja/pdv): feche-a e converta de novo.";
    QTest::newRow("six other connections")
        << QStringList{"T1"} << "mon$attachments|A,h1,p1;B,h2,p2;C,,p3;D,h4,;E,h5,p5;F,h6,p6"
        << "O banco está em uso por 6 outras conexões (A@h1, p1; B@h2, p2; C@local, p3; D@h4; E@h5, p5; …): feche-as e "
           "converta de novo.";
    QTest::newRow("read-only") << QStringList{"T1"} << "from mon$database|1,0,0"
                               << "Chame o técnico responsável pelo sistema.\rO banco está em modo somente leitura, e a "
                                  "conversão precisa gravar nele.\r\rPara o técnico: o banco está em gfix -mode read_only; "
                                  "passe-o para leitura e gravação (gfix -mode read_write) e converta de novo.";
    QTest::newRow("a backup lock of somebody else's") << QStringList{"T1"} << "from mon$database|0,0,1"
                                                      << "Chame o técnico responsável pelo sistema.\rO banco está sob a trava "
                                                         "de cópia do Firebird, que não é do Conversor de dados.\r\rPara o "
                                                         "técnico: a trava é a de ALTER DATABASE BEGIN BACKUP, ou nbackup -L; "
                                                         "quando nenhuma cópia estiver sendo feita, libere-o (conversor --unlock "
                                                         "/x.fb) e converta de novo.";
    QTest::newRow("a shutdown of somebody else's") << QStringList{"T1"} << "from mon$database|0,2,0"
                                                   << "Chame o técnico responsável pelo sistema.\rO banco está fechado para "
                                                      "manutenção (shutdown), e não pelo Conversor de dados.\r\rPara o técnico: "
                                                      "quando a manutenção terminar, abra-o (conversor --unlock /x.fb) e "
                                                      "converta de novo.";
    QTest::newRow("a description the marks would not fit in")
        << QStringList{"T1"} << "from rdb$database|" + aLongDescription
        << "Chame o técnico responsável pelo sistema.\rA descrição do banco é longa demais para as linhas do Conversor de "
           "dados.\r\rPara o técnico: a descrição do banco tem 65.200 bytes, e com as linhas do Conversor de dados passaria de "
           "65.535 bytes, o máximo que o Firebird grava. Encurte-a e converta de novo.";
}

void TestRun::stopsBeforeAnythingChanges()
{
    QFETCH(QStringList, tables);
    QFETCH(QString, answers);
    QFETCH(QString, box);
    FakeLayer layer;
    fakeshop::script(layer, shop(tables));
    if (!answers.isEmpty()) {
        FakeLayer::Result r{{"A", "B", "C"}, {}};
        for (const QString &row : answers.section(u'|', 1).split(u';')) {
            QVariantList values;
            for (const QString &v : row.split(u','))
                values << (v.isEmpty() ? QVariant() : v.size() == 1 && v[0].isDigit() ? QVariant(v.toInt()) : QVariant(v));
            r.rows << values;
        }
        layer.addResult(answers.section(u'|', 0, 0), r);
    }
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion conversion(db, view, noCopy);
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Failed);
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].text, box);
    // Nothing written, nothing committed.
    QCOMPARE(writes(layer.statements), QStringList{"<rollback>"});
    QVERIFY(!view.statuses.contains(QStringLiteral("Atualizando tabela: T1")));
    QCOMPARE(layer.live.size(), 0);
}

void TestRun::whatARunCutShortLeft_data()
{
    QTest::addColumn<QString>("recordOn");    // the trigger a record is on (off, as a run left it)
    QTest::addColumn<bool>("checked");        // the record carries its check value
    QTest::addColumn<QString>("attachments"); // others at work ("": none)
    QTest::addColumn<QStringList>("first");   // written before the run's own switch-off
    QTest::newRow("the run's record: switched on first")
        << "LOG_AU" << true << ""
        << QStringList{"ALTER TRIGGER LOG_AU ACTIVE", "describe LOG_AU: 'notas'", "Commit"};
    QTest::newRow("a line that only looks like it: left alone") << "LOG_AU" << false << "" << QStringList{};
    QTest::newRow("others at work: nothing is written") << "LOG_AU" << true << "SYSDBA,h,p" << QStringList{};
}

void TestRun::whatARunCutShortLeft()
{
    QFETCH(QString, recordOn);
    QFETCH(bool, checked);
    QFETCH(QString, attachments);
    QFETCH(QStringList, first);
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1"}));
    QByteArray record = *marks::withLine(QByteArray("notas"), marks::triggerOff(recordOn));
    if (!checked)
        record.replace("[verificação ", "[verificacao ");
    triggers(layer, {{recordOn, 1, QString::fromUtf8(record)}, {"DESLIGADO", 1, QString()}});
    if (!attachments.isEmpty()) {
        QVariantList row;
        for (const QString &v : attachments.split(u','))
            row << v;
        layer.addResult(QStringLiteral("mon$attachments"), {{"A", "B", "C"}, {row}});
    }
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion(db, view, noCopy).run();
    const QStringList written = writes(layer.statements);
    if (!attachments.isEmpty()) {
        QCOMPARE(written, QStringList{"<rollback>"});
        return;
    }
    QCOMPARE(written.mid(0, first.size()), first);
    // A trigger the run finds off and not its own stays off: never switched on.
    if (!checked)
        QVERIFY(!written.contains(QStringLiteral("ALTER TRIGGER LOG_AU ACTIVE")));
    QVERIFY(!written.contains(QStringLiteral("ALTER TRIGGER DESLIGADO ACTIVE")));
}

void TestRun::relationsNotRewritten()
{
    // A view stores nothing; a relation the discovery lists twice (CODPROD and a quoted
    // "codprod") is rewritten once. Each still has its status line and gauge step.
    FakeLayer layer;
    fakeshop::Shop s = shop({"PRODUTOS"}, {"V_PRODUTOS"});
    fakeshop::script(layer, s);
    layer.addResult(QStringLiteral("From rdb$relation_fields"),
                    {{QStringLiteral("TABELA")}, {{padded("PRODUTOS")}, {padded("PRODUTOS")}, {padded("V_PRODUTOS")}}});
    layer.addResult(QStringLiteral("select count(*)"), {{QStringLiteral("COUNT")}, {{3}}});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion(db, view, noCopy).run();
    QCOMPARE(writes(layer.statements).filter(QStringLiteral("UPDATE ")), QStringList{rewrite("PRODUTOS")});
    QCOMPARE(view.statuses, (QStringList{"Atualizando tabela: PRODUTOS", "Atualizando tabela: PRODUTOS",
                                         "Ignorando V_PRODUTOS (visão)", "Concluído!"}));
    QCOMPARE(view.boxes[0].gaugeValue, 3);
}

void TestRun::eachRunAttachesTheFileChosenThen()
{
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1"}));
    TSQLConnection db(layer);
    RecordingView view;
    view.answer = true; // the fake is one database: converted by the first run, again by the others
    for (const char *path : {"/a.fb", "/b.fb", "/b.fb"}) {
        view.path = QString::fromLatin1(path);
        Conversion(db, view, noCopy).run();
        QCOMPARE(layer.connectEntries.last().value(1).value, view.path);
        QCOMPARE(db.state(), TConnectionState::csStateClosed); // let go of at the end
        QCOMPARE(layer.live.size(), 0);
    }
    QCOMPARE(layer.connectEntries.size(), 6); // each run reads its mark back through an attach of its own
    QCOMPARE(view.boxes.size(), 3);
}

void TestRun::databaseThatLooksConverted_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("codesOf8");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("question"); // empty: none asked
    QTest::addColumn<bool>("converts");
    const QString asked = QStringLiteral("Este banco parece já ter sido convertido (%1). Converter de novo reescreve todos "
                                         "os códigos outra vez. Converter de novo?");
    const QString mark = QString::fromUtf8(marks::converted(QDateTime(QDate(2026, 12, 10), QTime(14, 30))));
    // An earlier version's mark had no check value; Windows tools write CR LF; a line keeps
    // blanks around it.
    const QString earlier = QStringLiteral("Conversor de dados: códigos de produto convertidos em 10/12/2026 14:30:00.");
    const QString when = QStringLiteral("convertido em 10/12/2026 14:30:00");
    QTest::newRow("never converted") << QString() << true << false << QString() << true;
    QTest::newRow("marked, No") << "Loja 1\n" + mark << true << false << asked.arg(when) << false;
    QTest::newRow("marked, Yes") << "Loja 1\n" + mark << true << true << asked.arg(when) << true;
    QTest::newRow("marked with CR LF and blanks, No") << "Loja 1\r\n  " + mark + " \r\nLoja 2\r\n" << true << false
                                                      << asked.arg(when) << false;
    QTest::newRow("marked with CR alone, No") << "Loja 1\r" + mark << true << false << asked.arg(when) << false;
    QTest::newRow("marked by an earlier version, No") << "Loja 1\n" + earlier << true << false << asked.arg(when) << false;
    QTest::newRow("codes in the rewritten shape, No")
        << QStringLiteral("Loja 1") << false << false
        << asked.arg("os códigos têm 6 caracteres com \"0\" na segunda posição, e nenhum tem 8") << false;
}

void TestRun::databaseThatLooksConverted()
{
    QFETCH(QString, description);
    QFETCH(bool, codesOf8);
    QFETCH(bool, answer);
    QFETCH(QString, question);
    QFETCH(bool, converts);
    FakeLayer layer;
    fakeshop::Shop s = shop({"T1", "T2"});
    s.description = description;
    s.unconverted = codesOf8;
    fakeshop::script(layer, s);
    if (!codesOf8)
        layer.addResult(QStringLiteral("as sem_lugar"), {{"R", "N", "DE_8", "REESCRITO", "SEM_LUGAR", "C", "NOVO"},
                                                          {{1, 1, 0, 1, 0, "203456", "200456"}}});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    view.answer = answer;
    Conversion conversion(db, view, noCopy);
    conversion.run();
    QCOMPARE(view.questions, question.isEmpty() ? QStringList() : QStringList{question});
    QCOMPARE(conversion.outcome(), converts ? Conversion::Outcome::Converted : Conversion::Outcome::Declined);
    const QStringList written = writes(layer.statements);
    QCOMPARE(written.filter(QStringLiteral("UPDATE ")).size(), converts ? 2 : 0);
    QCOMPARE(written.filter(QStringLiteral("ALTER TRIGGER")).size(), converts ? 2 : 0);
    QCOMPARE(view.boxes.size(), converts ? 1 : 0);
    if (converts) { // the user's text stays, byte for byte; the mark of this conversion is added to it
        // (the reservation's record first, gone with the mark's commit)
        const QStringList marked = fakeshop::writtenDescriptions(layer.statements);
        QCOMPARE(marked.size(), 2);
        QVERIFY2(marked[1].startsWith(description.isNull() ? QString() : description + u'\n'), qPrintable(marked[1]));
        QVERIFY(marks::has(marked[1].toUtf8(), marks::Kind::Converted));
        QVERIFY(!marks::has(marked[1].toUtf8(), marks::Kind::Reserved));
    }
}

void TestRun::interruptedRun_data()
{
    QTest::addColumn<QString>("at");          // the statement during which the interrupt comes
    QTest::addColumn<QStringList>("written"); // everything written, in order
    QTest::newRow("the survey") << "mon$attachments" << QStringList{"<cancel>", "<rollback>"};
    QTest::newRow("switching off") << "INACTIVE"
                                   << reserve + QStringList{"ALTER TRIGGER LOG_AU INACTIVE", "<cancel>", "<rollback>", "Commit"}
                                          + givenBack;
    QTest::newRow("third table") << "UPDATE T3"
                                 << reserve + switchOff + QStringList{rewrite("T1"), rewrite("T2"), rewrite("T3"), "<cancel>"}
                                        + undone + givenBack;
    QTest::newRow("switching on") << "LOG_AU ACTIVE"
                                  << reserve + switchOff
                                         + QStringList{rewrite("T1"), rewrite("T2"), rewrite("T3"), rewrite("T4"), rewrite("T5"),
                                                       "ALTER TRIGGER LOG_AU ACTIVE", "<cancel>"}
                                         + undone + givenBack;
}

void TestRun::interruptedRun()
{
    QFETCH(QString, at);
    QFETCH(QStringList, written);
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1", "T2", "T3", "T4", "T5"}));
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion conversion(db, view, noCopy);
    bool once = false;
    layer.onExecute = [&](const QString &sql) {
        if (sql.contains(at) && !once) {
            once = true;
            conversion.interrupt();
        }
    };
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Interrupted);
    QVERIFY(view.boxes.isEmpty());
    QCOMPARE(writes(layer.statements).join(u'\n'), written.join(u'\n'));
    // The user's stop, said as such wherever it came: not as a failure of the step it cut short.
    QCOMPARE(conversion.failure(), QStringLiteral("Conversão interrompida pelo usuário; nada foi alterado"));
    // The undoing cannot be cancelled itself.
    const qsizetype raised = layer.calls.indexOf(QStringLiteral("cancel(3)"));
    const qsizetype disabled = layer.calls.indexOf(QStringLiteral("cancel(1)"));
    QVERIFY(raised >= 0 && disabled > raised);
    QVERIFY(disabled < layer.calls.indexOf(QStringLiteral("rollback()")));
    QCOMPARE(db.state(), TConnectionState::csStateClosed);
}

void TestRun::interruptDuringTheCommitLeavesItConverted()
{
    // Once the commit has been sent its outcome decides: nothing is cancelled, and the run is
    // reported as converted (a script that retried on a signal's status would convert twice).
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1", "T2"}));
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion conversion(db, view, noCopy);
    int commits = 0;
    layer.onExecute = [&](const QString &sql) {
        if (sql.startsWith(QLatin1String("Commit")) && ++commits == 3)
            conversion.interrupt();
    };
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Converted);
    QVERIFY(!layer.calls.contains(QStringLiteral("cancel(3)")));
    QVERIFY(!layer.statements.contains(QStringLiteral("<rollback>")));
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].text, success);
}

void TestRun::throughAServer_data()
{
    QTest::addColumn<QString>("failCall");     // a service or statement that fails ("": none)
    QTest::addColumn<QString>("failWhat");
    QTest::addColumn<qlonglong>("failCode");   // the engine's code of that failure
    QTest::addColumn<QStringList>("written");  // everything written and done through the server, in order
    QTest::addColumn<bool>("converts");
    QTest::addColumn<QString>("copyNamed");    // the end of the copy's name the box gives ("": none)
    const QString db = QStringLiteral("servidor:/dados/loja.fb");
    const QString copy = QStringLiteral("<copyPages %1 -> /dados/loja.copia-").arg(db);
    // No shutdown: the door keeps everyone else out, and lets the server's copy in.
    const QStringList copied{"describe database: <reserved> <copying>", "Commit", copy};
    const QStringList off{"describe database: <reserved> <copied>", "ALTER TRIGGER LOG_AU INACTIVE", "describe LOG_AU: <off>",
                          "<make the map>", "Commit"};
    const QStringList on{"ALTER TRIGGER LOG_AU ACTIVE", "describe LOG_AU: none", "describe database: <copied> <converted>",
                         "<open the door>", "<drop the map>", "Commit"};
    const QStringList rewrites{rewrite("T1"), rewrite("T2")};
    QTest::newRow("converted, the database to itself all along")
        << "" << "" << 0LL << reserve + copied + off + rewrites + on << true << ".nbk";
    QTest::newRow("somebody came in before the door closed")
        << "late" << "" << 0LL << reserve + QStringList{"<rollback>", "Commit"} + givenBack << false << "";
    QTest::newRow("a failure mid-run: undone, given back")
        << "execute" << "UPDATE T2" << 0LL
        << reserve + copied + off
               + QStringList{rewrite("T1"), rewrite("T2"), "<rollback>", "ALTER TRIGGER LOG_AU ACTIVE", "describe LOG_AU: none",
                             "describe database: <reserved>", "<drop the map>", "Commit"}
               + givenBack
        << false << "";
    // A server that cannot copy the file's pages (it cannot open it so) still backs it up: the
    // logical backup, its record naming it, and the box saying why.
    const QStringList logical{"describe database: <reserved> <copying>", "Commit",
                              QStringLiteral("<backUp %1 -> /dados/loja.copia-").arg(db)};
    QTest::newRow("no physical copy there: the logical backup")
        << "copyPages" << "" << qlonglong(isc_nbackup_err_opendb) << reserve + copied + logical + off + rewrites + on << true
        << ".fbk";
    QTest::newRow("an older server without the action: the logical backup")
        << "copyPages" << "" << qlonglong(isc_svcnotdef) << reserve + copied + logical + off + rewrites + on << true << ".fbk";
    // A copy that could not be written (a full disk) is no reason to write another there.
    QTest::newRow("the physical copy failed to write: the run fails")
        << "copyPages" << "" << qlonglong(isc_nbackup_err_write) << reserve + copied
               + QStringList{"<rollback>", "describe database: <reserved>", "Commit"} + givenBack
        << false << "";
}

void TestRun::throughAServer()
{
    QFETCH(QString, failCall);
    QFETCH(QString, failWhat);
    QFETCH(qlonglong, failCode);
    QFETCH(QStringList, written);
    QFETCH(bool, converts);
    QFETCH(QString, copyNamed);
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1", "T2"}));
    layer.attachedAs = QStringLiteral("servidor:/dados/loja.fb");
    if (failCall == QLatin1String("late")) // another program attaches as the door closes
        layer.onExecute = [&](const QString &sql) {
            if (sql.startsWith(QLatin1String("CREATE OR ALTER TRIGGER CONVERSOR$PORTA")))
                layer.addResult(QStringLiteral("mon$attachments"), {{"A", "B", "C"}, {{"SYSDBA", "10.0.0.5", "pdv"}}});
        };
    else if (!failCall.isEmpty())
        layer.fail({failCall, failWhat, dbx::VendorError, QStringLiteral("no"), 1, 0, long(failCode)});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("servidor:/dados/loja.fb");
    Conversion conversion(db, view, Conversion::Options{true, false});
    conversion.run();
    QCOMPARE(conversion.outcome(), converts ? Conversion::Outcome::Converted : Conversion::Outcome::Failed);
    QStringList done = writes(layer.statements);
    // The copy's name has the time of the run in it.
    for (QString &d : done)
        if (d.startsWith(QLatin1String("<backUp")) || d.startsWith(QLatin1String("<copyPages")))
            d = d.section(QStringLiteral("copia-"), 0, 0) + QStringLiteral("copia-");
    QCOMPARE(done.join(u'\n'), written.join(u'\n'));
    const QString said = view.boxes.value(0).text;
    if (converts) {
        const QString named = said.section(QStringLiteral("\rCópia de segurança: "), 1).section(u'\r', 0, 0);
        QVERIFY2(said.startsWith(success + QStringLiteral("\rCópia de segurança: /dados/loja.copia-")), qPrintable(said));
        QVERIFY2(named.endsWith(copyNamed), qPrintable(said));
        // The copy recorded whole is the one named, whichever route made it.
        QStringList recorded;
        for (const QString &st : layer.statements)
            if (st.startsWith(QLatin1String("COMMENT ON DATABASE IS x'")))
                for (const marks::Line &l : marks::find(QByteArray::fromHex(st.section(u'\'', 1, 1).toLatin1())))
                    if (l.kind == marks::Kind::Copied)
                        recorded << l.details.value(0);
        QVERIFY2(!recorded.isEmpty() && recorded.last() == named, qPrintable(recorded.join(u'\n')));
        // The logical backup says why it is the one.
        QCOMPARE(said.contains(QStringLiteral("\rA cópia de segurança é a cópia lógica do servidor (gbak), mais lenta: a cópia "
                                              "física não pôde ser feita (no).")),
                 copyNamed == QLatin1String(".fbk"));
    } else if (failCall == QLatin1String("copyPages")) {
        QVERIFY2(said.startsWith(QStringLiteral("Erro ao fazer a cópia de segurança")), qPrintable(said));
    }
    QCOMPARE(layer.live.size(), 0);
}

void TestRun::theWayBackOfAServersCopy_data()
{
    QTest::addColumn<QString>("copy");     // as --restore is given it
    QTest::addColumn<QString>("failCall"); // a service that fails ("": none)
    QTest::addColumn<int>("failAfter");    // how many such calls go through first
    QTest::addColumn<QStringList>("done"); // what the way back does through the server, in order
    QTest::addColumn<QString>("said");     // the start of its answer, or of its refusal
    const QString db = QStringLiteral("servidor:/dados/loja.fb");
    const QString copy = QStringLiteral("/dados/loja.copia-20261210-143000.nbk");
    // The converted database kept under the name of the run the copy is of, so that a way back
    // cut short is found again from the copy alone.
    const QString kept = QStringLiteral("/dados/loja.convertido-20261210-143000.nbk");
    const QStringList closeDoor{"<close the door>", "Commit"};
    // The record of the way back goes into the converted database before it is kept: the kept
    // file carries it, and with it where the database was.
    const QStringList record{"describe database: <copied> <restoring>", "Commit"};
    const QStringList keep{QStringLiteral("<copyPages %1 -> %2>").arg(db, kept)}, drop{QStringLiteral("<drop %1>").arg(db)};
    const QString putBack = QStringLiteral("<putPagesBack %1 -> %2>");
    // A failure before the database changed: the door open, the record of the way back gone.
    const QStringList reopened{"describe database: <copied>", "<open the door>", "Commit"};
    // The converted database kept as its own page copy, dropped, made anew from the copy; the
    // door closed from before the first step, opened only at the end (with the records the copy
    // carried, which the engine's tests follow).
    QTest::newRow("put back") << copy << "" << 0
                              << closeDoor + record + keep + drop + QStringList{putBack.arg(copy, db)} + reopened
                              << QStringLiteral("banco restaurado a partir de %1; o banco convertido foi guardado pelo servidor como %2").arg(copy, kept);
    // That name taken (an earlier way back of the copy whose rebuild was refused left it): the
    // converted database of now beside it, under this way back's time, never over it.
    const QString keptNow = QStringLiteral("/dados/loja.convertido-20261211-090000.nbk");
    const QStringList keepNow{QStringLiteral("<copyPages %1 -> %2>").arg(db, keptNow)};
    QTest::newRow("the kept name taken: under this way back's time")
        << copy << "copyPages" << 0 << closeDoor + record + keep + keepNow + drop + QStringList{putBack.arg(copy, db)} + reopened
        << QStringLiteral("banco restaurado a partir de %1; o banco convertido foi guardado pelo servidor como %2").arg(copy, keptNow);
    // The copy's pages cannot go back (a full disk): the converted database back from its own,
    // door open, and the file kept named.
    QTest::newRow("the copy's pages refused: the converted database back")
        << copy << "putPagesBack" << 0 << closeDoor + record + keep + drop + QStringList{putBack.arg(copy, db), putBack.arg(kept, db)} + reopened
        << QStringLiteral("Não foi possível restaurar /dados/loja.fb: no. Nada foi restaurado. O banco convertido, como estava, foi "
                          "guardado pelo servidor como %1.").arg(kept);
    QTest::newRow("neither goes back: the kept file named, and the way to it")
        << copy << "putPagesBack" << -1 << closeDoor + record + keep + drop + QStringList{putBack.arg(copy, db), putBack.arg(kept, db)}
        << QStringLiteral("Não foi possível restaurar /dados/loja.fb: no. O banco convertido foi guardado pelo servidor como %1, e "
                          "não voltou ao lugar: quando o servidor puder, conversor --restore %2 termina a restauração").arg(kept, copy);
    QTest::newRow("not dropped: nothing changed, door open")
        << copy << "drop" << 0 << closeDoor + record + keep + drop + reopened
        << QStringLiteral("Não foi possível restaurar /dados/loja.fb: no. Nada foi restaurado. O banco convertido, como estava, foi "
                          "guardado pelo servidor como %1.").arg(kept);
    QTest::newRow("no page copy of the converted database: nothing changed, door open")
        << copy << "copyPages" << -1 << closeDoor + record + keep + keepNow + reopened << QStringLiteral("no");
    // An earlier version's copy, the server's logical backup, goes back by the logical route.
    const QString fbk = QStringLiteral("/dados/loja.copia-20261210-143000.fbk");
    QTest::newRow("an older logical backup: by the server's restore")
        << fbk << "" << 0
        << closeDoor
               + QStringList{QStringLiteral("<backUp %1 -> /dados/loja.convertido-20261211-090000.fbk>").arg(db),
                             QStringLiteral("<restore %1 -> %2>").arg(fbk, db), "<open the door>", "Commit"}
        << QStringLiteral("banco restaurado a partir de %1; o banco convertido foi guardado pelo servidor como "
                          "/dados/loja.convertido-20261211-090000.fbk").arg(fbk);
}

void TestRun::theWayBackOfAServersCopy()
{
    QFETCH(QString, copy);
    QFETCH(QString, failCall);
    QFETCH(int, failAfter);
    QFETCH(QStringList, done);
    QFETCH(QString, said);
    FakeLayer layer;
    layer.attachedAs = QStringLiteral("servidor:/dados/loja.fb");
    // The database recorded the copy whole; the server opened it as this file.
    layer.addResult(QStringLiteral("from rdb$database"),
                    {{QStringLiteral("DESCRIPTION")}, {{QString::fromUtf8(marks::copied(copy, -1))}}});
    layer.addResult(QStringLiteral("from mon$database"),
                    {{"SOMENTE_LEITURA", "FECHADO", "TRAVA", "ARQUIVO"}, {{0, 0, 0, QStringLiteral("/dados/loja.fb")}}});
    if (!failCall.isEmpty())
        layer.fail({failCall, {}, dbx::VendorError, QStringLiteral("no"), failAfter < 0 ? -1 : 1, std::max(failAfter, 0)});
    TSQLConnection db(layer);
    QString answer;
    try {
        answer = restore::putBack(db, copy, QDateTime(QDate(2026, 12, 11), QTime(9, 0)));
    } catch (const Exception &e) {
        answer = e.message();
    }
    QVERIFY2(answer.startsWith(said), qPrintable(answer));
    QStringList through;
    for (const QString &w : writes(layer.statements))
        if (!w.startsWith(QLatin1String("<rollback")))
            through << w;
    QCOMPARE(through.join(u'\n'), done.join(u'\n'));
    QCOMPARE(layer.live.size(), 0);
}

void TestRun::aWayBackCutShortAfterTheDropIsFinished_data()
{
    QTest::addColumn<bool>("recordedWhole"); // the database had recorded the copy whole
    QTest::newRow("the copy recorded whole: finished") << true;
    // Another copy of the same run's name that the database never recorded (a copy cut short
    // keeps its name): the same rule as any way back, nothing made.
    QTest::newRow("the copy not recorded: refused") << false;
}

void TestRun::aWayBackCutShortAfterTheDropIsFinished()
{
    // The way back of a server's page copy cut short between the drop and the rebuild: the
    // database is missing. The same --restore again finishes it from the copy, proven by the
    // records the kept converted database carries, and writes over nothing.
    QFETCH(bool, recordedWhole);
    const QString copy = QStringLiteral("/dados/loja.copia-20261210-143000.nbk");
    const QString kept = QStringLiteral("/dados/loja.convertido-20261210-143000.nbk");
    FakeLayer layer;
    layer.attachedAs = QStringLiteral("localhost:/dados/loja.fb");
    layer.addResult(QStringLiteral("from mon$database"),
                    {{"SOMENTE_LEITURA", "FECHADO", "TRAVA", "ARQUIVO"}, {{0, 0, 0, QStringLiteral("/dados/loja.fb")}}});
    TSQLConnection db(layer);
    QString answer;
    if (recordedWhole) {
        // Cut short by the steps themselves: the rebuild refused, and the converted database's
        // too, as a kill there leaves it.
        layer.addResult(QStringLiteral("from rdb$database"),
                        {{QStringLiteral("DESCRIPTION")}, {{QString::fromUtf8(marks::copied(copy, -1))}}});
        layer.fail({QStringLiteral("putPagesBack"), {}, dbx::VendorError, QStringLiteral("killed"), 2});
        try {
            answer = restore::putBack(db, copy, QDateTime(QDate(2026, 12, 11), QTime(9, 0)));
        } catch (const Exception &e) {
            answer = e.message();
        }
        QVERIFY2(answer.contains(QStringLiteral("e não voltou ao lugar: quando o servidor puder, conversor --restore %1 termina a "
                                                "restauração").arg(copy)),
                 qPrintable(answer));
        QVERIFY(layer.statements.contains(QStringLiteral("<drop localhost:/dados/loja.fb>")));
    } else {
        // A copy of that run's name the database never recorded whole (a copy cut short keeps
        // its name), the kept database's record of the way back naming it all the same.
        layer.addResult(QStringLiteral("from rdb$database"),
                        {{QStringLiteral("DESCRIPTION")},
                         {{QString::fromUtf8(marks::copied(QStringLiteral("/dados/loja.copia-20261209-080000.nbk"), -1) + '\n'
                                             + marks::restoring(QStringLiteral("/dados/loja.fb"), copy))}}});
    }

    // The database's file gone by all its names; the kept one not yet made into a database.
    const auto missing = [&](const QString &where, int times) {
        FakeLayer::Failure f{QStringLiteral("connect"), where, dbx::VendorError, QStringLiteral("I/O error during open"), times};
        f.engineCode = isc_io_error;
        f.systemError = ENOENT;
        f.engineArguments = {QStringLiteral("open"), where};
        layer.fail(f);
    };
    missing(QStringLiteral("/dados/loja.fb"), 1);
    missing(QStringLiteral("/dados/loja.fdb"), -1);
    missing(QStringLiteral("/dados/loja.gdb"), -1);
    missing(QStringLiteral(".aberto.fb"), 1);
    const qsizetype before = layer.statements.size();
    try {
        answer = restore::putBack(db, copy, QDateTime(QDate(2026, 12, 11), QTime(9, 30)));
    } catch (const Exception &e) {
        answer = e.message();
    }
    QStringList through;
    for (const QString &w : writes(layer.statements.mid(before)))
        if (!w.startsWith(QLatin1String("<rollback")))
            through << w;
    // The kept converted database read through a database made of it beside it, which goes once
    // read; then the database made from the copy where the record says it was, its records of
    // the run and of the way back gone and its door open.
    const QString opened = QStringLiteral("localhost:/dados/loja.convertido-20261210-143000.aberto.fb");
    const QStringList read{QStringLiteral("<putPagesBack %1 -> %2>").arg(kept, opened), QStringLiteral("<drop %1>").arg(opened)};
    if (recordedWhole) {
        QCOMPARE(answer, QStringLiteral("banco restaurado a partir de %1, terminando a restauração interrompida; o banco "
                                        "convertido foi guardado pelo servidor como %2").arg(copy, kept));
        QCOMPARE(through.join(u'\n'), (read + QStringList{QStringLiteral("<putPagesBack %1 -> localhost:/dados/loja.fb>").arg(copy),
                                                          "describe database: <copied>", "<open the door>", "Commit"})
                                          .join(u'\n'));
    } else {
        QVERIFY2(answer.startsWith(QStringLiteral("A cópia está incompleta: %1 não foi registrada como completa").arg(copy)),
                 qPrintable(answer));
        QCOMPARE(through.join(u'\n'), read.join(u'\n'));
    }
    QCOMPARE(layer.live.size(), 0);
}

void TestRun::aWayBackCutShortIsNamedWhenARunCannotConnect()
{
    // The database missing, the converted database kept and the copy beside where it was: the
    // run's box says what the check says, not that the file is not there.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("loja.copia-20261210-143000.nbk"));
    for (const QString &name : {copy, dir.filePath(QStringLiteral("loja.convertido-20261210-143000.nbk"))}) {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    FakeLayer layer;
    FakeLayer::Failure missing{QStringLiteral("connect"), {}, dbx::VendorError, QStringLiteral("I/O error during open"), -1};
    missing.engineCode = isc_io_error;
    missing.systemError = ENOENT;
    layer.fail(missing);
    TSQLConnection db(layer);
    RecordingView view;
    view.path = dir.filePath(QStringLiteral("loja.fb"));
    Conversion(db, view, noCopy).run();
    QCOMPARE(view.boxes.size(), 1);
    const QString said = view.boxes[0].text;
    QVERIFY2(said.startsWith(QStringLiteral("Chame o técnico responsável pelo sistema.\rA restauração de %1 foi interrompida")
                                 .arg(view.path)),
             qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("Para o técnico: conversor --restore %1 termina a restauração").arg(copy)), qPrintable(said));
}

void TestRun::rowsWhoseKeyAnotherRowTakesGoFirst()
{
    // A unique key on the code; one row's new code is another row's old one.
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1"}));
    layer.addResult(QStringLiteral("rdb$unique_flag = 1"), {{"TABELA", "CHAVE", "COLUNA", "EXPRESSAO"},
                                                            {{padded("T1"), padded("PK_T1"), padded("CODPROD"), QVariant()}}});
    layer.addResult(QStringLiteral("select distinct o.DK"), {{"DK"}, {{QStringLiteral("AB")}}});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion(db, view, noCopy).run();
    const QString rule = QStringLiteral("UPDATE T1 SET CODPROD = (<its code from the map>) WHERE ");
    QCOMPARE(writes(layer.statements).filter(QStringLiteral("UPDATE")),
             (QStringList{"<map T1> " + rule + "RDB$DB_KEY IN (x'4142')", rule + "TRIM(CODPROD) <> '' AND NOT RDB$DB_KEY IN (x'4142')"}));
    // The rows to go first are found through the map too, once it holds the table's codes.
    const QStringList looked = layer.statements.filter(QStringLiteral("select distinct o.DK"));
    QVERIFY(!looked.isEmpty());
    QVERIFY2(looked.last().contains(statements::mappedCode(1)), qPrintable(looked.last()));
    QCOMPARE(view.boxes[0].text, success);
}

void TestRun::theMapTakesTheProductsCodesFirst()
{
    // The products hold each code once: the map takes theirs before any rewrite, and the other
    // tables of the same kind take their codes from it without mapping their own.
    FakeLayer layer;
    fakeshop::script(layer, shop({"ITENS", "MOVIMENTOS", "PRODUTOS"}));
    layer.addResult(QStringLiteral("rdb$unique_flag = 1"), {{"TABELA", "CHAVE", "COLUNA", "EXPRESSAO"},
                                                            {{padded("PRODUTOS"), padded("PK_PRODUTOS"), padded("CODPROD"), QVariant()}}});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion(db, view, noCopy).run();
    QCOMPARE(view.boxes[0].text, success);
    const QString update = QStringLiteral("UPDATE %1 SET CODPROD = (<its code from the map>) WHERE TRIM(CODPROD) <> ''");
    const QStringList written = writes(layer.statements);
    const qsizetype first = written.indexOf(QStringLiteral("<map PRODUTOS>"));
    QVERIFY2(first > 0, qPrintable(written.join(u'\n')));
    QCOMPARE(written.mid(first, 4), (QStringList{"<map PRODUTOS>", update.arg("ITENS"), update.arg("MOVIMENTOS"), update.arg("PRODUTOS")}));
}

void TestRun::noMapWhereTheRuleIsCheap()
{
    // A SUBSTR of the database's own in PSQL costs a row less than a look-up in a map: the
    // rows take the rule itself, and no map is made.
    FakeLayer layer;
    fakeshop::Shop psql = shop({"T1", "T2"});
    psql.externalSubstr = false;
    fakeshop::script(layer, psql);
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion(db, view, noCopy).run();
    QCOMPARE(view.boxes[0].text, success);
    const QString rule = QStringLiteral("UPDATE %1 SET CODPROD = (SUBSTR(CODPROD,2,2) || '0' || SUBSTR(CODPROD,3,6)) WHERE TRIM(CODPROD) <> ''");
    QCOMPARE(writes(layer.statements).join(u'\n'),
             (reserve + QStringList{"ALTER TRIGGER LOG_AU INACTIVE", "describe LOG_AU: <off>", "Commit", rule.arg("T1"), rule.arg("T2"),
                                    "ALTER TRIGGER LOG_AU ACTIVE", "describe LOG_AU: none", "describe database: <converted>",
                                    "<open the door>", "Commit"})
                 .join(u'\n'));
}

void TestRun::aServerThatRefusesTheLogin_data()
{
    QTest::addColumn<QString>("iscPassword");             // "": unset
    QTest::addColumn<QList<std::optional<TLogin>>>("answers");
    QTest::addColumn<QStringList>("asked"); // the refused login's user, each time the user is asked
    QTest::addColumn<bool>("converts");
    const TLogin right{"SYSDBA", "certa"}, wrong{"SYSDBA", "errada"};
    QTest::newRow("the user's login: the whole run with it")
        << "" << QList<std::optional<TLogin>>{right} << QStringList{"sysdba"} << true;
    QTest::newRow("a wrong one, asked again") << "" << QList<std::optional<TLogin>>{wrong, right} << QStringList{"sysdba", "SYSDBA"} << true;
    QTest::newRow("ISC_PASSWORD: nobody asked") << "certa" << QList<std::optional<TLogin>>{} << QStringList{} << true;
    QTest::newRow("cancelled: the connect's failure") << "" << QList<std::optional<TLogin>>{std::nullopt} << QStringList{"sysdba"} << false;
}

void TestRun::aServerThatRefusesTheLogin()
{
    QFETCH(QString, iscPassword);
    QFETCH(QList<std::optional<TLogin>>, answers);
    QFETCH(QStringList, asked);
    QFETCH(bool, converts);
    const IscEnvironment env({}, iscPassword);
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1"}));
    const QString database = QStringLiteral("servidor:/dados/loja.fb");
    for (const QString call : {"connect", "services"})
        layer.fail({call, {}, dbx::VendorError, QStringLiteral("Your user name and password are not defined."), -1, 0, isc_login,
                    QStringLiteral("certa")});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = database;
    view.logins = answers;
    Conversion conversion(db, view, Conversion::Options{true, false});
    conversion.run();
    QCOMPARE(conversion.outcome(), converts ? Conversion::Outcome::Converted : Conversion::Outcome::NotConnected);
    QStringList seen;
    for (const QString &question : std::as_const(view.loginsAsked))
        seen << question.section(database + QStringLiteral(": "), 1);
    QCOMPARE(seen, asked);
    if (converts) {
        // Once taken, the login goes to every attach and services manager of the run: none is
        // refused again, and the user is asked once.
        const int refused = 1 + (asked.isEmpty() ? 0 : int(asked.size()) - 1);
        QCOMPARE(layer.calls.count(QStringLiteral("connect()")), int(layer.connectEntries.size()));
        QVERIFY(layer.connectEntries.size() > refused + 1);
        QVERIFY2(!layer.servicesEntries.isEmpty(), "the server's copy");
        for (const dbx::EntryList &entries : layer.connectEntries.mid(refused) + layer.servicesEntries)
            QVERIFY(entries.contains(dbx::Entry{"Password", "certa"}));
        QVERIFY2(view.boxes.value(0).text.startsWith(success), qPrintable(view.boxes.value(0).text));
    } else {
        QCOMPARE(view.boxes.size(), 1);
        QCOMPARE(view.boxes[0].kind, MessageKind::Error);
        QVERIFY2(view.boxes[0].text.startsWith(QStringLiteral("Chame o técnico responsável pelo sistema.\rNão foi possível conectar "
                                                              "ao banco de dados Vestrel\rO Firebird recusou o usuário e a senha")),
                 qPrintable(view.boxes[0].text));
        QVERIFY(layer.servicesEntries.isEmpty());
    }
    QCOMPARE(layer.live.size(), 0);
}

void TestRun::aFileSwappedDuringTheRunIsNoSuccess()
{
    // Through a server the user cannot tell the file's identity: after its commit the run reads
    // its mark back through a new attachment to the path chosen, and another file there (the
    // old one put back, a copy) is a failure said in the clerk's words.
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1"}));
    layer.attachedAs = QStringLiteral("servidor:/dados/loja.fb");
    int connects = 0;
    layer.onConnect = [&] {
        if (++connects == 2)
            layer.swapFile();
    };
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("servidor:/dados/loja.fb");
    Conversion conversion(db, view, noCopy);
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Failed);
    QCOMPARE(connects, 2);
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Error);
    QCOMPARE(view.boxes[0].text, QStringLiteral("O arquivo servidor:/dados/loja.fb foi trocado ou apagado durante a conversão: a "
                                                "conversão ficou gravada no arquivo que estava lá antes, e este não foi "
                                                "convertido. Confira o arquivo e converta de novo."));
    QCOMPARE(view.status, QStringLiteral("Nada foi alterado."));
    QCOMPARE(layer.live.size(), 0);
}

void TestRun::aStopWhileTheQuestionIsOpenIsAStop()
{
    // SIGTERM, or the window closed, while "Converter de novo?" waits: the box goes with No, and
    // the run ends as stopped (its line and status), not as declined (status 0, nothing said).
    FakeLayer layer;
    fakeshop::Shop s = shop({"T1"});
    s.description = QString::fromUtf8(marks::converted(QDateTime(QDate(2026, 12, 10), QTime(14, 30))));
    fakeshop::script(layer, s);
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    view.answer = false;
    Conversion conversion(db, view, noCopy);
    view.onConfirm = [&] { conversion.interrupt(); };
    conversion.run();
    QCOMPARE(view.questions.size(), 1);
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Interrupted);
    QCOMPARE(conversion.failure(), QStringLiteral("Conversão interrompida pelo usuário; nada foi alterado"));
    QCOMPARE(writes(layer.statements).filter(QStringLiteral("UPDATE")), QStringList());
}

void TestRun::aFailureToGiveBackAfterTheCommitIsNoFailure()
{
    // A shutdown an earlier version's run cut short left is brought online at the end; the
    // server refusing that, after the commit, leaves a converted database: said so, with the
    // list written and the way to open it, never as a failed run.
    FakeLayer layer;
    fakeshop::Shop s = shop({"T1"});
    s.description = QString::fromUtf8(marks::reserved(QDateTime(QDate(2026, 12, 10), QTime(14, 30))));
    fakeshop::script(layer, s);
    layer.addResult(QStringLiteral("from mon$database"), {{"A", "B", "C", "D"}, {{0, 1, 0, QStringLiteral("/dados/loja.fb")}}});
    layer.attachedAs = QStringLiteral("servidor:/dados/loja.fb");
    layer.fail({QStringLiteral("bringOnline"), {}, dbx::VendorError, QStringLiteral("no")});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("servidor:/dados/loja.fb");
    Conversion conversion(db, view, noCopy);
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Converted);
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Information);
    QVERIFY2(view.boxes[0].text.startsWith(success), qPrintable(view.boxes[0].text));
    QVERIFY2(view.boxes[0].text.endsWith(QStringLiteral("\rO banco foi convertido, mas não foi devolvido aos outros programas "
                                                        "(no): conversor --unlock servidor:/dados/loja.fb o devolve.")),
             qPrintable(view.boxes[0].text));
    QVERIFY(layer.statements.contains(QStringLiteral("<bringOnline servidor:/dados/loja.fb>")));
    QCOMPARE(layer.live.size(), 0);
}

void TestRun::theRulesProbe_data()
{
    // The rule tried once on a code before anything changes: the engine's answer says whether
    // the database has SUBSTR; a connection lost meanwhile says nothing of it.
    QTest::addColumn<long>("engineCode");
    QTest::addColumn<QString>("box");
    QTest::newRow("no such function") << long(isc_dsql_function_err)
                                      << "Chame o técnico responsável pelo sistema.\rO banco não tem a função SUBSTR";
    QTest::newRow("the connection lost") << long(isc_network_error)
                                         << "Chame o técnico responsável pelo sistema.\rErro ao examinar o banco\r";
    QTest::newRow("the server shut down") << long(isc_att_shutdown)
                                          << "Chame o técnico responsável pelo sistema.\rErro ao examinar o banco\r";
    QTest::newRow("a shutdown in progress") << long(isc_shutinprog)
                                            << "Chame o técnico responsável pelo sistema.\rErro ao examinar o banco\rO banco "
                                               "está sendo fechado para manutenção (shutdown).";
}

void TestRun::theRulesProbe()
{
    QFETCH(long, engineCode);
    QFETCH(QString, box);
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1"}));
    FakeLayer::Failure probe{QStringLiteral("execute"), QStringLiteral("'12345678'"), dbx::VendorError, QStringLiteral("engine says no")};
    probe.engineCode = engineCode;
    layer.fail(probe);
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion conversion(db, view, noCopy);
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Failed);
    QCOMPARE(view.boxes.size(), 1);
    QVERIFY2(view.boxes[0].text.startsWith(box), qPrintable(view.boxes[0].text));
    QCOMPARE(writes(layer.statements), QStringList{"<rollback>"});
}

void TestRun::enginesFailuresInAClerksWords_data()
{
    // The engine's codes and the system's error decide; its English (here "engine says no")
    // stays after "Motivo: " for the technician.
    QTest::addColumn<QString>("call");
    QTest::addColumn<long>("engineCode");
    QTest::addColumn<int>("systemError");
    QTest::addColumn<QString>("box");
    const QString technician = QStringLiteral("Chame o técnico responsável pelo sistema.\r");
    const QString connect = QStringLiteral("Não foi possível conectar ao banco de dados Vestrel\r");
    const QString copy = QStringLiteral("Erro ao fazer a cópia de segurança\r");
    const QString full = QStringLiteral("O disco está cheio: libere espaço na pasta do banco e tente de novo.\r");
    const QString reason = QStringLiteral("Motivo: engine says no");
    QTest::newRow("a shutdown in progress as it connects")
        << "connect" << long(isc_shutinprog) << 0
        << technician + connect + "O banco está sendo fechado para manutenção (shutdown).\r\rPara o técnico: quando a "
               "manutenção terminar, abra-o (conversor --unlock servidor:/dados/loja.fb) e tente de novo.\r" + reason;
    QTest::newRow("shut down as it connects")
        << "connect" << long(isc_shutdown) << 0
        << technician + connect + "O banco está fechado para manutenção (shutdown).\r\rPara o técnico: quando a manutenção "
               "terminar, abra-o (conversor --unlock servidor:/dados/loja.fb) e tente de novo.\r" + reason;
    QTest::newRow("a read-only database as it connects")
        << "connect" << long(isc_read_only_database) << 0
        << technician + connect + "O banco só pode ser lido, não alterado (o arquivo, a pasta ou o banco está somente para "
               "leitura).\r\rPara o técnico: dê a este usuário permissão de gravação no arquivo e na pasta do banco (ou, se "
               "for o banco, gfix -mode read_write) e tente de novo.\r" + reason;
    QTest::newRow("a server that does not answer")
        << "connect" << long(isc_net_server_shutdown) << 0
        << technician + connect + "O servidor do Firebird não respondeu.\r\rPara o técnico: confira o nome do servidor, a "
               "rede e se o serviço do Firebird está rodando nele, e tente de novo.\r" + reason;
    QTest::newRow("a full disk under the server's copy") << "copyPages" << long(isc_io_error) << ENOSPC << copy + full + reason;
    QTest::newRow("a quota reached under the server's copy") << "copyPages" << long(isc_io_error) << EDQUOT << copy + full + reason;
    // backUp: the logical backup, where the server cannot copy the pages (an older server).
    QTest::newRow("the server's backup out of disk space")
        << "backUp" << long(isc_gbak_disk_space_ex) << 0 << copy + full + reason;
    QTest::newRow("another I/O error under the server's copy: the engine's words")
        << "copyPages" << long(isc_io_error) << EIO << copy + reason;
}

void TestRun::enginesFailuresInAClerksWords()
{
    QFETCH(QString, call);
    QFETCH(long, engineCode);
    QFETCH(int, systemError);
    QFETCH(QString, box);
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1"}));
    layer.attachedAs = QStringLiteral("servidor:/dados/loja.fb");
    FakeLayer::Failure failure{call, {}, dbx::VendorError, QStringLiteral("engine says no")};
    failure.engineCode = engineCode;
    failure.systemError = systemError;
    layer.fail(failure);
    if (call == QLatin1String("backUp")) {
        FakeLayer::Failure older{QStringLiteral("copyPages"), {}, dbx::VendorError, QStringLiteral("no such action")};
        older.engineCode = isc_svcnotdef;
        layer.fail(older);
    }
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("servidor:/dados/loja.fb");
    Conversion conversion(db, view, Conversion::Options{true, false});
    conversion.run();
    QVERIFY(conversion.outcome() != Conversion::Outcome::Converted);
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Error);
    QCOMPARE(view.boxes[0].text, box);
    QCOMPARE(view.status, QStringLiteral("Nada foi alterado."));
}

void TestRun::theStatusLineSaysWhereTheCopyWent()
{
    // After OK the box is gone: the status line keeps where the copy went, the server's folder
    // for a server's copy (no list here: the fake's shop gives none).
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1"}));
    layer.attachedAs = QStringLiteral("servidor:/dados/loja.fb");
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("servidor:/dados/loja.fb");
    Conversion conversion(db, view, Conversion::Options{true, false});
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Converted);
    const QString box = view.boxes.value(0).text;
    QVERIFY2(box.contains(QStringLiteral("\rCópia de segurança: /dados/loja.copia-")), qPrintable(box));
    QCOMPARE(view.status, QStringLiteral("Concluído! Cópia em /dados"));
}

void TestRun::aRefusedWayBackNamesWhatItLeft_data()
{
    // The server's copy goes back by the server: it backs the converted database up beside it,
    // then restores the copy in its place. A failure on the way says, in a clerk's words first,
    // what became of the file the server made.
    QTest::addColumn<QString>("call");
    QTest::addColumn<long>("engineCode");
    QTest::addColumn<int>("systemError");
    QTest::addColumn<QString>("said");
    // Both named as the server's own paths: a service writes and reads files of its computer, and
    // "servidor:" before one would be a folder of that name.
    const QString kept = QStringLiteral("/dados/loja.convertido-20261211-101500.fbk");
    QTest::newRow("the database in use: could not drop it")
        << "restore" << long(isc_gbak_db_in_use) << 0
        << "Nada foi restaurado.\rO banco está em uso, e o Firebird não pôde substituí-lo pela cópia: feche os programas que o "
           "usam e tente de novo.\rO banco convertido ficou guardado pelo servidor como " + kept + ".\rMotivo: engine says no";
    QTest::newRow("a failure the program cannot explain: still named")
        << "restore" << long(isc_random) << 0
        << "Nada foi restaurado.\rO banco convertido ficou guardado pelo servidor como " + kept + ".\rMotivo: engine says no";
    QTest::newRow("a full disk as the converted database is backed up")
        << "backUp" << long(isc_io_error) << ENOSPC
        << "Nada foi restaurado.\rO disco está cheio: libere espaço na pasta do banco e tente de novo.\rO banco não foi "
           "mudado; se o servidor deixou o arquivo " + kept + ", ele está incompleto e pode ser apagado.\rMotivo: engine says no";
    QTest::newRow("a shutdown in progress as it restores")
        << "restore" << long(isc_shutinprog) << 0
        << "Chame o técnico responsável pelo sistema.\rNada foi restaurado.\rO banco está sendo fechado para manutenção "
           "(shutdown).\r\rPara o técnico: quando a manutenção terminar, abra-o (conversor --unlock) e tente de novo.\rO "
           "banco convertido ficou guardado pelo servidor como " + kept + ".\rMotivo: engine says no";
}

void TestRun::aRefusedWayBackNamesWhatItLeft()
{
    QFETCH(QString, call);
    QFETCH(long, engineCode);
    QFETCH(int, systemError);
    QFETCH(QString, said);
    const QString copy = QStringLiteral("servidor:/dados/loja.copia-20261210-143000.fbk");
    FakeLayer layer;
    fakeshop::Shop s = shop({"T1"});
    s.description = QString::fromUtf8(marks::copied(QStringLiteral("/dados/loja.copia-20261210-143000.fbk"), 4096));
    fakeshop::script(layer, s);
    FakeLayer::Failure failure{call, {}, dbx::VendorError, QStringLiteral("engine says no")};
    failure.engineCode = engineCode;
    failure.systemError = systemError;
    layer.fail(failure);
    TSQLConnection db(layer);
    QString refused;
    try {
        restore::putBack(db, copy, QDateTime(QDate(2026, 12, 11), QTime(10, 15)));
    } catch (const std::exception &e) {
        refused = advice::refusal(QStringLiteral("Nada foi restaurado."), e);
    }
    QCOMPARE(refused, said);
    QVERIFY2(layer.statements.contains(QStringLiteral("<backUp servidor:/dados/loja.fb -> /dados/loja.convertido-20261211-101500.fbk>")),
             qPrintable(layer.statements.join(u'\n')));
    if (call == QLatin1String("restore"))
        QVERIFY2(layer.statements.contains(QStringLiteral("<restore /dados/loja.copia-20261210-143000.fbk -> servidor:/dados/loja.fb>")),
                 qPrintable(layer.statements.join(u'\n')));
    // The door it closed is open again: the database stays as it was, in everyone's reach.
    const auto first = [&](const QString &begins) {
        for (qsizetype i = 0; i < layer.statements.size(); ++i)
            if (layer.statements[i].startsWith(begins))
                return i;
        return qsizetype(-1);
    };
    const qsizetype closed = first(QStringLiteral("CREATE OR ALTER TRIGGER CONVERSOR$PORTA"));
    const qsizetype opened = first(QStringLiteral("DROP TRIGGER CONVERSOR$PORTA"));
    QVERIFY(closed >= 0);
    QVERIFY2(opened > closed, qPrintable(layer.statements.join(u'\n')));
    QCOMPARE(layer.live.size(), 0);
}

void TestRun::theListIsTheSurveysOnlyWhileNobodyElseWrote_data()
{
    QTest::addColumn<bool>("someoneAtTheSurvey");
    QTest::addColumn<int>("begun"); // transactions begun from the survey's to the run's after the door closed
    QTest::addColumn<bool>("readAgain");
    QTest::newRow("alone throughout") << false << 1 << false;
    QTest::newRow("another transaction began meanwhile") << false << 2 << true;
    QTest::newRow("someone else in while the survey looked") << true << 1 << true;
}

// The survey's codes are the list only when nobody could have written between its look and the
// door's closing; else the tables are read again, behind the closed door.
void TestRun::theListIsTheSurveysOnlyWhileNobodyElseWrote()
{
    QFETCH(bool, someoneAtTheSurvey);
    QFETCH(int, begun);
    QFETCH(bool, readAgain);
    QTemporaryDir dir;
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1"}));
    int transactions = 0, looks = 0;
    layer.onExecute = [&](const QString &sql) {
        if (sql.contains(QLatin1String("current_transaction from")))
            layer.addResult(QStringLiteral("current_transaction from"),
                            {{"CURRENT_TRANSACTION"}, {{transactions++ == 0 ? 100 : 100 + begun}}});
        // The attachments are looked at where the database stands, by the survey, and once the
        // door is closed.
        if (sql.contains(QLatin1String("from mon$attachments")))
            layer.addResult(QStringLiteral("from mon$attachments"),
                            {{"A", "B", "C"},
                             someoneAtTheSurvey && looks++ == 1 ? QList<QVariantList>{{"SYSDBA", "10.0.0.5", "pdv"}}
                                                                : QList<QVariantList>{}});
    };
    TSQLConnection db(layer);
    RecordingView view;
    view.path = dir.filePath(QStringLiteral("loja.fb"));
    Conversion conversion(db, view, Conversion::Options{false, true});
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Converted);
    QCOMPARE(transactions, someoneAtTheSurvey ? 1 : 2);
    const bool readTwice = std::any_of(layer.statements.cbegin(), layer.statements.cend(),
                                       [](const QString &s) { return s.contains(QLatin1String("sum(N)")); });
    QVERIFY2(readTwice == readAgain, qPrintable(layer.statements.join(u'\n')));
    // From the survey: its code and new code, the rows it counted.
    if (!readAgain) {
        QFile csv(conversion.codeList().csv);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QVERIFY2(csv.readAll().contains("\r\n12345678;230456;1;"), qPrintable(conversion.codeList().csv));
    }
}

QTEST_GUILESS_MAIN(TestRun)
#include "tst_run.moc"
