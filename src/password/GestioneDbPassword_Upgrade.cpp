// Bringing the password database of the settings to the current version: a dated backup
// first, the schema steps, and the backup put back when they fail.
#include "GestioneDbPassword.h"

#include "BackupSets.h"
#include "ConnectionStrings.h"
#include "PasswordSchema.h"
#include "ServerStatements.h"
#include "Settings.h"

#include <QDateTime>
#include <QLocale>

namespace sqllumo::password {

namespace {

const QString kVersionTable = QStringLiteral("T_DBVersion");
const QString kOlderVersionQuery = QStringLiteral(
    "SELECT TOP 1 * FROM T_DBVersion WHERE (([FreeText] = 'Version:1.03') OR ([FreeText] = "
    "'Version:1.02') OR ([FreeText] = 'Version:1.01') OR ([FreeText] = 'Version:1.00'))");

} // namespace

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
    const Settings& settings = settings_;
    const QString directory = settings.value(settingkeys::kPasswdDataDirectory);
    const QString backupFile = UpgradeBackupFileName(directory, QDateTime::currentDateTime());
    const QString database = settings.value(settingkeys::kPasswdDatabaseName);
    const QString server = settings.value(settingkeys::kSQLServerName);
    const QString user = settings.value(settingkeys::kSQLUserName);
    const QString password = settings.value(settingkeys::kSQLPassword);
    if (database.isEmpty() || server.isEmpty() || directory.isEmpty())
        return UpgradeResult::NothingToDo;

    const QString masterString =
        BuildConnectionString(server, server::kMasterDatabase, user, password);
    try {
        {
            std::unique_ptr<dbport::Catalog> catalog;
            try {
                catalog = database_.newCatalog();
                catalog->setActiveConnection(
                    BuildConnectionString(server, database, user, password));
            } catch (const db::Error& error) {
                showPlain(texts::kConnectionOfDatabase + database + QStringLiteral("'\r\n") +
                              QString::number(error.number()) + QStringLiteral(": ") +
                              error.description(),
                          MessageIcon::Critical);
                return UpgradeResult::Failed;
            }
            if (dbport::HasTable(*catalog, kVersionTable) &&
                catalog->query(kOlderVersionQuery).isEmpty())
                return UpgradeResult::NothingToDo;
        }

        const std::unique_ptr<dbport::Connection> master = database_.newConnection();
        master->open(masterString);
        master->setCommandTimeout(server::kLongStatementTimeout);
        master->execute(server::BackupStatement(database, backupFile));
        master->close();
    } catch (const db::Error& error) {
        showPlain(QString::number(error.number()) + QStringLiteral(": ") + error.description(),
                  MessageIcon::Critical);
        return UpgradeResult::Failed;
    }

    // The plain default, so that a T_AdminPassword made here opens with "darnitex".
    QString errorText;
    if (TestTabellePassword(server, database, user, password, errorText,
                            QString::fromLatin1(kDefaultPassword))) {
        showPlain(texts::kUpgradeSucceeded, MessageIcon::Information);
        return UpgradeResult::Upgraded;
    }

    showPlain(texts::kUpgradeFailedRestoring, MessageIcon::Critical);
    try {
        const std::unique_ptr<dbport::Connection> master = database_.newConnection();
        master->open(masterString);
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
            showPlain(texts::kRestoringError, MessageIcon::Critical);
            return UpgradeResult::Failed;
        }
        master->setCommandTimeout(server::kLongStatementTimeout);
        // Over the database the backup was taken from moments ago: without REPLACE a server
        // refuses it for want of a log tail backup, and the half-upgraded database would stay.
        master->execute(server::RestoreStatement(database, backupFile, newest->position, dataName,
                                                 logName, directory, true));
        master->close();
    } catch (const db::Error& error) {
        showPlain(QString::number(error.number()) + QStringLiteral(": ") + error.description(),
                  MessageIcon::Critical);
        return UpgradeResult::Failed;
    }
    showPlain(texts::kUpgradeFailedEnding, MessageIcon::Critical);
    return UpgradeResult::Restored;
}

} // namespace sqllumo::password
