// The rows of the type table.
#include "TypeTable.h"

#include <array>
#include <cstdint>

namespace standin {

namespace {

using F = TypeFamily;
using S = StorageClass;
constexpr int64_t kNoMin = INT64_MIN;
constexpr int64_t kNoMax = INT64_MAX;

// In SqlType's order, so that a type finds its row by its own value.
// clang-format off
// Each row: type, name, family, national, long, precedence, declared type;
//   declared lengths (largest n, MAX allowed); integer range;
//   catalogue (precision, long characters and octets, ODBC type); storage; TDS types and length.
const std::array<SqlTypeInfo, 16> kTypes = {{
    {SqlType::Int, u"int", F::Integer, false, false, 16, {SqlType::Int, 4, 10, 0},
     0, false, INT32_MIN, INT32_MAX,
     10, 0, 0, 4, S::Integer,
     wire::IntN, wire::IntN, 4},
    {SqlType::SmallInt, u"smallint", F::Integer, false, false, 15, {SqlType::SmallInt, 2, 5, 0},
     0, false, -32768, 32767,
     5, 0, 0, 5, S::Integer,
     wire::IntN, wire::IntN, 2},
    {SqlType::TinyInt, u"tinyint", F::Integer, false, false, 14, {SqlType::TinyInt, 1, 3, 0},
     0, false, 0, 255,
     3, 0, 0, -6, S::Integer,
     wire::IntN, wire::IntN, 1},
    {SqlType::BigInt, u"bigint", F::Integer, false, false, 17, {SqlType::BigInt, 8, 19, 0},
     0, false, kNoMin, kNoMax,
     19, 0, 0, -5, S::Integer,
     wire::IntN, wire::IntN, 8},
    {SqlType::Bit, u"bit", F::Integer, false, false, 13, {SqlType::Bit, 1, 1, 0},
     0, false, 0, 1,
     0, 0, 0, -7, S::Integer,
     wire::BitN, wire::BitN, 1},
    {SqlType::DateTime, u"datetime", F::DateTime, false, false, 20, {SqlType::DateTime, 8, 23, 3},
     0, false, kNoMin, kNoMax,
     0, 0, 0, 11, S::DateTime,
     wire::DateTimeN, wire::DateTimeN, 8},
    {SqlType::Float, u"float", F::Float, false, false, 19, {SqlType::Float, 8, 53, 0},
     0, false, kNoMin, kNoMax,
     53, 0, 0, 6, S::Real,
     wire::FltN, wire::FltN, 8},
    {SqlType::Decimal, u"numeric", F::Decimal, false, false, 18, {SqlType::Decimal, 0, 18, 0},
     0, false, kNoMin, kNoMax,
     -1, 0, 0, 2, S::Integer,
     wire::DecimalN, wire::DecimalN, 0},
    {SqlType::NVarChar, u"nvarchar", F::Text, true, false, 10, {SqlType::NVarChar, 0, 0, 0},
     4000, true, kNoMin, kNoMax,
     0, 0, 0, -9, S::Text,
     wire::NVarChar, wire::NText, 0},
    {SqlType::NChar, u"nchar", F::Text, true, false, 9, {SqlType::NChar, 0, 0, 0},
     4000, false, kNoMin, kNoMax,
     0, 0, 0, -8, S::Text,
     wire::NChar, wire::NText, 0},
    {SqlType::VarChar, u"varchar", F::Text, false, false, 8, {SqlType::VarChar, 0, 0, 0},
     8000, true, kNoMin, kNoMax,
     0, 0, 0, 12, S::Text,
     wire::BigVarChar, wire::Text, 0},
    {SqlType::Char, u"char", F::Text, false, false, 7, {SqlType::Char, 0, 0, 0},
     8000, false, kNoMin, kNoMax,
     0, 0, 0, 1, S::Text,
     wire::BigChar, wire::Text, 0},
    {SqlType::NText, u"ntext", F::Text, true, true, 12, {SqlType::NText, 1073741823, 0, 0},
     0, false, kNoMin, kNoMax,
     0, 1073741823, 2147483646, -10, S::Text,
     wire::NText, wire::NText, 0x7FFFFFFE},
    {SqlType::VarBinary, u"varbinary", F::Binary, false, false, 6, {SqlType::VarBinary, 0, 0, 0},
     8000, true, kNoMin, kNoMax,
     0, 0, 0, -3, S::Blob,
     wire::BigVarBinary, wire::Image, 0},
    {SqlType::Image, u"image", F::Binary, false, true, 11, {SqlType::Image, 2147483647, 0, 0},
     0, false, kNoMin, kNoMax,
     0, 2147483647, 2147483647, -4, S::Blob,
     wire::Image, wire::Image, 0x7FFFFFFF},
    {SqlType::UniqueIdentifier, u"uniqueidentifier", F::Guid, false, false, 5,
     {SqlType::UniqueIdentifier, 16, 0, 0},
     0, false, kNoMin, kNoMax,
     0, 0, 0, -11, S::Blob,
     wire::Guid, wire::Guid, 16},
}};
// clang-format on

struct Keyword {
    std::u16string_view word;
    SqlType type;
};

const Keyword kKeywords[] = {
    {u"INT", SqlType::Int},
    {u"INTEGER", SqlType::Int},
    {u"SMALLINT", SqlType::SmallInt},
    {u"TINYINT", SqlType::TinyInt},
    {u"BIGINT", SqlType::BigInt},
    {u"BIT", SqlType::Bit},
    {u"DATETIME", SqlType::DateTime},
    {u"FLOAT", SqlType::Float},
    {u"DECIMAL", SqlType::Decimal},
    {u"NUMERIC", SqlType::Decimal},
    {u"DEC", SqlType::Decimal},
    {u"NVARCHAR", SqlType::NVarChar},
    {u"NCHAR", SqlType::NChar},
    {u"VARCHAR", SqlType::VarChar},
    {u"CHAR", SqlType::Char},
    {u"NTEXT", SqlType::NText},
    {u"VARBINARY", SqlType::VarBinary},
    {u"IMAGE", SqlType::Image},
};

} // namespace

const SqlTypeInfo& typeInfo(SqlType type)
{
    return kTypes[static_cast<size_t>(type)];
}

int64_t columnBytes(const sql::TypeName& type)
{
    const SqlTypeInfo& info = typeInfo(type.type);
    if (info.isLong)
        return 16;
    if (info.isVariable())
        return info.octets(type.length);
    if (info.family == TypeFamily::Decimal)
        return type.precision <= 9 ? 5 : type.precision <= 19 ? 9 : type.precision <= 28 ? 13 : 17;
    return info.declared.length;
}

const SqlTypeInfo* typeByKeyword(std::u16string_view keyword)
{
    for (const Keyword& k : kKeywords)
        if (k.word == keyword)
            return &typeInfo(k.type);
    return nullptr;
}

} // namespace standin
