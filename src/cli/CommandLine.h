#pragma once
// The command line of the console front end: which catalogue function, the panel's fields as
// options, and where the passwords come from (files or standard input, never arguments). The
// functions and the fields their options fill come from the function descriptors.

#include "FunctionDescriptor.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>

namespace sqllumo {
class Settings;
}
namespace sqllumo::password {
struct UpgradeTarget;
}

namespace sqllumo::cli {

// The options of the password catalogue's user and role functions (FunctionDescriptor::
// consoleInput says which each takes); what is not given is left as the dialog shows it.
struct UserRoleOptions {
    std::optional<QString> name;
    std::optional<QString> userPasswordFile; // "-" = standard input
    std::optional<QString> role;
    std::optional<QString> firstName;
    std::optional<QString> lastName;
    std::optional<QString> title;
    std::optional<QDate> birthDate;
    std::optional<bool> doctor;   // --doctor, --technician
    std::optional<bool> internal; // --internal, --external
    QStringList grants;
    QStringList revokes;
    std::optional<QString> rename;
};

struct Invocation {
    bool help = false;
    bool catalogueHelp = false;
    MenuMode catalogue = MenuMode::Archive;
    int function = -1; // catalogue index
    std::map<ConsoleOption, QString> fields;
    // The one option of the function's own (FunctionDescriptor::consoleChoices) given, with
    // its value (empty for a flag).
    std::optional<std::pair<QString, QString>> choice;
    // The options of a function that runs on its own (FunctionDescriptor::consoleOwnOptions),
    // by name; a flag's value is empty.
    std::map<QString, QString> ownOptions;
    std::optional<QString> user;
    std::optional<QString> passwordFile;      // "-" = standard input
    std::optional<QString> adminPasswordFile; // "-" = standard input
    std::optional<QString> logFolder;
    // --encryption off|request|require and --ca-file F: the settings Encryption and CAFile.
    std::optional<QString> encryption;
    std::optional<QString> caFile;
    bool yes = false;
    // --copy-photos: the import's check box of the same name.
    bool copyPhotos = false;
    // --set N: the restore's backup set, its position in the file (0 = the newest full one).
    int backupSet = 0;
    // "sqllumo password upgrade": the upgrade alone, no catalogue function.
    bool upgrade = false;
    // Password catalogue: the new administrator password, the generic passwords to change.
    std::optional<QString> newPasswordFile, reportFile, montageFile, resourceFile;
    UserRoleOptions userRole;
};

struct ParseResult {
    std::optional<Invocation> invocation;
    QString error; // set when invocation is empty
};

// arguments without the program name; functions: the descriptors the console offers.
ParseResult ParseCommandLine(const QStringList& arguments, const FunctionList& functions);

QString GeneralHelp(const FunctionList& functions);
QString CatalogueHelp(const FunctionList& functions, MenuMode catalogue);

// The panel as the window would show it for the function: each shown field pre-filled from
// the settings, then overridden by the options given. The password is the one read from the
// password file, when there was one.
PanelValues PanelFor(const FunctionDescriptor& function, const Invocation& invocation,
                     const std::optional<QString>& sqlPassword, const Settings& settings);

// The password database the upgrade of a password command works on: --server, --database,
// --user, the password read and --directory first, the settings for what is not given.
password::UpgradeTarget UpgradeTargetFor(const Invocation& invocation,
                                         const std::optional<QString>& sqlPassword,
                                         const Settings& settings);

// Reads a password: the first line of the file, or of standard input for "-". nullopt with
// error set when it cannot be read.
std::optional<QString> ReadPasswordSource(const QString& source, QString& error);

} // namespace sqllumo::cli
