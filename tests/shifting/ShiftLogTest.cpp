// The shift log on its own: the line's shape, the restart past 10,000,000 bytes, owner-only
// files and failures that must pass silently.
#include "ShiftLog.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sqllumo::shifting;

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(ShiftLog, LinesCarryStampSourceAndTextEndingInCrLf)
{
    const QDateTime when(QDate(2026, 12, 6), QTime(7, 17, 26));
    EXPECT_EQ(ShiftLogLine("Gen_ShiftDBField", "Shifting ID1 to ID2", when),
              "(" + QLocale::system().toString(when.date(), QLocale::ShortFormat) +
                  " 07:17:26) Gen_ShiftDBField: Shifting ID1 to ID2\r\n");

    QTemporaryDir folder;
    const QString path = ShiftLogPath(folder.path());
    EXPECT_EQ(QFileInfo(path).fileName(), "logShiftDBFields.log");
    AppendLogLine(path, "Gen_ShiftDBField", "one");
    AppendLogLine(path, "GestioneDBPazienti", QString::fromUtf8("Rossi, Zoë"));
    const QString text = QString::fromUtf8(contents(path));
    const QStringList lines = text.split("\r\n");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(") Gen_ShiftDBField: one"));
    EXPECT_TRUE(lines[1].endsWith(QString::fromUtf8(") GestioneDBPazienti: Rossi, Zoë")));
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(QFile(path).permissions() &
                  ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
              QFile::Permissions());
}

TEST(ShiftLog, AFileLargerThanTheLimitIsStartedAnewAndOneAtTheLimitGrows)
{
    QTemporaryDir folder;
    const QString path = ShiftLogPath(folder.path());
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(kShiftLogLimit));
    }
    AppendLogLine(path, "GestioneDBPazienti", "kept");
    const qint64 grown = QFileInfo(path).size();
    EXPECT_GT(grown, kShiftLogLimit);

    AppendLogLine(path, "GestioneDBPazienti", "fresh");
    const QByteArray after = contents(path);
    EXPECT_LT(after.size(), 100);
    EXPECT_TRUE(after.endsWith(") GestioneDBPazienti: fresh\r\n"));
    EXPECT_EQ(after.count("\r\n"), 1);
}

TEST(ShiftLog, AnExistingLogOpenToOthersIsClosedToThemAndUnwritablePlacesAreIgnored)
{
    QTemporaryDir folder;
    const QString path = ShiftLogPath(folder.path());
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.setPermissions(file.permissions() | QFile::ReadOther | QFile::ReadGroup);
    }
    AppendLogLine(path, "Gen_ShiftDBField", "x");
    EXPECT_FALSE(QFile(path).permissions() & (QFile::ReadOther | QFile::ReadGroup));

    // No folder, a folder as the file: nothing written, nothing thrown.
    AppendLogLine(QDir(folder.path()).filePath("missing/log.log"), "Gen_ShiftDBField", "x");
    EXPECT_FALSE(QFile::exists(QDir(folder.path()).filePath("missing/log.log")));
    AppendLogLine(folder.path(), "Gen_ShiftDBField", "x");
    EXPECT_TRUE(QFileInfo(folder.path()).isDir());
}
