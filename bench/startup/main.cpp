// Start-up time: from launching SQLLumoManager to its main window shown (offscreen), median of
// several runs, and the window alone built in this process's child ("--child"). Beside them, in
// the same run and interleaved, bench_startup_floor shows a window of Qt's alone, so the figures
// can be read against what this machine needs to start Qt at all.
#include "F_SQLDatabase.h"
#include "Settings.h"
#include "ShowWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Milliseconds from start to "shown", or a negative number when the window never came.
double timeToShown(const QString& program, const QStringList& arguments)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("SQLLUMO_BENCH_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    child.start(program, arguments);
    bool shown = false;
    while (!shown && child.waitForReadyRead(10000))
        shown = child.readAllStandardOutput().contains("shown");
    const double elapsed = timer.nsecsElapsed() / 1e6;
    child.waitForFinished(10000);
    return shown ? elapsed : -1.0;
}

struct Spread {
    double median, min, max;
};

Spread spread(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--child") {
        QApplication app(argc, argv);
        sqllumo::Settings settings;
        sqllumo::ui::F_SQLDatabase window(settings);
        return ShowAndSaySo(window);
    }
    QCoreApplication app(argc, argv);
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString program = bin.filePath(QStringLiteral("SQLLumoManager"));
    const QString floor = bin.filePath(QStringLiteral("bench_startup_floor"));
    constexpr int kRuns = 15;
    std::vector<double> whole, windowAlone, qtAlone;
    for (int i = 0; i < kRuns; ++i) {
        const double a = timeToShown(program, {});
        const double w =
            timeToShown(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
        const double b = timeToShown(floor, {});
        if (a < 0 || w < 0 || b < 0) {
            std::fprintf(stderr, "run %d: a window was not shown\n", i);
            return 1;
        }
        whole.push_back(a);
        windowAlone.push_back(w);
        qtAlone.push_back(b);
    }
    const Spread o = spread(whole), w = spread(windowAlone), q = spread(qtAlone);
    std::printf("SQLLumoManager's main window shown (offscreen): median %.1f ms, min %.1f, max "
                "%.1f over %d runs (target 30 ms)\n",
                o.median, o.min, o.max, kRuns);
    std::printf("the main window alone, built in a bare process: median %.1f ms, min %.1f, max "
                "%.1f\n",
                w.median, w.min, w.max);
    std::printf("Qt alone, a window with a menu bar and a label: median %.1f ms, min %.1f, max "
                "%.1f\n",
                q.median, q.min, q.max);
    std::printf("the program's own share: %.1f ms (median minus median)\n", o.median - q.median);
    return o.median < 300.0 ? 0 : 2;
}
