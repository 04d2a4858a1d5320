// The server level on a fresh data root: configuration, logins, path rules, CREATE and DROP
// DATABASE, the catalogue procedures and which statements the server level claims.
#include "ServerTestSupport.h"

#include <chrono>
#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;

namespace standin::server::testing {
namespace {

const std::string kDirectory = "C:\\Lumeno SQL Database\\";

std::string createStatement(const std::string& database, const std::string& directory)
{
    // As the program sends it.
    return "CREATE DATABASE " + database + " ON (NAME = " + database + "_Dat, FILENAME = '" +
           directory + database + "dat.mdf') LOG ON (NAME = " + database + "_Log, FILENAME = '" +
           directory + database + "log.ldf')";
}

// --- data root and logins -------------------------------------------------------------------

TEST(ServerDataRoot, FirstStartWritesOwnerOnlyPasswordAndSystemDatabases)
{
    TemporaryRoot root;
    Engine::Options options;
    options.dataRoot = root.path() / "fresh";
    auto catalog = ServerCatalog::open(options);

    const fs::path passwordFile = catalog->dataRoot() / "sa-password";
    struct stat st {};
    ASSERT_EQ(::stat(passwordFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::ifstream in(passwordFile);
    std::string password, extra;
    std::getline(in, password);
    EXPECT_GE(password.size(), 16u);
    EXPECT_FALSE(std::getline(in, extra) && !extra.empty()) << "one line only";
    ASSERT_EQ(::stat(options.dataRoot.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u) << "a new data root is its owner's only";
    EXPECT_FALSE(catalog->authenticate(u"sa", Wide(password)).has_value());

    for (const auto& [name, dbid] : std::vector<std::pair<std::u16string, int>>{
             {u"master", 1}, {u"tempdb", 2}, {u"model", 3}, {u"msdb", 4}}) {
        const auto entry = catalog->find(name);
        ASSERT_TRUE(entry) << Narrow(name);
        EXPECT_EQ(entry->dbid, dbid);
        EXPECT_TRUE(entry->system);
        EXPECT_TRUE(fs::exists(entry->dataFile));
        EXPECT_TRUE(fs::exists(entry->logFile));
        EXPECT_EQ(entry->dataFile.string().rfind(catalog->dataRoot().string(), 0), 0u)
            << "under the data root";
    }

    // A second start without a password keeps the first one; one given replaces it, kept too.
    catalog.reset();
    catalog = ServerCatalog::open(options);
    EXPECT_FALSE(catalog->authenticate(u"sa", Wide(password)).has_value());
    catalog.reset();
    options.saPassword = "other";
    catalog = ServerCatalog::open(options);
    EXPECT_TRUE(catalog->authenticate(u"sa", Wide(password)).has_value());
    EXPECT_FALSE(catalog->authenticate(u"sa", u"other").has_value());
    catalog.reset();
    options.saPassword.reset();
    catalog = ServerCatalog::open(options);
    EXPECT_FALSE(catalog->authenticate(u"sa", u"other").has_value());
    ASSERT_EQ(::stat(passwordFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ServerFixture, AuthenticationAcceptsOnlySaWithItsPassword)
{
    struct Case {
        std::u16string user, password;
        bool accepted;
    } cases[] = {
        {u"sa", u"Test-Passw0rd", true},
        {u"SA", u"Test-Passw0rd", true},
        {u"sa", u"test-passw0rd", false},
        {u"sa", u"Test-Passw0rd ", false},
        {u"sa", u"", false},
        {u"nobody", u"Test-Passw0rd", false},
        {u"DOM\\someone", u"Test-Passw0rd", false},
    };
    run("sp_grantlogin 'DOM\\someone'");
    for (const auto& c : cases) {
        const auto error = catalog->authenticate(c.user, c.password);
        EXPECT_EQ(!error.has_value(), c.accepted) << Narrow(c.user) << "/" << Narrow(c.password);
        if (error) {
            EXPECT_EQ(error->number, 18456);
            EXPECT_EQ(error->severity, 14);
            EXPECT_EQ(Narrow(error->text), "Login failed for user '" + Narrow(c.user) + "'.");
        }
    }
}

TEST_F(ServerFixture, NewLoginAsTheProgramGrantsItIsListedAsAdmin)
{
    auto grant = run("sp_grantlogin 'HOSPITAL\\tech1'");
    EXPECT_TRUE(grant.errorNumbers().empty()) << grant.firstErrorText();
    EXPECT_EQ(grant.statuses, std::vector<int32_t>{0});
    for (const char* role : {"sysadmin", "securityadmin", "serveradmin", "setupadmin",
                             "processadmin", "diskadmin", "dbcreator"}) {
        auto add = run(std::string("sp_addsrvrolemember 'HOSPITAL\\tech1','") + role + "'");
        EXPECT_TRUE(add.errorNumbers().empty()) << role << ": " << add.firstErrorText();
    }
    run("EXEC sp_grantlogin N'HOSPITAL\\tech2'");

    auto info = run("xp_logininfo");
    ASSERT_EQ(info.results.size(), 1u);
    const auto& set = info.results[0];
    std::vector<std::string> names;
    for (const auto& c : set.columns)
        names.push_back(Narrow(c.name));
    EXPECT_EQ(names, (std::vector<std::string>{"account name", "type", "privilege",
                                               "mapped login name", "permission path"}));
    ASSERT_EQ(set.rows.size(), 2u) << "Windows logins only, not sa";
    EXPECT_EQ(set.text(0, "account name"), "HOSPITAL\\tech1");
    EXPECT_EQ(set.text(0, "type"), "user    ");
    EXPECT_EQ(set.text(0, "privilege"), "admin    ");
    EXPECT_EQ(set.text(1, "privilege"), "user     ");
    EXPECT_EQ(info.order.back(), "done");
    EXPECT_EQ(info.statuses, std::vector<int32_t>{0});
}

TEST_F(ServerFixture, LoginProcedureErrors)
{
    run("sp_grantlogin 'DOM\\twice'");
    struct Case {
        std::string statement;
        int32_t number;
        std::string text;
    } cases[] = {
        {"sp_grantlogin 'justaname'", 15407,
         "'justaname' is not a valid Windows NT name. Give the complete name: <domain\\username>."},
        {"sp_grantlogin ''", 15407,
         "'' is not a valid Windows NT name. Give the complete name: <domain\\username>."},
        {"sp_grantlogin 'DOM\\'", 15407,
         "'DOM\\' is not a valid Windows NT name. Give the complete name: <domain\\username>."},
        {"sp_grantlogin 'dom\\TWICE'", 15025, "The server principal 'dom\\TWICE' already exists."},
        {"sp_addsrvrolemember 'DOM\\nobody','sysadmin'", 15007,
         "'DOM\\nobody' is not a valid login or you do not have permission."},
        {"sp_addsrvrolemember 'DOM\\twice','superuser'", 15402,
         "'superuser' is not a fixed server role."},
        {"sp_addsrvrolemember 'DOM\\twice'", 201,
         "Procedure or function 'sp_addsrvrolemember' expects parameter '@rolename', which was not "
         "supplied."},
        {"sp_grantlogin 'A\\b', 'c'", 8144,
         "Procedure or function sp_grantlogin has too many arguments specified."},
    };
    for (const auto& c : cases) {
        auto sink = run(c.statement);
        ASSERT_EQ(sink.errorNumbers(), std::vector<int32_t>{c.number}) << c.statement;
        EXPECT_EQ(sink.firstErrorText(), c.text);
        EXPECT_EQ(sink.statuses, std::vector<int32_t>{1}) << c.statement;
        EXPECT_EQ(Narrow(sink.messages[0].procedure).substr(0, 3), c.statement.substr(0, 3));
    }
    ServerContext inTransaction = sa;
    inTransaction.inTransaction = true;
    EXPECT_EQ(run("sp_grantlogin 'DOM\\x'", &inTransaction).errorNumbers(),
              std::vector<int32_t>{15002});
}

// --- paths ----------------------------------------------------------------------------------

TEST_F(ServerFixture, PathsMapUnderTheDataRootAndNowhereElse)
{
    const fs::path root = dataDir();
    fs::create_directories(root / "C" / "Lumeno SQL Database");
    fs::create_directories(root / "srv" / "data");
    fs::create_directory_symlink("/tmp", root / "C" / "escape");
    struct Case {
        std::u16string path;
        std::optional<fs::path> expected;
    } cases[] = {
        {u"C:\\Lumeno SQL Database\\Xdat.mdf", root / "C" / "Lumeno SQL Database" / "Xdat.mdf"},
        {u"c:\\lumeno sql database\\Xdat.mdf", root / "C" / "Lumeno SQL Database" / "Xdat.mdf"},
        {u"C:/Lumeno SQL Database//Xdat.mdf", root / "C" / "Lumeno SQL Database" / "Xdat.mdf"},
        {u"/srv/data/x.mdf", root / "srv" / "data" / "x.mdf"},
        {u"D:\\new\\x.mdf", root / "D" / "new" / "x.mdf"},
        {u"C:\\Lumeno SQL Database\\..\\..\\..\\etc\\passwd", std::nullopt},
        {u"/srv/../../etc/passwd", std::nullopt},
        {u"C:\\.\\x.mdf", std::nullopt},
        {u"C:\\escape\\x.mdf", std::nullopt},
        {u"\\\\server\\share\\x.mdf", std::nullopt},
        {u"x.mdf", std::nullopt},
        {u"C:x.mdf", std::nullopt},
        {u"C:\\a|b\\x.mdf", std::nullopt},
        {u"C:\\dir\\x.mdf:stream", std::nullopt},
        {u"C:\\dir.\\x.mdf", std::nullopt},
        {u"C:\\dir\\x\x01.mdf", std::nullopt},
        {std::u16string(u"C:\\bad\xD800.mdf"), std::nullopt},
        {u"", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto mapped = catalog->mapPath(c.path);
        EXPECT_EQ(mapped, c.expected) << Narrow(c.path);
    }
}

// --- CREATE and DROP DATABASE --------------------------------------------------------------

TEST_F(ServerFixture, CreateDatabaseAsTheProgramSendsIt)
{
    const fs::path dir = makeServerDirectory(kDirectory);
    auto sink = run(createStatement("Xarc", kDirectory));
    EXPECT_TRUE(sink.messages.empty()) << sink.firstErrorText();
    ASSERT_EQ(sink.dones.size(), 1u);
    EXPECT_FALSE(sink.dones[0].error);

    const auto entry = catalog->find(u"XARC");
    ASSERT_TRUE(entry);
    EXPECT_EQ(Narrow(entry->name), "Xarc");
    EXPECT_EQ(entry->dbid, 5);
    EXPECT_EQ(entry->dataFile, dir / "Xarcdat.mdf");
    EXPECT_EQ(entry->logFile, dir / "Xarclog.ldf");
    EXPECT_EQ(Narrow(entry->dataLogicalName), "Xarc_Dat");
    EXPECT_EQ(Narrow(entry->logLogicalName), "Xarc_Log");
    EXPECT_EQ(Narrow(entry->dataPhysicalName), kDirectory + "Xarcdat.mdf");
    EXPECT_TRUE(fs::exists(entry->logFile));
    {
        SqliteFile file(entry->dataFile);
        EXPECT_EQ(file.text("PRAGMA journal_mode"), "wal");
        EXPECT_EQ(file.text("PRAGMA integrity_check"), "ok");
    }

    // The registry is durable: a new catalogue on the same root sees the database.
    catalog.reset();
    SetUp();
    ASSERT_TRUE(catalog->find(u"xarc"));
    EXPECT_EQ(catalog->find(u"xarc")->dataFile, dir / "Xarcdat.mdf");
}

TEST_F(ServerFixture, CreateDatabaseErrors)
{
    makeServerDirectory(kDirectory);
    run(createStatement("Taken", kDirectory));
    std::ofstream(dataDir() / "C" / "Lumeno SQL Database" / "Straydat.mdf") << "someone's file";
    struct Case {
        std::string statement;
        std::vector<int32_t> errors;
        std::string firstText;
    } cases[] = {
        {createStatement("TAKEN", kDirectory),
         {1801},
         "Database 'TAKEN' already exists. Choose a different database name."},
        {createStatement("NoDir", "C:\\Missing Folder\\"),
         {5133, 1802},
         "Directory lookup for the file \"C:\\Missing Folder\\NoDirdat.mdf\" failed with the "
         "operating system error "
         "3(The system cannot find the path specified.)."},
        {createStatement("Stray", kDirectory),
         {5170, 1802},
         "Cannot create file 'C:\\Lumeno SQL Database\\Straydat.mdf' because it already exists. "
         "Change the file path "
         "or the file name, and retry the operation."},
        {createStatement("Escape", "C:\\Lumeno SQL Database\\..\\..\\..\\tmp\\"),
         {5133, 1802},
         "Directory lookup for the file \"C:\\Lumeno SQL "
         "Database\\..\\..\\..\\tmp\\Escapedat.mdf\" failed with the "
         "operating system error 5(Access is denied.)."},
        {createStatement("Rel", "relative\\"),
         {5105, 1802},
         "A file activation error occurred. The physical file name 'relative\\Reldat.mdf' may be "
         "incorrect. Diagnose "
         "and correct additional errors, and retry the operation."},
        {"CREATE DATABASE Same ON (NAME = Same_Dat, FILENAME = 'C:\\Lumeno SQL Database\\s.mdf') "
         "LOG ON (NAME = "
         "same_dat, FILENAME = 'C:\\Lumeno SQL Database\\s.ldf')",
         {1828},
         "The logical file name \"same_dat\" is already in use. Choose a different name."},
        {"CREATE DATABASE", {102}, "Incorrect syntax near 'DATABASE'."},
        {"CREATE DATABASE x ON (NAME = x, FILENAME = )", {102}, "Incorrect syntax near ')'."},
        {"CREATE DATABASE x ON (NAME = a, FILENAME = 'C:\\a.mdf'), (NAME = b, FILENAME = "
         "'C:\\b.ndf')",
         {50000},
         "A database with more than one data file is not supported by this server."},
        {"CREATE DATABASE x COLLATE Latin1_General_BIN",
         {50000},
         "COLLATE Latin1_General_BIN is not supported by this server."},
    };
    for (const auto& c : cases) {
        auto sink = run(c.statement);
        EXPECT_EQ(sink.errorNumbers(), c.errors) << c.statement;
        EXPECT_EQ(sink.firstErrorText(), c.firstText) << c.statement;
        ASSERT_FALSE(sink.dones.empty());
        EXPECT_TRUE(sink.dones.back().error);
    }
    // Nothing was created by the failures, and nothing outside the data root.
    EXPECT_FALSE(catalog->find(u"NoDir"));
    EXPECT_FALSE(catalog->find(u"Escape"));
    EXPECT_FALSE(fs::exists("/tmp/Escapedat.mdf"));
    EXPECT_EQ(std::ifstream(dataDir() / "C" / "Lumeno SQL Database" / "Straydat.mdf").get(), 's')
        << "left untouched";

    ServerContext inTransaction = sa;
    inTransaction.inTransaction = true;
    EXPECT_EQ(run("CREATE DATABASE t", &inTransaction).errorNumbers(), std::vector<int32_t>{226});
}

TEST_F(ServerFixture, PlainCreateDatabaseUsesTheDefaultDataFolder)
{
    auto sink = run("create database [Plain One];");
    EXPECT_TRUE(sink.messages.empty()) << sink.firstErrorText();
    const auto entry = catalog->find(u"plain one");
    ASSERT_TRUE(entry);
    EXPECT_EQ(
        Narrow(entry->dataPhysicalName),
        "C:\\Program Files\\Microsoft SQL Server\\MSSQL15.MSSQLSERVER\\MSSQL\\DATA\\Plain One.mdf");
    EXPECT_EQ(Narrow(entry->logLogicalName), "Plain One_log");
    EXPECT_TRUE(fs::exists(entry->dataFile));
    EXPECT_EQ(catalog->find(u"master")->dataFile.parent_path(), entry->dataFile.parent_path());
}

TEST_F(ServerFixture, DropDatabaseRemovesFilesAndRefusesWhatItMust)
{
    makeServerDirectory(kDirectory);
    run(createStatement("Gone", kDirectory));
    run(createStatement("Busy", kDirectory));
    const auto gone = *catalog->find(u"Gone");
    {
        SqliteFile file(gone.dataFile);
        file.exec("CREATE TABLE t(x); INSERT INTO t VALUES (1);");
    }
    std::vector<fs::path> released;
    catalog->setFileReleaser([&](const fs::path& p) { released.push_back(p); });

    auto drop = run("DROP DATABASE gone");
    EXPECT_TRUE(drop.messages.empty()) << drop.firstErrorText();
    EXPECT_EQ(released, std::vector<fs::path>{gone.dataFile});
    EXPECT_FALSE(catalog->find(u"Gone"));
    for (const auto& p : {gone.dataFile, gone.logFile, fs::path(gone.dataFile.native() + "-wal")})
        EXPECT_FALSE(fs::exists(p)) << p;

    auto use = catalog->use(u"busy");
    ASSERT_TRUE(use);
    struct Case {
        std::string statement;
        std::vector<int32_t> errors;
        std::string text;
        uint8_t severity;
    } cases[] = {
        {"DROP DATABASE Gone",
         {3701},
         "Cannot drop the database 'Gone', because it does not exist or you do not have "
         "permission.",
         11},
        {"DROP DATABASE master",
         {3708},
         "Cannot drop the database 'master' because it is a system database.",
         16},
        {"DROP DATABASE TempDB",
         {3708},
         "Cannot drop the database 'tempdb' because it is a system database.",
         16},
        {"DROP DATABASE BUSY",
         {3702},
         "Cannot drop database \"Busy\" because it is currently in use.",
         16},
    };
    for (const auto& c : cases) {
        auto sink = run(c.statement);
        EXPECT_EQ(sink.errorNumbers(), c.errors) << c.statement;
        EXPECT_EQ(sink.firstErrorText(), c.text);
        EXPECT_EQ(sink.messages.at(0).severity, c.severity);
    }
    EXPECT_TRUE(run("DROP DATABASE IF EXISTS Gone").messages.empty());
    // A client that has just closed its connection is still counted until its session ends:
    // the drop waits for that instead of calling the database in use.
    std::thread closing([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        use.reset();
    });
    auto dropped = run("DROP DATABASE Busy");
    closing.join();
    EXPECT_TRUE(dropped.messages.empty()) << dropped.firstErrorText();
    EXPECT_FALSE(catalog->use(u"Busy")) << "a dropped database cannot be used";
}

TEST_F(ServerFixture, DbidsOfDroppedDatabasesAreReused)
{
    run("CREATE DATABASE a");
    run("CREATE DATABASE b");
    EXPECT_EQ(catalog->find(u"b")->dbid, 6);
    run("DROP DATABASE a");
    run("CREATE DATABASE c");
    EXPECT_EQ(catalog->find(u"c")->dbid, 5);
}

// --- catalogue procedures --------------------------------------------------------------------

TEST_F(ServerFixture, HelpDbListsEveryDatabaseWithDocumentedColumns)
{
    makeServerDirectory(kDirectory);
    run(createStatement("Archive", kDirectory));
    auto sink = run("sp_helpdb");
    ASSERT_EQ(sink.results.size(), 1u);
    const auto& set = sink.results[0];
    std::vector<std::pair<std::string, SqlType>> expected = {
        {"name", SqlType::NVarChar},
        {"db_size", SqlType::NVarChar},
        {"owner", SqlType::NVarChar},
        {"dbid", SqlType::SmallInt},
        {"created", SqlType::NVarChar},
        {"status", SqlType::NVarChar},
        {"compatibility_level", SqlType::TinyInt}};
    ASSERT_EQ(set.columns.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(Narrow(set.columns[i].name), expected[i].first);
        EXPECT_EQ(set.columns[i].type, expected[i].second) << expected[i].first;
    }
    std::vector<std::string> names;
    for (size_t r = 0; r < set.rows.size(); ++r)
        names.push_back(set.text(r, "name"));
    EXPECT_EQ(names, (std::vector<std::string>{"Archive", "master", "model", "msdb", "tempdb"}));
    EXPECT_EQ(set.text(0, "dbid"), "5");
    EXPECT_EQ(set.text(0, "owner"), "sa");
    EXPECT_EQ(set.text(0, "db_size").size(), 13u);
    EXPECT_EQ(set.text(0, "db_size").substr(10), " MB");
    EXPECT_EQ(set.text(0, "created").size(), 11u);
    EXPECT_EQ(sink.order, (std::vector<std::string>{"result", "row", "row", "row", "row", "row",
                                                    "done", "status", "done"}));
    EXPECT_EQ(sink.dones[0].kind, DoneInfo::Kind::InProcedure);
    EXPECT_EQ(sink.dones[0].count, 5);
    EXPECT_EQ(sink.dones[1].kind, DoneInfo::Kind::Procedure);

    auto one = run("EXEC sp_helpdb @dbname = N'ARCHIVE'");
    ASSERT_EQ(one.results.size(), 2u);
    EXPECT_EQ(one.results[0].rows.size(), 1u);
    const auto& files = one.results[1];
    ASSERT_EQ(files.rows.size(), 2u);
    EXPECT_EQ(Narrow(files.columns[2].name), "filename");
    EXPECT_EQ(files.columns[0].type, SqlType::NChar);
    EXPECT_EQ(files.text(0, "name").size(), 128u) << "NCHAR(128) comes padded";
    EXPECT_EQ(files.text(0, "name").substr(0, 8), "Archive_");
    EXPECT_EQ(files.text(0, "filegroup"), "PRIMARY");
    EXPECT_EQ(files.text(1, "filegroup"), "NULL");
    EXPECT_EQ(files.text(1, "usage"), "log only");

    auto missing = run("sp_helpdb 'nothere'");
    EXPECT_EQ(missing.errorNumbers(), std::vector<int32_t>{15010});
    EXPECT_EQ(missing.statuses, std::vector<int32_t>{1});
}

TEST_F(ServerFixture, DatabasesProcedureReportsSizesInKilobytes)
{
    makeServerDirectory(kDirectory);
    run(createStatement("Sized", kDirectory));
    {
        SqliteFile file(catalog->find(u"Sized")->dataFile);
        file.exec("CREATE TABLE t(x BLOB); INSERT INTO t VALUES (zeroblob(200000)); PRAGMA "
                  "wal_checkpoint(TRUNCATE);");
    }
    auto sink = run("EXECUTE master.dbo.sp_databases");
    ASSERT_EQ(sink.results.size(), 1u);
    const auto& set = sink.results[0];
    ASSERT_EQ(set.columns.size(), 3u);
    EXPECT_EQ(Narrow(set.columns[0].name), "DATABASE_NAME");
    EXPECT_EQ(set.columns[1].type, SqlType::Int);
    EXPECT_EQ(Narrow(set.columns[2].name), "REMARKS");
    ASSERT_EQ(set.text(0, "DATABASE_NAME"), "master");
    int sizedRow = -1;
    for (size_t r = 0; r < set.rows.size(); ++r)
        if (set.text(r, "DATABASE_NAME") == "Sized")
            sizedRow = int(r);
    ASSERT_GE(sizedRow, 0);
    const int64_t kb = std::stoll(set.text(size_t(sizedRow), "DATABASE_SIZE"));
    EXPECT_GE(kb, 200);
    EXPECT_LT(kb, 400);
    EXPECT_EQ(set.text(size_t(sizedRow), "REMARKS"), "NULL");
}

TEST_F(ServerFixture, OnlyServerStatementsAreClaimed)
{
    const std::vector<std::string> others = {
        "SELECT 1",
        "CREATE TABLE t (x INT)",
        "DROP TABLE t",
        "USE master",
        "EXEC sp_who",
        "sp_pkeys 'T_Patient'",
        "INSERT INTO sp_helpdb VALUES (1)",
        "DROP INDEX t.i",
        "EXEC otherdb.dbo.sp_helpdb",
    };
    for (const auto& statement : others) {
        CollectingSink sink;
        EXPECT_FALSE(catalog->tryExecute(Wide(statement), sa, sink)) << statement;
        EXPECT_TRUE(sink.order.empty()) << statement;
    }
    ServerContext later = sa;
    later.firstInBatch = false;
    CollectingSink sink;
    EXPECT_FALSE(catalog->tryExecute(u"sp_helpdb", later, sink))
        << "a bare name is a call only first in a batch";
    EXPECT_TRUE(catalog->tryExecute(u"EXEC sp_helpdb", later, sink));
    for (const auto& form : {"exec SP_HELPDB", "master..sp_helpdb", "dbo.sp_helpdb;",
                             "/* c */ sp_helpdb -- x", "EXEC [sys].[sp_helpdb]"}) {
        CollectingSink s;
        EXPECT_TRUE(catalog->tryExecute(Wide(form), sa, s)) << form;
        EXPECT_EQ(s.results.size(), 1u) << form;
    }
}

TEST_F(ServerFixture, MessagesCarryTheStatementLine)
{
    ServerContext atLine = sa;
    atLine.line = 7;
    auto sink = run("DROP DATABASE nothing", &atLine);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].line, 7);
    EXPECT_EQ(sink.messages[0].state, 1);
}

} // namespace
} // namespace standin::server::testing
