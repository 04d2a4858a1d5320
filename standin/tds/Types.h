// Codecs of the column and parameter types: TYPE_INFO as COLMETADATA and RPC carry it, and
// each type's value encoding. Text travels as UTF-16 code units, never validated.
#pragma once

#include "ByteIO.h"
#include "engine/Engine.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace standin::tds {

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

// SQL_Latin1_General_CP1_CI_AS: LCID 0x0409, case- and kana/width-insensitive, sort id 52.
constexpr std::array<uint8_t, 5> DefaultCollation{0x09, 0x04, 0xD0, 0x00, 0x34};

// How one column travels: chosen once per result set from the engine's column description.
struct WireColumn {
    uint8_t type = wire::IntN;
    uint32_t maxLength = 0; // bytes; 0xFFFF marks a MAX type sent in chunks
    uint8_t precision = 0;
    uint8_t scale = 0;
    bool plp = false;
    bool hasCollation = false;
    bool isLongType() const
    {
        return type == wire::Image || type == wire::Text || type == wire::NText;
    }
};

WireColumn wireColumnFor(const ColumnInfo& column, uint32_t tdsVersion);

void writeTypeInfo(ByteWriter& out, const WireColumn& column, uint32_t tdsVersion,
                   bool inColumnMetadata = true);

// Appends the value (or the column type's NULL). Throws std::invalid_argument when the value
// cannot travel as that column (a text longer than its column, a number for a binary column).
void writeValue(ByteWriter& out, const WireColumn& column, const Value& value);

// The NBCROW form has no place for NULL inside the value itself.
bool isNull(const Value& value);

// An RPC parameter's declared type, read from the request.
struct ParamType {
    uint8_t type = 0;
    uint32_t maxLength = 0;
    uint8_t precision = 0;
    uint8_t scale = 0;
    bool plp = false;
};

ParamType readParamType(ByteReader& in);
// Decodes one parameter value; throws ProtocolError on malformed data and std::invalid_argument
// on a type this server does not take.
Value readParamValue(ByteReader& in, const ParamType& type);
// The engine's view of a parameter's type.
ColumnInfo columnInfoFor(const ParamType& type);

// Code page 1252 for the single-byte text types; characters it lacks become '?'.
std::vector<uint8_t> toCodePage1252(std::u16string_view text);
std::u16string fromCodePage1252(std::span<const uint8_t> bytes);

} // namespace standin::tds
