// The page layout of Jet 3 and Jet 4 files: header page, catalogue, table definitions, data
// pages with their null masks and variable-length tables, long-value pages and usage maps.
#include "MdbWriter.h"

#include "TextEncoding.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <type_traits>
#include <unistd.h>

namespace mdbwriter {
namespace {

using ByteVector = std::vector<std::uint8_t>;

struct Format {
    JetVersion version;
    int pageSize;
    int rowCountOffset; // data pages: the row count, followed by the row offsets
    int usageMapSize;   // bytes of one usage-map row
    bool jet3() const { return version == JetVersion::Jet3; }
};

constexpr Format kJet4{JetVersion::Jet4, 4096, 12, 64};
constexpr Format kJet3{JetVersion::Jet3, 2048, 8, 128};

// Found in every table and column definition Access writes; readers ignore it.
constexpr std::uint32_t kDefinitionMagic = 1625;
constexpr std::uint8_t kUserTable = 0x4E;
constexpr std::uint8_t kSystemTable = 0x53;
constexpr std::uint16_t kGeneralSortOrder = 0x0409;
constexpr std::uint16_t kCodePage1252 = 1252;
constexpr std::size_t kMaxRowsPerPage = 255; // a row reference keeps the row number in a byte
constexpr std::size_t kLongValueOverhead = 12;
constexpr std::size_t kMaxInlineLongValue = 64;
constexpr std::size_t kMaxCompressedMemoChars = 1024;
constexpr std::uint32_t kTablesContainerId = 0x0F000001;
// The high bits of a row's offset on its page. A moved row's place keeps a pointer to it
// (kPointerRow); the moved row itself carries kDeletedRow so that a walk over the pages does
// not meet it twice; a deleted row carries both.
constexpr std::uint16_t kOffsetMask = 0x1FFF;
constexpr std::uint16_t kPointerRow = 0x4000;
constexpr std::uint16_t kDeletedRow = 0x8000;
constexpr long long kSystemObjectFlags = static_cast<std::int32_t>(0x80000002u);

void put16(ByteVector& b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(ByteVector& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void append8(ByteVector& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
}
void append16(ByteVector& b, std::uint32_t v)
{
    append8(b, v);
    append8(b, v >> 8);
}
void append32(ByteVector& b, std::uint32_t v)
{
    append16(b, v);
    append16(b, v >> 16);
}
void appendBytes(ByteVector& b, const ByteVector& more)
{
    b.insert(b.end(), more.begin(), more.end());
}

ByteVector doubleBytes(double d)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    ByteVector out(8);
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    return out;
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// A data page (or long-value page) filled with rows from its end towards its header.
class Page {
public:
    Page(const Format& format, std::uint32_t number, const std::uint8_t owner[4])
        : format_(format), number_(number), bytes_(format.pageSize, 0), rowEnd_(format.pageSize)
    {
        bytes_[0] = 0x01;
        bytes_[1] = 0x01;
        std::memcpy(&bytes_[4], owner, 4);
        updateHeader();
    }

    // A page read back from the file.
    Page(const Format& format, std::uint32_t number, ByteVector bytes)
        : format_(format), number_(number), bytes_(std::move(bytes)), rowEnd_(format.pageSize)
    {
        rows_ = bytes_[format_.rowCountOffset] | bytes_[format_.rowCountOffset + 1] << 8;
        if (rows_ > 0)
            rowEnd_ = offsetEntry(rows_ - 1) & kOffsetMask;
    }

    std::uint32_t number() const { return number_; }
    std::size_t rowCount() const { return rows_; }
    std::uint16_t flags(std::size_t row) const { return offsetEntry(row) & ~kOffsetMask; }
    void addFlags(std::size_t row, std::uint16_t flags)
    {
        put16(bytes_, entryAt(row), offsetEntry(row) | flags);
    }
    ByteVector content(std::size_t row) const
    {
        const std::size_t start = offsetEntry(row) & kOffsetMask;
        return ByteVector(bytes_.begin() + static_cast<std::ptrdiff_t>(start),
                          bytes_.begin() + static_cast<std::ptrdiff_t>(rowLimit(row)));
    }
    // Gives a row new bytes, moving the rows after it so that the page stays packed from its
    // end; false (and nothing changed) when the page has no room for them.
    bool replace(std::size_t row, const ByteVector& bytes)
    {
        std::vector<ByteVector> contents;
        std::size_t total = 0;
        for (std::size_t r = 0; r < rows_; ++r) {
            contents.push_back(r == row ? bytes : content(r));
            total += contents.back().size();
        }
        if (format_.rowCountOffset + 2 + 2 * rows_ + total > bytes_.size())
            return false;
        std::size_t end = bytes_.size();
        for (std::size_t r = 0; r < rows_; ++r) {
            end -= contents[r].size();
            std::memcpy(&bytes_[end], contents[r].data(), contents[r].size());
            put16(bytes_, entryAt(r), static_cast<std::uint32_t>(end | flags(r)));
        }
        rowEnd_ = end;
        updateHeader();
        return true;
    }
    std::size_t freeSpace() const
    {
        const std::size_t used = format_.rowCountOffset + 2 + 2 * rows_;
        return rowEnd_ > used ? rowEnd_ - used : 0;
    }
    bool fits(std::size_t rowSize) const
    {
        return rows_ < kMaxRowsPerPage && freeSpace() >= rowSize + 2;
    }
    // The row's number on the page.
    std::uint32_t add(const ByteVector& row, std::uint16_t flags = 0)
    {
        rowEnd_ -= row.size();
        std::memcpy(&bytes_[rowEnd_], row.data(), row.size());
        put16(bytes_, entryAt(rows_), static_cast<std::uint32_t>(rowEnd_ | flags));
        ++rows_;
        updateHeader();
        return static_cast<std::uint32_t>(rows_ - 1);
    }
    const ByteVector& bytes() const { return bytes_; }

    // The largest row an empty page takes.
    static std::size_t maxRow(const Format& format)
    {
        return format.pageSize - format.rowCountOffset - 4;
    }

private:
    std::size_t entryAt(std::size_t row) const { return format_.rowCountOffset + 2 + 2 * row; }
    std::uint16_t offsetEntry(std::size_t row) const
    {
        return static_cast<std::uint16_t>(bytes_[entryAt(row)] | bytes_[entryAt(row) + 1] << 8);
    }
    // Rows lie from the page's end towards its header: each ends where the one before starts.
    std::size_t rowLimit(std::size_t row) const
    {
        return row == 0 ? bytes_.size() : (offsetEntry(row - 1) & kOffsetMask);
    }
    void updateHeader()
    {
        put16(bytes_, 2, static_cast<std::uint32_t>(freeSpace()));
        put16(bytes_, format_.rowCountOffset, static_cast<std::uint32_t>(rows_));
    }

    Format format_;
    std::uint32_t number_;
    ByteVector bytes_;
    std::size_t rowEnd_;
    std::size_t rows_ = 0;
};

struct LayoutColumn {
    Column def;
    int number = 0; // position in the row and the null mask
    bool fixed = true;
    int fixedOffset = 0;
    int fixedSize = 0;
    int varIndex = 0;
    bool dropped = false; // gone from the definition; rows keep its place
    bool isLong() const { return def.type == ColumnType::Ole || def.type == ColumnType::Memo; }
};

// Pages holding one column's long values.
struct LongValueStore {
    std::optional<Page> current;
    std::vector<std::uint32_t> pages;
    std::uint32_t usedMap = 0, freeMap = 0;
};

struct Table {
    std::string name;
    bool system = false;
    std::vector<LayoutColumn> columns;
    int varCount = 0;
    int fixedBytes = 0;
    int autoColumn = -1;
    std::uint32_t definitionPage = 0;
    std::optional<Page> current;
    std::vector<std::uint32_t> pages;
    std::uint32_t rows = 0;
    long long nextAutoNumber = 1;
    std::vector<LongValueStore> longValues; // one per column; used by Memo and OLE columns
    std::uint32_t usedMap = 0, freeMap = 0;
};

int fixedSizeOf(ColumnType type)
{
    switch (type) {
    case ColumnType::YesNo:
        return 0; // the value lives in the null mask
    case ColumnType::Byte:
        return 1;
    case ColumnType::Integer:
        return 2;
    case ColumnType::Long:
    case ColumnType::Single:
        return 4;
    case ColumnType::Double:
    case ColumnType::DateTime:
    case ColumnType::Currency:
        return 8;
    case ColumnType::ReplicationId:
        return 16;
    case ColumnType::Decimal:
        return 17;
    default:
        return -1;
    }
}

const char* typeName(ColumnType type)
{
    switch (type) {
    case ColumnType::YesNo:
        return "Yes/No";
    case ColumnType::Byte:
        return "Byte";
    case ColumnType::Integer:
        return "Integer";
    case ColumnType::Long:
        return "Long Integer";
    case ColumnType::Double:
        return "Double";
    case ColumnType::DateTime:
        return "Date/Time";
    case ColumnType::Text:
        return "Text";
    case ColumnType::Ole:
        return "OLE Object";
    case ColumnType::Memo:
        return "Memo";
    case ColumnType::Currency:
        return "Currency";
    case ColumnType::Single:
        return "Single";
    case ColumnType::Binary:
        return "Binary";
    case ColumnType::ReplicationId:
        return "Replication ID";
    case ColumnType::Decimal:
        return "Decimal";
    }
    return "?";
}

bool validName(const std::string& name)
{
    if (name.empty() || name.size() > 64 || name.front() == ' ')
        return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == '.' || c == '!' || c == '`' || c == '[' || c == ']')
            return false;
    }
    return encoding::utf16FromUtf8(name).has_value();
}

// The days-from-civil count of proleptic Gregorian dates (day 0 = 1970-01-01).
long long daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, int& y, int& m, int& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

constexpr long long kEpochDays = -25569; // 1899-12-30 counted from 1970-01-01

bool validDate(const DateTime& t)
{
    if (t.year < 100 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.hour < 0 ||
        t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59)
        return false;
    int y = 0, m = 0, d = 0;
    civilFromDays(daysFromCivil(t.year, t.month, t.day), y, m, d);
    return y == t.year && m == t.month && d == t.day;
}

} // namespace

Column Column::text(std::string name, int length, bool compressed)
{
    Column c{std::move(name), ColumnType::Text};
    c.length = length;
    c.compressed = compressed;
    return c;
}

Column Column::memo(std::string name, bool compressed)
{
    Column c{std::move(name), ColumnType::Memo};
    c.compressed = compressed;
    return c;
}

Column Column::decimal(std::string name, int precision, int scale)
{
    Column c{std::move(name), ColumnType::Decimal};
    c.precision = precision;
    c.scale = scale;
    return c;
}

Column Column::binary(std::string name, int length)
{
    Column c{std::move(name), ColumnType::Binary};
    c.length = length;
    return c;
}

Column Column::autoNumberLong(std::string name)
{
    Column c{std::move(name), ColumnType::Long};
    c.autoNumber = true;
    return c;
}

double DateTime::toStored() const
{
    const long long days = daysFromCivil(year, month, day) - kEpochDays;
    const double fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

DateTime DateTime::fromStored(double stored)
{
    long long days = static_cast<long long>(std::trunc(stored));
    long long seconds = std::llround(std::fabs(stored - static_cast<double>(days)) * 86400.0);
    if (seconds >= 86400) { // rounding reached midnight of the next day
        seconds -= 86400;
        days += days >= 0 && stored >= 0 ? 1 : -1;
    }
    DateTime t;
    civilFromDays(days + kEpochDays, t.year, t.month, t.day);
    t.hour = static_cast<int>(seconds / 3600);
    t.minute = static_cast<int>(seconds / 60 % 60);
    t.second = static_cast<int>(seconds % 60);
    return t;
}

struct MdbWriter::Impl {
    Format format;
    std::string path, tempPath;
    int fd = -1;
    std::uint32_t nextPage = 3; // 0 header, 1 usage maps, 2 catalogue definition
    std::vector<Table> tables;  // [0] is the catalogue
    bool closed = false;
    bool closing = false;
    static constexpr std::uint32_t kClosingReserve = 1024;

    explicit Impl(const Format& f) : format(f) {}

    // The usage maps reach so many pages (a little under 2 GB for Jet 4, 1 GB for Jet 3);
    // rows stop short of it so that closing still finds room for the catalogue and maps.
    std::uint32_t pageLimit() const
    {
        const auto slots = static_cast<std::uint32_t>((format.usageMapSize - 1) / 4);
        return slots * static_cast<std::uint32_t>((format.pageSize - 4) * 8);
    }
    std::uint32_t allocatePage()
    {
        if (!closing && nextPage + kClosingReserve >= pageLimit())
            throw MdbWriterError("the file would grow past the " +
                                 std::to_string(static_cast<unsigned long long>(pageLimit()) *
                                                format.pageSize / 1048576) +
                                 " MB an Access file of this version can hold");
        return nextPage++;
    }

    void writePage(std::uint32_t number, const ByteVector& bytes)
    {
        const off_t at = static_cast<off_t>(number) * format.pageSize;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                       at + static_cast<off_t>(done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw MdbWriterError("cannot write \"" + path + "\": " + std::strerror(errno));
            }
            done += static_cast<std::size_t>(n);
        }
    }

    static std::string where(const Table& t, std::uint32_t row, const LayoutColumn& c)
    {
        return "table \"" + t.name + "\", row " + std::to_string(row) + ", column \"" + c.def.name +
               "\"";
    }

    Table& checkedTable(TableId id, const char* action)
    {
        if (closed)
            throw MdbWriterError(std::string("cannot ") + action + ": the file is already closed");
        if (id >= tables.size() || id == 0)
            throw MdbWriterError(std::string("cannot ") + action + ": no table number " +
                                 std::to_string(id));
        return tables[id];
    }

    TableId defineTable(const std::string& name, const std::vector<Column>& columns, bool system)
    {
        if (!validName(name))
            throw MdbWriterError("table name \"" + name +
                                 "\" is not allowed: 1 to 64 characters of valid UTF-8, not "
                                 "starting with a blank, without . ! ` [ ] or control characters");
        const auto fitsCodePage = [&](const std::string& text) {
            return !format.jet3() ||
                   encoding::cp1252FromUtf16(*encoding::utf16FromUtf8(text)).has_value();
        };
        if (!fitsCodePage(name))
            throw MdbWriterError("table name \"" + name +
                                 "\" has a character that an Access 97 file cannot hold");
        for (const Table& t : tables) {
            if (lower(t.name) == lower(name))
                throw MdbWriterError("table \"" + name + "\" already exists");
        }
        if (columns.empty() || columns.size() > 255)
            throw MdbWriterError("table \"" + name + "\" needs 1 to 255 columns, not " +
                                 std::to_string(columns.size()));
        Table t;
        t.name = name;
        t.system = system;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const Column& c = columns[i];
            const std::string at = "table \"" + name + "\", column \"" + c.name + "\"";
            if (!validName(c.name))
                throw MdbWriterError(at + ": the column name is not allowed");
            if (!fitsCodePage(c.name))
                throw MdbWriterError(at + ": the name has a character that an Access 97 file "
                                          "cannot hold");
            for (std::size_t k = 0; k < i; ++k) {
                if (lower(columns[k].name) == lower(c.name))
                    throw MdbWriterError(at + ": the column name appears twice");
            }
            if (c.type == ColumnType::Text && (c.length < 1 || c.length > 255))
                throw MdbWriterError(at + ": a text column holds 1 to 255 characters, not " +
                                     std::to_string(c.length));
            if (c.type == ColumnType::Binary && (c.length < 1 || c.length > 255))
                throw MdbWriterError(at + ": a binary column holds 1 to 255 bytes, not " +
                                     std::to_string(c.length));
            if (c.type == ColumnType::Decimal &&
                (format.jet3() || c.precision < 1 || c.precision > 28 || c.scale < 0 ||
                 c.scale > c.precision))
                throw MdbWriterError(at + ": a decimal column needs an Access 2000 file, a "
                                          "precision of 1 to 28 and a scale up to it");
            if (c.autoNumber) {
                if (c.type != ColumnType::Long)
                    throw MdbWriterError(at + ": only a Long Integer column can be an autonumber");
                if (t.autoColumn >= 0)
                    throw MdbWriterError(at + ": a table has at most one autonumber column");
                t.autoColumn = static_cast<int>(i);
            }
            LayoutColumn lc;
            lc.def = c;
            lc.number = static_cast<int>(i);
            const int size = fixedSizeOf(c.type);
            lc.fixed = size >= 0;
            if (lc.fixed) {
                lc.fixedOffset = t.fixedBytes;
                lc.fixedSize = size;
                t.fixedBytes += size;
            } else {
                lc.varIndex = t.varCount++;
            }
            t.columns.push_back(lc);
        }
        t.longValues.resize(columns.size());
        t.definitionPage = system ? 2 : allocatePage();
        tables.push_back(std::move(t));
        return tables.size() - 1;
    }

