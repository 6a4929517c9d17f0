// What the user does with the main window: highlight, focus keys, Enter, clicks, the Open
// dialog, Exit, and the message box.
#include "clickable.h"
#include "mainwindow.h"
#include "modals.h"
#include "shownform.h"
#include "messagebox.h"
#include "picturebox.h"
#include "ui_mainwindow.h"
#include "winfont.h"

#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include <optional>

namespace {

// Answers the first modal window that comes up with f, and only that one.
std::function<bool(QWidget *)> once(std::function<void(QWidget *)> f)
{
    return [f](QWidget *modal) {
        f(modal);
        return false;
    };
}

const QColor rest(182, 66, 69);
const QColor lit(128, 0, 0);


class Window : public ShownForm {
public:
    Ui::TForm1 &ui() { return form.ui(); }
    QWidget *member(const QString &name) { return name == QLatin1String("TForm1") ? &form : form.findChild<QWidget *>(name); }
    QString colours()
    {
        QStringList c;
        for (TPanel *p : {ui().pnlAbrirVestrel, ui().pnlConverter, ui().pnlSair})
            c << (p->color() == lit ? QStringLiteral("128") : p->color() == rest ? QStringLiteral("rest") : QStringLiteral("?"));
        return c.join(u' ');
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(QApplication::focusWidget(), k, m); }
    // Moves the pointer to a point of a member (through the window, so enter and leave follow).
    void pointAt(const QString &name, QPoint at = QPoint(-1, -1))
    {
        QWidget *w = member(name);
        if (at == QPoint(-1, -1))
            at = w->rect().center();
        QTest::mouseMove(form.windowHandle(), w->mapTo(&form, at));
    }
};

} // namespace

class TestInteraction : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void highlight_data();
    void highlight();
    void focusKeys_data();
    void focusKeys();
    void keysRunTheFocusedCommand_data();
    void keysRunTheFocusedCommand();
    void keysElsewhereDoNothing_data();
    void keysElsewhereDoNothing();
    void clicks_data();
    void clicks();
    void pressHeldWhileLeavingThePicture();
    void openConfirmedCancelledAndAgain();
    void openDialogFiltersAndColumns();
    void nameFilters_data();
    void nameFilters();
    void exitCloses_data();
    void exitCloses();
    void messageBox_data();
    void messageBox();
    void messageBoxClosingKeys_data();
    void messageBoxClosingKeys();
    void messageBoxTextCopied_data();
    void messageBoxTextCopied();
    void messageBoxLeavesTheHighlight();
    void messageBoxPlacement_data();
    void messageBoxPlacement();
    void messageBoxKeepsAFileNameWhole();
    void messageBoxFrame_data();
    void messageBoxFrame();
    void keyboardFocusSelectsThePath();

private:
    QTemporaryDir config_;
};

void TestInteraction::initTestCase()
{
    winfont::loadTahoma();
    // Qt's file dialog keeps its state in the user's settings: the test's own, left behind.
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
}

void TestInteraction::highlight_data()
{
    QTest::addColumn<QStringList>("steps"); // "tab", "backtab", "point NAME", "strip NAME"
    QTest::addColumn<QString>("colours");   // Open Convert Exit
    QTest::addColumn<QString>("focus");

    QTest::newRow("start") << QStringList{} << "rest rest rest" << "edtDestino";
    QTest::newRow("tab to Open") << QStringList{"tab"} << "128 rest rest" << "pnlAbrirVestrel";
    QTest::newRow("tab to Convert") << QStringList{"tab", "tab"} << "rest 128 rest" << "pnlConverter";
    QTest::newRow("tab to Exit") << QStringList{"tab", "tab", "tab"} << "rest rest 128" << "pnlSair";
    QTest::newRow("tab back to the path") << QStringList{"tab", "tab", "tab", "tab"} << "rest rest rest" << "edtDestino";
    QTest::newRow("pointer on a picture") << QStringList{"point imgConverter"} << "rest 128 rest" << "edtDestino";
    QTest::newRow("pointer onto the strip") << QStringList{"point imgConverter", "strip pnlConverter"} << "rest rest rest"
                                            << "edtDestino";
    QTest::newRow("pointer crosses the focused panel")
        << QStringList{"tab", "tab", "point imgConverter", "point edtDestino"} << "rest rest rest" << "pnlConverter";
    QTest::newRow("focus on Open, pointer on Exit") << QStringList{"tab", "point imgSair"} << "128 rest 128" << "pnlAbrirVestrel";
    QTest::newRow("focus leaves a panel under the pointer")
        << QStringList{"point imgSair", "tab", "tab", "tab", "tab"} << "rest rest rest" << "edtDestino";
}

