#pragma once
// The role-function editor window: the role's name and a tree of its functions, grouped by
// macro-function, each with a check mark. It edits a copy and hands it back on closing.

#include "RoleFunctionSheet.h"

#include <QDialog>
#include <QTreeWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace rolefunctionsheet {

// Key of function node (m, f): each number with a blank sign position, joined by "-".
QString FunctionNodeKey(int m, int f);
// The cell a function node key names; false when the key is not one.
bool ParseFunctionNodeKey(const QString& key, int* m, int* f);

inline constexpr int kMacroFunctionPointSize = 12;
inline constexpr int kFunctionPointSize = 10;
// The node's key lives in this data role of column 0.
inline constexpr int kNodeKeyRole = Qt::UserRole;

// A tree whose function marks change by the click handler only, by mouse or space bar.
class RightsTree : public QTreeWidget {
    Q_OBJECT
public:
    using QTreeWidget::QTreeWidget;
signals:
    void nodeToggleRequested(QTreeWidgetItem* item);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class formRoleFunctionSheet : public QDialog {
    Q_OBJECT
public:
    explicit formRoleFunctionSheet(QWidget* parent = nullptr);

    // Fills the window from the two objects; throws std::invalid_argument, leaving the
    // objects untouched, when the source's arrays do not match its counts.
    void Impostati(const QString& RoleName, RoleEditorCaller& p, RightsSource& clsDB);

    // The node with this key (macro-function name or function key), or null.
    QTreeWidgetItem* nodeByKey(const QString& key) const;
    // The click handler: a function node's mark and cell flip; a group node is ignored.
    void nodeClicked(QTreeWidgetItem* item);

    QLabel* Label2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QFrame* Frame1 = nullptr;
    RightsTree* SSTree1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void arrange();
    // Wide enough for the longest name, as far as the screen allows.
    void fitNames();

    RoleEditorCaller* caller_ = nullptr;
    RightsSource* source_ = nullptr;
    int macroCount_ = 0;
    Counts functionCounts_;
    Texts macroNames_;
    TextGrid functionNames_;
    FlagGrid rights_;
};

} // namespace rolefunctionsheet
