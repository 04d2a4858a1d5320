// BACKUP DATABASE and RESTORE FILELISTONLY, HEADERONLY, VERIFYONLY and DATABASE: round trips as
// the program sends them, appended sets and FILE = k, MOVE and REPLACE, the errors, damaged and
// torn media, media of the earlier format, and copies taken while another connection writes.
#include "ServerTestSupport.h"

#include <atomic>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace standin::server::testing {
namespace {

const std::string kDirectory = "C:\\Lumeno SQL Database\\";
const std::string kBackups = "C:\\Backups\\";

class ServerBackup : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        makeServerDirectory(kDirectory);
        makeServerDirectory(kBackups);
        create("Xarc");
    }

    void create(const std::string& database)
    {
        auto sink =
            run("CREATE DATABASE " + database + " ON (NAME = " + database + "_Dat, FILENAME = '" +
                kDirectory + database + "dat.mdf') LOG ON (NAME = " + database +
                "_Log, FILENAME = '" + kDirectory + database + "log.ldf')");
        ASSERT_TRUE(sink.errorNumbers().empty()) << sink.firstErrorText();
    }

    fs::path dataFile(const std::string& database)
    {
        return catalog->find(Wide(database))->dataFile;
    }

    void insertRows(const std::string& database, int from, int to)
    {
        SqliteFile file(dataFile(database));
        file.exec("CREATE TABLE IF NOT EXISTS T_Patient(id INTEGER PRIMARY KEY, name TEXT)");
        for (int i = from; i <= to; ++i)
            file.exec("INSERT INTO T_Patient VALUES (" + std::to_string(i) + ", 'patient " +
                      std::to_string(i) + "')");
    }

    int64_t rowCount(const std::string& database)
    {
        SqliteFile file(dataFile(database));
        EXPECT_EQ(file.text("PRAGMA integrity_check"), "ok");
        return file.scalar("SELECT count(*) FROM T_Patient");
    }

    std::string restoreStatement(const std::string& database, const std::string& file,
                                 const std::string& dataName, const std::string& logName)
    {
        // As the program sends it: no blank between the file's closing quote and WITH.
        return "RESTORE DATABASE " + database + " FROM DISK='" + file + "'WITH RECOVERY, MOVE '" +
               dataName + "' TO '" + kDirectory + database + "dat.mdf', MOVE '" + logName +
               "' TO '" + kDirectory + database + "log.ldf'";
    }
};

TEST_F(ServerBackup, RoundTripAsTheProgramDoesIt)
{
    insertRows("Xarc", 1, 50);
    auto backup = run("BACKUP DATABASE Xarc TO DISK='" + kBackups + "xarc.bak'");
    ASSERT_EQ(backup.messageNumbers(), (std::vector<int32_t>{4035, 4035, 3014}))
        << backup.firstErrorText();
    const std::string processed = Narrow(backup.messages[0].text);
    EXPECT_EQ(processed.substr(0, 10), "Processed ");
    EXPECT_NE(processed.find(" pages for database 'Xarc', file 'Xarc_Dat' on file 1."),
              std::string::npos)
        << processed;
    EXPECT_NE(Narrow(backup.messages[1].text).find("file 'Xarc_Log' on file 1."),
              std::string::npos);
    EXPECT_EQ(Narrow(backup.messages[2].text).substr(0, 39),
              "BACKUP DATABASE successfully processed ");
    EXPECT_NE(Narrow(backup.messages[2].text).find(" MB/sec)."), std::string::npos);
    EXPECT_EQ(backup.messages[0].severity, 10);

    auto list = run("RESTORE FILELISTONLY FROM DISK='" + kBackups + "xarc.bak' ");
    ASSERT_EQ(list.results.size(), 1u);
    const auto& files = list.results[0];
    ASSERT_EQ(files.rows.size(), 2u);
    EXPECT_EQ(Narrow(files.columns[0].name), "LogicalName");
    EXPECT_EQ(files.columns[files.column("Type")].type, SqlType::Char);
    EXPECT_EQ(files.columns[files.column("Size")].type, SqlType::Decimal);
    EXPECT_EQ(files.columns[files.column("FileId")].type, SqlType::BigInt);
    EXPECT_EQ(files.text(0, "LogicalName"), "Xarc_Dat");
    EXPECT_EQ(files.text(0, "Type"), "D");
    EXPECT_EQ(files.text(0, "PhysicalName"), kDirectory + "Xarcdat.mdf");
    EXPECT_EQ(files.text(0, "FileGroupName"), "PRIMARY");
    EXPECT_EQ(files.text(1, "LogicalName"), "Xarc_Log");
    EXPECT_EQ(files.text(1, "Type"), "L");
    EXPECT_EQ(files.text(1, "FileGroupName"), "NULL");

    auto restore = run(restoreStatement("Copy", kBackups + "xarc.bak", "Xarc_Dat", "Xarc_Log"));
    ASSERT_EQ(restore.messageNumbers(), (std::vector<int32_t>{4035, 4035, 3014}))
        << restore.firstErrorText();
    EXPECT_NE(
        Narrow(restore.messages[0].text).find("for database 'Copy', file 'Xarc_Dat' on file 1."),
        std::string::npos);
    EXPECT_EQ(Narrow(restore.messages[2].text).substr(0, 39),
              "RESTORE DATABASE successfully processed");

    const auto copy = catalog->find(u"Copy");
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->dataFile, dataDir() / "C" / "Lumeno SQL Database" / "Copydat.mdf");
    EXPECT_EQ(Narrow(copy->dataLogicalName), "Xarc_Dat") << "logical names come from the backup";
    EXPECT_EQ(Narrow(copy->dataPhysicalName), kDirectory + "Copydat.mdf");
    EXPECT_TRUE(fs::exists(copy->logFile));
    EXPECT_TRUE(catalog->use(u"Copy")) << "usable at once";
    EXPECT_EQ(rowCount("Copy"), 50);
    EXPECT_EQ(rowCount("Xarc"), 50);
}

