// Names compared as the server's default collation compares them: what the console's check
// against the lists and the stored names rely on.
#include "ServerNames.h"

#include <gtest/gtest.h>

using namespace sqllumo::db;

TEST(NamesAsTheServerComparesThem, CaseAndTrailingBlanksDoNotCountAnythingElseDoes)
{
    EXPECT_TRUE(SameServerName(QStringLiteral("Doctors"), QStringLiteral("doctors  ")));
    EXPECT_TRUE(SameServerName(QStringLiteral("ΤΕΧΝΙΚΟΊ"), QStringLiteral("τεχνικοί")));
    EXPECT_TRUE(SameServerName(QStringLiteral(" "), QString()));
    EXPECT_FALSE(SameServerName(QStringLiteral(" Doctors"), QStringLiteral("Doctors")));
    EXPECT_FALSE(SameServerName(QStringLiteral("Doctors\t"), QStringLiteral("Doctors")));
    EXPECT_FALSE(SameServerName(QStringLiteral("Técnicos"), QStringLiteral("Tecnicos")));

    EXPECT_EQ(WithoutTrailingBlanks(QStringLiteral(" a b  ")), QStringLiteral(" a b"));
    const QStringList listed{QStringLiteral("Administrator"), QStringLiteral("Night ")};
    EXPECT_EQ(FindServerName(listed, QStringLiteral("NIGHT")), QStringLiteral("Night "));
    EXPECT_FALSE(FindServerName(listed, QStringLiteral("Nigh")).has_value());
}
