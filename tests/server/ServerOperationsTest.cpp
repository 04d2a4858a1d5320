// Each whole-database operation from OK to its log block, and the traps on the way.
#include "ArchiveOpsHarness.h"
#include "TestResultRegistry.h"

using namespace sqllumo;
using sqllumo::testing::ArchiveOpsHarness;

namespace {
class ServerOperations : public ArchiveOpsHarness {
protected:
    void createArchiveFromPanel(const QString& name)
    {
        const auto outcome = press(archivelist::kNewDatabase, name, "C:\\Lumeno SQL Database\\");
        ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
        ui_ = {};
    }
};
} // namespace

TEST_F(ServerOperations, NewLoginGrantsTheLoginWithAQuoteInItsName)
{
    const QString login = "STANDIN\\O'Brien";
    const auto outcome = press(archivelist::kNewLogin, login);
    ASSERT_TRUE(outcome.has_value());
    ASSERT_EQ(outcome->end, OperationEnd::Completed) << outcome->errorDescription.toStdString();
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0], successMessage(kCaption, "Login " + login + " has been created"));
    EXPECT_EQ(lastLogBlock(), "Login " + login + " has been created into SQL Server " +
                                  standin_->server() + "\r\n");
    EXPECT_EQ(setting(settingkeys::kSQLServerName), standin_->server());
}

TEST_F(ServerOperations, CreatingAnExistingNameIsTheGenericTrap)
{
    const QString name = freshName("Twice");
    createEmptyDatabase(name);
    const auto outcome = press(archivelist::kNewDatabase, name, "C:\\Lumeno SQL Database\\");
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, OperationEnd::Trapped);
    ASSERT_EQ(ui_.messages().size(), 1u);
    // The step that failed and what to do come before the server's own text.
    EXPECT_TRUE(ui_.messages()[0].text.startsWith(
        "An error occurred...\rThe database " + name +
        " could not be created. A database of that name is on the server already: choose "
        "another name, or delete the database first.\r-2147217900: "))
        << ui_.messages()[0].text.toStdString();
    EXPECT_TRUE(ui_.messages()[0].text.contains(name));
    EXPECT_FALSE(logExists());
    EXPECT_EQ(host_.closed, 0);
    EXPECT_FALSE(ui_.busy());
}

TEST_F(ServerOperations, BackupThenRestoreUnderANewNameWithMoveThenTheRestoredArchivePasses)
{
    const QString name = freshName("Source");
    const QString copy = freshName("Copy");
    const QString file = "C:\\Lumeno SQL Database\\Backup\\" + name + ".bak";
    createArchiveFromPanel(name);

    auto outcome = press(archivelist::kBackup, name, file);
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed)
        << (outcome ? outcome->errorDescription.toStdString() : "");
    EXPECT_EQ(ui_.messages().back(),
              successMessage(kCaption, "Complete Backup of database " + name +
                                           " has been created and verified"));
    EXPECT_TRUE(lastLogBlock().startsWith("Complete Backup of database " + name +
                                          " has been created and verified into disk " + file +
                                          " (backup set 1 of 1, taken "));
    EXPECT_EQ(setting(settingkeys::kBackupFile), file);

    ui_ = {};
    ui_.answerNextPasswordRequest({"Vor36Pelin", "", ""});
    ASSERT_TRUE(standin_->makeServerFolder("C:\\Lumeno SQL Database\\Restored"));
    outcome = press(archivelist::kRestore, copy, file, "C:\\Lumeno SQL Database\\Restored");
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed)
        << (outcome ? outcome->errorDescription.toStdString() : "");
    EXPECT_EQ(ui_.messages().back(),
              successMessage(kCaption, "Restore of database " + copy + " has been done"));
    EXPECT_TRUE(lastLogBlock().startsWith("Restore of database " + copy +
                                          " has been done from disk " + file +
                                          " (backup set 1 of 1, taken "));
    EXPECT_EQ(setting(settingkeys::kDataDirectory), "C:\\Lumeno SQL Database\\Restored\\");
    EXPECT_TRUE(databaseExists(copy));
    EXPECT_TRUE(databaseExists(name));

    ui_ = {};
    outcome = press(archivelist::kTestDatabase, copy);
    ASSERT_TRUE(outcome && outcome->end == OperationEnd::Completed);
    TestResultRegistry registry(*settings_);
    for (const QString& relation : {QString("T_Patient-T_Exam"), QString("T_Exam-T_Statistic")})
        EXPECT_EQ(registry.value(registrysections::kRelations, relation), "Ok");
    EXPECT_EQ(registry.value(registrysections::kColumns, "T_Patient"), "Ok");
    EXPECT_EQ(query(copy, "SELECT COUNT(*) AS N FROM T_File_Type").text(0, "N"), "63");
}

