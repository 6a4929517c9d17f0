#include "messagebox.h"

#include "artwork.h"

#include <QAccessible>
#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {

// The kind's icon, drawn for the pixels of the screen the box is on (the style's icons are
// 32-pixel images, enlarged and blurred on a scaled screen), again if it moves to another.
class IconLabel final : public QLabel {
public:
    IconLabel(artwork::Icon icon, QWidget *parent) : QLabel(parent), icon_(icon)
    {
        setObjectName(QStringLiteral("icon"));
        setAlignment(Qt::AlignTop);
        draw();
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        if (pixmap().devicePixelRatio() != devicePixelRatioF())
            draw();
        QLabel::paintEvent(event);
    }

private:
    void draw() { setPixmap(QPixmap::fromImage(artwork::icon(icon_, 32, devicePixelRatioF()))); }

    const artwork::Icon icon_;
};

// The message, selectable. Tabbed to, its caret starts at the beginning, so that Shift and the
// arrow or End keys select from there.
class TextLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void focusInEvent(QFocusEvent *event) override
    {
        QLabel::focusInEvent(event);
        if ((event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason) && !hasSelectedText())
            setSelection(0, 0);
    }
};

// A selection as text: its paragraph breaks as line breaks.
QString plain(QString text)
{
    return text.replace(QChar::ParagraphSeparator, u'\n').replace(QChar::LineSeparator, u'\n');
}

// A modal box has a title and a close button, nothing to minimise or maximise: the hints say
// exactly that (without CustomizeWindowHint a platform may add its defaults).
constexpr Qt::WindowFlags boxFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                     | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

} // namespace

TMessageBox::TMessageBox(QWidget *owner, MessageKind kind, const QString &text)
    : QDialog(owner, boxFlags)
{
    const bool error = kind == MessageKind::Error;
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("ok"));
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    build(error ? QStringLiteral("Error") : QStringLiteral("Information"),
          error ? artwork::Icon::Error : artwork::Icon::Information, text);
}

TMessageBox::TMessageBox(QWidget *owner, const QString &question)
    : QDialog(owner, boxFlags)
{
    yes_ = new QPushButton(QStringLiteral("Yes"), this);
    yes_->setObjectName(QStringLiteral("yes"));
    yes_->setAutoDefault(false);
    connect(yes_, &QPushButton::clicked, this, &QDialog::accept);
    ok_ = new QPushButton(QStringLiteral("No"), this);
    ok_->setObjectName(QStringLiteral("no"));
    connect(ok_, &QPushButton::clicked, this, &QDialog::reject);
    build(QStringLiteral("Confirm"), artwork::Icon::Question, question);
}

void TMessageBox::build(const QString &caption, artwork::Icon iconKind, const QString &text)
{
    setObjectName(QStringLiteral("messageBox"));
    setWindowTitle(caption);
    setWindowModality(Qt::ApplicationModal);

    auto *icon = new IconLabel(iconKind, this);

    text_ = new TextLabel(this);
    text_->setObjectName(QStringLiteral("text"));
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    // The text can be selected with the pointer or, tabbed to, with the keyboard, and copied: a
    // message is often passed on to whoever looks after the databases.
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text_->setFocusPolicy(Qt::StrongFocus);
    useSelectionColours(text_);
    // A carriage return starts a new line.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    text_->setText(shown);
    const QWidget *owner = parentWidget();
    const QScreen *screen = owner && owner->screen() ? owner->screen() : this->screen();
    // Wide enough for a line naming a file in a shop's folders, which would otherwise break at a
    // hyphen of its name.
    const int maxWidth = screen ? screen->geometry().width() * 5 / 8 : 800;
    const int natural = text_->fontMetrics().boundingRect(QRect(0, 0, maxWidth, 10000), Qt::TextWordWrap, shown).width();
    text_->setFixedWidth(std::min(maxWidth, std::max(natural + 2, 120)));

    ok_->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    if (yes_)
        buttons->addWidget(yes_);
    buttons->addWidget(ok_);
    buttons->addStretch();

    setTabOrder(text_, yes_ ? yes_ : ok_);
    if (yes_)
        setTabOrder(yes_, ok_);

    auto *grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0);
    grid->addWidget(text_, 0, 1);
    grid->addLayout(buttons, 1, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->setHorizontalSpacing(12);
    grid->setContentsMargins(16, 16, 16, 12);
}

void TMessageBox::useSelectionColours(QWidget *text)
{
    QPalette palette = text->palette();
    palette.setColor(QPalette::Highlight, QColor(0, 84, 153)); // as mainwindow.ui has them
    palette.setColor(QPalette::HighlightedText, Qt::white);
    text->setPalette(palette);
}

QString TMessageBox::text() const
{
    return text_->text();
}

QPoint TMessageBox::centredIn(const QRect &workArea, const QSize &box)
{
    return {workArea.left() + (workArea.width() - box.width()) / 2, workArea.top() + (workArea.height() - box.height()) / 2};
}

void TMessageBox::keyPressEvent(QKeyEvent *event)
{
    // Copy takes what is selected of the text, or all of it when nothing is (a selection in the
    // text's own focus is copied there).
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(text_->hasSelectedText() ? plain(text_->selectedText()) : text());
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TMessageBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // A screen reader reads an alert out whole as it comes up, as it does Qt's own message boxes.
    if (QAccessible::isActive()) {
        QAccessibleEvent alert(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
    ok_->setFocus(Qt::OtherFocusReason);
    const QWidget *owner = parentWidget();
    const QScreen *s = owner && owner->screen() ? owner->screen() : screen();
    if (s)
        move(centredIn(s->availableGeometry(), frameGeometry().size()));
}

void TMessageBox::execute(QWidget *owner, MessageKind kind, const QString &text)
{
    TMessageBox box(owner, kind, text);
    box.adjustSize();
    box.exec();
    // The owner is active again, its focus where it was.
    if (owner)
        owner->activateWindow();
}

bool TMessageBox::confirm(QWidget *owner, const QString &question)
{
    TMessageBox box(owner, question);
    box.adjustSize();
    const bool yes = box.exec() == QDialog::Accepted;
    if (owner)
        owner->activateWindow();
    return yes;
}
