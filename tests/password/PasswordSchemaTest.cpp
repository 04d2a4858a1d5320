// The password database's statements as the server receives them, its default rows and its
// foreign keys, checked against the texts written out in full.
#include "PasswordSchema.h"
#include "CRijndael.h"

#include <gtest/gtest.h>

#include <map>

using namespace sqllumo::password;

namespace {

const PasswordTableDef& table(const std::string& name)
{
    const PasswordTableDef* found = FindPasswordTable(name);
    if (!found)
        throw std::runtime_error("no table " + name);
    return *found;
}

// The width n of an "NVARCHAR(n) ..." definition.
size_t width(const PasswordColumnDef& column)
{
    return std::stoul(column.definition.substr(column.definition.find('(') + 1));
}

} // namespace

TEST(PasswordSchema, CreateStatementsInTheirOrderCharacterForCharacter)
{
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"T_DBVersion", "CREATE TABLE T_DBVersion( [FreeText] NVARCHAR(100) NOT NULL )"},
        {"T_GenericUser",
         "CREATE TABLE T_GenericUser( User_Name NVARCHAR(64) NOT NULL, User_Passwd NVARCHAR(64) "
         "NOT NULL, L_Name NVARCHAR(50) NOT NULL, F_Name NVARCHAR(50) NOT NULL, B_Date DATETIME "
         "NOT NULL, Title NVARCHAR(32) NOT NULL, Access_Type INT NOT NULL, Doc_Tech BIT NOT "
         "NULL, Int_Ext BIT NOT NULL, Free NVARCHAR(200) NOT NULL, CONSTRAINT "
         "PrimaryKey_T_GenericUser PRIMARY KEY (User_Name))"},
        {"T_AdminPassword",
         "CREATE TABLE T_AdminPassword( ID_AdminPasswd INT IDENTITY(1,1) CONSTRAINT "
         "PrimaryKey_T_AdminPassword PRIMARY KEY, Admin_Passwd NVARCHAR(64) NOT NULL )"},
        {"T_GenPasswords",
         "CREATE TABLE T_GenPasswords( ID_GenPasswds INT IDENTITY(2,1) CONSTRAINT "
         "PrimaryKey_T_GenPasswords PRIMARY KEY, Report_Passwd NVARCHAR(64) NOT NULL, "
         "Montage_Passwd NVARCHAR(64) NOT NULL, Resource_Passwd NVARCHAR(64) NOT NULL, "
         "Gen4_Passwd NVARCHAR(64) NOT NULL, Gen5_Passwd NVARCHAR(64) NOT NULL, "
         "Gen6_Passwd NVARCHAR(64) NOT NULL, Gen7_Passwd NVARCHAR(64) NOT NULL, "
         "Gen8_Passwd NVARCHAR(64) NOT NULL, Gen9_Passwd NVARCHAR(64) NOT NULL, "
         "Gen10_Passwd NVARCHAR(64) NOT NULL, Gen11_Passwd NVARCHAR(64) NOT NULL, "
         "Gen12_Passwd NVARCHAR(64) NOT NULL, Gen13_Passwd NVARCHAR(64) NOT NULL, "
         "Gen14_Passwd NVARCHAR(64) NOT NULL, Gen15_Passwd NVARCHAR(64) NOT NULL, "
         "Gen16_Passwd NVARCHAR(64) NOT NULL, Gen17_Passwd NVARCHAR(64) NOT NULL, "
         "Gen18_Passwd NVARCHAR(64) NOT NULL, Gen19_Passwd NVARCHAR(64) NOT NULL, "
         "Gen20_Passwd NVARCHAR(64) NOT NULL, Gen21_Passwd NVARCHAR(64) NOT NULL, "
         "Gen22_Passwd NVARCHAR(64) NOT NULL, Gen23_Passwd NVARCHAR(64) NOT NULL, "
         "Gen24_Passwd NVARCHAR(64) NOT NULL, Gen25_Passwd NVARCHAR(64) NOT NULL, "
         "Gen26_Passwd NVARCHAR(64) NOT NULL, Gen27_Passwd NVARCHAR(64) NOT NULL, "
         "Gen28_Passwd NVARCHAR(64) NOT NULL, Gen29_Passwd NVARCHAR(64) NOT NULL, "
         "Gen30_Passwd NVARCHAR(64) NOT NULL )"},
        {"T_SecurityRoles",
         "CREATE TABLE T_SecurityRoles( ID_Role INT IDENTITY(1,1) CONSTRAINT "
         "PrimaryKey_T_SecurityRoles PRIMARY KEY, RoleName NVARCHAR(50) NOT NULL, IsLocked BIT "
         "NOT NULL)"},
        {"T_SecurityMacroFunctions",
         "CREATE TABLE T_SecurityMacroFunctions( ID_MacroFunction INT IDENTITY(1,1) CONSTRAINT "
         "PrimaryKey_T_SecurityMacroFunctions PRIMARY KEY, Description NVARCHAR(50) NOT NULL )"},
        {"T_SecurityFunctions",
         "CREATE TABLE T_SecurityFunctions( ID_Function INT IDENTITY(1,1) CONSTRAINT "
         "PrimaryKey_T_SecurityFunctions PRIMARY KEY, FunctionName NVARCHAR(150) NOT NULL, "
         "ID_MacroFunction INT NOT NULL )"},
        {"T_SecurityRolesFunctions",
         "CREATE TABLE T_SecurityRolesFunctions( ID_Role INT NOT NULL, ID_Function INT NOT NULL )"},
    };
    const auto& tables = PasswordTables();
    ASSERT_EQ(tables.size(), expected.size());
    for (size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(tables[i].name, expected[i].first);
        EXPECT_EQ(CreatePasswordTableStatement(tables[i]), expected[i].second) << expected[i].first;
        EXPECT_EQ(SelectAllStatement(tables[i]), "SELECT * FROM " + expected[i].first);
    }
    EXPECT_EQ(FindPasswordTable("t_dbversion"), nullptr);
    // Two tables have no primary key; the rest are keyed under their PrimaryKey_ name.
    int keyed = 0;
    for (const auto& t : tables)
        keyed += t.hasPrimaryKey();
    EXPECT_EQ(keyed, 6);
}

