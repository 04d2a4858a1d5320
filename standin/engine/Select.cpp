// SELECT: sources and joins, filters, grouping and aggregates, ordering, TOP and the result
// columns' metadata.
#include "Executors.h"
#include "Functions.h"
#include "Parser.h"
#include "Text.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <sqlite3.h>
#include <unordered_map>

namespace standin {

using namespace sql;
using text::widen;

namespace {

// A key that is equal for two values exactly when they compare equal (same kind only).
std::optional<std::u32string> canonicalKey(const Typed& v)
{
    std::u32string key;
    if (v.isNull())
        return std::u32string(1, U'\x01');
    if (auto* n = std::get_if<int64_t>(&v.value)) {
        if (v.type.type == SqlType::Decimal && v.type.scale != 0)
            return std::nullopt;
        key.push_back(U'i');
        uint64_t u = static_cast<uint64_t>(*n);
        key.push_back(static_cast<char32_t>(u >> 32));
        key.push_back(static_cast<char32_t>(u & 0xFFFFFFFFu));
        return key;
    }
    if (auto* s = std::get_if<std::u16string>(&v.value)) {
        key.push_back(U's');
        key += text::collationKey(*s);
        return key;
    }
    if (auto* d = std::get_if<DateTimeValue>(&v.value)) {
        key.push_back(U'd');
        key.push_back(static_cast<char32_t>(d->days));
        key.push_back(d->ticks);
        return key;
    }
    if (auto* b = std::get_if<Bytes>(&v.value)) {
        key.push_back(U'b');
        size_t n = b->size();
        while (n > 0 && (*b)[n - 1] == 0)
            --n; // binary comparison pads with zeros
        for (size_t i = 0; i < n; ++i)
            key.push_back((*b)[i]);
        return key;
    }
    return std::nullopt;
}

struct U32Hash {
    size_t operator()(const std::u32string& s) const { return std::hash<std::u32string>()(s); }
};

bool isAggregate(const Expr& e)
{
    if (e.kind == ExprKind::CountStar)
        return true;
    return e.kind == ExprKind::Function && isAggregateFunction(e.name);
}

void collectAggregates(Expr& e, std::vector<Expr*>& out)
{
    if (isAggregate(e)) {
        out.push_back(&e);
        for (auto& a : e.args)
            if (a) {
                std::vector<Expr*> nested;
                collectAggregates(*a, nested);
                if (!nested.empty())
                    throw SqlError(err::kNestedAggregate);
            }
        return;
    }
    for (auto& a : e.args)
        if (a)
            collectAggregates(*a, out);
}

// Column references outside aggregates, for the GROUP BY rule.
void collectColumns(const Expr& e, std::vector<const Expr*>& out)
{
    if (isAggregate(e))
        return;
    if (e.kind == ExprKind::Column)
        out.push_back(&e);
    for (const auto& a : e.args)
        if (a)
            collectColumns(*a, out);
}

bool sameValueKind(const Value& v, const TypeName& t)
{
    if (std::holds_alternative<std::monostate>(v))
        return true;
    if (isText(t.type))
        return std::holds_alternative<std::u16string>(v);
    if (isBinary(t.type) || t.type == SqlType::UniqueIdentifier)
        return std::holds_alternative<Bytes>(v);
    if (t.type == SqlType::Float)
        return std::holds_alternative<double>(v);
    if (t.type == SqlType::DateTime)
        return std::holds_alternative<DateTimeValue>(v);
    return std::holds_alternative<int64_t>(v);
}

} // namespace

std::u16string SessionImpl::qualifiedName(const store::TableMeta& t) const
{
    return u"dbo." + t.name;
}

void SessionImpl::checkDatabasePart(const TableName& name)
{
    if (name.parts.size() >= 3) {
        const std::u16string& dbPart = name.parts[name.parts.size() - 3];
        if (!dbPart.empty() && !text::equalsIgnoreCase(dbPart, databaseName_)) {
            if (!engine_.catalog().find(dbPart))
                throw SqlError(err::kDatabaseMissing, {dbPart});
            throw notSupported(u"Naming a table of another database");
        }
    }
    if (name.parts.size() >= 2) {
        const std::u16string& schema = name.parts[name.parts.size() - 2];
        if (!schema.empty() && !text::equalsIgnoreCase(schema, u"dbo")) {
            std::u16string written;
            for (size_t i = 0; i < name.parts.size(); ++i)
                written += (i ? u"." : u"") + name.parts[i];
            throw SqlError(err::kInvalidObject, {written});
        }
    }
}

const store::TableMeta& SessionImpl::requireTable(store::Database& db, const TableName& name)
{
    checkDatabasePart(name);
    const store::TableMeta* t = db.table(name.table());
    if (!t) {
        std::u16string written;
        for (size_t i = 0; i < name.parts.size(); ++i)
            written += (i ? u"." : u"") + name.parts[i];
        throw SqlError(err::kInvalidObject, {written});
    }
    return *t;
}

Source SessionImpl::sourceFor(const TableName& name, store::Database& db)
{
    Source s;
    s.alias = name.alias;
    if (catalogView(name, s))
        return s;
    const store::TableMeta& t = requireTable(db, name);
    s.table = &t;
    s.columns = t.columns;
    s.name = t.name;
    return s;
}

namespace {

// An equality "column = constant" among the WHERE clause's AND terms whose constant compares
// under SQLite exactly as under SQL Server (integers with integers, texts with texts in the
// stored collation); such a term narrows the scan to a key or index lookup. The full condition
// is still applied to every row found.
void findSeek(const Expr& e, const store::TableMeta& t,
              const std::function<Typed(const Expr&)>& constant, int& column, Value& value)
{
    if (column >= 0)
        return;
    if (e.kind == ExprKind::And) {
        findSeek(*e.args[0], t, constant, column, value);
        findSeek(*e.args[1], t, constant, column, value);
        return;
    }
    if (e.kind != ExprKind::Compare || e.op != u"=")
        return;
    for (int side = 0; side < 2; ++side) {
        const Expr& c = *e.args[static_cast<size_t>(side)];
        const Expr& k = *e.args[static_cast<size_t>(1 - side)];
        if (c.kind != ExprKind::Column || c.boundSource != 0 || c.boundColumn < 0)
            continue;
        if (k.kind != ExprKind::Literal && k.kind != ExprKind::Variable)
            continue;
        const auto& meta = t.columns[static_cast<size_t>(c.boundColumn)];
        Typed v = constant(k);
        if (v.isNull())
            continue;
        bool intPair = isInteger(meta.type.type) && isInteger(v.type.type);
        bool textPair =
            isText(meta.type.type) && isText(v.type.type) && meta.type.type != SqlType::NText;
        if (!intPair && !textPair)
            continue;
        column = c.boundColumn;
        value = v.value;
        return;
    }
}

} // namespace

void SessionImpl::scan(store::Database& db, const store::TableMeta& t,
                       const std::function<bool(int64_t, std::vector<Value>&)>& visit,
                       const Expr* where, const std::vector<bool>* wanted)
{
    std::vector<size_t> read;
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (!wanted || (*wanted)[i])
            read.push_back(i);
    std::string sql = "SELECT rowid";
    for (size_t i : read)
        sql += ", " + store::TableMeta::storageColumn(t.columns[i]);
    sql += " FROM " + t.storageTable();
    int seekColumn = -1;
    Value seekValue;
    if (where) {
        RowContext none;
        findSeek(
            *where, t, [&](const Expr& k) { return evaluate(k, none); }, seekColumn, seekValue);
        if (seekColumn >= 0)
            sql += " WHERE " +
                   store::TableMeta::storageColumn(t.columns[static_cast<size_t>(seekColumn)]) +
                   " = ?";
    }
    // Rows come in the order they were stored, as a whole-row read gives them: an index that
    // happens to cover the columns read would otherwise hand them over in its own order.
    if (seekColumn < 0)
        sql += " NOT INDEXED";
    store::Query q = db.query(sql);
    if (seekColumn >= 0)
        q.bind(1, seekValue);
    std::vector<Value> row(t.columns.size());
    struct Reset {
        sqlite3_stmt* s;
        ~Reset() { sqlite3_reset(s); }
    } reset{q.raw()};
    // A step that passes over many rows before it returns one (a seek on a column without an
    // index) must not hold up a cancel. Only the scan's own reading is ever interrupted, never a
    // write made by the visitor.
    const CancellableReading reading(*this, db);
    while (stepCancellable(q)) {
        for (size_t k = 0; k < read.size(); ++k)
            row[read[k]] = q.column(static_cast<int>(k + 1), t.columns[read[k]].type);
        if (!visit(q.columnInt(0), row))
            break;
    }
}

SessionImpl::CancellableReading::CancellableReading(SessionImpl& session, store::Database& db)
    : session_(session), db_(db.handle())
{
    if (session_.scanDepth_++ == 0)
        sqlite3_progress_handler(db_, 1000, &SessionImpl::interruptScan, &session_);
}

SessionImpl::CancellableReading::~CancellableReading()
{
    if (--session_.scanDepth_ == 0)
        sqlite3_progress_handler(db_, 0, nullptr, nullptr);
}

bool SessionImpl::stepCancellable(store::Query& q)
{
    scanStepping_ = true;
    try {
        const bool more = q.step();
        scanStepping_ = false;
        return more;
    } catch (const store::StorageError& e) {
        scanStepping_ = false;
        if ((e.code() & 0xFF) == SQLITE_INTERRUPT)
            throw Cancelled{};
        throw;
    }
}

int SessionImpl::interruptScan(void* session)
{
    const auto& s = *static_cast<const SessionImpl*>(session);
    return s.scanStepping_ && s.cancel_ && s.cancel_->load(std::memory_order_relaxed) ? 1 : 0;
}

// One SELECT on its way through its stages: what the stages before the rows decide, and what the
// rows build up.
struct SelectExecutor::SelectQuery {
    explicit SelectQuery(SelectStmt& statement) : s(statement) {}
    SelectStmt& s;
    std::vector<Source> sources;
    std::optional<Work> work;

