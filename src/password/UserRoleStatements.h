#pragma once
// The statements the user and role members send, and the texts they show. Names go in as
// literals with their quotes doubled, so "O'Brien" and "Doctor's role" are found like any
// other name.

#include <QString>

namespace sqllumo::password {

namespace texts {
inline const QString kUserAlreadyPresent = QStringLiteral("User already present!");
inline const QString kUserDoesNotExist = QStringLiteral("User doesn't exist");
inline const QString kRoleAlreadyPresent = QStringLiteral("Role already present!");
inline const QString kRoleDoesNotExist = QStringLiteral("Role doesn't exist");
// "The users of role " + name + " have changed since you were asked; nothing was removed"
QString RoleUsersChanged(const QString& roleName);
// "Role " + name + " is locked! You can't delete it!"
QString RoleLockedForDeletion(const QString& roleName);
} // namespace texts

namespace statements {
// The number as the general number-to-text conversion writes it: a blank sign position.
QString Number(long long n);

// "SELECT ID_Role FROM T_SecurityRoles WHERE RoleName = N'…'"
QString RoleIdByName(const QString& roleName);
// "SELECT * FROM T_SecurityRoles WHERE RoleName = N'…'"
QString RoleByName(const QString& roleName);
// "SELECT * FROM T_SecurityRoles WHERE ID_Role = 5"
QString RoleById(long long roleId);
// "SELECT RoleName FROM T_SecurityRoles WHERE ID_Role = 5"
QString RoleNameById(long long roleId);
QString AllRoleNames();
// "DELETE FROM T_SecurityRoles WHERE RoleName =N'…'"
QString DeleteRole(const QString& roleName);
// "SELECT User_Name FROM T_GenericUser WHERE Access_Type = 5 ORDER BY User_Name"
QString UserNamesOfRole(long long roleId);

// "SELECT * FROM T_GenericUser WHERE User_Name = N'…'"
QString UserByName(const QString& userName);
QString AllUsers();
// "DELETE FROM T_GenericUser WHERE User_Name = N'…'"
QString DeleteUser(const QString& userName);

QString AllFunctions();
QString AllMacroFunctions();
// Name and identifier of every function of the group with this description.
QString FunctionsOfGroup(const QString& description);
// The names of the functions of that group the role may use.
QString RoleRightsInGroup(long long roleId, const QString& description);
// The pair of role and function, if the role may use the function.
QString RightPair(long long functionId, long long roleId);
QString DeleteRightPair(long long functionId, long long roleId);
} // namespace statements

} // namespace sqllumo::password
