// The server level reached through the engine's sessions, as a client reaches it: the
// program's create, backup, restore and delete flows in batches, with tables and rows made by
// the engine itself, and two sessions at once.
#include "ServerTestSupport.h"

#include "Engine.h"

namespace fs = std::filesystem;

namespace standin::server::testing {
namespace {

const std::string kDirectory = "C:\\Lumeno SQL Database\\";

class ServerSession : public ::testing::Test {
protected:
    TemporaryRoot root;
    std::unique_ptr<Engine> engine;

    void SetUp() override
    {
        Engine::Options options;
        options.dataRoot = root.path() / "data";
        options.saPassword = "Session-Test-1";
        engine = Engine::open(options);
        fs::create_directories(fs::canonical(root.path() / "data") / "C" / "Lumeno SQL Database");
        fs::create_directories(fs::canonical(root.path() / "data") / "C" / "Backups");
    }

    std::unique_ptr<Session> login(const std::u16string& database = u"master")
    {
        LoginResult result = engine->login(u"sa", u"Session-Test-1", database);
        EXPECT_TRUE(result.session) << (result.error ? Narrow(result.error->text) : "");
        return std::move(result.session);
    }

    static CollectingSink exec(Session& session, const std::string& batch)
    {
        CollectingSink sink;
        session.execute(Wide(batch), sink);
        return sink;
    }

    static std::string createStatement(const std::string& database)
    {
        return "CREATE DATABASE " + database + " ON (NAME = " + database + "_Dat, FILENAME = '" +
               kDirectory + database + "dat.mdf') LOG ON (NAME = " + database +
               "_Log, FILENAME = '" + kDirectory + database + "log.ldf')";
    }

