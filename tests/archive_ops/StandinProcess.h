#pragma once
// Starts the stand-in SQL Server as its own documented command line does
// ("sqlserver-standin --data DIR --port 0" answers "ready on ADDR:PORT" and keeps the sa
// password in DIR/sa-password), and stops it again.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>

namespace sqllumo::testing {

class StandinProcess {
public:
    static QString binary()
    {
        return QDir(QCoreApplication::applicationDirPath()).filePath("sqlserver-standin");
    }

    // False with error set when it could not be started or did not get ready in time.
    bool start(QString& error)
    {
        if (!data_.isValid()) {
            error = "no temporary folder";
            return false;
        }
        process_ = std::make_unique<QProcess>();
        process_->setProcessChannelMode(QProcess::SeparateChannels);
        process_->start(binary(), {"--data", data_.path(), "--port", "0"});
        if (!process_->waitForStarted(10000)) {
            error = "cannot start " + binary() + ": " + process_->errorString();
            return false;
        }
        static const QRegularExpression ready(R"(ready on ([^\s:]+):(\d+))");
        QByteArray seen;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 30000) {
            process_->waitForReadyRead(200);
            seen += process_->readAllStandardOutput();
            const auto match = ready.match(QString::fromUtf8(seen));
            if (match.hasMatch()) {
                port_ = match.captured(2).toInt();
                QFile secret(QDir(data_.path()).filePath("sa-password"));
                if (!secret.open(QIODevice::ReadOnly)) {
                    error = "no sa-password in the data folder";
                    return false;
                }
                password_ = QString::fromUtf8(secret.readLine()).trimmed();
                // As on a technician's server, the program's default folders exist already.
                makeServerFolder(QStringLiteral("C:\\Lumeno SQL Database\\Backup\\"));
                return true;
            }
            if (process_->state() != QProcess::Running)
                break;
        }
        error = "the stand-in did not get ready: " + QString::fromUtf8(seen) +
                QString::fromUtf8(process_->readAllStandardError());
        return false;
    }

    ~StandinProcess()
    {
        if (process_ && process_->state() == QProcess::Running) {
            process_->terminate();
            if (!process_->waitForFinished(10000)) {
                process_->kill();
                process_->waitForFinished(5000);
            }
        }
    }

    QString server() const { return QStringLiteral("127.0.0.1,%1").arg(port_); }
    QString user() const { return QStringLiteral("sa"); }
    const QString& password() const { return password_; }
    QString dataFolder() const { return data_.path(); }

    // Where the stand-in keeps what a Windows path names on the server (C:\dir\f -> DATA/C/dir/f).
    QString hostPath(const QString& windowsPath) const
    {
        QString relative = windowsPath;
        relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
        relative.remove(QLatin1Char(':'));
        return QDir(data_.path()).filePath(relative);
    }
    // Creates the folder a Windows path names on the server.
    bool makeServerFolder(const QString& windowsPath) const
    {
        return QDir().mkpath(hostPath(windowsPath));
    }

private:
    QTemporaryDir data_;
    std::unique_ptr<QProcess> process_;
    int port_ = 0;
    QString password_;
};

// The one stand-in of a test suite: started by its SetUpTestSuite, stopped by its
// TearDownTestSuite; a test asserts that it is there before using it.
class SuiteStandin {
public:
    static void start()
    {
        process_ = std::make_unique<StandinProcess>();
        if (!process_->start(error_))
            process_.reset();
    }
    static void stop() { process_.reset(); }
    static StandinProcess* get() { return process_.get(); }
    static std::string error() { return error_.toStdString(); }

private:
    static inline std::unique_ptr<StandinProcess> process_;
    static inline QString error_;
};

} // namespace sqllumo::testing
