// The archive catalogue through the real window, where it ends before the server: the panel's
// fields reach the dispatcher, messages appear as boxes and the panel stays open.
#include "ArchiveIndexes.h"
#include "F_SQLDatabase.h"
#include "ModalScript.h"
#include "NoServer.h"
#include "PasswordRequest.h"
#include "Settings.h"
#include "TestResultRegistry.h"
#include "WindowDispatch.h"
#include "WindowDriving.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace sqllumo;
using namespace sqllumo::ui;
using sqllumo::testing::ModalScript;

namespace {

class WindowValidation : public ::testing::Test {
protected:
    void SetUp() override
    {
        w_.prepare();
        w_.build(noServer_);
        w_.show();
        w_.window->cmdArchivio->click();
    }
    // What the store's file holds, read afresh.
    QString setting(const QString& key) const
    {
        Settings settings(Settings::fileIn(w_.dir.path()));
        return settings.value(key);
    }
    void open(int index) { sqllumo::testing::OpenPanel(*w_.window, index); }
    void type(int field, const QString& text)
    {
        w_.window->Text1[field]->clear();
        QTest::keyClicks(w_.window->Text1[field], text);
    }

    sqllumo::testing::NoServer noServer_;
    sqllumo::testing::WindowOverPort w_; // after the port: the window goes first
};

} // namespace

TEST_F(WindowValidation, BackupWithAFolderForFileShowsTheValidationBoxAndKeepsThePanel)
{
    open(archivelist::kBackup);
    type(0, "srv");
    type(1, "Arc");
    type(2, "C:\\Backup\\");
    ModalScript modals;
    modals.press(QMessageBox::Ok);
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].title, "SQLLumoManager");
    EXPECT_EQ(modals.seen()[0].text, "Invalid filename!\nPlease, define at least one.");
    EXPECT_TRUE(w_.window->Frame1->isVisible());
    EXPECT_FALSE(w_.window->cmdPassword->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(setting(settingkeys::kSQLServerName), "");
}

TEST_F(WindowValidation, CreateRefusesANameThatIsNotAnIdentifier)
{
    open(archivelist::kNewDatabase);
    type(1, "Arc; DROP DATABASE master");
    ModalScript modals;
    modals.press(QMessageBox::Ok);
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].text,
              "Invalid database name!\nPlease, use letters, digits and the underscore only.");
    EXPECT_TRUE(w_.window->Frame1->isVisible());
    EXPECT_EQ(setting(settingkeys::kDatabaseName), "");
}

TEST_F(WindowValidation, DeleteAsksThePasswordInItsDialogOnceAndCancelKeepsThePanel)
{
    open(archivelist::kDeleteDatabase);
    type(1, "Arc");
    ModalScript modals;
    auto typePassword = [](const char* text) {
        return [text](QWidget* w) {
            auto* dialog = qobject_cast<PasswordRequest*>(w);
            ASSERT_NE(dialog, nullptr);
            EXPECT_FALSE(dialog->Text4->isVisible());
            QTest::keyClicks(dialog->Text3, text);
            dialog->Command1->click();
        };
    };
    modals.then(typePassword("vor36"));
    modals.press(QMessageBox::Ok); // refusal
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].title, "Warning");
    EXPECT_EQ(modals.seen()[0].text, "Unable to perform operation due to security access level");
    EXPECT_TRUE(w_.window->state().confirmedAdminPassword().isEmpty());

    modals.then(typePassword("VOR36pelin"));
    modals.press(QMessageBox::Cancel); // the delete question
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 2u);
    EXPECT_EQ(modals.seen()[1].text, "Do you really want to delete database?");
    EXPECT_EQ(w_.window->state().confirmedAdminPassword(), "VOR36pelin");

    // Confirmed now: the next OK goes straight to the question.
    modals.press(QMessageBox::Cancel);
    QTest::mouseClick(w_.window->CmdOK, Qt::LeftButton);
    EXPECT_EQ(modals.seen().size(), 3u);
    EXPECT_TRUE(modals.done());
    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_TRUE(w_.window->Frame1->isVisible());
}
