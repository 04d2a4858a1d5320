// The engine behind Engine.h: the server catalogue, the open databases and the sessions.
#pragma once

#include "Ast.h"
#include "BatchCache.h"
#include "Database.h"
#include "Engine.h"
#include "Errors.h"
#include "Values.h"
#include "server/ServerCatalog.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

namespace standin {

class EngineImpl;

// The client's attention arrived: the request ends and nothing more of it is sent. One type for
// every executor, so that whichever notices it first ends only that request.
struct Cancelled {};
// Ends the batch after an error whose reach is the batch; its output has been sent already.
struct BatchAborted {};

// The rows a statement reads from: a stored table or a catalogue view built in memory.
struct Source {
    const store::TableMeta* table = nullptr; // stored table; null for a view
    std::vector<store::ColumnMeta> columns;
    std::u16string name;  // as the table is named (catalogue views: their view name)
    std::u16string alias; // empty when none was given
    std::vector<std::vector<Value>> rows; // views only
};

// What expressions see while they are evaluated.
struct RowContext {
    const std::vector<Source>* sources = nullptr;
    std::vector<const std::vector<Value>*> rows; // per source; null for a missing outer row
    const std::unordered_map<const sql::Expr*, Typed>* aggregates = nullptr;
};

class SessionImpl final : public Session {
public:
    SessionImpl(EngineImpl& engine, std::u16string login, int32_t spid);
    ~SessionImpl() override;

    void execute(const std::u16string& batch, ResultSink& sink,
                 const std::atomic<bool>* cancel) override;
    void executeRpc(const std::u16string& procedure, const std::vector<RpcParam>& params,
                    ResultSink& sink, const std::atomic<bool>* cancel) override;
    std::u16string currentDatabase() const override { return databaseName_; }
    std::u16string loginName() const override { return login_; }

    // Makes `name` the current database; the Message is 911 / 4060 material when it fails.
    std::optional<Message> useDatabase(const std::u16string& name);

    // ---- used by the statement executors ----
    EngineImpl& engine() { return engine_; }
    store::Database& database();
    const ConversionContext& conversion() const { return conversion_; }
    Typed evaluate(const sql::Expr& e, const RowContext& ctx);
    std::optional<bool> truth(const sql::Expr& e, const RowContext& ctx);
    int32_t spid() const { return spid_; }

    // ---- read by the built-in functions ----
    const std::optional<int64_t>& scopeIdentity() const { return scopeIdentity_; }
    store::Database* openDatabase() { return db_.get(); } // null before a database is in use
    Typed objectId(const std::u16string& name);
    Typed columnProperty(const Typed& id, const Typed& column, const Typed& property);

private:
    friend class SelectExecutor;
    friend class DmlExecutor;
    friend class DdlExecutor;
    friend class ServerStatementExecutor;
    friend class CatalogProcedureExecutor;
    friend class SessionStatementExecutor;
    struct Variable {
        TypeName type;
        Value value;
    };

    void runBatch(std::vector<sql::Statement>& statements, ResultSink& sink,
                  const std::atomic<bool>* cancel, bool inProcedure);
    void runStatement(sql::Statement& statement, ResultSink& sink, bool firstInBatch,
                      bool inProcedure);

    // Work on the current database: a statement-sized SQLite transaction, or a savepoint
    // inside the session's open transaction.
    class Work {
    public:
        Work(SessionImpl& session, bool write);
        ~Work();
        void commit();
        store::Database& db() { return *db_; }
        void identityConsumed(int64_t tableId, int64_t current);

    private:
        SessionImpl& session_;
        std::shared_ptr<store::Database> db_;
        bool inTransaction_ = false;
        bool nested_ = false; // inside another statement's work (INSERT ... SELECT)
        bool done_ = false;
        std::vector<std::pair<int64_t, int64_t>> identities_;
    };
    friend class Work;

    void beginTransactionOn(const std::shared_ptr<store::Database>& db);
    void commitTransaction();
    void rollbackTransaction();

    bool runProcedure(const std::u16string& name,
                      std::vector<std::pair<std::u16string, Typed>>& args, ResultSink& sink,
                      int32_t line);
    void executeSql(const std::vector<std::pair<std::u16string, Typed>>& args, ResultSink& sink);
    // What the server level needs of this session to run one of its statements.
    server::ServerContext serverContext(int32_t line, bool firstInBatch) const;
    static std::vector<server::Argument>
    serverArguments(const std::vector<std::pair<std::u16string, Typed>>& args);

    // Catalogue views (Catalog.cpp).
    bool catalogView(const sql::TableName& name, Source& out);

    // Binding and table access (Select.cpp).
    Source sourceFor(const sql::TableName& name, store::Database& db);
    void bind(sql::Expr& e, const std::vector<Source>& sources, bool allowColumns = true);
    // Rows of `t`, with only the `wanted` columns read when given (the others stay NULL).
    void scan(store::Database& db, const store::TableMeta& t,
              const std::function<bool(int64_t rowid, std::vector<Value>& row)>& visit,
              const sql::Expr* where = nullptr, const std::vector<bool>* wanted = nullptr);
    const store::TableMeta& requireTable(store::Database& db, const sql::TableName& name);
    std::u16string qualifiedName(const store::TableMeta& t) const; // "dbo.T"
    void checkDatabasePart(const sql::TableName& name);

