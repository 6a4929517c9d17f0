// The conversion run over the recording fake layer: the exact statements, texts and gauge
// values, and what a failure at each point leaves behind.
#include "conversion.h"
#include "fakelayer.h"
#include "recordingview.h"
#include "sqlconnection.h"
#include "statements.h"

#include <QtTest>

namespace {

const QString crlf = QStringLiteral("\r\n");
const QString rollback = QStringLiteral("<rollback>");

QString padded(const QString &name)
{
    return name.leftJustified(31, u' ');
}

FakeLayer::Result relations(const QStringList &names)
{
    FakeLayer::Result r{{QStringLiteral("TABELA")}, {}};
    for (const QString &n : names)
        r.rows << QVariantList{padded(n)};
    return r;
}

// A fake database listing these relations (stored padded to 31 characters, as Firebird does);
// views maps a view to the table whose CODPROD it passes through.
void scriptRelations(FakeLayer &layer, const QStringList &names, const QMap<QString, QString> &views = {})
{
    layer.addResult(QStringLiteral("select count(*)"), {{QStringLiteral("COUNT")}, {{int(names.size())}}});
    layer.addResult(QStringLiteral("From rdb$relation_fields"), relations(names));
    FakeLayer::Result columns{{"RELATION", "FIELD", "IS_VIEW", "COMPUTED", "BASE_FIELD", "BASE_RELATION", "CONTEXT_TYPE"}, {}};
    for (const QString &n : names) {
        const bool view = views.contains(n);
        columns.rows << QVariantList{padded(n), padded("CODPROD"), int(view), 0, view ? padded("CODPROD") : QVariant(),
                                     view ? padded(views[n]) : QVariant(), 0};
    }
    layer.addResult(QStringLiteral("rdb$view_relations vr"), columns);
    layer.addResult(QStringLiteral("rdb$ref_constraints"),
                    {{"NAME", "CHILD", "CHILD_FIELD", "MASTER", "UPDATE_RULE"}, {}});
}

QString countStatement()
{
    return QStringLiteral("select count(*) from RDB$RELATION_FIELDS Where Upper(Trim(rdb$field_name)) = 'CODPROD'");
}

QStringList successfulStatements(const QStringList &rewritten)
{
    QStringList s{statements::triggersOff() + crlf, statements::discovery() + crlf, countStatement(),
                  statements::codeColumns() + crlf, statements::codeReferences() + crlf};
    for (const QString &t : rewritten)
        s << statements::rewrite(t) + crlf;
    s << statements::triggersOn() + crlf << statements::commit() + crlf;
    return s;
}

} // namespace

class TestRun : public QObject {
    Q_OBJECT
private slots:
    void successOverThreeRelations();
    void noRelationAtAll();
    void failurePoints_data();
    void failurePoints();
    void secondRunStartsFromTheGaugeAFailureLeft();
    void unsafeRelationNameStopsTheRun();
    void passThroughViewIsNotRewritten();
    void eachRunAttachesTheFileChosenThen();
    void interruptedRun_data();
    void interruptedRun();
};

void TestRun::successOverThreeRelations()
{
    FakeLayer layer;
    scriptRelations(layer, {"CLIENTES_PEDIDOS_ITENS_ANTIGOS1", "ESTOQUE", "PRODUTOS"});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/dados/loja.fb");
    Conversion(db, view).run();

    QCOMPARE(layer.statements, successfulStatements({"CLIENTES_PEDIDOS_ITENS_ANTIGOS1", "ESTOQUE", "PRODUTOS"}));
    QCOMPARE(view.statuses, (QStringList{"Atualizando tabela: CLIENTES_PEDIDOS_ITENS_ANTIGOS1",
                                         "Atualizando tabela: ESTOQUE", "Atualizando tabela: PRODUTOS", "Concluído!"}));
    QCOMPARE(view.events.mid(0, 4), (QStringList{"max=3", "status=Atualizando tabela: CLIENTES_PEDIDOS_ITENS_ANTIGOS1",
                                                 "repaint", "add=1"}));
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Information);
    QCOMPARE(view.boxes[0].text, QStringLiteral("Dados atualizados com sucesso! "));
    // While the box is open the gauge is full and the status names the last table.
    QCOMPARE(view.boxes[0].gaugeValue, 3);
    QCOMPARE(view.boxes[0].status, QStringLiteral("Atualizando tabela: PRODUTOS"));
    QCOMPARE(view.gaugeValue, 0);
    QCOMPARE(view.events.last(), QStringLiteral("status=Concluído!"));
    QCOMPARE(layer.live.size(), 0); // both queries released, and the file let go of
    QCOMPARE(layer.connectEntries.size(), 1);

    // A second run on the same file attaches again and starts the gauge at 0.
    view.events.clear();
    Conversion(db, view).run();
    QCOMPARE(layer.connectEntries.size(), 2);
    QCOMPARE(view.events.first(), QStringLiteral("max=3"));
    QCOMPARE(view.boxes.size(), 2);
}

