// The archive schema's statements as the server receives them, and the shape of the default
// rows of both editions.
#include "ArchiveSchema.h"

#include <gtest/gtest.h>

#include <map>

using namespace sqllumo::archive;

TEST(ArchiveSchema, TablesInCreationOrderWithTheirColumnCountsAndIndexes)
{
    const std::vector<std::pair<std::string, size_t>> expected = {{"T_DBVersion", 1},
                                                                  {"T_Marker", 2},
                                                                  {"T_City", 2},
                                                                  {"T_Province", 2},
                                                                  {"T_Country", 2},
                                                                  {"T_Hosp_Dep", 2},
                                                                  {"T_Doc_Tech", 6},
                                                                  {"T_Patient", 29},
                                                                  {"T_Exam", 13},
                                                                  {"T_Storage", 2},
                                                                  {"T_File_Type", 9},
                                                                  {"T_File", 17},
                                                                  {"T_Class", 5},
                                                                  {"T_Item", 6},
                                                                  {"T_SubItem", 5},
                                                                  {"T_Statistic", 7},
                                                                  {"T_StatisticMask", 10},
                                                                  {"T_StatisticList", 4},
                                                                  {"T_StatisticSearch", 6},
                                                                  {"T_StatisticFileType", 2}};
    const auto& tables = ArchiveTables();
    ASSERT_EQ(tables.size(), expected.size());
    size_t indexes = 0, withoutKey = 0;
    for (size_t i = 0; i < tables.size(); ++i) {
        EXPECT_EQ(tables[i].name, expected[i].first);
        EXPECT_EQ(tables[i].columnCount(), expected[i].second) << tables[i].name;
        indexes += tables[i].indexColumns.size();
        withoutKey += !tables[i].hasIdentity();
    }
    EXPECT_EQ(indexes, 23u);
    EXPECT_EQ(withoutKey, 5u);
    const TableDef* patient = FindArchiveTable("T_Patient");
    ASSERT_NE(patient, nullptr);
    EXPECT_EQ(patient->indexName(0), "IX_T_Patient");
    EXPECT_EQ(patient->indexName(4), "IX_T_Patient_4");
    EXPECT_EQ(patient->indexColumns[4], "ID_Marker");
    EXPECT_EQ(FindArchiveTable("t_marker"), nullptr);
}

TEST(ArchiveSchema, CreateStatementsCharacterForCharacter)
{
    EXPECT_EQ(CreateTableStatement(*FindArchiveTable("T_DBVersion")),
              "CREATE TABLE T_DBVersion( [FreeText] NVARCHAR(100) NOT NULL )");
    EXPECT_EQ(CreateTableStatement(*FindArchiveTable("T_Marker")),
              "CREATE TABLE T_Marker( ID_Marker INT IDENTITY(3,1) CONSTRAINT "
              "PrimaryKey_T_Marker PRIMARY KEY, Marker NVARCHAR(50) NOT NULL )");
    EXPECT_EQ(
        CreateTableStatement(*FindArchiveTable("T_StatisticFileType")),
        "CREATE TABLE T_StatisticFileType( ID_Mask INT NOT NULL, ID_File_Type INT NOT NULL )");
    const std::string exam = CreateTableStatement(*FindArchiveTable("T_Exam"));
    EXPECT_EQ(exam.rfind("CREATE TABLE T_Exam( ID_Multi INT IDENTITY CONSTRAINT PrimaryKey_T_Exam "
                         "PRIMARY KEY, ID_Patient INT CONSTRAINT ID_Patient_fk NOT NULL FOREIGN "
                         "KEY REFERENCES T_Patient (ID_Patient) ON DELETE CASCADE ON UPDATE "
                         "CASCADE, Code NVARCHAR(30) NOT NULL, rv_1 BIT NOT NULL, ",
                         0),
              0u);
    EXPECT_NE(exam.find("rv_8 BIT NOT NULL, ID_Marker INT CONSTRAINT ID_Marker_fk NOT NULL "
                        "FOREIGN KEY REFERENCES T_Marker (ID_Marker), Comment NVARCHAR(250) "
                        "NOT NULL )"),
              std::string::npos);
    const std::string patient = CreateTableStatement(*FindArchiveTable("T_Patient"));
    EXPECT_NE(patient.find(", RecDate DATETIME NOT NULL, Photo IMAGE )"), std::string::npos);
    const std::string file = CreateTableStatement(*FindArchiveTable("T_File"));
    EXPECT_NE(file.find(", [Primary] BIT NOT NULL, ID_Type INT NOT NULL FOREIGN KEY REFERENCES "
                        "T_File_Type (ID_Type), [Date] DATETIME NOT NULL, "),
              std::string::npos);
    EXPECT_NE(file.find("ID_Storage INT NULL FOREIGN KEY REFERENCES T_Storage (ID_Storage), "),
              std::string::npos);
}

