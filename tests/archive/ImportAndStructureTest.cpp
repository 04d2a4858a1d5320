// The import's keyless table definitions and its later key statements, and what the structure
// test expects of each table and relation, all as derived from the one schema definition.
#include "ArchiveSchema.h"
#include "TestArchiveStructure.h"

#include <gtest/gtest.h>

#include <map>

using namespace sqllumo::archive;

namespace {

const TableDef& table(const std::string& name)
{
    const TableDef* found = FindArchiveTable(name);
    if (!found)
        throw std::runtime_error("no table " + name);
    return *found;
}

} // namespace

TEST(ArchiveImport, TableStatementsWithoutSeedsKeysOrReferences)
{
    const std::map<std::string, std::string> expected = {
        {"T_DBVersion", "CREATE TABLE T_DBVersion( [FreeText] NVARCHAR(100) NOT NULL )"},
        {"T_Marker",
         "CREATE TABLE T_Marker( ID_Marker INT IDENTITY, Marker NVARCHAR(50) NOT NULL )"},
        {"T_City", "CREATE TABLE T_City( ID_City INT IDENTITY, City NVARCHAR(30) NOT NULL )"},
        {"T_Exam",
         "CREATE TABLE T_Exam( ID_Multi INT IDENTITY, ID_Patient INT NOT NULL, Code NVARCHAR(30) "
         "NOT NULL, rv_1 BIT NOT NULL, rv_2 BIT NOT NULL, rv_3 BIT NOT NULL, rv_4 BIT NOT NULL, "
         "rv_5 BIT NOT NULL, rv_6 BIT NOT NULL, rv_7 BIT NOT NULL, rv_8 BIT NOT NULL, ID_Marker "
         "INT NOT NULL, Comment NVARCHAR(250) NOT NULL )"},
        {"T_File",
         "CREATE TABLE T_File( ID_Exam INT IDENTITY, ID_Multi INT NOT NULL, [Primary] BIT NOT "
         "NULL, ID_Type INT NOT NULL, [Date] DATETIME NOT NULL, ID_Tech INT NOT NULL, ID_Doc INT "
         "NOT NULL, ID_Doc_Req INT NOT NULL, ID_Hosp_Dep INT NOT NULL, Duration INT NOT NULL, "
         "Path_Local NVARCHAR(100) NOT NULL, Path_Archive NVARCHAR(100) NOT NULL, ID_Storage INT "
         "NULL, FileDateLastModify DATETIME NOT NULL, FileLen INT NOT NULL, Comment "
         "NVARCHAR(250) NOT NULL, Used_By NVARCHAR(50) NOT NULL )"},
        {"T_Statistic",
         "CREATE TABLE T_Statistic( ID_Class INT NOT NULL, ID_Item INT NULL, ID_SubItem INT NULL, "
         "ID_Exam INT NOT NULL, ID_Multi INT NOT NULL, Stat_Memo NVARCHAR(50) NULL, RecDate "
         "DATETIME NULL )"},
        {"T_StatisticList",
         "CREATE TABLE T_StatisticList( ID_Mask INT NOT NULL, ID_Patient INT NOT NULL, ID_Exam "
         "INT NULL, ID_Multi INT NULL )"},
    };
    for (const auto& [name, statement] : expected)
        EXPECT_EQ(ImportTableStatement(table(name)), statement) << name;

    // The patient's look-up references go and its photo keeps the missing null clause.
    const std::string patient = ImportTableStatement(table("T_Patient"));
    EXPECT_EQ(patient.rfind("CREATE TABLE T_Patient( ID_Patient INT IDENTITY, Title NVARCHAR(10) "
                            "NOT NULL, ",
                            0),
              0u);
    EXPECT_NE(patient.find(", Address NVARCHAR(200) NOT NULL, ID_City INT NOT NULL, ID_Province "
                           "INT NOT NULL, Zip_Code NVARCHAR(10) NOT NULL, ID_Country INT NOT "
                           "NULL, "),
              std::string::npos);
    EXPECT_NE(patient.find(", RecDate DATETIME NOT NULL, Photo IMAGE )"), std::string::npos);
}

