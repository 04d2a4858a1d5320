// A server process killed with SIGKILL in the middle of its work: every CREATE DATABASE and
// BACKUP it answered is there when the data root is opened again.
#include "OwnedChild.h"
#include "ServerTestSupport.h"

#include <csignal>
#include <iostream>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace standin::server::testing {
namespace {

TEST(ServerCrash, AnsweredStatementsSurviveSigkill)
{
    TemporaryRoot root;
    Engine::Options options;
    options.dataRoot = root.path() / "data";
    options.saPassword = "Crash-Test-1";
    {
        auto catalog = ServerCatalog::open(options);
        fs::create_directories(catalog->dataRoot() / "C" / "Data");
        fs::create_directories(catalog->dataRoot() / "C" / "Backups");
    }
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqllumo::testing::DieWithParent(parent);
        ::close(pipeFds[0]);
        auto catalog = ServerCatalog::open(options);
        ServerContext sa;
        sa.login = u"sa";
        for (int i = 0;; ++i) {
            const std::u16string name = u"Db" + Wide(std::to_string(i));
            CollectingSink create, backup;
            catalog->tryExecute(u"CREATE DATABASE " + name + u" ON (NAME = " + name +
                                    u"_Dat, FILENAME = 'C:\\Data\\" + name +
                                    u"dat.mdf') LOG ON (NAME = " + name +
                                    u"_Log, FILENAME = 'C:\\Data\\" + name + u"log.ldf')",
                                sa, create);
            catalog->tryExecute(u"BACKUP DATABASE " + name + u" TO DISK='C:\\Backups\\all.bak'", sa,
                                backup);
            if (!create.errorNumbers().empty() || !backup.errorNumbers().empty())
                ::_exit(2);
            // Reported only once both statements have been answered.
            const int32_t answered = i;
            if (::write(pipeFds[1], &answered, sizeof answered) != sizeof answered)
                ::_exit(3);
        }
    }
    ::close(pipeFds[1]);
    int32_t last = -1, value = 0;
    while (last < 12 && ::read(pipeFds[0], &value, sizeof value) == sizeof value)
        last = value;
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    while (::read(pipeFds[0], &value, sizeof value) == sizeof value)
        last = value;
    ::close(pipeFds[0]);
    ASSERT_GE(last, 12) << "the child stopped early, status " << status;

    auto catalog = ServerCatalog::open(options);
    for (int i = 0; i <= last; ++i) {
        const auto entry = catalog->find(u"db" + Wide(std::to_string(i)));
        ASSERT_TRUE(entry) << i;
        SqliteFile file(entry->dataFile);
        EXPECT_EQ(file.text("PRAGMA integrity_check"), "ok");
    }
    // The media holds at least one whole set per answered backup, and takes another.
    ServerContext sa;
    sa.login = u"sa";
    CollectingSink list;
    catalog->tryExecute(u"RESTORE FILELISTONLY FROM DISK='C:\\Backups\\all.bak' WITH FILE = " +
                            Wide(std::to_string(last + 1)),
                        sa, list);
    EXPECT_TRUE(list.errorNumbers().empty()) << list.firstErrorText();
    CollectingSink more;
    catalog->tryExecute(u"BACKUP DATABASE Db0 TO DISK='C:\\Backups\\all.bak'", sa, more);
    EXPECT_TRUE(more.errorNumbers().empty()) << more.firstErrorText();
    CollectingSink restore;
    catalog->tryExecute(
        u"RESTORE DATABASE Db0 FROM DISK='C:\\Backups\\all.bak' WITH FILE = 1, REPLACE", sa,
        restore);
    EXPECT_TRUE(restore.errorNumbers().empty()) << restore.firstErrorText();
}

// Killed at any moment of a stream of CREATE and DROP DATABASE: after the next start every name
// is a whole database or none at all, and no file is left that belongs to no database.
TEST(ServerCrash, KilledCreationsAndDropsLeaveNoFilesWithoutADatabase)
{
    TemporaryRoot root;
    Engine::Options options;
    options.dataRoot = root.path() / "data";
    options.saPassword = "Crash-Test-1";
    std::vector<std::string> logged;
    options.log = [&](const std::string& line) { logged.push_back(line); };
    fs::path dataFolder;
    {
        auto catalog = ServerCatalog::open(options);
        dataFolder = catalog->dataRoot() / "C" / "Data";
        fs::create_directories(dataFolder);
    }
    auto create = [](ServerCatalog& catalog, const std::u16string& name, CollectingSink& sink) {
        ServerContext sa;
        sa.login = u"sa";
        catalog.tryExecute(u"CREATE DATABASE " + name + u" ON (NAME = " + name +
                               u"_Dat, FILENAME = 'C:\\Data\\" + name + u".mdf') LOG ON (NAME = " +
                               name + u"_Log, FILENAME = 'C:\\Data\\" + name + u".ldf')",
                           sa, sink);
    };
    constexpr int kKills = 20;
    std::mt19937 random(12345);
    int cleanedUp = 0;
    for (int run = 0; run < kKills; ++run) {
        const pid_t parent = ::getpid();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            sqllumo::testing::DieWithParent(parent);
            auto catalog = ServerCatalog::open(options);
            ServerContext sa;
            sa.login = u"sa";
            for (int i = 0; i < 1000; ++i) {
                const std::u16string name =
                    Wide("R" + std::to_string(run) + "x" + std::to_string(i));
                CollectingSink made, dropped;
                create(*catalog, name, made);
                if (i % 2)
                    catalog->tryExecute(u"DROP DATABASE " + name, sa, dropped);
            }
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + random() % 90));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        const size_t loggedBefore = logged.size();
        auto catalog = ServerCatalog::open(options);
        for (const auto& entry : fs::directory_iterator(dataFolder)) {
            const std::string file = entry.path().filename().string();
            const auto db = catalog->find(Wide(file.substr(0, file.find('.'))));
            // A data file may have its SQLite companions beside it.
            EXPECT_TRUE(db && (entry.path().string().rfind(db->dataFile.string(), 0) == 0 ||
                               entry.path() == db->logFile))
                << "run " << run << ": " << entry.path() << " belongs to no database";
        }
        cleanedUp += int(logged.size() - loggedBefore);
        // Every name of the run can be made again (or is there whole) and dropped.
        for (int i = 0; i < 3; ++i) {
            const std::u16string name = Wide("R" + std::to_string(run) + "x" + std::to_string(i));
            ServerContext sa;
            sa.login = u"sa";
            if (!catalog->find(name)) {
                CollectingSink made;
                create(*catalog, name, made);
                EXPECT_TRUE(made.errorNumbers().empty()) << made.firstErrorText();
            }
            CollectingSink dropped;
            catalog->tryExecute(u"DROP DATABASE " + name, sa, dropped);
            EXPECT_TRUE(dropped.errorNumbers().empty()) << dropped.firstErrorText();
        }
    }
    std::cout << "files of interrupted statements cleaned up after " << kKills
              << " kills: " << cleanedUp << "\n";
    for (size_t i = 0; i < logged.size(); ++i)
        EXPECT_NE(logged[i].find("left behind by an interrupted"), std::string::npos) << logged[i];
}

} // namespace
} // namespace standin::server::testing
