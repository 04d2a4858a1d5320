// The type table against ADO's documented codes and sizes: what the catalogue and a recordset
// report for each SQL Server type, and which columns can find a row again.
#include "SqlTypes.h"
#include "Session.h"

#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <set>

using namespace sqllumo::db;

TEST(SqlTypes, ServerTypesGiveAdosCodesAndDefinedSizes)
{
    struct Row {
        const char* name;
        long long maxLength; // as INFORMATION_SCHEMA reports it: 0 for NULL, -1 for MAX
        int ado;
        long size;
    };
    const Row rows[] = {
        {"int", 0, 3, 4},
        {"smallint", 0, 2, 2},
        {"tinyint", 0, 17, 1},
        {"bit", 0, 11, 2},
        {"bigint", 0, 20, 8},
        {"datetime", 0, 135, 8},
        {"smalldatetime", 0, 135, 4},
        {"nvarchar", 50, 202, 50},
        {"NVARCHAR", 64, 202, 64}, // names compare without regard to case
        {"nvarchar", -1, 203, 1073741823},
        {"varchar", 20, 200, 20},
        {"varchar", -1, 201, 2147483647},
        {"varbinary", 16, 204, 16},
        {"varbinary", -1, 205, 2147483647},
        {"nchar", 3, 130, 3},
        {"char", 3, 129, 3},
        {"ntext", 1073741823, 203, 1073741823},
        {"text", 2147483647, 201, 2147483647},
        {"image", 2147483647, 205, 2147483647},
        {"image", 0, 205, 2147483647},
        {"float", 0, 5, 8},
        {"real", 0, 4, 4},
        {"decimal", 0, 131, 19},
        {"money", 0, 6, 8},
        {"smallmoney", 0, 6, 4},
        {"uniqueidentifier", 0, 72, 16},
        {"xml", -1, 203, 2147483647},
        {"datetime2", 0, 202, 0}, // the newer date types arrive as text
        {"geography", -1, 0, 2147483647},
        {"no_such_type", 0, 0, 0},
        {"", 0, 0, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(AdoTypeFromServerType(row.name, row.maxLength), row.ado)
            << row.name << " " << row.maxLength;
        EXPECT_EQ(DefinedSizeFromServerType(row.name, row.maxLength), row.size)
            << row.name << " " << row.maxLength;
    }
}

TEST(SqlTypes, ResultColumnsAsOdbcDescribesThem)
{
    struct Row {
        short odbc;
        unsigned long long size;
        int ado;
        ValueCodec codec;
    };
    const Row rows[] = {
        {SQL_INTEGER, 10, 3, ValueCodec::Integer},
        {SQL_SMALLINT, 5, 2, ValueCodec::Integer},
        {SQL_TINYINT, 3, 17, ValueCodec::Integer},
        {SQL_BIT, 1, 11, ValueCodec::Bit},
        {SQL_BIGINT, 19, 20, ValueCodec::BigInteger},
        {SQL_TYPE_TIMESTAMP, 23, 135, ValueCodec::Timestamp},
        {SQL_TYPE_DATE, 10, 202, ValueCodec::Timestamp},
        {SQL_WVARCHAR, 4000, 202, ValueCodec::Text},
        {SQL_WVARCHAR, 4001, 203, ValueCodec::Text},
        {SQL_WVARCHAR, 0, 203, ValueCodec::Text}, // (MAX)
        {SQL_VARCHAR, 8000, 200, ValueCodec::Text},
        {SQL_VARCHAR, 0, 201, ValueCodec::Text},
        {SQL_WCHAR, 3, 130, ValueCodec::Text},
        {SQL_CHAR, 3, 129, ValueCodec::Text},
        {SQL_WLONGVARCHAR, 1073741823, 203, ValueCodec::Text},
        {SQL_LONGVARCHAR, 2147483647, 201, ValueCodec::Text},
        {SQL_VARBINARY, 8000, 204, ValueCodec::Binary},
        {SQL_VARBINARY, 8001, 205, ValueCodec::Binary},
        {SQL_BINARY, 8, 128, ValueCodec::Binary},
        {SQL_LONGVARBINARY, 2147483647, 205, ValueCodec::Binary},
        {SQL_FLOAT, 53, 5, ValueCodec::Real},
        {SQL_DOUBLE, 53, 5, ValueCodec::Real},
        {SQL_REAL, 24, 4, ValueCodec::Real},
        {SQL_DECIMAL, 18, 131, ValueCodec::Real},
        {SQL_NUMERIC, 18, 131, ValueCodec::Real},
        {SQL_GUID, 36, 72, ValueCodec::Text},
        {-150, 8000, 202, ValueCodec::Text}, // sql_variant, and whatever else: text
        {0, 0, 202, ValueCodec::Text},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(AdoTypeFromOdbc(row.odbc, row.size), row.ado) << row.odbc << " " << row.size;
        EXPECT_EQ(OdbcColumnType(row.odbc).codec, row.codec) << row.odbc;
    }

    // Each ODBC code is answered by one entry, the fallback (last) by none; every codec has
    // a reader, so every one must be reachable.
    std::set<short> codes;
    std::set<ValueCodec> codecs;
    for (const SqlType& type : SqlTypes())
        for (short code : type.odbcTypes)
            if (code != 0) {
                EXPECT_TRUE(codes.insert(code).second) << "code " << code << " twice";
                codecs.insert(type.codec);
            }
    EXPECT_EQ(codecs.size(), static_cast<size_t>(kValueCodecCount));
    EXPECT_STREQ(SqlTypes().back().name, "");
    for (const SqlType& type : SqlTypes())
        EXPECT_EQ(&type == &SqlTypes().back(), std::string(type.name).empty());
}

TEST(SqlTypes, OnlyColumnsReadBackExactlyFindARowAgainAndOnlyNationalTextIsFetchedAsBytes)
{
    using sqllumo::db::detail::BaseColumn;
    struct Row {
        const char* type;
        long long maxLength;
        bool comparable;
        bool exactText;
    };
    const Row rows[] = {
        {"int", 0, true, false},         {"nvarchar", 50, true, true},
        {"NVarChar", 50, true, true},    {"nvarchar", -1, false, true},
        {"nchar", 10, true, true},       {"ntext", 1073741823, false, true},
        {"varchar", 10, true, false},    {"datetime", 0, true, false},
        {"date", 0, true, false},        {"datetime2", 0, false, false},
        {"float", 0, false, false},      {"decimal", 0, false, false},
        {"money", 0, false, false},      {"image", 2147483647, false, false},
        {"timestamp", 0, false, false},  {"geography", 0, false, false},
        {"varbinary", -1, false, false}, {"my_user_type", 0, true, false},
    };
    for (const Row& row : rows) {
        BaseColumn column;
        column.dataType = QString::fromLatin1(row.type);
        column.maxLength = row.maxLength;
        EXPECT_EQ(column.comparable(), row.comparable) << row.type << " " << row.maxLength;
        EXPECT_EQ(column.exactText(), row.exactText) << row.type;
    }
    for (int ado : {129, 130, 200, 201, 202, 203})
        EXPECT_TRUE(IsTextAdoType(ado)) << ado;
    for (int ado : {2, 3, 11, 72, 128, 135, 204, 205})
        EXPECT_FALSE(IsTextAdoType(ado)) << ado;
}
