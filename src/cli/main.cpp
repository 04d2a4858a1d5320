// sqllumo: the catalogue functions on the command line, through the same dispatcher as the window.
#include "CommandLine.h"
#include "ConsoleUserInterface.h"
#include "FunctionCatalogue.h"
#include "KeyringSecretStore.h"
#include "ListedNames.h"
#include "LoginWatch.h"
#include "PasswordCatalogue.h"
#include "ServerProvider.h"
#include "Settings.h"
#include "StopSignal.h"
#include "TestResultRegistry.h"
#include "TransportSettings.h"
#include "WindowState.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

#include <unistd.h>

using namespace sqllumo;

namespace {

// The passwords of one run, each read from its file or standard input.
struct RunPasswords {
    std::optional<QString> sql;
    std::optional<QString> admin;
    std::optional<QString> newAdmin;
    std::optional<QString> report, montage, resource;
    std::optional<QString> user;
};

// Reads every password the command line names; false (after printing why) when one cannot be
// read or is longer than the window's field takes.
bool ReadPasswords(const cli::Invocation& inv, RunPasswords& read, QTextStream& err)
{
    QString problem;
    const auto fail = [&] {
        err << "sqllumo: " << problem << Qt::endl;
        return false;
    };
    if (inv.passwordFile && !(read.sql = cli::ReadPasswordSource(*inv.passwordFile, problem)))
        return fail();
    // Administrator and generic passwords, each at most as long as the window's fields take.
    struct ShortPassword {
        const std::optional<QString>& source;
        const char* what;
        std::optional<QString>& value;
    };
    const ShortPassword passwords[] = {
        {inv.adminPasswordFile, "administrator password", read.admin},
        {inv.newPasswordFile, "new administrator password", read.newAdmin},
        {inv.reportFile, "report password", read.report},
        {inv.montageFile, "montage password", read.montage},
        {inv.resourceFile, "resource password", read.resource}};
    for (const ShortPassword& password : passwords) {
        if (!password.source)
            continue;
        if (!(password.value = cli::ReadPasswordSource(*password.source, problem)))
            return fail();
        if (password.value->size() > kPasswordFieldLength) {
            err << "sqllumo: the " << password.what << " has more than " << kPasswordFieldLength
                << " characters" << Qt::endl;
            return false;
        }
    }
    if (const auto& source = inv.userRole.userPasswordFile; source) {
        if (!(read.user = cli::ReadPasswordSource(*source, problem)))
            return fail();
        if (read.user->size() > userdetails::kPasswordLength) {
            err << "sqllumo: the user password has more than " << userdetails::kPasswordLength
                << " characters" << Qt::endl;
            return false;
        }
    }
    return true;
}

// Stored as the window stores a panel's values, once the upgrade has logged in.
void StoreUpgradeSettings(const cli::Invocation& inv, const std::optional<QString>& sqlPassword,
                          Settings& settings)
{
    const std::pair<ConsoleOption, QString> stored[] = {
        {ConsoleOption::Server, settingkeys::kSQLServerName},
        {ConsoleOption::Database, settingkeys::kPasswdDatabaseName}};
    for (const auto& [option, key] : stored)
        if (const auto given = inv.fields.find(option); given != inv.fields.end())
            settings.setValue(key, given->second);
    if (const auto given = inv.fields.find(ConsoleOption::Directory); given != inv.fields.end())
        settings.setValue(settingkeys::kPasswdDataDirectory, WithTrailingBackslash(given->second));
    if (inv.user)
        settings.setValue(settingkeys::kSQLUserName, *inv.user);
    if (sqlPassword)
        settings.setValue(settingkeys::kSQLPassword, *sqlPassword);
}

// --encryption and --ca-file become the settings (held until the login, as the fields are) that
// every connection of this run follows. A CA file is stored by its full path, so a later run
// from another folder still finds it.
void StoreTransportOptions(const cli::Invocation& inv, Settings& settings)
{
    if (inv.encryption)
        if (const auto encryption = dbport::ParseEncryption(*inv.encryption))
            settings.setValue(settingkeys::kEncryption, dbport::EncryptionName(*encryption));
    if (inv.caFile)
        settings.setValue(settingkeys::kCAFile, inv.caFile->isEmpty()
                                                    ? QString()
                                                    : QFileInfo(*inv.caFile).absoluteFilePath());
}

// The run's results as the window's details show them: the summary, then the report.
void PrintReport(const QString& summary, const QString& report, QTextStream& out)
{
    const QString text = RunDetails(summary, report);
    if (!text.isEmpty())
        out << "report:\n" << text << '\n';
}

// Runs one catalogue function through the dispatcher, as the window's OK does, and turns its
// outcome into the exit status.
int RunFunction(const cli::Invocation& inv, const FunctionDescriptor& function,
                const RunPasswords& passwords, Settings& settings, TestResultRegistry& registry,
                cli::ConsoleUserInterface& ui, dbport::Provider& database, QTextStream& out,
                QTextStream& err)
{
    WindowState state;
    state.chooseCatalogue(inv.catalogue);
    cli::ConsoleHost host(cli::PanelFor(function, inv, passwords.sql, settings), state);
    OperationServices services;
    services.database = &database;
    services.settings = &settings;
    services.registry = &registry;
    services.verifyAdminPassword = password::VerifyAgainstPasswordDatabase;
    Dispatcher dispatcher(state, ui, host, ApplicationCaption(), CatalogueFunctions(),
                          std::move(services));
    if (inv.logFolder)
        dispatcher.setLogFolder(*inv.logFolder);

    if (!cli::CheckListedNames(dispatcher, state, function, inv.userRole, err) ||
        ui.criticalShown())
        return 1;
    // A long function stops between two rows on Ctrl+C or SIGTERM and still writes its report.
    if (function.stoppable)
        cli::InstallStopSignals();
    const std::optional<OperationOutcome> outcome = dispatcher.ok(inv.function);
    const QString report = host.report();
    PrintReport(outcome ? outcome->summary : QString(), report, out);
    if (outcome && outcome->stopped) {
        out.flush();
        return cli::kStoppedExitStatus;
    }
    if (outcome && outcome->declined) {
        out.flush();
        err << "sqllumo: nothing was done" << Qt::endl;
        return 1;
    }
    bool clean = outcome && outcome->reachedEnd() && !outcome->incomplete && !ui.criticalShown() &&
                 !(function.consoleNeedsReport && report.isEmpty());
    // The findings of this run, as the function made them; the registry's file may already
    // hold another run's.
    if (clean && outcome->verdict) {
        clean = outcome->verdict->problems == 0;
        out << "findings:\n" << outcome->verdict->findings;
    }
    out.flush();
    return clean ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kApplicationName);
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const FunctionList& functions = CatalogueFunctions();
    const cli::ParseResult parsed = cli::ParseCommandLine(arguments, functions);
    if (!parsed.invocation) {
        err << "sqllumo: " << parsed.error << Qt::endl;
        return 2;
    }
    const cli::Invocation& inv = *parsed.invocation;
    if (inv.help) {
        out << cli::GeneralHelp(functions);
        return 0;
    }
    if (inv.catalogueHelp) {
        out << cli::CatalogueHelp(functions, inv.catalogue);
        return 0;
    }
    if (const FunctionDescriptor* own = FindFunction(functions, inv.catalogue, inv.function);
        own && own->consoleRun) {
        ConsoleCall call{inv.fields, inv.ownOptions, out, err};
        return own->consoleRun(call);
    }

