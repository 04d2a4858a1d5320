// mdb-writer: builds a sample archive in an Access file, for trying the import on an archive
// of realistic size and content. Prints the rows written, the time taken and the peak memory.
#include "SampleArchive.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>

namespace {

const char* const kUsage =
    "usage: mdb-writer [--patients N] [--exams N] [--files N] [--statistics N] [--seed S]\n"
    "                  [--jet3] [--damaged] [--omit TABLE[,TABLE...]] OUT.mdb\n"
    "  Writes a sample archive with the archive's tables: look-ups, N patients, exams, files\n"
    "  and statistics made up from the seed (the same seed gives the same file).\n"
    "  --jet3      an Access 97 file instead of Access 2000\n"
    "  --damaged   add duplicate identifiers and references to missing rows\n"
    "  --omit      leave tables out, as in an incomplete archive\n";

int fail(const std::string& message)
{
    std::fprintf(stderr, "mdb-writer: %s\n%s", message.c_str(), kUsage);
    return 2;
}

bool parseCount(const char* text, long long& out)
{
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0)
        return false;
    out = value;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    mdbwriter::SampleOptions options;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto count = [&](long long& target) {
            if (i + 1 >= argc || !parseCount(argv[i + 1], target))
                return false;
            ++i;
            return true;
        };
        long long seed = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--patients" || arg == "--exams" || arg == "--files" ||
                   arg == "--statistics") {
            long long& target = arg == "--patients" ? options.patients
                                : arg == "--exams"  ? options.exams
                                : arg == "--files"  ? options.files
                                                    : options.statistics;
            if (!count(target))
                return fail(arg + " needs a whole number of 0 or more");
        } else if (arg == "--seed") {
            if (!count(seed))
                return fail("--seed needs a whole number of 0 or more");
            options.seed = static_cast<std::uint64_t>(seed);
        } else if (arg == "--jet3") {
            options.version = mdbwriter::JetVersion::Jet3;
        } else if (arg == "--damaged") {
            options.damaged = true;
        } else if (arg == "--omit") {
            if (i + 1 >= argc)
                return fail("--omit needs table names");
            std::string list = argv[++i];
            for (std::size_t from = 0; from <= list.size();) {
                const std::size_t comma = std::min(list.find(',', from), list.size());
                if (comma > from)
                    options.omittedTables.push_back(list.substr(from, comma - from));
                from = comma + 1;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            return fail("unknown option " + arg);
        } else if (out.empty()) {
            out = arg;
        } else {
            return fail("one output file only");
        }
    }
    if (out.empty())
        return fail("the output file is missing");

    const auto start = std::chrono::steady_clock::now();
    mdbwriter::SampleSummary summary;
    try {
        summary = mdbwriter::WriteSampleArchive(out, options);
    } catch (const mdbwriter::MdbWriterError& e) {
        std::fprintf(stderr, "mdb-writer: %s\n", e.what());
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const auto& [table, rows] : summary.rows)
        std::printf("%-22s %10lld rows\n", table.c_str(), rows);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%lld rows written to %s in %.2f s (%.0f rows/s), peak memory %.1f MB\n",
                summary.totalRows, out.c_str(), seconds,
                seconds > 0 ? static_cast<double>(summary.totalRows) / seconds : 0.0,
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
