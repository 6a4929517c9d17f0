// The main window as created: its layout, start state, gauge, pictures, labels, placement and
// the error box of the application.
#include "application.h"
#include "artwork.h"
#include "errors.h"
#include "gauge.h"
#include "label.h"
#include "mainwindow.h"
#include "picturebox.h"
#include "pixels.h"
#include "ui_mainwindow.h"
#include "winfont.h"

#include <QLineEdit>
#include <QtTest>

namespace {

const QColor atRest(182, 66, 69);

class PaintCounter final : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Sets the maximum, then the value (unless -1), then adds each amount in turn.
void drive(TGauge &g, int maximum, const QList<int> &adds, int progress = -1)
{
    g.resize(394, 19);
    g.setMaxValue(maximum);
    if (progress >= 0)
        g.setProgress(progress);
    for (int a : adds)
        g.AddProgress(a);
}

QImage gaugeImage(int maximum, const QList<int> &adds)
{
    TGauge g;
    drive(g, maximum, adds);
    return g.compose();
}

// Filled columns of a row that the percentage text does not reach (row 1).
int filledColumns(const QImage &image)
{
    int n = 0;
    for (int x = 0; x < image.width(); ++x)
        if (QColor(image.pixel(x, 1)) == atRest)
            ++n;
    return n;
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { winfont::loadTahoma(); }
    void layout_data();
    void layout();
    void windowAndStartState();
    void gaugeArithmetic_data();
    void gaugeArithmetic();
    void gaugeMaximumBelowMinimum();
    void gaugeRedrawsOnlyWhenThePercentageChanges();
    void gaugeTextAndFrame_data();
    void gaugeTextAndFrame();
    void pictureFitting_data();
    void pictureFitting();
    void nearestNeighbourSampling();
    void picturesAreDrawnOpaqueAtTheirFittedSize();
    void programIconAtMenuSizes_data();
    void programIconAtMenuSizes();
    void labelMnemonicAndSize();
    void placement_data();
    void placement();
    void errorText_data();
    void errorText();
    void applicationTitle();
};

void TestWindow::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("focus");       // Qt::FocusPolicy
    QTest::addColumn<QString>("tooltip");

    const int none = Qt::NoFocus, tab = Qt::TabFocus, strong = Qt::StrongFocus;
    QTest::newRow("Label6") << "Label6" << "TLabel" << "TForm1" << QRect(56, 104, -1, 13) << none << "";
    QTest::newRow("barra") << "barra" << "TGauge" << "TForm1" << QRect(56, 208, 394, 19) << none << "";
    QTest::newRow("lblProgresso") << "lblProgresso" << "TLabel" << "TForm1" << QRect(56, 189, 0, 13) << none << "";
    QTest::newRow("Panel2") << "Panel2" << "TPanel" << "TForm1" << QRect(0, 0, 841, 77) << none << "";
    QTest::newRow("Image1") << "Image1" << "TImage" << "Panel2" << QRect(0, 0, 199, 78) << none << "";
    QTest::newRow("Label2") << "Label2" << "TLabel" << "Panel2" << QRect(208, 10, 265, 33) << none << "";
    QTest::newRow("Image3") << "Image3" << "TImage" << "Panel2" << QRect(485, -19, 132, 132) << none << "";
    QTest::newRow("edtDestino") << "edtDestino" << "QLineEdit" << "TForm1" << QRect(56, 120, 449, 21) << strong << "";
    QTest::newRow("pnlAbrirVestrel") << "pnlAbrirVestrel" << "TPanel" << "TForm1" << QRect(512, 111, 35, 35) << tab << "";
    QTest::newRow("imgAbrirVestrel") << "imgAbrirVestrel" << "TImage" << "pnlAbrirVestrel" << QRect(0, 0, 33, 33) << none << "Abrir";
    QTest::newRow("pnlConverter") << "pnlConverter" << "TPanel" << "TForm1" << QRect(456, 191, 43, 43) << tab << "";
    QTest::newRow("imgConverter") << "imgConverter" << "TImage" << "pnlConverter" << QRect(0, 0, 41, 41) << none << "Converter";
    QTest::newRow("pnlSair") << "pnlSair" << "TPanel" << "TForm1" << QRect(504, 191, 43, 43) << tab << "";
    QTest::newRow("imgSair") << "imgSair" << "TImage" << "pnlSair" << QRect(0, 0, 41, 41) << none << "Sair";
}