    // One value made ready for its row; long values are stored only once the row is accepted.
    struct Field {
        bool present = false; // the null-mask bit: not NULL, or Yes for Yes/No
        ByteVector bytes;
        bool longValue = false;
    };

    Field encode(Table& t, const LayoutColumn& c, const Value& v, std::uint32_t row)
    {
        Field f;
        const auto refuse = [&](const std::string& why) {
            return MdbWriterError(where(t, row, c) + ": " + why);
        };
        if (std::holds_alternative<Null>(v)) {
            if (c.def.autoNumber) {
                if (t.nextAutoNumber > 0x7FFFFFFF)
                    throw refuse("the autonumber has run out");
                f.present = true;
                f.bytes.resize(4);
                put32(f.bytes, 0, static_cast<std::uint32_t>(t.nextAutoNumber++));
            }
            return f;
        }
        const auto integerIn = [&](long long low, long long high) {
            if (!std::holds_alternative<long long>(v))
                throw refuse(std::string("a ") + typeName(c.def.type) +
                             " column takes a whole number");
            const long long n = std::get<long long>(v);
            if (n < low || n > high)
                throw refuse(std::to_string(n) + " is outside the range of a " +
                             typeName(c.def.type) + " column (" + std::to_string(low) + " to " +
                             std::to_string(high) + ")");
            return n;
        };
        const auto textUnits = [&]() {
            if (!std::holds_alternative<std::string>(v))
                throw refuse(std::string("a ") + typeName(c.def.type) + " column takes text");
            auto units = encoding::utf16FromUtf8(std::get<std::string>(v));
            if (!units)
                throw refuse("the text is not valid UTF-8");
            return *units;
        };
        const auto storedText = [&](const std::u16string& units, bool mayCompress) {
            if (format.jet3()) {
                auto bytes = encoding::cp1252FromUtf16(units);
                if (!bytes)
                    throw refuse("the text has a character that an Access 97 file (code page "
                                 "1252) cannot hold");
                return *bytes;
            }
            if (mayCompress) {
                if (auto packed = encoding::compressedUcs2(units))
                    return *packed;
            }
            return encoding::ucs2Bytes(units);
        };
        f.present = true;
        switch (c.def.type) {
        case ColumnType::YesNo:
            if (!std::holds_alternative<bool>(v))
                throw refuse("a Yes/No column takes true or false");
            f.present = std::get<bool>(v);
            break;
        case ColumnType::Byte:
            f.bytes = {static_cast<std::uint8_t>(integerIn(0, 255))};
            break;
        case ColumnType::Integer:
            f.bytes.resize(2);
            put16(f.bytes, 0, static_cast<std::uint32_t>(integerIn(-32768, 32767)));
            break;
        case ColumnType::Long: {
            const long long n = integerIn(-2147483648LL, 2147483647LL);
            f.bytes.resize(4);
            put32(f.bytes, 0, static_cast<std::uint32_t>(n));
            if (c.def.autoNumber)
                t.nextAutoNumber = std::max(t.nextAutoNumber, n + 1);
            break;
        }
        case ColumnType::Double:
            if (std::holds_alternative<double>(v))
                f.bytes = doubleBytes(std::get<double>(v));
            else if (std::holds_alternative<long long>(v))
                f.bytes = doubleBytes(static_cast<double>(std::get<long long>(v)));
            else
                throw refuse("a Double column takes a number");
            break;
        case ColumnType::DateTime:
            if (std::holds_alternative<DateTime>(v)) {
                const DateTime& d = std::get<DateTime>(v);
                if (!validDate(d))
                    throw refuse("not a valid date and time between the years 100 and 9999");
                f.bytes = doubleBytes(d.toStored());
            } else if (std::holds_alternative<double>(v)) {
                f.bytes = doubleBytes(std::get<double>(v));
            } else {
                throw refuse("a Date/Time column takes a date");
            }
            break;
        case ColumnType::Text: {
            const std::u16string units = textUnits();
            if (units.size() > static_cast<std::size_t>(c.def.length))
                throw refuse("the text has " + std::to_string(units.size()) +
                             " characters; the column holds " + std::to_string(c.def.length));
            f.bytes = storedText(units, c.def.compressed);
            break;
        }
        case ColumnType::Memo: {
            const std::u16string units = textUnits();
            f.bytes =
                storedText(units, c.def.compressed && units.size() <= kMaxCompressedMemoChars);
            f.longValue = true;
            break;
        }
        case ColumnType::Ole:
            if (!std::holds_alternative<Bytes>(v))
                throw refuse("an OLE Object column takes bytes");
            f.bytes = std::get<Bytes>(v);
            f.longValue = true;
            break;
        case ColumnType::Binary:
            if (!std::holds_alternative<Bytes>(v))
                throw refuse("a Binary column takes bytes");
            f.bytes = std::get<Bytes>(v);
            if (f.bytes.size() > static_cast<std::size_t>(c.def.length))
                throw refuse("the value has " + std::to_string(f.bytes.size()) +
                             " bytes; the column holds " + std::to_string(c.def.length));
            break;
        case ColumnType::Single:
        case ColumnType::Currency:
        case ColumnType::ReplicationId:
        case ColumnType::Decimal:
            f.bytes = encodeMore(c, v, refuse);
            break;
        }
        if (f.longValue && f.bytes.size() > 0x3FFFFFFF)
            throw refuse("the value is larger than 1 GB");
        return f;
    }