    struct Output {
        const Expr* expr = nullptr;
        int source = -1;
        int column = -1;
        ColumnInfo info;
    };
    std::vector<Output> outputs;
    std::vector<Expr*> aggregates;
    bool grouped = false;

    // ORDER BY may name select-list aliases or positions.
    struct OrderKey {
        const Expr* expr = nullptr;
        int output = -1;
        bool descending = false;
    };
    std::vector<OrderKey> orderKeys;

    int64_t top = -1; // none; below -1 a percentage, resolved once the rows are known
    bool assigning = false;
    bool streaming = false;

    // Collected rows for the non-streaming path: the output, its order keys.
    struct Collected {
        std::vector<Value> out;
        std::vector<Typed> keys;
    };
    std::vector<Collected> collected;
    // Groups for aggregation.
    struct Group {
        std::vector<std::vector<Value>> firstRows; // per source
        std::vector<bool> hasRow;
        std::vector<Typed> acc;
        std::vector<int64_t> counts;
        std::vector<std::unordered_map<std::u32string, bool, U32Hash>> distinctSeen;
    };
    std::vector<Group> groups;
    std::unordered_map<std::u32string, size_t, U32Hash> groupIndex;
    int64_t produced = 0;
    bool begun = false;

    Group emptyGroup() const
    {
        Group g;
        g.acc.resize(aggregates.size());
        g.counts.assign(aggregates.size(), 0);
        g.distinctSeen.resize(aggregates.size());
        return g;
    }
};

void SelectExecutor::run(SelectStmt& s)
{
    ResultSink& sink = cx_.sink;
    const bool inProcedure = cx_.inProcedure;
    SelectQuery q(s);
    selectSources(q);
    selectBind(q);
    selectOutputs(q);
    selectOrderKeys(q);
    if (q.grouped)
        selectCheckGrouping(q);
    q.top = selectTop(s);
    q.assigning = !s.assignments.empty();
    if (q.assigning && !q.outputs.empty())
        throw SqlError(err::kAssignmentMixed);
    q.streaming = !q.grouped && q.orderKeys.empty() && !s.distinct && !q.assigning && q.top > -2;

    try {
        selectRows(q, sink);
        if (q.grouped)
            selectGroups(q);
        if (!q.streaming && !q.assigning)
            selectCollected(q, sink);
    } catch (const Cancelled&) {
        // What the rows built up can take a while to free: the cancel is answered first.
        struct Leftovers {
            std::vector<SelectQuery::Collected> collected;
            std::vector<SelectQuery::Group> groups;
            std::unordered_map<std::u32string, size_t, U32Hash> groupIndex;
        };
        session_.engine_.dispose(std::make_shared<Leftovers>(
            Leftovers{std::move(q.collected), std::move(q.groups), std::move(q.groupIndex)}));
        throw;
    }
    selectBegin(q, sink);
    if (q.work)
        q.work->commit();
    session_.rowCount_ = q.produced;
    DoneInfo d;
    d.kind = inProcedure ? DoneInfo::Kind::InProcedure : DoneInfo::Kind::Statement;
    d.hasCount = !session_.nocount_;
    d.count = q.produced;
    sink.done(d);
}

// FROM and JOIN: the sources, and the work that reads the stored ones.
void SelectExecutor::selectSources(SelectQuery& q)
{
    SelectStmt& s = q.s;
    if (!s.from)
        return;
    bool anyStored = false;
    // Catalogue views are built before the work starts; stored tables are read inside it.
    std::vector<const TableName*> names{&*s.from};
    for (auto& j : s.joins)
        names.push_back(&j.table);
    for (const TableName* n : names) {
        Source probe;
        if (!session_.catalogView(*n, probe))
            anyStored = true;
    }
    if (anyStored)
        q.work.emplace(session_, false);
    store::Database& db = q.work ? q.work->db() : session_.database();
    for (const TableName* n : names)
        q.sources.push_back(session_.sourceFor(*n, db));
}

void SelectExecutor::selectBind(SelectQuery& q)
{
    SelectStmt& s = q.s;
    const std::vector<Source>& sources = q.sources;
    for (auto& item : s.items) {
        if (item.star) {
            if (sources.empty())
                throw SqlError(err::kNoTable);
            if (!item.starQualifier.empty()) {
                bool found = false;
                for (const auto& src : sources)
                    if (!src.alias.empty() ? text::equalsIgnoreCase(src.alias, item.starQualifier)
                                           : text::equalsIgnoreCase(src.name, item.starQualifier))
                        found = true;
                if (!found)
                    throw SqlError(err::kMultiPartNotBound, {item.starQualifier});
            }
        } else if (item.expr) {
            session_.bind(*item.expr, sources);
        }
    }
    for (auto& [var, e] : s.assignments)
        session_.bind(*e, sources);
    if (s.where) {
        session_.bind(*s.where, sources);
        std::vector<Expr*> agg;
        collectAggregates(*s.where, agg);
        if (!agg.empty())
            throw SqlError(err::kAggregateInWhere);
    }
    for (auto& j : s.joins)
        if (j.on)
            session_.bind(*j.on, sources);
    for (auto& g : s.groupBy)
        session_.bind(*g, sources);
    if (s.having)
        session_.bind(*s.having, sources);
    if (s.top)
        session_.bind(*s.top, {}, false);
}

// The result columns and their metadata; the aggregates of the select list and HAVING.
void SelectExecutor::selectOutputs(SelectQuery& q)
{
    SelectStmt& s = q.s;
    const std::vector<Source>& sources = q.sources;
    RowContext nullContext;
    nullContext.sources = &sources;
    nullContext.rows.assign(sources.size(), nullptr);
    std::vector<Expr*>& aggregates = q.aggregates;
    for (auto& item : s.items)
        if (item.expr)
            collectAggregates(*item.expr, aggregates);
    if (s.having)
        collectAggregates(*s.having, aggregates);
    q.grouped = !aggregates.empty() || !s.groupBy.empty();

    for (auto& item : s.items) {
        if (item.star) {
            for (size_t si = 0; si < sources.size(); ++si) {
                const Source& src = sources[si];
                if (!item.starQualifier.empty() &&
                    !(!src.alias.empty() ? text::equalsIgnoreCase(src.alias, item.starQualifier)
                                         : text::equalsIgnoreCase(src.name, item.starQualifier)))
                    continue;
                for (size_t c = 0; c < src.columns.size(); ++c) {
                    SelectQuery::Output o;
                    o.source = static_cast<int>(si);
                    o.column = static_cast<int>(c);
                    const auto& meta = src.columns[c];
                    o.info.name = meta.name;
                    o.info.type = meta.type.type;
                    o.info.length = meta.type.length;
                    o.info.precision = meta.type.precision;
                    o.info.scale = meta.type.scale;
                    o.info.nullable = meta.nullable;
                    o.info.identity = meta.identity;
                    q.outputs.push_back(o);
                }
            }
            continue;
        }
        if (!item.expr)
            continue;
        SelectQuery::Output o;
        o.expr = item.expr.get();
        if (item.expr->kind == ExprKind::Column) {
            const auto& meta = sources[static_cast<size_t>(item.expr->boundSource)]
                                   .columns[static_cast<size_t>(item.expr->boundColumn)];
            o.info.name = meta.name;
            o.info.type = meta.type.type;
            o.info.length = meta.type.length;
            o.info.precision = meta.type.precision;
            o.info.scale = meta.type.scale;
            o.info.nullable = meta.nullable || s.joins.size() > 0;
            o.info.identity = meta.identity;
        } else {
            TypeName t{SqlType::Int, 4, 10, 0};
            try {
                RowContext ctx = nullContext;
                std::unordered_map<const Expr*, Typed> typed;
                for (Expr* a : aggregates) {
                    Typed arg;
                    if (a->kind != ExprKind::CountStar && !a->args.empty())
                        arg = session_.evaluate(*a->args[0], nullContext);
                    if (a->kind == ExprKind::CountStar || a->name == u"COUNT")
                        typed[a] = Typed{int64_t{0}, TypeName{SqlType::Int, 4, 10, 0}};
                    else if (a->name == u"COUNT_BIG")
                        typed[a] = Typed{int64_t{0}, TypeName{SqlType::BigInt, 8, 19, 0}};
                    else if (a->name == u"SUM" && isInteger(arg.type.type))
                        typed[a] = Typed{std::monostate{},
                                         TypeName{arg.type.type == SqlType::BigInt ? SqlType::BigInt
                                                                                   : SqlType::Int,
                                                  4, 10, 0}};
                    else
                        typed[a] = Typed{std::monostate{}, arg.type};
                }
                ctx.aggregates = &typed;
                t = session_.evaluate(*item.expr, ctx).type;
            } catch (const SqlError& e) {
                if (scopeOf(e.message().number) == ErrorScope::Batch &&
                    e.message().number != err::kConversionFailed &&
                    e.message().number != err::kDateConversion)
                    throw;
            }
            o.info.type = t.type;
            o.info.length = t.length;
            o.info.precision = t.precision;
            o.info.scale = t.scale;
            o.info.nullable = true;
        }
        if (item.hasAlias)
            o.info.name = item.alias;
        q.outputs.push_back(o);
    }
}

// ORDER BY: a position, an alias of the select list, or an expression (perhaps an aggregate).
void SelectExecutor::selectOrderKeys(SelectQuery& q)
{
    SelectStmt& s = q.s;
    const auto& outputs = q.outputs;
    for (auto& ob : s.orderBy) {
        SelectQuery::OrderKey k;
        k.descending = ob.descending;
        Expr& e = *ob.expr;
        if (e.kind == ExprKind::Literal && std::holds_alternative<int64_t>(e.value) &&
            e.literalType.type == SqlType::Int) {
            int64_t pos = std::get<int64_t>(e.value);
            if (pos < 1 || pos > static_cast<int64_t>(outputs.size()))
                throw SqlError(
                    err::kOrderByPosition,
                    {formatInteger(pos), formatInteger(static_cast<int64_t>(outputs.size()))});
            k.output = static_cast<int>(pos - 1);
        } else if (e.kind == ExprKind::Column && e.parts.size() == 1) {
            for (size_t i = 0; i < s.items.size() && k.output < 0; ++i)
                if (s.items[i].hasAlias && text::equalsIgnoreCase(s.items[i].alias, e.parts[0])) {
                    // position of that item among the outputs
                    for (size_t oi = 0; oi < outputs.size(); ++oi)
                        if (outputs[oi].expr == s.items[i].expr.get())
                            k.output = static_cast<int>(oi);
                }
        }
        if (k.output < 0) {
            session_.bind(e, q.sources);
            std::vector<Expr*> agg;
            collectAggregates(e, agg);
            for (Expr* a : agg)
                q.aggregates.push_back(a);
            if (!agg.empty())
                q.grouped = true;
            k.expr = &e;
        }
        q.orderKeys.push_back(k);
    }
}

// Every column outside an aggregate must be grouped on.
void SelectExecutor::selectCheckGrouping(const SelectQuery& q)
{
    const std::vector<Source>& sources = q.sources;
    std::vector<const Expr*> columns;
    for (const auto& o : q.outputs) {
        if (o.expr)
            collectColumns(*o.expr, columns);
        else
            throw SqlError(err::kNotInGroupBy, {sources[static_cast<size_t>(o.source)].name + u"." +
                                                sources[static_cast<size_t>(o.source)]
                                                    .columns[static_cast<size_t>(o.column)]
                                                    .name});
    }
    for (const auto& k : q.orderKeys)
        if (k.expr)
            collectColumns(*k.expr, columns);
    for (const Expr* c : columns) {
        bool grouped = false;
        for (const auto& g : q.s.groupBy)
            if (g->kind == ExprKind::Column && g->boundSource == c->boundSource &&
                g->boundColumn == c->boundColumn)
                grouped = true;
        if (!grouped) {
            const Source& src = sources[static_cast<size_t>(c->boundSource)];
            throw SqlError(err::kNotInGroupBy,
                           {(src.alias.empty() ? src.name : src.alias) + u"." +
                            src.columns[static_cast<size_t>(c->boundColumn)].name});
        }
    }
}

// TOP n, or TOP p PERCENT as -2 - p * 1000.
int64_t SelectExecutor::selectTop(const SelectStmt& s)
{
    if (!s.top)
        return -1;
    RowContext none;
    Typed t = session_.evaluate(*s.top, none);
    if (t.isNull())
        throw SqlError(err::kTopNull);
    if (s.topPercent) {
        double p = std::get<double>(convert(t, TypeName{SqlType::Float, 8, 53, 0},
                                            ConversionMode::Implicit, session_.conversion_));
        if (p < 0 || p > 100)
            throw SqlError(err::kTopPercent);
        return -2 - static_cast<int64_t>(p * 1000); // resolved once the rows are known
    }
    const int64_t top = std::get<int64_t>(convert(t, TypeName{SqlType::BigInt, 8, 19, 0},
                                                  ConversionMode::Implicit, session_.conversion_));
    if (top < 0)
        throw SqlError(err::kTopNegative);
    return top;
}

void SelectExecutor::selectBegin(SelectQuery& q, ResultSink& sink)
{
    if (q.begun || q.assigning)
        return;
    std::vector<ColumnInfo> infos;
    for (const auto& o : q.outputs)
        infos.push_back(o.info);
    sink.beginResult(infos);
    q.begun = true;
}

std::vector<Value> SelectExecutor::selectProject(const SelectQuery& q, const RowContext& ctx)
{
    std::vector<Value> out(q.outputs.size());
    for (size_t i = 0; i < q.outputs.size(); ++i) {
        const SelectQuery::Output& o = q.outputs[i];
        if (!o.expr) {
            const auto* row = ctx.rows[static_cast<size_t>(o.source)];
            out[i] = row ? (*row)[static_cast<size_t>(o.column)] : Value{};
            continue;
        }
        Typed v = session_.evaluate(*o.expr, ctx);
        TypeName declared{o.info.type, o.info.length, o.info.precision, o.info.scale};
        if (!sameValueKind(v.value, declared) ||
            (declared.type == SqlType::Decimal && v.type.type == SqlType::Decimal &&
             v.type.scale != declared.scale))
            v.value = convert(v, declared, ConversionMode::Implicit, session_.conversion_);
        out[i] = std::move(v.value);
    }
    return out;
}

// SELECT @v = ...: the variables take the row's values.
void SelectExecutor::selectAssign(SelectQuery& q, const RowContext& ctx)
{
    for (auto& [var, e] : q.s.assignments) {
        auto vit = session_.variables_.find(text::upper(var));
        if (vit == session_.variables_.end())
            throw SqlError(err::kMissingVariable, {var});
        vit->second.value = convert(session_.evaluate(*e, ctx), vit->second.type,
                                    ConversionMode::Assignment, session_.conversion_);
    }
    ++q.produced;
}

void SelectExecutor::selectCollect(SelectQuery& q, const RowContext& ctx)
{
    SelectQuery::Collected c;
    c.out = selectProject(q, ctx);
    for (const auto& k : q.orderKeys)
        c.keys.push_back(k.expr ? session_.evaluate(*k.expr, ctx) : Typed{});
    q.collected.push_back(std::move(c));
}

void SelectExecutor::selectAccumulate(SelectQuery& q, size_t group, const RowContext& ctx)
{
    SelectQuery::Group& g = q.groups[group];
    for (size_t ai = 0; ai < q.aggregates.size(); ++ai) {
        const Expr& a = *q.aggregates[ai];
        if (a.kind == ExprKind::CountStar) {
            ++g.counts[ai];
            continue;
        }
        Typed v = session_.evaluate(*a.args[0], ctx);
        if (v.isNull())
            continue;
        if (a.distinct) {
            auto key = canonicalKey(v);
            if (key) {
                if (g.distinctSeen[ai].count(*key))
                    continue;
                g.distinctSeen[ai][*key] = true;
            }
        }
        ++g.counts[ai];
        const std::u16string& n = a.name;
        if (n == u"COUNT" || n == u"COUNT_BIG")
            continue;
        Typed& acc = g.acc[ai];
        if (acc.isNull()) {
            if (n == u"SUM" || n == u"AVG") {
                if (!isNumeric(v.type.type))
                    throw SqlError(err::kOperandInvalid,
                                   {typeName(v.type), n == u"SUM" ? u"sum" : u"avg"});
                if (isInteger(v.type.type) && v.type.type != SqlType::BigInt)
                    v = Typed{std::get<int64_t>(v.value), TypeName{SqlType::Int, 4, 10, 0}};
            }
            acc = v;
            continue;
        }
        if (n == u"SUM" || n == u"AVG") {
            acc = arithmetic(u'+', acc, v, session_.conversion_);
        } else {
            auto c = compare(v, acc, session_.conversion_);
            if (c && ((n == u"MIN" && *c < 0) || (n == u"MAX" && *c > 0)))
                acc = v;
        }
    }
}

// One joined row: WHERE, then its group, its assignment, or its output. False stops the rows.
bool SelectExecutor::selectRow(SelectQuery& q, RowContext& ctx, ResultSink& sink)
{
    if (session_.cancel_ && session_.cancel_->load())
        throw Cancelled{};
    SelectStmt& s = q.s;
    if (s.where && session_.truth(*s.where, ctx) != true)
        return true;
    if (q.grouped) {
        std::u32string key;
        for (const auto& gexpr : s.groupBy) {
            Typed v = session_.evaluate(*gexpr, ctx);
            auto k = canonicalKey(v);
            if (!k) {
                if (auto* d = std::get_if<double>(&v.value)) {
                    std::string t = std::to_string(*d);
                    k = std::u32string(U"f");
                    for (char ch : t)
                        k->push_back(static_cast<char32_t>(ch));
                } else {
                    std::u16string t = displayValue(v);
                    k = std::u32string(U"x");
                    for (char16_t ch : t)
                        k->push_back(ch);
                }
            }
            key += *k;
            key.push_back(U'\x02');
        }
        auto it = q.groupIndex.find(key);
        size_t gi;
        if (it == q.groupIndex.end()) {
            gi = q.groups.size();
            q.groupIndex.emplace(key, gi);
            SelectQuery::Group g = q.emptyGroup();
            for (const auto* r : ctx.rows) {
                g.firstRows.push_back(r ? *r : std::vector<Value>{});
                g.hasRow.push_back(r != nullptr);
            }
            q.groups.push_back(std::move(g));
        } else {
            gi = it->second;
        }
        selectAccumulate(q, gi, ctx);
        return true;
    }
    if (q.assigning) {
        selectAssign(q, ctx);
        return true;
    }
    if (q.streaming) {
        if (q.top >= 0 && q.produced >= q.top)
            return false;
        selectBegin(q, sink);
        sink.row(selectProject(q, ctx));
        ++q.produced;
        return true;
    }
    selectCollect(q, ctx);
    return true;
}

namespace {
// The hash path of a join: ON earlier.col = this.col (or the mirror) between columns that compare
// alike. The earlier source's column to probe with, and this level's own column; null otherwise.
const Expr* hashJoinProbe(const JoinClause* join, const std::vector<Source>& sources, size_t level,
                          int& ownColumn)
{
    const Expr* probe = nullptr;
    if (join && join->on && join->on->kind == ExprKind::Compare && join->on->op == u"=") {
        const Expr* a = join->on->args[0].get();
        const Expr* b = join->on->args[1].get();
        if (a->kind == ExprKind::Column && b->kind == ExprKind::Column) {
            if (b->boundSource == static_cast<int>(level) &&
                a->boundSource < static_cast<int>(level)) {
                probe = a;
                ownColumn = b->boundColumn;
            } else if (a->boundSource == static_cast<int>(level) &&
                       b->boundSource < static_cast<int>(level)) {
                probe = b;
                ownColumn = a->boundColumn;
            }
        }
    }
    if (!probe)
        return nullptr;
    const auto& probeMeta = sources[static_cast<size_t>(probe->boundSource)]
                                .columns[static_cast<size_t>(probe->boundColumn)];
    const auto& ownMeta = sources[level].columns[static_cast<size_t>(ownColumn)];
    const bool comparable =
        (isInteger(probeMeta.type.type) && isInteger(ownMeta.type.type)) ||
        (isText(probeMeta.type.type) && isText(ownMeta.type.type)) ||
        (probeMeta.type.type == SqlType::DateTime && ownMeta.type.type == SqlType::DateTime);
    return comparable ? probe : nullptr;
}
} // namespace

namespace {

// The columns of each source the statement reads: those its expressions name and those its
// stars spread out. A joined table of many columns is then not copied whole for every row.
std::vector<std::vector<bool>> columnsRead(const SelectStmt& s, const std::vector<Source>& sources,
                                           const std::vector<const Expr*>& expressions,
                                           const std::vector<std::pair<int, int>>& spread)
{
    std::vector<std::vector<bool>> read(sources.size());
    for (size_t i = 0; i < sources.size(); ++i)
        read[i].assign(sources[i].columns.size(), false);
    const std::function<void(const Expr&)> mark = [&](const Expr& e) {
        if (e.kind == ExprKind::Column && e.boundSource >= 0 && e.boundColumn >= 0)
            read[static_cast<size_t>(e.boundSource)][static_cast<size_t>(e.boundColumn)] = true;
        for (const auto& a : e.args)
            if (a)
                mark(*a);
    };
    for (const Expr* e : expressions)
        mark(*e);
    for (const auto& [source, column] : spread)
        read[static_cast<size_t>(source)][static_cast<size_t>(column)] = true;
    for (const auto& [variable, e] : s.assignments)
        mark(*e);
    if (s.where)
        mark(*s.where);
    for (const auto& j : s.joins)
        if (j.on)
            mark(*j.on);
    for (const auto& g : s.groupBy)
        mark(*g);
    if (s.having)
        mark(*s.having);
    return read;
}

} // namespace

// The rows of the sources: one table scanned with its WHERE, or every source materialised and
// joined left to right (a hash join on a column equality).
void SelectExecutor::selectRows(SelectQuery& q, ResultSink& sink)
{
    const std::vector<Source>& sources = q.sources;
    std::vector<const Expr*> expressions;
    std::vector<std::pair<int, int>> spread;
    for (const auto& o : q.outputs) {
        if (o.expr)
            expressions.push_back(o.expr);
        else
            spread.emplace_back(o.source, o.column);
    }
    for (const auto& k : q.orderKeys)
        if (k.expr)
            expressions.push_back(k.expr);
    const std::vector<std::vector<bool>> read = columnsRead(q.s, sources, expressions, spread);
    auto cancelled = [&] { return session_.cancel_ && session_.cancel_->load(); };
    RowContext ctx;
    ctx.sources = &sources;
    ctx.rows.assign(sources.size(), nullptr);
    if (sources.empty()) {
        selectRow(q, ctx, sink);
        return;
    }
    if (sources.size() == 1 && sources[0].table) {
        session_.scan(
            q.work->db(), *sources[0].table,
            [&](int64_t, std::vector<Value>& row) {
                ctx.rows[0] = &row;
                return selectRow(q, ctx, sink);
            },
            q.s.where.get(), &read[0]);
        return;
    }
    std::vector<std::vector<std::vector<Value>>> data(sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].table) {
            session_.scan(
                q.work->db(), *sources[i].table,
                [&](int64_t, std::vector<Value>& row) {
                    const size_t width = row.size();
                    data[i].push_back(std::move(row));
                    row.resize(width);
                    return !cancelled();
                },
                nullptr, &read[i]);
            if (cancelled())
                throw Cancelled{};
        } else {
            data[i] = sources[i].rows;
        }
    }
    std::function<bool(size_t)> joinFrom = [&](size_t level) -> bool {
        if (level == sources.size())
            return selectRow(q, ctx, sink);
        const JoinClause* join = level == 0 ? nullptr : &q.s.joins[level - 1];
        auto& rows = data[level];
        int ownColumn = -1;
        const Expr* probe = hashJoinProbe(join, sources, level, ownColumn);
        if (probe) {
            // Built once per level for the whole statement.
            auto& index = hashIndexes_[level];
            if (!index.built) {
                for (size_t r = 0; r < rows.size(); ++r) {
                    if (r % 4096 == 0)
                        session_.checkCancel();
                    Typed v{rows[r][static_cast<size_t>(ownColumn)],
                            sources[level].columns[static_cast<size_t>(ownColumn)].type};
                    if (v.isNull())
                        continue;
                    index.map[*canonicalKey(v)].push_back(r);
                }
                index.built = true;
            }
            Typed pv = session_.evaluate(*probe, ctx);
            bool matched = false;
            if (!pv.isNull()) {
                auto it = index.map.find(*canonicalKey(pv));
                if (it != index.map.end())
                    for (size_t r : it->second) {
                        ctx.rows[level] = &rows[r];
                        matched = true;
                        if (!joinFrom(level + 1))
                            return false;
                    }
            }
            if (!matched && join->left) {
                ctx.rows[level] = nullptr;
                if (!joinFrom(level + 1))
                    return false;
            }
            ctx.rows[level] = nullptr;
            return true;
        }
        bool matched = false;
        for (auto& row : rows) {
            // An ON clause that rejects row after row never reaches selectRow's check.
            session_.checkCancel();
            ctx.rows[level] = &row;
            if (join && join->on && session_.truth(*join->on, ctx) != true)
                continue;
            matched = true;
            if (!joinFrom(level + 1))
                return false;
        }
        if (join && join->left && !matched) {
            ctx.rows[level] = nullptr;
            if (!joinFrom(level + 1))
                return false;
        }
        ctx.rows[level] = nullptr;
        return true;
    };
    hashIndexes_.clear();
    hashIndexes_.resize(sources.size());
    try {
        joinFrom(0);
    } catch (const Cancelled&) {
        session_.engine_.dispose(std::make_shared<decltype(data)>(std::move(data)));
        session_.engine_.dispose(std::make_shared<decltype(hashIndexes_)>(std::move(hashIndexes_)));
        hashIndexes_.clear();
        throw;
    } catch (...) {
        hashIndexes_.clear();
        throw;
    }
    hashIndexes_.clear();
}

