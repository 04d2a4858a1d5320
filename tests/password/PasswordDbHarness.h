// A stand-in started once per test binary, the scripted person and settings in a temporary
// folder per test; helpers to look at a password database through the real ODBC path.
#pragma once

#include "GestioneDbPassword.h"
#include "OracleCipher.h"
#include "ScriptedUserInterface.h"
#include "Settings.h"
#include "StandinForProgram.h"

#include "ConnectionStrings.h"
#include "OdbcProvider.h"
#include "ServerStatements.h"

#include "Connection.h"
#include "Recordset.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace sqllumo::testing {

// The stand-in of the suite and what a test does on it; the fixture supplies the person and
// the settings.
class PasswordServer {
public:
    virtual ~PasswordServer() = default;

protected:
    virtual UserInterface& person() = 0;
    virtual Settings& store() = 0;

    // In SetUp, before any other helper.
    static void useSuiteStandin()
    {
        standin_ = SuiteStandin::get();
        ASSERT_NE(standin_, nullptr) << SuiteStandin::error();
    }

    static QString freshName(const char* stem)
    {
        static int counter = 0;
        return QStringLiteral("%1_%2").arg(QString::fromLatin1(stem)).arg(++counter);
    }
    // The port the program's front ends hand to the functions.
    static dbport::Provider& port()
    {
        static const std::unique_ptr<dbport::Provider> provider = dbport::MakeOdbcProvider();
        return *provider;
    }
    static QString server() { return standin_->server(); }
    static QString user() { return standin_->user(); }
    static QString password() { return standin_->password(); }
    static QString connectionString(const QString& database)
    {
        return BuildConnectionString(server(), database, user(), password());
    }
    void execute(const QString& database, const QStringList& statements) const
    {
        db::Connection connection;
        connection.open(connectionString(database));
        for (const QString& statement : statements)
            connection.execute(statement);
        connection.close();
    }
    // Every row of the query, each value as text, in the order the server gives them.
    std::vector<QStringList> rows(const QString& database, const QString& query) const
    {
        db::Recordset recordset;
        recordset.open(query, connectionString(database));
        std::vector<QStringList> result;
        for (; !recordset.eof(); recordset.moveNext()) {
            QStringList row;
            for (int i = 0; i < recordset.fields().count(); ++i)
                row << recordset.value(i).toString();
            result.push_back(row);
        }
        recordset.close();
        return result;
    }
    QStringList column(const QString& database, const QString& query) const
    {
        QStringList values;
        for (const QStringList& row : rows(database, query))
            values << row.value(0);
        return values;
    }
    void createEmptyDatabase(const QString& name) const
    {
        execute(QStringLiteral("master"), {server::CreateDatabaseStatement(
                                              name, QStringLiteral("C:\\Lumeno SQL Database\\"))});
    }
    bool databaseExists(const QString& name) const
    {
        for (const QStringList& row : rows(QStringLiteral("master"), QStringLiteral("sp_helpdb")))
            if (row.value(0).compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }
    // A new, current password database made as entry 0 makes it.
    QString createPasswordDatabase(const char* stem, const QString& adminPassword)
    {
        const QString name = freshName(stem);
        password::GestioneDbPassword passwords(person(), QStringLiteral("Password tests"), store(),
                                               port());
        EXPECT_TRUE(passwords.CreaDB(server(), name, user(), password(),
                                     QStringLiteral("C:\\Lumeno SQL Database\\")));
        QString error;
        EXPECT_TRUE(
            passwords.TestTabellePassword(server(), name, user(), password(), error, adminPassword))
            << error.toStdString();
        return name;
    }
    // The settings the upgrade and the administrator check read.
    void
    storePasswordSettings(const QString& database,
                          const QString& directory = QStringLiteral("C:\\Lumeno SQL Database\\"))
    {
        store().setValue(settingkeys::kSQLServerName, server());
        store().setValue(settingkeys::kPasswdDatabaseName, database);
        store().setValue(settingkeys::kPasswdDataDirectory, directory);
        store().setValue(settingkeys::kSQLUserName, user());
        store().setValue(settingkeys::kSQLPassword, password());
    }
    // Where the stand-in keeps a server folder named by a Windows path.
    static QString serverFolder(const QString& windowsPath)
    {
        QString relative = windowsPath;
        relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
        relative.remove(QLatin1Char(':'));
        return QDir(standin_->dataFolder()).filePath(relative);
    }

    static inline StandinForProgram* standin_ = nullptr;
};

class PasswordDbHarness : public ::testing::Test, public PasswordServer {
protected:
    static void SetUpTestSuite() { SuiteStandin::start(); }
    static void TearDownTestSuite() { SuiteStandin::stop(); }
    void SetUp() override
    {
        useSuiteStandin();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(folder_.isValid());
    }
    UserInterface& person() override { return ui_; }
    Settings& store() override { return settings_; }

    const QString kCaption = QStringLiteral("Lumeno SQL Manager  1. 0. 0");
    QTemporaryDir folder_;
    Settings settings_{Settings::fileIn(folder_.path())};
    ScriptedUserInterface ui_;
};

} // namespace sqllumo::testing
