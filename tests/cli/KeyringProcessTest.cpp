// The SQL password in a desktop keyring: sqllumo against a stand-in, inside a session bus of
// the test's own (dbus-run-session) with gnome-keyring-daemon unlocked for the test. The
// keyring is read back by secret-tool as well as by the next run; without a Secret Service
// the settings file keeps the password.
#include "KeyringSecretStore.h"
#include "Settings.h"
#include "SqllumoProcess.h"
#include "StandinForProgram.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <sys/prctl.h>

using sqllumo::testing::ProcessRun;
using sqllumo::testing::SqllumoProcess;
using sqllumo::testing::SuiteStandin;

namespace {

const QString kSecretService = QStringLiteral("org.freedesktop.secrets");
const char kSessionMark[] = "SQLLUMO_KEYRING_SESSION";

class KeyringProcess : public SqllumoProcess {
protected:
    static void SetUpTestSuite() { SuiteStandin::start(); }
    static void TearDownTestSuite() { SuiteStandin::stop(); }

    void SetUp() override
    {
        SqllumoProcess::SetUp();
        ASSERT_NE(SuiteStandin::get(), nullptr) << SuiteStandin::error();
        ASSERT_TRUE(QDir().mkpath(path("run")));
        QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment_ = {
            {"XDG_DATA_HOME", path(".local/share")},
            {"XDG_RUNTIME_DIR", path("run")},
            {"DBUS_SESSION_BUS_ADDRESS", qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS")}};
        writeFile("sa.txt", SuiteStandin::get()->password().toUtf8() + "\n");
    }

    void TearDown() override
    {
        if (keyring_.state() == QProcess::NotRunning)
            return;
        keyring_.terminate();
        if (!keyring_.waitForFinished(10000)) {
            keyring_.kill();
            keyring_.waitForFinished(10000);
        }
        // Gone from the bus before the next test of this run looks for a keyring.
        QElapsedTimer waited;
        waited.start();
        while (QDBusConnection::sessionBus().interface()->isServiceRegistered(kSecretService) &&
               waited.elapsed() < 10000)
            QThread::msleep(50);
    }

    QProcessEnvironment childEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home_.path());
        env.insert("XDG_CONFIG_HOME", home_.path());
        for (const auto& [name, value] : environment_)
            env.insert(name, value);
        return env;
    }

    // gnome-keyring-daemon on the test's bus, its login keyring created and unlocked with a
    // password on standard input, as a desktop login does.
    void startKeyring()
    {
        keyring_.setProcessEnvironment(childEnvironment());
        keyring_.setChildProcessModifier(sqllumo::testing::DiesWithTest());
        keyring_.start("gnome-keyring-daemon",
                       {"--foreground", "--unlock", "--components=secrets"});
        ASSERT_TRUE(keyring_.waitForStarted(10000)) << keyring_.errorString().toStdString();
        keyring_.write("keyring-of-the-test\n");
        // The daemon reads to the end of its input before it takes the bus name.
        ASSERT_TRUE(keyring_.waitForBytesWritten(10000));
        keyring_.closeWriteChannel();
        QElapsedTimer waited;
        waited.start();
        while (!QDBusConnection::sessionBus().interface()->isServiceRegistered(kSecretService)) {
            ASSERT_EQ(keyring_.state(), QProcess::Running)
                << keyring_.readAllStandardError().toStdString();
            ASSERT_LT(waited.elapsed(), 30000) << "gnome-keyring-daemon did not take the name";
            QThread::msleep(50);
        }
    }

    // The keyring as another reader than the program sees it.
    QString secretToolLookup(const QString& account) const
    {
        QProcess tool;
        tool.setProcessEnvironment(childEnvironment());
        tool.setChildProcessModifier(sqllumo::testing::DiesWithTest());
        tool.start("secret-tool", {"lookup", "server", "SQLLumoManager", "user", account});
        EXPECT_TRUE(tool.waitForFinished(20000));
        return QString::fromUtf8(tool.readAllStandardOutput());
    }

    QString account() const { return "sa@" + SuiteStandin::get()->server(); }

    QString storedInFile(const QString& key) const
    {
        return QSettings(iniPath(), QSettings::IniFormat).value("Default/" + key).toString();
    }

    QProcess keyring_;
};

} // namespace

