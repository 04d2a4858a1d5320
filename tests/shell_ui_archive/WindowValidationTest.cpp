// The archive catalogue through the real window, where it ends before the server: the panel's
// fields reach the dispatcher, messages appear as boxes and the panel stays open.
#include "ArchiveIndexes.h"
#include "DatabasePort.h"
#include "F_SQLDatabase.h"
#include "ModalScript.h"
#include "PasswordRequest.h"
#include "Settings.h"
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

// These paths never reach a server; any connection is a failure of the test.
class NoServer : public dbport::Provider {
public:
    std::unique_ptr<dbport::Connection> newConnection() override
    {
        ADD_FAILURE() << "a connection was opened";
        throw dbport::Error(dbport::kConnectionFailed, "no server in this test");
    }
    std::unique_ptr<dbport::Catalog> newCatalog() override
    {
        ADD_FAILURE() << "a catalogue was bound";
        throw dbport::Error(dbport::kConnectionFailed, "no server in this test");
    }
};

class WindowValidation : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        Settings::setStorageFolderForTesting(dir_.path());
        window_ = std::make_unique<F_SQLDatabase>();
        OperationServices services;
        services.database = &noServer_;
        dispatch_ = std::make_unique<WindowDispatch>(*window_, std::move(services));
        dispatch_->dispatcher().setLogFolder(dir_.path());
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        window_->cmdArchivio->click();
    }
    void TearDown() override
    {
        dispatch_.reset();
        window_.reset();
        Settings::setStorageFolderForTesting(QString());
    }
    void open(int index) { sqllumo::testing::OpenPanel(*window_, index); }
    void type(int field, const QString& text)
    {
        window_->Text1[field]->clear();
        QTest::keyClicks(window_->Text1[field], text);
    }

    QTemporaryDir dir_;
    NoServer noServer_;
    std::unique_ptr<F_SQLDatabase> window_;
    std::unique_ptr<WindowDispatch> dispatch_;
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
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].title, "SQLLumoManager");
    EXPECT_EQ(modals.seen()[0].text, "Invalid filename!\nPlease, define at least one.");
    EXPECT_TRUE(window_->Frame1->isVisible());
    EXPECT_FALSE(window_->cmdPassword->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    Settings settings;
    EXPECT_EQ(settings.value(settingkeys::kSQLServerName), "");
}

TEST_F(WindowValidation, CreateRefusesANameThatIsNotAnIdentifier)
{
    open(archivelist::kNewDatabase);
    type(1, "Arc; DROP DATABASE master");
    ModalScript modals;
    modals.press(QMessageBox::Ok);
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].text,
              "Invalid database name!\nPlease, use letters, digits and the underscore only.");
    EXPECT_TRUE(window_->Frame1->isVisible());
    Settings settings;
    EXPECT_EQ(settings.value(settingkeys::kDatabaseName), "");
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
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].title, "Warning");
    EXPECT_EQ(modals.seen()[0].text, "Unable to perform operation due to security access level");
    EXPECT_TRUE(window_->state().confirmedAdminPassword().isEmpty());

    modals.then(typePassword("VOR36pelin"));
    modals.press(QMessageBox::Cancel); // the delete question
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);
    ASSERT_EQ(modals.seen().size(), 2u);
    EXPECT_EQ(modals.seen()[1].text, "Do you really want to delete database?");
    EXPECT_EQ(window_->state().confirmedAdminPassword(), "VOR36pelin");

    // Confirmed now: the next OK goes straight to the question.
    modals.press(QMessageBox::Cancel);
    QTest::mouseClick(window_->CmdOK, Qt::LeftButton);
    EXPECT_EQ(modals.seen().size(), 3u);
    EXPECT_TRUE(modals.done());
    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_TRUE(window_->Frame1->isVisible());
}
