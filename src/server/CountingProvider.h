#pragma once
// Wraps a provider and counts what goes to the server through it: statements sent, indexes
// appended and catalogue reads. Used to show that a run sent nothing, by the benchmark, and to
// change what the server holds at an exact step of an operation.

#include "DatabasePort.h"

#include <QStringList>

#include <functional>

namespace sqllumo::server {

struct SentCounts {
    int statements = 0;     // execute, query, updatable opens and the updatable write
    int indexes = 0;        // catalogue index appends
    int catalogueReads = 0; // table lists, refreshes, column lists
    QStringList texts;      // the statements, in order

    int total() const { return statements + indexes + catalogueReads; }
};

class CountingProvider : public dbport::Provider {
public:
    explicit CountingProvider(dbport::Provider& inner) : inner_(inner) {}

    std::unique_ptr<dbport::Connection> newConnection() override;
    std::unique_ptr<dbport::Catalog> newCatalog() override;

    const SentCounts& counts() const { return counts_; }
    void reset() { counts_ = {}; }
    // Called with each statement just before it is sent.
    using StatementHook = std::function<void(const QString& statement)>;
    void setBeforeSend(StatementHook hook) { beforeSend_ = std::move(hook); }

private:
    dbport::Provider& inner_;
    SentCounts counts_;
    StatementHook beforeSend_;
};

} // namespace sqllumo::server
