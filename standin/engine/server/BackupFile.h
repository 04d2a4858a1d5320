// The stand-in's backup media: a file holding one or more backup sets, appended one after
// the other. Each set records the database's name, the logical and physical names of its files,
// when it was taken, and the files' bytes, closed by a checksum. A set cut short by a crash is
// ignored and overwritten by the next append; the sets before it stay readable.
#pragma once

#include "../Engine.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace standin::server {

struct BackupSetInfo {
    int32_t position = 0; // 1-based, the FILE = k of RESTORE
    std::u16string databaseName;
    std::u16string dataLogicalName;
    std::u16string dataPhysicalName;
    std::u16string logLogicalName;
    std::u16string logPhysicalName;
    std::u16string name;
    std::u16string description;
    DateTimeValue started;
    DateTimeValue databaseCreated;
    uint64_t dataSize = 0;
    uint64_t logSize = 0;
    // Who took the set, where and how; media written before these were kept read them as
    // unknown (empty, the start time, no flags, a GUID derived from the set's place).
    std::u16string userName;
    std::u16string serverName;
    DateTimeValue finished;
    uint32_t flags = 0; // BackupSetFlag bits
    Bytes setGuid;      // 16 bytes
    // Where the set's bytes are in the media file.
    uint64_t offset = 0;
    uint64_t length = 0;
};

enum BackupSetFlag : uint32_t {
    kCopyOnly = 1,
    kWithChecksum = 2,
    kSimpleRecovery = 4,
};

// A file whose only set was cut short by a crash is media holding no set (Ok, no sets).
struct BackupMedia {
    enum class Status { Ok, Missing, Unreadable, NotMedia };
    Status status = Status::Missing;
    std::vector<BackupSetInfo> sets;
    uint64_t validLength = 0; // bytes up to the end of the last complete set
};

// Reads the sets' headers (the checksums are verified when a set is restored).
BackupMedia ReadBackupMedia(const std::filesystem::path& file);

struct BackupSource {
    BackupSetInfo info;             // names, dates; sizes and position are filled in by the writer
    std::filesystem::path dataCopy; // a consistent copy of the data file
    std::filesystem::path logFile;  // the log file as it is (may be missing: an empty log)
};

// Appends a set (or, with `overwrite`, replaces the media with this one set) and makes it
// durable. Returns the set's position, or an error text.
struct WriteResult {
    int32_t position = 0;
    std::optional<std::string> error;
};
WriteResult WriteBackupSet(const std::filesystem::path& file, const BackupSource& source,
                           bool overwrite);

// Copies the set's data and log bytes to the two files (created or truncated), verifying the
// checksum; false with an error text when the set is damaged or a file cannot be written.
bool ExtractBackupSet(const std::filesystem::path& file, const BackupSetInfo& set,
                      const std::filesystem::path& dataOut, const std::filesystem::path& logOut,
                      std::string& error);

// Reads the set through, checking its checksum, and writes nothing.
bool VerifyBackupSet(const std::filesystem::path& file, const BackupSetInfo& set,
                     std::string& error);

// A fresh identity for a backup set.
Bytes RandomGuid();

// Writes and flushes a file's bytes, then its folder's entry.
bool SyncFile(const std::filesystem::path& file);
bool SyncDirectory(const std::filesystem::path& directory);

} // namespace standin::server
