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
    const QString path = section + QLatin1Char('/') + key;
    setHere_[path] = value;
    if (holding_)
        return;
    store_->setValue(path, value);
    if (steps_ == 0)
        store_->sync();
}

TestResultRegistry::SavedTogether::SavedTogether(TestResultRegistry& registry) : registry_(registry)
{
    ++registry_.steps_;
}

TestResultRegistry::SavedTogether::~SavedTogether()
{
    if (--registry_.steps_ == 0)
        registry_.store_->sync();
}

void TestResultRegistry::keepHeld()
{
    if (!holding_)
        return;
    holding_ = false;
    if (setHere_.empty())
        return;
    for (const auto& [path, value] : setHere_)
        store_->setValue(path, value);
    store_->sync();
}

QString TestResultRegistry::setHere(const QString& section, const QString& key) const
{
    const auto found = setHere_.find(section + QLatin1Char('/') + key);
    return found == setHere_.end() ? QString() : found->second;
}

QString TestResultRegistry::value(const QString& section, const QString& key) const
{
    if (holding_)
        if (const QString held = setHere(section, key); !held.isEmpty())
            return held;
    return store_->value(section + QLatin1Char('/') + key).toString();
}

} // namespace sqllumo
