// CREATE/ALTER/DROP of tables and indexes: the engine's definitions and the SQLite storage
// behind them, with SQL Server's constraint names and errors.
#include "Executors.h"
#include "Parser.h"
#include "Text.h"
#include "TypeTable.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <set>

namespace standin {

using namespace sql;
using store::ColumnMeta;
using store::Database;
using store::ForeignKeyMeta;
using store::IndexMeta;
using store::KeyMeta;
using store::TableMeta;
using text::widen;

namespace {

std::string storageDeclaration(const ColumnMeta& c)
{
    std::string d = TableMeta::storageColumn(c);
    if (isText(c.type.type))
        d += " COLLATE SQLCI";
    return d;
}

std::u16string hex(uint64_t v, int digits)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(v));
    return widen(buf);
}

// Generated constraint names in SQL Server's style: PK__Table__<16 hex>, FK__Table__Col__<8 hex>.
std::u16string generatedName(ConstraintDef::Kind kind, const std::u16string& table,
                             const std::u16string& column, int64_t objectId)
{
    uint64_t mix = static_cast<uint64_t>(objectId) * 0x9E3779B97F4A7C15ull;
    switch (kind) {
    case ConstraintDef::Kind::PrimaryKey:
        return u"PK__" + table.substr(0, 12) + u"__" + hex(mix, 16);
    case ConstraintDef::Kind::Unique:
        return u"UQ__" + table.substr(0, 12) + u"__" + hex(mix, 16);
    case ConstraintDef::Kind::ForeignKey:
        return u"FK__" + table.substr(0, 9) + u"__" + column.substr(0, 5) + u"__" +
               hex(mix >> 32, 8);
    }
    return {};
}

void createKeyIndex(Database& db, const TableMeta& t, const KeyMeta& k)
{
    std::string sql =
        "CREATE UNIQUE INDEX k" + std::to_string(k.objectId) + " ON " + t.storageTable() + "(";
    for (size_t i = 0; i < k.columns.size(); ++i)
        sql += (i ? ", " : "") +
               TableMeta::storageColumn(t.columns[static_cast<size_t>(k.columns[i])]);
    sql += ")";
    db.exec(sql.c_str());
}

// A column to add to t, refused when t already has one of its name.
ColumnMeta newColumn(const TableMeta& t, const ColumnDefinition& col)
{
    if (t.findColumn(col.name) >= 0)
        throw SqlError(err::kColumnNamesUnique, {col.name, t.name});
    ColumnMeta m;
    m.name = col.name;
    m.type = col.type;
    m.identity = col.identity;
    m.seed = col.seed;
    m.increment = col.increment;
    return m;
}

// The names of the objects over column k that forbid changing or dropping it, in the order SQL
// Server lists them: the table's own keys, its indexes, and other tables' references to it.
bool usesColumn(const std::vector<int>& columns, int k)
{
    return std::find(columns.begin(), columns.end(), k) != columns.end();
}

std::vector<std::u16string> keysOnColumn(const TableMeta& t, int k)
{
    std::vector<std::u16string> keys;
    if (t.primaryKey && usesColumn(t.primaryKey->columns, k))
        keys.push_back(t.primaryKey->name);
    for (const auto& u : t.uniques)
        if (usesColumn(u.columns, k))
            keys.push_back(u.name);
    for (const auto& fk : t.foreignKeys)
        if (usesColumn(fk.columns, k))
            keys.push_back(fk.name);
    return keys;
}

void appendIndexesOnColumn(const TableMeta& t, int k, std::vector<std::u16string>& into)
{
    for (const auto& x : t.indexes)
        if (usesColumn(x.columns, k))
            into.push_back(x.name);
}

void appendReferencesToColumn(Database& db, const TableMeta& t, int k,
                              std::vector<std::u16string>& into)
{
    for (const TableMeta* other : db.tables())
        for (const auto& fk : other->foreignKeys)
            if (fk.refTable == t.id && usesColumn(fk.refColumns, k))
                into.push_back(fk.name);
}

// One message per object, then the statement's failure.
void refuseIfDependents(const std::vector<std::u16string>& dependents, const std::u16string& column,
                        const std::u16string& statement)
{
    if (dependents.empty())
        return;
    SqlError e(err::kDependentOnColumn, {dependents[0], column});
    for (size_t i = 1; i < dependents.size(); ++i)
        e.then(makeMessage(err::kDependentOnColumn, {dependents[i], column}));
    e.then(makeMessage(err::kAlterColumnFailed, {statement + column}));
    throw e;
}

