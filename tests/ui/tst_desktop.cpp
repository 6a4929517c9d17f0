// What the window offers beyond what the eye sees: assistive technology (roles, names, states
// and actions, what the window announces, pressing a command, the read-only path field), the
// Open dialog's starting folder and its language. Accessibility is active throughout, as with a
// screen reader running, and what the window announces is heard by the test.
#include "application.h"
#include "clickable.h"
#include "mainwindow.h"
#include "converting.h"
#include "modals.h"
#include "shownform.h"
#include "messagebox.h"
#include "ui_mainwindow.h"
#include "winfont.h"

#include <QAccessible>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace {

const QColor lit(128, 0, 0);

QObject *member(TForm1 &form, const QString &name)
{
    return name == QLatin1String("TForm1") ? static_cast<QObject *>(&form) : form.findChild<QWidget *>(name);
}

QAccessibleInterface *accessible(TForm1 &form, const QString &name)
{
    return QAccessible::queryAccessibleInterface(member(form, name));
}

void press(TForm1 &form, const QString &panel)
{
    accessible(form, panel)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
}

// The states a screen reader is told that matter here.
QStringList statesOf(QAccessibleInterface *a)
{
    const QAccessible::State s = a->state();
    QStringList names;
    if (s.disabled)
        names << QStringLiteral("disabled");
    if (s.focusable)
        names << QStringLiteral("focusable");
    if (s.focused)
        names << QStringLiteral("focused");
    if (s.readOnly)
        names << QStringLiteral("read-only");
    if (s.editable)
        names << QStringLiteral("editable");
    if (s.invisible)
        names << QStringLiteral("invisible");
    return names;
}

// What a member offers besides its name: its actions and the interfaces through which it is read
// or changed. A desktop's bridge adds Increase and Decrease to anything with a value interface.
QStringList offersOf(QAccessibleInterface *a)
{
    QStringList offers;
    if (QAccessibleActionInterface *actions = a->actionInterface())
        offers << actions->actionNames();
    if (a->valueInterface())
        offers << QStringLiteral("value");
    if (a->textInterface())
        offers << QStringLiteral("text");
    if (a->editableTextInterface())
        offers << QStringLiteral("editable text");
    return offers;
}

// What the window announces to assistive technology, as "member: event".
QStringList heard;

void listen(QAccessibleEvent *event)
{
    QString what;
    switch (event->type()) {
    case QAccessible::Focus:
        what = QStringLiteral("focus");
        break;
    case QAccessible::NameChanged:
        what = QStringLiteral("name");
        break;
    case QAccessible::DescriptionChanged:
        what = QStringLiteral("description");
        break;
    case QAccessible::ValueChanged:
        what = QStringLiteral("value ") + static_cast<QAccessibleValueChangeEvent *>(event)->value().toString();
        break;
    case QAccessible::TextInserted:
    case QAccessible::TextRemoved:
    case QAccessible::TextUpdated:
        what = QStringLiteral("text");
        break;
    case QAccessible::StateChanged:
        if (static_cast<QAccessibleStateChangeEvent *>(event)->changedStates().disabled)
            what = QStringLiteral("disabled or enabled");
        break;
    case QAccessible::Alert:
        what = QStringLiteral("alert");
        break;
    default:
        break;
    }
    if (!what.isEmpty() && event->object())
        heard << event->object()->objectName() + QStringLiteral(": ") + what;
}

// Answers the first modal window that comes up with f, and only that one.
std::function<bool(QWidget *)> once(std::function<void(QWidget *)> f)
{
    return [f](QWidget *modal) {
        f(modal);
        return false;
    };
}

class Window : public ShownForm {
public:
    TPanel *panel(const QString &name) { return form.findChild<TPanel *>(name); }
};

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void rolesNamesStatesAndActions_data();
    void rolesNamesStatesAndActions();
    void pathFieldAndCaptionNameEachOther();
    void gaugeAndStatusFollowTheRun();
    void announcements_data();
    void announcements();
    void pressReturnsBeforeTheCommandRuns_data();
    void pressReturnsBeforeTheCommandRuns();
    void pressRefused_data();
    void pressRefused();
    void commandsReportThemselvesDisabledDuringARun();
    void pathFieldRefusesText();
    void messageBoxesAreAlerts_data();
    void messageBoxesAreAlerts();
    void openDialogStartsWhereTheDatabaseIs_data();
    void openDialogStartsWhereTheDatabaseIs();
    void qtDialogsSpeakPortuguese();

