// The generic passwords dialog: the report, montage and resource passwords in plain fields of
// at most 10 characters, handed back only when confirmed with OK.
#pragma once

#include "UserInterface.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace sqllumo::ui {

inline const QString kGenericPasswordTitle = QStringLiteral("Generic Passwords");

class GenericPassword : public QDialog {
    Q_OBJECT
public:
    explicit GenericPassword(QWidget* parent = nullptr);

    // Fills the three fields from what the caller shows.
    void Impostati(const GenericPasswordResult& shown);
    // The three fields and GenPasswdCanSave as OK or Cancel left them.
    GenericPasswordResult result() const { return result_; }

    // Shows the dialog modally: the port's generic password dialog.
    static GenericPasswordResult ask(QWidget* parent, const GenericPasswordResult& shown);

    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr; // Report
    QLabel* Label2 = nullptr;
    QLineEdit* Text2 = nullptr; // Montage
    QLabel* Label3 = nullptr;
    QLineEdit* Text3 = nullptr; // Resource
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

private:
    void confirm();

    GenericPasswordResult result_;
};

} // namespace sqllumo::ui