// Whether a value of column type `a` is kept just as the same value of type `b`, so that the
// stored values may be compared without converting them.
bool storedAlike(const TypeName& a, const TypeName& b)
{
    if (a.type != b.type)
        return false;
    if (a.type == SqlType::NVarChar || a.type == SqlType::VarChar)
        return b.length == -1 || (a.length != -1 && a.length <= b.length);
    return a.length == b.length && a.precision == b.precision && a.scale == b.scale;
}

} // namespace

// Validates a definition's constraints and adds them to `t` (which may already hold rows).
static void
addConstraints(SessionImpl& session, Database& db, TableMeta& t,
               std::vector<ConstraintDef>& constraints, bool tableHasRows,
               const std::function<void(const TableMeta&, const ForeignKeyMeta&)>& checkRows,
               const std::function<void(const TableMeta&, const KeyMeta&)>& checkUnique)
{
    (void)session;
    std::set<std::u16string> namesInStatement;
    for (auto& c : constraints) {
        int64_t objectId = db.allocateObjectId();
        std::u16string firstColumn = c.columns.empty() ? u"" : c.columns.front();
        if (c.name.empty())
            c.name = generatedName(c.kind, t.name, firstColumn, objectId);
        std::u16string upper = text::upper(c.name);
        if (db.objectNameTaken(c.name) || namesInStatement.count(upper) ||
            text::equalsIgnoreCase(c.name, t.name))
            throw SqlError(err::kObjectExists, {c.name}).then(makeMessage(err::kConstraintFailed));
        namesInStatement.insert(upper);
        std::vector<int> cols;
        for (const auto& name : c.columns) {
            int k = t.findColumn(name);
            if (k < 0) {
                if (c.kind == ConstraintDef::Kind::ForeignKey)
                    throw SqlError(err::kForeignKeyColumnMissing, {c.name, name, t.name})
                        .then(makeMessage(err::kConstraintFailed));
                throw SqlError(err::kColumnMissingInTable, {name})
                    .then(makeMessage(err::kConstraintFailed));
            }
            cols.push_back(k);
        }
        if (c.kind == ConstraintDef::Kind::PrimaryKey || c.kind == ConstraintDef::Kind::Unique) {
            KeyMeta key;
            key.name = c.name;
            key.columns = cols;
            key.primary = c.kind == ConstraintDef::Kind::PrimaryKey;
            key.clustered = c.clustered;
            key.objectId = objectId;
            if (key.primary) {
                if (t.primaryKey)
                    throw SqlError(
                        tableHasRows ? err::kPrimaryKeyExists : err::kMultiplePrimaryKeys, {t.name})
                        .then(makeMessage(err::kConstraintFailed));
                for (int k : cols)
                    if (t.columns[static_cast<size_t>(k)].nullable)
                        throw SqlError(err::kNullablePrimaryKey, {t.name})
                            .then(makeMessage(err::kConstraintFailed));
            }
            if (key.clustered) {
                const std::u16string* existing = nullptr;
                if (t.primaryKey && t.primaryKey->clustered)
                    existing = &t.primaryKey->name;
                for (const auto& u : t.uniques)
                    if (u.clustered)
                        existing = &u.name;
                for (const auto& x : t.indexes)
                    if (x.clustered)
                        existing = &x.name;
                if (existing) {
                    if (!c.clusteredGiven && key.primary)
                        key.clustered =
                            false; // a primary key added later takes a nonclustered index
                    else
                        throw SqlError(err::kSecondClustered, {u"table", t.name, *existing})
                            .then(makeMessage(err::kConstraintFailed));
                }
            }
            checkUnique(t, key);
            if (key.primary)
                t.primaryKey = key;
            else
                t.uniques.push_back(key);
            continue;
        }
        // FOREIGN KEY
        const TableMeta* parent =
            text::equalsIgnoreCase(c.refTable, t.name) ? &t : db.table(c.refTable);
        if (!parent)
            throw SqlError(err::kForeignKeyBadTable, {c.name, c.refTable})
                .then(makeMessage(err::kConstraintFailed));
        std::vector<int> refCols;
        if (c.refColumns.empty()) {
            if (!parent->primaryKey)
                throw SqlError(err::kForeignKeyNoKey, {parent->name, c.name})
                    .then(makeMessage(err::kConstraintFailed));
            refCols = parent->primaryKey->columns;
        } else {
            for (const auto& name : c.refColumns) {
                int k = parent->findColumn(name);
                if (k < 0)
                    throw SqlError(err::kForeignKeyColumnMissing, {c.name, name, parent->name})
                        .then(makeMessage(err::kConstraintFailed));
                refCols.push_back(k);
            }
        }
        if (refCols.size() != cols.size())
            throw SqlError(err::kForeignKeyColumnCount, {t.name})
                .then(makeMessage(err::kConstraintFailed));
        auto sameSet = [&](const std::vector<int>& key) {
            return std::set<int>(key.begin(), key.end()) ==
                       std::set<int>(refCols.begin(), refCols.end()) &&
                   key.size() == refCols.size();
        };
        bool keyed = parent->primaryKey && sameSet(parent->primaryKey->columns);
        for (const auto& u : parent->uniques)
            keyed = keyed || sameSet(u.columns);
        for (const auto& x : parent->indexes)
            keyed = keyed || (x.unique && sameSet(x.columns));
        if (!keyed)
            throw SqlError(err::kForeignKeyNoKey, {parent->name, c.name})
                .then(makeMessage(err::kConstraintFailed));
        for (size_t i = 0; i < cols.size(); ++i) {
            const auto& a = t.columns[static_cast<size_t>(cols[i])];
            const auto& b = parent->columns[static_cast<size_t>(refCols[i])];
            bool compatible = a.type.type == b.type.type ||
                              (isText(a.type.type) && isText(b.type.type) &&
                               isNationalText(a.type.type) == isNationalText(b.type.type));
            if (!compatible || (isText(a.type.type) && a.type.length != b.type.length &&
                                a.type.type != b.type.type))
                throw SqlError(err::kForeignKeyTypeMismatch, {b.name, a.name, c.name})
                    .then(makeMessage(err::kConstraintFailed));
        }
        ForeignKeyMeta fk;
        fk.name = c.name;
        fk.columns = cols;
        fk.refTable = parent->id;
        fk.refColumns = refCols;
        fk.deleteCascade = c.onDelete == ReferentialAction::Cascade;
        fk.updateCascade = c.onUpdate == ReferentialAction::Cascade;
        fk.objectId = objectId;
        if (tableHasRows)
            checkRows(t, fk);
        t.foreignKeys.push_back(fk);
    }
}

