// RESTORE DATABASE and the files it may not write: the backup it reads, another database's files,
// the server's own files, a folder, or its other target. Each refusal names the file with SQL
// Server's numbers in SQL Server's order, and leaves every byte under the data root as it was.
#include "ServerTestSupport.h"

#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace standin::server::testing {
namespace {

const std::string kFolder = "C:\\bk\\";
const std::string kBackup = kFolder + "s1.bak";
const std::string kDataDirectory =
    "C:\\Program Files\\Microsoft SQL Server\\MSSQL15.MSSQLSERVER\\MSSQL\\DATA\\";

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// FNV-1a over the file's bytes.
uint64_t digest(const fs::path& file)
{
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : contents(file))
        hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

// Every file under the data root with the digest of its bytes.
std::map<std::string, uint64_t> snapshot(const fs::path& root)
{
    std::map<std::string, uint64_t> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = digest(entry.path());
    return files;
}

std::string planningRefusal(const std::string& osError, const std::string& file)
{
    return "The operating system returned the error '" + osError +
           "' while attempting 'RestoreContainer::ValidateTargetForCreation' on '" + file + "'.";
}

const std::string kSharingViolation =
    "32(The process cannot access the file because it is being used by another process.)";
const std::string kAccessDenied = "5(Access is denied.)";

class RestoreTargets : public ServerFixture {
protected:
    fs::path backupHost;
    uint64_t backupDigest = 0;

    void SetUp() override
    {
        ServerFixture::SetUp();
        makeServerDirectory(kFolder);
        create("Src");
        create("Other");
        fill("Src", 12);
        fill("Other", 3);
        ASSERT_TRUE(run("BACKUP DATABASE Src TO DISK = N'" + kBackup + "' WITH NAME = 'first'")
                        .errorNumbers()
                        .empty());
        fill("Src", 20);
        ASSERT_TRUE(run("BACKUP DATABASE Src TO DISK = N'" + kBackup + "' WITH NAME = 'second'")
                        .errorNumbers()
                        .empty());
        backupHost = *catalog->mapPath(Wide(kBackup));
        backupDigest = digest(backupHost);
    }

    void create(const std::string& name)
    {
        auto sink = run("CREATE DATABASE " + name + " ON (NAME = " + name + "_Dat, FILENAME = '" +
                        kFolder + name + "dat.mdf') LOG ON (NAME = " + name + "_Log, FILENAME = '" +
                        kFolder + name + "log.ldf')");
        ASSERT_TRUE(sink.errorNumbers().empty()) << sink.firstErrorText();
    }

    // Leaves `rows` rows in T_Patient.
    void fill(const std::string& name, int rows)
    {
        SqliteFile file(catalog->find(Wide(name))->dataFile);
        file.exec("CREATE TABLE IF NOT EXISTS T_Patient(id INTEGER PRIMARY KEY, name TEXT)");
        file.exec("DELETE FROM T_Patient");
        for (int i = 1; i <= rows; ++i)
            file.exec("INSERT INTO T_Patient VALUES (" + std::to_string(i) + ", 'patient')");
    }

    int64_t rows(const std::string& name)
    {
        SqliteFile file(catalog->find(Wide(name))->dataFile);
        EXPECT_EQ(file.text("PRAGMA integrity_check"), "ok") << name;
        return file.scalar("SELECT count(*) FROM T_Patient");
    }

    static std::string restore(const std::string& dataTo, const std::string& logTo,
                               const std::string& from = kBackup, bool replace = true)
    {
        return "RESTORE DATABASE New FROM DISK = N'" + from + "' WITH MOVE 'Src_Dat' TO N'" +
               dataTo + "', MOVE 'Src_Log' TO N'" + logTo + "'" + (replace ? ", REPLACE" : "");
    }

