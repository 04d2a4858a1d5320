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
#include "ServerSteps.h"
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
        ExecuteStep(*master, DropDatabaseStatement(database),
                    [&] { return kDropStepFailed.arg(database); });
    }
    ExecuteStep(*master, CreateDatabaseStatement(database, directory),
                [&] { return kCreateStepFailed.arg(database) + kCheckDirectory.arg(directory); });
    master->close();
    return true;
}

// A clinic must know that nothing was lost: every table's rows counted on both sides.
struct RowComparison {
    QString differences; // the tables that differ, as lines for the final message
    QString summary;     // every table's rows on both sides, those that differ first
};

// One line of the counts: mark, table, rows in the source, rows in the database, aligned.
QString countLine(const QString& mark, const QString& table, const QString& source,
                  const QString& database)
{
    return QStringLiteral("%1 %2 %3 %4\n")
        .arg(mark, -2)
        .arg(table, -21)
        .arg(source, 10)
        .arg(database, 10);
}

RowComparison compareRows(const QString& source, const QString& destination,
                          archive::ImportWork& work)
{
    RowComparison result;
    QString matching;
    try {
        for (const archive::TableRowCount& count :
             archive::VerifyImportedRows(source, destination, work)) {
            const QString sourceRows =
                count.inSource ? QString::number(count.source) : kNotInSourceCell;
            const QString line = countLine(count.matches() ? QString() : kProblemMark, count.table,
                                           sourceRows, QString::number(count.destination));
            (count.matches() ? matching : result.summary) += line;
            if (!count.matches())
                result.differences +=
                    kCrLf + archive::texts::kTableWord + count.table + QStringLiteral(": ") +
                    QString::number(count.source) + archive::texts::kRowsInTheSource +
                    QString::number(count.destination) + archive::texts::kInTheDatabase;
        }
        result.summary = kRowCountsHeading +
                         countLine(QString(), kTableColumn, kSourceColumn, kDatabaseColumn) +
                         result.summary + matching;
    } catch (const db::Error& error) {
        result.differences += kCrLf + kRowsNotCompared + error.description();
        result.summary = kRowsNotCompared + error.description();
    }
    if (!result.differences.isEmpty())
        result.differences.prepend(kCrLf + kRowsDiffer);
    return result;
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
    OperationOutcome outcome =
        context.succeeded(kDatabase + database + kNotFullyImported + kCrLf +
                          archive::ImportStopReport(stop) + kCrLf + incomplete + photos);
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
        if (!archive::DefineImportTables(database, destination, *catalog, errorText, work))
            return context.failed(kInitializationError + kCr + errorText);
        if (!archive::CheckAccessDuplicates(source, work))
            return context.failed(kDuplicateCheckError + kCr + errorText);
        const bool copied = archive::CopyAccessData(database, source, destination, errorText, work);
        const QString photos = reportPhotos(work);
        if (work.stopped)
            return stoppedImport(context, *work.stopped, photos);
        if (!copied)
            context.error(kCopyDataError + kCr + errorText);
        const RowComparison rows = compareRows(source, destination, work);
        const QString& differences = rows.differences;

        catalog->setActiveConnection(destination);
        const bool keyed =
            archive::DefineImportKeys(database, destination, *catalog, errorText, work);
        if (work.stopped) {
            OperationOutcome stopped = stoppedImport(context, *work.stopped, photos);
            stopped.summary = rows.summary;
            return stopped;
        }
        OperationOutcome outcome =
            !keyed ? context.failed(kKeysDefineError + database + QStringLiteral(": ") + kCr +
                                    errorText + differences + photos)
            : copied && differences.isEmpty()
                ? context.succeeded(kDatabase + database + kImportedSuccessfully + photos)
                : context.succeeded(kDatabase + database + kNotFullyImported + differences +
                                    photos);
        outcome.incomplete = !keyed || !copied || !differences.isEmpty();
        outcome.summary = rows.summary;
        return outcome;
    } catch (const StepFailure& failure) {
        return FailedStepOutcome(failure);
    } catch (const db::Error& error) {
        return OperationOutcome::trapped(error.number(), error.description(), false);
    }
}

} // namespace sqllumo::server
