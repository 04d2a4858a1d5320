// The inspection's findings as a window would walk them: kind, table, row and column, with the
// copy's own handling of NULLs and the key step's references taken into account.
#include "AccessInspection.h"
#include "AccessArchiveFixture.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sqllumo::archive;
using namespace sqllumo::testing;

namespace {

struct Found {
    FindingKind kind;
    QString table, row, column;
    bool operator==(const Found&) const = default;
};

void PrintTo(const Found& f, std::ostream* os)
{
    *os << static_cast<int>(f.kind) << " " << f.table.toStdString() << " / " << f.row.toStdString()
        << " / " << f.column.toStdString();
}

class AccessInspectionTest : public ::testing::Test {
protected:
    AccessInspection inspect(const SourceArchive& content)
    {
        EXPECT_TRUE(dir_.isValid());
        const QString file = dir_.filePath(QStringLiteral("a%1.mdb").arg(++files_));
        QString error;
        EXPECT_TRUE(WriteAccessFile(content, file, error)) << error.toStdString();
        return InspectAccessFile(file);
    }
    static std::vector<Found> found(const AccessInspection& inspection)
    {
        std::vector<Found> out;
        for (const InspectionFinding& f : inspection.findings)
            out.push_back({f.kind, f.table, f.row, f.column});
        return out;
    }
    QTemporaryDir dir_;
    int files_ = 0;
};

TEST_F(AccessInspectionTest, NullsTheCopyFillsAreNoProblemButTheOthersAre)
{
    SourceArchive content = SmallArchive();
    // Row 3 already lacks FileDateLastModify, which the copy takes from Date; now Date too.
    FindSourceTable(content, "T_File")->set(3, "Date", QVariant());
    FindSourceTable(content, "T_File_Type")->set(1, "File_Priority", QVariant());
    const AccessInspection inspection = inspect(content);
    ASSERT_TRUE(inspection.readable) << inspection.error.toStdString();
    EXPECT_EQ(inspection.problemCount(), 1);
    EXPECT_EQ(
        found(inspection),
        (std::vector<Found>{{FindingKind::NullValue, "T_File", "ID_Exam 3", "Date"},
                            {FindingKind::PhotoNotCopied, "T_Patient", "ID_Patient 1", "Photo"}}));
    EXPECT_FALSE(inspection.importWouldSucceed());
}

TEST_F(AccessInspectionTest, ReferencesIntoAMissingStatisticsTableAndWiderColumnsAreFound)
{
    SourceArchive content = SmallArchive();
    DropSourceTable(content, "T_Class");
    SourceTable& patients = *FindSourceTable(content, "T_Patient");
    patients.columns[static_cast<size_t>(patients.column("Height"))].type = AccessType::Long;
    patients.set(2, "Height", 40000);
    SourceTable& exams = *FindSourceTable(content, "T_Exam");
    const int comment = exams.column("Comment");
    exams.columns.erase(exams.columns.begin() + comment);
    for (auto& row : exams.rows)
        row.erase(row.begin() + comment);
    const AccessInspection inspection = inspect(content);
    ASSERT_TRUE(inspection.readable) << inspection.error.toStdString();
    EXPECT_EQ(
        found(inspection),
        (std::vector<Found>{{FindingKind::MissingColumn, "T_Exam", "", "Comment"},
                            {FindingKind::NumberOutOfRange, "T_Patient", "ID_Patient 2", "Height"},
                            {FindingKind::MissingReference, "T_Item", "ID_Item 1", "ID_Class"},
                            {FindingKind::MissingReference, "T_Statistic", "row 1", "ID_Class"},
                            {FindingKind::MissingReference, "T_Statistic", "row 2", "ID_Class"},
                            {FindingKind::SkippedTable, "T_Class", "", ""},
                            {FindingKind::PhotoNotCopied, "T_Patient", "ID_Patient 1", "Photo"}}));
    EXPECT_EQ(inspection.problemCount(), 5);
    const QStringList lines = inspection.lines();
    EXPECT_EQ(lines.last(), "An import of this file would fail: 5 problem(s).");
}

TEST_F(AccessInspectionTest, AnAccess97ArchiveIsReadAlike)
{
    QString error;
    const QString file = dir_.filePath("jet3.mdb");
    SourceArchive content = SmallArchive();
    // Access 97 keeps code page 1252 texts only.
    for (SourceTable& table : content)
        for (auto& row : table.rows)
            for (QVariant& value : row)
                if (value.typeId() == QMetaType::QString)
                    value = QString::fromLatin1(value.toString().toLatin1());
    ASSERT_TRUE(WriteAccessFile(content, file, error, true)) << error.toStdString();
    const AccessInspection inspection = InspectAccessFile(file);
    ASSERT_TRUE(inspection.readable) << inspection.error.toStdString();
    EXPECT_TRUE(inspection.importWouldSucceed());
    ASSERT_EQ(inspection.tables.size(), 20u);
    EXPECT_EQ(inspection.tables[7].name, "T_Patient");
    EXPECT_EQ(inspection.tables[7].rows, 4);
    EXPECT_EQ(inspection.tables[7].columns.value(2), "L_Name Text(50)");
}

} // namespace
