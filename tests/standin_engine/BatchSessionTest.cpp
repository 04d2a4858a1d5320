// Batches, errors by number and how far they reach, transactions, parameters bound through
// sp_executesql, cancellation, and several sessions at once.
#include "EngineTestSupport.h"

#include <atomic>
#include <thread>

namespace standin::testing {
namespace {

class BatchSessionTest : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ok("CREATE TABLE T( id INT NOT NULL PRIMARY KEY, name NVARCHAR(10) NULL )");
    }
};

TEST_F(BatchSessionTest, ErrorsCarryNumberSeverityStateTextAndLine)
{
    struct Case {
        const char* batch;
        int number;
        int severity;
        int line;
        const char* text;
    } cases[] = {
        {"SELECT * FROM Missing", 208, 16, 1, "Invalid object name 'Missing'."},
        {"SELECT nope FROM T", 207, 16, 1, "Invalid column name 'nope'."},
        {"SELECT 1\nSELECT * FROM\nT WHERE", 102, 15, 1, "Incorrect syntax near 'WHERE'."},
        {"SELECT * FROM T WHERE id = 1 AND", 102, 15, 1, "Incorrect syntax near 'AND'."},
        {"SELECT FROM T", 156, 15, 1, "Incorrect syntax near the keyword 'FROM'."},
        {"SELECT 'abc", 105, 15, 1, "Unclosed quotation mark after the character string 'abc'."},
        {"\n\nINSERT INTO T VALUES (1, 'a') INSERT INTO T VALUES (1, 'b')", 2627, 14, 3,
         "Violation of PRIMARY KEY constraint"},
        {"EXEC sp_nothing", 2812, 16, 1, "Could not find stored procedure 'sp_nothing'."},
        {"SELECT @x", 137, 15, 1, "Must declare the scalar variable \"@x\"."},
        {"SELECT NOSUCHFUNC(1)", 195, 15, 1,
         "'NOSUCHFUNC' is not a recognized built-in function name."},
        {"COMMIT", 3902, 16, 1,
         "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."},
        {"ROLLBACK TRAN", 3903, 16, 1,
         "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."},
        {"USE NoSuchDb", 911, 16, 1,
         "Database 'NoSuchDb' does not exist. Make sure that the name is entered correctly."},
        {"SELECT * FROM T UNION SELECT * FROM T", 50000, 16, 1,
         "UNION is not supported by this server."},
        {"CREATE VIEW V AS SELECT 1", 50000, 16, 1, "CREATE VIEW is not supported by this server."},
        {"SET ANSI_NULLS OFF", 50000, 16, 1, "SET ANSI_NULLS OFF is not supported by this server."},
        {"SELECT CAST('x' AS INT)", 245, 16, 1,
         "Conversion failed when converting the varchar value 'x' to data type int."},
    };
    for (const auto& c : cases) {
        ok("DELETE FROM T");
        RecordingSink sink = run(c.batch);
        const Message* e = sink.error();
        ASSERT_NE(e, nullptr) << c.batch;
        EXPECT_EQ(e->number, c.number) << c.batch;
        EXPECT_EQ(e->severity, c.severity) << c.batch;
        EXPECT_EQ(e->line, c.line) << c.batch;
        EXPECT_EQ(u8(e->text).rfind(c.text, 0), 0u) << c.batch << "\n" << u8(e->text);
        EXPECT_TRUE(sink.dones.back().error) << c.batch;
    }
}

