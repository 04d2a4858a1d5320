// The stand-in process under clients that cancel what they asked for and under a data folder
// that is not its own: only the request or the start in question fails, nothing else.
#include "OdbcClient.h"
#include "OwnedChild.h"
#include "StandinServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace standin::testing;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::u16string u16(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

class CancelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server_ = std::make_unique<StandinServer>();
        fs::create_directories(server_->dataDir() / "C" / "Data");
        OdbcConnection master(server_->odbcConnectionString("master"));
        master.execute(u"CREATE DATABASE Cancel ON (NAME = Cancel, FILENAME = "
                       u"'C:\\Data\\Cancel.mdf') LOG ON (NAME = Cancel_log, FILENAME = "
                       u"'C:\\Data\\Cancel_log.ldf')");
        OdbcConnection db(server_->odbcConnectionString("Cancel"));
        db.execute(u"CREATE TABLE Nums (n INT NOT NULL)");
        db.execute(u"CREATE TABLE Sink (n INT NOT NULL)");
        // 1000 rows: a cross join of two copies gives a million, of three a billion.
        std::u16string batch;
        for (int i = 0; i < 1000; ++i)
            batch += u"INSERT INTO Nums VALUES (" + u16(std::to_string(i)) + u");\n";
        db.execute(batch);
    }
    static void TearDownTestSuite() { server_.reset(); }

    // The connection that was cancelled answers its next batch, and the server takes others.
    static void expectAliveAfterCancel(OdbcConnection& cancelled, const std::string& what)
    {
        ASSERT_TRUE(server_->running()) << what << " ended the server:\n" << server_->log();
        EXPECT_EQ(cancelled.query(u"SELECT 7")[0][0], std::optional<std::string>("7")) << what;
        OdbcConnection other(server_->odbcConnectionString("Cancel"));
        EXPECT_EQ(other.query(u"SELECT COUNT(*) FROM Sink")[0][0], std::optional<std::string>("0"))
            << what << ": a cancelled statement left rows behind";
    }

    static std::unique_ptr<StandinServer> server_;
};
std::unique_ptr<StandinServer> CancelTest::server_;

} // namespace

TEST_F(CancelTest, QueryTimeoutEndsOnlyTheStatementItInterrupts)
{
    // Each runs far beyond the one-second time-out: the driver sends attention while it waits.
    const std::vector<std::u16string> statements = {
        u"SELECT COUNT(*) FROM Nums a CROSS JOIN Nums b CROSS JOIN Nums c",
        u"INSERT INTO Sink SELECT a.n FROM Nums a CROSS JOIN Nums b CROSS JOIN Nums c",
        u"WAITFOR DELAY '00:00:30'",
    };
    OdbcConnection db(server_->odbcConnectionString("Cancel"));
    for (int round = 0; round < 2; ++round) {
        for (const auto& sql : statements) {
            const std::string what(sql.begin(), sql.end());
            const auto start = std::chrono::steady_clock::now();
            {
                OdbcStatement s(db);
                SQLSetStmtAttr(s.handle(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1),
                               0);
                try {
                    s.execDirect(sql);
                    ADD_FAILURE() << what << " was not cancelled";
                } catch (const OdbcError& e) {
                    EXPECT_EQ(e.sqlState, "HYT00") << what << ": " << e.what();
                }
                // The driver reads the rest of the cancelled answer when the cursor closes.
                s.closeCursor();
            }
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << what;
            expectAliveAfterCancel(db, what);
        }
    }
}

TEST_F(CancelTest, CancelWhileRowsStreamEndsOnlyThatResult)
{
    OdbcConnection db(server_->odbcConnectionString("Cancel"));
    for (int round = 0; round < 3; ++round) {
        OdbcStatement s(db);
        s.execDirect(u"SELECT a.n, b.n FROM Nums a CROSS JOIN Nums b");
        // The server streams ahead of the client until the socket is full; cancelling then
        // stops it in the middle of producing rows.
        for (int i = 0; i < 1000; ++i)
            ASSERT_TRUE(s.fetch());
        const SQLRETURN rc = SQLCancel(s.handle());
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << "round " << round;
        s.closeCursor();
        expectAliveAfterCancel(db, "a streamed cross join");
    }
}

