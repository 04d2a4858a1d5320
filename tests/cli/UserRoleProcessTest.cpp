// sqllumo password user … and role … against a stand-in: what each command stored, read back
// through the database layer, and the refusals that must come before anything is written.
#include "OracleCipher.h"
#include "PasswordProcess.h"
#include "SqlText.h"

using namespace sqllumo;
using namespace sqllumo::testing;

namespace {

class UserRoleProcess : public PasswordProcess {
protected:
    void SetUp() override
    {
        PasswordProcess::SetUp();
        writeFile("admin", "adm1n\n");
    }
    // The command on the database created last, with the administrator password.
    ProcessRun on(const QString& function, QStringList options, const QByteArray& input = {})
    {
        return password(function,
                        QStringList{"--database", db_, "--admin-password-file", path("admin")} +
                            options,
                        input);
    }
    QStringList query(const QString& sql) const { return column(db_, sql); }
    QStringList rightsOf(const QString& role) const
    {
        return query(sqllumo::testing::RoleRightsQuery(role));
    }

    QString db_;
};

const QString kCreateReport = QStringLiteral("Can Create Report");
const QString kAcquire = QStringLiteral("Can Acquire EEG");
const QString kBurn = QStringLiteral("Can Burn DVD - BD");

} // namespace

TEST_F(UserRoleProcess, UsersAreAddedShownChangedAndRemoved)
{
    db_ = QStringLiteral("ConsoleUsers");
    create(db_);
    const QString name = QStringLiteral("O'Brien Séan");
    writeFile("user", "s3cret pass\n");
    const ProcessRun added =
        on("user add", {"--name", name, "--user-password-file", path("user"), "--role",
                        "Administrator", "--first-name", "Séan", "--last-name", "O'Brien",
                        "--title", "Dr", "--birth-date", "1970-05-31", "--doctor", "--internal"});
    ASSERT_EQ(added.exitCode, 0) << added.out.toStdString() << added.err.toStdString();
    EXPECT_TRUE(added.out.contains("User " + name + " has been added to database " + db_));
    EXPECT_EQ(query("SELECT User_Passwd FROM T_GenericUser"),
              QStringList{oracleCipherText(name, "s3cret pass")});
    EXPECT_EQ(query("SELECT L_Name + '|' + F_Name + '|' + Title + '|' + "
                    "CONVERT(NVARCHAR(10), B_Date, 120) FROM T_GenericUser"),
              QStringList{"O'Brien|Séan|Dr|1970-05-31"});
    EXPECT_EQ(query("SELECT CAST(Doc_Tech AS INT) + 10 * CAST(Int_Ext AS INT) FROM T_GenericUser"),
              QStringList{"11"});

    // A role the database does not list: refused before the dialog's answers are stored.
    const ProcessRun noRole =
        on("user add", {"--name", "Ann", "--user-password-file", path("user"), "--role", "Nurses"});
    EXPECT_EQ(noRole.exitCode, 1);
    EXPECT_TRUE(noRole.err.contains("there is no role named \"Nurses\""))
        << noRole.err.toStdString();
    EXPECT_EQ(query("SELECT User_Name FROM T_GenericUser"), QStringList{name});

    // The same name again: the member's own refusal, and nothing added.
    const ProcessRun again = on("user add", {"--name", name, "--user-password-file", path("user"),
                                             "--role", "Administrator"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.out.contains("User already present!")) << again.out.toStdString();
    EXPECT_EQ(query("SELECT COUNT(*) FROM T_GenericUser"), QStringList{"1"});

    const ProcessRun shown = on("user show", {"--name", name});
    ASSERT_EQ(shown.exitCode, 0) << shown.out.toStdString() << shown.err.toStdString();
    for (const char* line : {"Last name: O'Brien\n", "Birth date: 1970-05-31\n", "Type: Doctor\n",
                             "Position: Internal\n", "Role: Administrator\n", "Password: set\n"})
        EXPECT_TRUE(shown.out.contains(QString::fromUtf8(line))) << line;
    EXPECT_FALSE(shown.out.contains("s3cret"));
    EXPECT_TRUE(on("user list", {}).out.contains(name + "\n"));

    // What is not given keeps its stored value; the password is the stored one again.
    const ProcessRun modified =
        on("user modify", {"--name", name, "--last-name", "O'Neill", "--technician"});
    ASSERT_EQ(modified.exitCode, 0) << modified.out.toStdString() << modified.err.toStdString();
    EXPECT_TRUE(
        modified.out.contains("User " + name + " has been modified in the database " + db_));
    EXPECT_EQ(query("SELECT L_Name + '|' + F_Name + '|' + Title FROM T_GenericUser"),
              QStringList{"O'Neill|Séan|Dr"});
    EXPECT_EQ(query("SELECT CAST(Doc_Tech AS INT) FROM T_GenericUser"), QStringList{"0"});
    EXPECT_EQ(query("SELECT User_Passwd FROM T_GenericUser"),
              QStringList{oracleCipherText(name, "s3cret pass")});

    const ProcessRun erased = on("user erase-password", {"--name", name});
    ASSERT_EQ(erased.exitCode, 0) << erased.out.toStdString();
    EXPECT_TRUE(
        erased.out.contains("User password " + name + " has been erased from database " + db_));
    EXPECT_EQ(query("SELECT User_Passwd FROM T_GenericUser"), QStringList{""});
    // Without a password the dialog's first check refuses, as OK does in the window.
    const ProcessRun noPassword = on("user modify", {"--name", name, "--first-name", "Sean"});
    EXPECT_EQ(noPassword.exitCode, 1);
    EXPECT_TRUE(noPassword.out.contains("message [Warning] You have to confirm password"));
    EXPECT_TRUE(noPassword.err.contains("--user-password-file"));
    EXPECT_EQ(query("SELECT F_Name FROM T_GenericUser"), QStringList{"Séan"});
    // A new password from standard input.
    const ProcessRun newPassword =
        on("user modify", {"--name", name, "--user-password-file", "-"}, "n3w\n");
    ASSERT_EQ(newPassword.exitCode, 0) << newPassword.out.toStdString();
    EXPECT_EQ(query("SELECT User_Passwd FROM T_GenericUser"),
              QStringList{oracleCipherText(name, "n3w")});

    // A name nobody has is refused, not reported as removed.
    const ProcessRun nobody = on("user delete", {"--name", "O'Brian"});
    EXPECT_EQ(nobody.exitCode, 1);
    EXPECT_TRUE(nobody.err.contains("there is no user named \"O'Brian\""));
    EXPECT_FALSE(nobody.out.contains("has been removed"));
    const ProcessRun deleted = on("user delete", {"--name", name});
    ASSERT_EQ(deleted.exitCode, 0) << deleted.out.toStdString();
    EXPECT_TRUE(deleted.out.contains("User " + name + " has been removed to database " + db_));
    EXPECT_TRUE(query("SELECT User_Name FROM T_GenericUser").isEmpty());
    QFile log(path("SQLLumoManager Report.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(log.readAll()).contains("User " + name + " has been removed"));
}

TEST_F(UserRoleProcess, RolesAndTheirRights)
{
    db_ = QStringLiteral("ConsoleRoles");
    create(db_);
    const QString role = QStringLiteral("Doctor's role");

    // A function no cell has: refused before the role is added.
    const ProcessRun unknown =
        on("role add", {"--name", role, "--grant", kCreateReport, "--grant", "Can Fly"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains("no function is named \"Can Fly\""));
    EXPECT_EQ(query("SELECT RoleName FROM T_SecurityRoles"), QStringList{"Administrator"});

    const ProcessRun added =
        on("role add", {"--name", role, "--grant", kCreateReport, "--grant", kAcquire});
    ASSERT_EQ(added.exitCode, 0) << added.out.toStdString() << added.err.toStdString();
    EXPECT_TRUE(added.out.contains("Role " + role + " has been added to database " + db_));
    EXPECT_EQ(rightsOf(role), (QStringList{kCreateReport, kAcquire}));
    EXPECT_EQ(query("SELECT CAST(IsLocked AS INT) FROM T_SecurityRoles WHERE RoleName = "
                    "N'Doctor''s role'"),
              QStringList{"0"});
    const ProcessRun present = on("role add", {"--name", role});
    EXPECT_EQ(present.exitCode, 1);
    EXPECT_TRUE(present.out.contains("Role already present!"));

    const ProcessRun rights = on("role rights", {"--name", role});
    ASSERT_EQ(rights.exitCode, 0) << rights.out.toStdString();
    EXPECT_TRUE(rights.out.contains("Archive\t" + kCreateReport + "\tyes\n"));
    EXPECT_TRUE(rights.out.contains("Archive\t" + kBurn + "\tno\n"));
    EXPECT_EQ(rights.out.count("\tyes\n"), 2);

    // Locked: the window's message, and nothing changes.
    const QStringList administrator = rightsOf("Administrator");
    const ProcessRun locked = on("role modify", {"--name", "Administrator", "--revoke", kAcquire});
    EXPECT_EQ(locked.exitCode, 1);
    EXPECT_TRUE(locked.out.contains("Role Administrator is locked! You can't modify it!"));
    EXPECT_EQ(rightsOf("Administrator"), administrator);
    EXPECT_EQ(administrator.size(), 13);

    // Renaming onto another role's name (as the server compares names) is refused up front.
    const ProcessRun clash =
        on("role modify", {"--name", role, "--grant", kBurn, "--rename", "administrator"});
    EXPECT_EQ(clash.exitCode, 1);
    EXPECT_TRUE(clash.err.contains("there is already a role named \"administrator\""));
    EXPECT_EQ(rightsOf(role), (QStringList{kCreateReport, kAcquire}));

    const ProcessRun modified = on("role modify", {"--name", role, "--grant", kBurn, "--revoke",
                                                   kAcquire, "--rename", "Doctors"});
    ASSERT_EQ(modified.exitCode, 0) << modified.out.toStdString() << modified.err.toStdString();
    EXPECT_TRUE(modified.out.contains("Role " + role + " has been modified to database " + db_));
    EXPECT_EQ(rightsOf("Doctors"), (QStringList{kCreateReport, kBurn}));
    EXPECT_EQ(query("SELECT RoleName FROM T_SecurityRoles ORDER BY ID_Role"),
              (QStringList{"Administrator", "Doctors"}));

    // A user of the role goes with it; the locked one stays.
    writeFile("user", "pw\n");
    ASSERT_EQ(
        on("user add", {"--name", "Ann", "--user-password-file", path("user"), "--role", "Doctors"})
            .exitCode,
        0);
    const ProcessRun lockedDelete = on("role delete", {"--name", "Administrator"});
    EXPECT_EQ(lockedDelete.exitCode, 1);
    EXPECT_TRUE(lockedDelete.out.contains("Role Administrator is locked! You can't delete it!"));
    // Asked first, naming the users; with no terminal and no --yes the answer is No.
    const ProcessRun unanswered = on("role delete", {"--name", "Doctors"});
    EXPECT_EQ(unanswered.exitCode, 1);
    EXPECT_TRUE(unanswered.out.contains("question [Lumeno SQL Manager"));
    EXPECT_TRUE(unanswered.out.contains("] Delete role Doctors and its 1 user (Ann)?\n"
                                        "-> No (no terminal)"))
        << unanswered.out.toStdString();
    EXPECT_TRUE(unanswered.err.contains("nothing was done"));
    EXPECT_EQ(query("SELECT User_Name FROM T_GenericUser"), QStringList{"Ann"});
    const ProcessRun deleted = on("role delete", {"--name", "Doctors", "--yes"});
    ASSERT_EQ(deleted.exitCode, 0) << deleted.out.toStdString();
    EXPECT_TRUE(deleted.out.contains("Role Doctors has been removed to database " + db_ +
                                     "\nUsers removed with it: Ann\n"))
        << deleted.out.toStdString();
    EXPECT_EQ(query("SELECT RoleName FROM T_SecurityRoles"), QStringList{"Administrator"});
    EXPECT_TRUE(query("SELECT User_Name FROM T_GenericUser").isEmpty());
    EXPECT_EQ(on("role list", {}).out, "report:\nAdministrator\n");
}

TEST_F(UserRoleProcess, UnusableUserAndRoleOptionsExitTwo)
{
    writeFile("user", "pw\n");
    writeFile("long", QByteArray(31, 'x') + "\n");
    struct Row {
        QStringList arguments;
        QString error;
    };
    const Row rows[] = {
        {{"user"}, "user needs one of add, delete, modify, erase-password, list, show"},
        {{"user", "add", "--name", "A", "--user-password-file", path("user")},
         "user add needs --user-password-file and --role"},
        {{"user", "add", "--name", "A", "--role", "R", "--grant", "F"},
         "--grant is not an option of user add"},
        {{"user", "modify", "--name", "A", "--title", "Dr"}, "user modify keeps the stored title"},
        {{"user", "modify", "--name", "A"}, "user modify needs something to change"},
        {{"user", "add", "--name", "A", "--role", "R", "--user-password-file", path("user"),
          "--birth-date", "31/05/1970"},
         "--birth-date takes a date as YYYY-MM-DD"},
        {{"user", "add", "--name", QString(31, 'n'), "--role", "R", "--user-password-file",
          path("user")},
         "--name has more than 30 characters"},
        {{"user", "add", "--name", "A", "--role", "R", "--user-password-file", path("long")},
         "the user password has more than 30 characters"},
        {{"user", "add", "--name", "A", "--role", "R", "--doctor", "--technician",
          "--user-password-file", path("user")},
         "--doctor and --technician cannot be given together"},
        {{"role", "add", "--name", "Seventeen letters"}, "--name has more than 16 characters"},
        {{"role", "modify", "--name", "R"}, "role modify needs --grant, --revoke or --rename"},
        {{"role", "modify", "--name", "R", "--grant", "F", "--revoke", "F"},
         "\"F\" cannot be granted and revoked at once"},
        {{"role", "delete"}, "role delete needs --name"},
    };
    for (const Row& row : rows) {
        const ProcessRun r = run(QStringList{"password"} + row.arguments);
        EXPECT_EQ(r.exitCode, 2) << row.arguments.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(row.error)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    EXPECT_FALSE(QFile::exists(iniPath()));

    const ProcessRun help = run({"password", "--help"});
    for (const char* function : {"user add", "user modify", "user erase-password", "user show",
                                 "role add", "role modify", "role rights", "role list"})
        EXPECT_TRUE(help.out.contains(QString("  ") + function + " ")) << function;
    for (const char* option : {"--user-password-file F", "--grant FUNCTION", "--rename NAME"})
        EXPECT_TRUE(help.out.contains(option)) << option;
}

TEST_F(UserRoleProcess, NamesAreFoundAsTheServerFindsThemAndStoredValuesKept)
{
    db_ = QStringLiteral("ConsoleNames");
    create(db_);
    // Blanks left at the end of a new name are not stored; the limit counts without them.
    const ProcessRun role = on("role add", {"--name", "Night shift team     "});
    ASSERT_EQ(role.exitCode, 0) << role.out.toStdString() << role.err.toStdString();
    EXPECT_EQ(query("SELECT RoleName + '|' FROM T_SecurityRoles ORDER BY ID_Role"),
              (QStringList{"Administrator|", "Night shift team|"}));

    // The role named as the server would match it, whatever its case and trailing blanks.
    writeFile("user", "pw\n");
    const ProcessRun added = on("user add", {"--name", "Ann  ", "--user-password-file",
                                             path("user"), "--role", "NIGHT SHIFT TEAM "});
    ASSERT_EQ(added.exitCode, 0) << added.out.toStdString() << added.err.toStdString();
    EXPECT_EQ(query("SELECT User_Name + '|' + r.RoleName FROM T_GenericUser u JOIN "
                    "T_SecurityRoles r ON r.ID_Role = u.Access_Type"),
              QStringList{"Ann|Night shift team"});

    // A password of 40 characters stored by another program stays on modify.
    const QString longPassword = QString(40, QLatin1Char('k'));
    execute(db_, {"UPDATE T_GenericUser SET User_Passwd = " +
                  db::TextLiteral(oracleCipherText("Ann", longPassword))});
    const ProcessRun modified = on("user modify", {"--name", "ann", "--last-name", "Rossi"});
    ASSERT_EQ(modified.exitCode, 0) << modified.out.toStdString() << modified.err.toStdString();
    EXPECT_EQ(query("SELECT L_Name FROM T_GenericUser"), QStringList{"Rossi"});
    EXPECT_EQ(query("SELECT User_Passwd FROM T_GenericUser"),
              QStringList{oracleCipherText("Ann", longPassword)});
}
