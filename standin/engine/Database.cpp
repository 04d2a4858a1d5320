// One user database of the stand-in: opening its SQLite file, its table definitions and its
// statement cache.
#include "Database.h"

#include "Text.h"
#include "TypeTable.h"
#include "Values.h"

#include <sqlite3.h>

#include <chrono>
#include <stdexcept>

namespace standin::store {

namespace {

// Compares two stored texts under the default collation; used by the unique indexes of keys
// and by key lookups, so that 'abc' and 'ABC ' are one key, as on SQL Server.
int collateStored(void*, int lengthA, const void* a, int lengthB, const void* b)
{
    // A lookup in an index compares many keys, mostly short ones: those are decoded on the stack.
    constexpr size_t kShort = 128;
    char16_t shortX[kShort], shortY[kShort];
    std::u16string longX, longY;
    auto decoded = [](const void* bytes, int length, char16_t* stack,
                      std::u16string& heap) -> std::u16string_view {
        const std::string_view in(static_cast<const char*>(bytes), static_cast<size_t>(length));
        char16_t* out = stack;
        if (in.size() > kShort) {
            heap.resize(in.size());
            out = heap.data();
        }
        return std::u16string_view(out, text::fromWtf8Into(in, out));
    };
    return text::collate(decoded(a, lengthA, shortX, longX), decoded(b, lengthB, shortY, longY));
}

[[noreturn]] void fail(sqlite3* db, int rc)
{
    throw StorageError(rc, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

int64_t packDateTime(const DateTimeValue& v)
{
    return static_cast<int64_t>(v.days) * kTicksPerDay + v.ticks;
}

DateTimeValue unpackDateTime(int64_t packed)
{
    int64_t days = packed / kTicksPerDay;
    int64_t ticks = packed % kTicksPerDay;
    if (ticks < 0) {
        ticks += kTicksPerDay;
        --days;
    }
    return DateTimeValue{static_cast<int32_t>(days), static_cast<uint32_t>(ticks)};
}

} // namespace

bool StorageError::isUnique() const
{
    return code_ == SQLITE_CONSTRAINT_UNIQUE || code_ == SQLITE_CONSTRAINT_PRIMARYKEY;
}

void Query::bind(int index, const Value& value)
{
    int rc = SQLITE_OK;
    if (std::holds_alternative<std::monostate>(value)) {
        rc = sqlite3_bind_null(stmt_, index);
    } else if (auto* n = std::get_if<int64_t>(&value)) {
        rc = sqlite3_bind_int64(stmt_, index, *n);
    } else if (auto* d = std::get_if<double>(&value)) {
        rc = sqlite3_bind_double(stmt_, index, *d);
    } else if (auto* s = std::get_if<std::u16string>(&value)) {
        std::string bytes = text::toWtf8(*s);
        rc = sqlite3_bind_text64(stmt_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
    } else if (auto* b = std::get_if<Bytes>(&value)) {
        rc = b->empty() ? sqlite3_bind_zeroblob(stmt_, index, 0)
                        : sqlite3_bind_blob64(stmt_, index, b->data(), b->size(), SQLITE_TRANSIENT);
    } else if (auto* dt = std::get_if<DateTimeValue>(&value)) {
        rc = sqlite3_bind_int64(stmt_, index, packDateTime(*dt));
    }
    if (rc != SQLITE_OK)
        fail(sqlite3_db_handle(stmt_), rc);
}

void Query::bindInt(int index, int64_t value)
{
    int rc = sqlite3_bind_int64(stmt_, index, value);
    if (rc != SQLITE_OK)
        fail(sqlite3_db_handle(stmt_), rc);
}

bool Query::step()
{
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    int extended = sqlite3_extended_errcode(sqlite3_db_handle(stmt_));
    std::string message = sqlite3_errmsg(sqlite3_db_handle(stmt_));
    sqlite3_reset(stmt_);
    throw StorageError(extended, message);
}

int64_t Query::columnInt(int index) const
{
    return sqlite3_column_int64(stmt_, index);
}

Value Query::column(int index, const TypeName& type) const
{
    int kind = sqlite3_column_type(stmt_, index);
    if (kind == SQLITE_NULL)
        return std::monostate{};
    switch (typeInfo(type.type).storage) {
    case StorageClass::Integer:
        return static_cast<int64_t>(sqlite3_column_int64(stmt_, index));
    case StorageClass::Real:
        return sqlite3_column_double(stmt_, index);
    case StorageClass::DateTime:
        return unpackDateTime(sqlite3_column_int64(stmt_, index));
    case StorageClass::Text: {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, index));
        int n = sqlite3_column_bytes(stmt_, index);
        return text::fromWtf8(std::string_view(p ? p : "", static_cast<size_t>(n)));
    }
    case StorageClass::Blob: {
        const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, index));
        int n = sqlite3_column_bytes(stmt_, index);
        return Bytes(p, p + n);
    }
    }
    return std::monostate{};
}

