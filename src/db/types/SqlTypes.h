// The program's one table of SQL Server types: the server's name, ADO's type codes, the ODBC
// codes a result column arrives with, the size rules of ADO's defined size and how a value is
// read. Everything that needs to know a type looks it up here.
#pragma once

#include <string_view>
#include <vector>

namespace sqllumo::db {

// ADO's data type codes.
namespace adotype {
inline constexpr int kSmallInt = 2, kInteger = 3, kSingle = 4, kDouble = 5, kCurrency = 6,
                     kBoolean = 11, kVariant = 12, kTinyInt = 17, kBigInt = 20, kGuid = 72,
                     kBinary = 128, kChar = 129, kWChar = 130, kNumeric = 131, kDBTimeStamp = 135,
                     kVarChar = 200, kLongVarChar = 201, kVarWChar = 202, kLongVarWChar = 203,
                     kVarBinary = 204, kLongVarBinary = 205;
} // namespace adotype

// How a value of a result column is read: the C type asked of the driver and the QVariant
// it becomes (see Recordset.h).
enum class ValueCodec { Integer, BigInteger, Bit, Real, Timestamp, Binary, Text };
inline constexpr int kValueCodecCount = 7;

struct SqlType {
    const char* name; // as the server names it, lower case; empty for the fallback entry
    int adoType;      // ADO's code as SQL Server's OLE DB provider reports it; 0: none
    int adoLongType;  // the code of a long value (MAX, or a column size beyond longAbove)
    // The ODBC codes this entry answers for when the driver describes a result column; each
    // code appears once in the table. 0: none.
    short odbcTypes[2];
    // A described column size above this, or a size of 0, makes the value long; 0: never.
    unsigned long long longAbove;
    long fixedSize;  // ADO's defined size of a type without a length; 0: none
    long longSize;   // ADO's defined size of a long value (MAX, NTEXT, TEXT, IMAGE)
    bool alwaysLong; // NTEXT, TEXT and IMAGE: long whatever length the catalogue reports
    ValueCodec codec;
    // NVARCHAR, NCHAR, NTEXT: fetched as UTF-16 bytes and written as cast bytes, so that text
    // that is not valid Unicode (cipher texts) survives.
    bool exactText;
    // A value read back equals the stored one, so "column = value" finds the row again.
    bool comparable;
};

// Every entry, the fallback last.
const std::vector<SqlType>& SqlTypes();
// By the server's name without regard to case; nullptr for a name the table does not hold.
const SqlType* FindServerType(std::string_view name);
// The entry for an ODBC code; codes the table does not hold read as text (the fallback).
const SqlType& OdbcColumnType(short odbcType);

// ADO's type code for a column the server's catalogue describes by name and maximum length
// (-1 for the MAX types); 0 for a type ADO has no code for.
int AdoTypeFromServerType(std::string_view dataType, long long maxLength);
// ADO's defined size: characters of text, bytes of binary, else the type's own size.
long DefinedSizeFromServerType(std::string_view dataType, long long maxLength);
// ADO's type code for a result column as ODBC describes it.
int AdoTypeFromOdbc(short sqlType, unsigned long long size);
// Whether values of the ADO type are character data.
bool IsTextAdoType(int adoType);

} // namespace sqllumo::db
