// Rows in and out with every column type and its limits, as SQL Server enforces them.
#include "EngineTestSupport.h"

namespace standin::testing {
namespace {

class DataTest : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ok("CREATE TABLE T( i INT NULL, s SMALLINT NULL, t TINYINT NULL, b BIT NULL, d DATETIME "
           "NULL, "
           "n NVARCHAR(5) NULL, img IMAGE NULL, v VARBINARY(4) NULL, f FLOAT NULL, m NVARCHAR(MAX) "
           "NULL, "
           "c NCHAR(3) NULL, dec DECIMAL(6,2) NULL )");
    }
};

TEST_F(DataTest, IntegerKindsHoldTheirRangeAndOverflowWithTheirErrors)
{
    struct Case {
        const char* value;
        const char* column;
        int error;
        const char* text;
    } cases[] = {
        {"2147483647", "i", 0, ""},
        {"-2147483648", "i", 0, ""},
        {"2147483648", "i", 8115,
         "Arithmetic overflow error converting expression to data type int."},
        {"32767", "s", 0, ""},
        {"32768", "s", 220, "Arithmetic overflow error for data type smallint, value = 32768."},
        {"-32769", "s", 220, "Arithmetic overflow error for data type smallint, value = -32769."},
        {"255", "t", 0, ""},
        {"256", "t", 220, "Arithmetic overflow error for data type tinyint, value = 256."},
        {"-1", "t", 220, "Arithmetic overflow error for data type tinyint, value = -1."},
        {"'12'", "t", 0, ""},
        {"'x'", "i", 245,
         "Conversion failed when converting the varchar value 'x' to data type int."},
        {"2147483647 + 1", "i", 8115,
         "Arithmetic overflow error converting expression to data type int."},
        {"1/0", "i", 8134, "Divide by zero error encountered."},
    };
    for (const auto& c : cases) {
        RecordingSink sink =
            run(std::string("INSERT INTO T(") + c.column + ") VALUES (" + c.value + ")");
        if (c.error == 0) {
            EXPECT_TRUE(sink.errors().empty()) << c.value << ": " << sink.errorText();
        } else {
            EXPECT_EQ(sink.errors(), (std::vector<int>{c.error})) << c.value;
            EXPECT_EQ(sink.errorText(), c.text) << c.value;
        }
    }
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T"), (std::vector<std::string>{"5"}));
    EXPECT_EQ(rows("SELECT i FROM T WHERE i IS NOT NULL ORDER BY i"),
              (std::vector<std::string>{"-2147483648", "2147483647"}));
}

TEST_F(DataTest, BitTakesZeroOneAndTurnsOtherNumbersIntoOne)
{
    ok("INSERT INTO T(b) VALUES (0) INSERT INTO T(b) VALUES (1) INSERT INTO T(b) VALUES (5) "
       "INSERT INTO T(b) VALUES (-3) INSERT INTO T(b) VALUES ('TRUE') INSERT INTO T(b) VALUES "
       "('false')");
    EXPECT_EQ(rows("SELECT b FROM T"), (std::vector<std::string>{"0", "1", "1", "1", "1", "0"}));
    EXPECT_EQ(run("SELECT b FROM T").results.at(0).columns.at(0).type, SqlType::Bit);
}

