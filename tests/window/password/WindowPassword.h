// The main window with its password area and its user and role dialogs, against a stand-in
// the test suite starts; what the window stored is read back through the database layer.
#pragma once

#include "ConnectionStrings.h"
#include "F_SQLDatabase.h"
#include "ModalScript.h"
#include "OdbcProvider.h"
#include "OlderPasswordDatabase.h"
#include "PasswordCatalogue.h"
#include "PasswordRequest.h"
#include "PasswordWindow.h"
#include "RoleFunctionSheetLoader.h"
#include "ServerStatements.h"
#include "Settings.h"
#include "StoredRows.h"
#include "TestResultRegistry.h"
#include "UserRoleDialogs.h"
#include "WindowDispatch.h"
#include "WindowDriving.h"

#include "Connection.h"
#include "Recordset.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace sqllumo::testing {

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
        window_ = std::make_unique<ui::F_SQLDatabase>(*settings_);
        OperationServices services;
        services.settings = settings_.get();
        services.registry = registry_.get();
        services.database = provider_.get();
        services.verifyAdminPassword = password::VerifyAgainstPasswordDatabase;
        dispatch_ = std::make_unique<ui::WindowDispatch>(*window_, std::move(services));
        dispatch_->dispatcher().setLogFolder(dir_.path());
        ui::ConnectUserAndRoleDialogs(*window_, *dispatch_, *settings_, *provider_, loader_);
        ui::ConnectPasswordArea(*window_, *settings_, *provider_, [this] {
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
    static QStringList column(const QString& database, const QString& query)
    {
        return FirstColumn(*standin_, database, query);
    }
    static void execute(const QString& database, const QStringList& statements)
    {
        ExecuteOn(*standin_, database, statements);
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
            auto* dialog = qobject_cast<ui::PasswordRequest*>(w);
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
    // Opens the editor library beside the test program, as the program opens it; it outlives
    // the window.
    rolefunctionsheet::RoleFunctionSheetLoader loader_;
    const std::unique_ptr<dbport::Provider> provider_ = dbport::MakeOdbcProvider();
    std::unique_ptr<ui::F_SQLDatabase> window_;
    std::unique_ptr<ui::WindowDispatch> dispatch_;
    int programEnded_ = 0;
};

} // namespace sqllumo::testing
