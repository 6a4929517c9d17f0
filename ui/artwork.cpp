#include "artwork.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

#include <cmath>

namespace artwork {

namespace {

const QColor headerRed(182, 66, 69);
const QColor lighterRed(204, 123, 125);
// The icons' discs: white signs on them read 7.7:1 (blue) and 5.7:1 (red).
const QColor signBlue(0, 84, 153);
const QColor signRed(196, 43, 28);

QImage canvas(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(headerRed);
    return image;
}

QPainter &prepare(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    return p;
}

// A solid arrow along the x axis from x0 to x1 (the head at x1), centred on y.
void arrow(QPainter &p, double x0, double x1, double y, double shaft, double head, double headLength)
{
    const double dir = x1 > x0 ? 1 : -1;
    const double neck = x1 - dir * headLength;
    QPolygonF poly;
    poly << QPointF(x0, y - shaft / 2) << QPointF(neck, y - shaft / 2) << QPointF(neck, y - head / 2)
         << QPointF(x1, y) << QPointF(neck, y + head / 2) << QPointF(neck, y + shaft / 2) << QPointF(x0, y + shaft / 2);
    p.drawPolygon(poly);
}

// An image of the screen's pixels covering a box of layout size, the ratio set on it, so that
// a painter on it draws in layout pixels.
QImage deviceCanvas(QSize box, qreal ratio)
{
    // A product such as 199 x 1.25 is not exact.
    QImage image(qCeil(box.width() * ratio - 1e-6), qCeil(box.height() * ratio - 1e-6), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    return image;
}

// A line of text as an outline, its largest size up to pixelSize that fits width, centred
// on (centreX, centreY): outlines scale with the screen's pixels as the other shapes do.
QPainterPath lettering(const QString &text, QFont font, int pixelSize, double width, double centreX, double centreY)
{
    font.setHintingPreference(QFont::PreferNoHinting);
    QPainterPath path;
    for (int size = pixelSize; size >= 6; --size) {
        font.setPixelSize(size);
        path = QPainterPath();
        path.addText(0, 0, font, text);
        if (path.boundingRect().width() <= width)
            break;
    }
    const QRectF bounds = path.boundingRect();
    return path.translated(centreX - bounds.center().x(), centreY - bounds.center().y());
}

// A rectangle moved to the screen's whole pixels, so that its edges are not smoothed into
// the colour around it.
QRectF onDevicePixels(const QPainter &p, const QRectF &r)
{
    const QTransform t = p.deviceTransform();
    const QRectF d = t.mapRect(r);
    const QRectF snapped(QPointF(std::round(d.left()), std::round(d.top())),
                         QPointF(std::round(d.right()), std::max(std::round(d.top()) + 1, std::round(d.bottom()))));
    return t.inverted().mapRect(snapped);
}

} // namespace

void paintLogo(QPainter &p, const QRectF &box)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(box, headerRed);
    // Laid out on 199 x 78 pixels, scaled to the box.
    p.translate(box.topLeft());
    p.scale(box.width() / 199.0, box.height() / 78.0);
    const double width = 199 - 2 * logoMargin;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(lettering(QStringLiteral("Malhavera"), font, 32, width, 199 / 2.0, 27));
    font.setBold(false);
    p.drawPath(lettering(QStringLiteral("m a l h a s   e   c o n f e c ç õ e s"), font, 12, width, 199 / 2.0, 58));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(onDevicePixels(p, QRectF(29, 69, 141, 2)), Qt::white);
    p.restore();
}

void paintIcon(QPainter &p, Icon icon, const QRectF &box)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // Laid out on 32 x 32 pixels, scaled to the box.
    p.translate(box.topLeft());
    p.scale(box.width() / 32.0, box.height() / 32.0);
    p.setPen(Qt::NoPen);
    p.setBrush(icon == Icon::Error ? signRed : signBlue);
    p.drawEllipse(QPointF(16, 16), 15, 15);
    p.setBrush(Qt::white);
    switch (icon) {
    case Icon::Information:
        p.drawEllipse(QPointF(16, 8.5), 2.5, 2.5);
        p.drawRoundedRect(QRectF(14, 13, 4, 12), 1, 1);
        break;
    case Icon::Error:
        for (int angle : {45, -45}) {
            p.save();
            p.translate(16, 16);
            p.rotate(angle);
            p.drawRoundedRect(QRectF(-9, -2, 18, 4), 1, 1);
            p.restore();
        }
        break;
    case Icon::Question: {
        // A hook of a round stroke, then its dot.
        QPainterPath hook;
        hook.moveTo(11, 12);
        hook.arcTo(QRectF(11, 6.5, 10, 10), 180, -225);
        hook.quadTo(16, 16, 16, 19.5);
        p.strokePath(hook, QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawEllipse(QPointF(16, 24.5), 2.25, 2.25);
        break;
    }
    }
    p.restore();
}

QImage logo(QSize box, qreal ratio)
{
    QImage image = deviceCanvas(box, ratio);
    QPainter p(&image);
    paintLogo(p, QRectF(QPointF(0, 0), box));
    return image;
}

QImage icon(Icon kind, int size, qreal ratio)
{
    QImage image = deviceCanvas(QSize(size, size), ratio);
    QPainter p(&image);
    paintIcon(p, kind, QRectF(0, 0, size, size));
    return image;
}

QImage drawing(const QString &name, QSize box, qreal ratio)
{
    if (name == QLatin1String("logo"))
        return logo(box, ratio);
    return {};
}

QImage database()
{
    QImage image = canvas(256, 256);
    QPainter p(&image);
    prepare(p);
    p.setPen(Qt::NoPen);
    p.setBrush(lighterRed);
    const double left = 48, width = 160, rx = 80, ry = 26;
    // Three discs, lowest first, then the lid on top.
    for (int i = 2; i >= 0; --i) {
        const double top = 78 + i * 52;
        QPainterPath disc;
        disc.addRect(left, top, width, 40);
        disc.addEllipse(QPointF(left + rx, top + 40), rx, ry);
        p.drawPath(disc.simplified());
        p.setBrush(headerRed);
        p.drawEllipse(QPointF(left + rx, top), rx, ry);
        p.setBrush(lighterRed);
        p.drawEllipse(QPointF(left + rx, top), rx - 2, ry - 2);
        p.setBrush(headerRed);
        p.drawRect(QRectF(left, top + 40 + ry - 4, width, 0)); // keeps discs apart
        p.setBrush(lighterRed);
    }
    p.setBrush(lighterRed);
    p.drawEllipse(QPointF(left + rx, 52), rx, ry);
    p.setBrush(headerRed);
    p.drawEllipse(QPointF(left + rx, 52), rx - 14, ry - 8);
    return image;
}

QImage openSymbol()
{
    QImage image = canvas(256, 256);
    QPainter p(&image);
    prepare(p);
    p.setPen(QPen(Qt::white, 12, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(108, 40, 108, 96));  // rear, upper right
    p.drawRect(QRectF(40, 120, 108, 96));  // front, lower left
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.save();
    p.translate(94, 162);
    p.rotate(-45);
    arrow(p, 0, 96, 0, 14, 44, 34);
    p.restore();
    return image;
}

QImage convertSymbol(int size)
{
    QImage image = canvas(size, size);
    QPainter p(&image);
    prepare(p);
    p.scale(size / 256.0, size / 256.0);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    arrow(p, 220, 36, 88, 36, 96, 64);   // upper, pointing left
    arrow(p, 36, 220, 168, 36, 96, 64);  // lower, pointing right
    return image;
}

QImage exitSymbol()
{
    QImage image = canvas(256, 256);
    QPainter p(&image);
    prepare(p);
    p.setPen(QPen(Qt::white, 14, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    QPolygonF frame;
    frame << QPointF(150, 92) << QPointF(150, 36) << QPointF(44, 36) << QPointF(44, 220) << QPointF(150, 220)
          << QPointF(150, 164);
    p.drawPolyline(frame);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    arrow(p, 92, 228, 128, 30, 84, 56);
    return image;
}

QImage programIcon(int size)
{
    if (size != 16 && size != 32)
        return convertSymbol(size);
    // The two arrows on a 16-pixel grid, each grid pixel size / 16 screen pixels: shafts two
    // grid pixels thick, heads six high, two rows apart.
    const int u = size / 16;
    QImage image = canvas(size, size);
    QPainter p(&image);
    auto cells = [&](int x, int y, int w, int h) { p.fillRect(x * u, y * u, w * u, h * u, Qt::white); };
    // Upper, pointing left: head columns 1 to 4, shaft to column 14.
    cells(1, 3, 1, 2);
    cells(2, 2, 1, 4);
    cells(3, 1, 2, 6);
    cells(5, 3, 10, 2);
    // Lower, pointing right.
    cells(1, 11, 10, 2);
    cells(11, 9, 2, 6);
    cells(13, 10, 1, 4);
    cells(14, 11, 1, 2);
    return image;
}

} // namespace artwork
