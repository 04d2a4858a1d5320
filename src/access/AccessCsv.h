#pragma once
// One table of any Access file as CSV, walked in the file's order: names in double quotes,
// NULL as an empty field, numbers as plain decimals that read back to the stored value, dates
// as Access reads them, binary values as upper-case hex.

#include <QString>
#include <QVariant>

class QTextStream;

namespace sqllumo::db {

// value as the reader gives it; adoType: the reader's type code of its column.
QString CsvField(const QVariant& value, int adoType);

enum class CsvOutcome {
    Done,
    FileUnreadable,
    TableUnreadable, // not among the file's user tables, or its definition cannot be read
    RowUnreadable,   // the rows before it were written
};

// Writes the header line and every row, each ended by "\n"; error says what went wrong
// otherwise.
CsvOutcome WriteAccessTableCsv(const QString& path, const QString& table, QTextStream& out,
                               QString& error);

} // namespace sqllumo::db
