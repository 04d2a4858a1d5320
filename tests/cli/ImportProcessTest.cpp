// sqllumo archive import as a process against a stand-in: the exit status says whether the
// archive arrived whole, was declined or was stopped by a signal, and without a terminal the
// progress comes as plain lines.
#include "AccessArchiveFixture.h"
#include "OwnedChild.h"
#include "StandinForProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

#include <signal.h>
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
        QString err;
        QProcess::ExitStatus status = QProcess::NormalExit;
    };
    // Runs the import; with a signal, sends it once the output shows stopAfter.
    Run import(const QString& database, const QString& source, QStringList extra = {},
               int signal = 0, const QString& stopAfter = {}) const
    {
        QStringList arguments = {
            "archive",          "import",        "--server",
            standin_->server(), "--user",        standin_->user(),
            "--password-file",  path("sql.txt"), "--database",
            database,           "--directory",   "C:\\Lumeno SQL Database",
            "--source",         source,          "--log-folder=" + home_.path()};
        return sqllumo(arguments + extra, signal, stopAfter);
    }
    Run sqllumo(const QStringList& arguments, int signal = 0, const QString& stopAfter = {}) const
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home_.path());
        env.insert("HOME", home_.path());
        // Away from the desktop session's keyring.
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        env.insert("XDG_RUNTIME_DIR", home_.path());
        process.setProcessEnvironment(env);
        process.setChildProcessModifier(DiesWithTest([] { ::setsid(); }));
        process.start(QCoreApplication::applicationDirPath() + "/sqllumo", arguments);
        EXPECT_TRUE(process.waitForStarted(10000));
        process.closeWriteChannel();
        QByteArray out;
        if (signal != 0) {
            while (!out.contains(stopAfter.toUtf8()) && process.waitForReadyRead(60000))
                out += process.readAllStandardOutput();
            EXPECT_TRUE(out.contains(stopAfter.toUtf8())) << out.toStdString();
            ::kill(static_cast<pid_t>(process.processId()), signal);
        }
        if (!process.waitForFinished(120000)) {
            ADD_FAILURE() << "sqllumo did not end";
            process.kill();
            process.waitForFinished(10000);
        }
        out += process.readAllStandardOutput();
        return {process.exitCode(), QString::fromUtf8(out),
                QString::fromUtf8(process.readAllStandardError()), process.exitStatus()};
    }
    // What sqllumo archive inspect says of the file: its exit status and its output.
    Run inspect(const QString& source) const
    {
        QProcess process;
        process.setChildProcessModifier(DiesWithTest([] { ::setsid(); }));
        process.start(QCoreApplication::applicationDirPath() + "/sqllumo",
                      {"archive", "inspect", "--source", source});
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(),
                QString::fromUtf8(process.readAllStandardOutput()),
                {},
                process.exitStatus()};
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

TEST_F(ImportProcess, DecliningTheOverwriteDoesNothingAndExitsOne)
{
    const QString file = archive(SmallArchive(), "small");
    const QStringList admin = {"--admin-password-file", path("admin.txt")};
    ASSERT_EQ(import("CliDeclined", file, admin).exitCode, 0);

    // No terminal to ask on and no --yes: the answer is No.
    const Run declined = import("CliDeclined", file, admin);
    EXPECT_EQ(declined.exitCode, 1) << declined.out.toStdString();
    EXPECT_TRUE(declined.out.contains("CliDeclined is already present."));
    EXPECT_TRUE(declined.out.contains("-> No (no terminal)"));
    EXPECT_TRUE(declined.err.contains("sqllumo: nothing was done")) << declined.err.toStdString();
    EXPECT_FALSE(declined.out.contains("START to DEFINE TABLES"));

    const Run again = import("CliDeclined", file, admin + QStringList{"--yes"});
    EXPECT_EQ(again.exitCode, 0) << again.out.toStdString();
    EXPECT_FALSE(again.err.contains("nothing was done"));
}

TEST_F(ImportProcess, PhotosAreNamedWhenLeftOutAndCopiedWithTheOption)
{
    const QString file = archive(SmallArchive(), "photos");
    const QStringList admin = {"--admin-password-file", path("admin.txt")};
    const Run left = import("CliPhotosLeft", file, admin);
    EXPECT_EQ(left.exitCode, 0) << left.out.toStdString();
    EXPECT_TRUE(left.out.contains("has been created and imported successfully\n1 patient had a "
                                  "photo that was not copied.\n"))
        << left.out.toStdString();
    EXPECT_TRUE(left.out.contains("\n1 patient had a photo that was not copied: ID_Patient 1\n"));

    const Run copied = import("CliPhotosCopied", file, admin + QStringList{"--copy-photos"});
    EXPECT_EQ(copied.exitCode, 0) << copied.out.toStdString();
    EXPECT_TRUE(copied.out.contains("\nPhotos copied with their patients: 1\n"));
    EXPECT_FALSE(copied.out.contains("had a photo"));

    // Only the import takes it.
    const Run other = sqllumo({"archive", "test", "--copy-photos"});
    EXPECT_EQ(other.exitCode, 2);
    EXPECT_TRUE(other.err.contains("unknown option \"--copy-photos\"")) << other.err.toStdString();
}

TEST_F(ImportProcess, SigintOrSigtermStopsTheImportBetweenRowsAndExits130)
{
    SourceArchive big = SmallArchive();
    auto& links = FindSourceTable(big, "T_StatisticFileType")->rows;
    links.clear();
    for (int i = 0; i < 20000; ++i)
        links.push_back({1, i});
    const QString file = archive(big, "big");
    for (const int signal : {SIGINT, SIGTERM}) {
        const QString name = QStringLiteral("CliStopped%1").arg(signal);
        const Run run = import(name, file, {"--admin-password-file", path("admin.txt")}, signal,
                               "\nCopying table T_StatisticFileType\n");
        EXPECT_EQ(run.status, QProcess::NormalExit) << signal;
        EXPECT_EQ(run.exitCode, 130) << run.out.toStdString();
        // The report, printed all the same: where it stopped and what was copied.
        const QRegularExpression where(
            "\nThe import was stopped at the user's request at table T_StatisticFileType, "
            "before row (\\d+) of 20000 \\(ID_Mask = 1\\)\\. Copied: the tables before "
            "T_StatisticFileType in full, (\\d+) of the 20000 rows of T_StatisticFileType, none "
            "of the tables after it\\. No key and no index was added\\.\n");
        const QRegularExpressionMatch match = where.match(run.out);
        ASSERT_TRUE(match.hasMatch()) << run.out.toStdString();
        EXPECT_EQ(match.captured(1).toInt(), match.captured(2).toInt() + 1);
        EXPECT_LT(match.captured(2).toInt(), 20000);
        EXPECT_TRUE(run.out.contains("\nreport:\n"));
        EXPECT_TRUE(run.out.contains("The database " + name +
                                     " is left as it is and is "
                                     "incomplete.\n"));
        EXPECT_FALSE(run.out.contains("START to DEFINE INDEXES"));
        QFile log(path("SQLLumoManager Report.log"));
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        EXPECT_TRUE(QString::fromUtf8(log.readAll())
                        .contains("The database " + name + " is left as it is and is incomplete."));
    }
}
