#include "accessibility.h"

#include "clickable.h"
#include "gauge.h"
#include "label.h"
#include "messagebox.h"
#include "picturebox.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QLineEdit>

namespace {

// The command a panel stands for, as its picture's tooltip names it; empty for the header band.
QString commandOf(QWidget *panel)
{
    const auto *picture = panel->findChild<TImage *>(QString(), Qt::FindDirectChildrenOnly);
    return picture ? picture->toolTip() : QString();
}

// A press reaches a command only when a click could: the panel enabled, no run under way, and
// no dialog or box holding the window.
bool canPress(const TPanel *panel)
{
    if (!panel->isEnabled() || !panel->commandAvailable())
        return false;
    const QWidget *modal = QApplication::activeModalWidget();
    return !modal || modal == panel->window();
}

class WindowInterface final : public QAccessibleWidget {
public:
    // A frame, as desktops show top-level windows (Qt's default for a plain widget is a filler).
    explicit WindowInterface(QWidget *window) : QAccessibleWidget(window, QAccessible::Window) {}
};

class PanelInterface final : public QAccessibleWidget {
public:
    explicit PanelInterface(TPanel *panel)
        : QAccessibleWidget(panel, commandOf(panel).isEmpty() ? QAccessible::Pane : QAccessible::Button)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && role() == QAccessible::Button)
            return commandOf(widget());
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (role() == QAccessible::Button && !panel()->commandAvailable())
            s.disabled = true;
        return s;
    }
    QStringList actionNames() const override
    {
        return role() == QAccessible::Button ? QStringList{pressAction()} : QAccessibleWidget::actionNames();
    }
    void doAction(const QString &name) override
    {
        if (name != pressAction() || role() != QAccessible::Button) {
            QAccessibleWidget::doAction(name);
            return;
        }
        // The caller (a screen reader) gets its answer at once, as a press of Qt's own buttons
        // does; the command, which may open a dialog or run a whole conversion, runs from the
        // event loop afterwards, if it still can then.
        TPanel *target = panel();
        if (!canPress(target))
            return;
        QMetaObject::invokeMethod(
            target,
            [target] {
                if (canPress(target))
                    target->click();
            },
            Qt::QueuedConnection);
    }

private:
    TPanel *panel() const { return static_cast<TPanel *>(widget()); }
};

class PictureInterface final : public QAccessibleWidget {
public:
    explicit PictureInterface(TImage *picture) : QAccessibleWidget(picture, QAccessible::Graphic) {}
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? widget()->toolTip() : QAccessibleWidget::text(t);
    }
};

// The gauge's value, its least and its most, as a screen reader reads a progress bar's (its
// percentage its value text and its description too). Nobody sets it: the Increase and Decrease
// a desktop's bridge gives anything with a value change nothing.
class GaugeInterface final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit GaugeInterface(TGauge *gauge) : QAccessibleWidget(gauge, QAccessible::ProgressBar) {}

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value || t == QAccessible::Description)
            return gauge()->percentText();
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return gauge()->Progress(); }
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return gauge()->MaxValue(); }
    QVariant minimumValue() const override { return gauge()->MinValue(); }
    QVariant minimumStepSize() const override { return 0; }

private:
    TGauge *gauge() const { return static_cast<TGauge *>(widget()); }
};

class LabelInterface final : public QAccessibleWidget {
public:
    explicit LabelInterface(TLabel *label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return label()->spokenText();
        return QAccessibleWidget::text(t);
    }
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>> relations(QAccessible::Relation match) const override
    {
        auto all = QAccessibleWidget::relations(match);
        if ((match & QAccessible::Labelled) && label()->buddy())
            all.append({QAccessible::queryAccessibleInterface(label()->buddy()), QAccessible::Labelled});
        return all;
    }

private:
    TLabel *label() const { return static_cast<TLabel *>(widget()); }
};

