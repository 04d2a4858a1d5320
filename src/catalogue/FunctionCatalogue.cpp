// The descriptors of both catalogues in list order: what each function shows, asks for and
// runs. The window, the dispatcher, the console front end and the helps read them from here.
#include "FunctionCatalogue.h"

#include "AccessInspection.h"
#include "ArchiveCatalogue.h"
#include "CatalogueTexts.h"
#include "ImportFromAccess.h"
#include "InspectCommand.h"
#include "MoveDatabaseFields.h"
#include "PasswordCatalogue.h"
#include "PasswordUsersRoles.h"
#include "Settings.h"

namespace sqllumo {

namespace {
using namespace settingkeys;
using Opt = ConsoleOption;
const QString kCr = QStringLiteral("\r");
const QString kCrLf = QStringLiteral("\r\n");
const QString kDirectoryPresent =
    QStringLiteral("The directory have to be present in the SQL Server");
const QString kDatabaseNameCaption = QStringLiteral("Database Name");
const QString kDatabaseDirectoryCaption = QStringLiteral("Database Directory");
const QString kRemoveDatabaseDescription =
    QStringLiteral("Removes a specified database from SQL Server");

FieldLayout server()
{
    return {true, catalogueTexts::kServerNameCaption, kSQLServerName};
}
FieldLayout hidden()
{
    return {};
}

FunctionList archiveFunctions()
{
    const FieldLayout dbField{true, kDatabaseNameCaption, kDatabaseName};
    const FieldLayout dataDir{true, kDatabaseDirectoryCaption + kCr + kDirectoryPresent,
                              kDataDirectory};
    const PanelLayout newDb{
        QStringLiteral("New Corvista Database"),
        {server(), dbField, dataDir, hidden()},
        QStringLiteral("Create a new database and initialized it as a Corvista database."),
        false,
        ComboButton::None,
        5};
    PanelLayout newDb2 = newDb;
    newDb2.label3 = QStringLiteral(
        "Create a new database (new version) and initialized it as a Corvista database.");
    const MenuMode archive = MenuMode::Archive;

    FunctionList functions = {
        {archive,
         0,
         QStringLiteral("New Login"),
         QStringLiteral("Allows a Windows user account to connect to a specified ") + kCrLf +
             QStringLiteral("SQL Server"),
         {QStringLiteral("New Login"),
          {server(), FieldLayout{true, QStringLiteral("Login Name"), {}}, hidden(), hidden()},
          QStringLiteral("Allows a Windows user account to connect to the specified ") + kCrLf +
              QStringLiteral("SQL Server."),
          false,
          ComboButton::None,
          4},
         AccessCheck::None,
         server::NewLogin,
         QStringLiteral("new-login"),
         QStringLiteral("grant a Windows account a login with all server roles"),
         {Opt::Server, Opt::Login, Opt::None, Opt::None}},
        {archive,
         1,
         QStringLiteral("New Corvista Database"),
         QStringLiteral("Create a new database and initialized it as a Corvista database"),
         newDb,
         AccessCheck::None,
         server::CreateDatabase,
         QStringLiteral("create"),
         QStringLiteral("create an archive database"),
         {Opt::Server, Opt::Database, Opt::Directory, Opt::None}},
        {archive,
         2,
         QStringLiteral("New Corvista Database (new version)"),
         QStringLiteral(
             "Create a new database and initialized it as a Corvista database (new version)"),
         newDb2,
         AccessCheck::None,
         server::CreateDatabaseNewVersion,
         QStringLiteral("create-new"),
         QStringLiteral("create an archive database (new version)"),
         {Opt::Server, Opt::Database, Opt::Directory, Opt::None}},
        {archive,
         3,
         QStringLiteral("Backup of Corvista Database"),
         QStringLiteral("SQL Server Backup (Complete) of a specified database"),
         {QStringLiteral("Backup of a Corvista database"),
          {server(), dbField,
           FieldLayout{true, QStringLiteral("Backup destination") + kCr + kDirectoryPresent,
                       kBackupFile},
           hidden()},
          QStringLiteral("SQL Server Backup (Complete) of the specified database."),
          false,
          ComboButton::None,
          6},
         AccessCheck::None,
         server::BackupDatabase,
         QStringLiteral("backup"),
         QStringLiteral("complete backup of a database to a file on the server"),
         {Opt::Server, Opt::Database, Opt::File, Opt::None}},
        {archive,
         4,
         QStringLiteral("Restore of Corvista Database"),
         QStringLiteral("SQL Server Restore of a specified database"),
         {QStringLiteral("Restore of a Corvista database"),
          {server(), dbField,
           FieldLayout{true,
                       QStringLiteral("Backup file to restore") + kCr +
                           QStringLiteral("Data have to be present in the SQL Server"),
                       kBackupFile},
           FieldLayout{true, QStringLiteral("Database Directory ") + kCr + kDirectoryPresent,
                       kDataDirectory}},
          QStringLiteral("SQL Server Restore of the specified database."),
          false,
          ComboButton::None,
          7},
         AccessCheck::A,
         server::RestoreDatabase,
         QStringLiteral("restore"),
         QStringLiteral("restore a backup file into a database"),
         {Opt::Server, Opt::Database, Opt::File, Opt::Directory}},
        {archive,
         5,
         QStringLiteral("General Information"),
         QStringLiteral("Info about Databases and Logins of a specified SQL Server"),
         {QStringLiteral("Information"),
          {server(), hidden(), hidden(), hidden()},
          QStringLiteral("Info about Databases and Logins of the specified SQL Server"),
          false,
          ComboButton::None,
          8},
         AccessCheck::None,
         server::GeneralInformation,
         QStringLiteral("info"),
         QStringLiteral("list the databases and logins of the server"),
         {Opt::Server, Opt::None, Opt::None, Opt::None}},
        {archive,
         6,
         QStringLiteral("Test of Corvista Database"),
         QStringLiteral("Tests the structure of an existing and specified Corvista database"),
         {QStringLiteral("Test of Corvista Database"),
          {server(), dbField, hidden(), hidden()},
          QStringLiteral("Tests the structure of the specified Corvista database."),
          false,
          ComboButton::None,
          9},
         AccessCheck::None,
         server::TestDatabase,
         QStringLiteral("test"),
         QStringLiteral("test the structure of an archive database"),
         {Opt::Server, Opt::Database, Opt::None, Opt::None}},
        {archive,
         7,
         QStringLiteral("Delete a Database"),
         kRemoveDatabaseDescription,
         {QStringLiteral("Delete a Database"),
          {server(), dbField, hidden(), hidden()},
          QStringLiteral("Remove a specified database from SQL Server."),
          false,
          ComboButton::None,
          10},
         AccessCheck::A,
         server::DeleteDatabase,
         QStringLiteral("delete"),
         QStringLiteral("remove a database from the server"),
         {Opt::Server, Opt::Database, Opt::None, Opt::None}},
        {archive,
         8,
         QStringLiteral("Import Corvista database - Access to SQL Server"),
         QStringLiteral("Imports data from a specified Corvista database"),
         {QStringLiteral("Import Data from Microsoft Access"),
          {server(),
           FieldLayout{true, QStringLiteral("Name of the Destination Database (New)"), {}}, dataDir,
           FieldLayout{true,
                       QStringLiteral("File Name of the Data Source") + kCrLf +
                           QStringLiteral("(path of Access database)"),
                       {}}},
          QStringLiteral("Import Data from Access into a specified SQL database.") + kCrLf +
              QStringLiteral("(WARNING: ONLY FOR SQL SERVER 2000, MSDE OR BELOW)"),
          true,
          ComboButton::None,
          11},
         AccessCheck::A,
         server::ImportFromAccess,
         QStringLiteral("import"),
         QStringLiteral("create a database from an Access archive"),
         {Opt::Server, Opt::Database, Opt::Directory, Opt::Source}},
        {archive,
         9,
         QStringLiteral("Move Database fields"),
         QStringLiteral("Move Database fields from original location to another location"),
         {QStringLiteral("Move database fields"),
          {server(), dbField, hidden(), hidden()},
          QStringLiteral("Move database fields from original location to another location"),
          false,
          ComboButton::None,
          12},
         AccessCheck::A,
         shifting::MoveDatabaseFields,
         QStringLiteral("shift"),
         QStringLiteral("move patient codes, markers or quick-search flags to other fields"),
         {Opt::Server, Opt::Database, Opt::None, Opt::None},
         true,
         shifting::ShiftConsoleChoices()},
        {archive,
         10,
         {},
         {},
         {QStringLiteral("Backup sets of a file"),
          {server(), hidden(), FieldLayout{true, QStringLiteral("Backup file"), kBackupFile},
           hidden()},
          {},
          false,
          ComboButton::None,
          7},
         AccessCheck::None,
         server::ListBackupSets,
         QStringLiteral("backups"),
         QStringLiteral("list the backup sets of a file on the server, each checked"),
         {Opt::Server, Opt::None, Opt::File, Opt::None},
         false},
    };
    // The import runs long: it can be stopped, and it can copy the patients' photos. Its counts
    // and the test's findings are what the person came for: shown open under the message.
    for (FunctionDescriptor& function : functions) {
        function.resultsOpen = function.consoleName == QLatin1String("import") ||
                               function.consoleName == QLatin1String("test");
        function.choosesBackupSet = function.consoleName == QLatin1String("restore");
        if (function.consoleName == QLatin1String("import")) {
            function.stoppable = true;
            function.panel.copyPhotosBox = true;
            function.panel.inspectSource = [](const QString& path) {
                return archive::InspectAccessFile(path).lines();
            };
        }
    }
    FunctionDescriptor inspect;
    inspect.catalogue = archive;
    inspect.index = 11;
    inspect.consoleName = QStringLiteral("inspect");
    inspect.consoleSummary =
        QStringLiteral("list the tables of an Access archive and what an import of it would meet, "
                       "without a server");
    inspect.consoleFields = {Opt::None, Opt::None, Opt::None, Opt::Source};
    inspect.windowEntry = false;
    inspect.consoleRun = archive::RunInspectCommand;
    inspect.consoleOwnOptions = archive::InspectOptions();
    inspect.consoleNote = archive::InspectNote();
    functions.push_back(std::move(inspect));
    return functions;
}

FunctionList passwordFunctions()
{
    const FieldLayout dbField{true, kDatabaseNameCaption, kPasswdDatabaseName};
    int next = 0;
    // Functions without an operation yet; the panel is server and database, with the
    // combo box and its button where the function picks a user or a role.
    auto plain = [&](const QString& entry, const QString& description, const QString& frame,
                     const QString& label3, AccessCheck access,
                     ComboButton combo = ComboButton::None) {
        FunctionDescriptor function;
        function.catalogue = MenuMode::Password;
        function.index = next++;
        function.entry = entry;
        function.description = description;
        // Their help pages follow the archive's: topic 13 is password function 0.
        function.panel = PanelLayout{frame,  {server(), dbField, hidden(), hidden()},
                                     label3, false,
                                     combo,  13 + function.index};
        function.access = access;
        return function;
    };
    // 0 asks for a new administrator password and 7 for the current one itself; 1 makes
    // check B in two parts around its question.
    FunctionDescriptor newDatabase =
        plain("New Corvista Password Database",
              "Create a new database and initialized it as a Corvista password database",
              "New Corvista Password Database",
              "Create a new database and initialized it as a Corvista Password database.",
              AccessCheck::None);
    newDatabase.panel.fields[2] = FieldLayout{
        true, kDatabaseDirectoryCaption + kCr + kDirectoryPresent, kPasswdDataDirectory};
    auto running = [](FunctionDescriptor function, Operation operation) {
        function.operation = std::move(operation);
        return function;
    };
    const AccessCheck b = AccessCheck::B;
    const ComboButton users = ComboButton::UserNames;
    const ComboButton roles = ComboButton::RoleNames;
    FunctionList functions = {
        newDatabase,
        plain("Delete a Database", kRemoveDatabaseDescription, "Delete a Database",
              "Remove a specified database", b),
        running(plain("Adds an user", "Adds an user", "Add an user",
                      "Add an user to a specified database", b),
                password::AddUserFunction),
        running(plain("Deletes an user", "Deletes an user", "Delete user",
                      "Delete an user from a specified database", b, users),
                password::DeleteUserFunction),
        running(plain("Modifies an user", "Modifies an user", "Modify user info",
                      "Modify an user in a specified database", b, users),
                password::ModifyUserFunction),
        running(plain("Deletes an user password", "Deletes an user password", "Erase user password",
                      "Erase an user password in a specified database", b, users),
                password::EraseUserPasswordFunction),
        plain("Modifies a generic password", "Modifies a generic password",
              "Modify a generic password", "Modify a generic password into a specified database",
              b),
        plain("Modifies network administrator password",
              "Modifies Corvista Network Administrator Password", "Modify administrator password",
              "Modify network administrator password into a specified database", AccessCheck::None),
        running(plain("Adds a role", "Adds a role", "Add a role",
                      "Add a role to a specified database", b),
                password::AddRoleFunction),
        running(plain("Deletes a role", "Deletes a role", "Delete a role",
                      "Delete a role from a specified database", b, roles),
                password::DeleteRoleFunction),
        running(plain("Modifies a role", "Modifies a role", "Modify a role",
                      "Modify a role from a specified database", b, roles),
                password::ModifyRoleFunction),
    };
    auto bind = [&](int index, Operation operation, const char* name, const char* summary,
                    std::array<ConsoleOption, 4> fields) {
        FunctionDescriptor& function = functions[static_cast<size_t>(index)];
        function.operation = std::move(operation);
        function.consoleName = QString::fromLatin1(name);
        function.consoleSummary = QString::fromLatin1(summary);
        function.consoleFields = fields;
    };
    bind(password::kNewPasswordDatabase, password::NewPasswordDatabase, "create",
         "create and initialise a password database",
         {Opt::Server, Opt::Database, Opt::Directory, Opt::None});
    bind(password::kDeletePasswordDatabase, password::DeletePasswordDatabase, "delete",
         "remove a password database from the server",
         {Opt::Server, Opt::Database, Opt::None, Opt::None});
    bind(password::kModifyGenericPassword, password::ModifyGenericPasswords, "generic",
         "show the three generic passwords, or change those given",
         {Opt::Server, Opt::Database, Opt::None, Opt::None});
    bind(password::kModifyAdministratorPassword, password::ModifyAdministratorPassword,
         "admin-password", "change the network administrator password",
         {Opt::Server, Opt::Database, Opt::None, Opt::None});

    // The user and role functions answer their dialogs from options of their own.
    auto userOrRole = [&](int index, const char* name, const char* summary, ConsoleInput input) {
        FunctionDescriptor& function = functions[static_cast<size_t>(index)];
        function.consoleName = QString::fromLatin1(name);
        function.consoleSummary = QString::fromLatin1(summary);
        function.consoleFields = {Opt::Server, Opt::Database, Opt::None, Opt::None};
        function.consoleInput = input;
        function.consoleNeedsReport = true;
    };
    userOrRole(password::kAddUser, "user add", "add a user with a password and a role",
               ConsoleInput::NewUser);
    userOrRole(password::kDeleteUser, "user delete", "remove a user", ConsoleInput::ListedName);
    userOrRole(password::kModifyUser, "user modify", "change a user's password, role or details",
               ConsoleInput::ChangedUser);
    userOrRole(password::kEraseUserPassword, "user erase-password",
               "leave a user without a password", ConsoleInput::ListedName);
    userOrRole(password::kAddRole, "role add", "add a role and the functions it may use",
               ConsoleInput::NewRole);
    userOrRole(password::kDeleteRole, "role delete",
               "remove a role with its users and rights, naming the users and asking first",
               ConsoleInput::ListedName);
    userOrRole(password::kModifyRole, "role modify",
               "change the functions a role may use, or its name", ConsoleInput::ChangedRole);

    // Console only: what the window shows in its lists and dialogs, printed.
    auto consoleOnly = [&](const char* name, const char* summary, Operation operation,
                           ComboButton combo, ConsoleInput input) {
        FunctionDescriptor function = plain({}, {}, {}, {}, b, combo);
        function.operation = std::move(operation);
        function.consoleName = QString::fromLatin1(name);
        function.consoleSummary = QString::fromLatin1(summary);
        function.consoleFields = {Opt::Server, Opt::Database, Opt::None, Opt::None};
        function.consoleInput = input;
        function.windowEntry = false;
        functions.push_back(std::move(function));
    };
    consoleOnly("user list", "list the user names", password::ListUserNamesFunction,
                ComboButton::None, ConsoleInput::None);
    consoleOnly("user show", "show a user's stored details, never the password",
                password::ShowUserFunction, users, ConsoleInput::ListedName);
    consoleOnly("role list", "list the role names", password::ListRoleNamesFunction,
                ComboButton::None, ConsoleInput::None);
    consoleOnly("role rights", "show which functions a role may use", password::RoleRightsFunction,
                roles, ConsoleInput::ListedName);
    return functions;
}
} // namespace

const FunctionList& CatalogueFunctions()
{
    static const FunctionList functions = [] {
        FunctionList all = archiveFunctions();
        for (FunctionDescriptor& function : passwordFunctions())
            all.push_back(std::move(function));
        return all;
    }();
    return functions;
}

} // namespace sqllumo