TEST_F(ServerBackup, SecondBackupAppendsAndFileSelectsTheSet)
{
    const std::string bak = kBackups + "sets.bak";
    insertRows("Xarc", 1, 10);
    run("BACKUP DATABASE Xarc TO DISK='" + bak + "'");
    insertRows("Xarc", 11, 25);
    auto second =
        run("BACKUP DATABASE Xarc TO DISK='" + bak + "' WITH NOINIT, NAME = 'second', STATS = 10");
    ASSERT_TRUE(second.errorNumbers().empty()) << second.firstErrorText();
    EXPECT_NE(Narrow(second.messages[0].text).find("on file 2."), std::string::npos);
    insertRows("Xarc", 26, 30);

    // Without FILE the first set.
    auto first = run("RESTORE DATABASE Xarc FROM DISK='" + bak + "' WITH REPLACE");
    ASSERT_TRUE(first.errorNumbers().empty()) << first.firstErrorText();
    EXPECT_EQ(rowCount("Xarc"), 10);
    auto two =
        run("RESTORE DATABASE Xarc FROM DISK='" + bak + "' WITH FILE = 2, RECOVERY, REPLACE");
    ASSERT_TRUE(two.errorNumbers().empty()) << two.firstErrorText();
    EXPECT_NE(Narrow(two.messages[0].text).find("on file 2."), std::string::npos);
    EXPECT_EQ(rowCount("Xarc"), 25);

    // A file keeps its identity from one backup to the next; data and log differ.
    auto list1 = run("RESTORE FILELISTONLY FROM DISK='" + bak + "' WITH FILE = 1");
    auto list2 = run("RESTORE FILELISTONLY FROM DISK='" + bak + "' WITH FILE = 2");
    const int id = list1.results.at(0).column("UniqueId");
    ASSERT_GE(id, 0);
    EXPECT_EQ(list1.results[0].columns[size_t(id)].type, SqlType::UniqueIdentifier);
    const Value dataId = list1.results[0].rows.at(0)[size_t(id)];
    ASSERT_TRUE(std::holds_alternative<Bytes>(dataId));
    EXPECT_EQ(std::get<Bytes>(dataId).size(), 16u);
    EXPECT_EQ(list2.results.at(0).rows.at(0)[size_t(id)], dataId);
    EXPECT_NE(list1.results[0].rows.at(1)[size_t(id)], dataId);
    auto three = run("RESTORE DATABASE Xarc FROM DISK='" + bak + "' WITH FILE = 3");
    EXPECT_EQ(three.errorNumbers(), (std::vector<int32_t>{4038, 3013}));
    EXPECT_EQ(three.firstErrorText(), "Cannot find file ID 3 on device '" + bak + "'.");

    // INIT starts the media over.
    run("BACKUP DATABASE Xarc TO DISK='" + bak + "' WITH INIT");
    EXPECT_EQ(run("RESTORE FILELISTONLY FROM DISK='" + bak + "' WITH FILE = 2").errorNumbers(),
              (std::vector<int32_t>{4038, 3013}));
}

TEST_F(ServerBackup, TailOfTheLogGuardsRestoreOverTheSameDatabase)
{
    const std::string bak = kBackups + "tail.bak";
    insertRows("Xarc", 1, 4);
    // A copy-only backup leaves the log chain as it was: none yet, so nothing to lose.
    ASSERT_TRUE(
        run("BACKUP DATABASE Xarc TO DISK='" + bak + "' WITH COPY_ONLY").errorNumbers().empty());
    insertRows("Xarc", 5, 6);
    auto unchained = run("RESTORE DATABASE Xarc FROM DISK='" + bak + "'");
    EXPECT_TRUE(unchained.errorNumbers().empty()) << unchained.firstErrorText();
    EXPECT_EQ(rowCount("Xarc"), 4);

    // A restored database continues its backup's chain, as does one fully backed up.
    for (const std::string& before :
         {std::string(), "BACKUP DATABASE Xarc TO DISK='" + bak + "'"}) {
        if (!before.empty())
            run(before);
        auto refused = run("RESTORE DATABASE Xarc FROM DISK='" + bak + "'");
        EXPECT_EQ(refused.errorNumbers(), (std::vector<int32_t>{3159, 3013})) << before;
        EXPECT_EQ(refused.firstErrorText(),
                  "The tail of the log for the database \"Xarc\" has not been backed up. Use "
                  "BACKUP LOG WITH NORECOVERY "
                  "to backup the log if it contains work you do not want to lose. Use the WITH "
                  "REPLACE or WITH STOPAT "
                  "clause of the RESTORE statement to just overwrite the contents of the log.");
    }
    // Kept across a restart of the server.
    catalog.reset();
    ServerFixture::SetUp();
    EXPECT_EQ(run("RESTORE DATABASE Xarc FROM DISK='" + bak + "'").errorNumbers(),
              (std::vector<int32_t>{3159, 3013}));
    EXPECT_TRUE(
        run("RESTORE DATABASE Xarc FROM DISK='" + bak + "' WITH REPLACE").errorNumbers().empty());
    EXPECT_TRUE(run("DROP DATABASE Xarc").errorNumbers().empty());
    EXPECT_TRUE(run("RESTORE DATABASE Xarc FROM DISK='" + bak + "'").errorNumbers().empty())
        << "a new database again";
}

