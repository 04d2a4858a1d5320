#pragma once
// The archive catalogue's operations on whole databases of a server, the archive creation
// and the structure test, each one pass from OK to its outcome.

#include "Operation.h"

namespace sqllumo::server {

OperationOutcome NewLogin(OperationContext& context);
OperationOutcome CreateDatabase(OperationContext& context);
OperationOutcome CreateDatabaseNewVersion(OperationContext& context);
OperationOutcome BackupDatabase(OperationContext& context);
OperationOutcome RestoreDatabase(OperationContext& context);
OperationOutcome GeneralInformation(OperationContext& context);
OperationOutcome TestDatabase(OperationContext& context);
OperationOutcome DeleteDatabase(OperationContext& context);
// Console only: the sets a backup file holds, each read through to say whether it is intact.
OperationOutcome ListBackupSets(OperationContext& context);

} // namespace sqllumo::server