// A read-only text field: its text can be read, selected and moved through, never set. It
// offers no editable-text interface, and refuses a value.
class ReadOnlyFieldInterface final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ReadOnlyFieldInterface(QLineEdit *edit) : QAccessibleWidget(edit, QAccessible::EditableText) {}

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Value ? edit()->text() : QAccessibleWidget::text(t);
    }
    void setText(QAccessible::Text t, const QString &text) override
    {
        if (t != QAccessible::Value)
            QAccessibleWidget::setText(t, text);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.selectableText = true;
        return s;
    }
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>> relations(QAccessible::Relation match) const override
    {
        auto all = QAccessibleWidget::relations(match);
        if ((match & QAccessible::Label) && widget()->parentWidget())
            for (TLabel *label : widget()->parentWidget()->findChildren<TLabel *>(Qt::FindDirectChildrenOnly))
                if (label->buddy() == widget())
                    all.append({QAccessible::queryAccessibleInterface(label), QAccessible::Label});
        return all;
    }

    // ---- the text, as read
    QString text(int startOffset, int endOffset) const override
    {
        return startOffset > endOffset ? QString() : edit()->text().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(edit()->text().size()); }
    int cursorPosition() const override { return edit()->cursorPosition(); }
    void setCursorPosition(int position) override { edit()->setCursorPosition(position); }
    int selectionCount() const override { return edit()->hasSelectedText() ? 1 : 0; }
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex == 0 && edit()->hasSelectedText()) {
            *startOffset = edit()->selectionStart();
            *endOffset = edit()->selectionEnd();
        }
    }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0)
            edit()->deselect();
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        if (selectionIndex == 0)
            edit()->setSelection(startOffset, endOffset - startOffset);
    }
    QRect characterRect(int offset) const override
    {
        const QString all = edit()->text();
        if (offset < 0 || offset >= all.size())
            return {};
        // Measured from the caret, whose rectangle the field reports with its scrolling.
        const QFontMetrics fm(edit()->font());
        const QRectF caret = edit()->inputMethodQuery(Qt::ImCursorRectangle).toRectF();
        const int x = qRound(caret.center().x()) + fm.horizontalAdvance(all.left(offset))
                      - fm.horizontalAdvance(all.left(edit()->cursorPosition()));
        const QRect r(x, qRound(caret.top()), fm.horizontalAdvance(all.at(offset)), fm.height());
        return {edit()->mapToGlobal(r.topLeft()), r.size()};
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        return edit()->cursorPositionAt(edit()->mapFromGlobal(point));
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        edit()->setCursorPosition(endIndex);
        edit()->setCursorPosition(startIndex);
    }
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
    }

private:
    QLineEdit *edit() const { return static_cast<QLineEdit *>(widget()); }
};

// A message box is an alert, as Qt's own are: named by its caption, its text its description,
// so that a screen reader reads it out whole when it comes up.
class MessageBoxInterface final : public QAccessibleWidget {
public:
    explicit MessageBoxInterface(TMessageBox *box) : QAccessibleWidget(box, QAccessible::AlertMessage) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description || t == QAccessible::Value)
            return box()->text();
        return QAccessibleWidget::text(t);
    }

private:
    TMessageBox *box() const { return static_cast<TMessageBox *>(widget()); }
};

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TForm1"))
        return new WindowInterface(static_cast<QWidget *>(object));
    if (className == QLatin1String("TPanel"))
        return new PanelInterface(static_cast<TPanel *>(object));
    if (className == QLatin1String("TImage"))
        return new PictureInterface(static_cast<TImage *>(object));
    if (className == QLatin1String("TGauge"))
        return new GaugeInterface(static_cast<TGauge *>(object));
    if (className == QLatin1String("TLabel"))
        return new LabelInterface(static_cast<TLabel *>(object));
    if (className == QLatin1String("TMessageBox"))
        return new MessageBoxInterface(static_cast<TMessageBox *>(object));
    // Qt's own interface for a line edit sets any text it is given, read-only or not.
    if (className == QLatin1String("QLineEdit") && static_cast<QLineEdit *>(object)->isReadOnly())
        return new ReadOnlyFieldInterface(static_cast<QLineEdit *>(object));
    return nullptr;
}

} // namespace

namespace accessibility {

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace accessibility
