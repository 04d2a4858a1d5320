// Runs sqllumo as its users do: a process with options, files, standard input and no
// terminal, with its settings in a home folder of the test's own.
#pragma once

#include "OwnedChild.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

#include <unistd.h>

namespace sqllumo::testing {

struct ProcessRun {
    int exitCode = -1;
    QString out;
    QString err;
    bool crashed = false; // ended by a signal
};

class SqllumoProcess : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home_.isValid()); }

    QString path(const QString& name) const { return QDir(home_.path()).filePath(name); }
    QString iniPath() const { return path("SQLLumoManager/SQLLumoManager.ini"); }

    void writeFile(const QString& name, const QByteArray& content) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    ProcessRun run(QStringList arguments, const QByteArray& input = {}) const
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home_.path());
        env.insert("HOME", home_.path());
        // Away from the desktop session's keyring; a test that wants a keyring names its own.
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        env.insert("XDG_RUNTIME_DIR", home_.path());
        for (const auto& [name, value] : environment_)
            env.insert(name, value);
        process.setProcessEnvironment(env);
        // A session of its own: no controlling terminal, as under cron.
        process.setChildProcessModifier(DiesWithTest([] { ::setsid(); }));
        if (arguments.size() >= 2 && (arguments[0] == "archive" || arguments[0] == "password") &&
            arguments[1] != "--help") {
            // After the function's name, which is two words for users and roles.
            const bool twoWords =
                (arguments[1] == "user" || arguments[1] == "role") && arguments.size() > 2;
            arguments.insert(twoWords ? 3 : 2, "--log-folder=" + home_.path());
        }
        process.start(QCoreApplication::applicationDirPath() + "/sqllumo", arguments);
        EXPECT_TRUE(process.waitForStarted(10000));
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(30000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError()),
                process.exitStatus() == QProcess::CrashExit};
    }

    QTemporaryDir home_;
    // Set in the environment of the runs that follow.
    std::map<QString, QString> environment_;
};

} // namespace sqllumo::testing
