#pragma once
// The one way operations reach the person. The Qt window implements it; tests use
// ScriptedUserInterface. Nothing here may depend on Qt Widgets.

#include "UserDetails.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace rolefunctionsheet {
class RoleEditorCaller;
class RightsSource;
} // namespace rolefunctionsheet

namespace sqllumo {

namespace dbport {
class Provider;
}

enum class MessageIcon { None, Information, Question, Exclamation, Critical };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MessageResult { Ok, Cancel, Yes, No, Retry };

struct Message {
    QString text;
    // Empty title: the platform shows the application name (validation form).
    QString title;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    // The run's report, under the text in a details area the person can open and copy; open
    // from the start where reportOpen is set. The console prints it as the run's report.
    QString report{};
    bool reportOpen = false;
    // The button Enter presses and Escape stands for; unset: the platform's choice.
    std::optional<MessageResult> defaultAnswer{};
    // The same message: form and text. The report it carries is the run's, compared apart.
    bool operator==(const Message& other) const
    {
        return text == other.text && title == other.title && icon == other.icon &&
               buttons == other.buttons && defaultAnswer == other.defaultAnswer;
    }
};

// State of the progress frame FrImport; the port shows whatever it is given.
struct ProgressState {
    QString caption;
    QString label;
    int minimum = 0;
    int maximum = 100;
    int value = 0;
    bool visible = false;
    // Rows done of rows in the step's current table, where the step counts rows (the meter
    // itself stops at 10000 whatever the table's size).
    long long rowsDone = 0;
    long long rowsTotal = 0;
    bool operator==(const ProgressState&) const = default;
};

struct FileChoice {
    QString title;
    // Qt filter strings, e.g. "Database files (*.mdb)".
    QStringList filters;
    int selectedFilter = 0;
    QString startPath;
};

// The most characters the administrator and generic password fields take.
inline constexpr int kPasswordFieldLength = 10;

// Modes of PasswordRequest: 0 new password twice, 1 one password, 2 old + new twice.
enum class PasswordRequestMode { NewPassword = 0, ConfirmPassword = 1, ChangePassword = 2 };

// Which secret the administrator password request asks for: the archive functions' service
// pass phrase (check A), or the administrator password kept in the password database.
enum class AdminSecret { ArchivePassPhrase, PasswordDatabaseAdmin };

// Exchange fields each dialog hands back; a cancelled dialog returns them empty/false.
struct PasswordRequestResult {
    QString adminPasswd1;
    QString adminPasswd2;
    QString oldPasswd;
    bool operator==(const PasswordRequestResult&) const = default;
};

// What the field-shifting dialog works on.
struct ShiftDialogRequest {
    QString connectionString;             // the archive database
    QString logPath;                      // the shift log
    dbport::Provider* database = nullptr; // the port the shifts go through
    bool operator==(const ShiftDialogRequest&) const = default;
};

// The report, montage and resource passwords as GenericPassword shows and returns them;
// canSave (GenPasswdCanSave) is false after Cancel.
struct GenericPasswordResult {
    QString reportPasswd;
    QString montagePasswd;
    QString resourcePasswd;
    bool canSave = false;
    bool operator==(const GenericPasswordResult&) const = default;
};

class UserInterface {
public:
    virtual ~UserInterface() = default;

    virtual MessageResult showMessage(const Message& message) = 0;
    virtual void setBusy(bool busy) = 0;
    virtual void processPendingEvents() = 0;
    // True once the person asked the running function to stop (noticed while pending events
    // were let through, or by a signal on the console). Only functions that can stop between
    // two steps ask; the others run to their end.
    virtual bool stopRequested() { return false; }
    virtual void showProgress(const ProgressState& state) = 0;
    // std::nullopt when the person cancels.
    virtual std::optional<QString> chooseFile(const FileChoice& choice) = 0;

    // Modal dialogs. Later dialogs join here the same way: a request struct in,
    // their exchange fields out.
    virtual PasswordRequestResult passwordRequest(PasswordRequestMode mode, AdminSecret secret) = 0;
    // The field-shifting dialog: true when it moved fields (SpostatiCampiDB).
    virtual bool shiftDatabaseFields(const ShiftDialogRequest& request) = 0;
    // The user details dialog; a front end without it hands back nothing confirmed.
    virtual UserDetailsResult userDetails(const UserDetailsRequest& request);
    // The role-function editor over the rights source; returns when it has closed. A front
    // end without it throws std::runtime_error, which the dispatcher's trap shows.
    virtual void roleFunctionSheet(const QString& roleName,
                                   rolefunctionsheet::RoleEditorCaller& caller,
                                   rolefunctionsheet::RightsSource& rights);
    // Shows the three generic passwords in plain text for editing (canSave of `shown` unused);
    // a front end without the dialog hands back a cancel.
    virtual GenericPasswordResult genericPassword(const GenericPasswordResult& shown);
};

} // namespace sqllumo
