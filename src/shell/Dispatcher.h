#pragma once
// The operation dispatcher: OK runs the function of the active catalogue at the selected
// index inside the common frame (error traps, completion steps, report log). The functions
// come as a list of descriptors and the database as a port, so this layer knows no database.

#include "FunctionDescriptor.h"
#include "Operation.h"

#include <QString>
#include <optional>

namespace sqllumo {

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

class Dispatcher {
public:
    Dispatcher(WindowState& state, UserInterface& ui, PanelHost& host, QString windowCaption,
               FunctionList functions, OperationServices services);

    // Folder of the report log; empty = the program's folder.
    void setLogFolder(const QString& folder)
    {
        logFolder_ = folder;
        services_.logFolder = folder;
    }

    // OK on the panel: the function of the active catalogue at index. nullopt when there is
    // none (an index outside the catalogue, or a function without an operation yet).
    std::optional<OperationOutcome> ok(int index);
    // Runs work with the context OK would give the active catalogue's function at index (the
    // panel's buttons besides OK); a failure shows as the generic trap, nothing is logged.
    // False when there is no such function.
    bool withContext(int index, const std::function<void(OperationContext&)>& work);

private:
    void completionSteps();
    void showTrapped(long long number, const QString& description, bool duringConnection,
                     const QString& failedStep = {});
    // The function's closing message, with the run's summary and report as its details.
    void showClosing(const OperationOutcome& outcome, const FunctionDescriptor& function);

    WindowState& state_;
    UserInterface& ui_;
    PanelHost& host_;
    QString caption_;
    QString logFolder_;
    FunctionList functions_;
    OperationServices services_;
};

} // namespace sqllumo