    // The fixed-size types that only some tables use.
    template <typename Refuse>
    static ByteVector encodeMore(const LayoutColumn& c, const Value& v, const Refuse& refuse)
    {
        const auto number = [&]() -> std::optional<double> {
            if (std::holds_alternative<double>(v))
                return std::get<double>(v);
            if (std::holds_alternative<long long>(v))
                return static_cast<double>(std::get<long long>(v));
            return std::nullopt;
        };
        ByteVector out(static_cast<std::size_t>(fixedSizeOf(c.def.type)), 0);
        switch (c.def.type) {
        case ColumnType::Single: {
            const auto d = number();
            if (!d)
                throw refuse("a Single column takes a number");
            const float value = static_cast<float>(*d);
            std::uint32_t bits = 0;
            std::memcpy(&bits, &value, sizeof bits);
            put32(out, 0, bits);
            break;
        }
        case ColumnType::Currency: {
            const auto d = number();
            if (!d || std::fabs(*d) > 9.2e14)
                throw refuse("a Currency column takes a number within +-922337203685477");
            const long long units = std::llround(*d * 10000.0);
            put32(out, 0, static_cast<std::uint32_t>(units));
            put32(out, 4, static_cast<std::uint32_t>(static_cast<unsigned long long>(units) >> 32));
            break;
        }
        case ColumnType::ReplicationId: {
            const auto bytes = std::holds_alternative<std::string>(v)
                                   ? guidBytes(std::get<std::string>(v))
                                   : std::nullopt;
            if (!bytes)
                throw refuse("a Replication ID column takes a GUID as "
                             "{01234567-89AB-CDEF-0123-456789ABCDEF}");
            out = *bytes;
            break;
        }
        case ColumnType::Decimal: {
            std::string digits = std::holds_alternative<long long>(v)
                                     ? std::to_string(std::get<long long>(v))
                                 : std::holds_alternative<std::string>(v) ? std::get<std::string>(v)
                                                                          : std::string();
            const auto encoded = decimalBytes(digits, c.def.precision, c.def.scale);
            if (!encoded)
                throw refuse("\"" + digits + "\" is no decimal number of precision " +
                             std::to_string(c.def.precision) + " and scale " +
                             std::to_string(c.def.scale));
            out = *encoded;
            break;
        }
        default:
            break;
        }
        return out;
    }

