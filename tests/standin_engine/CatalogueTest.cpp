// The program's own schemas created statement by statement, then listed through the
// catalogue procedures and views the program and its data layer read.
#include "EngineTestSupport.h"

namespace standin::testing {
namespace {

class CatalogueTest : public EngineFixture {
protected:
    void runAll(const std::string& file)
    {
        for (const auto& statement : statementsOf(file)) {
            RecordingSink sink = run(statement);
            ASSERT_TRUE(sink.errors().empty()) << statement << "\n" << sink.errorText();
        }
    }
};

TEST_F(CatalogueTest, ArchiveSchemaCreatesTwentyTablesWithKeysIndexesAndDefaultRows)
{
    runAll("archive_create.sql");
    EXPECT_EQ(
        rows("SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_TYPE = 'BASE TABLE'"),
        (std::vector<std::string>{"20"}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T_DBVersion"), (std::vector<std::string>{"8"}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM T_File_Type"), (std::vector<std::string>{"63"}));
    EXPECT_EQ(
        rows(
            "SELECT TOP 1 * FROM T_DBVersion WHERE (([FreeText] = 'Version:1.03') OR ([FreeText] = "
            "'Version:1.02') OR ([FreeText] = 'Version:1.01') OR ([FreeText] = 'Version:1.00'))"),
        (std::vector<std::string>{"'Version:1.01'"}));
    EXPECT_EQ(rows("SELECT ID_Marker, Marker FROM T_Marker"), (std::vector<std::string>{"3|''"}));

    int indexes = 0;
    for (const auto& table :
         rows("SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES ORDER BY TABLE_NAME")) {
        RecordingSink sink = run("sp_helpindex " + table);
        if (!sink.results.empty())
            for (const auto& line : sink.results.back().lines())
                if (line.rfind("'IX_", 0) == 0)
                    ++indexes;
    }
    EXPECT_EQ(indexes, 23);
}

TEST_F(CatalogueTest, KeyAndIndexListingsHaveSqlServersColumnsAndRows)
{
    runAll("archive_create.sql");
    RecordingSink pkeys = run("sp_pkeys 'T_Marker'");
    ASSERT_EQ(pkeys.results.size(), 1u);
    EXPECT_EQ(pkeys.results[0].names(),
              (std::vector<std::string>{"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME",
                                        "COLUMN_NAME", "KEY_SEQ", "PK_NAME"}));
    EXPECT_EQ(pkeys.results[0].lines(),
              (std::vector<std::string>{
                  "'EngineTest'|'dbo'|'T_Marker'|'ID_Marker'|1|'PrimaryKey_T_Marker'"}));
    EXPECT_EQ(pkeys.statuses, (std::vector<int32_t>{0}));
    EXPECT_EQ(pkeys.events.back(), "doneproc");
    EXPECT_EQ(run("sp_pkeys N'T_StatisticFileType'").results.at(0).rows.size(), 0u);

    RecordingSink help = run("sp_helpindex 'T_Patient'");
    ASSERT_EQ(help.results.size(), 1u);
    EXPECT_EQ(help.results[0].names(),
              (std::vector<std::string>{"index_name", "index_description", "index_keys"}));
    EXPECT_EQ(
        help.results[0].lines(),
        (std::vector<std::string>{"'IX_T_Patient'|'nonclustered located on PRIMARY'|'L_Name'",
                                  "'IX_T_Patient_1'|'nonclustered located on PRIMARY'|'F_Name'",
                                  "'IX_T_Patient_2'|'nonclustered located on PRIMARY'|'B_Date'",
                                  "'IX_T_Patient_3'|'nonclustered located on PRIMARY'|'Used_By'",
                                  "'IX_T_Patient_4'|'nonclustered located on PRIMARY'|'ID_Marker'",
                                  "'PrimaryKey_T_Patient'|'clustered, unique, primary key located "
                                  "on PRIMARY'|'ID_Patient'"}));

    ok("CREATE NONCLUSTERED INDEX [IX_Names] ON [T_Doc_Tech] ([L_Name] ASC, F_Name)");
    EXPECT_EQ(run("sp_helpindex N'T_Doc_Tech'").results.at(0).lines().front(),
              "'IX_Names'|'nonclustered located on PRIMARY'|'L_Name, F_Name'");

    // A table without any index: no result set, only the message.
    RecordingSink none = run("sp_helpindex 'T_DBVersion'");
    EXPECT_TRUE(none.results.empty());
    ASSERT_EQ(none.messages.size(), 1u);
    EXPECT_EQ(none.messages[0].number, 15472);
    EXPECT_FALSE(none.messages[0].isError());
    EXPECT_EQ(
        u8(none.messages[0].text),
        "The object 'T_DBVersion' does not have any indexes, or you do not have permissions.");
    EXPECT_EQ(errorOf("sp_helpindex 'T_Nothing'"), 15009);
}

TEST_F(CatalogueTest, ForeignKeyListingShowsRulesNamesAndKeySequence)
{
    runAll("archive_create.sql");
    RecordingSink fk = run("sp_fkeys 'T_Exam'");
    ASSERT_EQ(fk.results.size(), 1u);
    EXPECT_EQ(fk.results[0].names(),
              (std::vector<std::string>{"PKTABLE_QUALIFIER", "PKTABLE_OWNER", "PKTABLE_NAME",
                                        "PKCOLUMN_NAME", "FKTABLE_QUALIFIER", "FKTABLE_OWNER",
                                        "FKTABLE_NAME", "FKCOLUMN_NAME", "KEY_SEQ", "UPDATE_RULE",
                                        "DELETE_RULE", "FK_NAME", "PK_NAME", "DEFERRABILITY"}));
    auto lines = fk.results[0].lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "'EngineTest'|'dbo'|'T_Exam'|'ID_Multi'|'EngineTest'|'dbo'|'T_File'|'ID_Multi'|1|0|0|"
              "'ID_Multi_fk'|'PrimaryKey_T_Exam'|7");
    EXPECT_NE(lines[1].find("'T_Statistic'|'ID_Multi'|1|1|1|'FK__T_Statist__ID_Mu__"),
              std::string::npos)
        << lines[1];

