#include "Catalogues.h"

#include "Settings.h"

namespace sqllumo {

namespace {
using namespace settingkeys;
const QString kCr = QStringLiteral("\r");
const QString kCrLf = QStringLiteral("\r\n");
const QString kDirectoryPresent =
    QStringLiteral("The directory have to be present in the SQL Server");
const QString kDatabaseName = QStringLiteral("Database Name");
const QString kDatabaseDirectory = QStringLiteral("Database Directory");

FieldLayout server()
{
    return {true, catalogueTexts::kServerNameCaption, kSQLServerName};
}
FieldLayout hidden()
{
    return {};
}

std::vector<PanelLayout> archivePanels()
{
    const FieldLayout dbField{true, kDatabaseName, settingkeys::kDatabaseName};
    const FieldLayout dataDir{true, kDatabaseDirectory + kCr + kDirectoryPresent, kDataDirectory};
    PanelLayout newDb{
        QStringLiteral("New Corvista Database"),
        {server(), dbField, dataDir, hidden()},
        QStringLiteral("Create a new database and initialized it as a Corvista database."),
        false,
        ComboButton::None,
        5};
    PanelLayout newDb2 = newDb;
    newDb2.label3 = QStringLiteral(
        "Create a new database (new version) and initialized it as a Corvista database.");
    return {
        {QStringLiteral("New Login"),
         {server(), FieldLayout{true, QStringLiteral("Login Name"), {}}, hidden(), hidden()},
         QStringLiteral("Allows a Windows user account to connect to the specified ") + kCrLf +
             QStringLiteral("SQL Server."),
         false,
         ComboButton::None,
         4},
        newDb,
        newDb2,
        {QStringLiteral("Backup of a Corvista database"),
         {server(), dbField,
          FieldLayout{true, QStringLiteral("Backup destination") + kCr + kDirectoryPresent,
                      kBackupFile},
          hidden()},
         QStringLiteral("SQL Server Backup (Complete) of the specified database."),
         false,
         ComboButton::None,
         6},
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
        {QStringLiteral("Information"),
         {server(), hidden(), hidden(), hidden()},
         QStringLiteral("Info about Databases and Logins of the specified SQL Server"),
         false,
         ComboButton::None,
         8},
        {QStringLiteral("Test of Corvista Database"),
         {server(), dbField, hidden(), hidden()},
         QStringLiteral("Tests the structure of the specified Corvista database."),
         false,
         ComboButton::None,
         9},
        {QStringLiteral("Delete a Database"),
         {server(), dbField, hidden(), hidden()},
         QStringLiteral("Remove a specified database from SQL Server."),
         false,
         ComboButton::None,
         10},
        {QStringLiteral("Import Data from Microsoft Access"),
         {server(), FieldLayout{true, QStringLiteral("Name of the Destination Database (New)"), {}},
          dataDir,
          FieldLayout{true,
                      QStringLiteral("File Name of the Data Source") + kCrLf +
                          QStringLiteral("(path of Access database)"),
                      {}}},
         QStringLiteral("Import Data from Access into a specified SQL database.") + kCrLf +
             QStringLiteral("(WARNING: ONLY FOR SQL SERVER 2000, MSDE OR BELOW)"),
         true,
         ComboButton::None,
         11},
        {QStringLiteral("Move database fields"),
         {server(), dbField, hidden(), hidden()},
         QStringLiteral("Move database fields from original location to another location"),
         false,
         ComboButton::None,
         12},
    };
}

std::vector<PanelLayout> passwordPanels()
{
    const FieldLayout dbField{true, kDatabaseName, kPasswdDatabaseName};
    auto plain = [&](const char* frame, const char* label3, ComboButton combo = ComboButton::None) {
        return PanelLayout{QString::fromUtf8(frame),
                           {server(), dbField, hidden(), hidden()},
                           QString::fromUtf8(label3),
                           false,
                           combo,
                           0};
    };
    return {
        {QStringLiteral("New Corvista Password Database"),
         {server(), dbField,
          FieldLayout{true, kDatabaseDirectory + kCr + kDirectoryPresent, kPasswdDataDirectory},
          hidden()},
         QStringLiteral(
             "Create a new database and initialized it as a Corvista Password database."),
         false,
         ComboButton::None,
         0},
        plain("Delete a Database", "Remove a specified database"),
        plain("Add an user", "Add an user to a specified database"),
        plain("Delete user", "Delete an user from a specified database", ComboButton::UserNames),
        plain("Modify user info", "Modify an user in a specified database", ComboButton::UserNames),
        plain("Erase user password", "Erase an user password in a specified database",
              ComboButton::UserNames),
        plain("Modify a generic password", "Modify a generic password into a specified database"),
        plain("Modify administrator password",
              "Modify network administrator password into a specified database"),
        plain("Add a role", "Add a role to a specified database"),
        plain("Delete a role", "Delete a role from a specified database", ComboButton::RoleNames),
        plain("Modify a role", "Modify a role from a specified database", ComboButton::RoleNames),
    };
}
} // namespace

const std::vector<CatalogueEntry>& catalogue(MenuMode mode)
{
    static const std::vector<CatalogueEntry> archive{
        {"New Login", QStringLiteral("Allows a Windows user account to connect to a specified ") +
                          kCrLf + QStringLiteral("SQL Server")},
        {"New Corvista Database",
         "Create a new database and initialized it as a Corvista database"},
        {"New Corvista Database (new version)",
         "Create a new database and initialized it as a Corvista database (new version)"},
        {"Backup of Corvista Database", "SQL Server Backup (Complete) of a specified database"},
        {"Restore of Corvista Database", "SQL Server Restore of a specified database"},
        {"General Information", "Info about Databases and Logins of a specified SQL Server"},
        {"Test of Corvista Database",
         "Tests the structure of an existing and specified Corvista database"},
        {"Delete a Database", "Removes a specified database from SQL Server"},
        {"Import Corvista database - Access to SQL Server",
         "Imports data from a specified Corvista database"},
        {"Move Database fields", "Move Database fields from original location to another location"},
    };
    static const std::vector<CatalogueEntry> password{
        {"New Corvista Password Database",
         "Create a new database and initialized it as a Corvista password database"},
        {"Delete a Database", "Removes a specified database from SQL Server"},
        {"Adds an user", "Adds an user"},
        {"Deletes an user", "Deletes an user"},
        {"Modifies an user", "Modifies an user"},
        {"Deletes an user password", "Deletes an user password"},
        {"Modifies a generic password", "Modifies a generic password"},
        {"Modifies network administrator password",
         "Modifies Corvista Network Administrator Password"},
        {"Adds a role", "Adds a role"},
        {"Deletes a role", "Deletes a role"},
        {"Modifies a role", "Modifies a role"},
    };
    return mode == MenuMode::Archive ? archive : password;
}

const std::vector<PanelLayout>& panels(MenuMode mode)
{
    static const std::vector<PanelLayout> archive = archivePanels();
    static const std::vector<PanelLayout> password = passwordPanels();
    return mode == MenuMode::Archive ? archive : password;
}

const QString& bannerFor(MenuMode mode)
{
    return mode == MenuMode::Archive ? catalogueTexts::kArchiveBanner
                                     : catalogueTexts::kPasswordBanner;
}

} // namespace sqllumo
