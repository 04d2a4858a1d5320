// A session's state (current database, options, variables, open transaction), the unit of
// work each statement runs in, and the routing of each statement to its family's executor.
#include "Executors.h"
#include "Parser.h"
#include "Text.h"

#include <sqlite3.h>

#include <chrono>
#include <thread>

namespace standin {

using namespace sql;
using text::widen;

namespace {

DoneInfo done(bool inProcedure, bool hasCount, int64_t count, bool error = false)
{
    DoneInfo d;
    d.kind = inProcedure ? DoneInfo::Kind::InProcedure : DoneInfo::Kind::Statement;
    d.hasCount = hasCount;
    d.count = count;
    d.error = error;
    return d;
}

} // namespace

SessionImpl::SessionImpl(EngineImpl& engine, std::u16string login, int32_t spid)
    : engine_(engine), login_(std::move(login)), spid_(spid)
{
}

SessionImpl::~SessionImpl()
{
    engine_.forgetConnection(spid_);
    try {
        if (trancount_ > 0)
            rollbackTransaction();
    } catch (...) {
    }
}

store::Database& SessionImpl::database()
{
    if (!db_)
        throw SqlError(err::kDatabaseMissing, {databaseName_});
    return *db_;
}

std::optional<Message> SessionImpl::useDatabase(const std::u16string& name)
{
    auto use = engine_.catalog().use(name);
    if (!use)
        return makeMessage(err::kDatabaseMissing, {name});
    std::shared_ptr<store::Database> db;
    try {
        db = engine_.database(use->entry());
    } catch (const std::exception& e) {
        return makeMessage(err::kStorageFailure, {widen(e.what())});
    }
    use_ = std::move(use);
    db_ = std::move(db);
    databaseName_ = use_->entry().name;
    return std::nullopt;
}

// ---- work on a database ----

SessionImpl::Work::Work(SessionImpl& session, bool write) : session_(session)
{
    db_ = session.db_;
    if (!db_)
        throw SqlError(err::kDatabaseMissing, {session.databaseName_});
    if (session.workDepth_ > 0) {
        db_->run("SAVEPOINT nested");
        nested_ = true;
        ++session.workDepth_;
        return;
    }
    if (session.implicitTransactions_ && session.trancount_ == 0)
        session.trancount_ = 1;
    if (session.trancount_ > 0) {
        session.beginTransactionOn(db_);
        db_->run("SAVEPOINT statement");
        inTransaction_ = true;
        ++session.workDepth_;
        return;
    }
    if (!db_->acquire(&session, session.cancel_))
        throw Cancelled{};
    try {
        db_->run(write ? "BEGIN IMMEDIATE" : "BEGIN");
    } catch (...) {
        db_->release(&session);
        throw;
    }
    ++session.workDepth_;
}

SessionImpl::Work::~Work()
{
    if (done_)
        return;
    --session_.workDepth_;
    if (nested_) {
        try {
            db_->exec("ROLLBACK TO nested");
            db_->run("RELEASE nested");
        } catch (...) {
        }
        return; // the outer work rolls back or goes on; it reloads the definitions
    }
    try {
        if (inTransaction_) {
            db_->exec("ROLLBACK TO statement");
            db_->run("RELEASE statement");
        } else {
            db_->exec("ROLLBACK");
        }
    } catch (...) {
    }
    try {
        db_->reload();
        // Identity values taken by a failed statement stay taken, as on SQL Server, also
        // after a restart: their rows are not there to tell.
        for (const auto& taken : identities_)
            db_->keepIdentity(taken.first);
    } catch (...) {
    }
    if (!inTransaction_)
        db_->release(&session_);
}

void SessionImpl::Work::commit()
{
    // A failed COMMIT leaves done_ unset, so the destructor rolls back.
    if (nested_) {
        db_->run("RELEASE nested");
    } else if (inTransaction_) {
        db_->run("RELEASE statement");
    } else {
        db_->run("COMMIT");
        db_->release(&session_);
    }
    done_ = true;
    --session_.workDepth_;
}

void SessionImpl::Work::identityConsumed(int64_t tableId, int64_t current)
{
    if (session_.trancount_ > 0) {
        bool known = false;
        for (auto& taken : session_.transactionIdentities_)
            if (taken.db == db_ && taken.table == tableId) {
                taken.current = current;
                known = true;
            }
        if (!known)
            session_.transactionIdentities_.push_back({db_, tableId, current});
    }
    for (auto& [table, value] : identities_)
        if (table == tableId) {
            value = current;
            return;
        }
    identities_.emplace_back(tableId, current);
}

void SessionImpl::beginTransactionOn(const std::shared_ptr<store::Database>& db)
{
    for (const auto& held : transactionDatabases_)
        if (held == db)
            return;
    if (!db->acquire(this, cancel_))
        throw Cancelled{};
    try {
        db->exec("BEGIN IMMEDIATE");
    } catch (...) {
        db->release(this);
        throw;
    }
    transactionDatabases_.push_back(db);
}

void SessionImpl::commitTransaction()
{
    std::exception_ptr failure;
    for (const auto& db : transactionDatabases_) {
        try {
            db->exec("COMMIT");
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
            try {
                db->exec("ROLLBACK");
                db->reload();
                keepTakenIdentities(db);
            } catch (...) {
            }
        }
        db->release(this);
    }
    transactionDatabases_.clear();
    transactionIdentities_.clear();
    trancount_ = 0;
    if (failure)
        std::rethrow_exception(failure);
}

// After the rollback, outside any transaction, so the values stay taken also once the
// database is closed and opened again.
void SessionImpl::keepTakenIdentities(const std::shared_ptr<store::Database>& db)
{
    for (const auto& taken : transactionIdentities_)
        if (taken.db == db)
            db->keepIdentity(taken.table); // gone when its creation was rolled back as well
}

void SessionImpl::rollbackTransaction()
{
    for (const auto& db : transactionDatabases_) {
        try {
            db->exec("ROLLBACK");
        } catch (...) {
        }
        try {
            db->reload();
            keepTakenIdentities(db);
        } catch (...) {
        }
        db->release(this);
    }
    transactionDatabases_.clear();
    transactionIdentities_.clear();
    trancount_ = 0;
}

// ---- batches ----

void SessionImpl::execute(const std::u16string& batch, ResultSink& sink,
                          const std::atomic<bool>* cancel)
{
    cancel_ = cancel;
    variables_.clear();
    std::optional<BatchCache::Lease> statements;
    try {
        statements.emplace(batches_.parse(batch));
    } catch (const SqlError& e) {
        // A batch that does not compile runs no statement at all.
        Message m = e.message();
        sink.message(m);
        lastError_ = m.number;
        sink.done(done(false, false, 0, true));
        return;
    } catch (const std::exception& e) {
        Message m = makeMessage(err::kStorageFailure, {widen(e.what())});
        sink.message(m);
        sink.done(done(false, false, 0, true));
        return;
    }
    runBatch(statements->statements(), sink, cancel, false);
    cancel_ = nullptr;
}

void SessionImpl::runBatch(std::vector<Statement>& statements, ResultSink& sink,
                           const std::atomic<bool>* cancel, bool inProcedure)
{
    try {
        for (size_t i = 0; i < statements.size(); ++i) {
            if (cancel && cancel->load())
                return;
            runStatement(statements[i], sink, i == 0, inProcedure);
        }
    } catch (const BatchAborted&) {
    } catch (const Cancelled&) {
    }
}

void SessionImpl::runStatement(Statement& st, ResultSink& sink, bool firstInBatch, bool inProcedure)
{
    currentLine_ = st.line;
    auto report = [&](Message m, const std::vector<Message>& after) {
        // As SQL Server does under XACT_ABORT: the error alone, without "The statement has been
        // terminated.", then the whole transaction undone and the rest of the batch skipped.
        const bool abortAll = xactAbort_ && m.isError();
        m.line = st.line;
        sink.message(m);
        for (Message a : after) {
            if (abortAll && a.number == err::kStatementTerminated)
                continue;
            a.line = st.line;
            sink.message(a);
        }
        lastError_ = m.number;
        sink.done(done(inProcedure, false, 0, true));
        if (abortAll && trancount_ > 0)
            rollbackTransaction();
        if (abortAll || scopeOf(m.number) == ErrorScope::Batch)
            throw BatchAborted{};
    };
    ExecutionContext cx{*this, sink, inProcedure, firstInBatch, st.line};
    try {
        lastError_ = 0;
        std::visit(
            [&](auto& body) {
                using T = std::decay_t<decltype(body)>;
                if constexpr (std::is_same_v<T, SelectStmt>) {
                    SelectExecutor(cx).run(body);
                } else if constexpr (std::is_same_v<T, InsertStmt>) {
                    DmlExecutor(cx).insert(body);
                } else if constexpr (std::is_same_v<T, UpdateStmt>) {
                    DmlExecutor(cx).update(body);
                } else if constexpr (std::is_same_v<T, DeleteStmt>) {
                    DmlExecutor(cx).remove(body);
                } else if constexpr (std::is_same_v<T, ExecStmt>) {
                    ServerStatementExecutor(cx).exec(body);
                } else if constexpr (std::is_same_v<T, ServerStmt>) {
                    ServerStatementExecutor(cx).run(body);
                } else if constexpr (std::is_same_v<T, UseStmt>) {
                    SessionStatementExecutor(cx).use(body);
                } else if constexpr (std::is_same_v<T, TransactionStmt>) {
                    SessionStatementExecutor(cx).transaction(body);
                } else if constexpr (std::is_same_v<T, SetOptionStmt> ||
                                     std::is_same_v<T, SetIdentityInsertStmt>) {
                    SessionStatementExecutor(cx).set(body);
                } else if constexpr (std::is_same_v<T, DeclareStmt>) {
                    SessionStatementExecutor(cx).declare(body);
                } else if constexpr (std::is_same_v<T, SetVariableStmt>) {
                    SessionStatementExecutor(cx).setVariable(body);
                } else if constexpr (std::is_same_v<T, WaitForStmt>) {
                    SessionStatementExecutor(cx).waitFor(body);
                } else if constexpr (std::is_same_v<T, CreateTableStmt>) {
                    DdlExecutor(cx).createTable(body);
                    sink.done(done(inProcedure, false, 0));
                } else if constexpr (std::is_same_v<T, AlterTableStmt>) {
                    DdlExecutor(cx).alterTable(body);
                    sink.done(done(inProcedure, false, 0));
                } else if constexpr (std::is_same_v<T, CreateIndexStmt>) {
                    DdlExecutor(cx).createIndex(body);
                    sink.done(done(inProcedure, false, 0));
                } else if constexpr (std::is_same_v<T, DropIndexStmt>) {
                    DdlExecutor(cx).dropIndex(body);
                    sink.done(done(inProcedure, false, 0));
                } else if constexpr (std::is_same_v<T, DropTableStmt>) {
                    DdlExecutor(cx).dropTable(body);
                    sink.done(done(inProcedure, false, 0));
                }
            },
            st.body);
    } catch (const SqlError& e) {
        report(e.message(), e.after());
    } catch (const store::StorageError& e) {
        int code = e.code() & 0xFF;
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            report(makeMessage(err::kLockTimeout), {});
        else
            report(makeMessage(err::kStorageFailure, {widen(e.what())}), {});
    } catch (const BatchAborted&) {
        throw;
    } catch (const Cancelled&) {
        throw;
    } catch (const std::bad_alloc&) {
        report(makeMessage(err::kStorageFailure, {u"out of memory"}), {});
    } catch (const std::exception& e) {
        report(makeMessage(err::kStorageFailure, {widen(e.what())}), {});
    }
}

// The server's procedures take their values as text: a typed value is converted, never written
// back into a statement to be parsed again.
std::vector<server::Argument>
SessionImpl::serverArguments(const std::vector<std::pair<std::u16string, Typed>>& args)
{
    std::vector<server::Argument> values;
    for (const auto& [name, a] : args) {
        server::Argument value{name, std::nullopt};
        if (!a.isNull())
            value.value = isText(a.type.type) ? std::get<std::u16string>(a.value) : displayValue(a);
        values.push_back(std::move(value));
    }
    return values;
}

server::ServerContext SessionImpl::serverContext(int32_t line, bool firstInBatch) const
{
    server::ServerContext context;
    context.login = login_;
    context.currentDatabase = databaseName_;
    context.spid = spid_;
    context.line = line;
    context.inTransaction = trancount_ > 0;
    context.firstInBatch = firstInBatch;
    return context;
}

bool SessionImpl::runProcedure(const std::u16string& name,
                               std::vector<std::pair<std::u16string, Typed>>& args,
                               ResultSink& sink, int32_t line)
{
    ExecutionContext cx{*this, sink, true, false, line};
    if (CatalogProcedureExecutor(cx).run(name, args))
        return true;
    if (name != u"SP_EXECUTESQL")
        return false;
    executeSql(args, sink);
    return true;
}

void SessionImpl::executeSql(const std::vector<std::pair<std::u16string, Typed>>& args,
                             ResultSink& sink)
{
    if (args.empty() || args[0].second.isNull())
        return;
    if (!isText(args[0].second.type.type))
        throw SqlError(err::kProcedureExpects, {u"sp_executesql", u"@statement"});
    std::u16string statement = std::get<std::u16string>(args[0].second.value);
    std::vector<std::pair<std::u16string, TypeName>> declared;
    if (args.size() > 1 && !args[1].second.isNull())
        declared = parseParameterList(
            std::get<std::u16string>(convert(args[1].second, TypeName{SqlType::NVarChar, -1, 0, 0},
                                             ConversionMode::Implicit, conversion_)));
    std::map<std::u16string, Variable> scope;
    for (const auto& [n, type] : declared)
        scope[text::upper(n)] = Variable{type, std::monostate{}};
    size_t positional = 0;
    for (size_t i = 2; i < args.size(); ++i) {
        std::u16string target;
        if (!args[i].first.empty()) {
            target = text::upper(args[i].first);
            if (!scope.count(target))
                throw SqlError(err::kProcedureParameter, {args[i].first, u"sp_executesql"});
        } else {
            if (positional >= declared.size())
                throw SqlError(err::kProcedureParameter,
                               {u"@P" + formatInteger(positional + 1), u"sp_executesql"});
            target = text::upper(declared[positional].first);
        }
        ++positional;
        Variable& v = scope[target];
        v.value = convert(args[i].second, v.type, ConversionMode::Assignment, conversion_);
    }
    BatchCache::Lease statements = batches_.parse(statement);
    auto saved = std::move(variables_);
    variables_ = std::move(scope);
    try {
        runBatch(statements.statements(), sink, cancel_, true);
    } catch (...) {
        variables_ = std::move(saved);
        throw;
    }
    variables_ = std::move(saved);
}

void SessionImpl::executeRpc(const std::u16string& procedure, const std::vector<RpcParam>& params,
                             ResultSink& sink, const std::atomic<bool>* cancel)
{
    cancel_ = cancel;
    std::u16string name = procedure;
    if (auto dot = name.rfind(u'.'); dot != std::u16string::npos)
        name = name.substr(dot + 1);
    if (!name.empty() && name.front() == u'[' && name.back() == u']')
        name = name.substr(1, name.size() - 2);
    std::vector<std::pair<std::u16string, Typed>> args;
    for (const auto& p : params) {
        TypeName t{p.type.type, p.type.length, p.type.precision, p.type.scale};
        if (std::holds_alternative<std::monostate>(p.value) && t.type == SqlType::Int &&
            t.length == 0)
            t = TypeName{SqlType::Int, 4, 10, 0};
        args.emplace_back(p.name, Typed{p.value, t});
    }
    std::u16string upperName = text::upper(name);
    DoneInfo end;
    end.kind = DoneInfo::Kind::Procedure;
    try {
        if (!runProcedure(upperName, args, sink, 1)) {
            server::ServerContext context = serverContext(1, true);
            if (engine_.catalog().callProcedure({name}, serverArguments(args), context, sink)) {
                cancel_ = nullptr;
                return;
            }
            throw SqlError(err::kProcedureMissing, {name});
        }
    } catch (const SqlError& e) {
        Message m = e.message();
        m.procedure = name;
        sink.message(m);
        for (const auto& a : e.after())
            sink.message(a);
        lastError_ = m.number;
        end.error = true;
        sink.returnStatus(1);
        sink.done(end);
        cancel_ = nullptr;
        return;
    } catch (const BatchAborted&) {
    } catch (const Cancelled&) {
        cancel_ = nullptr;
        return;
    } catch (const std::exception& e) {
        Message m = makeMessage(err::kStorageFailure, {widen(e.what())});
        sink.message(m);
        end.error = true;
        sink.returnStatus(1);
        sink.done(end);
        cancel_ = nullptr;
        return;
    }
    sink.returnStatus(0);
    sink.done(end);
    cancel_ = nullptr;
}

} // namespace standin
