#pragma once

#include <QObject>
#include <QPointer>
#include <QWidgetList>

class TForm1;

// Hands every key pressed on the window's members to the window's key handler before the
// focused member's own handling.
class KeyPreview final : public QObject {
    Q_OBJECT
public:
    KeyPreview(TForm1 *form, const QWidgetList &members);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TForm1 *form_;
};

// Arrow keys on a member that does not take them itself move the focus through the given
// members, in order, wrapping around.
class ArrowNavigation final : public QObject {
    Q_OBJECT
public:
    ArrowNavigation(QWidget *window, QWidgetList order);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window_;
    QWidgetList order_;
};