    // Row writing with SQL Server's checks (Dml.cpp).
    Value assign(const Typed& v, const store::ColumnMeta& c, const store::TableMeta& t,
                 const char16_t* statement);
    void insertRow(Work& work, const store::TableMeta& t, std::vector<Value>& row);
    void checkForeignKeys(store::Database& db, const store::TableMeta& t,
                          const std::vector<Value>& row, const char16_t* statement,
                          const std::vector<bool>* changed);
    bool parentExists(store::Database& db, const store::ForeignKeyMeta& fk,
                      const std::vector<Value>& row, const store::TableMeta& child);
    std::vector<std::pair<int64_t, std::vector<Value>>>
    referencingRows(store::Database& db, const store::TableMeta& child,
                    const store::ForeignKeyMeta& fk, const std::vector<Value>& parentRow,
                    const store::TableMeta& parent);
    void writeRowUpdate(store::Database& db, const store::TableMeta& t, int64_t rowid,
                        const std::vector<Value>& before, const std::vector<Value>& row);
    void deleteRowid(store::Database& db, const store::TableMeta& t, int64_t rowid);
    void insertRowAt(store::Database& db, const store::TableMeta& t, int64_t rowid,
                     const std::vector<Value>& row);
    [[noreturn]] void duplicateKey(store::Database& db, const store::TableMeta& t,
                                   const std::vector<Value>& row, const store::StorageError& e);

    EngineImpl& engine_;
    std::u16string login_;
    int32_t spid_;
    std::unique_ptr<server::DatabaseUse> use_;
    std::shared_ptr<store::Database> db_;
    std::u16string databaseName_;

    ConversionContext conversion_;
    bool nocount_ = false;
    // SET XACT_ABORT ON: a run-time error rolls the open transaction back and ends the batch.
    bool xactAbort_ = false;
    bool implicitTransactions_ = false;
    int64_t textSize_ = 2147483647;
    std::u16string language_ = u"us_english";
    int32_t trancount_ = 0;
    int32_t workDepth_ = 0;
    std::vector<std::shared_ptr<store::Database>> transactionDatabases_;
    // Identity values handed out inside the open transaction; a rollback does not give them back.
    struct TakenIdentity {
        std::shared_ptr<store::Database> db;
        int64_t table;
        int64_t current;
    };
    std::vector<TakenIdentity> transactionIdentities_;
    void keepTakenIdentities(const std::shared_ptr<store::Database>& db);
    // IDENTITY_INSERT: at most one table per session.
    std::shared_ptr<store::Database> identityInsertDb_;
    int64_t identityInsertTable_ = 0;
    std::optional<int64_t> scopeIdentity_;
    std::optional<int64_t> lastIdentity_;
    int64_t rowCount_ = 0;
    int32_t lastError_ = 0;
    std::map<std::u16string, Variable> variables_; // by upper-case name
    sql::BatchCache batches_;
    const std::atomic<bool>* cancel_ = nullptr;
    // Throws Cancelled once the client has asked to cancel: called in every loop over rows.
    void checkCancel() const
    {
        if (cancel_ && cancel_->load(std::memory_order_relaxed))
            throw Cancelled{};
    }
    // SQLite is interrupted on a cancel only inside a scan's own steps (see scan), or inside
    // stepCancellable while a CancellableReading is held.
    class CancellableReading {
    public:
        CancellableReading(SessionImpl& session, store::Database& db);
        ~CancellableReading();
        CancellableReading(const CancellableReading&) = delete;
        CancellableReading& operator=(const CancellableReading&) = delete;

    private:
        SessionImpl& session_;
        sqlite3* db_;
    };
    // One step of a read-only query that a cancel may stop (throws Cancelled).
    bool stepCancellable(store::Query& q);
    static int interruptScan(void* session);
    int scanDepth_ = 0;
    bool scanStepping_ = false;
    int32_t currentLine_ = 1;
    std::vector<Message> pendingMessages_;
};

class EngineImpl final : public Engine {
public:
    explicit EngineImpl(const Options& options);
    ~EngineImpl() override;

    LoginResult login(const std::u16string& user, const std::u16string& password,
                      const std::u16string& database,
                      const ConnectionInfo& connection = {}) override;
    std::u16string serverName() const override { return options_.serverName; }

    server::ServerCatalog& catalog() { return *catalog_; }
    // Frees `garbage` on a thread of its own: what a cancelled statement built up (a million
    // collected rows) takes longer to free than the client may wait for its acknowledgement.
    void dispose(std::shared_ptr<void> garbage);
    // One shared handle per database file; opened on first use.
    std::shared_ptr<store::Database> database(const server::DatabaseEntry& entry);
    std::u16string version() const;

    // The open sessions' connections, by session id.
    struct Connection {
        int32_t spid = 0;
        ConnectionInfo info;
        DateTimeValue connected;
    };
    std::vector<Connection> connections();
    void forgetConnection(int32_t spid);

private:
    void releaseFile(const std::filesystem::path& file);

    Options options_;
    std::unique_ptr<server::ServerCatalog> catalog_;
    std::mutex mutex_;
    std::map<std::filesystem::path, std::shared_ptr<store::Database>> databases_;
    std::atomic<int32_t> nextSpid_{51};
    std::mutex connectionsMutex_;
    std::map<int32_t, Connection> connections_;

    void disposeLoop();
    std::mutex disposeMutex_;
    std::condition_variable disposeWake_;
    std::deque<std::shared_ptr<void>> garbage_;
    bool disposeStop_ = false;
    std::thread disposer_;
};

} // namespace standin
