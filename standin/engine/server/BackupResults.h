// What RESTORE FILELISTONLY and RESTORE HEADERONLY answer about the sets of a backup file: one
// result set each, with SQL Server's columns and types.
#pragma once

#include "../Engine.h"
#include "BackupFile.h"

#include <vector>

namespace standin::server {

// The set's two files, data then log.
void SendFileList(ResultSink& sink, const BackupSetInfo& set);

// One row per set, in the order given.
void SendBackupHeaders(ResultSink& sink, const std::vector<const BackupSetInfo*>& sets);

} // namespace standin::server
