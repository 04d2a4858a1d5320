#pragma once
// The administrator password request: one, two or three masked fields of at most 10
// characters, arranged by the purpose of the request.

#include "UserInterface.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace sqllumo::ui {

inline const QString kPasswordRequestTitle =
    QStringLiteral("Corvista Network Administrator Password Request");

class PasswordRequest : public QDialog {
    Q_OBJECT
public:
    explicit PasswordRequest(QWidget* parent = nullptr);

    // Arranges the fields for the purpose, says which secret is asked, and forgets anything
    // typed before.
    void Impostati(PasswordRequestMode mode,
                   AdminSecret secret = AdminSecret::PasswordDatabaseAdmin);
    // What OK handed back; empty after cancel.
    PasswordRequestResult result() const { return result_; }

    // Shows the dialog modally for the purpose: the port's password request.
    static PasswordRequestResult ask(QWidget* parent, PasswordRequestMode mode, AdminSecret secret);

    QLabel* Prompt = nullptr; // which password is asked
    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr; // Old Password
    QLabel* Label3 = nullptr;
    QLineEdit* Text3 = nullptr; // Password
    QLabel* Label4 = nullptr;
    QLineEdit* Text4 = nullptr; // Confirm Password
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

private:
    void confirm();

    PasswordRequestResult result_;
};

} // namespace sqllumo::ui
