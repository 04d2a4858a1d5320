// sqllumo archive import as a process against a stand-in: the exit status says whether the
// archive arrived whole, and without a terminal the progress comes as plain lines.
#include "AccessArchiveFixture.h"
#include "OwnedChild.h"
#include "StandinForProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace sqllumo::testing;

namespace {

class ImportProcess : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SuiteStandin::start(); }
    static void TearDownTestSuite() { SuiteStandin::stop(); }
    void SetUp() override
    {
        standin_ = SuiteStandin::get();
        ASSERT_NE(standin_, nullptr) << SuiteStandin::error();
        ASSERT_TRUE(home_.isValid());
        ASSERT_TRUE(standin_->makeServerFolder("C:\\Lumeno SQL Database"));
        writeFile("sql.txt", standin_->password().toUtf8() + "\n");
        writeFile("admin.txt", "Vor36Pelin\n");
    }

    QString path(const QString& name) const { return QDir(home_.path()).filePath(name); }
    void writeFile(const QString& name, const QByteArray& content) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    struct Run {
        int exitCode = -1;
        QString out;
    };
    Run import(const QString& database, const QString& source, QStringList extra = {}) const
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home_.path());
        env.insert("HOME", home_.path());
        process.setProcessEnvironment(env);
        process.setChildProcessModifier(DiesWithTest([] { ::setsid(); }));
        QStringList arguments = {
            "archive",          "import",        "--server",
            standin_->server(), "--user",        standin_->user(),
            "--password-file",  path("sql.txt"), "--database",
            database,           "--directory",   "C:\\Lumeno SQL Database",
            "--source",         source,          "--log-folder=" + home_.path()};
        arguments += extra;
        process.start(QCoreApplication::applicationDirPath() + "/sqllumo", arguments);
        EXPECT_TRUE(process.waitForStarted(10000));
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
    }
    // What sqllumo archive inspect says of the file: its exit status and its output.
    Run inspect(const QString& source) const
    {
        QProcess process;
        process.setChildProcessModifier([] { ::setsid(); });
        process.start(QCoreApplication::applicationDirPath() + "/sqllumo",
                      {"archive", "inspect", "--source", source});
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
    }
    QString archive(SourceArchive content, const char* stem) const
    {
        QString error;
        const QString file = path(QString::fromLatin1(stem) + ".mdb");
        EXPECT_TRUE(WriteAccessFile(content, file, error)) << error.toStdString();
        return file;
    }

    StandinForProgram* standin_ = nullptr;
    QTemporaryDir home_;
};

} // namespace

TEST_F(ImportProcess, ACompleteImportExitsZeroWithPlainProgressLines)
{
    const Run run = import("CliImported", archive(SmallArchive(), "small"),
                           {"--admin-password-file", path("admin.txt")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("Database CliImported has been created and imported successfully"))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("\nCopying table T_Patient\n"));
    EXPECT_TRUE(run.out.contains("\nabout table T_File\n"));
    EXPECT_FALSE(run.out.contains('\r'));
    EXPECT_TRUE(run.out.contains("Table T_Patient: 4 rows in the source, 4 in the database"));
    // The inspection without a server foresaw it.
    EXPECT_EQ(inspect(path("small.mdb")).exitCode, 0);
}

TEST_F(ImportProcess, AnImportThatFallsShortOrIsRefusedExitsOne)
{
    SourceArchive faulty = SmallArchive();
    FindSourceTable(faulty, "T_Patient")->set(2, "M_Name", QVariant());
    const QString file = archive(faulty, "faulty");
    const Run partial = import("CliPartial", file, {"--admin-password-file", path("admin.txt")});
    EXPECT_EQ(partial.exitCode, 1) << partial.out.toStdString();
    EXPECT_TRUE(partial.out.contains("has been created successfully but not fully imported"));
    const Run foreseen = inspect(file);
    EXPECT_EQ(foreseen.exitCode, 1);
    EXPECT_TRUE(foreseen.out.contains("NULL: T_Patient, ID_Patient 2: M_Name is NULL"))
        << foreseen.out.toStdString();

    // Without the administrator password and without a terminal to ask on, nothing happens.
    const Run refused = import("CliRefused", file);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_FALSE(refused.out.contains("START to DEFINE TABLES"));
}