void DdlExecutor::createTable(CreateTableStmt& s)
{
    Work work(session_, true);
    Database& db = work.db();
    session_.checkDatabasePart(s.table);
    const std::u16string& name = s.table.table();
    if (name.size() > 0 && name[0] == u'#')
        throw notSupported(u"Temporary tables");
    if (db.objectNameTaken(name))
        throw SqlError(err::kObjectExists, {name});
    TableMeta t;
    t.id = db.allocateObjectId();
    t.name = name;
    t.created = now();
    std::vector<ConstraintDef> constraints;
    std::set<std::u16string> pkColumns;
    auto notePrimary = [&](const ConstraintDef& c) {
        if (c.kind == ConstraintDef::Kind::PrimaryKey)
            for (const auto& col : c.columns)
                pkColumns.insert(text::upper(col));
    };
    for (auto& c : s.constraints)
        notePrimary(c);
    for (auto& col : s.columns)
        for (auto& c : col.constraints)
            notePrimary(c);
    bool identitySeen = false;
    for (auto& col : s.columns) {
        ColumnMeta m = newColumn(t, col);
        if (col.identity) {
            if (identitySeen)
                throw SqlError(err::kMultipleIdentity, {t.name});
            identitySeen = true;
            bool integral = isInteger(col.type.type) && col.type.type != SqlType::Bit;
            if (!integral && !(col.type.type == SqlType::Decimal && col.type.scale == 0))
                throw SqlError(err::kIdentityType, {col.name});
            if (col.nullable == true)
                throw SqlError(err::kNullableIdentity, {col.name, t.name});
        }
        bool inPrimaryKey = pkColumns.count(text::upper(col.name)) > 0;
        if (col.nullable == true && inPrimaryKey)
            throw SqlError(err::kNullablePrimaryKey, {t.name})
                .then(makeMessage(err::kConstraintFailed));
        m.nullable = col.identity || inPrimaryKey ? false : col.nullable.value_or(true);
        m.storage = t.nextStorage++;
        t.columns.push_back(m);
        for (auto& c : col.constraints)
            constraints.push_back(c);
    }
    if (t.columns.empty())
        throw syntaxError(u")");
    for (auto& c : s.constraints)
        constraints.push_back(c);
    addConstraints(session_, db, t, constraints, false, {},
                   [](const TableMeta&, const KeyMeta&) {});
    std::string sql = "CREATE TABLE " + t.storageTable() + "(";
    for (size_t i = 0; i < t.columns.size(); ++i)
        sql += (i ? ", " : "") + storageDeclaration(t.columns[i]);
    sql += ")";
    db.exec(sql.c_str());
    if (t.primaryKey)
        createKeyIndex(db, t, *t.primaryKey);
    for (const auto& k : t.uniques)
        createKeyIndex(db, t, k);
    db.saveTable(t);
    work.commit();
}

