// The generic passwords dialog, laid out as a grid of captions and plain fields.
#include "GenericPassword.h"

#include "DialogWidth.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <utility>

namespace sqllumo::ui {

GenericPassword::GenericPassword(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(kGenericPasswordTitle);
    WidenForTitle(this);
    setModal(true);
    auto* grid = new QGridLayout(this);
    auto row = [&](const QString& caption, QLabel*& label, QLineEdit*& field, int at) {
        label = new QLabel(caption, this);
        field = new QLineEdit(this);
        field->setMaxLength(kPasswordFieldLength);
        label->setBuddy(field);
        grid->addWidget(label, at, 0);
        grid->addWidget(field, at, 1);
    };
    row(QStringLiteral("Report"), Label1, Text1, 0);
    row(QStringLiteral("Montage"), Label2, Text2, 1);
    row(QStringLiteral("Resource"), Label3, Text3, 2);
    auto* buttons = new QHBoxLayout;
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    Command1->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    grid->addLayout(buttons, 3, 0, 1, 2);
    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Text3);
    setTabOrder(Text3, Command1);
    setTabOrder(Command1, Command2);
    connect(Command1, &QPushButton::clicked, this, [this] { confirm(); });
    connect(Command2, &QPushButton::clicked, this, [this] { reject(); });
}

void GenericPassword::Impostati(const GenericPasswordResult& shown)
{
    result_ = {};
    const std::pair<QLineEdit*, const QString*> fields[] = {{Text1, &shown.reportPasswd},
                                                            {Text2, &shown.montagePasswd},
                                                            {Text3, &shown.resourcePasswd}};
    for (const auto& [field, text] : fields) {
        // A longer password stored by another program is shown whole, so that OK does not
        // save it cut short.
        field->setMaxLength(std::max<int>(kPasswordFieldLength, text->size()));
        field->setText(*text);
    }
    Text1->setFocus();
    adjustSize();
}

void GenericPassword::confirm()
{
    result_ = {Text1->text(), Text2->text(), Text3->text(), true};
    accept();
}

GenericPasswordResult GenericPassword::ask(QWidget* parent, const GenericPasswordResult& shown)
{
    GenericPassword dialog(parent);
    dialog.Impostati(shown);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.result();
}

} // namespace sqllumo::ui
