#include "ReportLog.h"

#include <QFile>
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

TEST(ReportLog, StampIsLocaleShortDateAndLongTime)
{
    const QDateTime when(QDate(2026, 12, 6), QTime(7, 17, 26));
    const QLocale locale = QLocale::system();
    const QString expected = QStringLiteral("\r\n") + QString(50, '*') + "\r\n" +
                             locale.toString(when.date(), QLocale::ShortFormat) + " " +
                             locale.toString(when.time(), QLocale::LongFormat) + "\r\n" +
                             QString(50, '*') + "\r\nR\r\n";
    EXPECT_EQ(FormatReportBlock("R", when), expected);
    EXPECT_TRUE(FormatReportBlock("R", when).contains("17"));
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
