// The SQL text of the whole-database operations and the checks on the values spliced into it.
#include "ServerStatements.h"

#include "ConnectionStrings.h"

namespace sqllumo::server {

namespace {
QString quoted(const QString& value)
{
    return QLatin1Char('\'') + SQLConvertString(value) + QLatin1Char('\'');
}
} // namespace

namespace {
// The server's reserved keywords: unbracketed, none of them names a database.
bool isReservedWord(const QString& name)
{
    static const QStringList words =
        QStringLiteral(
            "ADD ALL ALTER AND ANY AS ASC AUTHORIZATION BACKUP BEGIN BETWEEN BREAK BROWSE BULK BY "
            "CASCADE CASE CHECK CHECKPOINT CLOSE CLUSTERED COALESCE COLLATE COLUMN COMMIT COMPUTE "
            "CONSTRAINT CONTAINS CONTAINSTABLE CONTINUE CONVERT CREATE CROSS CURRENT CURRENT_DATE "
            "CURRENT_TIME CURRENT_TIMESTAMP CURRENT_USER CURSOR DATABASE DBCC DEALLOCATE DECLARE "
            "DEFAULT DELETE DENY DESC DISK DISTINCT DISTRIBUTED DOUBLE DROP DUMP ELSE END ERRLVL "
            "ESCAPE EXCEPT EXEC EXECUTE EXISTS EXIT EXTERNAL FETCH FILE FILLFACTOR FOR FOREIGN "
            "FREETEXT FREETEXTTABLE FROM FULL FUNCTION GOTO GRANT GROUP HAVING HOLDLOCK IDENTITY "
            "IDENTITY_INSERT IDENTITYCOL IF IN INDEX INNER INSERT INTERSECT INTO IS JOIN KEY KILL "
            "LEFT LIKE LINENO LOAD MERGE NATIONAL NOCHECK NONCLUSTERED NOT NULL NULLIF OF OFF "
            "OFFSETS ON OPEN OPENDATASOURCE OPENQUERY OPENROWSET OPENXML OPTION OR ORDER OUTER "
            "OVER "
            "PERCENT PIVOT PLAN PRECISION PRIMARY PRINT PROC PROCEDURE PUBLIC RAISERROR READ "
            "READTEXT RECONFIGURE REFERENCES REPLICATION RESTORE RESTRICT RETURN REVERT REVOKE "
            "RIGHT "
            "ROLLBACK ROWCOUNT ROWGUIDCOL RULE SAVE SCHEMA SECURITYAUDIT SELECT "
            "SEMANTICKEYPHRASETABLE SEMANTICSIMILARITYDETAILSTABLE SEMANTICSIMILARITYTABLE "
            "SESSION_USER SET SETUSER SHUTDOWN SOME STATISTICS SYSTEM_USER TABLE TABLESAMPLE "
            "TEXTSIZE THEN TO TOP TRAN TRANSACTION TRIGGER TRUNCATE TRY_CONVERT TSEQUAL UNION "
            "UNIQUE UNPIVOT UPDATE UPDATETEXT USE USER VALUES VARYING VIEW WAITFOR WHEN WHERE "
            "WHILE "
            "WITH WITHIN WRITETEXT")
            .split(QLatin1Char(' '));
    return words.contains(name.toUpper());
}
} // namespace

bool IsRegularIdentifier(const QString& name)
{
    if (name.isEmpty() || name.size() > 128 || isReservedWord(name))
        return false;
    const QChar first = name.front();
    if (!first.isLetter() && first != QLatin1Char('_'))
        return false;
    for (QChar c : name) {
        if (c.isLetter() || c.isDigit())
            continue;
        if (c == QLatin1Char('_') || c == QLatin1Char('@') || c == QLatin1Char('#') ||
            c == QLatin1Char('$'))
            continue;
        return false;
    }
    return true;
}

const QStringList& ServerRoles()
{
    static const QStringList roles = {
        QStringLiteral("sysadmin"),     QStringLiteral("securityadmin"),
        QStringLiteral("serveradmin"),  QStringLiteral("setupadmin"),
        QStringLiteral("processadmin"), QStringLiteral("diskadmin"),
        QStringLiteral("dbcreator")};
    return roles;
}

QString GrantLoginStatement(const QString& login)
{
    return QStringLiteral("sp_grantlogin ") + quoted(login);
}

QString AddServerRoleStatement(const QString& login, const QString& role)
{
    return QStringLiteral("sp_addsrvrolemember ") + quoted(login) + QLatin1Char(',') + quoted(role);
}

QString DataFileName(const QString& directory, const QString& database)
{
    return directory + database + QStringLiteral("dat.mdf");
}

QString LogFileName(const QString& directory, const QString& database)
{
    return directory + database + QStringLiteral("log.ldf");
}

QString CreateDatabaseStatement(const QString& database, const QString& directory)
{
    return QStringLiteral("CREATE DATABASE ") + database + QStringLiteral(" ON (NAME = ") +
           database + QStringLiteral("_Dat, FILENAME = ") +
           quoted(DataFileName(directory, database)) + QStringLiteral(")") +
           QStringLiteral(" LOG ON (NAME = ") + database + QStringLiteral("_Log, FILENAME = ") +
           quoted(LogFileName(directory, database)) + QStringLiteral(")");
}

QString BackupStatement(const QString& database, const QString& file)
{
    return QStringLiteral("BACKUP DATABASE ") + database + QStringLiteral(" TO DISK=") +
           quoted(file);
}

QString HeaderListStatement(const QString& file)
{
    return QStringLiteral("RESTORE HEADERONLY FROM DISK=") + quoted(file);
}

QString VerifyStatement(const QString& file, int position)
{
    return QStringLiteral("RESTORE VERIFYONLY FROM DISK=") + quoted(file) +
           QStringLiteral(" WITH FILE = ") + QString::number(position);
}

QString FileListStatement(const QString& file, int position)
{
    return QStringLiteral("RESTORE FILELISTONLY FROM DISK=") + quoted(file) + QLatin1Char(' ') +
           QStringLiteral("WITH FILE = ") + QString::number(position);
}

QString RestoreStatement(const QString& database, const QString& file, int position,
                         const QString& dataName, const QString& logName, const QString& directory,
                         bool replaceExisting)
{
    return QStringLiteral("RESTORE DATABASE ") + database + QStringLiteral(" FROM DISK=") +
           quoted(file) + QStringLiteral("WITH FILE = ") + QString::number(position) +
           QStringLiteral(", RECOVERY, ") +
           (replaceExisting ? QStringLiteral("REPLACE, ") : QString()) + QStringLiteral("MOVE ") +
           quoted(dataName) + QStringLiteral(" TO ") + quoted(DataFileName(directory, database)) +
           QStringLiteral(", ") + QStringLiteral("MOVE ") + quoted(logName) +
           QStringLiteral(" TO ") + quoted(LogFileName(directory, database));
}

QString DropDatabaseStatement(const QString& database)
{
    return QStringLiteral("DROP DATABASE ") + database;
}

bool IsValidBackupFile(const QString& file)
{
    return !file.isEmpty() && !file.endsWith(QLatin1Char('\\'));
}

} // namespace sqllumo::server
