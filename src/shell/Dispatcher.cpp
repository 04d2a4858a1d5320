#include "Dispatcher.h"

#include "ReportLog.h"

#include <exception>

namespace sqllumo {

namespace {
// A failure that is not the data layer's: the description is all there is.
constexpr long long kUnspecifiedError = -2147467259;
} // namespace

OperationOutcome OperationContext::validation(const QString& text)
{
    pointerDefault();
    ui_.showMessage(validationMessage(text));
    return OperationOutcome::panelOpen();
}

void OperationContext::success(const QString& text)
{
    ui_.showMessage(successMessage(caption_, text));
}

void OperationContext::error(const QString& text)
{
    ui_.showMessage(errorMessage(caption_, text));
}

void OperationContext::access(const QString& text)
{
    ui_.showMessage(accessMessage(text));
}

bool OperationContext::warningQuestion(const QString& text)
{
    const Message question{text, texts::kWarningTitle, MessageIcon::None, MessageButtons::OkCancel};
    return ui_.showMessage(question) == MessageResult::Ok;
}

bool OperationContext::accessCheckA()
{
    if (state_.confirmedAdminPassword().isEmpty()) {
        // The dialog empties the exchange fields first and fills them on OK.
        ExchangeFields& exchange = state_.exchange();
        const PasswordRequestResult typed =
            ui_.passwordRequest(PasswordRequestMode::ConfirmPassword);
        exchange.AdminPasswd1 = typed.adminPasswd1;
        exchange.AdminPasswd2 = typed.adminPasswd2;
        exchange.OldPasswd = typed.oldPasswd;
        if (exchange.AdminPasswd1.isEmpty()) {
            access(texts::kConfirmPassword);
            return false;
        }
        state_.setConfirmedAdminPassword(exchange.AdminPasswd1);
    }
    if (state_.confirmedAdminPassword().toUpper() != kArchiveAdminPassPhrase.toUpper()) {
        access(texts::kSecurityLevel);
        state_.forgetAdminPassword();
        return false;
    }
    return true;
}

Dispatcher::Dispatcher(WindowState& state, UserInterface& ui, PanelHost& host,
                       QString windowCaption)
    : state_(state), ui_(ui), host_(host), caption_(std::move(windowCaption))
{
}

void Dispatcher::setFunction(MenuMode mode, int index, Function function)
{
    functions_[{static_cast<int>(mode), index}] = std::move(function);
}

bool Dispatcher::hasFunction(MenuMode mode, int index) const
{
    return functions_.count({static_cast<int>(mode), index}) != 0;
}

void Dispatcher::showTrapped(long long number, const QString& description, bool duringConnection)
{
    ui_.setBusy(false);
    ui_.showMessage(trappedErrorMessage(caption_, number, description, duringConnection));
}

void Dispatcher::completionSteps()
{
    ui_.setBusy(false);
    host_.closePanel();
    QString failure;
    if (!FlushReportToLog(state_.report(), &failure, logFolder_))
        showTrapped(texts::kLogWriteErrorNumber, failure, false);
    host_.enableOtherCatalogue();
}

std::optional<OperationOutcome> Dispatcher::ok(int index)
{
    const auto found = functions_.find({static_cast<int>(state_.menuMode()), index});
    if (found == functions_.end())
        return std::nullopt;
    OperationContext context(ui_, state_, host_.panelValues(), caption_);
    OperationOutcome outcome;
    try {
        outcome = found->second(context);
    } catch (const std::exception& failure) {
        outcome =
            OperationOutcome::trapped(kUnspecifiedError, QString::fromUtf8(failure.what()), false);
    }
    switch (outcome.end) {
    case OperationEnd::Completed:
        completionSteps();
        break;
    case OperationEnd::InformationShown: {
        ui_.setBusy(false);
        host_.showInformation(outcome.information);
        QString failure;
        if (!FlushReportToLog(state_.report(), &failure, logFolder_))
            showTrapped(texts::kLogWriteErrorNumber, failure, false);
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
        showTrapped(outcome.errorNumber, outcome.errorDescription, outcome.duringConnection);
        break;
    }
    return outcome;
}

} // namespace sqllumo
