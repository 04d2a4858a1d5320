// UPDATE reads only the columns it needs unless it touches a key: the columns it leaves alone
// keep their values, and key checks still see every column of their key.
#include "EngineTestSupport.h"

namespace standin::testing {
namespace {

class UpdateColumnsTest : public EngineFixture {};

TEST_F(UpdateColumnsTest, ColumnsNotSetKeepTheirValues)
{
    ok("CREATE TABLE P( id INT IDENTITY PRIMARY KEY, code NVARCHAR(20) NOT NULL, note NVARCHAR(40) "
       "NULL, born DATETIME NOT NULL, photo IMAGE NULL, n INT NOT NULL )");
    ok("INSERT INTO P(code, note, born, photo, n) VALUES (N'A-1', N'first', '19600101', 0x0102, "
       "5)");
    ok("INSERT INTO P(code, note, born, photo, n) VALUES (N'A-2', NULL, '19700202', NULL, 6)");
    ok("UPDATE P SET note = code + N'/' + CAST(n AS NVARCHAR(5)), code = N'' WHERE id = 1");
    ok("UPDATE P SET n = n + 1 WHERE code = N'A-2'");
    EXPECT_EQ(rows("SELECT id, code, note, CONVERT(VARCHAR(8), born, 112), photo, n FROM P ORDER "
                   "BY id"),
              (std::vector<std::string>{"1|''|'A-1/5'|'19600101'|0x0102|5",
                                        "2|'A-2'|NULL|'19700202'|NULL|7"}));
}

TEST_F(UpdateColumnsTest, KeysAreCheckedOverAllTheirColumns)
{
    ok("CREATE TABLE Parent( a INT NOT NULL, b INT NOT NULL, v INT NULL, CONSTRAINT PK_Parent "
       "PRIMARY KEY (a, b) )");
    ok("CREATE TABLE Child( id INT NOT NULL PRIMARY KEY, a INT NOT NULL, b INT NOT NULL, w INT "
       "NULL, CONSTRAINT FK_Child FOREIGN KEY (a, b) REFERENCES Parent(a, b) )");
    ok("INSERT INTO Parent VALUES (1, 1, 0) INSERT INTO Parent VALUES (1, 2, 0) "
       "INSERT INTO Parent VALUES (2, 1, 0)");
    ok("INSERT INTO Child VALUES (10, 1, 1, 0)");
    // Only b is set: the check must still see a = 1, and (1, 3) is no parent.
    EXPECT_EQ(errorOf("UPDATE Child SET b = 3 WHERE id = 10"), 547);
    ok("UPDATE Child SET b = 2, w = 9 WHERE id = 10");
    // A parent's key column changed under a child that uses it.
    EXPECT_EQ(errorOf("UPDATE Parent SET b = 5 WHERE a = 1 AND b = 2"), 547);
    // A key changed into another row's: the duplicate is found with every key column.
    EXPECT_EQ(errorOf("UPDATE Parent SET a = 1 WHERE a = 2"), 2627);
    ok("UPDATE Parent SET v = 4 WHERE a = 2");
    EXPECT_EQ(rows("SELECT a, b, v FROM Parent ORDER BY a, b"),
              (std::vector<std::string>{"1|1|0", "1|2|0", "2|1|4"}));
    EXPECT_EQ(rows("SELECT * FROM Child"), (std::vector<std::string>{"10|1|2|9"}));
}

} // namespace
} // namespace standin::testing
