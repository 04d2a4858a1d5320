// The password request dialog: its fields by purpose, masking, length, tab order and results.
#include "PasswordRequest.h"
#include "Screenshot.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace sqllumo;
using namespace sqllumo::ui;

TEST(PasswordRequestDialog, FieldsFollowThePurpose)
{
    struct Row {
        PasswordRequestMode mode;
        bool confirm;
        bool old;
    };
    const Row rows[] = {{PasswordRequestMode::NewPassword, true, false},
                        {PasswordRequestMode::ConfirmPassword, false, false},
                        {PasswordRequestMode::ChangePassword, true, true}};
    for (const Row& row : rows) {
        PasswordRequest dialog;
        dialog.Impostati(row.mode);
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), "Corvista Network Administrator Password Request");
        EXPECT_TRUE(dialog.Text3->isVisible());
        EXPECT_TRUE(dialog.Text3->isEnabled());
        EXPECT_EQ(dialog.Text4->isVisible(), row.confirm);
        EXPECT_EQ(dialog.Label4->isVisible(), row.confirm);
        EXPECT_EQ(dialog.Text1->isVisible(), row.old);
        EXPECT_EQ(dialog.Label1->isVisible(), row.old);
    }
}

// The request says which secret it wants: the archive functions' pass phrase, or the password
// database's administrator password, whole at any font size.
TEST(PasswordRequestDialog, ThePromptNamesTheSecretAsked)
{
    struct Row {
        PasswordRequestMode mode;
        AdminSecret secret;
        const char* begins;
        const char* screenshot;
    };
    const Row rows[] = {
        {PasswordRequestMode::ConfirmPassword, AdminSecret::ArchivePassPhrase,
         "The service pass phrase of the archive functions", "password-request-pass-phrase"},
        {PasswordRequestMode::ConfirmPassword, AdminSecret::PasswordDatabaseAdmin,
         "The administrator password of the password database:", "password-request-admin"},
        {PasswordRequestMode::NewPassword, AdminSecret::PasswordDatabaseAdmin,
         "The administrator password of the new password database", nullptr},
        {PasswordRequestMode::ChangePassword, AdminSecret::PasswordDatabaseAdmin,
         "The administrator password of the password database,\nthen the new one", nullptr}};
    for (const Row& row : rows) {
        PasswordRequest dialog;
        dialog.Impostati(row.mode, row.secret);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        EXPECT_TRUE(dialog.Prompt->isVisible());
        EXPECT_TRUE(dialog.Prompt->text().startsWith(row.begins))
            << dialog.Prompt->text().toStdString();
        EXPECT_GE(dialog.Prompt->width(), dialog.Prompt->sizeHint().width());
        if (row.screenshot)
            sqllumo::testing::SaveScreenshot(dialog, row.screenshot);
    }
}

TEST(PasswordRequestDialog, MaskedTenCharactersInTabOrder)
{
    PasswordRequest dialog;
    dialog.Impostati(PasswordRequestMode::ChangePassword);
    dialog.show();
    EXPECT_EQ(dialog.Label1->text(), "Old Password");
    EXPECT_EQ(dialog.Label3->text(), "Password");
    EXPECT_EQ(dialog.Label4->text(), "Confirm Password");
    EXPECT_EQ(dialog.Command1->text(), "OK");
    EXPECT_EQ(dialog.Command2->text(), "cancel");
    for (QLineEdit* field : {dialog.Text1, dialog.Text3, dialog.Text4}) {
        EXPECT_EQ(field->echoMode(), QLineEdit::Password);
        QTest::keyClicks(field, "12345678901234");
        EXPECT_EQ(field->text(), "1234567890");
    }
    auto nextTabStop = [](QWidget* w) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    EXPECT_EQ(nextTabStop(dialog.Text1), dialog.Text3);
    EXPECT_EQ(nextTabStop(dialog.Text3), dialog.Text4);
}

TEST(PasswordRequestDialog, OkHandsBackWhatWasTypedCancelNothing)
{
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<PasswordRequest*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        QTest::keyClicks(d->Text3, "vor36pelin");
        d->Command1->click();
    });
    EXPECT_EQ(PasswordRequest::ask(nullptr, PasswordRequestMode::ConfirmPassword,
                                   AdminSecret::ArchivePassPhrase),
              (PasswordRequestResult{"vor36pelin", "", ""}));

    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<PasswordRequest*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        QTest::keyClicks(d->Text3, "typed");
        d->Command2->click();
    });
    EXPECT_EQ(PasswordRequest::ask(nullptr, PasswordRequestMode::NewPassword,
                                   AdminSecret::PasswordDatabaseAdmin),
              PasswordRequestResult{});

    // A second Impostati forgets what was typed before.
    PasswordRequest dialog;
    dialog.Impostati(PasswordRequestMode::NewPassword);
    QTest::keyClicks(dialog.Text3, "abc");
    dialog.Impostati(PasswordRequestMode::NewPassword);
    EXPECT_TRUE(dialog.Text3->text().isEmpty());
}
