#pragma once
// One stand-in server per test program, and a fresh database on it for each test, reached
// through the program's own connection strings.

#include "ConnectionStrings.h"
#include "StandinServer.h"

#include "Connection.h"

#include <gtest/gtest.h>

#include <QString>

#include <memory>

namespace sqllumo::db::itest {

class StandinTest : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        if (!server_)
            server_ = std::make_unique<standin::testing::StandinServer>();
    }
    static void TearDownTestSuite() { server_.reset(); }

protected:
    void SetUp() override
    {
        database_ = QStringLiteral("DbLayer%1").arg(++counter_);
        Connection master;
        master.open(connectionString(QStringLiteral("master")));
        master.execute(QStringLiteral("CREATE DATABASE ") + database_);
        master.close();
        connection_.open(connectionString(database_));
    }
    void TearDown() override { connection_.close(); }

    static QString serverName() { return QString::fromStdString(server_->serverName()); }
    static QString saPassword() { return QString::fromStdString(server_->saPassword()); }
    static QString connectionString(const QString& database)
    {
        return BuildConnectionString(serverName(), database, QStringLiteral("sa"), saPassword());
    }
    QString connectionString() const { return connectionString(database_); }

    QString database_;
    Connection connection_;

private:
    static inline std::unique_ptr<standin::testing::StandinServer> server_;
    static inline int counter_ = 0;
};

} // namespace sqllumo::db::itest
