// The test result sections, kept in the settings store's file.
#include "TestResultRegistry.h"

#include "Settings.h"

#include <QSettings>

namespace sqllumo {

// Settings owns the file, its location and its owner-only mode; the sections share it.
TestResultRegistry::TestResultRegistry(const Settings& settings)
    : store_(std::make_unique<QSettings>(settings.fileName(), QSettings::IniFormat))
{
}

TestResultRegistry::~TestResultRegistry()
{
    store_->sync();
}

void TestResultRegistry::setValue(const QString& section, const QString& key, const QString& value)
{
    store_->setValue(section + QLatin1Char('/') + key, value);
    store_->sync();
}

QString TestResultRegistry::value(const QString& section, const QString& key) const
{
    return store_->value(section + QLatin1Char('/') + key).toString();
}

} // namespace sqllumo
