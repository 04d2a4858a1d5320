// Unit tests of the value rules and of the front end without a database: conversions,
// comparisons, arithmetic, DATETIME texts, tokens and statement shapes.
#include "Errors.h"
#include "Lexer.h"
#include "Parser.h"
#include "Values.h"

#include "EngineTestSupport.h"

namespace standin::testing {
namespace {

const TypeName kInt{SqlType::Int, 4, 10, 0};
const TypeName kTiny{SqlType::TinyInt, 1, 3, 0};
const TypeName kSmall{SqlType::SmallInt, 2, 5, 0};
const TypeName kBit{SqlType::Bit, 1, 1, 0};
const TypeName kNv10{SqlType::NVarChar, 10, 0, 0};
const TypeName kVc10{SqlType::VarChar, 10, 0, 0};
const TypeName kDate{SqlType::DateTime, 8, 23, 3};
const TypeName kFloat{SqlType::Float, 8, 53, 0};
const TypeName kDec62{SqlType::Decimal, 0, 6, 2};
const TypeName kBin{SqlType::VarBinary, -1, 0, 0};

int errorNumberOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const SqlError& e) {
        return e.message().number;
    }
    return 0;
}

TEST(Values, ConversionsFollowSqlServersRules)
{
    ConversionContext ctx;
    struct Case {
        Typed from;
        TypeName to;
        ConversionMode mode;
        int error;
        std::string shown;
    } cases[] = {
        {{std::u16string(u" 42 "), kVc10}, kInt, ConversionMode::Implicit, 0, "42"},
        {{std::u16string(u"4.5"), kVc10}, kInt, ConversionMode::Implicit, 245, ""},
        {{std::u16string(u"99999999999"), kVc10}, kInt, ConversionMode::Implicit, 248, ""},
        {{int64_t{300}, kInt}, kTiny, ConversionMode::Implicit, 220, ""},
        {{int64_t{-40000}, kInt}, kSmall, ConversionMode::Implicit, 220, ""},
        {{int64_t{7}, kInt}, kBit, ConversionMode::Implicit, 0, "1"},
        {{2.9, kFloat}, kInt, ConversionMode::Implicit, 0, "2"},
        {{-2.9, kFloat}, kInt, ConversionMode::Implicit, 0, "-2"},
        {{int64_t{12345}, kDec62}, kInt, ConversionMode::Implicit, 0, "123"},
        {{std::u16string(u"12.345"), kVc10}, kDec62, ConversionMode::Implicit, 0, "1235"},
        {{std::u16string(u"12345.6"), kVc10}, kDec62, ConversionMode::Implicit, 8115, ""},
        {{std::u16string(u"abc"), kVc10}, kFloat, ConversionMode::Implicit, 8114, ""},
        {{int64_t{1}, kInt}, kDate, ConversionMode::Implicit, 0, "dt(1,0)"},
        {{std::u16string(u"abcdefghijkl"), kNv10},
         kNv10,
         ConversionMode::Explicit,
         0,
         "'abcdefghij'"},
        {{Bytes{0x41, 0x00, 0x00, 0xD8}, kBin},
         kNv10,
         ConversionMode::Explicit,
         0,
         "'A\xED\xA0\x80'"},
        {{std::u16string(u"A"), kNv10}, kBin, ConversionMode::Implicit, 257, ""},
        {{std::u16string(u"A"), kNv10}, kBin, ConversionMode::Explicit, 0, "0x4100"},
        {{std::u16string(u"A"), kVc10}, kBin, ConversionMode::Explicit, 0, "0x41"},
        {{int64_t{258}, kInt}, kBin, ConversionMode::Explicit, 0, "0x00000102"},
        {{Bytes{0x01, 0x02}, kBin}, kInt, ConversionMode::Implicit, 0, "258"},
        {{int64_t{12}, kInt}, kNv10, ConversionMode::Implicit, 0, "'12'"},
        {{1234567.0, kFloat}, kNv10, ConversionMode::Explicit, 0, "'1.23457e+0'"},
        {{std::u16string(u"x"), TypeName{SqlType::NChar, 3, 0, 0}},
         TypeName{SqlType::NChar, 3, 0, 0},
         ConversionMode::Implicit,
         0,
         "'x  '"},
    };
    for (const auto& c : cases) {
        Value out;
        int error = errorNumberOf([&] { out = convert(c.from, c.to, c.mode, ctx); });
        EXPECT_EQ(error, c.error) << show(c.from.value) << " -> "
                                  << u8(sql::typeDisplayName(c.to.type));
        if (error == 0) {
            // Texts are shown through their UTF-8 form, unpaired surrogates as WTF-8 bytes.
            std::string shown = std::holds_alternative<std::u16string>(out)
                                    ? "'" + text::toWtf8(std::get<std::u16string>(out)) + "'"
                                    : show(out);
            EXPECT_EQ(shown, c.shown) << show(c.from.value);
        }
    }
}

