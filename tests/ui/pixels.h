#pragma once
// Measures of rendered pixels: luminance and contrast as WCAG defines them, the background and
// the ink of a piece of text, and the gauge's percentage read back from its picture.

#include <QColor>
#include <QHash>
#include <QImage>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace pixels {

inline double luminance(const QColor &c)
{
    auto channel = [](int value) {
        const double v = value / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

inline double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour most pixels of the image have: what text in it is drawn on.
inline QColor background(const QImage &image)
{
    QHash<QRgb, int> count;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++count[image.pixel(x, y) | 0xff000000];
    QRgb most = 0;
    int n = -1;
    for (auto it = count.cbegin(); it != count.cend(); ++it)
        if (it.value() > n)
            most = it.key(), n = it.value();
    return QColor(most);
}

// The contrast of text with what it is drawn on: of the pixel that stands out most against
// the image's background (the full colour of the strokes, smoothing aside).
inline double textContrast(const QImage &image)
{
    const QColor back = background(image);
    double best = 1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, contrast(QColor(image.pixel(x, y)), back));
    return best;
}

// The gauge's percentage as its picture shows it. Each column's colour beneath the text is the
// colour of its first row inside the frame (the text never reaches it); every other pixel of
// that column is text.
struct GaugeText {
    int onFill = 0;  // text pixels over the fill
    int onEmpty = 0; // and over the empty part
    double lowest = 100; // the lowest contrast of a text pixel with what lies beneath it
};

inline GaugeText gaugeText(const QImage &gauge, qreal ratio, const QColor &fill)
{
    GaugeText t;
    const int frame = qCeil(ratio - 1e-6);
    for (int x = frame; x < gauge.width() - frame; ++x) {
        const QColor beneath = gauge.pixelColor(x, frame);
        for (int y = frame + 1; y < gauge.height() - frame; ++y) {
            const QColor c = gauge.pixelColor(x, y);
            if (c == beneath)
                continue;
            ++(beneath == fill ? t.onFill : t.onEmpty);
            t.lowest = std::min(t.lowest, contrast(c, beneath));
        }
    }
    return t;
}

} // namespace pixels
