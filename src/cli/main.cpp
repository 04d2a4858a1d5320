// sqllumo: the catalogue functions on the command line, through the same dispatcher as the window.
#include "CommandLine.h"
#include "ConsoleUserInterface.h"
#include "FunctionCatalogue.h"
#include "ListedNames.h"
#include "PasswordCatalogue.h"
#include "ServerProvider.h"
#include "Settings.h"
#include "StopSignal.h"
#include "TestResultRegistry.h"
#include "WindowState.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include <unistd.h>

using namespace sqllumo;

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

    QString problem;
    std::optional<QString> sqlPassword;
    if (inv.passwordFile && !(sqlPassword = cli::ReadPasswordSource(*inv.passwordFile, problem))) {
        err << "sqllumo: " << problem << Qt::endl;
        return 2;
    }
    // Administrator and generic passwords, each at most as long as the window's fields take.
    struct ShortPassword {
        const std::optional<QString>& source;
        const char* what;
        std::optional<QString> value;
    };
    ShortPassword passwords[] = {{inv.adminPasswordFile, "administrator password", {}},
                                 {inv.newPasswordFile, "new administrator password", {}},
                                 {inv.reportFile, "report password", {}},
                                 {inv.montageFile, "montage password", {}},
                                 {inv.resourceFile, "resource password", {}}};
    for (ShortPassword& password : passwords) {
        if (!password.source)
            continue;
        if (!(password.value = cli::ReadPasswordSource(*password.source, problem))) {
            err << "sqllumo: " << problem << Qt::endl;
            return 2;
        }
        if (password.value->size() > kPasswordFieldLength) {
            err << "sqllumo: the " << password.what << " has more than " << kPasswordFieldLength
                << " characters" << Qt::endl;
            return 2;
        }
    }
    const std::optional<QString>& adminPassword = passwords[0].value;
    std::optional<QString> userPassword;
    if (const auto& source = inv.userRole.userPasswordFile; source) {
        if (!(userPassword = cli::ReadPasswordSource(*source, problem))) {
            err << "sqllumo: " << problem << Qt::endl;
            return 2;
        }
        if (userPassword->size() > userdetails::kPasswordLength) {
            err << "sqllumo: the user password has more than " << userdetails::kPasswordLength
                << " characters" << Qt::endl;
            return 2;
        }
    }

    Settings settings;
    cli::ControllingTerminal terminal;
    cli::ConsoleUserInterface ui(out, terminal, inv.yes, adminPassword);
    ui.setRefusalStream(err);
    ui.setNewAdminPassword(passwords[1].value);
    ui.setGenericEdits({passwords[2].value, passwords[3].value, passwords[4].value});
    ui.setShiftChoice(inv.choice);
    ui.setUserRoleOptions(inv.userRole, userPassword);
    ui.setProgressInPlace(isatty(STDOUT_FILENO) == 1);
    if (inv.upgrade) {
        // Stored as the window stores a panel's values, then the upgrade of choosing the
        // catalogue.
        const std::pair<ConsoleOption, QString> stored[] = {
            {ConsoleOption::Server, settingkeys::kSQLServerName},
            {ConsoleOption::Database, settingkeys::kPasswdDatabaseName}};
        for (const auto& [option, key] : stored)
            if (const auto given = inv.fields.find(option); given != inv.fields.end())
                settings.setValue(key, given->second);
        if (const auto given = inv.fields.find(ConsoleOption::Directory); given != inv.fields.end())
            settings.setValue(settingkeys::kPasswdDataDirectory,
                              WithTrailingBackslash(given->second));
        if (inv.user)
            settings.setValue(settingkeys::kSQLUserName, *inv.user);
        if (sqlPassword)
            settings.setValue(settingkeys::kSQLPassword, *sqlPassword);
    }
    const std::unique_ptr<dbport::Provider> database = server::MakeServerProvider();
    if (inv.catalogue == MenuMode::Password &&
        (inv.upgrade || inv.function != password::kNewPasswordDatabase)) {
        const password::UpgradeResult upgraded =
            password::UpgradeOnCatalogueChoice(ui, ApplicationCaption(), settings, *database);
        // Where the window would end the program after putting the backup back.
        if (upgraded == password::UpgradeResult::Restored)
            return 1;
        if (inv.upgrade)
            return upgraded == password::UpgradeResult::Failed ? 1 : 0;
    }

    const FunctionDescriptor& function = *FindFunction(functions, inv.catalogue, inv.function);
    TestResultRegistry registry(settings);
    WindowState state;
    state.chooseCatalogue(inv.catalogue);
    cli::ConsoleHost host(cli::PanelFor(function, inv, sqlPassword, settings), state);
    OperationServices services;
    services.database = database.get();
    services.settings = &settings;
    services.registry = &registry;
    services.verifyAdminPassword = password::VerifyAgainstPasswordDatabase;
    const OperationServices verdictServices = services;
    Dispatcher dispatcher(state, ui, host, ApplicationCaption(), functions, std::move(services));
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
    if (!report.isEmpty()) {
        QString text = report;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        if (text.startsWith(QLatin1Char('\n')))
            text.remove(0, 1);
        out << "report:\n" << text;
        if (!text.endsWith(QLatin1Char('\n')))
            out << '\n';
    }
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
    if (clean && function.consoleVerdict) {
        QString findings;
        clean = function.consoleVerdict(verdictServices, findings);
        out << "findings:\n" << findings;
    }
    out.flush();
    return clean ? 0 : 1;
}