TEST_F(DataTest, TextLongerThanItsColumnIsRefusedAndNothingWritten)
{
    RecordingSink sink = run("INSERT INTO T(n) VALUES (N'abcdef')");
    EXPECT_EQ(sink.errors(), (std::vector<int>{8152}));
    EXPECT_EQ(sink.errorText(), "String or binary data would be truncated.");
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[1].number, 3621);
    EXPECT_EQ(u8(sink.messages[1].text), "The statement has been terminated.");
    EXPECT_EQ(errorOf("INSERT INTO T(v) VALUES (0x0102030405)"), 8152);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T"), (std::vector<std::string>{"0"}));
    // Trailing blanks alone are cut without complaint.
    ok("INSERT INTO T(n) VALUES ('abcde   ')");
    EXPECT_EQ(rows("SELECT n, LEN(n), DATALENGTH(n) FROM T"),
              (std::vector<std::string>{"'abcde'|5|10"}));
    ok("UPDATE T SET n = 'abc'");
    EXPECT_EQ(errorOf("UPDATE T SET n = 'abcdefgh'"), 8152);
    EXPECT_EQ(rows("SELECT n FROM T"), (std::vector<std::string>{"'abc'"}));
    // NCHAR pads with blanks.
    ok("UPDATE T SET c = 'x'");
    EXPECT_EQ(rows("SELECT c, DATALENGTH(c) FROM T"), (std::vector<std::string>{"'x  '|6"}));
}

TEST_F(DataTest, DatesFromTextNumbersAndArithmetic)
{
    struct Case {
        const char* value;
        int error;
        const char* stored; // "days,ticks"
    } cases[] = {
        {"1/1/1980", 0, "dt(0,0)"}, // integer arithmetic: 1/1/1980 is 0
        {"'19800101'", 0, "dt(29219,0)"},
        {"'1980-01-01 12:00:00'", 0, "dt(29219,12960000)"},
        {"'01/02/1980'", 0, "dt(29220,0)"}, // month first, as us_english reads it
        {"'Jan  2 1980 12:00AM'", 0, "dt(29220,0)"},
        {"'1900-01-01T00:00:00.003'", 0, "dt(0,1)"},
        {"'1753-01-01'", 0, "dt(-53690,0)"},
        {"'9999-12-31 23:59:59.997'", 0, "dt(2958463,25919999)"},
        {"''", 0, "dt(0,0)"},
        {"'1752-12-31'", 242, ""},
        {"'1980-02-30'", 242, ""},
        {"'not a date'", 241, ""},
        {"'1980-13-01'", 242, ""},
        {"36525.5", 0, "dt(36525,12960000)"},
    };
    for (const auto& c : cases) {
        ok("DELETE FROM T");
        RecordingSink sink = run(std::string("INSERT INTO T(d) VALUES (") + c.value + ")");
        if (c.error) {
            EXPECT_EQ(sink.errors(), (std::vector<int>{c.error})) << c.value;
            continue;
        }
        ASSERT_TRUE(sink.errors().empty()) << c.value << ": " << sink.errorText();
        EXPECT_EQ(rows("SELECT d FROM T"), (std::vector<std::string>{c.stored})) << c.value;
    }
    EXPECT_EQ(run("INSERT INTO T(d) VALUES ('1752-12-31')").errorText(),
              "The conversion of a varchar data type to a datetime data type resulted in an "
              "out-of-range value.");
    EXPECT_EQ(run("INSERT INTO T(d) VALUES ('x')").errorText(),
              "Conversion failed when converting date and/or time from character string.");
    EXPECT_EQ(
        rows("SELECT CONVERT(NVARCHAR(30), CAST('1980-01-02 13:04:05.123' AS DATETIME), 121), "
             "CONVERT(NVARCHAR(30), CAST('19800102' AS DATETIME), 112), CAST(CAST('19800102 13:04' "
             "AS DATETIME) AS NVARCHAR(30))"),
        (std::vector<std::string>{"'1980-01-02 13:04:05.123'|'19800102'|'Jan  2 1980  1:04PM'"}));
}

