// The main window on a display scaled by Qt (QT_SCALE_FACTOR, a 192-dpi display...): the same
// layout in layout pixels, every layout pixel drawn as ratio x ratio device pixels, pictures
// sampled for the display from their source images (not the 96-dpi drawing enlarged), and text
// at the scaled size. Run with Qt asked for a whole scale, and that scale in
// EXPECTED_DEVICE_PIXEL_RATIO.
#include "gauge.h"
#include "label.h"
#include "mainwindow.h"
#include "picturebox.h"
#include "pixels.h"
#include "ui_mainwindow.h"
#include "winfont.h"

#include <QtTest>

namespace {

const QColor red(182, 66, 69);

// The scale the test's environment asks Qt for, one way or another.
qreal expectedRatio()
{
    return qEnvironmentVariable("EXPECTED_DEVICE_PIXEL_RATIO", QStringLiteral("1")).toDouble();
}

QSize scaled(QSize size, qreal ratio)
{
    return QSize(qRound(size.width() * ratio), qRound(size.height() * ratio));
}

// Where a member shows in the window, in layout pixels: its box cut by every box around it.
QRect visiblePart(QWidget *member, QWidget *window)
{
    QRect shown(member->mapTo(window, QPoint(0, 0)), member->size());
    for (QWidget *around = member->parentWidget(); around; around = around->parentWidget())
        shown &= QRect(around->mapTo(window, QPoint(0, 0)), around->size());
    return shown;
}

// The rows and columns that hold pixels for which ink is true.
template <class Ink> QRect inkBox(const QImage &image, Ink ink)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (ink(image.pixelColor(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

// True when the image is made of r x r blocks of one colour each, as a drawing enlarged r times.
bool enlarged(const QImage &image, int r)
{
    for (int y = 0; y + r <= image.height(); y += r)
        for (int x = 0; x + r <= image.width(); x += r)
            for (int dy = 0; dy < r; ++dy)
                for (int dx = 0; dx < r; ++dx)
                    if (image.pixel(x + dx, y + dy) != image.pixel(x, y))
                        return false;
    return true;
}

// Where the gauge's percentage is, inside its frame of r pixels: the pixels that differ from
// the first row inside the frame, which the text never reaches.
QRect textBox(const QImage &gauge, int r)
{
    QRect box;
    for (int y = r + 1; y < gauge.height() - r; ++y)
        for (int x = r; x < gauge.width() - r; ++x)
            if (gauge.pixel(x, y) != gauge.pixel(x, r))
                box |= QRect(x - r, y - r, 1, 1);
    return box;
}

// The widget drawn at one device pixel per layout pixel, as on a 96-dpi display, over what
// lies beneath it.
QImage atOneToOne(QWidget *widget, const QColor &beneath)
{
    QImage image(widget->size(), QImage::Format_RGB32);
    image.fill(beneath);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

class TestScaled : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void windowAndLayout_data();
    void windowAndLayout();
    void pictures_data();
    void pictures();
    void gauge_data();
    void gauge();
    void text_data();
    void text();
};

void TestScaled::initTestCase()
{
    winfont::loadTahoma();
    // Whole device pixels per layout pixel, so that every pixel below has one place to be.
    QVERIFY2(expectedRatio() > 1 && expectedRatio() == qRound(expectedRatio()),
             "run with EXPECTED_DEVICE_PIXEL_RATIO a whole number above 1");
}

void TestScaled::windowAndLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry"); // layout pixels, as at 96 dpi
    QTest::newRow("Panel2") << "Panel2" << QRect(0, 0, 841, 77);
    QTest::newRow("Image3") << "Image3" << QRect(485, -19, 132, 132);
    QTest::newRow("Label2") << "Label2" << QRect(208, 10, 265, 33);
    QTest::newRow("edtDestino") << "edtDestino" << QRect(56, 120, 449, 21);
    QTest::newRow("pnlConverter") << "pnlConverter" << QRect(456, 191, 43, 43);
    QTest::newRow("imgSair") << "imgSair" << QRect(0, 0, 41, 41);
    QTest::newRow("barra") << "barra" << QRect(56, 208, 394, 19);
}

void TestScaled::windowAndLayout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    const qreal ratio = expectedRatio();
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.devicePixelRatioF(), ratio);
    QCOMPARE(form.size(), QSize(602, 295));
    const QPixmap shot = form.grab();
    QCOMPARE(shot.size(), scaled(QSize(602, 295), ratio));
    QCOMPARE(shot.deviceIndependentSize(), QSizeF(602, 295));
    QCOMPARE(form.findChild<QWidget *>(name)->geometry(), geometry);
}

void TestScaled::pictures_data()
{
    QTest::addColumn<QString>("name");
    // The pictures decoded from images (the logo is a drawing: tst_sharpness).
    for (const char *name : {"Image3", "imgAbrirVestrel", "imgConverter", "imgSair"})
        QTest::newRow(name) << name;
}

void TestScaled::pictures()
{
    QFETCH(QString, name);
    const qreal ratio = expectedRatio();
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto *box = form.findChild<TImage *>(name);
    const QImage source(box->picture());
    const QSize fitted = fitPicture(source.size(), box->size());
    // What a sharp picture is: the source sampled straight to the display's pixels...
    const QImage sharp = samplePicture(source, scaled(fitted, ratio));
    // ...and what it must not be: the 96-dpi drawing enlarged.
    const QImage stretched = samplePicture(samplePicture(source, fitted), scaled(fitted, ratio));
    QVERIFY2(sharp != stretched, "the two differ, or the check below could not tell them apart");

    const QImage drawn = box->drawn().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(drawn.size(), scaled(fitted, ratio));
    QCOMPARE(drawn.devicePixelRatio(), ratio);
    QCOMPARE(drawn.deviceIndependentSize(), QSizeF(fitted));
    QVERIFY(drawn == sharp);

    // On screen, pixel for pixel: the part of the picture the window shows.
    const QImage shot = form.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QRect shown = visiblePart(box, &form) & QRect(box->mapTo(&form, QPoint(0, 0)), fitted);
    const QPoint offset = shown.topLeft() - box->mapTo(&form, QPoint(0, 0));
    const QSize size = scaled(shown.size(), ratio);
    const QRect inPicture(qRound(offset.x() * ratio), qRound(offset.y() * ratio), size.width(), size.height());
    const QRect inShot(qRound(shown.x() * ratio), qRound(shown.y() * ratio), size.width(), size.height());
    QVERIFY(!inPicture.isEmpty());
    QImage seen = shot.copy(inShot);
    seen.setDevicePixelRatio(1);
    QVERIFY(seen == sharp.copy(inPicture));
}

void TestScaled::gauge_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("filled"); // columns filled at 96 dpi
    QTest::newRow("0%") << 100 << 0 << 0;
    QTest::newRow("1%") << 100 << 1 << 2;
    QTest::newRow("one of three") << 3 << 1 << 128;
    QTest::newRow("100%") << 3 << 3 << 392;
}

