// Roles and their rights: roles added, renamed, removed and listed, and the rights matrix of
// one role loaded from the database and stored back cell by cell.
#include "GestioneDbPassword.h"

#include "PasswordSchema.h"
#include "UserRoleStatements.h"

#include "Recordset.h"

namespace sqllumo::password {

namespace {

const QString kRoleName = QStringLiteral("RoleName");
const QString kFunctionName = QStringLiteral("FunctionName");
const QString kFunctionId = QStringLiteral("ID_Function");
const QString kRoleId = QStringLiteral("ID_Role");

bool lockedFlag(db::Recordset& role)
{
    return role.value(QLatin1String(kRoleLockedField)).toBool();
}

} // namespace

bool GestioneDbPassword::AddRole(const QString& NomeSQLServer, const QString& NomeNewDB,
                                 const QString& SQLUserName, const QString& SQLPassword)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](db::Connection& c) {
                            db::Recordset roles = updatable(statements::RoleByName(RoleName()), c);
                            if (!roles.eof()) {
                                ui_.showMessage(accessMessage(texts::kRoleAlreadyPresent));
                                roles.close();
                                return false;
                            }
                            roles.addNew();
                            roles.field(kRoleName) = RoleName();
                            roles.field(QLatin1String(kRoleLockedField)) = false;
                            roles.update();
                            roles.close();
                            return true;
                        });
}

bool GestioneDbPassword::EraseRole(const QString& NomeSQLServer, const QString& NomeNewDB,
                                   const QString& SQLUserName, const QString& SQLPassword)
{
    return withDatabase(
        NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false, [&](db::Connection& c) {
            db::Recordset role = c.query(statements::RoleByName(RoleName()));
            const bool locked = !role.eof() && lockedFlag(role);
            role.close();
            if (locked) {
                ui_.showMessage(validationMessage(texts::RoleLockedForDeletion(RoleName())));
                return false;
            }
            // The cascading keys take the role's users and rights with it.
            c.execute(statements::DeleteRole(RoleName()));
            return true;
        });
}

bool GestioneDbPassword::ModifyRoleName(const QString& NomeSQLServer, const QString& NomeNewDB,
                                        const QString& SQLUserName, const QString& SQLPassword,
                                        int IDRole)
{
    if (NomeSQLServer.isEmpty() || NomeNewDB.isEmpty())
        return false;
    return withDatabase(
        NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false, [&](db::Connection& c) {
            // Two roles of one name could no longer be told apart by any member that finds a
            // role by its name.
            db::Recordset namesake = c.query(statements::RoleByName(RoleName()));
            const bool taken = !namesake.eof() && namesake.value(kRoleId).toInt() != IDRole;
            namesake.close();
            if (taken) {
                ui_.showMessage(accessMessage(texts::kRoleAlreadyPresent));
                return false;
            }
            db::Recordset role = updatable(statements::RoleById(IDRole), c);
            role.field(kRoleName) = RoleName();
            role.update();
            role.close();
            return true;
        });
}

bool GestioneDbPassword::RoleIsLocked(const QString& NomeSQLServer, const QString& NomeNewDB,
                                      const QString& SQLUserName, const QString& SQLPassword,
                                      const QString& roleName)
{
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, true,
                        [&](db::Connection& c) {
                            db::Recordset role = c.query(statements::RoleByName(roleName));
                            const bool locked = role.eof() || lockedFlag(role);
                            role.close();
                            return locked;
                        });
}

bool GestioneDbPassword::RiempiListaRuoli(const QString& NomeSQLServer, const QString& NomeNewDB,
                                          const QString& SQLUserName, const QString& SQLPassword,
                                          ListControl& Combo1)
{
    if (NomeSQLServer.isEmpty() || NomeNewDB.isEmpty())
        return false;
    return withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false,
                        [&](db::Connection& c) {
                            Combo1.clear();
                            db::Recordset roles = c.query(statements::AllRoleNames());
                            for (; !roles.eof(); roles.moveNext())
                                Combo1.AddItem(roles.value(kRoleName).toString());
                            if (Combo1.ListCount() > 0)
                                Combo1.setListIndex(0);
                            roles.close();
                            return true;
                        });
}

void GestioneDbPassword::FindFunctionsByRole(const QString& NomeSQLServer, const QString& NomeNewDB,
                                             const QString& SQLUserName, const QString& SQLPassword,
                                             const QString& roleName)
{
    if (NomeSQLServer.isEmpty() || NomeNewDB.isEmpty())
        return;
    withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false, [&](db::Connection& c) {
        db::Recordset role = c.query(statements::RoleIdByName(roleName));
        // No such role: an identifier that matches no rights.
        const int roleId = role.eof() ? -1 : role.value(0).toInt();
        role.close();
        const auto functionCount =
            static_cast<int>(c.query(statements::AllFunctions()).recordCount());
        db::Recordset groups = c.query(statements::AllMacroFunctions());
        rights_.startLoading(static_cast<int>(groups.recordCount()), functionCount);
        for (; !groups.eof(); groups.moveNext()) {
            const QString description = groups.value(1).toString();
            const int m = rights_.addGroup(description);
            db::Recordset functions = c.query(statements::FunctionsOfGroup(description));
            rights_.setFunctionCount(m, static_cast<int>(functions.recordCount()));
            for (int f = 0; !functions.eof(); functions.moveNext(), ++f)
                rights_.setFunction(m, f, functions.value(kFunctionName).toString(),
                                    functions.value(kFunctionId).toInt());
            functions.close();
            db::Recordset allowed = c.query(statements::RoleRightsInGroup(roleId, description));
            for (; !allowed.eof(); allowed.moveNext())
                rights_.allowByName(m, allowed.value(kFunctionName).toString());
            allowed.close();
        }
        groups.close();
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
    withDatabase(NomeSQLServer, NomeNewDB, SQLUserName, SQLPassword, false, [&](db::Connection& c) {
        const int roleId = roleIdOf(c, roleName);
        result = roleId;
        const Counts counts = rights_.NumeroFunzioni();
        for (int m = 0; m < rights_.NumeroMacroFunzioni(); ++m) {
            for (int f = 0; f < counts[m]; ++f) {
                int functionId = 0;
                bool allowed = false;
                if (!rights_.cell(m, f, &functionId, &allowed))
                    throw db::Error(db::kSubscriptOutOfRange, db::texts::kSubscriptOutOfRange);
                db::Recordset pair = updatable(statements::RightPair(functionId, roleId), c);
                if (allowed && pair.eof()) {
                    pair.addNew();
                    pair.field(kFunctionId) = functionId;
                    pair.field(kRoleId) = roleId;
                    pair.update();
                } else if (!allowed && !pair.eof()) {
                    c.execute(statements::DeleteRightPair(functionId, roleId));
                }
                pair.close();
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
