// Roles and their rights: roles added, renamed, removed and listed, and the rights matrix of
// one role loaded from the database and stored back cell by cell.
#include "GestioneDbPassword.h"

#include "PasswordSchema.h"
#include "UserRoleStatements.h"

namespace sqllumo::password {

namespace {

const QString kRoleName = QStringLiteral("RoleName");
const QString kFunctionName = QStringLiteral("FunctionName");
const QString kFunctionId = QStringLiteral("ID_Function");
const QString kRoleId = QStringLiteral("ID_Role");

bool lockedFlag(const dbport::ResultSet& role)
{
    return role.value(0, QLatin1String(kRoleLockedField)).toBool();
}

} // namespace

bool GestioneDbPassword::AddRole(const QString& NomeSQLServer, const QString& NomeNewDB,
                                 const QString& SQLUserName, const QString& SQLPassword)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](dbport::Connection& c) {
                            auto roles = updatable(statements::RoleByName(RoleName()), c);
                            if (!roles->eof()) {
                                ui_.showMessage(accessMessage(texts::kRoleAlreadyPresent));
                                roles->close();
                                return false;
                            }
                            roles->addNew();
                            roles->setValue(kRoleName, RoleName());
                            roles->setValue(QLatin1String(kRoleLockedField), false);
                            roles->update();
                            roles->close();
                            return true;
                        });
}

namespace {

GestioneDbPassword::RoleUsers roleUsers(dbport::Connection& c, const QString& roleName)
{
    GestioneDbPassword::RoleUsers found;
    const dbport::ResultSet role = c.query(statements::RoleByName(roleName));
    if (role.isEmpty())
        return found;
    found.found = true;
    found.locked = lockedFlag(role);
    // A locked role is not deleted: its users need not be read.
    if (found.locked)
        return found;
    const dbport::ResultSet users =
        c.query(statements::UserNamesOfRole(role.value(0, kRoleId).toLongLong()));
    for (size_t row = 0; row < users.rowCount(); ++row)
        found.users << users.value(row, 0).toString();
    return found;
}

} // namespace

bool GestioneDbPassword::EraseRole(const QString& NomeSQLServer, const QString& NomeNewDB,
                                   const QString& SQLUserName, const QString& SQLPassword,
                                   const QStringList* asked, QStringList* removed)
{
    return withDatabase(
        NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false, [&](dbport::Connection& c) {
            const RoleUsers role = roleUsers(c, RoleName());
            // A role removed meanwhile is not reported as removed now.
            if (!role.found) {
                ui_.showMessage(accessMessage(texts::kRoleDoesNotExist));
                return false;
            }
            if (role.locked) {
                ui_.showMessage(validationMessage(texts::RoleLockedForDeletion(RoleName())));
                return false;
            }
            // Users given the role after the question would go without anyone having agreed.
            if (asked && *asked != role.users) {
                ui_.showMessage(accessMessage(texts::RoleUsersChanged(RoleName())));
                return false;
            }
            // The cascading keys take the role's users and rights with it.
            c.execute(statements::DeleteRole(RoleName()));
            if (removed)
                *removed = role.users;
            return true;
        });
}

std::optional<GestioneDbPassword::RoleUsers>
GestioneDbPassword::ReadRoleUsers(const QString& NomeSQLServer, const QString& NomeNewDB,
                                  const QString& SQLUserName, const QString& SQLPassword,
                                  const QString& roleName)
{
    return withDatabase(
        NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, std::optional<RoleUsers>(),
        [&](dbport::Connection& c) -> std::optional<RoleUsers> { return roleUsers(c, roleName); });
}

bool GestioneDbPassword::ModifyRoleName(const QString& NomeSQLServer, const QString& NomeNewDB,
                                        const QString& SQLUserName, const QString& SQLPassword,
                                        int IDRole)
{
    if (NomeSQLServer.isEmpty() || NomeNewDB.isEmpty())
        return false;
    return withDatabase(
        NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false, [&](dbport::Connection& c) {
            // Two roles of one name could no longer be told apart by any member that finds a
            // role by its name.
            const dbport::ResultSet namesake = c.query(statements::RoleByName(RoleName()));
            if (!namesake.isEmpty() && namesake.value(0, kRoleId).toInt() != IDRole) {
                ui_.showMessage(accessMessage(texts::kRoleAlreadyPresent));
                return false;
            }
            auto role = updatable(statements::RoleById(IDRole), c);
            role->setValue(kRoleName, RoleName());
            role->update();
            role->close();
            return true;
        });
}

bool GestioneDbPassword::RoleIsLocked(const QString& NomeSQLServer, const QString& NomeNewDB,
                                      const QString& SQLUserName, const QString& SQLPassword,
                                      const QString& roleName)
{
    return withDatabase(
        NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, true, [&](dbport::Connection& c) {
            const dbport::ResultSet role = c.query(statements::RoleByName(roleName));
            return role.isEmpty() || lockedFlag(role);
        });
}

