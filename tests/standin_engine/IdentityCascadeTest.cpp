// Identity values and referential actions: seeds, increments, IDENTITY_INSERT, values not
// reused, cascades where declared and no action otherwise, checked at the statement's end.
#include "EngineTestSupport.h"

namespace standin::testing {
namespace {

class IdentityCascadeTest : public EngineFixture {};

TEST_F(IdentityCascadeTest, SeedIncrementAndScopeIdentity)
{
    ok("CREATE TABLE A( id INT IDENTITY(10,5) PRIMARY KEY, v NVARCHAR(5) NOT NULL )");
    RecordingSink sink =
        run("INSERT INTO A(v) VALUES ('a'); SELECT SCOPE_IDENTITY() AS id, @@IDENTITY");
    ASSERT_EQ(sink.results.size(), 1u);
    EXPECT_EQ(sink.results[0].lines(), (std::vector<std::string>{"10|10"}));
    EXPECT_EQ(sink.results[0].columns[0].type, SqlType::Decimal);
    EXPECT_EQ(sink.results[0].columns[0].precision, 38);
    EXPECT_EQ(sink.results[0].columns[0].scale, 0);
    ok("INSERT INTO A(v) VALUES ('b') INSERT INTO A(v) VALUES ('c')");
    EXPECT_EQ(rows("SELECT id FROM A ORDER BY id"), (std::vector<std::string>{"10", "15", "20"}));
    EXPECT_EQ(rows("SELECT SCOPE_IDENTITY()"), (std::vector<std::string>{"20"}));
    // Values are not reused after a delete, nor after a failed insert.
    ok("DELETE FROM A WHERE id = 20");
    EXPECT_EQ(errorOf("INSERT INTO A(v) VALUES ('toolong')"), 8152);
    ok("INSERT INTO A(v) VALUES ('d')");
    EXPECT_EQ(rows("SELECT MAX(id) FROM A"), (std::vector<std::string>{"30"}));
    ok("CREATE TABLE D( id INT IDENTITY(1,-1), v INT NULL )");
    ok("INSERT INTO D(v) VALUES (1) INSERT INTO D(v) VALUES (2)");
    EXPECT_EQ(rows("SELECT id FROM D"), (std::vector<std::string>{"1", "0"}));
}

TEST_F(IdentityCascadeTest, IdentityInsertRulesAndTheNextValueAfterExplicitOnes)
{
    ok("CREATE TABLE T_Marker( ID_Marker INT IDENTITY(3,1) CONSTRAINT PrimaryKey_T_Marker PRIMARY "
       "KEY, Marker NVARCHAR(50) NOT NULL )");
    RecordingSink off = run("INSERT INTO T_Marker(ID_Marker, Marker) VALUES (7, 'x')");
    EXPECT_EQ(off.errors(), (std::vector<int>{544}));
    EXPECT_EQ(off.errorText(), "Cannot insert explicit value for identity column in table "
                               "'T_Marker' when IDENTITY_INSERT is set to OFF.");
    ok("SET IDENTITY_INSERT T_Marker ON");
    ok("INSERT INTO T_Marker(ID_Marker, Marker) VALUES (7, 'x')");
    ok("INSERT INTO T_Marker(ID_Marker, Marker) VALUES (5, 'y')");
    EXPECT_EQ(errorOf("INSERT INTO T_Marker(Marker) VALUES ('z')"), 545);
    EXPECT_EQ(errorOf("INSERT INTO T_Marker VALUES (8, 'z')"), 8101);
    RecordingSink dup = run("INSERT INTO T_Marker(ID_Marker, Marker) VALUES (7, 'again')");
    EXPECT_EQ(dup.errors(), (std::vector<int>{2627}));
    EXPECT_EQ(dup.errorText(),
              "Violation of PRIMARY KEY constraint 'PrimaryKey_T_Marker'. Cannot insert duplicate "
              "key in object 'dbo.T_Marker'. The duplicate key value is (7).");
    EXPECT_EQ(dup.error()->severity, 14);
    ok("CREATE TABLE Other( id INT IDENTITY, v INT NULL )");
    EXPECT_EQ(errorOf("SET IDENTITY_INSERT Other ON"), 8107);
    EXPECT_EQ(errorOf("CREATE TABLE Plain( v INT ) SET IDENTITY_INSERT Plain ON"), 8106);
    ok("SET IDENTITY_INSERT T_Marker OFF");
    ok("INSERT INTO T_Marker(Marker) VALUES ('next')");
    EXPECT_EQ(rows("SELECT ID_Marker FROM T_Marker WHERE Marker = 'next'"),
              (std::vector<std::string>{"8"}));
    EXPECT_EQ(errorOf("UPDATE T_Marker SET ID_Marker = 100"), 8102);
}

TEST_F(IdentityCascadeTest, CascadingDeletesAndUpdatesFollowTheChain)
{
    ok("CREATE TABLE T_Patient( ID_Patient INT IDENTITY CONSTRAINT PrimaryKey_T_Patient PRIMARY "
       "KEY, L_Name NVARCHAR(50) NOT NULL )");
    ok("CREATE TABLE T_Exam( ID_Multi INT IDENTITY CONSTRAINT PrimaryKey_T_Exam PRIMARY KEY, "
       "ID_Patient INT "
       "CONSTRAINT ID_Patient_fk NOT NULL FOREIGN KEY REFERENCES T_Patient (ID_Patient) ON DELETE "
       "CASCADE ON UPDATE CASCADE )");
    ok("CREATE TABLE T_File( ID_Exam INT IDENTITY CONSTRAINT PrimaryKey_T_File PRIMARY KEY, "
       "ID_Multi INT CONSTRAINT "
       "ID_Multi_fk NOT NULL FOREIGN KEY REFERENCES T_Exam (ID_Multi) ON DELETE CASCADE ON UPDATE "
       "CASCADE )");
    ok("CREATE TABLE T_Statistic( ID_Exam INT NOT NULL FOREIGN KEY REFERENCES T_File (ID_Exam) ON "
       "DELETE CASCADE ON UPDATE CASCADE, "
       "ID_Multi INT NOT NULL FOREIGN KEY REFERENCES T_Exam (ID_Multi) )");
    ok("INSERT INTO T_Patient(L_Name) VALUES ('a') INSERT INTO T_Patient(L_Name) VALUES ('b')");
    ok("INSERT INTO T_Exam(ID_Patient) VALUES (1) INSERT INTO T_Exam(ID_Patient) VALUES (1) INSERT "
       "INTO T_Exam(ID_Patient) VALUES (2)");
    ok("INSERT INTO T_File(ID_Multi) VALUES (1) INSERT INTO T_File(ID_Multi) VALUES (2) INSERT "
       "INTO T_File(ID_Multi) VALUES (3)");

    RecordingSink orphan = run("INSERT INTO T_Exam(ID_Patient) VALUES (9)");
    EXPECT_EQ(orphan.errors(), (std::vector<int>{547}));
    EXPECT_EQ(orphan.errorText(),
              "The INSERT statement conflicted with the FOREIGN KEY constraint \"ID_Patient_fk\". "
              "The conflict occurred in database \"EngineTest\", table \"dbo.T_Patient\", column "
              "'ID_Patient'.");
    EXPECT_EQ(orphan.error()->state, 0);

    // Cascading delete through two levels; the statement counts only its own rows.
    RecordingSink del = run("DELETE FROM T_Patient WHERE ID_Patient = 1");
    EXPECT_TRUE(del.errors().empty()) << del.errorText();
    EXPECT_EQ(del.counts(), (std::vector<int64_t>{1}));
    EXPECT_EQ(rows("SELECT ID_Multi FROM T_Exam"), (std::vector<std::string>{"3"}));
    EXPECT_EQ(rows("SELECT ID_Exam FROM T_File"), (std::vector<std::string>{"3"}));

    // Rows reached by a cascade satisfy a no-action reference to the same parent ...
    ok("INSERT INTO T_Statistic VALUES (3, 3)");
    ok("BEGIN TRAN DELETE FROM T_Exam WHERE ID_Multi = 3");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T_Statistic"), (std::vector<std::string>{"0"}));
    ok("ROLLBACK");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T_Statistic"), (std::vector<std::string>{"1"}));
    // ... but a row that stays behind blocks the delete of its parent and nothing changes.
    // (the failed insert above took identity value 4, as SQL Server's does)
    ok("INSERT INTO T_Exam(ID_Patient) VALUES (2) INSERT INTO T_File(ID_Multi) VALUES (5)");
    ok("UPDATE T_Statistic SET ID_Exam = 4");
    RecordingSink blocked = run("DELETE FROM T_Exam WHERE ID_Multi = 3");
    EXPECT_EQ(blocked.errors(), (std::vector<int>{547}));
    EXPECT_EQ(
        blocked.errorText().rfind("The DELETE statement conflicted with the REFERENCE constraint "
                                  "\"FK__T_Statist__ID_Mu__",
                                  0),
        0u)
        << blocked.errorText();
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T_File"), (std::vector<std::string>{"2"}));

    // Cascading key update: the exam's new key reaches its files.
    ok("DELETE FROM T_Statistic");
    ok("SET IDENTITY_INSERT T_Patient ON INSERT INTO T_Patient(ID_Patient, L_Name) VALUES (50, "
       "'c') SET IDENTITY_INSERT T_Patient OFF");
    ok("UPDATE T_Exam SET ID_Patient = 50 WHERE ID_Multi = 3");
    EXPECT_EQ(rows("SELECT ID_Patient FROM T_Exam ORDER BY ID_Multi"),
              (std::vector<std::string>{"50", "2"}));
    EXPECT_EQ(errorOf("UPDATE T_Exam SET ID_Patient = 77"), 547);
    EXPECT_NE(run("UPDATE T_Exam SET ID_Patient = 77")
                  .errorText()
                  .find("The UPDATE statement conflicted with the FOREIGN KEY"),
              std::string::npos);
}

TEST_F(IdentityCascadeTest, NoActionReferencesAreCheckedAgainstTheFinalState)
{
    ok("CREATE TABLE P( id INT NOT NULL CONSTRAINT PK_P PRIMARY KEY )");
    ok("CREATE TABLE C( pid INT NULL CONSTRAINT FK_C REFERENCES P (id) )");
    ok("INSERT INTO P VALUES (1) INSERT INTO P VALUES (2) INSERT INTO C VALUES (1) INSERT INTO C "
       "VALUES (NULL)");
    RecordingSink sink = run("DELETE FROM P WHERE id = 1");
    EXPECT_EQ(sink.errors(), (std::vector<int>{547}));
    EXPECT_EQ(
        sink.errorText(),
        "The DELETE statement conflicted with the REFERENCE constraint \"FK_C\". The conflict "
        "occurred in database \"EngineTest\", table \"dbo.C\", column 'pid'.");
    EXPECT_EQ(errorOf("UPDATE P SET id = 5 WHERE id = 1"), 547);
    ok("UPDATE P SET id = 7 WHERE id = 2");
    ok("DELETE FROM C WHERE pid = 1");
    ok("DELETE FROM P");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM P"), (std::vector<std::string>{"0"}));
    // A self reference removed in one statement, parent and child together.
    ok("CREATE TABLE S( id INT NOT NULL PRIMARY KEY, parent INT NULL REFERENCES S (id) )");
    ok("INSERT INTO S VALUES (1, NULL) INSERT INTO S VALUES (2, 1) INSERT INTO S VALUES (3, 2)");
    EXPECT_EQ(errorOf("DELETE FROM S WHERE id = 1"), 547);
    ok("DELETE FROM S");
}

} // namespace
} // namespace standin::testing

namespace standin::testing {
namespace {

// An identity column added to a table with rows numbers them; opened again, the table goes on
// after the last of those numbers.
TEST_F(IdentityCascadeTest, AnAddedIdentityColumnGoesOnAfterItsRowsOnceOpenedAgain)
{
    ok("CREATE TABLE T( v NVARCHAR(5) NOT NULL )");
    ok("INSERT INTO T VALUES (N'a') INSERT INTO T VALUES (N'b') INSERT INTO T VALUES (N'c')");
    ok("ALTER TABLE T ADD id INT IDENTITY");
    session.reset();
    engine.reset();
    engine = Engine::open(options());
    session = connect(u"EngineTest");
    ok("INSERT INTO T(v) VALUES (N'd')");
    EXPECT_EQ(rows("SELECT id FROM T ORDER BY id"), (std::vector<std::string>{"1", "2", "3", "4"}));
}

} // namespace
} // namespace standin::testing
