#include "TestResultRegistry.h"

#include "Settings.h"

#include <QSettings>

namespace sqllumo {

namespace {
// Settings owns the file, its location and its owner-only mode; the sections share it.
QString storeFile()
{
    Settings settings;
    return settings.fileName();
}
} // namespace

TestResultRegistry::TestResultRegistry()
    : store_(std::make_unique<QSettings>(storeFile(), QSettings::IniFormat))
{
}

TestResultRegistry::~TestResultRegistry()
{
    store_->sync();
}

void TestResultRegistry::setValue(const QString& section, const QString& key, const QString& value)
{
    store_->setValue(section + QLatin1Char('/') + key, value);
}

QString TestResultRegistry::value(const QString& section, const QString& key) const
{
    return store_->value(section + QLatin1Char('/') + key).toString();
}

} // namespace sqllumo
