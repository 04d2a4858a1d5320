// Bringing a password database to the current version: a dated backup first, the schema steps
// in one transaction, and the backup put back when they fail.
#include "GestioneDbPassword.h"

#include "BackupSets.h"
#include "ConnectionStrings.h"
#include "PasswordSchema.h"
#include "PasswordSchemaState.h"
#include "ServerStatements.h"
#include "Settings.h"

#include <QDateTime>
#include <QLocale>

namespace sqllumo::password {

namespace {

// "number: description", the form of the upgrade's other failures.
QString numbered(const db::Error& error)
{
    return QString::number(error.number()) + QStringLiteral(": ") + error.description();
}

} // namespace

QString texts::UpgradeSubject(const QString& server, const QString& database)
{
    return QStringLiteral("\r\nDatabase ") + database + QStringLiteral(" on SQL Server ") + server;
}

UpgradeTarget UpgradeTargetFromSettings(const Settings& settings)
{
    return {settings.value(settingkeys::kSQLServerName),
            settings.value(settingkeys::kPasswdDatabaseName),
            settings.value(settingkeys::kSQLUserName), settings.value(settingkeys::kSQLPassword),
            settings.value(settingkeys::kPasswdDataDirectory)};
}

QString UpgradeBackupFileName(const QString& dataDirectory, const QDateTime& when)
{
    // English month names whatever the workstation's language, so the name is the same on
    // every machine that reads it.
    const QLocale english(QLocale::English, QLocale::UnitedKingdom);
    return dataDirectory + texts::kBackupFileStem +
           english.toString(when, QStringLiteral(" (dd MMMM yyyy, ")) +
           when.toString(QStringLiteral("hh mm)")) + QStringLiteral(".dat");
}

bool GestioneDbPassword::UpdatePasswordDB()
{
    return RunUpgrade() == UpgradeResult::Upgraded;
}

UpgradeResult GestioneDbPassword::RunUpgrade()
{
    return RunUpgrade(UpgradeTargetFromSettings(settings_));
}

UpgradeResult GestioneDbPassword::RunUpgrade(const UpgradeTarget& target)
{
    const QString& directory = target.dataDirectory;
    const QString backupFile = UpgradeBackupFileName(directory, QDateTime::currentDateTime());
    const QString& database = target.database;
    const QString& server = target.server;
    if (database.isEmpty() || server.isEmpty() || directory.isEmpty())
        return UpgradeResult::NothingToDo;
    const QString subject = texts::UpgradeSubject(server, database);
    try {
        {
            std::unique_ptr<dbport::Catalog> catalog;
            try {
                catalog = database_.newCatalog();
                catalog->setActiveConnection(
                    BuildConnectionString(server, database, target.user, target.password));
            } catch (const db::Error& error) {
                showPlain(texts::kConnectionOfDatabase + database + QStringLiteral("'\r\n") +
                              numbered(error) + subject,
                          MessageIcon::Critical);
                return UpgradeResult::Failed;
            }
            // The version row alone is not trusted: a current database that lost a key or a
            // function is brought back as well.
            const QStringList present = catalog->tableNames();
            const SchemaQuery query = [&](const QString& statement) {
                return catalog->query(statement);
            };
            const VersionState version = VersionOf(query, present);
            if (version == VersionState::Other ||
                (version == VersionState::Current && FindSchemaGaps(query, present).empty()))
                return UpgradeResult::NothingToDo;
        }

        const std::unique_ptr<dbport::Connection> master = database_.newConnection();
        master->open(
            BuildConnectionString(server, server::kMasterDatabase, target.user, target.password));
        master->setCommandTimeout(server::kLongStatementTimeout);
        master->execute(server::BackupStatement(database, backupFile));
        master->close();
    } catch (const db::Error& error) {
        showPlain(numbered(error) + subject, MessageIcon::Critical);
        return UpgradeResult::Failed;
    }

    // The plain default, so that a T_AdminPassword made here opens with "darnitex".
    QString errorText;
    if (buildSchema(target, errorText, QString::fromLatin1(kDefaultPassword), subject)) {
        showPlain(texts::kUpgradeSucceeded + subject, MessageIcon::Information);
        return UpgradeResult::Upgraded;
    }
    // The steps ran as one transaction, so the database should be as it was; the backup is put
    // back all the same, in case the server could not take everything back.
    showPlain(texts::kUpgradeFailedRestoring + subject, MessageIcon::Critical);
    return restoreBackup(target, backupFile, subject);
}

UpgradeResult GestioneDbPassword::restoreBackup(const UpgradeTarget& target,
                                                const QString& backupFile, const QString& subject)
{
    const QString& database = target.database;
    try {
        const std::unique_ptr<dbport::Connection> master = database_.newConnection();
        master->open(BuildConnectionString(target.server, server::kMasterDatabase, target.user,
                                           target.password));
        // A second upgrade within the same minute appends to the same file: take the newest
        // backup of this database, the one taken moments ago.
        const std::vector<server::BackupSet> sets = server::ReadBackupSets(*master, backupFile);
        const server::BackupSet* newest = server::NewestDatabaseBackup(sets, database);
        QString dataName;
        QString logName;
        if (newest) {
            const dbport::ResultSet files =
                master->query(server::FileListStatement(backupFile, newest->position));
            for (size_t row = 0; row < files.rowCount(); ++row) {
                const QString type = files.text(row, QStringLiteral("Type"));
                if (type == QLatin1String("D"))
                    dataName = files.text(row, QStringLiteral("LogicalName"));
                else if (type == QLatin1String("L"))
                    logName = files.text(row, QStringLiteral("LogicalName"));
            }
        }
        if (dataName.isEmpty() || logName.isEmpty()) {
            master->close();
            showPlain(texts::kRestoringError + subject, MessageIcon::Critical);
            return UpgradeResult::Failed;
        }
        master->setCommandTimeout(server::kLongStatementTimeout);
        // Over the database the backup was taken from moments ago: without REPLACE a server
        // refuses it for want of a log tail backup, and the half-upgraded database would stay.
        master->execute(server::RestoreStatement(database, backupFile, newest->position, dataName,
                                                 logName, target.dataDirectory, true));
        master->close();
    } catch (const db::Error& error) {
        showPlain(numbered(error) + subject, MessageIcon::Critical);
        return UpgradeResult::Failed;
    }
    showPlain(texts::kUpgradeFailedEnding + subject, MessageIcon::Critical);
    return UpgradeResult::Restored;
}

} // namespace sqllumo::password
