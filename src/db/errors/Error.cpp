// The failure type and the texts of the errors raised on the program's side.
#include "Error.h"

namespace sqllumo::db {

Error::Error(long number, QString description, long nativeError, QString sqlState)
    : number_(number), description_(std::move(description)), nativeError_(nativeError),
      sqlState_(std::move(sqlState)), what_(description_.toUtf8())
{
}

QString SignedNumber(long long number)
{
    return number < 0 ? QString::number(number) : QLatin1Char(' ') + QString::number(number);
}

QString ErrorText(const Error& error)
{
    return error.description() + SignedNumber(error.number());
}

namespace texts {
const QString kClosedObject = QStringLiteral("Operation is not allowed when the object is closed.");
const QString kNoCurrentRow =
    QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                   "Requested operation requires a current record.");
const QString kItemNotFound = QStringLiteral(
    "Item cannot be found in the collection corresponding to the requested name or ordinal.");
const QString kRowNotLocated = QStringLiteral(
    "Row cannot be located for updating. Some values may have been changed since it was last "
    "read.");
const QString kTooManyRows = QStringLiteral(
    "Key column information is insufficient or incorrect. Too many rows were affected by "
    "update.");
const QString kNotUpdatable =
    QStringLiteral("Current Recordset does not support updating. This may be a limitation of "
                   "the provider, or of the selected locktype.");
const QString kNoKeyColumns =
    QStringLiteral("Insufficient key column information for updating or refreshing.");
const QString kTimeoutExpired = QStringLiteral("Timeout expired");
const QString kSubscriptOutOfRange = QStringLiteral("Subscript out of range");
} // namespace texts

} // namespace sqllumo::db
