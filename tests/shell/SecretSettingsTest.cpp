// The SQL password routed to a secret store: kept per server and user, out of the file, moved
// out of the file only once the store gave it back, and kept in the file whenever the store
// fails, with one notice per run.
#include "Settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

using namespace sqllumo;

namespace {

// What the store holds and how it misbehaves; owned by the test, so it outlives the Settings
// that owns the store.
struct Keyring {
    std::map<QString, QString> secrets;
    bool writesFail = false;
    bool readsFail = false;
    bool readsGarbled = false;
    int calls = 0;
};

class ScriptedStore final : public SecretStore {
public:
    explicit ScriptedStore(Keyring& keyring) : keyring_(keyring) {}
    Reading read(const QString& account) override
    {
        ++keyring_.calls;
        if (keyring_.readsFail)
            return {Outcome::Failed, {}, "locked"};
        const auto found = keyring_.secrets.find(account);
        if (found == keyring_.secrets.end())
            return {Outcome::NotFound, {}, {}};
        return {Outcome::Done, keyring_.readsGarbled ? found->second + "?" : found->second, {}};
    }
    Outcome write(const QString& account, const QString& secret, QString& error) override
    {
        ++keyring_.calls;
        if (keyring_.writesFail) {
            error = "no answer";
            return Outcome::Failed;
        }
        keyring_.secrets[account] = secret;
        return Outcome::Done;
    }
    Outcome remove(const QString& account, QString& error) override
    {
        ++keyring_.calls;
        if (keyring_.writesFail) {
            error = "no answer";
            return Outcome::Failed;
        }
        return keyring_.secrets.erase(account) ? Outcome::Done : Outcome::NotFound;
    }

private:
    Keyring& keyring_;
};

class SecretSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString file() const { return Settings::fileIn(dir_.path()); }
    QByteArray contents() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool fileHoldsPassword() const { return contents().contains("SQLPassword"); }
    void attach(Settings& settings)
    {
        settings.setPasswordNotice([this](const QString& notice) { notices_ << notice; });
        settings.useSecretStore(std::make_unique<ScriptedStore>(keyring_));
    }
    void fileWith(const QString& server, const QString& user, const QString& password)
    {
        Settings plain(file());
        plain.setValue(settingkeys::kSQLServerName, server);
        plain.setValue(settingkeys::kSQLUserName, user);
        plain.setValue(settingkeys::kSQLPassword, password);
    }

    QTemporaryDir dir_;
    Keyring keyring_;
    QStringList notices_;
};

} // namespace

TEST_F(SecretSettingsTest, EachServerAndUserKeepsItsOwnPasswordAndTheFileNone)
{
    {
        Settings settings(file());
        attach(settings);
        settings.setValue(settingkeys::kSQLServerName, "host\\INST,1433");
        settings.setValue(settingkeys::kSQLUserName, "sa");
        settings.setValue(settingkeys::kSQLPassword, "p;w={x}é");
        settings.setValue(settingkeys::kSQLServerName, "other");
        EXPECT_EQ(settings.value(settingkeys::kSQLPassword), "");
        settings.setValue(settingkeys::kSQLPassword, "second");
        settings.setValue(settingkeys::kSQLServerName, "host\\INST,1433");
        EXPECT_EQ(settings.value(settingkeys::kSQLPassword), "p;w={x}é");
    }
    const std::map<QString, QString> expected = {{"sa@host\\INST,1433", "p;w={x}é"},
                                                 {"sa@other", "second"}};
    EXPECT_EQ(keyring_.secrets, expected);
    EXPECT_FALSE(fileHoldsPassword()) << contents().toStdString();
    EXPECT_TRUE(notices_.isEmpty()) << notices_.join('\n').toStdString();

    // Read back by a later run; an emptied password leaves no secret behind.
    Settings again(file());
    attach(again);
    EXPECT_EQ(again.value(settingkeys::kSQLPassword), "p;w={x}é");
    again.setValue(settingkeys::kSQLPassword, "");
    EXPECT_EQ(keyring_.secrets.count("sa@host\\INST,1433"), 0u);
    EXPECT_EQ(again.value(settingkeys::kSQLPassword), "");
    // As for every key, a reader's default stands for a password stored nowhere.
    EXPECT_EQ(again.value(settingkeys::kSQLPassword, "unset"), "unset");
}

