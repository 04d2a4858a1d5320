// The password database's eight tables, four foreign keys and default rows, held once; the
// statements that create or bring a password database up to date are derived from here.
#pragma once

#include "TableModel.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sqllumo::password {

inline constexpr const char* kVersionPrefix = "Version:";
inline constexpr const char* kCurrentVersion = "1.04";
// "Version:1.04"
std::string CurrentVersionText();

// The password tables are stated in the model both databases share.
using PasswordColumnDef = schema::ColumnDef;
using PasswordTableDef = schema::TableDef;

// In the order the tables are checked and created.
const std::vector<PasswordTableDef>& PasswordTables();
const PasswordTableDef* FindPasswordTable(const std::string& name);

// "CREATE TABLE T_AdminPassword( ID_AdminPasswd INT IDENTITY(1,1) CONSTRAINT
// PrimaryKey_T_AdminPassword PRIMARY KEY, Admin_Passwd NVARCHAR(64) NOT NULL )"
std::string CreatePasswordTableStatement(const PasswordTableDef& table);
// "SELECT * FROM T_GenPasswords": the rows a default row is added through.
std::string SelectAllStatement(const PasswordTableDef& table);

// The user name's key listing, "sp_pkeys 'T_GenericUser'": its PK_NAME is the key that
// WidenUserNameStatements must lift.
std::string UserKeyListingCall();
// "sp_pkeys '<table>'": the columns and name of a table's primary key.
std::string KeyListingCall(const PasswordTableDef& table);
// The bare "ALTER TABLE T_GenericUser ALTER COLUMN User_Name NVARCHAR(64) NOT NULL".
std::string WidenUserNameStatement();
// Sent instead of the creation when T_GenericUser already exists: the user name brought to its
// current width. SQL Server refuses to alter a column under a primary key (errors 5074, 4922),
// so an existing key, named as the listing reports it, is dropped first and the table's own
// key added again afterwards; a table without a key gets the key after the column.
std::vector<std::string> WidenUserNameStatements(const std::optional<std::string>& existingKey);
// Every row of T_DBVersion gets the current version.
std::string SetCurrentVersionStatement();
// A row of T_DBVersion naming a version before the current one: "SELECT TOP 1 * FROM
// T_DBVersion WHERE (([FreeText] = 'Version:1.03') OR ... ([FreeText] = 'Version:1.00'))".
std::string OlderVersionQuery();
// A row naming any version but the current one.
std::string OtherVersionQuery();
// "ALTER TABLE T ADD CONSTRAINT PrimaryKey_T PRIMARY KEY (column)": the key of a table that has
// lost it.
std::string AddPrimaryKeyStatement(const PasswordTableDef& table);

// The schema steps run as one transaction: SQL Server takes CREATE and ALTER TABLE and the
// constraints back on a rollback, or when the connection dies before the commit.
inline constexpr const char* kBeginTransaction = "BEGIN TRANSACTION";
inline constexpr const char* kCommitTransaction = "COMMIT TRANSACTION";
inline constexpr const char* kRollbackTransaction = "ROLLBACK TRANSACTION";

// Default rows. Passwords are given in plain text; they are stored as cipher text under the
// fixed key text.
inline constexpr const char* kDefaultPassword = "darnitex";
inline constexpr const char* kDefaultMontagePassword = "b5b6";
// Field and plain password of the one T_GenPasswords row: every column after the identity.
std::vector<std::pair<std::string, std::string>> GenPasswordsDefaultRow();

inline constexpr const char* kAdministratorRole = "Administrator"; // RoleName, isLocked true
inline constexpr const char* kArchiveGroup = "Archive";            // its Description
// Field names where the statements that write them spell them unlike the column.
inline constexpr const char* kVersionField = "FreeText";
inline constexpr const char* kRoleLockedField = "isLocked";

// The 13 functions of a new database, in insertion order, inner double quotes included.
const std::vector<std::string>& DefaultFunctionNames();
// The two that the current version added and that an upgrade adds: "Can Modify Settings",
// "Can Acquire EEG".
std::vector<std::string> FunctionsOfCurrentVersion();

// "SELECT ID_Role FROM T_SecurityRoles WHERE RoleName = 'Administrator'"
std::string AdministratorRoleIdQuery();
// "SELECT ID_MacroFunction FROM T_SecurityMacroFunctions WHERE Description = 'Archive'"
std::string ArchiveGroupIdQuery();
// "SELECT ID_Function FROM T_SecurityFunctions WHERE FunctionName = 'Can Modify Settings'";
// single quotes in the name are doubled.
std::string FunctionIdQuery(const std::string& functionName);
// "SELECT ID_Role FROM T_SecurityRoles"
std::string AllRoleIdsQuery();

// A cascading foreign key that is checked through the referenced table's key listing and
// added, or dropped and added again, on the referencing table.
struct PasswordForeignKey {
    std::string name;
    std::string table; // referencing table and column
    std::string column;
    std::string referencedTable;
    std::string referencedColumn;

    // "sp_fkeys 'T_SecurityRoles'"
    std::string listingCall() const;
    // "ADD CONSTRAINT fk_User_Role FOREIGN KEY (Access_Type) REFERENCES T_SecurityRoles
    // (ID_Role) ON DELETE CASCADE ON UPDATE CASCADE ", with its closing blank.
    std::string addClause() const;
    std::string dropClause() const;    // "DROP CONSTRAINT fk_User_Role"
    std::string addStatement() const;  // "ALTER TABLE " + table + " " + add clause
    std::string dropStatement() const; // "ALTER TABLE " + table + " " + drop clause
};

// In the order they are checked.
const std::vector<PasswordForeignKey>& PasswordForeignKeys();

} // namespace sqllumo::password