    // The eight relations the structure test checks, with their rules.
    struct Relation {
        const char* parent;
        const char* child;
        const char* column;
        int rule;
    } relations[] = {{"T_Patient", "T_Exam", "ID_Patient", 0},
                     {"T_Exam", "T_File", "ID_Multi", 0},
                     {"T_Exam", "T_Statistic", "ID_Multi", 1},
                     {"T_File", "T_Statistic", "ID_Exam", 0},
                     {"T_Class", "T_Item", "ID_Class", 0},
                     {"T_Item", "T_SubItem", "ID_Item", 0},
                     {"T_StatisticMask", "T_StatisticList", "ID_Mask", 0},
                     {"T_StatisticMask", "T_StatisticSearch", "ID_Mask", 0}};
    for (const auto& r : relations) {
        RecordingSink sink = run(std::string("sp_fkeys '") + r.parent + "'");
        ASSERT_EQ(sink.results.size(), 1u) << r.parent;
        int found = 0;
        for (const auto& row : sink.results[0].rows)
            if (show(row[6]) == std::string("'") + r.child + "'" &&
                show(row[7]) == std::string("'") + r.column + "'") {
                ++found;
                EXPECT_EQ(show(row[9]), std::to_string(r.rule)) << r.parent << "-" << r.child;
                EXPECT_EQ(show(row[10]), std::to_string(r.rule)) << r.parent << "-" << r.child;
            }
        EXPECT_EQ(found, 1) << r.parent << "-" << r.child;
    }
}

TEST_F(CatalogueTest, ColumnPropertyObjectIdAndInformationSchemaColumns)
{
    runAll("archive_create.sql");
    EXPECT_EQ(
        rows("SELECT COLUMNPROPERTY( OBJECT_ID('T_Marker'),'ID_Marker','IsIdentity') AS CProp"),
        (std::vector<std::string>{"1"}));
    EXPECT_EQ(rows("SELECT COLUMNPROPERTY( OBJECT_ID('T_Marker'),'Marker','IsIdentity') AS CProp"),
              (std::vector<std::string>{"0"}));
    EXPECT_EQ(rows("SELECT COLUMNPROPERTY( OBJECT_ID('T_None'),'Marker','IsIdentity')"),
              (std::vector<std::string>{"NULL"}));
    EXPECT_EQ(run("SELECT COLUMNPROPERTY( OBJECT_ID('T_Marker'),'ID_Marker','IsIdentity') AS CProp")
                  .results.at(0)
                  .names(),
              (std::vector<std::string>{"CProp"}));
    EXPECT_EQ(
        rows("SELECT COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, ORDINAL_POSITION, "
             "IS_NULLABLE "
             "FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = N'T_Patient' AND ORDINAL_POSITION "
             "IN (1, 2, 6, 7, 29) "
             "ORDER BY ORDINAL_POSITION"),
        (std::vector<std::string>{"'ID_Patient'|'int'|NULL|1|'NO'", "'Title'|'nvarchar'|10|2|'NO'",
                                  "'B_Date'|'datetime'|NULL|6|'NO'", "'Sex'|'bit'|NULL|7|'NO'",
                                  "'Photo'|'image'|2147483647|29|'YES'"}));
    EXPECT_EQ(
        rows("SELECT COLUMN_NAME FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = 't_dbversion'"),
        (std::vector<std::string>{"'FreeText'"}));
    ok("CREATE TABLE Wide( a NVARCHAR(MAX), b VARBINARY(MAX), c NTEXT, d TINYINT, e SMALLINT )");
    EXPECT_EQ(
        rows("SELECT CHARACTER_MAXIMUM_LENGTH, NUMERIC_PRECISION FROM INFORMATION_SCHEMA.COLUMNS "
             "WHERE TABLE_NAME = 'Wide' ORDER BY ORDINAL_POSITION"),
        (std::vector<std::string>{"-1|NULL", "-1|NULL", "1073741823|NULL", "NULL|3", "NULL|5"}));
}

TEST_F(CatalogueTest, ImportPathAddsKeysAfterTheRows)
{
    runAll("archive_import.sql");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES"),
              (std::vector<std::string>{"20"}));
    RecordingSink fk = run("sp_fkeys 'T_Patient'");
    ASSERT_EQ(fk.results.size(), 1u);
    ASSERT_EQ(fk.results[0].rows.size(), 1u);
    EXPECT_EQ(show(fk.results[0].rows[0][11]), "'ID_Patient_fk'");
    EXPECT_EQ(
        run("sp_pkeys 'T_File'").results.at(0).lines(),
        (std::vector<std::string>{"'EngineTest'|'dbo'|'T_File'|'ID_Exam'|1|'PrimaryKey_T_File'"}));
}

