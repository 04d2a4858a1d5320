// Users and roles through the real window against a stand-in: the user details dialog and the
// role editor loaded from libRoleFunctionSheet.so, typed into and clicked as a person does, and
// what they stored read back.
#include "Gen_InsUser.h"
#include "OracleCipher.h"
#include "PasswordUsersRoles.h"
#include "Screenshot.h"
#include "SqlText.h"
#include "WindowPassword.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

using namespace sqllumo;
using namespace sqllumo::ui;
using sqllumo::testing::ModalScript;

namespace {

const QString kCreateReport = QStringLiteral("Can Create Report");
const QString kAcquire = QStringLiteral("Can Acquire EEG");

class WindowUsersRoles : public sqllumo::testing::WindowPassword {
protected:
    // A new password database made through its panel; its administrator password stays
    // confirmed for the functions that follow.
    void createDatabase(const QString& name, ModalScript& modals)
    {
        window_->CorvistaPasswordDataBase->trigger();
        sqllumo::testing::OpenPanel(*window_, password::kNewPasswordDatabase);
        type(1, name);
        modals.then(passwords(PasswordRequestMode::NewPassword, "adm1n", "adm1n"));
        modals.press(QMessageBox::Ok);
        pressOk();
        ASSERT_EQ(column(name, "SELECT COUNT(*) FROM T_SecurityRoles"), QStringList{"1"});
        db_ = name;
    }
    // The panel of the function with the name chosen from the list its button fills.
    void choose(int function, QPushButton* listButton, const QString& name)
    {
        sqllumo::testing::OpenPanel(*window_, function);
        ASSERT_TRUE(listButton->isVisible());
        listButton->click();
        const int index = window_->Combo1->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        window_->Combo1->setCurrentIndex(index);
    }
    QStringList query(const QString& sql) const { return column(db_, sql); }
    QStringList rightsOf(const QString& role) const
    {
        return query(sqllumo::testing::RoleRightsQuery(role));
    }

    QString db_;
};

// The editor window of the library, seen through its widgets.
struct Editor {
    QWidget* window = nullptr;
    QLineEdit* name = nullptr;
    QTreeWidget* tree = nullptr;

    explicit Editor(QWidget* w)
        : window(w), name(w->findChild<QLineEdit*>()), tree(w->findChild<QTreeWidget*>())
    {
    }
    bool complete() const { return name && tree; }
    void click(const QString& function) const
    {
        const QList<QTreeWidgetItem*> found =
            tree->findItems(function, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1) << function.toStdString();
        tree->scrollToItem(found[0]);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(found[0]).center());
    }
    void press(const QString& caption) const
    {
        for (QPushButton* button : window->findChildren<QPushButton*>())
            if (button->text() == caption)
                return button->click();
        ADD_FAILURE() << "no button " << caption.toStdString();
    }
};

} // namespace

