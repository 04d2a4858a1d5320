#pragma once
// Answers the modal dialogs and message boxes that appear while a test presses a button:
// each step sees the next modal widget and records what it showed.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>

namespace sqllumo::testing {

struct SeenModal {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString informative{};
};

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
    // A message box answered with the given button; what it showed is recorded.
    void press(QMessageBox::StandardButton button)
    {
        then([this, button](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box) {
                unexpected_++;
                if (auto* d = qobject_cast<QDialog*>(w))
                    d->reject();
                return;
            }
            seen_.push_back({box->windowTitle(), box->text(), box->icon(), box->informativeText()});
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
                seen_.push_back(
                    {box->windowTitle(), box->text(), box->icon(), box->informativeText()});
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