TEST(ArchiveSchema, DefaultRowsOfBothEditions)
{
    const TableDef& types = *FindArchiveTable("T_File_Type");
    const auto ordinary = DefaultRowStatements(types, false, "");
    const auto newer = DefaultRowStatements(types, true, "071226123456");
    ASSERT_EQ(ordinary.size(), 63u);
    ASSERT_EQ(newer.size(), 63u);
    const std::string head = "INSERT INTO T_File_Type(File_Type,File_Primary,File_Priority,"
                             "File_Visible,File_Exclude,File_App,File_Prefix,File_Ext) VALUES ";
    EXPECT_EQ(ordinary[0], head + "('EEG Trace',1,0,1,'1,2,3','Q_EEG','EEG','TRC')");
    const std::map<int, std::string> named = {
        {20, "'Zuvud Report'"}, {32, "'Evoked'"}, {48, "'SPO'"}, {63, "'EMG-16'"}};
    for (const auto& [id, name] : named) {
        EXPECT_EQ(ordinary[id - 1].substr(head.size() + 1, name.size()), name) << id;
        EXPECT_EQ(newer[id - 1], ordinary[id - 1]) << id;
    }
    EXPECT_EQ(ordinary[31], head + "('Evoked',1,1,1,'','','EP','TRC')");
    EXPECT_EQ(ordinary[47], head + "('SPO',1,1,1,'','','EMG','TRC')");
    EXPECT_EQ(ordinary[18], head + "('x',0,0,0,'','','','')");
    EXPECT_EQ(newer[18], head + "('Database',0,0,0,'','071226123456','','')");
    for (size_t i = 0; i < 63; ++i) {
        if (i != 18) {
            EXPECT_EQ(ordinary[i], newer[i]) << i + 1;
        }
    }

    const TableDef& version = *FindArchiveTable("T_DBVersion");
    const auto v1 = DefaultRowStatements(version, false, "");
    const auto v2 = DefaultRowStatements(version, true, "code");
    ASSERT_EQ(v1.size(), 8u);
    EXPECT_EQ(v1[0], "INSERT INTO T_DBVersion([FreeText]) VALUES ('Version:1.01')");
    EXPECT_EQ(v2[0], "INSERT INTO T_DBVersion([FreeText]) VALUES ('')");
    EXPECT_EQ(v1[1], "INSERT INTO T_DBVersion([FreeText]) VALUES ('TYPE:ARCHIVE')");
    EXPECT_EQ(v1[7], "INSERT INTO T_DBVersion([FreeText]) VALUES ('STAT_INIT:TRUE')");
    EXPECT_EQ(std::vector(v1.begin() + 1, v1.end()), std::vector(v2.begin() + 1, v2.end()));

    EXPECT_EQ(DefaultRowStatements(*FindArchiveTable("T_Marker"), false, ""),
              std::vector<std::string>{"INSERT INTO T_Marker(Marker) VALUES ('')"});
    EXPECT_EQ(DefaultRowStatements(*FindArchiveTable("T_Doc_Tech"), true, "c"),
              std::vector<std::string>{
                  "INSERT INTO T_Doc_Tech(Title,L_Name,F_Name,Doc_Tech,Int_Ext) VALUES "
                  "('','','',0,0)"});
    size_t tablesWithRows = 0;
    for (const auto& table : ArchiveTables())
        tablesWithRows += !DefaultRowStatements(table, false, "").empty();
    EXPECT_EQ(tablesWithRows, 8u);
}

TEST(ArchiveSchema, StructureTestExpectationsFollowTheDefinitions)
{
    const auto version = ExpectedColumns(*FindArchiveTable("T_DBVersion"));
    ASSERT_EQ(version.size(), 1u);
    EXPECT_EQ(version[0].upperName, "FREETEXT");
    EXPECT_EQ(version[0].typeCode, 202);
    EXPECT_EQ(version[0].definedSize, 100);

    std::map<std::string, std::pair<int, int>> patient;
    for (const auto& c : ExpectedColumns(*FindArchiveTable("T_Patient")))
        patient[c.upperName] = {c.typeCode, c.definedSize};
    ASSERT_EQ(patient.size(), 29u);
    EXPECT_EQ(patient["ID_PATIENT"], std::make_pair(3, -1));
    EXPECT_EQ(patient["L_NAME"], std::make_pair(202, 50));
    EXPECT_EQ(patient["HEIGHT"], std::make_pair(2, -1));
    EXPECT_EQ(patient["SEX"], std::make_pair(11, -1));
    EXPECT_EQ(patient["B_DATE"], std::make_pair(135, -1));
    EXPECT_EQ(patient["ID_CITY"], std::make_pair(3, -1));
    EXPECT_EQ(patient["PHOTO"], std::make_pair(0, -1));

    const auto file = ExpectedColumns(*FindArchiveTable("T_File"));
    EXPECT_EQ(file[0].upperName, "ID_EXAM");
    EXPECT_EQ(file[2].upperName, "PRIMARY");
    EXPECT_EQ(ExpectedColumns(*FindArchiveTable("T_File_Type"))[3].typeCode, 17);
}
