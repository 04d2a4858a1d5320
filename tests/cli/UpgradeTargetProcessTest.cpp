// sqllumo password and its upgrade against stand-ins the tests start: the upgrade works on the
// server and database the command names, never on stored ones; it is whole or nothing, also
// when the program is killed in the middle; a removal runs none; and a run that did not log in
// leaves the settings file as it was.
#include "OlderPasswordDatabase.h"
#include "PasswordProcess.h"

#include "ServerStatements.h"

#include <optional>

using namespace sqllumo;
using namespace sqllumo::testing;

namespace {

const QString kDirectory = QStringLiteral("C:\\Lumeno SQL Database\\");

class UpgradeTargetProcess : public PasswordProcess {
protected:
    void SetUp() override
    {
        PasswordProcess::SetUp();
        writeFile("admin", "adm1n\n");
    }
    static QStringList backupsOn(const StandinForProgram& standin)
    {
        return QDir(standin.hostPath(kDirectory))
            .entryList({QStringLiteral("Backup PasswordDB Corvista*.dat")}, QDir::Files);
    }
    // The settings as an earlier run against another server would have left them.
    void storeSettingsOf(const StandinForProgram& standin, const QString& database) const
    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        ini.setValue("Default/SQLServerName", standin.server());
        ini.setValue("Default/PasswdDatabaseName", database);
        ini.setValue("Default/SQLUserName", standin.user());
        ini.setValue("Default/SQLPassword", standin.password());
        ini.setValue("Default/PasswdDataDirectory", kDirectory);
        ini.sync();
    }
    QByteArray settingsFile() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }
    static QString subject(const QString& database)
    {
        return "Database " + database + " on SQL Server " + standin_->server();
    }
    // The user key of T_GenericUser as sp_pkeys lists it; empty when it has none.
    static QStringList userKey(const QString& database)
    {
        QStringList names;
        db::Recordset rows;
        rows.open(QStringLiteral("sp_pkeys 'T_GenericUser'"),
                  StandinConnection(*standin_, database));
        for (; !rows.eof(); rows.moveNext())
            names << rows.value(QStringLiteral("PK_NAME")).toString();
        return names;
    }
    static void expectDuplicateUserRefused(const QString& database)
    {
        const QString user = "INSERT INTO T_GenericUser VALUES ('twice', 'x', 'L', 'F', "
                             "'1970-01-02', '', 1, 1, 0, '')";
        execute(database, {user});
        EXPECT_THROW(execute(database, {user}), db::Error);
        EXPECT_EQ(column(database, "SELECT COUNT(*) FROM T_GenericUser WHERE User_Name = 'twice'"),
                  QStringList{"1"});
        execute(database, {"DELETE FROM T_GenericUser WHERE User_Name = 'twice'"});
    }
};

} // namespace

