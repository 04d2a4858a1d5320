// The sample archive read back through libmdb: the archive's tables with their columns and
// types, the rows asked for, the awkward values, and references that hold unless asked not to.
#include "SampleArchive.h"
#include "ArchiveSchema.h"
#include "LibmdbReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace mdbwriter {
namespace {

using sqllumo::archive::ArchiveTables;

int columnIndex(const testing::ReadTable& t, const std::string& name)
{
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        if (t.columns[i].name == name)
            return static_cast<int>(i);
    }
    throw std::runtime_error("no column " + name + " in " + t.name);
}

std::set<long long> identifiers(const testing::ReadTable& t, const std::string& column)
{
    std::set<long long> out;
    const int c = columnIndex(t, column);
    for (const auto& row : t.rows) {
        if (!row[c].null)
            out.insert(std::stoll(row[c].text));
    }
    return out;
}

class SampleArchive : public ::testing::TestWithParam<JetVersion> {};

TEST_P(SampleArchive, HoldsTheArchiveTablesWithTheirColumnsAndRows)
{
    testing::ScratchFolder folder;
    const std::string path = folder.path + "/sample.mdb";
    SampleOptions options;
    options.patients = 2000;
    options.exams = 3000;
    options.files = 4000;
    options.seed = 11;
    options.version = GetParam();
    const SampleSummary summary = WriteSampleArchive(path, options);

    std::vector<std::string> names;
    for (const auto& t : ArchiveTables())
        names.push_back(t.name);
    ASSERT_EQ(testing::userTables(path), names);
    ASSERT_EQ(summary.rows.size(), names.size());
    const int charSize = GetParam() == JetVersion::Jet3 ? 1 : 2;
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const auto& def = ArchiveTables()[i];
        const auto read = testing::readTable(path, names[i]);
        EXPECT_EQ(static_cast<long long>(read.rows.size()), summary.rows[i].second);
        ASSERT_EQ(read.columns.size(), def.columnCount());
        const std::size_t first = def.hasIdentity() ? 1 : 0;
        if (def.hasIdentity()) {
            EXPECT_EQ(read.columns[0].name, def.identityColumn);
            EXPECT_TRUE(read.columns[0].autoNumber);
        }
        for (std::size_t c = 0; c < def.columns.size(); ++c) {
            const Column expected = AccessColumn(def.columns[c]);
            const auto& got = read.columns[first + c];
            EXPECT_EQ(got.name, expected.name);
            EXPECT_EQ(got.type, static_cast<int>(expected.type)) << got.name;
            if (expected.type == ColumnType::Text) {
                EXPECT_EQ(got.size, expected.length * charSize) << got.name;
            }
        }
    }
    EXPECT_EQ(summary.totalRows, 2000 + 3000 + 4000 + 400 + 1 + 8 + 40 + 20 + 12 + 10 + 20 + 3 +
                                     12 + 5 + 20 + 50 + 3 + 40 + 10 + 6);

    const auto patients = testing::readTable(path, "T_Patient");
    const int lastName = columnIndex(patients, "L_Name");
    const int middleName = columnIndex(patients, "M_Name");
    const int birth = columnIndex(patients, "B_Date");
    bool apostrophe = false, nonAscii = false, emptyText = false, early = false, timed = false;
    for (const auto& row : patients.rows) {
        apostrophe |= row[lastName].text.find('\'') != std::string::npos;
        nonAscii |= std::any_of(row[lastName].text.begin(), row[lastName].text.end(),
                                [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        emptyText |= !row[middleName].null && row[middleName].text.empty();
        double stored = 0;
        std::memcpy(&stored, row[birth].stored.data(), sizeof stored);
        early |= stored <= 0;
        timed |= stored != static_cast<double>(static_cast<long long>(stored));
    }
    EXPECT_TRUE(apostrophe);
    EXPECT_TRUE(nonAscii);
    EXPECT_TRUE(emptyText);
    EXPECT_TRUE(early);
    EXPECT_TRUE(timed);
    const auto statistics = testing::readTable(path, "T_Statistic");
    const int memo = columnIndex(statistics, "Stat_Memo");
    EXPECT_TRUE(std::any_of(statistics.rows.begin(), statistics.rows.end(),
                            [&](const auto& row) { return row[memo].null; }));

    // Every exam refers to a patient that exists, every file to an exam.
    const auto patientIds = identifiers(patients, "ID_Patient");
    EXPECT_EQ(patientIds.size(), patients.rows.size());
    const auto exams = testing::readTable(path, "T_Exam");
    for (long long id : identifiers(exams, "ID_Patient"))
        EXPECT_TRUE(patientIds.count(id)) << id;
    const auto examIds = identifiers(exams, "ID_Multi");
    for (long long id : identifiers(testing::readTable(path, "T_File"), "ID_Multi"))
        EXPECT_TRUE(examIds.count(id)) << id;
}

INSTANTIATE_TEST_SUITE_P(Versions, SampleArchive,
                         ::testing::Values(JetVersion::Jet4, JetVersion::Jet3),
                         [](const auto& info) { return testing::versionName(info.param); });

TEST(SampleArchiveOptions, DamagedAndIncompleteArchives)
{
    testing::ScratchFolder folder;
    const std::string path = folder.path + "/damaged.mdb";
    SampleOptions options;
    options.patients = 1500;
    options.exams = 1500;
    options.files = 10;
    options.damaged = true;
    options.omittedTables = {"T_StatisticSearch", "T_Storage"};
    WriteSampleArchive(path, options);
    const auto tables = testing::userTables(path);
    EXPECT_EQ(tables.size(), ArchiveTables().size() - 2);
    EXPECT_EQ(std::count(tables.begin(), tables.end(), "T_Storage"), 0);

    const auto patients = testing::readTable(path, "T_Patient");
    EXPECT_EQ(patients.rows.size(), 1501u);
    EXPECT_EQ(identifiers(patients, "ID_Patient").size(), 1500u); // one identifier twice
    const auto refs = identifiers(testing::readTable(path, "T_Exam"), "ID_Patient");
    EXPECT_GT(*refs.rbegin(), 1500); // a reference to a patient that is not there

    options.omittedTables = {"T_Nothing"};
    try {
        WriteSampleArchive(folder.path + "/x.mdb", options);
        ADD_FAILURE() << "an unknown table was accepted";
    } catch (const MdbWriterError& e) {
        EXPECT_STREQ(e.what(), "there is no archive table \"T_Nothing\" to leave out");
    }
    EXPECT_FALSE(std::filesystem::exists(folder.path + "/x.mdb"));
}

// Runs the command; returns its exit status and what it wrote.
std::pair<int, std::string> run(const std::string& arguments)
{
    const std::string command = std::string(MDB_WRITER_COMMAND) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(SampleArchiveCommand, WritesTheArchiveOrExplainsWhatIsWrong)
{
    testing::ScratchFolder folder;
    const std::string path = folder.path + "/cmd.mdb";
    auto [status, out] = run("--patients 50 --exams 80 --files 90 --seed 7 " + path);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("T_Patient"), std::string::npos);
    EXPECT_EQ(testing::readTable(path, "T_File").rows.size(), 90u);

    for (const std::string& bad :
         {std::string("--patients -4 ") + path, std::string("--patients"),
          std::string("--frobnicate x.mdb"), std::string(""), std::string("a.mdb b.mdb")}) {
        std::tie(status, out) = run(bad);
        EXPECT_EQ(status, 2) << bad;
        EXPECT_NE(out.find("usage: mdb-writer"), std::string::npos) << bad;
    }
    std::tie(status, out) = run("--omit T_Nope " + folder.path + "/y.mdb");
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("T_Nope"), std::string::npos);
}

} // namespace
} // namespace mdbwriter
