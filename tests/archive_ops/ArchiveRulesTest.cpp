// The structure test's rules over catalogue data, the database code and the version row.
#include "ArchiveSchema.h"
#include "DefineArchiveTables.h"
#include "SqlText.h"
#include "TestArchiveStructure.h"

#include <gtest/gtest.h>

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
std::vector<dbport::CatalogColumn> asCreated(const TableDef& def)
{
    std::vector<dbport::CatalogColumn> columns;
    for (const ExpectedColumn& e : ExpectedColumns(def))
        columns.push_back({QString::fromStdString(e.upperName).toLower(),
                           e.typeCode == 0 ? 205 : e.typeCode,
                           e.definedSize < 0 ? 0 : e.definedSize});
    return columns;
}

dbport::CatalogColumn* find(std::vector<dbport::CatalogColumn>& columns, const QString& name)
{
    for (auto& c : columns)
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

} // namespace

TEST(StructureRules, EveryTableAsCreatedPassesTheColumnCheck)
{
    for (const TableDef& def : ArchiveTables())
        EXPECT_EQ(JudgeColumns(def, asCreated(def)), ColumnVerdict::Correct) << def.name;
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
        auto columns = asCreated(table(row.table));
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