TEST_F(WindowUsersRoles, RolesAreAddedAndChangedInTheEditor)
{
    ModalScript modals;
    createDatabase(QStringLiteral("WindowRoles"), modals);

    sqllumo::testing::OpenPanel(*window_, password::kAddRole);
    modals.then([](QWidget* w) {
        const Editor editor(w);
        ASSERT_TRUE(editor.complete());
        EXPECT_TRUE(editor.name->text().isEmpty());
        QTest::keyClicks(editor.name, "Doctor's role");
        editor.click(kCreateReport);
        editor.press("Ok");
    });
    modals.press(QMessageBox::Ok); // what was changed
    pressOk();
    EXPECT_TRUE(modals.done());
    EXPECT_FALSE(window_->Frame1->isVisible());
    EXPECT_EQ(rightsOf("Doctor's role"), QStringList{kCreateReport});

    // The name box starts from the role; one function more, and a new name.
    choose(password::kModifyRole, window_->Command6, "Doctor's role");
    modals.then([](QWidget* w) {
        const Editor editor(w);
        ASSERT_TRUE(editor.complete());
        EXPECT_EQ(w->windowTitle(), "Doctor's role");
        EXPECT_EQ(editor.name->text(), "Doctor's role");
        EXPECT_TRUE(editor.tree->isEnabled());
        sqllumo::testing::SaveScreenshot(*w, "role-editor-in-window");
        // Opened wide enough for the longest function name, none of them cut short.
        for (QTreeWidgetItemIterator it(editor.tree); *it; ++it)
            EXPECT_LE(editor.tree->visualItemRect(*it).x() +
                          QFontMetrics((*it)->font(0)).horizontalAdvance((*it)->text(0)),
                      editor.tree->viewport()->width())
                << (*it)->text(0).toStdString();
        editor.click(kAcquire);
        editor.name->selectAll();
        QTest::keyClicks(editor.name, "Doctors");
        editor.press("Ok");
    });
    modals.press(QMessageBox::Ok); // what was changed
    pressOk();
    EXPECT_TRUE(modals.done());
    EXPECT_EQ(rightsOf("Doctors"), (QStringList{kCreateReport, kAcquire}));
    EXPECT_EQ(query("SELECT RoleName FROM T_SecurityRoles ORDER BY ID_Role"),
              (QStringList{"Administrator", "Doctors"}));

    // Locked: the message, then the editor to look at only; confirming it changes nothing.
    choose(password::kModifyRole, window_->Command6, "Administrator");
    modals.press(QMessageBox::Ok);
    modals.then([](QWidget* w) {
        const Editor editor(w);
        ASSERT_TRUE(editor.complete());
        EXPECT_FALSE(editor.name->isEnabled());
        EXPECT_FALSE(editor.tree->isEnabled());
        editor.press("Ok");
    });
    pressOk();
    ASSERT_FALSE(modals.seen().empty());
    EXPECT_EQ(modals.seen().back().text, "Role Administrator is locked! You can't modify it!");
    EXPECT_TRUE(modals.done());
    EXPECT_TRUE(window_->Frame1->isVisible());
    EXPECT_EQ(rightsOf("Administrator").size(), 13);
    EXPECT_EQ(modals.unexpected(), 0);
}

TEST_F(WindowUsersRoles, UsersAreAddedAndChangedInTheDialog)
{
    ModalScript modals;
    createDatabase(QStringLiteral("WindowUsers"), modals);
    execute(db_,
            {"INSERT INTO T_SecurityRoles (RoleName, IsLocked) VALUES (N'Doctor''s role', 0)"});
    const QString name = QStringLiteral("O'Brien Séan");

    sqllumo::testing::OpenPanel(*window_, password::kAddUser);
    modals.then([&](QWidget* w) {
        auto* d = qobject_cast<Gen_InsUser*>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->Combo1->count(), 2);
        // QTest types ASCII only; the rest goes in as an input method would put it.
        d->Text2->setText(name);
        QTest::keyClicks(d->Text3, "s3cret");
        QTest::keyClicks(d->Text4, "s3cret");
        d->Combo1->setCurrentIndex(d->Combo1->findText("Doctor's role"));
        d->Text1_4->setText("Séan");
        QTest::keyClicks(d->Text1_5, "O'Brien");
        QTest::keyClicks(d->Text1_8, "Dr");
        QTest::keyClicks(d->Comdate_0->lineEdit(), "1970");
        QTest::keyClicks(d->Comdate_1->lineEdit(), "5");
        QTest::keyClicks(d->Comdate_2->lineEdit(), "31");
        d->Option1_0->click();
        d->Option1_2->click();
        d->Command1->click();
    });
    modals.press(QMessageBox::Ok); // what was changed
    pressOk();
    EXPECT_TRUE(modals.done());
    ASSERT_FALSE(modals.seen().empty());
    EXPECT_TRUE(modals.seen().back().text.startsWith("User " + name + " has been added"))
        << modals.seen().back().text.toStdString();
    EXPECT_EQ(modals.seen().back().icon, QMessageBox::Information);
    EXPECT_FALSE(window_->Frame1->isVisible());
    EXPECT_EQ(query("SELECT User_Passwd FROM T_GenericUser"),
              QStringList{sqllumo::testing::oracleCipherText(name, "s3cret")});
    EXPECT_EQ(query("SELECT L_Name + '|' + F_Name + '|' + Title + '|' + "
                    "CONVERT(NVARCHAR(10), B_Date, 120) + '|' + r.RoleName FROM T_GenericUser u "
                    "JOIN T_SecurityRoles r ON r.ID_Role = u.Access_Type"),
              QStringList{"O'Brien|Séan|Dr|1970-05-31|Doctor's role"});
    EXPECT_EQ(query("SELECT CAST(Doc_Tech AS INT) + 10 * CAST(Int_Ext AS INT) FROM T_GenericUser"),
              QStringList{"11"});

    // Opened on what is stored, the password deciphered; the title typed is not taken back.
    choose(password::kModifyUser, window_->Command2, name);
    modals.then([&](QWidget* w) {
        auto* d = qobject_cast<Gen_InsUser*>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_FALSE(d->Text2->isEnabled());
        EXPECT_EQ(d->Text2->text(), name);
        EXPECT_EQ(d->Text3->text(), "s3cret");
        EXPECT_EQ(d->Combo1->currentText(), "Doctor's role");
        EXPECT_EQ(d->Comdate_2->currentText(), "31");
        EXPECT_TRUE(d->Option1_0->isChecked());
        sqllumo::testing::SaveScreenshot(*d, "user-information-in-window");
        d->Text1_5->selectAll();
        QTest::keyClicks(d->Text1_5, "O'Neill");
        d->Text1_8->selectAll();
        QTest::keyClicks(d->Text1_8, "Prof");
        d->Combo1->setCurrentIndex(d->Combo1->findText("Administrator"));
        d->Option1_3->click();
        d->Command1->click();
    });
    modals.press(QMessageBox::Ok); // what was changed
    pressOk();
    EXPECT_TRUE(modals.done());
    EXPECT_EQ(query("SELECT L_Name + '|' + Title + '|' + r.RoleName FROM T_GenericUser u "
                    "JOIN T_SecurityRoles r ON r.ID_Role = u.Access_Type"),
              QStringList{"O'Neill|Dr|Administrator"});
    EXPECT_EQ(query("SELECT CAST(Int_Ext AS INT) FROM T_GenericUser"), QStringList{"0"});
    EXPECT_EQ(query("SELECT User_Passwd FROM T_GenericUser"),
              QStringList{sqllumo::testing::oracleCipherText(name, "s3cret")});

    // Cancel changes nothing.
    choose(password::kModifyUser, window_->Command2, name);
    modals.then([](QWidget* w) {
        auto* d = qobject_cast<Gen_InsUser*>(w);
        ASSERT_NE(d, nullptr);
        d->Text1_5->clear();
        d->Command2->click();
    });
    pressOk();
    EXPECT_EQ(query("SELECT L_Name FROM T_GenericUser"), QStringList{"O'Neill"});
    EXPECT_EQ(modals.unexpected(), 0);
}

