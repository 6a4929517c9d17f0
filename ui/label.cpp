#include "label.h"

#include "winfont.h"

#include <QAccessible>
#include <QEvent>
#include <QPainter>
#include <QRegularExpression>

TLabel::TLabel(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void TLabel::setCaption(const QString &caption)
{
    if (caption == caption_)
        return;
    caption_ = caption;
    fitToText();
    update();
    if (buddy_)
        buddy_->setAccessibleName(spokenText());
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

void TLabel::setBuddy(QWidget *buddy)
{
    buddy_ = buddy;
    if (buddy_)
        buddy_->setAccessibleName(spokenText());
}

void TLabel::setAutoSize(bool on)
{
    autoSize_ = on;
    fitToText();
}

// The caption as drawn: a single "&" is not drawn, "&&" draws one "&".
static QString drawnText(const QString &caption)
{
    QString text;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && ++i >= caption.size())
            break;
        text += caption[i];
    }
    return text;
}

QString TLabel::text() const
{
    return drawnText(caption_);
}

QString TLabel::spokenText() const
{
    static const QRegularExpression blanks(QStringLiteral("\\s{2,}"));
    return text().replace(blanks, QStringLiteral(" "));
}

void TLabel::fitToText()
{
    if (!autoSize_)
        return;
    resize(QFontMetrics(font()).horizontalAdvance(drawnText(caption_)), winfont::lineHeight(font()));
}

void TLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        fitToText();
    QWidget::changeEvent(event);
}

void TLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (!transparent_)
        p.fillRect(rect(), palette().color(QPalette::Window));
    p.setPen(textColor_.isValid() ? textColor_ : palette().color(QPalette::WindowText));
    const int flags = Qt::TextShowMnemonic | Qt::TextSingleLine | (centered_ ? Qt::AlignHCenter : Qt::AlignLeft);
    const QFontMetrics fm(font());
    // Text sits where the desktop it was laid out for puts it: its top at the box's top.
    const QRect box(0, winfont::ascent(font()) - fm.ascent(), width(), height());
    p.drawText(box, flags | Qt::AlignTop, caption_);
}
