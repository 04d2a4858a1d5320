// The database port bound to the database layer (src/db); its errors pass through unchanged,
// since both speak db::Error.
#include "OdbcProvider.h"

#include "Catalog.h"
#include "Connection.h"
#include "Recordset.h"

namespace sqllumo::dbport {

namespace {

dbport::ResultSet toResultSet(db::Recordset& rs)
{
    if (!rs.isOpen())
        return dbport::ResultSet();
    db::Fields fields = rs.fields();
    QStringList names;
    for (int i = 0; i < fields.count(); ++i)
        names << fields.item(i).name();
    std::vector<std::vector<QVariant>> rows;
    rows.reserve(static_cast<size_t>(rs.recordCount()));
    for (; !rs.eof(); rs.moveNext()) {
        std::vector<QVariant> row;
        row.reserve(static_cast<size_t>(names.size()));
        for (int i = 0; i < names.size(); ++i)
            row.push_back(rs.value(i));
        rows.push_back(std::move(row));
    }
    return dbport::ResultSet(names, std::move(rows));
}

// The layer's updatable recordset: keyset, optimistic, as every changing function opens it.
class DbUpdatableRows : public dbport::UpdatableRows {
public:
    DbUpdatableRows(const QString& select, db::Connection& connection)
    {
        rows_.open(select, connection, db::CursorType::Keyset, db::LockType::Optimistic);
    }
    size_t rowCount() const override { return static_cast<size_t>(rows_.recordCount()); }
    bool eof() const override { return rows_.eof(); }
    void moveFirst() override { rows_.moveFirst(); }
    void moveNext() override { rows_.moveNext(); }
    QVariant value(const QString& field) const override { return rows_.value(field); }
    void addNew() override { rows_.addNew(); }
    void setValue(const QString& field, const QVariant& value) override
    {
        rows_.field(field).setValue(value);
    }
    void update() override { rows_.update(); }
    void close() override { rows_.close(); }
    void setBatchUpdates(bool on) override { rows_.setBatchUpdates(on); }
    void sendUpdates() override { rows_.sendUpdates(); }
    size_t updatesWritten() const override { return rows_.updatesWritten(); }

private:
    db::Recordset rows_;
};

class DbConnection : public dbport::Connection {
public:
    void open(const QString& connectionString) override { connection_.open(connectionString); }
    void setCommandTimeout(int seconds) override { connection_.setCommandTimeout(seconds); }
    void execute(const QString& statement) override { connection_.execute(statement); }
    void executeAtomically(const QStringList& statements) override
    {
        connection_.executeAtomically(statements);
    }
    dbport::ResultSet query(const QString& statement) override
    {
        db::Recordset rs = connection_.query(statement);
        return toResultSet(rs);
    }
    std::unique_ptr<dbport::UpdatableRows> openUpdatable(const QString& selectStatement) override
    {
        return std::make_unique<DbUpdatableRows>(selectStatement, connection_);
    }
    void writeBytesToCurrentRow(const QString& selectStatement, const QString& field,
                                const QByteArray& bytes) override
    {
        db::Recordset rs;
        rs.open(selectStatement, connection_, db::CursorType::Keyset, db::LockType::Optimistic);
        // A byte array into a text column is stored as upper-case hexadecimal text; the
        // recordset's field assignment does that conversion.
        rs.field(field).setValue(bytes);
        rs.update();
        rs.close();
    }
    void close() override { connection_.close(); }
    long long batchesSent() const override { return connection_.batchesSent(); }
    TransportState transport() override { return connection_.transport(); }

private:
    db::Connection connection_;
};

class DbCatalog : public dbport::Catalog {
public:
    void setActiveConnection(const QString& connectionString) override
    {
        catalog_.setActiveConnection(connectionString);
    }
    QStringList tableNames() override { return catalog_.tableNames(); }
    void refresh() override { catalog_.refresh(); }
    std::vector<dbport::CatalogColumn> columns(const QString& table) override
    {
        std::vector<dbport::CatalogColumn> columns;
        for (const db::Column& c : catalog_.table(table).columns())
            columns.push_back({c.name, c.type, static_cast<int>(c.definedSize)});
        return columns;
    }
    void appendIndex(const QString& table, const QString& indexName, const QString& column) override
    {
        catalog_.table(table).appendIndex({indexName, {column}});
    }
    dbport::ResultSet query(const QString& statement) override
    {
        db::Recordset rs = catalog_.connection().query(statement);
        return toResultSet(rs);
    }

private:
    db::Catalog catalog_;
};

class DbProvider : public dbport::Provider {
public:
    std::unique_ptr<dbport::Connection> newConnection() override
    {
        return std::make_unique<DbConnection>();
    }
    std::unique_ptr<dbport::Catalog> newCatalog() override { return std::make_unique<DbCatalog>(); }
};

} // namespace

std::unique_ptr<Provider> MakeOdbcProvider()
{
    return std::make_unique<DbProvider>();
}

} // namespace sqllumo::dbport