TEST_F(ServerOperations, RestoringAFileThatIsNoBackupIsNotValidData)
{
    ui_.answerNextPasswordRequest({"vor36pelin", "", ""});
    const auto outcome = press(archivelist::kRestore, freshName("Nothing"),
                               "C:\\Lumeno SQL Database\\Backup\\missing.bak", "C:\\Data\\");
    ASSERT_TRUE(outcome.has_value());
    // Either the server refuses the missing file (the trap) or lists no files.
    if (outcome->end == OperationEnd::PanelOpen) {
        EXPECT_EQ(ui_.messages().back(), (Message{"Restoring error: not valid data", kCaption,
                                                  MessageIcon::Critical, MessageButtons::Ok}));
    } else {
        EXPECT_EQ(outcome->end, OperationEnd::Trapped);
    }
    EXPECT_FALSE(logExists());
}

TEST_F(ServerOperations, GeneralInformationListsDatabasesAndLoginsOverThePanel)
{
    const QString name = freshName("Listed");
    createEmptyDatabase(name);
    const auto outcome = press(archivelist::kGeneralInformation, {});
    ASSERT_TRUE(outcome.has_value());
    ASSERT_EQ(outcome->end, OperationEnd::InformationShown);
    ASSERT_EQ(host_.information.size(), 1);
    const QString info = host_.information[0];
    EXPECT_TRUE(info.startsWith("In the SQL Server named " + standin_->server() +
                                ":\r\n\r\n"
                                "1. these databases are present (Name and Size):\r\n"));
    EXPECT_TRUE(info.contains("\r\n" + name + "\t\t ")) << info.toStdString();
    EXPECT_TRUE(info.contains(" KB\r\n"));
    EXPECT_TRUE(info.contains("\r\n\r\n2. "));
    // The stand-in offers encryption and the default setting requests it: the login only.
    EXPECT_TRUE(info.endsWith("\r\n\r\nConnection encryption: login only\r\n"))
        << info.toStdString();
    EXPECT_EQ(lastLogBlock(), info + "\r\n");
    EXPECT_EQ(host_.closed, 0);
    EXPECT_EQ(host_.enabled, 1);
    EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(ServerOperations, DeleteFindsTheNameWithoutRegardToCaseAndReportsAnUnknownOne)
{
    const QString name = freshName("Doomed");
    createEmptyDatabase(name);
    // A wrong phrase is refused and forgotten; the right one in mixed case is asked once.
    ui_.answerNextPasswordRequest({"vor36pelix", "", ""});
    auto outcome = press(archivelist::kDeleteDatabase, name.toUpper());
    EXPECT_EQ(outcome->end, OperationEnd::PanelOpen);
    EXPECT_TRUE(databaseExists(name));
    ui_ = {};
    ui_.answerNextPasswordRequest({"VOR36pelin", "", ""});
    ui_.answerNextMessage(MessageResult::Ok);
    outcome = press(archivelist::kDeleteDatabase, name.toUpper());
    ASSERT_EQ(outcome->end, OperationEnd::Completed) << outcome->errorDescription.toStdString();
    EXPECT_FALSE(databaseExists(name));
    EXPECT_EQ(ui_.messages().back(),
              successMessage(kCaption, "Database " + name.toUpper() + " has been removed"));
    EXPECT_EQ(lastLogBlock(), "Database " + name.toUpper() + " has been removed from SQL Server " +
                                  standin_->server() + "\r\n");

    ui_.answerNextMessage(MessageResult::Ok);
    outcome = press(archivelist::kDeleteDatabase, name);
    ASSERT_EQ(outcome->end, OperationEnd::Completed);
    EXPECT_EQ(ui_.passwordRequests().size(), 1u);
    EXPECT_EQ(ui_.messages().back(),
              successMessage(kCaption, "Cannot remove the database " + name +
                                           " because it does not exist in the system catalog"));
    EXPECT_EQ(lastLogBlock(),
              "Cannot remove the database " + name +
                  " because it does not exist in the system catalog of the SQL Server " +
                  standin_->server() + "\r\n");
    EXPECT_EQ(ui_.unscriptedPrompts(), 0);
}

TEST_F(ServerOperations, RefusedPanelsLeaveTheServerAsItWas)
{
    const QString name = freshName("Untouched");
    press(archivelist::kNewDatabase, name, "");
    press(archivelist::kBackup, name, "C:\\Lumeno SQL Database\\Backup\\");
    press(archivelist::kNewDatabase, name + "; DROP DATABASE master", "C:\\Data\\");
    EXPECT_FALSE(databaseExists(name));
    EXPECT_TRUE(databaseExists("master"));
    EXPECT_EQ(ui_.messages().size(), 3u);
    EXPECT_FALSE(logExists());
}
