// The password catalogue's user and role functions run by the dispatcher, as the window runs
// them, against a password database on the stand-in: checks, dialogs, editor, report lines.
#include "DispatcherHarness.h"
#include "FunctionCatalogue.h"
#include "PasswordDbHarness.h"
#include "PasswordUsersRoles.h"

#include <QFile>

using namespace sqllumo;
using namespace sqllumo::testing;
using password::GestioneDbPassword;

namespace {

using namespace sqllumo::password;

class UserRoleFunctions : public PasswordDbHarness {
protected:
    void SetUp() override
    {
        PasswordDbHarness::SetUp();
        db_ = createPasswordDatabase("Functions", QStringLiteral("admin"));
        ui_ = ScriptedUserInterface();
        services_.settings = &settings_;
        services_.database = &port();
        services_.verifyAdminPassword = [](OperationContext& c, const QString& pw) {
            return GestioneDbPassword(c.ui(), c.windowCaption(), c.settings(), c.database())
                .VerificaPassword(pw);
        };
        dispatcher_ = std::make_unique<Dispatcher>(state_, ui_, host_, kCaption,
                                                   CatalogueFunctions(), services_);
        dispatcher_->setLogFolder(folder_.path());
        state_.chooseCatalogue(MenuMode::Password);
        host_.values = {server(), db_, {}, {}, user(), password(), {}};
        ui_.answerNextPasswordRequest({QStringLiteral("admin"), {}, {}});
    }
    OperationOutcome run(int entry, const QString& selection = {})
    {
        host_.values.selection = selection;
        host_.panelOpen = true;
        const auto outcome = dispatcher_->ok(entry);
        EXPECT_TRUE(outcome.has_value());
        return outcome.value_or(OperationOutcome::panelOpen());
    }
    QString log() const
    {
        QFile file(QDir(folder_.path()).filePath(QStringLiteral("SQLLumoManager Report.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QStringList users() const
    {
        return column(db_, QStringLiteral("SELECT User_Name FROM T_GenericUser"));
    }
    QString userColumn(const QString& name, const QString& columnName) const
    {
        for (const QStringList& row :
             rows(db_, QStringLiteral("SELECT User_Name, %1 FROM T_GenericUser").arg(columnName)))
            if (row.value(0) == name)
                return row.value(1);
        return {};
    }
    static UserDetailsResult details(const QString& name, const QString& pw, const QString& title)
    {
        UserDetailsResult r;
        r.InserisciUser = true;
        r.UserName = name;
        r.PassWord = pw;
        r.Cognome = QStringLiteral("Ünal");
        r.Nome = QStringLiteral("Zoë");
        r.Title = title;
        r.Tipo = 1;
        r.Posizione = 1;
        r.NomeRuolo = QStringLiteral("Administrator");
        r.DatadiNascita = QStringLiteral("05/03/1961");
        return r;
    }
    bool hasMessage(const QString& text) const
    {
        for (const Message& m : ui_.messages())
            if (m.text == text)
                return true;
        return false;
    }

    QString db_;
    WindowState state_;
    RecordingPanelHost host_;
    OperationServices services_;
    std::unique_ptr<Dispatcher> dispatcher_;
};

} // namespace

TEST_F(UserRoleFunctions, UsersAreAddedChangedWithTheirTitleKeptAndTheirPasswordErased)
{
    const QString name = QStringLiteral("O'Brien");
    ui_.answerNextUserDetails(details(name, QStringLiteral("first pw"), QStringLiteral("Dr.")));
    EXPECT_EQ(run(kAddUser).end, OperationEnd::Completed);
    EXPECT_FALSE(host_.panelOpen);
    EXPECT_EQ(users(), QStringList{name});
    EXPECT_EQ(userColumn(name, QStringLiteral("User_Passwd")),
              oracleCipherText(name, QStringLiteral("first pw")));
    EXPECT_TRUE(log().contains(QStringLiteral("User O'Brien has been added to database ") + db_));
    EXPECT_EQ(settings_.value(settingkeys::kPasswdDatabaseName), db_);

    // Modify: the dialog is filled from the database; a changed title does not come back.
    ui_.answerNextUserDetails(details(name, QStringLiteral("second pw"), QStringLiteral("Prof.")));
    EXPECT_EQ(run(kModifyUser, name).end, OperationEnd::Completed);
    ASSERT_EQ(ui_.userDetailsRequests().size(), 2u);
    const UserDetailsRequest& shown = ui_.userDetailsRequests()[1];
    EXPECT_EQ(shown.mode, UserDetailsMode::ChangeUser);
    EXPECT_EQ(shown.password, QStringLiteral("first pw"));
    EXPECT_EQ(shown.title, QStringLiteral("Dr."));
    EXPECT_EQ(shown.birthDate, QDate(1961, 3, 5));
    EXPECT_EQ(shown.roleName, QStringLiteral("Administrator"));
    EXPECT_EQ(userColumn(name, QStringLiteral("Title")), QStringLiteral("Dr."));
    EXPECT_EQ(userColumn(name, QStringLiteral("User_Passwd")),
              oracleCipherText(name, QStringLiteral("second pw")));
    EXPECT_TRUE(log().contains(QStringLiteral("User O'Brien has been modified in the database ")));

    EXPECT_EQ(run(kEraseUserPassword, name).end, OperationEnd::Completed);
    EXPECT_EQ(userColumn(name, QStringLiteral("User_Passwd")), QString());
    EXPECT_TRUE(log().contains(QStringLiteral("User password O'Brien has been erased from "
                                              "database ") +
                               db_));

    // Without a selection nothing is touched.
    EXPECT_EQ(run(kDeleteUser).end, OperationEnd::PanelOpen);
    EXPECT_TRUE(hasMessage(QStringLiteral("You have to select an user from the list!")));
    EXPECT_EQ(run(kDeleteUser, name).end, OperationEnd::Completed);
    EXPECT_TRUE(users().isEmpty());
    EXPECT_TRUE(log().contains(QStringLiteral("User O'Brien has been removed to database ")));

    // A cancelled dialog adds nothing but still ends the function.
    UserDetailsResult cancelled = details(QStringLiteral("nobody"), QStringLiteral("x"), {});
    cancelled.InserisciUser = false;
    ui_.answerNextUserDetails(cancelled);
    EXPECT_EQ(run(kAddUser).end, OperationEnd::Completed);
    EXPECT_TRUE(users().isEmpty());
    EXPECT_EQ(ui_.unscriptedPrompts(), 0);
    EXPECT_EQ(ui_.passwordRequests().size(), 1u); // confirmed once for the whole catalogue
}

TEST_F(UserRoleFunctions, RolesComeFromTheEditorOnlyWhenConfirmedWithAName)
{
    // Confirmed with a name and two functions switched on.
    ui_.answerNextRoleEditor([](const QString& roleName, rolefunctionsheet::RoleEditorCaller& c,
                                rolefunctionsheet::RightsSource& r) {
        EXPECT_TRUE(roleName.isEmpty());
        EXPECT_FALSE(c.isLocked());
        auto grid = r.Attivazioni();
        for (bool cell : grid[0])
            EXPECT_FALSE(cell);
        grid[0][0] = grid[0][12] = true;
        r.setAttivazioni(grid);
        r.setRoleName(QStringLiteral("Doctor's role"));
        c.setPuoiModificareRole(true);
    });
    EXPECT_EQ(run(kAddRole).end, OperationEnd::Completed);
    const QString rights = QStringLiteral(
        "SELECT COUNT(*) FROM T_SecurityRolesFunctions INNER JOIN T_SecurityRoles ON "
        "T_SecurityRolesFunctions.ID_Role = T_SecurityRoles.ID_Role WHERE RoleName = N'%1'");
    EXPECT_EQ(column(db_, rights.arg(QStringLiteral("Doctor''s role"))).value(0),
              QStringLiteral("2"));
    EXPECT_TRUE(log().contains(QStringLiteral("Role Doctor's role has been added to database ")));

    // Cancelled: nothing said, nothing added; confirmed without a name: told so.
    ui_.answerNextRoleEditor(
        [](const QString&, rolefunctionsheet::RoleEditorCaller&,
           rolefunctionsheet::RightsSource& r) { r.setRoleName(QStringLiteral("Cancelled")); });
    const size_t before = ui_.messages().size();
    EXPECT_EQ(run(kAddRole).end, OperationEnd::PanelOpen);
    EXPECT_EQ(ui_.messages().size(), before);
    ui_.answerNextRoleEditor(
        [](const QString&, rolefunctionsheet::RoleEditorCaller& c,
           rolefunctionsheet::RightsSource&) { c.setPuoiModificareRole(true); });
    EXPECT_EQ(run(kAddRole).end, OperationEnd::PanelOpen);
    EXPECT_EQ(ui_.messages().back().text, QStringLiteral("You have to specify a role name"));
    EXPECT_EQ(column(db_, QStringLiteral("SELECT COUNT(*) FROM T_SecurityRoles")).value(0),
              QStringLiteral("2"));

    // Modify: renamed and one right revoked.
    ui_.answerNextRoleEditor([](const QString& roleName, rolefunctionsheet::RoleEditorCaller& c,
                                rolefunctionsheet::RightsSource& r) {
        EXPECT_EQ(roleName, QStringLiteral("Doctor's role"));
        EXPECT_EQ(r.RoleName(), QStringLiteral("Doctor's role"));
        auto grid = r.Attivazioni();
        EXPECT_TRUE(grid[0][12]);
        grid[0][12] = false;
        r.setAttivazioni(grid);
        r.setRoleName(QStringLiteral("Doctors"));
        c.setPuoiModificareRole(true);
    });
    EXPECT_EQ(run(kModifyRole, QStringLiteral("Doctor's role")).end, OperationEnd::Completed);
    EXPECT_EQ(column(db_, rights.arg(QStringLiteral("Doctors"))).value(0), QStringLiteral("1"));
    EXPECT_TRUE(
        log().contains(QStringLiteral("Role Doctor's role has been modified to database ")));

    // The locked role: its message, the editor still opens, and nothing changes.
    ui_.answerNextRoleEditor([](const QString&, rolefunctionsheet::RoleEditorCaller& c,
                                rolefunctionsheet::RightsSource& r) {
        EXPECT_TRUE(c.isLocked());
        auto grid = r.Attivazioni();
        grid[0][0] = false;
        r.setAttivazioni(grid);
        c.setPuoiModificareRole(true);
    });
    EXPECT_EQ(run(kModifyRole, QStringLiteral("Administrator")).end, OperationEnd::PanelOpen);
    EXPECT_TRUE(hasMessage(QStringLiteral("Role Administrator is locked! You can't modify it!")));
    EXPECT_EQ(column(db_, rights.arg(QStringLiteral("Administrator"))).value(0),
              QStringLiteral("13"));

    ui_.answerNextMessage(MessageResult::Yes);
    EXPECT_EQ(run(kDeleteRole, QStringLiteral("Doctors")).end, OperationEnd::Completed);
    ASSERT_GE(ui_.messages().size(), 2u);
    EXPECT_EQ(ui_.messages().end()[-2].text,
              QStringLiteral("Delete role Doctors? It has no users."));
    // What went, said to the person who asked.
    EXPECT_EQ(ui_.messages().back().text,
              QStringLiteral("Role Doctors has been removed to database ") + db_ +
                  QStringLiteral("\r\nNo user had this role."));
    EXPECT_EQ(ui_.messages().back().icon, MessageIcon::Information);
    EXPECT_TRUE(log().contains(QStringLiteral("Role Doctors has been removed to database ") + db_ +
                               QStringLiteral("\r\nNo user had this role.")));
    EXPECT_EQ(ui_.roleEditorNames().size(), 5);
    EXPECT_EQ(ui_.unscriptedPrompts(), 0);
}

TEST_F(UserRoleFunctions, NameButtonsListAfreshAfterTheAdministratorCheck)
{
    ASSERT_TRUE(dispatcher_->withContext(kDeleteUser, [](OperationContext&) {}));
    password::TextList combo;
    combo.AddItem(QStringLiteral("stale"));
    dispatcher_->withContext(kModifyRole, [&](OperationContext& c) {
        password::ShowNames(c, password::NameList::Roles, combo);
    });
    EXPECT_EQ(combo.items(), QStringList{QStringLiteral("Administrator")});
    EXPECT_EQ(combo.ListIndex(), 0);
    dispatcher_->withContext(kDeleteUser, [&](OperationContext& c) {
        password::ShowNames(c, password::NameList::Users, combo);
    });
    EXPECT_TRUE(combo.items().isEmpty());
    EXPECT_EQ(ui_.passwordRequests().size(), 1u);

    // A refused password leaves the list as it was and forgets the password.
    state_.forgetAdminPassword();
    ui_.answerNextPasswordRequest({QStringLiteral("wrong"), {}, {}});
    combo.AddItem(QStringLiteral("kept"));
    dispatcher_->withContext(kDeleteUser, [&](OperationContext& c) {
        password::ShowNames(c, password::NameList::Users, combo);
    });
    EXPECT_EQ(combo.items(), QStringList{QStringLiteral("kept")});
    EXPECT_TRUE(state_.confirmedAdminPassword().isEmpty());
    EXPECT_TRUE(hasMessage(QStringLiteral("Unable to perform operation due to security access "
                                          "level")));
}

TEST_F(UserRoleFunctions, DeletingARoleAsksNamingItsUsersWithNoAsTheDefault)
{
    execute(db_, {QStringLiteral("INSERT INTO T_SecurityRoles (RoleName, IsLocked) VALUES "
                                 "(N'Night', 0)")});
    for (const char* name : {"O'Hara", "Bea"}) {
        UserDetailsResult user = details(QString::fromUtf8(name), QStringLiteral("pw"), {});
        user.NomeRuolo = QStringLiteral("Night");
        ui_.answerNextUserDetails(user);
        ASSERT_EQ(run(kAddUser).end, OperationEnd::Completed);
    }
    ui_.answerNextUserDetails(details(QStringLiteral("Root"), QStringLiteral("pw"), {}));
    ASSERT_EQ(run(kAddUser).end, OperationEnd::Completed);

    // No: nothing goes, the panel stays, and nothing is logged.
    const QString logBefore = log();
    ui_.answerNextMessage(MessageResult::No);
    const OperationOutcome declined = run(kDeleteRole, QStringLiteral("Night"));
    EXPECT_EQ(declined.end, OperationEnd::PanelOpen);
    EXPECT_TRUE(declined.declined);
    EXPECT_TRUE(host_.panelOpen);
    Message question{QStringLiteral("Delete role Night and its 2 users (Bea, O'Hara)?"), kCaption,
                     MessageIcon::Question, MessageButtons::YesNo};
    question.defaultAnswer = MessageResult::No;
    EXPECT_EQ(ui_.messages().back(), question);
    EXPECT_EQ(users().size(), 3);
    EXPECT_EQ(log(), logBefore);

    ui_.answerNextMessage(MessageResult::Yes);
    EXPECT_EQ(run(kDeleteRole, QStringLiteral("Night")).end, OperationEnd::Completed);
    EXPECT_EQ(users(), QStringList{QStringLiteral("Root")});
    EXPECT_TRUE(log().contains(QStringLiteral("Role Night has been removed to database ") + db_ +
                               QStringLiteral("\r\nUsers removed with it: Bea, O'Hara")));

    // The locked role is refused without a question; a vanished one is not reported removed.
    const size_t asked = ui_.messages().size();
    EXPECT_EQ(run(kDeleteRole, QStringLiteral("Administrator")).end, OperationEnd::Completed);
    EXPECT_EQ(ui_.messages().size(), asked + 1);
    EXPECT_EQ(ui_.messages().back().text,
              QStringLiteral("Role Administrator is locked! You can't delete it!"));
    EXPECT_EQ(run(kDeleteRole, QStringLiteral("Night")).end, OperationEnd::Completed);
    EXPECT_EQ(ui_.messages().back().text, QStringLiteral("Role doesn't exist"));
    EXPECT_FALSE(log().contains(QStringLiteral("Role Administrator has been removed")));
    EXPECT_EQ(log().count(QStringLiteral("Role Night has been removed")), 1);
    EXPECT_EQ(ui_.unscriptedPrompts(), 0);
}
