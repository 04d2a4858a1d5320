// Writes Access database files (.mdb, Jet 4 or Jet 3) with tables and rows, so that tests and
// sample archives can be built at run time. Rows stream to disk page by page: memory stays flat
// however many rows a table receives.
//
//   mdbwriter::MdbWriter db("/tmp/x.mdb");
//   auto t = db.addTable("T_Marker", {mdbwriter::Column::autoNumberLong("ID_Marker"),
//                                     mdbwriter::Column::text("Marker", 50)});
//   db.addRow(t, {1, "Red"});
//   db.addRow(t, {mdbwriter::Null{}, ""}); // next autonumber; empty text, not NULL
//   db.close();
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace mdbwriter {

enum class JetVersion {
    Jet3, // Access 97: 2 KB pages, single-byte text in code page 1252
    Jet4, // Access 2000 and later: 4 KB pages, UCS-2 text
};

// The type codes the files carry.
enum class ColumnType : std::uint8_t {
    YesNo = 0x01,
    Byte = 0x02,
    Integer = 0x03,  // 16 bits
    Long = 0x04,     // 32 bits
    Currency = 0x05, // 64 bits, in ten-thousandths
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09, // at most `length` bytes
    Text = 0x0A,
    Ole = 0x0B,
    Memo = 0x0C,
    ReplicationId = 0x0F, // a GUID
    Decimal = 0x10,       // Jet 4 only: sign and a 128-bit integer scaled by 10^scale
};

struct Column {
    std::string name;
    ColumnType type = ColumnType::Long;
    int length = 0; // Text: the most characters a value may hold (1..255); Binary: bytes
    int precision = 18, scale = 0; // Decimal only
    bool autoNumber = false;       // Long only
    // Jet 4 Text and Memo: store values in the compressed form where that is shorter.
    bool compressed = true;

    static Column text(std::string name, int length, bool compressed = true);
    static Column memo(std::string name, bool compressed = true);
    static Column longInt(std::string name) { return {std::move(name), ColumnType::Long}; }
    static Column autoNumberLong(std::string name);
    static Column integer(std::string name) { return {std::move(name), ColumnType::Integer}; }
    static Column byte(std::string name) { return {std::move(name), ColumnType::Byte}; }
    static Column yesNo(std::string name) { return {std::move(name), ColumnType::YesNo}; }
    static Column dateTime(std::string name) { return {std::move(name), ColumnType::DateTime}; }
    static Column doubleFloat(std::string name) { return {std::move(name), ColumnType::Double}; }
    static Column ole(std::string name) { return {std::move(name), ColumnType::Ole}; }
    static Column single(std::string name) { return {std::move(name), ColumnType::Single}; }
    static Column currency(std::string name) { return {std::move(name), ColumnType::Currency}; }
    static Column decimal(std::string name, int precision, int scale);
    static Column replicationId(std::string name)
    {
        return {std::move(name), ColumnType::ReplicationId};
    }
    static Column binary(std::string name, int length);
};

struct Null {};

// A calendar date and time of day, proleptic Gregorian; years 100..9999.
struct DateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;

    // As the files store it: days since 1899-12-30, negative before it; the fraction is the
    // time of day, counted away from zero (1899-12-29 06:00 is -1.25).
    double toStored() const;
    static DateTime fromStored(double stored);
    bool operator==(const DateTime&) const = default;
};

using Bytes = std::vector<std::uint8_t>;

// Text and Memo take std::string (UTF-8; characters past U+FFFF become UTF-16 surrogate pairs,
// which libmdb's UCS-2 conversion shows as "??"); OLE and Binary take Bytes; YesNo takes bool;
// the integer types take long long (range-checked against the column); DateTime takes DateTime
// or a stored double; Double and Single take double or an integer; Currency takes double or
// an integer (whole units); Decimal takes its digits as std::string ("-1234.5678", at most
// `scale` decimals) or an integer; ReplicationId takes std::string
// "{01234567-89AB-CDEF-0123-456789ABCDEF}". Null is NULL for every type; a NULL autonumber
// value takes the next number.
using Value = std::variant<Null, bool, long long, double, std::string, Bytes, DateTime>;

// Every refusal (bad definition, value that does not fit its column, failed write) carries a
// message naming the table, column and row concerned. Nothing already added is lost: the
// writer stays usable after a refused table or row.
class MdbWriterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where a row lies in the file: its data page and its number on that page.
struct RowId {
    std::uint32_t page = 0;
    std::uint32_t row = 0;
    bool operator==(const RowId&) const = default;
};

class MdbWriter {
public:
    using TableId = std::size_t;

    // Creates (or replaces) the file. Throws MdbWriterError when it cannot be written.
    explicit MdbWriter(const std::string& path, JetVersion version = JetVersion::Jet4);
    // Without close() nothing is written under the path: an earlier file there stays as it was.
    ~MdbWriter();
    MdbWriter(const MdbWriter&) = delete;
    MdbWriter& operator=(const MdbWriter&) = delete;

    // Names: 1..64 characters, unique (ignoring case), no '.', '!', '`', '[' or ']'.
    TableId addTable(const std::string& name, const std::vector<Column>& columns);
    // One value per column, in the order the columns were given (dropped columns left out).
    RowId addRow(TableId table, const std::vector<Value>& values);
    // Gives a row new values as Access does when a row is edited: in its place when its page
    // has room for the new form, otherwise on another page, its place keeping a pointer to it.
    // The row keeps its RowId. Values as for addRow.
    void updateRow(TableId table, RowId row, const std::vector<Value>& values);
    // Marks the row deleted; its bytes stay in the file, as Access leaves them.
    void deleteRow(TableId table, RowId row);
    // Removes a column as Access does: rows already written keep its bytes, later rows hold
    // it as NULL, and the other columns keep their numbers, leaving a gap.
    void dropColumn(TableId table, const std::string& column);
    // Writes the catalogue and table definitions and puts the file in place; until then the
    // rows go to a temporary file beside it.
    void close();

    JetVersion version() const;
    std::size_t rowCount(TableId table) const; // rows not deleted

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace mdbwriter
