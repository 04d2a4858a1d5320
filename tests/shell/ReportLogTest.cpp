// The report log: its blocks, their date and time, and where the log goes.
#include "ReportLog.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sqllumo;

namespace {
QByteArray readLog(const QString& folder)
{
    QFile f(ReportLogPath(folder));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
const QByteArray kStars(50, '*');
} // namespace

TEST(ReportLog, EmptyBufferWritesNothing)
{
    QTemporaryDir dir;
    ReportBuffer buffer;
    QString error;
    EXPECT_TRUE(FlushReportToLog(buffer, &error, dir.path()));
    EXPECT_FALSE(QFile::exists(ReportLogPath(dir.path())));
}

TEST(ReportLog, TwoFlushesAppendTwoBlocksAndEmptyTheBuffer)
{
    QTemporaryDir dir;
    ReportBuffer buffer;
    buffer.setText("Database A has been created\r\nsecond line");
    ASSERT_TRUE(FlushReportToLog(buffer, nullptr, dir.path()));
    EXPECT_TRUE(buffer.isEmpty());
    buffer.setText("Database B has been removed");
    ASSERT_TRUE(FlushReportToLog(buffer, nullptr, dir.path()));

    const QList<QByteArray> lines = readLog(dir.path()).split('\n');
    // Each block: "", stars, stamp, stars, report lines...; every record ends in CR LF.
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[0], "\r");
    EXPECT_EQ(lines[1], kStars + "\r");
    EXPECT_FALSE(lines[2].trimmed().isEmpty());
    EXPECT_EQ(lines[3], kStars + "\r");
    EXPECT_EQ(lines[4], "Database A has been created\r");
    EXPECT_EQ(lines[5], "second line\r");
    EXPECT_EQ(lines[6], "\r");
    EXPECT_EQ(lines[7], kStars + "\r");
    EXPECT_EQ(lines[9], kStars + "\r");
    EXPECT_EQ(lines[10], "Database B has been removed\r");
    EXPECT_EQ(lines[11], "");
}

TEST(ReportLog, IsReadableByItsOwnerOnlyAlsoWhenAnOlderOneWasOpenToOthers)
{
    QTemporaryDir dir;
    ReportBuffer buffer;
    buffer.setText("Database A has been created");
    ASSERT_TRUE(FlushReportToLog(buffer, nullptr, dir.path()));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFile::permissions(ReportLogPath(dir.path())) & others, QFile::Permissions());
    ASSERT_TRUE(QFile::setPermissions(ReportLogPath(dir.path()),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    buffer.setText("Database B has been removed");
    ASSERT_TRUE(FlushReportToLog(buffer, nullptr, dir.path()));
    EXPECT_EQ(QFile::permissions(ReportLogPath(dir.path())) & others, QFile::Permissions());
    EXPECT_EQ(readLog(dir.path()).count(kStars), 4);
}

TEST(ReportLog, StampIsTheLocalesShortDateAndTheTimeWithSecondsWithoutTimeZone)
{
    struct Row {
        QLocale locale;
        QString stamp;
    };
    const Row rows[] = {
        {QLocale(QLocale::English, QLocale::UnitedKingdom), "06/12/2026 07:17:26"},
        {QLocale(QLocale::German, QLocale::Germany), "06.12.26 07:17:26"},
        {QLocale(QLocale::English, QLocale::UnitedStates), "12/6/26 7:17:26 AM"},
        {QLocale::c(), "6 Dec 2026 07:17:26"},
    };
    const QDateTime when(QDate(2026, 12, 6), QTime(7, 17, 26));
    for (const Row& row : rows) {
        QLocale::setDefault(row.locale);
        EXPECT_EQ(FormatReportBlock("R", when), "\r\n" + QString(50, '*') + "\r\n" + row.stamp +
                                                    "\r\n" + QString(50, '*') + "\r\nR\r\n")
            << row.locale.name().toStdString();
    }
    QLocale::setDefault(QLocale::system());
}

TEST(ReportLog, GoesToTheUsersDataFolderWhereTheProgramsFolderCannotBeWritten)
{
    QTemporaryDir program;
    QTemporaryDir home;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    EXPECT_EQ(LogFolderFor(program.path()), program.path());

    // A folder that cannot exist (beneath a file) stands for one without write access, which
    // the superuser running CI would have everywhere.
    QFile file(program.filePath("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString fallback = home.path() + "/SQLLumoManager";
    EXPECT_EQ(LogFolderFor(program.filePath("file/bin")), fallback);
    EXPECT_TRUE(QFileInfo(fallback).isDir());
    ReportBuffer buffer;
    buffer.setText("kept");
    ASSERT_TRUE(FlushReportToLog(buffer, nullptr, LogFolderFor(program.filePath("file/bin"))));
    EXPECT_TRUE(readLog(fallback).endsWith("kept\r\n"));

    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
}

TEST(ReportLog, UnwritableLogIsAnErrorAndKeepsTheBuffer)
{
    QTemporaryDir dir;
    ReportBuffer buffer;
    buffer.setText("keep me");
    QString error;
    EXPECT_FALSE(FlushReportToLog(buffer, &error, dir.filePath("no/such/folder")));
    // The message names the file and the reason.
    EXPECT_TRUE(error.startsWith("cannot write the report log " +
                                 dir.filePath("no/such/folder/SQLLumoManager Report.log") + ": "))
        << error.toStdString();
    EXPECT_GT(error.size(), error.indexOf(": ") + 2);
    EXPECT_EQ(buffer.text(), "keep me");
}
