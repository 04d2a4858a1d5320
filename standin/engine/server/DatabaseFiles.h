// The files of a database as the server level makes, measures and removes them, and the server's
// clock for creation dates.
#pragma once

#include "../Engine.h"

#include <cstdint>
#include <filesystem>

namespace standin::server {

DateTimeValue Now();
// Size of a data file as the server counts it (with its write-ahead log), in 8 KB pages.
int64_t DataPages(const std::filesystem::path& dataFile);
int64_t FilePages(const std::filesystem::path& file);
// Removes a data file with its SQLite companions, and a log file.
void RemoveDatabaseFiles(const std::filesystem::path& dataFile,
                         const std::filesystem::path& logFile);
// Creates an empty database file (SQLite, WAL) and its log file; false when either exists.
enum class CreateFilesResult { Ok, DataExists, LogExists, Failed };
CreateFilesResult CreateDatabaseFiles(const std::filesystem::path& dataFile,
                                      const std::filesystem::path& logFile);

} // namespace standin::server
