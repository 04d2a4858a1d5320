// The per-user settings store: its file, its defaults, its owner-only mode, and the SQL
// password routed to a secret store where there is one.
#include "Settings.h"

#include "TransportSecurity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace sqllumo {

namespace {
constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;
const QString kReadBackDiffers = QStringLiteral("the password read back differs");

QString sectionKey(const QString& key)
{
    return kSettingsSection + QLatin1Char('/') + key;
}

// Create the file owner-only before QSettings ever writes it, so the password is never
// readable by others, not even briefly; QSaveFile keeps an existing file's mode.
void prepareFile(const QString& path)
{
    QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    if (!info.exists()) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) {
            f.setPermissions(kOwnerOnly);
            f.close();
        }
    }
    QFile::setPermissions(path, kOwnerOnly);
}
} // namespace

QString WithTrailingBackslash(const QString& directory)
{
    if (directory.endsWith(QLatin1Char('\\')))
        return directory;
    return directory + QLatin1Char('\\');
}

QString PasswordInFileNotice(const QString& settingsFile)
{
    return QStringLiteral("No desktop keyring (Secret Service) is running: the SQL password "
                          "stays in %1 (mode 0600).")
        .arg(settingsFile);
}

QString KeyringFailedNotice(const QString& error, const QString& settingsFile)
{
    return QStringLiteral("The desktop keyring did not keep the SQL password (%1): it stays in "
                          "%2 (mode 0600).")
        .arg(error, settingsFile);
}

Settings::Settings()
    : store_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                         kApplicationName, kApplicationName))
{
    restrictPermissions();
}

Settings::Settings(const QString& fileName)
    : store_(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{
    restrictPermissions();
}

QString Settings::fileIn(const QString& folder)
{
    return QDir(folder).filePath(kApplicationName + QStringLiteral(".ini"));
}

Settings::~Settings()
{
    sync();
}

QString Settings::defaultFor(const QString& key)
{
    if (key == settingkeys::kDataDirectory || key == settingkeys::kPasswdDataDirectory)
        return kDefaultDataDirectory;
    if (key == settingkeys::kBackupFile)
        return kDefaultBackupFile;
    if (key == settingkeys::kEncryption)
        return dbport::kDefaultEncryption;
    return QString();
}

QString Settings::value(const QString& key, const QString& readerDefault) const
{
    if (held_)
        if (const auto found = held_->find(key); found != held_->end())
            return found->second;
    if (key == settingkeys::kSQLPassword)
        return readPassword(readerDefault);
    return fileValue(key, readerDefault);
}

void Settings::setValue(const QString& key, const QString& value)
{
    if (held_) {
        (*held_)[key] = value;
        return;
    }
    if (key == settingkeys::kSQLPassword)
        storePassword(value);
    else
        writeToFile(key, value);
}

QString Settings::fileValue(const QString& key, const QString& readerDefault) const
{
    const QString fallback = readerDefault.isEmpty() ? defaultFor(key) : readerDefault;
    return store_->value(sectionKey(key), fallback).toString();
}

bool Settings::writeToFile(const QString& key, const QString& value)
{
    restrictPermissions();
    store_->setValue(sectionKey(key), value);
    return sync();
}

bool Settings::removeFromFile(const QString& key)
{
    if (!store_->contains(sectionKey(key)))
        return true;
    restrictPermissions();
    store_->remove(sectionKey(key));
    return sync();
}

QString Settings::passwordAccount() const
{
    return SecretStore::AccountFor(value(settingkeys::kSQLServerName),
                                   value(settingkeys::kSQLUserName));
}

QString Settings::readPassword(const QString& readerDefault) const
{
    if (secrets_) {
        const SecretStore::Reading reading = secrets_->read(passwordAccount());
        if (reading.outcome == SecretStore::Outcome::Done)
            return reading.secret;
        if (reading.outcome == SecretStore::Outcome::Failed)
            secretStoreFailed(reading.error);
        // Not there (or no store any more): what the file holds, normally nothing.
        return fileValue(settingkeys::kSQLPassword, readerDefault);
    }
    if (!fileValue(settingkeys::kSQLPassword).isEmpty())
        tell(PasswordInFileNotice(fileName()));
    return fileValue(settingkeys::kSQLPassword, readerDefault);
}

bool Settings::storePassword(const QString& password)
{
    if (secrets_) {
        const QString account = passwordAccount();
        QString error;
        const SecretStore::Outcome outcome = password.isEmpty()
                                                 ? secrets_->remove(account, error)
                                                 : secrets_->write(account, password, error);
        if (outcome != SecretStore::Outcome::Failed)
            return removeFromFile(settingkeys::kSQLPassword);
        secretStoreFailed(error);
    } else if (!password.isEmpty()) {
        tell(PasswordInFileNotice(fileName()));
    }
    return writeToFile(settingkeys::kSQLPassword, password);
}

void Settings::useSecretStore(std::unique_ptr<SecretStore> store)
{
    secrets_ = std::move(store);
    const QString inFile = fileValue(settingkeys::kSQLPassword);
    if (!secrets_ || inFile.isEmpty())
        return;
    // The file's own server and user, whatever is held: the password is theirs.
    const QString account = SecretStore::AccountFor(fileValue(settingkeys::kSQLServerName),
                                                    fileValue(settingkeys::kSQLUserName));
    QString error;
    if (secrets_->write(account, inFile, error) != SecretStore::Outcome::Done)
        return secretStoreFailed(error);
    const SecretStore::Reading back = secrets_->read(account);
    if (back.outcome == SecretStore::Outcome::Failed)
        return secretStoreFailed(back.error);
    if (back.outcome != SecretStore::Outcome::Done || back.secret != inFile)
        return secretStoreFailed(kReadBackDiffers);
    removeFromFile(settingkeys::kSQLPassword);
}

void Settings::setPasswordNotice(std::function<void(const QString&)> notice)
{
    notice_ = std::move(notice);
}

void Settings::secretStoreFailed(const QString& error) const
{
    secrets_.reset();
    tell(KeyringFailedNotice(error, fileName()));
}

void Settings::tell(const QString& notice) const
{
    if (told_ || !notice_)
        return;
    told_ = true;
    notice_(notice);
}

bool Settings::sync()
{
    restrictPermissions();
    store_->sync();
    restrictPermissions();
    return store_->status() == QSettings::NoError;
}

void Settings::holdChanges()
{
    if (!held_)
        held_.emplace();
}

bool Settings::keepHeld()
{
    if (!held_)
        return true;
    std::map<QString, QString> held = std::move(*held_);
    held_.reset();
    if (held.empty())
        return true;
    // The password last, so that it goes to the server and user held with it.
    std::optional<QString> password;
    if (const auto found = held.find(settingkeys::kSQLPassword); found != held.end()) {
        password = found->second;
        held.erase(found);
    }
    restrictPermissions();
    for (const auto& [key, value] : held)
        store_->setValue(sectionKey(key), value);
    bool written = sync();
    if (password)
        written = storePassword(*password) && written;
    return written;
}

QString Settings::fileName() const
{
    return store_->fileName();
}

void Settings::restrictPermissions() const
{
    prepareFile(store_->fileName());
}

} // namespace sqllumo
