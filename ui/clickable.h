#pragma once

#include <QWidget>

// A member that reports clicks: the primary button pressed on it and released inside it.
// The press holds the pointer until the release; the second press of a double click brings
// no click.
class TClickable : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    // Runs the handlers of a click, as a click with the primary button does.
    void click();

signals:
    void OnClick();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool pressed() const { return pressed_; }
    // Called after a release of the primary button, click or not.
    virtual void released() {}

private:
    bool pressed_ = false;
};

// A panel filled with its own colour; the colour is its highlight state.
class TPanel final : public TClickable {
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)
public:
    explicit TPanel(QWidget *parent = nullptr);
    QColor color() const { return color_; }
    void setColor(const QColor &color);
    // Whether the panel's command can run now: not while a conversion run is under way. Its
    // picture is drawn dimmed meanwhile, and assistive technology sees a disabled button; the
    // panel keeps the focus and the colour it has, as the window does during a run.
    bool commandAvailable() const { return commandAvailable_; }
    void setCommandAvailable(bool available);

signals:
    void OnEnter();
    void OnExit();

protected:
    void paintEvent(QPaintEvent *) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QColor color_{182, 66, 69};
    bool commandAvailable_ = true;
};
