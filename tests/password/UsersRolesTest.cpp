// Users, roles and the rights matrix on a real server: what the members store, read back and
// refuse, with names that carry quotes and letters beyond ASCII. Stored passwords are checked
// against an independent Rijndael.
#include "PasswordDbHarness.h"

#include "ListControl.h"
#include "PasswordSchema.h"

using namespace sqllumo;
using namespace sqllumo::testing;
using password::GestioneDbPassword;

namespace {

class UsersAndRoles : public PasswordDbHarness {
protected:
    void SetUp() override
    {
        PasswordDbHarness::SetUp();
        db_ = createPasswordDatabase("Roles", QStringLiteral("admin"));
        ui_ = ScriptedUserInterface();
    }
    std::unique_ptr<GestioneDbPassword> object()
    {
        return std::make_unique<GestioneDbPassword>(ui_, kCaption, settings_, port());
    }
    bool addRole(const QString& name)
    {
        auto p = object();
        p->setRoleName(name);
        return p->AddRole(server(), db_, user(), password());
    }
    int roleId(const QString& name) const
    {
        QString quoted = name;
        quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
        return column(db_, QStringLiteral("SELECT ID_Role FROM T_SecurityRoles WHERE RoleName = "
                                          "N'%1'")
                               .arg(quoted))
            .value(0, QStringLiteral("-1"))
            .toInt();
    }
    int count(const QString& query) const { return column(db_, query).value(0).toInt(); }
    int rightsOf(int role) const
    {
        return count(
            QStringLiteral("SELECT COUNT(*) FROM T_SecurityRolesFunctions WHERE ID_Role = %1")
                .arg(role));
    }
    bool addUser(const QString& name, const QString& pw, const QString& role)
    {
        auto p = object();
        p->UserName = name;
        p->UserPasswd = pw;
        p->LastName = QStringLiteral("Ünal");
        p->FirstName = QStringLiteral("Zoë");
        p->BDate = QDate(1961, 3, 5);
        p->Title = QStringLiteral("Dr.");
        p->setRoleName(role);
        p->Tipo = 1;
        p->Posizione = 0;
        return p->AddUser(server(), db_, user(), password());
    }
    QString storedPassword(const QString& name) const
    {
        for (const QStringList& row :
             rows(db_, QStringLiteral("SELECT User_Name, User_Passwd FROM T_GenericUser")))
            if (row.value(0) == name)
                return row.value(1);
        return QStringLiteral("<no such user>");
    }
    Message warning(const QString& text) const
    {
        return Message{text, QStringLiteral("Warning"), MessageIcon::None, MessageButtons::Ok};
    }

    QString db_;
};

} // namespace

TEST_F(UsersAndRoles, RolesAreAddedOnceRefusedWhenLockedAndFoundByNameWithQuotes)
{
    const QString role = QStringLiteral("Doctor's role");
    EXPECT_TRUE(addRole(role));
    EXPECT_FALSE(object()->RoleIsLocked(server(), db_, user(), password(), role));
    EXPECT_FALSE(addRole(role));
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0], warning(QStringLiteral("Role already present!")));
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM T_SecurityRoles")), 2);

    // The locked default role stays, with the application's own title on the refusal.
    auto admin = object();
    admin->setRoleName(QStringLiteral("Administrator"));
    EXPECT_FALSE(admin->EraseRole(server(), db_, user(), password()));
    ASSERT_EQ(ui_.messages().size(), 2u);
    EXPECT_EQ(ui_.messages()[1],
              (Message{QStringLiteral("Role Administrator is locked! You can't delete it!"),
                       QString(), MessageIcon::None, MessageButtons::Ok}));
    EXPECT_NE(roleId(QStringLiteral("Administrator")), -1);
    EXPECT_TRUE(admin->RoleIsLocked(server(), db_, user(), password(), QStringLiteral("Nobody")));

    password::TextList list;
    list.AddItem(QStringLiteral("left over"));
    EXPECT_TRUE(object()->RiempiListaRuoli(server(), db_, user(), password(), list));
    EXPECT_EQ(list.items(), (QStringList{QStringLiteral("Administrator"), role}));
    EXPECT_EQ(list.ListIndex(), 0);
    EXPECT_EQ(ui_.messages().size(), 2u);
}

