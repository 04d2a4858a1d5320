// Keys and unique indexes hold for a statement's final state: rows may pass through each other's
// key values within one UPDATE, a duplicate left at the end fails with SQL Server's number and
// text, and the failed statement changes nothing.
#include "EngineTestSupport.h"

namespace standin::testing {
namespace {

class UniquenessTest : public EngineFixture {};

TEST_F(UniquenessTest, KeysMayPassThroughEachOtherWithinOneUpdate)
{
    ok("CREATE TABLE K( id INT NOT NULL CONSTRAINT PK_K PRIMARY KEY, code NVARCHAR(10) NOT NULL "
       "CONSTRAINT UQ_K UNIQUE, "
       "n INT NOT NULL )");
    ok("CREATE UNIQUE INDEX UX_K ON K (n)");
    ok("INSERT INTO K VALUES (1, 'a', 10) INSERT INTO K VALUES (2, 'b', 20) INSERT INTO K VALUES "
       "(3, 'c', 30)");
    struct Case {
        const char* statement;
        const char* state; // ids, codes and ns after it, ordered by id
    };
    const Case cases[] = {
        {"UPDATE K SET id = id + 1", "2|'a'|10,3|'b'|20,4|'c'|30"},
        {"UPDATE K SET id = id - 1", "1|'a'|10,2|'b'|20,3|'c'|30"},
        {"UPDATE K SET id = 4 - id", "1|'c'|30,2|'b'|20,3|'a'|10"},
        {"UPDATE K SET code = CASE code WHEN 'a' THEN 'c' WHEN 'c' THEN 'a' ELSE code END",
         "1|'a'|30,2|'b'|20,3|'c'|10"},
        {"UPDATE K SET n = n + 10", "1|'a'|40,2|'b'|30,3|'c'|20"},
        {"UPDATE K SET n = n - 10 WHERE id > 1", "1|'a'|40,2|'b'|20,3|'c'|10"},
    };
    for (const auto& c : cases) {
        RecordingSink sink = run(c.statement);
        EXPECT_TRUE(sink.errors().empty()) << c.statement << ": " << sink.errorText();
        ASSERT_FALSE(sink.dones.empty());
        EXPECT_GT(sink.dones.back().count, 0) << c.statement;
        std::string state;
        for (const auto& line : rows("SELECT id, code, n FROM K ORDER BY id"))
            state += (state.empty() ? "" : ",") + line;
        EXPECT_EQ(state, c.state) << c.statement;
    }
}

TEST_F(UniquenessTest, ADuplicateLeftAtTheEndFailsAndChangesNothing)
{
    ok("CREATE TABLE K( id INT NOT NULL CONSTRAINT PK_K PRIMARY KEY, code NVARCHAR(10) NOT NULL "
       "CONSTRAINT UQ_K UNIQUE, "
       "n INT NOT NULL )");
    ok("CREATE UNIQUE INDEX UX_K ON K (n)");
    ok("INSERT INTO K VALUES (1, 'a', 10) INSERT INTO K VALUES (2, 'b', 20) INSERT INTO K VALUES "
       "(3, 'c', 30)");
    struct Case {
        const char* statement;
        int number;
        const char* text;
    };
    const Case cases[] = {
        {"UPDATE K SET id = id + 1 WHERE id < 3", 2627,
         "Violation of PRIMARY KEY constraint 'PK_K'. Cannot insert duplicate key in object "
         "'dbo.K'. "
         "The duplicate key value is (3)."},
        {"UPDATE K SET id = 1", 2627,
         "Violation of PRIMARY KEY constraint 'PK_K'. Cannot insert duplicate key in object "
         "'dbo.K'. "
         "The duplicate key value is (1)."},
        // The default collation ignores case, so 'B' is a duplicate of 'b'.
        {"UPDATE K SET code = 'B' WHERE id = 3", 2627,
         "Violation of UNIQUE KEY constraint 'UQ_K'. Cannot insert duplicate key in object "
         "'dbo.K'. "
         "The duplicate key value is (B)."},
        {"UPDATE K SET n = 20 WHERE id <> 2", 2601,
         "Cannot insert duplicate key row in object 'dbo.K' with unique index 'UX_K'. The "
         "duplicate key value is (20)."},
        {"INSERT INTO K SELECT id + 10, code, n + 100 FROM K", 2627,
         "Violation of UNIQUE KEY constraint 'UQ_K'. Cannot insert duplicate key in object "
         "'dbo.K'. "
         "The duplicate key value is (a)."},
    };
    for (const auto& c : cases) {
        RecordingSink sink = run(c.statement);
        EXPECT_EQ(sink.errors(), (std::vector<int>{c.number})) << c.statement;
        EXPECT_EQ(sink.errorText(), c.text) << c.statement;
        EXPECT_EQ(rows("SELECT id, code, n FROM K ORDER BY id"),
                  (std::vector<std::string>{"1|'a'|10", "2|'b'|20", "3|'c'|30"}))
            << c.statement;
    }
    // Inside a transaction the failed statement alone is undone; the earlier work stays.
    RecordingSink inTran =
        run("BEGIN TRAN UPDATE K SET n = n + 1 WHERE id = 1 UPDATE K SET id = 2 WHERE id = 1 "
            "SELECT @@TRANCOUNT");
    EXPECT_EQ(inTran.errors(), (std::vector<int>{2627}));
    ASSERT_EQ(inTran.results.size(), 1u);
    EXPECT_EQ(inTran.results[0].lines(), (std::vector<std::string>{"1"}));
    ok("COMMIT");
    EXPECT_EQ(rows("SELECT id, n FROM K ORDER BY id"),
              (std::vector<std::string>{"1|11", "2|20", "3|30"}));
}

TEST_F(UniquenessTest, CascadedKeyChangesAreCheckedAtTheEndToo)
{
    ok("CREATE TABLE P( id INT NOT NULL CONSTRAINT PK_P PRIMARY KEY )");
    ok("CREATE TABLE C( pid INT NOT NULL CONSTRAINT FK_C FOREIGN KEY REFERENCES P (id) ON UPDATE "
       "CASCADE, "
       "CONSTRAINT UQ_C UNIQUE (pid) )");
    ok("INSERT INTO P VALUES (1) INSERT INTO P VALUES (2) INSERT INTO C VALUES (1) INSERT INTO C "
       "VALUES (2)");
    ok("UPDATE P SET id = id + 1");
    EXPECT_EQ(rows("SELECT pid FROM C ORDER BY pid"), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(rows("SELECT id FROM P ORDER BY id"), (std::vector<std::string>{"2", "3"}));
    // Rows keep their place: an unordered scan still returns them in insertion order.
    ok("CREATE TABLE R( id INT NOT NULL PRIMARY KEY, v NVARCHAR(5) NOT NULL )");
    ok("INSERT INTO R VALUES (5, 'x') INSERT INTO R VALUES (1, 'y') INSERT INTO R VALUES (3, 'z')");
    ok("UPDATE R SET id = id * 10");
    EXPECT_EQ(rows("SELECT id FROM R ORDER BY id"), (std::vector<std::string>{"10", "30", "50"}));
}

} // namespace
} // namespace standin::testing
