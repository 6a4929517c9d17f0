// The run as the window drives it: statements on a worker thread, the calling thread's event
// loop answering meanwhile, what the run shows arriving on the calling thread in order, and a
// stop asked from the calling thread.
#include "conversion.h"
#include "dbread.h"
#include "errors.h"
#include "fakelayer.h"
#include "marks.h"
#include "fakeshop.h"
#include "recordingview.h"
#include "sqlconnection.h"
#include "tempdb.h"
#include "loopwatch.h"
#include "threadedrun.h"

#include <QtTest>

#include <ibase.h>

using fakeshop::noCopy;

namespace {

// A view that records like RecordingView and notes the thread of every call.
class ThreadNotingView final : public ConversionView {
public:
    RecordingView recorded;
    QSet<QThread *> threads;
    bool refuseMaximum = false;

    QString pathText() const override { return recorded.path; }
    void showMessage(MessageKind kind, const QString &text) override { note(), recorded.showMessage(kind, text); }
    bool confirm(const QString &text) override { return note(), recorded.confirm(text); }
    std::optional<TLogin> askLogin(const QString &database, const TLogin &refused) override
    {
        return note(), recorded.askLogin(database, refused);
    }
    void setGaugeMax(int maximum) override
    {
        note();
        if (refuseMaximum)
            throw Exception(QStringLiteral("Value must be between 1 and 2147483647"));
        recorded.setGaugeMax(maximum);
    }
    void setStatus(const QString &text) override { note(), recorded.setStatus(text); }
    void flushProgress() override { note(), recorded.flushProgress(); }
    void addProgress(int amount) override { note(), recorded.addProgress(amount); }
    void setProgress(int value) override { note(), recorded.setProgress(value); }

private:
    void note() { threads.insert(QThread::currentThread()); }
};

// A shop of these tables with a trigger the run switches off.
void script(FakeLayer &layer, const QStringList &names)
{
    fakeshop::script(layer, {names, {}, {{"LOG_AU", 0}}, QString(), true});
}

// A fake database of these tables whose statements naming slow take ms milliseconds each.
void slowStatements(FakeLayer &layer, const QStringList &names, const QString &slow, int ms)
{
    script(layer, names);
    layer.onExecute = [slow, ms](const QString &sql) {
        if (sql.startsWith(slow))
            QThread::msleep(ms);
    };
}

} // namespace

class TestThreadedRun : public QObject {
    Q_OBJECT
private slots:
    void showsWhatTheSynchronousRunShows_data();
    void showsWhatTheSynchronousRunShows();
    void theLoopAnswersDuringLongStatements();
    void aRefusalOnTheCallingThreadFailsTheRun();
    void interruptedFromTheCallingThread();
    void interruptCancelsARunningStatement();
    void theConnectStepWaitsOffTheCallingThread();
    void aStopDuringTheConnectStepEndsTheRunAtOnce_data();
    void aStopDuringTheConnectStepEndsTheRunAtOnce();
    void abandonedWhileTheRunWaitsOnAQuestion_data();
    void abandonedWhileTheRunWaitsOnAQuestion();

private:
    TempDatabases dbs_;
};

void TestThreadedRun::showsWhatTheSynchronousRunShows_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("failing"); // a statement that fails, if any ("login": the profile's login)
    for (const auto &[name, path, failing] : {std::tuple{"success", "/x.fb", ""}, std::tuple{"a table fails", "/x.fb", "UPDATE T2"},
                                              std::tuple{"no path", "", ""},
                                              std::tuple{"the login refused, the user's taken", "servidor:/x.fb", "login"}})
        QTest::newRow(name) << QString::fromLatin1(path) << QString::fromLatin1(failing);
}

