// The conversion run over the recording fake layer: the exact statements, texts and gauge
// values, and what a failure or a stop at each point leaves behind.
#include "conversion.h"
#include "fakelayer.h"
#include "fakeshop.h"
#include "recordingview.h"
#include "sqlconnection.h"

#include <QtTest>

using fakeshop::padded;

using fakeshop::noCopy;

namespace {

const QString crlf = QStringLiteral("\r\n");
const QString rollback = QStringLiteral("<rollback>");
const QString success = QStringLiteral("Dados atualizados com sucesso! ");

// The statements as they reach the layer: the query objects end every line with CR LF.
const QString readTriggers = QStringLiteral("select rdb$trigger_name as name, coalesce(rdb$trigger_inactive, 0) as inactive "
                                            "from rdb$triggers where coalesce(rdb$system_flag, 0) = 0 order by 1\r\n");
const QString readDescription = QStringLiteral("select rdb$description as description from rdb$database\r\n");
const QString readAttachments = QStringLiteral(
    "select mon$user as usuario, mon$remote_address as endereco, mon$remote_process as programa from mon$attachments "
    "where mon$attachment_id <> current_connection and mon$system_flag = 0 order by mon$attachment_id\r\n");
const QString readBackupState = QStringLiteral("select mon$backup_state as estado from mon$database\r\n");
const QString readColumns = QStringLiteral(
    "select rf.rdb$relation_name as relation, rf.rdb$field_name as field, iif(r.rdb$view_blr is null, 0, 1) as is_view, "
    "iif(f.rdb$computed_blr is null, 0, 1) as computed, coalesce(f.rdb$character_length, 0) as length "
    "from rdb$relation_fields rf join rdb$relations r on r.rdb$relation_name = rf.rdb$relation_name "
    "join rdb$fields f on f.rdb$field_name = rf.rdb$field_source where upper(trim(rf.rdb$field_name)) = 'CODPROD' "
    "order by 1, 2\r\n");
const QString readReferences = QStringLiteral(
    "select fk.rdb$constraint_name as name, fk.rdb$relation_name as child, cs.rdb$field_name as child_field, "
    "uq.rdb$relation_name as master, ms.rdb$field_name as master_field, rc.rdb$update_rule as update_rule "
    "from rdb$relation_constraints fk join rdb$ref_constraints rc on rc.rdb$constraint_name = fk.rdb$constraint_name "
    "join rdb$relation_constraints uq on uq.rdb$constraint_name = rc.rdb$const_name_uq "
    "join rdb$index_segments cs on cs.rdb$index_name = fk.rdb$index_name "
    "join rdb$index_segments ms on ms.rdb$index_name = uq.rdb$index_name and ms.rdb$field_position = cs.rdb$field_position "
    "where fk.rdb$constraint_type = 'FOREIGN KEY' and exists (select 1 from rdb$index_segments k "
    "where k.rdb$index_name = uq.rdb$index_name and upper(trim(k.rdb$field_name)) = 'CODPROD') "
    "order by 1, cs.rdb$field_position\r\n");
const QString discovery = QStringLiteral(
    "Select rdb$relation_name As Tabela                                   From rdb$relation_fields"
    "                                   Where Upper(Trim(rdb$field_name)) = 'CODPROD'             Order By 1"
    "                                           \r\n");
const QString count =
    QStringLiteral("select count(*) from RDB$RELATION_FIELDS Where Upper(Trim(rdb$field_name)) = 'CODPROD'");
const QString commit = QStringLiteral("Commit\r\n");

QString anyOf8(const QString &table)
{
    return QStringLiteral("select first 1 1 from %1 where CHAR_LENGTH(TRIM(CODPROD)) = 8\r\n").arg(table);
}

QString rewrite(const QString &table)
{
    return QStringLiteral("UPDATE %1 SET CODPROD = (SUBSTR(CODPROD,2,2) || '0' || SUBSTR(CODPROD,3,6)) "
                          "WHERE TRIM(CODPROD) <> ''\r\n")
        .arg(table);
}

QString alter(const QString &trigger, const char *state)
{
    return QStringLiteral("ALTER TRIGGER %1 %2\r\n").arg(trigger, QLatin1String(state));
}

// The description goes as the bytes of its UTF-8 text, in hexadecimal.
QString describe(const QString &text)
{
    return QStringLiteral("COMMENT ON DATABASE IS x'%1'\r\n").arg(QString::fromLatin1(text.toUtf8().toHex().toUpper()));
}

const QString noDescription = QStringLiteral("COMMENT ON DATABASE IS NULL\r\n");
const QString offRecord = describe(QStringLiteral(
    "Conversor de dados: gatilhos desativados durante uma conversão (a próxima conversão os reativa): LOG_AU"));
const QString convertedMark = describe(QStringLiteral("Conversor de dados: códigos de produto convertidos em <quando>."));

// The statements with the conversion's time taken out of the description written.
QStringList timeless(QStringList statements)
{
    static const QRegularExpression written(QStringLiteral("^COMMENT ON DATABASE IS x'([0-9A-F]*)'"));
    static const QRegularExpression when(QStringLiteral("\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d"));
    for (QString &s : statements)
        if (const QRegularExpressionMatch m = written.match(s); m.hasMatch())
            s = describe(QString::fromUtf8(QByteArray::fromHex(m.captured(1).toLatin1())).replace(when, QStringLiteral("<quando>")));
    return statements;
}

// A shop of these tables (every one of them with codes of 8 characters), with a logging trigger
// and one the user has switched off.
fakeshop::Shop shop(const QStringList &tables, const QStringList &views = {})
{
    return {tables, views, {{"LOG_AU", 0}, {"DESLIGADO", 1}}, QString(), true};
}

// Everything a converting run sends, before its first rewrite.
QStringList upToTheRewrites(const QString &firstTable)
{
    return {readTriggers, readDescription, readAttachments, readBackupState, readColumns, readReferences, anyOf8(firstTable),
            alter("LOG_AU", "INACTIVE"), offRecord, commit, discovery, count};
}

} // namespace

