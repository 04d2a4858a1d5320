// A server process killed in the middle of inserts: every insert it answered is there and
// the database opens again, and no identity value it handed out is handed out again.
#include "EngineTestSupport.h"
#include "OwnedChild.h"

#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace standin::testing {
namespace {

// Runs `work` in a child process, which tells what the server answered through the pipe's
// write end it is given and never returns; `watch` reads the other end until it has seen
// enough. The child is then killed with SIGKILL, as a crash would. Returns its wait status.
int RunUntilKilled(const std::function<void(int answers)>& work,
                   const std::function<void(int answers)>& watch)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        ADD_FAILURE() << "no pipe";
        return -1;
    }
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        ADD_FAILURE() << "no child";
        return -1;
    }
    if (child == 0) {
        sqllumo::testing::DieWithParent(parent);
        close(pipeFds[0]);
        work(pipeFds[1]);
        _exit(5);
    }
    close(pipeFds[1]);
    // A failed check while watching must not leave the child running.
    sqllumo::testing::ChildGuard guard(child);
    watch(pipeFds[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    guard.release();
    close(pipeFds[0]);
    return status;
}

// A data folder of the test's own, prepared by a batch run in master.
class KilledProcess : public ::testing::Test {
protected:
    void prepare(const std::u16string& setup)
    {
        options_.dataRoot = root_.path() / "data";
        options_.saPassword = kSaPassword;
        auto engine = Engine::open(options_);
        auto login = engine->login(u"sa", u16(kSaPassword), u"master");
        ASSERT_TRUE(login.session);
        RecordingSink sink;
        login.session->execute(setup, sink);
        ASSERT_TRUE(sink.errors().empty()) << sink.errorText();
    }

    TemporaryDirectory root_;
    Engine::Options options_;
};

TEST_F(KilledProcess, EveryAnsweredInsertSurvivesSigkill)
{
    ASSERT_NO_FATAL_FAILURE(
        prepare(u"CREATE DATABASE Crash USE Crash CREATE TABLE T( id INT NOT NULL PRIMARY KEY, "
                u"t NVARCHAR(50) NOT NULL )"));
    const Engine::Options& options = options_;
    int32_t last = 0;
    const int status = RunUntilKilled(
        [&](int answers) {
            auto engine = Engine::open(options);
            auto login = engine->login(u"sa", u16(kSaPassword), u"Crash");
            if (!login.session)
                _exit(2);
            for (int32_t i = 1;; ++i) {
                RecordingSink sink;
                login.session->execute(
                    u16("INSERT INTO T VALUES (" + std::to_string(i) + ", N'row')"), sink);
                if (!sink.errors().empty())
                    _exit(3);
                // Answered: tell the parent.
                if (write(answers, &i, sizeof i) != static_cast<ssize_t>(sizeof i))
                    _exit(4);
            }
        },
        [&](int answers) {
            while (last < 300) {
                int32_t value = 0;
                ssize_t n = read(answers, &value, sizeof value);
                ASSERT_EQ(n, static_cast<ssize_t>(sizeof value)) << "child stopped early";
                last = value;
            }
        });
    ASSERT_GE(last, 300);
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

// Identity values live in memory while the server runs; killed, it must still never give one
// out twice: not those of rows deleted, rolled back, refused or inserted with explicit values.
TEST_F(KilledProcess, IdentityValuesHandedOutAreNotHandedOutAgain)
{
    ASSERT_NO_FATAL_FAILURE(prepare(u"CREATE DATABASE Ident"));
    const Engine::Options& options = options_;
    const std::vector<std::string> steps = [] {
        std::vector<std::string> s;
        for (const char* table : {"Deleted", "RolledBack", "Refused", "Explicit", "Committed"})
            s.push_back(std::string("CREATE TABLE ") + table +
                        "( id INT IDENTITY PRIMARY KEY, v NVARCHAR(5) NOT NULL )");
        for (int i = 0; i < 50; ++i)
            s.push_back("INSERT INTO Deleted(v) VALUES (N'r')");
        s.push_back("DELETE FROM Deleted WHERE id > 45");
        for (int i = 0; i < 5; ++i)
            s.push_back("INSERT INTO RolledBack(v) VALUES (N'r') INSERT INTO Refused(v) VALUES "
                        "(N'r') INSERT INTO Explicit(v) VALUES (N'r')");
        s.push_back("BEGIN TRAN INSERT INTO RolledBack(v) VALUES (N'x') INSERT INTO "
                    "RolledBack(v) VALUES (N'y') ROLLBACK");
        s.push_back("SET IDENTITY_INSERT Explicit ON INSERT INTO Explicit(id, v) VALUES (80, "
                    "N'e') SET IDENTITY_INSERT Explicit OFF DELETE FROM Explicit WHERE id = 80");
        s.push_back("BEGIN TRAN INSERT INTO Committed(v) VALUES (N'a') INSERT INTO Committed(v) "
                    "VALUES (N'b') COMMIT");
        return s;
    }();
    char answered = 0;
    const int status = RunUntilKilled(
        [&](int answers) {
            auto engine = Engine::open(options);
            auto login = engine->login(u"sa", u16(kSaPassword), u"Ident");
            if (!login.session)
                _exit(2);
            for (const auto& step : steps) {
                RecordingSink sink;
                login.session->execute(u16(step), sink);
                if (!sink.errors().empty())
                    _exit(3);
            }
            RecordingSink refused;
            login.session->execute(u"INSERT INTO Refused(v) VALUES (N'toolong')", refused);
            const char said = refused.errors() == std::vector<int>{8152} ? 'y' : 'n';
            if (write(answers, &said, 1) != 1)
                _exit(4);
            pause(); // killed here, with everything answered
        },
        [&](int answers) { ASSERT_EQ(read(answers, &answered, 1), 1) << "child stopped early"; });
    EXPECT_EQ(answered, 'y');
    ASSERT_TRUE(WIFSIGNALED(status));

    auto engine = Engine::open(options);
    auto login = engine->login(u"sa", u16(kSaPassword), u"Ident");
    ASSERT_TRUE(login.session);
    const std::vector<std::pair<std::string, std::string>> next = {{"Deleted", "51"},
                                                                   {"RolledBack", "8"},
                                                                   {"Refused", "7"},
                                                                   {"Explicit", "81"},
                                                                   {"Committed", "3"}};
    for (const auto& [table, value] : next) {
        RecordingSink sink;
        login.session->execute(u16("SELECT IDENT_CURRENT('" + table + "') INSERT INTO " + table +
                                   "(v) VALUES (N'n') SELECT SCOPE_IDENTITY()"),
                               sink);
        ASSERT_EQ(sink.results.size(), 2u) << table << ": " << sink.errorText();
        EXPECT_EQ(sink.results[0].lines(),
                  (std::vector<std::string>{std::to_string(std::stoi(value) - 1)}))
            << table;
        EXPECT_EQ(sink.results[1].lines(), (std::vector<std::string>{value})) << table;
    }
}

} // namespace
} // namespace standin::testing