void TestWindow::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, cls);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(int, focus);
    QFETCH(QString, tooltip);
    TForm1 form;
    auto *w = form.findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(QString::fromLatin1(w->metaObject()->className()), cls);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QCOMPARE(w->pos(), geometry.topLeft());
    QCOMPARE(w->height(), geometry.height());
    if (geometry.width() >= 0)
        QCOMPARE(w->width(), geometry.width());
    QCOMPARE(int(w->focusPolicy()), focus);
    QCOMPARE(w->toolTip(), tooltip);
    if (auto *panel = qobject_cast<TPanel *>(w))
        QCOMPARE(panel->color(), atRest);
    if (!tooltip.isEmpty())
        QCOMPARE(w->toolTipDuration(), 2500);
}

void TestWindow::windowAndStartState()
{
    TForm1 form;
    Ui::TForm1 &ui = form.ui();
    QCOMPARE(form.windowTitle(), QStringLiteral("Conversor de dados - Malhavera -"));
    QCOMPARE(form.size(), QSize(602, 295));
    QCOMPARE(form.minimumSize(), form.maximumSize()); // the user cannot resize it
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!form.windowIcon().isNull());
    QCOMPARE(ui.Label6->Caption(), QStringLiteral("Banco de Dados  Vestrel (Firebird *.fb)"));
    QCOMPARE(ui.Label2->Caption(), QStringLiteral("Atualizador de Dados"));
    QCOMPARE(ui.Label2->textColor(), QColor(Qt::white));
    QCOMPARE(QFontInfo(ui.Label2->font()).family(), QStringLiteral("Tahoma"));
    QCOMPARE(QFontInfo(ui.Label2->font()).pixelSize(), 19);
    QVERIFY(ui.Label6->font().bold() && ui.lblProgresso->font().bold());
    QCOMPARE(winfont::lineHeight(ui.edtDestino->font()), 13);
    QVERIFY(ui.edtDestino->isReadOnly());
    QCOMPARE(ui.edtDestino->palette().color(QPalette::Base), QColor(221, 221, 221));
    QCOMPARE(ui.edtDestino->text(), QString());

    // Start state: the creation handler ran before the window was shown.
    QCOMPARE(ui.barra->Progress(), 0);
    QCOMPARE(ui.barra->MaxValue(), 100);
    QCOMPARE(ui.lblProgresso->Caption(), QString());
    QCOMPARE(ui.lblProgresso->width(), 0);

    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget(), ui.edtDestino);
    for (TPanel *p : {ui.pnlAbrirVestrel, ui.pnlConverter, ui.pnlSair})
        QCOMPARE(p->color(), atRest);
}

void TestWindow::gaugeArithmetic_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("progress");  // -1: not set
    QTest::addColumn<QList<int>>("adds");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("filled");    // columns filled

    QTest::newRow("maximum 0") << 0 << 5 << QList<int>{} << 0 << 0 << 0;
    QTest::newRow("one of three") << 3 << -1 << QList<int>{1} << 1 << 33 << 128;
    QTest::newRow("two of three") << 3 << -1 << QList<int>{1, 1} << 2 << 66 << 258;
    QTest::newRow("three of three") << 3 << -1 << QList<int>{1, 1, 1} << 3 << 100 << 392;
    QTest::newRow("1%") << 100 << 1 << QList<int>{} << 1 << 1 << 2;
    QTest::newRow("above the maximum") << 100 << 150 << QList<int>{} << 100 << 100 << 392;
    QTest::newRow("below zero") << 100 << 0 << QList<int>{-5} << 0 << 0 << 0;
    QTest::newRow("add past the maximum") << 3 << 2 << QList<int>{5} << 3 << 100 << 392;
}

