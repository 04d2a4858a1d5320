#pragma once
// Answers the modal dialogs and message boxes that appear while a test presses a button:
// each step sees the next modal widget and records what it showed.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTextEdit>
#include <QTimer>

#include "Screenshot.h"

#include <deque>
#include <functional>

namespace sqllumo::testing {

struct SeenModal {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString informative{};
    // The run's report in the box's details area, and whether that area was open.
    QString details{};
    bool detailsOpen = false;
};

inline SeenModal Seen(QMessageBox* box)
{
    const auto* area = box->findChild<QTextEdit*>();
    return {box->windowTitle(),     box->text(),         box->icon(),
            box->informativeText(), box->detailedText(), area && area->isVisible()};
}

class ModalScript {
public:
    using Step = std::function<void(QWidget*)>;

    ModalScript()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }

    void then(Step step) { steps_.push_back(std::move(step)); }
    // A message box answered with the given button; what it showed is recorded. With a
    // screenshot name, the box is saved as it is seen, its details opened first when
    // openDetails is set and they are closed.
    void press(QMessageBox::StandardButton button, const QString& screenshot = {},
               bool openDetails = false)
    {
        then([this, button, screenshot, openDetails](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box) {
                unexpected_++;
                if (auto* d = qobject_cast<QDialog*>(w))
                    d->reject();
                return;
            }
            seen_.push_back(Seen(box));
            if (openDetails && !seen_.back().detailsOpen)
                for (QAbstractButton* b : box->buttons())
                    if (box->buttonRole(b) == QMessageBox::ActionRole)
                        b->click();
            if (!screenshot.isEmpty())
                SaveScreenshot(*box, screenshot);
            box->button(button)->click();
        });
    }

    const std::vector<SeenModal>& seen() const { return seen_; }
    bool done() const { return steps_.empty(); }
    int unexpected() const { return unexpected_; }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == last_)
            return;
        last_ = modal;
        if (steps_.empty()) {
            unexpected_++;
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                seen_.push_back(Seen(box));
            if (auto* d = qobject_cast<QDialog*>(modal))
                d->reject();
            return;
        }
        Step step = std::move(steps_.front());
        steps_.pop_front();
        step(modal);
    }

    QTimer timer_;
    std::deque<Step> steps_;
    std::vector<SeenModal> seen_;
    QPointer<QWidget> last_;
    int unexpected_ = 0;
};

} // namespace sqllumo::testing
