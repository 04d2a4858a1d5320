// The editor window driven offscreen through showfrm, with plain objects standing in for the
// password database and the main window.
#include "FakeRights.h"
#include "Screenshot.h"
#include "clsFunctsRoles.h"
#include "formRoleFunctionSheet.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace rolefunctionsheet;
using rolefunctionsheet::testing::FakeCaller;
using rolefunctionsheet::testing::FakeRights;

namespace {

// Runs showfrm; step acts on the window once it is shown and must close it.
void showAndDrive(const QString& role, FakeCaller& caller, FakeRights& rights,
                  const std::function<void(formRoleFunctionSheet&)>& step)
{
    bool reached = false;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<formRoleFunctionSheet*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        reached = true;
        step(*window);
        if (window->isVisible())
            window->reject(); // a step that failed half-way must not hang the test
    });
    clsFunctsRoles().showfrm(role, caller, rights);
    EXPECT_TRUE(reached);
}

void click(formRoleFunctionSheet& w, QTreeWidgetItem* item)
{
    ASSERT_NE(item, nullptr);
    w.SSTree1->scrollToItem(item);
    QTest::mouseClick(w.SSTree1->viewport(), Qt::LeftButton, {},
                      w.SSTree1->visualItemRect(item).center());
}

} // namespace

TEST(RoleFunctionSheet, KeysCarryBlanksAndParseBackToTheirCell)
{
    EXPECT_EQ(FunctionNodeKey(0, 3), QStringLiteral(" 0- 3"));
    EXPECT_EQ(FunctionNodeKey(10, 12), QStringLiteral(" 10- 12"));
    int m = -1;
    int f = -1;
    ASSERT_TRUE(ParseFunctionNodeKey(QStringLiteral(" 10- 12"), &m, &f));
    EXPECT_EQ(m, 10);
    EXPECT_EQ(f, 12);
    EXPECT_FALSE(ParseFunctionNodeKey(QStringLiteral("Archive"), &m, &f));

    // In the tree: the node keyed " 10- 12" shows function (10, 12) and flips exactly that cell.
    FakeRights rights = FakeRights::grid(11, 13, [](int, int) { return false; });
    FakeCaller caller;
    showAndDrive(QStringLiteral("Nurses"), caller, rights, [&](formRoleFunctionSheet& w) {
        QTreeWidgetItem* node = w.nodeByKey(QStringLiteral(" 10- 12"));
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->text(0), QStringLiteral("g10 f12"));
        EXPECT_EQ(w.nodeByKey(QStringLiteral(" 0- 3"))->text(0), QStringLiteral("g0 f3"));
        click(w, node);
        w.Command1->click();
    });
    for (int g = 0; g < 11; ++g)
        for (int f = 0; f < 13; ++f)
            EXPECT_EQ(rights.rights[g][f], g == 10 && f == 12) << g << "," << f;
}

TEST(RoleFunctionSheet, FillsTreeNameAndTitleFromTheSource)
{
    FakeRights rights = FakeRights::grid(2, 3, [](int m, int f) { return (m + f) % 2 == 0; });
    rights.roleName = QStringLiteral("Técnicos");
    FakeCaller caller;
    showAndDrive(QStringLiteral("Técnicos"), caller, rights, [&](formRoleFunctionSheet& w) {
        sqllumo::testing::SaveScreenshot(w, QStringLiteral("role-function-sheet"));
        EXPECT_FALSE(caller.confirmed);
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Técnicos"));
        EXPECT_EQ(w.Text2->text(), QStringLiteral("Técnicos"));
        EXPECT_EQ(w.Text2->maxLength(), 16);
        EXPECT_EQ(w.Label2->text(), QStringLiteral("Role Name"));
        EXPECT_EQ(w.Command1->text(), QStringLiteral("Ok"));
        EXPECT_EQ(w.Command2->text(), QStringLiteral("Cancel"));
        ASSERT_EQ(w.SSTree1->topLevelItemCount(), 2);
        // 12 and 10 points, or more under a larger desktop font.
        const int base = w.SSTree1->font().pointSize();
        for (int m = 0; m < 2; ++m) {
            QTreeWidgetItem* group = w.SSTree1->topLevelItem(m);
            EXPECT_EQ(group, w.nodeByKey(QStringLiteral("Group %1").arg(m)));
            EXPECT_TRUE(group->isExpanded());
            EXPECT_TRUE(group->font(0).bold());
            EXPECT_EQ(group->font(0).pointSize(), std::max(12, base + 2));
            ASSERT_EQ(group->childCount(), 3);
            for (int f = 0; f < 3; ++f) {
                QTreeWidgetItem* node = group->child(f);
                EXPECT_EQ(node->text(0), rights.names[m][f]);
                EXPECT_TRUE(node->font(0).bold());
                EXPECT_EQ(node->font(0).pointSize(), std::max(10, base));
                EXPECT_EQ(node->checkState(0), rights.rights[m][f] ? Qt::Checked : Qt::Unchecked);
            }
        }
        w.Command2->click();
    });
}

