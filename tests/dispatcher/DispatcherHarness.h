#pragma once
// A dispatcher with the scripted person, a window stand-in that records what the frame did,
// and settings, test result registry and report log in a temporary folder.

#include "Dispatcher.h"
#include "ReportLog.h"
#include "ScriptedUserInterface.h"
#include "Settings.h"
#include "TestResultRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

QT_BEGIN_NAMESPACE
// Readable failures for QString comparisons.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace sqllumo::testing {

class RecordingPanelHost : public PanelHost {
public:
    PanelValues values;
    int closed = 0;
    int enabled = 0;
    QStringList information;
    bool panelOpen = true;

    PanelValues panelValues() const override { return values; }
    void closePanel() override
    {
        ++closed;
        panelOpen = false;
    }
    void enableOtherCatalogue() override { ++enabled; }
    void showInformation(const QString& text) override { information << text; }
};

class DispatcherHarness : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.isValid());
        settings_ = std::make_unique<Settings>(Settings::fileIn(folder_.path()));
        registry_ = std::make_unique<TestResultRegistry>(*settings_);
        services_.settings = settings_.get();
        services_.registry = registry_.get();
        makeDispatcher();
        state_.chooseCatalogue(MenuMode::Archive);
    }
    // A dispatcher over functions_ and services_, logging into the test's folder.
    void makeDispatcher()
    {
        dispatcher_ =
            std::make_unique<Dispatcher>(state_, ui_, host_, kCaption, functions_, services_);
        dispatcher_->setLogFolder(folder_.path());
    }
    // Sets a function of the test's own and rebuilds the dispatcher (with the default log
    // folder).
    void setFunction(MenuMode mode, int index, Operation operation,
                     AccessCheck access = AccessCheck::None)
    {
        FunctionDescriptor function;
        function.catalogue = mode;
        function.index = index;
        function.access = access;
        function.operation = std::move(operation);
        std::erase_if(functions_, [&](const FunctionDescriptor& f) {
            return f.catalogue == mode && f.index == index;
        });
        functions_.push_back(std::move(function));
        makeDispatcher();
    }
    QString logText() const
    {
        QFile log(ReportLogPath(folder_.path()));
        if (!log.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(log.readAll());
    }
    bool logExists() const { return QFile::exists(ReportLogPath(folder_.path())); }
    // What the store's file holds, read afresh.
    QString setting(const QString& key) const
    {
        Settings settings(Settings::fileIn(folder_.path()));
        return settings.value(key);
    }
    // Stored at all (a default does not count).
    bool stored(const QString& key) const
    {
        Settings settings(Settings::fileIn(folder_.path()));
        return settings.value(key, QStringLiteral("\x01unset")) != QStringLiteral("\x01unset");
    }

    const QString kCaption = QStringLiteral("Lumeno SQL Manager  1. 0. 0");
    QTemporaryDir folder_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<TestResultRegistry> registry_;
    WindowState state_;
    ScriptedUserInterface ui_;
    RecordingPanelHost host_;
    FunctionList functions_;
    OperationServices services_;
    std::unique_ptr<Dispatcher> dispatcher_;
};

} // namespace sqllumo::testing
