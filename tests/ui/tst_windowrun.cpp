// The Convert command as the window carries it out, over a recording fake layer given to the
// window: the run on its worker thread, one run at a time whatever comes during it, the question
// a database that looks converted asks, and closing the window in the middle of a run.
#include "fakelayer.h"
#include "fakeshop.h"
#include "loginbox.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "threadedrun.h"
#include "ui_mainwindow.h"
#include "winfont.h"

#include "converting.h"
#include "modals.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <ibase.h>

namespace {

// A stopped run's undoing, as it ends: the trigger it had switched off on again and the map of
// codes gone, committed; then the door open and the reservation gone.
const QStringList undone{"ALTER TRIGGER LOG_AU ACTIVE\r\n", "COMMENT ON TRIGGER LOG_AU IS NULL\r\n",
                         "DROP TABLE CONVERSOR$MAPA\r\n", "Commit\r\n",
                         "COMMENT ON DATABASE IS NULL\r\n", "DROP TRIGGER CONVERSOR$PORTA\r\n",
                         "DROP EXCEPTION CONVERSOR$FECHADO\r\n", "Commit\r\n"};

// A shop of five tables whose rewrites take a while each.
void slowShop(FakeLayer &layer, const QString &description = QString())
{
    fakeshop::Shop shop{{"T1", "T2", "T3", "T4", "T5"}, {}, {{"LOG_AU", 0}}, description, true};
    fakeshop::script(layer, shop);
    layer.onExecute = [](const QString &sql) {
        if (sql.startsWith(QLatin1String("UPDATE")))
            QThread::msleep(60);
    };
}

struct Window {
    explicit Window(FakeLayer &layer) : form(layer, fakeshop::noCopy)
    {
        form.setPathText(QStringLiteral("/dados/loja.fb"));
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
    }
    TForm1 form;
};

QStringList rewrites(const FakeLayer &layer)
{
    return layer.statements.filter(QRegularExpression(QStringLiteral("^UPDATE ")));
}

} // namespace

class TestWindowRun : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { winfont::loadTahoma(); }
    void runsOverTheLayerGiven();
    void oneRunAtATime();
    void aConvertedDatabaseAsksFirst_data();
    void aConvertedDatabaseAsksFirst();
    void closingDuringARunStopsIt_data();
    void closingDuringARunStopsIt();
    void theWindowGoneUnderARunUndoesIt();
    void aRefusedLoginAsksTheUser_data();
    void aRefusedLoginAsksTheUser();
    void commandsLookUnavailableDuringARun();
};

void TestWindowRun::runsOverTheLayerGiven()
{
    FakeLayer layer;
    slowShop(layer);
    QSet<QThread *> executedOn;
    layer.onExecute = [&](const QString &) { executedOn.insert(QThread::currentThread()); };
    Window w(layer);
    QStringList boxes;
    ModalAnswer close([&](QWidget *modal) {
        boxes << static_cast<TMessageBox *>(modal)->text();
        modal->close();
        return true;
    });
    // The command returns at once, the run going on while the window's own loop runs.
    w.form.imgConverterClick();
    QVERIFY(w.form.running());
    QTRY_VERIFY_WITH_TIMEOUT(!w.form.running(), 30000);
    QCOMPARE(w.form.lastOutcome(), Conversion::Outcome::Converted);
    QCOMPARE(boxes, QStringList{"Dados atualizados com sucesso! "});
    QCOMPARE(rewrites(layer).size(), 5);
    QVERIFY2(!executedOn.contains(QThread::currentThread()) && executedOn.size() == 1, "the statements ran on a worker");
    QCOMPARE(layer.live.size(), 0);
    QCOMPARE(w.form.ui().lblProgresso->Caption(), QStringLiteral("Concluído!"));
}

void TestWindowRun::oneRunAtATime()
{
    // During a run the command comes again: called, clicked, by Enter or Space on its panel. None of them
    // starts another run on the same connection.
    FakeLayer layer;
    slowShop(layer);
    Window w(layer);
    w.form.ui().pnlConverter->setFocus();
    int boxes = 0;
    ModalAnswer close([&](QWidget *modal) {
        ++boxes;
        modal->close();
        return true;
    });
    bool again = false;
    QTimer::singleShot(80, &w.form, [&] {
        QVERIFY(w.form.running());
        w.form.imgConverterClick();
        QTest::mouseClick(w.form.ui().imgConverter, Qt::LeftButton);
        QTest::keyClick(w.form.ui().pnlConverter, Qt::Key_Return);
        QTest::keyClick(w.form.ui().pnlConverter, Qt::Key_Space);
        again = true;
    });
    QVERIFY(convertAndWait(w.form));
    QVERIFY(again);
    QCOMPARE(layer.connectEntries.size(), 2); // the run, and its look back at the file chosen
    QCOMPARE(rewrites(layer).size(), 5);
    QTest::qWait(100);
    QCOMPARE(boxes, 1);
    QVERIFY(!w.form.running());
}

