// A server process killed in the middle of inserts: every insert it answered is there and
// the database opens again.
#include "EngineTestSupport.h"
#include "OwnedChild.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace standin::testing {
namespace {

TEST(KilledProcess, EveryAnsweredInsertSurvivesSigkill)
{
    TemporaryDirectory root;
    Engine::Options options;
    options.dataRoot = root.path() / "data";
    options.saPassword = kSaPassword;
    {
        auto engine = Engine::open(options);
        auto login = engine->login(u"sa", u16(kSaPassword), u"master");
        ASSERT_TRUE(login.session);
        RecordingSink sink;
        login.session->execute(
            u"CREATE DATABASE Crash USE Crash CREATE TABLE T( id INT NOT NULL PRIMARY KEY, "
            u"t NVARCHAR(50) NOT NULL )",
            sink);
        ASSERT_TRUE(sink.errors().empty()) << sink.errorText();
    }
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t parent = getpid();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqllumo::testing::DieWithParent(parent);
        close(pipeFds[0]);
        auto engine = Engine::open(options);
        auto login = engine->login(u"sa", u16(kSaPassword), u"Crash");
        if (!login.session)
            _exit(2);
        for (int32_t i = 1;; ++i) {
            RecordingSink sink;
            login.session->execute(u16("INSERT INTO T VALUES (" + std::to_string(i) + ", N'row')"),
                                   sink);
            if (!sink.errors().empty())
                _exit(3);
            // Answered: tell the parent.
            if (write(pipeFds[1], &i, sizeof i) != static_cast<ssize_t>(sizeof i))
                _exit(4);
        }
    }
    close(pipeFds[1]);
    // The child inserts without end: a failed assertion below must not leave it running.
    sqllumo::testing::ChildGuard guard(child);
    int32_t last = 0;
    while (last < 300) {
        int32_t value = 0;
        ssize_t n = read(pipeFds[0], &value, sizeof value);
        ASSERT_EQ(n, static_cast<ssize_t>(sizeof value)) << "child stopped early";
        last = value;
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    guard.release();
    close(pipeFds[0]);
    EXPECT_TRUE(WIFSIGNALED(status));

    auto engine = Engine::open(options);
    auto login = engine->login(u"sa", u16(kSaPassword), u"Crash");
    ASSERT_TRUE(login.session);
    RecordingSink sink;
    login.session->execute(
        u"SELECT COUNT(*), MIN(id), MAX(id) FROM T WHERE id <= " + u16(std::to_string(last)), sink);
    ASSERT_EQ(sink.results.size(), 1u) << sink.errorText();
    EXPECT_EQ(sink.results[0].lines(),
              (std::vector<std::string>{std::to_string(last) + "|1|" + std::to_string(last)}));
    RecordingSink more;
    login.session->execute(u"INSERT INTO T VALUES (-1, N'after')", more);
    EXPECT_TRUE(more.errors().empty()) << more.errorText();
}

} // namespace
} // namespace standin::testing
