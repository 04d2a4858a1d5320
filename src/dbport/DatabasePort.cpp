// The database port's result sets as the functions read them.
#include "DatabasePort.h"

namespace sqllumo::dbport {

ResultSet::ResultSet(QStringList columns, std::vector<std::vector<QVariant>> rows)
    : open_(true), columns_(std::move(columns)), rows_(std::move(rows))
{
}

size_t ResultSet::rowCount() const
{
    if (!open_)
        throw db::Error(db::kClosedObject, db::texts::kClosedObject);
    return rows_.size();
}

QVariant ResultSet::value(size_t row, const QString& column) const
{
    if (!open_)
        throw db::Error(db::kClosedObject, db::texts::kClosedObject);
    for (qsizetype i = 0; i < columns_.size(); ++i) {
        if (columns_[i].compare(column, Qt::CaseInsensitive) == 0) {
            if (row >= rows_.size())
                throw db::Error(db::kNoCurrentRow, db::texts::kNoCurrentRow);
            const auto& values = rows_[row];
            return static_cast<size_t>(i) < values.size() ? values[static_cast<size_t>(i)]
                                                          : QVariant();
        }
    }
    throw db::Error(db::kItemNotFound, db::texts::kItemNotFound);
}

QVariant ResultSet::value(size_t row, int column) const
{
    if (!open_)
        throw db::Error(db::kClosedObject, db::texts::kClosedObject);
    if (column < 0 || column >= columns_.size())
        throw db::Error(db::kItemNotFound, db::texts::kItemNotFound);
    if (row >= rows_.size())
        throw db::Error(db::kNoCurrentRow, db::texts::kNoCurrentRow);
    const auto& values = rows_[row];
    const auto index = static_cast<size_t>(column);
    return index < values.size() ? values[index] : QVariant();
}

bool HasTable(Catalog& catalog, const QString& table)
{
    return catalog.tableNames().contains(table, Qt::CaseSensitive);
}

void CloseAfterFailure(Connection* connection)
{
    if (!connection)
        return;
    try {
        connection->close();
    } catch (const db::Error&) {
    }
}

} // namespace sqllumo::dbport
