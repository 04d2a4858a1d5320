// The statement executors, one per family: SELECT, data changes (INSERT, UPDATE, DELETE),
// table definitions, the catalogue procedures, the session's own statements, and the server's
// statements and procedures.
// Each runs in an explicit context that says where its output goes and where it stands; the
// session owns the state they share and routes each statement to its executor.
#pragma once

#include "EngineImpl.h"

namespace standin {

// What one statement runs with.
struct ExecutionContext {
    SessionImpl& session;
    ResultSink& sink;
    bool inProcedure = false; // its DONE tokens are DONEINPROC
    bool firstInBatch = false;
    int32_t line = 1;
};

class SelectExecutor {
public:
    explicit SelectExecutor(ExecutionContext& cx) : cx_(cx), session_(cx.session) {}
    void run(sql::SelectStmt& s);

private:
    using Work = SessionImpl::Work;
    struct SelectQuery;
    void selectSources(SelectQuery& q);
    void selectBind(SelectQuery& q);
    void selectOutputs(SelectQuery& q);
    void selectOrderKeys(SelectQuery& q);
    void selectCheckGrouping(const SelectQuery& q);
    int64_t selectTop(const sql::SelectStmt& s);
    void selectRows(SelectQuery& q, ResultSink& sink);
    bool selectRow(SelectQuery& q, RowContext& ctx, ResultSink& sink);
    void selectGroups(SelectQuery& q);
    void selectCollected(SelectQuery& q, ResultSink& sink);
    void selectBegin(SelectQuery& q, ResultSink& sink);
    std::vector<Value> selectProject(const SelectQuery& q, const RowContext& ctx);
    void selectAssign(SelectQuery& q, const RowContext& ctx);
    void selectCollect(SelectQuery& q, const RowContext& ctx);
    void selectAccumulate(SelectQuery& q, size_t group, const RowContext& ctx);

    ExecutionContext& cx_;
    SessionImpl& session_;
    struct HashIndex {
        bool built = false;
        std::unordered_map<std::u32string, std::vector<size_t>> map;
    };
    std::vector<HashIndex> hashIndexes_; // per join level
};

class DmlExecutor {
public:
    explicit DmlExecutor(ExecutionContext& cx) : cx_(cx), session_(cx.session) {}
    void insert(sql::InsertStmt& s);
    void update(sql::UpdateStmt& s);
    void remove(sql::DeleteStmt& s);

private:
    using Work = SessionImpl::Work;
    std::vector<int> insertTargets(const sql::InsertStmt& s, const store::TableMeta& t,
                                   bool identityInsert);
    std::vector<std::vector<Typed>> insertValues(sql::InsertStmt& s, std::vector<int>& targets);
    // One row an UPDATE changes: its table, its rowid, and its values before and after.
    struct RowChange {
        int64_t table;
        int64_t rowid;
        std::vector<Value> before;
        std::vector<Value> after;
    };
    std::vector<RowChange> planUpdate(store::Database& db, const store::TableMeta& t,
                                      std::vector<RowChange> targets);
    void applyUpdate(store::Database& db, const std::vector<RowChange>& changes);
    void checkUpdatedReferences(store::Database& db, const std::vector<RowChange>& changes);
    ExecutionContext& cx_;
    SessionImpl& session_;
};

class DdlExecutor {
public:
    explicit DdlExecutor(ExecutionContext& cx) : cx_(cx), session_(cx.session) {}
    void createTable(sql::CreateTableStmt& s);
    void alterTable(sql::AlterTableStmt& s);
    void createIndex(sql::CreateIndexStmt& s);
    void dropIndex(sql::DropIndexStmt& s);
    void dropTable(sql::DropTableStmt& s);

private:
    using Work = SessionImpl::Work;
    void addColumns(sql::AlterTableStmt& s, store::Database& db, store::TableMeta& t, bool hasRows);
    void dropConstraints(sql::AlterTableStmt& s, store::Database& db, store::TableMeta& t);
    void alterColumn(sql::AlterTableStmt& s, store::Database& db, store::TableMeta& t);
    void dropColumns(sql::AlterTableStmt& s, store::Database& db, store::TableMeta& t);
    bool everyRowHasParent(store::Database& db, const store::TableMeta& child,
                           const store::TableMeta& parent, const store::ForeignKeyMeta& fk);
    bool buildKeyIndexOverRows(store::Database& db, const store::TableMeta& table,
                               const store::KeyMeta& key);
    ExecutionContext& cx_;
    SessionImpl& session_;
};

// The catalogue procedures (sp_pkeys, sp_fkeys, sp_helpindex, sp_tables, sp_columns), answered
// from the current database's table definitions inside the procedure's DONEINPROC.
class CatalogProcedureExecutor {
public:
    using Arguments = std::vector<std::pair<std::u16string, Typed>>;
    explicit CatalogProcedureExecutor(ExecutionContext& cx) : cx_(cx), session_(cx.session) {}
    // False, having sent nothing, when the (upper-case) name is none of them.
    bool run(const std::u16string& name, const Arguments& args);

private:
    using Work = SessionImpl::Work;
    void spPkeys(const Arguments& args);
    void spFkeys(const Arguments& args);
    void spHelpIndex(const Arguments& args);
    void spTables(const Arguments& args);
    void spColumns(const Arguments& args);
    ExecutionContext& cx_;
    SessionImpl& session_;
};

// The statements that change the session itself: USE, BEGIN/COMMIT/ROLLBACK, SET options and
// IDENTITY_INSERT, DECLARE and SET @variable, WAITFOR DELAY.
class SessionStatementExecutor {
public:
    explicit SessionStatementExecutor(ExecutionContext& cx) : cx_(cx), session_(cx.session) {}
    void use(sql::UseStmt& s);
    void transaction(sql::TransactionStmt& s);
    void set(sql::SetOptionStmt& s);
    void set(sql::SetIdentityInsertStmt& s);
    void declare(sql::DeclareStmt& s);
    void setVariable(sql::SetVariableStmt& s);
    void waitFor(sql::WaitForStmt& s);

private:
    void setOption(sql::SetOptionStmt& s);
    void setIdentityInsert(sql::SetIdentityInsertStmt& s);
    void finish(); // the statement's DONE, without a count
    ExecutionContext& cx_;
    SessionImpl& session_;
};

class ServerStatementExecutor {
public:
    explicit ServerStatementExecutor(ExecutionContext& cx) : cx_(cx), session_(cx.session) {}
    void run(sql::ServerStmt& s);
    void exec(sql::ExecStmt& s);

private:
    ExecutionContext& cx_;
    SessionImpl& session_;
};

} // namespace standin
