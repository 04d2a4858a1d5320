#pragma once
// The dispatcher against a stand-in started for the test binary, through the real ODBC path;
// settings and report log in a temporary folder per test, a fresh database name per use.

#include "ArchiveIndexes.h"
#include "ConnectionStrings.h"
#include "DispatcherHarness.h"
#include "FunctionCatalogue.h"
#include "ServerProvider.h"
#include "ServerStatements.h"
#include "StandinForProgram.h"

namespace sqllumo::testing {

class ArchiveOpsHarness : public DispatcherHarness {
protected:
    static void SetUpTestSuite() { SuiteStandin::start(); }
    static void TearDownTestSuite() { SuiteStandin::stop(); }

    void SetUp() override
    {
        standin_ = SuiteStandin::get();
        ASSERT_NE(standin_, nullptr) << SuiteStandin::error();
        DispatcherHarness::SetUp();
        provider_ = server::MakeServerProvider();
        functions_ = CatalogueFunctions();
        services_.database = provider_.get();
        makeDispatcher();
        host_.values.server = standin_->server();
        host_.values.user = standin_->user();
        host_.values.password = standin_->password();
    }

    static QString freshName(const char* stem)
    {
        static int counter = 0;
        return QStringLiteral("%1_%2").arg(QString::fromLatin1(stem)).arg(++counter);
    }
    QString connectionString(const QString& database) const
    {
        return BuildConnectionString(standin_->server(), database, standin_->user(),
                                     standin_->password());
    }
    // A connection of the test's own, to look at what an operation left behind.
    std::unique_ptr<dbport::Connection> connect(const QString& database) const
    {
        auto connection = provider_->newConnection();
        connection->open(connectionString(database));
        return connection;
    }
    void execute(const QString& database, const QStringList& statements) const
    {
        auto connection = connect(database);
        for (const QString& statement : statements)
            connection->execute(statement);
        connection->close();
    }
    dbport::ResultSet query(const QString& database, const QString& statement) const
    {
        auto connection = connect(database);
        dbport::ResultSet rows = connection->query(statement);
        connection->close();
        return rows;
    }
    void createEmptyDatabase(const QString& name) const
    {
        execute("master", {server::CreateDatabaseStatement(name, "C:\\Lumeno SQL Database\\")});
    }
    bool databaseExists(const QString& name) const
    {
        const dbport::ResultSet rows = query("master", "sp_helpdb");
        for (size_t i = 0; i < rows.rowCount(); ++i)
            if (rows.text(i, "name").compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }
    // Runs a function from OK with the given panel fields.
    std::optional<OperationOutcome> press(int index, const QString& database,
                                          const QString& third = {}, const QString& fourth = {})
    {
        host_.values.database = database;
        host_.values.thirdField = third;
        host_.values.fourthField = fourth;
        return dispatcher_->ok(index);
    }

    StandinForProgram* standin_ = nullptr;
    std::unique_ptr<dbport::Provider> provider_;
};

} // namespace sqllumo::testing
