#pragma once
// Per-user settings under application "SQLLumoManager", section "Default".
// The SQL Server password goes to a secret store (the desktop keyring) where the program has
// one; otherwise the file holds it in plain text, so the file is kept owner-only (0600).

#include "SecretStore.h"

#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QSettings;

namespace sqllumo {

namespace settingkeys {
inline const QString kSQLServerName = QStringLiteral("SQLServerName");
inline const QString kSQLUserName = QStringLiteral("SQLUserName");
inline const QString kSQLPassword = QStringLiteral("SQLPassword");
inline const QString kDatabaseName = QStringLiteral("DatabaseName");
inline const QString kDataDirectory = QStringLiteral("DataDirectory");
inline const QString kBackupFile = QStringLiteral("BackupFile");
inline const QString kPasswdDatabaseName = QStringLiteral("PasswdDatabaseName");
inline const QString kPasswdDataDirectory = QStringLiteral("PasswdDataDirectory");
// How connections are protected: off, request (default) or require; the CA file that vouches
// for the server's certificate (empty: not checked).
inline const QString kEncryption = QStringLiteral("Encryption");
inline const QString kCAFile = QStringLiteral("CAFile");
} // namespace settingkeys

inline const QString kApplicationName = QStringLiteral("SQLLumoManager");
inline const QString kSettingsSection = QStringLiteral("Default");
inline const QString kDefaultDataDirectory = QStringLiteral("C:\\Lumeno SQL Database\\");
inline const QString kDefaultBackupFile =
    QStringLiteral("C:\\Lumeno SQL Database\\Backup\\<Filename>");

// Server-side directories are stored with a trailing "\" whatever the person typed.
QString WithTrailingBackslash(const QString& directory);

// What a run says, once, when the settings file keeps the SQL password: no keyring is there
// at all, or the keyring failed (error says how) and the file took the password instead.
QString PasswordInFileNotice(const QString& settingsFile);
QString KeyringFailedNotice(const QString& error, const QString& settingsFile);

// One object per program run, handed to whatever reads or stores a setting. Each value set
// reaches the file at once, so what an operation stored stays stored however it ends, unless
// the object holds its changes (holdChanges).
class Settings {
public:
    // The user's store.
    Settings();
    // The store in the INI file fileName (a test's folder, a second set of settings).
    explicit Settings(const QString& fileName);
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // The key's listed default when it has one, else the reader's default. The SQL password
    // is the one of the server and user the settings name now.
    QString value(const QString& key, const QString& readerDefault = QString()) const;
    void setValue(const QString& key, const QString& value);
    // From now on the SQL password is kept in store, under the server and user it belongs to,
    // and not in the file. A password the file holds moves there first, and leaves the file
    // only once the store has given it back. When the store fails, now or later, the file
    // keeps the password for the rest of the run.
    void useSecretStore(std::unique_ptr<SecretStore> store);
    bool keepsPasswordInSecretStore() const { return secrets_ != nullptr; }
    // Told once per object when the file keeps a non-empty password or the store failed.
    void setPasswordNotice(std::function<void(const QString&)> notice);
    // Flushes to disk and restores owner-only permissions; false when that failed.
    bool sync();
    // From now on values set stay in this object, where value() finds them, and the file is
    // left as it was until keepHeld(); what is still held when the object ends is dropped.
    // The console holds what its options would store until a login has succeeded.
    void holdChanges();
    // Writes what was held and ends holding; false when the file could not be written.
    bool keepHeld();
    QString fileName() const;

    static QString defaultFor(const QString& key);
    // The store's file name in a folder of one's own: <folder>/SQLLumoManager.ini.
    static QString fileIn(const QString& folder);

private:
    QString fileValue(const QString& key, const QString& readerDefault = QString()) const;
    bool writeToFile(const QString& key, const QString& value);
    bool removeFromFile(const QString& key);
    QString readPassword(const QString& readerDefault) const;
    bool storePassword(const QString& password);
    QString passwordAccount() const;
    void secretStoreFailed(const QString& error) const;
    void tell(const QString& notice) const;
    void restrictPermissions() const;
    std::unique_ptr<QSettings> store_;
    std::optional<std::map<QString, QString>> held_;
    // Dropped (reading falls back to the file) once it fails, so a keyring that does not
    // answer costs one wait per run, not one per value.
    mutable std::unique_ptr<SecretStore> secrets_;
    std::function<void(const QString&)> notice_;
    mutable bool told_ = false;
};

} // namespace sqllumo
