// One user database: its SQLite file, the engine's table definitions inside it, cached
// statements and the lock that serialises sessions working on it.
#pragma once

#include "Schema.h"

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace standin::store {

// A prepared statement owned by the database's cache; reset on every borrow.
class Query {
public:
    explicit Query(sqlite3_stmt* stmt) : stmt_(stmt) {}
    void bind(int index, const Value& value);
    void bindInt(int index, int64_t value);
    bool step(); // true while a row is there; throws on failure (see StorageError)
    Value column(int index, const TypeName& type) const;
    int64_t columnInt(int index) const;
    sqlite3_stmt* raw() const { return stmt_; }

private:
    sqlite3_stmt* stmt_;
};

// A failure reported by SQLite; `constraint` names the columns of a violated unique index.
class StorageError : public std::runtime_error {
public:
    StorageError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
    int code() const { return code_; }
    bool isUnique() const;

private:
    int code_;
};

class Database {
public:
    // Opens an existing file (the server creates it) and sets up the engine's own tables on
    // first open. Throws std::runtime_error when the file is no usable database.
    static std::shared_ptr<Database> open(const std::filesystem::path& file);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::filesystem::path& file() const { return file_; }

    // Sessions take the database for a statement, or for a whole transaction. Returns false
    // when `cancel` was set while waiting.
    bool acquire(const void* owner, const std::atomic<bool>* cancel);
    void release(const void* owner);

    void exec(const char* sql);
    // A short statement without results, prepared once (BEGIN, COMMIT, SAVEPOINT ...).
    void run(const char* sql);
    Query query(const std::string& sql); // cached
    void clearStatementCache();
    sqlite3* handle() const { return db_; }

    // Table definitions, names compared without regard to case.
    const TableMeta* table(const std::u16string& name) const;
    const TableMeta* tableById(int64_t id) const;
    std::vector<const TableMeta*> tables() const; // by creation (id)
    // Whether a table or constraint already carries the name (they share one namespace).
    bool objectNameTaken(const std::u16string& name) const;

    int64_t allocateObjectId();
    void saveTable(const TableMeta& table); // persists and updates the in-memory copy
    void removeTable(int64_t id);
    void saveIdentity(const TableMeta& table);
    // Sets and stores a table's identity state, for the cases the rows themselves cannot tell
    // after a restart: values taken by rolled-back work, rows deleted.
    void setIdentity(int64_t tableId, int64_t current, bool used);
    // An identity value handed out to a row being stored: kept in memory only, as the stored
    // row carries it.
    void noteIdentity(int64_t tableId, int64_t current);
    // Stores a table's identity state as it is in memory.
    void keepIdentity(int64_t tableId);
    // After a rollback the definitions are read again from the file; identity values handed
    // out stay as they are.
    void reload();
    // Changes whenever a table definition may have changed; unique over all databases, so it
    // also tells a database opened again from the one before.
    uint64_t schemaGeneration() const { return generation_; }

private:
    Database() = default;
    void prepareFile();
    void schemaChanged();
    void recoverIdentity(TableMeta& t);

    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
    std::map<int64_t, TableMeta> tables_;
    std::unordered_map<std::string, sqlite3_stmt*> cache_;
    uint64_t generation_ = 0;

    std::mutex lockMutex_;
    std::condition_variable lockFree_;
    const void* owner_ = nullptr;
    int depth_ = 0;
};

} // namespace standin::store
