// The user and role functions of the password catalogue: their checks, dialogs, report lines
// and endings around the GestioneDbPassword members that do the work.
#include "PasswordUsersRoles.h"

#include "GestioneDbPassword.h"
#include "ServerNames.h"
#include "Settings.h"

#include <QStringList>

namespace sqllumo::password {

namespace {

const QString kToDatabase = QStringLiteral(" to database ");
const QString kCrLf = QStringLiteral("\r\n");

// Server, password database and login stored as the panel holds them, before any check.
void storeSettings(OperationContext& context)
{
    const PanelValues& panel = context.panel();
    Settings& settings = context.settings();
    settings.setValue(settingkeys::kSQLServerName, panel.server);
    settings.setValue(settingkeys::kPasswdDatabaseName, panel.database);
    settings.setValue(settingkeys::kSQLUserName, panel.user);
    settings.setValue(settingkeys::kSQLPassword, panel.password);
}

// The editor's caller: the window's exchange fields.
class ExchangeCaller : public rolefunctionsheet::RoleEditorCaller {
public:
    explicit ExchangeCaller(ExchangeFields& fields) : fields_(fields) {}
    bool isLocked() const override { return fields_.isLocked; }
    void setPuoiModificareRole(bool confirmed) override { fields_.PuoiModificareRole = confirmed; }
    void setNomeRuolo(const QString& name) override { fields_.NomeRuolo = name; }

private:
    ExchangeFields& fields_;
};

// The members' arguments for the press: the panel's connection.
struct Press {
    OperationContext& context;
    GestioneDbPassword object;
    QString server, database, user, password;