TEST_F(DataTest, BinaryAndImageRoundTripAndNumbersKeepTheirTypes)
{
    ok("INSERT INTO T(img, v, f, dec, m) VALUES (0x00FF10, 0x0A0B, 1.5E2, 1234.567, N'long')");
    RecordingSink sink = run("SELECT img, v, f, dec, m FROM T");
    ASSERT_EQ(sink.results.size(), 1u);
    EXPECT_EQ(sink.results[0].lines(),
              (std::vector<std::string>{"0x00FF10|0x0A0B|150.000000|123457|'long'"}));
    const auto& cols = sink.results[0].columns;
    EXPECT_EQ(cols[0].type, SqlType::Image);
    EXPECT_EQ(cols[1].type, SqlType::VarBinary);
    EXPECT_EQ(cols[1].length, 4);
    EXPECT_EQ(cols[2].type, SqlType::Float);
    EXPECT_EQ(cols[3].type, SqlType::Decimal);
    EXPECT_EQ(cols[3].scale, 2);
    EXPECT_EQ(cols[4].length, -1);
    EXPECT_EQ(errorOf("INSERT INTO T(dec) VALUES (12345.6)"), 8115);
    EXPECT_EQ(errorOf("INSERT INTO T(v) VALUES (N'text')"), 257);
    EXPECT_EQ(rows("SELECT 7/2, 7%3, 7.0/2, -7/2, 2*3+1, 'a'+N'b', 10-2-3"),
              (std::vector<std::string>{"3|1|3500000|-3|7|'ab'|5"}));
}

TEST_F(DataTest, NullIntoNotNullAndColumnListsAreChecked)
{
    ok("CREATE TABLE N( a INT NOT NULL, b NVARCHAR(5) NULL )");
    RecordingSink sink = run("INSERT INTO N(b) VALUES ('x')");
    EXPECT_EQ(sink.errors(), (std::vector<int>{515}));
    EXPECT_EQ(sink.errorText(), "Cannot insert the value NULL into column 'a', table "
                                "'EngineTest.dbo.N'; column does not allow nulls. "
                                "INSERT fails.");
    EXPECT_EQ(errorOf("INSERT INTO N VALUES (NULL, 'x')"), 515);
    ok("INSERT INTO N VALUES (1, NULL)");
    RecordingSink upd = run("UPDATE N SET a = NULL");
    EXPECT_EQ(upd.errors(), (std::vector<int>{515}));
    EXPECT_NE(upd.errorText().find("UPDATE fails."), std::string::npos);
    EXPECT_EQ(errorOf("INSERT INTO N VALUES (1)"), 213);
    EXPECT_EQ(errorOf("INSERT INTO N(a) VALUES (1, 2)"), 110);
    EXPECT_EQ(errorOf("INSERT INTO N(a, b) VALUES (1)"), 109);
    EXPECT_EQ(errorOf("INSERT INTO N(a, a) VALUES (1, 2)"), 264);
    EXPECT_EQ(errorOf("INSERT INTO N(zz) VALUES (1)"), 207);
    EXPECT_EQ(errorOf("INSERT INTO Nope VALUES (1)"), 208);
    EXPECT_EQ(run("INSERT INTO Nope VALUES (1)").errorText(), "Invalid object name 'Nope'.");
    ok("INSERT INTO N(a, b) VALUES (2, 'y'), (3, 'z')");
    ok("INSERT INTO N SELECT a + 10, b FROM N WHERE a > 1");
    EXPECT_EQ(rows("SELECT a FROM N ORDER BY a DESC"),
              (std::vector<std::string>{"13", "12", "3", "2", "1"}));
}

