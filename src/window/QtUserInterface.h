#pragma once
// The UserInterface port on real widgets.

#include "UserInterface.h"

#include <functional>

class QWidget;
class QGroupBox;
class QLabel;
class QProgressBar;

class QMessageBox;

namespace sqllumo::ui {

class QtUserInterface : public UserInterface {
public:
    // parent owns the message boxes and dialogs; the progress frame's widgets may be null.
    QtUserInterface(QWidget* parent, QGroupBox* progressFrame, QLabel* progressLabel,
                    QProgressBar* progressBar);

    MessageResult showMessage(const Message& message) override;
    void setBusy(bool busy) override;
    void processPendingEvents() override;
    bool stopRequested() override { return stopRequested_; }
    // The person asked the running function to stop; cleared when the next one starts.
    void requestStop() { stopRequested_ = true; }
    void clearStopRequest() { stopRequested_ = false; }
    void showProgress(const ProgressState& state) override;
    std::optional<QString> chooseFile(const FileChoice& choice) override;
    PasswordRequestResult passwordRequest(PasswordRequestMode mode, AdminSecret secret) override;
    bool shiftDatabaseFields(const ShiftDialogRequest& request) override;
    UserDetailsResult userDetails(const UserDetailsRequest& request) override;
    void roleFunctionSheet(const QString& roleName, rolefunctionsheet::RoleEditorCaller& caller,
                           rolefunctionsheet::RightsSource& rights) override;
    GenericPasswordResult genericPassword(const GenericPasswordResult& shown) override;

    // The password dialog belongs to the password area; until it is connected, a request
    // returns nothing typed, which every caller treats as "not confirmed".
    using PasswordDialog =
        std::function<PasswordRequestResult(QWidget*, PasswordRequestMode, AdminSecret)>;
    void setPasswordDialog(PasswordDialog dialog) { passwordDialog_ = std::move(dialog); }

    // The field-shifting dialog lives with field shifting; until it is connected, nothing is
    // shifted.
    using ShiftDialog = std::function<bool(QWidget*, const ShiftDialogRequest&)>;
    void setShiftDialog(ShiftDialog dialog) { shiftDialog_ = std::move(dialog); }
    // The user details dialog and the role editor live in the password area and in the
    // editor library; the program connects them. Unconnected, the port's defaults apply.
    using UserDetailsDialog = std::function<UserDetailsResult(QWidget*, const UserDetailsRequest&)>;
    void setUserDetailsDialog(UserDetailsDialog dialog) { userDetailsDialog_ = std::move(dialog); }
    using RoleEditor =
        std::function<void(QWidget*, const QString&, rolefunctionsheet::RoleEditorCaller&,
                           rolefunctionsheet::RightsSource&)>;
    void setRoleEditor(RoleEditor editor) { roleEditor_ = std::move(editor); }
    // The generic passwords dialog, from the password area as well; unconnected, it counts as
    // cancelled.
    using GenericPasswordDialog =
        std::function<GenericPasswordResult(QWidget*, const GenericPasswordResult&)>;
    void setGenericPasswordDialog(GenericPasswordDialog dialog)
    {
        genericPasswordDialog_ = std::move(dialog);
    }

    // Test hook: replaces the native file dialog.
    using FileDialog = std::function<std::optional<QString>(QWidget*, const FileChoice&)>;
    void setFileDialog(FileDialog dialog) { fileDialog_ = std::move(dialog); }

private:
    QWidget* parent_;
    QGroupBox* progressFrame_;
    QLabel* progressLabel_;
    QProgressBar* progressBar_;
    bool busy_ = false;
    bool stopRequested_ = false;
    PasswordDialog passwordDialog_;
    ShiftDialog shiftDialog_;
    UserDetailsDialog userDetailsDialog_;
    RoleEditor roleEditor_;
    GenericPasswordDialog genericPasswordDialog_;
    FileDialog fileDialog_;
};

// CR, LF and CR LF as the line breaks a label shows.
QString displayText(QString text);

// The run's report as the box's details, in a fixed-width font, opened when open is set.
void showReport(QMessageBox& box, const QString& report, bool open);

} // namespace sqllumo::ui
