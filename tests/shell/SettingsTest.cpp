// The settings store: defaults, values kept across instances, and the owner-only file.
#include "Settings.h"
#include "TestResultRegistry.h"
#include "TransportSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sqllumo;

namespace {
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString file() const { return Settings::fileIn(dir_.path()); }
    QTemporaryDir dir_;
};
} // namespace

TEST_F(SettingsTest, MissingKeysReadTheirDefaults)
{
    struct Row {
        QString key;
        QString expected;
    };
    const Row rows[] = {
        {settingkeys::kSQLServerName, ""},
        {settingkeys::kSQLUserName, ""},
        {settingkeys::kSQLPassword, ""},
        {settingkeys::kDatabaseName, ""},
        {settingkeys::kDataDirectory, "C:\\Lumeno SQL Database\\"},
        {settingkeys::kBackupFile, "C:\\Lumeno SQL Database\\Backup\\<Filename>"},
        {settingkeys::kPasswdDatabaseName, ""},
        {settingkeys::kPasswdDataDirectory, "C:\\Lumeno SQL Database\\"},
        {settingkeys::kEncryption, "request"},
        {settingkeys::kCAFile, ""},
    };
    Settings settings(file());
    for (const auto& row : rows)
        EXPECT_EQ(settings.value(row.key), row.expected) << row.key.toStdString();
    EXPECT_EQ(settings.value(settingkeys::kSQLServerName, "fallback"), "fallback");
}

TEST_F(SettingsTest, ValuesSurviveANewInstanceAndLandInSectionDefault)
{
    const QString password = QStringLiteral("p;a'ss\\wörd=1");
    {
        Settings settings(file());
        settings.setValue(settingkeys::kSQLServerName, "host\\INST,1433");
        settings.setValue(settingkeys::kSQLPassword, password);
        settings.setValue(settingkeys::kDataDirectory, "D:\\Data\\");
        ASSERT_TRUE(settings.sync());
    }
    Settings again(file());
    EXPECT_EQ(again.value(settingkeys::kSQLServerName), "host\\INST,1433");
    EXPECT_EQ(again.value(settingkeys::kSQLPassword), password);
    EXPECT_EQ(again.value(settingkeys::kDataDirectory), "D:\\Data\\");
    EXPECT_TRUE(again.fileName().startsWith(dir_.path()));

    QFile file(again.fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("[Default]"));
}

TEST_F(SettingsTest, FileIsOwnerOnlyEvenAfterRewrites)
{
    Settings settings(file());
    settings.setValue(settingkeys::kSQLPassword, "secret");
    ASSERT_TRUE(settings.sync());
    // Widen the mode as a careless tool might; the next save must narrow it again.
    QFile::setPermissions(settings.fileName(), QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ReadOther | QFile::ReadGroup);
    settings.setValue(settingkeys::kSQLPassword, "other");
    ASSERT_TRUE(settings.sync());
    const auto perms = QFileInfo(settings.fileName()).permissions();
    EXPECT_TRUE(perms & QFile::ReadOwner);
    EXPECT_TRUE(perms & QFile::WriteOwner);
    EXPECT_FALSE(perms & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther |
                          QFile::WriteOther | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
}

// Held changes are read back at once but reach the file only when kept; dropped, the file is
// byte for byte what it was.
TEST_F(SettingsTest, HeldChangesReachTheFileOnlyWhenKept)
{
    {
        Settings settings(file());
        settings.setValue(settingkeys::kSQLServerName, "before,1433");
        TestResultRegistry registry(settings);
        registry.setValue("GEN_Tables", "T_Patient", "Present");
    }
    const auto contents = [&] {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    };
    const QByteArray before = contents();
    {
        Settings settings(file());
        settings.holdChanges();
        TestResultRegistry registry(settings);
        registry.holdChanges();
        settings.setValue(settingkeys::kSQLServerName, "mistyped,9");
        settings.setValue(settingkeys::kDatabaseName, "Nowhere");
        registry.setValue("GEN_Tables", "T_Patient", "Unchecked");
        EXPECT_EQ(settings.value(settingkeys::kSQLServerName), "mistyped,9");
        EXPECT_EQ(settings.value(settingkeys::kDataDirectory), "C:\\Lumeno SQL Database\\");
        EXPECT_EQ(registry.value("GEN_Tables", "T_Patient"), "Unchecked");
        EXPECT_TRUE(settings.sync());
    }
    EXPECT_EQ(contents(), before);

    {
        Settings settings(file());
        settings.holdChanges();
        TestResultRegistry registry(settings);
        registry.holdChanges();
        settings.setValue(settingkeys::kSQLServerName, "reached,1433");
        registry.setValue("GEN_Tables", "T_Patient", "Unchecked");
        ASSERT_TRUE(settings.keepHeld());
        registry.keepHeld();
        // Not held any more: later values go straight to the file.
        settings.setValue(settingkeys::kDatabaseName, "Archive");
        registry.setValue("GEN_Tables", "T_Exam", "Present");
    }
    Settings again(file());
    EXPECT_EQ(again.value(settingkeys::kSQLServerName), "reached,1433");
    EXPECT_EQ(again.value(settingkeys::kDatabaseName), "Archive");
    TestResultRegistry registry(again);
    EXPECT_EQ(registry.value("GEN_Tables", "T_Patient"), "Unchecked");
    EXPECT_EQ(registry.value("GEN_Tables", "T_Exam"), "Present");
}

TEST(SettingsDirectories, AlwaysEndInABackslash)
{
    struct Row {
        const char* typed;
        const char* stored;
    };
    const Row rows[] = {{"D:\\Data", "D:\\Data\\"},
                        {"D:\\Data\\", "D:\\Data\\"},
                        {"", "\\"},
                        {"/srv/sql/", "/srv/sql/\\"}};
    for (const auto& row : rows)
        EXPECT_EQ(WithTrailingBackslash(row.typed), QString(row.stored)) << row.typed;
}

TEST_F(SettingsTest, TheEncryptionSettingsBecomeTheProcesssTransportSecurity)
{
    {
        Settings settings(file());
        settings.setValue(settingkeys::kEncryption, " Require");
        settings.setValue(settingkeys::kCAFile, "/etc/ssl/clinic-ca.pem");
    }
    const dbport::TransportSecurity applied = ApplyTransportSettings(Settings(file()));
    EXPECT_EQ(applied.encryption, dbport::Encryption::Require);
    EXPECT_EQ(applied.caFile, "/etc/ssl/clinic-ca.pem");
    EXPECT_EQ(dbport::CurrentTransportSecurity().encryption, dbport::Encryption::Require);
    // A value that is none of the three is kept to be refused, never read as a weaker one.
    Settings(file()).setValue(settingkeys::kEncryption, "yes");
    EXPECT_EQ(ApplyTransportSettings(Settings(file())).invalidEncryption, "yes");
    dbport::SetTransportSecurity({});
}
