#include "gauge.h"

#include "errors.h"
#include "winfont.h"

#include <QAccessible>
#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <climits>
#include <cmath>

TGauge::TGauge(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(winfont::regular8());
}

int TGauge::percentDone() const
{
    if (max_ == min_)
        return 0;
    return int((qint64(value_) - min_) * 100 / (qint64(max_) - min_));
}

QString TGauge::percentText() const
{
    return QStringLiteral("%1%").arg(percentDone());
}

void TGauge::setMaxValue(int value)
{
    if (value == max_)
        return;
    if (value < min_)
        throw Exception(QStringLiteral("Value must be between %1 and %2").arg(qint64(min_) + 1).arg(INT_MAX));
    const int before = percentDone();
    max_ = value;
    value_ = std::min(value_, max_);
    if (percentDone() != before)
        announce();
    redraw();
}

void TGauge::setProgress(int value)
{
    value = std::clamp(value, min_, max_);
    if (value == value_)
        return;
    const int before = percentDone();
    value_ = value;
    if (percentDone() != before) {
        announce();
        redraw();
    }
}

void TGauge::announce()
{
    // Its value, and the percentage that is its description: a reader follows either.
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent value(this, value_);
        QAccessible::updateAccessibility(&value);
        QAccessibleEvent description(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&description);
    }
}

void TGauge::AddProgress(int amount)
{
    setProgress(int(std::clamp<qint64>(qint64(value_) + amount, INT_MIN, INT_MAX)));
    redraw();
}

void TGauge::setForeColor(const QColor &color)
{
    fore_ = color;
    redraw();
}

void TGauge::setBackColor(const QColor &color)
{
    back_ = color;
    redraw();
}

namespace {

// A black image of a layout size, in device pixels (a product such as 19 x 1.2 is not exact).
QImage blackCanvas(QSize size, qreal ratio)
{
    QImage image(qCeil(size.width() * ratio - 1e-6), qCeil(size.height() * ratio - 1e-6), QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

} // namespace

QColor TGauge::textColorOn(const QColor &background)
{
    // Relative luminance as WCAG defines it: black reads better from 0.179 up, white below.
    auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const double luminance = 0.2126 * channel(background.red()) + 0.7152 * channel(background.green())
                             + 0.0722 * channel(background.blue());
    return luminance > 0.179 ? QColor(Qt::black) : QColor(Qt::white);
}

QImage TGauge::compose(qreal ratio) const
{
    const int w = width(), h = height();
    const QRect r(1, 1, w - 2, h - 2); // inside the 1-pixel frame
    const int wb = r.width() + 1, hb = r.height() + 1;
    const int percent = percentDone();
    // The fill's right edge is the fill width itself, counted from 0.
    const int fill = std::min(int(wb * (percent * 0.01)), wb);

    QFont f = font();
    f.setStyleStrategy(QFont::NoAntialias);
    const QString text = percentText();
    const int tw = QFontMetrics(f).horizontalAdvance(text);
    const int th = winfont::lineHeight(f);
    const QPoint at((wb - tw) / 2, (hb - th) / 2 + winfont::ascent(f));
    // The bar all empty and all filled, each with the percentage in the colour that reads on
    // it; drawn for the screen's pixels from the start, not enlarged afterwards.
    auto bar = [&](const QColor &colour) {
        QImage image = blackCanvas(size(), ratio);
        QPainter p(&image);
        p.scale(ratio, ratio);
        p.fillRect(r, colour);
        p.setClipRect(r);
        p.setFont(f);
        p.setPen(textColorOn(colour));
        p.drawText(at, text);
        return image;
    };
    QImage image = bar(back_);
    if (fill > 1) {
        // The filled one shows left of the fill's edge, in whole device pixels, so that the
        // text changes colour exactly where the bar does.
        const int frame = qRound(r.left() * ratio), edge = qRound(fill * ratio);
        QPainter p(&image);
        const QRect part(frame, 0, edge - frame, image.height());
        p.drawImage(part, bar(fore_), part);
    }
    image.setDevicePixelRatio(ratio);
    return image;
}

void TGauge::redraw()
{
    image_ = compose();
    if (isVisible())
        repaint();
}

void TGauge::paintEvent(QPaintEvent *)
{
    if (image_.devicePixelRatio() != devicePixelRatioF()) // moved to a screen of another scale
        image_ = compose();
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void TGauge::resizeEvent(QResizeEvent *)
{
    image_ = compose();
}