    RunPasswords passwords;
    if (!ReadPasswords(inv, passwords, err))
        return 2;

    // What the options would store waits for a login to the server; a run that never logs in
    // leaves the settings file as it was.
    Settings settings;
    KeepSqlPasswordInKeyring(
        settings, [&err](const QString& notice) { err << "sqllumo: " << notice << Qt::endl; });
    settings.holdChanges();
    StoreTransportOptions(inv, settings);
    ApplyTransportSettings(settings);
    TestResultRegistry registry(settings);
    registry.holdChanges();
    cli::ControllingTerminal terminal;
    cli::ConsoleUserInterface ui(out, terminal, inv.yes, passwords.admin);
    ui.setRefusalStream(err);
    ui.setNewAdminPassword(passwords.newAdmin);
    ui.setGenericEdits({passwords.report, passwords.montage, passwords.resource});
    ui.setShiftChoice(inv.choice);
    ui.setUserRoleOptions(inv.userRole, passwords.user);
    ui.setProgressInPlace(isatty(STDOUT_FILENO) == 1);
    if (inv.upgrade)
        StoreUpgradeSettings(inv, passwords.sql, settings);
    const std::unique_ptr<dbport::Provider> serverProvider = server::MakeServerProvider();
    cli::LoginWatchingProvider database(*serverProvider, [&] {
        settings.keepHeld();
        registry.keepHeld();
    });
    // On the database the command names; none before a removal, which must work also on a
    // database that cannot be upgraded.
    if (inv.catalogue == MenuMode::Password &&
        (inv.upgrade || (inv.function != password::kNewPasswordDatabase &&
                         inv.function != password::kDeletePasswordDatabase))) {
        const password::UpgradeResult upgraded = password::UpgradeOnCatalogueChoice(
            ui, ApplicationCaption(), settings, cli::UpgradeTargetFor(inv, passwords.sql, settings),
            database);
        // Where the window would end the program after putting the backup back.
        if (upgraded == password::UpgradeResult::Restored)
            return 1;
        if (inv.upgrade)
            return upgraded == password::UpgradeResult::Failed ? 1 : 0;
    }
    const FunctionDescriptor& function = *FindFunction(functions, inv.catalogue, inv.function);
    return RunFunction(inv, function, passwords, settings, registry, ui, database, out, err);
}
