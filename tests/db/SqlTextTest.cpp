// Literals in the statements the layer makes, and the select-list reading behind updates.
#include "SqlText.h"
#include "Error.h"
#include "SelectStatement.h"

#include <gtest/gtest.h>

#include <QDateTime>

using namespace sqllumo::db;

namespace {

TEST(TextLiteral, KeepsPrintableAsciiReadableAndDoublesQuotes)
{
    EXPECT_EQ(TextLiteral(""), "N''");
    EXPECT_EQ(TextLiteral("Version:1.04"), "N'Version:1.04'");
    EXPECT_EQ(TextLiteral("O'Brien''"), "N'O''Brien'''''");
    EXPECT_EQ(TextLiteral("a]b[c\"d;--"), "N'a]b[c\"d;--'");
}

TEST(TextLiteral, SendsEverythingElseAsExactUtf16Bytes)
{
    // NUL, a control character, non-ASCII and lone surrogates: all by code unit, low byte first.
    const QString text = QString("A") + QChar(u'\0') + QChar(u'\n') + QChar(0x00E8) +
                         QChar(0xD800) + QChar(0xDFFF) + "'";
    EXPECT_EQ(TextLiteral(text), "CAST(0x410000000A00E80000D8FFDF2700 AS NVARCHAR(MAX))");
}

TEST(Utf16Bytes, RoundTripEveryCodeUnit)
{
    QString all;
    for (int u = 0; u <= 0xFFFF; u += 7)
        all += QChar(static_cast<char16_t>(u));
    all += QChar(0xDBFF);
    const QByteArray bytes = Utf16BytesFromText(all);
    ASSERT_EQ(bytes.size(), all.size() * 2);
    EXPECT_EQ(TextFromUtf16Bytes(bytes), all);
    EXPECT_EQ(TextFromUtf16Bytes(QByteArray("\x41\x00\x42", 3)), "A"); // an odd byte is dropped
    // The literal written straight from the code units is the literal of their bytes.
    EXPECT_EQ(Utf16BinaryLiteral(all), BinaryLiteral(bytes));
    EXPECT_EQ(Utf16BinaryLiteral(QString()), "0x");
}

TEST(ValueLiteral, WritesEachTypeSafely)
{
    struct Row {
        QVariant value;
        QString literal;
    };
    const Row rows[] = {
        {QVariant(), "NULL"},
        {QVariant(true), "1"},
        {QVariant(false), "0"},
        {QVariant(-42), "-42"},
        {QVariant(qlonglong(9007199254740993LL)), "9007199254740993"},
        {QVariant(0.1), "0.10000000000000001"},
        {QVariant(QString("x'y")), "N'x''y'"},
        {QVariant(QByteArray("\x00\xff\x10", 3)), "0x00FF10"},
        {QVariant(QByteArray()), "0x"},
        {QVariant(QDateTime(QDate(2026, 12, 7), QTime(13, 5, 9, 123))),
         "'2026-12-07T13:05:09.123'"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ValueLiteral(r.value), r.literal) << r.literal.toStdString();
}

// Every field of a date and time in its place, zero-padded, over the server's whole range and
// beyond it; Qt's own formatting of the same pattern is the reference.
TEST(ValueLiteral, WritesEveryDateAndTimeDigitForDigit)
{
    const QString pattern = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");
    std::vector<QDateTime> values = {
        QDateTime(QDate(1753, 1, 1), QTime(0, 0)),
        QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 997)),
        QDateTime(QDate(1000, 1, 1), QTime(1, 2, 3, 4)),
        QDateTime(QDate(999, 12, 31), QTime(23, 59, 59, 999)),
        QDateTime(QDate(10000, 1, 1), QTime(0, 0, 0, 10)),
        QDateTime(QDate(2024, 2, 29), QTime(12, 0, 0, 50)),
    };
    QDateTime t(QDate(1899, 12, 30), QTime(0, 0));
    for (int i = 0; i < 2000; ++i) {
        values.push_back(t);
        t = t.addDays(37).addMSecs(7'654'321 + i);
    }
    for (const QDateTime& value : values)
        EXPECT_EQ(ValueLiteral(value), QLatin1Char('\'') + value.toString(pattern) + '\'')
            << value.toString(Qt::ISODateWithMs).toStdString();
}