TEST_F(ServerBackup, ReplaceRestoresOverAnotherDatabase)
{
    insertRows("Xarc", 1, 7);
    create("Other");
    insertRows("Other", 1, 3);
    run("BACKUP DATABASE Xarc TO DISK='" + kBackups + "x.bak'");
    const fs::path otherFile = dataFile("Other");
    std::vector<fs::path> released;
    catalog->setFileReleaser([&](const fs::path& p) { released.push_back(p); });

    auto refused = run(restoreStatement("Other", kBackups + "x.bak", "Xarc_Dat", "Xarc_Log"));
    EXPECT_EQ(refused.errorNumbers(), (std::vector<int32_t>{3154, 3013}));
    EXPECT_EQ(
        refused.firstErrorText(),
        "The backup set holds a backup of a database other than the existing 'Other' database.");
    EXPECT_EQ(rowCount("Other"), 3) << "nothing changed";
    EXPECT_TRUE(released.empty());

    auto replaced =
        run(restoreStatement("Other", kBackups + "x.bak", "Xarc_Dat", "Xarc_Log") + ", REPLACE");
    ASSERT_TRUE(replaced.errorNumbers().empty()) << replaced.firstErrorText();
    EXPECT_EQ(released, std::vector<fs::path>{otherFile});
    EXPECT_EQ(rowCount("Other"), 7);
    EXPECT_EQ(catalog->find(u"Other")->dbid, 6) << "the database keeps its id";
}

TEST_F(ServerBackup, RestoreAndBackupErrors)
{
    insertRows("Xarc", 1, 2);
    create("Other");
    const std::string bak = kBackups + "e.bak";
    run("BACKUP DATABASE Xarc TO DISK='" + bak + "'");
    std::ofstream(dataDir() / "C" / "Backups" / "notes.txt") << "not a backup";
    std::ofstream(dataDir() / "C" / "Lumeno SQL Database" / "Strangerdat.mdf") << "keep me";
    auto inUse = catalog->use(u"Other");

    struct Case {
        std::string statement;
        std::vector<int32_t> errors;
        std::string firstText;
    } cases[] = {
        {"RESTORE DATABASE Xarc FROM DISK='" + kBackups + "none.bak'",
         {3201, 3013},
         "Cannot open backup device 'C:\\Backups\\none.bak'. Operating system error 2(The system "
         "cannot find the file specified.)."},
        {"RESTORE FILELISTONLY FROM DISK='C:\\Nowhere\\x.bak'",
         {3201, 3013},
         "Cannot open backup device 'C:\\Nowhere\\x.bak'. Operating system error 3(The system "
         "cannot find the path specified.)."},
        {"RESTORE FILELISTONLY FROM DISK='" + kBackups + "notes.txt'",
         {3241, 3013},
         "The media family on device 'C:\\Backups\\notes.txt' is incorrectly formed. SQL Server "
         "cannot process this media family."},
        {"RESTORE DATABASE Xarc FROM DISK='" + bak + "' WITH MOVE 'Wrong_Dat' TO 'C:\\x.mdf'",
         {3234, 3013},
         "Logical file 'Wrong_Dat' is not part of database 'Xarc'. Use RESTORE FILELISTONLY to "
         "list the logical file names."},
        {"RESTORE DATABASE Other FROM DISK='" + bak + "' WITH REPLACE",
         {3101, 3013},
         "Exclusive access could not be obtained because the database is in use."},
        {"RESTORE DATABASE Fresh FROM DISK='" + bak + "'",
         {1834, 3156, 1834, 3156, 3119, 3013},
         "The file 'C:\\Lumeno SQL Database\\Xarcdat.mdf' cannot be overwritten. It is being used "
         "by database 'Xarc'."},
        {restoreStatement("Stranger", bak, "Xarc_Dat", "Xarc_Log"),
         {3142, 3119, 3013},
         "File \"Xarc_Dat\" cannot be restored over the existing \"C:\\Lumeno SQL "
         "Database\\Strangerdat.mdf\". Reissue the "
         "RESTORE statement using WITH REPLACE to overwrite pre-existing files, or WITH MOVE to "
         "identify an alternate location."},
        {"RESTORE DATABASE Fresh FROM DISK='" + bak +
             "' WITH MOVE 'Xarc_Dat' TO 'C:\\No Dir\\f.mdf', MOVE 'Xarc_Log' TO '" + kDirectory +
             "f.ldf'",
         {5133, 3156, 3119, 3013},
         "Directory lookup for the file \"C:\\No Dir\\f.mdf\" failed with the operating system "
         "error 3(The system cannot "
         "find the path specified.)."},
        {"RESTORE DATABASE Xarc FROM DISK='" + bak + "' WITH NORECOVERY",
         {3032, 3013},
         "One or more of the options (NORECOVERY) are not supported for this statement. Review the "
         "documentation for "
         "supported options."},
        {"RESTORE DATABASE master FROM DISK='" + bak + "' WITH REPLACE", {3108, 3013}, ""},
        {"BACKUP DATABASE Nothing TO DISK='" + kBackups + "n.bak'",
         {911, 3013},
         "Database 'Nothing' does not exist. Make sure that the name is entered correctly."},
        {"BACKUP DATABASE Xarc TO DISK='C:\\Nowhere\\x.bak'",
         {3201, 3013},
         "Cannot open backup device 'C:\\Nowhere\\x.bak'. Operating system error 3(The system "
         "cannot find the path specified.)."},
        {"BACKUP DATABASE Xarc TO DISK='C:\\Backups\\..\\..\\..\\..\\tmp\\x.bak'",
         {3201, 3013},
         ""},
        {"BACKUP DATABASE tempdb TO DISK='" + kBackups + "t.bak'",
         {3147, 3013},
         "Backup and restore operations are not allowed on database tempdb."},
        {"BACKUP DATABASE Xarc TO DISK='" + kBackups + "notes.txt'", {3241, 3013}, ""},
        {"BACKUP DATABASE Xarc TO DISK='" + kDirectory + "Otherdat.mdf'",
         {3201, 3013},
         "Cannot open backup device 'C:\\Lumeno SQL Database\\Otherdat.mdf'. Operating system "
         "error 32(The process cannot "
         "access the file because it is being used by another process.)."},
        {"BACKUP LOG Xarc TO DISK='" + kBackups + "l.bak'",
         {50000},
         "BACKUP LOG is not supported by this server."},
        {"BACKUP DATABASE Xarc TO DISK='" + kBackups + "a.bak', DISK='" + kBackups + "b.bak'",
         {50000},
         ""},
        {"BACKUP DATABASE Xarc TO DISK=", {102}, "Incorrect syntax near '='."},
    };
    for (const auto& c : cases) {
        auto sink = run(c.statement);
        EXPECT_EQ(sink.errorNumbers(), c.errors) << c.statement << "\n" << sink.firstErrorText();
        if (!c.firstText.empty()) {
            EXPECT_EQ(sink.firstErrorText(), c.firstText) << c.statement;
        }
        ASSERT_FALSE(sink.dones.empty());
        EXPECT_TRUE(sink.dones.back().error) << c.statement;
        if (c.errors.back() == 3013) {
            const std::string last = Narrow(sink.messages.back().text);
            EXPECT_TRUE(last == "RESTORE DATABASE is terminating abnormally." ||
                        last == "BACKUP DATABASE is terminating abnormally." ||
                        last == "RESTORE FILELIST is terminating abnormally.")
                << last;
        }
    }
    // The refusals touched nothing.
    EXPECT_EQ(std::ifstream(dataDir() / "C" / "Backups" / "notes.txt").get(), 'n');
    EXPECT_EQ(std::ifstream(dataDir() / "C" / "Lumeno SQL Database" / "Strangerdat.mdf").get(),
              'k');
    EXPECT_FALSE(catalog->find(u"Fresh"));
    EXPECT_FALSE(fs::exists("/tmp/x.bak"));
    inUse.reset();
    EXPECT_EQ(rowCount("Xarc"), 2);
    {
        SqliteFile other(dataFile("Other"));
        EXPECT_EQ(other.text("PRAGMA integrity_check"), "ok")
            << "a backup never lands on a database file";
    }

    // The session's own database.
    ServerContext inXarc = sa;
    inXarc.currentDatabase = u"xarc";
    auto self = catalog->use(u"Xarc");
    auto own = run("RESTORE DATABASE Xarc FROM DISK='" + bak + "'", &inXarc);
    EXPECT_EQ(own.errorNumbers(), (std::vector<int32_t>{3102, 3013}));
    self.reset();

    ServerContext inTransaction = sa;
    inTransaction.inTransaction = true;
    EXPECT_EQ(run("BACKUP DATABASE Xarc TO DISK='" + bak + "'", &inTransaction).errorNumbers(),
              (std::vector<int32_t>{3021, 3013}));
    EXPECT_EQ(run("RESTORE DATABASE Xarc FROM DISK='" + bak + "'", &inTransaction).errorNumbers(),
              (std::vector<int32_t>{3021, 3013}));
}

