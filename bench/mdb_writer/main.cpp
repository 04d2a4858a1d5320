// Writing speed and memory of the Access file writer: the sample archive at a tenth of the
// realistic size and at full size (25,000 patients, 60,000 exams, 120,000 files). Memory is
// flat when the peak stays the same for ten times the rows; the target is a few seconds.
#include "SampleArchive.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void measure(const std::string& path, long long patients, long long exams, long long files,
             mdbwriter::JetVersion version)
{
    mdbwriter::SampleOptions options;
    options.patients = patients;
    options.exams = exams;
    options.files = files;
    options.seed = 7;
    options.version = version;
    const double cpuBefore = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const auto summary = mdbwriter::WriteSampleArchive(path, options);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("%s %8lld rows  %6.2f s wall  %6.2f s cpu  %9.0f rows/s (cpu)  %6.1f MB file  "
                "peak memory so far %5.1f MB\n",
                version == mdbwriter::JetVersion::Jet4 ? "Jet 4" : "Jet 3", summary.totalRows, wall,
                cpu, cpu > 0 ? static_cast<double>(summary.totalRows) / cpu : 0.0,
                static_cast<double>(std::filesystem::file_size(path)) / 1048576.0, peakMegabytes());
}

} // namespace

int main()
{
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("bench-mdb-writer-" + std::to_string(getpid()) + ".mdb"))
                                 .string();
    std::printf("target: the full archive in a few seconds, peak memory the same at both sizes\n");
    for (auto version : {mdbwriter::JetVersion::Jet4, mdbwriter::JetVersion::Jet3}) {
        measure(path, 2500, 6000, 12000, version);
        measure(path, 25000, 60000, 120000, version);
    }
    std::filesystem::remove(path);
    return 0;
}
