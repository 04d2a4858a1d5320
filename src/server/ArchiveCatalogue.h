#pragma once
// The archive catalogue's functions 0 to 7: the whole-database operations on a server, the
// archive creation and the structure test, each one pass from OK to its outcome.

#include "Dispatcher.h"
#include "SqlAccess.h"

namespace sqllumo::server {

OperationOutcome NewLogin(OperationContext& context, sql::Provider& provider);
// newLayout: catalogue index 2, the new-version archive.
OperationOutcome CreateDatabase(OperationContext& context, sql::Provider& provider, bool newLayout);
OperationOutcome BackupDatabase(OperationContext& context, sql::Provider& provider);
OperationOutcome RestoreDatabase(OperationContext& context, sql::Provider& provider);
OperationOutcome GeneralInformation(OperationContext& context, sql::Provider& provider);
OperationOutcome TestDatabase(OperationContext& context, sql::Provider& provider);
OperationOutcome DeleteDatabase(OperationContext& context, sql::Provider& provider);

// Catalogue indexes of the functions above.
enum ArchiveFunction : int {
    kNewLogin = 0,
    kNewDatabase = 1,
    kNewDatabaseNewVersion = 2,
    kBackup = 3,
    kRestore = 4,
    kGeneralInformation = 5,
    kTestDatabase = 6,
    kDeleteDatabase = 7,
};

// Registers functions 0 to 7 of the archive catalogue; provider must outlive the dispatcher.
void RegisterArchiveCatalogue(Dispatcher& dispatcher, sql::Provider& provider);

} // namespace sqllumo::server
