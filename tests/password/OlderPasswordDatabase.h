// The statements that leave a password database as an older version did: without the two
// newest functions, with two roles and their users, one foreign key without cascading rules.
#pragma once

#include "PasswordSchema.h"

#include <QStringList>

namespace sqllumo::testing {

struct OlderState {
    const char* version; // nullptr: no T_DBVersion table at all
    bool withAdminTable = true;
    bool withGenericTable = true;
};

inline QStringList OlderDatabaseStatements(const OlderState& state)
{
    auto q = [](const std::string& text) { return QString::fromStdString(text); };
    QStringList statements;
    for (const auto& table : password::PasswordTables()) {
        const QString tableName = q(table.name);
        if ((tableName == "T_DBVersion" && !state.version) ||
            (tableName == "T_AdminPassword" && !state.withAdminTable) ||
            (tableName == "T_GenPasswords" && !state.withGenericTable))
            continue;
        statements << q(password::CreatePasswordTableStatement(table));
    }
    if (state.version)
        statements << QStringLiteral("INSERT INTO T_DBVersion VALUES ('%1')").arg(state.version);
    statements << "INSERT INTO T_SecurityRoles(RoleName, IsLocked) VALUES ('Administrator', 1)"
               << "INSERT INTO T_SecurityRoles(RoleName, IsLocked) VALUES ('Nurse', 0)"
               << "INSERT INTO T_SecurityMacroFunctions(Description) VALUES ('Archive')";
    const auto& functions = password::DefaultFunctionNames();
    for (size_t i = 0; i + 2 < functions.size(); ++i)
        statements << "INSERT INTO T_SecurityFunctions(FunctionName, ID_MacroFunction) VALUES ('" +
                          q(functions[i]) + "', 1)";
    for (int f = 1; f <= 11; ++f)
        statements << QStringLiteral("INSERT INTO T_SecurityRolesFunctions VALUES (1, %1)").arg(f);
    statements << "INSERT INTO T_SecurityRolesFunctions VALUES (2, 3)"
               << "INSERT INTO T_GenericUser VALUES ('anna', 'x', 'Rossi', 'Anna', '1970-01-02', "
                  "'Dr', 1, 1, 0, '')"
               << "INSERT INTO T_GenericUser VALUES ('bruno', 'y', 'Bianchi', 'Bruno', "
                  "'1980-03-04', '', 2, 0, 1, 'free')"
               << "ALTER TABLE T_GenericUser ADD CONSTRAINT fk_User_Role FOREIGN KEY "
                  "(Access_Type) REFERENCES T_SecurityRoles (ID_Role)";
    return statements;
}

} // namespace sqllumo::testing
