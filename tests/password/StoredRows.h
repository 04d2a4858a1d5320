// Reading back what the program stored in a database of the stand-in, and preparing one,
// through the database layer rather than the code under test.
#pragma once

#include "ConnectionStrings.h"
#include "StandinForProgram.h"

#include "Connection.h"
#include "Recordset.h"

#include <QStringList>

namespace sqllumo::testing {

inline QString StandinConnection(const StandinForProgram& standin, const QString& database)
{
    return BuildConnectionString(standin.server(), database, standin.user(), standin.password());
}

// The first column of every row the query gives, as text.
inline QStringList FirstColumn(const StandinForProgram& standin, const QString& database,
                               const QString& query)
{
    db::Recordset rows;
    rows.open(query, StandinConnection(standin, database));
    QStringList values;
    for (; !rows.eof(); rows.moveNext())
        values << rows.value(0).toString();
    rows.close();
    return values;
}

inline void ExecuteOn(const StandinForProgram& standin, const QString& database,
                      const QStringList& statements)
{
    db::Connection connection;
    connection.open(StandinConnection(standin, database));
    for (const QString& statement : statements)
        connection.execute(statement);
    connection.close();
}

// The names of the functions the role may use, in the order of their identifiers.
inline QString RoleRightsQuery(const QString& role)
{
    return "SELECT f.FunctionName FROM T_SecurityRolesFunctions rf JOIN T_SecurityFunctions f ON "
           "f.ID_Function = rf.ID_Function JOIN T_SecurityRoles r ON r.ID_Role = rf.ID_Role "
           "WHERE r.RoleName = N'" +
           QString(role).replace(QLatin1Char('\''), QStringLiteral("''")) +
           "' ORDER BY f.ID_Function";
}

} // namespace sqllumo::testing