void TestInteraction::highlight()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, colours);
    QFETCH(QString, focus);
    Window w;
    QVERIFY(w.shown);
    w.pointAt(QStringLiteral("edtDestino"));
    for (const QString &step : std::as_const(steps)) {
        const QStringList parts = step.split(u' ');
        if (parts[0] == QLatin1String("tab"))
            w.key(Qt::Key_Tab);
        else if (parts[0] == QLatin1String("point"))
            w.pointAt(parts[1]);
        else if (parts[0] == QLatin1String("strip"))
            w.pointAt(parts[1], QPoint(w.member(parts[1])->width() - 1, 5));
    }
    QCOMPARE(w.colours(), colours);
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
}

void TestInteraction::focusKeys_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("colours");

    const int none = Qt::NoModifier;
    QTest::newRow("Shift+Tab from the path") << "edtDestino" << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << "pnlSair" << "rest rest 128";
    QTest::newRow("Shift+Tab from Open") << "pnlAbrirVestrel" << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << "edtDestino" << "rest rest rest";
    QTest::newRow("Right on Exit: header band") << "pnlSair" << int(Qt::Key_Right) << none << "Panel2" << "rest rest rest";
    QTest::newRow("Down on Exit: header band") << "pnlSair" << int(Qt::Key_Down) << none << "Panel2" << "rest rest rest";
    QTest::newRow("Left on the band: Exit") << "Panel2" << int(Qt::Key_Left) << none << "pnlSair" << "rest rest 128";
    QTest::newRow("Up on the band: Exit") << "Panel2" << int(Qt::Key_Up) << none << "pnlSair" << "rest rest 128";
    QTest::newRow("Right on the band: path") << "Panel2" << int(Qt::Key_Right) << none << "edtDestino" << "rest rest rest";
    QTest::newRow("Tab on the band: path") << "Panel2" << int(Qt::Key_Tab) << none << "edtDestino" << "rest rest rest";
    QTest::newRow("Right on Open: Convert") << "pnlAbrirVestrel" << int(Qt::Key_Right) << none << "pnlConverter" << "rest 128 rest";
    QTest::newRow("Up on Convert: Open") << "pnlConverter" << int(Qt::Key_Up) << none << "pnlAbrirVestrel" << "128 rest rest";
    QTest::newRow("Left in the path: caret") << "edtDestino" << int(Qt::Key_Left) << none << "edtDestino" << "rest rest rest";
    QTest::newRow("Down in the path: caret") << "edtDestino" << int(Qt::Key_Down) << none << "edtDestino" << "rest rest rest";
    QTest::newRow("Ctrl+Tab does nothing") << "pnlConverter" << int(Qt::Key_Tab) << int(Qt::ControlModifier) << "pnlConverter" << "rest 128 rest";
}

void TestInteraction::focusKeys()
{
    QFETCH(QString, start);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, focus);
    QFETCH(QString, colours);
    Window w;
    QVERIFY(w.shown);
    // Reach the start member the way a user would.
    const QStringList order{"edtDestino", "pnlAbrirVestrel", "pnlConverter", "pnlSair"};
    if (start == QLatin1String("Panel2")) {
        for (int i = 0; i < 3; ++i)
            w.key(Qt::Key_Tab);
        w.key(Qt::Key_Right);
    } else {
        for (qsizetype i = 0; i < order.indexOf(start); ++i)
            w.key(Qt::Key_Tab);
    }
    QCOMPARE(QApplication::focusWidget()->objectName(), start);
    w.key(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QCOMPARE(w.colours(), colours);
}

