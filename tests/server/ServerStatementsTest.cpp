// The statement text of the whole-database operations, and the two guards on typed values.
#include "ServerStatements.h"

#include <gtest/gtest.h>

using namespace sqllumo::server;

TEST(ServerStatements, RegularIdentifiersAreAcceptedAndEverythingElseRefused)
{
    struct Row {
        QString name;
        bool accepted;
    };
    const Row rows[] = {
        {"Archive", true},
        {"_archive", true},
        {"Arc_2026@x#y$z", true},
        {QString::fromUtf8("Archivio_Città"), true},
        {QString(128, 'a'), true},
        {QString(129, 'a'), false},
        {"", false},
        {"1Archive", false},
        {"@Archive", false},
        {"#temp", false},
        {"Arc-1", false},
        {"Arc 1", false},
        {"[Arc]", false},
        {"Arc'", false},
        {"x; DROP DATABASE y", false},
        {"Arc\nGO", false},
        // Reserved keywords, in any case, would need brackets; names holding one are fine.
        {"DROP", false},
        {"table", false},
        {"Select", false},
        {"current_user", false},
        {"DropBox", true},
        {"Tables", true},
        {"Users", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(IsRegularIdentifier(row.name), row.accepted) << row.name.toStdString();
}

TEST(ServerStatements, TextIsSentAsBeforeWhenNoQuoteIsInvolved)
{
    EXPECT_EQ(GrantLoginStatement("DOMAIN\\tech"), "sp_grantlogin 'DOMAIN\\tech'");
    EXPECT_EQ(AddServerRoleStatement("DOMAIN\\tech", "sysadmin"),
              "sp_addsrvrolemember 'DOMAIN\\tech','sysadmin'");
    EXPECT_EQ(CreateDatabaseStatement("Arc", "C:\\Lumeno SQL Database\\"),
              "CREATE DATABASE Arc ON (NAME = Arc_Dat, FILENAME = 'C:\\Lumeno SQL "
              "Database\\Arcdat.mdf') LOG ON (NAME = Arc_Log, FILENAME = 'C:\\Lumeno SQL "
              "Database\\Arclog.ldf')");
    EXPECT_EQ(BackupStatement("Arc", "C:\\b\\arc.bak"),
              "BACKUP DATABASE Arc TO DISK='C:\\b\\arc.bak'");
    EXPECT_EQ(HeaderListStatement("C:\\b\\arc.bak"),
              "RESTORE HEADERONLY FROM DISK='C:\\b\\arc.bak'");
    EXPECT_EQ(VerifyStatement("C:\\b\\arc.bak", 2),
              "RESTORE VERIFYONLY FROM DISK='C:\\b\\arc.bak' WITH FILE = 2");
    EXPECT_EQ(FileListStatement("C:\\b\\arc.bak", 3),
              "RESTORE FILELISTONLY FROM DISK='C:\\b\\arc.bak' WITH FILE = 3");
    EXPECT_EQ(
        RestoreStatement("New", "C:\\b\\arc.bak", 3, "Arc_Dat", "Arc_Log", "D:\\data\\"),
        "RESTORE DATABASE New FROM DISK='C:\\b\\arc.bak'WITH FILE = 3, RECOVERY, MOVE 'Arc_Dat' "
        "TO 'D:\\data\\Newdat.mdf', MOVE 'Arc_Log' TO 'D:\\data\\Newlog.ldf'");
    EXPECT_EQ(DropDatabaseStatement("Arc"), "DROP DATABASE Arc");
    EXPECT_EQ(ServerRoles(), (QStringList{"sysadmin", "securityadmin", "serveradmin", "setupadmin",
                                          "processadmin", "diskadmin", "dbcreator"}));
}

TEST(ServerStatements, QuotesInQuotedValuesAreDoubledSoTheStatementStaysOne)
{
    EXPECT_EQ(GrantLoginStatement("O'Brien"), "sp_grantlogin 'O''Brien'");
    EXPECT_EQ(GrantLoginStatement("x'; DROP LOGIN sa; --"),
              "sp_grantlogin 'x''; DROP LOGIN sa; --'");
    EXPECT_EQ(AddServerRoleStatement("O'Brien", "dbcreator"),
              "sp_addsrvrolemember 'O''Brien','dbcreator'");
    EXPECT_EQ(BackupStatement("Arc", "C:\\O'Brien\\a.bak"),
              "BACKUP DATABASE Arc TO DISK='C:\\O''Brien\\a.bak'");
    EXPECT_EQ(CreateDatabaseStatement("Arc", "C:\\it's\\"),
              "CREATE DATABASE Arc ON (NAME = Arc_Dat, FILENAME = 'C:\\it''s\\Arcdat.mdf') LOG ON "
              "(NAME = Arc_Log, FILENAME = 'C:\\it''s\\Arclog.ldf')");
    EXPECT_EQ(HeaderListStatement("C:\\O'Brien\\a.bak"),
              "RESTORE HEADERONLY FROM DISK='C:\\O''Brien\\a.bak'");
    EXPECT_EQ(VerifyStatement("a'.bak", 1), "RESTORE VERIFYONLY FROM DISK='a''.bak' WITH FILE = 1");
    EXPECT_EQ(FileListStatement("a'.bak", 1),
              "RESTORE FILELISTONLY FROM DISK='a''.bak' WITH FILE = 1");
    EXPECT_EQ(RestoreStatement("New", "a'.bak", 1, "Old'Dat", "Old'Log", "C:\\"),
              "RESTORE DATABASE New FROM DISK='a''.bak'WITH FILE = 1, RECOVERY, MOVE 'Old''Dat' TO "
              "'C:\\Newdat.mdf', MOVE 'Old''Log' TO 'C:\\Newlog.ldf'");
}

TEST(ServerStatements, BackupFileMustBeNamedAndNotAFolder)
{
    EXPECT_FALSE(IsValidBackupFile(""));
    EXPECT_FALSE(IsValidBackupFile("C:\\Backup\\"));
    EXPECT_TRUE(IsValidBackupFile("C:\\Backup"));
    EXPECT_TRUE(IsValidBackupFile("C:\\Lumeno SQL Database\\Backup\\<Filename>"));
}
