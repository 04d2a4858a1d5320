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
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (errorText)
            *errorText = log.errorString();
        return false;
    }
    const QByteArray bytes =
        FormatReportBlock(buffer.text(), QDateTime::currentDateTime()).toUtf8();
    if (log.write(bytes) != bytes.size() || !log.flush()) {
        if (errorText)
            *errorText = log.errorString();
        return false;
    }
    log.close();
    buffer.clear();
    return true;
}

} // namespace sqllumo
