// Definitions and values the files cannot hold are refused with a message naming the table,
// row and column, and nothing written before is lost.
#include "LibmdbReader.h"
#include "MdbWriter.h"
#include "TextEncoding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace mdbwriter {
namespace {

// The message of the refusal, or "" when the call went through.
template <typename F> std::string refusal(F&& call)
{
    try {
        call();
    } catch (const MdbWriterError& e) {
        return e.what();
    }
    return "";
}

TEST(Refusals, BadValuesAreNamedAndEarlierRowsStay)
{
    testing::ScratchFolder folder;
    const std::string path = folder.path + "/r.mdb";
    MdbWriter db(path);
    const auto t = db.addTable("T_Patient", {Column::autoNumberLong("ID_Patient"),
                                             Column::text("L_Name", 5), Column::integer("Height"),
                                             Column::byte("Tiny"), Column::yesNo("Sex"),
                                             Column::dateTime("B_Date"), Column::ole("Photo")});
    db.addRow(t, {Null{}, "Rossi", 170LL, 1LL, true, DateTime{1960, 5, 4}, Null{}});

    const auto row = [&](Value name, Value height, Value tiny, Value sex, Value date, Value photo) {
        return refusal([&] { db.addRow(t, {Null{}, name, height, tiny, sex, date, photo}); });
    };
    const Value ok[] = {std::string("Bo"), 1LL, 1LL, false, DateTime{2000, 1, 1}, Null{}};
    EXPECT_EQ(row("Bianchi", ok[1], ok[2], ok[3], ok[4], ok[5]),
              "table \"T_Patient\", row 2, column \"L_Name\": the text has 7 characters; the "
              "column holds 5");
    EXPECT_NE(row(ok[0], 40000LL, ok[2], ok[3], ok[4], ok[5]).find("40000 is outside the range"),
              std::string::npos);
    EXPECT_NE(row(ok[0], ok[1], 256LL, ok[3], ok[4], ok[5]).find("column \"Tiny\""),
              std::string::npos);
    EXPECT_NE(row(ok[0], ok[1], ok[2], 1LL, ok[4], ok[5]).find("true or false"), std::string::npos);
    EXPECT_NE(row(ok[0], ok[1], ok[2], ok[3], DateTime{2001, 2, 29}, ok[5]).find("valid date"),
              std::string::npos);
    EXPECT_NE(row(std::string("\xC3\x28"), ok[1], ok[2], ok[3], ok[4], ok[5]).find("UTF-8"),
              std::string::npos);
    EXPECT_NE(row(ok[0], ok[1], ok[2], ok[3], ok[4], std::string("x")).find("takes bytes"),
              std::string::npos);
    EXPECT_NE(refusal([&] {
                  db.addRow(t, {Null{}, "x"});
              }).find("2 values for 7 columns"),
              std::string::npos);

    // Refused rows used no autonumber: the next row gets 2.
    db.addRow(t, {Null{}, ok[0], ok[1], ok[2], ok[3], ok[4], ok[5]});
    EXPECT_EQ(db.rowCount(t), 2u);
    db.close();
    const auto table = testing::readTable(path, "T_Patient");
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0][1].text, "Rossi");
    EXPECT_EQ(table.rows[1][0].text, "2");
}

TEST(Refusals, BadDefinitionsLeaveTheFileUsable)
{
    testing::ScratchFolder folder;
    const std::string path = folder.path + "/d.mdb";
    MdbWriter db(path);
    db.addTable("T_City", {Column::text("City", 30)});
    EXPECT_EQ(refusal([&] { db.addTable("t_city", {Column::longInt("A")}); }),
              "table \"t_city\" already exists");
    EXPECT_NE(
        refusal([&] { db.addTable("MSysAnything", {Column::longInt("A")}); }).find("reserved"),
        std::string::npos);
    EXPECT_NE(refusal([&] { db.addTable("A.B", {Column::longInt("A")}); }).find("not allowed"),
              std::string::npos);
    EXPECT_NE(refusal([&] { db.addTable("T", {}); }).find("1 to 255 columns"), std::string::npos);
    EXPECT_NE(refusal([&] {
                  db.addTable("T", {Column::longInt("A"), Column::byte("a")});
              }).find("appears twice"),
              std::string::npos);
    EXPECT_NE(refusal([&] { db.addTable("T", {Column::text("A", 256)}); }).find("1 to 255"),
              std::string::npos);
    Column autoText = Column::text("A", 10);
    autoText.autoNumber = true;
    EXPECT_NE(refusal([&] { db.addTable("T", {autoText}); }).find("only a Long Integer"),
              std::string::npos);
    EXPECT_NE(refusal([&] {
                  db.addTable("T", {Column::autoNumberLong("A"), Column::autoNumberLong("B")});
              }).find("at most one autonumber"),
              std::string::npos);
    EXPECT_NE(refusal([&] { db.addRow(99, {}); }).find("no table number 99"), std::string::npos);
    db.addTable("T", {Column::longInt("A")});
    db.close();
    EXPECT_EQ(testing::userTables(path), (std::vector<std::string>{"T_City", "T"}));
    EXPECT_NE(refusal([&] { db.addTable("Late", {Column::longInt("A")}); }).find("already closed"),
              std::string::npos);
}