TEST(ArchiveImport, FragmentsMatchTheColumnsOfEveryTable)
{
    EXPECT_EQ(
        ImportColumnFragments(table("T_Marker")),
        (std::vector<std::string>{"ID_Marker INT IDENTITY, ", "Marker NVARCHAR(50) NOT NULL "}));
    EXPECT_EQ(ImportColumnFragments(table("T_DBVersion")),
              std::vector<std::string>{"[FreeText] NVARCHAR(100) NOT NULL "});
    for (const TableDef& def : ArchiveTables()) {
        const auto fragments = ImportColumnFragments(def);
        ASSERT_EQ(fragments.size(), def.columnCount()) << def.name;
        const std::string statement = ImportTableStatement(def);
        for (const char* word :
             {"FOREIGN", "REFERENCES", "CONSTRAINT", "CASCADE", "PRIMARY KEY", "IDENTITY("})
            EXPECT_EQ(statement.find(word), std::string::npos) << def.name << ": " << word;
        // Only the last fragment ends in a lone blank; the column order is the creation order.
        for (size_t i = 0; i + 1 < fragments.size(); ++i)
            EXPECT_EQ(fragments[i].substr(fragments[i].size() - 2), ", ") << def.name << i;
        EXPECT_NE(fragments.back().substr(fragments.back().size() - 2), ", ") << def.name;
        const auto expected = ExpectedColumns(def);
        for (size_t i = 0; i < fragments.size(); ++i) {
            std::string name = fragments[i].substr(0, fragments[i].find(' '));
            std::erase(name, '[');
            std::erase(name, ']');
            for (auto& c : name)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(name, expected[i].upperName) << def.name;
        }
    }
}

TEST(ArchiveImport, ConstraintTextsCharacterForCharacter)
{
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"T_DBVersion", ""},
        {"T_Marker", "ADD CONSTRAINT PrimaryKey_T_Marker PRIMARY KEY (ID_Marker) "},
        {"T_City", "ADD CONSTRAINT PrimaryKey_T_City PRIMARY KEY (ID_City) "},
        {"T_Province", "ADD CONSTRAINT PrimaryKey_T_Province PRIMARY KEY (ID_Province) "},
        {"T_Country", "ADD CONSTRAINT PrimaryKey_T_Country PRIMARY KEY (ID_Country) "},
        {"T_Hosp_Dep", "ADD CONSTRAINT PrimaryKey_T_Hosp_Dep PRIMARY KEY (ID_Hosp_Dep) "},
        {"T_Doc_Tech", "ADD CONSTRAINT PrimaryKey_T_Doc_Tech PRIMARY KEY (ID_Doc_Tech) "},
        {"T_Patient", "ADD CONSTRAINT PrimaryKey_T_Patient PRIMARY KEY (ID_Patient), "
                      "FOREIGN KEY (ID_City) REFERENCES T_City (ID_City), "
                      "FOREIGN KEY (ID_Province) REFERENCES T_Province (ID_Province), "
                      "FOREIGN KEY (ID_Country) REFERENCES T_Country (ID_Country), "
                      "FOREIGN KEY (ID_Hosp_Dep) REFERENCES T_Hosp_Dep (ID_Hosp_Dep), "
                      "FOREIGN KEY (ID_Doc_Tech) REFERENCES T_Doc_Tech (ID_Doc_Tech), "
                      "FOREIGN KEY (ID_Marker) REFERENCES T_Marker (ID_Marker)"},
        {"T_Exam",
         "ADD CONSTRAINT PrimaryKey_T_Exam PRIMARY KEY (ID_Multi), "
         "CONSTRAINT ID_Patient_fk FOREIGN KEY (ID_Patient) REFERENCES T_Patient (ID_Patient) ON "
         "DELETE CASCADE ON UPDATE CASCADE, "
         "CONSTRAINT ID_Marker_fk FOREIGN KEY (ID_Marker) REFERENCES T_Marker (ID_Marker)"},
        {"T_Storage", "ADD CONSTRAINT PrimaryKey_T_Storage PRIMARY KEY (ID_Storage) "},
        {"T_File_Type", "ADD CONSTRAINT PrimaryKey_T_File_Type PRIMARY KEY (ID_Type) "},
        {"T_File",
         "ADD CONSTRAINT PrimaryKey_T_File PRIMARY KEY (ID_Exam), "
         "CONSTRAINT ID_Multi_fk FOREIGN KEY (ID_Multi) REFERENCES T_Exam (ID_Multi) ON DELETE "
         "CASCADE ON UPDATE CASCADE, "
         "FOREIGN KEY (ID_Type) REFERENCES T_File_Type (ID_Type), "
         "FOREIGN KEY (ID_Tech) REFERENCES T_Doc_Tech (ID_Doc_Tech), "
         "FOREIGN KEY (ID_Doc) REFERENCES T_Doc_Tech (ID_Doc_Tech), "
         "FOREIGN KEY (ID_Doc_Req) REFERENCES T_Doc_Tech (ID_Doc_Tech), "
         "FOREIGN KEY (ID_Hosp_Dep) REFERENCES T_Hosp_Dep (ID_Hosp_Dep), "
         "FOREIGN KEY (ID_Storage) REFERENCES T_Storage (ID_Storage) "},
        {"T_Class", "ADD CONSTRAINT PrimaryKey_T_Class PRIMARY KEY (ID_Class) "},
        {"T_Item", "ADD CONSTRAINT PrimaryKey_T_Item PRIMARY KEY (ID_Item), "
                   "FOREIGN KEY (ID_Class) REFERENCES T_Class (ID_Class) ON DELETE CASCADE ON "
                   "UPDATE CASCADE "},
        {"T_SubItem", "ADD CONSTRAINT PrimaryKey_T_SubItem PRIMARY KEY (ID_SubItem), "
                      "FOREIGN KEY (ID_Item) REFERENCES T_Item (ID_Item) ON DELETE CASCADE ON "
                      "UPDATE CASCADE "},
        {"T_Statistic",
         "ADD FOREIGN KEY (ID_Class) REFERENCES T_Class (ID_Class), "
         "FOREIGN KEY (ID_Exam) REFERENCES T_File (ID_Exam) ON DELETE CASCADE ON UPDATE CASCADE, "
         "FOREIGN KEY (ID_Multi) REFERENCES T_Exam (ID_Multi) "},
        {"T_StatisticMask", "ADD CONSTRAINT PrimaryKey_T_StatisticMask PRIMARY KEY (ID_Mask) "},
        {"T_StatisticList", "ADD FOREIGN KEY (ID_Mask) REFERENCES T_StatisticMask (ID_Mask) ON "
                            "DELETE CASCADE ON UPDATE CASCADE "},
        {"T_StatisticSearch", "ADD FOREIGN KEY (ID_Mask) REFERENCES T_StatisticMask (ID_Mask) ON "
                              "DELETE CASCADE ON UPDATE CASCADE "},
        {"T_StatisticFileType", ""},
    };
    const auto& tables = ArchiveTables();
    ASSERT_EQ(tables.size(), expected.size());
    for (size_t i = 0; i < tables.size(); ++i) {
        const auto& [name, text] = expected[i];
        EXPECT_EQ(tables[i].name, name);
        EXPECT_EQ(ImportConstraintText(tables[i]), text) << name;
        EXPECT_EQ(ImportKeyStatement(tables[i]),
                  text.empty() ? "" : "ALTER TABLE " + name + " " + text)
            << name;
    }
}