void TestInteraction::keysRunTheFocusedCommand_data()
{
    QTest::addColumn<QString>("panel");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    // Space presses a command panel as it presses a button, and as Enter does.
    const QList<std::tuple<const char *, int, int>> keys = {
        {"Enter", Qt::Key_Return, Qt::NoModifier}, {"Shift+Enter", Qt::Key_Return, Qt::ShiftModifier},
        {"Ctrl+Enter", Qt::Key_Return, Qt::ControlModifier}, {"Alt+Enter", Qt::Key_Return, Qt::AltModifier},
        {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier}, {"Space", Qt::Key_Space, Qt::NoModifier}};
    for (const char *panel : {"pnlAbrirVestrel", "pnlConverter", "pnlSair"})
        for (const auto &[name, key, mod] : keys)
            QTest::newRow(qPrintable(QStringLiteral("%1 on %2").arg(name, panel))) << panel << key << mod;
}

void TestInteraction::keysRunTheFocusedCommand()
{
    QFETCH(QString, panel);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    Window w;
    QVERIFY(w.shown);
    auto *target = qobject_cast<TPanel *>(w.member(panel));
    while (QApplication::focusWidget() != target)
        w.key(Qt::Key_Tab);
    QSignalSpy clicks(target, &TPanel::OnClick);
    QString seen;
    ModalAnswer answer(once([&seen](QWidget *modal) {
        seen = modal->windowTitle();
        if (auto *box = qobject_cast<TMessageBox *>(modal))
            seen += u':' + box->text();
        modal->close();
    }));
    w.key(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(clicks.size(), 1);
    // The connect step's box comes from the run's own thread: once it has been answered.
    if (panel == QLatin1String("pnlConverter"))
        QTRY_VERIFY(!seen.isEmpty() && !w.form.running());
    if (panel == QLatin1String("pnlSair")) {
        QVERIFY(!w.form.isVisible());
    } else if (panel == QLatin1String("pnlConverter")) {
        // Nothing chosen: the box says what to do, not that a connection failed.
        QCOMPARE(seen, QStringLiteral("Error:Escolha o banco de dados antes de converter"));
        QCOMPARE(w.form.ui().lblProgresso->Caption(), QString());
    } else {
        QVERIFY2(!seen.isEmpty(), "the Open dialog came up");
        QVERIFY(w.form.isVisible());
    }
}

void TestInteraction::keysElsewhereDoNothing_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("key");
    QTest::newRow("Enter in the path") << "edtDestino" << int(Qt::Key_Return);
    QTest::newRow("Escape in the path") << "edtDestino" << int(Qt::Key_Escape);
    QTest::newRow("Enter on the header band") << "Panel2" << int(Qt::Key_Return);
    QTest::newRow("Escape on Convert") << "pnlConverter" << int(Qt::Key_Escape);
    QTest::newRow("Space in the path") << "edtDestino" << int(Qt::Key_Space);
    QTest::newRow("Space on the header band") << "Panel2" << int(Qt::Key_Space);
}

void TestInteraction::keysElsewhereDoNothing()
{
    QFETCH(QString, where);
    QFETCH(int, key);
    Window w;
    QVERIFY(w.shown);
    while (QApplication::focusWidget()->objectName() != where) {
        w.key(Qt::Key_Tab);
        if (where == QLatin1String("Panel2") && QApplication::focusWidget() == w.ui().pnlSair)
            w.key(Qt::Key_Right);
    }
    QSignalSpy open(w.ui().pnlAbrirVestrel, &TPanel::OnClick), convert(w.ui().pnlConverter, &TPanel::OnClick),
        exit(w.ui().pnlSair, &TPanel::OnClick);
    w.key(Qt::Key(key));
    QCOMPARE(open.size() + convert.size() + exit.size(), 0);
    QVERIFY(w.form.isVisible());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(QApplication::focusWidget()->objectName(), where);
}

void TestInteraction::clicks_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("gesture"); // click, release-outside, double, right
    QTest::addColumn<int>("clicks");
    QTest::newRow("click on the picture") << "imgConverter" << "click" << 1;
    QTest::newRow("click on the strip") << "pnlConverter" << "strip" << 1;
    QTest::newRow("release outside") << "imgConverter" << "release-outside" << 0;
    QTest::newRow("double click runs once") << "imgConverter" << "double" << 1;
    QTest::newRow("right button") << "imgConverter" << "right" << 0;
    QTest::newRow("middle button on the strip") << "pnlSair" << "middle-strip" << 0;
}