class TestRun : public QObject {
    Q_OBJECT
private slots:
    void successOverThreeRelations();
    void failurePoints_data();
    void failurePoints();
    void stopsBeforeAnythingChanges_data();
    void stopsBeforeAnythingChanges();
    void secondRunStartsFromTheGaugeAFailureLeft();
    void relationsNotRewritten();
    void eachRunAttachesTheFileChosenThen();
    void databaseThatLooksConverted_data();
    void databaseThatLooksConverted();
    void interruptedRun_data();
    void interruptedRun();
    void interruptDuringTheCommitLeavesItConverted();
};

void TestRun::successOverThreeRelations()
{
    FakeLayer layer;
    fakeshop::script(layer, shop({"CLIENTES_PEDIDOS_ITENS_ANTIGOS1", "ESTOQUE", "PRODUTOS"}));
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/dados/loja.fb");
    Conversion(db, view, noCopy).run();

    const QStringList expected = upToTheRewrites("CLIENTES_PEDIDOS_ITENS_ANTIGOS1")
        + QStringList{rewrite("CLIENTES_PEDIDOS_ITENS_ANTIGOS1"), rewrite("ESTOQUE"), rewrite("PRODUTOS"),
                      alter("LOG_AU", "ACTIVE"), convertedMark, commit};
    QCOMPARE(timeless(layer.statements), expected);
    QCOMPARE(view.statuses, (QStringList{"Atualizando tabela: CLIENTES_PEDIDOS_ITENS_ANTIGOS1",
                                         "Atualizando tabela: ESTOQUE", "Atualizando tabela: PRODUTOS", "Concluído!"}));
    QCOMPARE(view.events.mid(0, 4), (QStringList{"max=3", "status=Atualizando tabela: CLIENTES_PEDIDOS_ITENS_ANTIGOS1",
                                                 "repaint", "add=1"}));
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Information);
    QCOMPARE(view.boxes[0].text, success);
    // While the box is open the gauge is full and the status names the last table.
    QCOMPARE(view.boxes[0].gaugeValue, 3);
    QCOMPARE(view.boxes[0].status, QStringLiteral("Atualizando tabela: PRODUTOS"));
    QCOMPARE(view.gaugeValue, 0);
    QCOMPARE(view.events.last(), QStringLiteral("status=Concluído!"));
    QCOMPARE(layer.live.size(), 0); // every query released, and the file let go of
    QCOMPARE(layer.connectEntries.size(), 1);

    // A second run on the same file attaches again and starts the gauge at 0.
    view.events.clear();
    Conversion(db, view, noCopy).run();
    QCOMPARE(layer.connectEntries.size(), 2);
    QCOMPARE(view.events.first(), QStringLiteral("max=3"));
    QCOMPARE(view.boxes.size(), 2);
}

