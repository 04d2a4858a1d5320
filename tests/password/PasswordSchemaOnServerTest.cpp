// The password schema on a real server: the eight tables with their keys and seeds, the four
// cascading foreign keys as the key listings show them, dropping and adding them again, and
// the widening of the user name under its key.
#include "PasswordSchema.h"
#include "StandinDatabase.h"

using namespace sqllumo;
using namespace sqllumo::password;

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

class PasswordSchemaOnServer : public sqllumo::testing::StandinDatabase {
protected:
    // A database with every table and foreign key, as a new password database gets them.
    QString createSchema(const char* stem)
    {
        const QString name = createDatabase(stem);
        auto connection = connect(name);
        for (const PasswordTableDef& table : PasswordTables())
            connection->execute(q(CreatePasswordTableStatement(table)));
        for (const PasswordForeignKey& key : PasswordForeignKeys())
            connection->execute(q(key.addStatement()));
        connection->close();
        return name;
    }
    // The row of the key's listing that is this key, by referencing table and column.
    static std::optional<size_t> keyRow(const dbport::ResultSet& rows,
                                        const PasswordForeignKey& key)
    {
        for (size_t i = 0; i < rows.rowCount(); ++i)
            if (rows.text(i, "fktable_name").toUpper() == q(key.table).toUpper() &&
                rows.text(i, "fkcolumn_name").toUpper() == q(key.column).toUpper())
                return i;
        return std::nullopt;
    }
};

} // namespace

TEST_F(PasswordSchemaOnServer, TablesCarryTheirKeysAndSeeds)
{
    const QString name = createSchema("PasswordKeys");
    auto connection = connect(name);
    for (const PasswordTableDef& table : PasswordTables()) {
        const dbport::ResultSet keys = connection->query("sp_pkeys '" + q(table.name) + "'");
        if (!table.hasPrimaryKey()) {
            EXPECT_TRUE(keys.isEmpty()) << table.name;
            continue;
        }
        ASSERT_EQ(keys.rowCount(), 1u) << table.name;
        const std::string column = table.hasIdentity() ? table.identityColumn : table.keyColumn;
        EXPECT_EQ(keys.text(0, "COLUMN_NAME").toStdString(), column);
        EXPECT_EQ(keys.text(0, "PK_NAME").toStdString(), table.primaryKeyName());
    }
    // The generic passwords row is numbered from 2, every other identity from 1.
    connection->execute("INSERT INTO T_GenPasswords(Report_Passwd,Montage_Passwd,Resource_Passwd," +
                        [] {
                            QStringList columns;
                            for (int k = 4; k <= 30; ++k)
                                columns << QStringLiteral("Gen%1_Passwd").arg(k);
                            return columns.join(',');
                        }() +
                        ") VALUES (" + QStringList(30, "'x'").join(',') + ")");
    EXPECT_EQ(connection->query("SELECT ID_GenPasswds FROM T_GenPasswords")
                  .value(0, "ID_GenPasswds")
                  .toInt(),
              2);
    connection->execute("INSERT INTO T_AdminPassword(Admin_Passwd) VALUES ('x')");
    EXPECT_EQ(connection->query("SELECT ID_AdminPasswd FROM T_AdminPassword")
                  .value(0, "ID_AdminPasswd")
                  .toInt(),
              1);
    connection->close();
}

