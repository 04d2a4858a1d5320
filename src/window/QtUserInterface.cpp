// The UserInterface port on Qt widgets: message boxes, the busy pointer, the file dialog, the
// progress frame and the password request.
#include "QtUserInterface.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QTextEdit>

#include <algorithm>

namespace sqllumo::ui {

namespace {
// Lines and characters of the run's report seen at once under a closing message.
constexpr qsizetype kReportRows = 18;
constexpr qsizetype kReportColumns = 90;
} // namespace

QString displayText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

namespace {

QMessageBox::StandardButton standardButton(MessageResult answer)
{
    switch (answer) {
    case MessageResult::Cancel:
        return QMessageBox::Cancel;
    case MessageResult::Yes:
        return QMessageBox::Yes;
    case MessageResult::No:
        return QMessageBox::No;
    case MessageResult::Retry:
        return QMessageBox::Retry;
    case MessageResult::Ok:
        break;
    }
    return QMessageBox::Ok;
}

} // namespace

void showReport(QMessageBox& box, const QString& report, bool open)
{
    box.setDetailedText(report);
    // The findings and counts are columns: a fixed-width font keeps them lined up, and the
    // area is wide enough for them; a longer line (a file name) wraps rather than hiding its
    // end. As tall as the report, up to a screenful.
    if (auto* area = box.findChild<QTextEdit*>()) {
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPointSizeF(QApplication::font().pointSizeF());
        area->setFont(fixed);
        area->setLineWrapMode(QTextEdit::WidgetWidth);
        const QFontMetrics metrics(fixed);
        const QStringList lines = report.split(QLatin1Char('\n'));
        qsizetype longest = 0;
        for (const QString& line : lines)
            longest = std::max(longest, line.size());
        const qsizetype columns = std::clamp<qsizetype>(longest, 40, kReportColumns);
        qsizetype rows = 0;
        for (const QString& line : lines)
            rows += std::max<qsizetype>(1, (line.size() + columns - 1) / columns);
        // Never wider or taller than the screen leaves room for, whatever the font size.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        area->setMinimumWidth(
            std::min(metrics.horizontalAdvance(QLatin1Char('M')) * static_cast<int>(columns + 6),
                     screen.width() * 9 / 10));
        area->setFixedHeight(
            std::min(metrics.lineSpacing() *
                         static_cast<int>(std::clamp<qsizetype>(rows + 1, 4, kReportRows)),
                     screen.height() / 2));
    }
    if (!open)
        return;
    for (QAbstractButton* button : box.buttons())
        if (box.buttonRole(button) == QMessageBox::ActionRole)
            button->click();
}

QtUserInterface::QtUserInterface(QWidget* parent, QGroupBox* progressFrame, QLabel* progressLabel,
                                 QProgressBar* progressBar)
    : parent_(parent), progressFrame_(progressFrame), progressLabel_(progressLabel),
      progressBar_(progressBar)
{
}

MessageResult QtUserInterface::showMessage(const Message& message)
{
    QMessageBox box(parent_);
    box.setText(displayText(message.text));
    if (!message.report.isEmpty())
        showReport(box, message.report, message.reportOpen);
    box.setWindowTitle(message.title.isEmpty() ? QApplication::applicationName() : message.title);
    switch (message.icon) {
    case MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MessageIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    switch (message.buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MessageButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MessageButtons::RetryCancel:
        box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
        break;
    }
    if (message.defaultAnswer) {
        const QMessageBox::StandardButton button = standardButton(*message.defaultAnswer);
        box.setDefaultButton(button);
        box.setEscapeButton(button);
    }
    // The hourglass must not hide the pointer while the person reads the message.
    const bool wasBusy = busy_;
    if (wasBusy)
        setBusy(false);
    const int pressed = box.exec();
    if (wasBusy)
        setBusy(true);
    switch (pressed) {
    case QMessageBox::Cancel:
        return MessageResult::Cancel;
    case QMessageBox::Yes:
        return MessageResult::Yes;
    case QMessageBox::No:
        return MessageResult::No;
    case QMessageBox::Retry:
        return MessageResult::Retry;
    default:
        return MessageResult::Ok;
    }
}

void QtUserInterface::setBusy(bool busy)
{
    if (busy == busy_)
        return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtUserInterface::processPendingEvents()
{
    QApplication::processEvents();
}

void QtUserInterface::showProgress(const ProgressState& state)
{
    if (progressFrame_) {
        progressFrame_->setTitle(state.caption);
        progressFrame_->setVisible(state.visible);
    }
    if (progressLabel_)
        progressLabel_->setText(displayText(state.label));
    if (progressBar_) {
        progressBar_->setRange(state.minimum, state.maximum);
        progressBar_->setValue(state.value);
    }
}

std::optional<QString> QtUserInterface::chooseFile(const FileChoice& choice)
{
    if (fileDialog_)
        return fileDialog_(parent_, choice);
    QFileDialog dialog(parent_, choice.title, choice.startPath);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setNameFilters(choice.filters);
    if (choice.selectedFilter >= 0 && choice.selectedFilter < choice.filters.size())
        dialog.selectNameFilter(choice.filters.at(choice.selectedFilter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

PasswordRequestResult QtUserInterface::passwordRequest(PasswordRequestMode mode, AdminSecret secret)
{
    if (!passwordDialog_)
        return {};
    return passwordDialog_(parent_, mode, secret);
}

bool QtUserInterface::shiftDatabaseFields(const ShiftDialogRequest& request)
{
    if (!shiftDialog_)
        return false;
    return shiftDialog_(parent_, request);
}

UserDetailsResult QtUserInterface::userDetails(const UserDetailsRequest& request)
{
    if (!userDetailsDialog_)
        return UserInterface::userDetails(request);
    return userDetailsDialog_(parent_, request);
}

void QtUserInterface::roleFunctionSheet(const QString& roleName,
                                        rolefunctionsheet::RoleEditorCaller& caller,
                                        rolefunctionsheet::RightsSource& rights)
{
    if (!roleEditor_) {
        UserInterface::roleFunctionSheet(roleName, caller, rights);
        return;
    }
    roleEditor_(parent_, roleName, caller, rights);
}

GenericPasswordResult QtUserInterface::genericPassword(const GenericPasswordResult& shown)
{
    if (!genericPasswordDialog_)
        return {};
    return genericPasswordDialog_(parent_, shown);
}

} // namespace sqllumo::ui