TEST_F(UsersAndRoles, RenameKeepsNamesUniqueAndDeleteTakesUsersAndRightsAlong)
{
    ASSERT_TRUE(addRole(QStringLiteral("Night")));
    const int night = roleId(QStringLiteral("Night"));
    auto p = object();
    p->setRoleName(QStringLiteral("Τεχνικοί νύχτας"));
    EXPECT_TRUE(p->ModifyRoleName(server(), db_, user(), password(), night));
    EXPECT_EQ(roleId(QStringLiteral("Τεχνικοί νύχτας")), night);
    p->setRoleName(QStringLiteral("administrator"));
    EXPECT_FALSE(p->ModifyRoleName(server(), db_, user(), password(), night));
    EXPECT_EQ(ui_.messages().back(), warning(QStringLiteral("Role already present!")));
    EXPECT_EQ(roleId(QStringLiteral("Τεχνικοί νύχτας")), night);

    // Rights and a user for the role, then the role goes and takes both along.
    p->FindFunctionsByRole(server(), db_, user(), password(), QStringLiteral("Τεχνικοί νύχτας"));
    rolefunctionsheet::FlagGrid grid = p->Attivazioni();
    grid[0][1] = grid[0][2] = true;
    p->setAttivazioni(grid);
    EXPECT_EQ(p->ActivateFunctionsByRole(server(), db_, user(), password(),
                                         QStringLiteral("Τεχνικοί νύχτας")),
              night);
    EXPECT_EQ(rightsOf(night), 2);
    ASSERT_TRUE(addUser(QStringLiteral("night.nurse"), QStringLiteral("pw"),
                        QStringLiteral("Τεχνικοί νύχτας")));
    p->setRoleName(QStringLiteral("Τεχνικοί νύχτας"));
    EXPECT_TRUE(p->EraseRole(server(), db_, user(), password()));
    EXPECT_EQ(roleId(QStringLiteral("Τεχνικοί νύχτας")), -1);
    EXPECT_EQ(rightsOf(night), 0);
    EXPECT_EQ(storedPassword(QStringLiteral("night.nurse")), QStringLiteral("<no such user>"));
}