void TestThreadedRun::showsWhatTheSynchronousRunShows()
{
    QFETCH(QString, path);
    QFETCH(QString, failing);
    QStringList events[2], statements[2];
    for (int threaded = 0; threaded < 2; ++threaded) {
        FakeLayer layer;
        script(layer, {"T1", "T2", "T3"});
        ThreadNotingView view;
        if (failing == QLatin1String("login")) {
            layer.fail({QStringLiteral("connect"), {}, dbx::VendorError, QStringLiteral("no"), -1, 0, isc_login, QStringLiteral("certa")});
            view.recorded.logins = {TLogin{"SYSDBA", "certa"}};
        } else if (!failing.isEmpty()) {
            layer.fail({QStringLiteral("execute"), failing, dbx::VendorError, QStringLiteral("no")});
        }
        TSQLConnection db(layer);
        view.recorded.path = path;
        if (threaded) {
            ThreadedRun(db, view, noCopy).exec();
            QCOMPARE(view.threads, QSet<QThread *>{QThread::currentThread()});
        } else {
            Conversion(db, view, noCopy).run();
        }
        events[threaded] = view.recorded.events;
        // The conversion's mark names the second it was made, which two runs need not share.
        statements[threaded] = layer.statements;
        statements[threaded].replaceInStrings(QRegularExpression(QStringLiteral("^COMMENT ON DATABASE IS x'.*")),
                                              QStringLiteral("COMMENT ON DATABASE IS <mark>"));
    }
    QCOMPARE(events[1], events[0]);
    QCOMPARE(statements[1], statements[0]);
    QCOMPARE(events[0].contains(QStringLiteral("login")), failing == QLatin1String("login"));
    QVERIFY(events[0].contains(QStringLiteral("box")));
}

void TestThreadedRun::theLoopAnswersDuringLongStatements()
{
    FakeLayer layer;
    slowStatements(layer, {"T1", "T2"}, QStringLiteral("UPDATE"), 400);
    TSQLConnection db(layer);
    ThreadNotingView view;
    view.recorded.path = QStringLiteral("/x.fb");
    QElapsedTimer whole;
    whole.start();
    const qint64 gap = longestUnansweredMs([&] { ThreadedRun(db, view, noCopy).exec(); });
    QVERIFY(whole.elapsed() >= 800);
    QVERIFY2(gap < 100, qPrintable(QStringLiteral("the loop went %1 ms without a timer").arg(gap)));
    QCOMPARE(view.recorded.boxes.size(), 1);
    QCOMPARE(view.recorded.boxes[0].kind, MessageKind::Information);
}

void TestThreadedRun::aRefusalOnTheCallingThreadFailsTheRun()
{
    FakeLayer layer;
    script(layer, {"T1"});
    TSQLConnection db(layer);
    ThreadNotingView view;
    view.recorded.path = QStringLiteral("/x.fb");
    view.refuseMaximum = true;
    QCOMPARE(ThreadedRun(db, view, noCopy).exec(), Conversion::Outcome::Failed);
    QCOMPARE(view.recorded.boxes.size(), 1);
    QVERIFY2(view.recorded.boxes[0].text.endsWith(QStringLiteral("Motivo: Value must be between 1 and 2147483647")),
             qPrintable(view.recorded.boxes[0].text));
    // The switch-off's record on the trigger, then its removal after the undo; never the
    // conversion's mark on the database, whose only line, the reservation's, is gone at the end.
    const QStringList written = fakeshop::writtenDescriptions(layer.statements, QStringLiteral("TRIGGER LOG_AU"));
    QCOMPARE(written.size(), 2);
    QVERIFY2(written[0].contains(QStringLiteral("gatilho desativado durante uma conversão")), qPrintable(written[0]));
    QVERIFY(written[1].isNull());
    const QStringList database = fakeshop::writtenDescriptions(layer.statements);
    QCOMPARE(database.size(), 2);
    QVERIFY(marks::has(database[0].toUtf8(), marks::Kind::Reserved));
    QVERIFY(database[1].isNull());
}

void TestThreadedRun::interruptedFromTheCallingThread()
{
    FakeLayer layer;
    slowStatements(layer, {"T1", "T2", "T3"}, QStringLiteral("UPDATE T2"), 300);
    TSQLConnection db(layer);
    ThreadNotingView view;
    view.recorded.path = QStringLiteral("/x.fb");
    ThreadedRun run(db, view, noCopy);
    QTimer::singleShot(150, &run, [&] { run.interrupt(); });
    QCOMPARE(run.exec(), Conversion::Outcome::Interrupted);
    QVERIFY(view.recorded.boxes.isEmpty());
    QVERIFY(!layer.statements.join(u'|').contains(QLatin1String("UPDATE T3")));
    // The trigger on again and the map of codes gone, then the door open and the reservation gone.
    QCOMPARE(layer.statements.mid(layer.statements.size() - 8),
             (QStringList{"ALTER TRIGGER LOG_AU ACTIVE\r\n", "COMMENT ON TRIGGER LOG_AU IS NULL\r\n",
                          "DROP TABLE CONVERSOR$MAPA\r\n", "Commit\r\n",
                          "COMMENT ON DATABASE IS NULL\r\n", "DROP TRIGGER CONVERSOR$PORTA\r\n",
                          "DROP EXCEPTION CONVERSOR$FECHADO\r\n", "Commit\r\n"}));
    QCOMPARE(db.state(), TConnectionState::csStateClosed);
}

