// sqllumo as its users run it: a process with options, files, standard input and no terminal.
#include "SqllumoProcess.h"
#include "OdbcClient.h"
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
    EXPECT_TRUE(general.out.contains("The server's own databases (master, model, msdb, tempdb, "
                                     "in any case) are refused"));
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
    // Started and left running, as `run` runs it; the test waits for it.
    std::unique_ptr<QProcess> start(QStringList arguments) const
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home_.path());
        env.insert("HOME", home_.path());
        process->setProcessEnvironment(env);
        process->setChildProcessModifier(sqllumo::testing::DiesWithTest([] { ::setsid(); }));
        arguments.insert(2, "--log-folder=" + home_.path());
        process->start(QCoreApplication::applicationDirPath() + "/sqllumo", arguments);
        EXPECT_TRUE(process->waitForStarted(10000));
        process->closeWriteChannel();
        return process;
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

TEST_F(SqllumoOnServer, SystemDatabasesAreRefusedBeforeAnythingIsStoredOrSent)
{
    writeFile("phrase", "VOR36PELIN\n");
    const QStringList admin = {"--admin-password-file", path("phrase"), "--yes"};
    const QStringList directory = {"--directory", "C:\\Lumeno SQL Database"};
    const QList<QStringList> refused = {
        QStringList{"archive", "create"} + directory + connection("MASTER"),
        QStringList{"archive", "create-new", "--yes"} + directory + connection("tempdb"),
        QStringList{"archive", "restore", "--file", "C:\\Lumeno SQL Database\\a.bak"} + directory +
            admin + connection("Model"),
        QStringList{"archive", "delete"} + admin + connection("msdb"),
        QStringList{"archive", "import", "--source", path("old.mdb")} + directory + admin +
            connection("MSDB"),
        QStringList{"archive", "shift", "--patient-code-to", "comment"} + admin +
            connection("master"),
    };
    for (const QStringList& args : refused) {
        const ProcessRun r = run(args);
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.contains("System database!\nmaster, model, msdb and tempdb belong to "
                                   "SQL Server: please, name another database."))
            << r.out.toStdString();
        EXPECT_FALSE(r.out.contains("report:")) << r.out.toStdString();
    }
    // Nothing of the refused runs became a default or reached the log.
    QSettings ini(iniPath(), QSettings::IniFormat);
    EXPECT_FALSE(ini.contains("Default/DatabaseName"));
    EXPECT_FALSE(ini.contains("Default/BackupFile"));
    EXPECT_FALSE(QFile::exists(path("SQLLumoManager Report.log")));
    // Reading functions still read them.
    const ProcessRun backup =
        run(QStringList{"archive", "backup", "--file", "C:\\Lumeno SQL Database\\m.bak"} +
            connection("master"));
    EXPECT_EQ(backup.exitCode, 0) << backup.out.toStdString();
}

TEST_F(SqllumoOnServer, TheLongestNameThatFitsIsCreatedAndOneLongerIsRefusedAsTooLong)
{
    const QStringList create = {"archive", "create", "--directory", "C:\\Lumeno SQL Database"};
    const QString longest = "L" + QString(123, 'n');
    const ProcessRun created = run(create + connection(longest));
    EXPECT_EQ(created.exitCode, 0) << created.out.toStdString();
    EXPECT_TRUE(created.out.contains("Database " + longest + " has been created and initialized"));
    const ProcessRun tested = run(QStringList{"archive", "test"} + connection(longest));
    EXPECT_EQ(tested.exitCode, 0) << tested.out.toStdString();

    for (int size : {125, 128}) {
        const ProcessRun tooLong = run(create + connection("L" + QString(size - 1, 'n')));
        EXPECT_EQ(tooLong.exitCode, 1);
        EXPECT_TRUE(tooLong.out.contains("Database name too long!\nPlease, use at most 124 "
                                         "characters."))
            << tooLong.out.toStdString();
    }
}

