// The console's stand-in for picking a name from Combo1: the list is filled as "Show User
// Names" or "Show Role Names" fills it, and the name given must be in it.
#include "ListedNames.h"

#include "ListControl.h"
#include "PasswordUsersRoles.h"
#include "ServerNames.h"

namespace sqllumo::cli {

namespace {

using password::NameList;

} // namespace

bool CheckListedNames(Dispatcher& dispatcher, const WindowState& state,
                      const FunctionDescriptor& function, const UserRoleOptions& options,
                      QTextStream& err)
{
    const ConsoleInput input = function.consoleInput;
    const bool listedName = input == ConsoleInput::ListedName ||
                            input == ConsoleInput::ChangedUser ||
                            input == ConsoleInput::ChangedRole;
    const bool userRole = input == ConsoleInput::NewUser || input == ConsoleInput::ChangedUser;
    std::optional<QStringList> users;
    std::optional<QStringList> roles;
    // nullopt when the list could not be had (the refusal or failure has been shown).
    const auto names = [&](NameList which) -> std::optional<QStringList> {
        std::optional<QStringList>& cached = which == NameList::Users ? users : roles;
        if (cached)
            return cached;
        password::TextList list;
        dispatcher.withContext(function.index, [&](OperationContext& context) {
            password::ShowNames(context, which, list);
        });
        if (state.confirmedAdminPassword().isEmpty())
            return std::nullopt;
        cached = list.items();
        return cached;
    };
    const auto listed = [&](NameList which, const QString& name) {
        const std::optional<QStringList> all = names(which);
        if (!all)
            return false;
        // As the server finds names: "doctors " is the role Doctors.
        if (db::FindServerName(*all, name))
            return true;
        const bool user = which == NameList::Users;
        err << "sqllumo: there is no " << (user ? "user" : "role") << " named \"" << name
            << "\" in the password database; sqllumo password " << (user ? "user" : "role")
            << " list shows them" << Qt::endl;
        return false;
    };

    if (listedName && function.panel.combo == ComboButton::UserNames &&
        !listed(NameList::Users, options.name.value_or(QString())))
        return false;
    if (listedName && function.panel.combo == ComboButton::RoleNames &&
        !listed(NameList::Roles, options.name.value_or(QString())))
        return false;
    if (userRole && options.role && !listed(NameList::Roles, *options.role))
        return false;
    if (input == ConsoleInput::ChangedRole && options.rename && options.name &&
        !db::SameServerName(*options.rename, *options.name)) {
        const std::optional<QStringList> all = names(NameList::Roles);
        if (!all)
            return false;
        if (db::FindServerName(*all, *options.rename)) {
            err << "sqllumo: there is already a role named \"" << *options.rename
                << "\"; nothing has been changed" << Qt::endl;
            return false;
        }
    }
    return true;
}

} // namespace sqllumo::cli