void TestRun::noRelationAtAll()
{
    FakeLayer layer;
    scriptRelations(layer, {});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/dados/vazio.fb");
    Conversion(db, view).run();
    QCOMPARE(layer.statements, successfulStatements({}));
    QCOMPARE(view.gaugeMax, 0);
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].text, QStringLiteral("Dados atualizados com sucesso! "));
    QCOMPARE(view.status, QStringLiteral("Concluído!"));
}

void TestRun::failurePoints_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("failCall");
    QTest::addColumn<QString>("failSql");
    QTest::addColumn<int>("times");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("tail");     // the last statements issued, in order
    QTest::addColumn<int>("gaugeMax");
    QTest::addColumn<int>("gaugeValue");
    QTest::addColumn<QString>("status");

    const QString connectBox = QStringLiteral("Não foi possível conectar ao banco de dados Vestrel\rMotivo: ");
    const QString runBox = QStringLiteral("Erro ao atualizar a tabela ");
    const QString motivo = QStringLiteral("Motivo: engine says no");
    const QString off = statements::triggersOff() + crlf;
    const QString on = statements::triggersOn() + crlf;

    QTest::newRow("empty path") << "" << "" << "" << 0
                                << connectBox + "Caminho do banco de dados em branco" << QStringList{} << 100 << 0 << "antes";
    QTest::newRow("connect") << "/x.fb" << "connect" << "" << 1 << connectBox + "engine says no" << QStringList{} << 100
                             << 0 << "antes";
    QTest::newRow("switch-off") << "/x.fb" << "execute" << "RDB$TRIGGER_INACTIVE = 1" << 1 << runBox + motivo
                                << QStringList{off, rollback} << 100 << 0 << "antes";
    QTest::newRow("discovery") << "/x.fb" << "prepare" << "As Tabela" << 1 << runBox + motivo
                               << QStringList{off, rollback, on} << 100 << 0 << "antes";
    QTest::newRow("third of five") << "/x.fb" << "execute" << "UPDATE T3" << 1 << runBox + padded("T3") + motivo
                                   << QStringList{statements::rewrite("T3") + crlf, rollback, on} << 5 << 2
                                   << "Atualizando tabela: T3";
    QTest::newRow("switch-on") << "/x.fb" << "execute" << "RDB$TRIGGER_INACTIVE = 0" << -1
                               << runBox + motivo + "\rOs gatilhos continuam desativados; a próxima conversão deste banco os reativa."
                               << QStringList{statements::rewrite("T5") + crlf, on, rollback, on} << 5 << 5
                               << "Atualizando tabela: T5";
    QTest::newRow("commit") << "/x.fb" << "execute" << "Commit" << 1 << runBox + motivo
                            << QStringList{on, statements::commit() + crlf, rollback} << 5 << 5
                            << "Atualizando tabela: T5";
}

void TestRun::failurePoints()
{
    QFETCH(QString, path);
    QFETCH(QString, failCall);
    QFETCH(QString, failSql);
    QFETCH(int, times);
    QFETCH(QString, box);
    QFETCH(QStringList, tail);
    QFETCH(int, gaugeMax);
    QFETCH(int, gaugeValue);
    QFETCH(QString, status);

    FakeLayer layer;
    scriptRelations(layer, {"T1", "T2", "T3", "T4", "T5"});
    if (!failCall.isEmpty())
        layer.fail({failCall, failSql, dbx::VendorError, QStringLiteral("engine says no"), times});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = path;
    view.status = QStringLiteral("antes");
    Conversion(db, view).run();

    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Error);
    QCOMPARE(view.boxes[0].text, box);
    QCOMPARE(layer.statements.mid(layer.statements.size() - tail.size()), tail);
    QVERIFY2(!layer.statements.contains(statements::commit() + crlf) || failSql == QLatin1String("Commit"),
             "a failed run never commits");
    QCOMPARE(view.gaugeMax, gaugeMax);
    QCOMPARE(view.gaugeValue, gaugeValue);
    QCOMPARE(view.status, status);
    QVERIFY(layer.live.size() <= 1); // the queries are released, whatever happened
}