// Each group's aggregates, HAVING, and its assignment or output row.
void SelectExecutor::selectGroups(SelectQuery& q)
{
    const std::vector<Source>& sources = q.sources;
    if (q.groups.empty() && q.s.groupBy.empty()) {
        SelectQuery::Group g = q.emptyGroup();
        g.firstRows.assign(sources.size(), {});
        g.hasRow.assign(sources.size(), false);
        q.groups.push_back(std::move(g));
    }
    for (auto& g : q.groups) {
        session_.checkCancel();
        std::unordered_map<const Expr*, Typed> results;
        for (size_t ai = 0; ai < q.aggregates.size(); ++ai) {
            const Expr& a = *q.aggregates[ai];
            if (a.kind == ExprKind::CountStar || a.name == u"COUNT")
                results[&a] = Typed{g.counts[ai], TypeName{SqlType::Int, 4, 10, 0}};
            else if (a.name == u"COUNT_BIG")
                results[&a] = Typed{g.counts[ai], TypeName{SqlType::BigInt, 8, 19, 0}};
            else if (a.name == u"AVG" && !g.acc[ai].isNull())
                results[&a] = arithmetic(u'/', g.acc[ai],
                                         Typed{g.counts[ai], TypeName{SqlType::Int, 4, 10, 0}},
                                         session_.conversion_);
            else
                results[&a] = g.acc[ai];
        }
        RowContext gctx;
        gctx.sources = &sources;
        for (size_t i = 0; i < sources.size(); ++i)
            gctx.rows.push_back(g.hasRow[i] ? &g.firstRows[i] : nullptr);
        gctx.aggregates = &results;
        if (q.s.having && session_.truth(*q.s.having, gctx) != true)
            continue;
        if (q.assigning)
            selectAssign(q, gctx);
        else
            selectCollect(q, gctx);
    }
}

