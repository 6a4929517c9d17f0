#include "picturebox.h"

#include "application.h"

#include <QPainter>

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

void TImage::compose()
{
    drawn_ = picture_.isNull() ? QImage() : samplePicture(picture_, fitPicture(picture_.size(), size()));
    update();
}

void TImage::paintEvent(QPaintEvent *)
{
    if (drawn_.isNull())
        return;
    QPainter p(this);
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