TEST_F(DataTest, SelectShapesJoinsOrderingAndAggregates)
{
    ok("CREATE TABLE P( id INT NOT NULL PRIMARY KEY, name NVARCHAR(20) NOT NULL )");
    ok("CREATE TABLE E( id INT NOT NULL PRIMARY KEY, pid INT NOT NULL REFERENCES P (id), [Date] "
       "DATETIME NULL )");
    ok("INSERT INTO P VALUES (1, 'Rossi') INSERT INTO P VALUES (2, 'bianchi') INSERT INTO P VALUES "
       "(3, 'Verdi')");
    ok("INSERT INTO E VALUES (10, 1, NULL) INSERT INTO E VALUES (11, 1, '20000101') INSERT INTO E "
       "VALUES (12, 2, NULL)");
    EXPECT_EQ(rows("SELECT P.name, E.id FROM P INNER JOIN E ON P.id = E.pid ORDER BY E.id DESC"),
              (std::vector<std::string>{"'bianchi'|12", "'Rossi'|11", "'Rossi'|10"}));
    EXPECT_EQ(
        rows("SELECT p.name, e.id FROM P AS p LEFT JOIN E e ON e.pid = p.id WHERE e.id IS NULL"),
        (std::vector<std::string>{"'Verdi'|NULL"}));
    EXPECT_EQ(rows("SELECT name FROM P ORDER BY name"),
              (std::vector<std::string>{"'bianchi'", "'Rossi'", "'Verdi'"}));
    EXPECT_EQ(rows("SELECT TOP 2 name AS n FROM P ORDER BY n DESC"),
              (std::vector<std::string>{"'Verdi'", "'Rossi'"}));
    EXPECT_EQ(rows("SELECT pid, COUNT(*), MAX(id) FROM E GROUP BY pid ORDER BY 1"),
              (std::vector<std::string>{"1|2|11", "2|1|12"}));
    EXPECT_EQ(rows("SELECT COUNT(*), COUNT([Date]), MIN(id), SUM(id) FROM E"),
              (std::vector<std::string>{"3|1|10|33"}));
    EXPECT_EQ(rows("SELECT DISTINCT pid FROM E ORDER BY pid"),
              (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(
        rows("SELECT name FROM P WHERE name LIKE 'r%' OR (id BETWEEN 3 AND 4 AND NOT name = 'x')"),
        (std::vector<std::string>{"'Rossi'", "'Verdi'"}));
    EXPECT_EQ(rows("SELECT name FROM P WHERE id IN (2, 3) AND name <> 'VERDI'"),
              (std::vector<std::string>{"'bianchi'"}));
    EXPECT_EQ(rows("SELECT [E].[id] FROM [dbo].[E] WHERE [Date] >= '1999-12-31'"),
              (std::vector<std::string>{"11"}));
    EXPECT_EQ(errorOf("SELECT id FROM P INNER JOIN E ON P.id = E.pid"), 209);
    EXPECT_EQ(errorOf("SELECT X.id FROM P"), 4104);
    EXPECT_EQ(errorOf("SELECT name, COUNT(*) FROM P"), 8120);
    RecordingSink sink = run("SELECT * FROM E WHERE id = 99");
    ASSERT_EQ(sink.results.size(), 1u);
    EXPECT_EQ(sink.results[0].names(), (std::vector<std::string>{"id", "pid", "Date"}));
    EXPECT_EQ(sink.counts(), (std::vector<int64_t>{0}));
}

TEST_F(DataTest, UpdateAndDeleteCountTheirRows)
{
    ok("INSERT INTO T(i) VALUES (1) INSERT INTO T(i) VALUES (2) INSERT INTO T(i) VALUES (3)");
    RecordingSink upd = run("UPDATE T SET i = i * 10, n = 'x' WHERE i >= 2");
    EXPECT_EQ(upd.counts(), (std::vector<int64_t>{2}));
    EXPECT_EQ(rows("SELECT i, n FROM T ORDER BY i"),
              (std::vector<std::string>{"1|NULL", "20|'x'", "30|'x'"}));
    RecordingSink del = run("DELETE FROM T WHERE n = 'X' SELECT @@ROWCOUNT");
    EXPECT_EQ(del.counts(), (std::vector<int64_t>{2, 1}));
    EXPECT_EQ(del.results.at(0).lines(), (std::vector<std::string>{"2"}));
    RecordingSink quiet = run("SET NOCOUNT ON DELETE FROM T");
    EXPECT_EQ(quiet.counts(), (std::vector<int64_t>{-1, -1}));
}

} // namespace
} // namespace standin::testing
