#pragma once
// The operation dispatcher: OK runs the function of the active catalogue at the selected
// index inside the common frame (error traps, access check, completion steps, report log).
// The functions themselves are registered by the libraries that implement them, so this
// layer knows no database.

#include "Messages.h"
#include "UserInterface.h"
#include "WindowState.h"

#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace sqllumo {

// What the input panel holds when OK is pressed.
struct PanelValues {
    QString server;      // Text1(0)
    QString database;    // Text1(1)
    QString thirdField;  // Text1(2)
    QString fourthField; // Text1(3)
    QString user;        // SQLUserName
    QString password;    // SQLPsw
    QString selection;   // Combo1
};

// The visible steps of the frame, done by whichever front end shows the panel.
class PanelHost {
public:
    virtual ~PanelHost() = default;
    virtual PanelValues panelValues() const = 0;
    // As the panel's Cancel: panel and result text hidden, the list shown, the other
    // catalogue usable again.
    virtual void closePanel() = 0;
    // The other catalogue's menu item and picture button enabled again.
    virtual void enableOtherCatalogue() = 0;
    // The result text shown over the open panel, OK hidden.
    virtual void showInformation(const QString& text) = 0;
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

    static OperationOutcome completed() { return {}; }
    static OperationOutcome panelOpen() { return {OperationEnd::PanelOpen, {}, 0, {}, false}; }
    static OperationOutcome panelClosed() { return {OperationEnd::PanelClosed, {}, 0, {}, false}; }
    static OperationOutcome informationShown(QString text)
    {
        return {OperationEnd::InformationShown, std::move(text), 0, {}, false};
    }
    static OperationOutcome trapped(long long number, QString description, bool duringConnection)
    {
        return {OperationEnd::Trapped, {}, number, std::move(description), duringConnection};
    }
    // True when the function ran to its end (the console front end's exit status 0).
    bool reachedEnd() const
    {
        return end == OperationEnd::Completed || end == OperationEnd::InformationShown;
    }
};

// Everything a function may use during one OK press.
class OperationContext {
public:
    OperationContext(UserInterface& ui, WindowState& state, PanelValues panel, QString caption)
        : ui_(ui), state_(state), panel_(std::move(panel)), caption_(std::move(caption))
    {
    }

    UserInterface& ui() { return ui_; }
    WindowState& state() { return state_; }
    ReportBuffer& report() { return state_.report(); }
    const PanelValues& panel() const { return panel_; }
    const QString& windowCaption() const { return caption_; }

    void busy() { ui_.setBusy(true); }
    void pointerDefault() { ui_.setBusy(false); }
    // The validation form: pointer reset, OK, no title; the panel stays open.
    OperationOutcome validation(const QString& text);
    void success(const QString& text);
    void error(const QString& text);
    void access(const QString& text);
    // OK and Cancel, title "Warning", no icon: true when OK was pressed.
    bool warningQuestion(const QString& text);

    // The administrator check of the archive catalogue: the request dialog when no password
    // is confirmed yet, then the pass phrase compared without regard to case. Shows the
    // refusal itself; false means the function must end.
    bool accessCheckA();

private:
    UserInterface& ui_;
    WindowState& state_;
    PanelValues panel_;
    QString caption_;
};

class Dispatcher {
public:
    using Function = std::function<OperationOutcome(OperationContext&)>;

    Dispatcher(WindowState& state, UserInterface& ui, PanelHost& host, QString windowCaption);

    void setFunction(MenuMode mode, int index, Function function);
    bool hasFunction(MenuMode mode, int index) const;
    // Folder of the report log; empty = the program's folder.
    void setLogFolder(const QString& folder) { logFolder_ = folder; }

    // OK on the panel: the function of the active catalogue at index. nullopt when there is
    // none (an index outside the catalogue, or a function this build does not carry).
    std::optional<OperationOutcome> ok(int index);

private:
    void completionSteps();
    void showTrapped(long long number, const QString& description, bool duringConnection);

    WindowState& state_;
    UserInterface& ui_;
    PanelHost& host_;
    QString caption_;
    QString logFolder_;
    std::map<std::pair<int, int>, Function> functions_;
};

namespace texts {
// The log file could not be written (the platform's file access error).
inline constexpr long long kLogWriteErrorNumber = 75;
} // namespace texts

} // namespace sqllumo