TEST_F(CancelTest, CancelFromAnotherThreadEndsTheRunningStatementWithinASecond)
{
    const std::vector<std::u16string> statements = {
        u"SELECT COUNT(*) FROM Nums a CROSS JOIN Nums b CROSS JOIN Nums c",
        u"WAITFOR DELAY '00:00:30'",
        u"SELECT a.n, b.n FROM Nums a CROSS JOIN Nums b ORDER BY b.n DESC, a.n",
        u"INSERT INTO Sink SELECT a.n FROM Nums a CROSS JOIN Nums b CROSS JOIN Nums c",
    };
    OdbcConnection db(server_->odbcConnectionString("Cancel"));
    for (const auto& sql : statements) {
        const std::string what(sql.begin(), sql.end());
        OdbcStatement s(db);
        std::atomic<bool> cancelled{false};
        Clock::time_point cancelledAt;
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            cancelledAt = Clock::now();
            cancelled = true;
            EXPECT_TRUE(SQL_SUCCEEDED(SQLCancel(s.handle()))) << what;
        });
        try {
            s.execDirect(sql);
            ADD_FAILURE() << what << " ran to its end";
        } catch (const OdbcError& e) {
            EXPECT_EQ(e.sqlState, "HY008") << what << ": " << e.what();
        }
        const auto returned = Clock::now();
        canceller.join();
        ASSERT_TRUE(cancelled.load()) << what;
        EXPECT_LT(returned - cancelledAt, std::chrono::seconds(1)) << what;
        s.closeCursor();
        expectAliveAfterCancel(db, what);
    }
}

namespace {

struct StartRun {
    int status = -1;
    std::string log;
};

// Starts the program on `data` and stops it again once it is ready (or has given up).
StartRun startOn(const fs::path& data)
{
    StartRun run;
    const fs::path log = fs::temp_directory_path() / ("standin-start-" + std::to_string(getpid()));
    int out[2];
    if (::pipe(out) != 0)
        return run;
    const std::string binary = StandinServer::findBinary().string();
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        sqllumo::testing::DieWithParent(parent);
        const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out[1], 1);
        ::dup2(err, 2);
        ::close(out[0]);
        ::execl(binary.c_str(), binary.c_str(), "--data", data.c_str(), "--port", "0", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    // "ready on ..." arrives when it starts; the pipe closes when it refused. Neither within
    // the wait: it hangs, and is killed rather than waited for without end.
    pollfd p{out[0], POLLIN, 0};
    char buf[256];
    const int ready = ::poll(&p, 1, 30000);
    if (ready <= 0)
        ::kill(child, SIGKILL);
    else if (::read(out[0], buf, sizeof buf) > 0)
        ::kill(child, SIGTERM);
    ::close(out[0]);
    ::waitpid(child, &run.status, 0);
    std::ifstream in(log);
    run.log.assign(std::istreambuf_iterator<char>(in), {});
    fs::remove(log);
    return run;
}

} // namespace

TEST(DataFolder, AFolderThatIsNotTheServersOwnIsLeftUntouched)
{
    const fs::path top =
        fs::temp_directory_path() / ("standin-foreign-" + std::to_string(getpid()));
    fs::create_directories(top);

    // Someone's folder with files in it, open to everyone as a shared one would be.
    const fs::path foreign = top / "shared";
    fs::create_directories(foreign);
    std::ofstream(foreign / "notes.txt") << "not the server's\n";
    ::chmod(foreign.c_str(), 01777);
    const StartRun refused = startOn(foreign);
    EXPECT_TRUE(WIFEXITED(refused.status) && WEXITSTATUS(refused.status) == 1) << refused.log;
    EXPECT_NE(refused.log.find("refusing to use " + foreign.string()), std::string::npos)
        << refused.log;
    struct stat st {};
    ASSERT_EQ(::stat(foreign.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 01777u) << "the folder's permissions changed";
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(foreign))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"notes.txt"}) << "the folder was filled";

    // A new folder becomes a data root, and that data root is taken again on the next start.
    const fs::path own = top / "data";
    const StartRun first = startOn(own);
    EXPECT_TRUE(WIFEXITED(first.status) && WEXITSTATUS(first.status) == 0) << first.log;
    const StartRun again = startOn(own);
    EXPECT_TRUE(WIFEXITED(again.status) && WEXITSTATUS(again.status) == 0) << again.log;
    EXPECT_TRUE(fs::exists(own / "sa-password"));

    ::chmod(foreign.c_str(), 0700);
    fs::remove_all(top);
}
