// Parsing the console front end's command line and writing its help from the descriptors.
#include "CommandLine.h"

#include "GestioneDbPassword.h"
#include "RoleFunctionSheet.h"
#include "ServerNames.h"
#include "Settings.h"
#include "TransportSecurity.h"
#include "UserDetails.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <tuple>

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
const QString kEncryptionOption = QStringLiteral("--encryption");
const QString kCaFileOption = QStringLiteral("--ca-file");
const QString kCopyPhotosOption = QStringLiteral("--copy-photos");
const QString kBackupSetOption = QStringLiteral("--set");

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
        if (!function->consoleName.isEmpty() && (function->operation || function->consoleRun))
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

// The user and role functions' options, each with the inputs that take it.
enum class UserRoleOption {
    Name,
    UserPasswordFile,
    Role,
    FirstName,
    LastName,
    Title,
    BirthDate,
    Doctor,
    Technician,
    Internal,
    External,
    Grant,
    Revoke,
    Rename
};
struct UserRoleOptionShape {
    UserRoleOption option;
    const char* name;
    bool valued;
    std::vector<ConsoleInput> takenBy;
};
const UserRoleOptionShape kUserRoleOptions[] = {
    {UserRoleOption::Name,
     "--name",
     true,
     {ConsoleInput::ListedName, ConsoleInput::NewUser, ConsoleInput::ChangedUser,
      ConsoleInput::NewRole, ConsoleInput::ChangedRole}},
    {UserRoleOption::UserPasswordFile,
     "--user-password-file",
     true,
     {ConsoleInput::NewUser, ConsoleInput::ChangedUser}},
    {UserRoleOption::Role, "--role", true, {ConsoleInput::NewUser, ConsoleInput::ChangedUser}},
    {UserRoleOption::FirstName,
     "--first-name",
     true,
     {ConsoleInput::NewUser, ConsoleInput::ChangedUser}},
    {UserRoleOption::LastName,
     "--last-name",
     true,
     {ConsoleInput::NewUser, ConsoleInput::ChangedUser}},
    {UserRoleOption::Title, "--title", true, {ConsoleInput::NewUser}},
    {UserRoleOption::BirthDate,
     "--birth-date",
     true,
     {ConsoleInput::NewUser, ConsoleInput::ChangedUser}},
    {UserRoleOption::Doctor, "--doctor", false, {ConsoleInput::NewUser, ConsoleInput::ChangedUser}},
    {UserRoleOption::Technician,
     "--technician",
     false,
     {ConsoleInput::NewUser, ConsoleInput::ChangedUser}},
    {UserRoleOption::Internal,
     "--internal",
     false,
     {ConsoleInput::NewUser, ConsoleInput::ChangedUser}},
    {UserRoleOption::External,
     "--external",
     false,
     {ConsoleInput::NewUser, ConsoleInput::ChangedUser}},
    {UserRoleOption::Grant, "--grant", true, {ConsoleInput::NewRole, ConsoleInput::ChangedRole}},
    {UserRoleOption::Revoke, "--revoke", true, {ConsoleInput::ChangedRole}},
    {UserRoleOption::Rename, "--rename", true, {ConsoleInput::ChangedRole}},
};