void TestInteraction::clicks()
{
    QFETCH(QString, member);
    QFETCH(QString, gesture);
    QFETCH(int, clicks);
    Window w;
    QVERIFY(w.shown);
    auto *target = qobject_cast<TClickable *>(w.member(member));
    QSignalSpy spy(target, &TClickable::OnClick);
    QWindow *win = w.form.windowHandle();
    const QPoint centre = target->mapTo(&w.form, target->rect().center());
    const QPoint strip = target->mapTo(&w.form, QPoint(target->width() - 1, target->height() - 1));
    // A click on Convert with no path ends in the connect step's error box: answer it.
    ModalAnswer answer(once([](QWidget *modal) { modal->close(); }));
    if (gesture == QLatin1String("click")) {
        QTest::mouseClick(win, Qt::LeftButton, {}, centre);
    } else if (gesture == QLatin1String("strip")) {
        QTest::mouseClick(win, Qt::LeftButton, {}, strip);
    } else if (gesture == QLatin1String("release-outside")) {
        QTest::mousePress(win, Qt::LeftButton, {}, centre);
        QTest::mouseRelease(win, Qt::LeftButton, {}, QPoint(300, 270));
    } else if (gesture == QLatin1String("double")) {
        QTest::mouseDClick(win, Qt::LeftButton, {}, centre);
    } else if (gesture == QLatin1String("right")) {
        QTest::mouseClick(win, Qt::RightButton, {}, centre);
    } else if (gesture == QLatin1String("middle-strip")) {
        QTest::mouseClick(win, Qt::MiddleButton, {}, strip);
    }
    QCOMPARE(spy.size(), clicks);
    QTRY_COMPARE(QApplication::focusWidget(), w.ui().edtDestino); // a click never moves the focus
}

void TestInteraction::pressHeldWhileLeavingThePicture()
{
    Window w;
    QVERIFY(w.shown);
    QWindow *win = w.form.windowHandle();
    QSignalSpy opened(w.ui().imgAbrirVestrel, &TImage::OnClick);
    w.pointAt(QStringLiteral("imgAbrirVestrel"));
    QCOMPARE(w.colours(), QStringLiteral("128 rest rest"));
    QTest::mousePress(win, Qt::LeftButton, {}, w.ui().imgAbrirVestrel->mapTo(&w.form, QPoint(10, 10)));
    QTest::mouseMove(win, QPoint(300, 270));
    QCOMPARE(w.colours(), QStringLiteral("128 rest rest")); // the picture holds the pointer
    QTest::mouseRelease(win, Qt::LeftButton, {}, QPoint(300, 270));
    QCOMPARE(opened.size(), 0);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestInteraction::openConfirmedCancelledAndAgain()
{
    Window w;
    QVERIFY(w.shown);
    const QString chosen = QDir::temp().filePath(QStringLiteral("loja.fb"));
    QStringList filters;
    QString startName = QStringLiteral("<none>");
    int mode = -1;
    bool readOnly = true;
    QWidget *owner = nullptr;
    auto confirm = [&](QWidget *modal) {
        auto *od = qobject_cast<QFileDialog *>(modal);
        QVERIFY(od);
        filters = od->nameFilters();
        mode = od->fileMode();
        readOnly = od->testOption(QFileDialog::ReadOnly);
        owner = od->parentWidget();
        auto *name = od->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        startName = name->text();
        name->setText(chosen);
        QTest::keyClick(name, Qt::Key_Return);
    };
    std::optional<ModalAnswer> answer;
    answer.emplace(once(confirm));
    w.form.imgAbrirVestrelClick();
    QCOMPARE(filters, (QStringList{"Firebird (*.fb *.fdb *.gdb)", "Todos os arquivos (*)"}));
    QCOMPARE(mode, int(QFileDialog::AnyFile));
    QVERIFY(!readOnly);
    QCOMPARE(owner, &w.form);
    QCOMPARE(startName, QString());
    QCOMPARE(w.ui().edtDestino->text(), chosen);

    answer.emplace(once([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); }));
    w.form.imgAbrirVestrelClick();
    QCOMPARE(w.ui().edtDestino->text(), chosen); // cancelled: unchanged

    answer.emplace(once(confirm));
    w.form.imgAbrirVestrelClick();
    QCOMPARE(startName, QString()); // a new dialog: nothing carried over
    QTRY_COMPARE(QApplication::focusWidget(), w.ui().edtDestino);
}