TEST_F(ServerBackup, FileWithoutFolderGoesToTheDefaultBackupFolder)
{
    insertRows("Xarc", 1, 4);
    ASSERT_TRUE(run("BACKUP DATABASE Xarc TO DISK = N'plain.bak'").errorNumbers().empty());
    EXPECT_TRUE(
        fs::exists(*catalog->mapPath(u"C:\\Program Files\\Microsoft SQL "
                                     u"Server\\MSSQL15.MSSQLSERVER\\MSSQL\\Backup\\plain.bak")));
    EXPECT_EQ(run("RESTORE FILELISTONLY FROM DISK = 'plain.bak'").results.at(0).rows.size(), 2u);
}

TEST_F(ServerBackup, TornTailAndDamagedSets)
{
    const std::string bak = kBackups + "torn.bak";
    const fs::path host = *catalog->mapPath(Wide(bak));
    insertRows("Xarc", 1, 5);
    run("BACKUP DATABASE Xarc TO DISK='" + bak + "'");
    insertRows("Xarc", 6, 8);
    run("BACKUP DATABASE Xarc TO DISK='" + bak + "'");
    const auto whole = fs::file_size(host);

    // A crash in the middle of a third append leaves a partial set behind.
    {
        std::ofstream out(host, std::ios::binary | std::ios::app);
        out << "SSBKSET1" << std::string(300, '\x07');
    }
    EXPECT_EQ(run("RESTORE FILELISTONLY FROM DISK='" + bak + "' WITH FILE = 2").results.size(), 1u);
    EXPECT_EQ(run("RESTORE FILELISTONLY FROM DISK='" + bak + "' WITH FILE = 3").errorNumbers(),
              (std::vector<int32_t>{4038, 3013}));
    insertRows("Xarc", 9, 9);
    auto third = run("BACKUP DATABASE Xarc TO DISK='" + bak + "'");
    EXPECT_NE(Narrow(third.messages.at(0).text).find("on file 3."), std::string::npos);
    EXPECT_GT(fs::file_size(host), whole);
    ASSERT_TRUE(run("RESTORE DATABASE Xarc FROM DISK='" + bak + "' WITH FILE = 3, REPLACE")
                    .errorNumbers()
                    .empty());
    EXPECT_EQ(rowCount("Xarc"), 9);

    // A flipped byte inside set 1 is caught by its checksum and the database stays as it was.
    {
        std::fstream io(host, std::ios::binary | std::ios::in | std::ios::out);
        io.seekp(600);
        const char bad = '\x5A';
        io.write(&bad, 1);
    }
    auto damaged = run("RESTORE DATABASE Xarc FROM DISK='" + bak + "' WITH REPLACE");
    EXPECT_EQ(damaged.errorNumbers(), (std::vector<int32_t>{3189, 3013}));
    auto verifyDamaged = run("RESTORE VERIFYONLY FROM DISK='" + bak + "'");
    EXPECT_EQ(verifyDamaged.errorNumbers(), (std::vector<int32_t>{3189, 3013}));
    EXPECT_EQ(Narrow(verifyDamaged.messages.back().text),
              "VERIFY DATABASE is terminating abnormally.");
    auto verifyWhole = run("RESTORE VERIFYONLY FROM DISK='" + bak + "' WITH FILE = 3");
    ASSERT_EQ(verifyWhole.messageNumbers(), std::vector<int32_t>{3262});
    EXPECT_EQ(Narrow(verifyWhole.messages[0].text), "The backup set on file 3 is valid.");
    EXPECT_EQ(rowCount("Xarc"), 9);
    EXPECT_TRUE(catalog->use(u"Xarc"));
}

