// The window's user details dialog lists the roles of the panel's password database; the role
// editor comes from its library, modal over the window; the buttons fill Combo1.
#include "UserRoleDialogs.h"

#include "F_SQLDatabase.h"
#include "Gen_InsUser.h"
#include "GestioneDbPassword.h"
#include "PasswordUsersRoles.h"
#include "WindowDispatch.h"

#include <QComboBox>
#include <QListWidget>
#include <stdexcept>

namespace sqllumo::ui {

namespace {

// The window's caller, made modal to the window.
class ParentedCaller : public rolefunctionsheet::RoleEditorCaller {
public:
    ParentedCaller(rolefunctionsheet::RoleEditorCaller& caller, QWidget* parent)
        : caller_(caller), parent_(parent)
    {
    }
    bool isLocked() const override { return caller_.isLocked(); }
    void setPuoiModificareRole(bool confirmed) override
    {
        caller_.setPuoiModificareRole(confirmed);
    }
    void setNomeRuolo(const QString& name) override { caller_.setNomeRuolo(name); }
    QWidget* dialogParent() const override { return parent_; }

private:
    rolefunctionsheet::RoleEditorCaller& caller_;
    QWidget* parent_;
};

} // namespace

void ConnectUserAndRoleDialogs(F_SQLDatabase& window, WindowDispatch& dispatch, Settings& settings,
                               dbport::Provider& database,
                               rolefunctionsheet::RoleFunctionSheetLoader& loader)
{
    QtUserInterface& port = window.userInterface();
    port.setUserDetailsDialog([&window, &settings, &database](QWidget* parent,
                                                              const UserDetailsRequest& request) {
        return Gen_InsUser::ask(
            parent, request,
            [&window, &settings, &database](const UserDetailsRequest& r,
                                            password::ListControl& roles) {
                password::GestioneDbPassword passwords(window.userInterface(), window.windowTitle(),
                                                       settings, database);
                passwords.RiempiListaRuoli(r.server, r.database, r.sqlUser, r.sqlPassword, roles);
            });
    });
    port.setRoleEditor([&loader](QWidget* parent, const QString& roleName,
                                 rolefunctionsheet::RoleEditorCaller& caller,
                                 rolefunctionsheet::RightsSource& rights) {
        QString error;
        rolefunctionsheet::_clsFunctsRoles* editor = loader.editor(&error);
        if (!editor)
            throw std::runtime_error(error.toStdString());
        ParentedCaller modal(caller, parent);
        editor->showfrm(roleName, modal, rights);
    });
    auto showNames = [&window, &dispatch](password::NameList which) {
        dispatch.dispatcher().withContext(window.List1->currentRow(),
                                          [&window, which](OperationContext& context) {
                                              ComboListControl combo(window.Combo1);
                                              password::ShowNames(context, which, combo);
                                          });
    };
    window.onShowUserNames = [showNames] { showNames(password::NameList::Users); };
    window.onShowRoleNames = [showNames] { showNames(password::NameList::Roles); };
}

} // namespace sqllumo::ui
