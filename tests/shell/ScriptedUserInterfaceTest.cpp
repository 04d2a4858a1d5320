// The scripted person the other tests rely on: answers in order, records kept.
#include "ScriptedUserInterface.h"
#include "Messages.h"

#include <gtest/gtest.h>

using namespace sqllumo;
using sqllumo::testing::ScriptedUserInterface;

TEST(ScriptedUserInterface, AnswersFromTheScriptInOrderAndRecordsEverything)
{
    ScriptedUserInterface ui;
    ui.answerNextMessage(MessageResult::Cancel);
    ui.answerNextPasswordRequest({"a", "a", ""});
    ui.answerNextFileChoice(QString());
    ui.answerNextFileChoice("/tmp/x.mdb");

    EXPECT_EQ(ui.showMessage(accessMessage("refused")), MessageResult::Ok);
    EXPECT_EQ(ui.showMessage({"Delete?", "Warning", MessageIcon::None, MessageButtons::OkCancel}),
              MessageResult::Cancel);
    EXPECT_EQ(
        ui.passwordRequest(PasswordRequestMode::NewPassword, AdminSecret::PasswordDatabaseAdmin),
        (PasswordRequestResult{"a", "a", ""}));
    EXPECT_FALSE(ui.chooseFile({}).has_value());
    EXPECT_EQ(ui.chooseFile({}).value_or(""), "/tmp/x.mdb");
    EXPECT_TRUE(ui.scriptExhausted());
    EXPECT_EQ(ui.unscriptedPrompts(), 0);

    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[0].text, "refused");
    EXPECT_EQ(ui.messages()[1].text, "Delete?");

    // Past the script: counted, answered as cancelled / first button.
    EXPECT_EQ(
        ui.passwordRequest(PasswordRequestMode::ConfirmPassword, AdminSecret::ArchivePassPhrase),
        PasswordRequestResult{});
    EXPECT_EQ(ui.showMessage({"Q", "", MessageIcon::Question, MessageButtons::YesNo}),
              MessageResult::Yes);
    EXPECT_EQ(ui.unscriptedPrompts(), 2);
    ASSERT_EQ(ui.passwordRequests().size(), 2u);
    EXPECT_EQ(ui.passwordRequests()[1], PasswordRequestMode::ConfirmPassword);

    ui.setBusy(true);
    ui.setBusy(true);
    ui.setBusy(false);
    EXPECT_EQ(ui.busyChanges(), 2);
    EXPECT_FALSE(ui.busy());
}