TEST_F(ServerBackup, HeaderOnlyListsEverySetWithSqlServersColumns)
{
    const std::string bak = kBackups + "headers.bak";
    create("Other");
    insertRows("Xarc", 1, 3);
    ASSERT_TRUE(run("BACKUP DATABASE Xarc TO DISK='" + bak + "' WITH NAME = 'evening'")
                    .errorNumbers()
                    .empty());
    ASSERT_TRUE(run("BACKUP DATABASE Xarc TO DISK='" + bak + "' WITH COPY_ONLY, CHECKSUM")
                    .errorNumbers()
                    .empty());
    insertRows("Other", 1, 1);
    ASSERT_TRUE(run("BACKUP DATABASE Other TO DISK='" + bak + "'").errorNumbers().empty());

    auto sink = run("RESTORE HEADERONLY FROM DISK='" + bak + "'");
    ASSERT_EQ(sink.results.size(), 1u) << sink.firstErrorText();
    const ResultSetCopy& sets = sink.results[0];
    struct Column {
        const char* name;
        SqlType type;
        uint8_t precision;
    };
    const Column expected[] = {
        {"BackupName", SqlType::NVarChar, 0},
        {"BackupDescription", SqlType::NVarChar, 0},
        {"BackupType", SqlType::SmallInt, 0},
        {"ExpirationDate", SqlType::DateTime, 0},
        {"Compressed", SqlType::Bit, 0},
        {"Position", SqlType::SmallInt, 0},
        {"DeviceType", SqlType::TinyInt, 0},
        {"UserName", SqlType::NVarChar, 0},
        {"ServerName", SqlType::NVarChar, 0},
        {"DatabaseName", SqlType::NVarChar, 0},
        {"DatabaseVersion", SqlType::Int, 0},
        {"DatabaseCreationDate", SqlType::DateTime, 0},
        {"BackupSize", SqlType::Decimal, 20},
        {"FirstLSN", SqlType::Decimal, 25},
        {"LastLSN", SqlType::Decimal, 25},
        {"CheckpointLSN", SqlType::Decimal, 25},
        {"DatabaseBackupLSN", SqlType::Decimal, 25},
        {"BackupStartDate", SqlType::DateTime, 0},
        {"BackupFinishDate", SqlType::DateTime, 0},
        {"SortOrder", SqlType::SmallInt, 0},
        {"CodePage", SqlType::SmallInt, 0},
        {"UnicodeLocaleId", SqlType::Int, 0},
        {"UnicodeComparisonStyle", SqlType::Int, 0},
        {"CompatibilityLevel", SqlType::TinyInt, 0},
        {"SoftwareVendorId", SqlType::Int, 0},
        {"SoftwareVersionMajor", SqlType::Int, 0},
        {"SoftwareVersionMinor", SqlType::Int, 0},
        {"SoftwareVersionBuild", SqlType::Int, 0},
        {"MachineName", SqlType::NVarChar, 0},
        {"Flags", SqlType::Int, 0},
        {"BindingID", SqlType::UniqueIdentifier, 0},
        {"RecoveryForkID", SqlType::UniqueIdentifier, 0},
        {"Collation", SqlType::NVarChar, 0},
        {"FamilyGUID", SqlType::UniqueIdentifier, 0},
        {"HasBulkLoggedData", SqlType::Bit, 0},
        {"IsSnapshot", SqlType::Bit, 0},
        {"IsReadOnly", SqlType::Bit, 0},
        {"IsSingleUser", SqlType::Bit, 0},
        {"HasBackupChecksums", SqlType::Bit, 0},
        {"IsDamaged", SqlType::Bit, 0},
        {"BeginsLogChain", SqlType::Bit, 0},
        {"HasIncompleteMetaData", SqlType::Bit, 0},
        {"IsForceOffline", SqlType::Bit, 0},
        {"IsCopyOnly", SqlType::Bit, 0},
        {"FirstRecoveryForkID", SqlType::UniqueIdentifier, 0},
        {"ForkPointLSN", SqlType::Decimal, 25},
        {"RecoveryModel", SqlType::NVarChar, 0},
        {"DifferentialBaseLSN", SqlType::Decimal, 25},
        {"DifferentialBaseGUID", SqlType::UniqueIdentifier, 0},
        {"BackupTypeDescription", SqlType::NVarChar, 0},
        {"BackupSetGUID", SqlType::UniqueIdentifier, 0},
        {"CompressedBackupSize", SqlType::BigInt, 0},
        {"Containment", SqlType::TinyInt, 0},
        {"KeyAlgorithm", SqlType::NVarChar, 0},
        {"EncryptorThumbprint", SqlType::VarBinary, 0},
        {"EncryptorType", SqlType::NVarChar, 0},
    };
    ASSERT_EQ(sets.columns.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(Narrow(sets.columns[i].name), expected[i].name) << i;
        EXPECT_EQ(sets.columns[i].type, expected[i].type) << expected[i].name;
        if (expected[i].type == SqlType::Decimal) {
            EXPECT_EQ(sets.columns[i].precision, expected[i].precision) << expected[i].name;
            EXPECT_EQ(sets.columns[i].scale, 0) << expected[i].name;
        }
    }

    ASSERT_EQ(sets.rows.size(), 3u);
    auto value = [&](size_t row, const char* name) {
        return sets.rows[row][size_t(sets.column(name))];
    };
    for (size_t row = 0; row < 3; ++row) {
        EXPECT_EQ(sets.text(row, "Position"), std::to_string(row + 1));
        EXPECT_EQ(sets.text(row, "BackupType"), "1");
        EXPECT_EQ(sets.text(row, "BackupTypeDescription"), "Database");
        EXPECT_EQ(sets.text(row, "UserName"), "sa");
        EXPECT_EQ(sets.text(row, "RecoveryModel"), "FULL");
        EXPECT_EQ(sets.text(row, "IsDamaged"), "0");
        EXPECT_EQ(value(row, "BackupSize"), value(row, "CompressedBackupSize"));
        EXPECT_GT(std::get<int64_t>(value(row, "BackupSize")), 8192);
        ASSERT_TRUE(std::holds_alternative<DateTimeValue>(value(row, "BackupStartDate")));
        ASSERT_TRUE(std::holds_alternative<Bytes>(value(row, "BackupSetGUID")));
        EXPECT_EQ(std::get<Bytes>(value(row, "BackupSetGUID")).size(), 16u);
    }
    EXPECT_EQ(sets.text(0, "DatabaseName"), "Xarc");
    EXPECT_EQ(sets.text(2, "DatabaseName"), "Other");
    EXPECT_EQ(sets.text(0, "BackupName"), "evening");
    EXPECT_EQ(sets.text(1, "BackupName"), "NULL");
    EXPECT_EQ(sets.text(0, "IsCopyOnly"), "0");
    EXPECT_EQ(sets.text(1, "IsCopyOnly"), "1");
    EXPECT_EQ(sets.text(0, "HasBackupChecksums"), "0");
    EXPECT_EQ(sets.text(1, "HasBackupChecksums"), "1");
    EXPECT_EQ(sets.text(1, "Flags"), "16");
    EXPECT_NE(value(0, "BackupSetGUID"), value(1, "BackupSetGUID"));
    EXPECT_EQ(value(0, "FamilyGUID"), value(1, "FamilyGUID")) << "one database";
    EXPECT_NE(value(0, "FamilyGUID"), value(2, "FamilyGUID"));
    // Later sets carry later dates and log sequence numbers.
    auto ticks = [&](size_t row, const char* name) {
        const auto d = std::get<DateTimeValue>(value(row, name));
        return int64_t(d.days) * 25920000 + d.ticks;
    };
    for (size_t row = 0; row < 3; ++row) {
        EXPECT_LE(ticks(row, "BackupStartDate"), ticks(row, "BackupFinishDate"));
        EXPECT_LT(std::get<int64_t>(value(row, "FirstLSN")),
                  std::get<int64_t>(value(row, "LastLSN")));
        if (row > 0) {
            EXPECT_LE(ticks(row - 1, "BackupStartDate"), ticks(row, "BackupStartDate"));
            EXPECT_LE(std::get<int64_t>(value(row - 1, "LastLSN")),
                      std::get<int64_t>(value(row, "FirstLSN")));
        }
    }

    auto second = run("RESTORE HEADERONLY FROM DISK='" + bak + "' WITH FILE = 2");
    ASSERT_EQ(second.results.size(), 1u);
    ASSERT_EQ(second.results[0].rows.size(), 1u);
    EXPECT_EQ(second.results[0].rows[0], sets.rows[1]);
}

