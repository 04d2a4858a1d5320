// The Access reader on files the writer makes in both versions: table list, column types and
// sizes, and every row and value, checked against what was written and against mdb-export.
#include "AccessSource.h"
#include "MdbWriter.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace sqllumo::db;
using mdbwriter::Column;
using mdbwriter::JetVersion;
using mdbwriter::MdbWriter;

namespace {

class AccessReader : public ::testing::TestWithParam<JetVersion> {
protected:
    bool jet3() const { return GetParam() == JetVersion::Jet3; }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    static QString source(const QString& path) { return "Data Source=" + path; }
    QTemporaryDir dir;
};

TEST_P(AccessReader, ListsUserTablesAndEachColumnsTypeAndDefinedSize)
{
    const QString path = file("tables.mdb");
    {
        MdbWriter db(path.toStdString(), GetParam());
        db.addTable("T_Patient",
                    {Column::autoNumberLong("ID_Patient"), Column::text("L_Name", 50),
                     Column::yesNo("Sex"), Column::dateTime("B_Date"), Column::memo("Comment"),
                     Column::integer("Height"), Column::byte("Tiny"), Column::doubleFloat("Weight"),
                     Column::ole("Photo")});
        db.addTable("T_Empty", {Column::text("X", 255)});
        db.close();
    }
    EXPECT_EQ(AccessTableNames(path), (QStringList{"T_Patient", "T_Empty"}));

    AccessRecordset rows;
    rows.open("SELECT * FROM T_Patient", source(path));
    struct Expected {
        const char* name;
        const char* type;
        int size;
    } expected[] = {{"ID_Patient", "Long Integer", 4},
                    {"L_Name", "Text", 50},
                    {"Sex", "Yes/No", 1},
                    {"B_Date", "Date/Time", 8},
                    {"Comment", "Memo", 0},
                    {"Height", "Integer", 2},
                    {"Tiny", "Byte", 1},
                    {"Weight", "Double", 8},
                    {"Photo", "OLE Object", 0}};
    ASSERT_EQ(rows.fieldCount(), 9);
    for (int i = 0; i < rows.fieldCount(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(rows.fieldName(i), QString::fromLatin1(expected[i].name));
        EXPECT_EQ(AccessTypeName(rows.fieldAccessType(i)), QString::fromLatin1(expected[i].type));
        EXPECT_EQ(rows.fieldDefinedSize(i), expected[i].size);
    }
    EXPECT_THROW(rows.fieldDefinedSize(9), Error);
    rows.open("SELECT X FROM T_Empty ORDER BY X", source(path));
    EXPECT_EQ(rows.fieldDefinedSize(0), 255);

    EXPECT_THROW(AccessTableNames(file("missing.mdb")), Error);
}

INSTANTIATE_TEST_SUITE_P(Versions, AccessReader,
                         ::testing::Values(JetVersion::Jet4, JetVersion::Jet3),
                         [](const auto& info) {
                             return info.param == JetVersion::Jet4 ? "Jet4" : "Jet3";
                         });

} // namespace
