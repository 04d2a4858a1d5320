// The server level's messages: typed arguments formatted as SQL Server writes them, the numbers
// and texts taken from the engine's one catalogue.
#include "ServerMessages.h"

#include "../Errors.h"
#include "ServerText.h"

#include <algorithm>
#include <cmath>

namespace standin::server::messages {

namespace {
// SQL Server writes elapsed times and rates with three decimals.
std::u16string threeDecimals(double value)
{
    return FixedPoint(static_cast<int64_t>(std::llround(value * 1000.0)), 3);
}
} // namespace

// These two are the engine's own, so a client sees one text for each whatever part refused.
Message SyntaxError(const std::u16string& near)
{
    return makeMessage(err::kSyntax, {near});
}

Message NotSupported(const std::u16string& what)
{
    return makeMessage(err::kNotSupported, {what});
}

Message NotInTransaction(const std::u16string& statement)
{
    return makeMessage(err::kNotInTransaction, {statement});
}

Message NotInUserTransaction(const std::u16string& statement)
{
    return makeMessage(err::kNotInUserTransaction, {statement});
}

Message ProcedureNotInTransaction(const std::u16string& procedure)
{
    return makeMessage(err::kProcedureNotInTransaction, {procedure});
}

Message PermissionDenied(const std::u16string& statement)
{
    return makeMessage(err::kPermissionDenied, {statement});
}

Message DatabaseDoesNotExist(const std::u16string& name)
{
    return makeMessage(err::kDatabaseMissing, {name});
}

Message DatabaseExists(const std::u16string& name)
{
    return makeMessage(err::kDatabaseExists, {name});
}

Message CreateDatabaseFailed()
{
    return makeMessage(err::kCreateDatabaseFailed);
}

Message LogicalNameInUse(const std::u16string& logicalName)
{
    return makeMessage(err::kLogicalNameInUse, {logicalName});
}

Message FileInUseByDatabase(const std::u16string& file, const std::u16string& database)
{
    return makeMessage(err::kFileInUseByDatabase, {file, database});
}

Message DirectoryLookupFailed(const std::u16string& file, const char16_t* osError)
{
    return makeMessage(err::kDirectoryLookupFailed, {file, osError});
}

Message FileActivationError(const std::u16string& file)
{
    return makeMessage(err::kFileActivationError, {file});
}

Message FileExists(const std::u16string& file)
{
    return makeMessage(err::kFileExists, {file});
}

Message DropUnknownDatabase(const std::u16string& name)
{
    return makeMessage(err::kDropMissing, {u"database", name});
}

Message DatabaseInUse(const std::u16string& name)
{
    return makeMessage(err::kDatabaseInUse, {name});
}

Message SystemDatabase(const std::u16string& verb, const std::u16string& name)
{
    return makeMessage(err::kSystemDatabase, {verb, name});
}

Message TerminatingAbnormally(const std::u16string& statement)
{
    return makeMessage(err::kTerminatingAbnormally, {statement});
}

Message ProcessedPages(int64_t pages, const std::u16string& database,
                       const std::u16string& logicalFile, int32_t fileNumber)
{
    return makeMessage(err::kProcessedPages,
                       {ToU16(pages), database, logicalFile, ToU16(fileNumber)});
}

Message SuccessfullyProcessed(const std::u16string& statement, int64_t pages, double seconds)
{
    // A copy faster than a millisecond still reports a rate, as the server never divides by zero.
    const double shownSeconds = std::max(seconds, 0.001);
    const double rate = static_cast<double>(pages) * 8192.0 / 1048576.0 / shownSeconds;
    return makeMessage(err::kSuccessfullyProcessed,
                       {statement, ToU16(pages), threeDecimals(shownSeconds), threeDecimals(rate)});
}

Message BackupInTransaction()
{
    return makeMessage(err::kBackupInTransaction);
}

Message OptionsNotSupported(const std::u16string& options)
{
    return makeMessage(err::kOptionsNotSupported, {options});
}

Message ExclusiveAccess()
{
    return makeMessage(err::kExclusiveAccess);
}

Message InUseBySession(const std::u16string& statement, const std::u16string& name)
{
    return makeMessage(err::kInUseBySession, {statement, name});
}

Message MasterSingleUser()
{
    return makeMessage(err::kMasterSingleUser);
}

Message PlanningProblems()
{
    return makeMessage(err::kPlanningProblems);
}

Message CannotRestoreOverExisting(const std::u16string& logicalFile, const std::u16string& file)
{
    return makeMessage(err::kCannotRestoreOverExisting, {logicalFile, file});
}

Message NotABackupSet(const std::u16string& device)
{
    return makeMessage(err::kNotABackupSet, {device});
}

Message TempdbBackup()
{
    return makeMessage(err::kTempdbBackup);
}

Message OtherDatabaseBackup(const std::u16string& name)
{
    return makeMessage(err::kOtherDatabaseBackup, {name});
}

Message TailNotBackedUp(const std::u16string& name)
{
    return makeMessage(err::kTailNotBackedUp, {name});
}

Message CannotRestoreTo(const std::u16string& logicalFile, const std::u16string& file)
{
    return makeMessage(err::kCannotRestoreTo, {logicalFile, file});
}

Message FileClaimedTwice(const std::u16string& file, const std::u16string& first, int32_t firstId,
                         const std::u16string& second, int32_t secondId)
{
    return makeMessage(err::kFileClaimedTwice,
                       {file, first, ToU16(firstId), second, ToU16(secondId)});
}

Message CannotOpenBackupDevice(const std::u16string& device, const char16_t* osError)
{
    return makeMessage(err::kCannotOpenBackupDevice, {device, osError});
}

Message LogicalFileNotInDatabase(const std::u16string& logicalFile, const std::u16string& database)
{
    return makeMessage(err::kLogicalFileNotInDatabase, {logicalFile, database});
}

Message WriteFailed(const std::u16string& device, const std::u16string& reason)
{
    return makeMessage(err::kWriteFailed, {device, reason});
}

Message BackupSetDamaged()
{
    return makeMessage(err::kBackupSetDamaged);
}

Message BackupSetValid(int32_t fileNumber)
{
    return makeMessage(err::kBackupSetValid, {ToU16(fileNumber)});
}

Message MediaFamilyIncorrect(const std::u16string& device)
{
    return makeMessage(err::kMediaFamilyIncorrect, {device});
}

Message OsErrorOnFile(const char16_t* osError, const char16_t* attempt, const std::u16string& file)
{
    return makeMessage(err::kOsErrorOnFile, {osError, attempt, file});
}

Message CannotFindFileId(int32_t fileNumber, const std::u16string& device)
{
    return makeMessage(err::kCannotFindFileId, {ToU16(fileNumber), device});
}

Message NotValidLogin(const std::u16string& login)
{
    return makeMessage(err::kNotValidLogin, {login});
}

Message PrincipalExists(const std::u16string& login)
{
    return makeMessage(err::kPrincipalExists, {login});
}

Message NotFixedServerRole(const std::u16string& role)
{
    return makeMessage(err::kNotFixedServerRole, {role});
}

Message NotWindowsName(const std::u16string& login)
{
    return makeMessage(err::kNotWindowsName, {login});
}

Message LoginFailed(const std::u16string& user)
{
    return makeMessage(err::kLoginFailed, {user});
}

Message ProcedureExpectsParameter(const std::u16string& procedure, const std::u16string& parameter)
{
    return makeMessage(err::kProcedureExpects, {procedure, parameter});
}

Message TooManyArguments(const std::u16string& procedure)
{
    return makeMessage(err::kTooManyArguments, {procedure});
}

Message NotAParameter(const std::u16string& parameter, const std::u16string& procedure)
{
    return makeMessage(err::kProcedureParameter, {parameter, procedure});
}

} // namespace standin::server::messages