private:
    QTemporaryDir config_;
};

void TestDesktop::initTestCase()
{
    winfont::loadTahoma();
    // Qt's file dialog keeps its state in the user's settings: the test's own, left behind.
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
    // As a screen reader's bridge does on a desktop: the platform's accessibility switched on
    // (QAccessible::setActive only tells observers), its events heard here instead.
    QAccessible::installUpdateHandler(listen);
    QPlatformAccessibility *platform = QGuiApplicationPrivate::platformIntegration()->accessibility();
    QVERIFY(platform);
    platform->setActive(true);
    QVERIFY(QAccessible::isActive());
}

void TestDesktop::rolesNamesStatesAndActions_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<QStringList>("offers");
    // The caption's double space is drawn, not read out.
    const QString caption = QStringLiteral("Banco de Dados Vestrel (Firebird *.fb)");
    const QStringList none;
    const QStringList pressable{QStringLiteral("Press")};
    QTest::newRow("the window: a frame") << "TForm1" << int(QAccessible::Window) << "Conversor de dados - Malhavera -"
                                         << none << none;
    QTest::newRow("Open") << "pnlAbrirVestrel" << int(QAccessible::Button) << "Abrir" << QStringList{"focusable"}
                          << pressable;
    QTest::newRow("Convert") << "pnlConverter" << int(QAccessible::Button) << "Converter" << QStringList{"focusable"}
                             << pressable;
    QTest::newRow("Exit") << "pnlSair" << int(QAccessible::Button) << "Sair" << QStringList{"focusable"} << pressable;
    QTest::newRow("header band: no command") << "Panel2" << int(QAccessible::Pane) << "" << none << none;
    QTest::newRow("path field: read-only, named by its caption")
        << "edtDestino" << int(QAccessible::EditableText) << caption
        << QStringList{"focusable", "focused", "read-only"} << QStringList{"SetFocus", "text"};
    QTest::newRow("caption of the path field") << "Label6" << int(QAccessible::StaticText) << caption << none << none;
    QTest::newRow("gauge: named, with a value") << "barra" << int(QAccessible::ProgressBar) << "Progresso" << none
                                                << QStringList{"value"};
    QTest::newRow("status line, empty at start") << "lblProgresso" << int(QAccessible::StaticText) << "" << none
                                                 << none;
    QTest::newRow("a command's picture") << "imgConverter" << int(QAccessible::Graphic) << "Converter" << none << none;
}

void TestDesktop::rolesNamesStatesAndActions()
{
    QFETCH(QString, member);
    QFETCH(int, role);
    QFETCH(QString, name);
    QFETCH(QStringList, states);
    QFETCH(QStringList, offers);
    Window w;
    QVERIFY(w.shown);
    QAccessibleInterface *a = accessible(w.form, member);
    QVERIFY(a);
    QCOMPARE(int(a->role()), role);
    QCOMPARE(a->text(QAccessible::Name), name);
    QCOMPARE(statesOf(a), states);
    QCOMPARE(offersOf(a), offers);
}

void TestDesktop::pathFieldAndCaptionNameEachOther()
{
    TForm1 form;
    const auto labelled = accessible(form, QStringLiteral("Label6"))->relations(QAccessible::Labelled);
    QCOMPARE(labelled.size(), 1);
    QCOMPARE(labelled.first().first->object(), form.ui().edtDestino);
    const auto labels = accessible(form, QStringLiteral("edtDestino"))->relations(QAccessible::Label);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first().first->object(), form.ui().Label6);
}