TEST(RoleFunctionSheet, GroupClicksChangeNothingAndTwoClicksRestoreAFunction)
{
    FakeRights rights = FakeRights::grid(2, 4, [](int, int f) { return f == 1; });
    const FlagGrid before = rights.rights;
    FakeCaller caller;
    showAndDrive(QStringLiteral("Doctors"), caller, rights, [&](formRoleFunctionSheet& w) {
        click(w, w.SSTree1->topLevelItem(1));
        QTreeWidgetItem* on = w.nodeByKey(FunctionNodeKey(0, 1));
        QTreeWidgetItem* off = w.nodeByKey(FunctionNodeKey(1, 2));
        click(w, on);
        EXPECT_EQ(on->checkState(0), Qt::Unchecked);
        click(w, on);
        EXPECT_EQ(on->checkState(0), Qt::Checked);
        // The space bar is the same gesture for those who do not use the mouse.
        w.SSTree1->setCurrentItem(off);
        QTest::keyClick(w.SSTree1, Qt::Key_Space);
        EXPECT_EQ(off->checkState(0), Qt::Checked);
        QTest::keyClick(w.SSTree1, Qt::Key_Space);
        EXPECT_EQ(off->checkState(0), Qt::Unchecked);
        w.Command1->click();
    });
    EXPECT_EQ(rights.rights, before);
    EXPECT_TRUE(caller.confirmed);
}

TEST(RoleFunctionSheet, EveryWayOfClosingWritesBackOnlyOkConfirms)
{
    enum class Close { Ok, Cancel, CloseBox, Escape };
    for (Close how : {Close::Ok, Close::Cancel, Close::CloseBox, Close::Escape}) {
        FakeRights rights = FakeRights::grid(1, 3, [](int, int) { return false; });
        rights.roleName = QStringLiteral("Old name");
        FakeCaller caller;
        showAndDrive(QStringLiteral("Old name"), caller, rights, [&](formRoleFunctionSheet& w) {
            click(w, w.nodeByKey(FunctionNodeKey(0, 2)));
            w.Text2->selectAll();
            QTest::keyClicks(w.Text2, QStringLiteral("Reception O'Neil staff"));
            switch (how) {
            case Close::Ok:
                w.Command1->click();
                break;
            case Close::Cancel:
                w.Command2->click();
                break;
            case Close::CloseBox:
                w.close();
                break;
            case Close::Escape:
                QTest::keyClick(&w, Qt::Key_Escape);
                break;
            }
        });
        SCOPED_TRACE(static_cast<int>(how));
        // The box holds 16 characters.
        EXPECT_EQ(rights.roleName, QStringLiteral("Reception O'Neil"));
        EXPECT_EQ(rights.rights[0], (std::vector<bool>{false, false, true, false}));
        EXPECT_EQ(rights.rightsWrites, 1);
        EXPECT_EQ(rights.nameWrites, 1);
        EXPECT_EQ(caller.confirmed, how == Close::Ok);
        EXPECT_EQ(caller.typedName, how == Close::Ok ? QStringLiteral("Reception O'Neil")
                                                     : QStringLiteral("untouched"));
    }
}

TEST(RoleFunctionSheet, AStoredNameLongerThanTheBoxIsShownAndHandedBackWhole)
{
    // Twenty characters, stored by another program; only the rights are changed.
    const QString stored = QStringLiteral("Neurophysiology Team");
    ASSERT_EQ(stored.size(), 20);
    FakeRights rights = FakeRights::grid(1, 2, [](int, int) { return false; });
    rights.roleName = stored;
    FakeCaller caller;
    clsFunctsRoles editor;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<formRoleFunctionSheet*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        shown = true;
        EXPECT_EQ(w->Text2->text(), stored);
        click(*w, w->nodeByKey(FunctionNodeKey(0, 1)));
        w->Command1->click();
    });
    editor.showfrm(stored, caller, rights);
    ASSERT_TRUE(shown);
    EXPECT_EQ(rights.roleName, stored);
    EXPECT_EQ(caller.typedName, stored);
    EXPECT_EQ(rights.rights[0][1], true);

    // A new role typed in the same editor afterwards meets the limit again.
    rights.roleName.clear();
    QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<formRoleFunctionSheet*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        QTest::keyClicks(w->Text2, stored);
        w->Command1->click();
    });
    editor.showfrm(QString(), caller, rights);
    EXPECT_EQ(rights.roleName, stored.left(16));
}

