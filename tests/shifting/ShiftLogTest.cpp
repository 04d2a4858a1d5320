// The shift log on its own: the line's shape, the full log set aside (never deleted) before a
// move, the owner-only folder and file, and failures that are reported.
#include "ShiftLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>

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

TEST(ShiftLog, AFullLogIsSetAsideBeforeAMoveAndNeverDeleted)
{
    QTemporaryDir folder;
    const QString path = ShiftLogPath(folder.path());
    const QString aside = SetAsideLogPath(path);
    EXPECT_EQ(QFileInfo(aside).fileName(), "logShiftDBFields.1.log");
    EXPECT_EQ(QFileInfo(aside).absolutePath(), QFileInfo(path).absolutePath());
    ASSERT_TRUE(AppendLogLine(path, "GestioneDBPazienti", "first"));
    {
        QFile file(path);
        ASSERT_TRUE(file.resize(kShiftLogLimit));
    }
    // At the limit it is kept; writing never sets anything aside, however large the log.
    SetAsideFullLog(path);
    EXPECT_FALSE(QFile::exists(aside));
    ASSERT_TRUE(AppendLogLine(path, "GestioneDBPazienti", "kept"));
    EXPECT_GT(QFileInfo(path).size(), kShiftLogLimit);
    ASSERT_TRUE(AppendLogLine(path, "GestioneDBPazienti", "still kept"));
    EXPECT_FALSE(QFile::exists(aside));

    // Past it, the next move starts a new log and the full one replaces an older set-aside log.
    {
        QFile older(aside);
        ASSERT_TRUE(older.open(QIODevice::WriteOnly));
        older.write("older\r\n");
    }
    const qint64 full = QFileInfo(path).size();
    SetAsideFullLog(path);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(QFileInfo(aside).size(), full);
    EXPECT_TRUE(contents(aside).endsWith(") GestioneDBPazienti: still kept\r\n"));
    ASSERT_TRUE(AppendLogLine(path, "GestioneDBPazienti", "fresh"));
    EXPECT_TRUE(contents(path).endsWith(") GestioneDBPazienti: fresh\r\n"));
    EXPECT_EQ(contents(path).count("\r\n"), 1);
}

TEST(ShiftLog, ItsFolderIsItsOwnersAloneAndALogLeftBesideTheReportLogMovesIn)
{
    QTemporaryDir folder;
    const QString path = ShiftLogPath(folder.path());
    const QString logFolder = QFileInfo(path).absolutePath();
    EXPECT_EQ(QFileInfo(logFolder).absolutePath(), QFileInfo(folder.path()).absoluteFilePath());
    // An older version's log, beside the report log and open to everyone.
    const QString older = QDir(folder.path()).filePath("logShiftDBFields.log");
    {
        QFile file(older);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("(1/1/20 10:00:00) GestioneDBPazienti: old line\r\n");
        file.setPermissions(file.permissions() | QFile::ReadOther | QFile::ReadGroup);
    }
    SetAsideFullLog(path);
    EXPECT_FALSE(QFile::exists(older));
    EXPECT_TRUE(contents(path).contains("old line"));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFile::permissions(path) & others, QFile::Permissions());
    EXPECT_EQ(QFile::permissions(logFolder) & others, QFile::Permissions());

    // A folder opened up since is closed again by the next write.
    ASSERT_TRUE(QFile::setPermissions(logFolder, QFile::permissions(logFolder) | QFile::ReadOther |
                                                     QFile::ExeOther));
    ASSERT_TRUE(AppendLogLine(path, "Gen_ShiftDBField", "x"));
    EXPECT_EQ(QFile::permissions(logFolder) & others, QFile::Permissions());
}

TEST(ShiftLog, AWriteThatFailsSaysSoAndNamesTheFile)
{
    QTemporaryDir folder;
    // A link in the folder's place is not followed.
    const QString elsewhere = QDir(folder.path()).filePath("elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, QDir(folder.path()).filePath("shift-log")));
    ShiftLogWriter linked(ShiftLogPath(folder.path()));
    EXPECT_FALSE(linked.write("Gen_ShiftDBField", "x"));
    EXPECT_EQ(linked.errorNumber(), ENOTDIR);
    EXPECT_TRUE(linked.error().startsWith(
        "The shift log " + QDir(folder.path()).filePath("shift-log") + " cannot be written: "))
        << linked.error().toStdString();
    EXPECT_TRUE(QDir(elsewhere).isEmpty());

    // A folder where the file should be.
    QTemporaryDir second;
    const QString path = ShiftLogPath(second.path());
    ASSERT_TRUE(QDir().mkpath(path));
    ShiftLogWriter blocked(path);
    EXPECT_FALSE(blocked.write("Gen_ShiftDBField", QStringList{"a", "b"}));
    EXPECT_TRUE(blocked.error().startsWith("The shift log " + path + " cannot be written: "));
    EXPECT_FALSE(AppendLogLine(path, "Gen_ShiftDBField", "x"));
}

TEST(ShiftLog, AnExistingLogOpenToOthersIsClosedToThemAndUnwritablePlacesFail)
{
    QTemporaryDir folder;
    const QString path = ShiftLogPath(folder.path());
    ASSERT_TRUE(AppendLogLine(path, "Gen_ShiftDBField", "x"));
    ASSERT_TRUE(QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOther |
                                                QFile::ReadGroup));
    ASSERT_TRUE(AppendLogLine(path, "Gen_ShiftDBField", "x"));
    EXPECT_FALSE(QFile(path).permissions() & (QFile::ReadOther | QFile::ReadGroup));

    // No folder above it: nothing written, and the caller learns it.
    const QString missing = QDir(folder.path()).filePath("missing/shift-log/log.log");
    EXPECT_FALSE(AppendLogLine(missing, "Gen_ShiftDBField", "x"));
    EXPECT_FALSE(QFile::exists(missing));
}
