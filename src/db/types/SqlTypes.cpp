// The type table and its lookups.
#include "SqlTypes.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>

namespace sqllumo::db {

namespace {

using namespace adotype;
using C = ValueCodec;

constexpr long kLongText = 1073741823L; // characters of NVARCHAR(MAX) and NTEXT
constexpr long kLongBytes = 2147483647L;

// As SQL Server's OLE DB provider reports them; the newer date and time types arrive as text.
// Where several names share an ODBC code, the first entry answers for it.
const std::vector<SqlType> kTypes = {
    // name, ADO, ADO long, ODBC codes, long above, fixed size, long size, always long, codec,
    // exact text, comparable
    {"int", kInteger, 0, {SQL_INTEGER, 0}, 0, 4, 0, false, C::Integer, false, true},
    {"smallint", kSmallInt, 0, {SQL_SMALLINT, 0}, 0, 2, 0, false, C::Integer, false, true},
    {"tinyint", kTinyInt, 0, {SQL_TINYINT, 0}, 0, 1, 0, false, C::Integer, false, true},
    {"bit", kBoolean, 0, {SQL_BIT, 0}, 0, 2, 0, false, C::Bit, false, true},
    {"bigint", kBigInt, 0, {SQL_BIGINT, 0}, 0, 8, 0, false, C::BigInteger, false, true},
    {"datetime",
     kDBTimeStamp,
     0,
     {SQL_TYPE_TIMESTAMP, 0},
     0,
     8,
     0,
     false,
     C::Timestamp,
     false,
     true},
    {"smalldatetime", kDBTimeStamp, 0, {0, 0}, 0, 4, 0, false, C::Timestamp, false, true},
    {"nvarchar",
     kVarWChar,
     kLongVarWChar,
     {SQL_WVARCHAR, 0},
     4000,
     0,
     kLongText,
     false,
     C::Text,
     true,
     true},
    {"varchar",
     kVarChar,
     kLongVarChar,
     {SQL_VARCHAR, 0},
     8000,
     0,
     kLongBytes,
     false,
     C::Text,
     false,
     true},
    {"nchar", kWChar, 0, {SQL_WCHAR, 0}, 0, 0, kLongText, false, C::Text, true, true},
    {"char", kChar, 0, {SQL_CHAR, 0}, 0, 0, kLongBytes, false, C::Text, false, true},
    {"ntext", kLongVarWChar, 0, {SQL_WLONGVARCHAR, 0}, 0, 0, kLongText, true, C::Text, true, false},
    {"text", kLongVarChar, 0, {SQL_LONGVARCHAR, 0}, 0, 0, kLongBytes, true, C::Text, false, false},
    {"image",
     kLongVarBinary,
     0,
     {SQL_LONGVARBINARY, 0},
     0,
     0,
     kLongBytes,
     true,
     C::Binary,
     false,
     false},
    {"varbinary",
     kVarBinary,
     kLongVarBinary,
     {SQL_VARBINARY, 0},
     8000,
     0,
     kLongBytes,
     false,
     C::Binary,
     false,
     true},
    {"binary", kBinary, 0, {SQL_BINARY, 0}, 0, 0, kLongBytes, false, C::Binary, false, true},
    // Read back rounded (to a double, to milliseconds), so an equality with what was read
    // could miss the row: none of these is comparable.
    {"float", kDouble, 0, {SQL_FLOAT, SQL_DOUBLE}, 0, 8, 0, false, C::Real, false, false},
    {"real", kSingle, 0, {SQL_REAL, 0}, 0, 4, 0, false, C::Real, false, false},
    {"decimal", kNumeric, 0, {SQL_DECIMAL, 0}, 0, 19, 0, false, C::Real, false, false},
    {"numeric", kNumeric, 0, {SQL_NUMERIC, 0}, 0, 19, 0, false, C::Real, false, false},
    {"money", kCurrency, 0, {0, 0}, 0, 8, 0, false, C::Real, false, false},
    {"smallmoney", kCurrency, 0, {0, 0}, 0, 4, 0, false, C::Real, false, false},
    {"uniqueidentifier", kGuid, 0, {SQL_GUID, 0}, 0, 16, 0, false, C::Text, false, true},
    {"timestamp", kBinary, 0, {0, 0}, 0, 0, 0, false, C::Binary, false, false},
    {"rowversion", kBinary, 0, {0, 0}, 0, 0, 0, false, C::Binary, false, false},
    {"sql_variant", kVariant, 0, {0, 0}, 0, 0, 0, false, C::Text, false, false},
    {"xml", kLongVarWChar, 0, {0, 0}, 0, 0, kLongBytes, false, C::Text, false, false},
    {"datetime2", kVarWChar, 0, {0, 0}, 0, 0, 0, false, C::Text, false, false},
    {"date", kVarWChar, 0, {SQL_TYPE_DATE, 0}, 0, 0, 0, false, C::Timestamp, false, true},
    {"time", kVarWChar, 0, {0, 0}, 0, 0, 0, false, C::Text, false, false},
    {"datetimeoffset", kVarWChar, 0, {0, 0}, 0, 0, 0, false, C::Text, false, false},
    {"geography", 0, 0, {0, 0}, 0, 0, 0, false, C::Binary, false, false},
    {"geometry", 0, 0, {0, 0}, 0, 0, 0, false, C::Binary, false, false},
    {"hierarchyid", 0, 0, {0, 0}, 0, 0, 0, false, C::Binary, false, false},
    // Whatever else the driver describes is read as text.
    {"", kVarWChar, 0, {0, 0}, 0, 0, 0, false, C::Text, false, true},
};

bool sameName(std::string_view a, const char* b)
{
    const std::string_view other(b);
    return a.size() == other.size() &&
           std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

const std::vector<SqlType>& SqlTypes()
{
    return kTypes;
}

const SqlType* FindServerType(std::string_view name)
{
    if (name.empty())
        return nullptr;
    for (const SqlType& type : kTypes)
        if (sameName(name, type.name))
            return &type;
    return nullptr;
}

const SqlType& OdbcColumnType(short odbcType)
{
    for (const SqlType& type : kTypes)
        if (odbcType != 0 && (type.odbcTypes[0] == odbcType || type.odbcTypes[1] == odbcType))
            return type;
    return kTypes.back();
}

int AdoTypeFromServerType(std::string_view dataType, long long maxLength)
{
    const SqlType* type = FindServerType(dataType);
    if (!type)
        return 0;
    return maxLength == -1 && type->adoLongType != 0 ? type->adoLongType : type->adoType;
}

long DefinedSizeFromServerType(std::string_view dataType, long long maxLength)
{
    const SqlType* type = FindServerType(dataType);
    if (maxLength == -1 || (type && type->alwaysLong))
        return type && type->longSize != 0 ? type->longSize : kLongBytes;
    if (maxLength > 0)
        return static_cast<long>(maxLength);
    return type ? type->fixedSize : 0;
}

int AdoTypeFromOdbc(short sqlType, unsigned long long size)
{
    const SqlType& type = OdbcColumnType(sqlType);
    const bool isLong = type.longAbove != 0 && (size == 0 || size > type.longAbove);
    return isLong ? type.adoLongType : type.adoType;
}

bool IsTextAdoType(int adoType)
{
    return adoType == kChar || adoType == kWChar || adoType == kVarChar || adoType == kVarWChar ||
           adoType == kLongVarChar || adoType == kLongVarWChar;
}

} // namespace sqllumo::db