    static int64_t count(Session& session, const std::string& table)
    {
        auto sink = exec(session, "SELECT COUNT(*) FROM " + table);
        if (sink.results.empty() || sink.results[0].rows.empty()) {
            ADD_FAILURE() << "no count: " << sink.firstErrorText();
            return -1;
        }
        const Value& v = sink.results[0].rows[0][0];
        return std::holds_alternative<int64_t>(v) ? std::get<int64_t>(v) : -1;
    }
};

TEST_F(ServerSession, CreateFillBackupRestoreAndDropAsTheProgramDoes)
{
    auto admin = login();
    auto created = exec(*admin, createStatement("Xarc"));
    ASSERT_TRUE(created.errorNumbers().empty()) << created.firstErrorText();

    {
        auto archive = login(u"Xarc");
        ASSERT_EQ(Narrow(archive->currentDatabase()), "Xarc");
        auto ddl =
            exec(*archive, "CREATE TABLE T_Patient (ID_Patient INT IDENTITY NOT NULL PRIMARY KEY, "
                           "L_Name NVARCHAR(50) NULL)\n"
                           "INSERT INTO T_Patient (L_Name) VALUES (N'Rossi')\n"
                           "INSERT INTO T_Patient (L_Name) VALUES (N'Bianchi')");
        ASSERT_TRUE(ddl.errorNumbers().empty()) << ddl.firstErrorText();

        // The archive is in use by this session: it cannot be dropped or restored over.
        auto inUse = exec(*admin, "DROP DATABASE Xarc");
        EXPECT_EQ(inUse.errorNumbers(), std::vector<int32_t>{3702});
        auto backup = exec(*admin, "BACKUP DATABASE Xarc TO DISK='C:\\Backups\\xarc.bak'");
        ASSERT_TRUE(backup.errorNumbers().empty()) << backup.firstErrorText();
        EXPECT_EQ(backup.messageNumbers(), (std::vector<int32_t>{4035, 4035, 3014}));
        exec(*archive, "INSERT INTO T_Patient (L_Name) VALUES (N'Verdi')");
        EXPECT_EQ(count(*archive, "T_Patient"), 3);
        auto refused = exec(*admin, "RESTORE DATABASE Xarc FROM DISK='C:\\Backups\\xarc.bak'");
        EXPECT_EQ(refused.errorNumbers(), (std::vector<int32_t>{3101, 3013}));
    }

    // The program's restore reads the file list first, then restores under the same name.
    auto list = exec(*admin, "RESTORE FILELISTONLY FROM DISK='C:\\Backups\\xarc.bak' ");
    ASSERT_EQ(list.results.size(), 1u) << list.firstErrorText();
    std::string dataName, logName;
    for (size_t r = 0; r < list.results[0].rows.size(); ++r) {
        if (list.results[0].text(r, "Type") == "D")
            dataName = list.results[0].text(r, "LogicalName");
        if (list.results[0].text(r, "Type") == "L")
            logName = list.results[0].text(r, "LogicalName");
    }
    EXPECT_EQ(dataName, "Xarc_Dat");
    EXPECT_EQ(logName, "Xarc_Log");
    const std::string programRestore =
        "RESTORE DATABASE Xarc FROM DISK='C:\\Backups\\xarc.bak'WITH RECOVERY, MOVE '" + dataName +
        "' TO '" + kDirectory + "Xarcdat.mdf', MOVE '" + logName + "' TO '" + kDirectory +
        "Xarclog.ldf'";
    // Over the backed-up database itself SQL Server wants the log's tail first; once the
    // database is gone the same statement restores it.
    EXPECT_EQ(exec(*admin, programRestore).errorNumbers(), (std::vector<int32_t>{3159, 3013}));
    ASSERT_TRUE(exec(*admin, "DROP DATABASE Xarc").errorNumbers().empty());
    auto restored = exec(*admin, programRestore);
    ASSERT_TRUE(restored.errorNumbers().empty()) << restored.firstErrorText();
    {
        auto archive = login(u"Xarc");
        EXPECT_EQ(count(*archive, "T_Patient"), 2)
            << "the restored database works at once, as backed up";
        auto insert = exec(*archive, "INSERT INTO T_Patient (L_Name) VALUES (N'Neri')");
        EXPECT_TRUE(insert.errorNumbers().empty()) << insert.firstErrorText();
    }

    // Delete: sp_helpdb, then DROP DATABASE for the row whose name matches.
    auto help = exec(*admin, "sp_helpdb");
    ASSERT_EQ(help.results.size(), 1u);
    bool listed = false;
    for (size_t r = 0; r < help.results[0].rows.size(); ++r)
        listed = listed || help.results[0].text(r, "name") == "Xarc";
    EXPECT_TRUE(listed);
    auto dropped = exec(*admin, "DROP DATABASE Xarc");
    EXPECT_TRUE(dropped.errorNumbers().empty()) << dropped.firstErrorText();
    EXPECT_FALSE(fs::exists(fs::canonical(root.path() / "data") / "C" / "Lumeno SQL Database" /
                            "Xarcdat.mdf"));
    LoginResult gone = engine->login(u"sa", u"Session-Test-1", u"Xarc");
    EXPECT_FALSE(gone.session);
}

TEST_F(ServerSession, RestoreOverADatabaseOtherSessionsUsedBeforeShowsTheRestoredRows)
{
    auto admin = login();
    exec(*admin, createStatement("Cache"));
    {
        auto user = login(u"Cache");
        exec(*user, "CREATE TABLE T (X INT)\nINSERT INTO T VALUES (1)");
        exec(*admin, "BACKUP DATABASE Cache TO DISK='C:\\Backups\\cache.bak'");
        exec(*user, "INSERT INTO T VALUES (2)\nINSERT INTO T VALUES (3)");
        EXPECT_EQ(count(*user, "T"), 3);
        auto moved = exec(*user, "USE master");
        EXPECT_TRUE(moved.errorNumbers().empty());
        auto restored =
            exec(*admin, "RESTORE DATABASE Cache FROM DISK='C:\\Backups\\cache.bak' WITH REPLACE");
        ASSERT_TRUE(restored.errorNumbers().empty()) << restored.firstErrorText();
        exec(*user, "USE Cache");
        EXPECT_EQ(count(*user, "T"), 1) << "no stale handle of the replaced file";
    }
}

TEST_F(ServerSession, ServerStatementsMixWithOthersInOneBatch)
{
    auto admin = login();
    auto sink =
        exec(*admin, "CREATE DATABASE Mixed\nSELECT 1\nDROP DATABASE Missing\nEXEC sp_databases\n"
                     "DROP DATABASE Mixed");
    EXPECT_EQ(sink.errorNumbers(), std::vector<int32_t>{3701}) << "the batch goes on after 3701";
    ASSERT_EQ(sink.results.size(), 2u);
    EXPECT_EQ(Narrow(sink.results[1].columns[0].name), "DATABASE_NAME");
    EXPECT_EQ(sink.messages.at(0).line, 3);
    auto after = exec(*admin, "sp_helpdb Mixed");
    EXPECT_EQ(after.errorNumbers(), std::vector<int32_t>{15010});
}

// A client's RPC reaches the server's procedures with its values as given: a quote or a
// backslash in a name is data, a NULL stays NULL, and a wrong name or count is refused as in a
// batch.
TEST_F(ServerSession, ProceduresCalledByRpcTakeTheirValuesAsGiven)
{
    auto admin = login();
    auto text = [](const char16_t* name, const std::u16string& value) {
        RpcParam p;
        p.name = name;
        p.type.type = SqlType::NVarChar;
        p.type.length = 128;
        p.value = value;
        return p;
    };
    auto rpc = [&](const char16_t* procedure, const std::vector<RpcParam>& params) {
        CollectingSink sink;
        admin->executeRpc(procedure, params, sink);
        return sink;
    };
    const std::u16string account = u"LAB\\O'Neil, N'x'";
    auto granted = rpc(u"sp_grantlogin", {text(u"@loginame", account)});
    EXPECT_TRUE(granted.errorNumbers().empty()) << granted.firstErrorText();
    EXPECT_EQ(granted.statuses, std::vector<int32_t>{0});
    auto info = rpc(u"master.dbo.xp_logininfo", {text(u"", account)});
    ASSERT_EQ(info.results.size(), 1u) << info.firstErrorText();
    ASSERT_EQ(info.results[0].rows.size(), 1u);
    EXPECT_EQ(info.results[0].text(0, "account name"), Narrow(account));
    auto again = exec(*admin, "EXEC sp_grantlogin N'LAB\\O''Neil, N''x'''");
    EXPECT_EQ(again.errorNumbers(), std::vector<int32_t>{15025});

    RpcParam null;
    null.type.type = SqlType::NVarChar;
    null.type.length = 128;
    auto all = rpc(u"[sp_helpdb]", {null});
    ASSERT_FALSE(all.results.empty()) << all.firstErrorText();
    EXPECT_GE(all.results[0].rows.size(), 4u);
    auto unknown = rpc(u"sp_helpdb", {text(u"@dbname", u"No'Such")});
    ASSERT_EQ(unknown.errorNumbers(), std::vector<int32_t>{15010});
    EXPECT_EQ(unknown.firstErrorText(), "The database 'No'Such' does not exist. Supply a valid "
                                        "database name. To see available databases, use "
                                        "sys.databases.");
    auto misnamed = rpc(u"sp_helpdb", {text(u"@database", u"master")});
    ASSERT_EQ(misnamed.errorNumbers(), std::vector<int32_t>{8145});
    EXPECT_EQ(misnamed.messages[0].state, 2);
    EXPECT_EQ(misnamed.messages[0].procedure, u"sp_helpdb");
    auto tooMany = rpc(u"sp_grantlogin", {text(u"", u"LAB\\a"), text(u"", u"LAB\\b")});
    EXPECT_EQ(tooMany.errorNumbers(), std::vector<int32_t>{8144});
    EXPECT_EQ(tooMany.statuses, std::vector<int32_t>{1});
    auto missing = rpc(u"sp_no_such_procedure", {});
    EXPECT_EQ(missing.errorNumbers(), std::vector<int32_t>{2812});
}

// In a batch, DROP DATABASE IF EXISTS is one statement, and EXEC of a server procedure takes
// evaluated values (a variable) as an RPC does.
TEST_F(ServerSession, ServerStatementsAndProceduresInABatchTakeTheirWholeForm)
{
    auto admin = login();
    auto dropped = exec(*admin, "DROP DATABASE IF EXISTS NoSuchArchive SELECT 1");
    EXPECT_TRUE(dropped.errorNumbers().empty()) << dropped.firstErrorText();
    ASSERT_EQ(dropped.results.size(), 1u);
    auto missing = exec(*admin, "DROP DATABASE NoSuchArchive");
    EXPECT_EQ(missing.errorNumbers(), std::vector<int32_t>{3701});
    EXPECT_EQ(missing.firstErrorText(), "Cannot drop the database 'NoSuchArchive', because it "
                                        "does not exist or you do not have permission.");

    auto help = exec(*admin, "DECLARE @n NVARCHAR(20) = N'mas' + N'ter'\n"
                             "EXEC master..sp_helpdb @dbname = @n");
    ASSERT_EQ(help.results.size(), 2u) << help.firstErrorText();
    EXPECT_EQ(help.results[0].rows.size(), 1u);
    EXPECT_EQ(help.statuses, std::vector<int32_t>{0});
    auto elsewhere = exec(*admin, "EXEC otherdb.dbo.sp_helpdb");
    EXPECT_FALSE(elsewhere.errorNumbers().empty());
    EXPECT_TRUE(elsewhere.results.empty());
}

} // namespace
} // namespace standin::server::testing
