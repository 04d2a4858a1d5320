// The built-in function table and the type table seen through T-SQL: every registered name
// answers, wrong argument counts are refused as SQL Server refuses them, and each type's row
// is the one its declaration and the catalogue use.
#include "EngineTestSupport.h"
#include "Functions.h"
#include "Parser.h"
#include "TypeTable.h"

#include <set>

namespace standin::testing {
namespace {

class FunctionRegistryTest : public EngineFixture {
protected:
    // A call of `name` with `count` NULL arguments.
    static std::string call(std::u16string_view name, size_t count)
    {
        std::string sql = "SELECT " + u8(std::u16string(name)) + "(";
        for (size_t i = 0; i < count; ++i)
            sql += i ? ", NULL" : "NULL";
        return sql + ")";
    }
};

TEST_F(FunctionRegistryTest, EveryScalarFunctionAnswersWithItsFewestArguments)
{
    ok("CREATE TABLE T (ID int IDENTITY(1,1) PRIMARY KEY, Name nvarchar(20))");
    size_t scalars = 0;
    for (const BuiltinFunction* f : builtinFunctions()) {
        if (!f->evaluate)
            continue;
        ++scalars;
        RecordingSink sink = run(call(f->name, f->minArguments));
        // Words such as USER and CURRENT_TIMESTAMP are written without parentheses.
        if (f->maxArguments == 0 && !sink.errors().empty())
            sink = run("SELECT " + u8(std::u16string(f->name)));
        EXPECT_TRUE(sink.errors().empty())
            << u8(std::u16string(f->name)) << ": " << sink.errorText();
        ASSERT_EQ(sink.results.size(), 1u) << u8(std::u16string(f->name));
        EXPECT_EQ(sink.results[0].rows.size(), 1u);
    }
    EXPECT_GE(scalars, 40u);
}

TEST_F(FunctionRegistryTest, WrongArgumentCountsGive174WithTheFewestTheFunctionTakes)
{
    for (const BuiltinFunction* f : builtinFunctions()) {
        // Reserved words (USER, CURRENT_TIMESTAMP) take no parentheses at all.
        if (!f->evaluate || sql::isReservedWord(f->name))
            continue;
        const std::string name = u8(std::u16string(f->name));
        const std::string expected = "The " + name + " function requires " +
                                     std::to_string(f->minArguments) + " argument(s).";
        if (f->maxArguments != kAnyArgumentCount) {
            RecordingSink tooMany = run(call(f->name, f->maxArguments + 1u));
            ASSERT_EQ(tooMany.errors(), std::vector<int>{174})
                << name << ": " << tooMany.errorText();
            EXPECT_EQ(tooMany.errorText(), expected);
        }
        if (f->minArguments > 0) {
            RecordingSink tooFew = run(call(f->name, f->minArguments - 1u));
            ASSERT_EQ(tooFew.errors(), std::vector<int>{174}) << name;
            EXPECT_EQ(tooFew.errorText(), expected);
        }
    }
}

TEST_F(FunctionRegistryTest, UnknownNamesAndAggregatesOutsideASelectListAreRefused)
{
    RecordingSink unknown = run("SELECT NO_SUCH_FUNCTION(1)");
    EXPECT_EQ(unknown.errors(), std::vector<int>{195});
    EXPECT_EQ(unknown.errorText(),
              "'NO_SUCH_FUNCTION' is not a recognized built-in function name.");
    ok("CREATE TABLE T (A int)");
    EXPECT_EQ(errorOf("SELECT A FROM T WHERE SUM(A) > 1"), 147);
    EXPECT_EQ(errorOf("DECLARE @x int SET @x = MAX(1)"), 147);
    for (const char* aggregate : {"COUNT", "COUNT_BIG", "SUM", "MIN", "MAX", "AVG"})
        EXPECT_TRUE(isAggregateFunction(u16(aggregate))) << aggregate;
    EXPECT_FALSE(isAggregateFunction(u"LEN"));
}

TEST_F(FunctionRegistryTest, FunctionNamesAreUniqueAndUpperCase)
{
    std::set<std::u16string> seen;
    for (const BuiltinFunction* f : builtinFunctions()) {
        std::u16string name(f->name);
        EXPECT_TRUE(seen.insert(name).second) << u8(name);
        EXPECT_EQ(text::upper(name), name);
        EXPECT_LE(f->minArguments, f->maxArguments) << u8(name);
        EXPECT_EQ(findFunction(name), f);
    }
}

// Each row is found by its type's own value, so the rows must stand in SqlType's order.
TEST(TypeTableTest, EveryTypeFindsItsOwnRowAndItsDeclarationRoundTrips)
{
    for (int i = 0; i <= static_cast<int>(SqlType::UniqueIdentifier); ++i) {
        const SqlType type = static_cast<SqlType>(i);
        const SqlTypeInfo& info = typeInfo(type);
        EXPECT_EQ(info.type, type) << i;
        EXPECT_EQ(info.declared.type, type) << i;
        if (const SqlTypeInfo* byName = typeByKeyword(text::upper(info.name))) {
            EXPECT_EQ(byName->type, type);
        }
    }
    EXPECT_EQ(typeByKeyword(u"NUMERIC")->type, SqlType::Decimal);
    EXPECT_EQ(typeByKeyword(u"INTEGER")->type, SqlType::Int);
    EXPECT_EQ(typeByKeyword(u"XML"), nullptr);
}

TEST_F(FunctionRegistryTest, DeclaredTypesReachTheCatalogueWithTheirFigures)
{
    ok("CREATE TABLE T (A int, B smallint, C tinyint, D bit, E datetime, F float, "
       "G decimal(9,2), H nvarchar(40), I nchar(3), J varchar(max), K char(7), L ntext, "
       "M varbinary(16), N image)");
    EXPECT_EQ(
        rows("SELECT COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, "
             "CHARACTER_OCTET_LENGTH, NUMERIC_PRECISION FROM INFORMATION_SCHEMA.COLUMNS "
             "WHERE TABLE_NAME = 'T' ORDER BY ORDINAL_POSITION"),
        (std::vector<std::string>{
            "'A'|'int'|NULL|NULL|10", "'B'|'smallint'|NULL|NULL|5", "'C'|'tinyint'|NULL|NULL|3",
            "'D'|'bit'|NULL|NULL|NULL", "'E'|'datetime'|NULL|NULL|NULL", "'F'|'float'|NULL|NULL|53",
            "'G'|'numeric'|NULL|NULL|9", "'H'|'nvarchar'|40|80|NULL", "'I'|'nchar'|3|6|NULL",
            "'J'|'varchar'|-1|-1|NULL", "'K'|'char'|7|7|NULL",
            "'L'|'ntext'|1073741823|2147483646|NULL", "'M'|'varbinary'|16|16|NULL",
            "'N'|'image'|2147483647|2147483647|NULL"}));
    // A row's bytes: 16 for the long types' text pointer, never a number too big for smallint.
    EXPECT_EQ(rows("SELECT name, max_length FROM sys.columns WHERE object_id = OBJECT_ID('T') "
                   "ORDER BY column_id"),
              (std::vector<std::string>{"'A'|4", "'B'|2", "'C'|1", "'D'|1", "'E'|8", "'F'|8",
                                        "'G'|5", "'H'|80", "'I'|6", "'J'|-1", "'K'|7", "'L'|16",
                                        "'M'|16", "'N'|16"}));
    EXPECT_EQ(errorOf("CREATE TABLE U (A nvarchar(4001))"), 131);
    EXPECT_EQ(errorOf("CREATE TABLE U (A varchar(8001))"), 131);
    EXPECT_NE(errorOf("CREATE TABLE U (A nchar(max))"), 0);
}

} // namespace
} // namespace standin::testing