TEST_F(CatalogueTest, KeysAddedOverRowsThatBreakThemAreRefused)
{
    ok("CREATE TABLE P( id INT NOT NULL, name NVARCHAR(10) NOT NULL )");
    ok("CREATE TABLE C( id INT NOT NULL, pid INT NOT NULL )");
    ok("INSERT INTO P VALUES (1, 'a') INSERT INTO P VALUES (1, 'b')");
    RecordingSink dup = run("ALTER TABLE P ADD CONSTRAINT PK_P PRIMARY KEY (id)");
    EXPECT_EQ(dup.errors(), (std::vector<int>{1505, 1750}));
    EXPECT_EQ(dup.errorText(),
              "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for "
              "the object name 'dbo.P' and the index name 'PK_P'. The duplicate key value is (1).");
    ok("DELETE FROM P WHERE name = 'b'");
    ok("ALTER TABLE P ADD CONSTRAINT PK_P PRIMARY KEY (id)");
    ok("INSERT INTO C VALUES (1, 2)");
    RecordingSink orphan =
        run("ALTER TABLE C ADD CONSTRAINT FK_C FOREIGN KEY (pid) REFERENCES P (id)");
    EXPECT_EQ(orphan.errors(), (std::vector<int>{547}));
    EXPECT_EQ(orphan.errorText(),
              "The ALTER TABLE statement conflicted with the FOREIGN KEY constraint \"FK_C\". The "
              "conflict occurred in database \"EngineTest\", table \"dbo.P\", column 'id'.");
    EXPECT_EQ(run("sp_fkeys 'P'").results.at(0).rows.size(), 0u);
    ok("UPDATE C SET pid = 1");
    ok("ALTER TABLE C ADD CONSTRAINT FK_C FOREIGN KEY (pid) REFERENCES P (id)");
    EXPECT_EQ(run("sp_fkeys 'P'").results.at(0).rows.size(), 1u);
}

