// Whole-database operations: every statement goes to "master" of the named server, except the
// archive work, which connects to the database itself.
#include "ArchiveCatalogue.h"

#include "BackupSets.h"
#include "ConnectionStrings.h"
#include "DatabaseNames.h"
#include "DatabasePort.h"
#include "DefineArchiveTables.h"
#include "ServerStatements.h"
#include "ServerSteps.h"
#include "ServerTexts.h"
#include "Settings.h"
#include "StructureFindings.h"
#include "TestArchiveStructure.h"

namespace sqllumo::server {

using namespace texts;

namespace {

// Closes the connection however the operation leaves; a close failing after another error
// must not hide that error.
class OpenConnection {
public:
    OpenConnection(dbport::Provider& provider, const QString& connectionString)
        : connection_(provider.newConnection())
    {
        connection_->open(connectionString);
        open_ = true;
    }
    ~OpenConnection()
    {
        if (open_)
            dbport::CloseAfterFailure(connection_.get());
    }
    OpenConnection(const OpenConnection&) = delete;
    OpenConnection& operator=(const OpenConnection&) = delete;

    dbport::Connection* operator->() { return connection_.get(); }
    dbport::Connection& operator*() { return *connection_; }
    void close()
    {
        open_ = false;
        connection_->close();
    }

private:
    std::unique_ptr<dbport::Connection> connection_;
    bool open_ = false;
};

// The restore ends with the long statement and its time-out, then the success message, whose
// text the report line repeats before naming the file.
OperationOutcome finishLongStatement(OperationContext& context, OpenConnection& master,
                                     const QString& statement, const QString& done,
                                     const QString& reportTail,
                                     const std::function<QString()>& step)
{
    master->setCommandTimeout(kLongStatementTimeout);
    ExecuteStep(*master, statement, step);
    master.close();
    context.report().setText(done + reportTail);
    return context.succeeded(done);
}

QString masterString(const PanelValues& panel)
{
    return BuildConnectionString(panel.server, kMasterDatabase, panel.user, panel.password);
}

void storeLogin(Settings& settings, const PanelValues& panel)
{
    settings.setValue(settingkeys::kSQLServerName, panel.server);
    settings.setValue(settingkeys::kSQLUserName, panel.user);
    settings.setValue(settingkeys::kSQLPassword, panel.password);
}

// The generic trap around a function's body.
template <typename Body> OperationOutcome trapped(Body&& body)
{
    try {
        return body();
    } catch (const StepFailure& failure) {
        return FailedStepOutcome(failure);
    } catch (const db::Error& error) {
        return OperationOutcome::trapped(error.number(), error.description(), false);
    }
}

// What a failed CREATE DATABASE says before the server's text.
QString createStep(dbport::Connection& master, const QString& database, const QString& directory)
{
    return kCreateStepFailed.arg(database) +
           (DatabaseListed(master, database) ? kNameTaken : kCheckDirectory.arg(directory));
}

// The connection trap: a catalogue bound to the database, or the outcome that ends the function.
std::optional<OperationOutcome> bindCatalogue(dbport::Catalog& catalog,
                                              const QString& connectionString)
{
    try {
        catalog.setActiveConnection(connectionString);
        return std::nullopt;
    } catch (const db::Error& error) {
        return OperationOutcome::trapped(error.number(), error.description(), true);
    }
}

QString sizeText(const QVariant& size)
{
    // A database the login cannot open is listed with no size; keep the listing going.
    if (size.isNull() || !size.isValid())
        return QString();
    bool ok = false;
    const long long kilobytes = size.toLongLong(&ok);
    return ok ? db::SignedNumber(kilobytes) : size.toString();
}

} // namespace

OperationOutcome NewLogin(OperationContext& context)
{
    dbport::Provider& provider = context.database();
    return trapped([&] {
        const PanelValues& panel = context.panel();
        const QString& login = panel.database;
        context.busy();
        context.report().clear();
        storeLogin(context.settings(), panel);
        OpenConnection master(provider, masterString(panel));
        master->execute(GrantLoginStatement(login));
        for (const QString& role : ServerRoles())
            master->execute(AddServerRoleStatement(login, role));
        master.close();
        context.report().setText(kLogin + login + kHasBeenCreated + kIntoSqlServer + panel.server);
        return context.succeeded(kLogin + login + kHasBeenCreated);
    });
}

namespace {
// newLayout: the new-version archive.
OperationOutcome createDatabase(OperationContext& context, bool newLayout)
{
    dbport::Provider& provider = context.database();
    return trapped([&] {
        const PanelValues& panel = context.panel();
        const QString& database = panel.database;
        if (newLayout && !context.warningQuestion(kCreateNewVersionQuestion))
            return OperationOutcome::panelClosed();
        context.busy();
        context.report().clear();
        if (panel.thirdField.isEmpty())
            return context.validation(kInvalidDirectory);
        if (const auto refused = DatabaseNameRefusal(database, DatabaseUse::Created))
            return context.validation(*refused);
        const QString directory = WithTrailingBackslash(panel.thirdField);
        StoreDatabaseSettings(context.settings(), panel);
        context.settings().setValue(settingkeys::kDataDirectory, directory);
        {
            OpenConnection master(provider, masterString(panel));
            ExecuteStep(*master, CreateDatabaseStatement(database, directory),
                        [&] { return createStep(*master, database, directory); });
            master.close();
        }
        context.report().setText(kDatabase + database + kHasBeenCreated + kIntoSqlServer +
                                 panel.server);

        const QString databaseString =
            BuildConnectionString(panel.server, database, panel.user, panel.password);
        std::unique_ptr<dbport::Catalog> catalog = provider.newCatalog();
        if (auto failed = bindCatalogue(*catalog, databaseString))
            return *failed;
        QString errorText;
        const bool defined =
            archive::DefineArchiveTables(database, databaseString, *catalog, newLayout, errorText,
                                         {provider, context.report(), context.registry()});
        catalog.reset();
        if (!defined)
            return context.failed(kInitializationError + kCr + errorText);
        context.report().append(kCrLf + kDatabase + database + kCreatedAndInitialized +
                                QLatin1Char('.'));
        return context.succeeded(kDatabase + database + kCreatedAndInitialized);
    });
}

} // namespace

OperationOutcome CreateDatabase(OperationContext& context)
{
    return createDatabase(context, false);
}

OperationOutcome CreateDatabaseNewVersion(OperationContext& context)
{
    return createDatabase(context, true);
}

OperationOutcome BackupDatabase(OperationContext& context)
{
    dbport::Provider& provider = context.database();
    return trapped([&] {
        const PanelValues& panel = context.panel();
        const QString& database = panel.database;
        const QString& file = panel.thirdField;
        context.busy();
        context.report().clear();
        if (!IsValidBackupFile(file))
            return context.validation(kInvalidFilename);
        if (const auto refused = DatabaseNameRefusal(database, DatabaseUse::Read))
            return context.validation(*refused);
        StoreDatabaseSettings(context.settings(), panel);
        context.settings().setValue(settingkeys::kBackupFile, file);
        OpenConnection master(provider, masterString(panel));
        master->setCommandTimeout(kLongStatementTimeout);
        ExecuteStep(*master, BackupStatement(database, file),
                    [&] { return kBackupStepFailed.arg(database, file); });
        // The backup exists from here: a failure to read it back is reported as such, not
        // as a failed backup.
        QString failure;
        std::vector<BackupSet> sets;
        const BackupSet* written = nullptr;
        try {
            sets = ReadBackupSets(*master, file);
            written = NewestDatabaseBackup(sets, database);
            if (written)
                master->execute(VerifyStatement(file, written->position));
            else
                failure = kBackupNotListed;
        } catch (const db::Error& error) {
            failure = error.description();
        }
        master.close();
        const QString created = kCompleteBackup + database + kHasBeenCreated;
        if (!failure.isEmpty()) {
            context.report().setText(created + kIntoDisk + file + kButNotVerified + failure);
            return context.failed(kNotVerifiedHead + database + kIntoDisk + file +
                                  kNotVerifiedTail + kCr + failure);
        }
        context.report().setText(created + kAndVerified + kIntoDisk + file +
                                 BackupSetDescription(*written, sets.size()));
        return context.succeeded(created + kAndVerified);
    });
}

OperationOutcome RestoreDatabase(OperationContext& context)
{
    dbport::Provider& provider = context.database();
    if (!context.accessCheck())
        return OperationOutcome::panelOpen();
    return trapped([&] {
        const PanelValues& panel = context.panel();
        const QString& database = panel.database;
        const QString& file = panel.thirdField;
        context.busy();
        context.report().clear();
        if (!IsValidBackupFile(file))
            return context.validation(kInvalidFilename);
        // Refused before the file is stored: nothing of a restore over the server's own
        // databases is kept.
        if (const auto refused = DatabaseNameRefusal(database, DatabaseUse::Created))
            return context.validation(*refused);
        context.settings().setValue(settingkeys::kBackupFile, file);
        if (panel.fourthField.isEmpty())
            return context.validation(kInvalidDirectory);
        const QString directory = WithTrailingBackslash(panel.fourthField);
        context.settings().setValue(settingkeys::kDataDirectory, directory);
        StoreDatabaseSettings(context.settings(), panel);
        OpenConnection master(provider, masterString(panel));
        // A file backed up to again and again holds one set per backup: the newest is the one
        // wanted, the first would bring back the oldest state, unless a set was chosen.
        const std::vector<BackupSet> sets = ReadBackupSets(*master, file);
        const BackupSet* newest = panel.backupSet > 0 ? DatabaseBackupAt(sets, panel.backupSet)
                                                      : NewestDatabaseBackup(sets);
        if (panel.backupSet > 0 && !newest)
            return context.validation(kNoSuchBackupSet.arg(file).arg(panel.backupSet));
        QString dataName;
        QString logName;
        const dbport::ResultSet files =
            newest ? master->query(FileListStatement(file, newest->position)) : dbport::ResultSet();
        for (size_t row = 0; newest && row < files.rowCount(); ++row) {
            const QString type = files.text(row, QStringLiteral("Type"));
            if (type == QLatin1String("D"))
                dataName = files.text(row, QStringLiteral("LogicalName"));
            else if (type == QLatin1String("L"))
                logName = files.text(row, QStringLiteral("LogicalName"));
        }
        if (dataName.isEmpty() || logName.isEmpty()) {
            context.pointerDefault();
            context.ui().showMessage(Message{kRestoringError, context.windowCaption(),
                                             MessageIcon::Critical, MessageButtons::Ok});
            return OperationOutcome::panelOpen();
        }
        return finishLongStatement(
            context, master,
            RestoreStatement(database, file, newest->position, dataName, logName, directory),
            kRestoreOf + database + kHasBeenDone,
            kFromDisk + file + BackupSetDescription(*newest, sets.size()), [&] {
                return kRestoreStepFailed.arg(database, file) +
                       (DatabaseListed(*master, database) ? kNameTaken : QString());
            });
    });
}

OperationOutcome ListBackupSets(OperationContext& context)
{
    dbport::Provider& provider = context.database();
    return trapped([&] {
        const PanelValues& panel = context.panel();
        const QString& file = panel.thirdField;
        context.busy();
        context.report().clear();
        if (!IsValidBackupFile(file))
            return context.validation(kInvalidFilename);
        OpenConnection master(provider, masterString(panel));
        const std::vector<BackupSet> sets = ReadBackupSets(*master, file);
        QString info =
            kBackupSetsIn + file + kOnSqlServer + panel.server + QLatin1Char(':') + kCrLf;
        if (sets.empty())
            info += kNoBackupSets + kCrLf;
        else
            info += kBackupSetsLegend + kCrLf;
        // Reading each set through takes as long as a restore would read it.
        master->setCommandTimeout(kLongStatementTimeout);
        for (const BackupSet& set : sets) {
            QString state = kSetVerified;
            try {
                master->execute(VerifyStatement(file, set.position));
            } catch (const db::Error& error) {
                state = kSetDamaged + error.description();
            }
            info += QString::number(set.position) + QLatin1Char('\t') + set.databaseName +
                    (NewestDatabaseBackup({set}) ? QString() : kNotDatabaseBackup) +
                    QLatin1Char('\t') + BackupTimeText(set.started) + QLatin1Char('\t') +
                    QString::number(qRound64(set.size / 1024)) + kKiloBytes + QLatin1Char('\t') +
                    state + kCrLf;
        }
        master.close();
        context.pointerDefault();
        context.report().setText(info);
        return OperationOutcome::informationShown(info);
    });
}

OperationOutcome GeneralInformation(OperationContext& context)
{
    dbport::Provider& provider = context.database();
    return trapped([&] {
        const PanelValues& panel = context.panel();
        context.busy();
        context.report().clear();
        storeLogin(context.settings(), panel);
        OpenConnection master(provider, masterString(panel));
        QString info = kInfoHead + panel.server + QLatin1Char(':') + kCrLf + kCrLf;
        const dbport::ResultSet databases = master->query(kListDatabases);
        if (!databases.isEmpty()) {
            info += kDatabasesPresent + kCrLf;
            for (size_t row = 0; row < databases.rowCount(); ++row)
                info += databases.text(row, QStringLiteral("database_name")) +
                        QStringLiteral("\t\t") +
                        sizeText(databases.value(row, QStringLiteral("database_size"))) +
                        kKiloBytes + kCrLf;
        } else {
            info += kNoDatabases + kCrLf;
        }
        info += kCrLf;
        const dbport::ResultSet logins = master->query(kListLogins);
        if (!logins.isEmpty()) {
            info += kLoginsPresent + kCrLf + kLoginsLegend + kCrLf;
            for (size_t row = 0; row < logins.rowCount(); ++row)
                info += logins.text(row, QStringLiteral("account name")) + QStringLiteral("\t\t") +
                        logins.text(row, QStringLiteral("Type")) + QLatin1Char('\t') +
                        logins.text(row, QStringLiteral("privilege")) + kCrLf;
        } else {
            info += kNoLogins + kCrLf;
        }
        info += kCrLf + dbport::TransportReportLine(master->transport()) + kCrLf;
        master.close();
        context.pointerDefault();
        context.report().setText(info);
        return OperationOutcome::informationShown(info);
    });
}

OperationOutcome TestDatabase(OperationContext& context)
{
    dbport::Provider& provider = context.database();
    return trapped([&] {
        const PanelValues& panel = context.panel();
        const QString& database = panel.database;
        context.report().clear();
        StoreDatabaseSettings(context.settings(), panel);
        context.busy();
        const QString databaseString =
            BuildConnectionString(panel.server, database, panel.user, panel.password);
        std::unique_ptr<dbport::Catalog> catalog = provider.newCatalog();
        if (auto failed = bindCatalogue(*catalog, databaseString))
            return *failed;
        QString errorText;
        const bool tested =
            archive::TestArchiveStructure(database, databaseString, *catalog, errorText,
                                          {provider, context.report(), context.registry()});
        catalog.reset();
        if (!tested)
            return context.failed(kTestingError + kCr + errorText);
        // Judged from what this run found, never from the registry file other runs rewrite.
        const archive::StructureFindings findings = archive::FindingsSetBy(context.registry());
        OperationOutcome outcome = context.succeeded(
            kDatabase + database +
            (findings.sound ? kTestedSuccessfully : TestedWithProblems(findings.problems)) + kCr +
            kCheckRegistry);
        outcome.verdict = OperationOutcome::Verdict{findings.table, findings.problems};
        outcome.summary = findings.verdicts;
        return outcome;
    });
}

OperationOutcome DeleteDatabase(OperationContext& context)
{
    dbport::Provider& provider = context.database();
    const PanelValues& panel = context.panel();
    const QString& database = panel.database;
    if (database.isEmpty())
        return OperationOutcome::panelOpen();
    if (const auto refused = DatabaseNameRefusal(database, DatabaseUse::Removed))
        return context.validation(*refused);
    if (!context.accessCheck())
        return OperationOutcome::panelOpen();
    if (!context.warningQuestion(kDeleteQuestion))
        return OperationOutcome::panelOpen();
    return trapped([&] {
        context.busy();
        context.report().clear();
        StoreDatabaseSettings(context.settings(), panel);
        OpenConnection master(provider, masterString(panel));
        const dbport::ResultSet databases = master->query(kHelpDb);
        bool found = false;
        for (size_t row = 0; row < databases.rowCount() && !found; ++row) {
            if (databases.text(row, QStringLiteral("Name")).toUpper() == database.toUpper()) {
                master->setCommandTimeout(kLongStatementTimeout);
                ExecuteStep(*master, DropDatabaseStatement(database),
                            [&] { return kDropStepFailed.arg(database); });
                found = true;
            }
        }
        master.close();
        if (found) {
            context.report().setText(kDatabase + database + kHasBeenRemoved + kFromSqlServer +
                                     panel.server);
            return context.succeeded(kDatabase + database + kHasBeenRemoved);
        }
        context.report().setText(kCannotRemove + database + kNotInCatalog + kOfTheSqlServer +
                                 panel.server);
        return context.succeeded(kCannotRemove + database + kNotInCatalog);
    });
}

} // namespace sqllumo::server
