#pragma once
// What one catalogue function gets when OK is pressed (OperationContext: the panel, the person,
// the window state and the program's services) and what it hands back (OperationOutcome).

#include "Messages.h"
#include "UserInterface.h"
#include "WindowState.h"

#include <QString>
#include <functional>
#include <optional>
#include <utility>

namespace sqllumo {

namespace dbport {
class Provider;
}
struct FunctionDescriptor;
class Settings;
class TestResultRegistry;

// What the input panel holds when OK is pressed.
struct PanelValues {
    QString server;      // Text1(0)
    QString database;    // Text1(1)
    QString thirdField;  // Text1(2)
    QString fourthField; // Text1(3)
    QString user;        // SQLUserName
    QString password;    // SQLPsw
    QString selection;   // Combo1
    // The import's check box: the patients' photos copied as well.
    bool copyPhotos = false;
    // The restore's backup set: its position in the file; 0 = the newest full backup.
    int backupSet = 0;
};

enum class OperationEnd {
    Completed,        // reached its end: completion steps
    InformationShown, // reached its end showing a result over the open panel
    PanelOpen,        // validation message, refusal or cancelled question: nothing else happens
    PanelClosed,      // closed as Cancel closes it; nothing logged
    Trapped,          // a run-time failure: the generic or the connection trap
};

struct OperationOutcome {
    OperationEnd end = OperationEnd::Completed;
    QString information;
    long long errorNumber = 0;
    QString errorDescription;
    bool duringConnection = false;
    // Reached its end without doing all it was asked (an import not fully copied).
    bool incomplete = false;
    // Ended early because the person asked it to stop (incomplete as well).
    bool stopped = false;
    // The person declined its question (or nobody could answer it): nothing was done.
    bool declined = false;
    // A function that judges what it looked at (the structure test): the findings of this
    // run, printed by the console, and how many of them are problems.
    struct Verdict {
        QString findings;
        int problems = 0;
    };
    std::optional<Verdict> verdict{};
    // The message that ends the function: shown by the dispatcher once the function has
    // returned, when the report is complete, with the report under it.
    std::optional<Message> closing{};
    // Lines put before the report's wherever the run's report is shown (not in the log): what
    // the run found, its problems first.
    QString summary{};
    // Trapped: the step that failed and what the person can do, shown before the server's text.
    QString failedStep{};

    static OperationOutcome completed() { return {}; }
    static OperationOutcome panelOpen()
    {
        return {OperationEnd::PanelOpen, {}, 0, {}, false, false};
    }
    static OperationOutcome panelClosed()
    {
        return {OperationEnd::PanelClosed, {}, 0, {}, false, false};
    }
    static OperationOutcome informationShown(QString text)
    {
        return {OperationEnd::InformationShown, std::move(text), 0, {}, false, false};
    }
    static OperationOutcome trapped(long long number, QString description, bool duringConnection)
    {
        return {OperationEnd::Trapped, {}, number, std::move(description), duringConnection, false};
    }
    // Reached its end; the dispatcher shows the message with the run's report.
    static OperationOutcome closedBy(Message message)
    {
        OperationOutcome outcome;
        outcome.closing = std::move(message);
        return outcome;
    }
    // True when the function ran to its end (the console front end's exit status 0).
    bool reachedEnd() const
    {
        return end == OperationEnd::Completed || end == OperationEnd::InformationShown;
    }
};

// The program's parts an operation works with, handed in by the front end that runs it.
struct OperationServices {
    // Unset, an operation that asks for one of these ends in the generic trap.
    dbport::Provider* database = nullptr;
    Settings* settings = nullptr;
    TestResultRegistry* registry = nullptr;
    // Step 2 of access check B: true when the password database accepts the administrator
    // password; throws db::Error when the password database cannot be reached or the login is
    // refused, which the check tells apart from a wrong password. Unset, check B refuses.
    std::function<bool(class OperationContext&, const QString& adminPassword)> verifyAdminPassword;
    // Folder of the program's logs; empty = the program's folder.
    QString logFolder;
};

// The settings of a function that works on one database: server, database name, user and
// password, as the panel holds them.
void StoreDatabaseSettings(Settings& settings, const PanelValues& panel);

class OperationContext;
using Operation = std::function<OperationOutcome(OperationContext&)>;

// Everything a function may use during one OK press.
class OperationContext {
public:
    OperationContext(UserInterface& ui, WindowState& state, PanelValues panel, QString caption,
                     const FunctionDescriptor& function, const OperationServices& services);

    UserInterface& ui() { return ui_; }
    WindowState& state() { return state_; }
    ReportBuffer& report() { return state_.report(); }
    const PanelValues& panel() const { return panel_; }
    const QString& windowCaption() const { return caption_; }
    // The descriptor of the function running.
    const FunctionDescriptor& function() const { return function_; }
    // These throw when the front end handed in none.
    dbport::Provider& database();
    // The stored settings the panel was pre-filled from.
    Settings& settings();
    // Where the archive creation and the structure test leave their findings.
    TestResultRegistry& registry();
    // Folder of the program's logs; empty = the program's folder.
    const QString& logFolder() const;

    void busy() { ui_.setBusy(true); }
    void pointerDefault() { ui_.setBusy(false); }
    // The validation form: pointer reset, OK, no title; the panel stays open.
    OperationOutcome validation(const QString& text);
    void success(const QString& text);
    void error(const QString& text);
    // The success and error forms as the message that ends the function (closing): the
    // pointer back to default, the message left to the dispatcher.
    OperationOutcome succeeded(const QString& text);
    // The report's lines (what the function changed) as the success message that ends it; a
    // change that did not happen left no line, and the function ends without a message.
    OperationOutcome succeededAsReported();
    OperationOutcome failed(const QString& text);
    void access(const QString& text);
    // OK and Cancel, title "Warning", no icon: true when OK was pressed.
    bool warningQuestion(const QString& text);

    // The access check the function's descriptor names, made at the step the operation calls
    // it: none passes; A compares the administrator password with the archive pass phrase
    // without regard to case; B asks the password database. The request dialog comes first
    // when no password is confirmed yet. Shows the refusal itself; false means the function
    // must end.
    bool accessCheck();
    // The two parts of accessCheck, for a function that asks its question between them.
    // Step 1 of both checks; false (message shown) when nothing was confirmed.
    bool requestAdminPassword();
    // Step 2: the confirmed password compared; a refusal is shown and forgets it.
    bool verifyAdminPassword();
    // The request dialog in the given mode; what it hands back goes into the exchange fields
    // AdminPasswd1, AdminPasswd2 and OldPasswd (all empty after cancel).
    void requestPasswords(PasswordRequestMode mode);

private:
    UserInterface& ui_;
    WindowState& state_;
    PanelValues panel_;
    QString caption_;
    const FunctionDescriptor& function_;
    const OperationServices& services_;
};

} // namespace sqllumo
