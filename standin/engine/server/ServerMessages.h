// The messages of the server level, with SQL Server's numbers, severities and texts; each text
// is kept here once.
#pragma once

#include "../Engine.h"

#include <cstdint>
#include <string>

namespace standin::server::messages {

// Operating system errors as SQL Server quotes them inside its own messages.
inline constexpr char16_t kOsFileNotFound[] = u"2(The system cannot find the file specified.)";
inline constexpr char16_t kOsPathNotFound[] = u"3(The system cannot find the path specified.)";
inline constexpr char16_t kOsAccessDenied[] = u"5(Access is denied.)";
inline constexpr char16_t kOsSharingViolation[] =
    u"32(The process cannot access the file because it is being used by another process.)";
inline constexpr char16_t kOsBadName[] =
    u"123(The filename, directory name, or volume label syntax is incorrect.)";
// What RESTORE was doing when it found that it may not create a file there.
inline constexpr char16_t kValidateTargetForCreation[] =
    u"RestoreContainer::ValidateTargetForCreation";

Message SyntaxError(const std::u16string& near);                                         // 102
Message NotSupported(const std::u16string& what);                                        // 50000
Message NotInTransaction(const std::u16string& statement);                               // 226
Message NotInUserTransaction(const std::u16string& statement);                           // 574
Message ProcedureNotInTransaction(const std::u16string& procedure);                      // 15002
Message PermissionDenied(const std::u16string& statement);                               // 262
Message DatabaseDoesNotExist(const std::u16string& name);                                // 911
Message DatabaseExists(const std::u16string& name);                                      // 1801
Message CreateDatabaseFailed();                                                          // 1802
Message LogicalNameInUse(const std::u16string& logicalName);                             // 1828
Message FileInUseByDatabase(const std::u16string& file, const std::u16string& database); // 1834
Message DirectoryLookupFailed(const std::u16string& file, const char16_t* osError);      // 5133
Message FileActivationError(const std::u16string& file);                                 // 5105
Message FileExists(const std::u16string& file);                                          // 5170
Message DropUnknownDatabase(const std::u16string& name);                                 // 3701
Message DatabaseInUse(const std::u16string& name);                                       // 3702
Message SystemDatabase(const std::u16string& verb, const std::u16string& name);          // 3708
Message TerminatingAbnormally(const std::u16string& statement);                          // 3013
Message ProcessedPages(int64_t pages, const std::u16string& database,
                       const std::u16string& logicalFile,
                       int32_t fileNumber); // 4035
Message SuccessfullyProcessed(const std::u16string& statement, int64_t pages,
                              double seconds);                                       // 3014
Message BackupInTransaction();                                                       // 3021
Message OptionsNotSupported(const std::u16string& options);                          // 3032
Message ExclusiveAccess();                                                           // 3101
Message InUseBySession(const std::u16string& statement, const std::u16string& name); // 3102
Message MasterSingleUser();                                                          // 3108
Message PlanningProblems();                                                          // 3119
Message CannotRestoreOverExisting(const std::u16string& logicalFile,
                                  const std::u16string& file);                          // 3142
Message NotABackupSet(const std::u16string& device);                                    // 3143
Message TempdbBackup();                                                                 // 3147
Message OtherDatabaseBackup(const std::u16string& name);                                // 3154
Message TailNotBackedUp(const std::u16string& name);                                    // 3159
Message CannotRestoreTo(const std::u16string& logicalFile, const std::u16string& file); // 3156
Message FileClaimedTwice(const std::u16string& file, const std::u16string& first, int32_t firstId,
                         const std::u16string& second, int32_t secondId);              // 3176
Message CannotOpenBackupDevice(const std::u16string& device, const char16_t* osError); // 3201
Message LogicalFileNotInDatabase(const std::u16string& logicalFile,
                                 const std::u16string& database);                // 3234
Message WriteFailed(const std::u16string& device, const std::u16string& reason); // 3202
Message BackupSetDamaged();                                                      // 3189
Message BackupSetValid(int32_t fileNumber);                                      // 3262
Message MediaFamilyIncorrect(const std::u16string& device);                      // 3241
Message CannotFindFileId(int32_t fileNumber, const std::u16string& device);      // 4038
Message NotValidLogin(const std::u16string& login);                              // 15007
Message PrincipalExists(const std::u16string& login);                            // 15025
Message NotFixedServerRole(const std::u16string& role);                          // 15402
Message NotWindowsName(const std::u16string& login);                             // 15407
Message LoginFailed(const std::u16string& user);                                 // 18456
Message ProcedureExpectsParameter(const std::u16string& procedure,
                                  const std::u16string& parameter);                      // 201
Message TooManyArguments(const std::u16string& procedure);                               // 8144
Message NotAParameter(const std::u16string& parameter, const std::u16string& procedure); // 8145

// 3634: the operating system refused `attempt` on a file.
Message OsErrorOnFile(const char16_t* osError, const char16_t* attempt, const std::u16string& file);

} // namespace standin::server::messages
