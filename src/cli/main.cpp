// sqllumo: the catalogue functions on the command line, through the same dispatcher as the window.
#include "CommandLine.h"
#include "ConsoleUserInterface.h"
#include "FunctionCatalogue.h"
#include "ServerProvider.h"
#include "Settings.h"
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

    QString problem;
    std::optional<QString> sqlPassword;
    if (inv.passwordFile && !(sqlPassword = cli::ReadPasswordSource(*inv.passwordFile, problem))) {
        err << "sqllumo: " << problem << Qt::endl;
        return 2;
    }
    std::optional<QString> adminPassword;
    if (inv.adminPasswordFile &&
        !(adminPassword = cli::ReadPasswordSource(*inv.adminPasswordFile, problem))) {
        err << "sqllumo: " << problem << Qt::endl;
        return 2;
    }

    const FunctionDescriptor& function = *FindFunction(functions, inv.catalogue, inv.function);
    Settings settings;
    TestResultRegistry registry(settings);
    WindowState state;
    state.chooseCatalogue(inv.catalogue);
    cli::ConsoleHost host(cli::PanelFor(function, inv, sqlPassword, settings), state);
    cli::ControllingTerminal terminal;
    cli::ConsoleUserInterface ui(out, terminal, inv.yes, adminPassword);
    ui.setShiftChoice(inv.choice);
    ui.setProgressInPlace(isatty(STDOUT_FILENO) == 1);
    const std::unique_ptr<dbport::Provider> database = server::MakeServerProvider();
    OperationServices services;
    services.database = database.get();
    services.settings = &settings;
    services.registry = &registry;
    const OperationServices verdictServices = services;
    Dispatcher dispatcher(state, ui, host, ApplicationCaption(), functions, std::move(services));
    if (inv.logFolder)
        dispatcher.setLogFolder(*inv.logFolder);

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
    bool clean = outcome && outcome->reachedEnd() && !outcome->incomplete && !ui.criticalShown();
    if (clean && function.consoleVerdict) {
        QString findings;
        clean = function.consoleVerdict(verdictServices, findings);
        out << "findings:\n" << findings;
    }
    out.flush();
    return clean ? 0 : 1;
}
