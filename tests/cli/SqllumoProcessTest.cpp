// sqllumo as its users run it: a process with options, files, standard input and no terminal.
#include "SqllumoProcess.h"
#include "StandinServer.h"

#include <QRegularExpression>

#include <memory>

using sqllumo::testing::ProcessRun;
using sqllumo::testing::SqllumoProcess;

TEST_F(SqllumoProcess, HelpDescribesTheCatalogueAndExitsZero)
{
    const ProcessRun general = run({"--help"});
    EXPECT_EQ(general.exitCode, 0);
    EXPECT_TRUE(general.out.contains("sqllumo archive <function>"));
    const ProcessRun archive = run({"archive", "--help"});
    EXPECT_EQ(archive.exitCode, 0);
    for (const char* verb : {"new-login", "create", "create-new", "backup", "restore", "info",
                             "test", "delete", "backups"})
        EXPECT_TRUE(archive.out.contains(QString("  ") + verb + " ")) << verb;
    EXPECT_TRUE(archive.out.contains("--admin-password-file"));
    const ProcessRun password = run({"password", "--help"});
    EXPECT_EQ(password.exitCode, 0);
    for (const char* verb : {"create", "delete", "generic", "admin-password"})
        EXPECT_TRUE(password.out.contains(QString("  ") + verb + " ")) << verb;
}

