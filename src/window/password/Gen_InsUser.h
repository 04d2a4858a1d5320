#pragma once
// The user details dialog "User information": name and password, role, names and title,
// birth date, type and position. OK checks what was typed; every way of closing hands the
// boxes back, and only OK counts as confirmation.

#include "ListControl.h"
#include "UserDetails.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace sqllumo::ui {

// A combo box seen as the list the role members fill.
class ComboListControl : public password::ListControl {
public:
    explicit ComboListControl(QComboBox* combo) : combo_(combo) {}
    void clear() override;
    void AddItem(const QString& item) override;
    int ListCount() const override;
    int ListIndex() const override;
    void setListIndex(int index) override;

private:
    QComboBox* combo_;
};

class Gen_InsUser : public QDialog {
    Q_OBJECT
public:
    // Fills the role list; it is given the connection of the request.
    using RoleFiller =
        std::function<void(const UserDetailsRequest& request, password::ListControl& list)>;

    explicit Gen_InsUser(QWidget* parent = nullptr);

    void Impostati(const UserDetailsRequest& request, const RoleFiller& fillRoles);
    // The exchange fields as the boxes hold them now; InserisciUser is true only after OK.
    UserDetailsResult result() const;

    // Shows the dialog modally for the request: the port's user details dialog.
    static UserDetailsResult ask(QWidget* parent, const UserDetailsRequest& request,
                                 const RoleFiller& fillRoles);

    QGroupBox* Frame7 = nullptr; // "User Name/Password"
    QLabel* Label2 = nullptr;
    QLineEdit* Text2 = nullptr; // user name
    QLabel* Label3 = nullptr;
    QLineEdit* Text3 = nullptr; // password
    QLabel* Label4 = nullptr;
    QLineEdit* Text4 = nullptr;        // confirmation
    QGroupBox* Frame6 = nullptr;       // "Access type"
    QComboBox* Combo1 = nullptr;       // roles
    QGroupBox* Frame2 = nullptr;       // "Name/Title"
    QLineEdit* Text1_4 = nullptr;      // first name
    QLineEdit* Text1_5 = nullptr;      // last name
    QLineEdit* Text1_8 = nullptr;      // title
    QGroupBox* Frame5 = nullptr;       // "Birthday"
    QComboBox* Comdate_0 = nullptr;    // year
    QComboBox* Comdate_1 = nullptr;    // month
    QComboBox* Comdate_2 = nullptr;    // day
    QGroupBox* Frame3 = nullptr;       // "Type"
    QRadioButton* Option1_0 = nullptr; // Doctor
    QRadioButton* Option1_1 = nullptr; // Technician
    QGroupBox* Frame4 = nullptr;       // "Position"
    QRadioButton* Option1_2 = nullptr; // Internal
    QRadioButton* Option1_3 = nullptr; // External
    QPushButton* Command1 = nullptr;   // OK
    QPushButton* Command2 = nullptr;   // cancel

private:
    void confirm();
    UserDetailsBoxes boxes() const;

    bool confirmed_ = false;
};

} // namespace sqllumo::ui