void DdlExecutor::alterTable(AlterTableStmt& s)
{
    Work work(session_, true);
    Database& db = work.db();
    TableMeta t = session_.requireTable(db, s.table);
    bool hasRows = false;
    session_.scan(db, t, [&](int64_t, std::vector<Value>&) {
        hasRows = true;
        return false;
    });
    switch (s.action) {
    case AlterTableStmt::Action::Add:
        addColumns(s, db, t, hasRows);
        break;
    case AlterTableStmt::Action::DropConstraint:
        dropConstraints(s, db, t);
        break;
    case AlterTableStmt::Action::AlterColumn:
        alterColumn(s, db, t);
        break;
    case AlterTableStmt::Action::DropColumn:
        dropColumns(s, db, t);
        break;
    }
    work.commit();
    db.clearStatementCache();
}

// ADD: columns first, each checked against the rows already there, then the constraints.
void DdlExecutor::addColumns(AlterTableStmt& s, Database& db, TableMeta& t, bool hasRows)
{
    std::vector<ConstraintDef> constraints;
    for (auto& col : s.addColumns) {
        ColumnMeta m = newColumn(t, col);
        if (col.identity && t.identityColumn() >= 0)
            throw SqlError(err::kMultipleIdentity, {t.name});
        bool inPrimaryKey = false;
        for (const auto& c : col.constraints)
            inPrimaryKey = inPrimaryKey || c.kind == ConstraintDef::Kind::PrimaryKey;
        m.nullable = col.identity || inPrimaryKey ? false : col.nullable.value_or(true);
        if (!m.nullable && !m.identity && hasRows)
            throw SqlError(err::kAddNotNullColumn, {col.name, t.name});
        m.storage = t.nextStorage++;
        std::string sql =
            "ALTER TABLE " + t.storageTable() + " ADD COLUMN " + storageDeclaration(m);
        db.exec(sql.c_str());
        t.columns.push_back(m);
        if (m.identity) {
            // Existing rows take identity values in their stored order.
            std::vector<int64_t> rowids;
            session_.scan(db, t, [&](int64_t rowid, std::vector<Value>&) {
                rowids.push_back(rowid);
                return true;
            });
            int64_t v = m.seed;
            for (int64_t rowid : rowids) {
                store::Query q = db.query("UPDATE " + t.storageTable() + " SET " +
                                          TableMeta::storageColumn(m) + " = ? WHERE rowid = ?");
                q.bindInt(1, v);
                q.bindInt(2, rowid);
                q.step();
                t.identityCurrent = v;
                t.identityUsed = true;
                v += m.increment;
            }
        }
        for (auto& c : col.constraints)
            constraints.push_back(c);
    }
    for (auto& c : s.addConstraints)
        constraints.push_back(c);
    auto checkRows = [&](const TableMeta& table, const ForeignKeyMeta& fk) {
        const TableMeta& parent = fk.refTable == table.id ? table : *db.tableById(fk.refTable);
        if (!everyRowHasParent(db, table, parent, fk))
            throw SqlError(err::kConstraintConflict,
                           {u"ALTER TABLE", u"FOREIGN KEY", fk.name, session_.databaseName_,
                            session_.qualifiedName(parent),
                            parent.columns[static_cast<size_t>(fk.refColumns[0])].name});
    };
    // A key over rows already there gets its index at once: building it finds a duplicate, and
    // only then are the rows grouped to name it.
    std::set<int64_t> keyIndexesBuilt;
    auto checkUnique = [&](const TableMeta& table, const KeyMeta& key) {
        if (!hasRows)
            return;
        if (buildKeyIndexOverRows(db, table, key))
            keyIndexesBuilt.insert(key.objectId);
    };
    size_t uniquesBefore = t.uniques.size();
    bool hadPrimary = t.primaryKey.has_value();
    addConstraints(session_, db, t, constraints, hasRows, checkRows, checkUnique);
    if (t.primaryKey && !hadPrimary && !keyIndexesBuilt.count(t.primaryKey->objectId))
        createKeyIndex(db, t, *t.primaryKey);
    for (size_t i = uniquesBefore; i < t.uniques.size(); ++i)
        if (!keyIndexesBuilt.count(t.uniques[i].objectId))
            createKeyIndex(db, t, t.uniques[i]);
    db.saveTable(t);
}

