// The server's error and message texts by number, and their formatting with arguments.
#include "Errors.h"

#include "Text.h"

#include <map>

namespace standin {

namespace {

struct Entry {
    uint8_t severity;
    const char* text;
    ErrorScope scope = ErrorScope::Statement;
};

// The states SQL Server gives where they are not 1.
uint8_t stateOf(int number)
{
    switch (number) {
    case err::kConstraintConflict:
        return 0;
    case err::kNullNotAllowed:
        return 2;
    case err::kOverflowConverting:
        return 2;
    case err::kDateOutOfRange:
        return 3;
    case err::kProcedureExpects:
    case err::kDatabaseInUse:
        return 4;
    case err::kTooManyArguments:
    case err::kProcedureParameter:
        return 2;
    default:
        return 1;
    }
}

const std::map<int, Entry>& catalogue()
{
    using S = ErrorScope;
    static const std::map<int, Entry> entries = {
        {err::kSyntax, {15, "Incorrect syntax near '%1'.", S::Batch}},
        {err::kUnclosedQuote,
         {15, "Unclosed quotation mark after the character string '%1'.", S::Batch}},
        {err::kMissingEndComment, {15, "Missing end comment mark '*/'.", S::Batch}},
        {err::kSyntaxKeyword, {15, "Incorrect syntax near the keyword '%1'.", S::Batch}},
        {err::kMissingVariable, {15, "Must declare the scalar variable \"%1\".", S::Batch}},
        {err::kNotBuiltIn, {15, "'%1' is not a recognized built-in function name.", S::Batch}},
        {err::kInvalidColumn, {16, "Invalid column name '%1'.", S::Batch}},
        {err::kInvalidObject, {16, "Invalid object name '%1'.", S::Batch}},
        {err::kAmbiguousColumn, {16, "Ambiguous column name '%1'.", S::Batch}},
        {err::kColumnCountMismatch,
         {16, "Column name or number of supplied values does not match table definition."}},
        {err::kMoreColumnsThanValues,
         {15,
          "There are more columns in the INSERT statement than values specified in the VALUES "
          "clause. The number of values in the VALUES clause must match the number of columns "
          "specified in the INSERT statement.",
          S::Batch}},
        {err::kFewerColumnsThanValues,
         {15,
          "There are fewer columns in the INSERT statement than values specified in the VALUES "
          "clause. The number of values in the VALUES clause must match the number of columns "
          "specified in the INSERT statement.",
          S::Batch}},
        {err::kIdentifierTooLong,
         {15, "The identifier that starts with '%1' is too long. Maximum length is 128.",
          S::Batch}},
        {err::kArithmeticOverflow, {16, "Arithmetic overflow error for data type %1, value = %2."}},
        {err::kDateConversion,
         {16, "Conversion failed when converting date and/or time from character string.",
          S::Batch}},
        {err::kDateOutOfRange,
         {16,
          "The conversion of a %1 data type to a datetime data type resulted in an out-of-range "
          "value."}},
        {err::kConversionFailed,
         {16, "Conversion failed when converting the %1 value '%2' to data type %3.", S::Batch}},
        {err::kImplicitConversion,
         {16,
          "Implicit conversion from data type %1 to %2 is not allowed. Use the CONVERT function "
          "to run this query.",
          S::Batch}},
        {err::kOperandClash, {16, "Operand type clash: %1 is incompatible with %2", S::Batch}},
        {err::kColumnTwice,
         {16,
          "The column name '%1' is specified more than once in the SET clause or column list of "
          "an INSERT. A column cannot be assigned more than one value in the same clause. Modify "
          "the clause to make sure that a column is updated only once. If this statement "
          "updates or inserts columns into a view, column aliasing can conceal the duplication "
          "in your code.",
          S::Batch}},
        {err::kTextCompare,
         {16,
          "The text, ntext, and image data types cannot be compared or sorted, except when "
          "using IS NULL or LIKE operator.",
          S::Batch}},
        {err::kIncompatibleOperator,
         {16, "The data types %1 and %2 are incompatible in the %3 operator.", S::Batch}},
        {err::kNullNotAllowed,
         {16, "Cannot insert the value NULL into column '%1', table '%2'; column does not allow "
              "nulls. %3 fails."}},
        {err::kIdentityInsertOff,
         {16, "Cannot insert explicit value for identity column in table '%1' when "
              "IDENTITY_INSERT is set to OFF."}},
        {err::kIdentityValueRequired,
         {16, "Explicit value must be specified for identity column in table '%1' either when "
              "IDENTITY_INSERT is set to ON or when a replication user is inserting into a NOT FOR "
              "REPLICATION identity column."}},
        {err::kConstraintConflict,
         {16, "The %1 statement conflicted with the %2 constraint \"%3\". The conflict occurred in "
              "database \"%4\", table \"%5\", column '%6'."}},
        {err::kDatabaseMissing,
         {16, "Database '%1' does not exist. Make sure that the name is entered correctly."}},
        {err::kColumnNotAllowed,
         {15,
          "An object or column name is missing or empty. For SELECT INTO statements, verify "
          "each column has a name. For other statements, look for empty alias names. Aliases "
          "defined as \"\" or [] are not allowed. Change the alias to a valid name.",
          S::Batch}},
        {err::kForeignKeyBadTable, {16, "Foreign key '%1' references invalid table '%2'."}},
        {err::kForeignKeyNoKey,
         {16, "There are no primary or candidate keys in the referenced table '%1' that match the "
              "referencing column list in the foreign key '%2'."}},
        {err::kConstraintFailed,
         {16, "Could not create constraint or index. See previous errors."}},
        {err::kPrimaryKeyExists, {16, "Table '%1' already has a primary key defined on it."}},
        {err::kIndexExists,
         {16, "The operation failed because an index or statistics with name '%1' already exists "
              "on table '%2'."}},
        {err::kColumnNamesUnique,
         {16, "Column names in each table must be unique. Column name '%1' in table '%2' is "
              "specified more than once."}},
        {err::kObjectExists, {16, "There is already an object named '%1' in the database."}},
        {err::kDuplicateKey,
         {14, "Violation of %1 constraint '%2'. Cannot insert duplicate key in object '%3'. The "
              "duplicate key value is (%4)."}},
        {err::kDuplicateIndexKey,
         {14, "Cannot insert duplicate key row in object '%1' with unique index '%2'. The "
              "duplicate key value is (%3)."}},
        {err::kUniqueIndexDuplicate,
         {16, "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for "
              "the object name '%1' and the index name '%2'. The duplicate key value is (%3)."}},
        {err::kProcedureMissing, {16, "Could not find stored procedure '%1'."}},
        {err::kDropMissing,
         {11, "Cannot drop the %1 '%2', because it does not exist or you do not have "
              "permission."}},
        {err::kDropIndexMissing,
         {11, "Cannot drop the index '%1', because it does not exist or you do not have "
              "permission."}},
        {err::kReferencedByForeignKey,
         {16, "Could not drop object '%1' because it is referenced by a FOREIGN KEY constraint."}},
        {err::kDropConstraintFailed, {16, "Could not drop constraint. See previous errors."}},
        {err::kNotAConstraint, {16, "'%1' is not a constraint."}},
        {err::kCommitWithoutBegin,
         {16, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."}},
        {err::kRollbackWithoutBegin,
         {16, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."}},
        {err::kStatementTerminated, {0, "The statement has been terminated."}},
        {err::kLoginDatabase,
         {11, "Cannot open database \"%1\" requested by the login. The login failed."}},
        {err::kMultiPartNotBound,
         {16, "The multi-part identifier \"%1\" could not be bound.", S::Batch}},
        {err::kAddNotNullColumn,
         {16, "ALTER TABLE only allows columns to be added that can contain nulls, or have a "
              "DEFAULT definition specified, or the column being added is an identity or "
              "timestamp column, or alternatively if none of the previous conditions are "
              "satisfied the table must be empty to allow addition of this column. Column '%1' "
              "cannot be added to non-empty table '%2' because it does not satisfy these "
              "conditions."}},
        {err::kObjectNotFound,
         {16, "Cannot find the object \"%1\" because it does not exist or you do not have "
              "permissions."}},
        {err::kAlterColumnFailed,
         {16, "ALTER TABLE %1 failed because one or more objects access this column."}},
        {err::kDependentOnColumn, {16, "The object '%1' is dependent on column '%2'."}},
        {err::kDatabaseChanged, {0, "Changed database context to '%1'."}},
        {err::kLanguageChanged, {0, "Changed language setting to %1."}},
        {err::kIdentityColumnList,
         {16, "An explicit value for the identity column in table '%1' can only be specified when "
              "a column list is used and IDENTITY_INSERT is ON."}},
        {err::kUpdateIdentity, {16, "Cannot update identity column '%1'."}},
        {err::kNotIdentityTable,
         {16, "Table '%1' does not have the identity property. Cannot perform SET operation."}},
        {err::kIdentityInsertOther,
         {16, "IDENTITY_INSERT is already ON for table '%1'. Cannot perform SET operation for "
              "table '%2'."}},
        {err::kConvertError, {16, "Error converting data type %1 to %2."}},
        {err::kOverflowConverting,
         {16, "Arithmetic overflow error converting %1 to data type %2."}},
        {err::kDivideByZero, {16, "Divide by zero error encountered."}},
        {err::kTruncated, {16, "String or binary data would be truncated."}},
        {err::kArgumentCount, {15, "The %1 function requires %2 argument(s).", S::Batch}},
        {err::kArgumentType,
         {16, "Argument data type %1 is invalid for argument %2 of %3 function.", S::Batch}},
        {err::kNoIndexes,
         {10, "The object '%1' does not have any indexes, or you do not have permissions."}},
        {err::kObjectMissingInDatabase,
         {16, "The object '%1' does not exist in database '%2' or is invalid for this operation."}},
        {err::kLoginFailed, {14, "Login failed for user '%1'."}},
        {err::kTypeSizeTooBig,
         {15,
          "The size (%2) given to the type '%1' exceeds the maximum allowed for any data "
          "type (%3).",
          S::Batch}},
        {err::kPrecisionRange,
         {16,
          "Column or parameter #1: Specified column precision %1 is greater than the maximum "
          "precision of %2.",
          S::Batch}},
        {err::kScaleRange,
         {16,
          "Column or parameter #1: Specified column scale %1 is greater than the specified "
          "precision.",
          S::Batch}},
        {err::kIdentityType,
         {16, "Identity column '%1' must be of data type int, bigint, smallint, tinyint, or "
              "decimal or numeric with a scale of 0, unencrypted, and constrained to be "
              "nonnullable."}},
        {err::kExplicitConversion,
         {16, "Explicit conversion from data type %1 to %2 is not allowed.", S::Batch}},
        {err::kConversionOverflow,
         {16, "The conversion of the %1 value '%2' overflowed an %3 column. Use a larger integer "
              "column."}},
        {err::kOperandInvalid, {16, "Operand data type %1 is invalid for %2 operator.", S::Batch}},
        {err::kStorageFailure, {16, "The stand-in's storage failed: %1"}},
        {err::kAggregateInWhere,
         {15,
          "An aggregate may not appear in the WHERE clause unless it is in a subquery "
          "contained in a HAVING clause or a select list, and the column being aggregated is "
          "an outer reference.",
          S::Batch}},
        {err::kNameNotPermitted,
         {15,
          "The name \"%1\" is not permitted in this context. Valid expressions are "
          "constants, constant expressions, and (in some contexts) variables. Column names "
          "are not permitted.",
          S::Batch}},
        {err::kNotInGroupBy,
         {16,
          "Column '%1' is invalid in the select list because it is not contained in either "
          "an aggregate function or the GROUP BY clause.",
          S::Batch}},
        {err::kMultipleIdentity,
         {16, "Multiple identity columns specified for table '%1'. Only one identity column per "
              "table is allowed."}},
        {err::kNullableIdentity,
         {16, "Could not create IDENTITY attribute on nullable column '%1', table '%2'."}},
        {err::kNullablePrimaryKey,
         {16, "Cannot define PRIMARY KEY constraint on nullable column in table '%1'."}},
        {err::kMultiplePrimaryKeys,
         {16, "Cannot add multiple PRIMARY KEY constraints to table '%1'."}},
        {err::kForeignKeyColumnCount,
         {16, "Number of referencing columns in foreign key differs from number of referenced "
              "columns, table '%1'."}},
        {err::kForeignKeyColumnMissing,
         {16, "Foreign key '%1' references invalid column '%2' in referencing table '%3'."}},
        {err::kForeignKeyTypeMismatch,
         {16, "Column '%1' is not the same data type as referencing column '%2' in foreign key "
              "'%3'."}},
        {err::kAlterColumnMissing,
         {16, "ALTER TABLE ALTER COLUMN failed because column '%1' does not exist in table '%2'."}},
        {err::kColumnMissingInTable,
         {16, "Column name '%1' does not exist in the target table or view."}},
        {err::kTableMissingForIndex,
         {16, "Cannot find the object \"%1\" because it does not exist or you do not have "
              "permissions."}},
        {err::kSecondClustered,
         {16, "Cannot create more than one clustered index on %1 '%2'. Drop the existing "
              "clustered index '%3' before creating another."}},
        {err::kDropIndexOfConstraint,
         {16, "An explicit DROP INDEX is not allowed on index '%1'. It is being used for %2 "
              "constraint enforcement."}},
        {err::kConstraintReferenced,
         {16, "The constraint '%1' is being referenced by table '%2', foreign key constraint "
              "'%3'."}},
        {err::kLockTimeout, {16, "Lock request time out period exceeded."}},
        {err::kTransactionCount,
         {16, "Transaction count after EXECUTE indicates a mismatching number of BEGIN and "
              "COMMIT statements. Previous count = %1, current count = %2."}},
        {err::kProcedureParameter, {16, "%1 is not a parameter for procedure %2."}},
        {err::kProcedureExpects,
         {16, "Procedure or function '%1' expects parameter '%2', which was not supplied."}},
        {err::kInvalidEscape,
         {16, "The invalid escape character \"%1\" was specified in a LIKE predicate.", S::Batch}},
        {err::kNonBoolean,
         {15,
          "An expression of non-boolean type specified in a context where a condition is "
          "expected.",
          S::Batch}},
        {err::kNegativeLength, {16, "Invalid length parameter passed to the %1 function."}},
        {err::kNestedAggregate,
         {16,
          "Cannot perform an aggregate function on an expression containing an aggregate or "
          "a subquery.",
          S::Batch}},
        {err::kNoTable, {16, "Must specify table to select from.", S::Batch}},
        {err::kOrderByPosition,
         {15,
          "The ORDER BY position number %1 is out of range of the number of items in the "
          "select list.",
          S::Batch}},
        {err::kTopNull, {16, "The number of rows in the TOP clause must be an integer."}},
        {err::kTopPercent, {16, "Percent values must be between 0 and 100."}},
        {err::kTopNegative,
         {16, "The number of rows provided for a TOP or FETCH clauses row count parameter must "
              "be an integer."}},
        {err::kAssignmentMixed,
         {15,
          "A SELECT statement that assigns a value to a variable must not be combined with "
          "data-retrieval operations.",
          S::Batch}},
        {err::kInsertSelectCount,
         {15,
          "The select list for the INSERT statement contains fewer items than the insert "
          "list. The number of SELECT values must match the number of INSERT columns.",
          S::Batch}},
        {err::kCascadeDepth,
         {16, "Maximum stored procedure, function, trigger, or view nesting level exceeded "
              "(limit 32)."}},
        {err::kIndexKeyType,
         {16, "Column '%1' in table '%2' is of a type that is invalid for use as a key column in "
              "an index."}},
        {err::kFkeysNeedsTable, {16, "The primary key or foreign key table name must be given."}},
        {err::kWaitForSyntax,
         {15, "Incorrect time syntax in time string '' used with WAITFOR.", S::Batch}},
        {err::kNotSupported, {16, "%1 is not supported by this server.", S::Batch}},
        // The server level.
        {err::kNotInTransaction,
         {16, "%1 statement not allowed within multi-statement transaction."}},
        {err::kNotInUserTransaction,
         {16, "%1 statement cannot be used inside a user transaction."}},
        {err::kProcedureNotInTransaction,
         {16, "The procedure '%1' cannot be executed within a transaction."}},
        {err::kPermissionDenied, {14, "%1 permission denied in database 'master'."}},
        {err::kDatabaseExists,
         {16, "Database '%1' already exists. Choose a different database name."}},
        {err::kCreateDatabaseFailed,
         {16, "CREATE DATABASE failed. Some file names listed could not be created. Check "
              "related errors."}},
        {err::kLogicalNameInUse,
         {16, "The logical file name \"%1\" is already in use. Choose a different name."}},
        {err::kFileInUseByDatabase,
         {16, "The file '%1' cannot be overwritten. It is being used by database '%2'."}},
        {err::kDirectoryLookupFailed,
         {16, "Directory lookup for the file \"%1\" failed with the operating system error %2."}},
        {err::kFileActivationError,
         {16, "A file activation error occurred. The physical file name '%1' may be incorrect. "
              "Diagnose and correct additional errors, and retry the operation."}},
        {err::kFileExists,
         {16, "Cannot create file '%1' because it already exists. Change the file path or the "
              "file name, and retry the operation."}},
        {err::kDatabaseInUse, {16, "Cannot drop database \"%1\" because it is currently in use."}},
        {err::kSystemDatabase,
         {16, "Cannot %1 the database '%2' because it is a system database."}},
        {err::kTerminatingAbnormally, {16, "%1 is terminating abnormally."}},
        {err::kProcessedPages, {10, "Processed %1 pages for database '%2', file '%3' on file %4."}},
        {err::kSuccessfullyProcessed,
         {10, "%1 successfully processed %2 pages in %3 seconds (%4 MB/sec)."}},
        {err::kBackupInTransaction,
         {16, "Cannot perform a backup or restore operation within a transaction."}},
        {err::kOptionsNotSupported,
         {16, "One or more of the options (%1) are not supported for this statement. Review the "
              "documentation for supported options."}},
        {err::kExclusiveAccess,
         {16, "Exclusive access could not be obtained because the database is in use."}},
        {err::kInUseBySession,
         {16, "%1 cannot process database '%2' because it is in use by this session. It is "
              "recommended that the master database be used when performing this operation."}},
        {err::kMasterSingleUser,
         {16, "To restore the master database, the server must be running in single-user mode. "
              "For information on starting in single-user mode, see \"How to: Start an Instance "
              "of SQL Server (sqlservr.exe)\" in Books Online."}},
        {err::kPlanningProblems,
         {16, "Problems were identified while planning for the RESTORE statement. Previous "
              "messages provide details."}},
        {err::kCannotRestoreOverExisting,
         {16, "File \"%1\" cannot be restored over the existing \"%2\". Reissue the RESTORE "
              "statement using WITH REPLACE to overwrite pre-existing files, or WITH MOVE to "
              "identify an alternate location."}},
        {err::kNotABackupSet, {16, "The data set on device '%1' is not a SQL Server backup set."}},
        {err::kTempdbBackup,
         {16, "Backup and restore operations are not allowed on database tempdb."}},
        {err::kOtherDatabaseBackup,
         {16, "The backup set holds a backup of a database other than the existing '%1' "
              "database."}},
        {err::kCannotRestoreTo,
         {16, "File '%1' cannot be restored to '%2'. Use WITH MOVE to identify a valid location "
              "for the file."}},
        {err::kTailNotBackedUp,
         {16, "The tail of the log for the database \"%1\" has not been backed up. Use BACKUP "
              "LOG WITH NORECOVERY to backup the log if it contains work you do not want to "
              "lose. Use the WITH REPLACE or WITH STOPAT clause of the RESTORE statement to just "
              "overwrite the contents of the log."}},
        {err::kFileClaimedTwice,
         {16, "File '%1' is claimed by '%2'(%3) and '%4'(%5). The WITH MOVE clause can be used "
              "to relocate one or more files."}},
        {err::kBackupSetDamaged, {16, "Damage to the backup set was detected."}},
        {err::kCannotOpenBackupDevice,
         {16, "Cannot open backup device '%1'. Operating system error %2."}},
        {err::kWriteFailed, {16, "Write on \"%1\" failed: %2"}},
        {err::kLogicalFileNotInDatabase,
         {16, "Logical file '%1' is not part of database '%2'. Use RESTORE FILELISTONLY to list "
              "the logical file names."}},
        {err::kMediaFamilyIncorrect,
         {16, "The media family on device '%1' is incorrectly formed. SQL Server cannot process "
              "this media family."}},
        {err::kOsErrorOnFile,
         {16, "The operating system returned the error '%1' while attempting '%2' on '%3'."}},
        {err::kBackupSetValid, {10, "The backup set on file %1 is valid."}},
        {err::kCannotFindFileId, {16, "Cannot find file ID %1 on device '%2'."}},
        {err::kNotValidLogin, {16, "'%1' is not a valid login or you do not have permission."}},
        {err::kHelpDbUnknownDatabase,
         {16, "The database '%1' does not exist. Supply a valid database name. To see available "
              "databases, use sys.databases."}},
        {err::kPrincipalExists, {16, "The server principal '%1' already exists."}},
        {err::kNotFixedServerRole, {11, "'%1' is not a fixed server role."}},
        {err::kNotWindowsName,
         {11, "'%1' is not a valid Windows NT name. Give the complete name: <domain\\username>."}},
        {err::kTooManyArguments,
         {16, "Procedure or function %1 has too many arguments specified."}},
        {err::kInternalError, {16, "The stand-in server could not complete the request: %1"}},
        {err::kUntrustedDomain,
         {14, "Login failed. The login is from an untrusted domain and cannot be used with "
              "Integrated authentication."}},
        {err::kEncryptionRequired,
         {20, "Encryption is required to connect to this server but the client library does not "
              "support encryption; the connection has been closed. Please upgrade your client "
              "library."}},
        {err::kDistributedTransaction,
         {16, "Distributed transactions are not supported by this server."}},
        {err::kUnknownPreparedHandle, {16, "Could not find prepared statement with handle %1."}},
    };
    return entries;
}

} // namespace

Message makeMessage(int number, std::initializer_list<std::u16string> args)
{
    const auto& entries = catalogue();
    auto it = entries.find(number);
    if (it == entries.end())
        throw std::logic_error("message number missing from the catalogue");
    Message m;
    m.number = number;
    m.severity = it->second.severity;
    m.state = stateOf(number);
    std::u16string pattern = text::widen(it->second.text);
    std::vector<std::u16string> values(args);
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1] >= u'1' &&
            pattern[i + 1] <= u'9') {
            size_t k = static_cast<size_t>(pattern[i + 1] - u'1');
            if (k < values.size())
                m.text += values[k];
            ++i;
        } else {
            m.text.push_back(pattern[i]);
        }
    }
    return m;
}

ErrorScope scopeOf(int number)
{
    const auto& entries = catalogue();
    auto it = entries.find(number);
    return it == entries.end() ? ErrorScope::Statement : it->second.scope;
}

Message internalFailure(const std::u16string& what)
{
    return makeMessage(err::kInternalError, {what});
}

SqlError syntaxError(const std::u16string& near, bool keyword)
{
    return SqlError(keyword ? err::kSyntaxKeyword : err::kSyntax, {near});
}

SqlError notSupported(const std::u16string& what)
{
    return SqlError(err::kNotSupported, {what});
}

SqlError terminated(int number, std::initializer_list<std::u16string> args)
{
    SqlError e(number, args);
    e.then(makeMessage(err::kStatementTerminated));
    return e;
}

} // namespace standin
