// A sample archive in an Access file: the archive's tables with look-ups, patients, exams,
// files and statistics made up from a seed, with the awkward values real archives hold
// (apostrophes, non-ASCII names, empty texts beside NULLs, dates before 1900 and with times).
#pragma once

#include "MdbWriter.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sqllumo::schema {
struct ColumnDef;
}

namespace mdbwriter {

struct SampleOptions {
    long long patients = 1000;
    long long exams = 2500;
    long long files = 5000;
    long long statistics = -1; // rows of T_Statistic; negative: a tenth of the files
    std::uint64_t seed = 1;
    JetVersion version = JetVersion::Jet4;
    // Adds what a damaged archive holds: duplicate keys and references to missing rows.
    bool damaged = false;
    std::vector<std::string> omittedTables; // left out of the file, as in incomplete archives
};

struct SampleSummary {
    std::vector<std::pair<std::string, long long>> rows; // per table, in creation order
    long long totalRows = 0;
};

// The Access column that holds one archive column ("NVARCHAR(50) NOT NULL" -> Text(50)).
// Throws MdbWriterError for a definition without an Access counterpart.
Column AccessColumn(const sqllumo::schema::ColumnDef& column);

// Throws MdbWriterError for bad options (an unknown table to omit, negative counts) before
// anything is written, and for failed writes.
SampleSummary WriteSampleArchive(const std::string& path, const SampleOptions& options);

} // namespace mdbwriter