// Whether every row of `child` whose key holds no NULL finds its row in `parent`. Where each
// key column and the column it refers to keep their values alike (and always for a reference
// to the table's own rows, which may be in columns added by this statement), one query over
// the storage answers it; otherwise each row's key is converted to the parent's types and
// looked up.
bool DdlExecutor::everyRowHasParent(Database& db, const TableMeta& child, const TableMeta& parent,
                                    const ForeignKeyMeta& fk)
{
    bool alike = true;
    for (size_t i = 0; i < fk.columns.size(); ++i)
        alike = alike && storedAlike(child.columns[static_cast<size_t>(fk.columns[i])].type,
                                     parent.columns[static_cast<size_t>(fk.refColumns[i])].type);
    if (!alike && fk.refTable != child.id) {
        bool orphan = false;
        session_.scan(db, child, [&](int64_t, std::vector<Value>& row) {
            orphan = !session_.parentExists(db, fk, row, child);
            return !orphan;
        });
        return !orphan;
    }
    std::string sql = "SELECT 1 FROM " + child.storageTable() + " AS c WHERE ";
    std::string match;
    for (size_t i = 0; i < fk.columns.size(); ++i) {
        const std::string column =
            "c." + TableMeta::storageColumn(child.columns[static_cast<size_t>(fk.columns[i])]);
        sql += column + " IS NOT NULL AND ";
        match += (i ? " AND p." : "p.") +
                 TableMeta::storageColumn(parent.columns[static_cast<size_t>(fk.refColumns[i])]) +
                 " = " + column;
    }
    sql +=
        "NOT EXISTS (SELECT 1 FROM " + parent.storageTable() + " AS p WHERE " + match + ") LIMIT 1";
    store::Query q = db.query(sql);
    struct Reset {
        sqlite3_stmt* s;
        ~Reset() { sqlite3_reset(s); }
    } reset{q.raw()};
    const SessionImpl::CancellableReading reading(session_, db);
    return !session_.stepCancellable(q);
}

// Builds the unique index of a key over a table's rows; false when the table has none. A
// duplicate is refused with the first duplicated value, as SQL Server names it.
bool DdlExecutor::buildKeyIndexOverRows(Database& db, const TableMeta& table, const KeyMeta& key)
{
    bool nullable = false;
    for (int k : key.columns)
        nullable = nullable || table.columns[static_cast<size_t>(k)].nullable;
    // SQLite's unique index lets NULLs repeat, SQL Server's does not: those are grouped first.
    if (!nullable) {
        try {
            createKeyIndex(db, table, key);
            return true;
        } catch (const store::StorageError& e) {
            if (!e.isUnique())
                throw;
        }
    }
    std::string cols;
    for (size_t i = 0; i < key.columns.size(); ++i)
        cols += (i ? ", " : "") +
                TableMeta::storageColumn(table.columns[static_cast<size_t>(key.columns[i])]);
    store::Query q = db.query("SELECT " + cols + " FROM " + table.storageTable() + " GROUP BY " +
                              cols + " HAVING COUNT(*) > 1 LIMIT 1");
    if (q.step()) {
        std::u16string shown;
        for (size_t i = 0; i < key.columns.size(); ++i) {
            const auto& c = table.columns[static_cast<size_t>(key.columns[i])];
            shown += (i ? u", " : u"") +
                     displayValue(Typed{q.column(static_cast<int>(i), c.type), c.type});
        }
        sqlite3_reset(q.raw());
        throw SqlError(err::kUniqueIndexDuplicate, {session_.qualifiedName(table), key.name, shown})
            .then(makeMessage(err::kConstraintFailed))
            .then(makeMessage(err::kStatementTerminated));
    }
    sqlite3_reset(q.raw());
    return false;
}

