// The database port's result sets as the operations read them, and the error text every long
// operation hands back.
#include "DatabasePort.h"

namespace sqllumo::dbport {

namespace {
const QString kClosedObjectText =
    QStringLiteral("Operation is not allowed when the object is closed.");
const QString kItemNotFoundText =
    QStringLiteral("Item cannot be found in the collection corresponding to the requested name "
                   "or ordinal.");
} // namespace

QString SignedNumber(long long number)
{
    return number < 0 ? QString::number(number) : QLatin1Char(' ') + QString::number(number);
}

QString ErrorText(const Error& error)
{
    return error.description() + SignedNumber(error.number());
}

ResultSet::ResultSet(QStringList columns, std::vector<std::vector<QVariant>> rows)
    : open_(true), columns_(std::move(columns)), rows_(std::move(rows))
{
}

size_t ResultSet::rowCount() const
{
    if (!open_)
        throw Error(kClosedObjectError, kClosedObjectText);
    return rows_.size();
}

QVariant ResultSet::value(size_t row, const QString& column) const
{
    if (!open_)
        throw Error(kClosedObjectError, kClosedObjectText);
    for (qsizetype i = 0; i < columns_.size(); ++i) {
        if (columns_[i].compare(column, Qt::CaseInsensitive) == 0) {
            if (row >= rows_.size())
                throw Error(3021, QStringLiteral("Either BOF or EOF is True, or the current record "
                                                 "has been deleted. Requested operation requires a "
                                                 "current record."));
            const auto& values = rows_[row];
            return static_cast<size_t>(i) < values.size() ? values[static_cast<size_t>(i)]
                                                          : QVariant();
        }
    }
    throw Error(kItemNotFound, kItemNotFoundText);
}

void CloseAfterFailure(Connection* connection)
{
    if (!connection)
        return;
    try {
        connection->close();
    } catch (const Error&) {
    }
}

} // namespace sqllumo::dbport
