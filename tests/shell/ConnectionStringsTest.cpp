// The program's connection strings for both kinds of login, with values that need quoting.
#include "ConnectionStrings.h"

#include <gtest/gtest.h>

using namespace sqllumo;

TEST(ConnectionStrings, BothAuthenticationFormsAndTheirEdgeCases)
{
    struct Row {
        const char* user;
        const char* password;
        const char* expected;
    };
    const Row rows[] = {
        {"", "",
         "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
         "Initial Catalog=Arch;Data Source=srv\\I"},
        {"sa", "pw",
         "Provider=SQLOLEDB.1;Initial Catalog=Arch;Data Source=srv\\I;User ID=sa;Password=pw"},
        {"sa", "",
         "Provider=SQLOLEDB.1;Initial Catalog=Arch;Data Source=srv\\I;User ID=sa;Password="},
        {"", "pw",
         "Provider=SQLOLEDB.1;Initial Catalog=Arch;Data Source=srv\\I;User ID=;Password=pw"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(BuildConnectionString("srv\\I", "Arch", row.user, row.password),
                  QString(row.expected))
            << row.user << "/" << row.password;
}

TEST(ConnectionStrings, AccessSourceAndQuoteDoubling)
{
    EXPECT_EQ(AccessSourceString("/data/old arch.mdb"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Persist Security Info=False;Data Source=/data/old "
              "arch.mdb");
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {{"", ""},
                        {"O'Brien", "O''Brien"},
                        {"''", "''''"},
                        {"no quote", "no quote"},
                        {"'x'", "''x''"}};
    for (const auto& row : rows)
        EXPECT_EQ(SQLConvertString(row.in), QString(row.out)) << row.in;
}
