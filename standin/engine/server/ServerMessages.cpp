// The server level's messages with SQL Server's numbers, severities and texts.
#include "ServerMessages.h"

#include "../Errors.h"
#include "ServerText.h"

#include <cmath>

namespace standin::server::messages {

namespace {
Message make(int32_t number, uint8_t severity, std::u16string text, uint8_t state = 1)
{
    Message m;
    m.number = number;
    m.severity = severity;
    m.state = state;
    m.text = std::move(text);
    return m;
}

std::u16string q(const std::u16string& s)
{
    return u"'" + s + u"'";
}

std::u16string dq(const std::u16string& s)
{
    return u"\"" + s + u"\"";
}

// SQL Server writes elapsed times and rates with three decimals.
std::u16string threeDecimals(double value)
{
    return FixedPoint(static_cast<int64_t>(std::llround(value * 1000.0)), 3);
}
} // namespace

// These two are the engine's own, so a client sees one text for each whatever part refused.
Message SyntaxError(const std::u16string& near)
{
    return standin::makeMessage(err::kSyntax, {near});
}

Message NotSupported(const std::u16string& what)
{
    return standin::makeMessage(err::kNotSupported, {what});
}

Message NotInTransaction(const std::u16string& statement)
{
    return make(226, 16, statement + u" statement not allowed within multi-statement transaction.");
}

Message NotInUserTransaction(const std::u16string& statement)
{
    return make(574, 16, statement + u" statement cannot be used inside a user transaction.");
}

Message ProcedureNotInTransaction(const std::u16string& procedure)
{
    return make(15002, 16,
                u"The procedure " + q(procedure) + u" cannot be executed within a transaction.");
}

Message PermissionDenied(const std::u16string& statement)
{
    return make(262, 14, statement + u" permission denied in database 'master'.");
}

Message DatabaseDoesNotExist(const std::u16string& name)
{
    return make(911, 16,
                u"Database " + q(name) +
                    u" does not exist. Make sure that the name is entered correctly.");
}

Message DatabaseExists(const std::u16string& name)
{
    return make(1801, 16,
                u"Database " + q(name) + u" already exists. Choose a different database name.");
}

Message CreateDatabaseFailed()
{
    return make(1802, 16,
                u"CREATE DATABASE failed. Some file names listed could not be created. Check "
                u"related errors.");
}

Message LogicalNameInUse(const std::u16string& logicalName)
{
    return make(1828, 16,
                u"The logical file name " + dq(logicalName) +
                    u" is already in use. Choose a different name.");
}

Message FileInUseByDatabase(const std::u16string& file, const std::u16string& database)
{
    return make(1834, 16,
                u"The file " + q(file) + u" cannot be overwritten. It is being used by database " +
                    q(database) + u".");
}

Message DirectoryLookupFailed(const std::u16string& file, const char16_t* osError)
{
    return make(5133, 16,
                u"Directory lookup for the file " + dq(file) +
                    u" failed with the operating system error " + osError + u".");
}

Message FileActivationError(const std::u16string& file)
{
    return make(
        5105, 16,
        u"A file activation error occurred. The physical file name " + q(file) +
            u" may be incorrect. Diagnose and correct additional errors, and retry the operation.");
}

Message FileExists(const std::u16string& file)
{
    return make(5170, 16,
                u"Cannot create file " + q(file) +
                    u" because it already exists. Change the file path or the file name, and retry "
                    u"the operation.");
}

Message DropUnknownDatabase(const std::u16string& name)
{
    return make(3701, 11,
                u"Cannot drop the database " + q(name) +
                    u", because it does not exist or you do not have permission.");
}

Message DatabaseInUse(const std::u16string& name)
{
    return make(3702, 16, u"Cannot drop database " + dq(name) + u" because it is currently in use.",
                4);
}

Message SystemDatabase(const std::u16string& verb, const std::u16string& name)
{
    return make(3708, 16,
                u"Cannot " + verb + u" the database " + q(name) +
                    u" because it is a system database.");
}

Message TerminatingAbnormally(const std::u16string& statement)
{
    return make(3013, 16, statement + u" is terminating abnormally.");
}

Message ProcessedPages(int64_t pages, const std::u16string& database,
                       const std::u16string& logicalFile, int32_t fileNumber)
{
    return make(4035, 10,
                u"Processed " + ToU16(pages) + u" pages for database " + q(database) + u", file " +
                    q(logicalFile) + u" on file " + ToU16(fileNumber) + u".");
}

Message SuccessfullyProcessed(const std::u16string& statement, int64_t pages, double seconds)
{
    // A copy faster than a millisecond still reports a rate, as the server never divides by zero.
    const double shownSeconds = std::max(seconds, 0.001);
    const double rate = static_cast<double>(pages) * 8192.0 / 1048576.0 / shownSeconds;
    return make(3014, 10,
                statement + u" successfully processed " + ToU16(pages) + u" pages in " +
                    threeDecimals(shownSeconds) + u" seconds (" + threeDecimals(rate) +
                    u" MB/sec).");
}

Message BackupInTransaction()
{
    return make(3021, 16, u"Cannot perform a backup or restore operation within a transaction.");
}

Message OptionsNotSupported(const std::u16string& options)
{
    return make(3032, 16,
                u"One or more of the options (" + options +
                    u") are not supported for this statement. Review the documentation for "
                    u"supported options.");
}

Message ExclusiveAccess()
{
    return make(3101, 16,
                u"Exclusive access could not be obtained because the database is in use.");
}

Message InUseBySession(const std::u16string& statement, const std::u16string& name)
{
    return make(3102, 16,
                statement + u" cannot process database " + q(name) +
                    u" because it is in use by this session. It is recommended that the master "
                    u"database be used when performing this operation.");
}

Message MasterSingleUser()
{
    return make(3108, 16,
                u"To restore the master database, the server must be running in single-user mode. "
                u"For information on starting in single-user mode, see \"How to: Start an Instance "
                u"of SQL Server (sqlservr.exe)\" in Books Online.");
}

Message PlanningProblems()
{
    return make(3119, 16,
                u"Problems were identified while planning for the RESTORE statement. Previous "
                u"messages provide details.");
}

Message CannotRestoreOverExisting(const std::u16string& logicalFile, const std::u16string& file)
{
    return make(3142, 16,
                u"File " + dq(logicalFile) + u" cannot be restored over the existing " + dq(file) +
                    u". Reissue the RESTORE statement using WITH REPLACE to overwrite pre-existing "
                    u"files, or WITH MOVE to identify an alternate location.");
}

Message NotABackupSet(const std::u16string& device)
{
    return make(3143, 16,
                u"The data set on device " + q(device) + u" is not a SQL Server backup set.");
}

Message TempdbBackup()
{
    return make(3147, 16, u"Backup and restore operations are not allowed on database tempdb.");
}

Message OtherDatabaseBackup(const std::u16string& name)
{
    return make(3154, 16,
                u"The backup set holds a backup of a database other than the existing " + q(name) +
                    u" database.");
}

Message TailNotBackedUp(const std::u16string& name)
{
    return make(
        3159, 16,
        u"The tail of the log for the database " + dq(name) +
            u" has not been backed up. Use BACKUP LOG WITH NORECOVERY to backup the log if it "
            u"contains work you do not want to lose. Use the WITH REPLACE or WITH STOPAT clause of "
            u"the RESTORE statement to just overwrite the contents of the log.");
}

Message CannotRestoreTo(const std::u16string& logicalFile, const std::u16string& file)
{
    return make(3156, 16,
                u"File " + q(logicalFile) + u" cannot be restored to " + q(file) +
                    u". Use WITH MOVE to identify a valid location for the file.");
}

Message FileClaimedTwice(const std::u16string& file, const std::u16string& first, int32_t firstId,
                         const std::u16string& second, int32_t secondId)
{
    return make(3176, 16,
                u"File " + q(file) + u" is claimed by " + q(first) + u"(" + ToU16(firstId) +
                    u") and " + q(second) + u"(" + ToU16(secondId) +
                    u"). The WITH MOVE clause can be used to relocate one or more files.");
}

Message CannotOpenBackupDevice(const std::u16string& device, const char16_t* osError)
{
    return make(3201, 16,
                u"Cannot open backup device " + q(device) + u". Operating system error " + osError +
                    u".");
}

Message LogicalFileNotInDatabase(const std::u16string& logicalFile, const std::u16string& database)
{
    return make(3234, 16,
                u"Logical file " + q(logicalFile) + u" is not part of database " + q(database) +
                    u". Use RESTORE FILELISTONLY to list the logical file names.");
}

Message WriteFailed(const std::u16string& device, const std::u16string& reason)
{
    return make(3202, 16, u"Write on " + dq(device) + u" failed: " + reason);
}

Message BackupSetDamaged()
{
    return make(3189, 16, u"Damage to the backup set was detected.");
}

Message BackupSetValid(int32_t fileNumber)
{
    return make(3262, 10, u"The backup set on file " + ToU16(fileNumber) + u" is valid.");
}

Message MediaFamilyIncorrect(const std::u16string& device)
{
    return make(3241, 16,
                u"The media family on device " + q(device) +
                    u" is incorrectly formed. SQL Server cannot process this media family.");
}

Message CannotFindFileId(int32_t fileNumber, const std::u16string& device)
{
    return make(4038, 16,
                u"Cannot find file ID " + ToU16(fileNumber) + u" on device " + q(device) + u".");
}

Message NotValidLogin(const std::u16string& login)
{
    return make(15007, 16, q(login) + u" is not a valid login or you do not have permission.");
}

Message PrincipalExists(const std::u16string& login)
{
    return make(15025, 16, u"The server principal " + q(login) + u" already exists.");
}

Message NotFixedServerRole(const std::u16string& role)
{
    return make(15402, 11, q(role) + u" is not a fixed server role.");
}

Message NotWindowsName(const std::u16string& login)
{
    return make(
        15407, 11,
        q(login) + u" is not a valid Windows NT name. Give the complete name: <domain\\username>.");
}

Message LoginFailed(const std::u16string& user)
{
    return make(18456, 14, u"Login failed for user " + q(user) + u".");
}

Message ProcedureExpectsParameter(const std::u16string& procedure, const std::u16string& parameter)
{
    return make(201, 16,
                u"Procedure or function " + q(procedure) + u" expects parameter " + q(parameter) +
                    u", which was not supplied.",
                4);
}

Message TooManyArguments(const std::u16string& procedure)
{
    return make(8144, 16,
                u"Procedure or function " + procedure + u" has too many arguments specified.", 2);
}

Message NotAParameter(const std::u16string& parameter, const std::u16string& procedure)
{
    return make(8145, 16, parameter + u" is not a parameter for procedure " + procedure + u".", 2);
}

} // namespace standin::server::messages
