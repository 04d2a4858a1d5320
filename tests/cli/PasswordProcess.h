// sqllumo password run against a stand-in the test suite starts, with what it stored read
// back through the database layer.
#pragma once

#include "SqllumoProcess.h"
#include "StoredRows.h"

namespace sqllumo::testing {

class PasswordProcess : public SqllumoProcess {
protected:
    static void SetUpTestSuite() { SuiteStandin::start(); }
    static void TearDownTestSuite() { SuiteStandin::stop(); }
    void SetUp() override
    {
        SqllumoProcess::SetUp();
        standin_ = SuiteStandin::get();
        ASSERT_NE(standin_, nullptr) << SuiteStandin::error();
        writeFile("sql", standin_->password().toUtf8() + "\n");
    }
    // The function (one word or two) with the stand-in's server and login.
    ProcessRun password(const QString& function, QStringList options,
                        const QByteArray& input = {}) const
    {
        options = QStringList{"password"} + function.split(' ') +
                  QStringList{"--server",       standin_->server(), "--user",
                              standin_->user(), "--password-file",  path("sql")} +
                  options;
        return run(options, input);
    }
    // A current password database made by the program; its administrator password is the
    // first line of the file "admin" the test wrote.
    void create(const QString& name)
    {
        const ProcessRun created =
            password("create", {"--database", name, "--directory", "C:\\Lumeno SQL Database\\",
                                "--admin-password-file", path("admin")});
        ASSERT_EQ(created.exitCode, 0) << created.out.toStdString() << created.err.toStdString();
    }
    static QStringList column(const QString& database, const QString& query)
    {
        return FirstColumn(*standin_, database, query);
    }
    static void execute(const QString& database, const QStringList& statements)
    {
        ExecuteOn(*standin_, database, statements);
    }

    static inline StandinForProgram* standin_ = nullptr;
};

} // namespace sqllumo::testing
