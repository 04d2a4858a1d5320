#include "CommandLine.h"

#include "Catalogues.h"
#include "Settings.h"

#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace sqllumo::cli {

const std::vector<Verb>& ArchiveVerbs()
{
    static const std::vector<Verb> verbs = {
        {QStringLiteral("new-login"), 0,
         QStringLiteral("grant a Windows account a login with all server roles")},
        {QStringLiteral("create"), 1, QStringLiteral("create an archive database")},
        {QStringLiteral("create-new"), 2,
         QStringLiteral("create an archive database (new version)")},
        {QStringLiteral("backup"), 3,
         QStringLiteral("complete backup of a database to a file on the server")},
        {QStringLiteral("restore"), 4,
         QStringLiteral("restore a backup file into a database (administrator)")},
        {QStringLiteral("info"), 5, QStringLiteral("list the databases and logins of the server")},
        {QStringLiteral("test"), 6, QStringLiteral("test the structure of an archive database")},
        {QStringLiteral("delete"), 7,
         QStringLiteral("remove a database from the server (administrator)")},
    };
    return verbs;
}

QString GeneralHelp()
{
    return QStringLiteral(
        "Usage: sqllumo archive <function> [options]\n"
        "       sqllumo archive --help\n"
        "\n"
        "Runs a function of the archive catalogue of SQLLumoManager without the window, for\n"
        "work over SSH and for scheduled jobs. Messages are printed with their kind and title,\n"
        "the report at the end; the report log and the stored settings are the window's.\n"
        "\n"
        "Exit status: 0 when the function reached its end, 1 when it ended in a validation\n"
        "message, an access refusal or an error, 2 for a command line that cannot be used.\n");
}

QString ArchiveHelp()
{
    QString text = QStringLiteral("Usage: sqllumo archive <function> [options]\n\nFunctions:\n");
    for (const Verb& verb : ArchiveVerbs())
        text += QStringLiteral("  %1%2\n").arg(verb.name, -12).arg(verb.summary);
    text += QStringLiteral(
        "\nOptions (a missing one is taken from the stored settings, as the panel pre-fills it):\n"
        "  --server NAME              SQL Server name (host, host,port or host\\instance)\n"
        "  --database NAME            database name (create, backup, restore, test, delete)\n"
        "  --login NAME               Windows account to grant a login (new-login)\n"
        "  --directory DIR            database directory on the server (create, restore)\n"
        "  --file PATH                backup file on the server (backup, restore)\n"
        "  --user NAME                SQL Server login; empty with no password = integrated "
        "security\n"
        "  --password-file F          SQL Server password: first line of F, \"-\" = standard "
        "input\n"
        "  --admin-password-file F    administrator password for restore and delete, as above;\n"
        "                             without it the password is asked on the terminal\n"
        "  --yes                      answer Yes/OK to every question; without it questions are\n"
        "                             asked on the terminal, and with no terminal the answer is "
        "No\n"
        "  --log-folder DIR           folder of \"SQLLumoManager Report.log\" (default: the\n"
        "                             program's folder)\n"
        "\nPasswords are never taken from the command line, where other users could read them.\n");
    return text;
}

ParseResult ParseCommandLine(const QStringList& arguments)
{
    Invocation inv;
    if (arguments.isEmpty())
        return {std::nullopt, QStringLiteral("no function given; see sqllumo --help")};
    if (arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h")) {
        inv.help = true;
        return {inv, {}};
    }
    if (arguments[0] != QLatin1String("archive"))
        return {std::nullopt,
                QStringLiteral("unknown catalogue \"%1\"; see sqllumo --help").arg(arguments[0])};
    if (arguments.size() < 2 || arguments[1] == QLatin1String("--help") ||
        arguments[1] == QLatin1String("-h")) {
        inv.archiveHelp = true;
        return {inv, {}};
    }
    for (const Verb& verb : ArchiveVerbs())
        if (verb.name == arguments[1])
            inv.function = verb.index;
    if (inv.function < 0)
        return {std::nullopt, QStringLiteral("unknown function \"%1\"; see sqllumo archive --help")
                                  .arg(arguments[1])};

    struct Valued {
        const char* name;
        std::optional<QString> Invocation::*member;
    };
    const Valued valued[] = {
        {"--server", &Invocation::server},
        {"--database", &Invocation::database},
        {"--directory", &Invocation::directory},
        {"--file", &Invocation::file},
        {"--login", &Invocation::login},
        {"--user", &Invocation::user},
        {"--password-file", &Invocation::passwordFile},
        {"--admin-password-file", &Invocation::adminPasswordFile},
        {"--log-folder", &Invocation::logFolder},
    };
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--yes")) {
            inv.yes = true;
            continue;
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            inv.archiveHelp = true;
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
            const QString name = QString::fromLatin1(option.name);
            if (arg == name) {
                if (i + 1 >= arguments.size())
                    return {std::nullopt, QStringLiteral("%1 needs a value").arg(name)};
                value = arguments[++i];
            } else if (arg.startsWith(name + QLatin1Char('='))) {
                value = arg.mid(name.size() + 1);
            } else {
                continue;
            }
            inv.*(option.member) = value;
            known = true;
            break;
        }
        if (!known)
            return {std::nullopt,
                    QStringLiteral("unknown option \"%1\"; see sqllumo archive --help").arg(arg)};
    }
    if (inv.passwordFile && inv.adminPasswordFile && *inv.passwordFile == QLatin1String("-") &&
        *inv.adminPasswordFile == QLatin1String("-"))
        return {std::nullopt, QStringLiteral("only one password can come from standard input")};
    return {inv, {}};
}

PanelValues PanelFor(const Invocation& inv, const std::optional<QString>& sqlPassword)
{
    const PanelLayout& layout = panels(MenuMode::Archive)[static_cast<size_t>(inv.function)];
    Settings settings;
    std::array<QString, 4> fields;
    for (size_t i = 0; i < 4; ++i)
        if (layout.fields[i].shown && !layout.fields[i].settingKey.isEmpty())
            fields[i] = settings.value(layout.fields[i].settingKey);
    auto set = [&](size_t field, const std::optional<QString>& value) {
        if (value && layout.fields[field].shown)
            fields[field] = *value;
    };
    set(0, inv.server);
    set(1, inv.function == 0 ? inv.login : inv.database);
    if (inv.function == 4) {
        set(2, inv.file);
        set(3, inv.directory);
    } else {
        set(2, inv.function == 3 ? inv.file : inv.directory);
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
