// What both start-up children do once their window is built: show it and, once it is on the
// screen, say so to the bench that started them.
#pragma once

#include <QTest>
#include <QWidget>

#include <cstdio>

// The process's exit code: 0 when the window was shown.
inline int ShowAndSaySo(QWidget& window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    std::puts("shown");
    std::fflush(stdout);
    return 0;
}
