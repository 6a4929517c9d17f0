#include "keypreview.h"

#include "application.h"

#include "mainwindow.h"

#include <QKeyEvent>
#include <QLineEdit>

KeyPreview::KeyPreview(TForm1 *form, const QWidgetList &members) : QObject(form), form_(form)
{
    for (QWidget *w : members)
        w->installEventFilter(this);
}

bool KeyPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget != form_->focusWidget() || widget->window() != form_)
        return false; // once per key: when it reaches the focused member of this window
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
        return false;
    int code = key->key();
    TApplication::handle([&] { form_->FormKeyDown(code, key->modifiers()); });
    return false;
}

ArrowNavigation::ArrowNavigation(QWidget *window, QWidgetList order)
    : QObject(window), window_(window), order_(std::move(order))
{
    for (QWidget *w : std::as_const(order_))
        w->installEventFilter(this);
}

bool ArrowNavigation::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    int step = 0;
    switch (key->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down:
        step = 1;
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
        step = -1;
        break;
    default:
        return false;
    }
    // The path field moves its caret with the arrows; Alt+arrows are not navigation.
    if (qobject_cast<QLineEdit *>(watched) || (key->modifiers() & Qt::AltModifier))
        return false;
    const qsizetype at = order_.indexOf(qobject_cast<QWidget *>(watched));
    if (at < 0)
        return false;
    const qsizetype n = order_.size();
    order_[(at + step + n) % n]->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}