TEST(ArchiveStructureExpectations, PerTableKeysAndTestedIndexes)
{
    struct Row {
        const char* table;
        const char* identity;   // the column of the identity query, as written
        const char* primaryKey; // as the key listing is compared
        std::vector<std::string> indexed;
        const char* failure; // GEN_Indexes value when one is missing; "" when not tested
    };
    const Row rows[] = {
        {"T_DBVersion", "", "", {}, ""},
        {"T_Marker", "ID_Marker", "ID_MARKER", {}, ""},
        {"T_City", "ID_City", "ID_CITY", {}, ""},
        {"T_Province", "ID_Province", "ID_PROVINCE", {}, ""},
        {"T_Country", "ID_Country", "ID_COUNTRY", {}, ""},
        {"T_Hosp_Dep", "ID_Hosp_Dep", "ID_HOSP_DEP", {}, ""},
        {"T_Doc_Tech", "ID_Doc_Tech", "ID_DOC_TECH", {}, ""},
        {"T_Patient",
         "ID_Patient",
         "ID_PATIENT",
         {"L_Name", "F_Name", "B_Date", "Used_By", "ID_Marker"},
         "At least an index is not available (L_Name, F_Name, B_Date, Used_By, ID_Marker)"},
        {"T_Exam",
         "ID_Multi",
         "ID_MULTI",
         {"ID_Patient", "ID_Marker"},
         "At least an index is not available (ID_Patient, ID_Marker)"},
        {"T_Storage", "ID_Storage", "ID_STORAGE", {}, ""},
        {"T_File_Type", "ID_Type", "ID_TYPE", {}, ""},
        {"T_File",
         "ID_Exam",
         "ID_EXAM",
         {"ID_Multi", "ID_Type", "Used_By"},
         "At least an index is not available (ID_Multi, ID_Type, Used_By)"},
        {"T_Class", "ID_Class", "ID_CLASS", {}, ""},
        {"T_Item",
         "ID_Item",
         "ID_ITEM",
         {"ID_Class"},
         "At least an index is not available (ID_Class)"},
        {"T_SubItem",
         "ID_SubItem",
         "ID_SUBITEM",
         {"ID_Item"},
         "At least an index is not available (ID_Item)"},
        {"T_Statistic",
         "",
         "",
         {"ID_Class", "ID_Exam", "ID_Multi"},
         "At least an index is not available (ID_Class, ID_Exam, ID_Multi)"},
        {"T_StatisticMask", "ID_Mask", "ID_MASK", {}, ""},
        {"T_StatisticList",
         "",
         "",
         {"ID_Mask", "ID_Patient"},
         "At least an index is not available (ID_Mask, ID_Patient)"},
        {"T_StatisticSearch",
         "",
         "",
         {"ID_Mask", "ID_Class"},
         "At least an index is not available (ID_Mask, ID_Class)"},
        {"T_StatisticFileType", "", "", {}, ""},
    };
    ASSERT_EQ(std::size(rows), ArchiveTables().size());
    for (const Row& row : rows) {
        const TableDef& def = table(row.table);
        EXPECT_EQ(def.identityColumn, row.identity) << row.table;
        EXPECT_EQ(ExpectedPrimaryKeyColumn(def), row.primaryKey) << row.table;
        EXPECT_EQ(TestedIndexColumnNames(def), row.indexed) << row.table;
        if (*row.failure) {
            EXPECT_EQ(IndexFailureValue(def).toStdString(), row.failure) << row.table;
        }
    }
    // Tested indexes are a prefix of the created ones: the untested indexes still get created.
    EXPECT_EQ(table("T_StatisticList").indexColumns.size(), 4u);
    EXPECT_EQ(table("T_StatisticFileType").indexColumns.size(), 2u);
}

