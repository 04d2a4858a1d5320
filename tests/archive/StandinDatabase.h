#pragma once
// A stand-in started once per test binary, reached through the program's own data access
// provider; each test makes its databases under fresh names and keeps its settings apart.

#include "ConnectionStrings.h"
#include "ServerProvider.h"
#include "ServerStatements.h"
#include "Settings.h"
#include "StandinForProgram.h"
#include "TestResultRegistry.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace sqllumo::testing {

class StandinDatabase : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SuiteStandin::start(); }
    static void TearDownTestSuite() { SuiteStandin::stop(); }
    void SetUp() override
    {
        standin_ = SuiteStandin::get();
        ASSERT_NE(standin_, nullptr) << SuiteStandin::error();
        ASSERT_TRUE(settingsFolder_.isValid());
        settings_ = std::make_unique<Settings>(Settings::fileIn(settingsFolder_.path()));
        registry_ = std::make_unique<TestResultRegistry>(*settings_);
        provider_ = server::MakeServerProvider();
    }

    QString connectionString(const QString& database) const
    {
        return BuildConnectionString(standin_->server(), database, standin_->user(),
                                     standin_->password());
    }
    std::unique_ptr<dbport::Connection> connect(const QString& database) const
    {
        auto connection = provider_->newConnection();
        connection->open(connectionString(database));
        return connection;
    }
    // A new empty database; the name is made unique within the binary from the stem.
    QString createDatabase(const char* stem) const
    {
        static int counter = 0;
        const QString name = QStringLiteral("%1_%2").arg(QString::fromLatin1(stem)).arg(++counter);
        auto master = connect(QStringLiteral("master"));
        master->execute(server::CreateDatabaseStatement(name, "C:\\Lumeno SQL Database\\"));
        master->close();
        return name;
    }

    StandinForProgram* standin_ = nullptr;
    QTemporaryDir settingsFolder_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<TestResultRegistry> registry_;
    std::unique_ptr<dbport::Provider> provider_;
};

} // namespace sqllumo::testing