    explicit Press(OperationContext& c)
        : context(c), object(c.ui(), c.windowCaption(), c.settings(), c.database()),
          server(c.panel().server), database(c.panel().database), user(c.panel().user),
          password(c.panel().password)
    {
    }
    ExchangeFields& exchange() { return context.state().exchange(); }
    UserDetailsRequest request(UserDetailsMode mode) const
    {
        UserDetailsRequest r;
        r.server = server;
        r.database = database;
        r.sqlUser = user;
        r.sqlPassword = password;
        r.mode = mode;
        return r;
    }
    void takeDialog(const UserDetailsResult& result)
    {
        ExchangeFields& ex = exchange();
        ex.InserisciUser = result.InserisciUser;
        ex.UserName = result.UserName;
        ex.PassWord = result.PassWord;
        ex.Cognome = result.Cognome;
        ex.Nome = result.Nome;
        ex.Title = result.Title;
        ex.Tipo = result.Tipo;
        ex.Posizione = result.Posizione;
        if (result.NomeRuolo)
            ex.NomeRuolo = *result.NomeRuolo;
        ex.DatadiNascita = result.DatadiNascita;
    }
    // The user chosen in the list, into the object's user record.
    bool readSelectedUser()
    {
        object.UserName = context.panel().selection;
        return object.ReadUserInfo(server, database, user, password);
    }
    void showEditor(const QString& roleName)
    {
        ExchangeCaller caller(exchange());
        context.ui().roleFunctionSheet(roleName, caller, object);
    }
};

// Check B and the selection the function works on; false when the function must end.
bool accessAndSelection(OperationContext& context, const QString& missingSelection)
{
    storeSettings(context);
    if (!context.accessCheck())
        return false;
    if (!missingSelection.isEmpty() && context.panel().selection.isEmpty()) {
        context.access(missingSelection);
        return false;
    }
    return true;
}

} // namespace

QString texts::RoleLockedForChange(const QString& roleName)
{
    return QStringLiteral("Role ") + roleName + QStringLiteral(" is locked! You can't modify it!");
}

QString texts::DeleteRoleQuestion(const QString& roleName, const QStringList& users)
{
    const QString role = QStringLiteral("Delete role ") + roleName;
    if (users.isEmpty())
        return role + QStringLiteral("? It has no users.");
    return role + QStringLiteral(" and its %1 %2 (%3)?")
                      .arg(users.size())
                      .arg(users.size() == 1 ? QStringLiteral("user") : QStringLiteral("users"))
                      .arg(users.join(QStringLiteral(", ")));
}

QString texts::UsersRemovedWithRole(const QStringList& users)
{
    if (users.isEmpty())
        return QStringLiteral("No user had this role.");
    return QStringLiteral("Users removed with it: ") + users.join(QStringLiteral(", "));
}

OperationOutcome AddUserFunction(OperationContext& context)
{
    if (!accessAndSelection(context, QString()))
        return OperationOutcome::panelOpen();
    Press press(context);
    ExchangeFields& ex = press.exchange();
    ex.InserisciUser = false;
    press.takeDialog(context.ui().userDetails(press.request(UserDetailsMode::NewUser)));
    if (ex.InserisciUser) {
        context.busy();
        context.report().clear();
        GestioneDbPassword& p = press.object;
        p.UserName = db::WithoutTrailingBlanks(ex.UserName);
        p.UserPasswd = ex.PassWord;
        p.LastName = ex.Cognome;
        p.FirstName = ex.Nome;
        p.BDate = QDate::fromString(ex.DatadiNascita, kBirthDateFormat);
        p.Title = ex.Title;
        p.setRoleName(ex.NomeRuolo);
        p.Tipo = ex.Tipo;
        p.Posizione = ex.Posizione;
        if (p.AddUser(press.server, press.database, press.user, press.password))
            context.report().setText(QStringLiteral("User ") + p.UserName +
                                     QStringLiteral(" has been added") + kToDatabase +
                                     press.database);
        context.pointerDefault();
    }
    return context.succeededAsReported();
}

OperationOutcome DeleteUserFunction(OperationContext& context)
{
    if (!accessAndSelection(context, texts::kSelectUser))
        return OperationOutcome::panelOpen();
    Press press(context);
    const QString selection = context.panel().selection;
    context.busy();
    context.report().clear();
    press.object.UserName = selection;
    if (press.object.EraseUser(press.server, press.database, press.user, press.password))
        context.report().setText(QStringLiteral("User ") + selection +
                                 QStringLiteral(" has been removed") + kToDatabase +
                                 press.database);
    context.pointerDefault();
    return context.succeededAsReported();
}

OperationOutcome ModifyUserFunction(OperationContext& context)
{
    if (!accessAndSelection(context, texts::kSelectUser))
        return OperationOutcome::panelOpen();
    Press press(context);
    GestioneDbPassword& p = press.object;
    if (!press.readSelectedUser())
        return OperationOutcome::panelClosed();
    ExchangeFields& ex = press.exchange();
    ex.InserisciUser = false;
    UserDetailsRequest request = press.request(UserDetailsMode::ChangeUser);
    request.userName = p.UserName;
    request.password = p.UserPasswd;
    request.firstName = p.FirstName;
    request.lastName = p.LastName;
    request.birthDate = p.BDate;
    request.title = p.Title;
    request.roleName = p.RoleName();
    request.position = p.Posizione;
    request.type = p.Tipo;
    press.takeDialog(context.ui().userDetails(request));
    context.busy();
    context.report().clear();
    if (ex.InserisciUser) {
        // The title typed in the dialog is not taken back: the stored one stays. So does the
        // name, exactly as stored: the name box is closed, and the password's key is the name.
        p.UserPasswd = ex.PassWord;
        p.LastName = ex.Cognome;
        p.FirstName = ex.Nome;
        p.BDate = QDate::fromString(ex.DatadiNascita, kBirthDateFormat);
        p.Tipo = ex.Tipo;
        p.setRoleName(ex.NomeRuolo);
        p.Posizione = ex.Posizione;
        if (p.ModifyUser(press.server, press.database, press.user, press.password))
            context.report().setText(QStringLiteral("User ") + p.UserName +
                                     QStringLiteral(" has been modified in the database ") +
                                     press.database);
    }
    context.pointerDefault();
    return context.succeededAsReported();
}

OperationOutcome EraseUserPasswordFunction(OperationContext& context)
{
    if (!accessAndSelection(context, texts::kSelectUser))
        return OperationOutcome::panelOpen();
    Press press(context);
    const QString selection = context.panel().selection;
    if (!press.object.EraseUserPasswd(press.server, press.database, press.user, press.password,
                                      selection))
        return OperationOutcome::panelClosed();
    context.report().setText(QStringLiteral("User password ") + selection +
                             QStringLiteral(" has been erased from database ") + press.database);
    return context.succeededAsReported();
}

OperationOutcome AddRoleFunction(OperationContext& context)
{
    if (!accessAndSelection(context, QString()))
        return OperationOutcome::panelOpen();
    Press press(context);
    GestioneDbPassword& p = press.object;
    context.report().clear();
    p.FindFunctionsByRole(press.server, press.database, press.user, press.password, QString());
    ExchangeFields& ex = press.exchange();
    ex.PuoiModificareRole = false;
    ex.isLocked = false;
    press.showEditor(QString());
    if (!ex.PuoiModificareRole)
        return OperationOutcome::panelOpen();
    // Blanks a full box leaves at the end would give a name the list shows apart from the one
    // the server finds.
    p.setRoleName(db::WithoutTrailingBlanks(p.RoleName()));
    if (p.RoleName().isEmpty()) {
        context.access(texts::kSpecifyRoleName);
        return OperationOutcome::panelOpen();
    }
    if (p.AddRole(press.server, press.database, press.user, press.password)) {
        const QString name = p.RoleName();
        p.ActivateFunctionsByRole(press.server, press.database, press.user, press.password, name);
        context.report().setText(QStringLiteral("Role ") + name +
                                 QStringLiteral(" has been added") + kToDatabase + press.database);
    }
    return context.succeededAsReported();
}

OperationOutcome DeleteRoleFunction(OperationContext& context)
{
    if (!accessAndSelection(context, texts::kSelectRole))
        return OperationOutcome::panelOpen();
    Press press(context);
    GestioneDbPassword& p = press.object;
    const QString selection = context.panel().selection;
    const std::optional<GestioneDbPassword::RoleUsers> role =
        p.ReadRoleUsers(press.server, press.database, press.user, press.password, selection);
    if (!role)
        return OperationOutcome::panelClosed();
    // A missing or locked role is refused by EraseRole below, with nothing to ask.
    if (role->found && !role->locked) {
        Message question{texts::DeleteRoleQuestion(selection, role->users), context.windowCaption(),
                         MessageIcon::Question, MessageButtons::YesNo};
        question.defaultAnswer = MessageResult::No;
        if (context.ui().showMessage(question) != MessageResult::Yes) {
            OperationOutcome declined = OperationOutcome::panelOpen();
            declined.declined = true;
            return declined;
        }
    }
    context.busy();
    context.report().clear();
    p.setRoleName(selection);
    QStringList removed;
    if (p.EraseRole(press.server, press.database, press.user, press.password, &role->users,
                    &removed))
        context.report().setText(QStringLiteral("Role ") + selection +
                                 QStringLiteral(" has been removed") + kToDatabase +
                                 press.database + kCrLf + texts::UsersRemovedWithRole(removed));
    context.pointerDefault();
    return context.succeededAsReported();
}

OperationOutcome ModifyRoleFunction(OperationContext& context)
{
    if (!accessAndSelection(context, texts::kSelectRole))
        return OperationOutcome::panelOpen();
    Press press(context);
    GestioneDbPassword& p = press.object;
    const QString selection = context.panel().selection;
    ExchangeFields& ex = press.exchange();
    ex.isLocked =
        p.RoleIsLocked(press.server, press.database, press.user, press.password, selection);
    if (ex.isLocked)
        context.ui().showMessage(validationMessage(texts::RoleLockedForChange(selection)));
    context.report().clear();
    p.FindFunctionsByRole(press.server, press.database, press.user, press.password, selection);
    // The editor's name box starts from the role being changed.
    p.setRoleName(selection);
    ex.PuoiModificareRole = false;
    press.showEditor(selection);
    if (ex.isLocked || !ex.PuoiModificareRole)
        return OperationOutcome::panelOpen();
    // A name typed new loses its trailing blanks; the stored one stays exactly as it is.
    if (p.RoleName() != selection)
        p.setRoleName(db::WithoutTrailingBlanks(p.RoleName()));
    if (p.RoleName().isEmpty()) {
        context.access(texts::kSpecifyRoleName);
        return OperationOutcome::panelOpen();
    }
    const int id = p.ActivateFunctionsByRole(press.server, press.database, press.user,
                                             press.password, selection);
    if (id != -1)
        p.ModifyRoleName(press.server, press.database, press.user, press.password, id);
    context.report().setText(QStringLiteral("Role ") + selection +
                             QStringLiteral(" has been modified") + kToDatabase + press.database);
    return context.succeededAsReported();
}

void ShowNames(OperationContext& context, NameList which, ListControl& Combo1)
{
    storeSettings(context);
    // A password confirmed earlier in this catalogue is not verified again.
    if (context.state().confirmedAdminPassword().isEmpty() && !context.accessCheck())
        return;
    Press press(context);
    // Filled afresh, so names of the other kind or of an earlier press do not stay behind.
    Combo1.clear();
    if (which == NameList::Users)
        press.object.RiempiListaUtenti(press.server, press.database, press.user, press.password,
                                       Combo1);
    else
        press.object.RiempiListaRuoli(press.server, press.database, press.user, press.password,
                                      Combo1);
}

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

OperationOutcome listNames(OperationContext& context, NameList which)
{
    TextList names;
    ShowNames(context, which, names);
    // The list is filled only once the administrator password was accepted.
    if (context.state().confirmedAdminPassword().isEmpty())
        return OperationOutcome::panelOpen();
    return OperationOutcome::informationShown(names.items().join(kLineEnd));
}

QString detailLine(const char* label, const QString& value)
{
    return QString::fromLatin1(label) + QStringLiteral(": ") + value + kLineEnd;
}

} // namespace