void TestThreadedRun::interruptCancelsARunningStatement()
{
    // One table big enough for its rewrite to take a while, and a trigger the run switches off.
    const QString file = dbs_.create(QStringLiteral("big.fb"), TempDatabases::fixture(QStringLiteral("substr.sql")) + R"(
CREATE TABLE GRANDE (ID INTEGER, CODPROD VARCHAR(10));
CREATE TABLE LOG_G (N INTEGER);
COMMIT;
SET TERM ^ ;
EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 600000) DO BEGIN INSERT INTO GRANDE VALUES (:I, '1234567'); I = I + 1; END END^
CREATE TRIGGER GRANDE_AU FOR GRANDE AFTER UPDATE AS BEGIN INSERT INTO LOG_G VALUES (NEW.ID); END^
SET TERM ; ^
)");
    QVERIFY2(!file.isEmpty(), qPrintable(dbs_.lastError()));
    TSQLConnection db;
    ThreadNotingView view;
    view.recorded.path = file;
    ThreadedRun run(db, view, noCopy);
    // Stopped a moment into the table's statement, however long the steps before it took.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &run, [&] {
        if (view.recorded.statuses.contains(QStringLiteral("Atualizando tabela: GRANDE"))) {
            watch.stop();
            QTimer::singleShot(200, &run, [&] { run.interrupt(); });
        }
    });
    watch.start(5);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run.exec(), Conversion::Outcome::Interrupted);
    const qint64 stopped = clock.elapsed();
    QVERIFY(view.recorded.boxes.isEmpty());
    QCOMPARE(run.failure(), QStringLiteral("Conversão interrompida pelo usuário; nada foi alterado"));
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from GRANDE where CODPROD = '1234567'")), QStringList{"600000"});
    QCOMPARE(readColumn(file, QStringLiteral("select RDB$TRIGGER_INACTIVE from RDB$TRIGGERS where RDB$TRIGGER_NAME = 'GRANDE_AU'")),
             QStringList{"0"});
    // The same file, converted whole, takes longer than the stop did.
    clock.restart();
    QCOMPARE(ThreadedRun(db, view, noCopy).exec(), Conversion::Outcome::Converted);
    QVERIFY2(clock.elapsed() > stopped, qPrintable(QStringLiteral("%1 ms whole, stopped after %2 ms").arg(clock.elapsed()).arg(stopped)));
    QCOMPARE(readColumn(file, QStringLiteral("select count(*) from GRANDE where CODPROD = '203456'")), QStringList{"600000"});
}

void TestThreadedRun::theConnectStepWaitsOffTheCallingThread()
{
    FakeLayer layer;
    script(layer, {"T1"});
    QSet<QThread *> attachedOn;
    layer.onConnect = [&] {
        attachedOn.insert(QThread::currentThread());
        QThread::msleep(500); // a server far away
    };
    TSQLConnection db(layer);
    ThreadNotingView view;
    view.recorded.path = QStringLiteral("servidor:/dados/loja.fb");
    const qint64 gap = longestUnansweredMs([&] { QCOMPARE(ThreadedRun(db, view, noCopy).exec(), Conversion::Outcome::Converted); });
    QVERIFY2(gap < 100, qPrintable(QStringLiteral("the loop went %1 ms without a timer").arg(gap)));
    QVERIFY(!attachedOn.contains(QThread::currentThread()));
    QCOMPARE(view.threads, QSet<QThread *>{QThread::currentThread()});
}

