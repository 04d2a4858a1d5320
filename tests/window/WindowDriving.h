#pragma once
// Drives the main window as a person does: a click and a double-click on a catalogue entry
// open its panel. WindowOverPort makes the window the suites drive: its own settings file and
// test registry, and a dispatcher over the database port given.

#include "DatabasePort.h"
#include "F_SQLDatabase.h"
#include "Settings.h"
#include "TestResultRegistry.h"
#include "WindowDispatch.h"

#include <QGroupBox>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace sqllumo::testing {

inline void OpenPanel(ui::F_SQLDatabase& window, int index)
{
    auto* item = window.List1->item(index);
    ASSERT_NE(item, nullptr);
    window.List1->scrollToItem(item);
    const QPoint at = window.List1->visualItemRect(item).center();
    QTest::mouseClick(window.List1->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(window.List1->viewport(), Qt::LeftButton, {}, at);
    ASSERT_TRUE(window.Frame1->isVisible());
}

struct WindowOverPort {
    QTemporaryDir dir;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<TestResultRegistry> registry;
    std::unique_ptr<ui::F_SQLDatabase> window;
    std::unique_ptr<ui::WindowDispatch> dispatch;

    // The settings file and the registry, for values stored before the window opens.
    void prepare()
    {
        ASSERT_TRUE(dir.isValid());
        settings = std::make_unique<Settings>(Settings::fileIn(dir.path()));
        registry = std::make_unique<TestResultRegistry>(*settings);
    }
    void storeLogin(const QString& server, const QString& user, const QString& password)
    {
        settings->setValue(settingkeys::kSQLServerName, server);
        settings->setValue(settingkeys::kSQLUserName, user);
        settings->setValue(settingkeys::kSQLPassword, password);
    }
    // The window and its dispatcher, the report log in logFolder (the settings' folder when
    // empty); not yet shown.
    void build(dbport::Provider& database, const QString& logFolder = QString())
    {
        window = std::make_unique<ui::F_SQLDatabase>(*settings);
        OperationServices services;
        services.database = &database;
        services.settings = settings.get();
        services.registry = registry.get();
        dispatch = std::make_unique<ui::WindowDispatch>(*window, std::move(services));
        dispatch->dispatcher().setLogFolder(logFolder.isEmpty() ? dir.path() : logFolder);
    }
    void show()
    {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    // The dispatcher refers to the window: it goes first.
    ~WindowOverPort()
    {
        dispatch.reset();
        window.reset();
    }
};

} // namespace sqllumo::testing