void TestWindowRun::aConvertedDatabaseAsksFirst_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("converts");
    QTest::newRow("No") << "No" << false;
    QTest::newRow("Escape") << "Escape" << false;
    QTest::newRow("Yes") << "Yes" << true;
}

void TestWindowRun::aConvertedDatabaseAsksFirst()
{
    QFETCH(QString, answer);
    QFETCH(bool, converts);
    FakeLayer layer;
    slowShop(layer, QStringLiteral("Conversor de dados: códigos de produto convertidos em 01/12/2026 09:15:00."));
    Window w(layer);
    QString caption, text, defaultButton, focused;
    QStringList buttons, later;
    ModalAnswer answerIt([&](QWidget *modal) {
        auto *box = static_cast<TMessageBox *>(modal);
        if (!caption.isEmpty()) { // the box after the question
            later << box->text();
            modal->close();
            return false;
        }
        caption = box->windowTitle();
        text = box->text();
        for (QPushButton *b : box->findChildren<QPushButton *>()) {
            buttons << b->text();
            if (b->isDefault())
                defaultButton = b->text();
        }
        if (auto *holder = qobject_cast<QPushButton *>(box->focusWidget()))
            focused = holder->text();
        if (answer == QLatin1String("Escape"))
            QTest::keyClick(box, Qt::Key_Escape);
        else
            (answer == QLatin1String("Yes") ? box->yesButton() : box->okButton())->click();
        return converts;
    });
    QVERIFY(convertAndWait(w.form));
    QCOMPARE(caption, QStringLiteral("Confirm"));
    QCOMPARE(text, QStringLiteral("Este banco parece já ter sido convertido (convertido em 01/12/2026 09:15:00). Converter de "
                                  "novo reescreve todos os códigos outra vez. Converter de novo?"));
    buttons.sort();
    QCOMPARE(buttons, (QStringList{"No", "Yes"}));
    QCOMPARE(defaultButton, QStringLiteral("No"));
    QCOMPARE(focused, QStringLiteral("No"));
    QCOMPARE(w.form.lastOutcome(), converts ? Conversion::Outcome::Converted : Conversion::Outcome::Declined);
    QCOMPARE(rewrites(layer).size(), converts ? 5 : 0);
    // The user's trigger off and on again (the door's own trigger is no user's).
    QCOMPARE(layer.statements.filter(QStringLiteral("ALTER TRIGGER LOG_AU")).size(), converts ? 2 : 0);
    QCOMPARE(later, converts ? QStringList{"Dados atualizados com sucesso! "} : QStringList{});
}

void TestWindowRun::closingDuringARunStopsIt_data()
{
    QTest::addColumn<int>("key"); // pressed on the focused Exit panel; 0: the window closed
    QTest::newRow("the window closed") << 0;
    QTest::newRow("Enter on Exit") << int(Qt::Key_Return);
    QTest::newRow("Space on Exit") << int(Qt::Key_Space);
}