void TestInteraction::openDialogFiltersAndColumns()
{
    QTemporaryDir folder;
    const QString longest = QStringLiteral("loja-matriz-centro-comercial-zona-norte-2026.fb");
    for (const QString &name : {longest, QStringLiteral("filial.fdb"), QStringLiteral("antiga.gdb"), QStringLiteral("notas.txt")}) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
    }
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("copias")));
    Window w;
    QVERIFY(w.shown);
    w.form.setPathText(folder.filePath(QStringLiteral("filial.fdb")));
    QStringList filters, databases, everything;
    QString selected, cut;
    // Read from inside the dialog, which is closed whatever is found.
    ModalAnswer answer(once([&](QWidget *modal) {
        auto *od = qobject_cast<QFileDialog *>(modal);
        auto *view = od ? od->findChild<QTreeView *>(QStringLiteral("treeView")) : nullptr;
        if (!view) {
            modal->close();
            return;
        }
        auto until = [](const std::function<bool()> &done) {
            for (int i = 0; i < 300 && !done(); ++i)
                QTest::qWait(10);
        };
        auto names = [view] {
            QStringList n;
            for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
                n << view->model()->index(r, 0, view->rootIndex()).data().toString();
            n.sort();
            return n;
        };
        // The columns as wide as what they show, the names whole, all of them in view.
        auto columnsCut = [view, &longest] {
            QHeaderView *header = view->header();
            if (header->sectionSize(0) < view->fontMetrics().horizontalAdvance(longest) + view->iconSize().width())
                return QStringLiteral("the names");
            for (int c = 0; c < header->count(); ++c)
                if (header->isSectionHidden(c) || header->sectionSize(c) < static_cast<QAbstractItemView *>(view)->sizeHintForColumn(c))
                    return header->model()->headerData(c, Qt::Horizontal).toString();
            if (header->length() > view->viewport()->width())
                return QStringLiteral("the view");
            return QString();
        };
        filters = od->nameFilters();
        selected = od->selectedNameFilter();
        until([&] { return names().size() == 4 && columnsCut().isEmpty(); });
        databases = names();
        cut = columnsCut();
        od->selectNameFilter(filters.value(1));
        until([&] { return names().size() == 5; });
        everything = names();
        od->reject();
    }));
    w.form.imgAbrirVestrelClick();
    QCOMPARE(filters, (QStringList{"Firebird (*.fb *.fdb *.gdb)", "Todos os arquivos (*)"}));
    QCOMPARE(selected, filters.first());
    QCOMPARE(databases, (QStringList{"antiga.gdb", "copias", "filial.fdb", longest}));
    QVERIFY2(cut.isEmpty(), qPrintable(QStringLiteral("cut: ") + cut));
    QCOMPARE(everything, (QStringList{"antiga.gdb", "copias", "filial.fdb", longest, "notas.txt"}));
}

void TestInteraction::nameFilters_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QStringList>("filters");
    QTest::newRow("blanks around the bar") << "Firebird | *.fb" << QStringList{"Firebird (*.fb)"};
    QTest::newRow("several masks") << "Firebird|*.fb;*.fdb; *.gdb" << QStringList{"Firebird (*.fb *.fdb *.gdb)"};
    QTest::newRow("two filters") << "Firebird|*.fb|Todos os arquivos|*" << QStringList{"Firebird (*.fb)", "Todos os arquivos (*)"};
    QTest::newRow("a description with no masks") << "Firebird" << QStringList{};
}

void TestInteraction::nameFilters()
{
    QFETCH(QString, given);
    QFETCH(QStringList, filters);
    QCOMPARE(TForm1::nameFilters(given), filters);
}

void TestInteraction::exitCloses_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Exit picture") << "picture";
    QTest::newRow("Exit panel's strip") << "strip";
    QTest::newRow("window close") << "close";
}

void TestInteraction::exitCloses()
{
    QFETCH(QString, how);
    Window w;
    QVERIFY(w.shown);
    QWindow *win = w.form.windowHandle();
    if (how == QLatin1String("picture"))
        QTest::mouseClick(win, Qt::LeftButton, {}, w.ui().imgSair->mapTo(&w.form, QPoint(20, 20)));
    else if (how == QLatin1String("strip"))
        QTest::mouseClick(win, Qt::LeftButton, {}, w.ui().pnlSair->mapTo(&w.form, QPoint(42, 42)));
    else
        QVERIFY(w.form.close());
    QVERIFY(!w.form.isVisible());
    QCOMPARE(QApplication::activeModalWidget(), nullptr); // no question asked
}

