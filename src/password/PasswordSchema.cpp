// The password tables as data; statement text is assembled from it character for character.
#include "PasswordSchema.h"

#include "DdlWriter.h"

namespace sqllumo::password {
namespace {

using schema::Bit;
using schema::DateTime;
using schema::ForeignKeyDef;
using schema::Int;
using schema::Nullability;
using schema::NVarChar;

const schema::ColumnType kPassword = NVarChar(64);

// A cascading key added with ALTER TABLE after the tables exist; the column itself is INT NOT
// NULL.
PasswordColumnDef keyColumn(std::string column, std::string constraint, std::string table,
                            std::string referenced)
{
    return PasswordColumnDef(
        std::move(column), Nullability::NotNull,
        ForeignKeyDef{std::move(constraint), std::move(table), std::move(referenced), true, false});
}

std::vector<PasswordTableDef> makeTables()
{
    auto def = [](std::string name, std::string identityColumn, int seed,
                  std::vector<PasswordColumnDef> columns) {
        PasswordTableDef table;
        table.name = std::move(name);
        table.identityColumn = std::move(identityColumn);
        table.identitySeed = seed;
        table.seedWrittenWhenOne = true;
        table.columns = std::move(columns);
        return table;
    };
    std::vector<PasswordTableDef> t;
    t.push_back(def("T_DBVersion", "", 1, {{"[FreeText]", NVarChar(100)}}));

    PasswordTableDef users =
        def("T_GenericUser", "", 1,
            {{"User_Name", kPassword},
             {"User_Passwd", kPassword},
             {"L_Name", NVarChar(50)},
             {"F_Name", NVarChar(50)},
             {"B_Date", DateTime()},
             {"Title", NVarChar(32)},
             keyColumn("Access_Type", "fk_User_Role", "T_SecurityRoles", "ID_Role"),
             {"Doc_Tech", Bit()},
             {"Int_Ext", Bit()},
             {"Free", NVarChar(200)}});
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
        def("T_SecurityRoles", "ID_Role", 1, {{"RoleName", NVarChar(50)}, {"IsLocked", Bit()}});
    roles.blankBeforeClose = false;
    t.push_back(roles);

    t.push_back(
        def("T_SecurityMacroFunctions", "ID_MacroFunction", 1, {{"Description", NVarChar(50)}}));
    t.push_back(def("T_SecurityFunctions", "ID_Function", 1,
                    {{"FunctionName", NVarChar(150)},
                     keyColumn("ID_MacroFunction", "fk_Functs_MacroFuncts",
                               "T_SecurityMacroFunctions", "ID_MacroFunction")}));
    t.push_back(def(
        "T_SecurityRolesFunctions", "", 1,
        {keyColumn("ID_Role", "fk_RolesFuncts_Roles", "T_SecurityRoles", "ID_Role"),
         keyColumn("ID_Function", "fk_RolesFuncts_Functs", "T_SecurityFunctions", "ID_Function")}));
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

const std::vector<PasswordTableDef>& PasswordTables()
{
    static const std::vector<PasswordTableDef> tables = makeTables();
    return tables;
}

const PasswordTableDef* FindPasswordTable(const std::string& name)
{
    return schema::FindTable(PasswordTables(), name);
}

std::string CreatePasswordTableStatement(const PasswordTableDef& table)
{
    return schema::CreateTableStatement(table);
}

std::string SelectAllStatement(const PasswordTableDef& table)
{
    return "SELECT * FROM " + table.name;
}

std::string UserKeyListingCall()
{
    return KeyListingCall(table("T_GenericUser"));
}

std::string KeyListingCall(const PasswordTableDef& table)
{
    return "sp_pkeys '" + table.name + "'";
}

std::vector<std::string> WidenUserNameStatements(const std::optional<std::string>& existingKey)
{
    // A table that lost its key gets it back: without it the same user could be stored twice.
    if (!existingKey)
        return {WidenUserNameStatement(), AddPrimaryKeyStatement(table("T_GenericUser"))};
    const PasswordTableDef& users = table("T_GenericUser");
    // The reported name is bracketed so that any name the server gave cannot change the
    // statement.
    return {schema::AlterTableStatement(
                users.name, schema::DropConstraintClause(schema::BracketedName(*existingKey))),
            WidenUserNameStatement(), AddPrimaryKeyStatement(users)};
}

std::string WidenUserNameStatement()
{
    const PasswordTableDef& users = table("T_GenericUser");
    return schema::AlterColumnStatement(users, *users.findColumn(users.keyColumn));
}

std::string SetCurrentVersionStatement()
{
    const PasswordTableDef& version = table("T_DBVersion");
    return "UPDATE " + version.name + " SET " + version.columns.front().name + " = " +
           quoted(CurrentVersionText());
}

std::string OlderVersionQuery()
{
    const PasswordTableDef& version = table("T_DBVersion");
    const std::string column = version.columns.front().name;
    std::string condition;
    for (const char* older : {"1.03", "1.02", "1.01", "1.00"})
        condition += std::string(condition.empty() ? "" : " OR ") + "(" + column + " = " +
                     quoted(std::string(kVersionPrefix) + older) + ")";
    return "SELECT TOP 1 * FROM " + version.name + " WHERE (" + condition + ")";
}

std::string OtherVersionQuery()
{
    const PasswordTableDef& version = table("T_DBVersion");
    return "SELECT TOP 1 * FROM " + version.name + " WHERE " + version.columns.front().name +
           " <> " + quoted(CurrentVersionText());
}

std::string AddPrimaryKeyStatement(const PasswordTableDef& table)
{
    return schema::AlterTableStatement(
        table.name, schema::AddConstraintClause(schema::PrimaryKeyClause(table)));
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
    const schema::ForeignKeyDef& reference =
        *FindPasswordTable(table)->findColumn(column)->foreignKey;
    return schema::AddConstraintClause(schema::ForeignKeyClause(column, reference)) + " ";
}

std::string PasswordForeignKey::dropClause() const
{
    return schema::DropConstraintClause(name);
}

std::string PasswordForeignKey::addStatement() const
{
    return schema::AlterTableStatement(table, addClause());
}

std::string PasswordForeignKey::dropStatement() const
{
    return schema::AlterTableStatement(table, dropClause());
}

const std::vector<PasswordForeignKey>& PasswordForeignKeys()
{
    static const std::vector<PasswordForeignKey> keys = [] {
        // In checking order; each key is the one its column declares.
        const char* const order[] = {"fk_User_Role", "fk_RolesFuncts_Roles",
                                     "fk_RolesFuncts_Functs", "fk_Functs_MacroFuncts"};
        std::vector<PasswordForeignKey> out;
        for (const char* name : order)
            for (const auto& t : PasswordTables())
                for (const auto& c : t.columns)
                    if (c.foreignKey && c.foreignKey->constraintName == name)
                        out.push_back(
                            {name, t.name, c.name, c.foreignKey->table, c.foreignKey->column});
        return out;
    }();
    return keys;
}

} // namespace sqllumo::password