void DdlExecutor::dropConstraints(AlterTableStmt& s, Database& db, TableMeta& t)
{
    for (const auto& name : s.dropNames) {
        bool found = false;
        if (t.primaryKey && text::equalsIgnoreCase(t.primaryKey->name, name)) {
            for (const TableMeta* other : db.tables())
                for (const auto& fk : other->foreignKeys)
                    if (fk.refTable == t.id && other->id != t.id)
                        throw SqlError(err::kConstraintReferenced,
                                       {t.primaryKey->name, other->name, fk.name})
                            .then(makeMessage(err::kDropConstraintFailed));
            std::string sql = "DROP INDEX IF EXISTS k" + std::to_string(t.primaryKey->objectId);
            db.exec(sql.c_str());
            t.primaryKey.reset();
            found = true;
        }
        for (size_t i = 0; !found && i < t.uniques.size(); ++i)
            if (text::equalsIgnoreCase(t.uniques[i].name, name)) {
                std::string sql = "DROP INDEX IF EXISTS k" + std::to_string(t.uniques[i].objectId);
                db.exec(sql.c_str());
                t.uniques.erase(t.uniques.begin() + static_cast<long>(i));
                found = true;
            }
        for (size_t i = 0; !found && i < t.foreignKeys.size(); ++i)
            if (text::equalsIgnoreCase(t.foreignKeys[i].name, name)) {
                t.foreignKeys.erase(t.foreignKeys.begin() + static_cast<long>(i));
                found = true;
            }
        if (!found)
            throw SqlError(err::kNotAConstraint, {name})
                .then(makeMessage(err::kDropConstraintFailed));
    }
    db.saveTable(t);
}

void DdlExecutor::alterColumn(AlterTableStmt& s, Database& db, TableMeta& t)
{
    const ColumnDefinition& def = s.alterColumn;
    int k = t.findColumn(def.name);
    if (k < 0)
        throw SqlError(err::kAlterColumnMissing, {def.name, t.name});
    ColumnMeta& column = t.columns[static_cast<size_t>(k)];
    // Keys and indexes over the column forbid changing it, as on SQL Server.
    std::vector<std::u16string> dependents = keysOnColumn(t, k);
    appendReferencesToColumn(db, t, k, dependents);
    bool widening =
        def.type.type == column.type.type &&
        (def.type.type == SqlType::NVarChar || def.type.type == SqlType::VarChar ||
         def.type.type == SqlType::VarBinary) &&
        (def.type.length == -1 ? column.type.length == -1
                               : column.type.length != -1 && def.type.length >= column.type.length);
    if (!widening)
        appendIndexesOnColumn(t, k, dependents);
    refuseIfDependents(dependents, column.name, u"ALTER COLUMN ");
    if (column.identity)
        throw notSupported(u"ALTER COLUMN of an identity column");
    ColumnMeta changed = column;
    changed.type = def.type;
    changed.nullable = def.nullable.value_or(true);
    std::vector<std::pair<int64_t, Value>> converted;
    session_.scan(db, t, [&](int64_t rowid, std::vector<Value>& row) {
        Typed old{row[static_cast<size_t>(k)], column.type};
        converted.emplace_back(rowid, session_.assign(old, changed, t, u"UPDATE"));
        return true;
    });
    if (isText(changed.type.type) != isText(column.type.type)) {
        // The SQLite column's collation follows the type; rebuild it under a new storage name.
        changed.storage = t.nextStorage++;
        std::string sql =
            "ALTER TABLE " + t.storageTable() + " ADD COLUMN " + storageDeclaration(changed);
        db.exec(sql.c_str());
        for (const auto& x : t.indexes)
            if (usesColumn(x.columns, k)) {
                std::string drop = "DROP INDEX IF EXISTS i" + std::to_string(x.storageId);
                db.exec(drop.c_str());
            }
        std::string drop =
            "ALTER TABLE " + t.storageTable() + " DROP COLUMN " + TableMeta::storageColumn(column);
        db.exec(drop.c_str());
    }
    for (const auto& [rowid, value] : converted) {
        store::Query q = db.query("UPDATE " + t.storageTable() + " SET " +
                                  TableMeta::storageColumn(changed) + " = ? WHERE rowid = ?");
        q.bind(1, value);
        q.bindInt(2, rowid);
        q.step();
    }
    column = changed;
    db.saveTable(t);
}