// Stores one user or role option; an empty error means it was taken.
QString takeUserRoleOption(UserRoleOption option, const QString& value, UserRoleOptions& into)
{
    const auto once = [](std::optional<QString>& target, const QString& v, const char* name) {
        if (target)
            return QStringLiteral("%1 can be given once").arg(QString::fromLatin1(name));
        target = v;
        return QString();
    };
    const auto either = [](std::optional<bool>& target, bool v, const char* both) {
        if (target && *target != v)
            return QStringLiteral("%1 cannot be given together").arg(QString::fromLatin1(both));
        target = v;
        return QString();
    };
    switch (option) {
    case UserRoleOption::Name:
        return once(into.name, value, "--name");
    case UserRoleOption::UserPasswordFile:
        return once(into.userPasswordFile, value, "--user-password-file");
    case UserRoleOption::Role:
        return once(into.role, value, "--role");
    case UserRoleOption::FirstName:
        return once(into.firstName, value, "--first-name");
    case UserRoleOption::LastName:
        return once(into.lastName, value, "--last-name");
    case UserRoleOption::Title:
        return once(into.title, value, "--title");
    case UserRoleOption::BirthDate: {
        const QDate date = QDate::fromString(value, Qt::ISODate);
        if (!date.isValid() || value.size() != 10)
            return QStringLiteral("--birth-date takes a date as YYYY-MM-DD, not \"%1\"").arg(value);
        into.birthDate = date;
        return {};
    }
    case UserRoleOption::Doctor:
    case UserRoleOption::Technician:
        return either(into.doctor, option == UserRoleOption::Doctor, "--doctor and --technician");
    case UserRoleOption::Internal:
    case UserRoleOption::External:
        return either(into.internal, option == UserRoleOption::Internal,
                      "--internal and --external");
    case UserRoleOption::Grant:
        into.grants << value;
        return {};
    case UserRoleOption::Revoke:
        into.revokes << value;
        return {};
    case UserRoleOption::Rename:
        return once(into.rename, value, "--rename");
    }
    return {};
}

// What the function needs of its options, once all are read; empty when they will do.
QString checkUserRoleOptions(ConsoleInput input, const UserRoleOptions& o, const QString& function)
{
    using namespace userdetails;
    if (input == ConsoleInput::None)
        return {};
    if (!o.name || o.name->isEmpty())
        return QStringLiteral("%1 needs --name").arg(function);
    const auto tooLong = [](const std::optional<QString>& value, int most, const char* what) {
        if (value && value->size() > most)
            return QStringLiteral("%1 has more than %2 characters")
                .arg(QString::fromLatin1(what))
                .arg(most);
        return QString();
    };
    const std::optional<QString> none;
    // A name is stored without trailing blanks, so they do not count against its limit.
    const auto stored = [](const std::optional<QString>& name) -> std::optional<QString> {
        return name ? std::optional(db::WithoutTrailingBlanks(*name)) : std::nullopt;
    };
    const std::optional<QString> name = stored(o.name);
    const std::optional<QString> rename = stored(o.rename);
    const std::tuple<const std::optional<QString>&, int, const char*> limits[] = {
        {input == ConsoleInput::NewUser ? name : none, kUserNameLength, "--name"},
        {input == ConsoleInput::NewRole ? name : none, rolefunctionsheet::kRoleNameMaxLength,
         "--name"},
        {rename, rolefunctionsheet::kRoleNameMaxLength, "--rename"},
        {o.firstName, kNameLength, "--first-name"},
        {o.lastName, kNameLength, "--last-name"},
        {o.title, kTitleLength, "--title"},
    };
    for (const auto& [value, most, what] : limits)
        if (const QString problem = tooLong(value, most, what); !problem.isEmpty())
            return problem;
    if (o.rename && o.rename->isEmpty())
        return QStringLiteral("--rename needs a name");
    if (input == ConsoleInput::NewUser && (!o.userPasswordFile || !o.role))
        return QStringLiteral("%1 needs --user-password-file and --role").arg(function);
    const bool changesUser = o.userPasswordFile || o.role || o.firstName || o.lastName ||
                             o.birthDate || o.doctor || o.internal;
    if (input == ConsoleInput::ChangedUser && !changesUser)
        return QStringLiteral("%1 needs something to change: --user-password-file, --role, "
                              "--first-name, --last-name, --birth-date, --doctor, --technician, "
                              "--internal or --external")
            .arg(function);
    if (input == ConsoleInput::ChangedRole && o.grants.isEmpty() && o.revokes.isEmpty() &&
        !o.rename)
        return QStringLiteral("%1 needs --grant, --revoke or --rename").arg(function);
    for (const QString& granted : o.grants)
        if (o.revokes.contains(granted))
            return QStringLiteral("\"%1\" cannot be granted and revoked at once").arg(granted);
    return {};
}