void TestRun::failurePoints_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("failCall");
    QTest::addColumn<QString>("failSql");
    QTest::addColumn<int>("times");
    QTest::addColumn<int>("after"); // matching calls that go through first
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("tail"); // the last statements issued, in order
    QTest::addColumn<int>("gaugeMax");
    QTest::addColumn<int>("gaugeValue");
    QTest::addColumn<QString>("status");

    const QString connectBox = QStringLiteral("Não foi possível conectar ao banco de dados Vestrel\rMotivo: ");
    const QString motivo = QStringLiteral("Motivo: engine says no");
    const QStringList backOn{rollback, alter("LOG_AU", "ACTIVE"), noDescription, commit};
    const QString leftOff =
        QStringLiteral("\rOs gatilhos continuam desativados; a próxima conversão deste banco os reativa.");

    QTest::newRow("empty path") << "" << "" << "" << 0 << 0 << connectBox + "Caminho do banco de dados em branco"
                                << QStringList{} << 100 << 0 << "antes";
    QTest::newRow("connect") << "/x.fb" << "connect" << "" << 1 << 0 << connectBox + "engine says no" << QStringList{} << 100
                             << 0 << "antes";
    QTest::newRow("reading the triggers") << "/x.fb" << "execute" << "from rdb$triggers" << 1 << 0
                                          << "Erro ao desativar os gatilhos " + motivo << QStringList{rollback} << 100 << 0
                                          << "antes";
    QTest::newRow("looking at the database") << "/x.fb" << "execute" << "mon$attachments" << 1 << 0
                                             << "Erro ao examinar o banco " + motivo << QStringList{readAttachments, rollback}
                                             << 100 << 0 << "antes";
    QTest::newRow("switching off") << "/x.fb" << "execute" << "INACTIVE" << 1 << 0 << "Erro ao desativar os gatilhos " + motivo
                                   << QStringList{alter("LOG_AU", "INACTIVE"), rollback} << 100 << 0 << "antes";
    QTest::newRow("the discovery") << "/x.fb" << "prepare" << "As Tabela" << 1 << 0 << "Erro ao atualizar a tabela " + motivo
                                   << QStringList{commit} + backOn << 100 << 0 << "antes";
    QTest::newRow("third of five") << "/x.fb" << "execute" << "UPDATE T3" << 1 << 0
                                   << "Erro ao atualizar a tabela " + padded("T3") + motivo
                                   << QStringList{rewrite("T3")} + backOn << 5 << 2 << "Atualizando tabela: T3";
    QTest::newRow("switching on") << "/x.fb" << "execute" << " ACTIVE" << -1 << 0
                                  << "Erro ao reativar os gatilhos " + motivo + leftOff
                                  << QStringList{rewrite("T5"), alter("LOG_AU", "ACTIVE"), rollback, alter("LOG_AU", "ACTIVE")}
                                  << 5 << 5 << "Atualizando tabela: T5";
    QTest::newRow("the commit") << "/x.fb" << "execute" << "Commit" << 1 << 1
                                << "Erro ao gravar a conversão no banco (Commit) " + motivo
                                << QStringList{alter("LOG_AU", "ACTIVE"), convertedMark, commit} + backOn << 5 << 5
                                << "Atualizando tabela: T5";
}

void TestRun::failurePoints()
{
    QFETCH(QString, path);
    QFETCH(QString, failCall);
    QFETCH(QString, failSql);
    QFETCH(int, times);
    QFETCH(int, after);
    QFETCH(QString, box);
    QFETCH(QStringList, tail);
    QFETCH(int, gaugeMax);
    QFETCH(int, gaugeValue);
    QFETCH(QString, status);

    FakeLayer layer;
    fakeshop::script(layer, shop({"T1", "T2", "T3", "T4", "T5"}));
    if (!failCall.isEmpty())
        layer.fail({failCall, failSql, dbx::VendorError, QStringLiteral("engine says no"), times, after});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = path;
    view.status = QStringLiteral("antes");
    Conversion(db, view, noCopy).run();

    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].kind, MessageKind::Error);
    QCOMPARE(view.boxes[0].text, box);
    QCOMPARE(timeless(layer.statements).mid(layer.statements.size() - tail.size()), tail);
    QCOMPARE(view.gaugeMax, gaugeMax);
    QCOMPARE(view.gaugeValue, gaugeValue);
    QCOMPARE(view.status, status);
    QCOMPARE(layer.live.size(), 0); // the queries released and the file let go of, whatever happened
    QCOMPARE(db.state(), TConnectionState::csStateClosed);
}

