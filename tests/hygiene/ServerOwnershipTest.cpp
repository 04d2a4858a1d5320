// A stand-in started by a test ends with it: with the test process however that dies, and by
// stop() when it no longer answers; and the run's last check names and ends one left running.
#include "OwnedChild.h"
#include "StandinServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using standin::testing::StandinServer;
namespace fs = std::filesystem;

namespace {

// True once `pid` is no longer the server on `dataDir`: gone, a zombie waiting for its new
// parent, or its number taken by another program.
bool serverGone(pid_t pid, const fs::path& dataDir)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream stat(proc + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const auto name = line.rfind(')');
    if (name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'Z')
        return true;
    std::ifstream cmdline(proc + "/cmdline");
    const std::string args(std::istreambuf_iterator<char>(cmdline), {});
    return args.find(dataDir.string()) == std::string::npos;
}

bool goneWithin(pid_t pid, const fs::path& dataDir, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!serverGone(pid, dataDir)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct CheckRun {
    int exitCode = -1;
    std::string output;
};

CheckRun runLeftRunningCheck(const std::string& mark)
{
    CheckRun run;
    const std::string command = std::string(LEFT_RUNNING) + " '" + mark + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[512];
    while (const size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Sets an environment variable for the scope, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(ServerOwnership, ATestKilledOutrightTakesItsServerWithIt)
{
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t test = ::fork();
    ASSERT_GE(test, 0);
    if (test == 0) {
        // A test that starts its server and is then killed as a runner's timeout kills it: no
        // destructor, no handler runs.
        ::close(report[0]);
        std::string line = "0 -\n";
        try {
            auto* server = new StandinServer();
            line = std::to_string(server->pid()) + " " + server->dataDir().string() + "\n";
        } catch (const std::exception&) {
        }
        if (::write(report[1], line.data(), line.size()) != ssize_t(line.size()))
            ::_exit(2);
        ::pause();
        ::_exit(0);
    }
    sqllumo::testing::ChildGuard guard(test);
    ::close(report[1]);
    std::string line;
    char c = 0;
    while (::read(report[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(report[0]);
    const auto space = line.find(' ');
    ASSERT_NE(space, std::string::npos) << "the test process reported nothing";
    const pid_t server = std::stoi(line.substr(0, space));
    const fs::path dataDir = line.substr(space + 1);
    ASSERT_GT(server, 0) << "the test process could not start its server";

    ::kill(test, SIGKILL);
    int status = 0;
    ::waitpid(test, &status, 0);
    guard.release();

    const bool gone = goneWithin(server, dataDir, std::chrono::seconds(10));
    if (!gone)
        ::kill(server, SIGKILL);
    EXPECT_TRUE(gone) << "the server " << server << " outlived the test that started it";
    std::error_code ignored;
    fs::remove_all(dataDir.parent_path(), ignored);
}

TEST(ServerOwnership, AServerThatNoLongerAnswersIsKilledWhenStopped)
{
    StandinServer server;
    const pid_t pid = server.pid();
    const fs::path dataDir = server.dataDir();
    // Stopped, it cannot act on SIGTERM, as a server stuck in its work would not.
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    const auto asked = std::chrono::steady_clock::now();
    const int status = server.stop(std::chrono::milliseconds(300));
    const auto took = std::chrono::steady_clock::now() - asked;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_FALSE(server.running());
    EXPECT_TRUE(serverGone(pid, dataDir));
}

TEST(ServerOwnership, TheRunsLastCheckNamesAndEndsAServerLeftRunning)
{
    // A mark of this test alone, so the suite's own check is not disturbed.
    const std::string mark = "probe-" + std::to_string(::getpid());
    std::optional<StandinServer> marked;
    {
        ScopedEnv env("SQLLUMO_TEST_RUN", mark);
        marked.emplace();
    }
    StandinServer unmarked; // another run's, or a developer's own: not to be touched
    const pid_t pid = marked->pid();

    const CheckRun found = runLeftRunningCheck(mark);
    EXPECT_EQ(found.exitCode, 1) << found.output;
    EXPECT_NE(found.output.find("left running: pid " + std::to_string(pid) + ":"),
              std::string::npos)
        << found.output;
    EXPECT_EQ(found.output.find("pid " + std::to_string(unmarked.pid()) + ":"), std::string::npos)
        << found.output;
    EXPECT_TRUE(goneWithin(pid, marked->dataDir(), std::chrono::seconds(10)));
    EXPECT_TRUE(unmarked.running());

    const CheckRun clean = runLeftRunningCheck(mark);
    EXPECT_EQ(clean.exitCode, 0) << clean.output;
}