TEST(ArchiveStructureExpectations, TestedRelationsAndTheirListings)
{
    struct Row {
        const char* name;
        const char* referenced;
        const char* referencedColumn;
        const char* referencing;
        const char* referencingColumn;
        int rule;
    };
    const Row rows[] = {
        {"T_Patient-T_Exam", "T_Patient", "ID_Patient", "T_Exam", "ID_Patient", 0},
        {"T_Exam-T_File", "T_Exam", "ID_Multi", "T_File", "ID_Multi", 0},
        {"T_Exam-T_Statistic", "T_Exam", "ID_Multi", "T_Statistic", "ID_Multi", 1},
        {"T_File-T_Statistic", "T_File", "ID_Exam", "T_Statistic", "ID_Exam", 0},
        {"T_Class-T_Item", "T_Class", "ID_Class", "T_Item", "ID_Class", 0},
        {"T_Item-T_SubItem", "T_Item", "ID_Item", "T_SubItem", "ID_Item", 0},
        {"T_StatisticMask-T_StatisticList", "T_StatisticMask", "ID_Mask", "T_StatisticList",
         "ID_Mask", 0},
        {"T_StatisticMask-T_StatisticSearch", "T_StatisticMask", "ID_Mask", "T_StatisticSearch",
         "ID_Mask", 0},
    };
    const auto& relations = TestedRelations();
    ASSERT_EQ(relations.size(), std::size(rows));
    for (size_t i = 0; i < relations.size(); ++i) {
        const RelationDef& r = relations[i];
        EXPECT_EQ(r.name, rows[i].name);
        EXPECT_EQ(r.referencedTable, rows[i].referenced) << r.name;
        EXPECT_EQ(r.referencedColumn, rows[i].referencedColumn) << r.name;
        EXPECT_EQ(r.referencingTable, rows[i].referencing) << r.name;
        EXPECT_EQ(r.referencingColumn, rows[i].referencingColumn) << r.name;
        EXPECT_EQ(r.expectedRule, rows[i].rule) << r.name;
    }

    const std::vector<std::pair<std::string, std::vector<std::string>>> listings = {
        {"T_Patient", {"T_Patient-T_Exam"}},
        {"T_File", {"T_File-T_Statistic"}},
        {"T_Exam", {"T_Exam-T_File", "T_Exam-T_Statistic"}},
        {"T_Class", {"T_Class-T_Item"}},
        {"T_Item", {"T_Item-T_SubItem"}},
        {"T_StatisticMask",
         {"T_StatisticMask-T_StatisticList", "T_StatisticMask-T_StatisticSearch"}},
    };
    const auto& defs = RelationListingDefs();
    ASSERT_EQ(defs.size(), listings.size());
    for (size_t i = 0; i < defs.size(); ++i) {
        EXPECT_EQ(defs[i].table, listings[i].first);
        std::vector<std::string> names;
        for (const auto& r : defs[i].relations)
            names.push_back(r.name);
        EXPECT_EQ(names, listings[i].second) << defs[i].table;
    }

    // What the structure test compares: the call and the referencing names in upper case.
    const RelationListing& exam = RelationListings()[2];
    EXPECT_EQ(exam.procedureCall.toStdString(), "sp_fkeys 'T_Exam'");
    ASSERT_EQ(exam.relations.size(), 2u);
    EXPECT_EQ(exam.relations[1].fkTable.toStdString(), "T_STATISTIC");
    EXPECT_EQ(exam.relations[1].fkColumn.toStdString(), "ID_MULTI");
    EXPECT_EQ(exam.relations[1].expectedRule, 1);
}
