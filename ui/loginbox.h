#pragma once

#include "logins.h"

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

// The box a server's refusal of the login brings up: the user (the refused login's to start
// with) and the password, typed without echo; "OK" tries them, "Cancelar" (and Escape) gives up.
// What is typed stays in memory only, and the password field is emptied as the box goes.
class TLoginBox final : public QDialog {
    Q_OBJECT
public:
    // database: the database string whose server refused refused.
    TLoginBox(QWidget *owner, const QString &database, const TLogin &refused);
    ~TLoginBox() override;

    // Shows the box modally, centred on the owner's screen; the login typed, or nullopt for
    // Cancelar.
    static std::optional<TLogin> ask(QWidget *owner, const QString &database, const TLogin &refused);

    TLogin login() const;
    QString text() const;
    QLineEdit *userField() const { return user_; }
    QLineEdit *passwordField() const { return password_; }
    QPushButton *okButton() const { return ok_; }
    QPushButton *cancelButton() const { return cancel_; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLabel *text_ = nullptr;
    QLineEdit *user_ = nullptr;
    QLineEdit *password_ = nullptr;
    QPushButton *ok_ = nullptr;
    QPushButton *cancel_ = nullptr;
};