TEST_F(PasswordSchemaOnServer, ForeignKeysCascadeAndCanBeReplaced)
{
    const QString name = createSchema("PasswordForeignKeys");
    auto connection = connect(name);
    for (const PasswordForeignKey& key : PasswordForeignKeys()) {
        const dbport::ResultSet rows = connection->query(q(key.listingCall()));
        const auto row = keyRow(rows, key);
        ASSERT_TRUE(row.has_value()) << key.name;
        EXPECT_EQ(rows.text(*row, "FK_NAME").toStdString(), key.name);
        EXPECT_EQ(rows.value(*row, "update_rule").toInt(), 0) << key.name;
        EXPECT_EQ(rows.value(*row, "delete_rule").toInt(), 0) << key.name;

        connection->execute(q(key.dropStatement()));
        EXPECT_FALSE(keyRow(connection->query(q(key.listingCall())), key).has_value()) << key.name;
        connection->execute(q(key.addStatement()));
        EXPECT_TRUE(keyRow(connection->query(q(key.listingCall())), key).has_value()) << key.name;
    }

    // Deleting the role takes its users and rights with it; deleting the group its functions.
    const QStringList rows = {
        "INSERT INTO T_SecurityRoles(RoleName,IsLocked) VALUES ('" + q(kAdministratorRole) + "',1)",
        "INSERT INTO T_SecurityMacroFunctions(Description) VALUES ('" + q(kArchiveGroup) + "')",
        "INSERT INTO T_SecurityFunctions(FunctionName,ID_MacroFunction) VALUES ('" +
            q(DefaultFunctionNames()[1]) + "',1)",
        "INSERT INTO T_SecurityRolesFunctions(ID_Role,ID_Function) VALUES (1,1)",
        "INSERT INTO T_GenericUser(User_Name,User_Passwd,L_Name,F_Name,B_Date,Title,Access_Type,"
        "Doc_Tech,Int_Ext,Free) VALUES ('u','p','l','f','2000-01-01','t',1,0,0,'')",
    };
    for (const QString& statement : rows)
        connection->execute(statement);
    EXPECT_EQ(connection->query(q(AdministratorRoleIdQuery())).value(0, "ID_Role").toInt(), 1);
    EXPECT_EQ(connection->query(q(ArchiveGroupIdQuery())).value(0, "ID_MacroFunction").toInt(), 1);
    // The inner double quotes are part of the stored name and find it again.
    EXPECT_EQ(connection->query(q(FunctionIdQuery(DefaultFunctionNames()[1])))
                  .value(0, "ID_Function")
                  .toInt(),
              1);
    connection->execute("DELETE FROM T_SecurityRoles");
    EXPECT_TRUE(connection->query("SELECT * FROM T_GenericUser").isEmpty());
    EXPECT_TRUE(connection->query("SELECT * FROM T_SecurityRolesFunctions").isEmpty());
    connection->execute("DELETE FROM T_SecurityMacroFunctions");
    EXPECT_TRUE(connection->query("SELECT * FROM T_SecurityFunctions").isEmpty());
    connection->close();
}

TEST_F(PasswordSchemaOnServer, UserNameWidensAroundItsKey)
{
    const QString name = createDatabase("PasswordWiden");
    auto connection = connect(name);
    // An older user table: a narrower name under a server-named key, with a user in it.
    connection->execute("CREATE TABLE T_GenericUser( User_Name NVARCHAR(50) NOT NULL PRIMARY KEY, "
                        "User_Passwd NVARCHAR(64) NOT NULL, L_Name NVARCHAR(50) NOT NULL, F_Name "
                        "NVARCHAR(50) NOT NULL, B_Date DATETIME NOT NULL, Title NVARCHAR(32) NOT "
                        "NULL, Access_Type INT NOT NULL, Doc_Tech BIT NOT NULL, Int_Ext BIT NOT "
                        "NULL, Free NVARCHAR(200) NOT NULL)");
    connection->execute("INSERT INTO T_GenericUser VALUES ('kept','p','l','f','2000-01-01','t',1,0,"
                        "0,'')");
    // The bare column change is refused under the key, as SQL Server refuses it.
    EXPECT_THROW(connection->execute(q(WidenUserNameStatement())), db::Error);

    const dbport::ResultSet before = connection->query(q(UserKeyListingCall()));
    ASSERT_EQ(before.rowCount(), 1u);
    for (const std::string& statement :
         WidenUserNameStatements(before.text(0, "PK_NAME").toStdString()))
        connection->execute(q(statement));

    const dbport::ResultSet after = connection->query(q(UserKeyListingCall()));
    ASSERT_EQ(after.rowCount(), 1u);
    EXPECT_EQ(after.text(0, "COLUMN_NAME"), "User_Name");
    EXPECT_EQ(after.text(0, "PK_NAME"), "PrimaryKey_T_GenericUser");
    const QString wide(64, QChar('w'));
    connection->execute("INSERT INTO T_GenericUser VALUES ('" + wide +
                        "','p','l','f','2000-01-01','t',1,0,0,'')");
    EXPECT_EQ(connection->query("SELECT User_Name FROM T_GenericUser WHERE User_Name = 'kept'")
                  .rowCount(),
              1u);
    // Still a key: the same name twice is refused.
    EXPECT_THROW(connection->execute("INSERT INTO T_GenericUser VALUES ('kept','p','l','f',"
                                     "'2000-01-01','t',1,0,0,'')"),
                 db::Error);
    connection->close();
}
