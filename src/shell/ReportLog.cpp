// The report log: one block per operation that reached its end, appended to a text file in the
// program's folder, or in the user's data folder where the program's folder cannot be written.
#include "ReportLog.h"

#include "Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

namespace sqllumo {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
const QString kStars = QString(50, QLatin1Char('*'));

// The locale's long time format without its time-zone part ("t" to "tttt" outside quotes).
QString timeWithSecondsFormat(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        kept += c;
    }
    return kept.simplified();
}

bool canWriteLogIn(const QString& folder)
{
    const QFileInfo log(ReportLogPath(folder));
    if (log.exists())
        return log.isFile() && log.isWritable();
    const QFileInfo dir(folder);
    return dir.isDir() && dir.isWritable();
}
} // namespace

QString UserDataLogFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(kApplicationName);
}

QString LogFolderFor(const QString& programFolder)
{
    if (canWriteLogIn(programFolder))
        return programFolder;
    const QString fallback = UserDataLogFolder();
    QDir().mkpath(fallback);
    return fallback;
}

QString ReportLogPath(const QString& folder)
{
    return QDir(folder).filePath(kReportLogFileName);
}

namespace {
QString plainLines(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    while (text.startsWith(QLatin1Char('\n')))
        text.remove(0, 1);
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}
} // namespace

QString RunDetails(const QString& summary, const QString& report)
{
    const QString first = plainLines(summary);
    const QString second = plainLines(report);
    if (first.isEmpty() || second.isEmpty())
        return first + second;
    return first + QStringLiteral("\n\n") + second;
}

QString FormatReportBlock(const QString& report, const QDateTime& when)
{
    const QLocale locale;
    const QString stamp = locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                          locale.toString(when.time(), timeWithSecondsFormat(locale));
    return kCrLf + kStars + kCrLf + stamp + kCrLf + kStars + kCrLf + report + kCrLf;
}

bool FlushReportToLog(ReportBuffer& buffer, QString* errorText, const QString& folder)
{
    if (buffer.isEmpty())
        return true;
    QFile log(ReportLogPath(folder.isEmpty() ? LogFolderFor(QCoreApplication::applicationDirPath())
                                             : folder));
    // The file and the reason, so the person knows what to mend.
    const auto failed = [&] {
        if (errorText)
            *errorText = QStringLiteral("cannot write the report log %1: %2")
                             .arg(QDir::toNativeSeparators(log.fileName()), log.errorString());
        return false;
    };
    // The reports name patients and databases: the log is its owner's alone, also one made by
    // an older version.
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append, ownerOnly))
        return failed();
    if (!log.setPermissions(ownerOnly))
        return failed();
    const QByteArray bytes =
        FormatReportBlock(buffer.text(), QDateTime::currentDateTime()).toUtf8();
    if (log.write(bytes) != bytes.size() || !log.flush())
        return failed();
    log.close();
    buffer.clear();
    return true;
}

} // namespace sqllumo
