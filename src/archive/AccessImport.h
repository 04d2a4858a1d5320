#pragma once
// The four steps of the Access import: the 20 tables defined without keys, the source's keys
// checked for duplicates, every row copied with its own identifiers, then keys and indexes.
// Each step writes its report lines and drives the progress frame through the port.

#include <QString>
#include <QStringList>

#include <vector>

namespace sqllumo {
class ReportBuffer;
class TestResultRegistry;
class UserInterface;
namespace db {
class AccessRecordset;
class Catalog;
} // namespace db
} // namespace sqllumo

namespace sqllumo::archive {

// What the steps use besides their own arguments, and what they count for the caller.
struct ImportWork {
    UserInterface& ui;
    ReportBuffer& report;
    TestResultRegistry& registry; // GEN_Tables, as the table definition step leaves it
    long long batchesSent = 0;    // statement batches sent to the destination by the steps
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

// Each returns true when it ran to its end; false with errorText set (description and
// number, as the error messages show it) when an error stopped it. databaseName is used in
// the report lines only; the catalogue is bound by the caller to the destination string.
bool DefineImportTables(const QString& databaseName, const QString& destination,
                        db::Catalog& catalog, QString& errorText, ImportWork& work);
// One message per duplicate key value found; raises db::Error when the source cannot be read
// (the caller's general trap reports it).
bool CheckAccessDuplicates(const QString& source, ImportWork& work);
bool CopyAccessData(const QString& databaseName, const QString& source, const QString& destination,
                    QString& errorText, ImportWork& work);
bool DefineImportKeys(const QString& databaseName, const QString& destination, db::Catalog& catalog,
                      QString& errorText, ImportWork& work);

// What the copy sends for the current row of a source table: its insert statement, dates
// included.
QString CopyInsertStatement(const QString& table, const db::AccessRecordset& rows);

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