TEST_F(ServerBackup, FileSelectsTheSetAndAMissingSetIsRefusedByEveryStatement)
{
    const std::string bak = kBackups + "two.bak";
    insertRows("Xarc", 1, 2);
    run("BACKUP DATABASE Xarc TO DISK='" + bak + "'");
    insertRows("Xarc", 3, 7);
    run("BACKUP DATABASE Xarc TO DISK='" + bak + "'");

    auto verified = run("RESTORE VERIFYONLY FROM DISK='" + bak + "' WITH FILE = 2");
    ASSERT_EQ(verified.messageNumbers(), std::vector<int32_t>{3262});
    EXPECT_EQ(Narrow(verified.messages[0].text), "The backup set on file 2 is valid.");
    auto restored = run(restoreStatement("Second", bak, "Xarc_Dat", "Xarc_Log") + ", FILE = 2");
    ASSERT_TRUE(restored.errorNumbers().empty()) << restored.firstErrorText();
    EXPECT_EQ(rowCount("Second"), 7);

    const struct {
        std::string statement;
        std::string terminating;
    } cases[] = {
        {"RESTORE HEADERONLY FROM DISK='" + bak + "' WITH FILE = 3",
         "RESTORE HEADERONLY is terminating abnormally."},
        {"RESTORE FILELISTONLY FROM DISK='" + bak + "' WITH FILE = 3",
         "RESTORE FILELIST is terminating abnormally."},
        {"RESTORE VERIFYONLY FROM DISK='" + bak + "' WITH FILE = 3",
         "VERIFY DATABASE is terminating abnormally."},
        {restoreStatement("Third", bak, "Xarc_Dat", "Xarc_Log") + ", FILE = 3",
         "RESTORE DATABASE is terminating abnormally."},
    };
    for (const auto& c : cases) {
        auto sink = run(c.statement);
        EXPECT_EQ(sink.errorNumbers(), (std::vector<int32_t>{4038, 3013})) << c.statement;
        EXPECT_EQ(sink.firstErrorText(), "Cannot find file ID 3 on device '" + bak + "'.");
        EXPECT_EQ(Narrow(sink.messages.back().text), c.terminating);
        EXPECT_TRUE(sink.results.empty());
    }
    EXPECT_FALSE(catalog->find(u"Third"));
    EXPECT_EQ(run("RESTORE HEADERONLY FROM DISK='" + kBackups + "none.bak'").errorNumbers(),
              (std::vector<int32_t>{3201, 3013}));
    std::ofstream(dataDir() / "C" / "Backups" / "notes.txt") << "not a backup";
    EXPECT_EQ(run("RESTORE HEADERONLY FROM DISK='" + kBackups + "notes.txt'").errorNumbers(),
              (std::vector<int32_t>{3241, 3013}));

    // Bytes changed inside the last set: it no longer verifies or restores, the first still does.
    const fs::path host = *catalog->mapPath(Wide(bak));
    {
        std::fstream io(host, std::ios::binary | std::ios::in | std::ios::out);
        io.seekp(std::streamoff(fs::file_size(host) - 4096));
        const char bad[4] = {'\x5A', '\x5A', '\x5A', '\x5A'};
        io.write(bad, 4);
    }
    EXPECT_EQ(run("RESTORE HEADERONLY FROM DISK='" + bak + "'").results.at(0).rows.size(), 2u);
    EXPECT_EQ(run("RESTORE VERIFYONLY FROM DISK='" + bak + "' WITH FILE = 2").errorNumbers(),
              (std::vector<int32_t>{3189, 3013}));
    EXPECT_EQ(run(restoreStatement("Second", bak, "Xarc_Dat", "Xarc_Log") + ", FILE = 2, REPLACE")
                  .errorNumbers(),
              (std::vector<int32_t>{3189, 3013}));
    EXPECT_EQ(rowCount("Second"), 7) << "a failed restore leaves the database as it was";
    EXPECT_EQ(run("RESTORE VERIFYONLY FROM DISK='" + bak + "' WITH FILE = 1").messageNumbers(),
              std::vector<int32_t>{3262});
}

