// The steps every catalogue function shares: the four message forms, the warning question and
// the administrator access checks.
#include "Operation.h"

#include "DatabasePort.h"
#include "Error.h"
#include "FunctionDescriptor.h"
#include "Settings.h"

#include <stdexcept>
#include <string>

namespace sqllumo {

OperationContext::OperationContext(UserInterface& ui, WindowState& state, PanelValues panel,
                                   QString caption, const FunctionDescriptor& function,
                                   const OperationServices& services)
    : ui_(ui), state_(state), panel_(std::move(panel)), caption_(std::move(caption)),
      function_(function), services_(services)
{
}

namespace {
// The server's number for a login it refuses (wrong login name or password).
constexpr long kLoginRefusedByServer = 18456;

template <typename Service> Service& handedIn(Service* service, const char* what)
{
    if (!service)
        throw std::logic_error(std::string("no ") + what + " was handed to the operation");
    return *service;
}
} // namespace

dbport::Provider& OperationContext::database()
{
    return handedIn(services_.database, "database port");
}

Settings& OperationContext::settings()
{
    return handedIn(services_.settings, "settings store");
}

TestResultRegistry& OperationContext::registry()
{
    return handedIn(services_.registry, "test result registry");
}

const QString& OperationContext::logFolder() const
{
    return services_.logFolder;
}

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

OperationOutcome OperationContext::succeeded(const QString& text)
{
    pointerDefault();
    return OperationOutcome::closedBy(successMessage(caption_, text));
}

OperationOutcome OperationContext::succeededAsReported()
{
    const QString done = report().text().trimmed();
    return done.isEmpty() ? OperationOutcome::completed() : succeeded(done);
}

OperationOutcome OperationContext::failed(const QString& text)
{
    pointerDefault();
    return OperationOutcome::closedBy(errorMessage(caption_, text));
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

void OperationContext::requestPasswords(PasswordRequestMode mode)
{
    // The dialog empties the exchange fields first and fills them on OK.
    ExchangeFields& exchange = state_.exchange();
    const AdminSecret secret = function_.catalogue == MenuMode::Archive
                                   ? AdminSecret::ArchivePassPhrase
                                   : AdminSecret::PasswordDatabaseAdmin;
    const PasswordRequestResult typed = ui_.passwordRequest(mode, secret);
    exchange.AdminPasswd1 = typed.adminPasswd1;
    exchange.AdminPasswd2 = typed.adminPasswd2;
    exchange.OldPasswd = typed.oldPasswd;
}

bool OperationContext::requestAdminPassword()
{
    if (!state_.confirmedAdminPassword().isEmpty())
        return true;
    requestPasswords(PasswordRequestMode::ConfirmPassword);
    const ExchangeFields& exchange = state_.exchange();
    if (exchange.AdminPasswd1.isEmpty()) {
        access(texts::kConfirmPassword);
        return false;
    }
    state_.setConfirmedAdminPassword(exchange.AdminPasswd1);
    return true;
}

bool OperationContext::accessCheck()
{
    if (function_.access == AccessCheck::None)
        return true;
    return requestAdminPassword() && verifyAdminPassword();
}

bool OperationContext::verifyAdminPassword()
{
    const QString& password = state_.confirmedAdminPassword();
    bool accepted = false;
    try {
        accepted =
            function_.access == AccessCheck::A
                ? password.toUpper() == kArchiveAdminPassPhrase.toUpper()
                : services_.verifyAdminPassword && services_.verifyAdminPassword(*this, password);
    } catch (const db::Error& failure) {
        // Not a wrong password: the person must learn that the server is the problem. The
        // password was not checked, so it is not kept as confirmed either.
        state_.forgetAdminPassword();
        pointerDefault();
        ui_.showMessage(errorMessage(
            caption_, AdminCheckUnreachable(panel_.server, panel_.database,
                                            failure.nativeError() == kLoginRefusedByServer,
                                            failure.description())));
        return false;
    }
    if (!accepted) {
        access(texts::kSecurityLevel);
        state_.forgetAdminPassword();
    }
    return accepted;
}

void StoreDatabaseSettings(Settings& settings, const PanelValues& panel)
{
    settings.setValue(settingkeys::kSQLServerName, panel.server);
    settings.setValue(settingkeys::kDatabaseName, panel.database);
    settings.setValue(settingkeys::kSQLUserName, panel.user);
    settings.setValue(settingkeys::kSQLPassword, panel.password);
}

} // namespace sqllumo
