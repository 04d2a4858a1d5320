// RESTORE FILELISTONLY and RESTORE HEADERONLY result sets. The stand-in keeps no log sequence
// numbers or database GUIDs; it derives them from what a set records, so they are stable for a
// set and ordered by the time sets were taken, which is what readers compare them for.
#include "BackupResults.h"

#include "ServerText.h"

namespace standin::server {

namespace {

ColumnInfo column(const char16_t* name, SqlType type, int32_t length, bool nullable = true,
                  uint8_t precision = 0)
{
    ColumnInfo c;
    c.name = name;
    c.type = type;
    c.length = length;
    c.nullable = nullable;
    c.precision = precision;
    return c;
}

// An identity drawn from the database's name and creation time and a tag: the same in every
// backup of the database.
Bytes databaseGuid(const BackupSetInfo& set, const std::u16string& tag)
{
    uint64_t h1 = 1469598103934665603ull, h2 = 1099511628211ull ^ 0x9E3779B97F4A7C15ull;
    auto mix = [&](uint64_t v) {
        h1 = (h1 ^ v) * 1099511628211ull;
        h2 = (h2 ^ (v + 0x632BE59BD9B4E019ull)) * 0x100000001B3ull;
        h2 ^= h2 >> 29;
    };
    for (char16_t c : FoldCase(set.databaseName))
        mix(c);
    mix(uint64_t(uint32_t(set.databaseCreated.days)));
    mix(set.databaseCreated.ticks);
    for (char16_t c : FoldCase(tag))
        mix(c);
    Bytes guid(16);
    for (int i = 0; i < 8; ++i) {
        guid[size_t(i)] = uint8_t(h1 >> (8 * i));
        guid[size_t(8 + i)] = uint8_t(h2 >> (8 * i));
    }
    guid[7] = uint8_t((guid[7] & 0x0F) | 0x40); // version 4 in the mixed-endian layout
    guid[8] = uint8_t((guid[8] & 0x3F) | 0x80);
    return guid;
}

int64_t pageBytes(uint64_t bytes)
{
    return int64_t((bytes + 8191) / 8192 * 8192);
}

// 1/300 s ticks since 1900 in the high digits, as a log sequence number grows with time.
int64_t sequenceAt(const DateTimeValue& when)
{
    return (int64_t(when.days) * 25920000 + int64_t(when.ticks)) * 100000;
}

constexpr int32_t kDecimalLength = 17;
constexpr uint8_t kSizePrecision = 20;
constexpr uint8_t kLsnPrecision = 25;
constexpr int64_t kDatabaseBackup = 1;
constexpr int64_t kDiskDevice = 2;
constexpr int64_t kFlagChecksums = 16;

} // namespace

void SendFileList(ResultSink& sink, const BackupSetInfo& set)
{
    sink.beginResult(
        {column(u"LogicalName", SqlType::NVarChar, 128),
         column(u"PhysicalName", SqlType::NVarChar, 260),
         column(u"Type", SqlType::Char, 1),
         column(u"FileGroupName", SqlType::NVarChar, 128),
         column(u"Size", SqlType::Decimal, kDecimalLength, true, kSizePrecision),
         column(u"MaxSize", SqlType::Decimal, kDecimalLength, true, kSizePrecision),
         column(u"FileId", SqlType::BigInt, 8),
         column(u"CreateLSN", SqlType::Decimal, kDecimalLength, true, kLsnPrecision),
         column(u"DropLSN", SqlType::Decimal, kDecimalLength, true, kLsnPrecision),
         column(u"UniqueId", SqlType::UniqueIdentifier, 16),
         column(u"ReadOnlyLSN", SqlType::Decimal, kDecimalLength, true, kLsnPrecision),
         column(u"ReadWriteLSN", SqlType::Decimal, kDecimalLength, true, kLsnPrecision),
         column(u"BackupSizeInBytes", SqlType::BigInt, 8),
         column(u"SourceBlockSize", SqlType::Int, 4),
         column(u"FileGroupId", SqlType::Int, 4),
         column(u"LogGroupGUID", SqlType::UniqueIdentifier, 16),
         column(u"DifferentialBaseLSN", SqlType::Decimal, kDecimalLength, true, kLsnPrecision),
         column(u"DifferentialBaseGUID", SqlType::UniqueIdentifier, 16),
         column(u"IsReadOnly", SqlType::Bit, 1),
         column(u"IsPresent", SqlType::Bit, 1),
         column(u"TDEThumbprint", SqlType::VarBinary, 32),
         column(u"SnapshotUrl", SqlType::NVarChar, 360)});
    // Data file 1 in filegroup 1 (PRIMARY), log file 2 in none.
    auto fileRow = [&](const std::u16string& logicalName, const std::u16string& physicalName,
                       const char16_t* type, uint64_t size, int64_t maxSize, int64_t fileId) {
        const bool data = fileId == 1;
        const int64_t bytes = pageBytes(size);
        sink.row({logicalName,
                  physicalName,
                  std::u16string(type),
                  data ? Value{std::u16string(u"PRIMARY")} : Value{},
                  bytes,
                  maxSize,
                  fileId,
                  int64_t(0),
                  Value{},
                  databaseGuid(set, logicalName),
                  Value{},
                  Value{},
                  bytes,
                  int64_t(4096),
                  int64_t(data ? 1 : 0),
                  Value{},
                  Value{},
                  Value{},
                  int64_t(0),
                  int64_t(1),
                  Value{},
                  Value{}});
    };
    fileRow(set.dataLogicalName, set.dataPhysicalName, u"D", set.dataSize, 35184372080640, 1);
    fileRow(set.logLogicalName, set.logPhysicalName, u"L", set.logSize, 2199023255552, 2);
    sink.done(DoneInfo{DoneInfo::Kind::Statement, true, 2, false});
}

void SendBackupHeaders(ResultSink& sink, const std::vector<const BackupSetInfo*>& sets)
{
    const SqlType nvarchar = SqlType::NVarChar;
    const SqlType lsn = SqlType::Decimal;
    sink.beginResult({column(u"BackupName", nvarchar, 128),
                      column(u"BackupDescription", nvarchar, 255),
                      column(u"BackupType", SqlType::SmallInt, 2),
                      column(u"ExpirationDate", SqlType::DateTime, 8),
                      column(u"Compressed", SqlType::Bit, 1),
                      column(u"Position", SqlType::SmallInt, 2),
                      column(u"DeviceType", SqlType::TinyInt, 1),
                      column(u"UserName", nvarchar, 128),
                      column(u"ServerName", nvarchar, 128),
                      column(u"DatabaseName", nvarchar, 128),
                      column(u"DatabaseVersion", SqlType::Int, 4),
                      column(u"DatabaseCreationDate", SqlType::DateTime, 8),
                      column(u"BackupSize", lsn, kDecimalLength, true, kSizePrecision),
                      column(u"FirstLSN", lsn, kDecimalLength, true, kLsnPrecision),
                      column(u"LastLSN", lsn, kDecimalLength, true, kLsnPrecision),
                      column(u"CheckpointLSN", lsn, kDecimalLength, true, kLsnPrecision),
                      column(u"DatabaseBackupLSN", lsn, kDecimalLength, true, kLsnPrecision),
                      column(u"BackupStartDate", SqlType::DateTime, 8),
                      column(u"BackupFinishDate", SqlType::DateTime, 8),
                      column(u"SortOrder", SqlType::SmallInt, 2),
                      column(u"CodePage", SqlType::SmallInt, 2),
                      column(u"UnicodeLocaleId", SqlType::Int, 4),
                      column(u"UnicodeComparisonStyle", SqlType::Int, 4),
                      column(u"CompatibilityLevel", SqlType::TinyInt, 1),
                      column(u"SoftwareVendorId", SqlType::Int, 4),
                      column(u"SoftwareVersionMajor", SqlType::Int, 4),
                      column(u"SoftwareVersionMinor", SqlType::Int, 4),
                      column(u"SoftwareVersionBuild", SqlType::Int, 4),
                      column(u"MachineName", nvarchar, 128),
                      column(u"Flags", SqlType::Int, 4),
                      column(u"BindingID", SqlType::UniqueIdentifier, 16),
                      column(u"RecoveryForkID", SqlType::UniqueIdentifier, 16),
                      column(u"Collation", nvarchar, 128),
                      column(u"FamilyGUID", SqlType::UniqueIdentifier, 16),
                      column(u"HasBulkLoggedData", SqlType::Bit, 1),
                      column(u"IsSnapshot", SqlType::Bit, 1),
                      column(u"IsReadOnly", SqlType::Bit, 1),
                      column(u"IsSingleUser", SqlType::Bit, 1),
                      column(u"HasBackupChecksums", SqlType::Bit, 1),
                      column(u"IsDamaged", SqlType::Bit, 1),
                      column(u"BeginsLogChain", SqlType::Bit, 1),
                      column(u"HasIncompleteMetaData", SqlType::Bit, 1),
                      column(u"IsForceOffline", SqlType::Bit, 1),
                      column(u"IsCopyOnly", SqlType::Bit, 1),
                      column(u"FirstRecoveryForkID", SqlType::UniqueIdentifier, 16),
                      column(u"ForkPointLSN", lsn, kDecimalLength, true, kLsnPrecision),
                      column(u"RecoveryModel", nvarchar, 60),
                      column(u"DifferentialBaseLSN", lsn, kDecimalLength, true, kLsnPrecision),
                      column(u"DifferentialBaseGUID", SqlType::UniqueIdentifier, 16),
                      column(u"BackupTypeDescription", nvarchar, 60),
                      column(u"BackupSetGUID", SqlType::UniqueIdentifier, 16),
                      column(u"CompressedBackupSize", SqlType::BigInt, 8),
                      column(u"Containment", SqlType::TinyInt, 1, false),
                      column(u"KeyAlgorithm", nvarchar, 32),
                      column(u"EncryptorThumbprint", SqlType::VarBinary, 20),
                      column(u"EncryptorType", nvarchar, 32)});
    auto textOrNull = [](const std::u16string& text) {
        return text.empty() ? Value{} : Value{text};
    };
    for (const BackupSetInfo* set : sets) {
        // The clock's 1/300 s can see two sets start and end in one tick; the position keeps
        // their ranges apart and in file order.
        const int64_t offset = 2 * int64_t(set->position);
        const int64_t first = sequenceAt(set->started) + offset;
        const int64_t last =
            std::max(sequenceAt(set->finished), sequenceAt(set->started)) + offset + 1;
        const Bytes fork = databaseGuid(*set, u"#fork");
        const bool checksums = (set->flags & kWithChecksum) != 0;
        sink.row({textOrNull(set->name),
                  textOrNull(set->description),
                  kDatabaseBackup,
                  Value{},
                  int64_t(0),
                  int64_t(set->position),
                  kDiskDevice,
                  textOrNull(set->userName),
                  textOrNull(set->serverName),
                  set->databaseName,
                  int64_t(904),
                  set->databaseCreated,
                  int64_t(set->length),
                  first,
                  last,
                  first,
                  first,
                  set->started,
                  set->finished,
                  int64_t(52),
                  int64_t(1252),
                  int64_t(1033),
                  int64_t(196609),
                  int64_t(150),
                  int64_t(4608),
                  int64_t(15),
                  int64_t(0),
                  int64_t(2000),
                  textOrNull(set->serverName),
                  checksums ? kFlagChecksums : int64_t(0),
                  databaseGuid(*set, u"#binding"),
                  fork,
                  std::u16string(u"SQL_Latin1_General_CP1_CI_AS"),
                  databaseGuid(*set, u"#family"),
                  int64_t(0),
                  int64_t(0),
                  int64_t(0),
                  int64_t(0),
                  int64_t(checksums ? 1 : 0),
                  int64_t(0),
                  int64_t(0),
                  int64_t(0),
                  int64_t(0),
                  int64_t((set->flags & kCopyOnly) != 0 ? 1 : 0),
                  fork,
                  Value{},
                  std::u16string((set->flags & kSimpleRecovery) != 0 ? u"SIMPLE" : u"FULL"),
                  Value{},
                  Value{},
                  std::u16string(u"Database"),
                  set->setGuid,
                  int64_t(set->length),
                  int64_t(0),
                  Value{},
                  Value{},
                  Value{}});
    }
    sink.done(DoneInfo{DoneInfo::Kind::Statement, true, int64_t(sets.size()), false});
}

} // namespace standin::server