void TestRun::stopsBeforeAnythingChanges_data()
{
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<QString>("script"); // what else the database answers: "key|COLUMN|value;..."
    QTest::addColumn<QString>("box");

    QTest::newRow("no CODPROD anywhere") << QStringList{} << QString()
                                         << "Nenhuma tabela deste banco tem a coluna CODPROD: nada foi alterado.";
    QTest::newRow("another connection")
        << QStringList{"T1"} << "mon$attachments|SYSDBA,10.0.0.5,/opt/loja/pdv"
        << "O banco está em uso por 1 outra conexão (SYSDBA@10.0.0.5, /opt/loja/pdv): feche-a e converta de novo.";
    QTest::newRow("six other connections")
        << QStringList{"T1"} << "mon$attachments|A,h1,p1;B,h2,p2;C,,p3;D,h4,;E,h5,p5;F,h6,p6"
        << "O banco está em uso por 6 outras conexões (A@h1, p1; B@h2, p2; C@local, p3; D@h4; E@h5, p5; …): feche-as e "
           "converta de novo.";
    QTest::newRow("the engine's backup lock held")
        << QStringList{"T1"} << "mon$database|1"
        << "O banco está sob a trava de cópia do Firebird (ALTER DATABASE BEGIN BACKUP, ou nbackup -L), talvez de uma "
           "conversão interrompida durante a sua cópia de segurança: quando nenhuma cópia estiver sendo feita, libere-o com "
           "ALTER DATABASE END BACKUP e converta de novo.";
    QTest::newRow("a name dialect 1 cannot write")
        << QStringList{"T1", "T2 SET X=1 --"} << QString()
        << "Erro ao atualizar a tabela " + padded("T2 SET X=1 --") + "Motivo: Nome de tabela inválido: T2 SET X=1 --";
}

void TestRun::stopsBeforeAnythingChanges()
{
    QFETCH(QStringList, tables);
    QFETCH(QString, script);
    QFETCH(QString, box);
    FakeLayer layer;
    fakeshop::script(layer, shop(tables));
    if (!script.isEmpty()) {
        FakeLayer::Result others{{"USUARIO", "ENDERECO", "PROGRAMA"}, {}};
        for (const QString &row : script.section(u'|', 1).split(u';')) {
            QVariantList values;
            for (const QString &v : row.split(u','))
                values << (v.isEmpty() ? QVariant() : QVariant(v));
            others.rows << values;
        }
        layer.addResult(script.section(u'|', 0, 0), others);
    }
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion conversion(db, view, noCopy);
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Failed);
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].text, box);
    for (const QString &s : std::as_const(layer.statements))
        QVERIFY2(!s.startsWith(QLatin1String("UPDATE")) && !s.startsWith(QLatin1String("ALTER"))
                     && !s.startsWith(QLatin1String("COMMENT")) && !s.startsWith(QLatin1String("Commit")),
                 qPrintable(s));
    QVERIFY(view.statuses.isEmpty());
    QCOMPARE(layer.live.size(), 0);
}

void TestRun::secondRunStartsFromTheGaugeAFailureLeft()
{
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1", "T2", "T3", "T4", "T5"}));
    layer.fail({QStringLiteral("execute"), QStringLiteral("UPDATE T3"), dbx::VendorError, QStringLiteral("no")});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    Conversion(db, view, noCopy).run();
    QCOMPARE(view.gaugeValue, 2);

    FakeLayer other;
    TSQLConnection db2(other);
    fakeshop::script(other, shop({"T9"}));
    view.events.clear();
    Conversion(db2, view, noCopy).run();
    // No reset before the maximum: the position 2 is clamped to the new maximum 1.
    QCOMPARE(view.events.mid(0, 1), QStringList{"max=1"});
    QCOMPARE(view.boxes.last().gaugeValue, 1);
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
    QCOMPARE(layer.statements.filter(QStringLiteral("UPDATE ")), QStringList{rewrite("PRODUTOS")});
    QCOMPARE(view.statuses, (QStringList{"Atualizando tabela: PRODUTOS", "Atualizando tabela: PRODUTOS",
                                         "Atualizando tabela: V_PRODUTOS", "Concluído!"}));
    QCOMPARE(view.boxes[0].gaugeValue, 3);
}

void TestRun::eachRunAttachesTheFileChosenThen()
{
    FakeLayer layer;
    fakeshop::script(layer, shop({"T1"}));
    TSQLConnection db(layer);
    RecordingView view;
    for (const char *path : {"/a.fb", "/b.fb", "/b.fb"}) {
        view.path = QString::fromLatin1(path);
        Conversion(db, view, noCopy).run();
        QCOMPARE(layer.connectEntries.last().value(1).value, view.path);
        QCOMPARE(db.state(), TConnectionState::csStateClosed); // let go of at the end
        QCOMPARE(layer.live.size(), 0);
    }
    QCOMPARE(layer.connectEntries.size(), 3);
    QCOMPARE(view.boxes.size(), 3);
}

