// One row per SQL type the stand-in knows: its name, size rules, precedence, storage in
// SQLite, catalogue figures and the TDS type its columns travel as. Code looks types up here
// instead of switching on SqlType.
#pragma once

#include "Ast.h"

#include <cstdint>
#include <string_view>

namespace standin {

// TDS type codes, as the protocol numbers them.
namespace wire {
constexpr uint8_t Null = 0x1F;
constexpr uint8_t Image = 0x22;
constexpr uint8_t Text = 0x23;
constexpr uint8_t Guid = 0x24;
constexpr uint8_t VarBinary = 0x25;
constexpr uint8_t IntN = 0x26;
constexpr uint8_t VarChar = 0x27;
constexpr uint8_t DateN = 0x28;
constexpr uint8_t TimeN = 0x29;
constexpr uint8_t DateTime2N = 0x2A;
constexpr uint8_t DateTimeOffsetN = 0x2B;
constexpr uint8_t Binary = 0x2D;
constexpr uint8_t Char = 0x2F;
constexpr uint8_t Int1 = 0x30;
constexpr uint8_t Bit = 0x32;
constexpr uint8_t Int2 = 0x34;
constexpr uint8_t Decimal = 0x37;
constexpr uint8_t Int4 = 0x38;
constexpr uint8_t DateTime4 = 0x3A;
constexpr uint8_t Flt4 = 0x3B;
constexpr uint8_t Money = 0x3C;
constexpr uint8_t DateTime = 0x3D;
constexpr uint8_t Flt8 = 0x3E;
constexpr uint8_t Numeric = 0x3F;
constexpr uint8_t Variant = 0x62;
constexpr uint8_t NText = 0x63;
constexpr uint8_t BitN = 0x68;
constexpr uint8_t DecimalN = 0x6A;
constexpr uint8_t NumericN = 0x6C;
constexpr uint8_t FltN = 0x6D;
constexpr uint8_t MoneyN = 0x6E;
constexpr uint8_t DateTimeN = 0x6F;
constexpr uint8_t Money4 = 0x7A;
constexpr uint8_t Int8 = 0x7F;
constexpr uint8_t BigVarBinary = 0xA5;
constexpr uint8_t BigVarChar = 0xA7;
constexpr uint8_t BigBinary = 0xAD;
constexpr uint8_t BigChar = 0xAF;
constexpr uint8_t NVarChar = 0xE7;
constexpr uint8_t NChar = 0xEF;
constexpr uint8_t Xml = 0xF1;
} // namespace wire

enum class TypeFamily : uint8_t { Integer, Decimal, Float, DateTime, Text, Binary, Guid };

// How a value of the type sits in its SQLite column.
enum class StorageClass : uint8_t { Integer, Real, DateTime, Text, Blob };

struct SqlTypeInfo {
    SqlType type;
    std::u16string_view name; // as messages and the catalogue show it
    TypeFamily family;
    bool national;  // UTF-16 text: two bytes a character
    bool isLong;    // NTEXT, IMAGE: no declared length, sent as the long TDS types
    int precedence; // higher wins in implicit conversion
    // The type as declared without arguments; for the variable-length types, their default.
    sql::TypeName declared;
    int32_t maxDeclaredLength;  // largest n of (n); 0 for types that take none
    bool takesMax;              // (MAX) allowed
    int64_t minValue, maxValue; // range of the integer types
    // INFORMATION_SCHEMA figures: precision (-1: the column's own, 0: NULL) and, for the long
    // types, CHARACTER_MAXIMUM_LENGTH and CHARACTER_OCTET_LENGTH.
    int8_t numericPrecision;
    int64_t longCharacters, longOctets;
    int16_t odbcType; // DATA_TYPE of sp_columns
    StorageClass storage;
    // TDS: the type of a column, its long form for lengths beyond 8000 bytes before TDS 7.2,
    // and the byte length of the fixed-size ones.
    uint8_t wireType, wireLongType;
    uint32_t wireLength;

    // Bytes a declared length takes; -1 stays -1 (MAX).
    int64_t octets(int32_t length) const { return length < 0 ? -1 : int64_t{length} * unitBytes(); }
    int unitBytes() const { return national ? 2 : 1; }
    bool isVariable() const
    {
        return (family == TypeFamily::Text || family == TypeFamily::Binary) && !isLong;
    }
};

const SqlTypeInfo& typeInfo(SqlType type);
// The bytes a column of the type takes in a row (sys.columns max_length): -1 for MAX, 16 for the
// text pointer of the long types.
int64_t columnBytes(const sql::TypeName& type);
// The type a declaration names (upper case, "INT", "NVARCHAR", ...), or null.
const SqlTypeInfo* typeByKeyword(std::u16string_view keyword);

} // namespace standin