TEST_F(UsersAndRoles, RightsMatrixLoadsStoresOneCellAndKeepsEarlierMarks)
{
    auto p = object();
    p->FindFunctionsByRole(server(), db_, user(), password(), QStringLiteral("Administrator"));
    ASSERT_EQ(p->NumeroMacroFunzioni(), 1);
    EXPECT_EQ(p->MacroFunzioni(), (rolefunctionsheet::Texts{QStringLiteral("Archive")}));
    ASSERT_EQ(p->NumeroFunzioni(), (rolefunctionsheet::Counts{13}));
    const auto& defaults = password::DefaultFunctionNames();
    ASSERT_EQ(defaults.size(), 13u);
    for (int f = 0; f < 13; ++f) {
        EXPECT_EQ(p->Funzioni()[0][f], QString::fromStdString(defaults[f])) << f;
        EXPECT_TRUE(p->Attivazioni()[0][f]) << f;
    }
    // Upper bounds: the number of groups and of functions, both counted from 0.
    EXPECT_EQ(p->Attivazioni().size(), 2u);
    EXPECT_EQ(p->Attivazioni()[0].size(), 14u);

    const int admin = roleId(QStringLiteral("Administrator"));
    const int before = rightsOf(admin);
    rolefunctionsheet::FlagGrid grid = p->Attivazioni();
    grid[0][4] = false;
    p->setAttivazioni(grid);
    EXPECT_EQ(p->ActivateFunctionsByRole(server(), db_, user(), password(),
                                         QStringLiteral("Administrator")),
              admin);
    EXPECT_EQ(rightsOf(admin), before - 1);
    EXPECT_EQ(p->ActivateFunctionsByRole(server(), db_, user(), password(),
                                         QStringLiteral("Administrator")),
              admin);
    EXPECT_EQ(rightsOf(admin), before - 1);

    // A new role has no marks of its own, but loading it into the same object keeps the
    // earlier role's; a fresh object shows it bare.
    ASSERT_TRUE(addRole(QStringLiteral("Reception")));
    p->FindFunctionsByRole(server(), db_, user(), password(), QStringLiteral("Reception"));
    EXPECT_FALSE(p->Attivazioni()[0][4]);
    EXPECT_TRUE(p->Attivazioni()[0][5]);
    auto fresh = object();
    fresh->FindFunctionsByRole(server(), db_, user(), password(), QStringLiteral("Reception"));
    for (int f = 0; f < 13; ++f)
        EXPECT_FALSE(fresh->Attivazioni()[0][f]) << f;

    // Without a server nothing is loaded or stored.
    auto offline = object();
    offline->FindFunctionsByRole(QString(), db_, user(), password(), QStringLiteral("Reception"));
    EXPECT_EQ(offline->NumeroMacroFunzioni(), 0);
    EXPECT_EQ(offline->ActivateFunctionsByRole(server(), QString(), user(), password(),
                                               QStringLiteral("Reception")),
              -1);
    EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(UsersAndRoles, UsersAreStoredEncipheredReadBackChangedAndRemoved)
{
    const QString role = QStringLiteral("Doctor's role");
    ASSERT_TRUE(addRole(role));
    const QString name = QStringLiteral("O'Brien Zoë");
    ASSERT_TRUE(addUser(name, QStringLiteral("s3cret pass "), role));
    EXPECT_EQ(storedPassword(name), oracleCipherText(name, QStringLiteral("s3cret pass ")));
    EXPECT_FALSE(addUser(name, QStringLiteral("other"), role));
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0], warning(QStringLiteral("User already present!")));
    EXPECT_EQ(storedPassword(name), oracleCipherText(name, QStringLiteral("s3cret pass ")));

    auto read = object();
    read->UserName = name;
    ASSERT_TRUE(read->ReadUserInfo(server(), db_, user(), password()));
    EXPECT_EQ(read->UserPasswd, QStringLiteral("s3cret pass "));
    EXPECT_EQ(read->LastName, QStringLiteral("Ünal"));
    EXPECT_EQ(read->FirstName, QStringLiteral("Zoë"));
    EXPECT_EQ(read->Title, QStringLiteral("Dr."));
    EXPECT_EQ(read->BDate, QDate(1961, 3, 5));
    EXPECT_EQ(read->RoleName(), role);
    EXPECT_EQ(read->Tipo, 1);
    EXPECT_EQ(read->Posizione, 0);

    // Changed: new password, names, role and position; afterwards the object holds the cipher.
    read->UserPasswd = QStringLiteral("n3w");
    read->LastName = QStringLiteral("D'Arcy");
    read->setRoleName(QStringLiteral("Administrator"));
    read->Posizione = 1;
    ASSERT_TRUE(read->ModifyUser(server(), db_, user(), password()));
    EXPECT_EQ(read->UserPasswd, oracleCipherText(name, QStringLiteral("n3w")));
    EXPECT_EQ(storedPassword(name), oracleCipherText(name, QStringLiteral("n3w")));
    auto again = object();
    again->UserName = name;
    ASSERT_TRUE(again->ReadUserInfo(server(), db_, user(), password()));
    EXPECT_EQ(again->UserPasswd, QStringLiteral("n3w"));
    EXPECT_EQ(again->LastName, QStringLiteral("D'Arcy"));
    EXPECT_EQ(again->RoleName(), QStringLiteral("Administrator"));
    EXPECT_EQ(again->Posizione, 1);

    EXPECT_TRUE(again->EraseUserPasswd(server(), db_, user(), password(), name));
    EXPECT_EQ(storedPassword(name), QString());
    ASSERT_TRUE(again->ReadUserInfo(server(), db_, user(), password()));
    EXPECT_EQ(again->UserPasswd, QString());
    EXPECT_EQ(ui_.messages().size(), 1u);

    ASSERT_TRUE(addUser(QStringLiteral("Ελένη"), QStringLiteral("κωδικός"), role));
    password::TextList list;
    list.AddItem(QStringLiteral("kept"));
    again->RiempiListaUtenti(server(), db_, user(), password(), list);
    QStringList listed = list.items();
    EXPECT_EQ(listed.takeFirst(), QStringLiteral("kept"));
    listed.sort();
    QStringList expected{name, QStringLiteral("Ελένη")};
    expected.sort();
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(list.ListIndex(), 0);

    again->UserName = name;
    EXPECT_TRUE(again->EraseUser(server(), db_, user(), password()));
    EXPECT_EQ(storedPassword(name), QStringLiteral("<no such user>"));
    EXPECT_FALSE(again->ReadUserInfo(server(), db_, user(), password()));
    EXPECT_EQ(ui_.messages().back(), warning(QStringLiteral("User doesn't exist")));
    EXPECT_FALSE(again->EraseUserPasswd(server(), db_, user(), password(), name));
    EXPECT_EQ(ui_.messages().back(), warning(QStringLiteral("User doesn't exist")));
}