void TestThreadedRun::aStopDuringTheConnectStepEndsTheRunAtOnce_data()
{
    QTest::addColumn<bool>("before"); // the stop comes before the run starts
    QTest::newRow("during the attach") << false;
    QTest::newRow("before the run") << true;
}

void TestThreadedRun::aStopDuringTheConnectStepEndsTheRunAtOnce()
{
    QFETCH(bool, before);
    FakeLayer layer;
    script(layer, {"T1"});
    std::atomic<bool> attachEnded{false};
    layer.onConnect = [&] {
        QThread::msleep(1500); // a server that does not answer
        attachEnded = true;
    };
    {
        TSQLConnection db(layer);
        ThreadNotingView view;
        view.recorded.path = QStringLiteral("servidor:/dados/loja.fb");
        ThreadedRun run(db, view, noCopy);
        if (before)
            run.interrupt();
        else
            QTimer::singleShot(200, &run, [&] { run.interrupt(); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(run.exec(), Conversion::Outcome::Interrupted);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(view.recorded.boxes.isEmpty());
        QCOMPARE(run.failure(), QStringLiteral("Conversão interrompida pelo usuário; nada foi alterado"));
        QCOMPARE(db.state(), TConnectionState::csStateClosed);
        QVERIFY(layer.statements.isEmpty());
    }
    // The attach given up lets go of what it got once the server answers.
    QTRY_VERIFY_WITH_TIMEOUT(!TSQLConnection::attachesGivenUp(), 5000);
    QCOMPARE(bool(attachEnded), !before);
    QTRY_COMPARE_WITH_TIMEOUT(layer.live.size(), 0, 5000);
}

void TestThreadedRun::abandonedWhileTheRunWaitsOnAQuestion_data()
{
    QTest::addColumn<bool>("open"); // the question open, the end coming from inside its loop
    QTest::newRow("the question not taken, this thread taking no events") << false;
    QTest::newRow("the question open") << true;
}

// The program ends under a run that waits on the user (the display gone): the run's question
// can no longer be answered, and abandon() must neither wait on it nor let it come later.
void TestThreadedRun::abandonedWhileTheRunWaitsOnAQuestion()
{
    QFETCH(bool, open);
    FakeLayer layer;
    fakeshop::script(layer, {{"T1", "T2"}, {}, {{"LOG_AU", 0}},
                             QStringLiteral("Conversor de dados: códigos de produto convertidos em 01/12/2026 09:15:00."), true});
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> lastStatement{-1};
    layer.onExecute = [&](const QString &) { lastStatement = clock.elapsed(); };
    TSQLConnection db(layer);
    ThreadNotingView view;
    view.recorded.path = QStringLiteral("/x.fb");
    view.recorded.answer = true;
    ThreadedRun run(db, view, noCopy);
    bool abandoned = false;
    qint64 took = -1;
    auto abandon = [&] {
        QElapsedTimer waited;
        waited.start();
        abandoned = run.abandon(3000);
        took = waited.elapsed();
    };
    if (open)
        view.recorded.onConfirm = abandon;
    run.start();
    if (!open) {
        // Without this thread's loop, the run goes quiet once it has asked.
        while (clock.elapsed() < 10000 && (lastStatement < 0 || clock.elapsed() - lastStatement < 300))
            QThread::msleep(10);
        abandon();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!run.running(), 10000);
    QVERIFY(abandoned);
    QVERIFY2(took < 1000, qPrintable(QStringLiteral("abandon() took %1 ms").arg(took)));
    QCOMPARE(run.outcome(), Conversion::Outcome::Interrupted);
    QCOMPARE(run.failure(), QStringLiteral("Conversão interrompida pelo usuário; nada foi alterado"));
    QVERIFY(!layer.statements.join(u'|').contains(QLatin1String("UPDATE ")));
    if (open) {
        QCOMPARE(view.recorded.questions.size(), 1);
    } else {
        // Nothing the run asked or said reached the view once it was given up, however long the
        // loop runs afterwards.
        QTest::qWait(100);
        QCOMPARE(view.recorded.events, QStringList());
    }
    QVERIFY(view.recorded.boxes.isEmpty());
    QCOMPARE(db.state(), TConnectionState::csStateClosed);
}

QTEST_GUILESS_MAIN(TestThreadedRun)
#include "tst_threadedrun.moc"
