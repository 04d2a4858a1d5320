// The user details dialog: its frames and limits, the role list, the four checks of OK in
// their order, and the exchange fields handed back on closing.

#include "Gen_InsUser.h"

#include "DialogWidth.h"

#include "Messages.h"
#include "QtUserInterface.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>

namespace sqllumo::ui {

namespace {

using namespace userdetails;

QLineEdit* lineEdit(QWidget* parent, int maxLength, bool masked = false)
{
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(maxLength);
    // Room for a usual name at any font size.
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 16);
    if (masked)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

// Puts a stored value into its box whole: the box's limit holds for what is typed new, and
// is widened for this value only, so saving it again never shortens it.
void showStored(QLineEdit* edit, int limit, const QString& value)
{
    edit->setMaxLength(std::max(limit, static_cast<int>(value.size())));
    edit->setText(value);
}

// An editable list of numbers, empty until something is chosen or typed.
QComboBox* numberBox(QWidget* parent, int first, int last)
{
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    for (int n = first; n <= last; ++n)
        box->addItem(QString::number(n));
    box->setCurrentIndex(-1);
    return box;
}

} // namespace

void ComboListControl::clear()
{
    combo_->clear();
}

void ComboListControl::AddItem(const QString& item)
{
    combo_->addItem(item);
}

int ComboListControl::ListCount() const
{
    return combo_->count();
}

int ComboListControl::ListIndex() const
{
    return combo_->currentIndex();
}

void ComboListControl::setListIndex(int index)
{
    combo_->setCurrentIndex(index);
}

Gen_InsUser::Gen_InsUser(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(userdetails::kTitle);
    WidenForTitle(this);
    setModal(true);

    Frame7 = new QGroupBox(QStringLiteral("User Name/Password"), this);
    auto* account = new QGridLayout(Frame7);
    Label2 = new QLabel(QStringLiteral("UserName"), Frame7);
    Text2 = lineEdit(Frame7, kUserNameLength);
    Label3 = new QLabel(QStringLiteral("Password"), Frame7);
    Text3 = lineEdit(Frame7, kPasswordLength, true);
    Label4 = new QLabel(QStringLiteral("Confirm Password"), Frame7);
    Text4 = lineEdit(Frame7, kPasswordLength, true);
    const std::pair<QLabel*, QLineEdit*> accountRows[] = {
        {Label2, Text2}, {Label3, Text3}, {Label4, Text4}};
    for (int row = 0; row < 3; ++row) {
        accountRows[row].first->setBuddy(accountRows[row].second);
        account->addWidget(accountRows[row].first, row, 0);
        account->addWidget(accountRows[row].second, row, 1);
    }

    Frame6 = new QGroupBox(QStringLiteral("Access type"), this);
    auto* access = new QVBoxLayout(Frame6);
    Combo1 = new QComboBox(Frame6);
    access->addWidget(Combo1);

    Frame2 = new QGroupBox(QStringLiteral("Name/Title"), this);
    auto* names = new QGridLayout(Frame2);
    Text1_4 = lineEdit(Frame2, kNameLength);
    Text1_5 = lineEdit(Frame2, kNameLength);
    Text1_8 = lineEdit(Frame2, kTitleLength);
    const std::pair<const char*, QLineEdit*> nameRows[] = {
        {"First", Text1_4}, {"Last", Text1_5}, {"Title", Text1_8}};
    for (int row = 0; row < 3; ++row) {
        auto* label = new QLabel(QString::fromLatin1(nameRows[row].first), Frame2);
        label->setBuddy(nameRows[row].second);
        names->addWidget(label, row, 0);
        names->addWidget(nameRows[row].second, row, 1);
    }

    Frame5 = new QGroupBox(QStringLiteral("Birthday"), this);
    auto* birthday = new QGridLayout(Frame5);
    Comdate_0 = numberBox(Frame5, kFirstListedYear, QDate::currentDate().year());
    Comdate_1 = numberBox(Frame5, 1, 12);
    Comdate_2 = numberBox(Frame5, 1, 31);
    const std::pair<const char*, QComboBox*> dateColumns[] = {
        {"Year", Comdate_0}, {"Month", Comdate_1}, {"Day", Comdate_2}};
    for (int column = 0; column < 3; ++column) {
        auto* label = new QLabel(QString::fromLatin1(dateColumns[column].first), Frame5);
        label->setBuddy(dateColumns[column].second);
        birthday->addWidget(label, 0, column);
        birthday->addWidget(dateColumns[column].second, 1, column);
    }

    Frame3 = new QGroupBox(QStringLiteral("Type"), this);
    auto* type = new QVBoxLayout(Frame3);
    Option1_0 = new QRadioButton(kDoctor, Frame3);
    Option1_1 = new QRadioButton(kTechnician, Frame3);
    type->addWidget(Option1_0);
    type->addWidget(Option1_1);

    Frame4 = new QGroupBox(QStringLiteral("Position"), this);
    auto* position = new QVBoxLayout(Frame4);
    Option1_2 = new QRadioButton(kInternal, Frame4);
    Option1_3 = new QRadioButton(kExternal, Frame4);
    position->addWidget(Option1_2);
    position->addWidget(Option1_3);

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command2 = new QPushButton(QStringLiteral("cancel"), this);
    Command1->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Frame7, 0, 0);
    grid->addWidget(Frame6, 1, 0);
    grid->addWidget(Frame2, 0, 1);
    grid->addWidget(Frame5, 1, 1);
    auto* choices = new QHBoxLayout;
    choices->addWidget(Frame3);
    choices->addWidget(Frame4);
    grid->addLayout(choices, 2, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    grid->addLayout(buttons, 3, 0, 1, 2);
    // Never narrower than the boxes and their captions need, also where the window system
    // first offers less (a small screen), so no caption is cut off.
    grid->setSizeConstraint(QLayout::SetMinimumSize);

    connect(Command1, &QPushButton::clicked, this, [this] { confirm(); });
    connect(Command2, &QPushButton::clicked, this, [this] { reject(); });
}

void Gen_InsUser::Impostati(const UserDetailsRequest& request, const RoleFiller& fillRoles)
{
    confirmed_ = false;
    Combo1->clear();
    if (fillRoles) {
        ComboListControl roles(Combo1);
        fillRoles(request, roles);
    }
    QStringList roles;
    for (int i = 0; i < Combo1->count(); ++i)
        roles << Combo1->itemText(i);
    const UserDetailsBoxes loaded = LoadedUserDetails(request, roles);
    const bool change = request.mode == UserDetailsMode::ChangeUser;
    Text2->setEnabled(!change);
    Label2->setEnabled(!change);
    const std::tuple<QLineEdit*, int, const QString&> texts[] = {
        {Text2, kUserNameLength, loaded.userName},     {Text3, kPasswordLength, loaded.password},
        {Text4, kPasswordLength, loaded.confirmation}, {Text1_5, kNameLength, loaded.lastName},
        {Text1_4, kNameLength, loaded.firstName},      {Text1_8, kTitleLength, loaded.title}};
    for (const auto& [edit, limit, value] : texts)
        showStored(edit, limit, value);
    const std::pair<QComboBox*, QString> dateBoxes[] = {
        {Comdate_0, loaded.year}, {Comdate_1, loaded.month}, {Comdate_2, loaded.day}};
    for (const auto& [box, text] : dateBoxes) {
        box->setCurrentIndex(-1);
        if (!text.isEmpty())
            box->setEditText(text);
    }
    Combo1->setCurrentIndex(loaded.role ? static_cast<int>(roles.indexOf(*loaded.role)) : -1);
    (loaded.technician ? Option1_1 : Option1_0)->setChecked(true);
    (loaded.internal ? Option1_2 : Option1_3)->setChecked(true);
    (change ? Text3 : Text2)->setFocus();
}

UserDetailsBoxes Gen_InsUser::boxes() const
{
    UserDetailsBoxes b;
    b.userName = Text2->text();
    b.password = Text3->text();
    b.confirmation = Text4->text();
    if (Combo1->currentIndex() >= 0)
        b.role = Combo1->currentText();
    b.firstName = Text1_4->text();
    b.lastName = Text1_5->text();
    b.title = Text1_8->text();
    b.year = Comdate_0->currentText();
    b.month = Comdate_1->currentText();
    b.day = Comdate_2->currentText();
    b.technician = Option1_1->isChecked();
    b.internal = Option1_2->isChecked();
    return b;
}

void Gen_InsUser::confirm()
{
    if (const QString failed = FirstFailedUserDetailsCheck(boxes()); !failed.isEmpty()) {
        confirmed_ = false;
        QtUserInterface(this, nullptr, nullptr, nullptr).showMessage(accessMessage(failed));
        return;
    }
    confirmed_ = true;
    accept();
}

UserDetailsResult Gen_InsUser::result() const
{
    return UserDetailsFromBoxes(boxes(), confirmed_);
}

UserDetailsResult Gen_InsUser::ask(QWidget* parent, const UserDetailsRequest& request,
                                   const RoleFiller& fillRoles)
{
    Gen_InsUser dialog(parent);
    dialog.Impostati(request, fillRoles);
    dialog.exec();
    return dialog.result();
}

} // namespace sqllumo::ui
