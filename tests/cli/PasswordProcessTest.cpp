// sqllumo password against a stand-in it starts: creating a password database, its generic
// and administrator passwords, its removal, and the upgrade with the exit statuses scripts see.
#include "PasswordProcess.h"
#include "OlderPasswordDatabase.h"
#include "OracleCipher.h"

#include "ServerStatements.h"

using namespace sqllumo;
using namespace sqllumo::testing;

TEST_F(PasswordProcess, CreateChangeTheirPasswordsAndDelete)
{
    const QString name = QStringLiteral("ConsolePasswords");
    writeFile("admin", "adm1n\n");
    ProcessRun created =
        password("create", {"--database", name, "--directory", "C:\\Lumeno SQL Database",
                            "--admin-password-file", path("admin")});
    ASSERT_EQ(created.exitCode, 0) << created.out.toStdString() << created.err.toStdString();
    EXPECT_TRUE(created.out.contains("Database " + name + " has been created and initialized"));
    EXPECT_EQ(column(name, "SELECT Admin_Passwd FROM T_AdminPassword"),
              QStringList{fixedKeyOracle("adm1n")});
    QSettings ini(iniPath(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Default/PasswdDataDirectory").toString(), "C:\\Lumeno SQL Database\\");

    // Shown in plain text; only the one given changes.
    writeFile("report", "rep0rt\n");
    const ProcessRun generic =
        password("generic", {"--database", name, "--admin-password-file", path("admin"),
                             "--report-file", path("report")});
    ASSERT_EQ(generic.exitCode, 0) << generic.out.toStdString();
    EXPECT_TRUE(generic.out.contains("report password: darnitex\nmontage password: b5b6\n"));
    EXPECT_EQ(column(name, "SELECT Report_Passwd FROM T_GenPasswords"),
              QStringList{fixedKeyOracle("rep0rt")});
    EXPECT_EQ(column(name, "SELECT Montage_Passwd FROM T_GenPasswords"),
              QStringList{fixedKeyOracle("b5b6")});

    writeFile("new", "n3w\n");
    const ProcessRun changed =
        password("admin-password", {"--database", name, "--admin-password-file", path("admin"),
                                    "--new-password-file", path("new")});
    ASSERT_EQ(changed.exitCode, 0) << changed.out.toStdString();
    EXPECT_TRUE(changed.out.contains(
        "network administrator password has been modified into database " + name));
    const ProcessRun refused =
        password("generic", {"--database", name, "--admin-password-file", path("admin")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.contains("Unable to perform operation due to security access level"));

    // Longer than the window's fields take: refused before anything runs.
    writeFile("long", "elevenchars\n");
    const ProcessRun tooLong =
        password("admin-password", {"--database", name, "--admin-password-file", path("new"),
                                    "--new-password-file", path("long")});
    EXPECT_EQ(tooLong.exitCode, 2);
    EXPECT_TRUE(tooLong.err.contains("new administrator password has more than 10 characters"));

    const ProcessRun deleted =
        password("delete", {"--database", name, "--admin-password-file", path("new"), "--yes"});
    ASSERT_EQ(deleted.exitCode, 0) << deleted.out.toStdString();
    EXPECT_TRUE(deleted.out.contains("Database " + name + " has been removed"));
}

TEST_F(PasswordProcess, UpgradeStoresItsOptionsAndTellsTheOutcomeInItsStatus)
{
    const QString older = QStringLiteral("ConsoleOlder");
    execute("master", {server::CreateDatabaseStatement(older, "C:\\Lumeno SQL Database\\")});
    execute(older, OlderDatabaseStatements({"Version:1.01", true, true}));
    const ProcessRun upgraded =
        password("upgrade", {"--database", older, "--directory", "C:\\Lumeno SQL Database"});
    ASSERT_EQ(upgraded.exitCode, 0) << upgraded.out.toStdString() << upgraded.err.toStdString();
    EXPECT_TRUE(upgraded.out.contains("Password Database successfully updated!"));
    EXPECT_EQ(column(older, "SELECT [FreeText] FROM T_DBVersion"), QStringList{"Version:1.04"});

    // Current now, from the stored settings alone: nothing to say.
    const ProcessRun again = run({"password", "upgrade"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.out.isEmpty()) << again.out.toStdString();

    const QString broken = QStringLiteral("ConsoleBroken");
    execute("master", {server::CreateDatabaseStatement(broken, "C:\\Lumeno SQL Database\\")});
    execute(broken, OlderDatabaseStatements({"Version:1.03", true, false}));
    execute(broken, {"UPDATE T_SecurityMacroFunctions SET Description = 'Archivio'"});
    const ProcessRun failed = run({"password", "upgrade", "--database", broken});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.out.contains("Impossible to continue!"));
    // Another command runs the upgrade first and stops where the window would end.
    const ProcessRun stopped = run({"password", "generic", "--database", broken});
    EXPECT_EQ(stopped.exitCode, 1);
    EXPECT_FALSE(stopped.out.contains("report password:"));
}

// The eight password tables never land in the server's own databases, and such a name never
// becomes the stored password database that the next run would upgrade.
TEST_F(PasswordProcess, SystemDatabasesAreRefusedAndLeftUnchanged)
{
    const QString tables = "SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_NAME";
    const QStringList masterBefore = column("master", tables);
    writeFile("admin", "adm1n\n");
    const QString refusal = "System database!\nmaster, model, msdb and tempdb belong to SQL "
                            "Server: please, name another database.";
    for (const char* name : {"MASTER", "master", "TempDb"}) {
        const ProcessRun created =
            password("create", {"--database", name, "--directory", "C:\\Lumeno SQL Database",
                                "--admin-password-file", path("admin")});
        EXPECT_EQ(created.exitCode, 1) << name;
        EXPECT_TRUE(created.out.contains(refusal)) << created.out.toStdString();
        EXPECT_FALSE(created.out.contains("has been created")) << created.out.toStdString();
    }
    EXPECT_EQ(column("master", tables), masterBefore);
    QSettings ini(iniPath(), QSettings::IniFormat);
    EXPECT_FALSE(ini.contains("Default/PasswdDatabaseName"));
    EXPECT_FALSE(ini.contains("Default/PasswdDataDirectory"));

    // A password database made for the delete's upgrade to find; then master is refused.
    const QString name = QStringLiteral("SystemRefusals");
    ASSERT_EQ(password("create", {"--database", name, "--directory", "C:\\Lumeno SQL Database",
                                  "--admin-password-file", path("admin")})
                  .exitCode,
              0);
    const ProcessRun deleted = password(
        "delete", {"--database", "Master", "--admin-password-file", path("admin"), "--yes"});
    EXPECT_EQ(deleted.exitCode, 1);
    EXPECT_TRUE(deleted.out.contains(refusal)) << deleted.out.toStdString();
    EXPECT_EQ(column("master", tables), masterBefore);
    ini.sync();
    EXPECT_EQ(ini.value("Default/PasswdDatabaseName").toString(), name);
}
