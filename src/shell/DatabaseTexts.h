#pragma once
// Messages and report lines of creating and removing a database on a server, which the archive
// and the password catalogue both show; each kept once.

#include <QString>

namespace sqllumo::server::texts {

inline const QString kCrLf = QStringLiteral("\r\n");
inline const QString kCr = QStringLiteral("\r");
inline const QString kHasBeenCreated = QStringLiteral(" has been created");
inline const QString kIntoSqlServer = QStringLiteral(" into SQL Server ");
inline const QString kInvalidDirectory = QStringLiteral("Invalid database directory!") + kCrLf +
                                         QStringLiteral("Please, define at least one.");
inline const QString kInvalidDatabaseName =
    QStringLiteral("Invalid database name!") + kCrLf +
    QStringLiteral("Please, use letters, digits and the underscore only.");
inline const QString kSystemDatabaseName =
    QStringLiteral("System database!") + kCrLf +
    QStringLiteral("master, model, msdb and tempdb belong to SQL Server: please, name another "
                   "database.");
inline QString DatabaseNameTooLong(int longest)
{
    return QStringLiteral("Database name too long!") + kCrLf +
           QStringLiteral("Please, use at most %1 characters.").arg(longest);
}
inline const QString kDatabase = QStringLiteral("Database ");
inline const QString kCreatedAndInitialized = QStringLiteral(" has been created and initialized");
inline const QString kInitializationError =
    QStringLiteral("An error occurred during initialization of the database: ");
inline const QString kDeleteQuestion = QStringLiteral("Do you really want to delete database?");
inline const QString kHasBeenRemoved = QStringLiteral(" has been removed");
inline const QString kFromSqlServer = QStringLiteral(" from SQL Server ");
inline const QString kCannotRemove = QStringLiteral("Cannot remove the database ");
inline const QString kNotInCatalog =
    QStringLiteral(" because it does not exist in the system catalog");
inline const QString kOfTheSqlServer = QStringLiteral(" of the SQL Server ");

} // namespace sqllumo::server::texts
