// The structure test's rules over catalogue data, the database code and the version row.
#include "ArchiveSchema.h"
#include "DefineArchiveTables.h"
#include "SqlText.h"
#include "TestArchiveStructure.h"

#include <gtest/gtest.h>
#include <map>

using namespace sqllumo;
using namespace sqllumo::archive;

namespace {

const TableDef& table(const char* name)
{
    const TableDef* found = FindArchiveTable(name);
    EXPECT_NE(found, nullptr) << name;
    return *found;
}

// The catalogue's view of a table created exactly as defined, column names in lower case to
// show that case does not matter.
// The columns as the catalogue reports them for a table the archive creation made: names as
// created, the data access type codes (3 INT, 2 SMALLINT, 17 TINYINT, 11 BIT, 135 DATETIME,
// 202 NVARCHAR with its length, 205 IMAGE).
std::vector<dbport::CatalogColumn> asCreated(const QString& tableName)
{
    const int n = 202;
    const std::map<QString, std::vector<dbport::CatalogColumn>> created = {
        {"T_DBVersion", {{"FreeText", n, 100}}},
        {"T_Marker", {{"ID_Marker", 3, 0}, {"Marker", n, 50}}},
        {"T_Patient", {{"ID_Patient", 3, 0},  {"Title", n, 10},      {"L_Name", n, 50},
                       {"F_Name", n, 50},     {"M_Name", n, 50},     {"B_Date", 135, 0},
                       {"Sex", 11, 0},        {"Height", 2, 0},      {"Weight", 2, 0},
                       {"Address", n, 200},   {"ID_City", 3, 0},     {"ID_Province", 3, 0},
                       {"Zip_Code", n, 10},   {"ID_Country", 3, 0},  {"Tel_Home", n, 30},
                       {"Tel_Work", n, 30},   {"Ins_Number", n, 30}, {"Ins_Company", n, 30},
                       {"Pat_Code_1", n, 30}, {"Pat_Code_2", n, 30}, {"ID_Hosp_Dep", 3, 0},
                       {"Comment", n, 250},   {"ID_Doc_Tech", 3, 0}, {"Free1", n, 50},
                       {"Free2", n, 50},      {"ID_Marker", 3, 0},   {"Used_By", n, 50},
                       {"RecDate", 135, 0},   {"Photo", 205, 0}}},
        {"T_Exam",
         {{"ID_Multi", 3, 0},
          {"ID_Patient", 3, 0},
          {"Code", n, 30},
          {"rv_1", 11, 0},
          {"rv_2", 11, 0},
          {"rv_3", 11, 0},
          {"rv_4", 11, 0},
          {"rv_5", 11, 0},
          {"rv_6", 11, 0},
          {"rv_7", 11, 0},
          {"rv_8", 11, 0},
          {"ID_Marker", 3, 0},
          {"Comment", n, 250}}},
        {"T_File_Type",
         {{"ID_Type", 3, 0},
          {"File_Type", n, 50},
          {"File_Primary", 11, 0},
          {"File_Priority", 17, 0},
          {"File_Visible", 11, 0},
          {"File_Exclude", n, 50},
          {"File_App", n, 50},
          {"File_Prefix", n, 3},
          {"File_Ext", n, 3}}},
        {"T_File",
         {{"ID_Exam", 3, 0},
          {"ID_Multi", 3, 0},
          {"Primary", 11, 0},
          {"ID_Type", 3, 0},
          {"Date", 135, 0},
          {"ID_Tech", 3, 0},
          {"ID_Doc", 3, 0},
          {"ID_Doc_Req", 3, 0},
          {"ID_Hosp_Dep", 3, 0},
          {"Duration", 3, 0},
          {"Path_Local", n, 100},
          {"Path_Archive", n, 100},
          {"ID_Storage", 3, 0},
          {"FileDateLastModify", 135, 0},
          {"FileLen", 3, 0},
          {"Comment", n, 250},
          {"Used_By", n, 50}}},
        {"T_Statistic",
         {{"ID_Class", 3, 0},
          {"ID_Item", 3, 0},
          {"ID_SubItem", 3, 0},
          {"ID_Exam", 3, 0},
          {"ID_Multi", 3, 0},
          {"Stat_Memo", n, 50},
          {"RecDate", 135, 0}}},
    };
    return created.at(tableName);
}

dbport::CatalogColumn* find(std::vector<dbport::CatalogColumn>& columns, const QString& name)
{
    for (auto& c : columns)
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

} // namespace

TEST(StructureRules, TablesAsCreatedPassTheColumnCheck)
{
    for (const char* name :
         {"T_DBVersion", "T_Marker", "T_Patient", "T_Exam", "T_File_Type", "T_File", "T_Statistic"})
        EXPECT_EQ(JudgeColumns(table(name), asCreated(name)), ColumnVerdict::Correct) << name;
}

TEST(StructureRules, DamagedColumnsAreFound)
{
    struct Row {
        const char* table;
        const char* what;
        std::function<void(std::vector<dbport::CatalogColumn>&)> damage;
        ColumnVerdict expected;
    };
    const Row rows[] = {
        {"T_Patient", "an extra column",
         [](auto& c) {
             c.push_back({"Extra", 3, 0});
         },
         ColumnVerdict::WrongCount},
        {"T_Marker", "a missing column", [](auto& c) { c.pop_back(); }, ColumnVerdict::WrongCount},
        {"T_Patient", "L_Name NVARCHAR(60)", [](auto& c) { find(c, "L_Name")->definedSize = 60; },
         ColumnVerdict::WrongNameOrType},
        {"T_Patient", "Height INT", [](auto& c) { find(c, "Height")->typeCode = 3; },
         ColumnVerdict::WrongNameOrType},
        {"T_Patient", "Photo as VARBINARY", [](auto& c) { find(c, "Photo")->typeCode = 204; },
         ColumnVerdict::Correct},
        {"T_Exam", "rv_9 in place of rv_8", [](auto& c) { find(c, "rv_8")->name = "rv_9"; },
         ColumnVerdict::WrongNameOrType},
        {"T_File_Type", "File_Priority SMALLINT",
         [](auto& c) { find(c, "File_Priority")->typeCode = 2; }, ColumnVerdict::WrongNameOrType},
        {"T_File", "[Date] as DATETIME2 (135 expected)",
         [](auto& c) { find(c, "Date")->typeCode = 7; }, ColumnVerdict::WrongNameOrType},
        {"T_DBVersion", "FREETEXT upper case", [](auto& c) { c[0].name = "FREETEXT"; },
         ColumnVerdict::Correct},
        {"T_Statistic", "INT sizes are not compared",
         [](auto& c) { find(c, "ID_Class")->definedSize = 4; }, ColumnVerdict::Correct},
    };
    for (const Row& row : rows) {
        auto columns = asCreated(row.table);
        row.damage(columns);
        EXPECT_EQ(JudgeColumns(table(row.table), columns), row.expected) << row.what;
    }
}

TEST(StructureRules, PrimaryKeyVerdicts)
{
    const TableDef& marker = table("T_Marker");
    const TableDef& statistic = table("T_Statistic");
    EXPECT_EQ(JudgePrimaryKey(marker, QString("ID_Marker")), KeyVerdict::Ok);
    EXPECT_EQ(JudgePrimaryKey(marker, QString("id_marker")), KeyVerdict::Ok);
    EXPECT_EQ(JudgePrimaryKey(marker, QString("Marker")), KeyVerdict::PresentNotCorrect);
    EXPECT_EQ(JudgePrimaryKey(marker, std::nullopt), KeyVerdict::NotPresent);
    EXPECT_EQ(JudgePrimaryKey(statistic, std::nullopt), KeyVerdict::Ok);
    EXPECT_EQ(JudgePrimaryKey(statistic, QString("ID_Class")), KeyVerdict::PresentNotCorrect);
}

TEST(StructureRules, IndexesTestedPerTableAndTheirFailureList)
{
    struct Row {
        const char* table;
        QStringList tested;
        QString list;
    };
    const Row rows[] = {
        {"T_Patient",
         {"L_NAME", "F_NAME", "B_DATE", "USED_BY", "ID_MARKER"},
         "L_Name, F_Name, B_Date, Used_By, ID_Marker"},
        {"T_Exam", {"ID_PATIENT", "ID_MARKER"}, "ID_Patient, ID_Marker"},
        {"T_File", {"ID_MULTI", "ID_TYPE", "USED_BY"}, "ID_Multi, ID_Type, Used_By"},
        {"T_Item", {"ID_CLASS"}, "ID_Class"},
        {"T_SubItem", {"ID_ITEM"}, "ID_Item"},
        {"T_Statistic", {"ID_CLASS", "ID_EXAM", "ID_MULTI"}, "ID_Class, ID_Exam, ID_Multi"},
        {"T_StatisticList", {"ID_MASK", "ID_PATIENT"}, "ID_Mask, ID_Patient"},
        {"T_StatisticSearch", {"ID_MASK", "ID_CLASS"}, "ID_Mask, ID_Class"},
        {"T_StatisticFileType", {}, ""},
        {"T_Marker", {}, ""},
    };
    int tested = 0;
    for (const Row& row : rows) {
        EXPECT_EQ(TestedIndexColumns(table(row.table)), row.tested) << row.table;
        EXPECT_EQ(TestedIndexList(table(row.table)), row.list) << row.table;
    }
    for (const TableDef& def : ArchiveTables())
        tested += TestedIndexColumns(def).isEmpty() ? 0 : 1;
    EXPECT_EQ(tested, 8);
}

TEST(StructureRules, OnlySingleColumnIndexesOnTheColumnCount)
{
    const QStringList expected = {"L_NAME", "F_NAME"};
    EXPECT_TRUE(IndexesComplete(expected, {"ID_Patient", "f_name", "L_Name"}));
    EXPECT_FALSE(IndexesComplete(expected, {"L_Name, F_Name"}));
    EXPECT_FALSE(IndexesComplete(expected, {"L_Name(-)", "F_Name"}));
    EXPECT_FALSE(IndexesComplete(expected, {}));
    EXPECT_TRUE(IndexesComplete({}, {}));
}

TEST(StructureRules, RelationListingsRunInTheirOrder)
{
    QStringList calls;
    QStringList names;
    for (const RelationListing& listing : RelationListings()) {
        calls << listing.procedureCall;
        for (const auto& r : listing.relations)
            names << r.name;
    }
    EXPECT_EQ(calls, (QStringList{"sp_fkeys 'T_Patient'", "sp_fkeys 'T_File'", "sp_fkeys 'T_Exam'",
                                  "sp_fkeys 'T_Class'", "sp_fkeys 'T_Item'",
                                  "sp_fkeys 'T_StatisticMask'"}));
    EXPECT_EQ(names.size(), 8);
}

TEST(StructureRules, RelationVerdictsFollowRowsAndRules)
{
    const RelationListing& patient = RelationListings()[0];
    const RelationListing& exam = RelationListings()[2];
    using V = RelationVerdict;
    struct Row {
        const RelationListing* listing;
        std::vector<ForeignKeyRow> rows;
        std::vector<RelationFinding> expected;
    };
    auto findings = [](std::initializer_list<std::pair<const char*, V>> list) {
        std::vector<RelationFinding> out;
        for (const auto& [name, verdict] : list)
            out.push_back({name, verdict});
        return out;
    };
    const Row rows[] = {
        {&patient, {{"T_Exam", "ID_Patient", 0, 0}}, findings({{"T_Patient-T_Exam", V::Ok}})},
        {&patient,
         {{"t_exam", "id_patient", 1, 1}},
         findings({{"T_Patient-T_Exam", V::WithoutIntegrity}})},
        {&patient,
         {{"T_Exam", "ID_Patient", 0, 1}},
         findings({{"T_Patient-T_Exam", V::WithoutIntegrity}})},
        {&patient,
         {{"T_Exam", "ID_Patient", QVariant(), QVariant()}},
         findings({{"T_Patient-T_Exam", V::WithoutIntegrity}})},
        {&patient, {}, findings({{"T_Patient-T_Exam", V::NotPresent}})},
        {&patient,
         {{"T_Other", "ID_Patient", 0, 0}},
         findings({{"T_Patient-T_Exam", V::NotPresent}})},
        // The first matching row decides; later ones are ignored.
        {&patient,
         {{"T_Exam", "ID_Patient", 1, 1}, {"T_Exam", "ID_Patient", 0, 0}},
         findings({{"T_Patient-T_Exam", V::WithoutIntegrity}})},
        // Two relations: each reported when met, those never met after the last row.
        {&exam,
         {{"T_Statistic", "ID_Multi", 1, 1}, {"T_File", "ID_Multi", 0, 0}},
         findings({{"T_Exam-T_Statistic", V::Ok}, {"T_Exam-T_File", V::Ok}})},
        {&exam,
         {{"T_Statistic", "ID_Multi", 0, 0}},
         findings({{"T_Exam-T_Statistic", V::WithIntegrity}, {"T_Exam-T_File", V::NotPresent}})},
        {&exam,
         {},
         findings({{"T_Exam-T_File", V::NotPresent}, {"T_Exam-T_Statistic", V::NotPresent}})},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto got = JudgeListing(*rows[i].listing, rows[i].rows);
        ASSERT_EQ(got.size(), rows[i].expected.size()) << "row " << i;
        for (size_t j = 0; j < got.size(); ++j) {
            EXPECT_EQ(got[j].name, rows[i].expected[j].name) << "row " << i;
            EXPECT_EQ(got[j].verdict, rows[i].expected[j].verdict) << "row " << i;
        }
    }
}

TEST(DatabaseCode, DateThenTheFirstSixDigitsOfTheTickCount)
{
    const QDate day(2026, 12, 7);
    struct Row {
        qint32 tick;
        QString code;
    };
    const Row rows[] = {
        {123456789, "071226123456"},
        {-987654321, "071226987654"},
        {2147483647, "071226214748"},
        {1234, "0712261234"},
        {0, "0712260"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(MakeDatabaseCode(day, row.tick), row.code) << row.tick;
    const QString now = MakeDatabaseCode();
    EXPECT_TRUE(now.startsWith(QDate::currentDate().toString("ddMMyy")));
    for (QChar c : now)
        EXPECT_TRUE(c.isDigit());
}

TEST(VersionRow, StoredAsUpperHexAndDeciphersUnderTheCodeOnly)
{
    const QString code = "071226123456";
    const QByteArray cipher = EncipheredVersion(code);
    EXPECT_EQ(cipher.size(), 32); // 4-byte length + 24 bytes of text, padded to one block
    // The database layer stores a byte array assigned to a text column as upper-case hex.
    const QString stored = db::UpperHex(cipher);
    EXPECT_EQ(stored.size(), 64);
    EXPECT_EQ(stored, stored.toUpper());
    EXPECT_EQ(DecipherVersionRow(stored, code), "Version:1.02");
    EXPECT_NE(DecipherVersionRow(stored, "071226123457"), "Version:1.02");
    EXPECT_EQ(DecipherVersionRow("not hex", code), "");
    EXPECT_EQ(DecipherVersionRow("", code), "");
    // Another code gives other bytes.
    EXPECT_NE(EncipheredVersion("071226654321"), cipher);
}

TEST(ErrorText, NumberFollowsTheDescriptionWithItsSignPosition)
{
    EXPECT_EQ(db::ErrorText(db::Error(-2147217900, "There is already an object named 'T_Marker'.")),
              "There is already an object named 'T_Marker'.-2147217900");
    EXPECT_EQ(db::ErrorText(db::Error(3704, "Operation is not allowed when the object is closed.")),
              "Operation is not allowed when the object is closed. 3704");
}

TEST(ResultSetReading, FieldsByNameWithoutCaseAndTheClosedCase)
{
    const dbport::ResultSet rows({"Column_Name", "KEY_SEQ"},
                                 {{QVariant("ID_Marker"), QVariant(1)}});
    EXPECT_EQ(rows.text(0, "column_name"), "ID_Marker");
    EXPECT_EQ(rows.value(0, "Key_Seq").toInt(), 1);
    try {
        rows.value(0, "missing");
        ADD_FAILURE() << "an unknown field was read";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.number(), db::kItemNotFound);
    }
    try {
        rows.value(1, "Column_Name");
        ADD_FAILURE() << "a row past the end was read";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.number(), 3021);
    }
    const dbport::ResultSet closed;
    EXPECT_FALSE(closed.isOpen());
    try {
        (void)closed.rowCount();
        ADD_FAILURE() << "a closed result was read";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.number(), db::kClosedObject);
    }
}