TEST_F(UpgradeTargetProcess, TheUpgradeWorksOnTheNamedServerNeverOnAStoredOne)
{
    const QString named = QStringLiteral("NamedPasswords");
    create(named);
    // Another server, stored by an earlier run, holds an older password database.
    std::optional<StandinForProgram> stored(std::in_place);
    QString error;
    ASSERT_TRUE(stored->start(error)) << error.toStdString();
    const QString older = QStringLiteral("StoredOlder");
    ExecuteOn(*stored, "master", {server::CreateDatabaseStatement(older, kDirectory)});
    ExecuteOn(*stored, older, OlderDatabaseStatements({"Version:1.02", true, true}));
    storeSettingsOf(*stored, older);

    const QStringList roleList = {"--database", named, "--admin-password-file", path("admin")};
    const ProcessRun listed = password("role list", roleList);
    ASSERT_EQ(listed.exitCode, 0) << listed.out.toStdString() << listed.err.toStdString();
    EXPECT_EQ(listed.out, "report:\nAdministrator\n");
    EXPECT_EQ(FirstColumn(*stored, older, "SELECT [FreeText] FROM T_DBVersion"),
              QStringList{"Version:1.02"});
    EXPECT_TRUE(backupsOn(*stored).isEmpty()) << backupsOn(*stored).join(", ").toStdString();
    QSettings ini(iniPath(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Default/SQLServerName").toString(), standin_->server());
    EXPECT_EQ(ini.value("Default/PasswdDatabaseName").toString(), named);

    // The stored server gone: nothing is refused on its account.
    storeSettingsOf(*stored, older);
    stored.reset();
    const ProcessRun again = password("role list", roleList);
    EXPECT_EQ(again.exitCode, 0) << again.out.toStdString() << again.err.toStdString();
    EXPECT_EQ(again.out, "report:\nAdministrator\n");
    EXPECT_FALSE(again.out.contains("refused")) << again.out.toStdString();

    // What the issue met: a stored server that answers nobody, left by an archive test that
    // could not log in, no longer stands in the way either (that test stores nothing).
    const ProcessRun unanswered =
        run({"archive", "test", "--server", "127.0.0.1,9", "--user", standin_->user(),
             "--password-file", path("sql"), "--database", "Anything"});
    EXPECT_EQ(unanswered.exitCode, 1);
    ini.sync();
    EXPECT_EQ(ini.value("Default/SQLServerName").toString(), standin_->server());
    EXPECT_EQ(password("role list", roleList).exitCode, 0);
}

TEST_F(UpgradeTargetProcess, AnInterruptedUpgradeLeavesTheKeyAndARerunFinishesIt)
{
    const QString name = QStringLiteral("KilledUpgrade");
    create(name);
    execute(name, {"UPDATE T_DBVersion SET [FreeText] = 'Version:1.02'"});

    environment_["SQLLUMO_TEST_KILL_AFTER_KEY_DROP"] = "1";
    const ProcessRun killed = password("upgrade", {"--database", name});
    environment_.clear();
    ASSERT_TRUE(killed.crashed) << killed.out.toStdString() << killed.err.toStdString();
    EXPECT_FALSE(killed.out.contains("successfully")) << killed.out.toStdString();
    // The server took the open transaction back when the connection died.
    EXPECT_EQ(userKey(name), QStringList{"PrimaryKey_T_GenericUser"});
    EXPECT_EQ(column(name, "SELECT [FreeText] FROM T_DBVersion"), QStringList{"Version:1.02"});
    expectDuplicateUserRefused(name);

    const ProcessRun rerun = password("upgrade", {"--database", name});
    ASSERT_EQ(rerun.exitCode, 0) << rerun.out.toStdString() << rerun.err.toStdString();
    EXPECT_TRUE(rerun.out.contains("Password Database successfully updated!\n" + subject(name)))
        << rerun.out.toStdString();
    EXPECT_EQ(userKey(name), QStringList{"PrimaryKey_T_GenericUser"});
    EXPECT_EQ(column(name, "SELECT [FreeText] FROM T_DBVersion"), QStringList{"Version:1.04"});
    expectDuplicateUserRefused(name);
}

TEST_F(UpgradeTargetProcess, ALostUserKeyIsPutBackWhateverTheVersionRowSays)
{
    const QString name = QStringLiteral("LostUserKey");
    create(name);
    for (const char* version : {"Version:1.02", "Version:1.04"}) {
        SCOPED_TRACE(version);
        execute(name, {"ALTER TABLE T_GenericUser DROP CONSTRAINT PrimaryKey_T_GenericUser",
                       QStringLiteral("UPDATE T_DBVersion SET [FreeText] = '%1'").arg(version)});
        ASSERT_TRUE(userKey(name).isEmpty());
        const ProcessRun upgraded = password("upgrade", {"--database", name});
        ASSERT_EQ(upgraded.exitCode, 0) << upgraded.out.toStdString() << upgraded.err.toStdString();
        EXPECT_TRUE(upgraded.out.contains("Password Database successfully updated!"));
        EXPECT_EQ(userKey(name), QStringList{"PrimaryKey_T_GenericUser"});
        EXPECT_EQ(column(name, "SELECT [FreeText] FROM T_DBVersion"), QStringList{"Version:1.04"});
        expectDuplicateUserRefused(name);
    }
    // Whole now: the next run has nothing to do or say.
    const ProcessRun again = password("upgrade", {"--database", name});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.out.isEmpty()) << again.out.toStdString();
}

TEST_F(UpgradeTargetProcess, ADatabaseThatCannotBeUpgradedCanStillBeDeleted)
{
    const QString name = QStringLiteral("CannotUpgrade");
    create(name);
    // Its group renamed, an older version cannot get its new functions.
    execute(name, {"UPDATE T_DBVersion SET [FreeText] = 'Version:1.03'",
                   "DELETE FROM T_SecurityFunctions WHERE FunctionName = 'Can Acquire EEG'",
                   "UPDATE T_SecurityMacroFunctions SET Description = 'Archivio'"});
    const ProcessRun failed = password("upgrade", {"--database", name});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.out.contains("Impossible to continue!\n" + subject(name)))
        << failed.out.toStdString();
    EXPECT_TRUE(failed.out.contains(
        "An error occurred during the check or definition of table T_SecurityFunctions"));
    const int backups = backupsOn(*standin_).size();

    const ProcessRun deleted =
        password("delete", {"--database", name, "--admin-password-file", path("admin"), "--yes"});
    ASSERT_EQ(deleted.exitCode, 0) << deleted.out.toStdString() << deleted.err.toStdString();
    EXPECT_TRUE(deleted.out.contains("Database " + name + " has been removed"));
    EXPECT_FALSE(deleted.out.contains("Update Password")) << deleted.out.toStdString();
    EXPECT_EQ(backupsOn(*standin_).size(), backups);
    EXPECT_THROW(column(name, "SELECT COUNT(*) FROM T_DBVersion"), db::Error);
}