void TestDesktop::gaugeAndStatusFollowTheRun()
{
    TForm1 form;
    QAccessibleInterface *gauge = accessible(form, QStringLiteral("barra"));
    QCOMPARE(gauge->text(QAccessible::Value), QStringLiteral("0%"));
    form.setGaugeMax(8);
    form.addProgress(1);
    form.addProgress(1);
    form.setStatus(QStringLiteral("Atualizando tabela: PRODUTOS"));
    QCOMPARE(gauge->text(QAccessible::Value), QStringLiteral("25%"));
    QCOMPARE(gauge->text(QAccessible::Description), QStringLiteral("25%"));
    // Its value as a screen reader reads a progress bar's: where it is between its least and
    // its most. Nobody sets it, whatever a reader's Increase or Decrease asks.
    QAccessibleValueInterface *value = gauge->valueInterface();
    QVERIFY(value);
    QCOMPARE(value->currentValue().toInt(), 2);
    QCOMPARE(value->minimumValue().toInt(), 0);
    QCOMPARE(value->maximumValue().toInt(), 8);
    value->setCurrentValue(7);
    QCOMPARE(value->currentValue().toInt(), 2);
    QCOMPARE(form.ui().barra->Progress(), 2);
    form.setGaugeMax(3);
    form.addProgress(1);
    QCOMPARE(value->currentValue().toInt(), 3);
    QCOMPARE(value->maximumValue().toInt(), 3);
    QCOMPARE(gauge->text(QAccessible::Value), QStringLiteral("100%"));
    QCOMPARE(accessible(form, QStringLiteral("lblProgresso"))->text(QAccessible::Name),
             QStringLiteral("Atualizando tabela: PRODUTOS"));
}

void TestDesktop::announcements_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("said");
    // Exit stays: during a run it closes the window, which stops the run.
    const QStringList disabledOrEnabled{"pnlAbrirVestrel: disabled or enabled", "pnlConverter: disabled or enabled"};
    QTest::newRow("the status line") << QStringList{"status Atualizando tabela: PRODUTOS"}
                                     << QStringList{"lblProgresso: name"};
    QTest::newRow("the status line, unchanged")
        << QStringList{"status Concluído!", "status Concluído!"} << QStringList{"lblProgresso: name"};
    QTest::newRow("the gauge's percentage") << QStringList{"max 8", "add 1", "add 1"}
                                            << QStringList{"barra: value 1", "barra: description", "barra: value 2",
                                                           "barra: description"};
    QTest::newRow("a new maximum that changes the percentage")
        << QStringList{"max 4", "add 1", "max 2"}
        << QStringList{"barra: value 1", "barra: description", "barra: value 1", "barra: description"};
    QTest::newRow("a value of the same percentage")
        << QStringList{"max 1000", "progress 1", "progress 2"} << QStringList{};
    QTest::newRow("a run begins") << QStringList{"run true"} << disabledOrEnabled;
    QTest::newRow("a run begins and ends") << QStringList{"run true", "run false"}
                                           << disabledOrEnabled + disabledOrEnabled;
    QTest::newRow("Tab to Open") << QStringList{"tab"} << QStringList{"pnlAbrirVestrel: focus"};
    QTest::newRow("a path chosen") << QStringList{"path /dados/loja.fb"} << QStringList{"edtDestino: text"};
}

void TestDesktop::announcements()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, said);
    Window w;
    QVERIFY(w.shown);
    heard.clear();
    for (const QString &step : std::as_const(steps)) {
        const QString verb = step.section(u' ', 0, 0), rest = step.section(u' ', 1);
        if (verb == QLatin1String("status"))
            w.form.setStatus(rest);
        else if (verb == QLatin1String("max"))
            w.form.setGaugeMax(rest.toInt());
        else if (verb == QLatin1String("add"))
            w.form.addProgress(rest.toInt());
        else if (verb == QLatin1String("progress"))
            w.form.setProgress(rest.toInt());
        else if (verb == QLatin1String("run"))
            emit w.form.runningChanged(rest == QLatin1String("true"));
        else if (verb == QLatin1String("tab"))
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        else if (verb == QLatin1String("path"))
            w.form.setPathText(rest);
    }
    QCOMPARE(heard, said);
}

void TestDesktop::pressReturnsBeforeTheCommandRuns_data()
{
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("then"); // what comes of it
    for (const auto &[command, panel, then] : {std::tuple{"Open", "pnlAbrirVestrel", "dialog"},
                                               std::tuple{"Convert", "pnlConverter", "box"},
                                               std::tuple{"Exit", "pnlSair", "closed"}})
        QTest::newRow(command) << QString::fromLatin1(panel) << QString::fromLatin1(then);
}

