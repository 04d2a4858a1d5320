#pragma once
// Access archive files (.mdb, Jet 3 and Jet 4) read through libmdb, read-only, in the shape of
// a static read-only recordset: rows in the file's order, one row decoded at a time, with
// exact texts (an empty text stays empty, NULL stays NULL), dates of any year and NULLs.

#include "Error.h"
#include "SqlTypes.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

namespace sqllumo::db {

// ADO's code for a Jet date-time column (the SQL Server side reports 135).
namespace adotype {
inline constexpr int kDate = 7;
}

// The path inside an Access source string ("...;Data Source=<path>"); empty when it has none.
QString AccessSourcePath(const QString& sourceString);

// Days from 1899-12-30 (negative before it; the fraction is the time of day whatever the sign)
// as a date-time read on the wall clock (Qt::UTC), to the millisecond.
QDateTime AccessDateTime(double storedValue);

// The user tables of the Access file at path, in the order its catalogue lists them (system
// tables left out). Raises kConnectionFailed for a file that cannot be read as an Access database.
QStringList AccessTableNames(const QString& path);

// The name Access shows for one of its column type codes (AccessRecordset::fieldAccessType),
// such as "Text", "Long Integer" or "Memo".
QString AccessTypeName(int accessType);

namespace detail {
struct AccessRecordsetState;
}

class AccessRecordset {
public:
    AccessRecordset();
    ~AccessRecordset();
    AccessRecordset(AccessRecordset&&) noexcept;
    AccessRecordset& operator=(AccessRecordset&&) noexcept;
    AccessRecordset(const AccessRecordset&) = delete;
    AccessRecordset& operator=(const AccessRecordset&) = delete;

    // sourceString: the Access source string. statement: "SELECT * FROM T" (rows in the
    // file's order, read as they are walked) or "SELECT C FROM T ORDER BY C" (that column
    // read and sorted, NULLs first), or a bare table name. Raises kMissingTable for a table
    // the file does not have, kConnectionFailed for a file that cannot be read as an Access
    // database, kInvalidArgument for any other statement.
    void open(const QString& statement, const QString& sourceString);
    bool isOpen() const;
    void close();

    // Raise kClosedObject on a closed recordset.
    bool eof() const;
    bool bof() const;
    // Counted over the table's pages without decoding a row.
    long long recordCount() const;
    void moveFirst();
    void moveNext(); // raises kNoCurrentRow at EOF

    int fieldCount() const;
    QString fieldName(int index) const;
    int fieldType(int index) const; // ADO type code
    // The column's type code in the file (0x0A Text, 0x04 Long Integer, 0x0C Memo, ...).
    int fieldAccessType(int index) const;
    // The size the column was defined with: characters for Text, bytes for the fixed-size
    // types, 0 for Memo and OLE Object.
    int fieldDefinedSize(int index) const;
    // Null for NULL; int for byte, integer and long; bool; double for single, double, currency
    // and decimal; QDateTime; QString; QByteArray for OLE objects and binary data. Raises
    // kNoCurrentRow at BOF/EOF, kItemNotFound for an unknown name (naming it).
    QVariant value(int index) const;
    QVariant value(const QString& name) const;
    int fieldIndex(const QString& name) const; // -1 when absent

private:
    std::unique_ptr<detail::AccessRecordsetState> d_;
};

} // namespace sqllumo::db