    // The backup's sets as HEADERONLY lists them.
    std::vector<std::string> setNames()
    {
        auto sink = run("RESTORE HEADERONLY FROM DISK = N'" + kBackup + "'");
        std::vector<std::string> names;
        if (!sink.results.empty())
            for (size_t row = 0; row < sink.results[0].rows.size(); ++row)
                names.push_back(sink.results[0].text(row, "BackupName"));
        return names;
    }
};

TEST_F(RestoreTargets, EachRefusedTargetNamesTheFileAndChangesNothing)
{
    const std::string otherData = kFolder + "Otherdat.mdf";
    const std::string otherLog = kFolder + "Otherlog.ldf";
    const std::string freeLog = kFolder + "e.ldf";
    const std::string freeData = kFolder + "n.mdf";
    makeServerDirectory(kFolder + "folder\\");
    struct Case {
        std::string statement;
        std::vector<int32_t> errors;
        std::string firstText;
    } cases[] = {
        // The backup being read.
        {restore(kBackup, freeLog),
         {3634, 3156, 3119, 3013},
         planningRefusal(kSharingViolation, kBackup)},
        {restore(freeData, kBackup),
         {3634, 3156, 3119, 3013},
         planningRefusal(kSharingViolation, kBackup)},
        {restore("c:\\BK\\S1.BAK", freeLog, kBackup, false),
         {3634, 3156, 3119, 3013},
         planningRefusal(kSharingViolation, "c:\\BK\\S1.BAK")},
        // Another database's files, its data file's companions with them, in any case.
        {restore(otherData, freeLog),
         {1834, 3156, 3119, 3013},
         "The file '" + otherData +
             "' cannot be overwritten. It is being used by database "
             "'Other'."},
        {restore(freeData, otherLog), {1834, 3156, 3119, 3013}, ""},
        {restore(freeData, kFolder + "OTHERDAT.MDF-wal"),
         {1834, 3156, 3119, 3013},
         "The file 'C:\\bk\\OTHERDAT.MDF-wal' cannot be overwritten. It is being used by "
         "database 'Other'."},
        {restore(otherData, otherLog, kBackup, false), {1834, 3156, 1834, 3156, 3119, 3013}, ""},
        // The server's own files.
        {restore(kDataDirectory + "master.mdf", freeLog),
         {1834, 3156, 3119, 3013},
         "The file '" + kDataDirectory +
             "master.mdf' cannot be overwritten. It is being used by database 'master'."},
        {restore(freeData, kDataDirectory + "mastlog.ldf"), {1834, 3156, 3119, 3013}, ""},
        {restore("\\server\\registry.sqlite", freeLog),
         {3634, 3156, 3119, 3013},
         planningRefusal(kAccessDenied, "\\server\\registry.sqlite")},
        {restore(freeData, "/sa-password"),
         {3634, 3156, 3119, 3013},
         planningRefusal(kAccessDenied, "/sa-password")},
        // A folder is no file.
        {restore(kFolder + "folder", freeLog),
         {3634, 3156, 3119, 3013},
         planningRefusal(kAccessDenied, kFolder + "folder")},
        // Both targets one file, also when spelled differently or when the log would be the
        // data file's write-ahead log.
        {restore(freeData, freeData),
         {3176, 3119, 3013},
         "File 'C:\\bk\\n.mdf' is claimed by 'Src_Dat'(1) and 'Src_Log'(2). The WITH MOVE clause "
         "can be used to relocate one or more files."},
        {restore(freeData, "C:\\BK\\N.MDF"), {3176, 3119, 3013}, ""},
        {restore(freeData, freeData + "-wal"), {3176, 3119, 3013}, ""},
    };
    for (const auto& c : cases) {
        const auto before = snapshot(dataDir());
        auto sink = run(c.statement);
        EXPECT_EQ(sink.errorNumbers(), c.errors) << c.statement << "\n" << sink.firstErrorText();
        if (!c.firstText.empty()) {
            EXPECT_EQ(sink.firstErrorText(), c.firstText) << c.statement;
        }
        ASSERT_FALSE(sink.dones.empty());
        EXPECT_TRUE(sink.dones.back().error) << c.statement;
        EXPECT_EQ(Narrow(sink.messages.back().text), "RESTORE DATABASE is terminating abnormally.");
        EXPECT_EQ(snapshot(dataDir()), before) << c.statement;
        EXPECT_FALSE(catalog->find(u"New")) << c.statement;
        EXPECT_EQ(digest(backupHost), backupDigest) << c.statement;
    }
    // Each file that cannot be written is named in 3156 with its logical name.
    auto both = run(restore(kBackup, kBackup));
    ASSERT_EQ(both.errorNumbers(), (std::vector<int32_t>{3634, 3156, 3634, 3156, 3119, 3013}));
    EXPECT_EQ(Narrow(both.messages[1].text),
              "File 'Src_Dat' cannot be restored to 'C:\\bk\\s1.bak'. Use WITH MOVE to identify a "
              "valid location for the file.");
    EXPECT_EQ(Narrow(both.messages[3].text),
              "File 'Src_Log' cannot be restored to 'C:\\bk\\s1.bak'. Use WITH MOVE to identify a "
              "valid location for the file.");
    EXPECT_EQ(Narrow(both.messages[4].text),
              "Problems were identified while planning for the RESTORE statement. Previous "
              "messages provide details.");

    // Restored over, a database gives up its files but not its data file's write-ahead log.
    auto over =
        run("RESTORE DATABASE Src FROM DISK = N'" + kBackup + "' WITH MOVE 'Src_Dat' TO N'" +
            freeData + "', MOVE 'Src_Log' TO N'" + kFolder + "Srcdat.mdf-wal', REPLACE");
    EXPECT_EQ(over.errorNumbers(), (std::vector<int32_t>{1834, 3156, 3119, 3013}));
    EXPECT_EQ(over.firstErrorText(), "The file 'C:\\bk\\Srcdat.mdf-wal' cannot be overwritten. It "
                                     "is being used by database 'Src'.");

    EXPECT_EQ(setNames(), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(rows("Other"), 3);
    EXPECT_TRUE(catalog->use(u"Other"));
}

TEST_F(RestoreTargets, TheBackupStaysRestorableAfterTheRefusal)
{
    // The statement from the report that used to turn the clinic's backup into a database.
    auto refused = run(restore(kBackup, kFolder + "e.ldf"));
    EXPECT_EQ(refused.errorNumbers(), (std::vector<int32_t>{3634, 3156, 3119, 3013}));
    EXPECT_EQ(digest(backupHost), backupDigest);
    EXPECT_EQ(setNames(), (std::vector<std::string>{"first", "second"}));

    auto restored = run(restore(kFolder + "New.mdf", kFolder + "New.ldf") + ", FILE = 2, RECOVERY");
    ASSERT_EQ(restored.messageNumbers(), (std::vector<int32_t>{4035, 4035, 3014}))
        << restored.firstErrorText();
    EXPECT_EQ(rows("New"), 20);
    EXPECT_EQ(digest(backupHost), backupDigest);
}

TEST_F(RestoreTargets, TheRegistryIsWholeAfterTheServersOwnFilesWereRefused)
{
    const std::string password = contents(dataDir() / "sa-password");
    for (const std::string target : {"\\server\\registry.sqlite", "\\Server\\tmp\\x.mdf",
                                     "\\sa-password", "\\sa-password.new"})
        EXPECT_EQ(run(restore(target, kFolder + "e.ldf")).errorNumbers(),
                  (std::vector<int32_t>{3634, 3156, 3119, 3013}))
            << target;
    EXPECT_EQ(contents(dataDir() / "sa-password"), password);
    Engine::Options options;
    options.dataRoot = dataDir();
    catalog.reset();
    catalog = ServerCatalog::open(options);
    EXPECT_FALSE(catalog->authenticate(u"sa", u"Test-Passw0rd").has_value());
    EXPECT_TRUE(catalog->find(u"Src"));
    EXPECT_FALSE(catalog->find(u"New"));
    EXPECT_EQ(rows("Other"), 3);
}

// The set is first copied where no server path reaches: files named like a copy beside the
// targets, a backup among them, are not touched.
TEST_F(RestoreTargets, NothingBesideTheTargetsIsWritten)
{
    const std::string renamed = kFolder + "x.mdf.restoring";
    ASSERT_TRUE(
        run("BACKUP DATABASE Src TO DISK = N'" + renamed + "' WITH FORMAT").errorNumbers().empty());
    const fs::path renamedHost = *catalog->mapPath(Wide(renamed));
    const uint64_t renamedDigest = digest(renamedHost);
    std::ofstream(*catalog->mapPath(Wide(kFolder + "x.ldf.restoring"))) << "keep me";

    auto restored = run(restore(kFolder + "x.mdf", kFolder + "x.ldf", renamed));
    ASSERT_TRUE(restored.errorNumbers().empty()) << restored.firstErrorText();
    EXPECT_EQ(rows("New"), 20);
    EXPECT_EQ(digest(renamedHost), renamedDigest);
    EXPECT_EQ(contents(*catalog->mapPath(Wide(kFolder + "x.ldf.restoring"))), "keep me");
    EXPECT_TRUE(fs::is_empty(dataDir() / "server" / "tmp"));

    // Over the database it made, into the same files: they are its own.
    fill("New", 2);
    auto again = run(restore(kFolder + "x.mdf", kFolder + "x.ldf", renamed));
    ASSERT_TRUE(again.errorNumbers().empty()) << again.firstErrorText();
    EXPECT_EQ(rows("New"), 20);
}

// A name the file system refuses is found only when the copy is renamed into place: the log
// placed before it goes again, and a database restored over keeps its data.
TEST_F(RestoreTargets, AFailedRenameLeavesNoFileBehind)
{
    const std::string tooLong = kFolder + std::string(300, 'a') + ".mdf";
    auto fresh = run(restore(tooLong, kFolder + "xl.ldf"));
    EXPECT_EQ(fresh.errorNumbers(), (std::vector<int32_t>{3202, 3013}));
    EXPECT_EQ(fresh.firstErrorText().substr(0, 16), "Write on \"C:\\bk\\");
    EXPECT_NE(fresh.firstErrorText().find("\" failed: File name too long"), std::string::npos)
        << fresh.firstErrorText();
    EXPECT_FALSE(fs::exists(*catalog->mapPath(Wide(kFolder + "xl.ldf"))));
    EXPECT_FALSE(catalog->find(u"New"));

    auto over = run("RESTORE DATABASE Src FROM DISK = N'" + kBackup + "' WITH FILE = 1, MOVE " +
                    "'Src_Dat' TO N'" + tooLong + "', MOVE 'Src_Log' TO N'" + kFolder +
                    "Srclog.ldf', REPLACE");
    EXPECT_EQ(over.errorNumbers(), (std::vector<int32_t>{3202, 3013}));
    EXPECT_EQ(rows("Src"), 20);
    EXPECT_TRUE(catalog->use(u"Src")) << "no longer busy";
    EXPECT_TRUE(fs::is_empty(dataDir() / "server" / "tmp"));
    EXPECT_EQ(digest(backupHost), backupDigest);
}

// Whoever asks and whatever state the databases are in, a refusal is a numbered error with
// its text, and the statement ends flagged as failed.
TEST_F(RestoreTargets, EveryRefusalCarriesItsNumberAndText)
{
    auto inUse = catalog->use(u"Other");
    ServerContext stranger = sa;
    stranger.login = u"bob";
    ServerContext inOther = sa;
    inOther.currentDatabase = u"Other";
    ServerContext inTransaction = sa;
    inTransaction.inTransaction = true;
    const std::string from = " FROM DISK = N'" + kBackup + "'";
    const std::string statements[] = {
        "RESTORE DATABASE Src" + from,
        "RESTORE DATABASE Other" + from + " WITH REPLACE",
        "RESTORE DATABASE master" + from + " WITH REPLACE",
        "RESTORE DATABASE tempdb" + from,
        "RESTORE DATABASE model" + from,
        "RESTORE DATABASE [] " + from,
        "RESTORE DATABASE New" + from + " WITH FILE",
        "RESTORE DATABASE New" + from + " WITH FILE = 3",
        "RESTORE DATABASE New" + from + " WITH MOVE '' TO ''",
        "RESTORE DATABASE New" + from + " WITH MOVE 'Src_Dat' TO '', MOVE 'Src_Log' TO ''",
        "RESTORE DATABASE New FROM DISK = N''",
        "RESTORE DATABASE New FROM DISK = N'" + kFolder + "'",
        "RESTORE DATABASE New" + from + " WITH NORECOVERY",
        restore(kBackup, kBackup),
        "RESTORE VERIFYONLY FROM DISK = N'" + kFolder + "Srcdat.mdf'",
    };
    for (ServerContext* context : {&sa, &stranger, &inOther, &inTransaction})
        for (const auto& statement : statements) {
            auto sink = run(statement, context);
            ASSERT_FALSE(sink.dones.empty()) << statement;
            EXPECT_TRUE(sink.dones.back().error) << Narrow(context->login) << ": " << statement;
            EXPECT_FALSE(sink.errorNumbers().empty()) << statement;
            for (const auto& m : sink.messages) {
                EXPECT_NE(m.number, 0) << statement;
                EXPECT_FALSE(m.text.empty()) << m.number << " " << statement;
            }
        }
    EXPECT_EQ(digest(backupHost), backupDigest);
    EXPECT_EQ(setNames(), (std::vector<std::string>{"first", "second"}));
}

} // namespace
} // namespace standin::server::testing
