// The application object: an error that escapes one of the window's handlers is shown in an
// error box captioned with the application's title, and the loop goes on; tooltips come after
// 500 ms. Under AddressSanitizer a failure that unwound through Qt's own frames shows as a leak
// of the event Qt was delivering.
#include "application.h"
#include "clickable.h"
#include "errors.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "winfont.h"

#include <QAccessible>
#include <QMessageBox>
#include <QStyle>
#include "modals.h"

#include <QtTest>

#include <stdexcept>

namespace {

struct BoxSeen {
    QString kind; // the class of the modal window that came up
    QString caption;
    QString text;
    int icon = -1;
    bool selectable = false; // its text, with the pointer and the keyboard
};

// What a modal window that came up was, noted as it is closed (nothing is checked in its loop).
BoxSeen seenAndClosed(QWidget *modal)
{
    BoxSeen seen{QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle()};
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        seen.text = box->text();
        seen.icon = box->icon();
        seen.selectable = box->textInteractionFlags().testFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }
    modal->close();
    return seen;
}

} // namespace

class TestApplication : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { winfont::loadTahoma(); }
    void escapedErrorIsShownAndTheLoopGoesOn_data();
    void escapedErrorIsShownAndTheLoopGoesOn();
    void toolTipsWakeAfterHalfASecond();
};

void TestApplication::escapedErrorIsShownAndTheLoopGoesOn_data()
{
    QTest::addColumn<QString>("route");  // how the command is given
    QTest::addColumn<QString>("failure"); // what its handler throws
    QTest::addColumn<QString>("shown");
    QTest::newRow("click, the program's failure") << "click" << "program" << "Falhou ao abrir.";
    QTest::newRow("click, a standard failure") << "click" << "standard" << "Sem memória.";
    QTest::newRow("Enter on the focused panel") << "Enter" << "program" << "Falhou ao abrir.";
    QTest::newRow("a press from assistive technology") << "press" << "program" << "Falhou ao abrir.";
}

void TestApplication::escapedErrorIsShownAndTheLoopGoesOn()
{
    QFETCH(QString, route);
    QFETCH(QString, failure);
    QFETCH(QString, shown);
    TForm1 form;
    TPanel *open = form.ui().pnlAbrirVestrel;
    // The Open command's handler, on its panel and its picture, replaced by one that fails.
    int handled = 0;
    for (TClickable *member : {static_cast<TClickable *>(open), static_cast<TClickable *>(form.ui().imgAbrirVestrel)}) {
        QObject::disconnect(member, &TClickable::OnClick, nullptr, nullptr);
        QObject::connect(member, &TClickable::OnClick, [&] {
            ++handled;
            if (failure == QLatin1String("program"))
                throw Exception(QStringLiteral("Falhou ao abrir"));
            throw std::runtime_error("Sem memória");
        });
    }
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    if (route == QLatin1String("Enter"))
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);

    for (int round = 1; round <= 2; ++round) {
        QList<BoxSeen> boxes;
        ModalAnswer answer([&boxes](QWidget *modal) {
            boxes << seenAndClosed(modal);
            return true;
        });
        if (route == QLatin1String("click")) {
            QTest::mouseClick(form.ui().imgAbrirVestrel, Qt::LeftButton);
        } else if (route == QLatin1String("Enter")) {
            QTest::keyClick(open, Qt::Key_Return);
        } else {
            QAccessible::queryAccessibleInterface(open)->actionInterface()->doAction(
                QAccessibleActionInterface::pressAction());
            QTRY_COMPARE(handled, round);
        }
        QCOMPARE(handled, round); // the loop went on: the second command was handled too
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].kind, QStringLiteral("QMessageBox"));
        QCOMPARE(boxes[0].caption, QStringLiteral("tst_application")); // the program file's name
        QCOMPARE(boxes[0].text, shown);
        QCOMPARE(boxes[0].icon, int(QMessageBox::Critical));
        QVERIFY(boxes[0].selectable);
    }
    QVERIFY(form.isVisible());
}

void TestApplication::toolTipsWakeAfterHalfASecond()
{
    QCOMPARE(qApp->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 500);
}

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_application.moc"
