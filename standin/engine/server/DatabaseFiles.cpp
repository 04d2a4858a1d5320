// The files of a database as the server level makes, measures and removes them, and the server's
// clock for creation dates.
#include "DatabaseFiles.h"

#include "BackupFile.h"

#include <sqlite3.h>

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace standin::server {

DateTimeValue Now()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    // Days from 1900-01-01 by the civil calendar of the local date.
    const int y = local.tm_year + 1900 - (local.tm_mon < 2 ? 1 : 0);
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int m = local.tm_mon + 1;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + local.tm_mday - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t daysFromEpoch = int64_t(era) * 146097 + doe - 719468; // from 1970-01-01
    DateTimeValue v;
    v.days = int32_t(daysFromEpoch + 25567); // 1900-01-01 .. 1970-01-01
    const int64_t secondOfDay = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    v.ticks = uint32_t(secondOfDay * 300 + (ms * 300 + 500) / 1000);
    return v;
}

int64_t FilePages(const fs::path& file)
{
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec)
        return 0;
    return int64_t((size + 8191) / 8192);
}

int64_t DataPages(const fs::path& dataFile)
{
    return FilePages(dataFile) + FilePages(fs::path(dataFile.native() + "-wal"));
}

void RemoveDatabaseFiles(const fs::path& dataFile, const fs::path& logFile)
{
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        fs::remove(fs::path(dataFile.native() + suffix), ec);
    if (!logFile.empty())
        fs::remove(logFile, ec);
    SyncDirectory(dataFile.parent_path());
    if (!logFile.empty() && logFile.parent_path() != dataFile.parent_path())
        SyncDirectory(logFile.parent_path());
}

namespace {
// The log file holds nothing the stand-in needs; it is there because the server names it.
constexpr char kLogFileText[] = "stand-in log file; the database lives in its data file\n";

bool createExclusive(const fs::path& file, const char* content)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = true;
    if (content) {
        const size_t n = std::char_traits<char>::length(content);
        ok = ::write(fd, content, n) == ssize_t(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ::close(fd);
    return ok;
}
} // namespace

CreateFilesResult CreateDatabaseFiles(const fs::path& dataFile, const fs::path& logFile)
{
    if (!createExclusive(dataFile, nullptr))
        return errno == EEXIST ? CreateFilesResult::DataExists : CreateFilesResult::Failed;
    if (!createExclusive(logFile, kLogFileText)) {
        const bool exists = errno == EEXIST;
        RemoveDatabaseFiles(dataFile, {});
        return exists ? CreateFilesResult::LogExists : CreateFilesResult::Failed;
    }
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(dataFile.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    ok = ok && SyncFile(dataFile) && SyncDirectory(dataFile.parent_path()) &&
         SyncDirectory(logFile.parent_path());
    if (!ok) {
        RemoveDatabaseFiles(dataFile, logFile);
        return CreateFilesResult::Failed;
    }
    return CreateFilesResult::Ok;
}

} // namespace standin::server