TEST_F(UpgradeTargetProcess, ARunThatDoesNotLogInLeavesTheSettingsFileAsItWas)
{
    const QString name = QStringLiteral("SettingsKept");
    create(name);
    const QByteArray before = settingsFile();
    ASSERT_TRUE(before.contains(name.toUtf8()));

    writeFile("wrong", "not-the-password\n");
    const QStringList wrongLogin = {"--server",       standin_->server(), "--user",
                                    standin_->user(), "--password-file",  path("wrong")};
    const std::vector<QStringList> failing = {
        // A mistyped password, for the upgrade and for the function.
        QStringList{"password", "role", "list", "--database", "Elsewhere", "--admin-password-file",
                    path("admin")} +
            wrongLogin,
        QStringList{"password", "upgrade", "--database", "Elsewhere", "--directory", "D:\\x"} +
            wrongLogin,
        // A server that does not answer; a database that is not there.
        {"archive", "test", "--server", "127.0.0.1,9", "--user", standin_->user(),
         "--password-file", path("sql"), "--database", "Elsewhere"},
        {"password", "upgrade", "--server", standin_->server(), "--user", standin_->user(),
         "--password-file", path("sql"), "--database", "NoSuchDatabase"},
        {"archive", "info", "--server", "127.0.0.1,9", "--user", "someone", "--password-file",
         path("sql")},
    };
    for (const QStringList& arguments : failing) {
        const ProcessRun failed = run(arguments);
        EXPECT_NE(failed.exitCode, 0) << arguments.join(' ').toStdString();
        EXPECT_EQ(settingsFile(), before) << arguments.join(' ').toStdString();
    }

    // Logged in: the options given become the defaults.
    const ProcessRun listed =
        password("role list", {"--database", name, "--admin-password-file", path("admin")});
    ASSERT_EQ(listed.exitCode, 0) << listed.out.toStdString();
    create("SettingsNext");
    QSettings ini(iniPath(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Default/PasswdDatabaseName").toString(), "SettingsNext");
}
