// Archive catalogue entry 8: a new database on the server filled from an Access archive. The
// source is checked first, then the destination is made here (dropped first when the person
// agrees); the import's four steps do the rest, and the row counts of both sides are compared
// before the keys are added.
#include "ImportFromAccess.h"

#include "AccessImport.h"
#include "ArchiveTexts.h"
#include "ConnectionStrings.h"
#include "DatabaseNames.h"
#include "DatabasePort.h"
#include "ServerStatements.h"
#include "ServerTexts.h"
#include "Settings.h"

#include <QFileInfo>

#include <memory>

namespace sqllumo::server {

using namespace texts;

namespace {

// The file must be there and readable before anything on the server is dropped or made.
bool isReadableFile(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isReadable();
}

// The empty destination database, an existing one of that name dropped first when the person
// agrees. False when they do not: nothing was changed.
bool makeDestination(OperationContext& context, const QString& directory)
{
    const PanelValues& panel = context.panel();
    const QString& database = panel.database;
    const std::unique_ptr<dbport::Connection> master = context.database().newConnection();
    master->open(BuildConnectionString(panel.server, kMasterDatabase, panel.user, panel.password));
    const dbport::ResultSet databases = master->query(kHelpDb);
    bool found = false;
    for (size_t row = 0; databases.isOpen() && row < databases.rowCount() && !found; ++row)
        found = databases.text(row, QStringLiteral("Name")).toUpper() == database.toUpper();
    if (found) {
        const MessageResult answer = context.ui().showMessage(
            Message{kDatabase + database + kAlreadyPresent + kCrLf + kOverwriteQuestion,
                    context.windowCaption(), MessageIcon::Question, MessageButtons::YesNo});
        if (answer != MessageResult::Yes) {
            master->close();
            return false;
        }
        master->setCommandTimeout(kLongStatementTimeout);
        master->execute(DropDatabaseStatement(database));
    }
    master->execute(CreateDatabaseStatement(database, directory));
    master->close();
    return true;
}

// A clinic must know that nothing was lost: every table's rows counted on both sides. The
// tables that differ, as lines for the final message; empty when all match.
QString rowDifferences(const QString& source, const QString& destination, archive::ImportWork& work)
{
    QString differences;
    try {
        for (const archive::TableRowCount& count :
             archive::VerifyImportedRows(source, destination, work))
            if (!count.matches())
                differences += kCrLf + archive::texts::kTableWord + count.table +
                               QStringLiteral(": ") + QString::number(count.source) +
                               archive::texts::kRowsInTheSource +
                               QString::number(count.destination) + archive::texts::kInTheDatabase;
    } catch (const db::Error& error) {
        differences += kCrLf + kRowsNotCompared + error.description();
    }
    if (!differences.isEmpty())
        differences.prepend(kCrLf + kRowsDiffer);
    return differences;
}

// The photos left out are never dropped in silence: the report names their patients and the
// final message counts them. Returns what the final message adds (empty when none was left).
QString reportPhotos(archive::ImportWork& work)
{
    using namespace archive::texts;
    if (work.photosCopied > 0)
        work.report.append(kLineBreak + kPhotosCopied.arg(work.photosCopied));
    const QString sentence = archive::PhotosNotCopiedSentence(work.photosLeft.size());
    if (sentence.isEmpty())
        return sentence;
    work.report.append(kLineBreak + sentence + kPhotosNotCopiedNamed +
                       work.photosLeft.join(QStringLiteral(", ")));
    return kCrLf + sentence + QLatin1Char('.');
}

// The person stopped the import: the database stays as it is, named as incomplete.
OperationOutcome stoppedImport(OperationContext& context, const archive::ImportStop& stop,
                               const QString& photos)
{
    const QString& database = context.panel().database;
    const QString incomplete = archive::texts::kLeftIncomplete.arg(database);
    context.report().append(kCrLf + incomplete);
    context.pointerDefault();
    context.success(kDatabase + database + kNotFullyImported + kCrLf +
                    archive::ImportStopReport(stop) + kCrLf + incomplete + photos);
    OperationOutcome outcome = OperationOutcome::completed();
    outcome.incomplete = true;
    outcome.stopped = true;
    return outcome;
}

} // namespace

OperationOutcome ImportFromAccess(OperationContext& context)
{
    if (!context.accessCheck())
        return OperationOutcome::panelOpen();
    const PanelValues& panel = context.panel();
    const QString& database = panel.database;
    try {
        context.busy();
        context.report().clear();
        if (panel.thirdField.isEmpty())
            return context.validation(kInvalidDirectory);
        if (const auto refused = DatabaseNameRefusal(database, DatabaseUse::Created))
            return context.validation(*refused);
        if (!isReadableFile(panel.fourthField))
            return context.validation(kInvalidAccessFile);
        const QString source = AccessSourceString(panel.fourthField);
        // Read before the server is touched: a file that cannot be imported leaves nothing.
        if (const QString problem = archive::CheckAccessSource(source); !problem.isEmpty())
            return context.validation(kInvalidAccessFileHead + kCrLf + problem + kCrLf +
                                      kNothingDoneOnServer);
        const QString directory = WithTrailingBackslash(panel.thirdField);
        Settings& settings = context.settings();
        settings.setValue(settingkeys::kDataDirectory, directory);
        settings.setValue(settingkeys::kSQLServerName, panel.server);
        settings.setValue(settingkeys::kDatabaseName, database);
        settings.setValue(settingkeys::kSQLUserName, panel.user);
        settings.setValue(settingkeys::kSQLPassword, panel.password);

        if (!makeDestination(context, directory)) {
            context.pointerDefault();
            OperationOutcome declined = OperationOutcome::completed();
            declined.declined = true;
            return declined;
        }

        const QString destination =
            BuildConnectionString(panel.server, database, panel.user, panel.password);
        const std::unique_ptr<dbport::Catalog> catalog = context.database().newCatalog();
        try {
            catalog->setActiveConnection(destination);
        } catch (const db::Error& error) {
            return OperationOutcome::trapped(error.number(), error.description(), true);
        }

        archive::ImportWork work{context.ui(), context.report(), context.registry(),
                                 context.database()};
        work.copyPhotos = panel.copyPhotos;
        QString errorText;
        if (!archive::DefineImportTables(database, destination, *catalog, errorText, work)) {
            context.pointerDefault();
            context.error(kInitializationError + kCr + errorText);
            return OperationOutcome::completed();
        }
        if (!archive::CheckAccessDuplicates(source, work)) {
            context.pointerDefault();
            context.error(kDuplicateCheckError + kCr + errorText);
            return OperationOutcome::completed();
        }
        const bool copied = archive::CopyAccessData(database, source, destination, errorText, work);
        const QString photos = reportPhotos(work);
        if (work.stopped)
            return stoppedImport(context, *work.stopped, photos);
        if (!copied)
            context.error(kCopyDataError + kCr + errorText);
        const QString differences = rowDifferences(source, destination, work);

        catalog->setActiveConnection(destination);
        const bool keyed =
            archive::DefineImportKeys(database, destination, *catalog, errorText, work);
        if (work.stopped)
            return stoppedImport(context, *work.stopped, photos);
        context.pointerDefault();
        OperationOutcome outcome = OperationOutcome::completed();
        outcome.incomplete = !keyed || !copied || !differences.isEmpty();
        if (!keyed)
            context.error(kKeysDefineError + database + QStringLiteral(": ") + kCr + errorText +
                          differences + photos);
        else if (copied && differences.isEmpty())
            context.success(kDatabase + database + kImportedSuccessfully + photos);
        else
            context.success(kDatabase + database + kNotFullyImported + differences + photos);
        return outcome;
    } catch (const db::Error& error) {
        return OperationOutcome::trapped(error.number(), error.description(), false);
    }
}

} // namespace sqllumo::server