void TestInteraction::messageBox_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shown");
    QTest::newRow("information") << int(MessageKind::Information) << "Dados atualizados com sucesso! " << "Information"
                                 << "Dados atualizados com sucesso! ";
    QTest::newRow("error with a carriage return")
        << int(MessageKind::Error) << "Não foi possível conectar ao banco de dados Vestrel\rMotivo: x" << "Error"
        << "Não foi possível conectar ao banco de dados Vestrel\nMotivo: x";
}

void TestInteraction::messageBox()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(QString, caption);
    QFETCH(QString, shown);
    Window w;
    QVERIFY(w.shown);
    TMessageBox box(&w.form, MessageKind(kind), text);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.windowTitle(), caption);
    QCOMPARE(box.text(), shown);
    QCOMPARE(box.findChildren<QPushButton *>().size(), 1);
    QCOMPARE(box.okButton()->text(), QStringLiteral("OK"));
    QVERIFY(box.okButton()->isDefault());
    QTRY_COMPARE(QApplication::focusWidget(), box.okButton());
    QVERIFY(!box.findChild<QLabel *>(QStringLiteral("icon"))->pixmap().isNull());
    QCOMPARE(box.windowModality(), Qt::ApplicationModal);
    QVERIFY(box.findChild<QLabel *>(QStringLiteral("text"))->wordWrap());
}

void TestInteraction::messageBoxClosingKeys_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("how");
    for (const char *box : {"Information", "Error", "Confirm"})
        for (const char *how : {"OK", "Enter", "Space", "Escape", "close", "Enter in the text"})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(box, how))) << box << how;
}

void TestInteraction::messageBoxClosingKeys()
{
    QFETCH(QString, box);
    QFETCH(QString, how);
    Window w;
    QVERIFY(w.shown);
    bool shown = false, okFocused = false, okDefault = false;
    QString tabbedTo;
    ModalAnswer answer(once([&](QWidget *modal) {
        auto *shownBox = qobject_cast<TMessageBox *>(modal);
        if (!shownBox) {
            modal->close();
            return;
        }
        shown = true;
        // The default button ("OK", or "No") has the focus; the text can take it.
        for (int i = 0; i < 100 && QApplication::focusWidget() != shownBox->okButton(); ++i)
            QTest::qWait(10);
        okFocused = QApplication::focusWidget() == shownBox->okButton();
        okDefault = shownBox->okButton()->isDefault();
        if (how == QLatin1String("OK"))
            QTest::mouseClick(shownBox->okButton(), Qt::LeftButton);
        else if (how == QLatin1String("Enter"))
            QTest::keyClick(shownBox->okButton(), Qt::Key_Return);
        else if (how == QLatin1String("Space"))
            QTest::keyClick(shownBox->okButton(), Qt::Key_Space);
        else if (how == QLatin1String("Escape"))
            QTest::keyClick(shownBox->okButton(), Qt::Key_Escape);
        else if (how == QLatin1String("Enter in the text")) {
            QTest::keyClick(shownBox->okButton(), Qt::Key_Tab);
            tabbedTo = QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        } else
            shownBox->close();
    }));
    QElapsedTimer t;
    t.start();
    if (box == QLatin1String("Confirm"))
        QVERIFY(!w.form.confirm(QStringLiteral("Converter de novo?")));
    else
        w.form.showMessage(box == QLatin1String("Error") ? MessageKind::Error : MessageKind::Information,
                           QStringLiteral("Dados atualizados com sucesso! "));
    QVERIFY(shown);
    QVERIFY(okFocused);
    QVERIFY(okDefault);
    if (how == QLatin1String("Enter in the text"))
        QCOMPARE(tabbedTo, QStringLiteral("text"));
    QVERIFY(t.elapsed() < 4000);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestInteraction::messageBoxTextCopied_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("how");    // how the text is selected
    QTest::addColumn<QString>("copied"); // what Ctrl+C then copies
    const QString first = QStringLiteral("Não foi possível conectar ao banco de dados Vestrel");
    const QString all = first + QStringLiteral("\nMotivo: arquivo não encontrado");
    for (const char *box : {"Information", "Error", "Confirm"}) {
        QTest::newRow(qPrintable(QStringLiteral("%1, the pointer dragged over the first line").arg(box)))
            << box << "mouse" << first;
        QTest::newRow(qPrintable(QStringLiteral("%1, Tab to the text, Shift+End").arg(box))) << box << "Shift+End" << first;
        QTest::newRow(qPrintable(QStringLiteral("%1, Tab to the text, Ctrl+A").arg(box))) << box << "Ctrl+A" << all;
        QTest::newRow(qPrintable(QStringLiteral("%1, nothing selected").arg(box))) << box << "nothing" << all;
    }
}

