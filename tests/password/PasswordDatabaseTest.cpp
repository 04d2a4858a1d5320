// GestioneDbPassword on a real server: a new database with its tables, keys and default rows
// (cipher texts checked against an independent implementation), removal, the schema steps run
// twice, and the administrator and generic passwords read, checked and replaced.
#include "PasswordDbHarness.h"

#include "PasswordSchema.h"

using namespace sqllumo;
using namespace sqllumo::testing;
using password::GestioneDbPassword;

namespace {

const QString kDirectory = QStringLiteral("C:\\Lumeno SQL Database\\");

QStringList passwordTableNames()
{
    QStringList names;
    for (const auto& table : password::PasswordTables())
        names << QString::fromStdString(table.name);
    names.sort();
    return names;
}

class PasswordDatabase : public PasswordDbHarness {
protected:
    QStringList tables(const QString& database) const
    {
        QStringList names =
            column(database, QStringLiteral("SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES"));
        names.sort();
        return names;
    }
    QString adminCipher(const QString& database) const
    {
        return column(database, QStringLiteral("SELECT Admin_Passwd FROM T_AdminPassword"))
            .join(QLatin1Char('|'));
    }
};

} // namespace

TEST_F(PasswordDatabase, NewDatabaseHoldsTheSchemaAndEncipheredDefaults)
{
    // A quote and a character beyond Latin-1 travel into the cipher text unchanged.
    const QString admin = QStringLiteral("O'Brien\u20ac9");
    const QString name = createPasswordDatabase("PasswordNew", admin);
    EXPECT_TRUE(ui_.messages().empty());

    EXPECT_EQ(tables(name), passwordTableNames());
    for (const auto& key : password::PasswordForeignKeys()) {
        int matching = 0;
        db::Recordset listing;
        listing.open(QString::fromStdString(key.listingCall()), connectionString(name));
        for (; !listing.eof(); listing.moveNext()) {
            if (listing.value(QStringLiteral("FK_NAME")).toString().toStdString() != key.name)
                continue;
            ++matching;
            EXPECT_EQ(listing.value(QStringLiteral("update_rule")).toInt(), 0) << key.name;
            EXPECT_EQ(listing.value(QStringLiteral("delete_rule")).toInt(), 0) << key.name;
        }
        EXPECT_EQ(matching, 1) << key.name;
    }

    EXPECT_EQ(adminCipher(name), fixedKeyOracle(admin));
    db::Recordset generic;
    generic.open(QStringLiteral("SELECT * FROM T_GenPasswords"), connectionString(name));
    ASSERT_FALSE(generic.eof());
    EXPECT_EQ(generic.value(QStringLiteral("ID_GenPasswds")).toInt(), 2);
    EXPECT_EQ(generic.fields().count(), 31);
    for (int i = 1; i < generic.fields().count(); ++i) {
        const QString field = generic.fields().item(i).name();
        const QString plain = field == QLatin1String("Montage_Passwd") ? QStringLiteral("b5b6")
                                                                       : QStringLiteral("darnitex");
        EXPECT_EQ(generic.value(i).toString(), fixedKeyOracle(plain)) << field.toStdString();
    }
    generic.moveNext();
    EXPECT_TRUE(generic.eof());
    generic.close();

    QStringList functions;
    int number = 0;
    for (const QStringList& row :
         rows(name, "SELECT ID_Function, FunctionName, ID_MacroFunction FROM T_SecurityFunctions "
                    "ORDER BY ID_Function")) {
        EXPECT_EQ(row[0].toInt(), ++number);
        EXPECT_EQ(row[2], QStringLiteral("1"));
        functions << row[1];
    }
    QStringList expected;
    for (const std::string& function : password::DefaultFunctionNames())
        expected << QString::fromStdString(function);
    EXPECT_EQ(functions, expected);
    EXPECT_EQ(rows(name, "SELECT ID_Role, RoleName, IsLocked FROM T_SecurityRoles"),
              (std::vector<QStringList>{{"1", "Administrator", "true"}}));
    EXPECT_EQ(column(name, "SELECT ID_Function FROM T_SecurityRolesFunctions WHERE ID_Role = 1 "
                           "ORDER BY ID_Function"),
              column(name, "SELECT ID_Function FROM T_SecurityFunctions ORDER BY ID_Function"));
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_SecurityRolesFunctions"), QStringList{"13"});
    EXPECT_EQ(column(name, "SELECT [FreeText] FROM T_DBVersion"), QStringList{"Version:1.04"});
    EXPECT_EQ(column(name, "SELECT Description FROM T_SecurityMacroFunctions"),
              QStringList{"Archive"});

    QString report, montage, resource;
    GestioneDbPassword passwords(ui_, kCaption, settings_, port());
    ASSERT_TRUE(
        passwords.ReadGenericPasswd(server(), name, user(), password(), report, montage, resource));
    EXPECT_EQ(QStringList({report, montage, resource}),
              QStringList({"darnitex", "b5b6", "darnitex"}));
}

