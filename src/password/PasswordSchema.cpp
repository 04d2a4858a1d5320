// The password tables as data; statement text is assembled from it character for character.
#include "PasswordSchema.h"

namespace sqllumo::password {
namespace {

const char* const kPassword = "NVARCHAR(64) NOT NULL";

std::vector<PasswordTableDef> makeTables()
{
    auto def = [](std::string name, std::string identityColumn, int seed,
                  std::vector<PasswordColumnDef> columns) {
        PasswordTableDef table;
        table.name = std::move(name);
        table.identityColumn = std::move(identityColumn);
        table.identitySeed = seed;
        table.columns = std::move(columns);
        return table;
    };
    std::vector<PasswordTableDef> t;
    t.push_back(def("T_DBVersion", "", 1, {{"[FreeText]", "NVARCHAR(100) NOT NULL"}}));

    PasswordTableDef users = def("T_GenericUser", "", 1,
                                 {{"User_Name", kPassword},
                                  {"User_Passwd", kPassword},
                                  {"L_Name", "NVARCHAR(50) NOT NULL"},
                                  {"F_Name", "NVARCHAR(50) NOT NULL"},
                                  {"B_Date", "DATETIME NOT NULL"},
                                  {"Title", "NVARCHAR(32) NOT NULL"},
                                  {"Access_Type", "INT NOT NULL"},
                                  {"Doc_Tech", "BIT NOT NULL"},
                                  {"Int_Ext", "BIT NOT NULL"},
                                  {"Free", "NVARCHAR(200) NOT NULL"}});
    users.keyColumn = "User_Name";
    users.blankBeforeClose = false;
    t.push_back(users);

    t.push_back(def("T_AdminPassword", "ID_AdminPasswd", 1, {{"Admin_Passwd", kPassword}}));

    PasswordTableDef generic = def("T_GenPasswords", "ID_GenPasswds", 2,
                                   {{"Report_Passwd", kPassword},
                                    {"Montage_Passwd", kPassword},
                                    {"Resource_Passwd", kPassword}});
    for (int k = 4; k <= 30; ++k)
        generic.columns.push_back({"Gen" + std::to_string(k) + "_Passwd", kPassword});
    t.push_back(generic);

    PasswordTableDef roles =
        def("T_SecurityRoles", "ID_Role", 1,
            {{"RoleName", "NVARCHAR(50) NOT NULL"}, {"IsLocked", "BIT NOT NULL"}});
    roles.blankBeforeClose = false;
    t.push_back(roles);

    t.push_back(def("T_SecurityMacroFunctions", "ID_MacroFunction", 1,
                    {{"Description", "NVARCHAR(50) NOT NULL"}}));
    t.push_back(
        def("T_SecurityFunctions", "ID_Function", 1,
            {{"FunctionName", "NVARCHAR(150) NOT NULL"}, {"ID_MacroFunction", "INT NOT NULL"}}));
    t.push_back(def("T_SecurityRolesFunctions", "", 1,
                    {{"ID_Role", "INT NOT NULL"}, {"ID_Function", "INT NOT NULL"}}));
    return t;
}

const PasswordTableDef& table(const char* name)
{
    return *FindPasswordTable(name);
}

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

// "SELECT <identity> FROM <table>" and, when a column is given, " WHERE <column> = '<value>'".
std::string identityQuery(const PasswordTableDef& from, const std::string& column = "",
                          const std::string& value = "")
{
    std::string query = "SELECT " + from.identityColumn + " FROM " + from.name;
    if (!column.empty())
        query += " WHERE " + column + " = " + quoted(value);
    return query;
}

} // namespace

std::string CurrentVersionText()
{
    return std::string(kVersionPrefix) + kCurrentVersion;
}

const PasswordColumnDef* PasswordTableDef::findColumn(const std::string& column) const
{
    for (const auto& c : columns)
        if (c.name == column)
            return &c;
    return nullptr;
}

const std::vector<PasswordTableDef>& PasswordTables()
{
    static const std::vector<PasswordTableDef> tables = makeTables();
    return tables;
}

const PasswordTableDef* FindPasswordTable(const std::string& name)
{
    for (const auto& t : PasswordTables())
        if (t.name == name)
            return &t;
    return nullptr;
}

std::string CreatePasswordTableStatement(const PasswordTableDef& table)
{
    std::vector<std::string> fragments;
    if (table.hasIdentity())
        fragments.push_back(table.identityColumn + " INT IDENTITY(" +
                            std::to_string(table.identitySeed) + ",1) CONSTRAINT " +
                            table.primaryKeyName() + " PRIMARY KEY");
    for (const auto& column : table.columns)
        fragments.push_back(column.name + " " + column.definition);
    if (!table.keyColumn.empty())
        fragments.push_back("CONSTRAINT " + table.primaryKeyName() + " PRIMARY KEY (" +
                            table.keyColumn + ")");
    std::string statement = "CREATE TABLE " + table.name + "( ";
    for (size_t i = 0; i < fragments.size(); ++i)
        statement += fragments[i] + (i + 1 < fragments.size() ? ", " : "");
    return statement + (table.blankBeforeClose ? " )" : ")");
}

std::string SelectAllStatement(const PasswordTableDef& table)
{
    return "SELECT * FROM " + table.name;
}

std::string UserKeyListingCall()
{
    return "sp_pkeys '" + table("T_GenericUser").name + "'";
}

std::vector<std::string> WidenUserNameStatements(const std::optional<std::string>& existingKey)
{
    if (!existingKey)
        return {WidenUserNameStatement()};
    const PasswordTableDef& users = table("T_GenericUser");
    // The reported name is bracketed so that any name the server gave cannot change the
    // statement.
    std::string bracketed = "[";
    for (char c : *existingKey)
        bracketed += c == ']' ? std::string("]]") : std::string(1, c);
    bracketed += "]";
    return {"ALTER TABLE " + users.name + " DROP CONSTRAINT " + bracketed, WidenUserNameStatement(),
            "ALTER TABLE " + users.name + " ADD CONSTRAINT " + users.primaryKeyName() +
                " PRIMARY KEY (" + users.keyColumn + ")"};
}

std::string WidenUserNameStatement()
{
    const PasswordTableDef& users = table("T_GenericUser");
    return "ALTER TABLE " + users.name + " ALTER COLUMN " + users.keyColumn + " " +
           users.findColumn(users.keyColumn)->definition;
}

std::string SetCurrentVersionStatement()
{
    const PasswordTableDef& version = table("T_DBVersion");
    return "UPDATE " + version.name + " SET " + version.columns.front().name + " = " +
           quoted(CurrentVersionText());
}

std::vector<std::pair<std::string, std::string>> GenPasswordsDefaultRow()
{
    std::vector<std::pair<std::string, std::string>> row;
    for (const auto& column : table("T_GenPasswords").columns)
        row.emplace_back(column.name, column.name == "Montage_Passwd" ? kDefaultMontagePassword
                                                                      : kDefaultPassword);
    return row;
}

const std::vector<std::string>& DefaultFunctionNames()
{
    static const std::vector<std::string> names = {
        "Can Create Report",
        "Can \"Confirm\"/\"Sign\" Report - Set Marker to \"Read\"",
        "Can Reduce EEG and Video Manually",
        "Can Delete Video files",
        "Can Delete EEG files",
        "Can Delete Patients from Database",
        "Can \"Archive\" (i.e. Move to Archive Resource) Manually",
        "Can Define Statistic Items",
        "Can Burn DVD - BD",
        "Can Modify Technician-Doctor Info in Exam property",
        "Can Access to External HIS Interface",
        // Added by the current version.
        "Can Modify Settings",
        "Can Acquire EEG",
    };
    return names;
}

std::vector<std::string> FunctionsOfCurrentVersion()
{
    const auto& names = DefaultFunctionNames();
    return {names.end() - 2, names.end()};
}

std::string AdministratorRoleIdQuery()
{
    return identityQuery(table("T_SecurityRoles"), "RoleName", kAdministratorRole);
}

std::string ArchiveGroupIdQuery()
{
    return identityQuery(table("T_SecurityMacroFunctions"), "Description", kArchiveGroup);
}

std::string FunctionIdQuery(const std::string& functionName)
{
    return identityQuery(table("T_SecurityFunctions"), "FunctionName", functionName);
}

std::string AllRoleIdsQuery()
{
    return identityQuery(table("T_SecurityRoles"));
}

std::string PasswordForeignKey::listingCall() const
{
    return "sp_fkeys '" + referencedTable + "'";
}

std::string PasswordForeignKey::addClause() const
{
    return "ADD CONSTRAINT " + name + " FOREIGN KEY (" + column + ") REFERENCES " +
           referencedTable + " (" + referencedColumn + ") ON DELETE CASCADE ON UPDATE CASCADE ";
}

std::string PasswordForeignKey::dropClause() const
{
    return "DROP CONSTRAINT " + name;
}

std::string PasswordForeignKey::addStatement() const
{
    return "ALTER TABLE " + table + " " + addClause();
}

std::string PasswordForeignKey::dropStatement() const
{
    return "ALTER TABLE " + table + " " + dropClause();
}

const std::vector<PasswordForeignKey>& PasswordForeignKeys()
{
    static const std::vector<PasswordForeignKey> keys = {
        {"fk_User_Role", "T_GenericUser", "Access_Type", "T_SecurityRoles", "ID_Role"},
        {"fk_RolesFuncts_Roles", "T_SecurityRolesFunctions", "ID_Role", "T_SecurityRoles",
         "ID_Role"},
        {"fk_RolesFuncts_Functs", "T_SecurityRolesFunctions", "ID_Function", "T_SecurityFunctions",
         "ID_Function"},
        {"fk_Functs_MacroFuncts", "T_SecurityFunctions", "ID_MacroFunction",
         "T_SecurityMacroFunctions", "ID_MacroFunction"},
    };
    return keys;
}

} // namespace sqllumo::password
