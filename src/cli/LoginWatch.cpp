// Connections and catalogues that pass everything on and report their first successful open.
#include "LoginWatch.h"

namespace sqllumo::cli {

namespace {

class WatchedConnection : public dbport::Connection {
public:
    WatchedConnection(std::unique_ptr<dbport::Connection> inner, std::function<void()> opened)
        : inner_(std::move(inner)), opened_(std::move(opened))
    {
    }
    void open(const QString& connectionString) override
    {
        inner_->open(connectionString);
        opened_();
    }
    void setCommandTimeout(int seconds) override { inner_->setCommandTimeout(seconds); }
    void execute(const QString& statement) override { inner_->execute(statement); }
    void executeAtomically(const QStringList& statements) override
    {
        inner_->executeAtomically(statements);
    }
    dbport::ResultSet query(const QString& statement) override { return inner_->query(statement); }
    std::unique_ptr<dbport::UpdatableRows> openUpdatable(const QString& selectStatement) override
    {
        return inner_->openUpdatable(selectStatement);
    }
    void writeBytesToCurrentRow(const QString& selectStatement, const QString& field,
                                const QByteArray& bytes) override
    {
        inner_->writeBytesToCurrentRow(selectStatement, field, bytes);
    }
    void close() override { inner_->close(); }
    long long batchesSent() const override { return inner_->batchesSent(); }
    dbport::TransportState transport() override { return inner_->transport(); }

private:
    std::unique_ptr<dbport::Connection> inner_;
    std::function<void()> opened_;
};

class WatchedCatalog : public dbport::Catalog {
public:
    WatchedCatalog(std::unique_ptr<dbport::Catalog> inner, std::function<void()> opened)
        : inner_(std::move(inner)), opened_(std::move(opened))
    {
    }
    void setActiveConnection(const QString& connectionString) override
    {
        inner_->setActiveConnection(connectionString);
        opened_();
    }
    QStringList tableNames() override { return inner_->tableNames(); }
    void refresh() override { inner_->refresh(); }
    std::vector<dbport::CatalogColumn> columns(const QString& table) override
    {
        return inner_->columns(table);
    }
    dbport::ResultSet query(const QString& statement) override { return inner_->query(statement); }
    void appendIndex(const QString& table, const QString& indexName, const QString& column) override
    {
        inner_->appendIndex(table, indexName, column);
    }

private:
    std::unique_ptr<dbport::Catalog> inner_;
    std::function<void()> opened_;
};

} // namespace

std::unique_ptr<dbport::Connection> LoginWatchingProvider::newConnection()
{
    return std::make_unique<WatchedConnection>(inner_.newConnection(),
                                               [this] { loginSucceeded(); });
}

std::unique_ptr<dbport::Catalog> LoginWatchingProvider::newCatalog()
{
    return std::make_unique<WatchedCatalog>(inner_.newCatalog(), [this] { loginSucceeded(); });
}

void LoginWatchingProvider::loginSucceeded()
{
    if (loggedIn_)
        return;
    loggedIn_ = true;
    if (firstLogin_)
        firstLogin_();
}

} // namespace sqllumo::cli
