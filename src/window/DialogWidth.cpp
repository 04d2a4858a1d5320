// The title's width as a title bar draws it: a bold face of the window's font, beside the
// window icon and the minimise, maximise and close buttons. Applied when the window is shown,
// since the layout's minimum is only known once every control is in it.
#include "DialogWidth.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLayout>
#include <QWidget>

#include <algorithm>

namespace sqllumo::ui {

namespace {

void applyTitleWidth(QWidget* window)
{
    QFont font = window->font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    // Icon, three buttons and the bar's margins, in line heights so it scales with the font.
    const int decoration = metrics.height() * 7;
    QSize minimum = window->minimumSize();
    // An explicit minimum stops the layout from setting its own, so it is taken in here.
    if (const QLayout* layout = window->layout())
        minimum = minimum.expandedTo(layout->totalMinimumSize());
    minimum.setWidth(
        std::max(minimum.width(), metrics.horizontalAdvance(window->windowTitle()) + decoration));
    window->setMinimumSize(minimum);
}

class TitleWidth : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show || event->type() == QEvent::WindowTitleChange)
            applyTitleWidth(static_cast<QWidget*>(watched));
        return false;
    }
};

} // namespace

void WidenForTitle(QWidget* window)
{
    window->installEventFilter(new TitleWidth(window));
}

} // namespace sqllumo::ui