TEST_F(CatalogueTest, PasswordSchemaAndItsKeyRulesAsTheUpgradeMeetsThem)
{
    runAll("password_create.sql");
    RecordingSink roles = run("sp_fkeys 'T_SecurityRoles'");
    ASSERT_EQ(roles.results.size(), 1u);
    auto lines = roles.results[0].lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("'T_GenericUser'|'Access_Type'|1|0|0|'fk_User_Role'"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("'T_SecurityRolesFunctions'|'ID_Role'|1|0|0|'fk_RolesFuncts_Roles'"),
              std::string::npos)
        << lines[1];

    // A keyed column cannot be altered; the upgrade drops the key first.
    RecordingSink alter =
        run("ALTER TABLE T_GenericUser ALTER COLUMN User_Name NVARCHAR(64) NOT NULL");
    ASSERT_EQ(alter.errors(), (std::vector<int>{5074, 4922}));
    EXPECT_EQ(u8(alter.messages[0].text),
              "The object 'PrimaryKey_T_GenericUser' is dependent on column 'User_Name'.");
    EXPECT_EQ(u8(alter.messages[1].text), "ALTER TABLE ALTER COLUMN User_Name failed because one "
                                          "or more objects access this column.");
    EXPECT_EQ(alter.messages[0].severity, 16);
    ok("ALTER TABLE T_GenericUser DROP CONSTRAINT [PrimaryKey_T_GenericUser]");
    ok("ALTER TABLE T_GenericUser ALTER COLUMN User_Name NVARCHAR(64) NOT NULL");
    ok("ALTER TABLE T_GenericUser ADD CONSTRAINT PrimaryKey_T_GenericUser PRIMARY KEY (User_Name)");
    EXPECT_EQ(run("sp_pkeys 'T_GenericUser'").results.at(0).rows.size(), 1u);

    ok("ALTER TABLE T_SecurityFunctions DROP CONSTRAINT fk_Functs_MacroFuncts");
    EXPECT_EQ(run("sp_fkeys 'T_SecurityMacroFunctions'").results.at(0).rows.size(), 0u);
    ok("ALTER TABLE T_SecurityFunctions ADD CONSTRAINT fk_Functs_MacroFuncts FOREIGN KEY "
       "(ID_MacroFunction) "
       "REFERENCES T_SecurityMacroFunctions (ID_MacroFunction) ON DELETE CASCADE ON UPDATE "
       "CASCADE ");
    RecordingSink missing = run("ALTER TABLE T_SecurityFunctions DROP CONSTRAINT fk_Nothing");
    EXPECT_EQ(missing.errors(), (std::vector<int>{3728, 3727}));
}

