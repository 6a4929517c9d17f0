#pragma once

#include "clickable.h"

#include <QImage>

// Where a picture of size picture is drawn in a box of size box: proportional, never enlarged,
// from the box's top-left corner.
QSize fitPicture(QSize picture, QSize box);
// The picture sampled to size, nearest neighbour, no smoothing.
QImage samplePicture(const QImage &picture, QSize size);
// The picture as a box of size box shows it on a screen of the given device pixel ratio: fitted
// in layout pixels, then sampled from the picture itself for the screen's pixels (never an
// enlargement of the 96-dpi drawing).
QImage fittedPicture(const QImage &picture, QSize box, qreal ratio);

// A picture box: decodes its picture once and draws it fitted into its top-left corner; or,
// given a drawing's name instead (artwork::drawing), draws that over the whole box, anew for
// the pixels of each screen.
class TImage final : public TClickable {
    Q_OBJECT
    Q_PROPERTY(QString picture READ picture WRITE setPicture)
    Q_PROPERTY(QString drawing READ drawing WRITE setDrawing)
public:
    explicit TImage(QWidget *parent = nullptr);
    QString picture() const { return source_; }
    void setPicture(const QString &resource);
    QString drawing() const { return drawing_; }
    void setDrawing(const QString &name);
    // The picture as drawn, in the device pixels of the widget's screen.
    const QImage &drawn() const { return drawn_; }
    // The picture as it would be drawn on a screen of that device pixel ratio.
    QImage drawnFor(qreal ratio) const;

signals:
    void OnMouseEnter();
    void OnMouseLeave();

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void enterEvent(QEnterEvent *) override;
    void leaveEvent(QEvent *) override;
    void released() override;

private:
    void compose();

    QString source_;
    QString drawing_;
    QImage picture_;
    QImage drawn_;
    bool leavePending_ = false;
};