void TestRun::secondRunStartsFromTheGaugeAFailureLeft()
{
    FakeLayer layer;
    scriptRelations(layer, {"T1", "T2", "T3", "T4", "T5"});
    layer.fail({QStringLiteral("execute"), QStringLiteral("UPDATE T3"), dbx::VendorError, QStringLiteral("no")});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion(db, view).run();
    QCOMPARE(view.gaugeValue, 2);

    FakeLayer other;
    TSQLConnection db2(other);
    scriptRelations(other, {"T9"});
    view.events.clear();
    Conversion(db2, view).run();
    // No reset before the maximum: the position 2 is clamped to the new maximum 1.
    QCOMPARE(view.events.mid(0, 1), QStringList{"max=1"});
    QCOMPARE(view.boxes.last().gaugeValue, 1);
}

void TestRun::unsafeRelationNameStopsTheRun()
{
    FakeLayer layer;
    scriptRelations(layer, {"T1", "T2 SET X=1 --"});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion(db, view).run();
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].text, QStringLiteral("Erro ao atualizar a tabela ") + padded("T2 SET X=1 --")
                                     + QStringLiteral("Motivo: Nome de tabela inválido: T2 SET X=1 --"));
    for (const QString &s : std::as_const(layer.statements))
        QVERIFY2(!s.contains(QLatin1String("UPDATE T2")), qPrintable(s));
    QCOMPARE(layer.statements.mid(layer.statements.size() - 2), (QStringList{rollback, statements::triggersOn() + crlf}));
}

void TestRun::passThroughViewIsNotRewritten()
{
    FakeLayer layer;
    scriptRelations(layer, {"PRODUTOS", "V_PRODUTOS"}, {{"V_PRODUTOS", "PRODUTOS"}});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion(db, view).run();
    QCOMPARE(layer.statements, successfulStatements({"PRODUTOS"}));
    QCOMPARE(view.statuses, (QStringList{"Atualizando tabela: PRODUTOS", "Atualizando tabela: V_PRODUTOS", "Concluído!"}));
    QCOMPARE(view.boxes[0].gaugeValue, 2);
}

void TestRun::eachRunAttachesTheFileChosenThen()
{
    FakeLayer layer;
    scriptRelations(layer, {"T1"});
    TSQLConnection db(layer);
    RecordingView view;
    for (const char *path : {"/a.fb", "/b.fb", "/b.fb"}) {
        view.path = QString::fromLatin1(path);
        Conversion(db, view).run();
        QCOMPARE(layer.connectEntries.last().value(1).value, view.path);
        QCOMPARE(db.State(), TConnectionState::csStateClosed); // let go of at the end
        QCOMPARE(layer.live.size(), 0);
    }
    QCOMPARE(layer.connectEntries.size(), 3);
    QCOMPARE(view.boxes.size(), 3);
}

void TestRun::interruptedRun_data()
{
    QTest::addColumn<QString>("at");      // the statement during which the interrupt comes
    QTest::addColumn<QStringList>("tail"); // the last statements issued, in order
    const QString on = statements::triggersOn() + crlf;
    QTest::newRow("switch-off") << "RDB$TRIGGER_INACTIVE = 1" << QStringList{"<cancel>", rollback, on};
    QTest::newRow("third table") << "UPDATE T3" << QStringList{statements::rewrite("T3") + crlf, "<cancel>", rollback, on};
    QTest::newRow("switch-on") << "RDB$TRIGGER_INACTIVE = 0" << QStringList{on, "<cancel>", rollback};
}

void TestRun::interruptedRun()
{
    QFETCH(QString, at);
    QFETCH(QStringList, tail);
    FakeLayer layer;
    scriptRelations(layer, {"T1", "T2", "T3", "T4", "T5"});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion conversion(db, view);
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
    QCOMPARE(layer.statements.mid(layer.statements.size() - tail.size()), tail);
    QVERIFY(!layer.statements.contains(statements::commit() + crlf));
    QVERIFY2(conversion.failure().endsWith(QStringLiteral("Motivo: Conversão interrompida")), qPrintable(conversion.failure()));
    // The undoing cannot be cancelled itself.
    const qsizetype raised = layer.calls.indexOf(QRegularExpression(QStringLiteral("cancel\\(\\d+, 3\\)")));
    const qsizetype disabled = layer.calls.indexOf(QRegularExpression(QStringLiteral("cancel\\(\\d+, 1\\)")));
    QVERIFY(raised >= 0 && disabled > raised);
    QVERIFY(disabled < layer.calls.indexOf(QRegularExpression(QStringLiteral("rollback\\(\\d+\\)"))));
    QCOMPARE(db.State(), TConnectionState::csStateClosed);
}

QTEST_GUILESS_MAIN(TestRun)
#include "tst_run.moc"
