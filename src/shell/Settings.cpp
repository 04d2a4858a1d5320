// The per-user settings store: its file, its defaults and its owner-only mode.
#include "Settings.h"

#include "TransportSecurity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace sqllumo {

namespace {
constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

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
    const QString fallback = readerDefault.isEmpty() ? defaultFor(key) : readerDefault;
    return store_->value(kSettingsSection + QLatin1Char('/') + key, fallback).toString();
}

void Settings::setValue(const QString& key, const QString& value)
{
    if (held_) {
        (*held_)[key] = value;
        return;
    }
    restrictPermissions();
    store_->setValue(kSettingsSection + QLatin1Char('/') + key, value);
    sync();
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
    const std::map<QString, QString> held = std::move(*held_);
    held_.reset();
    if (held.empty())
        return true;
    restrictPermissions();
    for (const auto& [key, value] : held)
        store_->setValue(kSettingsSection + QLatin1Char('/') + key, value);
    return sync();
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
