// Writing the shift log: POSIX calls so the file is created owner-only from its first byte,
// and every error is swallowed.
#include "ShiftLog.h"

#include "ReportLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sqllumo::shifting {

QString ShiftLogPath(const QString& folder)
{
    // Same folder as the report log, so an installed program's logs sit side by side.
    const QString dir =
        folder.isEmpty() ? LogFolderFor(QCoreApplication::applicationDirPath()) : folder;
    return QDir(dir).filePath(kShiftLogFileName);
}

QString ShiftLogLine(const QString& source, const QString& text, const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    return QLatin1Char('(') + locale.toString(when.date(), QLocale::ShortFormat) +
           QLatin1Char(' ') + when.time().toString(QStringLiteral("HH:mm:ss")) +
           QStringLiteral(") ") + source + QStringLiteral(": ") + text + QStringLiteral("\r\n");
}

void AppendLogLine(const QString& path, const QString& source, const QString& text)
{
    const QByteArray file = QFile::encodeName(path);
    struct stat info {};
    if (::stat(file.constData(), &info) == 0 && info.st_size > kShiftLogLimit)
        ::unlink(file.constData());
    const int fd = ::open(file.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    // A log left by an older build may be wider open than its contents allow.
    [[maybe_unused]] const int tightened = ::fchmod(fd, 0600);
    const QByteArray bytes = ShiftLogLine(source, text, QDateTime::currentDateTime()).toUtf8();
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += n;
    }
    ::close(fd);
}

} // namespace sqllumo::shifting