TEST_F(UsersAndRoles, UnknownRoleOrVanishedUserWritesNothing)
{
    EXPECT_FALSE(addUser(QStringLiteral("ghost"), QStringLiteral("pw"), QStringLiteral("No role")));
    ASSERT_EQ(ui_.messages().size(), 1u);
    EXPECT_EQ(ui_.messages()[0].icon, MessageIcon::Critical);
    EXPECT_TRUE(ui_.messages()[0].text.startsWith(QStringLiteral("An error occurred...\r")));
    EXPECT_EQ(storedPassword(QStringLiteral("ghost")), QStringLiteral("<no such user>"));

    auto p = object();
    p->UserName = QStringLiteral("gone");
    p->UserPasswd = QStringLiteral("pw");
    p->setRoleName(QStringLiteral("Administrator"));
    EXPECT_FALSE(p->ModifyUser(server(), db_, user(), password()));
    EXPECT_EQ(ui_.messages().size(), 2u);
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM T_GenericUser")), 0);

    // Stored rights with a grid written back smaller than its counts: refused, not guessed.
    p->FindFunctionsByRole(server(), db_, user(), password(), QStringLiteral("Administrator"));
    p->setAttivazioni({{false}});
    const int admin = roleId(QStringLiteral("Administrator"));
    const int before = rightsOf(admin);
    EXPECT_EQ(p->ActivateFunctionsByRole(server(), db_, user(), password(),
                                         QStringLiteral("Administrator")),
              admin);
    EXPECT_EQ(ui_.messages().size(), 3u);
    EXPECT_EQ(rightsOf(admin), before - 1); // the one cell it had was stored before the refusal
}

TEST_F(UsersAndRoles, DeletingSaysWhatGoesAndRemovesOnlyWhatWasAgreedTo)
{
    ASSERT_TRUE(addRole(QStringLiteral("Night")));
    ASSERT_TRUE(addUser(QStringLiteral("zed"), QStringLiteral("pw"), QStringLiteral("Night")));
    ASSERT_TRUE(addUser(QStringLiteral("Ann"), QStringLiteral("pw"), QStringLiteral("Night")));
    ASSERT_TRUE(
        addUser(QStringLiteral("boss"), QStringLiteral("pw"), QStringLiteral("Administrator")));

    // Found as the server finds names; its users by name, no one else's.
    const auto night =
        object()->ReadRoleUsers(server(), db_, user(), password(), QStringLiteral("night  "));
    ASSERT_TRUE(night.has_value());
    EXPECT_TRUE(night->found);
    EXPECT_FALSE(night->locked);
    EXPECT_EQ(night->users, (QStringList{QStringLiteral("Ann"), QStringLiteral("zed")}));
    const auto admin =
        object()->ReadRoleUsers(server(), db_, user(), password(), QStringLiteral("Administrator"));
    ASSERT_TRUE(admin.has_value());
    EXPECT_TRUE(admin->locked);
    const auto nobody =
        object()->ReadRoleUsers(server(), db_, user(), password(), QStringLiteral("Nobody"));
    ASSERT_TRUE(nobody.has_value());
    EXPECT_FALSE(nobody->found);

    // A user given the role after the question stops the delete.
    auto p = object();
    p->setRoleName(QStringLiteral("Night"));
    const QStringList asked{QStringLiteral("Ann")};
    QStringList removed;
    EXPECT_FALSE(p->EraseRole(server(), db_, user(), password(), &asked, &removed));
    EXPECT_EQ(ui_.messages().back(),
              warning(QStringLiteral("The users of role Night have changed since you were "
                                     "asked; nothing was removed")));
    EXPECT_TRUE(removed.isEmpty());
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM T_GenericUser")), 3);

    EXPECT_TRUE(p->EraseRole(server(), db_, user(), password(), &night->users, &removed));
    EXPECT_EQ(removed, night->users);
    EXPECT_EQ(column(db_, QStringLiteral("SELECT User_Name FROM T_GenericUser")),
              QStringList{QStringLiteral("boss")});

    // Gone already: said so, not reported as removed again.
    EXPECT_FALSE(p->EraseRole(server(), db_, user(), password()));
    EXPECT_EQ(ui_.messages().back(), warning(QStringLiteral("Role doesn't exist")));
    p->UserName = QStringLiteral("Ann");
    EXPECT_FALSE(p->EraseUser(server(), db_, user(), password()));
    EXPECT_EQ(ui_.messages().back(), warning(QStringLiteral("User doesn't exist")));
}
