// The window on a display scaled by a fraction or a whole number (QT_SCALE_FACTOR 1.25, 1.5, 2:
// 120, 144 and 192 dpi): the header's logo and the message boxes' icons drawn for the display's
// pixels (not a smaller drawing enlarged, which blurs or blocks their edges), shown pixel for
// pixel; the logo's lettering inside the window; the gauge's percentage legible on both parts of
// the bar. Run with the scale in EXPECTED_DEVICE_PIXEL_RATIO.
#include "artwork.h"
#include "gauge.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "picturebox.h"
#include "pixels.h"
#include "ui_mainwindow.h"
#include "winfont.h"

#include <QLabel>
#include <QtTest>

namespace {

const QColor red(182, 66, 69);

qreal expectedRatio()
{
    return qEnvironmentVariable("EXPECTED_DEVICE_PIXEL_RATIO", QStringLiteral("1")).toDouble();
}

int devicePixels(int length, qreal ratio)
{
    return qCeil(length * ratio - 1e-6);
}

QImage plain(QImage image)
{
    image.setDevicePixelRatio(1);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// How much more of a drawing may be smoothed at a ratio than at 96 dpi, scaled by the ratio.
// The drawing made for the screen's pixels stays near 1 (up to 1.3 at 1.25, where an edge's
// place on the grid weighs as much as its sharpness); the 96-dpi drawing enlarged comes to the
// ratio itself pixel by pixel, and to 2.3 or more smoothly.
double smoothedAllowance(qreal ratio)
{
    return ratio >= 1.5 ? 1.35 : 1.6;
}

// The share of a drawing's pixels that are smoothed: neither transparent nor one of its two
// solid colours (the most common opaque ones). A drawing made for the screen's pixels has its
// edges as thin there as at 96 dpi, so this share falls with the ratio; the 96-dpi drawing
// enlarged keeps it (pixel by pixel) or raises it (smoothly).
double smoothedShare(const QImage &drawing)
{
    const QImage image = plain(drawing);
    QHash<QRgb, int> opaque;
    int shown = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            shown += qAlpha(c) > 0;
            if (qAlpha(c) == 255)
                ++opaque[c];
        }
    QList<int> counts = opaque.values();
    std::sort(counts.begin(), counts.end(), std::greater<>());
    const int solid = counts.value(0) + counts.value(1);
    return double(shown - solid) / shown;
}

// Columns of an image that hold a pixel standing out 1.5:1 from the colour given, in rows
// top to bottom.
QPair<int, int> inkColumns(const QImage &image, const QColor &back, int top, int bottom)
{
    int first = image.width(), last = -1;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (pixels::contrast(image.pixelColor(x, y), back) > 1.5) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    return {first, last};
}

} // namespace

class TestSharpness : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void logo();
    void messageBoxIcons_data();
    void messageBoxIcons();
    void gaugeText_data();
    void gaugeText();
};

void TestSharpness::initTestCase()
{
    winfont::loadTahoma();
    QVERIFY2(expectedRatio() > 1, "run with EXPECTED_DEVICE_PIXEL_RATIO above 1");
}

void TestSharpness::logo()
{
    const qreal ratio = expectedRatio();
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.devicePixelRatioF(), ratio);
    TImage *logo = form.ui().Image1;
    const QImage drawn = logo->drawn();
    QCOMPARE(drawn.devicePixelRatio(), ratio);
    QCOMPARE(drawn.size(), QSize(devicePixels(199, ratio), devicePixels(78, ratio)));

    // On screen pixel for pixel, where the header shows it (77 of its 78 rows).
    const QImage shot = plain(form.grab().toImage());
    const QRect shown(0, 0, int(199 * ratio), int(77 * ratio));
    QVERIFY(shot.copy(shown) == plain(drawn).copy(shown));

    // The drawing rendered for these pixels, its edges as thin on them as at 96 dpi.
    QVERIFY(plain(drawn) == plain(artwork::logo(QSize(199, 78), ratio)));
    const double atRatio = smoothedShare(drawn), at96 = smoothedShare(logo->drawnFor(1));
    QVERIFY2(atRatio * ratio <= at96 * smoothedAllowance(ratio),
             qPrintable(QStringLiteral("%1 of the pixels smoothed, %2 at 96 dpi").arg(atRatio).arg(at96)));

    // The lettering stays 4 pixels or more inside the window's left side and the logo's right.
    const auto [first, last] = inkColumns(shot.copy(shown), red, 0, shown.height());
    QVERIFY2(first >= 4 * ratio, qPrintable(QStringLiteral("lettering from column %1").arg(first)));
    QVERIFY2(last < (199 - 4) * ratio, qPrintable(QStringLiteral("lettering to column %1").arg(last)));
}

