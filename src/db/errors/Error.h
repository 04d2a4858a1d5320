#pragma once
// The program's one catalogue of database failures: the failure type, its numbers and texts,
// used alike by the database layer, the database port and the operations. Numbers follow
// ADO's conventions so that error texts read as the program's users know them; the server's
// own error number travels alongside.

#include <QByteArray>
#include <QString>

#include <exception>

namespace sqllumo::db {

// ADO's numbers.
inline constexpr long kUnspecifiedError = -2147467259;       // E_FAIL: no number of its own
inline constexpr long kServerError = -2147217900;            // the server reported an error
inline constexpr long kConnectionFailed = kUnspecifiedError; // connection or login failed
inline constexpr long kMissingTable = -2147217865;           // "Invalid object name" (server 208)
inline constexpr long kQueryTimeout = -2147217871;           // the command time-out expired
inline constexpr long kRowNotLocated = -2147217864;          // optimistic update found no row
inline constexpr long kTooManyRows = kUnspecifiedError;      // update would touch several rows
inline constexpr long kClosedObject = 3704;                  // operation on a closed object
inline constexpr long kNoCurrentRow = 3021;                  // BOF or EOF
inline constexpr long kItemNotFound = 3265;                  // no field or table of that name
inline constexpr long kNotUpdatable = 3251;                  // read-only recordset or field
inline constexpr long kInvalidArgument = 3001;               // bad argument (bad connection string)

// The run-time numbers of failures found on this side, as the program's users know them.
inline constexpr long kSubscriptOutOfRange = 9; // a rights matrix with fewer cells than announced
inline constexpr long kFileAccessError = 75;    // a file (the report log) could not be written
inline constexpr long kInvalidUseOfNull = 94;   // NULL where the database requires a value

class Error : public std::exception {
public:
    // nativeError: the server's own number (0 when the failure came from this side).
    Error(long number, QString description, long nativeError = 0, QString sqlState = {});

    long number() const { return number_; }
    const QString& description() const { return description_; }
    long nativeError() const { return nativeError_; }
    // The ODBC SQLSTATE behind it, empty when the layer itself raised the error.
    const QString& sqlState() const { return sqlState_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    long number_;
    QString description_;
    long nativeError_;
    QString sqlState_;
    QByteArray what_;
};

// The description followed directly by the number with its sign position: a blank before a
// number that is not negative ("... 3704", "...-2147217900").
QString ErrorText(const Error& error);
QString SignedNumber(long long number);

// The texts of the errors raised on this side, kept where every raiser finds them.
namespace texts {
extern const QString kClosedObject;   // "Operation is not allowed when the object is closed."
extern const QString kNoCurrentRow;   // "Either BOF or EOF is True, or the current record ..."
extern const QString kItemNotFound;   // "Item cannot be found in the collection ..."
extern const QString kRowNotLocated;  // "Row cannot be located for updating. ..."
extern const QString kTooManyRows;    // "Key column information is insufficient or incorrect. ..."
extern const QString kNotUpdatable;   // "Current Recordset does not support updating. ..."
extern const QString kNoKeyColumns;   // "Insufficient key column information for updating ..."
extern const QString kTimeoutExpired; // "Timeout expired", as the driver says it
extern const QString kSubscriptOutOfRange; // "Subscript out of range"
} // namespace texts

} // namespace sqllumo::db
