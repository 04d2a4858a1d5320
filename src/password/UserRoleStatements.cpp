// Statement texts of the user and role members, each built in one place.

#include "UserRoleStatements.h"

#include "SqlText.h"

namespace sqllumo::password {

namespace {
const QString kSecurityJoin = QStringLiteral(
    "T_SecurityFunctions INNER JOIN T_SecurityMacroFunctions ON "
    "T_SecurityFunctions.ID_MacroFunction = T_SecurityMacroFunctions.ID_MacroFunction ");

QString literal(const QString& text)
{
    return db::TextLiteral(text);
}
} // namespace

QString texts::RoleLockedForDeletion(const QString& roleName)
{
    return QStringLiteral("Role ") + roleName + QStringLiteral(" is locked! You can't delete it!");
}

QString texts::RoleUsersChanged(const QString& roleName)
{
    return QStringLiteral("The users of role ") + roleName +
           QStringLiteral(" have changed since you were asked; nothing was removed");
}

namespace statements {

QString Number(long long n)
{
    return n < 0 ? QString::number(n) : QLatin1Char(' ') + QString::number(n);
}

QString RoleIdByName(const QString& roleName)
{
    return QStringLiteral("SELECT ID_Role FROM T_SecurityRoles WHERE RoleName = ") +
           literal(roleName);
}

QString RoleByName(const QString& roleName)
{
    return QStringLiteral("SELECT * FROM T_SecurityRoles WHERE RoleName = ") + literal(roleName);
}

QString RoleById(long long roleId)
{
    return QStringLiteral("SELECT * FROM T_SecurityRoles WHERE ID_Role =") + Number(roleId);
}

QString RoleNameById(long long roleId)
{
    return QStringLiteral("SELECT RoleName FROM T_SecurityRoles WHERE ID_Role =") + Number(roleId);
}

QString AllRoleNames()
{
    return QStringLiteral("SELECT RoleName FROM T_SecurityRoles");
}

QString DeleteRole(const QString& roleName)
{
    return QStringLiteral("DELETE FROM T_SecurityRoles WHERE RoleName =") + literal(roleName);
}

QString UserNamesOfRole(long long roleId)
{
    return QStringLiteral("SELECT User_Name FROM T_GenericUser WHERE Access_Type =") +
           Number(roleId) + QStringLiteral(" ORDER BY User_Name");
}

QString UserByName(const QString& userName)
{
    return QStringLiteral("SELECT * FROM T_GenericUser WHERE User_Name = ") + literal(userName);
}

QString AllUsers()
{
    return QStringLiteral("SELECT * FROM T_GenericUser");
}

QString DeleteUser(const QString& userName)
{
    return QStringLiteral("DELETE FROM T_GenericUser WHERE User_Name = ") + literal(userName);
}

QString AllFunctions()
{
    return QStringLiteral("SELECT * FROM T_SecurityFunctions");
}

QString AllMacroFunctions()
{
    return QStringLiteral("SELECT * FROM T_SecurityMacroFunctions");
}

QString FunctionsOfGroup(const QString& description)
{
    return QStringLiteral("SELECT FunctionName,ID_Function FROM ") + kSecurityJoin +
           QStringLiteral("WHERE (T_SecurityMacroFunctions.Description = ") + literal(description) +
           QStringLiteral(")");
}

QString RoleRightsInGroup(long long roleId, const QString& description)
{
    return QStringLiteral("SELECT T_SecurityFunctions.FunctionName FROM ") + kSecurityJoin +
           QStringLiteral("INNER JOIN T_SecurityRolesFunctions ON T_SecurityFunctions.ID_Function "
                          "= T_SecurityRolesFunctions.ID_Function "
                          "INNER JOIN T_SecurityRoles ON T_SecurityRolesFunctions.ID_Role = "
                          "T_SecurityRoles.ID_Role "
                          "WHERE (T_SecurityRoles.ID_Role =") +
           Number(roleId) + QStringLiteral(" AND T_SecurityMacroFunctions.Description = ") +
           literal(description) + QStringLiteral(")");
}

QString RightPair(long long functionId, long long roleId)
{
    return QStringLiteral("SELECT * FROM T_SecurityRolesFunctions WHERE (ID_Function =") +
           Number(functionId) + QStringLiteral(" AND ID_Role =") + Number(roleId) +
           QStringLiteral(")");
}

QString DeleteRightPair(long long functionId, long long roleId)
{
    return QStringLiteral("DELETE FROM T_SecurityRolesFunctions  WHERE (ID_Function =") +
           Number(functionId) + QStringLiteral(" AND ID_Role =") + Number(roleId) +
           QStringLiteral(")");
}

} // namespace statements

} // namespace sqllumo::password