TEST(Values, ComparisonConvertsToTheHigherTypeAndNullIsUnknown)
{
    ConversionContext ctx;
    EXPECT_EQ(compare({int64_t{5}, kInt}, {std::u16string(u"5"), kVc10}, ctx), 0);
    EXPECT_EQ(compare({int64_t{5}, kInt}, {std::u16string(u"10"), kVc10}, ctx), -1);
    EXPECT_EQ(compare({std::u16string(u"abc "), kVc10}, {std::u16string(u"ABC"), kNv10}, ctx), 0);
    EXPECT_EQ(compare({int64_t{150}, kDec62}, {1.5, kFloat}, ctx), 0);
    EXPECT_EQ(compare({int64_t{0}, kInt}, {DateTimeValue{1, 0}, kDate}, ctx), -1);
    EXPECT_FALSE(compare({std::monostate{}, kInt}, {int64_t{1}, kInt}, ctx).has_value());
    EXPECT_EQ(compare({Bytes{1, 0}, kBin}, {Bytes{1}, kBin}, ctx), 0);
    EXPECT_EQ(errorNumberOf([&] {
                  compare({int64_t{1}, kInt}, {std::u16string(u"x"), kVc10}, ctx);
              }),
              245);
    EXPECT_EQ(errorNumberOf([&] {
                  compare({std::u16string(u"a"), TypeName{SqlType::NText, 1073741823, 0, 0}},
                          {std::u16string(u"a"), kNv10}, ctx);
              }),
              306);
}

TEST(Values, ArithmeticTypesAndOverflow)
{
    ConversionContext ctx;
    Typed seven{int64_t{7}, kInt}, two{int64_t{2}, kInt};
    EXPECT_EQ(show(arithmetic(u'/', seven, two, ctx).value), "3");
    EXPECT_EQ(show(arithmetic(u'%', seven, two, ctx).value), "1");
    EXPECT_EQ(arithmetic(u'+', {int64_t{200}, kTiny}, {int64_t{50}, kTiny}, ctx).type.type,
              SqlType::TinyInt);
    EXPECT_EQ(errorNumberOf([&] {
                  arithmetic(u'+', {int64_t{200}, kTiny}, {int64_t{56}, kTiny}, ctx);
              }),
              220);
    EXPECT_EQ(errorNumberOf([&] {
                  arithmetic(u'*', {int64_t{65536}, kInt}, {int64_t{65536}, kInt}, ctx);
              }),
              8115);
    EXPECT_EQ(errorNumberOf([&] { arithmetic(u'/', seven, {int64_t{0}, kInt}, ctx); }), 8134);
    Typed sum = arithmetic(u'+', {int64_t{150}, kDec62}, {int64_t{1}, kInt}, ctx);
    EXPECT_EQ(sum.type.type, SqlType::Decimal);
    EXPECT_EQ(formatDecimal(std::get<int64_t>(sum.value), sum.type.scale), u"2.50");
    Typed text =
        arithmetic(u'+', {std::u16string(u"ab"), kVc10}, {std::u16string(u"c"), kNv10}, ctx);
    EXPECT_EQ(text.type.type, SqlType::NVarChar);
    EXPECT_EQ(text.type.length, 20);
    EXPECT_TRUE(arithmetic(u'+', {std::monostate{}, kInt}, seven, ctx).isNull());
    Typed day = arithmetic(u'+', {DateTimeValue{10, 0}, kDate}, {int64_t{1}, kInt}, ctx);
    EXPECT_EQ(show(day.value), "dt(11,0)");
}