void TestWindow::gaugeArithmetic()
{
    QFETCH(int, maximum);
    QFETCH(int, progress);
    QFETCH(QList<int>, adds);
    QFETCH(int, value);
    QFETCH(int, percent);
    QFETCH(int, filled);
    TGauge g;
    drive(g, maximum, adds, progress);
    QCOMPARE(g.Progress(), value);
    QCOMPARE(g.percentDone(), percent);
    const QImage image = g.compose();
    QCOMPARE(filledColumns(image), filled);
    if (filled > 0) {
        QCOMPARE(QColor(image.pixel(1, 1)), atRest);
        QCOMPARE(QColor(image.pixel(filled + 1, 1)), filled == 392 ? QColor(Qt::black) : QColor(Qt::white));
        QCOMPARE(QColor(image.pixel(1, 17)), atRest); // rows 1 to 17
    }
}

void TestWindow::gaugeMaximumBelowMinimum()
{
    TGauge g;
    g.setMaxValue(10);
    g.setProgress(7);
    try {
        g.setMaxValue(-1);
        QFAIL("accepted -1");
    } catch (const Exception &e) {
        QCOMPARE(e.message(), QStringLiteral("Value must be between 1 and 2147483647"));
    }
    QCOMPARE(g.MaxValue(), 10);
    QCOMPARE(g.Progress(), 7);
    // Lowering the maximum lowers the value, and adding counts on from there.
    g.setMaxValue(5);
    QCOMPARE(g.Progress(), 5);
    g.setMaxValue(8);
    g.AddProgress(1);
    QCOMPARE(g.Progress(), 6);
}

void TestWindow::gaugeRedrawsOnlyWhenThePercentageChanges()
{
    TGauge g;
    g.resize(394, 19);
    g.setMaxValue(1000);
    g.setProgress(1);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    PaintCounter counter;
    g.installEventFilter(&counter);
    g.setProgress(2); // 0% before and after
    QCOMPARE(counter.paints, 0);
    g.setProgress(500);
    QCOMPARE(counter.paints, 1); // at once, without the event loop
    g.AddProgress(0);
    QCOMPARE(counter.paints, 2);
}

void TestWindow::gaugeTextAndFrame_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QList<int>>("adds");
    QTest::addColumn<bool>("onFill");  // text over the fill
    QTest::addColumn<bool>("onEmpty"); // text over the empty part
    QTest::newRow("empty") << 100 << QList<int>{} << false << true;
    QTest::newRow("half: the fill's edge cuts the text") << 100 << QList<int>{50} << true << true;
    QTest::newRow("full") << 3 << QList<int>{1, 1, 1} << true << false;
}

void TestWindow::gaugeTextAndFrame()
{
    QFETCH(int, maximum);
    QFETCH(QList<int>, adds);
    QFETCH(bool, onFill);
    QFETCH(bool, onEmpty);
    const QImage image = gaugeImage(maximum, adds);
    for (int x = 0; x < 394; ++x) {
        QCOMPARE(QColor(image.pixel(x, 0)), QColor(Qt::black));
        QCOMPARE(QColor(image.pixel(x, 18)), QColor(Qt::black));
    }
    for (int y = 0; y < 19; ++y) {
        QCOMPARE(QColor(image.pixel(0, y)), QColor(Qt::black));
        QCOMPARE(QColor(image.pixel(393, y)), QColor(Qt::black));
    }
    // The text reads on whatever lies beneath each of its pixels: black on white, white on the
    // red fill (the inverse of the red, cyan, was 2.4:1).
    const pixels::GaugeText text = pixels::gaugeText(image, 1, atRest);
    QCOMPARE(text.onFill > 10, onFill);
    QCOMPARE(text.onEmpty > 10, onEmpty);
    QVERIFY2(text.lowest >= 4.5, qPrintable(QStringLiteral("%1:1").arg(text.lowest)));
    for (int y = 1; y < 18; ++y)
        for (int x = 1; x < 393; ++x) {
            const QColor c = image.pixelColor(x, y);
            QVERIFY(c == atRest || c == Qt::white || c == Qt::black);
        }
}

