// The one catalogue of the server's errors and messages: number, severity and the text of
// sys.messages, with %1, %2 ... for the arguments.
#pragma once

#include "Engine.h"

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace standin {

// How far an error reaches: the statement only, or the rest of the batch too.
enum class ErrorScope { Statement, Batch };

namespace err {
constexpr int kSyntax = 102;
constexpr int kUnclosedQuote = 105;
constexpr int kMissingEndComment = 113;
constexpr int kSyntaxKeyword = 156;
constexpr int kMissingVariable = 137;
constexpr int kNotBuiltIn = 195;
constexpr int kInvalidColumn = 207;
constexpr int kInvalidObject = 208;
constexpr int kAmbiguousColumn = 209;
constexpr int kColumnCountMismatch = 213;
constexpr int kMoreColumnsThanValues = 109;
constexpr int kFewerColumnsThanValues = 110;
constexpr int kIdentifierTooLong = 103;
constexpr int kArithmeticOverflow = 220;
constexpr int kDateConversion = 241;
constexpr int kDateOutOfRange = 242;
constexpr int kConversionFailed = 245;
constexpr int kImplicitConversion = 257;
constexpr int kOperandClash = 206;
constexpr int kColumnTwice = 264;
constexpr int kTextCompare = 306;
constexpr int kIncompatibleOperator = 402;
constexpr int kNullNotAllowed = 515;
constexpr int kIdentityInsertOff = 544;
constexpr int kIdentityValueRequired = 545;
constexpr int kConstraintConflict = 547;
constexpr int kDatabaseMissing = 911;
constexpr int kColumnNotAllowed = 1038;
constexpr int kForeignKeyBadTable = 1767;
constexpr int kForeignKeyNoKey = 1776;
constexpr int kConstraintFailed = 1750;
constexpr int kPrimaryKeyExists = 1779;
constexpr int kIndexExists = 1913;
constexpr int kColumnNamesUnique = 2705;
constexpr int kObjectExists = 2714;
constexpr int kDuplicateKey = 2627;
constexpr int kDuplicateIndexKey = 2601;
constexpr int kUniqueIndexDuplicate = 1505;
constexpr int kProcedureMissing = 2812;
constexpr int kDropMissing = 3701; // %1 what (table, database), %2 its name
constexpr int kDropIndexMissing = 3703;
constexpr int kReferencedByForeignKey = 3726;
constexpr int kDropConstraintFailed = 3727;
constexpr int kNotAConstraint = 3728;
constexpr int kCommitWithoutBegin = 3902;
constexpr int kRollbackWithoutBegin = 3903;
constexpr int kStatementTerminated = 3621;
constexpr int kLoginDatabase = 4060;
constexpr int kMultiPartNotBound = 4104;
constexpr int kAddNotNullColumn = 4901;
constexpr int kObjectNotFound = 4902;
constexpr int kAlterColumnFailed = 4922;
constexpr int kDependentOnColumn = 5074;
constexpr int kDatabaseChanged = 5701;
constexpr int kLanguageChanged = 5703;
constexpr int kIdentityColumnList = 8101;
constexpr int kUpdateIdentity = 8102;
constexpr int kNotIdentityTable = 8106;
constexpr int kIdentityInsertOther = 8107;
constexpr int kConvertError = 8114;
constexpr int kOverflowConverting = 8115;
constexpr int kDivideByZero = 8134;
constexpr int kTruncated = 8152;
constexpr int kArgumentCount = 174;
constexpr int kArgumentType = 8116;
constexpr int kNoIndexes = 15472;
constexpr int kObjectMissingInDatabase = 15009;
constexpr int kLoginFailed = 18456;
constexpr int kTypeSizeTooBig = 131;
constexpr int kStorageFailure = 50001;
constexpr int kWaitForSyntax = 148;
constexpr int kFkeysNeedsTable = 15252;
constexpr int kIndexKeyType = 1919;
constexpr int kInsertSelectCount = 120;
constexpr int kCascadeDepth = 217;
constexpr int kNestedAggregate = 130;
constexpr int kNoTable = 263;
constexpr int kOrderByPosition = 108;
constexpr int kTopNull = 1060;
constexpr int kTopPercent = 1061;
constexpr int kTopNegative = 1062;
constexpr int kAssignmentMixed = 141;
constexpr int kInvalidEscape = 506;
constexpr int kNonBoolean = 4145;
constexpr int kNegativeLength = 537;
constexpr int kAggregateInWhere = 147;
constexpr int kNameNotPermitted = 128;
constexpr int kNotInGroupBy = 8120;
constexpr int kMultipleIdentity = 2744;
constexpr int kNullableIdentity = 8147;
constexpr int kNullablePrimaryKey = 8111;
constexpr int kMultiplePrimaryKeys = 8110;
constexpr int kForeignKeyColumnCount = 8139;
constexpr int kForeignKeyColumnMissing = 1769;
constexpr int kForeignKeyTypeMismatch = 1778;
constexpr int kAlterColumnMissing = 4924;
constexpr int kColumnMissingInTable = 1911;
constexpr int kTableMissingForIndex = 1088;
constexpr int kSecondClustered = 1902;
constexpr int kDropIndexOfConstraint = 3723;
constexpr int kConstraintReferenced = 3725;
constexpr int kLockTimeout = 1222;
constexpr int kTransactionCount = 266;
constexpr int kProcedureParameter = 8145;
constexpr int kProcedureExpects = 201;

constexpr int kExplicitConversion = 529;
constexpr int kConversionOverflow = 248;
constexpr int kOperandInvalid = 8117;
constexpr int kPrecisionRange = 2750;
constexpr int kScaleRange = 2751;
constexpr int kIdentityType = 2749;
constexpr int kNotSupported = 50000;

// The server level: databases, backups, logins.
constexpr int kNotInTransaction = 226;
constexpr int kNotInUserTransaction = 574;
constexpr int kProcedureNotInTransaction = 15002;
constexpr int kPermissionDenied = 262;
constexpr int kDatabaseExists = 1801;
constexpr int kCreateDatabaseFailed = 1802;
constexpr int kLogicalNameInUse = 1828;
constexpr int kFileInUseByDatabase = 1834;
constexpr int kDirectoryLookupFailed = 5133;
constexpr int kFileActivationError = 5105;
constexpr int kFileExists = 5170;
constexpr int kDatabaseInUse = 3702;
constexpr int kSystemDatabase = 3708;
constexpr int kTerminatingAbnormally = 3013;
constexpr int kProcessedPages = 4035;
constexpr int kSuccessfullyProcessed = 3014;
constexpr int kBackupInTransaction = 3021;
constexpr int kOptionsNotSupported = 3032;
constexpr int kExclusiveAccess = 3101;
constexpr int kInUseBySession = 3102;
constexpr int kMasterSingleUser = 3108;
constexpr int kPlanningProblems = 3119;
constexpr int kCannotRestoreOverExisting = 3142;
constexpr int kNotABackupSet = 3143;
constexpr int kTempdbBackup = 3147;
constexpr int kOtherDatabaseBackup = 3154;
constexpr int kCannotRestoreTo = 3156;
constexpr int kTailNotBackedUp = 3159;
constexpr int kFileClaimedTwice = 3176;
constexpr int kBackupSetDamaged = 3189;
constexpr int kCannotOpenBackupDevice = 3201;
constexpr int kWriteFailed = 3202;
constexpr int kLogicalFileNotInDatabase = 3234;
constexpr int kMediaFamilyIncorrect = 3241;
constexpr int kOsErrorOnFile = 3634;
constexpr int kBackupSetValid = 3262;
constexpr int kCannotFindFileId = 4038;
constexpr int kNotValidLogin = 15007;
constexpr int kHelpDbUnknownDatabase = 15010;
constexpr int kPrincipalExists = 15025;
constexpr int kNotFixedServerRole = 15402;
constexpr int kNotWindowsName = 15407;
constexpr int kTooManyArguments = 8144;

// The wire level: what the TDS front end answers itself.
// A failure of the stand-in itself goes out under the number SQL Server gives an unexpected error
// in execution, never 0: clients take number 0 for a message of their own driver.
constexpr int kInternalError = 8630;
constexpr int kUntrustedDomain = 18452;
constexpr int kEncryptionRequired = 17835;
constexpr int kDistributedTransaction = 8509;
constexpr int kUnknownPreparedHandle = 8179;
} // namespace err

// Builds a message from the catalogue; unknown numbers are a programming error.
Message makeMessage(int number, std::initializer_list<std::u16string> args = {});
ErrorScope scopeOf(int number);

// Thrown inside the engine to end a statement; the session turns it into output.
class SqlError : public std::exception {
public:
    explicit SqlError(Message message) : message_(std::move(message)) {}
    SqlError(int number, std::initializer_list<std::u16string> args = {})
        : message_(makeMessage(number, args))
    {
    }
    // Extra messages sent after the error (for example "The statement has been terminated.").
    SqlError& then(Message message)
    {
        after_.push_back(std::move(message));
        return *this;
    }
    const char* what() const noexcept override { return "SQL error"; }
    const Message& message() const { return message_; }
    Message& message() { return message_; }
    const std::vector<Message>& after() const { return after_; }

private:
    Message message_;
    std::vector<Message> after_;
};

// A failure of the stand-in itself, with what went wrong.
Message internalFailure(const std::u16string& what);

// "Incorrect syntax near '...'." (102) or, for a keyword, 156.
SqlError syntaxError(const std::u16string& near, bool keyword = false);
// A statement, clause or function outside the server's subset.
SqlError notSupported(const std::u16string& what);
// 2627/547/515/8152 and kin end with 3621 "The statement has been terminated.".
SqlError terminated(int number, std::initializer_list<std::u16string> args);

} // namespace standin
