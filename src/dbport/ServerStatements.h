#pragma once
// The SQL text of the whole-database operations, and the checks that keep typed values from
// changing what a statement does: quoted values get their quotes doubled, and names spliced
// in without quotes must be regular identifiers.

#include <QString>
#include <QStringList>

namespace sqllumo::server {

inline const QString kMasterDatabase = QStringLiteral("master");
inline constexpr int kLongStatementTimeout = 90;

// A letter or "_" first, then letters, digits, "_", "@", "#", "$"; at most 128 characters;
// not one of the server's reserved keywords.
bool IsRegularIdentifier(const QString& name);

// The server roles a new login receives, in the order they are granted.
const QStringList& ServerRoles();

QString GrantLoginStatement(const QString& login);
QString AddServerRoleStatement(const QString& login, const QString& role);
// directory already ends with "\".
QString CreateDatabaseStatement(const QString& database, const QString& directory);
QString BackupStatement(const QString& database, const QString& file);
// The backup sets of a file, one row each.
QString HeaderListStatement(const QString& file);
// position: the set's FILE = n.
QString VerifyStatement(const QString& file, int position);
QString FileListStatement(const QString& file, int position);
// replaceExisting: the backup is put over the database it was taken from (the password
// upgrade's own backup); a full-recovery database is refused without it once backed up.
QString RestoreStatement(const QString& database, const QString& file, int position,
                         const QString& dataName, const QString& logName, const QString& directory,
                         bool replaceExisting = false);
QString DropDatabaseStatement(const QString& database);
inline const QString kListDatabases = QStringLiteral("sp_databases");
inline const QString kListLogins = QStringLiteral("xp_logininfo");
inline const QString kHelpDb = QStringLiteral("sp_helpdb");

QString DataFileName(const QString& directory, const QString& database);
QString LogFileName(const QString& directory, const QString& database);

// A backup file value is refused when empty or ending with "\".
bool IsValidBackupFile(const QString& file);

} // namespace sqllumo::server
