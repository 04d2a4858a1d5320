// The counting wrappers around a provider's connections and catalogues.
#include "CountingProvider.h"

namespace sqllumo::server {

namespace {

class CountingConnection : public dbport::Connection {
public:
    CountingConnection(std::unique_ptr<dbport::Connection> inner, SentCounts& counts,
                       const CountingProvider::StatementHook& beforeSend)
        : inner_(std::move(inner)), counts_(counts), beforeSend_(beforeSend)
    {
    }
    void open(const QString& connectionString) override { inner_->open(connectionString); }
    void setCommandTimeout(int seconds) override { inner_->setCommandTimeout(seconds); }
    void execute(const QString& statement) override
    {
        note(statement);
        inner_->execute(statement);
    }
    void executeAtomically(const QStringList& statements) override
    {
        for (const QString& statement : statements)
            note(statement);
        inner_->executeAtomically(statements);
    }
    dbport::ResultSet query(const QString& statement) override
    {
        note(statement);
        return inner_->query(statement);
    }
    std::unique_ptr<dbport::UpdatableRows> openUpdatable(const QString& selectStatement) override
    {
        note(selectStatement);
        return inner_->openUpdatable(selectStatement);
    }
    void writeBytesToCurrentRow(const QString& selectStatement, const QString& field,
                                const QByteArray& bytes) override
    {
        note(selectStatement);
        inner_->writeBytesToCurrentRow(selectStatement, field, bytes);
    }
    void close() override { inner_->close(); }
    long long batchesSent() const override { return inner_->batchesSent(); }
    dbport::TransportState transport() override { return inner_->transport(); }

private:
    void note(const QString& statement)
    {
        ++counts_.statements;
        counts_.texts << statement;
        if (beforeSend_)
            beforeSend_(statement);
    }
    std::unique_ptr<dbport::Connection> inner_;
    SentCounts& counts_;
    const CountingProvider::StatementHook& beforeSend_;
};

class CountingCatalog : public dbport::Catalog {
public:
    CountingCatalog(std::unique_ptr<dbport::Catalog> inner, SentCounts& counts)
        : inner_(std::move(inner)), counts_(counts)
    {
    }
    void setActiveConnection(const QString& connectionString) override
    {
        inner_->setActiveConnection(connectionString);
    }
    QStringList tableNames() override
    {
        ++counts_.catalogueReads;
        return inner_->tableNames();
    }
    void refresh() override
    {
        ++counts_.catalogueReads;
        inner_->refresh();
    }
    std::vector<dbport::CatalogColumn> columns(const QString& table) override
    {
        ++counts_.catalogueReads;
        return inner_->columns(table);
    }
    void appendIndex(const QString& table, const QString& indexName, const QString& column) override
    {
        ++counts_.indexes;
        counts_.texts << QStringLiteral("index %1 on %2 (%3)").arg(indexName, table, column);
        inner_->appendIndex(table, indexName, column);
    }
    dbport::ResultSet query(const QString& statement) override
    {
        ++counts_.statements;
        counts_.texts << statement;
        return inner_->query(statement);
    }

private:
    std::unique_ptr<dbport::Catalog> inner_;
    SentCounts& counts_;
};

} // namespace

std::unique_ptr<dbport::Connection> CountingProvider::newConnection()
{
    return std::make_unique<CountingConnection>(inner_.newConnection(), counts_, beforeSend_);
}

std::unique_ptr<dbport::Catalog> CountingProvider::newCatalog()
{
    return std::make_unique<CountingCatalog>(inner_.newCatalog(), counts_);
}

} // namespace sqllumo::server
