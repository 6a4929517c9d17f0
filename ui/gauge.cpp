#include "gauge.h"

#include "errors.h"
#include "winfont.h"

#include <QAccessible>
#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <climits>

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
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&changed);
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

void xorInto(QImage &target, const QImage &source)
{
    QPainter p(&target);
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.drawImage(0, 0, source);
}

} // namespace

QImage TGauge::compose(qreal ratio) const
{
    const int w = width(), h = height();
    const QRect r(1, 1, w - 2, h - 2); // inside the 1-pixel frame
    const int wb = r.width() + 1, hb = r.height() + 1;
    const int percent = percentDone();

    // The images are drawn for the screen's pixels from the start, not enlarged afterwards,
    // and combined pixel by pixel.
    QImage a = blackCanvas(size(), ratio);
    {
        QImage b = blackCanvas(size(), ratio);
        QPainter p(&b);
        p.scale(ratio, ratio);
        p.fillRect(r, back_);
        int fill = int(wb * (percent * 0.01));
        fill = std::min(fill, wb);
        if (fill > 0) // the fill's right edge is the fill width itself, counted from 0
            p.fillRect(QRect(QPoint(r.left(), r.top()), QPoint(fill - 1, hb - 1)), fore_);
        p.end();
        xorInto(a, b);
    }
    {
        QImage c = blackCanvas(size(), ratio);
        QFont f = font();
        f.setStyleStrategy(QFont::NoAntialias);
        const QString text = percentText();
        const int tw = QFontMetrics(f).horizontalAdvance(text);
        const int th = winfont::lineHeight(f);
        QPainter p(&c);
        p.scale(ratio, ratio);
        p.setClipRect(r);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QPoint((wb - tw) / 2, (hb - th) / 2 + winfont::ascent(f)), text);
        p.end();
        xorInto(a, c);
    }
    a.setDevicePixelRatio(ratio);
    return a;
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
