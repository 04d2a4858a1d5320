// Batches run again with other literal values, or after the tables under them changed: each run
// must give what a fresh parse of its own text gives.
#include "EngineTestSupport.h"

namespace standin::testing {
namespace {

class StatementReuseTest : public EngineFixture {};

TEST_F(StatementReuseTest, EachRunSeesItsOwnLiterals)
{
    const char* shape = "SELECT %d, '%s', N'%s', 0x%s, -%d, - -%d, %s, -%s";
    auto batch = [&](int n, const char* s, const char* hex, const char* dec) {
        char text[256];
        std::snprintf(text, sizeof text, shape, n, s, s, hex, n, n, dec, dec);
        return std::string(text);
    };
    EXPECT_EQ(rows(batch(1, "a", "0A", "1.5")),
              (std::vector<std::string>{"1|'a'|'a'|0x0A|-1|1|15|-15"}));
    EXPECT_EQ(rows(batch(22, "it''s", "ABCD", "2.25")),
              (std::vector<std::string>{"22|'it's'|'it's'|0xABCD|-22|22|225|-225"}));
    // The literal's type follows its own text: a longer string, a larger number.
    RecordingSink longer = run(batch(2147483647, "abcdef", "", "12345.6789"));
    ASSERT_EQ(longer.results.size(), 1u) << longer.errorText();
    EXPECT_EQ(longer.results[0].columns[1].length, 6);
    EXPECT_EQ(longer.results[0].columns[6].scale, 4);
    EXPECT_EQ(longer.results[0].lines(),
              (std::vector<std::string>{
                  "2147483647|'abcdef'|'abcdef'|0x|-2147483647|2147483647|123456789|-123456789"}));
    // -2147483648 is an INT only with its sign; alone it is NUMERIC.
    EXPECT_EQ(rows("SELECT -2147483648, 5"), (std::vector<std::string>{"-2147483648|5"}));
    RecordingSink numeric = run("SELECT -2147483647, 2147483648");
    ASSERT_EQ(numeric.results.size(), 1u) << numeric.errorText();
    EXPECT_EQ(numeric.results[0].columns[0].type, SqlType::Int);
    EXPECT_EQ(numeric.results[0].columns[1].type, SqlType::Decimal);
}

TEST_F(StatementReuseTest, LiteralsThatAreSyntaxAreNotReplaced)
{
    ok("CREATE TABLE T( id INT NOT NULL PRIMARY KEY )");
    ok("INSERT INTO T VALUES (1) INSERT INTO T VALUES (2) INSERT INTO T VALUES (3)");
    EXPECT_EQ(rows("SELECT CAST('abcdef' AS VARCHAR(3))"), (std::vector<std::string>{"'abc'"}));
    EXPECT_EQ(rows("SELECT CAST('abcdef' AS VARCHAR(5))"), (std::vector<std::string>{"'abcde'"}));
    EXPECT_EQ(rows("SELECT TOP 1 id FROM T ORDER BY id"), (std::vector<std::string>{"1"}));
    EXPECT_EQ(rows("SELECT TOP 2 id FROM T ORDER BY id"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(rows("SELECT id AS 'x' FROM T WHERE id = 1"), (std::vector<std::string>{"1"}));
    RecordingSink named = run("SELECT id AS 'y' FROM T WHERE id = 2");
    ASSERT_EQ(named.results.size(), 1u);
    EXPECT_EQ(named.results[0].names(), (std::vector<std::string>{"y"}));
}

TEST_F(StatementReuseTest, MessagesNameTheLinesOfTheirOwnBatch)
{
    ok("CREATE TABLE T( id INT NOT NULL PRIMARY KEY )");
    RecordingSink first = run("INSERT INTO T VALUES (1)\nINSERT INTO T VALUES (1)");
    ASSERT_NE(first.error(), nullptr);
    EXPECT_EQ(first.error()->line, 2);
    RecordingSink second = run("INSERT INTO T VALUES (2)\nINSERT INTO T VALUES (2)");
    ASSERT_NE(second.error(), nullptr);
    EXPECT_EQ(second.error()->number, 2627);
    EXPECT_EQ(second.error()->line, 2);
    EXPECT_NE(second.errorText().find("(2)"), std::string::npos) << second.errorText();
    RecordingSink third = run("INSERT INTO T VALUES (3)\n\nINSERT INTO T VALUES (3)");
    ASSERT_NE(third.error(), nullptr);
    EXPECT_EQ(third.error()->line, 3);
}

TEST_F(StatementReuseTest, ATableChangedBetweenTwoRunsIsSeenInItsNewShape)
{
    ok("CREATE TABLE T( a INT NOT NULL, b NVARCHAR(10) NULL )");
    const std::string insert = "INSERT INTO T VALUES (1, N'one')";
    ok(insert);
    ok("ALTER TABLE T ADD c INT NULL");
    EXPECT_EQ(errorOf(insert), 213);
    EXPECT_EQ(rows("SELECT * FROM T"), (std::vector<std::string>{"1|'one'|NULL"}));

    // The same column list over a table made again with its columns in another order.
    const std::string named = "INSERT INTO U(x, y) VALUES (7, N'seven') SELECT * FROM U";
    ok("CREATE TABLE U( x INT NOT NULL, y NVARCHAR(10) NOT NULL )");
    EXPECT_EQ(rows(named), (std::vector<std::string>{"7|'seven'"}));
    ok("DROP TABLE U");
    ok("CREATE TABLE U( y NVARCHAR(10) NOT NULL, z INT NULL, x INT NOT NULL )");
    EXPECT_EQ(rows(named), (std::vector<std::string>{"'seven'|NULL|7"}));

    // The same statement in another database, where the table has another shape.
    ok("CREATE DATABASE Other");
    ok("USE Other CREATE TABLE U( x INT NOT NULL, w INT NULL, y NVARCHAR(10) NOT NULL )");
    EXPECT_EQ(rows(named), (std::vector<std::string>{"7|NULL|'seven'"}));
    ok("USE EngineTest");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM U"), (std::vector<std::string>{"1"}));
    // A column the statement names dropped in between.
    ok("ALTER TABLE U DROP COLUMN z");
    EXPECT_EQ(rows(named), (std::vector<std::string>{"'seven'|7", "'seven'|7"}));
    // A change rolled back is undone for the statement too.
    const std::string plain = "INSERT INTO U VALUES (N'a', 1)";
    ok(plain);
    ok("BEGIN TRAN ALTER TABLE U ADD v INT NULL");
    EXPECT_EQ(errorOf(plain), 213);
    ok("ROLLBACK");
    ok(plain);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM U"), (std::vector<std::string>{"4"}));
}

TEST_F(StatementReuseTest, ADatabaseRestoredUnderAStatementIsSeenInItsRestoredShape)
{
    std::filesystem::create_directories(root.path() / "data" / "C" / "Backups");
    ok("CREATE TABLE R( a INT NOT NULL, b INT NULL )");
    ok("BACKUP DATABASE EngineTest TO DISK='C:\\Backups\\r.bak'");
    ok("ALTER TABLE R ADD c INT NULL");
    const std::string insert = "INSERT INTO R VALUES (1, 2, 3)";
    ok(insert);
    ok("USE master RESTORE DATABASE EngineTest FROM DISK='C:\\Backups\\r.bak' WITH REPLACE");
    ok("USE EngineTest");
    EXPECT_EQ(errorOf(insert), 213);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM R"), (std::vector<std::string>{"0"}));
}

} // namespace
} // namespace standin::testing