void TestWindowRun::closingDuringARunStopsIt()
{
    QFETCH(int, key);
    FakeLayer layer;
    slowShop(layer);
    // The undo takes a while: the switch-on of the trigger is slow.
    layer.onExecute = [](const QString &sql) {
        if (sql.startsWith(QLatin1String("UPDATE")))
            QThread::msleep(60);
        if (sql.startsWith(QLatin1String("ALTER TRIGGER")) && sql.contains(QLatin1String(" ACTIVE")))
            QThread::msleep(300);
    };
    Window w(layer);
    w.form.ui().pnlSair->setFocus();
    bool boxed = false;
    ModalAnswer noBox([&](QWidget *modal) {
        boxed = true;
        modal->close();
        return true;
    });
    // The stop comes once the tables are being rewritten; what the status line says from then
    // on: at once, and all through the undo.
    QString atOnce;
    QStringList meanwhile;
    QElapsedTimer sinceTheStop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &w.form, [&] {
        const QString caption = w.form.ui().lblProgresso->Caption();
        if (!sinceTheStop.isValid()) {
            if (!caption.startsWith(QLatin1String("Atualizando tabela: ")))
                return;
            sinceTheStop.start();
            if (key)
                QTest::keyClick(w.form.ui().pnlSair, Qt::Key(key));
            else
                w.form.close();
            atOnce = w.form.ui().lblProgresso->Caption();
        } else if (w.form.running() && meanwhile.value(meanwhile.size() - 1) != caption) {
            meanwhile << caption;
        }
    });
    watch.start(5);
    QVERIFY(convertAndWait(w.form));
    watch.stop();
    QVERIFY(sinceTheStop.isValid());
    QVERIFY2(sinceTheStop.elapsed() >= 300, "the undo took its time");
    QCOMPARE(atOnce, QStringLiteral("Parando…"));
    QCOMPARE(meanwhile, QStringList{QStringLiteral("Parando…")});
    // The stop said as the user's, not as a failure of the table it cut short.
    QCOMPARE(w.form.ui().lblProgresso->Caption(), QStringLiteral("Conversão interrompida pelo usuário; nada foi alterado"));
    QCOMPARE(w.form.lastFailure(), QStringLiteral("Conversão interrompida pelo usuário; nada foi alterado"));
    QCOMPARE(w.form.ui().barra->Progress(), 0);
    QCOMPARE(w.form.lastOutcome(), Conversion::Outcome::Interrupted);
    QVERIFY(!w.form.isVisible());
    QVERIFY(!boxed);
    QVERIFY(layer.statements.contains(QStringLiteral("<cancel>")));
    QVERIFY(rewrites(layer).size() < 5);
    // Undone, the trigger the run had switched off on again and the map of codes gone, committed;
    // then the door open.
    QCOMPARE(layer.statements.mid(layer.statements.size() - undone.size()), undone);
}

// The window destroyed while its run goes on (the application ended by other means than the
// window): the run is stopped and undone before the window and its connection go, and shows
// nothing more.
void TestWindowRun::theWindowGoneUnderARunUndoesIt()
{
    FakeLayer layer;
    slowShop(layer);
    auto w = std::make_unique<Window>(layer);
    int boxes = 0;
    ModalAnswer noBox([&](QWidget *modal) {
        ++boxes;
        modal->close();
        return true;
    });
    w->form.imgConverterClick();
    QTRY_VERIFY_WITH_TIMEOUT(w->form.ui().lblProgresso->Caption().startsWith(QLatin1String("Atualizando tabela: ")), 10000);
    QVERIFY(w->form.running());
    w.reset();
    QVERIFY2(!ThreadedRun::anyRunning(), "the program's end would look for a run that is gone");
    QVERIFY(rewrites(layer).size() < 5);
    QCOMPARE(layer.statements.mid(layer.statements.size() - undone.size()), undone);
    QCOMPARE(layer.live.size(), 0);
    QTest::qWait(100);
    QCOMPARE(boxes, 0);
}

void TestWindowRun::aRefusedLoginAsksTheUser_data()
{
    QTest::addColumn<QStringList>("answers"); // a password typed then OK, or "<Cancelar>", "<Escape>"
    QTest::addColumn<bool>("converts");
    QTest::newRow("the right password") << QStringList{"certa"} << true;
    QTest::newRow("a wrong one, asked again") << QStringList{"errada", "certa"} << true;
    QTest::newRow("Cancelar") << QStringList{"<Cancelar>"} << false;
    QTest::newRow("Escape") << QStringList{"<Escape>"} << false;
}

