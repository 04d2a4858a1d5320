// Codecs of the column and parameter types: TYPE_INFO as COLMETADATA and RPC carry it, and
// each type's value encoding. Text travels as UTF-16 code units, never validated.
#pragma once

#include "ByteIO.h"
#include "engine/Engine.h"
#include "engine/TypeTable.h"

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace standin::tds {

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

// A parameter a client may send but this server does not take. what() names it as the engine's
// "... is not supported by this server." message completes it.
class UnsupportedParameter : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Throws UnsupportedParameter on a type this server does not take.
ParamType readParamType(ByteReader& in);
// Decodes one parameter value; throws ProtocolError on malformed data and UnsupportedParameter
// on a value this server does not take.
Value readParamValue(ByteReader& in, const ParamType& type);
// The engine's view of a parameter's type.
ColumnInfo columnInfoFor(const ParamType& type);

// Code page 1252 for the single-byte text types; characters it lacks become '?'.
std::vector<uint8_t> toCodePage1252(std::u16string_view text);
std::u16string fromCodePage1252(std::span<const uint8_t> bytes);

} // namespace standin::tds
