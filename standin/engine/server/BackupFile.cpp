// Writing and reading the stand-in's backup sets, each closed by a checksum.
#include "BackupFile.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace standin::server {

namespace {
constexpr char kSetMagic[8] = {'S', 'S', 'B', 'K', 'S', 'E', 'T', '1'};
constexpr char kEndMagic[8] = {'S', 'S', 'B', 'K', 'E', 'N', 'D', '1'};
// Version 2 added who, where, when finished, flags and the set's GUID after the sizes.
constexpr uint32_t kFormatVersion = 2;
constexpr uint32_t kMaxHeader = 1 << 20; // a hostile length must not make us allocate much
constexpr size_t kChunk = 1 << 16;

const std::array<uint32_t, 256>& crcTable()
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

uint32_t crcUpdate(uint32_t crc, const uint8_t* data, size_t size)
{
    const auto& t = crcTable();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = t[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

// A file descriptor closed on every path out.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool readExact(int fd, void* buffer, size_t size, uint64_t offset)
{
    auto* p = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

bool writeAll(int fd, const void* buffer, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

void putU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void putU64(std::vector<uint8_t>& out, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void putText(std::vector<uint8_t>& out, const std::u16string& s)
{
    putU32(out, uint32_t(s.size()));
    for (char16_t c : s) {
        out.push_back(uint8_t(c & 0xFF));
        out.push_back(uint8_t(c >> 8));
    }
}

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool u32(uint32_t& v)
    {
        if (size_ - at_ < 4)
            return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(data_[at_ + i]) << (8 * i);
        at_ += 4;
        return true;
    }
    bool u64(uint64_t& v)
    {
        if (size_ - at_ < 8)
            return false;
        v = 0;
        for (int i = 0; i < 8; ++i)
            v |= uint64_t(data_[at_ + i]) << (8 * i);
        at_ += 8;
        return true;
    }
    bool bytes(Bytes& out, size_t count)
    {
        if (size_ - at_ < count)
            return false;
        out.assign(data_ + at_, data_ + at_ + count);
        at_ += count;
        return true;
    }
    bool text(std::u16string& s)
    {
        uint32_t count = 0;
        if (!u32(count) || (size_ - at_) / 2 < count)
            return false;
        s.resize(count);
        for (uint32_t i = 0; i < count; ++i)
            s[i] = char16_t(data_[at_ + 2 * i] | (data_[at_ + 2 * i + 1] << 8));
        at_ += size_t(count) * 2;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

std::vector<uint8_t> encodeHeader(const BackupSetInfo& info)
{
    std::vector<uint8_t> h;
    putU32(h, kFormatVersion);
    for (const auto* s :
         {&info.databaseName, &info.dataLogicalName, &info.dataPhysicalName, &info.logLogicalName,
          &info.logPhysicalName, &info.name, &info.description})
        putText(h, *s);
    putU32(h, uint32_t(info.started.days));
    putU32(h, info.started.ticks);
    putU32(h, uint32_t(info.databaseCreated.days));
    putU32(h, info.databaseCreated.ticks);
    putU64(h, info.dataSize);
    putU64(h, info.logSize);
    putText(h, info.userName);
    putText(h, info.serverName);
    putU32(h, uint32_t(info.finished.days));
    putU32(h, info.finished.ticks);
    putU32(h, info.flags);
    Bytes guid = info.setGuid;
    guid.resize(16);
    h.insert(h.end(), guid.begin(), guid.end());
    return h;
}

// Sets written before GUIDs were kept get one drawn from their header's bytes: stable, and
// distinct for sets taken at different times.
Bytes derivedGuid(const std::vector<uint8_t>& header)
{
    uint64_t h1 = 1469598103934665603ull, h2 = 0x9E3779B97F4A7C15ull;
    for (uint8_t b : header) {
        h1 = (h1 ^ b) * 1099511628211ull;
        h2 = (h2 ^ (b + 0x632BE59BD9B4E019ull)) * 0x100000001B3ull;
        h2 ^= h2 >> 29;
    }
    Bytes guid(16);
    for (int i = 0; i < 8; ++i) {
        guid[size_t(i)] = uint8_t(h1 >> (8 * i));
        guid[size_t(8 + i)] = uint8_t(h2 >> (8 * i));
    }
    return guid;
}

bool decodeHeader(const std::vector<uint8_t>& bytes, BackupSetInfo& info)
{
    Reader r(bytes.data(), bytes.size());
    uint32_t version = 0, days = 0, createdDays = 0;
    if (!r.u32(version) || version < 1 || version > kFormatVersion)
        return false;
    for (auto* s : {&info.databaseName, &info.dataLogicalName, &info.dataPhysicalName,
                    &info.logLogicalName, &info.logPhysicalName, &info.name, &info.description})
        if (!r.text(*s))
            return false;
    if (!r.u32(days) || !r.u32(info.started.ticks) || !r.u32(createdDays) ||
        !r.u32(info.databaseCreated.ticks) || !r.u64(info.dataSize) || !r.u64(info.logSize))
        return false;
    info.started.days = int32_t(days);
    info.databaseCreated.days = int32_t(createdDays);
    if (version == 1) {
        info.finished = info.started;
        info.setGuid = derivedGuid(bytes);
        return true;
    }
    uint32_t finishedDays = 0;
    if (!r.text(info.userName) || !r.text(info.serverName) || !r.u32(finishedDays) ||
        !r.u32(info.finished.ticks) || !r.u32(info.flags) || !r.bytes(info.setGuid, 16))
        return false;
    info.finished.days = int32_t(finishedDays);
    return true;
}

uint64_t fileSize(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? uint64_t(st.st_size) : 0;
}

// Streams `size` bytes of `from` (or zeros when from is -1) to `to`, updating the checksum.
bool copyBytes(int from, uint64_t fromOffset, int to, uint64_t size, uint32_t& crc)
{
    std::vector<uint8_t> buffer(kChunk);
    while (size > 0) {
        const size_t n = size_t(std::min<uint64_t>(size, kChunk));
        if (!readExact(from, buffer.data(), n, fromOffset))
            return false;
        crc = crcUpdate(crc, buffer.data(), n);
        if (to >= 0 && !writeAll(to, buffer.data(), n))
            return false;
        fromOffset += n;
        size -= n;
    }
    return true;
}

std::string osError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// Writes one whole set at the descriptor's current position.
bool writeSet(int fd, const BackupSource& source, const BackupSetInfo& info, std::string& error)
{
    Fd data(::open(source.dataCopy.c_str(), O_RDONLY | O_CLOEXEC));
    if (!data.valid()) {
        error = osError("open data copy");
        return false;
    }
    Fd log(source.logFile.empty() ? -1 : ::open(source.logFile.c_str(), O_RDONLY | O_CLOEXEC));
    BackupSetInfo sized = info;
    sized.dataSize = fileSize(data.get());
    sized.logSize = log.valid() ? fileSize(log.get()) : 0;
    const std::vector<uint8_t> header = encodeHeader(sized);
    std::vector<uint8_t> prefix(kSetMagic, kSetMagic + 8);
    putU32(prefix, uint32_t(header.size()));
    uint32_t crc = crcUpdate(0, header.data(), header.size());
    if (!writeAll(fd, prefix.data(), prefix.size()) ||
        !writeAll(fd, header.data(), header.size())) {
        error = osError("write");
        return false;
    }
    if (!copyBytes(data.get(), 0, fd, sized.dataSize, crc) ||
        (log.valid() && !copyBytes(log.get(), 0, fd, sized.logSize, crc))) {
        error = osError("copy");
        return false;
    }
    std::vector<uint8_t> trailer(kEndMagic, kEndMagic + 8);
    putU32(trailer, crc);
    if (!writeAll(fd, trailer.data(), trailer.size())) {
        error = osError("write");
        return false;
    }
    return true;
}

std::atomic<uint64_t> temporaryCounter{0};
} // namespace

Bytes RandomGuid()
{
    std::random_device device;
    Bytes guid(16);
    for (size_t i = 0; i < guid.size(); i += 4) {
        const uint32_t r = device();
        for (size_t k = 0; k < 4; ++k)
            guid[i + k] = uint8_t(r >> (8 * k));
    }
    guid[7] = uint8_t((guid[7] & 0x0F) | 0x40);
    guid[8] = uint8_t((guid[8] & 0x3F) | 0x80);
    return guid;
}

bool SyncFile(const fs::path& file)
{
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.valid() && ::fsync(fd.get()) == 0;
}

bool SyncDirectory(const fs::path& directory)
{
    Fd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.valid() && ::fsync(fd.get()) == 0;
}

BackupMedia ReadBackupMedia(const fs::path& file)
{
    BackupMedia media;
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        media.status =
            errno == ENOENT ? BackupMedia::Status::Missing : BackupMedia::Status::Unreadable;
        return media;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        media.status = BackupMedia::Status::Unreadable;
        return media;
    }
    const uint64_t size = uint64_t(st.st_size);
    uint64_t offset = 0;
    while (offset < size) {
        char magic[8];
        uint8_t lengthBytes[4];
        if (size - offset < 12 || !readExact(fd.get(), magic, 8, offset) ||
            std::memcmp(magic, kSetMagic, 8) != 0 ||
            !readExact(fd.get(), lengthBytes, 4, offset + 8))
            break;
        const uint32_t headerLength = uint32_t(lengthBytes[0]) | (uint32_t(lengthBytes[1]) << 8) |
                                      (uint32_t(lengthBytes[2]) << 16) |
                                      (uint32_t(lengthBytes[3]) << 24);
        if (headerLength > kMaxHeader || size - offset - 12 < headerLength)
            break;
        std::vector<uint8_t> header(headerLength);
        BackupSetInfo info;
        if (!readExact(fd.get(), header.data(), headerLength, offset + 12) ||
            !decodeHeader(header, info))
            break;
        const uint64_t bodyStart = offset + 12 + headerLength;
        const uint64_t remaining = size - bodyStart;
        if (info.dataSize > remaining || info.logSize > remaining - info.dataSize ||
            remaining - info.dataSize - info.logSize < 12)
            break;
        const uint64_t end = bodyStart + info.dataSize + info.logSize;
        if (!readExact(fd.get(), magic, 8, end) || std::memcmp(magic, kEndMagic, 8) != 0)
            break;
        info.position = int32_t(media.sets.size() + 1);
        info.offset = offset;
        info.length = end + 12 - offset;
        media.sets.push_back(std::move(info));
        offset = end + 12;
        media.validLength = offset;
    }
    char first[8];
    const bool startsAsMedia =
        size >= 8 && readExact(fd.get(), first, 8, 0) && std::memcmp(first, kSetMagic, 8) == 0;
    media.status = media.sets.empty() && !startsAsMedia ? BackupMedia::Status::NotMedia
                                                        : BackupMedia::Status::Ok;
    return media;
}

WriteResult WriteBackupSet(const fs::path& file, const BackupSource& source, bool overwrite)
{
    WriteResult result;
    std::string error;
    if (overwrite) {
        // A new media file appears whole or not at all.
        const fs::path temporary =
            file.parent_path() / (file.filename().native() + ".tmp-" + std::to_string(::getpid()) +
                                  "-" + std::to_string(temporaryCounter.fetch_add(1)));
        Fd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            result.error = osError("create");
            return result;
        }
        const bool written =
            writeSet(fd.get(), source, source.info, error) && ::fsync(fd.get()) == 0;
        if (!fd.close() || !written || ::rename(temporary.c_str(), file.c_str()) != 0) {
            result.error = error.empty() ? osError("write") : error;
            ::unlink(temporary.c_str());
            return result;
        }
        SyncDirectory(file.parent_path());
        result.position = 1;
        return result;
    }

    const BackupMedia media = ReadBackupMedia(file);
    if (media.status == BackupMedia::Status::Unreadable) {
        result.error = "unreadable media";
        return result;
    }
    const bool exists = media.status != BackupMedia::Status::Missing;
    Fd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.valid()) {
        result.error = osError("open");
        return result;
    }
    if (media.status == BackupMedia::Status::NotMedia && fileSize(fd.get()) > 0) {
        result.error = "not backup media";
        return result;
    }
    // A set torn by a crash is cut off before the new one is written.
    if (::ftruncate(fd.get(), off_t(media.validLength)) != 0 ||
        ::lseek(fd.get(), off_t(media.validLength), SEEK_SET) < 0) {
        result.error = osError("truncate");
        return result;
    }
    if (!writeSet(fd.get(), source, source.info, error) || ::fsync(fd.get()) != 0) {
        result.error = error.empty() ? osError("fsync") : error;
        // Leave the media as it was: the earlier sets stay whole.
        if (::ftruncate(fd.get(), off_t(media.validLength)) == 0)
            ::fsync(fd.get());
        return result;
    }
    if (!exists)
        SyncDirectory(file.parent_path());
    result.position = int32_t(media.sets.size() + 1);
    return result;
}

bool VerifyBackupSet(const fs::path& file, const BackupSetInfo& set, std::string& error)
{
    return ExtractBackupSet(file, set, {}, {}, error);
}

// With empty output paths the bytes are only checked.
bool ExtractBackupSet(const fs::path& file, const BackupSetInfo& set, const fs::path& dataOut,
                      const fs::path& logOut, std::string& error)
{
    Fd in(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) {
        error = osError("open media");
        return false;
    }
    uint8_t lengthBytes[4];
    if (!readExact(in.get(), lengthBytes, 4, set.offset + 8)) {
        error = "short media";
        return false;
    }
    const uint32_t headerLength = uint32_t(lengthBytes[0]) | (uint32_t(lengthBytes[1]) << 8) |
                                  (uint32_t(lengthBytes[2]) << 16) |
                                  (uint32_t(lengthBytes[3]) << 24);
    if (headerLength > kMaxHeader) {
        error = "damaged set";
        return false;
    }
    std::vector<uint8_t> header(headerLength);
    if (!readExact(in.get(), header.data(), headerLength, set.offset + 12)) {
        error = "short media";
        return false;
    }
    uint32_t crc = crcUpdate(0, header.data(), header.size());
    const uint64_t bodyStart = set.offset + 12 + headerLength;
    const bool discard = dataOut.empty();
    Fd data(discard ? -1 : ::open(dataOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    Fd log(discard ? -1 : ::open(logOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!discard && (!data.valid() || !log.valid())) {
        error = osError("create");
        return false;
    }
    if (!copyBytes(in.get(), bodyStart, data.get(), set.dataSize, crc) ||
        !copyBytes(in.get(), bodyStart + set.dataSize, log.get(), set.logSize, crc)) {
        error = osError("copy");
        return false;
    }
    uint8_t trailer[12];
    if (!readExact(in.get(), trailer, 12, bodyStart + set.dataSize + set.logSize)) {
        error = "short media";
        return false;
    }
    const uint32_t stored = uint32_t(trailer[8]) | (uint32_t(trailer[9]) << 8) |
                            (uint32_t(trailer[10]) << 16) | (uint32_t(trailer[11]) << 24);
    if (stored != crc) {
        error = "checksum mismatch";
        return false;
    }
    if (discard)
        return true;
    if (::fsync(data.get()) != 0 || ::fsync(log.get()) != 0 || !data.close() || !log.close()) {
        error = osError("fsync");
        return false;
    }
    return true;
}

} // namespace standin::server
