// Text under the default collation, and UTF-16 kept exactly, unpaired surrogates included.
#include "EngineTestSupport.h"

#include "Text.h"

namespace standin::testing {
namespace {

class CollationTextTest : public EngineFixture {};

TEST(Collation, CaseAndTrailingBlanksAreIgnoredAccentsAreNot)
{
    struct Case {
        std::u16string a, b;
        int expected; // sign
    } cases[] = {
        {u"ABC ", u"abc", 0}, {u"abc", u"abd", -1}, {u"a", u"B", -1},    {u"B", u"a", 1},
        {u"", u"   ", 0},     {u"é", u"É", 0},      {u"e", u"é", -1},    {u"é", u"f", -1},
        {u"_a", u"a", -1},    {u"9", u"a", -1},     {u"ab", u"abc", -1}, {u" a", u"a", -1},
        {u"Ж", u"ж", 0},
    };
    for (const auto& c : cases) {
        int r = text::collate(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.expected) << u8(c.a) << " vs " << u8(c.b);
        EXPECT_EQ(text::collationKey(c.a) == text::collationKey(c.b), c.expected == 0) << u8(c.a);
        EXPECT_EQ((text::collationKey(c.a) < text::collationKey(c.b)), c.expected < 0) << u8(c.a);
    }
}

TEST(Collation, LikeFollowsTheCollationAndItsPatternSyntax)
{
    struct Case {
        const char16_t* value;
        const char16_t* pattern;
        bool match;
    } cases[] = {
        {u"Rossi", u"r%", true},     {u"Rossi", u"%SS%", true},  {u"Rossi", u"R_ssi", true},
        {u"Rossi", u"R_si", false},  {u"abc", u"[a-c]bc", true}, {u"dbc", u"[a-c]bc", false},
        {u"dbc", u"[^a-c]bc", true}, {u"a%b", u"a[%]b", true},   {u"axb", u"a[%]b", false},
        {u"", u"%", true},           {u"abc ", u"abc", false},   {u"[x", u"[x", true},
        {u"Émile", u"é%", true},     {u"emile", u"é%", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text::like(c.value, c.pattern), c.match)
            << u8(c.value) << " LIKE " << u8(c.pattern);
    EXPECT_TRUE(text::like(u"10%", u"10!%", u'!'));
    EXPECT_FALSE(text::like(u"100", u"10!%", u'!'));
}

TEST(Collation, StoredTextEncodingKeepsEveryCodeUnit)
{
    std::u16string all;
    for (char32_t c = 0; c < 0x10000; c += 7)
        all.push_back(static_cast<char16_t>(c));
    all += u"\xD800\xDC00\xDBFF\xDFFF\xDC00\xD800";
    EXPECT_EQ(text::fromWtf8(text::toWtf8(all)), all);
    EXPECT_EQ(text::fromWtf8(text::toWtf8(u"\xD83D")), std::u16string(u"\xD83D"));
}

TEST_F(CollationTextTest, LongKeysFollowTheSameRulesAsShortOnes)
{
    // Keys past a hundred bytes, with a character outside Latin-1 and one outside the BMP.
    ok("CREATE TABLE L( k NVARCHAR(300) NOT NULL CONSTRAINT PK_L PRIMARY KEY )");
    const std::string head(150, 'x');
    ok("INSERT INTO L VALUES (N'" + head + "Ж😀a')");
    EXPECT_EQ(errorOf("INSERT INTO L VALUES (N'" + std::string(150, 'X') + "ж😀A  ')"), 2627);
    ok("INSERT INTO L VALUES (N'" + head + "Ж😀b')");
    ok("INSERT INTO L VALUES (N'" + std::string(60, 'x') + "')");
    EXPECT_EQ(rows("SELECT LEN(k) FROM L ORDER BY k"),
              (std::vector<std::string>{"60", "154", "154"}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM L WHERE k = N'" + std::string(150, 'X') + "ж😀B'"),
              (std::vector<std::string>{"1"}));
}

TEST_F(CollationTextTest, KeysAndComparisonsIgnoreCaseAndTrailingBlanks)
{
    ok("CREATE TABLE U( name NVARCHAR(20) NOT NULL CONSTRAINT PK_U PRIMARY KEY, n INT NULL )");
    ok("INSERT INTO U VALUES ('Rossi', 1)");
    RecordingSink dup = run("INSERT INTO U VALUES ('ROSSI  ', 2)");
    EXPECT_EQ(dup.errors(), (std::vector<int>{2627}));
    EXPECT_EQ(dup.errorText(),
              "Violation of PRIMARY KEY constraint 'PK_U'. Cannot insert duplicate key in object "
              "'dbo.U'. The duplicate key value is (ROSSI  ).");
    ok("INSERT INTO U VALUES ('bianchi', 2) INSERT INTO U VALUES ('Àlvaro', 3) INSERT INTO U "
       "VALUES ('alvaro', 4)");
    EXPECT_EQ(rows("SELECT n FROM U WHERE name = 'ROSSI '"), (std::vector<std::string>{"1"}));
    EXPECT_EQ(rows("SELECT n FROM U WHERE 'ABC ' = 'abc'"),
              (std::vector<std::string>{"1", "2", "3", "4"}));
    EXPECT_EQ(rows("SELECT name FROM U ORDER BY name"),
              (std::vector<std::string>{"'alvaro'", "'Àlvaro'", "'bianchi'", "'Rossi'"}));
    EXPECT_EQ(rows("SELECT name FROM U WHERE name LIKE 'R%' OR name LIKE '_IANCHI'"),
              (std::vector<std::string>{"'Rossi'", "'bianchi'"}));
    // Child keys find their parent under the same rules.
    ok("CREATE TABLE V( name NVARCHAR(20) NOT NULL REFERENCES U (name) )");
    ok("INSERT INTO V VALUES ('rossi')");
    EXPECT_EQ(errorOf("INSERT INTO V VALUES ('verdi')"), 547);
    EXPECT_EQ(rows("SELECT U.n FROM U INNER JOIN V ON U.name = V.name"),
              (std::vector<std::string>{"1"}));
    EXPECT_EQ(rows("SELECT UPPER(name), LOWER('ÀB'), REPLACE('aXbx', 'x', '-'), CHARINDEX('S', "
                   "name) FROM U WHERE n = 1"),
              (std::vector<std::string>{"'ROSSI'|'àb'|'a-b-'|3"}));
}

TEST_F(CollationTextTest, PlainLiteralsPassThroughCodePage1252EvenIntoNvarchar)
{
    ok("CREATE TABLE P( id INT NOT NULL, name NVARCHAR(30) NULL )");
    ok("INSERT INTO P VALUES (1, 'Łukasz Şahin Ντόρα') INSERT INTO P VALUES (2, N'Łukasz Şahin "
       "Ντόρα')");
    ok("INSERT INTO P VALUES (3, 'Città € œ Ÿ') INSERT INTO P VALUES (4, CAST('Ж' AS "
       "NVARCHAR(5)) + N'Ж')");
    EXPECT_EQ(rows("SELECT name FROM P ORDER BY id"),
              (std::vector<std::string>{"'?ukasz ?ahin \?\?\?\?\?'", "'Łukasz Şahin Ντόρα'",
                                        "'Città € œ Ÿ'", "'?Ж'"}));
    EXPECT_EQ(rows("SELECT id FROM P WHERE name = N'Łukasz Şahin Ντόρα'"),
              (std::vector<std::string>{"2"}));
}

TEST_F(CollationTextTest, UnpairedSurrogatesAndEveryCodeUnitRoundTrip)
{
    ok("CREATE TABLE C( id INT NOT NULL, t NVARCHAR(64) NULL, b VARBINARY(MAX) NULL )");
    // A cipher text as the program stores it: any code units, written as UTF-16LE bytes.
    std::u16string cipher = {0xD800, u'A', 0xDFFF, 0x0000, 0xFFFF, 0xDC00, 0xD83D, 0xFEFF, u'\''};
    std::string hex = "0x";
    static const char* digits = "0123456789ABCDEF";
    for (char16_t c : cipher)
        for (uint8_t byte : {static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>(c >> 8)}) {
            hex.push_back(digits[byte >> 4]);
            hex.push_back(digits[byte & 15]);
        }
    ok("INSERT INTO C(id, t) VALUES (1, CAST(" + hex + " AS NVARCHAR(64)))");
    ok("INSERT INTO C(id, t) VALUES (2, CONVERT(NVARCHAR(MAX), " + hex + "))");
    // Text sent directly as UTF-16 (as the wire carries it) survives too.
    std::u16string literal = u"INSERT INTO C(id, t) VALUES (3, N'";
    for (char16_t c : cipher) {
        if (c == 0)
            continue;
        literal.push_back(c);
        if (c == u'\'')
            literal.push_back(u'\'');
    }
    literal += u"')";
    RecordingSink inserted = run16(literal);
    ASSERT_TRUE(inserted.errors().empty()) << inserted.errorText();

    RecordingSink sink = run("SELECT id, t, CAST(t AS VARBINARY(MAX)) FROM C ORDER BY id");
    ASSERT_EQ(sink.results.size(), 1u);
    const auto& r = sink.results[0].rows;
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(std::get<std::u16string>(r[0][1]), cipher);
    EXPECT_EQ(std::get<std::u16string>(r[1][1]), cipher);
    std::u16string withoutNul = cipher;
    withoutNul.erase(3, 1);
    EXPECT_EQ(std::get<std::u16string>(r[2][1]), withoutNul);
    EXPECT_EQ(show(r[0][2]), hex);
    EXPECT_EQ(sink.results[0].columns[2].type, SqlType::VarBinary);
    EXPECT_EQ(sink.results[0].columns[2].length, -1);
    EXPECT_EQ(rows("SELECT CAST(NULL AS VARBINARY(MAX)), CAST(0x410042 AS NVARCHAR(10)), "
                   "DATALENGTH(CAST(0x41 AS NVARCHAR(10)))"),
              (std::vector<std::string>{"NULL|'AB'|2"}));
    // Equality over such text finds the row again.
    EXPECT_EQ(rows("SELECT id FROM C WHERE t = CAST(" + hex + " AS NVARCHAR(64)) ORDER BY id"),
              (std::vector<std::string>{"1", "2"}));
}

} // namespace
} // namespace standin::testing