namespace {

// A user row as another program may have stored it, its password enciphered under its name.
QString insertUser(const QString& name, const QString& password, int roleId)
{
    return QStringLiteral("INSERT INTO T_GenericUser (User_Name, User_Passwd, L_Name, F_Name, "
                          "B_Date, Title, Access_Type, Doc_Tech, Int_Ext, Free) VALUES (%1, %2, "
                          "N'Rossi', N'Anna', '1970-05-31T00:00:00', N'Dr', %3, 1, 1, N'')")
        .arg(db::TextLiteral(name),
             db::TextLiteral(sqllumo::testing::oracleCipherText(name, password)))
        .arg(roleId);
}

} // namespace

TEST_F(WindowUsersRoles, StoredValuesLongerThanTheBoxesSurviveTheirDialogs)
{
    ModalScript modals;
    createDatabase(QStringLiteral("WindowLongValues"), modals);
    const QString role = QStringLiteral("Neurophysiology Team");
    ASSERT_EQ(role.size(), 20);
    execute(db_, {"INSERT INTO T_SecurityRoles (RoleName, IsLocked) VALUES (" +
                  db::TextLiteral(role) + ", 0)"});
    const int roleId =
        query("SELECT ID_Role FROM T_SecurityRoles WHERE RoleName = " + db::TextLiteral(role))
            .value(0)
            .toInt();
    const QString password = QStringLiteral("forty characters of a password, typed ok");
    ASSERT_EQ(password.size(), 40);
    execute(db_, {insertUser("arossi", password, roleId)});

    // The role's rights changed in the editor: its name stays whole.
    choose(password::kModifyRole, window_->Command6, role);
    modals.then([&](QWidget* w) {
        const Editor editor(w);
        ASSERT_TRUE(editor.complete());
        EXPECT_EQ(editor.name->text(), role);
        editor.click(kAcquire);
        editor.press("Ok");
    });
    modals.press(QMessageBox::Ok); // what was changed
    pressOk();
    EXPECT_TRUE(modals.done());
    EXPECT_EQ(query("SELECT RoleName FROM T_SecurityRoles ORDER BY ID_Role"),
              (QStringList{"Administrator", role}));
    EXPECT_EQ(rightsOf(role), QStringList{kAcquire});

    // The user changed without a new password keeps the stored one.
    choose(password::kModifyUser, window_->Command2, "arossi");
    modals.then([&](QWidget* w) {
        auto* d = qobject_cast<Gen_InsUser*>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->Text3->text(), password);
        EXPECT_EQ(d->Combo1->currentText(), role);
        d->Text1_5->selectAll();
        QTest::keyClicks(d->Text1_5, "Russo");
        d->Command1->click();
    });
    modals.press(QMessageBox::Ok); // what was changed
    pressOk();
    EXPECT_TRUE(modals.done());
    EXPECT_EQ(query("SELECT L_Name + '|' + r.RoleName FROM T_GenericUser u JOIN T_SecurityRoles "
                    "r ON r.ID_Role = u.Access_Type"),
              QStringList{"Russo|" + role});
    EXPECT_EQ(query("SELECT User_Passwd FROM T_GenericUser"),
              QStringList{sqllumo::testing::oracleCipherText("arossi", password)});

    // A new user starts without a role, and OK asks for one.
    sqllumo::testing::OpenPanel(*window_, password::kAddUser);
    modals.then([&](QWidget* w) {
        auto* d = qobject_cast<Gen_InsUser*>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->Combo1->currentIndex(), -1);
        QTest::keyClicks(d->Text2, "newbie");
        QTest::keyClicks(d->Text3, "pw");
        QTest::keyClicks(d->Text4, "pw");
        // Clicked from the dialog's own loop, so the script sees the message it brings.
        QTimer::singleShot(0, d->Command1, &QPushButton::click);
    });
    modals.press(QMessageBox::Ok);
    modals.then([](QWidget* w) {
        auto* d = qobject_cast<Gen_InsUser*>(w);
        ASSERT_NE(d, nullptr);
        d->Command2->click();
    });
    pressOk();
    EXPECT_TRUE(modals.done());
    ASSERT_FALSE(modals.seen().empty());
    EXPECT_EQ(modals.seen().back().text, "You have to specify the access type!");
    EXPECT_EQ(query("SELECT User_Name FROM T_GenericUser"), QStringList{"arossi"});
    EXPECT_EQ(modals.unexpected(), 0);
}