TEST(ValueLiteral, RefusesWhatCannotBeWrittenExactly)
{
    for (const QVariant& v : {QVariant(std::numeric_limits<double>::infinity()),
                              QVariant(QDateTime()), QVariant(QStringList{"a"})}) {
        try {
            ValueLiteral(v);
            ADD_FAILURE() << "wrote " << v.typeName();
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kInvalidArgument);
        }
    }
}

TEST(Identifiers, AreBracketedWithClosingBracketsDoubled)
{
    EXPECT_EQ(QuotedIdentifier("T_Patient"), "[T_Patient]");
    EXPECT_EQ(QuotedIdentifier("a]; DROP TABLE x; --"), "[a]]; DROP TABLE x; --]");
    EXPECT_EQ(QuotedQualifiedName({"dbo", "T"}), "[dbo].[T]");
    EXPECT_EQ(UpperHex(QByteArray("\x0a\xbc", 2)), "0ABC");
}

using detail::ParseSelect;
using detail::SelectItem;

TEST(ParseSelect, ReadsTheJoinedQueriesColumnByColumn)
{
    const auto s = ParseSelect(
        "SELECT T_Exam.ID_Marker, T_Exam.rv_7, T_Patient.F_Name , T_File.[Primary], T_File.Comment "
        "FROM T_Exam INNER JOIN T_Patient ON T_Exam.ID_Patient = T_Patient.ID_Patient "
        "INNER JOIN T_Marker ON T_Exam.ID_Marker = T_Marker.ID_Marker "
        "INNER JOIN T_File ON T_Exam.ID_Multi = T_File.ID_Multi WHERE (T_Exam.ID_Marker<> 3 AND "
        "T_File.[Primary]<>0)");
    ASSERT_TRUE(s.has_value());
    ASSERT_EQ(s->items.size(), 5u);
    EXPECT_EQ(s->items[3].kind, SelectItem::Kind::Column);
    EXPECT_EQ(s->items[3].qualifier, QStringList{"T_File"});
    EXPECT_EQ(s->items[3].column, "Primary");
    ASSERT_EQ(s->tables.size(), 4u);
    EXPECT_EQ(s->tables[0].name, QStringList{"T_Exam"});
    EXPECT_EQ(s->tables[3].name, QStringList{"T_File"});
    EXPECT_TRUE(s->tail.startsWith("FROM T_Exam"));
    EXPECT_FALSE(s->aggregated);
}

TEST(ParseSelect, TellsStarsColumnsAliasesAndExpressionsApart)
{
    const auto s =
        ParseSelect("select top 5 *, p.*, [L_Name] AS Surname, F_Name First, COUNT(*) AS N, 'x' "
                    "from dbo.T_Patient AS p, T_Marker m where p.ID_Marker = m.ID_Marker");
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->head, "select top 5");
    ASSERT_EQ(s->items.size(), 6u);
    EXPECT_EQ(s->items[0].kind, SelectItem::Kind::Star);
    EXPECT_TRUE(s->items[0].qualifier.isEmpty());
    EXPECT_EQ(s->items[1].kind, SelectItem::Kind::Star);
    EXPECT_EQ(s->items[1].qualifier, QStringList{"p"});
    EXPECT_EQ(s->items[2].column, "L_Name");
    EXPECT_EQ(s->items[2].alias, "Surname");
    EXPECT_EQ(s->items[3].alias, "First");
    EXPECT_EQ(s->items[4].kind, SelectItem::Kind::Expression);
    EXPECT_EQ(s->items[4].text, "COUNT(*) AS N");
    EXPECT_EQ(s->items[5].kind, SelectItem::Kind::Expression);
    ASSERT_EQ(s->tables.size(), 2u);
    EXPECT_EQ(s->tables[0].name, (QStringList{"dbo", "T_Patient"}));
    EXPECT_EQ(s->tables[0].alias, "p");
    EXPECT_EQ(s->tables[0].text, "[p]");
    EXPECT_EQ(s->tables[1].alias, "m");
}

