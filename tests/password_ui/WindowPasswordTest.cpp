// The password catalogue through the real window against a stand-in it starts: the upgrade on
// choosing the catalogue, then a new password database, its generic and administrator
// passwords and its removal, typed into the panel and the dialogs.
#include "ConnectionStrings.h"
#include "F_SQLDatabase.h"
#include "GenericPassword.h"
#include "ModalScript.h"
#include "OlderPasswordDatabase.h"
#include "OracleCipher.h"
#include "PasswordCatalogue.h"
#include "PasswordRequest.h"
#include "PasswordWindow.h"
#include "ServerStatements.h"
#include "Settings.h"
#include "StandinForProgram.h"
#include "TestResultRegistry.h"
#include "WindowDispatch.h"
#include "WindowDriving.h"

#include "Connection.h"
#include "Recordset.h"

#include <QAction>
#include <QApplication>
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
using sqllumo::testing::StandinForProgram;

namespace {

class WindowPassword : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sqllumo::testing::SuiteStandin::start(); }
    static void TearDownTestSuite() { sqllumo::testing::SuiteStandin::stop(); }
    void SetUp() override
    {
        standin_ = sqllumo::testing::SuiteStandin::get();
        ASSERT_NE(standin_, nullptr) << sqllumo::testing::SuiteStandin::error();
        ASSERT_TRUE(dir_.isValid());
        settings_ = std::make_unique<Settings>(Settings::fileIn(dir_.path()));
        registry_ = std::make_unique<TestResultRegistry>(*settings_);
        settings_->setValue(settingkeys::kSQLServerName, standin_->server());
        settings_->setValue(settingkeys::kSQLUserName, standin_->user());
        settings_->setValue(settingkeys::kSQLPassword, standin_->password());
        window_ = std::make_unique<F_SQLDatabase>(*settings_);
        OperationServices services;
        services.settings = settings_.get();
        services.registry = registry_.get();
        services.verifyAdminPassword = password::VerifyAgainstPasswordDatabase;
        dispatch_ = std::make_unique<WindowDispatch>(*window_, std::move(services));
        dispatch_->dispatcher().setLogFolder(dir_.path());
        ConnectPasswordArea(*window_, *settings_, [this] {
            ++programEnded_;
            window_->close();
        });
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }
    void TearDown() override
    {
        dispatch_.reset();
        window_.reset();
    }
    void type(int field, const QString& text)
    {
        window_->Text1[field]->selectAll();
        QTest::keyClicks(window_->Text1[field], text);
    }
    static QString connectionString(const QString& database)
    {
        return BuildConnectionString(standin_->server(), database, standin_->user(),
                                     standin_->password());
    }
    static void execute(const QString& database, const QStringList& statements)
    {
        db::Connection connection;
        connection.open(connectionString(database));
        for (const QString& statement : statements)
            connection.execute(statement);
        connection.close();
    }
    static QStringList column(const QString& database, const QString& query)
    {
        db::Recordset rows;
        rows.open(query, connectionString(database));
        QStringList values;
        for (; !rows.eof(); rows.moveNext())
            values << rows.value(0).toString();
        rows.close();
        return values;
    }
    static QString olderDatabase(const char* name, const sqllumo::testing::OlderState& state)
    {
        execute("master", {server::CreateDatabaseStatement(name, "C:\\Lumeno SQL Database\\")});
        execute(name, sqllumo::testing::OlderDatabaseStatements(state));
        return name;
    }
    void storePasswordDatabase(const QString& name)
    {
        settings_->setValue(settingkeys::kPasswdDatabaseName, name);
        settings_->setValue(settingkeys::kPasswdDataDirectory, "C:\\Lumeno SQL Database\\");
    }
    // The password dialog of the given purpose, typed into and confirmed.
    static ModalScript::Step passwords(PasswordRequestMode mode, QString password,
                                       QString confirm = {}, QString old = {})
    {
        return [=](QWidget* w) {
            auto* dialog = qobject_cast<PasswordRequest*>(w);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->Text4->isVisible(), mode != PasswordRequestMode::ConfirmPassword);
            EXPECT_EQ(dialog->Text1->isVisible(), mode == PasswordRequestMode::ChangePassword);
            QTest::keyClicks(dialog->Text1, old);
            QTest::keyClicks(dialog->Text3, password);
            QTest::keyClicks(dialog->Text4, confirm);
            dialog->Command1->click();
        };
    }
    void pressOk() { QTest::mouseClick(window_->CmdOK, Qt::LeftButton); }

    static inline StandinForProgram* standin_ = nullptr;
    QTemporaryDir dir_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<TestResultRegistry> registry_;
    std::unique_ptr<F_SQLDatabase> window_;
    std::unique_ptr<WindowDispatch> dispatch_;
    int programEnded_ = 0;
};

} // namespace

TEST_F(WindowPassword, ChoosingTheCatalogueUpgradesTheDatabaseOfTheSettingsOnce)
{
    const QString name = olderDatabase("WindowOlder", {"Version:1.02", true, true});
    storePasswordDatabase(name);
    ModalScript modals;
    modals.press(QMessageBox::Ok);
    window_->CorvistaPasswordDataBase->trigger();
    ASSERT_EQ(modals.seen().size(), 1u);
    EXPECT_EQ(modals.seen()[0].text, "Password Database successfully updated!");
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
    EXPECT_EQ(modals.seen()[1].text,
              "Update Password Database Failed!\nAutomatic restore backup copy!");
    EXPECT_EQ(modals.seen()[2].text, "Update Password database Failed!\nImpossible to continue!");
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
    pressOk();
    EXPECT_EQ(column(name, "SELECT Resource_Passwd FROM T_GenPasswords"),
              QStringList{sqllumo::testing::fixedKeyOracle("res0urce")});

    sqllumo::testing::OpenPanel(*window_, password::kModifyAdministratorPassword);
    modals.then(passwords(PasswordRequestMode::ChangePassword, "n3w", "n3w", "adm1n"));
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
    ASSERT_EQ(modals.seen().size(), 3u);
    EXPECT_EQ(
        modals.seen()[1].text,
        "Do you really want to delete database?\nBe sure it's not used for logon in Velantis!");
    EXPECT_EQ(modals.seen()[2].text, "Database " + name + " has been removed");
    EXPECT_EQ(modals.unexpected(), 0);
    EXPECT_TRUE(modals.done());
}
