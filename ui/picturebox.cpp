#include "picturebox.h"

#include "application.h"
#include "artwork.h"

#include <QPainter>
#include <QtMath>

#include <cmath>

QSize fitPicture(QSize picture, QSize box)
{
    const int w = picture.width(), h = picture.height(), cw = box.width(), ch = box.height();
    if (w <= cw && h <= ch)
        return picture;
    const double a = double(w) / h;
    int fw, fh;
    if (w > h) {
        fw = cw;
        fh = int(std::trunc(cw / a));
        if (fh > ch) {
            fh = ch;
            fw = int(std::trunc(ch * a));
        }
    } else {
        fh = ch;
        fw = int(std::trunc(ch * a));
        if (fw > cw) {
            fw = cw;
            fh = int(std::trunc(cw / a));
        }
    }
    return {fw, fh};
}

QImage samplePicture(const QImage &picture, QSize size)
{
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    QImage out(size, QImage::Format_ARGB32);
    const double fx = double(size.width()) / source.width(), fy = double(size.height()) / source.height();
    for (int y = 0; y < size.height(); ++y) {
        const int sy = std::min(int(std::trunc(y / fy)), source.height() - 1);
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(sy));
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = in[std::min(int(std::trunc(x / fx)), source.width() - 1)];
    }
    return out;
}

// How much of a picture shows over its panel while its command cannot run.
static constexpr qreal unavailableOpacity = 0.4;

// Device pixels covering a length in layout pixels (a product such as 35 x 1.2 is not exact).
static int devicePixels(int length, qreal ratio)
{
    return qCeil(length * ratio - 1e-6);
}

QImage fittedPicture(const QImage &picture, QSize box, qreal ratio)
{
    const QSize fitted = fitPicture(picture.size(), box);
    QImage drawn = samplePicture(picture, QSize(devicePixels(fitted.width(), ratio), devicePixels(fitted.height(), ratio)));
    drawn.setDevicePixelRatio(ratio);
    return drawn;
}

TImage::TImage(QWidget *parent) : TClickable(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void TImage::setPicture(const QString &resource)
{
    source_ = resource;
    picture_ = QImage(resource);
    compose();
}

void TImage::setDrawing(const QString &name)
{
    drawing_ = name;
    compose();
}

QImage TImage::drawnFor(qreal ratio) const
{
    if (!drawing_.isEmpty())
        return artwork::drawing(drawing_, size(), ratio);
    return picture_.isNull() ? QImage() : fittedPicture(picture_, size(), ratio);
}

void TImage::compose()
{
    drawn_ = drawnFor(devicePixelRatioF());
    update();
}

void TImage::paintEvent(QPaintEvent *)
{
    if (drawn_.isNull())
        return;
    if (drawn_.devicePixelRatio() != devicePixelRatioF()) // moved to a screen of another scale
        drawn_ = drawnFor(devicePixelRatioF());
    QPainter p(this);
    // A command that cannot run now (a run is under way) shows a faded picture, as a disabled
    // button does.
    if (const auto *panel = qobject_cast<const TPanel *>(parentWidget()); panel && !panel->commandAvailable())
        p.setOpacity(unavailableOpacity);
    p.drawImage(0, 0, drawn_); // blends by alpha over what lies beneath
}

void TImage::resizeEvent(QResizeEvent *)
{
    compose();
}

void TImage::enterEvent(QEnterEvent *)
{
    if (leavePending_) {
        leavePending_ = false;
        return;
    }
    TApplication::handle([this] { emit OnMouseEnter(); });
}

void TImage::leaveEvent(QEvent *)
{
    // A picture pressed with the primary button holds the pointer until the release.
    if (pressed()) {
        leavePending_ = true;
        return;
    }
    TApplication::handle([this] { emit OnMouseLeave(); });
}

void TImage::released()
{
    if (leavePending_ && !rect().contains(mapFromGlobal(QCursor::pos()))) {
        leavePending_ = false;
        TApplication::handle([this] { emit OnMouseLeave(); });
    }
}