void TestScaled::gauge()
{
    QFETCH(int, maximum);
    QFETCH(int, done);
    QFETCH(int, filled);
    const qreal ratio = expectedRatio();
    const int r = qRound(ratio);
    TForm1 form;
    TGauge *g = form.ui().barra;
    g->setMaxValue(maximum);
    g->setProgress(done);
    const QImage image = g->compose();
    QCOMPARE(image.size(), QSize(394 * r, 19 * r));
    QCOMPARE(image.devicePixelRatio(), ratio);
    // The 1-pixel frame is r device pixels wide.
    for (int x = 0; x < image.width(); ++x)
        for (int y : {0, r - 1, 18 * r, 19 * r - 1})
            QCOMPARE(image.pixelColor(x, y), QColor(Qt::black));
    for (int y = 0; y < image.height(); ++y)
        for (int x : {0, r - 1, 393 * r, 394 * r - 1})
            QCOMPARE(image.pixelColor(x, y), QColor(Qt::black));
    // The fill ends where it ends at 96 dpi, scaled (a row the text does not reach).
    int red96 = 0;
    for (int x = 0; x < image.width(); ++x)
        red96 += image.pixelColor(x, r) == red;
    QCOMPARE(red96, filled * r);
    // Every text pixel reads on the part of the bar beneath it: nothing else appears.
    const QImage inner = image.copy(r, r, 392 * r, 17 * r);
    const pixels::GaugeText seen = pixels::gaugeText(image, ratio, red);
    QVERIFY(seen.onFill + seen.onEmpty > 0);
    QVERIFY2(seen.lowest >= 4.5, qPrintable(QStringLiteral("%1:1").arg(seen.lowest)));
    QCOMPARE(inkBox(inner, [](const QColor &c) { return c != Qt::black && c != red && c != Qt::white; }), QRect());
    // Drawn at the scaled size, not enlarged: as high as r times the 96-dpi text, give or take
    // the hinting of one row at either size.
    const QRect text = textBox(image, r);
    const QRect text96 = textBox(g->compose(1.0), 1);
    QVERIFY(!text.isEmpty());
    QVERIFY(qAbs(text.height() - text96.height() * r) <= r);
    QVERIFY(qAbs(text.center().x() - text96.center().x() * r) <= 2 * r);
    QVERIFY2(!enlarged(inner, r), "the text is the 96-dpi drawing enlarged");
}

void TestScaled::text_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("title") << "Label2" << "";
    QTest::newRow("caption of the path field") << "Label6" << "";
    QTest::newRow("status line") << "lblProgresso" << "Atualizando tabela: PRODUTOS";
}

void TestScaled::text()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    const qreal ratio = expectedRatio();
    TForm1 form;
    auto *label = form.findChild<TLabel *>(name);
    if (!caption.isEmpty())
        label->setCaption(caption);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // The label's box in layout pixels is the one text of its font takes, as at 96 dpi.
    QCOMPARE(QFontInfo(label->font()).pixelSize(), name == QLatin1String("Label2") ? 19 : 11);
    if (label->autoSize())
        QCOMPARE(label->size(),
                 QSize(QFontMetrics(label->font()).horizontalAdvance(label->text()), winfont::lineHeight(label->font())));
    // Its text drawn at the scaled size.
    const QColor background = name == QLatin1String("Label2") ? red : form.palette().color(QPalette::Window);
    auto ink = [&](const QColor &c) { return c != background; };
    const QImage shot = form.grab(label->geometry()).toImage();
    QCOMPARE(shot.size(), scaled(label->size(), ratio));
    const QRect seen = inkBox(shot, ink);
    const QRect at96 = inkBox(atOneToOne(label, background), ink);
    QVERIFY(!at96.isEmpty());
    QVERIFY2(qAbs(seen.height() - at96.height() * ratio) <= ratio + 1,
             qPrintable(QStringLiteral("%1 rows, %2 at 96 dpi").arg(seen.height()).arg(at96.height())));
    QVERIFY2(qAbs(seen.width() - at96.width() * ratio) <= 3 * ratio,
             qPrintable(QStringLiteral("%1 columns, %2 at 96 dpi").arg(seen.width()).arg(at96.width())));
    QVERIFY2(!enlarged(shot, qRound(ratio)), "the text is the 96-dpi drawing enlarged");
}

QTEST_MAIN(TestScaled)
#include "tst_scaled.moc"