void TestSharpness::messageBoxIcons_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("icon"); // artwork::Icon, the same sign at 96 dpi
    QTest::newRow("Information") << "Information" << int(artwork::Icon::Information);
    QTest::newRow("Error") << "Error" << int(artwork::Icon::Error);
    QTest::newRow("Confirm") << "Confirm" << int(artwork::Icon::Question);
}

void TestSharpness::messageBoxIcons()
{
    QFETCH(QString, box);
    QFETCH(int, icon);
    const qreal ratio = expectedRatio();
    std::unique_ptr<TMessageBox> shown;
    if (box == QLatin1String("Confirm"))
        shown = std::make_unique<TMessageBox>(nullptr, QStringLiteral("Converter de novo?"));
    else
        shown = std::make_unique<TMessageBox>(nullptr, box == QLatin1String("Error") ? MessageKind::Error : MessageKind::Information,
                                              QStringLiteral("Dados atualizados com sucesso! "));
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
    auto *label = shown->findChild<QLabel *>(QStringLiteral("icon"));
    QVERIFY(label);
    const QPixmap pixmap = label->pixmap();
    QCOMPARE(pixmap.devicePixelRatio(), ratio);
    QCOMPARE(pixmap.size(), QSize(devicePixels(32, ratio), devicePixels(32, ratio)));

    // On screen pixel for pixel, wherever the icon is opaque.
    const QImage drawn = plain(pixmap.toImage());
    const QRect at(label->mapTo(shown.get(), label->contentsRect().topLeft()) * ratio, drawn.size());
    const QImage shot = plain(shown->grab().toImage()).copy(at);
    int compared = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            if (qAlpha(drawn.pixel(x, y)) == 255) {
                QCOMPARE(shot.pixel(x, y), drawn.pixel(x, y));
                ++compared;
            }
    QVERIFY(compared > drawn.width() * drawn.height() / 2);

    QVERIFY(drawn == plain(artwork::icon(artwork::Icon(icon), 32, ratio)));
    const double atRatio = smoothedShare(drawn), at96 = smoothedShare(artwork::icon(artwork::Icon(icon), 32, 1));
    QVERIFY2(atRatio * ratio <= at96 * smoothedAllowance(ratio),
             qPrintable(QStringLiteral("%1 of the pixels smoothed, %2 at 96 dpi").arg(atRatio).arg(at96)));
}

void TestSharpness::gaugeText_data()
{
    QTest::addColumn<int>("percent");
    for (int percent : {0, 1, 33, 50, 100})
        QTest::newRow(qPrintable(QStringLiteral("%1%").arg(percent))) << percent;
}

void TestSharpness::gaugeText()
{
    QFETCH(int, percent);
    const qreal ratio = expectedRatio();
    TGauge g;
    g.resize(394, 19);
    g.setProgress(percent);
    const QImage image = g.compose(ratio);
    QCOMPARE(image.size(), QSize(devicePixels(394, ratio), devicePixels(19, ratio)));
    const pixels::GaugeText text = pixels::gaugeText(image, ratio, red);
    QVERIFY(text.onFill + text.onEmpty > 20);
    QVERIFY2(text.lowest >= 4.5, qPrintable(QStringLiteral("%1:1").arg(text.lowest)));
}

QTEST_MAIN(TestSharpness)
#include "tst_sharpness.moc"
