#pragma once
// Drives the main window as a person does: a click and a double-click on a catalogue entry
// open its panel.

#include "F_SQLDatabase.h"

#include <QGroupBox>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

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

} // namespace sqllumo::testing
