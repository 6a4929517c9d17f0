#include "loginbox.h"

#include "messagebox.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TLoginBox::TLoginBox(QWidget *owner, const QString &database, const TLogin &refused)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("loginBox"));
    setWindowTitle(QStringLiteral("Entrar no servidor"));
    setWindowModality(Qt::ApplicationModal);

    text_ = new QLabel(QStringLiteral("O servidor do Firebird (%1) recusou o usuário e a senha de %2.\nDigite o usuário e a "
                                      "senha do administrador do servidor:")
                           .arg(TLogins::serverOf(database), refused.user),
                       this);
    text_->setObjectName(QStringLiteral("text"));
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);

    user_ = new QLineEdit(refused.user, this);
    user_->setObjectName(QStringLiteral("user"));
    // Firebird 3's names are 31 bytes at most; its server stops on a longer one.
    user_->setMaxLength(31);
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("password"));
    password_->setEchoMode(QLineEdit::Password);
    // Nothing of it goes to an input method's dictionary or suggestions.
    password_->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    for (QLineEdit *field : {user_, password_})
        TMessageBox::useSelectionColours(field);

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("&Usuário:"), user_);
    fields->addRow(QStringLiteral("&Senha:"), password_);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("ok"));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    cancel_ = new QPushButton(QStringLiteral("Cancelar"), this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    // A login needs both.
    const auto complete = [this] { ok_->setEnabled(!user_->text().trimmed().isEmpty() && !password_->text().isEmpty()); };
    connect(user_, &QLineEdit::textChanged, this, complete);
    connect(password_, &QLineEdit::textChanged, this, complete);
    complete();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(16, 16, 16, 12);
    text_->setFixedWidth(360);

    setTabOrder(user_, password_);
    setTabOrder(password_, ok_);
    setTabOrder(ok_, cancel_);
}

TLoginBox::~TLoginBox()
{
    password_->clear();
}

TLogin TLoginBox::login() const
{
    return {user_->text().trimmed(), password_->text()};
}

QString TLoginBox::text() const
{
    return text_->text();
}

void TLoginBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The user is the refused one's, most often the right one: the password is what is missing.
    (user_->text().isEmpty() ? user_ : password_)->setFocus(Qt::OtherFocusReason);
    const QWidget *owner = parentWidget();
    if (const QScreen *s = owner && owner->screen() ? owner->screen() : screen())
        move(TMessageBox::centredIn(s->availableGeometry(), frameGeometry().size()));
}

std::optional<TLogin> TLoginBox::ask(QWidget *owner, const QString &database, const TLogin &refused)
{
    TLoginBox box(owner, database, refused);
    box.adjustSize();
    const bool given = box.exec() == QDialog::Accepted;
    if (owner)
        owner->activateWindow();
    if (!given)
        return std::nullopt;
    return box.login();
}
