#include "F_SQLDatabase.h"
#include "Settings.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(sqllumo::kApplicationName);
    sqllumo::ui::F_SQLDatabase window;
    window.show();
    return QApplication::exec();
}
