// The server's registry: one SQLite file of the data root holding the databases, their files and
// the logins, written through before a statement is answered.
#include "Registry.h"

#include "DatabaseFiles.h"
#include "ServerText.h"

#include <sqlite3.h>
#include <stdexcept>

namespace fs = std::filesystem;

namespace standin::server {

namespace {
class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("server registry: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    void bind(int i, int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
    void bind(int i, const std::u16string& s)
    {
        sqlite3_bind_blob(stmt_, i, s.data(), int(s.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
    }
    void bindPath(int i, const fs::path& p)
    {
        sqlite3_bind_blob(stmt_, i, p.native().data(), int(p.native().size()), SQLITE_TRANSIENT);
    }
    bool step()
    {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            throw std::runtime_error(std::string("server registry: ") +
                                     sqlite3_errmsg(sqlite3_db_handle(stmt_)));
        return false;
    }
    int64_t integer(int i) const { return sqlite3_column_int64(stmt_, i); }
    std::u16string text(int i) const
    {
        const auto* p = static_cast<const char16_t*>(sqlite3_column_blob(stmt_, i));
        const int bytes = sqlite3_column_bytes(stmt_, i);
        return p ? std::u16string(p, size_t(bytes) / sizeof(char16_t)) : std::u16string{};
    }
    fs::path path(int i) const
    {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, i));
        const int bytes = sqlite3_column_bytes(stmt_, i);
        return p ? fs::path(std::string(p, size_t(bytes))) : fs::path{};
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};
} // namespace

void Registry::open(const fs::path& file)
{
    if (sqlite3_open_v2(file.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + file.string());
    sqlite3_busy_timeout(db_, 5000);
    // FULL: a CREATE, DROP or RESTORE the client saw succeed survives a crash of the process
    // or of the machine.
    execSql(
        "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
        "CREATE TABLE IF NOT EXISTS databases(dbid INTEGER PRIMARY KEY, name BLOB NOT NULL,"
        " data_host BLOB NOT NULL, log_host BLOB NOT NULL, data_physical BLOB NOT NULL,"
        " log_physical BLOB NOT NULL, data_logical BLOB NOT NULL, log_logical BLOB NOT NULL,"
        " created_days INTEGER NOT NULL, created_ticks INTEGER NOT NULL, system INTEGER NOT NULL,"
        " log_chain INTEGER NOT NULL DEFAULT 0);"
        "CREATE TABLE IF NOT EXISTS logins(folded BLOB PRIMARY KEY, name BLOB NOT NULL,"
        " type INTEGER NOT NULL, roles INTEGER NOT NULL);"
        "CREATE TABLE IF NOT EXISTS pending_files(host BLOB PRIMARY KEY);");

    // Registries written before the log chain was kept get the column.
    Statement columns(
        db_, "SELECT count(*) FROM pragma_table_info('databases') WHERE name = 'log_chain'");
    if (columns.step() && columns.integer(0) == 0)
        execSql("ALTER TABLE databases ADD COLUMN log_chain INTEGER NOT NULL DEFAULT 0");
}

Registry::~Registry()
{
    if (db_)
        sqlite3_close(db_);
}

void Registry::execSql(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string text = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error("server registry: " + text);
    }
}

void Registry::begin()
{
    execSql("BEGIN IMMEDIATE");
}

void Registry::commit()
{
    execSql("COMMIT");
}

void Registry::putDatabase(const DatabaseEntry& e, bool logChain)
{
    Statement s(db_,
                "INSERT OR REPLACE INTO databases(dbid, name, data_host, log_host, data_physical, "
                "log_physical,"
                " data_logical, log_logical, created_days, created_ticks, system, log_chain)"
                " VALUES (?,?,?,?,?,?,?,?,?,?,?,?)");
    s.bind(1, e.dbid);
    s.bind(2, e.name);
    s.bindPath(3, e.dataFile);
    s.bindPath(4, e.logFile);
    s.bind(5, e.dataPhysicalName);
    s.bind(6, e.logPhysicalName);
    s.bind(7, e.dataLogicalName);
    s.bind(8, e.logLogicalName);
    s.bind(9, e.created.days);
    s.bind(10, int64_t(e.created.ticks));
    s.bind(11, e.system ? 1 : 0);
    s.bind(12, logChain ? 1 : 0);
    s.step();
    databases_[e.dbid] = RegisteredDatabase{e, logChain};
}

void Registry::setLogChain(int32_t dbid, bool logChain)
{
    Statement s(db_, "UPDATE databases SET log_chain = ? WHERE dbid = ?");
    s.bind(1, logChain ? 1 : 0);
    s.bind(2, dbid);
    s.step();
    if (const auto it = databases_.find(dbid); it != databases_.end())
        it->second.logChain = logChain;
}

void Registry::removeDatabase(int32_t dbid)
{
    Statement s(db_, "DELETE FROM databases WHERE dbid = ?");
    s.bind(1, dbid);
    s.step();
    databases_.erase(dbid);
}

void Registry::putLogin(const Login& login)
{
    Statement s(db_, "INSERT OR REPLACE INTO logins(folded, name, type, roles) VALUES (?,?,?,?)");
    s.bind(1, FoldCase(login.name));
    s.bind(2, login.name);
    s.bind(3, int64_t(login.type));
    s.bind(4, int64_t(login.roles));
    s.step();
    logins_[FoldCase(login.name)] = login;
}

void Registry::removeLogin(const std::u16string& name)
{
    const std::u16string folded = FoldCase(name);
    Statement s(db_, "DELETE FROM logins WHERE folded = ?");
    s.bind(1, folded);
    s.step();
    logins_.erase(folded);
}

void Registry::load()
{
    databases_.clear();
    Statement d(db_, "SELECT dbid, name, data_host, log_host, data_physical, log_physical, "
                     "data_logical, log_logical,"
                     " created_days, created_ticks, system, log_chain FROM databases");
    while (d.step()) {
        RegisteredDatabase registered;
        DatabaseEntry& e = registered.entry;
        e.dbid = int32_t(d.integer(0));
        e.name = d.text(1);
        e.dataFile = d.path(2);
        e.logFile = d.path(3);
        e.dataPhysicalName = d.text(4);
        e.logPhysicalName = d.text(5);
        e.dataLogicalName = d.text(6);
        e.logLogicalName = d.text(7);
        e.created.days = int32_t(d.integer(8));
        e.created.ticks = uint32_t(d.integer(9));
        e.system = d.integer(10) != 0;
        registered.logChain = d.integer(11) != 0;
        databases_[e.dbid] = std::move(registered);
    }
    logins_.clear();
    Statement l(db_, "SELECT name, type, roles FROM logins");
    while (l.step()) {
        Login login;
        login.name = l.text(0);
        login.type = char16_t(l.integer(1));
        login.roles = uint32_t(l.integer(2));
        logins_[FoldCase(login.name)] = std::move(login);
    }
}

void Registry::notePendingFiles(const std::vector<fs::path>& files)
{
    for (const auto& file : files) {
        Statement s(db_, "INSERT OR REPLACE INTO pending_files(host) VALUES (?)");
        s.bindPath(1, file);
        s.step();
    }
}

void Registry::forgetPendingFiles(const std::vector<fs::path>& files)
{
    for (const auto& file : files) {
        Statement s(db_, "DELETE FROM pending_files WHERE host = ?");
        s.bindPath(1, file);
        s.step();
    }
}

std::vector<fs::path> Registry::removeAbandonedFiles()
{
    std::vector<fs::path> pending;
    {
        Statement s(db_, "SELECT host FROM pending_files");
        while (s.step())
            pending.push_back(s.path(0));
    }
    std::vector<fs::path> removed;
    for (const auto& file : pending) {
        std::error_code ec;
        if (!ownsFile(file) && fs::exists(fs::symlink_status(file, ec))) {
            RemoveDatabaseFiles(file, {});
            removed.push_back(file);
        }
    }
    execSql("DELETE FROM pending_files");
    return removed;
}

const RegisteredDatabase* Registry::find(const std::u16string& name) const
{
    for (const auto& [dbid, registered] : databases_)
        if (EqualsNoCase(registered.entry.name, name))
            return &registered;
    return nullptr;
}

const RegisteredDatabase* Registry::find(int32_t dbid) const
{
    const auto it = databases_.find(dbid);
    return it == databases_.end() ? nullptr : &it->second;
}

int32_t Registry::nextDbid() const
{
    int32_t id = 5;
    while (databases_.count(id))
        ++id;
    return id;
}

bool Registry::ownsFile(const fs::path& file) const
{
    for (const auto& [dbid, registered] : databases_)
        if (registered.entry.dataFile == file || registered.entry.logFile == file)
            return true;
    return false;
}

const Login* Registry::login(const std::u16string& name) const
{
    const auto it = logins_.find(FoldCase(name));
    return it == logins_.end() ? nullptr : &it->second;
}

bool Registry::isSysadmin(const std::u16string& name) const
{
    const Login* found = login(name);
    return found && found->sysadmin();
}

} // namespace standin::server
