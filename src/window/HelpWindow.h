#pragma once
// The help window the panels' F1 opens at their topic; the pages are resources of the program.

#include <QTextBrowser>

namespace sqllumo::ui {

// Shows the program's help pages, compiled in under :/help/.
class HelpWindow : public QTextBrowser {
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    void showTopic(int topic);
    static QString topicUrl(int topic);

protected:
    // Escape closes the window, as it does a dialog.
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace sqllumo::ui
