// Small helpers of the widget tests: pictures of the states reached, and the tab order.
#pragma once

#include <QApplication>
#include <QDir>
#include <QWidget>

namespace sqllumo::testing {

// Set SQLLUMO_SCREENSHOT_DIR to keep pictures of the states the tests reach.
inline void screenshot(QWidget& w, const QString& name)
{
    const QString dir = qEnvironmentVariable("SQLLUMO_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    QApplication::processEvents();
    w.grab().save(QDir(dir).filePath(name + ".png"));
}

// The widget Tab moves the focus to from w.
inline QWidget* nextTabStop(QWidget* w)
{
    do
        w = w->nextInFocusChain();
    while (!(w->focusPolicy() & Qt::TabFocus));
    return w;
}

} // namespace sqllumo::testing
