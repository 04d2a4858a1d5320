// The role-function editor window: fills its tree from the rights source, flips marks on
// click, and on every way of closing writes the edited rights and the name back.

#include "formRoleFunctionSheet.h"

#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>
#include <stdexcept>

namespace rolefunctionsheet {

namespace {

// The number as the general number-to-text conversion writes it: a blank sign position.
QString withSignPosition(int n)
{
    return n < 0 ? QString::number(n) : QLatin1Char(' ') + QString::number(n);
}

// Never smaller than the text around it, so a large desktop font stays readable in the tree.
QFont nodeFont(const QFont& base, int pointSize, int aboveBase)
{
    QFont font = base;
    font.setBold(true);
    font.setPointSize(std::max(pointSize, base.pointSize() + aboveBase));
    return font;
}

[[noreturn]] void incomplete(const QString& what)
{
    throw std::invalid_argument(
        QStringLiteral("The rights of the role cannot be shown: %1.").arg(what).toStdString());
}

// The source must hold a name for every group and a name and a mark for every function its
// counts announce; otherwise the tree would show cells that do not exist.
void checkShapes(int macroCount, const Counts& counts, const Texts& macroNames,
                 const TextGrid& names, const FlagGrid& rights)
{
    if (macroCount < 0)
        incomplete(QStringLiteral("the number of macro-functions is negative"));
    const auto m = static_cast<std::size_t>(macroCount);
    if (counts.size() < m || macroNames.size() < m)
        incomplete(QStringLiteral("fewer function counts or macro-function names than "
                                  "macro-functions"));
    for (std::size_t i = 0; i < m; ++i) {
        if (counts[i] < 0)
            incomplete(QStringLiteral("macro-function %1 has a negative function count").arg(i));
        const auto f = static_cast<std::size_t>(counts[i]);
        if (names.size() <= i || names[i].size() < f || rights.size() <= i || rights[i].size() < f)
            incomplete(QStringLiteral("macro-function %1 lacks names or marks for its %2 "
                                      "functions")
                           .arg(i)
                           .arg(counts[i]));
    }
}

} // namespace

QString FunctionNodeKey(int m, int f)
{
    return withSignPosition(m) + QLatin1Char('-') + withSignPosition(f);
}

bool ParseFunctionNodeKey(const QString& key, int* m, int* f)
{
    const qsizetype dash = key.indexOf(QLatin1Char('-'), key.startsWith(QLatin1Char('-')));
    if (dash < 0)
        return false;
    bool mOk = false;
    bool fOk = false;
    const int mValue = key.left(dash).trimmed().toInt(&mOk);
    const int fValue = key.mid(dash + 1).trimmed().toInt(&fOk);
    if (!mOk || !fOk)
        return false;
    *m = mValue;
    *f = fValue;
    return true;
}

void RightsTree::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && currentItem()) {
        emit nodeToggleRequested(currentItem());
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

formRoleFunctionSheet::formRoleFunctionSheet(QWidget* parent) : QDialog(parent)
{
    setModal(true);
    Label2 = new QLabel(QStringLiteral("Role Name"), this);
    Text2 = new QLineEdit(this);
    Text2->setMaxLength(kRoleNameMaxLength);
    Label2->setBuddy(Text2);
    Frame1 = new QFrame(this);
    Frame1->setFrameShape(QFrame::StyledPanel);
    SSTree1 = new RightsTree(Frame1);
    SSTree1->setColumnCount(1);
    SSTree1->header()->hide();
    // A long function name scrolls sideways rather than losing its end.
    SSTree1->setTextElideMode(Qt::ElideNone);
    SSTree1->header()->setStretchLastSection(false);
    SSTree1->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Command1 = new QPushButton(QStringLiteral("Ok"), this);
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    Command1->setDefault(true);
    setTabOrder(Text2, SSTree1);
    setTabOrder(SSTree1, Command1);
    setTabOrder(Command1, Command2);

    connect(SSTree1, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { nodeClicked(item); });
    connect(SSTree1, &RightsTree::nodeToggleRequested, this,
            [this](QTreeWidgetItem* item) { nodeClicked(item); });
    connect(Command1, &QPushButton::clicked, this, [this] {
        if (caller_) {
            caller_->setPuoiModificareRole(true);
            caller_->setNomeRuolo(Text2->text());
        }
        accept();
    });
    connect(Command2, &QPushButton::clicked, this, [this] {
        if (caller_)
            caller_->setPuoiModificareRole(false);
        reject();
    });
    resize(420, 460);
}

void formRoleFunctionSheet::Impostati(const QString& RoleName, RoleEditorCaller& p,
                                      RightsSource& clsDB)
{
    const int macroCount = clsDB.NumeroMacroFunzioni();
    Counts counts = clsDB.NumeroFunzioni();
    Texts macroNames = clsDB.MacroFunzioni();
    TextGrid names = clsDB.Funzioni();
    FlagGrid rights = clsDB.Attivazioni();
    checkShapes(macroCount, counts, macroNames, names, rights);

    caller_ = &p;
    caller_->setPuoiModificareRole(false);
    source_ = &clsDB;
    setWindowTitle(RoleName);
    macroCount_ = macroCount;
    functionCounts_ = std::move(counts);
    macroNames_ = std::move(macroNames);
    functionNames_ = std::move(names);
    rights_ = std::move(rights);

    SSTree1->clear();
    const QFont base = SSTree1->font();
    for (int m = 0; m < macroCount_; ++m) {
        auto* group = new QTreeWidgetItem(SSTree1, QStringList{macroNames_[m]});
        group->setData(0, kNodeKeyRole, macroNames_[m]);
        group->setFont(0, nodeFont(base, kMacroFunctionPointSize, 2));
        group->setForeground(0, Qt::black);
        for (int f = 0; f < functionCounts_[m]; ++f) {
            auto* node = new QTreeWidgetItem(group, QStringList{functionNames_[m][f]});
            node->setData(0, kNodeKeyRole, FunctionNodeKey(m, f));
            node->setFont(0, nodeFont(base, kFunctionPointSize, 0));
            node->setCheckState(0, rights_[m][f] ? Qt::Checked : Qt::Unchecked);
            // The click handler alone changes a mark, so the cell always follows it.
            node->setFlags(node->flags() & ~Qt::ItemIsUserCheckable);
        }
    }
    // A stored name longer than a new one may be is shown whole, so confirming does not
    // rename the role to its first characters; the limit stays for names typed new.
    const QString stored = clsDB.RoleName();
    Text2->setMaxLength(std::max(kRoleNameMaxLength, static_cast<int>(stored.size())));
    Text2->setText(stored);
    const bool locked = caller_->isLocked();
    Text2->setEnabled(!locked);
    SSTree1->setEnabled(!locked);
    SSTree1->expandAll();
    fitNames();
}

void formRoleFunctionSheet::fitNames()
{
    SSTree1->resizeColumnToContents(0);
    const int needed = SSTree1->columnWidth(0) + 2 * SSTree1->frameWidth() +
                       SSTree1->verticalScrollBar()->sizeHint().width() + 2 * Frame1->frameWidth();
    const QScreen* shown = screen();
    const int room = shown ? shown->availableGeometry().width() : needed;
    if (needed > width())
        resize(std::min(needed, room), height());
}

QTreeWidgetItem* formRoleFunctionSheet::nodeByKey(const QString& key) const
{
    QTreeWidgetItemIterator it(SSTree1);
    for (; *it; ++it)
        if ((*it)->data(0, kNodeKeyRole).toString() == key)
            return *it;
    return nullptr;
}

void formRoleFunctionSheet::nodeClicked(QTreeWidgetItem* item)
{
    if (!item || !item->parent() || !SSTree1->isEnabled())
        return;
    int m = 0;
    int f = 0;
    if (!ParseFunctionNodeKey(item->data(0, kNodeKeyRole).toString(), &m, &f) || m < 0 ||
        m >= macroCount_ || f < 0 || f >= functionCounts_[m])
        return;
    const bool allowed = item->checkState(0) != Qt::Checked;
    item->setCheckState(0, allowed ? Qt::Checked : Qt::Unchecked);
    rights_[m][f] = allowed;
}

void formRoleFunctionSheet::done(int result)
{
    if (source_) {
        source_->setAttivazioni(rights_);
        source_->setRoleName(Text2->text());
        source_ = nullptr;
    }
    caller_ = nullptr;
    QDialog::done(result);
}

void formRoleFunctionSheet::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    arrange();
}

void formRoleFunctionSheet::arrange()
{
    const int w = width();
    const int h = height();
    const int half = w / 2;
    const int rowHeight = std::max(Label2->sizeHint().height(), Text2->sizeHint().height());
    const int buttonHeight = Command1->sizeHint().height();
    Label2->setGeometry(0, 0, half, rowHeight);
    Text2->setGeometry(half, 0, w - half, rowHeight);
    Frame1->setGeometry(0, rowHeight, w, std::max(0, h - buttonHeight - rowHeight));
    SSTree1->setGeometry(0, 0, Frame1->width(), Frame1->height());
    Command1->setGeometry(0, rowHeight + Frame1->height(), half, buttonHeight);
    Command2->setGeometry(half, Command1->y(), w - half, buttonHeight);
}

} // namespace rolefunctionsheet