// Runs of other databases rewrite the registry while a test runs: its verdict must still be
// its own. Several rounds in the one test, each with the runs started together.
TEST_F(SqllumoOnServer, ParallelStructureTestsEachJudgeTheirOwnDatabase)
{
    const QStringList create = {"archive", "create", "--directory", "C:\\Lumeno SQL Database"};
    const QStringList healthy = {"RaceHealthy1", "RaceHealthy2", "RaceHealthy3"};
    for (const QString& name : healthy)
        ASSERT_EQ(run(create + connection(name)).exitCode, 0) << name.toStdString();
    for (int round = 0; round < 8; ++round) {
        // connection() rewrites the password file: every command line is made before any starts.
        std::vector<std::pair<QString, QStringList>> commands;
        for (int i = 0; i < 3; ++i)
            commands.emplace_back(
                "create", create + connection(QStringLiteral("RaceNew%1_%2").arg(round).arg(i)));
        commands.emplace_back("empty", QStringList{"archive", "test"} + connection("master"));
        for (const QString& name : healthy)
            commands.emplace_back(name, QStringList{"archive", "test"} + connection(name));
        std::vector<std::pair<QString, std::unique_ptr<QProcess>>> runs;
        for (const auto& [what, arguments] : commands)
            runs.emplace_back(what, start(arguments));
        for (auto& [what, process] : runs) {
            ASSERT_TRUE(process->waitForFinished(120000)) << what.toStdString();
            const QString out = QString::fromUtf8(process->readAllStandardOutput());
            const int expected = what == "empty" ? 1 : 0;
            EXPECT_EQ(process->exitCode(), expected)
                << "round " << round << " " << what.toStdString() << "\n"
                << out.toStdString();
            if (what.startsWith("RaceHealthy")) {
                EXPECT_TRUE(out.contains("Database " + what + " has been tested successfully"));
                EXPECT_FALSE(out.contains("NotPresent")) << out.toStdString();
            } else if (what == "empty") {
                EXPECT_TRUE(
                    out.contains(QRegularExpression("has been tested: \\d+ problems found")))
                    << out.toStdString();
                EXPECT_FALSE(out.contains("tested successfully")) << out.toStdString();
            }
        }
    }
}

// Each backup to the same file adds a set; --set 1 restores the first, without it the newest.
TEST_F(SqllumoOnServer, RestoreSetOneBringsBackTheOlderOfTwoBackupsInTheFile)
{
    writeFile("phrase", "vor36pelin\n");
    const QStringList admin = {"--admin-password-file", path("phrase")};
    const QStringList directory = {"--directory", "C:\\Lumeno SQL Database"};
    const QString file = "C:\\Lumeno SQL Database\\two-sets.bak";
    const QStringList backup = {"archive", "backup", "--file", file};
    ASSERT_EQ(run(QStringList{"archive", "create"} + directory + connection("CliSets")).exitCode,
              0);
    const ProcessRun first = run(backup + connection("CliSets"));
    ASSERT_EQ(first.exitCode, 0) << first.out.toStdString();
    EXPECT_TRUE(first.out.contains("report:\nComplete Backup of database CliSets has been created "
                                   "and verified into disk " +
                                   file + " (backup set 1 of 1, taken "))
        << first.out.toStdString();
    const std::u16string marker = u"after the first backup";
    standin::testing::OdbcConnection(server_->odbcConnectionString("CliSets"))
        .execute(u"INSERT INTO T_Marker (Marker) VALUES ('" + marker + u"')");
    const ProcessRun second = run(backup + connection("CliSets"));
    ASSERT_EQ(second.exitCode, 0) << second.out.toStdString();
    EXPECT_TRUE(second.out.contains(" (backup set 2 of 2, taken ")) << second.out.toStdString();

    // The positions to choose from.
    QStringList listing = connection("CliSets");
    listing.removeLast();
    listing.removeLast();
    const ProcessRun listed = run(QStringList{"archive", "backups", "--file", file} + listing);
    EXPECT_EQ(listed.exitCode, 0) << listed.out.toStdString();
    EXPECT_TRUE(listed.out.contains(QRegularExpression("\n1\tCliSets\t.*\n2\tCliSets\t")))
        << listed.out.toStdString();

    const auto markers = [&](const QString& database) {
        return standin::testing::OdbcConnection(
                   server_->odbcConnectionString(database.toStdString()))
            .query(u"SELECT COUNT(*) FROM T_Marker WHERE Marker = '" + marker + u"'")
            .at(0)
            .at(0)
            .value_or("?");
    };
    const QStringList restore =
        QStringList{"archive", "restore", "--file", file} + directory + admin;
    const ProcessRun older = run(restore + QStringList{"--set", "1"} + connection("CliSetOne"));
    ASSERT_EQ(older.exitCode, 0) << older.out.toStdString() << older.err.toStdString();
    EXPECT_TRUE(
        older.out.contains("report:\nRestore of database CliSetOne has been done from disk " +
                           file + " (backup set 1 of 2, taken "))
        << older.out.toStdString();
    EXPECT_EQ(markers("CliSetOne"), "0");

    const ProcessRun newest = run(restore + connection("CliSetNewest"));
    ASSERT_EQ(newest.exitCode, 0) << newest.out.toStdString();
    EXPECT_TRUE(newest.out.contains(" (backup set 2 of 2, taken ")) << newest.out.toStdString();
    EXPECT_EQ(markers("CliSetNewest"), "1");

    // A position the file does not hold is refused before anything is restored.
    const ProcessRun missing = run(restore + QStringList{"--set", "3"} + connection("CliSetThree"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(
        missing.out.contains("The file " + file + " holds no full database backup at position 3."))
        << missing.out.toStdString();
    EXPECT_FALSE(missing.out.contains("report:"));
    EXPECT_EQ(run(restore + QStringList{"--set", "none"} + connection("CliSetThree")).exitCode, 2);
}
