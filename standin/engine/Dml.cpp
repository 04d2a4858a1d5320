// INSERT, UPDATE and DELETE: assignment conversion, identity values, key and foreign key
// checks with cascades, row counts as SQL Server reports them.
#include "Executors.h"
#include "Parser.h"
#include "Text.h"

#include <sqlite3.h>

#include <map>
#include <set>

namespace standin {

using namespace sql;
using store::ColumnMeta;
using store::Database;
using store::ForeignKeyMeta;
using store::TableMeta;
using text::widen;

namespace {

DoneInfo rowsDone(bool inProcedure, bool nocount, int64_t count)
{
    DoneInfo d;
    d.kind = inProcedure ? DoneInfo::Kind::InProcedure : DoneInfo::Kind::Statement;
    d.hasCount = !nocount;
    d.count = count;
    return d;
}

bool sameBytes(const Value& a, const Value& b)
{
    return a == b;
}

std::string whereColumns(const TableMeta& t, const std::vector<int>& columns)
{
    std::string sql;
    for (size_t i = 0; i < columns.size(); ++i) {
        sql += i ? " AND " : " WHERE ";
        sql += TableMeta::storageColumn(t.columns[static_cast<size_t>(columns[i])]) + " = ?";
    }
    return sql;
}

void markColumns(const Expr& e, std::vector<bool>& wanted)
{
    if (e.kind == ExprKind::Column && e.boundSource == 0 && e.boundColumn >= 0)
        wanted[static_cast<size_t>(e.boundColumn)] = true;
    for (const auto& a : e.args)
        if (a)
            markColumns(*a, wanted);
}

// The columns an UPDATE reads: those it names and those it sets; every column once it sets one
// of a key, an index or a foreign key, as a row whose key changes is written anew whole and the
// key checks read the key's other columns. Empty for every column.
std::vector<bool> updateReads(Database& db, const TableMeta& t, const UpdateStmt& s,
                              const std::vector<int>& assigned)
{
    std::vector<bool> keyed(t.columns.size(), false);
    auto mark = [&](const std::vector<int>& columns) {
        for (int c : columns)
            keyed[static_cast<size_t>(c)] = true;
    };
    if (t.primaryKey)
        mark(t.primaryKey->columns);
    for (const auto& k : t.uniques)
        mark(k.columns);
    for (const auto& x : t.indexes)
        mark(x.columns);
    for (const auto& fk : t.foreignKeys)
        mark(fk.columns);
    for (const TableMeta* other : db.tables())
        for (const auto& fk : other->foreignKeys)
            if (fk.refTable == t.id)
                mark(fk.refColumns);
    std::vector<bool> wanted(t.columns.size(), false);
    for (int c : assigned) {
        if (keyed[static_cast<size_t>(c)])
            return {};
        wanted[static_cast<size_t>(c)] = true;
    }
    for (const auto& [name, e] : s.assignments)
        markColumns(*e, wanted);
    if (s.where)
        markColumns(*s.where, wanted);
    return wanted;
}

} // namespace

Value SessionImpl::assign(const Typed& v, const ColumnMeta& c, const TableMeta& t,
                          const char16_t* statement)
{
    if (v.isNull()) {
        if (!c.nullable)
            throw terminated(err::kNullNotAllowed,
                             {c.name, databaseName_ + u".dbo." + t.name, statement});
        return std::monostate{};
    }
    Value out = convert(v, c.type, ConversionMode::Implicit, conversion_);
    if (auto* s = std::get_if<std::u16string>(&out)) {
        if (c.type.length > 0 && static_cast<int32_t>(s->size()) > c.type.length) {
            // Only blanks may be cut off silently, as SQL Server does.
            for (size_t i = static_cast<size_t>(c.type.length); i < s->size(); ++i)
                if ((*s)[i] != u' ')
                    throw terminated(err::kTruncated, {});
            s->resize(static_cast<size_t>(c.type.length));
        }
    } else if (auto* b = std::get_if<Bytes>(&out)) {
        if (c.type.type == SqlType::VarBinary && c.type.length > 0 &&
            static_cast<int32_t>(b->size()) > c.type.length)
            throw terminated(err::kTruncated, {});
    }
    return out;
}

[[noreturn]] void SessionImpl::duplicateKey(Database&, const TableMeta& t,
                                            const std::vector<Value>& row,
                                            const store::StorageError& e)
{
    // SQLite names the columns of the violated index: "UNIQUE constraint failed: d5.c0, d5.c1".
    std::string message = e.what();
    std::set<int32_t> storage;
    size_t pos = message.find(':');
    while (pos != std::string::npos) {
        size_t dot = message.find(".c", pos);
        if (dot == std::string::npos)
            break;
        size_t end = dot + 2;
        while (end < message.size() && message[end] >= '0' && message[end] <= '9')
            ++end;
        storage.insert(std::stoi(message.substr(dot + 2, end - dot - 2)));
        pos = end;
    }
    auto matches = [&](const std::vector<int>& columns) {
        std::set<int32_t> s;
        for (int c : columns)
            s.insert(t.columns[static_cast<size_t>(c)].storage);
        return s == storage;
    };
    auto keyText = [&](const std::vector<int>& columns) {
        std::u16string out;
        for (size_t i = 0; i < columns.size(); ++i) {
            const auto& c = t.columns[static_cast<size_t>(columns[i])];
            out += (i ? u", " : u"") +
                   displayValue(Typed{row[static_cast<size_t>(columns[i])], c.type});
        }
        return out;
    };
    if (t.primaryKey && matches(t.primaryKey->columns))
        throw terminated(err::kDuplicateKey, {u"PRIMARY KEY", t.primaryKey->name, qualifiedName(t),
                                              keyText(t.primaryKey->columns)});
    for (const auto& k : t.uniques)
        if (matches(k.columns))
            throw terminated(err::kDuplicateKey,
                             {u"UNIQUE KEY", k.name, qualifiedName(t), keyText(k.columns)});
    for (const auto& x : t.indexes)
        if (x.unique && matches(x.columns))
            throw terminated(err::kDuplicateIndexKey,
                             {qualifiedName(t), x.name, keyText(x.columns)});
    throw terminated(
        err::kDuplicateKey,
        {u"PRIMARY KEY", t.primaryKey ? t.primaryKey->name : t.name, qualifiedName(t), u""});
}

bool SessionImpl::parentExists(Database& db, const ForeignKeyMeta& fk,
                               const std::vector<Value>& row, const TableMeta& child)
{
    const TableMeta* parent = db.tableById(fk.refTable);
    if (!parent)
        return false;
    std::vector<Value> key;
    for (size_t i = 0; i < fk.columns.size(); ++i) {
        const Value& v = row[static_cast<size_t>(fk.columns[i])];
        if (std::holds_alternative<std::monostate>(v))
            return true; // a NULL in the key is never checked
        const auto& childColumn = child.columns[static_cast<size_t>(fk.columns[i])];
        const auto& parentColumn = parent->columns[static_cast<size_t>(fk.refColumns[i])];
        key.push_back(convert(Typed{v, childColumn.type}, parentColumn.type,
                              ConversionMode::Implicit, conversion_));
    }
    store::Query q = db.query("SELECT 1 FROM " + parent->storageTable() +
                              whereColumns(*parent, fk.refColumns) + " LIMIT 1");
    for (size_t i = 0; i < key.size(); ++i)
        q.bind(static_cast<int>(i + 1), key[i]);
    bool found = q.step();
    sqlite3_reset(q.raw());
    return found;
}

std::vector<std::pair<int64_t, std::vector<Value>>>
SessionImpl::referencingRows(Database& db, const TableMeta& child, const ForeignKeyMeta& fk,
                             const std::vector<Value>& parentRow, const TableMeta& parent)
{
    std::vector<std::pair<int64_t, std::vector<Value>>> out;
    std::vector<Value> key;
    for (size_t i = 0; i < fk.columns.size(); ++i) {
        const Value& v = parentRow[static_cast<size_t>(fk.refColumns[i])];
        if (std::holds_alternative<std::monostate>(v))
            return out;
        key.push_back(convert(Typed{v, parent.columns[static_cast<size_t>(fk.refColumns[i])].type},
                              child.columns[static_cast<size_t>(fk.columns[i])].type,
                              ConversionMode::Implicit, conversion_));
    }
    std::string sql = "SELECT rowid";
    for (const auto& c : child.columns)
        sql += ", " + TableMeta::storageColumn(c);
    sql += " FROM " + child.storageTable() + whereColumns(child, fk.columns);
    store::Query q = db.query(sql);
    for (size_t i = 0; i < key.size(); ++i)
        q.bind(static_cast<int>(i + 1), key[i]);
    while (q.step()) {
        std::vector<Value> row(child.columns.size());
        for (size_t i = 0; i < child.columns.size(); ++i)
            row[i] = q.column(static_cast<int>(i + 1), child.columns[i].type);
        out.emplace_back(q.columnInt(0), std::move(row));
    }
    return out;
}

void SessionImpl::checkForeignKeys(Database& db, const TableMeta& t, const std::vector<Value>& row,
                                   const char16_t* statement, const std::vector<bool>* changed)
{
    for (const auto& fk : t.foreignKeys) {
        if (changed) {
            bool any = false;
            for (int c : fk.columns)
                any = any || (*changed)[static_cast<size_t>(c)];
            if (!any)
                continue;
        }
        if (!parentExists(db, fk, row, t)) {
            const TableMeta* parent = db.tableById(fk.refTable);
            std::u16string parentName = parent ? qualifiedName(*parent) : u"";
            std::u16string column =
                parent ? parent->columns[static_cast<size_t>(fk.refColumns[0])].name : u"";
            throw terminated(err::kConstraintConflict, {statement, u"FOREIGN KEY", fk.name,
                                                        databaseName_, parentName, column});
        }
    }
}

void SessionImpl::insertRow(Work& work, const TableMeta& t, std::vector<Value>& row)
{
    Database& db = work.db();
    std::string sql = "INSERT INTO " + t.storageTable() + "(";
    std::string marks;
    for (size_t i = 0; i < t.columns.size(); ++i) {
        sql += (i ? ", " : "") + TableMeta::storageColumn(t.columns[i]);
        marks += i ? ", ?" : "?";
    }
    sql += ") VALUES (" + marks + ")";
    store::Query q = db.query(sql);
    for (size_t i = 0; i < row.size(); ++i)
        q.bind(static_cast<int>(i + 1), row[i]);
    try {
        q.step();
    } catch (const store::StorageError& e) {
        if (e.isUnique())
            duplicateKey(db, t, row, e);
        throw;
    }
}

void SessionImpl::insertRowAt(Database& db, const TableMeta& t, int64_t rowid,
                              const std::vector<Value>& row)
{
    std::string sql = "INSERT INTO " + t.storageTable() + "(rowid";
    for (const auto& c : t.columns)
        sql += ", " + TableMeta::storageColumn(c);
    sql += ") VALUES (?";
    for (size_t i = 0; i < t.columns.size(); ++i)
        sql += ", ?";
    sql += ")";
    store::Query q = db.query(sql);
    q.bindInt(1, rowid);
    for (size_t i = 0; i < row.size(); ++i)
        q.bind(static_cast<int>(i + 2), row[i]);
    try {
        q.step();
    } catch (const store::StorageError& e) {
        if (e.isUnique())
            duplicateKey(db, t, row, e);
        throw;
    }
}

void SessionImpl::writeRowUpdate(Database& db, const TableMeta& t, int64_t rowid,
                                 const std::vector<Value>& before, const std::vector<Value>& row)
{
    // Only the columns that change, so the store leaves the indexes of the others alone.
    std::vector<size_t> changed;
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (!sameBytes(before[i], row[i]))
            changed.push_back(i);
    if (changed.empty())
        return;
    std::string sql = "UPDATE " + t.storageTable() + " SET ";
    for (size_t i = 0; i < changed.size(); ++i)
        sql += (i ? ", " : "") + TableMeta::storageColumn(t.columns[changed[i]]) + " = ?";
    sql += " WHERE rowid = ?";
    store::Query q = db.query(sql);
    for (size_t i = 0; i < changed.size(); ++i)
        q.bind(static_cast<int>(i + 1), row[changed[i]]);
    q.bindInt(static_cast<int>(changed.size() + 1), rowid);
    try {
        q.step();
    } catch (const store::StorageError& e) {
        if (e.isUnique())
            duplicateKey(db, t, row, e);
        throw;
    }
}

void SessionImpl::deleteRowid(Database& db, const TableMeta& t, int64_t rowid)
{
    store::Query q = db.query("DELETE FROM " + t.storageTable() + " WHERE rowid = ?");
    q.bindInt(1, rowid);
    q.step();
}

// ---- INSERT ----

// Target columns in the order values are given.
std::vector<int> DmlExecutor::insertTargets(const InsertStmt& s, const TableMeta& t,
                                            bool identityInsert)
{
    const int identity = t.identityColumn();
    std::vector<int> targets;
    if (s.hasColumnList) {
        std::set<int> seen;
        for (const auto& name : s.columns) {
            int c = t.findColumn(name);
            if (c < 0)
                throw SqlError(err::kInvalidColumn, {name});
            if (!seen.insert(c).second)
                throw SqlError(err::kColumnTwice, {t.columns[static_cast<size_t>(c)].name});
            targets.push_back(c);
        }
        bool identityGiven = identity >= 0 && seen.count(identity);
        if (identityGiven && !identityInsert)
            throw SqlError(err::kIdentityInsertOff, {t.name});
        if (identity >= 0 && identityInsert && !identityGiven)
            throw SqlError(err::kIdentityValueRequired, {t.name});
    } else {
        if (identity >= 0 && identityInsert)
            throw SqlError(err::kIdentityColumnList, {t.name});
        for (size_t i = 0; i < t.columns.size(); ++i)
            if (static_cast<int>(i) != identity)
                targets.push_back(static_cast<int>(i));
    }
    return targets;
}

// Rows of values: literal rows, or a SELECT's result.
std::vector<std::vector<Typed>> DmlExecutor::insertValues(InsertStmt& s, std::vector<int>& targets)
{
    std::vector<std::vector<Typed>> rows;
    if (s.select) {
        struct Collect : ResultSink {
            std::vector<ColumnInfo> columns;
            std::vector<std::vector<Value>> rows;
            void beginResult(const std::vector<ColumnInfo>& c) override { columns = c; }
            void row(const std::vector<Value>& v) override { rows.push_back(v); }
            void message(const Message&) override {}
            void done(const DoneInfo&) override {}
            void returnStatus(int32_t) override {}
            void databaseChanged(const std::u16string&, const std::u16string&) override {}
        } collect;
        bool savedNocount = session_.nocount_;
        ExecutionContext nested{session_, collect, true, false, cx_.line};
        SelectExecutor(nested).run(*s.select);
        session_.nocount_ = savedNocount;
        if (collect.columns.size() != targets.size())
            throw SqlError(s.hasColumnList ? err::kInsertSelectCount : err::kColumnCountMismatch);
        for (auto& r : collect.rows) {
            std::vector<Typed> typed;
            for (size_t i = 0; i < r.size(); ++i) {
                const auto& ci = collect.columns[i];
                typed.push_back(
                    Typed{std::move(r[i]), TypeName{ci.type, ci.length, ci.precision, ci.scale}});
            }
            rows.push_back(std::move(typed));
        }
    } else if (s.defaultValues) {
        rows.emplace_back();
        targets.clear();
    } else {
        for (auto& values : s.rows) {
            if (values.size() != targets.size()) {
                if (!s.hasColumnList)
                    throw SqlError(err::kColumnCountMismatch);
                throw SqlError(values.size() > targets.size() ? err::kFewerColumnsThanValues
                                                              : err::kMoreColumnsThanValues);
            }
            std::vector<Typed> typed;
            for (auto& e : values) {
                if (e->kind == ExprKind::Function && e->name == u"DEFAULT") {
                    typed.push_back(Typed{});
                    continue;
                }
                session_.bind(*e, {}, false);
                RowContext none;
                typed.push_back(session_.evaluate(*e, none));
            }
            rows.push_back(std::move(typed));
        }
    }
    return rows;
}

void DmlExecutor::insert(InsertStmt& s)
{
    ResultSink& sink = cx_.sink;
    const bool inProcedure = cx_.inProcedure;
    Work work(session_, true);
    Database& db = work.db();
    const TableMeta& t = session_.requireTable(db, s.table);
    const int64_t tableId = t.id;
    int identity = t.identityColumn();
    bool identityInsert =
        session_.identityInsertTable_ == t.id && session_.identityInsertDb_ == session_.db_;

    std::vector<int> targets;
    if (s.resolved.generation == db.schemaGeneration() &&
        s.resolved.identityInsert == identityInsert) {
        targets = s.resolved.columns;
    } else {
        targets = insertTargets(s, t, identityInsert);
        s.resolved = {db.schemaGeneration(), identityInsert, targets};
    }
    std::vector<std::vector<Typed>> rows = insertValues(s, targets);

    int64_t count = 0;
    std::optional<int64_t> lastIdentity;
    for (auto& values : rows) {
        // A cancelled statement leaves nothing behind, not the rows inserted so far.
        if (session_.cancel_ && session_.cancel_->load())
            throw Cancelled{};
        const TableMeta& current = *db.tableById(tableId);
        std::vector<Value> row(current.columns.size());
        if (identity >= 0 && !identityInsert) {
            const ColumnMeta& ic = current.columns[static_cast<size_t>(identity)];
            int64_t next = current.identityUsed ? current.identityCurrent + ic.increment : ic.seed;
            Typed v{next, TypeName{SqlType::BigInt, 8, 19, 0}};
            row[static_cast<size_t>(identity)] =
                convert(v, ic.type, ConversionMode::Implicit, session_.conversion_);
            db.noteIdentity(tableId, next);
            work.identityConsumed(tableId, next);
            lastIdentity = next;
        }
        std::vector<bool> given(current.columns.size(), false);
        for (size_t i = 0; i < targets.size(); ++i) {
            size_t c = static_cast<size_t>(targets[i]);
            row[c] = session_.assign(values[i], current.columns[c], current, u"INSERT");
            given[c] = true;
        }
        for (size_t c = 0; c < current.columns.size(); ++c)
            if (!given[c] && static_cast<int>(c) != identity && !current.columns[c].nullable)
                throw terminated(err::kNullNotAllowed,
                                 {current.columns[c].name,
                                  session_.databaseName_ + u".dbo." + current.name, u"INSERT"});
        if (identity >= 0 && identityInsert) {
            const ColumnMeta& ic = current.columns[static_cast<size_t>(identity)];
            if (std::holds_alternative<std::monostate>(row[static_cast<size_t>(identity)]))
                throw terminated(
                    err::kNullNotAllowed,
                    {ic.name, session_.databaseName_ + u".dbo." + current.name, u"INSERT"});
            int64_t given = std::get<int64_t>(row[static_cast<size_t>(identity)]);
            bool beyond =
                !current.identityUsed || (ic.increment > 0 ? given > current.identityCurrent
                                                           : given < current.identityCurrent);
            if (beyond) {
                db.noteIdentity(tableId, given);
                work.identityConsumed(tableId, given);
            }
            lastIdentity = given;
        }
        session_.checkForeignKeys(db, current, row, u"INSERT", nullptr);
        session_.insertRow(work, current, row);
        ++count;
    }
    work.commit();
    if (lastIdentity) {
        session_.scopeIdentity_ = lastIdentity;
        session_.lastIdentity_ = lastIdentity;
    }
    session_.rowCount_ = count;
    sink.done(rowsDone(inProcedure, session_.nocount_, count));
}

// ---- UPDATE ----

void DmlExecutor::update(UpdateStmt& s)
{
    ResultSink& sink = cx_.sink;
    const bool inProcedure = cx_.inProcedure;
    Work work(session_, true);
    Database& db = work.db();
    const TableMeta& t = session_.requireTable(db, s.table);
    std::vector<Source> sources{session_.sourceFor(s.table, db)};
    std::vector<int> columns;
    std::set<int> seen;
    for (auto& [name, e] : s.assignments) {
        int c = t.findColumn(name);
        if (c < 0)
            throw SqlError(err::kInvalidColumn, {name});
        if (!seen.insert(c).second)
            throw SqlError(err::kColumnTwice, {t.columns[static_cast<size_t>(c)].name});
        if (t.columns[static_cast<size_t>(c)].identity)
            throw SqlError(err::kUpdateIdentity, {t.columns[static_cast<size_t>(c)].name});
        session_.bind(*e, sources);
        columns.push_back(c);
    }
    if (s.where)
        session_.bind(*s.where, sources);

    const std::vector<bool> reads = updateReads(db, t, s, columns);
    std::vector<RowChange> targets;
    RowContext ctx;
    ctx.sources = &sources;
    ctx.rows.assign(1, nullptr);
    session_.scan(
        db, t,
        [&](int64_t rowid, std::vector<Value>& row) {
            ctx.rows[0] = &row;
            if (s.where && session_.truth(*s.where, ctx) != true)
                return true;
            RowChange target{t.id, rowid, row, row};
            for (size_t i = 0; i < columns.size(); ++i) {
                size_t c = static_cast<size_t>(columns[i]);
                target.after[c] = session_.assign(session_.evaluate(*s.assignments[i].second, ctx),
                                                  t.columns[c], t, u"UPDATE");
            }
            targets.push_back(std::move(target));
            return !(session_.cancel_ && session_.cancel_->load());
        },
        s.where.get(), reads.empty() ? nullptr : &reads);
    // Stopped early by a cancel: changing only the rows found so far would be half a statement.
    if (session_.cancel_ && session_.cancel_->load())
        throw Cancelled{};

    const auto found = static_cast<int64_t>(targets.size());
    const std::vector<RowChange> changes = planUpdate(db, t, std::move(targets));
    applyUpdate(db, changes);
    checkUpdatedReferences(db, changes);
    work.commit();
    session_.rowCount_ = found;
    sink.done(rowsDone(inProcedure, session_.nocount_, session_.rowCount_));
}

// Every row change an UPDATE makes, cascades included, planned against the rows as they were
// before the statement: a cascade follows the old key values.
std::vector<DmlExecutor::RowChange> DmlExecutor::planUpdate(Database& db, const TableMeta& t,
                                                            std::vector<RowChange> targets)
{
    // Unless a row changes a key that another table's rows follow, the statement's own rows
    // are all it changes.
    bool cascades = false;
    for (const TableMeta* child : db.tables())
        for (const auto& fk : child->foreignKeys) {
            if (fk.refTable != t.id || !fk.updateCascade)
                continue;
            for (const auto& target : targets)
                for (int c : fk.refColumns)
                    cascades = cascades || !sameBytes(target.before[static_cast<size_t>(c)],
                                                      target.after[static_cast<size_t>(c)]);
        }
    if (!cascades)
        return targets;
    std::vector<RowChange> changes;
    std::map<std::pair<int64_t, int64_t>, size_t> planned; // (table, rowid) -> changes index
    std::function<void(const TableMeta&, int64_t, const std::vector<Value>&,
                       const std::vector<Value>&, int)>
        plan = [&](const TableMeta& table, int64_t rowid, const std::vector<Value>& before,
                   const std::vector<Value>& after, int depth) {
            if (depth > 32)
                throw SqlError(err::kCascadeDepth);
            auto [at, fresh] = planned.emplace(std::make_pair(table.id, rowid), changes.size());
            if (fresh)
                changes.push_back({table.id, rowid, before, after});
            else
                changes[at->second].after =
                    after; // reached again through another path: the last wins
            for (const TableMeta* child : db.tables()) {
                for (const auto& fk : child->foreignKeys) {
                    if (fk.refTable != table.id || !fk.updateCascade)
                        continue;
                    bool keyChanged = false;
                    for (int c : fk.refColumns)
                        keyChanged = keyChanged || !sameBytes(before[static_cast<size_t>(c)],
                                                              after[static_cast<size_t>(c)]);
                    if (!keyChanged)
                        continue;
                    for (auto& [crowid, crow] :
                         session_.referencingRows(db, *child, fk, before, table)) {
                        auto earlier = planned.find({child->id, crowid});
                        std::vector<Value> cafter =
                            earlier == planned.end() ? crow : changes[earlier->second].after;
                        for (size_t i = 0; i < fk.columns.size(); ++i) {
                            size_t cc = static_cast<size_t>(fk.columns[i]);
                            cafter[cc] = session_.assign(
                                Typed{after[static_cast<size_t>(fk.refColumns[i])],
                                      table.columns[static_cast<size_t>(fk.refColumns[i])].type},
                                child->columns[cc], *child, u"UPDATE");
                        }
                        plan(*child, crowid, crow, cafter, depth + 1);
                    }
                }
            }
        };
    for (const auto& target : targets)
        plan(t, target.rowid, target.before, target.after, 0);
    return changes;
}

void DmlExecutor::applyUpdate(Database& db, const std::vector<RowChange>& changes)
{
    // Uniqueness holds for the statement's final state, as on SQL Server: a row whose key
    // columns change is taken out before any is put back, so "SET id = id + 1" over 1..3
    // passes while a final duplicate still fails (and the statement's work is undone).
    auto touchesUniqueKey = [&](const TableMeta& table, const RowChange& change) {
        auto differs = [&](const std::vector<int>& columns) {
            for (int c : columns)
                if (!sameBytes(change.before[static_cast<size_t>(c)],
                               change.after[static_cast<size_t>(c)]))
                    return true;
            return false;
        };
        if (table.primaryKey && differs(table.primaryKey->columns))
            return true;
        for (const auto& k : table.uniques)
            if (differs(k.columns))
                return true;
        for (const auto& x : table.indexes)
            if (x.unique && differs(x.columns))
                return true;
        return false;
    };
    std::vector<const RowChange*> moved;
    for (const auto& change : changes) {
        const TableMeta& table = *db.tableById(change.table);
        if (touchesUniqueKey(table, change)) {
            session_.deleteRowid(db, table, change.rowid);
            moved.push_back(&change);
        } else {
            session_.writeRowUpdate(db, table, change.rowid, change.before, change.after);
        }
    }
    for (const RowChange* change : moved)
        session_.insertRowAt(db, *db.tableById(change->table), change->rowid, change->after);
}

// A key changed under rows that referenced it without a cascade: 547, unless another row still
// carries the old key.
void DmlExecutor::checkUpdatedReferences(Database& db, const std::vector<RowChange>& changes)
{
    for (const auto& change : changes) {
        const TableMeta& table = *db.tableById(change.table);
        std::vector<bool> changed(table.columns.size());
        for (size_t c = 0; c < table.columns.size(); ++c)
            changed[c] = !sameBytes(change.before[c], change.after[c]);
        session_.checkForeignKeys(db, table, change.after, u"UPDATE", &changed);
        for (const TableMeta* child : db.tables()) {
            for (const auto& fk : child->foreignKeys) {
                if (fk.refTable != table.id || fk.updateCascade)
                    continue;
                bool keyChanged = false;
                for (int c : fk.refColumns)
                    keyChanged = keyChanged || changed[static_cast<size_t>(c)];
                if (!keyChanged)
                    continue;
                if (session_.referencingRows(db, *child, fk, change.before, table).empty())
                    continue;
                ForeignKeyMeta self = fk;
                self.columns = fk.refColumns;
                self.refTable = table.id;
                if (session_.parentExists(db, self, change.before, table))
                    continue; // another row still carries the old key
                throw terminated(err::kConstraintConflict,
                                 {u"UPDATE", u"REFERENCE", fk.name, session_.databaseName_,
                                  session_.qualifiedName(*child),
                                  child->columns[static_cast<size_t>(fk.columns[0])].name});
            }
        }
    }
}

// ---- DELETE ----

void DmlExecutor::remove(DeleteStmt& s)
{
    ResultSink& sink = cx_.sink;
    const bool inProcedure = cx_.inProcedure;
    Work work(session_, true);
    Database& db = work.db();
    const TableMeta& t = session_.requireTable(db, s.table);
    std::vector<Source> sources{session_.sourceFor(s.table, db)};
    if (s.where)
        session_.bind(*s.where, sources);
    std::vector<std::pair<int64_t, std::vector<Value>>> targets;
    RowContext ctx;
    ctx.sources = &sources;
    ctx.rows.assign(1, nullptr);
    session_.scan(
        db, t,
        [&](int64_t rowid, std::vector<Value>& row) {
            ctx.rows[0] = &row;
            if (!s.where || session_.truth(*s.where, ctx) == true)
                targets.emplace_back(rowid, row);
            return !(session_.cancel_ && session_.cancel_->load());
        },
        s.where.get());
    if (session_.cancel_ && session_.cancel_->load())
        throw Cancelled{};

    std::vector<std::pair<int64_t, std::vector<Value>>> deleted; // table id, row
    std::function<void(const TableMeta&, int64_t, const std::vector<Value>&, int)> removeRow =
        [&](const TableMeta& table, int64_t rowid, const std::vector<Value>& row, int depth) {
            if (depth > 32)
                throw SqlError(err::kCascadeDepth);
            session_.deleteRowid(db, table, rowid);
            deleted.emplace_back(table.id, row);
            for (const TableMeta* child : db.tables())
                for (const auto& fk : child->foreignKeys) {
                    if (fk.refTable != table.id || !fk.deleteCascade)
                        continue;
                    for (auto& [crowid, crow] :
                         session_.referencingRows(db, *child, fk, row, table))
                        removeRow(*child, crowid, crow, depth + 1);
                }
        };
    for (const auto& [rowid, row] : targets)
        removeRow(t, rowid, row, 0);
    // The rows gone can no longer tell the identity values they had; the table keeps them.
    std::set<int64_t> emptied;
    for (const auto& d : deleted)
        if (emptied.insert(d.first).second)
            db.keepIdentity(d.first);
    for (const auto& [tableId, row] : deleted) {
        const TableMeta& table = *db.tableById(tableId);
        for (const TableMeta* child : db.tables())
            for (const auto& fk : child->foreignKeys) {
                if (fk.refTable != tableId || fk.deleteCascade)
                    continue;
                if (session_.referencingRows(db, *child, fk, row, table).empty())
                    continue;
                ForeignKeyMeta self = fk;
                self.columns = fk.refColumns;
                self.refTable = tableId;
                if (session_.parentExists(db, self, row, table))
                    continue;
                throw terminated(err::kConstraintConflict,
                                 {u"DELETE", u"REFERENCE", fk.name, session_.databaseName_,
                                  session_.qualifiedName(*child),
                                  child->columns[static_cast<size_t>(fk.columns[0])].name});
            }
    }
    work.commit();
    session_.rowCount_ = static_cast<int64_t>(targets.size());
    sink.done(rowsDone(inProcedure, session_.nocount_, session_.rowCount_));
}

} // namespace standin
