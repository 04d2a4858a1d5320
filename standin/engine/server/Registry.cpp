// The server's registry: one SQLite file of the data root holding the databases, their files and
// the logins, written through before a statement is answered.
#include "CatalogImpl.h"

#include "ServerText.h"

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

void ServerCatalog::Impl::openRegistry(const fs::path& file)
{
    if (sqlite3_open_v2(file.c_str(), &registry,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + file.string());
    sqlite3_busy_timeout(registry, 5000);
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
        registry, "SELECT count(*) FROM pragma_table_info('databases') WHERE name = 'log_chain'");
    if (columns.step() && columns.integer(0) == 0)
        execSql("ALTER TABLE databases ADD COLUMN log_chain INTEGER NOT NULL DEFAULT 0");
}

ServerCatalog::Impl::~Impl()
{
    if (registry)
        sqlite3_close(registry);
}

void ServerCatalog::Impl::execSql(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(registry, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string text = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error("server registry: " + text);
    }
}

void ServerCatalog::Impl::saveDatabase(const DatabaseEntry& e, bool logChain)
{
    Statement s(registry,
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
}

void ServerCatalog::Impl::saveLogChain(int32_t dbid, bool logChain)
{
    Statement s(registry, "UPDATE databases SET log_chain = ? WHERE dbid = ?");
    s.bind(1, logChain ? 1 : 0);
    s.bind(2, dbid);
    s.step();
}

void ServerCatalog::Impl::deleteDatabase(int32_t dbid)
{
    Statement s(registry, "DELETE FROM databases WHERE dbid = ?");
    s.bind(1, dbid);
    s.step();
}

void ServerCatalog::Impl::saveLogin(const Login& login)
{
    Statement s(registry,
                "INSERT OR REPLACE INTO logins(folded, name, type, roles) VALUES (?,?,?,?)");
    s.bind(1, FoldCase(login.name));
    s.bind(2, login.name);
    s.bind(3, int64_t(login.type));
    s.bind(4, int64_t(login.roles));
    s.step();
}

void ServerCatalog::Impl::deleteLogin(const std::u16string& folded)
{
    Statement s(registry, "DELETE FROM logins WHERE folded = ?");
    s.bind(1, folded);
    s.step();
}

void ServerCatalog::Impl::loadAll()
{
    databases.clear();
    Statement d(registry, "SELECT dbid, name, data_host, log_host, data_physical, log_physical, "
                          "data_logical, log_logical,"
                          " created_days, created_ticks, system, log_chain FROM databases");
    while (d.step()) {
        Entry entry;
        DatabaseEntry& e = entry.entry;
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
        entry.logChain = d.integer(11) != 0;
        databases[e.dbid] = std::move(entry);
    }
    logins.clear();
    Statement l(registry, "SELECT name, type, roles FROM logins");
    while (l.step()) {
        Login login;
        login.name = l.text(0);
        login.type = char16_t(l.integer(1));
        login.roles = uint32_t(l.integer(2));
        logins[FoldCase(login.name)] = std::move(login);
    }
}

void ServerCatalog::Impl::notePendingFiles(const std::vector<fs::path>& files)
{
    for (const auto& file : files) {
        Statement s(registry, "INSERT OR REPLACE INTO pending_files(host) VALUES (?)");
        s.bindPath(1, file);
        s.step();
    }
}

void ServerCatalog::Impl::forgetPendingFiles(const std::vector<fs::path>& files)
{
    for (const auto& file : files) {
        Statement s(registry, "DELETE FROM pending_files WHERE host = ?");
        s.bindPath(1, file);
        s.step();
    }
}

void ServerCatalog::Impl::removeAbandonedFiles()
{
    std::vector<fs::path> pending;
    {
        Statement s(registry, "SELECT host FROM pending_files");
        while (s.step())
            pending.push_back(s.path(0));
    }
    for (const auto& file : pending) {
        bool registered = false;
        for (const auto& [dbid, entry] : databases)
            registered = registered || entry.entry.dataFile == file || entry.entry.logFile == file;
        std::error_code ec;
        if (!registered && fs::exists(fs::symlink_status(file, ec))) {
            RemoveDatabaseFiles(file, {});
            log("removed " + file.string() + ", left behind by an interrupted CREATE, DROP or " +
                "RESTORE DATABASE");
        }
    }
    execSql("DELETE FROM pending_files");
}

ServerCatalog::Impl::Entry* ServerCatalog::Impl::findLocked(const std::u16string& name)
{
    for (auto& [dbid, entry] : databases)
        if (EqualsNoCase(entry.entry.name, name))
            return &entry;
    return nullptr;
}

int32_t ServerCatalog::Impl::nextDbid() const
{
    // The lowest free id after the system databases, as the server reuses freed ones.
    int32_t id = 5;
    while (databases.count(id))
        ++id;
    return id;
}

bool ServerCatalog::Impl::isSysadminLocked(const std::u16string& login) const
{
    const auto it = logins.find(FoldCase(login));
    return it != logins.end() && it->second.sysadmin();
}

void ServerCatalog::Impl::releaseFile(const fs::path& dataFile)
{
    FileReleaser copy;
    {
        std::lock_guard lock(mutex);
        copy = releaser;
    }
    if (copy)
        copy(dataFile);
}

fs::path ServerCatalog::Impl::temporaryPath(const std::string& stem)
{
    std::lock_guard lock(mutex);
    return root / kServerFolder / "tmp" / (stem + "-" + std::to_string(++temporaryCounter));
}

} // namespace standin::server
