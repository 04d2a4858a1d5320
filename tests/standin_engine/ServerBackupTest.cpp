// BACKUP DATABASE, RESTORE FILELISTONLY and RESTORE DATABASE: round trips as the program sends
// them, appended sets and FILE = k, MOVE and REPLACE, the errors, damaged media and copies
// taken while another connection writes.
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

} // namespace
} // namespace standin::server::testing