void DdlExecutor::dropColumns(AlterTableStmt& s, Database& db, TableMeta& t)
{
    for (const auto& name : s.dropNames) {
        int k = t.findColumn(name);
        if (k < 0)
            throw SqlError(err::kAlterColumnMissing, {name, t.name});
        std::vector<std::u16string> dependents = keysOnColumn(t, k);
        appendIndexesOnColumn(t, k, dependents);
        appendReferencesToColumn(db, t, k, dependents);
        refuseIfDependents(dependents, t.columns[static_cast<size_t>(k)].name, u"DROP COLUMN ");
        if (t.columns.size() == 1)
            throw notSupported(u"Dropping the only column of a table");
        std::string sql = "ALTER TABLE " + t.storageTable() + " DROP COLUMN " +
                          TableMeta::storageColumn(t.columns[static_cast<size_t>(k)]);
        db.exec(sql.c_str());
        t.columns.erase(t.columns.begin() + k);
        auto shift = [&](std::vector<int>& cols) {
            for (int& c : cols)
                if (c > k)
                    --c;
        };
        if (t.primaryKey)
            shift(t.primaryKey->columns);
        for (auto& u : t.uniques)
            shift(u.columns);
        for (auto& fk : t.foreignKeys)
            shift(fk.columns);
        for (auto& x : t.indexes)
            shift(x.columns);
        // Self references keep the referenced positions in step too.
        for (auto& fk : t.foreignKeys)
            if (fk.refTable == t.id)
                shift(fk.refColumns);
        db.saveTable(t);
        for (const TableMeta* other : db.tables()) {
            if (other->id == t.id)
                continue;
            bool touched = false;
            TableMeta copy = *other;
            for (auto& fk : copy.foreignKeys)
                if (fk.refTable == t.id) {
                    shift(fk.refColumns);
                    touched = true;
                }
            if (touched)
                db.saveTable(copy);
        }
    }
}

