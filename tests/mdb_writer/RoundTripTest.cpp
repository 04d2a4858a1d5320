// Files written by the library, read back by Debian's mdb-ver, mdb-tables, mdb-schema and
// mdb-export and by libmdb itself: every table, column, type, row and value must come back.
#include "LibmdbReader.h"
#include "MdbWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace mdbwriter {
namespace {

using testing::readTable;
using testing::runCommand;

std::string quotedArg(const std::string& s)
{
    return "'" + s + "'";
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::string csvText(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

std::string hex(const Bytes& bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (auto b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

Bytes pattern(std::size_t size, unsigned seed)
{
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>((i * 131 + seed * 17 + (i >> 8)) & 0xFF);
    return out;
}

class RoundTrip : public ::testing::TestWithParam<JetVersion> {
protected:
    bool jet3() const { return GetParam() == JetVersion::Jet3; }
    testing::ScratchFolder dir;
};

// One row of the mixed table, kept beside the values written so the checks derive from them.
struct Sample {
    std::optional<long long> id; // nullopt: autonumber
    std::optional<std::string> name, comment;
    bool flag = false;
    std::optional<long long> small, tiny, count;
    std::optional<DateTime> when;
    std::optional<Bytes> photo;
};

std::vector<Sample> samples(bool jet3)
{
    const std::string nonAscii = jet3 ? "Ærøskøbing, Señor Müller €" : "Łódź, Ελένη, 日本語 €";
    std::vector<Sample> s;
    s.push_back({1, "Red", "", true, 12, 3, 100000, DateTime{2001, 2, 3, 4, 5, 6}, Bytes{1, 2, 3}});
    s.push_back({std::nullopt, "", std::nullopt, false, std::nullopt, std::nullopt, std::nullopt,
                 DateTime{1899, 12, 30}, Bytes{}});
    s.push_back({10, std::nullopt, "O'Brien's \"quoted\" note", true, -32768, 0, -2147483648LL,
                 DateTime{1850, 6, 15, 23, 59, 59}, pattern(3000, 1)});
    s.push_back({std::nullopt, nonAscii, std::string(250, 'x'), false, 32767, 255, 2147483647LL,
                 DateTime{1753, 1, 1, 0, 0, 1}, pattern(20000, 2)});
    s.push_back({std::nullopt, "O'Hara", nonAscii, true, 0, 1, 0, DateTime{1899, 12, 29, 6, 0, 0},
                 std::nullopt});
    return s;
}

std::vector<Column> sampleColumns()
{
    return {Column::autoNumberLong("ID"), Column::text("Name", 50), Column::text("Comment", 250),
            Column::yesNo("Flag"),        Column::integer("Small"), Column::byte("Tiny"),
            Column::longInt("Count"),     Column::dateTime("When"), Column::ole("Photo")};
}

template <typename T> Value orNull(const std::optional<T>& v)
{
    return v ? Value(*v) : Value(Null{});
}

void writeSamples(MdbWriter& db, MdbWriter::TableId t, const std::vector<Sample>& rows)
{
    for (const Sample& s : rows)
        db.addRow(t, {orNull(s.id), orNull(s.name), orNull(s.comment), s.flag, orNull(s.small),
                      orNull(s.tiny), orNull(s.count), orNull(s.when), orNull(s.photo)});
}

// The numbers the autonumber column hands out: explicit values move it on.
std::vector<long long> expectedIds(const std::vector<Sample>& rows)
{
    std::vector<long long> ids;
    long long next = 1;
    for (const Sample& s : rows) {
        const long long id = s.id ? *s.id : next;
        next = std::max(next, id + 1);
        ids.push_back(id);
    }
    return ids;
}

TEST_P(RoundTrip, EveryTypeValueAndNullComesBackThroughLibmdb)
{
    const std::string path = dir.file("mixed.mdb");
    const auto rows = samples(jet3());
    {
        MdbWriter db(path, GetParam());
        writeSamples(db, db.addTable("T_Mixed", sampleColumns()), rows);
        db.close();
    }
    const auto table = readTable(path, "T_Mixed");
    ASSERT_EQ(table.columns.size(), 9u);
    EXPECT_TRUE(table.columns[0].autoNumber);
    EXPECT_FALSE(table.columns[6].autoNumber);
    const int charSize = jet3() ? 1 : 2;
    EXPECT_EQ(table.columns[1].size, 50 * charSize);
    EXPECT_EQ(table.columns[2].size, 250 * charSize);
    ASSERT_EQ(table.rows.size(), rows.size());
    EXPECT_EQ(table.declaredRows, static_cast<long>(rows.size()));
    const auto ids = expectedIds(rows);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        SCOPED_TRACE("row " + std::to_string(r + 1));
        const Sample& s = rows[r];
        const auto& got = table.rows[r];
        EXPECT_EQ(got[0].text, std::to_string(ids[r]));
        EXPECT_EQ(got[1].null, !s.name);
        EXPECT_EQ(got[1].text, s.name.value_or(""));
        EXPECT_EQ(got[2].null, !s.comment);
        EXPECT_EQ(got[2].text, s.comment.value_or(""));
        EXPECT_EQ(got[3].text, s.flag ? "1" : "0");
        EXPECT_EQ(got[4].null, !s.small);
        EXPECT_EQ(got[4].text, s.small ? std::to_string(*s.small) : "");
        EXPECT_EQ(got[5].text, s.tiny ? std::to_string(*s.tiny) : "");
        EXPECT_EQ(got[6].text, s.count ? std::to_string(*s.count) : "");
        ASSERT_EQ(got[7].stored.size(), 8u);
        double stored = 0;
        std::memcpy(&stored, got[7].stored.data(), 8);
        EXPECT_EQ(DateTime::fromStored(stored), *s.when);
        EXPECT_EQ(got[8].null, !s.photo);
        if (s.photo) {
            EXPECT_EQ(got[8].longValue, *s.photo);
        }
    }
}

TEST_P(RoundTrip, DatesAreStoredAsDaysFrom1899December30)
{
    const std::string path = dir.file("dates.mdb");
    const std::vector<DateTime> dates{
        {1899, 12, 30}, {1899, 12, 29, 6, 0, 0},   {1850, 6, 15, 12, 0, 0},   {1753, 1, 1},
        {1900, 1, 1},   {2024, 2, 29, 23, 59, 59}, {9999, 12, 31, 23, 59, 59}};
    {
        MdbWriter db(path, GetParam());
        const auto t = db.addTable("D", {Column::dateTime("At")});
        for (const DateTime& d : dates)
            db.addRow(t, {d});
        db.close();
    }
    const auto table = readTable(path, "D");
    ASSERT_EQ(table.rows.size(), dates.size());
    std::vector<double> stored;
    for (const auto& row : table.rows) {
        double d = 0;
        std::memcpy(&d, row[0].stored.data(), 8);
        stored.push_back(d);
    }
    EXPECT_EQ(stored[0], 0.0);
    EXPECT_EQ(stored[1], -1.25); // the day before, and a quarter of a day into it
    EXPECT_EQ(stored[4], 2.0);
    for (std::size_t i = 0; i < dates.size(); ++i)
        EXPECT_EQ(DateTime::fromStored(stored[i]), dates[i]) << i;
    // mdbtools shows dates from 1899-12-30 on; the exported text agrees with ours.
    const auto exported =
        lines(runCommand("mdb-export -T '%Y-%m-%d %H:%M:%S' " + quotedArg(path) + " D"));
    ASSERT_EQ(exported.size(), dates.size() + 1);
    EXPECT_EQ(exported[1], "\"1899-12-30 00:00:00\"");
    EXPECT_EQ(exported[6], "\"2024-02-29 23:59:59\"");
}

TEST_P(RoundTrip, MdbtoolsListDescribeAndExportTheTables)
{
    const std::string path = dir.file("tools.mdb");
    const auto rows = samples(jet3());
    {
        MdbWriter db(path, GetParam());
        writeSamples(db, db.addTable("T_Mixed", sampleColumns()), rows);
        db.addTable("T_Empty", {Column::longInt("A"), Column::text("B", 10)});
        db.addTable("T Ünïcode", {Column::memo("Notes")});
        db.close();
    }
    EXPECT_EQ(runCommand("mdb-ver " + quotedArg(path)), jet3() ? "JET3\n" : "JET4\n");
    EXPECT_EQ(lines(runCommand("mdb-tables -1 " + quotedArg(path))),
              (std::vector<std::string>{"T_Mixed", "T_Empty", "T Ünïcode"}));
    EXPECT_EQ(testing::userTables(path),
              (std::vector<std::string>{"T_Mixed", "T_Empty", "T Ünïcode"}));

    const std::string schema = runCommand("mdb-schema " + quotedArg(path));
    for (const char* expected :
         {"[ID]\t\t\tLong Integer", "[Name]\t\t\tText (50)", "[Comment]\t\t\tText (250)",
          "[Flag]\t\t\tBoolean", "[Small]\t\t\tInteger", "[Tiny]\t\t\tByte",
          "[Count]\t\t\tLong Integer", "[When]\t\t\tDateTime", "[Photo]\t\t\tOLE",
          "CREATE TABLE [T_Empty]", "[B]\t\t\tText (10)", "[Notes]\t\t\tMemo"})
        EXPECT_NE(schema.find(expected), std::string::npos) << expected;

    const auto exported = lines(runCommand("mdb-export -b hex " + quotedArg(path) + " T_Mixed"));
    ASSERT_EQ(exported.size(), rows.size() + 1);
    EXPECT_EQ(exported[0], "ID,Name,Comment,Flag,Small,Tiny,Count,When,Photo");
    const auto ids = expectedIds(rows);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const Sample& s = rows[r];
        // mdb-export leaves empty texts and NULLs alike blank; libmdb tells them apart above.
        const auto text = [](const std::optional<std::string>& v) {
            return v && !v->empty() ? csvText(*v) : std::string();
        };
        const auto number = [](const std::optional<long long>& v) {
            return v ? std::to_string(*v) : std::string();
        };
        const std::string head = std::to_string(ids[r]) + "," + text(s.name) + "," +
                                 text(s.comment) + "," + (s.flag ? "1" : "0") + "," +
                                 number(s.small) + "," + number(s.tiny) + "," + number(s.count) +
                                 ",";
        EXPECT_EQ(exported[r + 1].substr(0, head.size()), head) << r;
        const std::string tail = s.photo ? "," + csvText(hex(*s.photo)) : std::string(",");
        EXPECT_EQ(exported[r + 1].substr(exported[r + 1].size() - tail.size()), tail) << r;
    }
    EXPECT_EQ(runCommand("mdb-export " + quotedArg(path) + " T_Empty"), "A,B\n");
}

TEST_P(RoundTrip, AHundredThousandRowsSpreadOverManyPages)
{
    const std::string path = dir.file("big.mdb");
    const int count = 100000;
    const auto textOf = [](int i) {
        return i % 97 == 0 ? std::string() : "Patient " + std::to_string(i * 7919 % 100003);
    };
    {
        MdbWriter db(path, GetParam());
        const auto t = db.addTable("T_Big", {Column::autoNumberLong("ID"), Column::text("L", 30),
                                             Column::yesNo("F"), Column::dateTime("D")});
        for (int i = 0; i < count; ++i) {
            const Value text = i % 101 == 0 ? Value(Null{}) : Value(textOf(i));
            db.addRow(t,
                      {Null{}, text, i % 3 == 0, DateTime{1990 + i % 30, 1 + i % 12, 1 + i % 28}});
        }
        EXPECT_EQ(db.rowCount(t), static_cast<std::size_t>(count));
        db.close();
    }
    const auto pageSize = jet3() ? 2048 : 4096;
    EXPECT_GT(std::filesystem::file_size(path), 500u * pageSize);

    const auto table = readTable(path, "T_Big");
    ASSERT_EQ(table.rows.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto& row = table.rows[i];
        ASSERT_EQ(row[0].text, std::to_string(i + 1));
        ASSERT_EQ(row[1].null, i % 101 == 0) << i;
        if (i % 101 != 0) {
            ASSERT_EQ(row[1].text, textOf(i)) << i;
        }
        ASSERT_EQ(row[2].text, i % 3 == 0 ? "1" : "0") << i;
    }
    const auto exported = runCommand("mdb-export " + quotedArg(path) + " T_Big");
    EXPECT_EQ(lines(exported).size(), static_cast<std::size_t>(count + 1));
}

TEST_P(RoundTrip, LongTextsAndMemosInEveryStorageForm)
{
    const std::string path = dir.file("memo.mdb");
    const std::string letters = jet3() ? "àéîõü" : "àéîõü Ā ΩЖ";
    std::vector<std::string> memos{"", "short", std::string(2000, 'm'), std::string(9000, 'q')};
    std::string mixed;
    while (mixed.size() < 3000)
        mixed += letters + " ";
    memos.push_back(mixed);
    {
        MdbWriter db(path, GetParam());
        const auto t = db.addTable("M", {Column::memo("Packed"), Column::memo("Plain", false),
                                         Column::text("T", 255, false)});
        for (const std::string& m : memos)
            db.addRow(t, {m, m, m.substr(0, std::min<std::size_t>(m.size(), 200))});
        db.close();
    }
    const auto table = readTable(path, "M");
    ASSERT_EQ(table.rows.size(), memos.size());
    for (std::size_t r = 0; r < memos.size(); ++r) {
        EXPECT_FALSE(table.rows[r][0].null);
        EXPECT_EQ(table.rows[r][0].text, memos[r]) << r;
        EXPECT_EQ(table.rows[r][1].text, memos[r]) << r;
    }
}

TEST_P(RoundTrip, AWideTableDefinitionRunsOverSeveralPages)
{
    const std::string path = dir.file("wide.mdb");
    std::vector<Column> columns;
    for (int i = 0; i < 250; ++i) {
        const std::string name = "A_long_column_name_of_number_" + std::to_string(i);
        columns.push_back(i % 2 ? Column::text(name, 10) : Column::longInt(name));
    }
    const auto cell = [](int row, int column) {
        return column % 2 ? Value(std::to_string(row * column % 1000))
                          : Value(static_cast<long long>(row * column));
    };
    {
        MdbWriter db(path, GetParam());
        const auto t = db.addTable("Wide", columns);
        for (int r = 0; r < 20; ++r) {
            std::vector<Value> row;
            for (int c = 0; c < 250; ++c)
                row.push_back(cell(r, c));
            db.addRow(t, row);
        }
        db.close();
    }
    const auto table = readTable(path, "Wide");
    ASSERT_EQ(table.columns.size(), columns.size());
    EXPECT_EQ(table.columns[249].name, columns[249].name);
    ASSERT_EQ(table.rows.size(), 20u);
    for (int r = 0; r < 20; ++r) {
        for (int c = 0; c < 250; c += 7) {
            const Value expected = cell(r, c);
            EXPECT_EQ(table.rows[r][c].text, c % 2 ? std::get<std::string>(expected)
                                                   : std::to_string(std::get<long long>(expected)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, RoundTrip, ::testing::Values(JetVersion::Jet4, JetVersion::Jet3),
                         [](const auto& info) { return testing::versionName(info.param); });

TEST(Jet4Text, CompressedAndPlainColumnsHoldTheSameText)
{
    testing::ScratchFolder dir;
    const std::string path = dir.file("text.mdb");
    const std::vector<std::string> texts{
        "plain ascii", "Ā starts wide", "mixed Ω and ascii", "日本語", "", "ends wide Ж"};
    {
        MdbWriter db(path);
        const auto t =
            db.addTable("T", {Column::text("Packed", 40), Column::text("Plain", 40, false)});
        for (const auto& s : texts)
            db.addRow(t, {s, s});
        db.close();
    }
    const auto table = readTable(path, "T");
    ASSERT_EQ(table.rows.size(), texts.size());
    for (std::size_t r = 0; r < texts.size(); ++r) {
        EXPECT_EQ(table.rows[r][0].text, texts[r]);
        EXPECT_EQ(table.rows[r][1].text, texts[r]);
        EXPECT_FALSE(table.rows[r][0].null);
    }
    // Plain ASCII takes the compressed form, one byte a character after the marker.
    EXPECT_EQ(table.rows[0][0].stored.size(), 2 + texts[0].size());
    EXPECT_EQ(table.rows[0][1].stored.size(), 2 * texts[0].size());
}

} // namespace
} // namespace mdbwriter
