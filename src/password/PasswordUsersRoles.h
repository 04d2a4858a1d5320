#pragma once
// The password catalogue's user and role functions (add, delete and modify a user, erase a
// user's password, add, delete and modify a role) and the two buttons that list user and role
// names, each run by the dispatcher on a GestioneDbPassword made for the press.

#include "ListControl.h"
#include "Operation.h"

namespace sqllumo::password {

namespace texts {
inline const QString kSelectUser = QStringLiteral("You have to select an user from the list!");
inline const QString kSelectRole = QStringLiteral("You have to select a role from the list!");
inline const QString kSpecifyRoleName = QStringLiteral("You have to specify a role name");
// "Role " + name + " is locked! You can't modify it!"
QString RoleLockedForChange(const QString& roleName);
// "Delete role " + name + " and its N users (a, b)?", or "…? It has no users."
QString DeleteRoleQuestion(const QString& roleName, const QStringList& users);
// The report's line naming the users that went with a role.
QString UsersRemovedWithRole(const QStringList& users);
} // namespace texts

OperationOutcome AddUserFunction(OperationContext& context);
OperationOutcome DeleteUserFunction(OperationContext& context);
OperationOutcome ModifyUserFunction(OperationContext& context);
OperationOutcome EraseUserPasswordFunction(OperationContext& context);
OperationOutcome AddRoleFunction(OperationContext& context);
OperationOutcome DeleteRoleFunction(OperationContext& context);
OperationOutcome ModifyRoleFunction(OperationContext& context);

// Console only, each handing back what it found as information: the names the two list buttons
// show, the stored details of the selected user (never the password), and each function of
// the selected role's database with its group and whether the role may use it.
OperationOutcome ListUserNamesFunction(OperationContext& context);
OperationOutcome ListRoleNamesFunction(OperationContext& context);
OperationOutcome ShowUserFunction(OperationContext& context);
OperationOutcome RoleRightsFunction(OperationContext& context);

// Catalogue indexes of the user and role functions; from kListUserNames on console only.
enum UserRoleFunction : int {
    kAddUser = 2,
    kDeleteUser = 3,
    kModifyUser = 4,
    kEraseUserPassword = 5,
    kAddRole = 8,
    kDeleteRole = 9,
    kModifyRole = 10,
    kListUserNames = 11,
    kShowUser = 12,
    kListRoleNames = 13,
    kRoleRights = 14,
};

enum class NameList { Users, Roles };
// "Show User Names" / "Show Role Names": the panel's server and database stored, the
// administrator password asked for and verified when none is confirmed, then the list filled
// afresh. Nothing is reported or logged.
void ShowNames(OperationContext& context, NameList which, ListControl& Combo1);

} // namespace sqllumo::password