void TestDesktop::pressReturnsBeforeTheCommandRuns()
{
    QFETCH(QString, panel);
    QFETCH(QString, then);
    Window w;
    QVERIFY(w.shown);
    QSignalSpy clicks(w.panel(panel), &TPanel::OnClick);
    QString came;
    ModalAnswer answer(once([&came](QWidget *modal) {
        came = qobject_cast<QFileDialog *>(modal) ? QStringLiteral("dialog") : QStringLiteral("box");
        modal->close();
    }));
    press(w.form, panel);
    // The caller has its answer before anything of the command happened.
    QCOMPARE(clicks.size(), 0);
    QCOMPARE(came, QString());
    QVERIFY(w.form.isVisible());
    // The command runs from the event loop.
    QTRY_COMPARE(clicks.size(), 1);
    if (then == QLatin1String("closed"))
        QVERIFY(!w.form.isVisible());
    else // the run's box comes from its own thread, after the command has returned
        QTRY_COMPARE(came, then);
}

void TestDesktop::pressRefused_data()
{
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("when");
    QTest::addColumn<bool>("refused");
    QTest::newRow("the panel disabled") << "pnlSair" << "disabled" << true;
    QTest::newRow("Convert, a run under way") << "pnlConverter" << "running" << true;
    QTest::newRow("Open, a run under way") << "pnlAbrirVestrel" << "running" << true;
    QTest::newRow("Convert, a run begun before the press came through") << "pnlConverter" << "run after the press" << true;
    QTest::newRow("a box over the window") << "pnlSair" << "box" << true;
    // Exit closes the window, which stops the run.
    QTest::newRow("Exit, a run under way") << "pnlSair" << "running" << false;
}

void TestDesktop::pressRefused()
{
    QFETCH(QString, panel);
    QFETCH(QString, when);
    QFETCH(bool, refused);
    Window w;
    QVERIFY(w.shown);
    TPanel *target = w.panel(panel);
    QSignalSpy clicks(target, &TPanel::OnClick);
    TMessageBox box(&w.form, MessageKind::Information, QStringLiteral("x"));
    if (when == QLatin1String("disabled"))
        target->setEnabled(false);
    else if (when == QLatin1String("running"))
        emit w.form.runningChanged(true);
    else if (when == QLatin1String("box"))
        box.open();
    press(w.form, panel);
    if (when == QLatin1String("run after the press"))
        emit w.form.runningChanged(true);
    QTest::qWait(50);
    QCOMPARE(clicks.size(), refused ? 0 : 1);
}

void TestDesktop::commandsReportThemselvesDisabledDuringARun()
{
    Window w;
    QVERIFY(w.shown);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    TPanel *convert = w.panel(QStringLiteral("pnlConverter"));
    QCOMPARE(QApplication::focusWidget(), convert);
    QSignalSpy running(&w.form, &TForm1::runningChanged);
    const QStringList panels{"pnlAbrirVestrel", "pnlConverter", "pnlSair"};
    const QStringList commands{"pnlAbrirVestrel", "pnlConverter"}; // Exit stays: it stops the run
    bool wasRunning = false, widgetsEnabled = false;
    QStringList disabledDuring;
    // With no path the run stops at its connect step, with its box: the run is under way while
    // the box is up.
    ModalAnswer answer(once([&](QWidget *modal) {
        wasRunning = w.form.running();
        widgetsEnabled = true;
        for (const QString &name : panels) {
            if (statesOf(accessible(w.form, name)).contains(QLatin1String("disabled")))
                disabledDuring << name;
            widgetsEnabled = widgetsEnabled && w.panel(name)->isEnabled();
        }
        modal->close();
    }));
    QVERIFY(convertAndWait(w.form));
    QVERIFY(wasRunning);
    QCOMPARE(disabledDuring, commands);
    QVERIFY2(widgetsEnabled, "only assistive technology is told: the widgets keep focus and highlight");
    QCOMPARE(running.size(), 2);
    QCOMPARE(running.at(0).at(0).toBool(), true);
    QCOMPARE(running.at(1).at(0).toBool(), false);
    QVERIFY(!w.form.running());
    for (const QString &name : panels)
        QVERIFY(!statesOf(accessible(w.form, name)).contains(QLatin1String("disabled")));
    QTRY_COMPARE(QApplication::focusWidget(), convert);
    QCOMPARE(convert->color(), lit);
}