TEST_F(SecretSettingsTest, AFilePasswordMovesOnlyOnceTheStoreGaveItBack)
{
    // Taken and given back: moved, under the file's own server and user.
    fileWith("srv,1433", "sa", "moved");
    {
        Settings settings(file());
        attach(settings);
        EXPECT_EQ(keyring_.secrets["sa@srv,1433"], "moved");
        EXPECT_FALSE(fileHoldsPassword());
        EXPECT_EQ(settings.value(settingkeys::kSQLPassword), "moved");
    }
    EXPECT_TRUE(notices_.isEmpty());

    // Not taken, or given back garbled: the file keeps it and the run uses the file.
    for (const bool garbled : {false, true}) {
        keyring_ = Keyring{};
        keyring_.writesFail = !garbled;
        keyring_.readsGarbled = garbled;
        notices_.clear();
        fileWith("srv,1433", "sa", "kept");
        Settings settings(file());
        attach(settings);
        EXPECT_TRUE(fileHoldsPassword()) << garbled;
        EXPECT_FALSE(settings.keepsPasswordInSecretStore());
        EXPECT_EQ(settings.value(settingkeys::kSQLPassword), "kept");
        settings.setValue(settingkeys::kSQLPassword, "changed");
        EXPECT_EQ(Settings(file()).value(settingkeys::kSQLPassword), "changed");
        ASSERT_EQ(notices_.size(), 1) << garbled;
        EXPECT_EQ(
            notices_[0],
            KeyringFailedNotice(garbled ? "the password read back differs" : "no answer", file()));
    }
}

TEST_F(SecretSettingsTest, AStoreThatFailsLaterLeavesThePasswordInTheFileAndIsAskedNoMore)
{
    Settings settings(file());
    attach(settings);
    settings.setValue(settingkeys::kSQLServerName, "srv");
    settings.setValue(settingkeys::kSQLPassword, "first");
    keyring_.writesFail = true;
    settings.setValue(settingkeys::kSQLPassword, "second");
    EXPECT_TRUE(fileHoldsPassword());
    EXPECT_EQ(Settings(file()).value(settingkeys::kSQLPassword), "second");
    const int callsAfterFailure = keyring_.calls;
    settings.setValue(settingkeys::kSQLPassword, "third");
    EXPECT_EQ(settings.value(settingkeys::kSQLPassword), "third");
    EXPECT_EQ(keyring_.calls, callsAfterFailure);
    EXPECT_EQ(notices_, QStringList{KeyringFailedNotice("no answer", file())});

    // A failed read gives what the file holds rather than nothing.
    keyring_ = Keyring{};
    keyring_.readsFail = true;
    Settings reader(file());
    reader.useSecretStore(std::make_unique<ScriptedStore>(keyring_));
    EXPECT_EQ(reader.value(settingkeys::kSQLPassword), "third");
}

// The console holds what its options would store until a login succeeded: the password must
// not reach the store before, and then goes under the server and user held with it.
TEST_F(SecretSettingsTest, AHeldPasswordReachesTheStoreOnlyWhenKeptUnderTheHeldLogin)
{
    fileWith("old", "sa", "");
    const auto holdNewLogin = [](Settings& settings) {
        settings.holdChanges();
        settings.setValue(settingkeys::kSQLPassword, "typed");
        settings.setValue(settingkeys::kSQLServerName, "new,1433");
        settings.setValue(settingkeys::kSQLUserName, "admin");
    };
    {
        Settings settings(file());
        attach(settings);
        holdNewLogin(settings);
        EXPECT_EQ(settings.value(settingkeys::kSQLPassword), "typed");
        EXPECT_TRUE(keyring_.secrets.empty());
    }
    EXPECT_TRUE(keyring_.secrets.empty());
    Settings settings(file());
    attach(settings);
    holdNewLogin(settings);
    ASSERT_TRUE(settings.keepHeld());
    const std::map<QString, QString> expected = {{"admin@new,1433", "typed"}};
    EXPECT_EQ(keyring_.secrets, expected);
    EXPECT_FALSE(fileHoldsPassword());
}

TEST_F(SecretSettingsTest, WithoutAStoreTheFileKeepsItAndSaysSoOnceOnlyForARealPassword)
{
    Settings settings(file());
    settings.setPasswordNotice([this](const QString& notice) { notices_ << notice; });
    settings.setValue(settingkeys::kSQLPassword, "");
    EXPECT_EQ(settings.value(settingkeys::kSQLPassword), "");
    EXPECT_TRUE(notices_.isEmpty());
    settings.setValue(settingkeys::kSQLPassword, "secret");
    EXPECT_EQ(settings.value(settingkeys::kSQLPassword), "secret");
    settings.setValue(settingkeys::kSQLPassword, "again");
    EXPECT_EQ(notices_, QStringList{PasswordInFileNotice(file())});
    EXPECT_TRUE(notices_[0].contains("(mode 0600)"));

    Settings reader(file());
    QStringList readerNotices;
    reader.setPasswordNotice([&](const QString& notice) { readerNotices << notice; });
    EXPECT_EQ(reader.value(settingkeys::kSQLPassword), "again");
    EXPECT_EQ(readerNotices, QStringList{PasswordInFileNotice(file())});
}
