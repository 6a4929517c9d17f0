#include "clickable.h"

#include "application.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QPainter>

void TClickable::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    event->accept();
}

void TClickable::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const bool click = pressed_ && rect().contains(event->position().toPoint());
    pressed_ = false;
    released();
    if (click)
        this->click();
}

void TClickable::click()
{
    TApplication::handle([this] { emit OnClick(); });
}

void TClickable::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click: its release is no click.
    if (event->button() == Qt::LeftButton)
        pressed_ = false;
    event->accept();
}

TPanel::TPanel(QWidget *parent) : TClickable(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPanel::setColor(const QColor &color)
{
    if (color == color_)
        return;
    color_ = color;
    update();
}

void TPanel::setCommandAvailable(bool available)
{
    if (available == commandAvailable_)
        return;
    commandAvailable_ = available;
    // Its picture, drawn over it, shows the state.
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        child->update();
    if (QAccessible::isActive()) {
        QAccessible::State changed;
        changed.disabled = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
}

void TPanel::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), color_);
}

// The window losing or regaining activation (a dialog or message box opening, another program)
// is no focus move between members: it sends no notice.
static bool movesFocus(Qt::FocusReason reason)
{
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

void TPanel::focusInEvent(QFocusEvent *event)
{
    if (movesFocus(event->reason()))
        TApplication::handle([this] { emit OnEnter(); });
}

void TPanel::focusOutEvent(QFocusEvent *event)
{
    if (movesFocus(event->reason()))
        TApplication::handle([this] { emit OnExit(); });
}
