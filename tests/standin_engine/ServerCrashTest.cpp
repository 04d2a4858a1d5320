// A server process killed with SIGKILL in the middle of its work: every CREATE DATABASE and
// BACKUP it answered is there when the data root is opened again.
#include "ServerTestSupport.h"

#include <csignal>
#include <sys/wait.h>
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
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
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

} // namespace
} // namespace standin::server::testing