void TestWindowRun::aRefusedLoginAsksTheUser()
{
    QFETCH(QStringList, answers);
    QFETCH(bool, converts);
    FakeLayer layer;
    slowShop(layer);
    layer.fail({QStringLiteral("connect"), {}, dbx::VendorError, QStringLiteral("Your user name and password are not defined."), -1, 0,
                isc_login, QStringLiteral("certa")});
    Window w(layer);
    struct Seen {
        QString caption, text, user;
        QLineEdit::EchoMode echo;
        bool passwordFocused, okBeforeTyping;
        QStringList buttons;
    };
    QList<Seen> logins;
    QStringList boxes;
    ModalAnswer answer([&](QWidget *modal) {
        if (auto *box = qobject_cast<TLoginBox *>(modal)) {
            Seen seen{box->windowTitle(), box->text(), box->userField()->text(), box->passwordField()->echoMode(),
                      box->focusWidget() == box->passwordField(), box->okButton()->isEnabled(), {}};
            for (QPushButton *b : box->findChildren<QPushButton *>())
                seen.buttons << b->text();
            logins << seen;
            const QString typed = answers.value(logins.size() - 1);
            if (typed == QLatin1String("<Cancelar>")) {
                box->cancelButton()->click();
            } else if (typed == QLatin1String("<Escape>")) {
                QTest::keyClick(box, Qt::Key_Escape);
            } else {
                QTest::keyClicks(box->passwordField(), typed);
                QTest::keyClick(box->passwordField(), Qt::Key_Return);
            }
            return true;
        }
        boxes << static_cast<TMessageBox *>(modal)->text();
        modal->close();
        return true;
    });
    QVERIFY(convertAndWait(w.form));
    QCOMPARE(w.form.lastOutcome(), converts ? Conversion::Outcome::Converted : Conversion::Outcome::NotConnected);
    QCOMPARE(logins.size(), answers.size());
    for (const Seen &seen : std::as_const(logins)) {
        QCOMPARE(seen.caption, QStringLiteral("Entrar no servidor"));
        QVERIFY2(seen.text.startsWith(QStringLiteral("O servidor do Firebird (localhost) recusou o usuário e a senha de ")),
                 qPrintable(seen.text));
        QCOMPARE(seen.echo, QLineEdit::Password);
        QVERIFY2(seen.passwordFocused, "the password is what is missing");
        QVERIFY2(!seen.okBeforeTyping, "no login without a password");
        QCOMPARE(seen.buttons, (QStringList{"OK", "Cancelar"}));
    }
    // The refused profile's user first, then the one typed.
    QCOMPARE(logins.value(0).user, QStringLiteral("sysdba"));
    // Every attach after the first tried what was typed, in order.
    QStringList tried;
    for (const dbx::EntryList &entries : std::as_const(layer.connectEntries))
        for (const dbx::Entry &e : entries)
            if (e.name == QLatin1String("Password"))
                tried << e.value;
    QCOMPARE(tried.mid(0, 1 + (converts ? answers.size() : 0)),
             QStringList{"quokkafen"} + (converts ? answers : QStringList{}));
    if (converts) {
        QCOMPARE(rewrites(layer).size(), 5);
        QCOMPARE(boxes, QStringList{"Dados atualizados com sucesso! "});
    } else {
        QCOMPARE(layer.connectEntries.size(), 1);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].startsWith(QStringLiteral("Chame o técnico responsável pelo sistema.\nNão foi possível conectar ao "
                                                     "banco de dados Vestrel\nO Firebird recusou o usuário e a senha")),
                 qPrintable(boxes[0]));
    }
    QCOMPARE(layer.live.size(), 0);
}

// During a run Open and Convert cannot run, and look it: their pictures are drawn faded. Exit
// can, and looks as it always does; after the run all look as before.
void TestWindowRun::commandsLookUnavailableDuringARun()
{
    FakeLayer layer;
    slowShop(layer);
    Window w(layer);
    w.form.ui().edtDestino->setFocus(); // no panel's focus ring nor highlight in the pictures
    const QStringList panels{"pnlAbrirVestrel", "pnlConverter", "pnlSair"};
    auto look = [&] {
        QList<QImage> images;
        for (const QString &name : panels)
            images << w.form.findChild<QWidget *>(name)->grab().toImage();
        return images;
    };
    ModalAnswer close([](QWidget *modal) {
        modal->close();
        return true;
    });
    const QList<QImage> before = look();
    QList<QImage> during;
    QTimer::singleShot(120, &w.form, [&] {
        if (w.form.running())
            during = look();
    });
    QVERIFY(convertAndWait(w.form));
    QCOMPARE(w.form.lastOutcome(), Conversion::Outcome::Converted);
    QCOMPARE(during.size(), panels.size());
    // The share of each panel's pixels that changed.
    auto changed = [](const QImage &a, const QImage &b) {
        if (a.size() != b.size())
            return 1.0;
        int n = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                n += a.pixel(x, y) != b.pixel(x, y);
        return double(n) / (a.width() * a.height());
    };
    for (int i : {0, 1})
        QVERIFY2(changed(before[i], during[i]) > 0.05,
                 qPrintable(QStringLiteral("%1: %2 of the pixels changed").arg(panels[i]).arg(changed(before[i], during[i]))));
    QCOMPARE(changed(before[2], during[2]), 0.0);
    const QList<QImage> after = look();
    for (int i = 0; i < panels.size(); ++i)
        QCOMPARE(changed(before[i], after[i]), 0.0);
}

QTEST_MAIN(TestWindowRun)
#include "tst_windowrun.moc"