TEST_F(PasswordDatabase, SchemaStepsOnACurrentDatabaseAddNothingTwice)
{
    const QString name = createPasswordDatabase("PasswordTwice", QStringLiteral("admin"));
    execute(name, {"INSERT INTO T_SecurityRoles(RoleName, IsLocked) VALUES ('Nurse', 0)"});
    GestioneDbPassword passwords(ui_, kCaption, settings_, port());
    QString error;
    // As entry 0 does when the name already exists: the creation fails, the steps still run.
    EXPECT_FALSE(passwords.CreaDB(server(), name, user(), password(), kDirectory));
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith("An error occurred...\r"));
    EXPECT_EQ(ui_.messages()[0].title, kCaption + " - Warning...");
    for (int run = 0; run < 2; ++run)
        ASSERT_TRUE(passwords.TestTabellePassword(server(), name, user(), password(), error,
                                                  QStringLiteral("other")))
            << error.toStdString();
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_SecurityFunctions"), QStringList{"13"});
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_SecurityFunctions WHERE FunctionName IN "
                           "('Can Modify Settings', 'Can Acquire EEG')"),
              QStringList{"2"});
    // The administrator keeps 13; a role made on a current database is given nothing, since
    // its functions are what the administrator chose for it.
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_SecurityRolesFunctions GROUP BY ID_Role "
                           "ORDER BY ID_Role"),
              QStringList({"13"}));
    EXPECT_EQ(adminCipher(name), fixedKeyOracle("admin"));
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_GenPasswords"), QStringList{"1"});
}

TEST_F(PasswordDatabase, EraseFindsTheNameInAnyCaseAndOnlyOnce)
{
    const QString name = freshName("PasswordErase");
    createEmptyDatabase(name);
    GestioneDbPassword passwords(ui_, kCaption, settings_, port());
    EXPECT_TRUE(passwords.EraseDB(server(), name.toLower(), user(), password()));
    EXPECT_FALSE(databaseExists(name));
    EXPECT_FALSE(passwords.EraseDB(server(), name, user(), password()));
    EXPECT_TRUE(ui_.messages().empty());

    // A server that refuses the login: the connection form of the message.
    EXPECT_FALSE(passwords.EraseDB(server(), name, user(), QStringLiteral("wrong")));
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith("Error during connection to the database\r"));
    EXPECT_EQ(ui_.messages()[0].icon, MessageIcon::Critical);
}

TEST_F(PasswordDatabase, SchemaFailureNamesTheTableAndTheErrorNumberFirst)
{
    const QString name = freshName("PasswordBroken");
    createEmptyDatabase(name);
    // A function table without its name column cannot take the default functions.
    execute(name, {"CREATE TABLE T_SecurityFunctions( ID_Function INT IDENTITY(1,1) PRIMARY KEY, "
                   "ID_MacroFunction INT NOT NULL )"});
    GestioneDbPassword passwords(ui_, kCaption, settings_, port());
    QString error;
    EXPECT_FALSE(passwords.TestTabellePassword(server(), name, user(), password(), error, "admin"));
    EXPECT_TRUE(error.startsWith("-2147217900")) << error.toStdString();
    EXPECT_GT(error.size(), QString("-2147217900").size());
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0],
              (Message{"An error occurred during the check or definition of table "
                       "T_SecurityFunctions\r\n" +
                           error,
                       QString(), MessageIcon::None, MessageButtons::Ok}));

    // A database that is not there: no table named yet.
    ui_ = ScriptedUserInterface();
    EXPECT_FALSE(passwords.TestTabellePassword(server(), freshName("Absent"), user(), password(),
                                               error, "admin"));
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith("Error during connection to the database\r"));
}

