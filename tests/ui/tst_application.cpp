// The application object: an error escaping a handler is shown in an error box captioned with
// the application's title, and the loop goes on; tooltips come after 500 ms.
#include "application.h"
#include "errors.h"

#include <QMessageBox>
#include <QStyle>
#include <QtTest>

namespace {

class Failing final : public QWidget {
public:
    int handled = 0;

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        ++handled;
        throw Exception(QStringLiteral("Falhou ao abrir"));
    }
};

} // namespace

class TestApplication : public QObject {
    Q_OBJECT
private slots:
    void escapedErrorIsShownAndTheLoopGoesOn()
    {
        Failing w;
        w.resize(100, 100);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QString caption, text;
        int icon = -1;
        for (int round = 0; round < 2; ++round) {
            QTimer::singleShot(0, [&] {
                QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                QVERIFY(box);
                caption = box->windowTitle();
                text = box->text();
                icon = box->icon();
                box->accept();
            });
            QTest::mouseClick(&w, Qt::LeftButton);
            QCOMPARE(caption, QStringLiteral("tst_application")); // the program file's name
            QCOMPARE(text, QStringLiteral("Falhou ao abrir."));
            QCOMPARE(icon, int(QMessageBox::Critical));
        }
        QCOMPARE(w.handled, 2); // the second click was handled: the loop went on
        QVERIFY(w.isVisible());
    }

    void toolTipsWakeAfterHalfASecond()
    {
        QCOMPARE(qApp->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 500);
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_application.moc"
