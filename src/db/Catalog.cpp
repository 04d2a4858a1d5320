// The schema catalogue: table and column lists read from INFORMATION_SCHEMA, and index
// creation, over a connection of the catalogue's own.
#include "Catalog.h"

#include "Session.h"
#include "SqlText.h"

#include <algorithm>

namespace sqllumo::db {

Catalog::Catalog() = default;
Catalog::~Catalog() = default;

void Catalog::setActiveConnection(const QString& connectionString)
{
    tables_.reset();
    connection_.open(connectionString);
}

bool Catalog::isOpen() const
{
    return connection_.isOpen();
}

Connection& Catalog::connection()
{
    return connection_;
}

std::vector<std::unique_ptr<Table>>& Catalog::tables()
{
    if (!connection_.isOpen())
        throw Error(kClosedObject, texts::kClosedObject);
    if (!tables_) {
        Recordset rs = connection_.query(
            QStringLiteral("SELECT TABLE_SCHEMA, TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE "
                           "TABLE_TYPE = 'BASE TABLE'"));
        std::vector<std::pair<QString, QString>> names;
        for (; rs.isOpen() && !rs.eof(); rs.moveNext())
            names.emplace_back(rs.value(0).toString(), rs.value(1).toString());
        // Binary order of the exact names, whatever the server's collation sorts by.
        std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) {
            return a.second != b.second ? a.second < b.second : a.first < b.first;
        });
        std::vector<std::unique_ptr<Table>> tables;
        for (auto& [schema, name] : names) {
            auto table = std::unique_ptr<Table>(new Table(this, name));
            table->schema_ = schema;
            tables.push_back(std::move(table));
        }
        tables_ = std::move(tables);
    }
    return *tables_;
}

int Catalog::tableCount()
{
    return static_cast<int>(tables().size());
}

Table& Catalog::table(int index)
{
    auto& all = tables();
    if (index < 0 || index >= static_cast<int>(all.size()))
        throw Error(kItemNotFound, texts::kItemNotFound);
    return *all[static_cast<size_t>(index)];
}

Table* Catalog::findTable(const QString& name)
{
    for (auto& t : tables())
        if (t->name() == name)
            return t.get();
    return nullptr;
}

Table& Catalog::table(const QString& name)
{
    if (Table* t = findTable(name))
        return *t;
    throw Error(kItemNotFound, texts::kItemNotFound);
}

QStringList Catalog::tableNames()
{
    QStringList names;
    for (auto& t : tables())
        names << t->name();
    return names;
}

void Catalog::refresh()
{
    tables_.reset();
    if (auto session = connection_.session())
        session->forgetTables();
}

const std::vector<Column>& Table::columns()
{
    if (!columns_) {
        Connection& connection = owner_->connection();
        if (!connection.isOpen())
            throw Error(kClosedObject, texts::kClosedObject);
        const detail::TableInfo* info =
            connection.session()->table(schema_, name_, connection.commandTimeout());
        if (!info)
            throw Error(kMissingTable, QStringLiteral("Invalid object name '%1'.").arg(name_), 208);
        std::vector<Column> columns;
        for (const auto& c : info->columns)
            columns.push_back({c.name, c.adoType, c.definedSize, c.nullable});
        columns_ = std::move(columns);
    }
    return *columns_;
}

const Column* Table::findColumn(const QString& name)
{
    for (const auto& c : columns())
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

void Table::appendIndex(const Index& index)
{
    if (index.name.isEmpty() || index.columns.isEmpty())
        throw Error(kInvalidArgument,
                    QStringLiteral("An index needs a name and at least one column."));
    QStringList columns;
    for (const QString& c : index.columns)
        columns << QuotedIdentifier(c) + QStringLiteral(" ASC");
    owner_->connection().execute(
        QStringLiteral("CREATE ") + (index.unique ? QStringLiteral("UNIQUE ") : QString()) +
        (index.clustered ? QStringLiteral("CLUSTERED") : QStringLiteral("NONCLUSTERED")) +
        QStringLiteral(" INDEX ") + QuotedIdentifier(index.name) + QStringLiteral(" ON ") +
        QuotedQualifiedName({schema_, name_}) + QStringLiteral(" (") +
        columns.join(QStringLiteral(", ")) + QLatin1Char(')'));
}

} // namespace sqllumo::db