// The options of the user and role functions, with the limits of the boxes they stand for.
QString userRoleHelp()
{
    using namespace userdetails;
    return QStringLiteral(
               "\nUser and role options:\n"
               "  --name NAME                the user or role; but for add, one of those that\n"
               "                             \"user list\" or \"role list\" shows\n"
               "  --user-password-file F     the user's password (user add, user modify): first\n"
               "                             line of F, \"-\" = standard input\n"
               "  --role ROLE                the user's role (user add, user modify)\n"
               "  --first-name T, --last-name T\n"
               "                             the user's names (user add, user modify)\n"
               "  --title T                  the user's title (user add; user modify keeps the\n"
               "                             stored title, as the window does)\n"
               "  --birth-date YYYY-MM-DD    the user's birth date; a new user without one gets\n"
               "                             today's date, as in the window\n"
               "  --doctor | --technician    the user's type (a new user: technician)\n"
               "  --internal | --external    the user's position (a new user: external)\n"
               "  --grant FUNCTION           a function the role may use, named exactly as\n"
               "                             \"role rights\" lists it; may be repeated\n"
               "                             (role add, role modify)\n"
               "  --revoke FUNCTION          a function the role may no longer use; may be\n"
               "                             repeated (role modify)\n"
               "  --rename NAME              the role's new name (role modify)\n"
               "What user modify is not given keeps its stored value. User names have at most\n"
               "%1 characters, user passwords %2, first and last names %3, titles %4, role\n"
               "names %5.\n"
               "An unknown user, role or function is refused before anything is written; a\n"
               "locked role cannot be modified. Names are found as the server finds them,\n"
               "whatever their letter case and trailing blanks; a new name is stored without\n"
               "trailing blanks.\n"
               "role delete names the users it removes with the role and asks first: it needs\n"
               "a yes typed at the terminal, or --yes; the report names the users removed.\n")
        .arg(kUserNameLength)
        .arg(kPasswordLength)
        .arg(kNameLength)
        .arg(kTitleLength)
        .arg(rolefunctionsheet::kRoleNameMaxLength);
}

// The two options of the connection's encryption, as the catalogue helps list them.
QString transportHelp()
{
    return optionLine(kEncryptionOption + QStringLiteral(" off|request|require"),
                      QStringLiteral("how the connection is encrypted (setting")) +
           optionLine(QString(), QStringLiteral("Encryption, default request; sqllumo --help)")) +
           optionLine(kCaFileOption + QStringLiteral(" F"),
                      QStringLiteral("the certificate authority that must have signed")) +
           optionLine(QString(), QStringLiteral("the server's certificate (setting CAFile);")) +
           optionLine(QString(), QStringLiteral("--ca-file \"\" checks no certificate"));
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
               "the end after \"report:\", in the order the window's details show it (the "
               "structure\n"
               "test's verdicts and the import's row counts first); the report log and the "
               "stored\n"
               "settings are the window's. Values given on the\n"
               "command line are stored as the new defaults, as the window stores what was "
               "typed, but\n"
               "only once the command has logged in to the server: a failed login leaves the "
               "stored\n"
               "settings as they were.\n"
               "The SQL Server password is kept, as the window keeps it, in the desktop keyring "
               "(Secret\n"
               "Service: GNOME Keyring, KWallet) under the server and login it belongs to, and "
               "a password\n"
               "still in the settings file moves there at the first start that finds one. "
               "Where no\n"
               "keyring runs (a console on a server) the settings file keeps it, readable only "
               "by its\n"
               "owner, and sqllumo says so once on standard error.\n"
               "The server's own databases (master, model, msdb, tempdb, in any case) are "
               "refused as the\n"
               "database of every function that creates, fills, changes or removes one; "
               "backup, info\n"
               "and test may still read them.\n"
               "\n"
               "Encryption (--encryption, setting Encryption; stored like the other options):\n"
               "  request   the default: the client asks for no encryption of its own, so a "
               "server with\n"
               "            a certificate encrypts the login (and the password in it) only, and "
               "a\n"
               "            server that forces encryption encrypts the whole session; a server "
               "without\n"
               "            one gets everything in clear\n"
               "  require   the whole session is encrypted, or there is no connection: a server "
               "that\n"
               "            cannot encrypt is refused before the login is sent\n"
               "  off       nothing is encrypted, not even the login\n"
               "--ca-file F (setting CAFile): the server's certificate must be signed by the\n"
               "certificate authority in F and be made out to the server's name, or the "
               "connection\n"
               "is refused before the login is sent; without it the certificate is not "
               "checked.\n"
               "archive info reports the connection as encrypted, login only or not "
               "encrypted.\n"
               "\n"
               "Exit status: 0 when the function reached its end, 1 when it ended in a "
               "validation\n"
               "message, an access refusal or an error, or when a question was answered No "
               "(\"nothing\n"
               "was done\"), 2 for a command line that cannot be used, 130 when Ctrl+C or "
               "SIGTERM\n"
               "stopped an import (the report says where; the database is left incomplete).\n");
}