TEST_F(BatchSessionTest, HowFarAnErrorReaches)
{
    // A syntax error anywhere: nothing of the batch runs.
    RecordingSink syntax = run("INSERT INTO T VALUES (1, 'a')\nSELECT * FROM T WHERE");
    EXPECT_EQ(syntax.errors(), (std::vector<int>{102}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T"), (std::vector<std::string>{"0"}));
    // A constraint error ends the statement only.
    RecordingSink goesOn = run("INSERT INTO T VALUES (1, 'a') INSERT INTO T VALUES (1, 'b') INSERT "
                               "INTO T VALUES (2, 'c')");
    EXPECT_EQ(goesOn.errors(), (std::vector<int>{2627}));
    EXPECT_EQ(goesOn.counts(), (std::vector<int64_t>{1, -1, 1}));
    // An unknown table ends the batch.
    RecordingSink stops =
        run("INSERT INTO T VALUES (3, 'd') SELECT * FROM Missing INSERT INTO T VALUES (4, 'e')");
    EXPECT_EQ(stops.errors(), (std::vector<int>{208}));
    EXPECT_EQ(rows("SELECT id FROM T ORDER BY id"), (std::vector<std::string>{"1", "2", "3"}));
    // Several result sets, each with its done, in order.
    RecordingSink two = run("SELECT 1 AS a; SELECT 2 AS b");
    ASSERT_EQ(two.results.size(), 2u);
    EXPECT_EQ(two.results[1].names(), (std::vector<std::string>{"b"}));
    EXPECT_EQ(two.events,
              (std::vector<std::string>{"result", "row", "done", "result", "row", "done"}));
    // A bare procedure name is a call only first in the batch.
    EXPECT_EQ(errorOf("SELECT 1 sp_pkeys 'T'"), 102);
    EXPECT_EQ(run("sp_pkeys 'T'").results.size(), 1u);
}

TEST_F(BatchSessionTest, TransactionsCommitAndRollBackRowsAndDefinitions)
{
    RecordingSink sink = run("BEGIN TRAN INSERT INTO T VALUES (1, 'a') CREATE TABLE X( a INT ) "
                             "SELECT @@TRANCOUNT ROLLBACK");
    EXPECT_TRUE(sink.errors().empty()) << sink.errorText();
    EXPECT_EQ(sink.results.at(0).lines(), (std::vector<std::string>{"1"}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T"), (std::vector<std::string>{"0"}));
    EXPECT_EQ(errorOf("SELECT * FROM X"), 208);
    ok("BEGIN TRANSACTION INSERT INTO T VALUES (1, 'a') BEGIN TRAN INSERT INTO T VALUES (2, 'b') "
       "COMMIT");
    EXPECT_EQ(rows("SELECT @@TRANCOUNT"), (std::vector<std::string>{"1"}));
    // An error inside a transaction ends the statement; the transaction stays open.
    EXPECT_EQ(errorOf("INSERT INTO T VALUES (1, 'dup')"), 2627);
    ok("COMMIT TRANSACTION");
    EXPECT_EQ(rows("SELECT id FROM T ORDER BY id"), (std::vector<std::string>{"1", "2"}));
    // The session's end rolls back what it left open.
    auto other = connect(u"EngineTest");
    run("BEGIN TRAN DELETE FROM T", other.get());
    other.reset();
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T"), (std::vector<std::string>{"2"}));
}

TEST_F(BatchSessionTest, XactAbortEndsTheBatchAndUndoesItsTransaction)
{
    ok("INSERT INTO T VALUES (1, 'kept')");
    // The batches a client sends to store many rows at once: an error in the middle must leave
    // nothing of the batch behind, and say so with the error alone.
    RecordingSink aborted =
        run("SET NOCOUNT ON SET XACT_ABORT ON BEGIN TRAN INSERT INTO T VALUES (2, 'b') "
            "INSERT INTO T VALUES (1, 'dup') INSERT INTO T VALUES (3, 'c') COMMIT TRAN");
    EXPECT_EQ(aborted.errors(), (std::vector<int>{2627}));
    for (const Message& m : aborted.messages)
        EXPECT_NE(m.number, 3621) << u8(m.text);
    EXPECT_EQ(rows("SELECT @@TRANCOUNT"), (std::vector<std::string>{"0"}));
    EXPECT_EQ(rows("SELECT id FROM T ORDER BY id"), (std::vector<std::string>{"1"}));
    // Outside a transaction it still ends the batch; what ran before the error stays.
    RecordingSink plain = run("INSERT INTO T VALUES (4, 'd') INSERT INTO T VALUES (1, 'dup') "
                              "INSERT INTO T VALUES (5, 'e')");
    EXPECT_EQ(plain.errors(), (std::vector<int>{2627}));
    EXPECT_EQ(rows("SELECT id FROM T ORDER BY id"), (std::vector<std::string>{"1", "4"}));
    // Switched off, an error ends only its statement again.
    ok("SET XACT_ABORT OFF");
    RecordingSink goesOn = run("INSERT INTO T VALUES (1, 'dup') INSERT INTO T VALUES (6, 'f')");
    EXPECT_EQ(goesOn.errors(), (std::vector<int>{2627}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T WHERE id = 6"), (std::vector<std::string>{"1"}));
}

// Schema changes inside a transaction go back with it, on ROLLBACK and when the session ends
// with the transaction open, as on SQL Server.
TEST_F(BatchSessionTest, TransactionsTakeBackKeysColumnsAndDroppedTables)
{
    ok("CREATE TABLE P( id INT NOT NULL, CONSTRAINT PK_P PRIMARY KEY (id) )");
    ok("CREATE TABLE C( pid INT NOT NULL, name NVARCHAR(10) NOT NULL, CONSTRAINT fk_C FOREIGN "
       "KEY (pid) REFERENCES P (id) ON DELETE CASCADE ON UPDATE CASCADE )");
    ok("CREATE TABLE Gone( a INT NOT NULL )");
    ok("INSERT INTO P VALUES (1) INSERT INTO C VALUES (1, 'kept') INSERT INTO Gone VALUES (7) "
       "INSERT INTO T VALUES (1, 'one')");
    const std::string changes =
        "BEGIN TRANSACTION ALTER TABLE C DROP CONSTRAINT fk_C ALTER TABLE P DROP CONSTRAINT PK_P "
        "ALTER TABLE C ALTER COLUMN name NVARCHAR(64) NOT NULL ALTER TABLE C ADD CONSTRAINT fk_N "
        "FOREIGN KEY (pid) REFERENCES T (id) DROP TABLE Gone CREATE TABLE Made( b INT NOT NULL )";
    const auto schemaIsAsBefore = [&](const char* how) {
        SCOPED_TRACE(how);
        EXPECT_EQ(rows("sp_pkeys 'P'").size(), 1u);
        EXPECT_EQ(rows("sp_fkeys 'P'").size(), 1u);
        EXPECT_TRUE(rows("sp_fkeys 'T'").empty());
        EXPECT_EQ(errorOf("INSERT INTO P VALUES (1)"), 2627);
        EXPECT_EQ(errorOf("INSERT INTO C VALUES (9, 'orphan')"), 547);
        EXPECT_NE(errorOf("INSERT INTO C VALUES (1, 'elevenchars')"), 0);
        EXPECT_EQ(rows("SELECT a FROM Gone"), (std::vector<std::string>{"7"}));
        EXPECT_EQ(errorOf("SELECT * FROM Made"), 208);
        ok("DELETE FROM P");
        EXPECT_EQ(rows("SELECT COUNT(*) FROM C"), (std::vector<std::string>{"0"}));
        ok("INSERT INTO P VALUES (1) INSERT INTO C VALUES (1, 'kept')");
    };

    ok(changes + " SELECT @@TRANCOUNT");
    EXPECT_EQ(errorOf("INSERT INTO P VALUES (1)"), 0); // the key is gone inside the transaction
    ok("ROLLBACK TRANSACTION");
    schemaIsAsBefore("rolled back");

    auto other = connect(u"EngineTest");
    RecordingSink left = run(changes, other.get());
    EXPECT_TRUE(left.errors().empty()) << left.errorText();
    other.reset();
    schemaIsAsBefore("session ended with the transaction open");
}

TEST_F(BatchSessionTest, XactAbortRollsBackTheTransactionAndEndsTheBatchOnAnyError)
{
    ok("INSERT INTO T VALUES (1, 'a') INSERT INTO T VALUES (2, 'b')");
    // The batch a client sends to change many rows at once: no counts, a counter of the rows
    // changed, and the transaction left open for the client to judge.
    RecordingSink batch = run(
        "SET NOCOUNT ON; SET XACT_ABORT ON; DECLARE @changed INT; SET @changed = 0; "
        "BEGIN TRANSACTION; UPDATE T SET name = 'x' WHERE id = 1; SET @changed = @changed + "
        "@@ROWCOUNT; UPDATE T SET name = 'y' WHERE id = 7; SET @changed = @changed + @@ROWCOUNT; "
        "UPDATE T SET name = 'z' WHERE id = 2; SET @changed = @changed + @@ROWCOUNT; "
        "SELECT @changed AS changed, @@TRANCOUNT AS open_transactions");
    EXPECT_TRUE(batch.errors().empty()) << batch.errorText();
    ASSERT_EQ(batch.results.size(), 1u);
    EXPECT_EQ(batch.results[0].lines(), (std::vector<std::string>{"2|1"}));
    for (int64_t count : batch.counts())
        EXPECT_EQ(count, -1) << "NOCOUNT sends no counts";
    ok("ROLLBACK TRANSACTION");
    EXPECT_EQ(rows("SELECT name FROM T ORDER BY id"), (std::vector<std::string>{"'a'", "'b'"}));

    // An error in the middle: what came before in the transaction is undone, nothing after
    // runs, and the session keeps the option for its next batch.
    RecordingSink failed = run("BEGIN TRAN UPDATE T SET name = 'x' WHERE id = 1 INSERT INTO T "
                               "VALUES (2, 'dup') UPDATE T SET name = 'z' WHERE id = 2");
    EXPECT_EQ(failed.errors(), (std::vector<int>{2627}));
    EXPECT_EQ(rows("SELECT @@TRANCOUNT"), (std::vector<std::string>{"0"}));
    EXPECT_EQ(rows("SELECT name FROM T ORDER BY id"), (std::vector<std::string>{"'a'", "'b'"}));
    EXPECT_EQ(run("INSERT INTO T VALUES (3, 'c') INSERT INTO T VALUES (3, 'd') INSERT INTO T "
                  "VALUES (4, 'e')")
                  .errors(),
              (std::vector<int>{2627}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T"), (std::vector<std::string>{"3"}));

    // Off again: an error ends only its statement, as before.
    ok("SET XACT_ABORT OFF SET NOCOUNT OFF");
    EXPECT_EQ(run("INSERT INTO T VALUES (3, 'c') INSERT INTO T VALUES (5, 'f')").counts(),
              (std::vector<int64_t>{-1, 1}));
}

TEST_F(BatchSessionTest, ParametersBoundThroughSpExecutesql)
{
    auto param = [](const char16_t* name, SqlType type, int32_t length, Value v) {
        RpcParam p;
        p.name = name;
        p.type.type = type;
        p.type.length = length;
        p.value = std::move(v);
        return p;
    };
    std::vector<RpcParam> params = {
        param(u"", SqlType::NVarChar, -1,
              std::u16string(u"INSERT INTO T VALUES (@P1, @P2); SELECT SCOPE_IDENTITY()")),
        param(u"", SqlType::NVarChar, -1, std::u16string(u"@P1 int,@P2 nvarchar(10)")),
        param(u"@P1", SqlType::Int, 4, int64_t{7}),
        param(u"@P2", SqlType::NVarChar, 10, std::u16string(u"it's \xD800")),
    };
    RecordingSink sink;
    session->executeRpc(u"sp_executesql", params, sink);
    EXPECT_TRUE(sink.errors().empty()) << sink.errorText();
    EXPECT_EQ(sink.statuses, (std::vector<int32_t>{0}));
    EXPECT_EQ(sink.dones.back().kind, DoneInfo::Kind::Procedure);
    EXPECT_EQ(sink.dones.front().kind, DoneInfo::Kind::InProcedure);
    RecordingSink check = run("SELECT name FROM T WHERE id = 7");
    ASSERT_EQ(check.results.at(0).rows.size(), 1u);
    EXPECT_EQ(std::get<std::u16string>(check.results[0].rows[0][0]), u"it's \xD800");

    // Values given by position, and EXEC of the procedure inside a batch.
    params[0].value = std::u16string(u"SELECT @a + 1, @b");
    params[1].value = std::u16string(u"@a int, @b nvarchar(3)");
    params[2] = param(u"", SqlType::Int, 4, int64_t{41});
    params[3] = param(u"", SqlType::NVarChar, 10, std::u16string(u"xy"));
    RecordingSink positional;
    session->executeRpc(u"sp_executesql", params, positional);
    ASSERT_EQ(positional.results.size(), 1u) << positional.errorText();
    EXPECT_EQ(positional.results[0].lines(), (std::vector<std::string>{"42|'xy'"}));
    RecordingSink viaExec = run("EXEC sp_executesql N'SELECT @n * 2', N'@n int', @n = 21");
    ASSERT_EQ(viaExec.results.size(), 1u) << viaExec.errorText();
    EXPECT_EQ(viaExec.results[0].lines(), (std::vector<std::string>{"42"}));
    RecordingSink rpcPkeys;
    session->executeRpc(u"sp_pkeys",
                        {param(u"@table_name", SqlType::NVarChar, 10, std::u16string(u"T"))},
                        rpcPkeys);
    ASSERT_EQ(rpcPkeys.results.size(), 1u);
    EXPECT_EQ(rpcPkeys.results[0].rows.size(), 1u);
}

TEST_F(BatchSessionTest, CancelStopsAWaitAndTheRestOfTheBatch)
{
    std::atomic<bool> cancel{false};
    RecordingSink sink;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        cancel = true;
    });
    auto start = std::chrono::steady_clock::now();
    session->execute(u"WAITFOR DELAY '00:00:05' INSERT INTO T VALUES (1, 'late')", sink, &cancel);
    canceller.join();
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(2));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T"), (std::vector<std::string>{"0"}));
    RecordingSink waited = run("WAITFOR DELAY '00:00:00.100' SELECT 1");
    EXPECT_EQ(waited.results.size(), 1u);
}

TEST_F(BatchSessionTest, TwoSessionsSeeEachOthersCommittedWorkAndWaitForOpenTransactions)
{
    auto second = connect(u"EngineTest");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->currentDatabase(), u"EngineTest");
    ok("INSERT INTO T VALUES (1, 'one')");
    RecordingSink seen = run("SELECT name FROM T", second.get());
    EXPECT_EQ(seen.results.at(0).lines(), (std::vector<std::string>{"'one'"}));

    ok("BEGIN TRAN UPDATE T SET name = 'changed'");
    std::atomic<bool> finished{false};
    RecordingSink blocked;
    std::thread reader([&] {
        second->execute(u"SELECT name FROM T", blocked);
        finished = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(finished.load()); // the open transaction holds the database
    ok("COMMIT");
    reader.join();
    EXPECT_EQ(blocked.results.at(0).lines(), (std::vector<std::string>{"'changed'"}));

    // Many sessions inserting at once lose nothing.
    std::vector<std::thread> writers;
    std::vector<std::unique_ptr<Session>> sessions;
    for (int w = 0; w < 4; ++w)
        sessions.push_back(connect(u"EngineTest"));
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([&, w] {
            for (int i = 0; i < 50; ++i) {
                RecordingSink s;
                sessions[static_cast<size_t>(w)]->execute(
                    u16("INSERT INTO T VALUES (" + std::to_string(100 + w * 100 + i) + ", 'w')"),
                    s);
                EXPECT_TRUE(s.errors().empty()) << s.errorText();
            }
        });
    for (auto& t : writers)
        t.join();
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T WHERE name = 'w'"), (std::vector<std::string>{"200"}));
}

TEST_F(BatchSessionTest, LoginsAndDatabaseContext)
{
    LoginResult bad = engine->login(u"sa", u"wrong", u"");
    EXPECT_FALSE(bad.session);
    ASSERT_TRUE(bad.error);
    EXPECT_EQ(bad.error->number, 18456);
    EXPECT_EQ(bad.error->severity, 14);
    LoginResult noDb = engine->login(u"sa", u16(kSaPassword), u"NoSuchDb");
    EXPECT_FALSE(noDb.session);
    ASSERT_TRUE(noDb.error);
    EXPECT_EQ(noDb.error->number, 4060);
    RecordingSink use = run("USE master");
    EXPECT_EQ(use.events, (std::vector<std::string>{"database master", "message 5701", "done"}));
    EXPECT_EQ(u8(use.messages[0].text), "Changed database context to 'master'.");
    EXPECT_FALSE(use.messages[0].isError());
    EXPECT_EQ(session->currentDatabase(), u"master");
    ok("USE engineTEST");
    EXPECT_EQ(session->currentDatabase(), u"EngineTest");
    EXPECT_EQ(rows("SELECT DB_NAME(), SUSER_SNAME(), @@SERVERNAME"),
              (std::vector<std::string>{"'EngineTest'|'sa'|'STANDIN'"}));
}

} // namespace
} // namespace standin::testing
