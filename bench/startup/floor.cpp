// The floor under the start-up figure: Qt alone showing a main window with a menu bar and one
// line of text, so the window's own share of the start can be told from Qt's and the machine's.
#include "ShowWindow.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("&Tools"));
    window.setCentralWidget(new QLabel(QStringLiteral("Archive"), &window));
    return ShowAndSaySo(window);
}
