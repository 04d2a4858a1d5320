// Reading speed of the Access reader: every row and every value of every table of the sample
// archive (25,000 patients, 60,000 exams, 120,000 files; seed 7), in both file versions, or
// of the file named on the command line.
#include "AccessSource.h"
#include "SampleArchive.h"

#include <QString>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

void measure(const std::string& path, const char* label)
{
    using sqllumo::db::AccessRecordset;
    const QString file = QString::fromStdString(path);
    long long rows = 0;
    long long values = 0;
    long long nulls = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const QString& table : sqllumo::db::AccessTableNames(file)) {
        AccessRecordset recordset;
        recordset.open("SELECT * FROM " + table, "Data Source=" + file);
        const int columns = recordset.fieldCount();
        for (; !recordset.eof(); recordset.moveNext()) {
            for (int i = 0; i < columns; ++i)
                nulls += recordset.value(i).isNull() ? 1 : 0;
            values += columns;
            ++rows;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-6s %8lld rows  %9lld values (%lld NULL)  %6.2f s  %9.0f rows/s  %10.0f "
                "values/s\n",
                label, rows, values, nulls, seconds, static_cast<double>(rows) / seconds,
                static_cast<double>(values) / seconds);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        if (argc > 1) {
            measure(argv[1], "file");
            return 0;
        }
        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("bench-access-reader-" + std::to_string(getpid()) + ".mdb"))
                                     .string();
        for (auto version : {mdbwriter::JetVersion::Jet4, mdbwriter::JetVersion::Jet3}) {
            mdbwriter::SampleOptions options;
            options.patients = 25000;
            options.exams = 60000;
            options.files = 120000;
            options.seed = 7;
            options.version = version;
            mdbwriter::WriteSampleArchive(path, options);
            const struct Remove {
                std::string path;
                ~Remove() { std::filesystem::remove(path); }
            } remove{path};
            measure(path, version == mdbwriter::JetVersion::Jet4 ? "Jet 4" : "Jet 3");
        }
    } catch (const sqllumo::db::Error& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.description()));
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
