// What the window offers beyond what the eye sees: assistive technology (names, roles, the
// gauge's value, pressing a command), the Open dialog's starting folder and its language.
#include "application.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "winfont.h"

#include <QAccessible>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QtTest>

namespace {

QAccessibleInterface *accessible(TForm1 &form, const QString &member)
{
    return QAccessible::queryAccessibleInterface(form.findChild<QWidget *>(member));
}

// While it lives, runs f on the first modal window that comes up, from inside its own loop.
class WhenModalShows final {
public:
    explicit WhenModalShows(std::function<void(QWidget *)> f)
    {
        QObject::connect(&timer_, &QTimer::timeout, [this, f] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                timer_.stop();
                f(modal);
            }
        });
        timer_.start(10);
    }

private:
    QTimer timer_;
};

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { winfont::loadTahoma(); }
    void namesAndRoles_data();
    void namesAndRoles();
    void gaugeAndStatusFollowTheRun();
    void pressingACommand_data();
    void pressingACommand();
    void openDialogStartsWhereTheDatabaseIs_data();
    void openDialogStartsWhereTheDatabaseIs();
    void qtDialogsSpeakPortuguese();
};

void TestDesktop::namesAndRoles_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    QTest::newRow("Open") << "pnlAbrirVestrel" << int(QAccessible::Button) << "Abrir";
    QTest::newRow("Convert") << "pnlConverter" << int(QAccessible::Button) << "Converter";
    QTest::newRow("Exit") << "pnlSair" << int(QAccessible::Button) << "Sair";
    QTest::newRow("header band: no command") << "Panel2" << int(QAccessible::Pane) << "";
    QTest::newRow("path field, named by its caption") << "edtDestino" << int(QAccessible::EditableText)
                                                       << "Banco de Dados  Vestrel (Firebird *.fb)";
    QTest::newRow("caption of the path field") << "Label6" << int(QAccessible::StaticText)
                                               << "Banco de Dados  Vestrel (Firebird *.fb)";
    QTest::newRow("gauge") << "barra" << int(QAccessible::ProgressBar) << "";
    QTest::newRow("status line, empty at start") << "lblProgresso" << int(QAccessible::StaticText) << "";
}

void TestDesktop::namesAndRoles()
{
    QFETCH(QString, member);
    QFETCH(int, role);
    QFETCH(QString, name);
    TForm1 form;
    QAccessibleInterface *a = accessible(form, member);
    QVERIFY(a);
    QCOMPARE(int(a->role()), role);
    QCOMPARE(a->text(QAccessible::Name), name);
    if (role == QAccessible::Button)
        QCOMPARE(a->actionInterface()->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
    if (member == QLatin1String("Label6")) {
        const auto labelled = a->relations(QAccessible::Labelled);
        QCOMPARE(labelled.size(), 1);
        QCOMPARE(labelled.first().first->object(), form.ui().edtDestino);
    }
}

void TestDesktop::gaugeAndStatusFollowTheRun()
{
    TForm1 form;
    QAccessibleValueInterface *gauge = accessible(form, QStringLiteral("barra"))->valueInterface();
    QVERIFY(gauge);
    QCOMPARE(gauge->currentValue().toInt(), 0);
    QCOMPARE(gauge->minimumValue().toInt(), 0);
    QCOMPARE(gauge->maximumValue().toInt(), 100);
    form.setGaugeMax(8);
    form.addProgress(1);
    form.addProgress(1);
    form.setStatus(QStringLiteral("Atualizando tabela: PRODUTOS"));
    QCOMPARE(gauge->currentValue().toInt(), 2);
    QCOMPARE(gauge->maximumValue().toInt(), 8);
    QCOMPARE(accessible(form, QStringLiteral("barra"))->text(QAccessible::Value), QStringLiteral("25%"));
    QCOMPARE(accessible(form, QStringLiteral("lblProgresso"))->text(QAccessible::Name),
             QStringLiteral("Atualizando tabela: PRODUTOS"));
}

void TestDesktop::pressingACommand_data()
{
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("then"); // what comes of it
    for (const auto &[command, panel, then] : {std::tuple{"Open", "pnlAbrirVestrel", "dialog"},
                                               std::tuple{"Convert", "pnlConverter", "box"},
                                               std::tuple{"Exit", "pnlSair", "closed"}})
        QTest::newRow(command) << QString::fromLatin1(panel) << QString::fromLatin1(then);
}

void TestDesktop::pressingACommand()
{
    QFETCH(QString, panel);
    QFETCH(QString, then);
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QString came;
    WhenModalShows answer([&came](QWidget *modal) {
        came = qobject_cast<QFileDialog *>(modal) ? QStringLiteral("dialog") : QStringLiteral("box");
        modal->close();
    });
    accessible(form, panel)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    if (then == QLatin1String("closed"))
        QVERIFY(!form.isVisible());
    else
        QCOMPARE(came, then);
}

void TestDesktop::openDialogStartsWhereTheDatabaseIs_data()
{
    QTest::addColumn<QString>("path");   // in the path field
    QTest::addColumn<QString>("folder"); // where the dialog starts
    const QString temp = QDir::tempPath();
    QTest::newRow("nothing chosen yet: home") << "" << QDir::homePath();
    QTest::newRow("a database chosen: its folder") << temp + "/loja.fb" << temp;
    QTest::newRow("its folder is gone: home") << temp + "/nao-existe-mais/loja.fb" << QDir::homePath();
}

void TestDesktop::openDialogStartsWhereTheDatabaseIs()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    TForm1 form;
    form.setPathText(path);
    QString started;
    WhenModalShows answer([&started](QWidget *modal) {
        started = static_cast<QFileDialog *>(modal)->directory().absolutePath();
        modal->close();
    });
    form.imgAbrirVestrelClick();
    QCOMPARE(started, folder);
    QCOMPARE(form.ui().edtDestino->text(), path); // cancelled: unchanged
    QCOMPARE(form.findChildren<QFileDialog *>().size(), 0); // gone with the command
}

void TestDesktop::qtDialogsSpeakPortuguese()
{
    QVERIFY2(TApplication::loadQtTranslations(), "Qt's Brazilian Portuguese translations (qt6-translations-l10n)");
    TForm1 form;
    QString title, cancel;
    WhenModalShows answer([&](QWidget *modal) {
        title = modal->windowTitle();
        if (auto *buttons = modal->findChild<QDialogButtonBox *>())
            cancel = buttons->button(QDialogButtonBox::Cancel)->text();
        modal->close();
    });
    form.imgAbrirVestrelClick();
    QCOMPARE(title, QStringLiteral("Abrir"));
    QCOMPARE(cancel, QStringLiteral("Cancelar"));
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
