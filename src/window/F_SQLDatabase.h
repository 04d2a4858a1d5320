#pragma once
// The main window: catalogue list, input panel and the hidden report buffer, laid out from the
// program's function descriptors.

#include "CatalogueTexts.h"
#include "FunctionDescriptor.h"
#include "QtUserInterface.h"
#include "WindowState.h"

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QTextEdit;
class QToolButton;
class QVBoxLayout;

namespace sqllumo {
class Settings;
}

namespace sqllumo::ui {

class F_SQLDatabase : public QMainWindow {
    Q_OBJECT
public:
    // settings: the store the panels are pre-filled from; it must outlive the window.
    explicit F_SQLDatabase(Settings& settings, QWidget* parent = nullptr);
    ~F_SQLDatabase() override;

    WindowState& state() { return state_; }
    QtUserInterface& userInterface() { return *ui_; }
    // The catalogue functions the window lists.
    const FunctionList& functions() const { return functions_; }

    // Hooks the dispatcher connects; unset, the buttons do nothing.
    std::function<void()> onOk;
    std::function<void()> onShowUserNames;
    std::function<void()> onShowRoleNames;
    // Run as the last step of choosing the password catalogue (the upgrade of its database).
    std::function<void()> onPasswordCatalogueChosen;

    void selectCatalogue(MenuMode mode);
    void openPanel(int index);
    void closePanel();
    // The other catalogue's menu item and picture button.
    void setOtherCatalogueEnabled(bool enabled);
    void browse();
    void inspectSource();
    void showHelpTopic(int topic);
    int currentHelpTopic() const { return helpTopic_; }

    // While a function runs nothing else may start: the list, the menus, the picture buttons
    // and OK are disabled. Cancel, Escape and closing the window then ask whether to stop a
    // function that can be stopped, and do nothing for the others.
    void setOperationRunning(bool running, bool stoppable);
    bool operationRunning() const { return running_; }

    // Named as the window's controls, so tests and operations find them.
    QAction* CorvistaDataBase = nullptr;
    QAction* CorvistaPasswordDataBase = nullptr;
    QToolButton* cmdArchivio = nullptr;
    QToolButton* cmdPassword = nullptr;
    std::array<QLabel*, 2> Label1{};
    QListWidget* List1 = nullptr;
    QLabel* Label4 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* Label3 = nullptr;
    std::array<QLabel*, 4> Label2{};
    std::array<QLineEdit*, 4> Text1{};
    QLineEdit* SQLUserName = nullptr;
    QLineEdit* SQLPsw = nullptr;
    QComboBox* Combo1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* CmdBrowse = nullptr;
    QPushButton* CmdInspect = nullptr;
    QCheckBox* CopyPhotos = nullptr;
    QPushButton* CmdOK = nullptr;
    QPushButton* CmdCancel = nullptr;
    QTextEdit* ListInfo = nullptr;
    QTextEdit* Report = nullptr;
    QGroupBox* FrImport = nullptr;
    QLabel* Label5 = nullptr;
    QProgressBar* CSMTable = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Cancel and Escape: the panel closed, or the running function asked to stop.
    void cancel();
    // "Stop the import?"; true when the person answered Yes (and the stop was requested).
    bool askStop();
    void fitHeightToPanel();
    // Built top to bottom: the order the widgets are made in is the order Tab moves through.
    void buildWidgets();
    void buildMenu();
    void buildPictureButtons(QWidget* central, QVBoxLayout* outer);
    void buildCatalogueList(QWidget* central, QVBoxLayout* outer);
    void buildPanel(QWidget* central, QVBoxLayout* outer);
    void buildPanelFields(QGridLayout* grid);
    void buildPanelNameLists(QGridLayout* grid);
    void buildPanelSourceRow(QGridLayout* grid);
    void buildPanelButtons(QGridLayout* grid);
    void showDescription(int row);

    const FunctionList& functions_;
    Settings& settings_;
    WindowState state_;
    std::unique_ptr<QtUserInterface> ui_;
    int helpTopic_ = 0;
    std::function<QStringList(const QString&)> inspect_;
    // The window's size while the list showed; restored when the panel closes.
    QSize sizeBeforePanel_;
    QWidget* helpWindow_ = nullptr;
    QMenu* toolsMenu_ = nullptr;
    QWidget* pictureButtons_ = nullptr;
    bool running_ = false;
    bool stoppable_ = false;
    // The window was closed during a stop: it closes once the function has ended.
    bool closeWhenDone_ = false;
};

} // namespace sqllumo::ui
