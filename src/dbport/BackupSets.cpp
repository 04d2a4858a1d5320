// Reading a backup file's sets (RESTORE HEADERONLY) and choosing the newest full backup of a
// database, so a restore never takes an older or a differential set.
#include "BackupSets.h"

#include "ServerStatements.h"

namespace sqllumo::server {

namespace {
constexpr int kFullDatabaseBackup = 1;
}

BackupSet BackupSetFromRow(const std::function<QVariant(const QString& column)>& field)
{
    BackupSet set;
    set.position = field(QStringLiteral("Position")).toInt();
    set.type = field(QStringLiteral("BackupType")).toInt();
    set.databaseName = field(QStringLiteral("DatabaseName")).toString();
    set.started = field(QStringLiteral("BackupStartDate")).toDateTime();
    set.size = field(QStringLiteral("BackupSize")).toDouble();
    return set;
}

std::vector<BackupSet> ReadBackupSets(dbport::Connection& master, const QString& file)
{
    const dbport::ResultSet rows = master.query(HeaderListStatement(file));
    std::vector<BackupSet> sets;
    sets.reserve(rows.rowCount());
    for (size_t row = 0; row < rows.rowCount(); ++row)
        sets.push_back(
            BackupSetFromRow([&](const QString& column) { return rows.value(row, column); }));
    return sets;
}

const BackupSet* NewestDatabaseBackup(const std::vector<BackupSet>& sets, const QString& database)
{
    const BackupSet* newest = nullptr;
    for (const BackupSet& set : sets) {
        if (set.type != kFullDatabaseBackup)
            continue;
        if (!database.isEmpty() && set.databaseName.compare(database, Qt::CaseInsensitive) != 0)
            continue;
        if (!newest || set.position > newest->position)
            newest = &set;
    }
    return newest;
}

const BackupSet* DatabaseBackupAt(const std::vector<BackupSet>& sets, int position)
{
    for (const BackupSet& set : sets)
        if (set.position == position && set.type == kFullDatabaseBackup)
            return &set;
    return nullptr;
}

QString BackupTimeText(const QDateTime& started)
{
    return started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString BackupSetDescription(const BackupSet& set, size_t setCount)
{
    return texts::kBackupSetOpen + QString::number(set.position) + texts::kBackupSetOf +
           QString::number(setCount) + texts::kBackupSetTaken + BackupTimeText(set.started) +
           QLatin1Char(')');
}

} // namespace sqllumo::server
