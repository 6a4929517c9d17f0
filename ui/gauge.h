#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

// A horizontal progress bar with its percentage written across it, in black or white as reads
// best on the fill or on the empty part beneath each letter. It paints itself at once when its
// value changes, so each step of a run is seen, even steps that follow each other faster than
// the event loop would gather paints.
class TGauge final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor foreColor READ foreColor WRITE setForeColor)
    Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)
    Q_PROPERTY(int maxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(int progress READ Progress WRITE setProgress)

public:
    explicit TGauge(QWidget *parent = nullptr);

    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    int Progress() const { return value_; }
    int percentDone() const;
    // The percentage as the gauge writes it: "25%".
    QString percentText() const;
    // Fails with "Value must be between %d and %d" when below the minimum.
    void setMaxValue(int value);
    void setProgress(int value);
    void AddProgress(int amount);

    QColor foreColor() const { return fore_; }
    void setForeColor(const QColor &color);
    QColor backColor() const { return back_; }
    void setBackColor(const QColor &color);

    // The gauge as it is painted (frame, bar and percentage), in the device pixels of the
    // widget's screen: at a device pixel ratio of 2 every layout pixel is 2 x 2 of them.
    QImage compose() const { return compose(devicePixelRatioF()); }
    QImage compose(qreal ratio) const;
    // The colour of the percentage over a part of that colour: black or white, whichever
    // contrasts more with it.
    static QColor textColorOn(const QColor &background);

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;

private:
    void redraw();
    // Tells assistive technology the percentage changed (its value, and its description).
    void announce();

    int min_ = 0;
    int max_ = 100;
    int value_ = 0;
    QColor fore_{182, 66, 69};
    QColor back_{255, 255, 255};
    QImage image_;
};