void TestWindow::pictureFitting_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("drawn");
    QTest::newRow("wider than its box") << QSize(210, 83) << QSize(199, 78) << QSize(199, 78);
    QTest::newRow("database") << QSize(256, 256) << QSize(132, 132) << QSize(132, 132);
    QTest::newRow("open") << QSize(256, 256) << QSize(33, 33) << QSize(33, 33);
    QTest::newRow("square in a wide box") << QSize(256, 256) << QSize(60, 41) << QSize(41, 41);
    QTest::newRow("tall in a narrow box") << QSize(100, 300) << QSize(20, 90) << QSize(20, 60);
    QTest::newRow("wide picture, low box") << QSize(300, 100) << QSize(90, 20) << QSize(60, 20);
    QTest::newRow("smaller is never enlarged") << QSize(10, 8) << QSize(41, 41) << QSize(10, 8);
}

void TestWindow::pictureFitting()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, box);
    QFETCH(QSize, drawn);
    QCOMPARE(fitPicture(picture, box), drawn);
}

void TestWindow::nearestNeighbourSampling()
{
    QImage checker(4, 4, QImage::Format_ARGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            checker.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const QImage big = samplePicture(checker, QSize(10, 10));
    // Pixel x takes source column trunc(x / 2.5): 0,0,0,1,1,2,2,2,3,3.
    const int source[10] = {0, 0, 0, 1, 1, 2, 2, 2, 3, 3};
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            QCOMPARE(big.pixel(x, y), checker.pixel(source[x], source[y]));
    const QImage small = samplePicture(checker, QSize(2, 2));
    QCOMPARE(small.pixel(1, 0), checker.pixel(2, 0));
}

void TestWindow::picturesAreDrawnOpaqueAtTheirFittedSize()
{
    TForm1 form;
    for (const char *name : {"Image1", "Image3", "imgAbrirVestrel", "imgConverter", "imgSair"}) {
        auto *image = form.findChild<TImage *>(QLatin1String(name));
        QVERIFY(image);
        // The logo is a drawing over its whole box; the others, images fitted into theirs.
        const QSize size = image->drawing().isEmpty() ? fitPicture(QImage(image->picture()).size(), image->size()) : image->size();
        QCOMPARE(image->drawn().size(), size);
        QCOMPARE(QColor(image->drawn().pixel(0, 0)), atRest);
        QVERIFY(!image->drawn().hasAlphaChannel() || image->drawn().pixelColor(0, 0).alpha() == 255);
    }
    QCOMPARE(form.ui().Image1->drawing(), QStringLiteral("logo"));
    QCOMPARE(QImage(QStringLiteral(":/pictures/mainicon.png")).size(), QSize(64, 64));
    QCOMPARE(QImage(QStringLiteral(":/pictures/mainicon.png")).format(), QImage::Format_Indexed8);
}

void TestWindow::programIconAtMenuSizes_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("16") << 16;
    QTest::newRow("32") << 32;
}

