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
} // namespace texts

OperationOutcome AddUserFunction(OperationContext& context);
OperationOutcome DeleteUserFunction(OperationContext& context);
OperationOutcome ModifyUserFunction(OperationContext& context);
OperationOutcome EraseUserPasswordFunction(OperationContext& context);
OperationOutcome AddRoleFunction(OperationContext& context);
OperationOutcome DeleteRoleFunction(OperationContext& context);
OperationOutcome ModifyRoleFunction(OperationContext& context);

enum class NameList { Users, Roles };
// "Show User Names" / "Show Role Names": the panel's server and database stored, the
// administrator password asked for and verified when none is confirmed, then the list filled
// afresh. Nothing is reported or logged.
void ShowNames(OperationContext& context, NameList which, ListControl& Combo1);

} // namespace sqllumo::password