TEST_F(ServerBackup, MediaWhoseOnlySetWasTornHoldsNoSets)
{
    const std::string bak = kBackups + "torn-first.bak";
    const fs::path host = *catalog->mapPath(Wide(bak));
    insertRows("Xarc", 1, 4);
    run("BACKUP DATABASE Xarc TO DISK='" + bak + "'");
    fs::resize_file(host, fs::file_size(host) / 2);

    auto headers = run("RESTORE HEADERONLY FROM DISK='" + bak + "'");
    EXPECT_TRUE(headers.errorNumbers().empty()) << headers.firstErrorText();
    ASSERT_EQ(headers.results.size(), 1u);
    EXPECT_TRUE(headers.results[0].rows.empty());
    EXPECT_EQ(run("RESTORE FILELISTONLY FROM DISK='" + bak + "' ").errorNumbers(),
              (std::vector<int32_t>{4038, 3013}));

    auto again = run("BACKUP DATABASE Xarc TO DISK='" + bak + "'");
    ASSERT_TRUE(again.errorNumbers().empty()) << again.firstErrorText();
    EXPECT_NE(Narrow(again.messages.at(0).text).find("on file 1."), std::string::npos);
    EXPECT_EQ(run("RESTORE HEADERONLY FROM DISK='" + bak + "'").results.at(0).rows.size(), 1u);
    EXPECT_EQ(run("RESTORE VERIFYONLY FROM DISK='" + bak + "'").messageNumbers(),
              std::vector<int32_t>{3262});
}

