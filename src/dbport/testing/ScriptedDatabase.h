#pragma once
// An in-memory database port for rule tests: records everything sent through it, in order, and
// answers queries from a script, so the rules of a function can be checked statement by
// statement without a server.

#include "DatabasePort.h"

#include <QStringList>
#include <QVariant>

#include <deque>
#include <iosfwd>
#include <map>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

namespace sqllumo::dbport::testing {

// One thing that reached the database.
struct Sent {
    enum class Kind {
        Open,          // a connection opened: text is the connection string
        CatalogOpen,   // a catalogue bound: text is the connection string
        Timeout,       // text is the seconds
        Execute,       // text is the statement
        Query,         // text is the statement (a connection's or a catalogue's)
        OpenUpdatable, // text is the select
        Insert,        // a new row written: text is the select, values as assigned
        Update,        // a row's changes written: text is the select, row its position
        WriteBytes,    // text is the select, one value: the bytes
        AppendIndex,   // text is "index on table (column)"
        RolledBack,    // statements sent together and refused as a whole: text is them, a line each
        Close,
    };
    Sent() = default;
    Sent(Kind kind, QString text, std::vector<std::pair<QString, QVariant>> values = {},
         int row = -1)
        : kind(kind), text(std::move(text)), values(std::move(values)), row(row)
    {
    }

    Kind kind = Kind::Execute;
    QString text;
    std::vector<std::pair<QString, QVariant>> values;
    int row = -1;

    bool operator==(const Sent&) const = default;
};

using Fields = std::vector<std::pair<QString, QVariant>>;

void PrintTo(const Sent& sent, std::ostream* out);

class ScriptedDatabase : public Provider {
public:
    // --- Script ---
    // The next time the statement is sent (query, updatable open or execute) it gets this
    // answer; answers to one statement queue up and the last one stays for later sends.
    void answer(const QString& statement, ResultSet result);
    void answer(const QString& statement, const QStringList& columns,
                const std::vector<std::vector<QVariant>>& rows = {});
    // The statement raises the error when it is sent (queued as answers are). Sent with
    // others in one transaction, it makes the server refuse them all: none is recorded as
    // executed, and the error stays scripted for the next send.
    void fail(const QString& statement, const db::Error& error);
    // The next connection or catalogue to open raises the error.
    void failNextOpen(const db::Error& error);
    // The nth row written through updatable rows (1 for the first) raises the error.
    void failWrite(int ordinal, const db::Error& error);
    void setTables(const QStringList& tables) { tables_ = tables; }
    void setColumns(const QString& table, std::vector<CatalogColumn> columns);

    // --- What was sent ---
    const std::vector<Sent>& sent() const { return sent_; }
    // The statements alone (executed, queried, opened for changes), in order.
    QStringList statements() const;
    // The rows written (Insert and Update), in order.
    std::vector<Sent> writes() const;
    // Queries that found no answer in the script; they got an empty result.
    const QStringList& unscripted() const { return unscripted_; }
    // Connections and catalogues opened and not closed.
    int openCount() const { return openCount_; }

    // --- Provider ---
    std::unique_ptr<Connection> newConnection() override;
    std::unique_ptr<Catalog> newCatalog() override;

    // For the fake's own connections.
    void record(Sent sent) { sent_.push_back(std::move(sent)); }
    void opening(Sent::Kind kind, const QString& connectionString);
    void closing(bool wasOpen);
    // The scripted answer, or an empty result (noted as unscripted when rows were wanted);
    // throws an injected error.
    ResultSet respond(const QString& statement, bool wantsRows = true);
    // The error scripted for the statement's next send, if any; nothing is taken off the script.
    std::optional<db::Error> refusal(const QString& statement) const;
    // Called for each row write before it is recorded; throws an injected error.
    void writing();
    const QStringList& tables() const { return tables_; }
    std::vector<CatalogColumn> columnsOf(const QString& table) const;

private:
    using Step = std::variant<ResultSet, db::Error>;
    std::map<QString, std::deque<Step>> script_;
    std::deque<db::Error> openFailures_;
    std::map<int, db::Error> writeFailures_;
    int writes_ = 0;
    QStringList tables_;
    std::map<QString, std::vector<CatalogColumn>> columns_;
    std::vector<Sent> sent_;
    QStringList unscripted_;
    int openCount_ = 0;
};

} // namespace sqllumo::dbport::testing