void TestInteraction::messageBoxTextCopied()
{
    QFETCH(QString, box);
    QFETCH(QString, how);
    QFETCH(QString, copied);
    Window w;
    QVERIFY(w.shown);
    const QString text = QStringLiteral("Não foi possível conectar ao banco de dados Vestrel\rMotivo: arquivo não encontrado");
    std::unique_ptr<TMessageBox> shown;
    if (box == QLatin1String("Confirm"))
        shown = std::make_unique<TMessageBox>(&w.form, text);
    else
        shown = std::make_unique<TMessageBox>(&w.form, box == QLatin1String("Error") ? MessageKind::Error : MessageKind::Information, text);
    shown->show();
    QVERIFY(QTest::qWaitForWindowActive(shown.get()));
    QTRY_COMPARE(QApplication::focusWidget(), shown->okButton());
    auto *label = shown->findChild<QLabel *>(QStringLiteral("text"));
    QGuiApplication::clipboard()->setText(QStringLiteral("antes"));
    if (how == QLatin1String("mouse")) {
        // From the first character to the end of the first line, as a user drags.
        const QFontMetrics fm(label->font());
        const QPoint from(label->contentsRect().left() + 1, fm.height() / 2);
        const QPoint to(label->contentsRect().left() + fm.horizontalAdvance(copied) + 4, fm.height() / 2);
        QTest::mousePress(label, Qt::LeftButton, {}, from);
        QMouseEvent drag(QEvent::MouseMove, to, label->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(label, &drag);
        QTest::mouseRelease(label, Qt::LeftButton, {}, to);
    } else if (how != QLatin1String("nothing")) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), label);
        if (how == QLatin1String("Shift+End")) // from where Tab leaves the caret: the start
            QTest::keyClick(label, Qt::Key_End, Qt::ShiftModifier);
        else
            QTest::keySequence(label, QKeySequence::SelectAll);
    }
    QString selected = label->selectedText();
    selected.replace(QChar::ParagraphSeparator, u'\n');
    QCOMPARE(selected, how == QLatin1String("nothing") ? QString() : copied);
    QTest::keySequence(QApplication::focusWidget(), QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
    QVERIFY(shown->isVisible()); // copying closes nothing
}

void TestInteraction::messageBoxLeavesTheHighlight()
{
    Window w;
    QVERIFY(w.shown);
    w.key(Qt::Key_Tab);
    w.key(Qt::Key_Tab);
    QCOMPARE(w.colours(), QStringLiteral("rest 128 rest"));
    QSignalSpy enters(w.ui().pnlConverter, &TPanel::OnEnter), exits(w.ui().pnlConverter, &TPanel::OnExit);
    ModalAnswer answer(once([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); }));
    w.form.showMessage(MessageKind::Error, QStringLiteral("x"));
    QTRY_COMPARE(QApplication::focusWidget(), w.ui().pnlConverter);
    QCOMPARE(enters.size() + exits.size(), 0);
    QCOMPARE(w.colours(), QStringLiteral("rest 128 rest"));
}

void TestInteraction::messageBoxPlacement_data()
{
    QTest::addColumn<QRect>("workArea");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QPoint>("position");
    QTest::newRow("taskbar below") << QRect(0, 0, 1920, 1040) << QSize(301, 141) << QPoint(809, 449);
    QTest::newRow("second monitor") << QRect(1920, 0, 1280, 984) << QSize(400, 150) << QPoint(2360, 417);
    QTest::newRow("box wider than the area") << QRect(0, 0, 300, 200) << QSize(401, 100) << QPoint(-50, 50);
}

void TestInteraction::messageBoxPlacement()
{
    QFETCH(QRect, workArea);
    QFETCH(QSize, box);
    QFETCH(QPoint, position);
    QCOMPARE(TMessageBox::centredIn(workArea, box), position);
}