TEST_F(SqllumoProcess, UnusableCommandLinesExitTwoAndTouchNothing)
{
    struct Row {
        QStringList arguments;
        QString error;
    };
    const Row rows[] = {
        {{"archive", "test", "--password-file", "missing.txt"}, "cannot read the password file"},
        {{"archive", "test", "--password", "secret"},
         "passwords are not taken from the command line"},
        {{"archive", "test", "--password=secret"}, "passwords are not taken from the command line"},
        {{"archive", "rebuild"}, "unknown function \"rebuild\""},
        {{"archive", "test", "--colour"}, "unknown option \"--colour\""},
        {{"archive", "test", "--server"}, "--server needs a value"},
        {{"password", "test"}, "unknown function \"test\""},
        {{}, "no catalogue given: name one (archive"},
        {{"archive", "delete", "--password-file", "-", "--admin-password-file", "-"},
         "only one password can come from standard input"},
    };
    for (const Row& row : rows) {
        const ProcessRun r = run(row.arguments);
        EXPECT_EQ(r.exitCode, 2) << row.arguments.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(row.error)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    EXPECT_FALSE(QFile::exists(iniPath()));
    EXPECT_FALSE(QFile::exists(path("SQLLumoManager Report.log")));
}

TEST_F(SqllumoProcess, AValidationMessageIsPrintedWithItsKindAndExitsOne)
{
    const ProcessRun r = run(
        {"archive", "backup", "--server", "srv", "--database", "Arc", "--file", "C:\\Backup\\"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "message [SQLLumoManager] Invalid filename!\nPlease, define at least one.\n");
    EXPECT_FALSE(QFile::exists(path("SQLLumoManager Report.log")));
}

TEST_F(SqllumoProcess, MissingOptionsFallBackToTheStoredSettingsAsThePanelDoes)
{
    {
        QDir().mkpath(path("SQLLumoManager"));
        QSettings ini(iniPath(), QSettings::IniFormat);
        ini.setValue("Default/SQLServerName", "stored-server");
        ini.setValue("Default/DatabaseName", "Stored Name");
        ini.setValue("Default/DataDirectory", "C:\\Data");
    }
    // The stored name is not an identifier, so the run stops at that check, before any server.
    const ProcessRun r = run({"archive", "create"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.startsWith("message [SQLLumoManager] Invalid database name!\n"))
        << r.out.toStdString();
    // An option wins over the stored value: now the directory check speaks first.
    const ProcessRun r2 = run({"archive", "create", "--database", "Arc", "--directory", ""});
    EXPECT_TRUE(r2.out.startsWith("message [SQLLumoManager] Invalid database directory!\n"))
        << r2.out.toStdString();
}

TEST_F(SqllumoProcess, QuestionsAreAnsweredNoWithoutTerminalAndYesWithTheOption)
{
    writeFile("admin.txt", "vor36pelin\n");
    const QStringList base = {"archive",
                              "delete",
                              "--server",
                              "127.0.0.1,1",
                              "--database",
                              "Arc",
                              "--admin-password-file",
                              path("admin.txt")};
    const ProcessRun no = run(base);
    EXPECT_EQ(no.exitCode, 1);
    EXPECT_EQ(no.out, "question [Warning] Do you really want to delete database?\n"
                      "-> Cancel (no terminal)\n");
    QStringList withYes = base;
    withYes << "--yes";
    const ProcessRun yes = run(withYes);
    EXPECT_TRUE(yes.out.startsWith("question [Warning] Do you really want to delete database?\n"
                                   "-> OK (--yes)\n"))
        << yes.out.toStdString();
    // Past the question the server is asked; nothing listens on port 1.
    EXPECT_EQ(yes.exitCode, 1);
    EXPECT_TRUE(yes.out.contains("critical [")) << yes.out.toStdString();
}

TEST_F(SqllumoProcess, AdministratorPasswordFromStandardInputIsCheckedWithoutRegardToCase)
{
    const QStringList args = {"archive", "restore",    "--server",
                              "srv",     "--database", "Arc",
                              "--file",  "",           "--admin-password-file",
                              "-"};
    const ProcessRun wrong = run(args, "vor36pelim\n");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.out,
              "message [Warning] Unable to perform operation due to security access level\n");
    // The right phrase in capitals passes the check and reaches the file-name validation.
    const ProcessRun right = run(args, "VOR36PELIN\n");
    EXPECT_EQ(right.exitCode, 1);
    EXPECT_EQ(right.out,
              "message [SQLLumoManager] Invalid filename!\nPlease, define at least one.\n");
    // No file and no terminal: nothing was given.
    QStringList noSource = args.mid(0, 8);
    const ProcessRun none = run(noSource);
    EXPECT_EQ(none.out, "message [Warning] You have to confirm password\n");
}

namespace {
// The same runs against a stand-in server of the test's own.
class SqllumoOnServer : public SqllumoProcess {
protected:
    static void SetUpTestSuite()
    {
        server_ = std::make_unique<standin::testing::StandinServer>();
        // The server's folder that "C:\Lumeno SQL Database" names, as a technician's server has it.
        std::filesystem::create_directories(server_->dataDir() / "C" / "Lumeno SQL Database");
    }
    static void TearDownTestSuite() { server_.reset(); }
    QStringList connection(const QString& database)
    {
        writeFile("sa.txt", QByteArray::fromStdString(server_->saPassword()) + "\n");
        return {"--server",        QString::fromStdString(server_->serverName()),
                "--user",          "sa",
                "--password-file", path("sa.txt"),
                "--database",      database};
    }
    static std::unique_ptr<standin::testing::StandinServer> server_;
};
std::unique_ptr<standin::testing::StandinServer> SqllumoOnServer::server_;
} // namespace

TEST_F(SqllumoOnServer, StructureTestPrintsItsFindingsAndExitsZeroOnlyWhenAllIsSound)
{
    // master holds none of the archive's tables: every table is a finding, exit status 1.
    const ProcessRun onMaster = run(QStringList{"archive", "test"} + connection("master"));
    EXPECT_EQ(onMaster.exitCode, 1) << onMaster.out.toStdString();
    const qsizetype findings = onMaster.out.indexOf("findings:\n");
    ASSERT_GE(findings, 0) << onMaster.out.toStdString();
    const QString table = onMaster.out.mid(findings);
    EXPECT_TRUE(
        table.contains(QRegularExpression("\nTable +Presence +Columns +Primary key +Indexes\n")));
    EXPECT_TRUE(table.contains(
        QRegularExpression("\nT_Patient +NotPresent +not tested +not tested +not tested\n")))
        << table.toStdString();
    EXPECT_TRUE(table.contains(QRegularExpression("\nRelation +Finding\n")));

    // A database the program created passes every check.
    const ProcessRun created =
        run(QStringList{"archive", "create", "--directory", "C:\\Lumeno SQL Database"} +
            connection("CliFindings"));
    ASSERT_EQ(created.exitCode, 0) << created.out.toStdString();
    const ProcessRun sound = run(QStringList{"archive", "test"} + connection("CliFindings"));
    EXPECT_EQ(sound.exitCode, 0) << sound.out.toStdString();
    EXPECT_TRUE(sound.out.contains(QRegularExpression("\nT_Patient +Present +Ok +Ok +Ok\n")))
        << sound.out.toStdString();
    EXPECT_FALSE(sound.out.contains("NotPresent"));
    EXPECT_FALSE(sound.out.contains("Not Present"));
}
