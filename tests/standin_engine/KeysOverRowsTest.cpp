// Keys and foreign keys added to tables that already hold rows, as an import adds them after its
// copy: every row is checked whatever the path the check takes, a refusal has SQL Server's number
// and text, and a refused statement leaves no key or index behind.
#include "EngineTestSupport.h"

namespace standin::testing {
namespace {

class KeysOverRowsTest : public EngineFixture {
protected:
    // Adds FK_C over C and drops it again; the errors of the ALTER TABLE.
    std::vector<int> referenceErrors(const std::string& child)
    {
        RecordingSink sink = run("ALTER TABLE " + child + " ADD CONSTRAINT FK_" + child +
                                 " FOREIGN KEY (x, y) REFERENCES P (a, b)");
        if (sink.errors().empty())
            ok("ALTER TABLE " + child + " DROP CONSTRAINT FK_" + child);
        return sink.errors();
    }
};

TEST_F(KeysOverRowsTest, ReferencesFindTheirRowsWhetherTheTypesMatchOrNot)
{
    ok("CREATE TABLE P( a INT NOT NULL, b NVARCHAR(10) NOT NULL, CONSTRAINT PK_P PRIMARY KEY (a, "
       "b) )");
    ok("INSERT INTO P VALUES (1, 'Rossi') INSERT INTO P VALUES (2, 'Bianchi')");
    // Same column types as the key (compared as stored), and a wider text (converted row by row).
    ok("CREATE TABLE Same( x INT NULL, y NVARCHAR(10) NULL )");
    ok("CREATE TABLE Wide( x INT NULL, y NVARCHAR(20) NULL )");
    struct Case {
        const char* rows; // VALUES lists of (x, y)
        bool refused;
    };
    const Case cases[] = {
        {"(1, 'Rossi')", false},
        {"(1, 'ROSSI')", false}, // the server's collation ignores case
        {"(2, 'Bianchi'), (1, 'Rossi'), (1, 'Rossi')", false},
        {"(NULL, 'Verdi')", false}, // a NULL in the key is never checked
        {"(3, NULL)", false},
        {"(2, 'Rossi')", true},
        {"(1, 'Rossi'), (3, 'Verdi'), (2, 'Bianchi')", true},
    };
    for (const Case& c : cases) {
        for (const std::string child : {"Same", "Wide"}) {
            ok("DELETE FROM " + child);
            ok("INSERT INTO " + child + " VALUES " + c.rows);
            EXPECT_EQ(referenceErrors(child),
                      c.refused ? std::vector<int>{547} : std::vector<int>{})
                << child << " " << c.rows;
        }
    }
    RecordingSink orphan = run("ALTER TABLE Same ADD CONSTRAINT FK_Same FOREIGN KEY (x, y) "
                               "REFERENCES P (a, b)");
    EXPECT_EQ(orphan.errorText(),
              "The ALTER TABLE statement conflicted with the FOREIGN KEY constraint \"FK_Same\". "
              "The conflict occurred in database \"EngineTest\", table \"dbo.P\", column 'a'.");
    EXPECT_EQ(run("sp_fkeys 'P'").results.at(0).rows.size(), 0u);
}

TEST_F(KeysOverRowsTest, AKeyAndAReferenceToItAddedTogetherOverATablesOwnRows)
{
    ok("CREATE TABLE Tree( id INT NOT NULL, up INT NULL )");
    ok("INSERT INTO Tree VALUES (1, NULL) INSERT INTO Tree VALUES (2, 1) INSERT INTO Tree VALUES "
       "(3, 2)");
    const std::string add = "ALTER TABLE Tree ADD CONSTRAINT PK_Tree PRIMARY KEY (id), CONSTRAINT "
                            "FK_Tree FOREIGN KEY (up) REFERENCES Tree (id)";
    ok("INSERT INTO Tree VALUES (4, 9)");
    EXPECT_EQ(run(add).errors(), (std::vector<int>{547}));
    ok("DELETE FROM Tree WHERE id = 4");
    ok(add);
    EXPECT_EQ(errorOf("INSERT INTO Tree VALUES (5, 7)"), 547);
    EXPECT_EQ(errorOf("INSERT INTO Tree VALUES (3, 1)"), 2627);
}

TEST_F(KeysOverRowsTest, DuplicatesRefuseTheKeyAndLeaveNoIndexBehind)
{
    ok("CREATE TABLE T( id INT NOT NULL, code NVARCHAR(10) NOT NULL, note NVARCHAR(10) NULL )");
    ok("INSERT INTO T VALUES (1, 'a', NULL) INSERT INTO T VALUES (2, 'A', NULL) INSERT INTO T "
       "VALUES (3, 'b', 'x')");
    // The primary key's index is built before the unique key meets its duplicate.
    RecordingSink both = run("ALTER TABLE T ADD CONSTRAINT PK_T PRIMARY KEY (id), CONSTRAINT "
                             "UQ_T_code UNIQUE (code)");
    EXPECT_EQ(both.errors(), (std::vector<int>{1505, 1750}));
    EXPECT_NE(both.errorText().find("the object name 'dbo.T' and the index name 'UQ_T_code'"),
              std::string::npos)
        << both.errorText();
    EXPECT_TRUE(run("sp_pkeys 'T'").results.at(0).rows.empty());
    ok("INSERT INTO T VALUES (1, 'c', 'y')");
    ok("DELETE FROM T WHERE code = 'c'");

    // Two NULLs are a duplicate to SQL Server's unique keys.
    RecordingSink nulls = run("ALTER TABLE T ADD CONSTRAINT UQ_T_note UNIQUE (note)");
    EXPECT_EQ(nulls.errors(), (std::vector<int>{1505, 1750}));

    RecordingSink pair = run("ALTER TABLE T ADD CONSTRAINT PK_T PRIMARY KEY (code)");
    EXPECT_EQ(pair.errors(), (std::vector<int>{1505, 1750}));
    ok("ALTER TABLE T ADD CONSTRAINT PK_T PRIMARY KEY (id, code)");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T"), (std::vector<std::string>{"3"}));
    EXPECT_EQ(errorOf("INSERT INTO T VALUES (1, 'A', NULL)"), 2627);
    ok("INSERT INTO T VALUES (1, 'b', NULL)");
}

} // namespace
} // namespace standin::testing
