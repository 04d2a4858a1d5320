#pragma once
// The backup sets a file on the server holds, as RESTORE HEADERONLY lists them: which one a
// restore takes (the newest full database backup, not the first in the file) and how a report
// line names it.

#include "DatabasePort.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <vector>

namespace sqllumo::server {

namespace texts {
inline const QString kBackupSetOpen = QStringLiteral(" (backup set ");
inline const QString kBackupSetOf = QStringLiteral(" of ");
inline const QString kBackupSetTaken = QStringLiteral(", taken ");
} // namespace texts

struct BackupSet {
    int position = 0; // the FILE = n of RESTORE
    int type = 0;     // 1: full database backup
    QString databaseName;
    QDateTime started; // the server's wall-clock reading
    double size = 0;   // bytes
};

// One row of RESTORE HEADERONLY (HeaderListStatement), read through field(column name).
BackupSet BackupSetFromRow(const std::function<QVariant(const QString& column)>& field);

// Sends RESTORE HEADERONLY over an open connection to "master"; server errors propagate.
std::vector<BackupSet> ReadBackupSets(dbport::Connection& master, const QString& file);

// The full database backup with the highest position, or nullptr when the file holds none;
// with a database name, only that database's backups count.
const BackupSet* NewestDatabaseBackup(const std::vector<BackupSet>& sets,
                                      const QString& database = {});

// The full database backup at that position of the file, or nullptr when there is none.
const BackupSet* DatabaseBackupAt(const std::vector<BackupSet>& sets, int position);

// " (backup set n of m, taken <date and time>)", appended to the report line naming the file.
QString BackupSetDescription(const BackupSet& set, size_t setCount);

// How a set's start is shown, here and in listings.
QString BackupTimeText(const QDateTime& started);

} // namespace sqllumo::server
