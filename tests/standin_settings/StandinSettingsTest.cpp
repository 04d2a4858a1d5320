// The run script's settings tool: it may fill in a new user's settings, never replace a server
// the person chose.
#include <gtest/gtest.h>

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

namespace {
struct ToolRun {
    int exitCode = -1;
    QString output;
};

class StandinSettingsTool : public ::testing::Test {
protected:
    QString iniPath() const { return home_.filePath("SQLLumoManager/SQLLumoManager.ini"); }

    ToolRun run(const QStringList& args)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home_.path());
        process.setProcessEnvironment(env);
        process.start(STANDIN_SETTINGS_TOOL, args);
        process.waitForFinished(10000);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput() +
                                                      process.readAllStandardError())};
    }

    QString stored(const QString& key) const
    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        return ini.value("Default/" + key).toString();
    }

    void store(const QString& key, const QString& value)
    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        ini.setValue("Default/" + key, value);
    }

    QString writePasswordFile(const QByteArray& content)
    {
        const QString path = home_.filePath("sa-password");
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return path;
    }

    QTemporaryDir home_;
};

constexpr auto kAddress = "127.0.0.1,14330";
} // namespace

TEST_F(StandinSettingsTool, FillsEmptySettingsWithTheStandinAndItsPassword)
{
    EXPECT_EQ(run({"uses", kAddress}).exitCode, 0);
    const ToolRun fill = run({"fill", kAddress, writePasswordFile("p;w={x}\n")});
    EXPECT_EQ(fill.exitCode, 0) << fill.output.toStdString();
    EXPECT_EQ(stored("SQLServerName"), kAddress);
    EXPECT_EQ(stored("SQLUserName"), "sa");
    EXPECT_EQ(stored("SQLPassword"), "p;w={x}");
    EXPECT_EQ(QFile(iniPath()).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
}

TEST_F(StandinSettingsTool, LeavesAnotherServerAndItsCredentialsAlone)
{
    store("SQLServerName", "archive-srv\\LUMENO");
    store("SQLUserName", "tech");
    store("SQLPassword", "own");
    EXPECT_EQ(run({"uses", kAddress}).exitCode, 1);
    const ToolRun fill = run({"fill", kAddress, writePasswordFile("new\n")});
    EXPECT_EQ(fill.exitCode, 1);
    EXPECT_TRUE(fill.output.contains("archive-srv\\LUMENO"));
    EXPECT_EQ(stored("SQLServerName"), "archive-srv\\LUMENO");
    EXPECT_EQ(stored("SQLPassword"), "own");
}

TEST_F(StandinSettingsTool, RefreshesSaButKeepsAnotherLoginOnTheStandin)
{
    store("SQLServerName", kAddress);
    store("SQLUserName", "sa");
    store("SQLPassword", "stale");
    ASSERT_EQ(run({"fill", kAddress, writePasswordFile("fresh\n")}).exitCode, 0);
    EXPECT_EQ(stored("SQLPassword"), "fresh");

    store("SQLUserName", "DOMAIN\\tech");
    store("SQLPassword", "mine");
    ASSERT_EQ(run({"fill", kAddress, writePasswordFile("fresher\n")}).exitCode, 0);
    EXPECT_EQ(stored("SQLUserName"), "DOMAIN\\tech");
    EXPECT_EQ(stored("SQLPassword"), "mine");
}

TEST_F(StandinSettingsTool, MissingPasswordFileChangesNothing)
{
    const ToolRun fill = run({"fill", kAddress, home_.filePath("absent")});
    EXPECT_EQ(fill.exitCode, 1);
    EXPECT_TRUE(fill.output.contains("Cannot read the password file"));
    EXPECT_TRUE(stored("SQLServerName").isEmpty());
}
