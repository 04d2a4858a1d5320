// The administrator password request dialog: its fields, their limits and the answers it
// hands back.
#include "PasswordRequest.h"

#include "DialogWidth.h"
#include "Messages.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace sqllumo::ui {

namespace {

QLineEdit* maskedField(QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setEchoMode(QLineEdit::Password);
    field->setMaxLength(kPasswordFieldLength);
    return field;
}
} // namespace

PasswordRequest::PasswordRequest(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(kPasswordRequestTitle);
    WidenForTitle(this);
    setModal(true);
    auto* grid = new QGridLayout(this);
    Prompt = new QLabel(this);
    Label1 = new QLabel(QStringLiteral("Old Password"), this);
    Text1 = maskedField(this);
    Label3 = new QLabel(QStringLiteral("Password"), this);
    Text3 = maskedField(this);
    Label4 = new QLabel(QStringLiteral("Confirm Password"), this);
    Text4 = maskedField(this);
    grid->addWidget(Prompt, 0, 0, 1, 2);
    grid->addWidget(Label1, 1, 0);
    grid->addWidget(Text1, 1, 1);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(Text3, 2, 1);
    grid->addWidget(Label4, 3, 0);
    grid->addWidget(Text4, 3, 1);
    auto* buttons = new QHBoxLayout;
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command2 = new QPushButton(QStringLiteral("cancel"), this);
    Command1->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    grid->addLayout(buttons, 4, 0, 1, 2);
    setTabOrder(Text1, Text3);
    setTabOrder(Text3, Text4);
    setTabOrder(Text4, Command1);
    setTabOrder(Command1, Command2);
    connect(Command1, &QPushButton::clicked, this, [this] { confirm(); });
    connect(Command2, &QPushButton::clicked, this, [this] { reject(); });
}

void PasswordRequest::Impostati(PasswordRequestMode mode, AdminSecret secret)
{
    result_ = {};
    Prompt->setText(AdminPasswordPrompt(mode, secret));
    for (QLineEdit* field : {Text1, Text3, Text4})
        field->clear();
    const bool confirmShown = mode != PasswordRequestMode::ConfirmPassword;
    const bool oldShown = mode == PasswordRequestMode::ChangePassword;
    Label3->show();
    Text3->show();
    Text3->setEnabled(true);
    Label4->setVisible(confirmShown);
    Text4->setVisible(confirmShown);
    Label1->setVisible(oldShown);
    Text1->setVisible(oldShown);
    (oldShown ? Text1 : Text3)->setFocus();
    adjustSize();
}

void PasswordRequest::confirm()
{
    // Hidden fields hand back what they hold, which Impostati emptied.
    result_ = {Text3->text(), Text4->text(), Text1->text()};
    accept();
}

PasswordRequestResult PasswordRequest::ask(QWidget* parent, PasswordRequestMode mode,
                                           AdminSecret secret)
{
    PasswordRequest dialog(parent);
    dialog.Impostati(mode, secret);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.result();
}

} // namespace sqllumo::ui
