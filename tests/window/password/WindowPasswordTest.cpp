// The password catalogue through the real window against a stand-in it starts: the upgrade on
// choosing the catalogue, then a new password database, its generic and administrator
// passwords and its removal, typed into the panel and the dialogs.
#include "WindowPassword.h"
#include "GenericPassword.h"
#include "OracleCipher.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

using namespace sqllumo;
using namespace sqllumo::ui;
using sqllumo::testing::ModalScript;
using sqllumo::testing::WindowPassword;

TEST_F(WindowPassword, ChoosingTheCatalogueUpgradesTheDatabaseOfTheSettingsOnce)
{
    const QString name = olderDatabase("WindowOlder", {"Version:1.02", true, true});
    storePasswordDatabase(name);
    ModalScript modals;
    modals.press(QMessageBox::Ok);
    window_->CorvistaPasswordDataBase->trigger();
    ASSERT_EQ(modals.seen().size(), 1u);
    // Naming the database and the server it worked on.
    EXPECT_EQ(modals.seen()[0].text, "Password Database successfully updated!\nDatabase " + name +
                                         " on SQL Server " + standin_->server());
    EXPECT_EQ(modals.seen()[0].icon, QMessageBox::Information);
    EXPECT_EQ(column(name, "SELECT [FreeText] FROM T_DBVersion"), QStringList{"Version:1.04"});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Current now: choosing it again shows nothing.
    window_->cmdPassword->click();
    QTest::qWait(50);
    EXPECT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_EQ(programEnded_, 0);
}

TEST_F(WindowPassword, AFailedUpgradeIsRestoredAndEndsTheProgram)
{
    const QString name = olderDatabase("WindowBroken", {"Version:1.03", true, false});
    execute(name, {"UPDATE T_SecurityMacroFunctions SET Description = 'Archivio'"});
    storePasswordDatabase(name);
    ModalScript modals;
    for (int i = 0; i < 3; ++i)
        modals.press(QMessageBox::Ok);
    window_->CorvistaPasswordDataBase->trigger();
    ASSERT_EQ(modals.seen().size(), 3u);
    const QString subject = "\nDatabase " + name + " on SQL Server " + standin_->server();
    EXPECT_EQ(modals.seen()[1].text,
              "Update Password Database Failed!\nAutomatic restore backup copy!" + subject);
    EXPECT_EQ(modals.seen()[2].text,
              "Update Password database Failed!\nImpossible to continue!" + subject);
    EXPECT_EQ(programEnded_, 1);
    EXPECT_FALSE(window_->isVisible());
    // Put back as it was: the table the failed run had made is gone again.
    EXPECT_TRUE(column(name, "SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = "
                             "'T_GenPasswords'")
                    .isEmpty());
}

TEST_F(WindowPassword, NewDatabaseThenItsPasswordsThenItsRemoval)
{
    const QString name = QStringLiteral("WindowPasswords");
    ModalScript modals;
    window_->CorvistaPasswordDataBase->trigger();

    sqllumo::testing::OpenPanel(*window_, password::kNewPasswordDatabase);
    EXPECT_EQ(window_->Text1[2]->text(), "C:\\Lumeno SQL Database\\");
    type(1, name);
    modals.then(passwords(PasswordRequestMode::NewPassword, "adm1n", "adm1n"));
    modals.press(QMessageBox::Ok);
    pressOk();
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].text, "Database " + name + " has been created and initialized");
    EXPECT_FALSE(window_->Frame1->isVisible());

    // Confirmed by the creation: no request, the generic passwords shown and one changed.
    sqllumo::testing::OpenPanel(*window_, password::kModifyGenericPassword);
    modals.then([](QWidget* w) {
        auto* dialog = qobject_cast<GenericPassword*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->Text1->text(), "darnitex");
        EXPECT_EQ(dialog->Text2->text(), "b5b6");
        dialog->Text3->clear();
        QTest::keyClicks(dialog->Text3, "res0urce");
        dialog->Command1->click();
    });
    modals.press(QMessageBox::Ok); // what was changed
    pressOk();
    EXPECT_EQ(modals.seen().back().text,
              "Generic password has been modified into database " + name);
    EXPECT_EQ(column(name, "SELECT Resource_Passwd FROM T_GenPasswords"),
              QStringList{sqllumo::testing::fixedKeyOracle("res0urce")});

    sqllumo::testing::OpenPanel(*window_, password::kModifyAdministratorPassword);
    modals.then(passwords(PasswordRequestMode::ChangePassword, "n3w", "n3w", "adm1n"));
    modals.press(QMessageBox::Ok); // what was changed
    pressOk();
    EXPECT_EQ(column(name, "SELECT Admin_Passwd FROM T_AdminPassword"),
              QStringList{sqllumo::testing::fixedKeyOracle("n3w")});

    // Typing in the panel forgets the confirmed password: asked again before the removal.
    sqllumo::testing::OpenPanel(*window_, password::kDeletePasswordDatabase);
    type(1, name);
    modals.then(passwords(PasswordRequestMode::ConfirmPassword, "n3w"));
    modals.press(QMessageBox::Ok); // the question
    modals.press(QMessageBox::Ok); // the outcome
    pressOk();
    ASSERT_EQ(modals.seen().size(), 5u);
    EXPECT_EQ(
        modals.seen()[3].text,
        "Do you really want to delete database?\nBe sure it's not used for logon in Velantis!");
    EXPECT_EQ(modals.seen()[4].text, "Database " + name + " has been removed");
    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_TRUE(modals.done());
}
