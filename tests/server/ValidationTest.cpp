// Checks that end a function before the server is contacted: the message shown, what was
// stored, and that no connection or catalogue was ever asked for.
#include "ArchiveIndexes.h"
#include "DispatcherHarness.h"
#include "FunctionCatalogue.h"
#include "NoServer.h"

using namespace sqllumo;
using sqllumo::testing::DispatcherHarness;

namespace {

class Validation : public DispatcherHarness {
protected:
    void SetUp() override
    {
        DispatcherHarness::SetUp();
        functions_ = CatalogueFunctions();
        services_.database = &noServer_;
        makeDispatcher();
        host_.values.server = "srv";
        host_.values.user = "sa";
        host_.values.password = "pw";
    }
    sqllumo::testing::NoServer noServer_;
};

const QString kDirectoryMessage = "Invalid database directory!\r\nPlease, define at least one.";
const QString kFileMessage = "Invalid filename!\r\nPlease, define at least one.";
const QString kNameMessage =
    "Invalid database name!\r\nPlease, use letters, digits and the underscore only.";
const QString kSystemMessage = "System database!\r\nmaster, model, msdb and tempdb belong to SQL "
                               "Server: please, name another database.";
QString tooLongMessage(int longest)
{
    return QString("Database name too long!\r\nPlease, use at most %1 characters.").arg(longest);
}

} // namespace

TEST_F(Validation, EachRefusedPanelShowsItsMessageStoresOnlyWhatItListsAndSendsNothing)
{
    struct Row {
        int index;
        QString database, third, fourth;
        QString message;
        QStringList storedKeys;
    };
    const Row rows[] = {
        {1, "Arc", "", "", kDirectoryMessage, {}},
        {2, "Arc", "", "", kDirectoryMessage, {}},
        {1, "x; DROP DATABASE y", "C:\\db", "", kNameMessage, {}},
        {1, "", "C:\\db", "", kNameMessage, {}},
        {3, "Arc", "", "", kFileMessage, {}},
        {3, "Arc", "C:\\backup\\", "", kFileMessage, {}},
        {3, "Arc-1", "C:\\b.bak", "", kNameMessage, {}},
        {4, "Arc", "", "C:\\db", kFileMessage, {}},
        {4, "Arc", "C:\\b\\", "C:\\db", kFileMessage, {}},
        {4, "Arc", "C:\\b.bak", "", kDirectoryMessage, {settingkeys::kBackupFile}},
        {4, "1Arc", "C:\\b.bak", "C:\\db", kNameMessage, {}},
        {7, "Arc]; DROP DATABASE master; --", "", "", kNameMessage, {}},
        // The server's own databases, for every function that creates, fills, changes or
        // removes one; and names longer than the server's identifiers allow.
        {1, "master", "C:\\db", "", kSystemMessage, {}},
        {2, "MODEL", "C:\\db", "", kSystemMessage, {}},
        {4, "tempdb", "C:\\b.bak", "C:\\db", kSystemMessage, {}},
        {7, "Msdb", "", "", kSystemMessage, {}},
        {8, "master", "C:\\db", "C:\\old.mdb", kSystemMessage, {}},
        {9, "Master", "", "", kSystemMessage, {}},
        {1, QString(125, 'a'), "C:\\db", "", tooLongMessage(124), {}},
        {4, QString(128, 'a'), "C:\\b.bak", "C:\\db", tooLongMessage(124), {}},
        {3, QString(129, 'a'), "C:\\b.bak", "", tooLongMessage(128), {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        SCOPED_TRACE(row.database.toStdString());
        QDir(folder_.path()).remove("SQLLumoManager.ini");
        ui_ = {};
        state_.setConfirmedAdminPassword("vor36pelin");
        host_.values.database = row.database;
        host_.values.thirdField = row.third;
        host_.values.fourthField = row.fourth;
        if (row.index == 2)
            ui_.answerNextMessage(MessageResult::Ok);
        const auto outcome = dispatcher_->ok(row.index);
        ASSERT_TRUE(outcome.has_value());
        EXPECT_EQ(outcome->end, OperationEnd::PanelOpen);
        ASSERT_FALSE(ui_.messages().empty());
        EXPECT_EQ(ui_.messages().back(),
                  (Message{row.message, "", MessageIcon::None, MessageButtons::Ok}));
        EXPECT_FALSE(ui_.busy());
        for (const QString& key :
             {settingkeys::kSQLServerName, settingkeys::kDatabaseName, settingkeys::kDataDirectory,
              settingkeys::kBackupFile, settingkeys::kSQLUserName, settingkeys::kSQLPassword})
            EXPECT_EQ(stored(key), row.storedKeys.contains(key)) << key.toStdString();
        if (row.storedKeys.contains(settingkeys::kBackupFile)) {
            EXPECT_EQ(setting(settingkeys::kBackupFile), row.third);
        }
        EXPECT_EQ(host_.closed, 0);
        EXPECT_FALSE(logExists());
    }
}

TEST_F(Validation, DeleteWithAnEmptyNameEndsSilently)
{
    host_.values.database = "";
    const auto outcome = dispatcher_->ok(archivelist::kDeleteDatabase);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, OperationEnd::PanelOpen);
    EXPECT_TRUE(ui_.messages().empty());
    EXPECT_TRUE(ui_.passwordRequests().empty());
}

TEST_F(Validation, RestoreAndDeleteAskForTheAdministratorBeforeAnythingElse)
{
    for (int index : {archivelist::kRestore, archivelist::kDeleteDatabase}) {
        SCOPED_TRACE(index);
        ui_ = {};
        host_.values.database = "Arc";
        host_.values.thirdField = "";
        ui_.answerNextPasswordRequest({"wrong", "", ""});
        dispatcher_->ok(index);
        ASSERT_EQ(ui_.messages().size(), 1u);
        EXPECT_EQ(ui_.messages()[0].text,
                  "Unable to perform operation due to security access level");
        EXPECT_FALSE(stored(settingkeys::kBackupFile));
        EXPECT_FALSE(stored(settingkeys::kSQLServerName));
    }
}

TEST_F(Validation, CancellingAQuestionSendsNothing)
{
    // The new-version question: Cancel closes the panel as the Cancel button does.
    host_.values.database = "Arc";
    host_.values.thirdField = "C:\\db";
    ui_.answerNextMessage(MessageResult::Cancel);
    auto outcome = dispatcher_->ok(archivelist::kNewDatabaseNewVersion);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, OperationEnd::PanelClosed);
    EXPECT_EQ(host_.closed, 1);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0],
              (Message{"You are attempting to create a database\r\n supported only from Velantis "
                       "version 1.04.0110 or higher!\r\n Proceed anyway?",
                       "Warning", MessageIcon::None, MessageButtons::OkCancel}));
    EXPECT_FALSE(stored(settingkeys::kSQLServerName));

    // The delete question: Cancel leaves the panel open.
    ui_ = {};
    state_.setConfirmedAdminPassword("VOR36PELIN");
    ui_.answerNextMessage(MessageResult::Cancel);
    outcome = dispatcher_->ok(archivelist::kDeleteDatabase);
    EXPECT_EQ(outcome->end, OperationEnd::PanelOpen);
    EXPECT_EQ(host_.closed, 1);
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0], (Message{"Do you really want to delete database?", "Warning",
                                          MessageIcon::None, MessageButtons::OkCancel}));
    EXPECT_FALSE(logExists());
}
