// Connects the main window to the dispatcher and carries out the frame's visible steps on the
// window's controls.
#include "WindowDispatch.h"

#include "PasswordRequest.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>

namespace sqllumo::ui {

WindowDispatch::WindowDispatch(F_SQLDatabase& window, OperationServices services)
    : window_(window), dispatcher_(window.state(), window.userInterface(), *this,
                                   window.windowTitle(), window.functions(), std::move(services))
{
    window_.onOk = [this] {
        const int row = window_.List1->currentRow();
        const FunctionDescriptor* function =
            FindFunction(window_.functions(), window_.state().menuMode(), row);
        window_.setOperationRunning(true, function && function->stoppable);
        dispatcher_.ok(row);
        window_.setOperationRunning(false, false);
    };
    window_.userInterface().setPasswordDialog(&PasswordRequest::ask);
}

WindowDispatch::~WindowDispatch()
{
    window_.onOk = nullptr;
}

PanelValues WindowDispatch::panelValues() const
{
    PanelValues values;
    values.server = window_.Text1[0]->text();
    values.database = window_.Text1[1]->text();
    values.thirdField = window_.Text1[2]->text();
    values.fourthField = window_.Text1[3]->text();
    values.user = window_.SQLUserName->text();
    values.password = window_.SQLPsw->text();
    values.selection = window_.Combo1->currentText();
    values.copyPhotos = !window_.CopyPhotos->isHidden() && window_.CopyPhotos->isChecked();
    return values;
}

void WindowDispatch::closePanel()
{
    window_.closePanel();
}

void WindowDispatch::enableOtherCatalogue()
{
    window_.setOtherCatalogueEnabled(true);
}

void WindowDispatch::showInformation(const QString& text)
{
    window_.ListInfo->setPlainText(displayText(text));
    window_.ListInfo->show();
    window_.CmdOK->hide();
}

} // namespace sqllumo::ui
