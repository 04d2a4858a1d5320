// The Access reader without a fixture file: stored dates of every era, the source string, and
// the clear refusals for a missing file and for statements it does not take.
#include "AccessSource.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace sqllumo::db;

namespace {

TEST(AccessDateTime, DaysCountFrom1899December30AndTheFractionIsTheTimeWhateverTheSign)
{
    struct Case {
        double stored;
        const char* expected;
    } cases[] = {
        {0.0, "1899-12-30T00:00:00.000"},
        {2.0, "1900-01-01T00:00:00.000"},
        {1.5, "1899-12-31T12:00:00.000"},
        // Before 1899-12-30 the whole part counts back, the fraction still runs forward.
        {-1.25, "1899-12-29T06:00:00.000"},
        {-0.5, "1899-12-30T12:00:00.000"},
        {-36522.0, "1800-01-01T00:00:00.000"},
        {-657434.0, "0100-01-01T00:00:00.000"},
        {45632.0 + (13 * 3600 + 5 * 60 + 9) / 86400.0, "2024-12-06T13:05:09.000"},
        // A time a hair short of midnight is midnight of the next day, not 24:00.
        {10.9999999999, "1900-01-10T00:00:00.000"},
        {-10.9999999999, "1899-12-21T00:00:00.000"},
    };
    for (const Case& c : cases) {
        const QDateTime value = AccessDateTime(c.stored);
        EXPECT_EQ(value.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")),
                  QString::fromLatin1(c.expected))
            << c.stored;
        EXPECT_EQ(value.timeSpec(), Qt::UTC);
    }
}

TEST(AccessSource, PathComesFromTheDataSourceOfTheSourceString)
{
    EXPECT_EQ(
        AccessSourcePath(
            "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;Data Source=/a/b c.mdb"),
        QStringLiteral("/a/b c.mdb"));
    EXPECT_EQ(AccessSourcePath("data source = /x.mdb ;Provider=x"), QStringLiteral("/x.mdb"));
    EXPECT_TRUE(AccessSourcePath("Provider=Microsoft.Jet.OLEDB.4.0").isEmpty());
}

TEST(AccessSource, RefusesWhatItCannotReadWithAClearError)
{
    QTemporaryDir dir;
    const QString notThere = dir.filePath("missing.mdb");
    AccessRecordset rows;
    auto numberOf = [&](const QString& statement, const QString& path) {
        try {
            rows.open(statement, "Data Source=" + path);
        } catch (const Error& e) {
            EXPECT_FALSE(e.description().isEmpty());
            return e.number();
        }
        return 0L;
    };
    EXPECT_EQ(numberOf("SELECT * FROM T_Patient", notThere), kConnectionFailed);
    QFile garbage(dir.filePath("garbage.mdb"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(8192, 'x'));
    garbage.close();
    EXPECT_EQ(numberOf("SELECT * FROM T_Patient", garbage.fileName()), kConnectionFailed);
    EXPECT_EQ(numberOf("DELETE FROM T_Patient", notThere), kInvalidArgument);
    EXPECT_EQ(numberOf("SELECT ID_Patient FROM T_Patient ORDER BY L_Name", notThere),
              kInvalidArgument);
    EXPECT_EQ(numberOf("SELECT * FROM T_Patient", QString()), kInvalidArgument);
    EXPECT_FALSE(rows.isOpen());
    EXPECT_THROW(rows.eof(), Error);
}

} // namespace
