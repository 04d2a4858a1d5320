// The common frame around every catalogue function: the generic trap for what escapes it, then
// the completion steps, the information view or nothing, as the function ended.
#include "Dispatcher.h"

#include "Error.h"
#include "ReportLog.h"

#include <exception>

namespace sqllumo {

Dispatcher::Dispatcher(WindowState& state, UserInterface& ui, PanelHost& host,
                       QString windowCaption, FunctionList functions, OperationServices services)
    : state_(state), ui_(ui), host_(host), caption_(std::move(windowCaption)),
      functions_(std::move(functions)), services_(std::move(services))
{
}

void Dispatcher::showTrapped(long long number, const QString& description, bool duringConnection,
                             const QString& failedStep)
{
    ui_.setBusy(false);
    ui_.showMessage(
        trappedErrorMessage(caption_, number, description, duringConnection, failedStep));
}

void Dispatcher::showClosing(const OperationOutcome& outcome, const FunctionDescriptor& function)
{
    if (!outcome.closing)
        return;
    ui_.setBusy(false);
    Message message = *outcome.closing;
    message.report = RunDetails(outcome.summary, state_.report().text());
    message.reportOpen = function.resultsOpen;
    ui_.showMessage(message);
}

void Dispatcher::completionSteps()
{
    ui_.setBusy(false);
    host_.closePanel();
    QString failure;
    if (!FlushReportToLog(state_.report(), &failure, logFolder_))
        showTrapped(db::kFileAccessError, failure, false);
    host_.enableOtherCatalogue();
}

bool Dispatcher::withContext(int index, const std::function<void(OperationContext&)>& work)
{
    const FunctionDescriptor* function = FindFunction(functions_, state_.menuMode(), index);
    if (!function)
        return false;
    OperationContext context(ui_, state_, host_.panelValues(), caption_, *function, services_);
    try {
        work(context);
    } catch (const db::Error& failure) {
        showTrapped(failure.number(), failure.description(), false);
    } catch (const std::exception& failure) {
        showTrapped(db::kUnspecifiedError, QString::fromUtf8(failure.what()), false);
    }
    ui_.setBusy(false);
    return true;
}

std::optional<OperationOutcome> Dispatcher::ok(int index)
{
    const FunctionDescriptor* function = FindFunction(functions_, state_.menuMode(), index);
    if (!function)
        return std::nullopt;
    if (!function->operation) {
        ui_.showMessage(validationMessage(texts::kNotAvailable));
        return std::nullopt;
    }
    OperationContext context(ui_, state_, host_.panelValues(), caption_, *function, services_);
    OperationOutcome outcome;
    try {
        outcome = function->operation(context);
    } catch (const db::Error& failure) {
        outcome = OperationOutcome::trapped(failure.number(), failure.description(), false);
    } catch (const std::exception& failure) {
        outcome = OperationOutcome::trapped(db::kUnspecifiedError,
                                            QString::fromUtf8(failure.what()), false);
    }
    switch (outcome.end) {
    case OperationEnd::Completed:
        showClosing(outcome, *function);
        completionSteps();
        break;
    case OperationEnd::InformationShown: {
        ui_.setBusy(false);
        host_.showInformation(outcome.information);
        QString failure;
        if (!FlushReportToLog(state_.report(), &failure, logFolder_))
            showTrapped(db::kFileAccessError, failure, false);
        host_.enableOtherCatalogue();
        break;
    }
    case OperationEnd::PanelOpen:
        ui_.setBusy(false);
        break;
    case OperationEnd::PanelClosed:
        ui_.setBusy(false);
        host_.closePanel();
        break;
    case OperationEnd::Trapped:
        showTrapped(outcome.errorNumber, outcome.errorDescription, outcome.duringConnection,
                    outcome.failedStep);
        break;
    }
    return outcome;
}

} // namespace sqllumo
