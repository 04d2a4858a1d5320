// A server process killed in the middle of inserts: every insert it answered is there and
// the database opens again, and no identity value it handed out is handed out again.
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

// Identity values live in memory while the server runs; killed, it must still never give one
// out twice: not those of rows deleted, rolled back, refused or inserted with explicit values.
TEST(KilledProcess, IdentityValuesHandedOutAreNotHandedOutAgain)
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
        login.session->execute(u"CREATE DATABASE Ident", sink);
        ASSERT_TRUE(sink.errors().empty()) << sink.errorText();
    }
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
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t parent = getpid();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqllumo::testing::DieWithParent(parent);
        close(pipeFds[0]);
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
        const char answered = refused.errors() == std::vector<int>{8152} ? 'y' : 'n';
        if (write(pipeFds[1], &answered, 1) != 1)
            _exit(4);
        pause(); // killed here, with everything answered
        _exit(5);
    }
    close(pipeFds[1]);
    sqllumo::testing::ChildGuard guard(child);
    char answered = 0;
    ASSERT_EQ(read(pipeFds[0], &answered, 1), 1) << "child stopped early";
    EXPECT_EQ(answered, 'y');
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    guard.release();
    close(pipeFds[0]);
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
