// The help window: the topic pages compiled into the program, shown in a text browser.
#include "HelpWindow.h"

#include <QKeyEvent>
#include <QUrl>

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
    resize(560, 480);
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