// A line naming a file in a shop's folder, more than half the screen wide, is not broken at a
// hyphen of its name: the success box names the copy and the list of codes so.
void TestInteraction::messageBoxKeepsAFileNameWhole()
{
    Window w;
    QVERIFY(w.shown);
    const int screenWidth = w.form.screen()->geometry().width();
    QString folder = QStringLiteral("/home/loja");
    QString line;
    TMessageBox probe(&w.form, MessageKind::Information, QString());
    const QFontMetrics metrics(probe.findChild<QLabel *>(QStringLiteral("text"))->font());
    do {
        folder += QStringLiteral("/dados");
        line = QStringLiteral("Códigos antigos e novos: ") + folder + QStringLiteral("/loja.de-para-20261210-143000.csv");
    } while (metrics.horizontalAdvance(line) < screenWidth * 11 / 20);
    QVERIFY(metrics.horizontalAdvance(line) < screenWidth * 6 / 10);
    TMessageBox box(&w.form, MessageKind::Information, QStringLiteral("Dados atualizados com sucesso! \r") + line);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QLabel *text = box.findChild<QLabel *>(QStringLiteral("text"));
    QVERIFY2(text->height() < 3 * metrics.lineSpacing(), qPrintable(QStringLiteral("%1 px high for 2 lines of %2 px")
                                                                       .arg(text->height())
                                                                       .arg(metrics.lineSpacing())));
    QVERIFY(box.frameGeometry().right() <= w.form.screen()->geometry().right());
}

void TestInteraction::messageBoxFrame_data()
{
    QTest::addColumn<QString>("kind"); // Information, Error or Confirm
    QTest::addColumn<QString>("text");
    QTest::newRow("Information") << "Information" << "Dados atualizados com sucesso! ";
    QTest::newRow("Confirm") << "Confirm" << "Este banco parece já ter sido convertido. Converter de novo?";
    // A name with no blank to break it at, wider than any screen.
    QTest::newRow("Error naming a very long path")
        << "Error" << "Erro ao fazer a cópia de segurança\rMotivo: " + QStringLiteral("/dados").repeated(200) + "/loja.fb";
    QTest::newRow("Error of many words") << "Error" << QStringLiteral("palavra ").repeated(400);
}

// A box reads as the tool's modal box: a title and a close button, nothing to minimise or
// maximise, and all of it on the screen, however long its text.
void TestInteraction::messageBoxFrame()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    Window w;
    QVERIFY(w.shown);
    std::unique_ptr<TMessageBox> box = kind == QLatin1String("Confirm")
        ? std::make_unique<TMessageBox>(&w.form, text)
        : std::make_unique<TMessageBox>(&w.form, kind == QLatin1String("Error") ? MessageKind::Error : MessageKind::Information, text);
    box->adjustSize();
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    QCOMPARE(box->windowTitle(), kind);
    const Qt::WindowFlags flags = box->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    // Without CustomizeWindowHint a platform adds its own buttons to the hints.
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowFullscreenButtonHint));
    const QRect screen = w.form.screen()->availableGeometry();
    QVERIFY2(box->frameGeometry().width() <= screen.width(),
             qPrintable(QStringLiteral("%1 px wide on a screen of %2").arg(box->frameGeometry().width()).arg(screen.width())));
    QVERIFY(box->frameGeometry().left() >= screen.left() && box->frameGeometry().right() <= screen.right());
}

void TestInteraction::keyboardFocusSelectsThePath()
{
    Window w;
    QVERIFY(w.shown);
    w.ui().edtDestino->setText(QStringLiteral("/dados/loja.fb"));
    w.key(Qt::Key_Backtab, Qt::ShiftModifier); // to Exit
    w.key(Qt::Key_Tab);                        // back to the path
    QCOMPARE(w.ui().edtDestino->selectedText(), QStringLiteral("/dados/loja.fb"));
    w.key(Qt::Key_Tab);
    QTest::mouseClick(w.ui().edtDestino, Qt::LeftButton, {}, QPoint(5, 10));
    QCOMPARE(QApplication::focusWidget(), w.ui().edtDestino);
    QCOMPARE(w.ui().edtDestino->selectedText(), QString());
}

QTEST_MAIN(TestInteraction)
#include "tst_interaction.moc"