void DdlExecutor::createIndex(CreateIndexStmt& s)
{
    Work work(session_, true);
    Database& db = work.db();
    session_.checkDatabasePart(s.table);
    const TableMeta* found = db.table(s.table.table());
    if (!found)
        throw SqlError(err::kTableMissingForIndex, {s.table.table()});
    TableMeta t = *found;
    auto sameName = [&](const std::u16string& n) { return text::equalsIgnoreCase(n, s.name); };
    bool taken = (t.primaryKey && sameName(t.primaryKey->name));
    for (const auto& u : t.uniques)
        taken = taken || sameName(u.name);
    for (const auto& x : t.indexes)
        taken = taken || sameName(x.name);
    if (taken)
        throw SqlError(err::kIndexExists, {s.name, session_.qualifiedName(t)});
    IndexMeta index;
    index.name = s.name;
    index.unique = s.unique;
    index.clustered = s.clustered;
    std::set<int> seen;
    for (const auto& name : s.columns) {
        int k = t.findColumn(name);
        if (k < 0)
            throw SqlError(err::kColumnMissingInTable, {name});
        if (!seen.insert(k).second)
            throw SqlError(err::kColumnTwice, {name});
        const auto& type = t.columns[static_cast<size_t>(k)].type;
        if (typeInfo(type.type).isLong || type.length == -1)
            throw SqlError(err::kIndexKeyType,
                           {t.columns[static_cast<size_t>(k)].name, session_.qualifiedName(t)});
        index.columns.push_back(k);
    }
    if (index.clustered) {
        const std::u16string* existing = nullptr;
        if (t.primaryKey && t.primaryKey->clustered)
            existing = &t.primaryKey->name;
        for (const auto& u : t.uniques)
            if (u.clustered)
                existing = &u.name;
        for (const auto& x : t.indexes)
            if (x.clustered)
                existing = &x.name;
        if (existing)
            throw SqlError(err::kSecondClustered, {u"table", session_.qualifiedName(t), *existing});
    }
    index.storageId = db.allocateObjectId();
    std::string cols;
    for (size_t i = 0; i < index.columns.size(); ++i)
        cols += (i ? ", " : "") +
                TableMeta::storageColumn(t.columns[static_cast<size_t>(index.columns[i])]);
    if (index.unique) {
        store::Query q = db.query("SELECT " + cols + " FROM " + t.storageTable() + " GROUP BY " +
                                  cols + " HAVING COUNT(*) > 1 LIMIT 1");
        if (q.step()) {
            std::u16string shown;
            for (size_t i = 0; i < index.columns.size(); ++i) {
                const auto& c = t.columns[static_cast<size_t>(index.columns[i])];
                shown += (i ? u", " : u"") +
                         displayValue(Typed{q.column(static_cast<int>(i), c.type), c.type});
            }
            sqlite3_reset(q.raw());
            throw SqlError(err::kUniqueIndexDuplicate,
                           {session_.qualifiedName(t), index.name, shown})
                .then(makeMessage(err::kStatementTerminated));
        }
        sqlite3_reset(q.raw());
    }
    std::string sql = std::string(index.unique ? "CREATE UNIQUE INDEX i" : "CREATE INDEX i") +
                      std::to_string(index.storageId) + " ON " + t.storageTable() + "(" + cols +
                      ")";
    db.exec(sql.c_str());
    t.indexes.push_back(index);
    db.saveTable(t);
    work.commit();
}

void DdlExecutor::dropIndex(DropIndexStmt& s)
{
    Work work(session_, true);
    Database& db = work.db();
    for (auto& [table, name] : s.indexes) {
        session_.checkDatabasePart(table);
        const TableMeta* found = db.table(table.table());
        if (!found)
            throw SqlError(err::kDropIndexMissing, {table.table() + u"." + name});
        TableMeta t = *found;
        if (t.primaryKey && text::equalsIgnoreCase(t.primaryKey->name, name))
            throw SqlError(err::kDropIndexOfConstraint,
                           {session_.qualifiedName(t) + u"." + t.primaryKey->name, u"PRIMARY KEY"});
        for (const auto& u : t.uniques)
            if (text::equalsIgnoreCase(u.name, name))
                throw SqlError(err::kDropIndexOfConstraint,
                               {session_.qualifiedName(t) + u"." + u.name, u"UNIQUE KEY"});
        bool removed = false;
        for (size_t i = 0; i < t.indexes.size(); ++i)
            if (text::equalsIgnoreCase(t.indexes[i].name, name)) {
                std::string sql = "DROP INDEX IF EXISTS i" + std::to_string(t.indexes[i].storageId);
                db.exec(sql.c_str());
                t.indexes.erase(t.indexes.begin() + static_cast<long>(i));
                removed = true;
                break;
            }
        if (!removed)
            throw SqlError(err::kDropIndexMissing, {table.table() + u"." + name});
        db.saveTable(t);
    }
    work.commit();
}

void DdlExecutor::dropTable(DropTableStmt& s)
{
    Work work(session_, true);
    Database& db = work.db();
    for (auto& name : s.tables) {
        session_.checkDatabasePart(name);
        const TableMeta* t = db.table(name.table());
        if (!t) {
            if (s.ifExists)
                continue;
            throw SqlError(err::kDropMissing, {u"table", name.table()});
        }
        for (const TableMeta* other : db.tables())
            if (other->id != t->id)
                for (const auto& fk : other->foreignKeys)
                    if (fk.refTable == t->id)
                        throw SqlError(err::kReferencedByForeignKey, {t->name});
        if (session_.identityInsertTable_ == t->id && session_.identityInsertDb_ == session_.db_) {
            session_.identityInsertTable_ = 0;
            session_.identityInsertDb_.reset();
        }
        std::string sql = "DROP TABLE " + t->storageTable();
        db.clearStatementCache();
        db.exec(sql.c_str());
        db.removeTable(t->id);
    }
    work.commit();
}

} // namespace standin