TEST_F(PasswordDatabase, AdministratorPasswordIsReplacedAndCheckedExactly)
{
    const QString name = createPasswordDatabase("PasswordAdmin", QStringLiteral("first"));
    storePasswordSettings(name);
    GestioneDbPassword passwords(ui_, kCaption, settings_, port());
    EXPECT_TRUE(passwords.VerificaPassword("first"));
    EXPECT_FALSE(passwords.VerificaPassword("FIRST"));
    EXPECT_FALSE(passwords.VerificaPassword(QString()));

    ASSERT_TRUE(passwords.ModifyAdminPasswd(server(), name, user(), password(), "second"));
    EXPECT_EQ(adminCipher(name), fixedKeyOracle("second"));
    EXPECT_FALSE(passwords.VerificaPassword("first"));
    EXPECT_TRUE(passwords.VerificaPassword("second"));

    // A match in any row counts, and only the first row is ever replaced.
    execute(name, {"INSERT INTO T_AdminPassword(Admin_Passwd) VALUES ('x')"});
    {
        db::Connection connection;
        connection.open(connectionString(name));
        db::Recordset second;
        second.open("SELECT * FROM T_AdminPassword WHERE ID_AdminPasswd = 2", connection,
                    db::CursorType::Keyset, db::LockType::Optimistic);
        second.field("Admin_Passwd") = fixedKeyOracle("spare");
        second.update();
        second.close();
        connection.close();
    }
    EXPECT_TRUE(passwords.VerificaPassword("spare"));
    ASSERT_TRUE(passwords.ModifyAdminPasswd(server(), name, user(), password(), "third"));
    EXPECT_EQ(adminCipher(name), fixedKeyOracle("third") + "|" + fixedKeyOracle("spare"));
    EXPECT_TRUE(ui_.messages().empty());

    // Nothing to replace: the second message, and no row is added.
    execute(name, {"DELETE FROM T_AdminPassword"});
    EXPECT_FALSE(passwords.ModifyAdminPasswd(server(), name, user(), password(), "fourth"));
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith("An error occurred...\r3021: "));
    EXPECT_EQ(column(name, "SELECT COUNT(*) FROM T_AdminPassword"), QStringList{"0"});
    EXPECT_FALSE(passwords.VerificaPassword("fourth"));

    // Settings that name no database: silently refused.
    storePasswordSettings(freshName("Absent"));
    EXPECT_FALSE(passwords.VerificaPassword("third"));
    EXPECT_EQ(ui_.messages().size(), 1u);
}

TEST_F(PasswordDatabase, GenericPasswordsAreReplacedTogetherAndKeepTheReserveColumns)
{
    const QString name = createPasswordDatabase("PasswordGeneric", QStringLiteral("admin"));
    GestioneDbPassword passwords(ui_, kCaption, settings_, port());
    ASSERT_TRUE(passwords.ModifyGenericPasswd(server(), name, user(), password(), "rep 1 ", "mon'2",
                                              "r\u00e9s3"));
    QString report, montage, resource;
    ASSERT_TRUE(
        passwords.ReadGenericPasswd(server(), name, user(), password(), report, montage, resource));
    EXPECT_EQ(QStringList({report, montage, resource}),
              QStringList({"rep 1 ", "mon'2", "r\u00e9s3"}));
    EXPECT_EQ(rows(name, "SELECT Report_Passwd, Montage_Passwd, Resource_Passwd, Gen4_Passwd, "
                         "Gen30_Passwd FROM T_GenPasswords"),
              (std::vector<QStringList>{{fixedKeyOracle("rep 1 "), fixedKeyOracle("mon'2"),
                                         fixedKeyOracle("r\u00e9s3"), fixedKeyOracle("darnitex"),
                                         fixedKeyOracle("darnitex")}}));
    EXPECT_TRUE(ui_.messages().empty());

    // An empty password cannot be enciphered: refused with a message, nothing written.
    EXPECT_FALSE(
        passwords.ModifyGenericPasswd(server(), name, user(), password(), "new", "", "new"));
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith("An error occurred...\r"));
    EXPECT_EQ(column(name, "SELECT Report_Passwd FROM T_GenPasswords"),
              QStringList{fixedKeyOracle("rep 1 ")});

    EXPECT_FALSE(passwords.ReadGenericPasswd(server(), freshName("Absent"), user(), password(),
                                             report, montage, resource));
    ASSERT_EQ(ui_.messages().size(), 2u);
    EXPECT_TRUE(ui_.messages()[1].text.startsWith("Error during connection to the database\r"));
}