    // A GUID's text as stored: the first three groups little-endian, the rest as written.
    static std::optional<ByteVector> guidBytes(const std::string& text)
    {
        if (text.size() != 38 || text.front() != '{' || text.back() != '}')
            return std::nullopt;
        std::string hex;
        for (std::size_t i = 1; i + 1 < text.size(); ++i) {
            const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
            if (dash != (text[i] == '-') ||
                (!dash && !std::isxdigit(static_cast<unsigned char>(text[i]))))
                return std::nullopt;
            if (!dash)
                hex += text[i];
        }
        ByteVector written(16);
        for (std::size_t i = 0; i < 16; ++i)
            written[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
        ByteVector out = written;
        const int order[8] = {3, 2, 1, 0, 5, 4, 7, 6};
        for (int i = 0; i < 8; ++i)
            out[static_cast<std::size_t>(i)] = written[static_cast<std::size_t>(order[i])];
        return out;
    }

    // A sign byte, then the unscaled value as four 32-bit little-endian words, the most
    // significant first.
    static std::optional<ByteVector> decimalBytes(std::string text, int precision, int scale)
    {
        const bool negative = !text.empty() && text.front() == '-';
        if (negative)
            text.erase(0, 1);
        const std::size_t point = text.find('.');
        std::string whole = text.substr(0, point);
        std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
        if (whole.empty() || static_cast<int>(fraction.size()) > scale)
            return std::nullopt;
        fraction.resize(static_cast<std::size_t>(scale), '0');
        const std::string digits = whole + fraction;
        if (digits.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const std::size_t leading = std::min(digits.find_first_not_of('0'), digits.size());
        if (static_cast<int>(digits.size() - leading) > precision)
            return std::nullopt;
        std::uint32_t words[4] = {0, 0, 0, 0}; // least significant first
        for (char d : digits) {
            std::uint64_t carry = static_cast<std::uint64_t>(d - '0');
            for (std::uint32_t& word : words) {
                const std::uint64_t product = static_cast<std::uint64_t>(word) * 10 + carry;
                word = static_cast<std::uint32_t>(product);
                carry = product >> 32;
            }
        }
        ByteVector out(17, 0);
        out[0] = negative ? 0x80 : 0x00;
        for (int w = 0; w < 4; ++w)
            put32(out, 1 + 4 * static_cast<std::size_t>(3 - w), words[w]);
        return out;
    }

    static std::uint32_t pageRow(std::uint32_t page, std::uint32_t row) { return page << 8 | row; }

    // Puts a long value on the column's pages; returns the 12 bytes the row holds (followed by
    // the value itself when it is small enough to stay in the row).
    ByteVector storeLongValue(Table& t, int column, const ByteVector& data)
    {
        ByteVector head(kLongValueOverhead, 0);
        const auto length = static_cast<std::uint32_t>(data.size());
        if (data.size() <= kMaxInlineLongValue) {
            put32(head, 0, length | 0x80000000u);
            appendBytes(head, data);
            return head;
        }
        LongValueStore& store = t.longValues[column];
        static const std::uint8_t kLval[4] = {'L', 'V', 'A', 'L'};
        const std::size_t maxRow = Page::maxRow(format);
        const auto place = [&](const ByteVector& row) {
            if (!store.current || !store.current->fits(row.size())) {
                if (store.current)
                    writePage(store.current->number(), store.current->bytes());
                store.current.emplace(format, allocatePage(), kLval);
                store.pages.push_back(store.current->number());
            }
            const std::uint32_t r = store.current->add(row);
            return pageRow(store.current->number(), r);
        };
        if (data.size() <= maxRow) {
            put32(head, 0, length | 0x40000000u);
            put32(head, 4, place(data));
            return head;
        }
        // Longer values run through a chain of rows, each naming the next; the chain is laid
        // on fresh pages whose numbers are known before the first is written.
        const std::size_t chunk = maxRow - 4;
        const std::size_t count = (data.size() + chunk - 1) / chunk;
        if (store.current)
            writePage(store.current->number(), store.current->bytes());
        store.current.reset();
        std::vector<std::uint32_t> numbers;
        for (std::size_t i = 0; i < count; ++i)
            numbers.push_back(allocatePage());
        for (std::size_t i = 0; i < count; ++i) {
            ByteVector row(4, 0);
            if (i + 1 < count)
                put32(row, 0, pageRow(numbers[i + 1], 0));
            const std::size_t from = i * chunk;
            row.insert(row.end(), data.begin() + static_cast<std::ptrdiff_t>(from),
                       data.begin() +
                           static_cast<std::ptrdiff_t>(std::min(data.size(), from + chunk)));
            Page page(format, numbers[i], kLval);
            page.add(row);
            store.pages.push_back(numbers[i]);
            if (i + 1 < count)
                writePage(page.number(), page.bytes());
            else
                store.current.emplace(std::move(page));
        }
        put32(head, 0, length);
        put32(head, 4, pageRow(numbers.front(), 0));
        return head;
    }

    std::size_t rowSize(const Table& t, const std::vector<Field>& fields) const
    {
        const std::size_t columns = t.columns.size();
        const std::size_t mask = (columns + 7) / 8;
        std::size_t var = 0;
        for (const LayoutColumn& c : t.columns) {
            const Field& f = fields[c.number];
            if (c.fixed || !f.present)
                continue;
            var += f.longValue ? kLongValueOverhead +
                                     (f.bytes.size() <= kMaxInlineLongValue ? f.bytes.size() : 0)
                               : f.bytes.size();
        }
        if (format.jet3()) {
            const std::size_t base = 1 + t.fixedBytes + var;
            if (t.varCount == 0)
                return base + mask;
            std::size_t size = base + 1 + t.varCount + 1 + mask;
            return size + (size - 1) / 256 + 1; // room for the jump table, with slack
        }
        const std::size_t base = 2 + t.fixedBytes + var;
        return t.varCount == 0 ? base + mask : base + 2 * (t.varCount + 1) + 2 + mask;
    }

    ByteVector buildRow(const Table& t, const std::vector<Field>& fields,
                        const std::vector<ByteVector>& varBytes)
    {
        const std::size_t columns = t.columns.size();
        const bool jet3 = format.jet3();
        const std::size_t countSize = jet3 ? 1 : 2;
        ByteVector row(countSize + t.fixedBytes, 0);
        if (jet3)
            row[0] = static_cast<std::uint8_t>(columns);
        else
            put16(row, 0, static_cast<std::uint32_t>(columns));
        ByteVector mask((columns + 7) / 8, 0);
        for (const LayoutColumn& c : t.columns) {
            const Field& f = fields[c.number];
            if (f.present)
                mask[c.number / 8] |= static_cast<std::uint8_t>(1u << (c.number % 8));
            if (c.fixed && f.present && c.fixedSize > 0)
                std::memcpy(&row[countSize + c.fixedOffset], f.bytes.data(), c.fixedSize);
        }
        if (t.varCount == 0) {
            appendBytes(row, mask);
            return row;
        }
        std::vector<std::size_t> offsets; // one per variable column, then the end of the data
        for (const ByteVector& bytes : varBytes) {
            offsets.push_back(row.size());
            appendBytes(row, bytes);
        }
        const std::size_t end = row.size();
        offsets.push_back(end);
        const std::size_t n = static_cast<std::size_t>(t.varCount);
        if (!jet3) {
            for (std::size_t k = n + 1; k-- > 0;)
                append16(row, static_cast<std::uint32_t>(offsets[k]));
            append16(row, static_cast<std::uint32_t>(n));
            appendBytes(row, mask);
            return row;
        }
        // One-byte offsets: the jump table names, for each 256-byte step, the first entry at
        // or past it; its size follows from the whole row's size.
        const std::size_t fixedPart = end + 1 + n + 1 + mask.size();
        std::size_t jumps = 0;
        while ((fixedPart + jumps - 1) / 256 != jumps)
            jumps = (fixedPart + jumps - 1) / 256;
        if (jumps > end / 256 + 1)
            throw MdbWriterError("table \"" + t.name + "\", row " + std::to_string(t.rows + 1) +
                                 ": too many columns for one row of an Access 97 file");
        for (std::size_t k = n + 1; k-- > 0;)
            append8(row, static_cast<std::uint32_t>(offsets[k] & 0xFF));
        std::vector<std::uint8_t> table(jumps, 0xFF);
        for (std::size_t j = 0; j < jumps; ++j) {
            for (std::size_t i = 0; i <= n; ++i) {
                if (offsets[i] >= 256 * (j + 1)) {
                    table[j] = static_cast<std::uint8_t>(i);
                    break;
                }
            }
        }
        for (std::size_t j = jumps; j-- > 0;)
            append8(row, table[j]);
        append8(row, static_cast<std::uint32_t>(n));
        appendBytes(row, mask);
        return row;
    }

    static std::size_t liveColumns(const Table& t)
    {
        return static_cast<std::size_t>(std::count_if(
            t.columns.begin(), t.columns.end(), [](const LayoutColumn& c) { return !c.dropped; }));
    }

    // The bytes of a row holding the values (one per column not dropped); its long values are
    // stored once the row is accepted.
    ByteVector makeRow(Table& t, const std::vector<Value>& values, const std::string& which)
    {
        const std::uint32_t rowNumber = t.rows + 1;
        if (values.size() != liveColumns(t))
            throw MdbWriterError("table \"" + t.name + "\", " + which + ": " +
                                 std::to_string(values.size()) + " values for " +
                                 std::to_string(liveColumns(t)) + " columns");
        const long long autoBefore = t.nextAutoNumber;
        std::vector<Field> fields;
        fields.reserve(t.columns.size());
        try {
            std::size_t next = 0;
            for (const LayoutColumn& c : t.columns)
                fields.push_back(c.dropped ? Field{} : encode(t, c, values[next++], rowNumber));
        } catch (...) {
            t.nextAutoNumber = autoBefore;
            throw;
        }
        const std::size_t size = rowSize(t, fields);
        if (size > Page::maxRow(format)) {
            t.nextAutoNumber = autoBefore;
            throw MdbWriterError("table \"" + t.name + "\", " + which + ": the row takes " +
                                 std::to_string(size) + " bytes; a page holds at most " +
                                 std::to_string(Page::maxRow(format)));
        }
        std::vector<ByteVector> varBytes(t.varCount);
        for (const LayoutColumn& c : t.columns) {
            Field& f = fields[c.number];
            if (c.fixed || !f.present)
                continue;
            varBytes[c.varIndex] = f.longValue ? storeLongValue(t, c.number, f.bytes) : f.bytes;
        }
        return buildRow(t, fields, varBytes);
    }

    // Puts a row on the table's page being filled, or on a fresh one.
    RowId placeRow(Table& t, const ByteVector& row, std::uint16_t flags)
    {
        if (!t.current || !t.current->fits(row.size())) {
            if (t.current)
                writePage(t.current->number(), t.current->bytes());
            std::uint8_t owner[4];
            for (int i = 0; i < 4; ++i)
                owner[i] = static_cast<std::uint8_t>(t.definitionPage >> (8 * i));
            t.current.emplace(format, allocatePage(), owner);
            t.pages.push_back(t.current->number());
        }
        return {t.current->number(), t.current->add(row, flags)};
    }

    RowId addRow(Table& t, const std::vector<Value>& values)
    {
        const ByteVector row = makeRow(t, values, "row " + std::to_string(t.rows + 1));
        const RowId id = placeRow(t, row, 0);
        ++t.rows;
        return id;
    }

    // Changes one of the table's pages, in memory for the page being filled, else on disk.
    template <typename Change> auto editPage(Table& t, std::uint32_t number, Change change)
    {
        if (t.current && t.current->number() == number)
            return change(*t.current);
        ByteVector bytes(format.pageSize);
        const off_t at = static_cast<off_t>(number) * format.pageSize;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done,
                                      at + static_cast<off_t>(done));
            if (n <= 0 && !(n < 0 && errno == EINTR))
                throw MdbWriterError("cannot read back \"" + path +
                                     "\": " + (n < 0 ? std::strerror(errno) : "end of file"));
            done += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        Page page(format, number, std::move(bytes));
        if constexpr (std::is_void_v<decltype(change(page))>) {
            change(page);
            writePage(number, page.bytes());
        } else {
            auto result = change(page);
            writePage(number, page.bytes());
            return result;
        }
    }

    // The flags of a row the caller names, refusing a place that holds no live row of the table.
    std::uint16_t liveRowFlags(Table& t, RowId id, const char* action)
    {
        const std::string which = "table \"" + t.name + "\", row " + std::to_string(id.row) +
                                  " of page " + std::to_string(id.page);
        if (!std::binary_search(t.pages.begin(), t.pages.end(), id.page))
            throw MdbWriterError(std::string("cannot ") + action + " " + which +
                                 ": the page holds none of the table's rows");
        const std::uint16_t flags = editPage(t, id.page, [&](Page& page) -> std::uint16_t {
            if (id.row >= page.rowCount())
                return 0xFFFF;
            return page.flags(id.row);
        });
        if (flags == 0xFFFF)
            throw MdbWriterError(std::string("cannot ") + action + " " + which +
                                 ": the page has no such row");
        if (flags & kDeletedRow)
            throw MdbWriterError(std::string("cannot ") + action + " " + which +
                                 ": the row is deleted or is the moved part of another row");
        return flags;
    }

    static ByteVector pointerTo(RowId target, std::size_t size)
    {
        ByteVector bytes(std::max<std::size_t>(size, 4), 0);
        put32(bytes, 0, pageRow(target.page, target.row));
        return bytes;
    }

    void updateRow(Table& t, RowId id, const std::vector<Value>& values)
    {
        const std::uint16_t flags = liveRowFlags(t, id, "update");
        const ByteVector row = makeRow(t, values,
                                       "the update of row " + std::to_string(id.row) + " of page " +
                                           std::to_string(id.page));
        ByteVector place = editPage(t, id.page, [&](Page& page) { return page.content(id.row); });
        if (flags & kPointerRow) {
            // Moved before: the moved row takes the new values where it lies if there is room.
            const std::uint32_t pointer = place[0] | place[1] << 8 | place[2] << 16 |
                                          static_cast<std::uint32_t>(place[3]) << 24;
            const RowId far{pointer >> 8, pointer & 0xFF};
            if (editPage(t, far.page, [&](Page& page) { return page.replace(far.row, row); }))
                return;
        } else if (editPage(t, id.page, [&](Page& page) { return page.replace(id.row, row); })) {
            return;
        }
        const RowId far = placeRow(t, row, kDeletedRow);
        const bool pointed = editPage(t, id.page, [&](Page& page) {
            if (!page.replace(id.row, pointerTo(far, place.size())))
                return false;
            page.addFlags(id.row, kPointerRow);
            return true;
        });
        if (!pointed)
            throw MdbWriterError("table \"" + t.name + "\", row " + std::to_string(id.row) +
                                 " of page " + std::to_string(id.page) +
                                 ": no room on its page for the pointer to its new place");
    }

    void deleteRow(Table& t, RowId id)
    {
        liveRowFlags(t, id, "delete");
        editPage(t, id.page, [&](Page& page) { page.addFlags(id.row, kPointerRow | kDeletedRow); });
        --t.rows;
    }

    void dropColumn(Table& t, const std::string& name)
    {
        const auto it =
            std::find_if(t.columns.begin(), t.columns.end(), [&](const LayoutColumn& c) {
                return !c.dropped && lower(c.def.name) == lower(name);
            });
        if (it == t.columns.end())
            throw MdbWriterError("table \"" + t.name + "\" has no column \"" + name + "\"");
        if (liveColumns(t) == 1)
            throw MdbWriterError("table \"" + t.name + "\", column \"" + name +
                                 "\": a table keeps at least one column");
        it->dropped = true;
        if (t.autoColumn == it->number)
            t.autoColumn = -1;
    }

    // ---- closing ----

    // Usage-map rows go on page 1 and, when that fills, on further pages.
    std::optional<Page> mapHolder;
    void flushMapHolder()
    {
        if (mapHolder)
            writePage(mapHolder->number(), mapHolder->bytes());
    }
    std::uint32_t placeMapRow(const ByteVector& row)
    {
        static const std::uint8_t kNoOwner[4] = {0, 0, 0, 0};
        if (!mapHolder) {
            mapHolder.emplace(format, 1, kNoOwner);
        } else if (!mapHolder->fits(row.size())) {
            flushMapHolder();
            mapHolder.emplace(format, allocatePage(), kNoOwner);
        }
        return pageRow(mapHolder->number(), mapHolder->add(row));
    }

    // A map of the given pages: inline when they lie close together, otherwise a list of
    // bitmap pages that each cover a fixed stretch of the file.
    std::uint32_t usageMap(const std::vector<std::uint32_t>& pages)
    {
        const std::size_t size = static_cast<std::size_t>(format.usageMapSize);
        ByteVector row(size, 0);
        const std::uint32_t start = pages.empty() ? 0 : pages.front();
        const std::uint32_t inlineSpan = static_cast<std::uint32_t>((size - 5) * 8);
        if (pages.empty() || pages.back() - start < inlineSpan) {
            put32(row, 1, start);
            for (std::uint32_t p : pages)
                row[5 + (p - start) / 8] |= static_cast<std::uint8_t>(1u << ((p - start) % 8));
            return placeMapRow(row);
        }
        row[0] = 0x01;
        const std::uint32_t span = static_cast<std::uint32_t>((format.pageSize - 4) * 8);
        const std::size_t slots = (size - 1) / 4;
        std::size_t i = 0;
        while (i < pages.size()) {
            const std::uint32_t slot = pages[i] / span;
            if (slot >= slots)
                throw MdbWriterError("the file has grown past the size an Access file can have");
            ByteVector bitmap(format.pageSize, 0);
            bitmap[0] = 0x05;
            bitmap[1] = 0x01;
            for (; i < pages.size() && pages[i] / span == slot; ++i) {
                const std::uint32_t bit = pages[i] - slot * span;
                bitmap[4 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
            }
            const std::uint32_t number = allocatePage();
            writePage(number, bitmap);
            put32(row, 1 + 4 * slot, number);
        }
        return placeMapRow(row);
    }

    ByteVector definitionBytes(const Table& t)
    {
        const bool jet3 = format.jet3();
        ByteVector d;
        append32(d, 0); // total length, filled in below
        if (!jet3)
            append32(d, kDefinitionMagic);
        append32(d, t.rows);
        append32(d, t.autoColumn >= 0 ? static_cast<std::uint32_t>(t.nextAutoNumber) : 0);
        if (!jet3) {
            append8(d, t.autoColumn >= 0 ? 1 : 0);
            d.insert(d.end(), 3 + 4 + 8, 0);
        }
        append8(d, t.system ? kSystemTable : kUserTable);
        // Dropped columns still count among the columns a row has, and variable ones among
        // the entries of a row's offset table.
        append16(d, static_cast<std::uint32_t>(t.columns.size()));
        append16(d, static_cast<std::uint32_t>(t.varCount));
        append16(d, static_cast<std::uint32_t>(liveColumns(t)));
        append32(d, 0); // no indexes
        append32(d, 0);
        append32(d, t.usedMap);
        append32(d, t.freeMap);
        std::uint32_t position = 0;
        for (const LayoutColumn& c : t.columns) {
            if (c.dropped)
                continue;
            const bool text = c.def.type == ColumnType::Text || c.def.type == ColumnType::Memo;
            std::uint8_t flags = c.fixed ? 0x01 : 0x00;
            if (!c.def.autoNumber)
                flags |= 0x02;
            else
                flags |= 0x04;
            int length = c.fixedSize;
            if (c.def.type == ColumnType::YesNo)
                length = 1;
            else if (c.def.type == ColumnType::Text)
                length = jet3 ? c.def.length : 2 * c.def.length;
            else if (c.def.type == ColumnType::Binary)
                length = c.def.length;
            else if (!c.fixed)
                length = 0;
            append8(d, static_cast<std::uint32_t>(c.def.type));
            if (!jet3)
                append32(d, kDefinitionMagic);
            append16(d, static_cast<std::uint32_t>(c.number));
            append16(d, static_cast<std::uint32_t>(c.fixed ? 0 : c.varIndex));
            append16(d, position++);
            if (jet3) {
                append16(d, text ? kGeneralSortOrder : 0);
                append16(d, text ? kCodePage1252 : 0);
                append16(d, 0);
                append8(d, flags);
            } else {
                if (c.def.type == ColumnType::Decimal) {
                    append8(d, static_cast<std::uint32_t>(c.def.precision));
                    append8(d, static_cast<std::uint32_t>(c.def.scale));
                } else {
                    append16(d, text ? kGeneralSortOrder : 0);
                }
                append16(d, 0);
                append8(d, flags);
                append8(d, text && c.def.compressed ? 0x01 : 0x00);
                append32(d, 0);
            }
            append16(d, static_cast<std::uint32_t>(c.fixed ? c.fixedOffset : 0));
            append16(d, static_cast<std::uint32_t>(length));
        }
        for (const LayoutColumn& c : t.columns) {
            if (c.dropped)
                continue;
            const auto units = *encoding::utf16FromUtf8(c.def.name);
            if (jet3) {
                const auto bytes = *encoding::cp1252FromUtf16(units); // checked when defined
                append8(d, static_cast<std::uint32_t>(bytes.size()));
                appendBytes(d, bytes);
            } else {
                const ByteVector bytes = encoding::ucs2Bytes(units);
                append16(d, static_cast<std::uint32_t>(bytes.size()));
                appendBytes(d, bytes);
            }
        }
        // Each long-value column keeps its own maps of the pages holding its values.
        for (const LayoutColumn& c : t.columns) {
            if (!c.isLong() || c.dropped)
                continue;
            append16(d, static_cast<std::uint32_t>(c.number));
            append32(d, t.longValues[c.number].usedMap);
            append32(d, t.longValues[c.number].freeMap);
        }
        append16(d, 0xFFFF);
        put32(d, 0, static_cast<std::uint32_t>(d.size()));
        return d;
    }

    void writeDefinition(const Table& t)
    {
        const ByteVector d = definitionBytes(t);
        const std::size_t perPage = static_cast<std::size_t>(format.pageSize - 8);
        const std::size_t count = (d.size() + perPage - 1) / perPage;
        std::vector<std::uint32_t> numbers{t.definitionPage};
        for (std::size_t i = 1; i < count; ++i)
            numbers.push_back(allocatePage());
        for (std::size_t i = 0; i < count; ++i) {
            ByteVector page(format.pageSize, 0);
            page[0] = 0x02;
            page[1] = 0x01;
            const std::size_t length = std::min(perPage, d.size() - i * perPage);
            if (format.jet3()) {
                page[2] = 'V';
                page[3] = 'C';
            } else {
                const std::size_t free = perPage - length;
                put16(page, 2, static_cast<std::uint32_t>(free > 8 ? free - 8 : 0));
            }
            put32(page, 4, i + 1 < count ? numbers[i + 1] : 0);
            std::memcpy(&page[8], d.data() + i * perPage, length);
            writePage(numbers[i], page);
        }
    }

    void writeHeader()
    {
        ByteVector page(format.pageSize, 0);
        page[1] = 0x01;
        const char* magic = "Standard Jet DB";
        std::memcpy(&page[4], magic, std::strlen(magic));
        put32(page, 0x14, format.jet3() ? 0 : 1);
        // The part hidden by RC4. No database key: pages are stored plain. The creation date
        // stays zero, so the empty password needs no mask.
        put16(page, 0x3C, kCodePage1252);
        if (format.jet3())
            put16(page, 0x3A, kGeneralSortOrder);
        else
            put32(page, 0x6E, kGeneralSortOrder);
        static const std::uint8_t kKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
        encoding::rc4(kKey, sizeof kKey, &page[0x18], format.jet3() ? 126 : 128);
        writePage(0, page);
    }

    void finish()
    {
        closing = true;
        // Catalogue rows: the tables container, the catalogue itself and every table.
        Table& catalog = tables[0];
        const auto now = std::chrono::system_clock::now();
        const double today =
            static_cast<double>(
                std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count()) /
                86400.0 -
            static_cast<double>(kEpochDays);
        const auto catalogRow = [&](long long id, long long parent, const std::string& name,
                                    long long type, long long flags) {
            addRow(catalog, {id, parent, name, type, today, today, flags, Null{}, Null{}, Null{},
                             Null{}, Null{}});
        };
        catalogRow(0x0F000000, 0x0F000000, "Databases", 3, 0);
        catalogRow(kTablesContainerId, 0x0F000000, "Tables", 3, 0);
        catalogRow(0x0F000002, 0x0F000000, "Relationships", 3, 0);
        catalogRow(2, kTablesContainerId, "MSysObjects", 1, kSystemObjectFlags);
        for (std::size_t i = 1; i < tables.size(); ++i)
            catalogRow(tables[i].definitionPage, kTablesContainerId, tables[i].name, 1, 0);

        for (Table& t : tables) {
            if (t.current)
                writePage(t.current->number(), t.current->bytes());
            for (LayoutColumn& c : t.columns) {
                LongValueStore& store = t.longValues[c.number];
                if (store.current)
                    writePage(store.current->number(), store.current->bytes());
            }
        }
        for (Table& t : tables) {
            t.usedMap = usageMap(t.pages);
            t.freeMap = usageMap(t.current && t.current->freeSpace() > 0
                                     ? std::vector<std::uint32_t>{t.current->number()}
                                     : std::vector<std::uint32_t>{});
            for (LayoutColumn& c : t.columns) {
                if (!c.isLong())
                    continue;
                LongValueStore& store = t.longValues[c.number];
                store.usedMap = usageMap(store.pages);
                store.freeMap =
                    usageMap(store.current ? std::vector<std::uint32_t>{store.current->number()}
                                           : std::vector<std::uint32_t>{});
            }
        }
        flushMapHolder();
        for (const Table& t : tables)
            writeDefinition(t);
        writeHeader();
        if (::ftruncate(fd, static_cast<off_t>(nextPage) * format.pageSize) != 0)
            throw MdbWriterError("cannot write \"" + path + "\": " + std::strerror(errno));
    }
};

MdbWriter::MdbWriter(const std::string& path, JetVersion version)
    : impl_(std::make_unique<Impl>(version == JetVersion::Jet3 ? kJet3 : kJet4))
{
    impl_->path = path;
    // Written beside the target and renamed over it when complete, so a failure never leaves
    // a half-written file under the requested name.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; impl_->fd < 0; ++attempt) {
        impl_->tempPath =
            path + ".partial-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        impl_->fd = ::open(impl_->tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (impl_->fd < 0 && (errno != EEXIST || attempt > 100))
            throw MdbWriterError("cannot create \"" + path + "\": " + std::strerror(errno));
    }

    const std::vector<Column> catalog{Column::longInt("Id"),
                                      Column::longInt("ParentId"),
                                      Column::text("Name", 128),
                                      Column::integer("Type"),
                                      Column::dateTime("DateCreate"),
                                      Column::dateTime("DateUpdate"),
                                      Column::longInt("Flags"),
                                      Column::memo("Database"),
                                      Column::memo("Connect"),
                                      Column::text("ForeignName", 128),
                                      Column::ole("Lv"),
                                      Column::ole("LvProp")};
    impl_->defineTable("MSysObjects", catalog, true);
}

MdbWriter::~MdbWriter()
{
    if (impl_->fd >= 0) {
        ::close(impl_->fd);
        ::unlink(impl_->tempPath.c_str());
    }
}

MdbWriter::TableId MdbWriter::addTable(const std::string& name, const std::vector<Column>& columns)
{
    if (impl_->closed)
        throw MdbWriterError("cannot add table \"" + name + "\": the file is already closed");
    if (lower(name).rfind("msys", 0) == 0)
        throw MdbWriterError("table name \"" + name + "\" is reserved for system tables");
    return impl_->defineTable(name, columns, false);
}

RowId MdbWriter::addRow(TableId table, const std::vector<Value>& values)
{
    return impl_->addRow(impl_->checkedTable(table, "add a row"), values);
}

void MdbWriter::updateRow(TableId table, RowId row, const std::vector<Value>& values)
{
    impl_->updateRow(impl_->checkedTable(table, "update a row"), row, values);
}

void MdbWriter::deleteRow(TableId table, RowId row)
{
    impl_->deleteRow(impl_->checkedTable(table, "delete a row"), row);
}

void MdbWriter::dropColumn(TableId table, const std::string& column)
{
    impl_->dropColumn(impl_->checkedTable(table, "drop a column"), column);
}

void MdbWriter::close()
{
    if (impl_->closed)
        return;
    impl_->closed = true;
    impl_->finish();
    if (::close(impl_->fd) != 0) {
        impl_->fd = -1;
        ::unlink(impl_->tempPath.c_str());
        throw MdbWriterError("cannot write \"" + impl_->path + "\": " + std::strerror(errno));
    }
    impl_->fd = -1;
    if (::rename(impl_->tempPath.c_str(), impl_->path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(impl_->tempPath.c_str());
        throw MdbWriterError("cannot write \"" + impl_->path + "\": " + why);
    }
}

JetVersion MdbWriter::version() const
{
    return impl_->format.version;
}

std::size_t MdbWriter::rowCount(TableId table) const
{
    return table < impl_->tables.size() ? impl_->tables[table].rows : 0;
}

} // namespace mdbwriter