TEST(PasswordSchema, UpgradeAndLookupStatements)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {CurrentVersionText(), "Version:1.04"},
        {WidenUserNameStatement(),
         "ALTER TABLE T_GenericUser ALTER COLUMN User_Name NVARCHAR(64) NOT NULL"},
        {SetCurrentVersionStatement(), "UPDATE T_DBVersion SET [FreeText] = 'Version:1.04'"},
        {AdministratorRoleIdQuery(),
         "SELECT ID_Role FROM T_SecurityRoles WHERE RoleName = 'Administrator'"},
        {ArchiveGroupIdQuery(),
         "SELECT ID_MacroFunction FROM T_SecurityMacroFunctions WHERE Description = 'Archive'"},
        {FunctionIdQuery("Can Modify Settings"),
         "SELECT ID_Function FROM T_SecurityFunctions WHERE FunctionName = 'Can Modify Settings'"},
        {FunctionIdQuery("Can Acquire EEG"),
         "SELECT ID_Function FROM T_SecurityFunctions WHERE FunctionName = 'Can Acquire EEG'"},
        // A quote in a name cannot end the literal early.
        {FunctionIdQuery("Can't' OR 1=1 --"),
         "SELECT ID_Function FROM T_SecurityFunctions WHERE FunctionName = 'Can''t'' OR 1=1 --'"},
        {AllRoleIdsQuery(), "SELECT ID_Role FROM T_SecurityRoles"},
        {UserKeyListingCall(), "sp_pkeys 'T_GenericUser'"},
    };
    for (const auto& [actual, expected] : rows)
        EXPECT_EQ(actual, expected);

    // Widening lifts the key around the column change, and gives a table that lost its key the
    // key back; a key name cannot break out.
    const std::string alter = "ALTER TABLE T_GenericUser ALTER COLUMN User_Name NVARCHAR(64) "
                              "NOT NULL";
    const std::string addKey =
        "ALTER TABLE T_GenericUser ADD CONSTRAINT PrimaryKey_T_GenericUser PRIMARY KEY (User_Name)";
    const std::vector<std::pair<std::optional<std::string>, std::vector<std::string>>> widen = {
        {std::nullopt, {alter, addKey}},
        {"PrimaryKey_T_GenericUser",
         {"ALTER TABLE T_GenericUser DROP CONSTRAINT [PrimaryKey_T_GenericUser]", alter, addKey}},
        {"PK__T_Generi__1A2B3C",
         {"ALTER TABLE T_GenericUser DROP CONSTRAINT [PK__T_Generi__1A2B3C]", alter, addKey}},
        {"odd] DROP TABLE x --",
         {"ALTER TABLE T_GenericUser DROP CONSTRAINT [odd]] DROP TABLE x --]", alter, addKey}},
    };
    for (const auto& [key, statements] : widen)
        EXPECT_EQ(WidenUserNameStatements(key), statements) << key.value_or("(no key)");
}

