// sqllumo: the archive catalogue on the command line, through the same dispatcher as the window.
#include "ArchiveCatalogue.h"
#include "CommandLine.h"
#include "ConsoleUserInterface.h"
#include "ServerProvider.h"
#include "Settings.h"
#include "WindowState.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

using namespace sqllumo;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kApplicationName);
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const cli::ParseResult parsed = cli::ParseCommandLine(arguments);
    if (!parsed.invocation) {
        err << "sqllumo: " << parsed.error << Qt::endl;
        return 2;
    }
    const cli::Invocation& inv = *parsed.invocation;
    if (inv.help) {
        out << cli::GeneralHelp();
        return 0;
    }
    if (inv.archiveHelp) {
        out << cli::ArchiveHelp();
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

    WindowState state;
    state.chooseCatalogue(MenuMode::Archive);
    cli::ConsoleHost host(cli::PanelFor(inv, sqlPassword), state);
    cli::ControllingTerminal terminal;
    cli::ConsoleUserInterface ui(out, terminal, inv.yes, adminPassword);
    Dispatcher dispatcher(state, ui, host, ApplicationCaption());
    if (inv.logFolder)
        dispatcher.setLogFolder(*inv.logFolder);
    const std::unique_ptr<sql::Provider> provider = server::MakeServerProvider();
    server::RegisterArchiveCatalogue(dispatcher, *provider);

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
    out.flush();
    const bool clean = outcome && outcome->reachedEnd() && !ui.criticalShown();
    return clean ? 0 : 1;
}