void TestRun::databaseThatLooksConverted_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("codesOf8");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("question"); // empty: none asked
    QTest::addColumn<bool>("converts");
    const QString marked = QStringLiteral("Loja 1\nConversor de dados: códigos de produto convertidos em 10/12/2026 14:30:00.");
    const QString asked = QStringLiteral("Este banco parece já ter sido convertido (%1). Converter de novo reescreve todos "
                                         "os códigos outra vez.");
    QTest::newRow("never converted") << QString() << true << false << QString() << true;
    QTest::newRow("marked, No") << marked << true << false << asked.arg("convertido em 10/12/2026 14:30:00") << false;
    QTest::newRow("marked, Yes") << marked << true << true << asked.arg("convertido em 10/12/2026 14:30:00") << true;
    QTest::newRow("codes in the rewritten shape, No")
        << QStringLiteral("Loja 1") << false << false
        << asked.arg("os códigos têm 6 caracteres com \"0\" em segundo, e nenhum tem 8") << false;
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
        layer.addResult(QStringLiteral("SUBSTRING(TRIM(CODPROD) FROM 2 FOR 1) = '0'"), {{QStringLiteral("CONSTANT")}, {{1}}});
    TSQLConnection db(layer);
    RecordingView view;
    view.path = QStringLiteral("/x.fb");
    view.answer = answer;
    Conversion conversion(db, view, noCopy);
    conversion.run();
    QCOMPARE(view.questions, question.isEmpty() ? QStringList() : QStringList{question});
    QCOMPARE(conversion.outcome(), converts ? Conversion::Outcome::Converted : Conversion::Outcome::Declined);
    QCOMPARE(layer.statements.filter(QStringLiteral("UPDATE ")).size(), converts ? 2 : 0);
    QCOMPARE(layer.statements.filter(QStringLiteral("ALTER TRIGGER")).size(), converts ? 2 : 0);
    QCOMPARE(view.boxes.size(), converts ? 1 : 0);
    if (converts) { // the user's text stays, the mark of this conversion is added to it
        const QString written = describe((description.isNull() ? QString() : description + u'\n')
                                         + QStringLiteral("Conversor de dados: códigos de produto convertidos em <quando>."));
        QVERIFY2(timeless(layer.statements).contains(timeless({written}).first()), qPrintable(layer.statements.join(u'|')));
    }
}

void TestRun::interruptedRun_data()
{
    QTest::addColumn<QString>("at");       // the statement during which the interrupt comes
    QTest::addColumn<QStringList>("tail"); // the last statements issued, in order
    QTest::addColumn<bool>("backOn");      // the triggers switched on again
    QTest::newRow("the survey") << "mon$attachments" << QStringList{readAttachments, "<cancel>", rollback} << false;
    QTest::newRow("switching off") << "INACTIVE" << QStringList{alter("LOG_AU", "INACTIVE"), "<cancel>", rollback} << false;
    QTest::newRow("third table") << "UPDATE T3" << QStringList{rewrite("T3"), "<cancel>", rollback} << true;
    QTest::newRow("switching on") << " ACTIVE" << QStringList{alter("LOG_AU", "ACTIVE"), "<cancel>", rollback} << true;
}

void TestRun::interruptedRun()
{
    QFETCH(QString, at);
    QFETCH(QStringList, tail);
    QFETCH(bool, backOn);
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
    const QStringList statements = timeless(layer.statements);
    const qsizetype cancelled = statements.indexOf(QStringLiteral("<cancel>"));
    QCOMPARE(statements.mid(cancelled - 1, tail.size()), tail);
    // After the undo nothing is left switched off: on again, with the record gone, committed.
    const QStringList after = statements.mid(cancelled + 2);
    const QStringList undone{alter("LOG_AU", "ACTIVE"), noDescription, commit};
    QCOMPARE(after, backOn ? undone : QStringList());
    QVERIFY(!statements.contains(convertedMark));
    QVERIFY2(conversion.failure().endsWith(QStringLiteral("Motivo: Conversão interrompida")), qPrintable(conversion.failure()));
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
        if (sql.startsWith(QLatin1String("Commit")) && ++commits == 2)
            conversion.interrupt();
    };
    conversion.run();
    QCOMPARE(conversion.outcome(), Conversion::Outcome::Converted);
    QVERIFY(!layer.calls.contains(QStringLiteral("cancel(3)")));
    QVERIFY(!layer.statements.contains(rollback));
    QCOMPARE(view.boxes.size(), 1);
    QCOMPARE(view.boxes[0].text, success);
}

QTEST_GUILESS_MAIN(TestRun)
#include "tst_run.moc"
