// The help window: the topic pages compiled into the program, shown in a text browser.
#include "HelpWindow.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>

// Resources of a static library must be registered by hand.
static void initHelpResources()
{
    Q_INIT_RESOURCE(help);
}

namespace sqllumo::ui {

HelpWindow::HelpWindow(QWidget* parent) : QTextBrowser(parent)
{
    initHelpResources();
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("SQLLumoManager Help"));
    // The pages' command lines are at most 64 characters: a window that shows them whole at
    // the font in use needs no sideways scrolling.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(font().pointSizeF());
    const int margins = 2 * (frameWidth() + static_cast<int>(document()->documentMargin())) +
                        verticalScrollBar()->sizeHint().width();
    QSize wanted(std::max(560, QFontMetrics(fixed).horizontalAdvance(QString(68, u'x')) + margins),
                 std::max(480, QFontMetrics(font()).lineSpacing() * 30));
    if (const QScreen* screen = this->screen())
        wanted = wanted.boundedTo(screen->availableGeometry().size());
    resize(wanted);
    // Text layout can overrun the width by a fraction of a pixel, which would show a useless
    // scroll bar; the pages are written to fit.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

QString HelpWindow::topicUrl(int topic)
{
    return QStringLiteral("qrc:/help/topic%1.html").arg(topic);
}

void HelpWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QTextBrowser::keyPressEvent(event);
}

void HelpWindow::showTopic(int topic)
{
    setSource(QUrl(topicUrl(topic)));
    show();
    raise();
}

} // namespace sqllumo::ui
