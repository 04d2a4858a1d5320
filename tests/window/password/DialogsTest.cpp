// The generic passwords dialog: plain fields of ten characters in tab order, what OK and
// Cancel hand back, and longer stored passwords kept whole; pictures of the password dialogs.
#include "GenericPassword.h"
#include "PasswordRequest.h"
#include "WidgetTesting.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace sqllumo;
using namespace sqllumo::ui;

using sqllumo::testing::nextTabStop;
using sqllumo::testing::screenshot;

TEST(GenericPasswordDialog, PlainTenCharacterFieldsInTabOrder)
{
    GenericPassword dialog;
    dialog.Impostati({"darnitex", "b5b6", "darnitex", false});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    screenshot(dialog, "generic-password");
    EXPECT_EQ(dialog.windowTitle(), "Generic Passwords");
    EXPECT_EQ(dialog.Label1->text(), "Report");
    EXPECT_EQ(dialog.Label2->text(), "Montage");
    EXPECT_EQ(dialog.Label3->text(), "Resource");
    EXPECT_EQ(dialog.Command1->text(), "OK");
    EXPECT_EQ(dialog.Command2->text(), "Cancel");
    EXPECT_EQ(dialog.Text2->text(), "b5b6");
    for (QLineEdit* field : {dialog.Text1, dialog.Text2, dialog.Text3}) {
        EXPECT_EQ(field->echoMode(), QLineEdit::Normal);
        field->clear();
        QTest::keyClicks(field, "12345678901234");
        EXPECT_EQ(field->text(), "1234567890");
    }
    EXPECT_EQ(nextTabStop(dialog.Text1), dialog.Text2);
    EXPECT_EQ(nextTabStop(dialog.Text2), dialog.Text3);
    EXPECT_EQ(nextTabStop(dialog.Text3), dialog.Command1);
}

TEST(GenericPasswordDialog, OkHandsBackTheFieldsCancelNothing)
{
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<GenericPassword*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->Text2->clear();
        QTest::keyClicks(d->Text2, "m0nt");
        d->Command1->click();
    });
    EXPECT_EQ(GenericPassword::ask(nullptr, {"r", "m", "s", false}),
              (GenericPasswordResult{"r", "m0nt", "s", true}));

    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<GenericPassword*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        QTest::keyClicks(d->Text1, "typed");
        d->Command2->click();
    });
    EXPECT_FALSE(GenericPassword::ask(nullptr, {"r", "m", "s", false}).canSave);
}

TEST(GenericPasswordDialog, ALongerStoredPasswordIsNotCutShort)
{
    const QString stored = QStringLiteral("twelve-chars");
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<GenericPassword*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->Command1->click();
    });
    EXPECT_EQ(GenericPassword::ask(nullptr, {stored, "m", "s", false}),
              (GenericPasswordResult{stored, "m", "s", true}));
}

TEST(PasswordRequestDialog, PicturesOfTheThreePurposes)
{
    const std::pair<PasswordRequestMode, const char*> modes[] = {
        {PasswordRequestMode::NewPassword, "password-request-new"},
        {PasswordRequestMode::ConfirmPassword, "password-request-confirm"},
        {PasswordRequestMode::ChangePassword, "password-request-change"}};
    for (const auto& [mode, name] : modes) {
        PasswordRequest dialog;
        dialog.Impostati(mode);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        screenshot(dialog, name);
        // Every shown caption fits beside its field.
        for (QLabel* label : {dialog.Label1, dialog.Label3, dialog.Label4}) {
            if (label->isVisible()) {
                EXPECT_GE(label->width(), label->sizeHint().width()) << name;
            }
        }
    }
}
