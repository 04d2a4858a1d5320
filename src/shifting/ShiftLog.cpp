// Writing the shift log: POSIX calls, so the folder and the file are owner-only from their first
// byte, links planted in their place are refused, and each write is synced to disk.
#include "ShiftLog.h"

#include "ReportLog.h"
#include "ShiftTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sqllumo::shifting {

namespace {

QString systemError(int number)
{
    return QString::fromLocal8Bit(std::strerror(number));
}

// The log's folder made or found as a real folder of this user, closed to everyone else.
// 0 on success, else the errno to report (ENOTDIR, EPERM for a folder of someone else's).
int preparePrivateFolder(const QString& folder)
{
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return errno;
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode))
        return ENOTDIR;
    if (info.st_uid != ::geteuid())
        return EPERM;
    if ((info.st_mode & 077) != 0 && ::chmod(name.constData(), 0700) != 0)
        return errno;
    return 0;
}

QString folderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

} // namespace

QString ShiftLogPath(const QString& folder)
{
    // Inside the report log's folder, so an installed program's logs sit side by side.
    const QString dir =
        folder.isEmpty() ? LogFolderFor(QCoreApplication::applicationDirPath()) : folder;
    return QDir(QDir(dir).filePath(kShiftLogFolderName)).filePath(kShiftLogFileName);
}

QString SetAsideLogPath(const QString& logPath)
{
    return QDir(folderOf(logPath)).filePath(kSetAsideLogFileName);
}

namespace {

// "(date time) source: ", the same for every line of one write.
QString lineHead(const QString& source, const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    return QLatin1Char('(') + locale.toString(when.date(), QLocale::ShortFormat) +
           QLatin1Char(' ') + when.time().toString(QStringLiteral("HH:mm:ss")) +
           QStringLiteral(") ") + source + QStringLiteral(": ");
}

} // namespace

QString ShiftLogLine(const QString& source, const QString& text, const QDateTime& when)
{
    return lineHead(source, when) + text + QStringLiteral("\r\n");
}

void SetAsideFullLog(const QString& logPath)
{
    const QString folder = folderOf(logPath);
    if (preparePrivateFolder(folder) != 0)
        return; // the move's first write reports it
    const QByteArray log = QFile::encodeName(logPath);
    struct stat info {};
    if (QFileInfo(folder).fileName() == kShiftLogFolderName &&
        ::lstat(log.constData(), &info) != 0) {
        // An older version kept the log open to view beside the report log.
        const QByteArray older =
            QFile::encodeName(QDir(QFileInfo(folder).absolutePath()).filePath(kShiftLogFileName));
        struct stat olderInfo {};
        if (::lstat(older.constData(), &olderInfo) == 0 && S_ISREG(olderInfo.st_mode) &&
            olderInfo.st_uid == ::geteuid() && ::rename(older.constData(), log.constData()) == 0) {
            [[maybe_unused]] const int tightened = ::chmod(log.constData(), 0600);
        }
    }
    if (::lstat(log.constData(), &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_size > kShiftLogLimit) {
        // rename replaces the older set-aside log in one step; when it fails the log grows on.
        [[maybe_unused]] const int renamed =
            ::rename(log.constData(), QFile::encodeName(SetAsideLogPath(logPath)).constData());
    }
}

ShiftLogWriter::ShiftLogWriter(QString path) : path_(std::move(path)) {}

ShiftLogWriter::~ShiftLogWriter()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool ShiftLogWriter::fail(int number, const QString& what)
{
    errorNumber_ = number;
    error_ = texts::kShiftLogNotWritten.arg(QDir::toNativeSeparators(what), systemError(number));
    return false;
}

bool ShiftLogWriter::open()
{
    const QString folder = folderOf(path_);
    if (const int failed = preparePrivateFolder(folder))
        return fail(failed, folder);
    const QByteArray file = QFile::encodeName(path_);
    fd_ = ::open(file.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        return fail(errno, path_);
    const auto refuse = [this](int number, const QString& what) {
        ::close(fd_);
        fd_ = -1;
        return fail(number, what);
    };
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        return refuse(EPERM, path_);
    // A log left by an older build may be wider open than its contents allow.
    if ((info.st_mode & 077) != 0 && ::fchmod(fd_, 0600) != 0)
        return refuse(errno, path_);
    // A file just made is only found again after a crash once its folder's entry is on disk.
    const int dir =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return refuse(errno, folder);
    const int synced = ::fsync(dir);
    const int syncError = errno;
    ::close(dir);
    if (synced != 0)
        return refuse(syncError, folder);
    return true;
}

bool ShiftLogWriter::write(const QString& source, const QStringList& texts)
{
    if (fd_ < 0 && !open())
        return false;
    const QString head = lineHead(source, QDateTime::currentDateTime());
    QString lines;
    for (const QString& text : texts)
        lines += head + text + QStringLiteral("\r\n");
    const QByteArray bytes = lines.toUtf8();
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(fd_, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : ENOSPC, path_);
        written += n;
    }
    if (::fdatasync(fd_) != 0)
        return fail(errno, path_);
    return true;
}

bool AppendLogLine(const QString& path, const QString& source, const QString& text)
{
    ShiftLogWriter writer(path);
    return writer.write(source, text);
}

} // namespace sqllumo::shifting
