#pragma once
// Messages and report lines of the archive catalogue's server operations, each kept once.

#include "DatabaseTexts.h"
#include "ReportLog.h"

#include <QString>

namespace sqllumo::server::texts {

inline const QString kLogin = QStringLiteral("Login ");

inline const QString kCreateNewVersionQuestion =
    QStringLiteral("You are attempting to create a database") + kCrLf +
    QStringLiteral(" supported only from Velantis version 1.04.0110 or higher!") + kCrLf +
    QStringLiteral(" Proceed anyway?");
inline const QString kInvalidFilename =
    QStringLiteral("Invalid filename!") + kCrLf + QStringLiteral("Please, define at least one.");

inline const QString kCompleteBackup = QStringLiteral("Complete Backup of database ");
inline const QString kIntoDisk = QStringLiteral(" into disk ");
inline const QString kAndVerified = QStringLiteral(" and verified");
inline const QString kNotVerifiedHead = QStringLiteral("The backup of database ");
inline const QString kNotVerifiedTail = QStringLiteral(" could not be verified:");
inline const QString kButNotVerified = QStringLiteral(" but could not be verified: ");
inline const QString kBackupNotListed =
    QStringLiteral("the file lists no backup of this database after the backup");
inline const QString kBackupSetsIn = QStringLiteral("Backup sets in ");
inline const QString kOnSqlServer = QStringLiteral(" on SQL Server ");
inline const QString kBackupSetsLegend =
    QStringLiteral("(Position, Database, Taken, Size and State)");
inline const QString kNoBackupSets = QStringLiteral("The file holds no backup set.");
inline const QString kSetVerified = QStringLiteral("verified");
inline const QString kSetDamaged = QStringLiteral("damaged: ");
inline const QString kNotDatabaseBackup = QStringLiteral(" (not a full database backup)");

inline const QString kRestoringError = QStringLiteral("Restoring error: not valid data");
inline const QString kRestoreOf = QStringLiteral("Restore of database ");
inline const QString kHasBeenDone = QStringLiteral(" has been done");
inline const QString kFromDisk = QStringLiteral(" from disk ");

// Said before a server's own text when one of these steps fails.
inline const QString kCreateStepFailed = QStringLiteral("The database %1 could not be created.");
inline const QString kBackupStepFailed =
    QStringLiteral("The backup of database %1 into %2 failed: check that the database exists and "
                   "that the server can write that file.");
inline const QString kRestoreStepFailed =
    QStringLiteral("The restore of database %1 from %2 failed.");
inline const QString kDropStepFailed =
    QStringLiteral("The database %1 could not be removed: close the programs that use it, then "
                   "try again.");
inline const QString kNameTaken =
    QStringLiteral(" A database of that name is on the server already: choose another name, or "
                   "delete the database first.");
inline const QString kCheckDirectory =
    QStringLiteral(" Check that the directory %1 exists on the server.");
// The restore's chosen set (sqllumo's --set) is not a full database backup of the file.
inline const QString kNoSuchBackupSet =
    QStringLiteral("The file %1 holds no full database backup at position %2.") + kCrLf +
    QStringLiteral("sqllumo archive backups --file lists the sets it holds.");

inline const QString kInfoHead = QStringLiteral("In the SQL Server named ");
inline const QString kDatabasesPresent =
    QStringLiteral("1. these databases are present (Name and Size):");
inline const QString kNoDatabases = QStringLiteral("1. there aren 't databases.");
inline const QString kKiloBytes = QStringLiteral(" KB");
inline const QString kLoginsPresent =
    QStringLiteral("2. these logins are present (Name, Type and Access privilege):");
inline const QString kLoginsLegend =
    QStringLiteral("(Type of account: user, group;  Access privilege: admin, user, null)");
inline const QString kNoLogins = QStringLiteral("2. there aren 't logins.");

inline const QString kTestedSuccessfully = QStringLiteral(" has been tested successfully");
// In place of the above when the test found something missing or wrong.
inline QString TestedWithProblems(int problems)
{
    return QStringLiteral(" has been tested: %1 problems found").arg(problems);
}
inline const QString kCheckRegistry = QStringLiteral("Check the results reading Windows Registry");
inline const QString kTestingError =
    QStringLiteral("An error occurred during testing of the database: ");

inline const QString kAlreadyPresent = QStringLiteral(" is already present.");
inline const QString kOverwriteQuestion = QStringLiteral("Do you want to overwrite it?");
inline const QString kInvalidAccessFileHead = QStringLiteral("Invalid Access file!");
inline const QString kInvalidAccessFile =
    kInvalidAccessFileHead + kCrLf +
    QStringLiteral("Please, choose an existing Access database (.mdb) that can be read.");
inline const QString kNothingDoneOnServer = QStringLiteral("Nothing was done on the server.");
inline const QString kDuplicateCheckError =
    QStringLiteral("An error occurred during check duplicate record - impossible to continue");
inline const QString kCopyDataError =
    QStringLiteral("An error occurred during the copy of data from Access into SQL database: ");
inline const QString kKeysDefineError =
    QStringLiteral("An error occurred during setting of Indexes and Keys of the database ");
inline const QString kImportedSuccessfully =
    QStringLiteral(" has been created and imported successfully");
inline const QString kNotFullyImported =
    QStringLiteral(" has been created successfully but not fully imported ");
inline const QString kRowsDiffer =
    QStringLiteral("These tables do not hold in the database the rows of the source:");
// The import's row counts, where its results are shown.
inline const QString kRowCountsHeading =
    QStringLiteral("Rows of each table (tables that differ first, marked %1):\n").arg(kProblemMark);
inline const QString kTableColumn = QStringLiteral("Table");
inline const QString kSourceColumn = QStringLiteral("Source");
inline const QString kDatabaseColumn = QStringLiteral("Database");
inline const QString kNotInSourceCell = QStringLiteral("absent");
inline const QString kRowsNotCompared = QStringLiteral("The rows could not be counted: ");

} // namespace sqllumo::server::texts
