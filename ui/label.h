#pragma once

#include <QWidget>

// A one-line label; "&" marks the next character as a mnemonic ("&&" draws one "&").
class TLabel final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString caption READ Caption WRITE setCaption)
    Q_PROPERTY(bool autoSize READ autoSize WRITE setAutoSize)
    Q_PROPERTY(bool transparent READ transparent WRITE setTransparent)
    Q_PROPERTY(bool centered READ centered WRITE setCentered)
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor)
public:
    explicit TLabel(QWidget *parent = nullptr);

    QString Caption() const { return caption_; }
    // Takes the size of its text when sized to it; drawn at the window's next paint.
    void setCaption(const QString &caption);
    bool autoSize() const { return autoSize_; }
    void setAutoSize(bool on);
    bool transparent() const { return transparent_; }
    void setTransparent(bool on) { transparent_ = on; }
    bool centered() const { return centered_; }
    void setCentered(bool on) { centered_ = on; }
    QColor textColor() const { return textColor_; }
    void setTextColor(const QColor &color) { textColor_ = color; }
    // The caption as drawn (the "&" marks taken out).
    QString text() const;
    // The text as assistive technology reads it: a run of blanks is one (a screen reader would
    // make a pause of a caption's double space).
    QString spokenText() const;
    // The member this label names for assistive technology; it takes the label's text as its name.
    QWidget *buddy() const { return buddy_; }
    void setBuddy(QWidget *buddy);

protected:
    void paintEvent(QPaintEvent *) override;
    void changeEvent(QEvent *event) override;

private:
    void fitToText();

    QString caption_;
    bool autoSize_ = false;
    bool transparent_ = true;
    bool centered_ = false;
    QColor textColor_;
    QWidget *buddy_ = nullptr;
};
