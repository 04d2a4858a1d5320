// From the program's connection strings to the FreeTDS driver's, hostile values included.
#include "ConnectionStrings.h"
#include "OdbcConnectionString.h"

#include <gtest/gtest.h>

using namespace sqllumo;
using namespace sqllumo::server;

TEST(OdbcConnectionString, ReadsBackWhatBuildConnectionStringWrote)
{
    struct Row {
        QString server, database, user, password;
    };
    const Row rows[] = {
        {"srv", "Archive", "sa", "secret"},
        {"srv,1433", "master", "sa", ""},
        {"srv\\SQLEXPRESS", "master", "", "p"},
        {"srv", "A;Data Source=evil", "u;User ID=x", "p;Password=q;x"},
        {"srv", "", "sa", "{braced};}{="},
        {"srv", "Città", "utente", QString::fromUtf8("pässwörd")},
    };
    for (const Row& row : rows) {
        const auto parsed =
            ParseProgramConnectionString(BuildConnectionString(row.server, row.database, row.user, row.password));
        ASSERT_TRUE(parsed.has_value()) << row.password.toStdString();
        EXPECT_FALSE(parsed->integratedSecurity);
        EXPECT_EQ(parsed->server.toStdString(), row.server.toStdString());
        EXPECT_EQ(parsed->password.toStdString(), row.password.toStdString());
        EXPECT_EQ(parsed->database.toStdString(), row.database.toStdString());
        EXPECT_EQ(parsed->user.toStdString(), row.user.toStdString());
    }
    const auto integrated = ParseProgramConnectionString(BuildConnectionString("srv", "Archive", "", ""));
    ASSERT_TRUE(integrated.has_value());
    EXPECT_TRUE(integrated->integratedSecurity);
    EXPECT_EQ(integrated->database, "Archive");
    EXPECT_EQ(integrated->server, "srv");
    const auto odd = ParseProgramConnectionString(BuildConnectionString("srv", "a;Data Source=b", "", ""));
    ASSERT_TRUE(odd.has_value());
    EXPECT_EQ(odd->database, "a;Data Source=b");
    EXPECT_EQ(odd->server, "srv");
    EXPECT_FALSE(ParseProgramConnectionString("Driver={FreeTDS};Server=x").has_value());
    EXPECT_FALSE(ParseProgramConnectionString("").has_value());
}

TEST(OdbcConnectionString, EveryValueIsBracedSoNothingCanBeAdded)
{
    ProgramConnection c{"srv,1433", "Archive", "sa", "p};PWD={x}", false};
    EXPECT_EQ(OdbcConnectionString(c),
              "Driver={FreeTDS};Server={srv,1433};Database={Archive};UID={sa};PWD={p}};PWD={x}}};"
              "TDS_Version=7.4;ClientCharset=UTF-8");
    c = {"srv", "", "", "", true};
    EXPECT_EQ(OdbcConnectionString(c),
              "Driver={FreeTDS};Server={srv};Trusted_Connection=Yes;TDS_Version=7.4;ClientCharset=UTF-8");
    EXPECT_EQ(BracedOdbcValue("a}b{c"), "{a}}b{c}");
}

TEST(OdbcConnectionString, LocalServerNamesMeanThisMachine)
{
    struct Row {
        QString typed, sent;
    };
    const Row rows[] = {
        {"(local)", "{127.0.0.1}"},          {".", "{127.0.0.1}"},
        {"(LOCAL)\\SQLEXPRESS", "{127.0.0.1\\SQLEXPRESS}"},
        {".,14330", "{127.0.0.1,14330}"},    {"tcp:db.example,1433", "{db.example,1433}"},
        {"db.example", "{db.example}"},
    };
    for (const Row& row : rows) {
        const QString odbc = OdbcConnectionString({row.typed, "master", "sa", "x", false});
        EXPECT_TRUE(odbc.startsWith("Driver={FreeTDS};Server=" + row.sent + ";")) << odbc.toStdString();
    }
}