std::shared_ptr<Database> Database::open(const std::filesystem::path& file)
{
    std::shared_ptr<Database> d(new Database());
    d->file_ = file;
    int rc = sqlite3_open_v2(file.c_str(), &d->db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string text = d->db_ ? sqlite3_errmsg(d->db_) : sqlite3_errstr(rc);
        throw std::runtime_error("cannot open database file " + file.string() + ": " + text);
    }
    sqlite3_extended_result_codes(d->db_, 1);
    d->prepareFile();
    return d;
}

Database::~Database()
{
    clearStatementCache();
    if (db_)
        sqlite3_close_v2(db_);
}

void Database::prepareFile()
{
    if (sqlite3_create_collation(db_, "SQLCI", SQLITE_UTF8, nullptr, collateStored) != SQLITE_OK)
        fail(db_, sqlite3_errcode(db_));
    sqlite3_busy_timeout(db_, 10000);
    // WAL with synchronous=NORMAL: a commit is in the WAL file (the OS keeps it) before the
    // statement is answered, so a killed server loses nothing answered; only a power cut can.
    exec("PRAGMA journal_mode=WAL");
    exec("PRAGMA synchronous=NORMAL");
    exec("PRAGMA foreign_keys=OFF");
    exec("CREATE TABLE IF NOT EXISTS standin_object(id INTEGER PRIMARY KEY, definition BLOB NOT "
         "NULL)");
    exec("CREATE TABLE IF NOT EXISTS standin_identity(id INTEGER PRIMARY KEY, current INTEGER NOT "
         "NULL, "
         "used INTEGER NOT NULL)");
    exec("CREATE TABLE IF NOT EXISTS standin_setting(name TEXT PRIMARY KEY, value INTEGER)");
    reload();
}

void Database::exec(const char* sql)
{
    char* error = nullptr;
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::string text = error ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        throw StorageError(sqlite3_extended_errcode(db_), text);
    }
}

void Database::run(const char* sql)
{
    Query q = query(sql);
    q.step();
    sqlite3_reset(q.raw());
}

Query Database::query(const std::string& sql)
{
    auto it = cache_.find(sql);
    if (it != cache_.end()) {
        sqlite3_reset(it->second);
        sqlite3_clear_bindings(it->second);
        return Query(it->second);
    }
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(db_, rc);
    if (cache_.size() > 512)
        clearStatementCache();
    cache_.emplace(sql, stmt);
    return Query(stmt);
}

void Database::clearStatementCache()
{
    for (auto& [sql, stmt] : cache_)
        sqlite3_finalize(stmt);
    cache_.clear();
}

bool Database::acquire(const void* owner, const std::atomic<bool>* cancel)
{
    std::unique_lock lock(lockMutex_);
    while (owner_ != nullptr && owner_ != owner) {
        if (cancel && cancel->load())
            return false;
        lockFree_.wait_for(lock, std::chrono::milliseconds(50));
    }
    owner_ = owner;
    ++depth_;
    return true;
}

void Database::release(const void* owner)
{
    std::lock_guard lock(lockMutex_);
    if (owner_ != owner || depth_ == 0)
        return;
    if (--depth_ == 0) {
        owner_ = nullptr;
        lockFree_.notify_all();
    }
}

const TableMeta* Database::table(const std::u16string& name) const
{
    for (const auto& [id, t] : tables_)
        if (text::equalsIgnoreCase(t.name, name))
            return &t;
    return nullptr;
}

const TableMeta* Database::tableById(int64_t id) const
{
    auto it = tables_.find(id);
    return it == tables_.end() ? nullptr : &it->second;
}

std::vector<const TableMeta*> Database::tables() const
{
    std::vector<const TableMeta*> out;
    for (const auto& [id, t] : tables_)
        out.push_back(&t);
    return out;
}

bool Database::objectNameTaken(const std::u16string& name) const
{
    for (const auto& [id, t] : tables_) {
        if (text::equalsIgnoreCase(t.name, name))
            return true;
        if (t.primaryKey && text::equalsIgnoreCase(t.primaryKey->name, name))
            return true;
        for (const auto& k : t.uniques)
            if (text::equalsIgnoreCase(k.name, name))
                return true;
        for (const auto& f : t.foreignKeys)
            if (text::equalsIgnoreCase(f.name, name))
                return true;
    }
    return false;
}