TEST(PasswordSchema, DefaultRowsAndFunctionNames)
{
    const std::vector<std::string> functions = {
        "Can Create Report",
        R"(Can "Confirm"/"Sign" Report - Set Marker to "Read")",
        "Can Reduce EEG and Video Manually",
        "Can Delete Video files",
        "Can Delete EEG files",
        "Can Delete Patients from Database",
        R"(Can "Archive" (i.e. Move to Archive Resource) Manually)",
        "Can Define Statistic Items",
        "Can Burn DVD - BD",
        "Can Modify Technician-Doctor Info in Exam property",
        "Can Access to External HIS Interface",
        "Can Modify Settings",
        "Can Acquire EEG",
    };
    EXPECT_EQ(DefaultFunctionNames(), functions);
    EXPECT_EQ(FunctionsOfCurrentVersion(),
              (std::vector<std::string>{"Can Modify Settings", "Can Acquire EEG"}));
    const size_t nameWidth = width(*table("T_SecurityFunctions").findColumn("FunctionName"));
    for (const auto& name : DefaultFunctionNames())
        EXPECT_LE(name.size(), nameWidth) << name;

    // The generic passwords row: every column after the identity, montage differing.
    const auto row = GenPasswordsDefaultRow();
    ASSERT_EQ(row.size(), 30u);
    EXPECT_EQ(row[0], std::make_pair(std::string("Report_Passwd"), std::string("darnitex")));
    EXPECT_EQ(row[1], std::make_pair(std::string("Montage_Passwd"), std::string("b5b6")));
    EXPECT_EQ(row[2], std::make_pair(std::string("Resource_Passwd"), std::string("darnitex")));
    for (int k = 4; k <= 30; ++k)
        EXPECT_EQ(row[static_cast<size_t>(k - 1)],
                  std::make_pair("Gen" + std::to_string(k) + "_Passwd", std::string("darnitex")));

    // Stored enciphered under the fixed key, each must fit its column and read back.
    const PasswordTableDef& generic = table("T_GenPasswords");
    for (const auto& [field, plain] : row) {
        const std::u16string text(plain.begin(), plain.end());
        const std::u16string cipher = EncipherText(kFixedKeyText, text);
        EXPECT_EQ(cipher.size(), 16u) << field;
        EXPECT_LE(cipher.size(), width(*generic.findColumn(field))) << field;
        EXPECT_EQ(DecipherText(kFixedKeyText, cipher), text) << field;
    }

    EXPECT_STREQ(kAdministratorRole, "Administrator");
    EXPECT_STREQ(kArchiveGroup, "Archive");
    EXPECT_NE(table("T_SecurityRoles").findColumn("RoleName"), nullptr);
    EXPECT_NE(table("T_SecurityMacroFunctions").findColumn("Description"), nullptr);
}

TEST(PasswordSchema, ForeignKeysWithTheirClausesInCheckingOrder)
{
    struct Row {
        const char* table;
        const char* listing;
        const char* add;
        const char* drop;
    };
    const Row rows[] = {
        {"T_GenericUser", "sp_fkeys 'T_SecurityRoles'",
         "ADD CONSTRAINT fk_User_Role FOREIGN KEY (Access_Type) REFERENCES T_SecurityRoles "
         "(ID_Role) ON DELETE CASCADE ON UPDATE CASCADE ",
         "DROP CONSTRAINT fk_User_Role"},
        {"T_SecurityRolesFunctions", "sp_fkeys 'T_SecurityRoles'",
         "ADD CONSTRAINT fk_RolesFuncts_Roles FOREIGN KEY (ID_Role) REFERENCES T_SecurityRoles "
         "(ID_Role) ON DELETE CASCADE ON UPDATE CASCADE ",
         "DROP CONSTRAINT fk_RolesFuncts_Roles"},
        {"T_SecurityRolesFunctions", "sp_fkeys 'T_SecurityFunctions'",
         "ADD CONSTRAINT fk_RolesFuncts_Functs FOREIGN KEY (ID_Function) REFERENCES "
         "T_SecurityFunctions (ID_Function) ON DELETE CASCADE ON UPDATE CASCADE ",
         "DROP CONSTRAINT fk_RolesFuncts_Functs"},
        {"T_SecurityFunctions", "sp_fkeys 'T_SecurityMacroFunctions'",
         "ADD CONSTRAINT fk_Functs_MacroFuncts FOREIGN KEY (ID_MacroFunction) REFERENCES "
         "T_SecurityMacroFunctions (ID_MacroFunction) ON DELETE CASCADE ON UPDATE CASCADE ",
         "DROP CONSTRAINT fk_Functs_MacroFuncts"},
    };
    const auto& keys = PasswordForeignKeys();
    ASSERT_EQ(keys.size(), std::size(rows));
    for (size_t i = 0; i < keys.size(); ++i) {
        const PasswordForeignKey& key = keys[i];
        EXPECT_EQ(key.table, rows[i].table) << key.name;
        EXPECT_EQ(key.listingCall(), rows[i].listing) << key.name;
        EXPECT_EQ(key.addClause(), rows[i].add) << key.name;
        EXPECT_EQ(key.dropClause(), rows[i].drop) << key.name;
        EXPECT_EQ(key.addStatement(),
                  std::string("ALTER TABLE ") + rows[i].table + " " + rows[i].add);
        EXPECT_EQ(key.dropStatement(),
                  std::string("ALTER TABLE ") + rows[i].table + " " + rows[i].drop);
        // Both ends exist: an INT column refers to the identity of the referenced table.
        const PasswordColumnDef* column = table(key.table).findColumn(key.column);
        ASSERT_NE(column, nullptr) << key.name;
        EXPECT_EQ(column->definition, "INT NOT NULL") << key.name;
        EXPECT_EQ(table(key.referencedTable).identityColumn, key.referencedColumn) << key.name;
    }
}
