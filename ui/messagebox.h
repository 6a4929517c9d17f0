#pragma once

#include "artwork.h"
#include "conversion.h"

#include <QDialog>

class QPushButton;

// The tool's message box: a caption, the kind's icon, the text and one "OK" button;
// or, to ask, the caption "Confirm" with the buttons "Yes" and "No", "No" the default. Its text
// can be selected and copied; assistive technology finds it an alert.
class TMessageBox final : public QDialog {
    Q_OBJECT
public:
    TMessageBox(QWidget *owner, MessageKind kind, const QString &text);
    // A question: "Yes" accepts, "No" (the default, and Escape) rejects.
    TMessageBox(QWidget *owner, const QString &question);

    // Shows the box modally, centred in the work area of the owner's screen; returns when closed.
    static void execute(QWidget *owner, MessageKind kind, const QString &text);
    // Asks the question; true for "Yes".
    static bool confirm(QWidget *owner, const QString &question);
    static QPoint centredIn(const QRect &workArea, const QSize &box);
    // Gives a text selectable in a box the selection colours of the window's path field: white
    // on a dark blue, 7.7:1 (the desktop's own, Fusion's light one among them, can read 3.7:1).
    static void useSelectionColours(QWidget *text);

    // The default button, which has the focus when the box opens: "OK", or "No".
    QPushButton *okButton() const { return ok_; }
    QPushButton *yesButton() const { return yes_; }
    QString text() const;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void build(const QString &caption, artwork::Icon icon, const QString &text);

    QPushButton *ok_ = nullptr;
    QPushButton *yes_ = nullptr;
    class QLabel *text_ = nullptr;
};