TEST_F(KeyringProcess, ThePasswordIsKeptInTheKeyringAndReadBackForTheNextLogin)
{
    ASSERT_NO_FATAL_FAILURE(startKeyring());
    const QString server = SuiteStandin::get()->server();
    const ProcessRun first = run(
        {"archive", "info", "--server", server, "--user", "sa", "--password-file", path("sa.txt")});
    ASSERT_EQ(first.exitCode, 0) << first.out.toStdString() << first.err.toStdString();
    EXPECT_FALSE(first.err.contains("keyring")) << first.err.toStdString();

    EXPECT_EQ(storedInFile("SQLServerName"), server);
    EXPECT_FALSE(QSettings(iniPath(), QSettings::IniFormat).contains("Default/SQLPassword"));
    QFile ini(iniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_FALSE(ini.readAll().contains(SuiteStandin::get()->password().toUtf8()));
    EXPECT_EQ(secretToolLookup(account()), SuiteStandin::get()->password());

    // No password given: the one in the keyring logs in.
    const ProcessRun second = run({"archive", "info"});
    EXPECT_EQ(second.exitCode, 0) << second.out.toStdString() << second.err.toStdString();
    EXPECT_TRUE(second.out.contains(server)) << second.out.toStdString();
}

TEST_F(KeyringProcess, APasswordInTheSettingsFileMovesToTheKeyringAtTheFirstStart)
{
    {
        QDir().mkpath(path("SQLLumoManager"));
        QSettings ini(iniPath(), QSettings::IniFormat);
        ini.setValue("Default/SQLServerName", SuiteStandin::get()->server());
        ini.setValue("Default/SQLUserName", "sa");
        ini.setValue("Default/SQLPassword", SuiteStandin::get()->password());
    }
    ASSERT_NO_FATAL_FAILURE(startKeyring());
    const ProcessRun moved = run({"archive", "info"});
    ASSERT_EQ(moved.exitCode, 0) << moved.out.toStdString() << moved.err.toStdString();
    EXPECT_FALSE(QSettings(iniPath(), QSettings::IniFormat).contains("Default/SQLPassword"));
    EXPECT_EQ(storedInFile("SQLUserName"), "sa");
    EXPECT_EQ(secretToolLookup(account()), SuiteStandin::get()->password());
}

TEST_F(KeyringProcess, WithoutASecretServiceTheFileKeepsThePasswordAndSaysSoOnce)
{
    environment_.erase("DBUS_SESSION_BUS_ADDRESS");
    const QString server = SuiteStandin::get()->server();
    const ProcessRun stored = run(
        {"archive", "info", "--server", server, "--user", "sa", "--password-file", path("sa.txt")});
    ASSERT_EQ(stored.exitCode, 0) << stored.out.toStdString() << stored.err.toStdString();
    EXPECT_EQ(storedInFile("SQLPassword"), SuiteStandin::get()->password());
    const QString notice = "sqllumo: " + sqllumo::PasswordInFileNotice(iniPath()) + "\n";
    EXPECT_EQ(stored.err.count(notice), 1) << stored.err.toStdString();
    EXPECT_FALSE(QFileInfo(iniPath()).permissions() &
                 (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther));

    const ProcessRun reread = run({"archive", "info"});
    EXPECT_EQ(reread.exitCode, 0) << reread.out.toStdString() << reread.err.toStdString();
    EXPECT_EQ(reread.err.count(notice), 1) << reread.err.toStdString();
    // Nothing to keep, nothing to say.
    const ProcessRun help = run({"archive", "--help"});
    EXPECT_FALSE(help.err.contains("keyring")) << help.err.toStdString();
}

namespace {

// Takes every call on the Secret Service's paths and never answers, as a hung keyring does.
class SilentSecretService : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

} // namespace

// In this process: the keyring's calls are bounded even when the service never answers, and
// the password then stays in the file.
TEST(KeyringAnswerTime, AKeyringThatNeverAnswersCostsOneBoundedWaitAndTheFileKeepsThePassword)
{
    QDBusConnection silent =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "silent-secret-service");
    ASSERT_TRUE(silent.isConnected());
    SilentSecretService service;
    ASSERT_TRUE(silent.registerVirtualObject("/", &service, QDBusConnection::SubPath));
    ASSERT_TRUE(silent.registerService(kSecretService));
    ASSERT_TRUE(sqllumo::SecretServiceAvailable());

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    sqllumo::Settings settings(sqllumo::Settings::fileIn(dir.path()));
    QStringList notices;
    settings.setPasswordNotice([&](const QString& notice) { notices << notice; });
    settings.useSecretStore(
        std::make_unique<sqllumo::KeyringSecretStore>(std::chrono::milliseconds(1500)));
    QElapsedTimer took;
    took.start();
    settings.setValue(sqllumo::settingkeys::kSQLPassword, "kept");
    EXPECT_LT(took.elapsed(), 10000);
    EXPECT_EQ(sqllumo::Settings(settings.fileName()).value(sqllumo::settingkeys::kSQLPassword),
              "kept");
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains("no answer within 1 seconds")) << notices[0].toStdString();
    took.restart();
    EXPECT_EQ(settings.value(sqllumo::settingkeys::kSQLPassword), "kept");
    EXPECT_LT(took.elapsed(), 1000);

    silent.unregisterService(kSecretService);
    silent.unregisterObject("/", QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus("silent-secret-service");
}

// Each run of this binary gets a session bus of its own, ended by dbus-run-session when the
// tests end; the tests die with dbus-run-session should a runner kill it.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty(kSessionMark)) {
        ::setenv(kSessionMark, "1", 1);
        std::vector<char*> arguments = {const_cast<char*>("dbus-run-session"),
                                        const_cast<char*>("--")};
        for (int i = 0; i < argc; ++i)
            arguments.push_back(argv[i]);
        arguments.push_back(nullptr);
        ::execvp("dbus-run-session", arguments.data());
        std::perror("dbus-run-session");
        return 1;
    }
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
