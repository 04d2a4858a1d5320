#pragma once
// The four steps of the Access import: the 20 tables defined without keys, the source's keys
// checked for duplicates, every row copied with its own identifiers, then keys and indexes.
// Each step writes its report lines and drives the progress frame through the port, and
// reaches the destination only through the database port.

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace sqllumo {
class ReportBuffer;
class TestResultRegistry;
class UserInterface;
namespace db {
class AccessRecordset;
}
namespace dbport {
class Catalog;
class Provider;
} // namespace dbport
} // namespace sqllumo

namespace sqllumo::archive {

// Where the person's stop request ended the copy or the key step.
struct ImportStop {
    QString table;           // the table in progress
    bool duringKeys = false; // in the key step rather than the copy
    long long copied = 0;    // rows of the table copied before the stop
    long long rows = 0;      // rows of the table in the source
    QString nextRow;         // the first row not copied ("ID_Patient = 5"); empty when none
};

// What the steps use besides their own arguments, and what they count for the caller.
struct ImportWork {
    UserInterface& ui;
    ReportBuffer& report;
    TestResultRegistry& registry; // GEN_Tables, as the table definition step leaves it
    dbport::Provider& database;   // each step opens its connection to the destination here
    long long batchesSent = 0;    // statement batches sent to the destination by the steps
    // The patients' photos go with their rows only when asked for: the clinical application
    // may rely on the column being empty.
    bool copyPhotos = false;
    QStringList photosLeft{};   // ID_Patient of each copied patient whose photo was left out
    long long photosCopied = 0; // photos copied with their rows
    // Set when the copy or the key step stopped at the person's request.
    std::optional<ImportStop> stopped{};
};

// Table names in the order the rows are copied.
const QStringList& CopyOrder();
// The eight statistics tables an older source may lack.
bool IsStatisticsTable(const QString& table);
// The source columns the copy reads of a table, as the source names them ("FreeText", not
// "[FreeText]"); T_Patient's Photo is not among them. Empty for a table that is not copied.
QStringList CopiedColumns(const QString& table);
// Whether the copy writes something else for a NULL in the column: a fixed value, another
// column's value, or No for a yes/no column.
bool CopyFillsNull(const QString& table, const QString& column);

// Reads the source's catalogue before anything is made on the server: every table the copy
// needs, and each column it reads of every table present. Empty when the file can be
// imported; otherwise what is wrong with it, in a sentence the person can act on.
QString CheckAccessSource(const QString& source);

// Each returns true when it ran to its end; false with errorText set (description and
// number, as the error messages show it) when an error stopped it. databaseName is used in
// the report lines only; the catalogue is bound by the caller to the destination string.
bool DefineImportTables(const QString& databaseName, const QString& destination,
                        dbport::Catalog& catalog, QString& errorText, ImportWork& work);
// One message per duplicate key value found; raises db::Error when the source cannot be read
// (the caller's general trap reports it).
bool CheckAccessDuplicates(const QString& source, ImportWork& work);
// CopyAccessData and DefineImportKeys check for a stop request after letting pending events
// through: a stop ends them with false, an empty errorText, work.stopped set and a report line
// saying where they stopped and what had been copied.
bool CopyAccessData(const QString& databaseName, const QString& source, const QString& destination,
                    QString& errorText, ImportWork& work);
bool DefineImportKeys(const QString& databaseName, const QString& destination,
                      dbport::Catalog& catalog, QString& errorText, ImportWork& work);

// What the copy sends for the current row of a source table: its insert statement, dates
// included, and the photo of a patient when copyPhotos is set.
QString CopyInsertStatement(const QString& table, const db::AccessRecordset& rows,
                            bool copyPhotos = false);
// Where a stop ended the import and what had been copied by then, as the report says it.
QString ImportStopReport(const ImportStop& stop);
// "3 patients had a photo that was not copied", or empty when none had.
QString PhotosNotCopiedSentence(qsizetype patients);

// Rows of one table in the source and in the destination after the copy.
struct TableRowCount {
    QString table;
    bool inSource = true;
    long long source = 0;
    long long destination = 0;
    bool matches() const { return source == destination; }
};
// Counts both sides of every table, appends one report line per table and returns the counts.
// Raises db::Error when either side cannot be counted.
std::vector<TableRowCount> VerifyImportedRows(const QString& source, const QString& destination,
                                              ImportWork& work);

} // namespace sqllumo::archive