int64_t Database::allocateObjectId()
{
    Query q = query("SELECT value FROM standin_setting WHERE name='next_object_id'");
    int64_t next = 0;
    if (q.step())
        next = q.columnInt(0);
    sqlite3_reset(q.raw());
    if (next == 0)
        next = 245575913; // object ids look like SQL Server's: large and unrelated to names
    Query w =
        query("INSERT OR REPLACE INTO standin_setting(name, value) VALUES ('next_object_id', ?)");
    w.bindInt(1, next + 16000057);
    w.step();
    return next;
}

void Database::schemaChanged()
{
    static std::atomic<uint64_t> next{1};
    generation_ = next.fetch_add(1);
}

void Database::saveTable(const TableMeta& table)
{
    std::string bytes = serialize(table);
    Query q = query("INSERT OR REPLACE INTO standin_object(id, definition) VALUES (?, ?)");
    q.bindInt(1, table.id);
    if (sqlite3_bind_blob64(q.raw(), 2, bytes.data(), bytes.size(), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(db_, sqlite3_errcode(db_));
    q.step();
    tables_[table.id] = table;
    schemaChanged();
}

void Database::removeTable(int64_t id)
{
    Query q = query("DELETE FROM standin_object WHERE id = ?");
    q.bindInt(1, id);
    q.step();
    Query r = query("DELETE FROM standin_identity WHERE id = ?");
    r.bindInt(1, id);
    r.step();
    tables_.erase(id);
    schemaChanged();
}

void Database::saveIdentity(const TableMeta& table)
{
    setIdentity(table.id, table.identityCurrent, table.identityUsed);
}

void Database::setIdentity(int64_t tableId, int64_t current, bool used)
{
    Query q = query("INSERT OR REPLACE INTO standin_identity(id, current, used) VALUES (?, ?, ?)");
    q.bindInt(1, tableId);
    q.bindInt(2, current);
    q.bindInt(3, used ? 1 : 0);
    q.step();
    auto it = tables_.find(tableId);
    if (it != tables_.end()) {
        it->second.identityCurrent = current;
        it->second.identityUsed = used;
    }
}

void Database::noteIdentity(int64_t tableId, int64_t current)
{
    auto it = tables_.find(tableId);
    if (it != tables_.end()) {
        it->second.identityCurrent = current;
        it->second.identityUsed = true;
    }
}

void Database::keepIdentity(int64_t tableId)
{
    const TableMeta* t = tableById(tableId);
    if (t && t->identityColumn() >= 0 && t->identityUsed)
        setIdentity(tableId, t->identityCurrent, true);
}

// The last identity value handed out is the one stored at the last delete or rollback, or the
// furthest one a stored row carries, whichever is further: so a row killed with the server
// after its commit keeps its value for good.
void Database::recoverIdentity(TableMeta& t)
{
    const int column = t.identityColumn();
    if (column < 0)
        return;
    const ColumnMeta& c = t.columns[static_cast<size_t>(column)];
    const bool up = c.increment >= 0;
    Query q = query(std::string(up ? "SELECT MAX(" : "SELECT MIN(") + TableMeta::storageColumn(c) +
                    ") FROM " + t.storageTable());
    if (q.step() && sqlite3_column_type(q.raw(), 0) != SQLITE_NULL) {
        const int64_t stored = q.columnInt(0);
        const bool further = up ? stored > t.identityCurrent : stored < t.identityCurrent;
        if (!t.identityUsed || further)
            t.identityCurrent = stored;
        t.identityUsed = true;
    }
    sqlite3_reset(q.raw());
}

void Database::reload()
{
    clearStatementCache();
    std::map<int64_t, TableMeta> loaded;
    {
        Query q = query("SELECT definition FROM standin_object ORDER BY id");
        while (q.step()) {
            const auto* p = static_cast<const char*>(sqlite3_column_blob(q.raw(), 0));
            int n = sqlite3_column_bytes(q.raw(), 0);
            TableMeta t = deserialize(std::string(p ? p : "", static_cast<size_t>(n)));
            loaded[t.id] = std::move(t);
        }
    }
    {
        Query q = query("SELECT id, current, used FROM standin_identity");
        while (q.step()) {
            auto it = loaded.find(q.columnInt(0));
            if (it != loaded.end()) {
                it->second.identityCurrent = q.columnInt(1);
                it->second.identityUsed = q.columnInt(2) != 0;
            }
        }
    }
    for (auto& [id, t] : loaded) {
        auto before = tables_.find(id);
        const int column = t.identityColumn();
        if (before != tables_.end() && column >= 0 && before->second.identityColumn() == column) {
            // Values handed out are never given back, not even by a rollback.
            t.identityCurrent = before->second.identityCurrent;
            t.identityUsed = before->second.identityUsed;
        } else {
            recoverIdentity(t);
        }
    }
    tables_ = std::move(loaded);
    schemaChanged();
}

} // namespace standin::store