QString CatalogueHelp(const FunctionList& functions, MenuMode catalogue)
{
    const std::vector<const FunctionDescriptor*> offered = consoleFunctions(functions, catalogue);
    QString text = QStringLiteral("Usage: sqllumo %1 <function> [options]\n\nFunctions:\n")
                       .arg(wordFor(catalogue));
    QStringList checked;
    // Names longer than the usual column push it right, so no name runs into its summary.
    qsizetype column = 12;
    bool userRoleInput = false;
    for (const FunctionDescriptor* function : offered) {
        column = std::max(column, function->consoleName.size() + 2);
        userRoleInput = userRoleInput || function->consoleInput != ConsoleInput::None;
    }
    // Functions of one first word ("user add", "user list") together, each group where its
    // first function stands.
    std::vector<const FunctionDescriptor*> listedOrder = offered;
    const auto groupOf = [&](const FunctionDescriptor* function) {
        const QString word = function->consoleName.section(QLatin1Char(' '), 0, 0);
        for (size_t i = 0; i < offered.size(); ++i)
            if (offered[i]->consoleName.section(QLatin1Char(' '), 0, 0) == word)
                return i;
        return offered.size();
    };
    std::stable_sort(listedOrder.begin(), listedOrder.end(),
                     [&](const FunctionDescriptor* a, const FunctionDescriptor* b) {
                         return groupOf(a) < groupOf(b);
                     });
    for (const FunctionDescriptor* function : listedOrder) {
        QString summary = function->consoleSummary;
        if (function->access != AccessCheck::None) {
            summary += QStringLiteral(" (administrator)");
            checked << function->consoleName;
        }
        QString line = QStringLiteral("  %1%2")
                           .arg(function->consoleName, -static_cast<int>(column))
                           .arg(summary);
        // Wrapped under the summaries where it would pass 79 columns.
        const qsizetype indent = column + 2;
        while (line.size() > 79) {
            const qsizetype cut = line.lastIndexOf(QLatin1Char(' '), 79);
            if (cut <= indent)
                break;
            text += line.left(cut) + QLatin1Char('\n');
            line = QString(indent, QLatin1Char(' ')) + line.mid(cut + 1);
        }
        text += line + QLatin1Char('\n');
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
    for (const FunctionDescriptor* function : offered) {
        if (function->consoleOwnOptions.empty())
            continue;
        text += QStringLiteral("\n%1 also takes:\n").arg(function->consoleName);
        for (const ConsoleOwnOption& option : function->consoleOwnOptions)
            text += optionLine(option.valueName.isEmpty()
                                   ? option.name
                                   : option.name + QLatin1Char(' ') + option.valueName,
                               option.help);
        text += function->consoleNote + QLatin1Char('\n');
    }
    for (const FunctionDescriptor* function : offered)
        if (function->choosesBackupSet)
            text += optionLine(kBackupSetOption + QStringLiteral(" N"),
                               QStringLiteral("the backup set at position N of the file (%1);")
                                   .arg(function->consoleName)) +
                    optionLine(QString(), QStringLiteral("without it the newest full backup; "
                                                         "backups --file F lists them"));
    for (const FunctionDescriptor* function : offered)
        if (function->panel.copyPhotosBox)
            text += optionLine(kCopyPhotosOption,
                               QStringLiteral("copy the patients' photos as well, byte for byte "
                                              "(%1);")
                                   .arg(function->consoleName)) +
                    optionLine(QString(), QStringLiteral("without it they are left out, and the "
                                                         "report names their patients"));
    text += optionLine(QStringLiteral("--user NAME"),
                       QStringLiteral("SQL Server login; empty with no password = integrated "
                                      "security"));
    text += optionLine(QStringLiteral("--password-file F"),
                       QStringLiteral("SQL Server password: first line of F, \"-\" = standard "
                                      "input"));
    if (!checked.isEmpty()) {
        const QString which =
            checked.size() > 3 ? QStringLiteral("the functions so marked") : listed(checked);
        text += optionLine(QStringLiteral("--admin-password-file F"),
                           QStringLiteral("administrator password for %1, as above;").arg(which));
        text += optionLine(QString(),
                           QStringLiteral("without it the password is asked on the terminal"));
    }
    text += transportHelp();
    text += QStringLiteral(
        "  --yes                      answer Yes/OK to every question; without it questions are\n"
        "                             asked on the terminal, and with no terminal the answer is "
        "No\n"
        "  --log-folder DIR           folder of \"SQLLumoManager Report.log\" and of the\n"
        "                             owner-only folder shift-log with \"logShiftDBFields.log\"\n"
        "                             (default: the program's folder, or\n"
        "                             ~/.local/share/SQLLumoManager where that cannot be\n"
        "                             written)\n"
        "\nPasswords are never taken from the command line, where other users could read them.\n");
    if (catalogue == MenuMode::Password)
        text += QStringLiteral(
            "\nAlso:\n"
            "  upgrade     bring the password database on --server named by --database to the\n"
            "              current version (what is not given comes from the settings); the\n"
            "              values given are stored once it has logged in; exit status 0 when it\n"
            "              is current or was upgraded\n"
            "Every password function but create and delete runs the upgrade first, as choosing\n"
            "the catalogue in the window does, on the server and database the command names.\n"
            "  --new-password-file F      the new administrator password (admin-password)\n"
            "  --report-file F, --montage-file F, --resource-file F\n"
            "                             generic passwords to change (generic); the others\n"
            "                             are kept\n"
            "Administrator and generic passwords have at most 10 characters.\n");
    if (userRoleInput)
        text += userRoleHelp();
    return text;
}

namespace {

// Reads the words after the function's name, one option at a time; each step either takes the
// option, or leaves a problem that ends the parse.
class OptionReader {
public:
    OptionReader(const QStringList& arguments, Invocation& inv, const FunctionDescriptor* found,
                 QString functionName)
        : arguments_(arguments), inv_(inv), found_(found), functionName_(std::move(functionName)),
          standalone_(found && found->consoleRun), // its fields' options and its own only
          input_(found ? found->consoleInput : ConsoleInput::None)
    {
        if (found)
            choices_ = found->consoleChoices;
        collectValued();
    }

    // Reads arguments from first on; the problem with the first one that cannot be used.
    QString readFrom(qsizetype first)
    {
        for (i_ = first; i_ < arguments_.size(); ++i_) {
            const QString& arg = arguments_[i_];
            std::optional<QString> outcome = takeChoice(arg);
            if (!outcome)
                outcome = takeOwnOption(arg);
            if (!outcome)
                outcome = takeFlag(arg);
            if (!outcome)
                outcome = takeUserRoleArgument(arg);
            if (!outcome)
                outcome = takeValued(arg);
            if (!outcome->isEmpty())
                return *outcome;
        }
        return finalProblem();
    }

private:
    struct Valued {
        QString name;
        std::optional<QString>* target = nullptr;
        ConsoleOption field = ConsoleOption::None;
    };

    void collectValued()
    {
        for (const FieldOption& option : kFieldOptions)
            if (!standalone_ ||
                std::find(found_->consoleFields.begin(), found_->consoleFields.end(),
                          option.option) != found_->consoleFields.end())
                valued_.push_back({QString::fromLatin1(option.name), nullptr, option.option});
        valued_.push_back({QStringLiteral("--log-folder"), &inv_.logFolder});
        if (!standalone_) {
            valued_.push_back({QStringLiteral("--user"), &inv_.user});
            valued_.push_back({QStringLiteral("--password-file"), &inv_.passwordFile});
            valued_.push_back({QStringLiteral("--admin-password-file"), &inv_.adminPasswordFile});
            valued_.push_back({kEncryptionOption, &inv_.encryption});
            valued_.push_back({kCaFileOption, &inv_.caFile});
        }
        if (inv_.catalogue == MenuMode::Password && !standalone_) {
            valued_.push_back({QStringLiteral("--new-password-file"), &inv_.newPasswordFile});
            valued_.push_back({QStringLiteral("--report-file"), &inv_.reportFile});
            valued_.push_back({QStringLiteral("--montage-file"), &inv_.montageFile});
            valued_.push_back({QStringLiteral("--resource-file"), &inv_.resourceFile});
        }
    }

    // The value of an option given as "--name=value" or as "--name value"; nullopt when the
    // separate value is missing.
    std::optional<QString> valueOf(const QString& arg, const QString& name)
    {
        if (arg != name)
            return arg.mid(name.size() + 1);
        if (i_ + 1 < arguments_.size())
            return arguments_[++i_];
        return std::nullopt;
    }

    std::optional<QString> takeChoice(const QString& arg)
    {
        const ConsoleChoice* choice = nullptr;
        for (const ConsoleChoice& candidate : choices_)
            if (!choice &&
                (arg == candidate.name || arg.startsWith(candidate.name + QLatin1Char('='))))
                choice = &candidate;
        if (!choice)
            return std::nullopt;
        if (inv_.choice)
            return QStringLiteral("%1 and %2 cannot be given together: one %3 per run")
                .arg(inv_.choice->first, choice->name, functionName_);
        QString value;
        if (!choice->values.isEmpty()) {
            value = valueOf(arg, choice->name).value_or(QString());
            if (!choice->values.contains(value))
                return QStringLiteral("%1 takes one of %2")
                    .arg(choice->name, choice->values.join(QStringLiteral(", ")));
        } else if (arg != choice->name) {
            return QStringLiteral("%1 takes no value").arg(choice->name);
        }
        inv_.choice = std::make_pair(choice->name, value);
        return QString();
    }

    std::optional<QString> takeOwnOption(const QString& arg)
    {
        if (!standalone_)
            return std::nullopt;
        const ConsoleOwnOption* own = nullptr;
        for (const ConsoleOwnOption& option : found_->consoleOwnOptions)
            if (arg == option.name ||
                (!option.valueName.isEmpty() && arg.startsWith(option.name + QLatin1Char('='))))
                own = &option;
        if (!own)
            return std::nullopt;
        QString value;
        if (!own->valueName.isEmpty()) {
            const std::optional<QString> given = valueOf(arg, own->name);
            if (!given)
                return QStringLiteral("%1 needs a value").arg(own->name);
            value = *given;
        }
        inv_.ownOptions[own->name] = value;
        return QString();
    }

    // Options without a value: --yes and --copy-photos; and the restore's --set N.
    std::optional<QString> takeFlag(const QString& arg)
    {
        if (found_ && found_->choosesBackupSet &&
            (arg == kBackupSetOption || arg.startsWith(kBackupSetOption + QLatin1Char('=')))) {
            bool number = false;
            const int set = valueOf(arg, kBackupSetOption).value_or(QString()).toInt(&number);
            if (!number || set < 1)
                return QStringLiteral("%1 takes the position of a backup set in the file, 1 or "
                                      "more (sqllumo archive backups --file lists them)")
                    .arg(kBackupSetOption);
            inv_.backupSet = set;
            return QString();
        }
        if (arg == QLatin1String("--yes") && !standalone_) {
            inv_.yes = true;
            return QString();
        }
        if (arg == kCopyPhotosOption && found_ && found_->panel.copyPhotosBox) {
            inv_.copyPhotos = true;
            return QString();
        }
        return std::nullopt;
    }

    std::optional<QString> takeUserRoleArgument(const QString& arg)
    {
        const UserRoleOptionShape* userRole = nullptr;
        for (const UserRoleOptionShape& option : kUserRoleOptions) {
            const QString name = QString::fromLatin1(option.name);
            if (arg == name || (option.valued && arg.startsWith(name + QLatin1Char('='))))
                userRole = &option;
        }
        if (!userRole)
            return std::nullopt;
        const QString name = QString::fromLatin1(userRole->name);
        if (std::find(userRole->takenBy.begin(), userRole->takenBy.end(), input_) ==
            userRole->takenBy.end()) {
            if (userRole->option == UserRoleOption::Title && input_ == ConsoleInput::ChangedUser)
                return QStringLiteral("%1 keeps the stored title, as the window does; --title is "
                                      "for user add")
                    .arg(functionName_);
            return QStringLiteral("%1 is not an option of %2; see sqllumo %3 --help")
                .arg(name, functionName_, arguments_[0]);
        }
        QString value;
        if (userRole->valued) {
            const std::optional<QString> given = valueOf(arg, name);
            if (!given)
                return QStringLiteral("%1 needs a value").arg(name);
            value = *given;
        }
        return takeUserRoleOption(userRole->option, value, inv_.userRole);
    }

    // The options with a value that fill a field or a file name; what is left is unknown.
    std::optional<QString> takeValued(const QString& arg)
    {
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            inv_.catalogueHelp = true;
            return QString();
        }
        if (arg == QLatin1String("--password") || arg.startsWith(QLatin1String("--password=")) ||
            arg == QLatin1String("--admin-password") ||
            arg.startsWith(QLatin1String("--admin-password=")))
            return QStringLiteral("passwords are not taken from the command line; use "
                                  "--password-file or --admin-password-file");
        for (const Valued& option : valued_) {
            if (arg != option.name && !arg.startsWith(option.name + QLatin1Char('=')))
                continue;
            if (arg == option.name && i_ + 1 >= arguments_.size())
                return QStringLiteral("%1 needs a value").arg(option.name);
            const QString value = *valueOf(arg, option.name);
            if (option.target)
                *option.target = value;
            else
                inv_.fields[option.field] = value;
            return QString();
        }
        if (standalone_ && arg.startsWith(QLatin1String("--")))
            return QStringLiteral("%1 is not an option of %2; see sqllumo %3 --help")
                .arg(arg.section(QLatin1Char('='), 0, 0), functionName_, arguments_[0]);
        return QStringLiteral("unknown option \"%1\"; see sqllumo %2 --help")
            .arg(arg, arguments_[0]);
    }

    // What the options given leave unusable as a whole.
    QString finalProblem() const
    {
        if (inv_.encryption && !dbport::ParseEncryption(*inv_.encryption))
            return QStringLiteral("%1 takes one of %2, %3, %4")
                .arg(kEncryptionOption, dbport::kEncryptionOff, dbport::kEncryptionRequest,
                     dbport::kEncryptionRequire);
        if (!choices_.empty() && !inv_.choice && !inv_.catalogueHelp) {
            QStringList names;
            for (const ConsoleChoice& choice : choices_)
                names << choice.name;
            return QStringLiteral("%1 needs one of %2; see sqllumo %3 --help")
                .arg(functionName_, names.join(QStringLiteral(", ")), arguments_[0]);
        }
        if (!inv_.catalogueHelp)
            if (QString problem = checkUserRoleOptions(input_, inv_.userRole, functionName_);
                !problem.isEmpty())
                return problem;
        int fromStandardInput = 0;
        for (const auto* source :
             {&inv_.passwordFile, &inv_.adminPasswordFile, &inv_.newPasswordFile, &inv_.reportFile,
              &inv_.montageFile, &inv_.resourceFile, &inv_.userRole.userPasswordFile})
            fromStandardInput += *source && **source == QLatin1String("-");
        if (fromStandardInput > 1)
            return QStringLiteral("only one password can come from standard input");
        return QString();
    }

    const QStringList& arguments_;
    Invocation& inv_;
    const FunctionDescriptor* found_;
    const QString functionName_;
    const bool standalone_;
    const ConsoleInput input_;
    std::vector<ConsoleChoice> choices_;
    std::vector<Valued> valued_;
    qsizetype i_ = 0;
};

// The catalogue word and the function's name (one word, or two as in "user add"); sets the
// index of the first option. A result with an invocation or an error ends the parse.
std::optional<ParseResult> readFunctionName(const QStringList& arguments,
                                            const FunctionList& functions, Invocation& inv,
                                            QString& functionName, qsizetype& firstOption)
{
    if (arguments.isEmpty()) {
        QStringList words;
        for (const CatalogueWord& word : kCatalogueWords)
            if (!consoleFunctions(functions, word.catalogue).empty())
                words << QString::fromLatin1(word.word);
        return ParseResult{std::nullopt,
                           QStringLiteral("no catalogue given: name one (%1) before the "
                                          "function; see sqllumo --help")
                               .arg(words.join(QStringLiteral(", ")))};
    }
    if (arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h")) {
        inv.help = true;
        return ParseResult{inv, {}};
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
        return ParseResult{std::nullopt, QStringLiteral("unknown catalogue \"%1\"; see sqllumo "
                                                        "--help")
                                             .arg(arguments[0])};
    if (arguments.size() < 2 || arguments[1] == QLatin1String("--help") ||
        arguments[1] == QLatin1String("-h")) {
        inv.catalogueHelp = true;
        return ParseResult{inv, {}};
    }
    firstOption = 2;
    functionName = arguments[1];
    QStringList secondWords;
    for (const FunctionDescriptor* function : consoleFunctions(functions, inv.catalogue)) {
        const QStringList words = function->consoleName.split(QLatin1Char(' '));
        if (words.size() == 1 && words[0] == arguments[1]) {
            inv.function = function->index;
        } else if (words.size() == 2 && words[0] == arguments[1]) {
            secondWords << words[1];
            if (arguments.size() > 2 && words[1] == arguments[2]) {
                inv.function = function->index;
                functionName = function->consoleName;
                firstOption = 3;
            }
        }
    }
    inv.upgrade = inv.catalogue == MenuMode::Password && arguments[1] == kUpgradeWord;
    if (inv.function < 0 && !secondWords.isEmpty()) {
        if (arguments.size() > 2 &&
            (arguments[2] == QLatin1String("--help") || arguments[2] == QLatin1String("-h"))) {
            inv.catalogueHelp = true;
            return ParseResult{inv, {}};
        }
        return ParseResult{
            std::nullopt,
            QStringLiteral("%1 needs one of %2; see sqllumo %3 --help")
                .arg(arguments[1], secondWords.join(QStringLiteral(", ")), arguments[0])};
    }
    if (inv.function < 0 && !inv.upgrade)
        return ParseResult{std::nullopt, QStringLiteral("unknown function \"%1\"; see sqllumo "
                                                        "%2 --help")
                                             .arg(arguments[1], arguments[0])};
    return std::nullopt;
}

} // namespace

ParseResult ParseCommandLine(const QStringList& arguments, const FunctionList& functions)
{
    Invocation inv;
    QString functionName;
    qsizetype firstOption = 0;
    if (std::optional<ParseResult> ended =
            readFunctionName(arguments, functions, inv, functionName, firstOption))
        return *ended;
    // "upgrade" is no catalogue function and offers no choices.
    const FunctionDescriptor* found = FindFunction(functions, inv.catalogue, inv.function);
    OptionReader reader(arguments, inv, found, functionName);
    if (QString problem = reader.readFrom(firstOption); !problem.isEmpty())
        return {std::nullopt, problem};
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
    panel.copyPhotos = function.panel.copyPhotosBox && inv.copyPhotos;
    panel.backupSet = function.choosesBackupSet ? inv.backupSet : 0;
    // The user or role picked from the list the function's button fills.
    if (function.panel.combo != ComboButton::None && inv.userRole.name)
        panel.selection = *inv.userRole.name;
    return panel;
}

password::UpgradeTarget UpgradeTargetFor(const Invocation& inv,
                                         const std::optional<QString>& sqlPassword,
                                         const Settings& settings)
{
    password::UpgradeTarget target = password::UpgradeTargetFromSettings(settings);
    const auto given = [&](ConsoleOption option, QString& value) {
        if (const auto found = inv.fields.find(option); found != inv.fields.end())
            value = found->second;
    };
    given(ConsoleOption::Server, target.server);
    given(ConsoleOption::Database, target.database);
    if (const auto found = inv.fields.find(ConsoleOption::Directory); found != inv.fields.end())
        target.dataDirectory = WithTrailingBackslash(found->second);
    target.user = inv.user.value_or(target.user);
    target.password = sqlPassword.value_or(target.password);
    return target;
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