TEST_F(WindowUsersRoles, DeletingARoleAsksNamingItsUsersAndNoIsTheDefault)
{
    ModalScript modals;
    createDatabase(QStringLiteral("WindowRoleDelete"), modals);
    execute(db_, {"INSERT INTO T_SecurityRoles (RoleName, IsLocked) VALUES (N'Night', 0)"});
    const int night =
        query("SELECT ID_Role FROM T_SecurityRoles WHERE RoleName = N'Night'").value(0).toInt();
    execute(db_, {insertUser("zoe", "pw", night), insertUser("bea", "pw", night),
                  insertUser("root", "pw", 1)});

    // Enter answers the question with its default: No, and nothing goes.
    choose(password::kDeleteRole, window_->Command6, "Night");
    modals.then([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "Delete role Night and its 2 users (bea, zoe)?");
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        QTest::keyClick(box, Qt::Key_Return);
    });
    pressOk();
    EXPECT_TRUE(modals.done());
    EXPECT_TRUE(window_->Frame1->isVisible());
    EXPECT_EQ(query("SELECT COUNT(*) FROM T_GenericUser"), QStringList{"3"});
    EXPECT_EQ(query("SELECT COUNT(*) FROM T_SecurityRoles"), QStringList{"2"});

    modals.press(QMessageBox::Yes);
    modals.press(QMessageBox::Ok); // what was removed
    pressOk();
    EXPECT_TRUE(modals.done());
    ASSERT_FALSE(modals.seen().empty());
    EXPECT_EQ(modals.seen().back().text,
              "Role Night has been removed to database " + db_ +
                  "\nUsers removed with it: bea, zoe"); // the box breaks lines so
    EXPECT_FALSE(window_->Frame1->isVisible());
    EXPECT_EQ(query("SELECT User_Name FROM T_GenericUser"), QStringList{"root"});
    EXPECT_EQ(query("SELECT RoleName FROM T_SecurityRoles"), QStringList{"Administrator"});
    QFile log(QDir(dir_.path()).filePath("SQLLumoManager Report.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(log.readAll())
                    .contains("Role Night has been removed to database " + db_ +
                              "\r\nUsers removed with it: bea, zoe"));
    EXPECT_EQ(modals.unexpected(), 0);
}
