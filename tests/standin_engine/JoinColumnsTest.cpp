// A SELECT reads from its tables only the columns some clause names: every clause must still
// see the values it names, wherever in the statement it names them.
#include "EngineTestSupport.h"

namespace standin::testing {
namespace {

class JoinColumnsTest : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ok("CREATE TABLE P( id INT NOT NULL PRIMARY KEY, name NVARCHAR(20) NOT NULL, born "
           "DATETIME NULL, code NVARCHAR(10) NULL, marker INT NOT NULL, note NVARCHAR(30) NULL )");
        ok("CREATE TABLE E( eid INT NOT NULL PRIMARY KEY, pid INT NOT NULL, flag BIT NOT NULL, "
           "kind NVARCHAR(5) NOT NULL, size INT NULL )");
        ok("INSERT INTO P VALUES (1, N'Rossi', '19500304', N'C-1', 3, N'first') "
           "INSERT INTO P VALUES (2, N'Bianchi', NULL, NULL, 4, NULL) "
           "INSERT INTO P VALUES (3, N'Verdi', '19700101', N'C-3', 3, N'third')");
        ok("INSERT INTO E VALUES (10, 1, 1, N'EEG', 100) INSERT INTO E VALUES (11, 1, 0, N'EMG', "
           "NULL) INSERT INTO E VALUES (12, 3, 1, N'EEG', 300) INSERT INTO E VALUES (13, 2, 0, "
           "N'EP', 50)");
    }
};

TEST_F(JoinColumnsTest, EveryClauseSeesTheColumnsItNames)
{
    // Columns named only in ON, WHERE and ORDER BY, and an expression over two tables.
    EXPECT_EQ(rows("SELECT E.eid, P.name + N'/' + E.kind FROM P INNER JOIN E ON P.id = E.pid "
                   "WHERE P.marker <> 4 AND E.flag <> 0 ORDER BY P.born DESC"),
              (std::vector<std::string>{"12|'Verdi/EEG'", "10|'Rossi/EEG'"}));
    // A star spreads one table whole; the other gives the one column it names.
    EXPECT_EQ(rows("SELECT P.*, E.size FROM E INNER JOIN P ON E.pid = P.id WHERE E.eid = 10"),
              (std::vector<std::string>{"1|'Rossi'|dt(18324,0)|'C-1'|3|'first'|100"}));
    EXPECT_EQ(rows("SELECT * FROM P INNER JOIN E ON E.pid = P.id WHERE E.eid = 13"),
              (std::vector<std::string>{"2|'Bianchi'|NULL|NULL|4|NULL|13|2|0|'EP'|50"}));
    // Grouping, an aggregate and HAVING over columns the select list does not show.
    EXPECT_EQ(rows("SELECT P.name, COUNT(*), SUM(E.size) FROM P LEFT JOIN E ON E.pid = P.id "
                   "GROUP BY P.name, P.id HAVING MAX(E.eid) > 10 ORDER BY P.id"),
              (std::vector<std::string>{"'Rossi'|2|100", "'Bianchi'|1|50", "'Verdi'|1|300"}));
    // An assignment, and an outer row that is missing.
    EXPECT_EQ(rows("DECLARE @n NVARCHAR(30) SELECT @n = P.note FROM P INNER JOIN E ON E.pid = "
                   "P.id WHERE E.kind = N'EMG' SELECT @n"),
              (std::vector<std::string>{"'first'"}));
    ok("INSERT INTO P VALUES (4, N'Neri', NULL, N'C-4', 5, N'no exam')");
    EXPECT_EQ(rows("SELECT P.code, E.kind FROM P LEFT JOIN E ON E.pid = P.id WHERE P.id = 4"),
              (std::vector<std::string>{"'C-4'|NULL"}));
    // One table alone, filtered and sorted on columns it does not show.
    EXPECT_EQ(rows("SELECT name FROM P WHERE note IS NOT NULL ORDER BY born, code DESC"),
              (std::vector<std::string>{"'Neri'", "'Rossi'", "'Verdi'"}));
}

TEST_F(JoinColumnsTest, AnUpdateCascadesOnlyWhenARowChangesItsKey)
{
    ok("CREATE TABLE Parent( id INT NOT NULL PRIMARY KEY, v INT NULL )");
    ok("CREATE TABLE Child( cid INT NOT NULL PRIMARY KEY, pid INT NOT NULL CONSTRAINT FK_Child "
       "FOREIGN KEY REFERENCES Parent(id) ON UPDATE CASCADE )");
    ok("INSERT INTO Parent VALUES (1, 0) INSERT INTO Parent VALUES (2, 0) "
       "INSERT INTO Parent VALUES (3, 0)");
    ok("INSERT INTO Child VALUES (10, 1) INSERT INTO Child VALUES (20, 2) "
       "INSERT INTO Child VALUES (21, 2)");
    ok("UPDATE Parent SET v = id * 2");
    EXPECT_EQ(rows("SELECT cid, pid FROM Child ORDER BY cid"),
              (std::vector<std::string>{"10|1", "20|2", "21|2"}));
    // Of the rows one statement changes, only the one whose key moves takes its children along.
    RecordingSink moved = run("UPDATE Parent SET id = CASE WHEN id = 2 THEN 200 ELSE id END, "
                              "v = 9 WHERE id >= 2");
    EXPECT_TRUE(moved.errors().empty()) << moved.errorText();
    EXPECT_EQ(moved.counts(), (std::vector<int64_t>{2}));
    EXPECT_EQ(rows("SELECT id, v FROM Parent ORDER BY id"),
              (std::vector<std::string>{"1|2", "3|9", "200|9"}));
    EXPECT_EQ(rows("SELECT cid, pid FROM Child ORDER BY cid"),
              (std::vector<std::string>{"10|1", "20|200", "21|200"}));
}

} // namespace
} // namespace standin::testing
