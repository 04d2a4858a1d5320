// Parsing the console front end's command line and writing its help from the descriptors.
#include "CommandLine.h"

#include "Settings.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace sqllumo::cli {

namespace {

// The options that fill panel fields; the functions each applies to come from the descriptors.
struct FieldOption {
    ConsoleOption option;
    const char* name;
    const char* valueName;
    const char* text;
};
const FieldOption kFieldOptions[] = {
    {ConsoleOption::Server, "--server", "NAME",
     "SQL Server name (host, host,port or host\\instance)"},
    {ConsoleOption::Database, "--database", "NAME", "database name"},
    {ConsoleOption::Login, "--login", "NAME", "Windows account to grant a login"},
    {ConsoleOption::Directory, "--directory", "DIR", "database directory on the server"},
    {ConsoleOption::File, "--file", "PATH", "backup file on the server"},
    {ConsoleOption::Source, "--source", "FILE.mdb", "the Access archive to read"},
};

const QString kUpgradeWord = QStringLiteral("upgrade");

struct CatalogueWord {
    MenuMode catalogue;
    const char* word;
};
const CatalogueWord kCatalogueWords[] = {
    {MenuMode::Archive, "archive"},
    {MenuMode::Password, "password"},
};

QString wordFor(MenuMode catalogue)
{
    for (const CatalogueWord& word : kCatalogueWords)
        if (word.catalogue == catalogue)
            return QString::fromLatin1(word.word);
    return QString();
}

std::vector<const FunctionDescriptor*> consoleFunctions(const FunctionList& functions,
                                                        MenuMode catalogue)
{
    std::vector<const FunctionDescriptor*> offered;
    for (const FunctionDescriptor* function : FunctionsOf(functions, catalogue))
        if (!function->consoleName.isEmpty() && function->operation)
            offered.push_back(function);
    return offered;
}

// "a", "a and b", "a, b and c".
QString listed(const QStringList& names)
{
    if (names.size() < 2)
        return names.join(QString());
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
           names.last();
}

QString optionLine(const QString& left, const QString& text)
{
    if (left.size() > 25)
        return QStringLiteral("  %1\n%2%3\n").arg(left, QString(29, QLatin1Char(' ')), text);
    return QStringLiteral("  %1%2\n").arg(left, -27).arg(text);
}

} // namespace

QString GeneralHelp(const FunctionList& functions)
{
    QString usage;
    for (const CatalogueWord& word : kCatalogueWords) {
        if (consoleFunctions(functions, word.catalogue).empty())
            continue;
        const QString lead =
            usage.isEmpty() ? QStringLiteral("Usage: ") : QStringLiteral("       ");
        usage += lead + QStringLiteral("sqllumo %1 <function> [options]\n").arg(word.word);
        usage += QStringLiteral("       sqllumo %1 --help\n").arg(word.word);
    }
    return usage +
           QStringLiteral(
               "\n"
               "Runs a function of SQLLumoManager's catalogues without the window, for work "
               "over SSH\n"
               "and for scheduled jobs. Messages are printed with their kind and title, the "
               "report at\n"
               "the end; the report log and the stored settings are the window's. Values given "
               "on the\n"
               "command line are stored as the new defaults, as the window stores what was "
               "typed.\n"
               "\n"
               "Exit status: 0 when the function reached its end, 1 when it ended in a "
               "validation\n"
               "message, an access refusal or an error, 2 for a command line that cannot be "
               "used.\n");
}