TEST_F(CatalogueTest, DefinitionErrorsCarrySqlServersNumbersAndTexts)
{
    ok("CREATE TABLE T_Marker( ID_Marker INT IDENTITY(3,1) CONSTRAINT PrimaryKey_T_Marker PRIMARY "
       "KEY, Marker NVARCHAR(50) NOT NULL )");
    struct Case {
        const char* statement;
        std::vector<int> errors;
        const char* text;
    } cases[] = {
        {"CREATE TABLE t_marker( x INT )",
         {2714},
         "There is already an object named 't_marker' in the database."},
        {"CREATE TABLE T2( x INT CONSTRAINT PrimaryKey_T_Marker PRIMARY KEY )",
         {2714, 1750},
         "There is already an object named 'PrimaryKey_T_Marker' in the database."},
        {
            "CREATE TABLE T3( x INT REFERENCES T_Nothing (id) )",
            {1767, 1750},
            "Foreign key 'FK__T3__x__",
        },
        {"CREATE TABLE T4( x INT, x INT )",
         {2705},
         "Column names in each table must be unique. Column name 'x' in table 'T4' is specified "
         "more than once."},
        {"CREATE TABLE T5( a INT IDENTITY, b INT IDENTITY )",
         {2744},
         "Multiple identity columns specified"},
        {"CREATE TABLE T6( a NVARCHAR(10) IDENTITY )",
         {2749},
         "Identity column 'a' must be of data type int"},
        {"DROP TABLE T_Nothing",
         {3701},
         "Cannot drop the table 'T_Nothing', because it does not exist or you do not have "
         "permission."},
        {"CREATE INDEX IX_A ON T_Marker (Nothing)", {1911}, "Column name 'Nothing' does not exist"},
        {"DROP INDEX T_Marker.IX_None", {3703}, "Cannot drop the index 'T_Marker.IX_None'"},
        {"CREATE TABLE T7( a INT NULL PRIMARY KEY )",
         {8111, 1750},
         "Cannot define PRIMARY KEY constraint on nullable"},
        {"CREATE TABLE T8( a NVARCHAR(4001) )",
         {131},
         "The size (4001) given to the type 'nvarchar' exceeds"},
    };
    for (const auto& c : cases) {
        RecordingSink sink = run(c.statement);
        EXPECT_EQ(sink.errors(), c.errors) << c.statement;
        EXPECT_EQ(sink.errorText().rfind(c.text, 0), 0u) << c.statement << "\n" << sink.errorText();
    }
    ok("CREATE TABLE Child( id INT REFERENCES T_Marker (ID_Marker) )");
    EXPECT_EQ(errorOf("DROP TABLE T_Marker"), 3726);
    ok("DROP TABLE Child");
    ok("DROP TABLE T_Marker");
    EXPECT_EQ(rows("SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES"),
              (std::vector<std::string>{"0"}));
}

TEST_F(CatalogueTest, ConnectionsViewListsEachOpenSessionAsItsFrontEndDescribedIt)
{
    ConnectionInfo remote;
    remote.encrypted = true;
    remote.clientAddress = "127.0.0.1";
    remote.clientPort = 50123;
    remote.packetSize = 8192;
    auto other = engine->login(u"sa", u16(kSaPassword), u"master", remote).session;
    ASSERT_TRUE(other);
    const std::string own =
        "SELECT encrypt_option, net_transport, auth_scheme, client_net_address, "
        "client_tcp_port, net_packet_size FROM sys.dm_exec_connections "
        "WHERE session_id = @@SPID";
    EXPECT_EQ(rows(own), (std::vector<std::string>{
                             "'FALSE'|'Shared memory'|'SQL'|'<local machine>'|NULL|4096"}));
    RecordingSink theirs = run(own, other.get());
    ASSERT_EQ(theirs.results.size(), 1u) << theirs.errorText();
    EXPECT_EQ(theirs.results[0].lines(),
              (std::vector<std::string>{"'TRUE'|'TCP'|'SQL'|'127.0.0.1'|50123|8192"}));

    const std::string count = "SELECT COUNT(*) FROM sys.dm_exec_connections";
    EXPECT_EQ(rows(count), (std::vector<std::string>{"2"}));
    other.reset();
    EXPECT_EQ(rows(count), (std::vector<std::string>{"1"}));
}

} // namespace
} // namespace standin::testing