void TestWindow::programIconAtMenuSizes()
{
    QFETCH(int, size);
    // As a menu or a title bar shows it, and as the window hands it to them.
    const QImage icon = artwork::programIcon(size).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(icon.size(), QSize(size, size));
    QVERIFY(TForm1().windowIcon().pixmap(size).toImage().convertToFormat(QImage::Format_RGB32) == icon);
    // Legible: on whole pixels, nothing smoothed into the red...
    QList<int> whiteInRow;
    for (int y = 0; y < size; ++y) {
        int n = 0;
        for (int x = 0; x < size; ++x) {
            const QColor c = icon.pixelColor(x, y);
            QVERIFY2(c == atRest || c == Qt::white, qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
            n += c == Qt::white;
        }
        whiteInRow << n;
    }
    // ...two arrows, red rows between them, a shaft of two rows or more at 16 pixels each.
    QList<QPair<int, int>> arrows; // first and last row
    for (int y = 0; y < size; ++y)
        if (whiteInRow[y] > 0) {
            if (arrows.isEmpty() || arrows.last().second < y - 1)
                arrows << qMakePair(y, y);
            arrows.last().second = y;
        }
    QCOMPARE(arrows.size(), 2);
    QVERIFY(arrows[1].first - arrows[0].second - 1 >= size / 16);
    for (int a = 0; a < 2; ++a) {
        int shaft = 0; // rows as long as the arrow: its shaft
        const int longest = *std::max_element(whiteInRow.begin() + arrows[a].first, whiteInRow.begin() + arrows[a].second + 1);
        for (int y = arrows[a].first; y <= arrows[a].second; ++y)
            shaft += whiteInRow[y] == longest;
        QVERIFY(shaft >= 2 * size / 16);
        QVERIFY2(arrows[a].second - arrows[a].first + 1 >= 2 * shaft, "a head higher than the shaft");
    }
    // The upper one points left, the lower one right: the head's column is the highest one.
    auto headSide = [&](const QPair<int, int> &rows) {
        int best = 0, at = 0;
        for (int x = 0; x < size; ++x) {
            int n = 0;
            for (int y = rows.first; y <= rows.second; ++y)
                n += icon.pixelColor(x, y) == Qt::white;
            if (n > best)
                best = n, at = x;
        }
        return at < size / 2 ? -1 : 1;
    };
    QCOMPARE(headSide(arrows[0]), -1);
    QCOMPARE(headSide(arrows[1]), 1);
}

void TestWindow::labelMnemonicAndSize()
{
    TForm1 form;
    TLabel *status = form.ui().lblProgresso;
    status->setCaption(QStringLiteral("Atualizando tabela: PRODUTOS"));
    const int plain = status->width();
    QCOMPARE(status->height(), 13);
    QCOMPARE(plain, QFontMetrics(status->font()).horizontalAdvance(QStringLiteral("Atualizando tabela: PRODUTOS")));
    status->setCaption(QStringLiteral("Atualizando tabela: PRO&DUTOS"));
    QCOMPARE(status->width(), plain); // the "&" is not drawn
    status->setCaption(QStringLiteral("A&&B"));
    QCOMPARE(status->width(), QFontMetrics(status->font()).horizontalAdvance(QStringLiteral("A&B")));
}

void TestWindow::placement_data()
{
    QTest::addColumn<QRect>("desktop");
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<QPoint>("position");
    QTest::newRow("one screen") << QRect(0, 0, 1024, 768) << QSize(610, 324) << QPoint(207, 222);
    QTest::newRow("two screens side by side") << QRect(0, 0, 3840, 1080) << QSize(610, 324) << QPoint(1615, 378);
    QTest::newRow("desktop left of the origin") << QRect(-1920, 0, 3840, 1080) << QSize(611, 325) << QPoint(-305, 378);
    QTest::newRow("desktop smaller than the window") << QRect(0, 0, 500, 200) << QSize(610, 324) << QPoint(0, 0);
}

void TestWindow::placement()
{
    QFETCH(QRect, desktop);
    QFETCH(QSize, outer);
    QFETCH(QPoint, position);
    QCOMPARE(TForm1::centredPosition(desktop, outer), position);
}

void TestWindow::errorText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("full stop") << "Falhou." << "Falhou.";
    QTest::newRow("exclamation") << "Falhou!" << "Falhou!";
    QTest::newRow("parenthesis") << "Falhou (x)" << "Falhou (x)";
    QTest::newRow("comma") << "Falhou," << "Falhou,";
    QTest::newRow("blank") << "Falhou " << "Falhou ";
    QTest::newRow("letter") << "Falhou" << "Falhou.";
    QTest::newRow("digit") << "Erro 42" << "Erro 42.";
    QTest::newRow("question") << "Falhou?" << "Falhou?.";
    QTest::newRow("empty") << "" << "";
}

void TestWindow::errorText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(TApplication::errorText(message), shown);
}

void TestWindow::applicationTitle()
{
    QCOMPARE(TApplication::titleFor(QStringLiteral("/opt/tool/conversor")), QStringLiteral("conversor"));
    QCOMPARE(TApplication::titleFor(QStringLiteral("/opt/tool/ConVersor.Bin.exe")), QStringLiteral("Conversor"));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