void TestDesktop::pathFieldRefusesText()
{
    Window w;
    QVERIFY(w.shown);
    const QString path = QStringLiteral("/dados/loja.fb");
    w.form.setPathText(path);
    QAccessibleInterface *field = accessible(w.form, QStringLiteral("edtDestino"));
    field->setText(QAccessible::Value, QStringLiteral("outro.fb"));
    QCOMPARE(w.form.ui().edtDestino->text(), path);
    QCOMPARE(field->text(QAccessible::Value), path);
    QVERIFY(!field->editableTextInterface());

    // What can be done with it: read, select, move through.
    QAccessibleTextInterface *text = field->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), int(path.size()));
    QCOMPARE(text->text(1, 6), QStringLiteral("dados"));
    text->setSelection(0, 1, 6);
    QCOMPARE(w.form.ui().edtDestino->selectedText(), QStringLiteral("dados"));
    int start = -1, end = -1;
    text->selection(0, &start, &end);
    QCOMPARE(std::pair(start, end), std::pair(1, 6));
    text->setCursorPosition(3);
    QCOMPARE(text->cursorPosition(), 3);
    // Each character's box is where the field finds that character.
    const QRect fieldOnScreen(w.form.ui().edtDestino->mapToGlobal(QPoint(0, 0)), w.form.ui().edtDestino->size());
    for (int i : {0, 5, int(path.size()) - 1}) {
        const QRect box = text->characterRect(i);
        QVERIFY2(fieldOnScreen.contains(box), qPrintable(QStringLiteral("character %1").arg(i)));
        QCOMPARE(text->offsetAtPoint(box.center() - QPoint(box.width() / 4, 0)), i);
    }
}

void TestDesktop::messageBoxesAreAlerts_data()
{
    QTest::addColumn<QString>("caption");
    QTest::newRow("Information") << "Information";
    QTest::newRow("Error") << "Error";
    QTest::newRow("Confirm") << "Confirm";
}

void TestDesktop::messageBoxesAreAlerts()
{
    QFETCH(QString, caption);
    Window w;
    QVERIFY(w.shown);
    const QString text = QStringLiteral("Não foi possível conectar ao banco de dados Vestrel\rMotivo: arquivo não encontrado");
    const QString shown = QString(text).replace(u'\r', u'\n');
    QString role, name, description;
    QStringList read; // the names and values of what the box holds
    heard.clear();
    ModalAnswer answer(once([&](QWidget *modal) {
        QAccessibleInterface *box = QAccessible::queryAccessibleInterface(modal);
        role = QString::number(box->role());
        name = box->text(QAccessible::Name);
        description = box->text(QAccessible::Description);
        for (int i = 0; i < box->childCount(); ++i)
            read << box->child(i)->text(QAccessible::Name);
        modal->close();
    }));
    if (caption == QLatin1String("Confirm"))
        w.form.confirm(text);
    else
        w.form.showMessage(caption == QLatin1String("Error") ? MessageKind::Error : MessageKind::Information, text);
    // As Qt's own message boxes: an alert, announced as it comes up, read whole.
    QCOMPARE(role, QString::number(QAccessible::AlertMessage));
    QCOMPARE(heard.filter(QStringLiteral("messageBox: alert")).size(), 1);
    QCOMPARE(name, caption);
    QCOMPARE(description, shown);
    QVERIFY2(read.contains(shown), qPrintable(read.join(u'|')));
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
    ModalAnswer answer(once([&started](QWidget *modal) {
        started = static_cast<QFileDialog *>(modal)->directory().absolutePath();
        modal->close();
    }));
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
    ModalAnswer answer(once([&](QWidget *modal) {
        title = modal->windowTitle();
        if (auto *buttons = modal->findChild<QDialogButtonBox *>())
            cancel = buttons->button(QDialogButtonBox::Cancel)->text();
        modal->close();
    }));
    form.imgAbrirVestrelClick();
    QCOMPARE(title, QStringLiteral("Abrir"));
    QCOMPARE(cancel, QStringLiteral("Cancelar"));
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