OperationOutcome ListUserNamesFunction(OperationContext& context)
{
    return listNames(context, NameList::Users);
}

OperationOutcome ListRoleNamesFunction(OperationContext& context)
{
    return listNames(context, NameList::Roles);
}

OperationOutcome ShowUserFunction(OperationContext& context)
{
    if (!accessAndSelection(context, texts::kSelectUser))
        return OperationOutcome::panelOpen();
    Press press(context);
    GestioneDbPassword& p = press.object;
    if (!press.readSelectedUser())
        return OperationOutcome::panelClosed();
    using namespace userdetails;
    QString text = detailLine("User name", p.UserName) + detailLine("First name", p.FirstName) +
                   detailLine("Last name", p.LastName) + detailLine("Title", p.Title) +
                   detailLine("Birth date", p.BDate.toString(Qt::ISODate)) +
                   detailLine("Role", p.RoleName()) +
                   detailLine("Type", p.Tipo != 0 ? kDoctor : kTechnician) +
                   detailLine("Position", p.Posizione != 0 ? kInternal : kExternal) +
                   // Whether there is one, never what it is.
                   detailLine("Password", p.UserPasswd.isEmpty() ? QStringLiteral("none")
                                                                 : QStringLiteral("set"));
    return OperationOutcome::informationShown(text);
}

OperationOutcome RoleRightsFunction(OperationContext& context)
{
    if (!accessAndSelection(context, texts::kSelectRole))
        return OperationOutcome::panelOpen();
    Press press(context);
    GestioneDbPassword& p = press.object;
    p.FindFunctionsByRole(press.server, press.database, press.user, press.password,
                          context.panel().selection);
    const Counts counts = p.NumeroFunzioni();
    const Texts groups = p.MacroFunzioni();
    const TextGrid names = p.Funzioni();
    const FlagGrid allowed = p.Attivazioni();
    QString text = QStringLiteral("Group\tFunction\tAllowed") + kLineEnd;
    for (int m = 0; m < p.NumeroMacroFunzioni(); ++m)
        for (int f = 0; f < counts[m]; ++f)
            text += groups[m] + QLatin1Char('\t') + names[m][f] + QLatin1Char('\t') +
                    (allowed[m][f] ? QStringLiteral("yes") : QStringLiteral("no")) + kLineEnd;
    return OperationOutcome::informationShown(text);
}

} // namespace sqllumo::password