TEST(RoleFunctionSheet, LockedRoleCanBeLookedAtButNotChanged)
{
    FakeRights rights = FakeRights::grid(1, 2, [](int, int f) { return f == 0; });
    rights.roleName = QStringLiteral("Administrator");
    const FlagGrid before = rights.rights;
    FakeCaller caller;
    caller.locked = true;
    showAndDrive(QStringLiteral("Administrator"), caller, rights, [&](formRoleFunctionSheet& w) {
        EXPECT_FALSE(w.Text2->isEnabled());
        EXPECT_FALSE(w.SSTree1->isEnabled());
        click(w, w.nodeByKey(FunctionNodeKey(0, 1)));
        w.nodeClicked(w.nodeByKey(FunctionNodeKey(0, 0)));
        w.Command1->click();
    });
    EXPECT_TRUE(caller.confirmed);
    EXPECT_EQ(rights.rights, before);
    EXPECT_EQ(rights.roleName, QStringLiteral("Administrator"));
}

TEST(RoleFunctionSheet, EmptyMatrixGivesEmptyTreeAndOkStillHandsBackTheName)
{
    FakeRights rights;
    FakeCaller caller;
    showAndDrive(QString(), caller, rights, [&](formRoleFunctionSheet& w) {
        EXPECT_EQ(w.SSTree1->topLevelItemCount(), 0);
        QTest::keyClicks(w.Text2, QStringLiteral("Night shift"));
        w.Command1->click();
    });
    EXPECT_TRUE(caller.confirmed);
    EXPECT_EQ(caller.typedName, QStringLiteral("Night shift"));
    EXPECT_EQ(rights.roleName, QStringLiteral("Night shift"));
}

TEST(RoleFunctionSheet, SourceWhoseArraysMissCellsIsRefusedBeforeShowing)
{
    FakeRights complete = FakeRights::grid(2, 3, [](int, int) { return true; });
    std::vector<std::function<void(FakeRights&)>> damages = {
        [](FakeRights& r) { r.counts.pop_back(); },  [](FakeRights& r) { r.macroNames.pop_back(); },
        [](FakeRights& r) { r.names[1].resize(2); }, [](FakeRights& r) { r.rights.resize(1); },
        [](FakeRights& r) { r.counts[0] = -1; },
    };
    for (const auto& damage : damages) {
        FakeRights rights = complete;
        damage(rights);
        const FakeRights kept = rights;
        FakeCaller caller;
        bool shown = false;
        QTimer::singleShot(0, [&] {
            if (auto* w = QApplication::activeModalWidget()) {
                shown = true;
                w->close();
            }
        });
        EXPECT_THROW(clsFunctsRoles().showfrm(QStringLiteral("R"), caller, rights),
                     std::invalid_argument);
        QApplication::processEvents();
        EXPECT_FALSE(shown);
        EXPECT_EQ(rights.rights, kept.rights);
        EXPECT_EQ(rights.rightsWrites, 0);
        EXPECT_EQ(rights.nameWrites, 0);
        EXPECT_TRUE(caller.confirmed); // untouched
    }
}

TEST(RoleFunctionSheet, LayoutFollowsTheWindowSize)
{
    FakeRights rights = FakeRights::grid(3, 5, [](int, int) { return false; });
    FakeCaller caller;
    showAndDrive(QStringLiteral("Layout"), caller, rights, [&](formRoleFunctionSheet& w) {
        for (QSize size : {QSize(300, 250), QSize(801, 600)}) {
            w.resize(size);
            QApplication::processEvents();
            const int width = w.width();
            const int height = w.height();
            EXPECT_EQ(w.Label2->geometry().left(), 0);
            EXPECT_EQ(w.Label2->width(), width / 2);
            EXPECT_EQ(w.Text2->x(), w.Label2->geometry().right() + 1);
            EXPECT_EQ(w.Text2->geometry().right(), width - 1);
            EXPECT_EQ(w.Frame1->y(), w.Label2->geometry().bottom() + 1);
            EXPECT_EQ(w.Frame1->width(), width);
            EXPECT_EQ(w.SSTree1->size(), w.Frame1->size());
            EXPECT_EQ(w.Command1->y(), w.Frame1->geometry().bottom() + 1);
            EXPECT_EQ(w.Command1->geometry().bottom(), height - 1);
            EXPECT_EQ(w.Command2->x(), w.Command1->geometry().right() + 1);
            EXPECT_EQ(w.Command2->geometry().right(), width - 1);
            EXPECT_EQ(w.Command2->y(), w.Command1->y());
            EXPECT_GE(w.Text2->height(), w.Text2->sizeHint().height());
        }
        w.Command2->click();
    });
}
