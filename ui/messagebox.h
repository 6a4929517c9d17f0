#pragma once

#include "conversion.h"

#include <QDialog>

class QPushButton;

// The tool's message box: a caption, the kind's standard icon, the text and one "OK" button.
class TMessageBox final : public QDialog {
    Q_OBJECT
public:
    TMessageBox(QWidget *owner, MessageKind kind, const QString &text);

    // Shows the box modally, centred in the work area of the owner's screen; returns when closed.
    static void execute(QWidget *owner, MessageKind kind, const QString &text);
    static QPoint centredIn(const QRect &workArea, const QSize &box);

    QPushButton *okButton() const { return ok_; }
    QString text() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QPushButton *ok_;
    class QLabel *text_;
};
