// The title's width as a title bar draws it: a bold face of the application font, beside the
// window icon and the minimise, maximise and close buttons.
#include "DialogWidth.h"

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>

#include <algorithm>

namespace sqllumo::ui {

void WidenForTitle(QWidget* window)
{
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    // Icon, three buttons and the bar's margins, in line heights so it scales with the font.
    const int decoration = metrics.height() * 7;
    const int needed = metrics.horizontalAdvance(window->windowTitle()) + decoration;
    window->setMinimumWidth(std::max(window->minimumWidth(), needed));
}

} // namespace sqllumo::ui