bool GestioneDbPassword::RiempiListaRuoli(const QString& NomeSQLServer, const QString& NomeNewDB,
                                          const QString& SQLUserName, const QString& SQLPassword,
                                          ListControl& Combo1)
{
    if (NomeSQLServer.isEmpty() || NomeNewDB.isEmpty())
        return false;
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](dbport::Connection& c) {
                            Combo1.clear();
                            const dbport::ResultSet roles = c.query(statements::AllRoleNames());
                            for (size_t row = 0; row < roles.rowCount(); ++row)
                                Combo1.AddItem(roles.text(row, kRoleName));
                            if (Combo1.ListCount() > 0)
                                Combo1.setListIndex(0);
                            return true;
                        });
}

void GestioneDbPassword::FindFunctionsByRole(const QString& NomeSQLServer, const QString& NomeNewDB,
                                             const QString& SQLUserName, const QString& SQLPassword,
                                             const QString& roleName)
{
    if (NomeSQLServer.isEmpty() || NomeNewDB.isEmpty())
        return;
    withDatabase(
        NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false, [&](dbport::Connection& c) {
            const dbport::ResultSet role = c.query(statements::RoleIdByName(roleName));
            // No such role: an identifier that matches no rights.
            const int roleId = role.isEmpty() ? -1 : role.value(0, 0).toInt();
            const auto functionCount =
                static_cast<int>(c.query(statements::AllFunctions()).rowCount());
            const dbport::ResultSet groups = c.query(statements::AllMacroFunctions());
            rights_.startLoading(static_cast<int>(groups.rowCount()), functionCount);
            for (size_t g = 0; g < groups.rowCount(); ++g) {
                const QString description = groups.value(g, 1).toString();
                const int m = rights_.addGroup(description);
                const dbport::ResultSet functions =
                    c.query(statements::FunctionsOfGroup(description));
                rights_.setFunctionCount(m, static_cast<int>(functions.rowCount()));
                for (size_t f = 0; f < functions.rowCount(); ++f)
                    rights_.setFunction(m, static_cast<int>(f), functions.text(f, kFunctionName),
                                        functions.value(f, kFunctionId).toInt());
                const dbport::ResultSet allowed =
                    c.query(statements::RoleRightsInGroup(roleId, description));
                for (size_t a = 0; a < allowed.rowCount(); ++a)
                    rights_.allowByName(m, allowed.text(a, kFunctionName));
            }
            return true;
        });
}

int GestioneDbPassword::ActivateFunctionsByRole(const QString& NomeSQLServer,
                                                const QString& NomeNewDB,
                                                const QString& SQLUserName,
                                                const QString& SQLPassword, const QString& roleName)
{
    int result = -1;
    if (NomeSQLServer.isEmpty() || NomeNewDB.isEmpty())
        return result;
    withDatabase(
        NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false, [&](dbport::Connection& c) {
            const int roleId = roleIdOf(c, roleName);
            result = roleId;
            const Counts counts = rights_.NumeroFunzioni();
            for (int m = 0; m < rights_.NumeroMacroFunzioni(); ++m) {
                for (int f = 0; f < counts[m]; ++f) {
                    int functionId = 0;
                    bool allowed = false;
                    if (!rights_.cell(m, f, &functionId, &allowed))
                        throw db::Error(db::kSubscriptOutOfRange, db::texts::kSubscriptOutOfRange);
                    auto pair = updatable(statements::RightPair(functionId, roleId), c);
                    if (allowed && pair->eof()) {
                        pair->addNew();
                        pair->setValue(kFunctionId, functionId);
                        pair->setValue(kRoleId, roleId);
                        pair->update();
                    } else if (!allowed && !pair->eof()) {
                        c.execute(statements::DeleteRightPair(functionId, roleId));
                    }
                    pair->close();
                }
            }
            return true;
        });
    return result;
}

int GestioneDbPassword::NumeroMacroFunzioni() const
{
    return rights_.NumeroMacroFunzioni();
}

Counts GestioneDbPassword::NumeroFunzioni() const
{
    return rights_.NumeroFunzioni();
}

Texts GestioneDbPassword::MacroFunzioni() const
{
    return rights_.MacroFunzioni();
}

TextGrid GestioneDbPassword::Funzioni() const
{
    return rights_.Funzioni();
}

FlagGrid GestioneDbPassword::Attivazioni() const
{
    return rights_.Attivazioni();
}

void GestioneDbPassword::setAttivazioni(const FlagGrid& ElencoAtt)
{
    rights_.setAttivazioni(ElencoAtt);
}

QString GestioneDbPassword::RoleName() const
{
    return roleName_;
}

void GestioneDbPassword::setRoleName(const QString& name)
{
    roleName_ = name;
}

} // namespace sqllumo::password
