#include "ReportLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>

namespace sqllumo {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
const QString kStars = QString(50, QLatin1Char('*'));
} // namespace

QString ReportLogPath(const QString& folder)
{
    const QString dir = folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
    return QDir(dir).filePath(kReportLogFileName);
}

QString FormatReportBlock(const QString& report, const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    const QString stamp = locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                          locale.toString(when.time(), QLocale::LongFormat);
    return kCrLf + kStars + kCrLf + stamp + kCrLf + kStars + kCrLf + report + kCrLf;
}

bool FlushReportToLog(ReportBuffer& buffer, QString* errorText, const QString& folder)
{
    if (buffer.isEmpty())
        return true;
    QFile log(ReportLogPath(folder));
    // The file and the reason, so the person knows what to mend.
    const auto failed = [&] {
        if (errorText)
            *errorText = QStringLiteral("cannot write the report log %1: %2")
                             .arg(QDir::toNativeSeparators(log.fileName()), log.errorString());
        return false;
    };
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
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