TEST(Refusals, Access97FilesRefuseTextOutsideCodePage1252)
{
    testing::ScratchFolder folder;
    MdbWriter db(folder.path + "/97.mdb", JetVersion::Jet3);
    EXPECT_NE(
        refusal([&] { db.addTable("Città 日本", {Column::longInt("A")}); }).find("cannot hold"),
        std::string::npos);
    const auto t = db.addTable("Città", {Column::text("Nome", 20)});
    EXPECT_NE(refusal([&] { db.addRow(t, {"Ελένη"}); }).find("code page 1252"), std::string::npos);
    db.addRow(t, {"Forlì €"});
    db.close();
    EXPECT_EQ(testing::readTable(folder.path + "/97.mdb", "Città").rows.at(0).at(0).text,
              "Forlì €");
}

TEST(Refusals, Access97RowsWhoseOffsetTableOutgrowsTheFormat)
{
    // One-byte offsets reach past 255 through a jump table that readers take only one entry
    // beyond the data for; a row with hundreds of short texts needs more.
    testing::ScratchFolder folder;
    MdbWriter db(folder.file("jumps.mdb"), JetVersion::Jet3);
    std::vector<Column> columns;
    for (int i = 0; i < 250; ++i)
        columns.push_back(Column::text("C" + std::to_string(i), 10));
    const auto t = db.addTable("T", columns);
    EXPECT_NE(refusal([&] {
                  db.addRow(t, std::vector<Value>(250, std::string("x")));
              }).find("too many columns for one row of an Access 97 file"),
              std::string::npos);
    db.addRow(t, std::vector<Value>(250, std::string("xxxxxx")));
    db.close();
    const auto table = testing::readTable(folder.file("jumps.mdb"), "T");
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0][249].text, "xxxxxx");
}

TEST(Refusals, AnUnclosedWriterLeavesAnEarlierFileUntouched)
{
    testing::ScratchFolder folder;
    const std::string path = folder.path + "/keep.mdb";
    {
        std::ofstream(path) << "earlier content";
    }
    {
        MdbWriter db(path);
        db.addRow(db.addTable("T", {Column::longInt("A")}), {1LL});
    }
    std::ifstream in(path);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "earlier content");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_NE(refusal([&] { MdbWriter db(folder.path + "/missing/x.mdb"); }).find("cannot create"),
              std::string::npos);
}

TEST(TextForms, CompressionOnlyWhereItIsShorterAndReadable)
{
    using namespace encoding;
    const auto units = [](const std::string& s) { return *utf16FromUtf8(s); };
    EXPECT_EQ(compressedUcs2(units("abc")), (std::vector<std::uint8_t>{0xFF, 0xFE, 'a', 'b', 'c'}));
    EXPECT_FALSE(compressedUcs2(units("ab")).has_value()); // no shorter than plain
    // Switching to two-byte characters and back costs a zero byte each time.
    EXPECT_EQ(
        compressedUcs2(units("aΩbcdef")),
        (std::vector<std::uint8_t>{0xFF, 0xFE, 'a', 0, 0xA9, 0x03, 0, 'b', 'c', 'd', 'e', 'f'}));
    // A character whose low byte is zero would read as a switch.
    EXPECT_FALSE(compressedUcs2(units("aaaaĀ")).has_value());
    EXPECT_FALSE(compressedUcs2(units("ΩΩ")).has_value()); // not shorter
    EXPECT_FALSE(compressedUcs2(units("")).has_value());
    EXPECT_EQ(units("😀").size(), 2u); // outside the basic plane: a surrogate pair
    EXPECT_FALSE(utf16FromUtf8("\xE2\x82").has_value());     // cut short
    EXPECT_FALSE(utf16FromUtf8("\xC0\xAF").has_value());     // overlong
    EXPECT_FALSE(utf16FromUtf8("\xED\xA0\x80").has_value()); // a lone surrogate
    EXPECT_EQ(cp1252FromUtf16(units("€ŠŸ")), (std::vector<std::uint8_t>{0x80, 0x8A, 0x9F}));
    EXPECT_FALSE(cp1252FromUtf16(units("\xC2\x81")).has_value()); // unassigned in 1252
}

} // namespace
} // namespace mdbwriter
