#pragma once
// The UserInterface port on a terminal: messages printed with their kind and title, questions
// answered by --yes, by the person at the terminal, or No when there is none.

#include "CommandLine.h"
#include "Dispatcher.h"
#include "UserInterface.h"

#include <QString>
#include <QTextStream>
#include <optional>

namespace sqllumo::cli {

// The terminal the questions go to; separate from standard input, which may carry a password.
class Terminal {
public:
    virtual ~Terminal() = default;
    virtual bool available() = 0;
    // One line typed, without its line end; nullopt when nothing can be read.
    virtual std::optional<QString> readLine(const QString& prompt, bool hidden) = 0;
};

// /dev/tty of the process.
class ControllingTerminal : public Terminal {
public:
    bool available() override;
    std::optional<QString> readLine(const QString& prompt, bool hidden) override;
};

class ConsoleUserInterface : public UserInterface {
public:
    // adminPassword: read from --admin-password-file, when given.
    ConsoleUserInterface(QTextStream& out, Terminal& terminal, bool answerYes,
                         std::optional<QString> adminPassword);
    // Where the dialogs answered from the command line write their refusals (default: out).
    void setRefusalStream(QTextStream& err) { err_ = &err; }
    // Progress on one line rewritten in place (a terminal), or a plain line per table.
    void setProgressInPlace(bool inPlace) { progressInPlace_ = inPlace; }

    MessageResult showMessage(const Message& message) override;
    void setBusy(bool) override {}
    void processPendingEvents() override {}
    // SIGINT or SIGTERM arrived (InstallStopSignals).
    bool stopRequested() override;
    void showProgress(const ProgressState& state) override;
    std::optional<QString> chooseFile(const FileChoice&) override { return std::nullopt; }
    // Mode 2 takes the old password from the administrator password and the new one, twice,
    // from setNewAdminPassword; without them both are asked at the terminal.
    PasswordRequestResult passwordRequest(PasswordRequestMode mode, AdminSecret secret) override;
    // Runs the shift chosen on the command line as the dialog's Apply runs it.
    bool shiftDatabaseFields(const ShiftDialogRequest& request) override;
    // The console option naming the shift, and its value.
    void setShiftChoice(std::optional<std::pair<QString, QString>> choice)
    {
        shiftChoice_ = std::move(choice);
    }

    // Prints the three passwords and hands back the edits given; saved only when there is one.
    GenericPasswordResult genericPassword(const GenericPasswordResult& shown) override;

    void setNewAdminPassword(std::optional<QString> password)
    {
        newAdminPassword_ = std::move(password);
    }
    struct GenericEdits {
        std::optional<QString> reportPasswd, montagePasswd, resourcePasswd;
    };
    void setGenericEdits(GenericEdits edits) { genericEdits_ = std::move(edits); }

    // The user details dialog answered from the user options, with the password read from
    // --user-password-file: its boxes as the window loads them, then the options given, then
    // its OK with its checks (a failing one is shown and hands back nothing confirmed). The
    // role given must be one the database lists (CheckListedNames).
    UserDetailsResult userDetails(const UserDetailsRequest& request) override;
    // The role editor answered from --name, --grant, --revoke and --rename, confirmed; a
    // function name no cell of the matrix has refuses it all. A locked role is only looked at.
    void roleFunctionSheet(const QString& roleName, rolefunctionsheet::RoleEditorCaller& caller,
                           rolefunctionsheet::RightsSource& rights) override;
    void setUserRoleOptions(UserRoleOptions options, std::optional<QString> userPassword)
    {
        userRole_ = std::move(options);
        userPassword_ = std::move(userPassword);
    }

    // An error was shown, a shift failed or was declined, or a dialog answered from the
    // command line refused what it was given.
    bool criticalShown() const { return criticalShown_; }
    // How a message is printed: "<kind> [<title>] <text>", line breaks as new lines.
    static QString format(const Message& message);

private:
    QTextStream& out_;
    QTextStream* err_;
    Terminal& terminal_;
    bool answerYes_;
    std::optional<QString> adminPassword_;
    std::optional<QString> newAdminPassword_;
    GenericEdits genericEdits_;
    UserRoleOptions userRole_;
    std::optional<QString> userPassword_;
    bool criticalShown_ = false;
    std::optional<std::pair<QString, QString>> shiftChoice_;
    bool progressInPlace_ = false;
    QString progressLabel_;
    bool progressLineOpen_ = false;
    qint64 progressStartMs_ = 0;
    qint64 progressDrawnMs_ = 0;
    // The in-place line is redrawn at most this often, and always for a new label and the
    // last row.
    static constexpr qint64 kProgressRedrawMs = 100;
};

// The panel's visible steps on a terminal: the report is kept for printing at the end.
class ConsoleHost : public PanelHost {
public:
    ConsoleHost(PanelValues values, WindowState& state) : values_(std::move(values)), state_(state)
    {
    }
    PanelValues panelValues() const override { return values_; }
    // Called just before the report is written to the log, so the text is still there.
    void closePanel() override { report_ = state_.report().text(); }
    void enableOtherCatalogue() override {}
    void showInformation(const QString& text) override { report_ = text; }
    // The report of the run: what was logged, or what stayed in the buffer.
    QString report() const { return report_.isEmpty() ? state_.report().text() : report_; }

private:
    PanelValues values_;
    WindowState& state_;
    QString report_;
};

} // namespace sqllumo::cli
