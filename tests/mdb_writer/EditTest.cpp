// Rows edited after they were written, as Access edits them: updated in place or moved with a
// pointer left behind, deleted, and columns dropped; read back through libmdb and mdbtools.
#include "LibmdbReader.h"
#include "MdbWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace mdbwriter {
namespace {

using testing::readTable;
using testing::runCommand;

template <typename F> std::string refusal(F&& call)
{
    try {
        call();
    } catch (const MdbWriterError& e) {
        return e.what();
    }
    return "";
}

std::vector<std::string> idsInLibmdbOrder(const testing::ReadTable& table)
{
    std::vector<std::string> ids;
    for (const auto& row : table.rows)
        ids.push_back(row[0].text);
    return ids;
}

class Edits : public ::testing::TestWithParam<JetVersion> {
protected:
    testing::ScratchFolder dir;
};

TEST_P(Edits, AGrownRowMovesWhenItsPageIsFullAndStaysWhenItFits)
{
    const std::string path = dir.file("edit.mdb");
    {
        MdbWriter db(path, GetParam());
        const auto t = db.addTable("T", {Column::longInt("ID"), Column::text("Name", 200)});
        std::vector<RowId> ids;
        for (long long i = 1; i <= 200; ++i)
            ids.push_back(db.addRow(t, {i, "name " + std::to_string(i)}));
        ASSERT_EQ(ids[0].page, ids[1].page);
        ASSERT_NE(ids[0].page, ids.back().page);
        // Same size on a full page, and a bigger row on the page still being filled: in place.
        db.updateRow(t, ids[6], {7LL, std::string("NAME 7")});
        db.updateRow(t, ids.back(), {200LL, std::string(60, 'b')});
        // Bigger on a full page: moved, then moved again, then shrunk where it went.
        db.updateRow(t, ids[4], {5LL, std::string(150, 'm')});
        db.updateRow(t, ids[4], {5LL, std::string(190, 'M')});
        db.updateRow(t, ids[4], {5LL, std::string("five")});
        db.deleteRow(t, ids[2]);
        EXPECT_EQ(db.rowCount(t), 199u);
        db.close();
    }
    const auto table = readTable(path, "T");
    EXPECT_EQ(table.declaredRows, 199);
    ASSERT_EQ(table.rows.size(), 199u);
    // libmdb meets a moved row where it went: after the rows of the pages before.
    auto order = idsInLibmdbOrder(table);
    EXPECT_EQ(order[0], "1");
    EXPECT_EQ(order[2], "4");
    EXPECT_EQ(order[3], "6"); // 3 deleted, 5 moved away
    EXPECT_EQ(order[4], "7");
    EXPECT_EQ(std::count(order.begin(), order.end(), "5"), 1);
    EXPECT_EQ(std::find(order.begin(), order.end(), "3"), order.end());
    EXPECT_GT(std::find(order.begin(), order.end(), "5") - order.begin(), 150);
    std::map<std::string, std::string> names;
    for (const auto& row : table.rows)
        names[row[0].text] = row[1].text;
    EXPECT_EQ(names["5"], "five");
    EXPECT_EQ(names["7"], "NAME 7");
    EXPECT_EQ(names["200"], std::string(60, 'b'));
    EXPECT_EQ(names["8"], "name 8");
}

TEST_P(Edits, ADroppedColumnLeavesTheDefinitionAndTheOthersKeepTheirValues)
{
    const std::string path = dir.file("drop.mdb");
    {
        MdbWriter db(path, GetParam());
        const auto t =
            db.addTable("T", {Column::longInt("ID"), Column::text("Old", 10),
                              Column::integer("Mid"), Column::memo("Note"), Column::yesNo("Flag")});
        db.addRow(t, {1LL, std::string("old"), 10LL, std::string("before"), true});
        db.dropColumn(t, "old");
        db.dropColumn(t, "Mid");
        db.addRow(t, {2LL, std::string("after"), false});
        db.addRow(t, {3LL, Null{}, true});
        db.close();
    }
    const std::string schema = runCommand("mdb-schema '" + path + "'");
    EXPECT_EQ(schema.find("[Old]"), std::string::npos) << schema;
    EXPECT_EQ(schema.find("[Mid]"), std::string::npos) << schema;
    const auto table = readTable(path, "T");
    ASSERT_EQ(table.columns.size(), 3u);
    EXPECT_EQ(table.columns[1].name, "Note");
    ASSERT_EQ(table.rows.size(), 3u);
    const std::vector<std::vector<std::string>> expected{
        {"1", "before", "1"}, {"2", "after", "0"}, {"3", "", "1"}};
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t c = 0; c < 3; ++c)
            EXPECT_EQ(table.rows[r][c].text, expected[r][c]) << r << "," << c;
    EXPECT_TRUE(table.rows[2][1].null);
    EXPECT_EQ(runCommand("mdb-export '" + path + "' T"),
              "ID,Note,Flag\n1,\"before\",1\n2,\"after\",0\n3,,1\n");
}

TEST_P(Edits, EditsOfRowsAndColumnsThatAreNotThereAreRefusedAndLoseNothing)
{
    const std::string path = dir.file("refused.mdb");
    {
        MdbWriter db(path, GetParam());
        const auto t = db.addTable("T", {Column::longInt("ID"), Column::text("Name", 10)});
        const auto other = db.addTable("U", {Column::longInt("ID")});
        const RowId first = db.addRow(t, {1LL, std::string("a")});
        const RowId second = db.addRow(t, {2LL, std::string("b")});
        const RowId elsewhere = db.addRow(other, {9LL});
        db.deleteRow(t, second);
        EXPECT_NE(refusal([&] { db.deleteRow(t, second); }).find("deleted"), std::string::npos);
        EXPECT_NE(refusal([&] {
                      db.updateRow(t, second, {2LL, std::string("c")});
                  }).find("row 1 of page"),
                  std::string::npos);
        EXPECT_NE(refusal([&] {
                      db.updateRow(t, elsewhere, {1LL, std::string("c")});
                  }).find("none of the table's rows"),
                  std::string::npos);
        EXPECT_NE(refusal([&] {
                      db.deleteRow(t, RowId{first.page, 7});
                  }).find("no such row"),
                  std::string::npos);
        EXPECT_NE(refusal([&] {
                      db.updateRow(t, first, {1LL, std::string(11, 'x')});
                  }).find("column \"Name\""),
                  std::string::npos);
        EXPECT_NE(refusal([&] { db.dropColumn(t, "Nothing"); }).find("no column \"Nothing\""),
                  std::string::npos);
        EXPECT_NE(refusal([&] { db.dropColumn(other, "ID"); }).find("at least one column"),
                  std::string::npos);
        EXPECT_NE(refusal([&] { db.addRow(t, {3LL}); }).find("1 values for 2 columns"),
                  std::string::npos);
        EXPECT_EQ(db.rowCount(t), 1u);
        db.close();
    }
    const auto table = readTable(path, "T");
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0][1].text, "a");
}

INSTANTIATE_TEST_SUITE_P(Versions, Edits, ::testing::Values(JetVersion::Jet4, JetVersion::Jet3),
                         [](const auto& info) { return testing::versionName(info.param); });

} // namespace
} // namespace mdbwriter