// The collected rows: DISTINCT, ORDER BY, then TOP, sent.
void SelectExecutor::selectCollected(SelectQuery& q, ResultSink& sink)
{
    const auto& outputs = q.outputs;
    auto& collected = q.collected;
    if (q.s.distinct) {
        // The rows stay where they are until every key is known, and a cancel leaves the keys
        // to the disposer: a million of them take a while to free.
        std::vector<size_t> firsts;
        std::unordered_map<std::u32string, bool, U32Hash> seen;
        for (size_t r = 0; r < collected.size(); ++r) {
            if (session_.cancel_ && session_.cancel_->load(std::memory_order_relaxed)) {
                session_.engine_.dispose(std::make_shared<decltype(seen)>(std::move(seen)));
                throw Cancelled{};
            }
            const auto& c = collected[r];
            std::u32string key;
            for (size_t i = 0; i < c.out.size(); ++i) {
                TypeName t{outputs[i].info.type, outputs[i].info.length, outputs[i].info.precision,
                           outputs[i].info.scale};
                auto k = canonicalKey(Typed{c.out[i], t});
                if (!k) {
                    std::u16string d = displayValue(Typed{c.out[i], t});
                    k = std::u32string(U"x");
                    for (char16_t ch : d)
                        k->push_back(ch);
                }
                key += *k;
                key.push_back(U'\x02');
            }
            if (seen.emplace(key, true).second)
                firsts.push_back(r);
        }
        session_.engine_.dispose(std::make_shared<decltype(seen)>(std::move(seen)));
        std::vector<SelectQuery::Collected> unique;
        unique.reserve(firsts.size());
        for (size_t r : firsts)
            unique.push_back(std::move(collected[r]));
        collected = std::move(unique);
    }
    if (!q.orderKeys.empty()) {
        // Their positions are sorted, not the rows: a cancel in the middle leaves every row
        // whole and in its place, for the disposer.
        std::vector<size_t> order(collected.size());
        for (size_t r = 0; r < order.size(); ++r)
            order[r] = r;
        size_t comparisons = 0;
        std::stable_sort(order.begin(), order.end(), [&](size_t xi, size_t yi) {
            if (++comparisons % 1024 == 0)
                session_.checkCancel();
            const SelectQuery::Collected& x = collected[xi];
            const SelectQuery::Collected& y = collected[yi];
            for (size_t i = 0; i < q.orderKeys.size(); ++i) {
                const SelectQuery::OrderKey& k = q.orderKeys[i];
                Typed a, b;
                if (k.output >= 0) {
                    TypeName t{outputs[static_cast<size_t>(k.output)].info.type,
                               outputs[static_cast<size_t>(k.output)].info.length,
                               outputs[static_cast<size_t>(k.output)].info.precision,
                               outputs[static_cast<size_t>(k.output)].info.scale};
                    a = Typed{x.out[static_cast<size_t>(k.output)], t};
                    b = Typed{y.out[static_cast<size_t>(k.output)], t};
                } else {
                    a = x.keys[i];
                    b = y.keys[i];
                }
                int c;
                if (a.isNull() || b.isNull())
                    c = a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
                else
                    c = *compare(a, b, session_.conversion_);
                if (c != 0)
                    return k.descending ? c > 0 : c < 0;
            }
            return false;
        });
        std::vector<SelectQuery::Collected> sorted;
        sorted.reserve(order.size());
        for (size_t r : order)
            sorted.push_back(std::move(collected[r]));
        collected = std::move(sorted);
    }
    int64_t limit = static_cast<int64_t>(collected.size());
    if (q.top >= 0)
        limit = std::min(limit, q.top);
    else if (q.top <= -2) {
        double percent = static_cast<double>(-2 - q.top) / 1000.0;
        limit = static_cast<int64_t>(
            std::ceil(percent * static_cast<double>(collected.size()) / 100.0));
    }
    selectBegin(q, sink);
    for (int64_t i = 0; i < limit; ++i) {
        if (session_.cancel_ && session_.cancel_->load())
            throw Cancelled{};
        sink.row(collected[static_cast<size_t>(i)].out);
        ++q.produced;
    }
}

} // namespace standin