TEST(ParseSelect, LeavesOtherStatementsToTheServer)
{
    for (const char* text :
         {"SELECT 1", "sp_helpindex 'T_Patient'", "SELECT a INTO x FROM t",
          "SELECT a FROM t UNION SELECT b FROM u", "SELECT a FROM (SELECT a FROM t) AS d",
          "SELECT a FROM t; DROP TABLE t", "SELECT 'unterminated FROM t", "UPDATE t SET a = 1",
          ""}) {
        EXPECT_FALSE(ParseSelect(text).has_value()) << text;
    }
    const auto grouped =
        ParseSelect("SELECT ID_Role, COUNT(*) FROM T_SecurityRolesFunctions GROUP BY ID_Role");
    ASSERT_TRUE(grouped.has_value());
    EXPECT_TRUE(grouped->aggregated);
    const auto distinct = ParseSelect("SELECT DISTINCT ID_Role FROM T_SecurityRolesFunctions");
    ASSERT_TRUE(distinct.has_value());
    EXPECT_TRUE(distinct->aggregated);
}

TEST(ParseSelect, IgnoresKeywordsInsideStringsCommentsAndBrackets)
{
    const auto s =
        ParseSelect("SELECT [from], 'FROM x' AS q /* FROM y */ FROM T_DBVersion -- FROM z\n"
                    "WHERE [FreeText] = N'a,b FROM c'");
    ASSERT_TRUE(s.has_value());
    ASSERT_EQ(s->items.size(), 2u);
    EXPECT_EQ(s->items[0].column, "from");
    ASSERT_EQ(s->tables.size(), 1u);
    EXPECT_EQ(s->tables[0].name, QStringList{"T_DBVersion"});
}

TEST(ParseTableName, TakesBareAndQualifiedNamesOnly)
{
    EXPECT_EQ(detail::ParseTableName("T_AdminPassword"), QStringList{"T_AdminPassword"});
    EXPECT_EQ(detail::ParseTableName(" [dbo].[T x] "), (QStringList{"dbo", "T x"}));
    EXPECT_FALSE(detail::ParseTableName("SELECT * FROM T").has_value());
    EXPECT_FALSE(detail::ParseTableName("sp_pkeys 'T'").has_value());
    EXPECT_FALSE(detail::ParseTableName("a.b.c.d").has_value());
}

TEST(WithExactLiterals, RewritesOnlyLiteralsThatUtf8CannotCarry)
{
    const QString lone = QString("x") + QChar(0xDC00);
    const QString pair = QString("y") + QChar(0xD83D) + QChar(0xDE00) + QString::fromUtf8("è");
    // Valid text, surrogate pairs included, is left as it is.
    const QString plain = "INSERT INTO T VALUES (N'" + pair + "', 'a''b')";
    EXPECT_EQ(detail::WithExactLiterals(plain), plain);
    EXPECT_EQ(
        detail::WithExactLiterals("UPDATE T SET a = N'" + lone + "''q' WHERE b = '" + pair + "'"),
        "UPDATE T SET a = CAST(0x780000DC27007100 AS NVARCHAR(MAX)) WHERE b = '" + pair + "'");
    EXPECT_EQ(detail::WithExactLiterals(QString("SELECT 'a") + QChar(u'\0') + "b'"),
              "SELECT CAST(0x610000006200 AS NVARCHAR(MAX))");
    for (const QString& bad : {QString("SELECT [") + lone + "] FROM T", "SELECT 1 -- " + lone,
                               QString("SELECT N'") + lone}) {
        try {
            detail::WithExactLiterals(bad);
            ADD_FAILURE() << "sent text that is not valid Unicode outside a literal";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kInvalidArgument);
        }
    }
}

} // namespace