QString CatalogueHelp(const FunctionList& functions, MenuMode catalogue)
{
    const std::vector<const FunctionDescriptor*> offered = consoleFunctions(functions, catalogue);
    QString text = QStringLiteral("Usage: sqllumo %1 <function> [options]\n\nFunctions:\n")
                       .arg(wordFor(catalogue));
    QStringList checked;
    // Names longer than the usual column push it right, so no name runs into its summary.
    qsizetype column = 12;
    for (const FunctionDescriptor* function : offered)
        column = std::max(column, function->consoleName.size() + 2);
    for (const FunctionDescriptor* function : offered) {
        QString summary = function->consoleSummary;
        if (function->access != AccessCheck::None) {
            summary += QStringLiteral(" (administrator)");
            checked << function->consoleName;
        }
        text += QStringLiteral("  %1%2\n")
                    .arg(function->consoleName, -static_cast<int>(column))
                    .arg(summary);
    }
    text += QStringLiteral("\nOptions (a missing one is taken from the stored settings, as the "
                           "panel pre-fills it):\n");
    for (const FieldOption& option : kFieldOptions) {
        QStringList users;
        for (const FunctionDescriptor* function : offered)
            for (ConsoleOption filled : function->consoleFields)
                if (filled == option.option && !users.contains(function->consoleName))
                    users << function->consoleName;
        if (users.isEmpty())
            continue;
        QString line = QString::fromUtf8(option.text);
        if (users.size() < static_cast<qsizetype>(offered.size()))
            line += QStringLiteral(" (%1)").arg(users.join(QStringLiteral(", ")));
        text += optionLine(QStringLiteral("%1 %2").arg(QString::fromLatin1(option.name),
                                                       QString::fromLatin1(option.valueName)),
                           line);
    }
    for (const FunctionDescriptor* function : offered) {
        if (function->consoleChoices.empty())
            continue;
        text += QStringLiteral("\n%1 takes exactly one of:\n").arg(function->consoleName);
        for (const ConsoleChoice& choice : function->consoleChoices)
            text += optionLine(choice.values.isEmpty() ? choice.name
                                                       : choice.name + QLatin1Char(' ') +
                                                             choice.values.join(QLatin1Char('|')),
                               choice.help);
        text += QLatin1Char('\n');
    }
    text += optionLine(QStringLiteral("--user NAME"),
                       QStringLiteral("SQL Server login; empty with no password = integrated "
                                      "security"));
    text += optionLine(QStringLiteral("--password-file F"),
                       QStringLiteral("SQL Server password: first line of F, \"-\" = standard "
                                      "input"));
    if (!checked.isEmpty()) {
        text += optionLine(
            QStringLiteral("--admin-password-file F"),
            QStringLiteral("administrator password for %1, as above;").arg(listed(checked)));
        text += optionLine(QString(),
                           QStringLiteral("without it the password is asked on the terminal"));
    }
    text += QStringLiteral(
        "  --yes                      answer Yes/OK to every question; without it questions are\n"
        "                             asked on the terminal, and with no terminal the answer is "
        "No\n"
        "  --log-folder DIR           folder of \"SQLLumoManager Report.log\" and of\n"
        "                             \"logShiftDBFields.log\" (default: the program's folder,\n"
        "                             or ~/.local/share/SQLLumoManager where that cannot be\n"
        "                             written)\n"
        "\nPasswords are never taken from the command line, where other users could read them.\n");
    if (catalogue == MenuMode::Password)
        text += QStringLiteral(
            "\nAlso:\n"
            "  upgrade     bring the password database of the settings to the current version,\n"
            "              after storing --server, --database, --directory, --user and the\n"
            "              password given; exit status 0 when it is current or was upgraded\n"
            "Every password function but create runs the upgrade first, as choosing the\n"
            "catalogue in the window does.\n"
            "  --new-password-file F      the new administrator password (admin-password)\n"
            "  --report-file F, --montage-file F, --resource-file F\n"
            "                             generic passwords to change (generic); the others\n"
            "                             are kept\n"
            "Administrator and generic passwords have at most 10 characters.\n");
    return text;
}

