// Functions 0, 1, 6 and 7 of the password catalogue. Each stores its settings before any
// check, so a refusal keeps what was typed, and uses one GestioneDbPassword for the press.
#include "PasswordCatalogue.h"

#include "ConnectionStrings.h"
#include "DatabaseNames.h"
#include "DatabaseTexts.h"
#include "PasswordSchema.h"
#include "ServerStatements.h"
#include "Settings.h"

namespace sqllumo::password {

namespace {

using server::texts::kCr;
using server::texts::kCrLf;
using server::texts::kDatabase;

void storeServerAndDatabase(Settings& settings, const PanelValues& panel)
{
    settings.setValue(settingkeys::kSQLServerName, panel.server);
    settings.setValue(settingkeys::kPasswdDatabaseName, panel.database);
}

void storeLogin(Settings& settings, const PanelValues& panel)
{
    settings.setValue(settingkeys::kSQLUserName, panel.user);
    settings.setValue(settingkeys::kSQLPassword, panel.password);
}

// What functions 1 to 6 and 8 to 10 store first.
void storePasswordPanel(OperationContext& context)
{
    storeServerAndDatabase(context.settings(), context.panel());
    storeLogin(context.settings(), context.panel());
}

// Tables of the database that a password database does not have; empty when there are none or
// the list cannot be read (the schema steps then report what is wrong).
QStringList foreignTables(dbport::Provider& database, const PanelValues& panel)
{
    QStringList foreign;
    try {
        const std::unique_ptr<dbport::Catalog> catalog = database.newCatalog();
        catalog->setActiveConnection(
            BuildConnectionString(panel.server, panel.database, panel.user, panel.password));
        for (const QString& table : catalog->tableNames())
            if (!FindPasswordTable(table.toStdString()))
                foreign << table;
    } catch (const db::Error&) {
        return {};
    }
    return foreign;
}

GestioneDbPassword passwordsFor(OperationContext& context)
{
    return GestioneDbPassword(context.ui(), context.windowCaption(), context.settings(),
                              context.database());
}

} // namespace

OperationOutcome NewPasswordDatabase(OperationContext& context)
{
    const PanelValues& panel = context.panel();
    const QString& database = panel.database;
    const ExchangeFields& exchange = context.state().exchange();
    context.requestPasswords(PasswordRequestMode::NewPassword);
    if (exchange.AdminPasswd1.isEmpty() || exchange.AdminPasswd1 != exchange.AdminPasswd2) {
        context.access(sqllumo::texts::kConfirmPassword);
        return OperationOutcome::panelOpen();
    }
    context.state().setConfirmedAdminPassword(exchange.AdminPasswd1);
    context.busy();
    context.report().clear();
    if (panel.thirdField.isEmpty())
        return context.validation(server::texts::kInvalidDirectory);
    // The name goes into CREATE DATABASE as it is.
    if (const auto refused = DatabaseNameRefusal(database, DatabaseUse::Created))
        return context.validation(*refused);
    const QString directory = WithTrailingBackslash(panel.thirdField);
    storeServerAndDatabase(context.settings(), panel);
    context.settings().setValue(settingkeys::kPasswdDataDirectory, directory);
    storeLogin(context.settings(), panel);
    GestioneDbPassword passwords = passwordsFor(context);
    if (passwords.CreaDB(panel.server, database, panel.user, panel.password, directory)) {
        context.report().setText(kDatabase + database + server::texts::kHasBeenCreated +
                                 server::texts::kIntoSqlServer + panel.server);
    } else if (const QStringList foreign = foreignTables(context.database(), panel);
               !foreign.isEmpty()) {
        // An archive under that name would lose its version rows to the password version.
        return context.failed(server::texts::kInitializationError + kCr + texts::kTheDatabase +
                              database + texts::kForeignTables +
                              foreign.join(QStringLiteral(", ")) + texts::kLeftUnchanged);
    }
    // Also after a failed creation: a database made beforehand is initialised the same way.
    QString errorText;
    const bool initialised = passwords.TestTabellePassword(
        panel.server, database, panel.user, panel.password, errorText, exchange.AdminPasswd1);
    if (!initialised)
        return context.failed(server::texts::kInitializationError + kCr + errorText);
    context.report().append(kCrLf + kDatabase + database + server::texts::kCreatedAndInitialized +
                            QLatin1Char('.'));
    return context.succeeded(kDatabase + database + server::texts::kCreatedAndInitialized);
}

OperationOutcome DeletePasswordDatabase(OperationContext& context)
{
    const PanelValues& panel = context.panel();
    const QString& database = panel.database;
    // Refused before it is stored: the next upgrade of the password database would run on it.
    if (const auto refused = DatabaseNameRefusal(database, DatabaseUse::Changed))
        return context.validation(*refused);
    storePasswordPanel(context);
    context.report().clear();
    if (!context.requestAdminPassword())
        return OperationOutcome::panelOpen();
    if (!context.warningQuestion(server::texts::kDeleteQuestion + kCrLf + texts::kLogonWarning))
        return OperationOutcome::panelOpen();
    if (!context.verifyAdminPassword())
        return OperationOutcome::panelOpen();
    GestioneDbPassword passwords = passwordsFor(context);
    context.busy();
    const bool removed = passwords.EraseDB(panel.server, database, panel.user, panel.password);
    if (removed) {
        context.report().setText(kDatabase + database + server::texts::kHasBeenRemoved +
                                 server::texts::kFromSqlServer + panel.server);
        return context.succeeded(kDatabase + database + server::texts::kHasBeenRemoved);
    }
    context.report().setText(server::texts::kCannotRemove + database +
                             server::texts::kNotInCatalog + server::texts::kOfTheSqlServer +
                             panel.server);
    return context.succeeded(server::texts::kCannotRemove + database +
                             server::texts::kNotInCatalog);
}

OperationOutcome ModifyGenericPasswords(OperationContext& context)
{
    const PanelValues& panel = context.panel();
    storePasswordPanel(context);
    if (!context.accessCheck())
        return OperationOutcome::panelOpen();
    GestioneDbPassword passwords = passwordsFor(context);
    ExchangeFields& exchange = context.state().exchange();
    // Unread passwords are not offered for saving: the dialog would show them blank.
    if (!passwords.ReadGenericPasswd(panel.server, panel.database, panel.user, panel.password,
                                     exchange.ReportPasswd, exchange.MontagePasswd,
                                     exchange.ResourcePasswd))
        return OperationOutcome::panelOpen();
    const GenericPasswordResult edited = context.ui().genericPassword(
        {exchange.ReportPasswd, exchange.MontagePasswd, exchange.ResourcePasswd, false});
    exchange.GenPasswdCanSave = edited.canSave;
    if (edited.canSave) {
        exchange.ReportPasswd = edited.reportPasswd;
        exchange.MontagePasswd = edited.montagePasswd;
        exchange.ResourcePasswd = edited.resourcePasswd;
        if (passwords.ModifyGenericPasswd(panel.server, panel.database, panel.user, panel.password,
                                          exchange.ReportPasswd, exchange.MontagePasswd,
                                          exchange.ResourcePasswd))
            context.report().setText(texts::kGenericModified + panel.database);
    }
    return context.succeededAsReported();
}

OperationOutcome ModifyAdministratorPassword(OperationContext& context)
{
    const PanelValues& panel = context.panel();
    context.report().clear();
    // The SQL login is not stored here: the check reads the one stored before.
    storeServerAndDatabase(context.settings(), panel);
    const ExchangeFields& exchange = context.state().exchange();
    context.requestPasswords(PasswordRequestMode::ChangePassword);
    if (exchange.OldPasswd.isEmpty()) {
        context.access(sqllumo::texts::kConfirmPassword);
        return OperationOutcome::panelOpen();
    }
    context.state().setConfirmedAdminPassword(exchange.OldPasswd);
    GestioneDbPassword passwords = passwordsFor(context);
    if (!passwords.VerificaPassword(exchange.OldPasswd)) {
        context.access(sqllumo::texts::kSecurityLevel);
        context.state().forgetAdminPassword();
        return OperationOutcome::panelOpen();
    }
    if (exchange.AdminPasswd1.isEmpty() || exchange.AdminPasswd1 != exchange.AdminPasswd2) {
        context.access(sqllumo::texts::kConfirmPassword);
        return OperationOutcome::panelOpen();
    }
    context.state().setConfirmedAdminPassword(exchange.AdminPasswd1);
    if (passwords.ModifyAdminPasswd(panel.server, panel.database, panel.user, panel.password,
                                    exchange.AdminPasswd1))
        context.report().setText(texts::kAdminModified + panel.database);
    return context.succeededAsReported();
}

bool VerifyAgainstPasswordDatabase(OperationContext& context, const QString& adminPassword)
{
    // VerificaPassword reads a database it cannot reach as a wrong password; the connection is
    // tried first so that the person is told which of the two it was.
    const Settings& settings = context.settings();
    const std::unique_ptr<dbport::Connection> probe = context.database().newConnection();
    probe->open(BuildConnectionString(settings.value(settingkeys::kSQLServerName),
                                      settings.value(settingkeys::kPasswdDatabaseName),
                                      settings.value(settingkeys::kSQLUserName),
                                      settings.value(settingkeys::kSQLPassword)));
    probe->close();
    return passwordsFor(context).VerificaPassword(adminPassword);
}

UpgradeResult UpgradeOnCatalogueChoice(UserInterface& ui, const QString& windowCaption,
                                       const Settings& settings, dbport::Provider& database)
{
    return UpgradeOnCatalogueChoice(ui, windowCaption, settings,
                                    UpgradeTargetFromSettings(settings), database);
}

UpgradeResult UpgradeOnCatalogueChoice(UserInterface& ui, const QString& windowCaption,
                                       const Settings& settings, const UpgradeTarget& target,
                                       dbport::Provider& database)
{
    ui.setBusy(true);
    GestioneDbPassword passwords(ui, windowCaption, settings, database);
    const UpgradeResult result = passwords.RunUpgrade(target);
    ui.setBusy(false);
    return result;
}

} // namespace sqllumo::password