// Media written before sets recorded who took them, where and when they finished.
TEST_F(ServerBackup, SetsOfTheEarlierFormatAreListedAndRestored)
{
    insertRows("Xarc", 1, 6);
    const fs::path source = dataFile("Xarc");
    SqliteFile(source).exec("PRAGMA wal_checkpoint(TRUNCATE)");
    std::string data;
    {
        std::ifstream in(source, std::ios::binary);
        data.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_FALSE(data.empty());

    std::string header;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            header.push_back(char(v >> (8 * i)));
    };
    auto u64 = [&](uint64_t v) {
        for (int i = 0; i < 8; ++i)
            header.push_back(char(v >> (8 * i)));
    };
    auto text = [&](const std::string& s) {
        u32(uint32_t(s.size()));
        for (char c : s) {
            header.push_back(c);
            header.push_back('\0');
        }
    };
    u32(1);
    for (const std::string& s :
         {std::string("Xarc"), std::string("Xarc_Dat"), kDirectory + "Xarcdat.mdf",
          std::string("Xarc_Log"), kDirectory + "Xarclog.ldf", std::string("old"), std::string()})
        text(s);
    u32(46000); // 1 December 2025
    u32(300 * 3600);
    u32(45000);
    u32(0);
    u64(data.size());
    u64(0);

    uint32_t crc = 0xFFFFFFFFu;
    for (const std::string* part : {&header, &data})
        for (char c : *part) {
            crc ^= uint8_t(c);
            for (int k = 0; k < 8; ++k)
                crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
    crc = ~crc;
    std::string media = "SSBKSET1";
    for (int i = 0; i < 4; ++i)
        media.push_back(char(uint32_t(header.size()) >> (8 * i)));
    media += header + data + "SSBKEND1";
    for (int i = 0; i < 4; ++i)
        media.push_back(char(crc >> (8 * i)));
    const std::string bak = kBackups + "old.bak";
    std::ofstream(*catalog->mapPath(Wide(bak)), std::ios::binary) << media;

    auto headers = run("RESTORE HEADERONLY FROM DISK='" + bak + "'");
    ASSERT_EQ(headers.results.size(), 1u) << headers.firstErrorText();
    ASSERT_EQ(headers.results[0].rows.size(), 1u);
    const ResultSetCopy& set = headers.results[0];
    EXPECT_EQ(set.text(0, "BackupName"), "old");
    EXPECT_EQ(set.text(0, "UserName"), "NULL");
    const Value started = set.rows[0][size_t(set.column("BackupStartDate"))];
    EXPECT_EQ(started, Value(DateTimeValue{46000, 300 * 3600}));
    EXPECT_EQ(set.rows[0][size_t(set.column("BackupFinishDate"))], started);
    EXPECT_EQ(std::get<Bytes>(set.rows[0][size_t(set.column("BackupSetGUID"))]).size(), 16u);

    auto restored = run(restoreStatement("Old", bak, "Xarc_Dat", "Xarc_Log"));
    ASSERT_TRUE(restored.errorNumbers().empty()) << restored.firstErrorText();
    EXPECT_EQ(rowCount("Old"), 6);
    // A new set goes after the old one.
    ASSERT_TRUE(run("BACKUP DATABASE Old TO DISK='" + bak + "'").errorNumbers().empty());
    EXPECT_EQ(run("RESTORE HEADERONLY FROM DISK='" + bak + "'").results.at(0).rows.size(), 2u);
}

TEST_F(ServerBackup, BackupsTakenWhileAnotherConnectionWritesAreConsistent)
{
    insertRows("Xarc", 0, 0);
    const fs::path file = dataFile("Xarc");
    std::atomic<bool> stop{false};
    std::atomic<int> committed{0};
    std::thread writer([&] {
        SqliteFile db(file);
        db.exec("PRAGMA journal_mode=WAL");
        for (int i = 1; !stop; ++i) {
            // Two rows per transaction: a torn copy would show an odd count.
            db.exec("BEGIN; INSERT INTO T_Patient VALUES (" + std::to_string(2 * i) +
                    ", 'a'); INSERT INTO T_Patient VALUES (" + std::to_string(2 * i + 1) +
                    ", 'b'); COMMIT;");
            ++committed;
        }
    });
    const std::string bak = kBackups + "live.bak";
    const int copies = 4;
    for (int i = 0; i < copies; ++i) {
        while (committed < (i + 1) * 20)
            std::this_thread::yield();
        auto sink = run("BACKUP DATABASE Xarc TO DISK='" + bak + "'");
        ASSERT_TRUE(sink.errorNumbers().empty()) << sink.firstErrorText();
    }
    stop = true;
    writer.join();

    int64_t previous = 0;
    for (int k = 1; k <= copies; ++k) {
        const std::string name = "Live" + std::to_string(k);
        auto sink = run(restoreStatement(name, bak, "Xarc_Dat", "Xarc_Log") +
                        ", FILE = " + std::to_string(k));
        ASSERT_TRUE(sink.errorNumbers().empty()) << sink.firstErrorText();
        const int64_t rows = rowCount(name);
        EXPECT_EQ(rows % 2, 1) << "row 0 plus whole pairs only";
        EXPECT_GE(rows, previous);
        EXPECT_GE(rows, 1 + 2 * 20 * k);
        previous = rows;
    }
}

TEST_F(ServerBackup, ConcurrentBackupsToOneMediaKeepEverySet)
{
    insertRows("Xarc", 1, 3);
    create("Other");
    insertRows("Other", 1, 5);
    const std::string bak = kBackups + "shared.bak";
    auto backupMany = [&](const std::string& database) {
        for (int i = 0; i < 10; ++i) {
            CollectingSink sink;
            catalog->tryExecute(Wide("BACKUP DATABASE " + database + " TO DISK='" + bak + "'"), sa,
                                sink);
            EXPECT_TRUE(sink.errorNumbers().empty()) << sink.firstErrorText();
        }
    };
    std::thread a(backupMany, "Xarc"), b(backupMany, "Other");
    a.join();
    b.join();
    int xarcSets = 0;
    for (int k = 1; k <= 20; ++k) {
        auto list =
            run("RESTORE FILELISTONLY FROM DISK='" + bak + "' WITH FILE = " + std::to_string(k));
        ASSERT_EQ(list.results.size(), 1u) << "set " << k << ": " << list.firstErrorText();
        xarcSets += list.results[0].text(0, "LogicalName") == "Xarc_Dat" ? 1 : 0;
    }
    EXPECT_EQ(xarcSets, 10);
    // The last set restores over its own database.
    const bool lastIsXarc = run("RESTORE FILELISTONLY FROM DISK='" + bak + "' WITH FILE = 20")
                                .results.at(0)
                                .text(0, "LogicalName") == "Xarc_Dat";
    const std::string owner = lastIsXarc ? "Xarc" : "Other";
    auto restore =
        run("RESTORE DATABASE " + owner + " FROM DISK='" + bak + "' WITH FILE = 20, REPLACE");
    ASSERT_TRUE(restore.errorNumbers().empty()) << restore.firstErrorText();
    EXPECT_EQ(rowCount(owner), lastIsXarc ? 3 : 5);
}

TEST_F(ServerBackup, NoServerPathReachesTheServersOwnFiles)
{
    auto contents = [](const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const fs::path password = dataDir() / "sa-password";
    const std::string passwordBefore = contents(password);
    ASSERT_FALSE(passwordBefore.empty());
    for (const std::string target :
         {"\\sa-password", "/sa-password", "\\SA-Password", "/server/registry.sqlite",
          "\\Server\\registry.sqlite", "\\server\\tmp\\x.bak", "/sa-password.new"}) {
        auto backup = run("BACKUP DATABASE Xarc TO DISK='" + target + "' WITH FORMAT");
        EXPECT_EQ(backup.errorNumbers(), (std::vector<int32_t>{3201, 3013})) << target;
        auto create = run("CREATE DATABASE Own ON (NAME = Own_Dat, FILENAME = '" + target +
                          "') LOG ON (NAME = Own_Log, FILENAME = 'C:\\Backups\\own.ldf')");
        EXPECT_FALSE(create.errorNumbers().empty()) << target;
        auto restore = run("RESTORE FILELISTONLY FROM DISK='" + target + "'");
        EXPECT_FALSE(restore.errorNumbers().empty()) << target;
    }
    EXPECT_FALSE(catalog->find(u"Own"));
    EXPECT_EQ(contents(password), passwordBefore);
    EXPECT_FALSE(fs::exists(dataDir() / "sa-password.new"));
    EXPECT_FALSE(fs::exists(dataDir() / "server" / "tmp" / "x.bak"));
    // The registry is whole and sa still logs in after a restart.
    Engine::Options options;
    options.dataRoot = dataDir();
    catalog.reset();
    catalog = ServerCatalog::open(options);
    EXPECT_TRUE(catalog->find(u"Xarc"));
    EXPECT_FALSE(catalog->authenticate(u"sa", u"Test-Passw0rd").has_value());

    // Other names at the top of the drive-less namespace remain usable.
    auto elsewhere = run("BACKUP DATABASE Xarc TO DISK='\\xarc.bak' WITH FORMAT");
    EXPECT_TRUE(elsewhere.errorNumbers().empty()) << elsewhere.firstErrorText();
    EXPECT_TRUE(fs::exists(dataDir() / "xarc.bak"));
}

} // namespace
} // namespace standin::server::testing
