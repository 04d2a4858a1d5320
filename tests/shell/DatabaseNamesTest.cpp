// Which database a function may work on: the server's own databases and names too long for the
// data and log file names are refused, each with its own message.
#include "DatabaseNames.h"
#include "DatabaseTexts.h"

#include <gtest/gtest.h>

using namespace sqllumo;
namespace texts = sqllumo::server::texts;

TEST(DatabaseNames, SystemDatabasesAreRefusedInAnyCaseExceptForReading)
{
    for (const char* name : {"master", "MASTER", "Model", "msdb", "TempDB"}) {
        for (DatabaseUse use : {DatabaseUse::Changed, DatabaseUse::Removed, DatabaseUse::Created})
            EXPECT_EQ(DatabaseNameRefusal(name, use), texts::kSystemDatabaseName) << name;
        EXPECT_EQ(DatabaseNameRefusal(name, DatabaseUse::Read), std::nullopt) << name;
    }
    // Names that only hold one of them are ordinary names.
    for (const char* name : {"master2", "OldMaster", "msdb_copy", "tempdbs"})
        EXPECT_EQ(DatabaseNameRefusal(name, DatabaseUse::Created), std::nullopt) << name;
}

TEST(DatabaseNames, LengthIsRefusedAsTooLongWithTheLimitNotAsBadCharacters)
{
    // A new database's file names add "_Dat" and "_Log": 124 characters is the most.
    EXPECT_EQ(DatabaseNameRefusal(QString(124, 'a'), DatabaseUse::Created), std::nullopt);
    const auto tooLong = DatabaseNameRefusal(QString(125, 'a'), DatabaseUse::Created);
    ASSERT_TRUE(tooLong);
    EXPECT_EQ(*tooLong, "Database name too long!\r\nPlease, use at most 124 characters.");
    EXPECT_EQ(DatabaseNameRefusal(QString(128, 'a'), DatabaseUse::Created), tooLong);
    // An existing database's name is at most the server's 128.
    EXPECT_EQ(DatabaseNameRefusal(QString(128, 'a'), DatabaseUse::Removed), std::nullopt);
    EXPECT_EQ(DatabaseNameRefusal(QString(129, 'a'), DatabaseUse::Read),
              texts::DatabaseNameTooLong(128));
    // Bad characters keep their own message.
    EXPECT_EQ(DatabaseNameRefusal("Arc-1", DatabaseUse::Created), texts::kInvalidDatabaseName);
    EXPECT_EQ(DatabaseNameRefusal("", DatabaseUse::Removed), texts::kInvalidDatabaseName);
    EXPECT_EQ(DatabaseNameRefusal("x; DROP DATABASE y", DatabaseUse::Read),
              texts::kInvalidDatabaseName);
    // Changing through the server's own list checks only that it is not a system database.
    EXPECT_EQ(DatabaseNameRefusal("Arc-1", DatabaseUse::Changed), std::nullopt);
}