ParseResult ParseCommandLine(const QStringList& arguments, const FunctionList& functions)
{
    Invocation inv;
    if (arguments.isEmpty()) {
        QStringList words;
        for (const CatalogueWord& word : kCatalogueWords)
            if (!consoleFunctions(functions, word.catalogue).empty())
                words << QString::fromLatin1(word.word);
        return {std::nullopt,
                QStringLiteral("no catalogue given: name one (%1) before the function; see "
                               "sqllumo --help")
                    .arg(words.join(QStringLiteral(", ")))};
    }
    if (arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h")) {
        inv.help = true;
        return {inv, {}};
    }
    bool knownCatalogue = false;
    for (const CatalogueWord& word : kCatalogueWords) {
        if (arguments[0] == QLatin1String(word.word) &&
            !consoleFunctions(functions, word.catalogue).empty()) {
            inv.catalogue = word.catalogue;
            knownCatalogue = true;
        }
    }
    if (!knownCatalogue)
        return {std::nullopt,
                QStringLiteral("unknown catalogue \"%1\"; see sqllumo --help").arg(arguments[0])};
    if (arguments.size() < 2 || arguments[1] == QLatin1String("--help") ||
        arguments[1] == QLatin1String("-h")) {
        inv.catalogueHelp = true;
        return {inv, {}};
    }
    for (const FunctionDescriptor* function : consoleFunctions(functions, inv.catalogue))
        if (function->consoleName == arguments[1])
            inv.function = function->index;
    inv.upgrade = inv.catalogue == MenuMode::Password && arguments[1] == kUpgradeWord;
    if (inv.function < 0 && !inv.upgrade)
        return {std::nullopt, QStringLiteral("unknown function \"%1\"; see sqllumo %2 --help")
                                  .arg(arguments[1], arguments[0])};

    struct Valued {
        QString name;
        std::optional<QString>* target = nullptr;
        ConsoleOption field = ConsoleOption::None;
    };
    std::vector<Valued> valued;
    for (const FieldOption& option : kFieldOptions)
        valued.push_back({QString::fromLatin1(option.name), nullptr, option.option});
    valued.push_back({QStringLiteral("--user"), &inv.user});
    valued.push_back({QStringLiteral("--password-file"), &inv.passwordFile});
    valued.push_back({QStringLiteral("--admin-password-file"), &inv.adminPasswordFile});
    valued.push_back({QStringLiteral("--log-folder"), &inv.logFolder});
    if (inv.catalogue == MenuMode::Password) {
        valued.push_back({QStringLiteral("--new-password-file"), &inv.newPasswordFile});
        valued.push_back({QStringLiteral("--report-file"), &inv.reportFile});
        valued.push_back({QStringLiteral("--montage-file"), &inv.montageFile});
        valued.push_back({QStringLiteral("--resource-file"), &inv.resourceFile});
    }
    // "upgrade" is no catalogue function and offers no choices.
    const FunctionDescriptor* found = FindFunction(functions, inv.catalogue, inv.function);
    const std::vector<ConsoleChoice> noChoices;
    const std::vector<ConsoleChoice>& choices = found ? found->consoleChoices : noChoices;
    const auto choiceNamed = [&](const QString& arg) -> const ConsoleChoice* {
        for (const ConsoleChoice& choice : choices)
            if (arg == choice.name || arg.startsWith(choice.name + QLatin1Char('=')))
                return &choice;
        return nullptr;
    };
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (const ConsoleChoice* choice = choiceNamed(arg)) {
            if (inv.choice)
                return {std::nullopt, QStringLiteral("%1 and %2 cannot be given together: one "
                                                     "%3 per run")
                                          .arg(inv.choice->first, choice->name, arguments[1])};
            QString value;
            if (!choice->values.isEmpty()) {
                if (arg.startsWith(choice->name + QLatin1Char('=')))
                    value = arg.mid(choice->name.size() + 1);
                else if (i + 1 < arguments.size())
                    value = arguments[++i];
                if (!choice->values.contains(value))
                    return {std::nullopt,
                            QStringLiteral("%1 takes one of %2")
                                .arg(choice->name, choice->values.join(QStringLiteral(", ")))};
            } else if (arg != choice->name) {
                return {std::nullopt, QStringLiteral("%1 takes no value").arg(choice->name)};
            }
            inv.choice = std::make_pair(choice->name, value);
            continue;
        }
        if (arg == QLatin1String("--yes")) {
            inv.yes = true;
            continue;
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            inv.catalogueHelp = true;
            continue;
        }
        if (arg == QLatin1String("--password") || arg.startsWith(QLatin1String("--password=")) ||
            arg == QLatin1String("--admin-password") ||
            arg.startsWith(QLatin1String("--admin-password=")))
            return {std::nullopt, QStringLiteral("passwords are not taken from the command line; "
                                                 "use --password-file or --admin-password-file")};
        bool known = false;
        for (const Valued& option : valued) {
            QString value;
            if (arg == option.name) {
                if (i + 1 >= arguments.size())
                    return {std::nullopt, QStringLiteral("%1 needs a value").arg(option.name)};
                value = arguments[++i];
            } else if (arg.startsWith(option.name + QLatin1Char('='))) {
                value = arg.mid(option.name.size() + 1);
            } else {
                continue;
            }
            if (option.target)
                *option.target = value;
            else
                inv.fields[option.field] = value;
            known = true;
            break;
        }
        if (!known)
            return {std::nullopt, QStringLiteral("unknown option \"%1\"; see sqllumo %2 --help")
                                      .arg(arg, arguments[0])};
    }
    if (!choices.empty() && !inv.choice && !inv.catalogueHelp) {
        QStringList names;
        for (const ConsoleChoice& choice : choices)
            names << choice.name;
        return {std::nullopt,
                QStringLiteral("%1 needs one of %2; see sqllumo %3 --help")
                    .arg(arguments[1], names.join(QStringLiteral(", ")), arguments[0])};
    }
    int fromStandardInput = 0;
    for (const auto* source : {&inv.passwordFile, &inv.adminPasswordFile, &inv.newPasswordFile,
                               &inv.reportFile, &inv.montageFile, &inv.resourceFile})
        fromStandardInput += *source && **source == QLatin1String("-");
    if (fromStandardInput > 1)
        return {std::nullopt, QStringLiteral("only one password can come from standard input")};
    return {inv, {}};
}

PanelValues PanelFor(const FunctionDescriptor& function, const Invocation& inv,
                     const std::optional<QString>& sqlPassword, const Settings& settings)
{
    const PanelLayout& layout = function.panel;
    std::array<QString, 4> fields;
    for (size_t i = 0; i < 4; ++i) {
        if (!layout.fields[i].shown)
            continue;
        if (!layout.fields[i].settingKey.isEmpty())
            fields[i] = settings.value(layout.fields[i].settingKey);
        const auto given = inv.fields.find(function.consoleFields[i]);
        if (function.consoleFields[i] != ConsoleOption::None && given != inv.fields.end())
            fields[i] = given->second;
    }
    PanelValues panel;
    panel.server = fields[0];
    panel.database = fields[1];
    panel.thirdField = fields[2];
    panel.fourthField = fields[3];
    panel.user = inv.user.value_or(settings.value(settingkeys::kSQLUserName));
    panel.password = sqlPassword.value_or(settings.value(settingkeys::kSQLPassword));
    return panel;
}

std::optional<QString> ReadPasswordSource(const QString& source, QString& error)
{
    QFile file;
    bool opened = false;
    if (source == QLatin1String("-"))
        opened = file.open(stdin, QIODevice::ReadOnly);
    else {
        file.setFileName(source);
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        error = QStringLiteral("cannot read the password file \"%1\": %2")
                    .arg(source, file.errorString());
        return std::nullopt;
    }
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace sqllumo::cli