TEST(Values, DateTimeTextsInAndOut)
{
    struct Case {
        const char16_t* text;
        DateOrder order;
        bool ok;
        bool outOfRange;
        const char* iso;
    } cases[] = {
        {u"2024-02-29", DateOrder::MDY, true, false, "2024-02-29 00:00:00.000"},
        {u"2023-02-29", DateOrder::MDY, false, true, ""},
        {u"03/04/2020", DateOrder::MDY, true, false, "2020-03-04 00:00:00.000"},
        {u"03/04/2020", DateOrder::DMY, true, false, "2020-04-03 00:00:00.000"},
        {u"3/4/20", DateOrder::MDY, true, false, "2020-03-04 00:00:00.000"},
        {u"12:30", DateOrder::MDY, true, false, "1900-01-01 12:30:00.000"},
        {u"1999-12-31 11:59:59 PM", DateOrder::MDY, true, false, "1999-12-31 23:59:59.000"},
        {u"20000101 10:00:00.9999", DateOrder::MDY, false, false, ""},
        {u"2000-01-01T10:00:00.123", DateOrder::MDY, true, false, "2000-01-01 10:00:00.123"},
        {u"1 January 2001", DateOrder::MDY, true, false, "2001-01-01 00:00:00.000"},
        {u"25:00", DateOrder::MDY, false, false, ""},
        {u"hello", DateOrder::MDY, false, false, ""},
    };
    for (const auto& c : cases) {
        bool outOfRange = false;
        auto v = parseDateTime(c.text, c.order, &outOfRange);
        EXPECT_EQ(v.has_value(), c.ok) << u8(c.text);
        EXPECT_EQ(outOfRange, c.outOfRange) << u8(c.text);
        if (v) {
            EXPECT_EQ(u8(formatDateTime(*v, 121)), c.iso) << u8(c.text);
        }
    }
    // Milliseconds round to SQL Server's 1/300 s steps.
    auto v = parseDateTime(u"2000-01-01 00:00:00.002", DateOrder::MDY, nullptr);
    ASSERT_TRUE(v);
    EXPECT_EQ(u8(formatDateTime(*v, 121)), "2000-01-01 00:00:00.003");
    EXPECT_EQ(u8(formatDateTime(DateTimeValue{0, 0}, 0)), "Jan  1 1900 12:00AM");
}

TEST(FrontEnd, TokensAndStatementShapes)
{
    auto tokens = sql::tokenize(
        u"SELECT [a]]b], N'it''s', 0x0A, 1.5, 2e3, @p, @@ROWCOUNT -- note\n/* x /* y */ */ <>");
    std::vector<sql::TokenKind> kinds;
    for (const auto& t : tokens)
        kinds.push_back(t.kind);
    using K = sql::TokenKind;
    EXPECT_EQ(kinds,
              (std::vector<K>{K::Word, K::Quoted, K::Symbol, K::NString, K::Symbol, K::Binary,
                              K::Symbol, K::Decimal, K::Symbol, K::Float, K::Symbol, K::Variable,
                              K::Symbol, K::Variable, K::Symbol, K::End}));
    EXPECT_EQ(tokens[1].text, u"a]b");
    EXPECT_EQ(tokens[3].text, u"it's");
    EXPECT_EQ(tokens[14].line, 2);

    auto batch = sql::parseBatch(
        u"CREATE DATABASE X ON (NAME = X_Dat, FILENAME = 'C:\\d\\X.mdf') LOG ON (NAME = X_Log, "
        u"FILENAME = 'C:\\d\\X.ldf')\nUSE X; SELECT 1");
    ASSERT_EQ(batch.size(), 3u);
    EXPECT_TRUE(std::holds_alternative<sql::ServerStmt>(batch[0].body));
    const auto& created = std::get<sql::ServerStmt>(batch[0].body).statement;
    ASSERT_TRUE(created.body.has_value()) << u8(created.refusal.text);
    const auto& create = std::get<server::CreateDatabaseStatement>(*created.body);
    EXPECT_EQ(create.name, u"X");
    EXPECT_EQ(create.log.physicalName, u"C:\\d\\X.ldf");
    EXPECT_EQ(batch[1].line, 2);
    auto restore =
        sql::parseBatch(u"RESTORE DATABASE X FROM DISK='f'WITH RECOVERY, MOVE 'a' TO 'b' SELECT 2");
    ASSERT_EQ(restore.size(), 2u);
    const auto& restored = std::get<sql::ServerStmt>(restore[0].body).statement;
    ASSERT_TRUE(restored.body.has_value()) << u8(restored.refusal.text);
    const auto& options = std::get<server::RestoreStatement>(*restored.body).options;
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[1].moveTo, u"b");
    EXPECT_TRUE(sql::isReservedWord(u"select"));
    EXPECT_FALSE(sql::isReservedWord(u"Date"));

    struct Bad {
        const char16_t* batch;
        int error;
    } bad[] = {{u"SELECT * FROM", 102}, {u"SELECT 'x", 105},
               {u"/* open", 113},       {u"INSERT INTO T VALUES (1", 102},
               {u"SELECT FROM", 156},   {u"CREATE TABLE T( a WEIRD )", 50000},
               {u"SELECT 1 +", 102},    {u"SELECT ((((1)))", 102},
               {u"SELECT \x0001", 102}};
    for (const auto& b : bad)
        EXPECT_EQ(errorNumberOf([&] { sql::parseBatch(b.batch); }), b.error) << u8(b.batch);
    std::u16string deep(5000, u'(');
    EXPECT_EQ(errorNumberOf([&] { sql::parseBatch(u"SELECT " + deep); }), 50000);
}

} // namespace
} // namespace standin::testing
