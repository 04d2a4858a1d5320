// The server level's statements and procedures: databases, their files, backups and logins.
#include "ServerCatalog.h"

#include "../Errors.h"
#include "../Text.h"
#include "BackupFile.h"
#include "CatalogImpl.h"
#include "ServerMessages.h"
#include "ServerText.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace standin::server {

namespace msg = messages;

// ---------------------------------------------------------------------------------------------
// Helpers shared with the statement files.

DateTimeValue Now()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    // Days from 1900-01-01 by the civil calendar of the local date.
    const int y = local.tm_year + 1900 - (local.tm_mon < 2 ? 1 : 0);
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int m = local.tm_mon + 1;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + local.tm_mday - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t daysFromEpoch = int64_t(era) * 146097 + doe - 719468; // from 1970-01-01
    DateTimeValue v;
    v.days = int32_t(daysFromEpoch + 25567); // 1900-01-01 .. 1970-01-01
    const int64_t secondOfDay = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    v.ticks = uint32_t(secondOfDay * 300 + (ms * 300 + 500) / 1000);
    return v;
}

int64_t FilePages(const fs::path& file)
{
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec)
        return 0;
    return int64_t((size + 8191) / 8192);
}

int64_t DataPages(const fs::path& dataFile)
{
    return FilePages(dataFile) + FilePages(fs::path(dataFile.native() + "-wal"));
}

void RemoveDatabaseFiles(const fs::path& dataFile, const fs::path& logFile)
{
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        fs::remove(fs::path(dataFile.native() + suffix), ec);
    if (!logFile.empty())
        fs::remove(logFile, ec);
    SyncDirectory(dataFile.parent_path());
    if (!logFile.empty() && logFile.parent_path() != dataFile.parent_path())
        SyncDirectory(logFile.parent_path());
}

namespace {
// The log file holds nothing the stand-in needs; it is there because the server names it.
constexpr char kLogFileText[] = "stand-in log file; the database lives in its data file\n";

bool createExclusive(const fs::path& file, const char* content)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = true;
    if (content) {
        const size_t n = std::char_traits<char>::length(content);
        ok = ::write(fd, content, n) == ssize_t(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ::close(fd);
    return ok;
}
} // namespace

CreateFilesResult CreateDatabaseFiles(const fs::path& dataFile, const fs::path& logFile)
{
    if (!createExclusive(dataFile, nullptr))
        return errno == EEXIST ? CreateFilesResult::DataExists : CreateFilesResult::Failed;
    if (!createExclusive(logFile, kLogFileText)) {
        const bool exists = errno == EEXIST;
        RemoveDatabaseFiles(dataFile, {});
        return exists ? CreateFilesResult::LogExists : CreateFilesResult::Failed;
    }
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(dataFile.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    ok = ok && SyncFile(dataFile) && SyncDirectory(dataFile.parent_path()) &&
         SyncDirectory(logFile.parent_path());
    if (!ok) {
        RemoveDatabaseFiles(dataFile, logFile);
        return CreateFilesResult::Failed;
    }
    return CreateFilesResult::Ok;
}

// ---------------------------------------------------------------------------------------------
// Registry: one SQLite file of the data root, written through before a statement is answered.

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

std::string generatePassword()
{
    static constexpr char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
    std::random_device device;
    std::uniform_int_distribution<size_t> pick(0, sizeof(alphabet) - 2);
    std::string password;
    for (int i = 0; i < 24; ++i)
        password.push_back(alphabet[pick(device)]);
    // Three character classes, so a real server's password policy would accept it too.
    return password + "-7a";
}

// Written beside, then renamed: a crash leaves the old file or the new one, never half of one.
void writeSecretFile(const fs::path& file, const std::string& content)
{
    const fs::path temporary = file.native() + kSecretSuffix;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("cannot write " + file.string());
    const std::string line = content + "\n";
    const bool ok =
        ::write(fd, line.data(), line.size()) == ssize_t(line.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(temporary.c_str(), file.c_str()) != 0)
        throw std::runtime_error("cannot write " + file.string());
    SyncDirectory(file.parent_path());
}

std::string readFirstLine(const fs::path& file)
{
    std::ifstream in(file);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

struct SystemDatabase {
    const char16_t* name;
    int32_t dbid;
    const char16_t* dataLogical;
    const char16_t* dataFile;
    const char16_t* logLogical;
    const char16_t* logFile;
};

constexpr SystemDatabase kSystemDatabases[] = {
    {u"master", 1, u"master", u"master.mdf", u"mastlog", u"mastlog.ldf"},
    {u"tempdb", 2, u"tempdev", u"tempdb.mdf", u"templog", u"templog.ldf"},
    {u"model", 3, u"modeldev", u"model.mdf", u"modellog", u"modellog.ldf"},
    {u"msdb", 4, u"MSDBData", u"MSDBData.mdf", u"MSDBLog", u"MSDBLog.ldf"},
};
// True when the folder is to be made (or is an empty one of ours); false for a data root this
// server made before. Anything else is someone's folder, left exactly as it is.
bool claimDataRoot(const fs::path& root)
{
    std::error_code ec;
    const auto status = fs::status(root, ec);
    if (!fs::exists(status))
        return true;
    const std::string refused = "refusing to use " + root.string() + " as the data root: ";
    if (!fs::is_directory(status))
        throw std::runtime_error(refused + "it is not a folder");
    if (fs::exists(root / kServerFolder / kRegistryFile, ec))
        return false;
    struct stat st {};
    const bool empty = fs::is_empty(root, ec) && !ec;
    if (!empty)
        throw std::runtime_error(refused +
                                 "the folder exists, holds other files and is not a data root of "
                                 "this server; name a new or empty folder");
    if (::stat(root.c_str(), &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & S_IWOTH))
        throw std::runtime_error(refused + "the folder is shared with other users; name a new "
                                           "folder or an empty one of your own");
    return true;
}

} // namespace

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

// ---------------------------------------------------------------------------------------------
// Opening.

std::unique_ptr<ServerCatalog> ServerCatalog::open(const Engine::Options& options)
{
    auto impl = std::make_unique<Impl>();
    impl->options = options;
    std::error_code ec;
    const bool fresh = claimDataRoot(options.dataRoot);
    fs::create_directories(options.dataRoot, ec);
    // It will hold patients' data: only its owner may look in.
    if (!ec && fresh)
        ::chmod(options.dataRoot.c_str(), 0700);
    if (ec)
        throw std::runtime_error("cannot create data root " + options.dataRoot.string() + ": " +
                                 ec.message());
    impl->root = fs::canonical(options.dataRoot, ec);
    if (ec)
        throw std::runtime_error("unusable data root " + options.dataRoot.string() + ": " +
                                 ec.message());
    // No BACKUP or CREATE DATABASE may write over the registry or the password.
    impl->mapper = PathMapper(
        impl->root, {kServerFolder, kPasswordFile, std::string(kPasswordFile) + kSecretSuffix});
    const fs::path serverFolder = impl->root / kServerFolder;
    fs::create_directories(serverFolder / "tmp", ec);
    if (ec)
        throw std::runtime_error("cannot create " + serverFolder.string() + ": " + ec.message());
    ::chmod(serverFolder.c_str(), 0700);
    // Left over by a crash in the middle of a backup or restore.
    for (const auto& entry : fs::directory_iterator(serverFolder / "tmp", ec))
        fs::remove(entry.path(), ec);

    // A password given at start becomes sa's password; without one the kept one stays, and the
    // first start generates it.
    const fs::path passwordFile = impl->root / kPasswordFile;
    if (options.saPassword) {
        if (!fs::exists(passwordFile) || readFirstLine(passwordFile) != *options.saPassword)
            writeSecretFile(passwordFile, *options.saPassword);
    } else if (!fs::exists(passwordFile)) {
        writeSecretFile(passwordFile, generatePassword());
        impl->log("generated a new sa password in " + passwordFile.string());
    }
    ::chmod(passwordFile.c_str(), 0600);
    impl->saPassword = FromUtf8(readFirstLine(passwordFile));

    const fs::path registryFile = serverFolder / kRegistryFile;
    if (sqlite3_open_v2(registryFile.c_str(), &impl->registry,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + registryFile.string());
    sqlite3_busy_timeout(impl->registry, 5000);
    // FULL: a CREATE, DROP or RESTORE the client saw succeed survives a crash of the process
    // or of the machine.
    impl->execSql(
        "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
        "CREATE TABLE IF NOT EXISTS databases(dbid INTEGER PRIMARY KEY, name BLOB NOT NULL,"
        " data_host BLOB NOT NULL, log_host BLOB NOT NULL, data_physical BLOB NOT NULL,"
        " log_physical BLOB NOT NULL, data_logical BLOB NOT NULL, log_logical BLOB NOT NULL,"
        " created_days INTEGER NOT NULL, created_ticks INTEGER NOT NULL, system INTEGER NOT NULL,"
        " log_chain INTEGER NOT NULL DEFAULT 0);"
        "CREATE TABLE IF NOT EXISTS logins(folded BLOB PRIMARY KEY, name BLOB NOT NULL,"
        " type INTEGER NOT NULL, roles INTEGER NOT NULL);"
        "CREATE TABLE IF NOT EXISTS pending_files(host BLOB PRIMARY KEY);");

    {
        // Registries written before the log chain was kept get the column.
        Statement columns(
            impl->registry,
            "SELECT count(*) FROM pragma_table_info('databases') WHERE name = 'log_chain'");
        if (columns.step() && columns.integer(0) == 0)
            impl->execSql("ALTER TABLE databases ADD COLUMN log_chain INTEGER NOT NULL DEFAULT 0");
    }
    impl->loadAll();
    impl->removeAbandonedFiles();
    const std::u16string dataDirectory = kDefaultDataDirectory;
    const MappedPath dataHost = impl->mapper.map(dataDirectory);
    const MappedPath backupHost = impl->mapper.map(kDefaultBackupDirectory);
    if (!dataHost.ok() || !backupHost.ok())
        throw std::runtime_error("cannot map the default folders under " + impl->root.string());
    fs::create_directories(dataHost.host, ec);
    fs::create_directories(backupHost.host, ec);
    if (ec)
        throw std::runtime_error("cannot create the default folders: " + ec.message());

    impl->execSql("BEGIN IMMEDIATE");
    for (const auto& sys : kSystemDatabases) {
        auto found = impl->databases.find(sys.dbid);
        if (found != impl->databases.end())
            continue;
        DatabaseEntry e;
        e.name = sys.name;
        e.dbid = sys.dbid;
        e.dataPhysicalName = dataDirectory + sys.dataFile;
        e.logPhysicalName = dataDirectory + sys.logFile;
        e.dataLogicalName = sys.dataLogical;
        e.logLogicalName = sys.logLogical;
        e.dataFile = impl->mapper.map(e.dataPhysicalName).host;
        e.logFile = impl->mapper.map(e.logPhysicalName).host;
        e.created = Now();
        e.system = true;
        impl->saveDatabase(e);
    }
    if (!impl->logins.count(u"SA")) {
        Login sa;
        sa.name = u"sa";
        sa.type = u'S';
        sa.roles = 0xFF;
        impl->saveLogin(sa);
    }
    impl->execSql("COMMIT");
    impl->loadAll();

    for (auto& [dbid, entry] : impl->databases) {
        if (!entry.entry.system)
            continue;
        // tempdb starts empty on every start, as the server rebuilds it.
        if (entry.entry.dbid == 2)
            RemoveDatabaseFiles(entry.entry.dataFile, entry.entry.logFile);
        if (!fs::exists(entry.entry.dataFile)) {
            fs::remove(entry.entry.logFile, ec);
            if (CreateDatabaseFiles(entry.entry.dataFile, entry.entry.logFile) !=
                CreateFilesResult::Ok)
                throw std::runtime_error("cannot create the files of " +
                                         ToUtf8Lossy(entry.entry.name));
        }
    }
    return std::unique_ptr<ServerCatalog>(new ServerCatalog(std::move(impl)));
}

ServerCatalog::ServerCatalog(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ServerCatalog::~ServerCatalog() = default;

const fs::path& ServerCatalog::dataRoot() const
{
    return impl_->root;
}

// ---------------------------------------------------------------------------------------------
// Logins and use.

std::optional<Message> ServerCatalog::authenticate(const std::u16string& user,
                                                   const std::u16string& password) const
{
    std::lock_guard lock(impl_->mutex);
    const auto it = impl_->logins.find(FoldCase(user));
    // Only SQL logins sign in with a password; Windows logins would need the domain's word.
    if (it != impl_->logins.end() && it->second.type == u'S' &&
        EqualsNoCase(it->second.name, u"sa")) {
        const std::u16string& expected = impl_->saPassword;
        unsigned difference = expected.size() != password.size() ? 1u : 0u;
        for (size_t i = 0; i < password.size() && i < expected.size(); ++i)
            difference |= unsigned(password[i] ^ expected[i]);
        if (difference == 0)
            return std::nullopt;
    }
    return msg::LoginFailed(user);
}

bool ServerCatalog::isSysadmin(const std::u16string& login) const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->isSysadminLocked(login);
}

std::optional<DatabaseEntry> ServerCatalog::find(const std::u16string& name) const
{
    std::lock_guard lock(impl_->mutex);
    if (const auto* entry = impl_->findLocked(name))
        return entry->entry;
    return std::nullopt;
}

std::vector<DatabaseEntry> ServerCatalog::databases() const
{
    std::lock_guard lock(impl_->mutex);
    std::vector<DatabaseEntry> list;
    for (const auto& [dbid, entry] : impl_->databases)
        list.push_back(entry.entry);
    return list;
}

std::unique_ptr<DatabaseUse> ServerCatalog::use(const std::u16string& name)
{
    std::lock_guard lock(impl_->mutex);
    auto* entry = impl_->findLocked(name);
    if (!entry || entry->busy)
        return nullptr;
    ++entry->holders;
    return std::unique_ptr<DatabaseUse>(new DatabaseUse(*this, entry->entry));
}

void ServerCatalog::release(const DatabaseEntry& e)
{
    std::lock_guard lock(impl_->mutex);
    const auto it = impl_->databases.find(e.dbid);
    if (it != impl_->databases.end() && it->second.holders > 0)
        --it->second.holders;
}

void ServerCatalog::setFileReleaser(FileReleaser releaser)
{
    std::lock_guard lock(impl_->mutex);
    impl_->releaser = std::move(releaser);
}

std::optional<fs::path> ServerCatalog::mapPath(std::u16string_view serverPath) const
{
    const MappedPath mapped = impl_->mapper.map(serverPath);
    if (!mapped.ok())
        return std::nullopt;
    return mapped.host;
}

DatabaseUse::DatabaseUse(ServerCatalog& catalog, DatabaseEntry entry)
    : catalog_(catalog), entry_(std::move(entry))
{
}

DatabaseUse::~DatabaseUse()
{
    catalog_.release(entry_);
}

// ---------------------------------------------------------------------------------------------
// Dispatch.

namespace {
enum class Procedure {
    None,
    HelpDb,
    Databases,
    LoginInfo,
    GrantLogin,
    RevokeLogin,
    AddRoleMember,
    DropRoleMember
};

struct ProcedureName {
    const char16_t* name;
    Procedure procedure;
    std::vector<const char16_t*> parameters;
};

const std::vector<ProcedureName>& procedures()
{
    static const std::vector<ProcedureName> list = {
        {u"sp_helpdb", Procedure::HelpDb, {u"@dbname"}},
        {u"sp_databases", Procedure::Databases, {}},
        {u"xp_logininfo", Procedure::LoginInfo, {u"@acctname", u"@option"}},
        {u"sp_grantlogin", Procedure::GrantLogin, {u"@loginame"}},
        {u"sp_revokelogin", Procedure::RevokeLogin, {u"@loginame"}},
        {u"sp_addsrvrolemember", Procedure::AddRoleMember, {u"@loginame", u"@rolename"}},
        {u"sp_dropsrvrolemember", Procedure::DropRoleMember, {u"@loginame", u"@rolename"}},
    };
    return list;
}

// Reads [master.][dbo.|sys.]name or master..name at the cursor; the procedure it names.
const ProcedureName* procedureAt(const std::vector<Token>& tokens, size_t at, size_t& consumed)
{
    std::vector<std::u16string> parts;
    size_t i = at;
    while (i < tokens.size()) {
        const Token& t = tokens[i];
        if (t.kind == Token::Kind::Word || t.kind == Token::Kind::QuotedName) {
            parts.push_back(t.text);
            ++i;
        } else if (t.kind == Token::Kind::Symbol && t.text == u"." && !parts.empty()) {
            // "master..sp_helpdb" leaves the schema empty.
            if (i + 1 < tokens.size() && tokens[i + 1].kind == Token::Kind::Symbol &&
                tokens[i + 1].text == u".") {
                parts.push_back(u"dbo");
                ++i;
            }
            ++i;
            continue;
        } else {
            break;
        }
        if (i >= tokens.size() || tokens[i].kind != Token::Kind::Symbol || tokens[i].text != u".")
            break;
    }
    if (parts.empty() || parts.size() > 3)
        return nullptr;
    if (parts.size() == 3 && !EqualsNoCase(parts[0], u"master"))
        return nullptr;
    if (parts.size() >= 2 && !EqualsNoCase(parts[parts.size() - 2], u"dbo") &&
        !EqualsNoCase(parts[parts.size() - 2], u"sys"))
        return nullptr;
    for (const auto& p : procedures()) {
        if (EqualsNoCase(parts.back(), p.name)) {
            consumed = i - at;
            return &p;
        }
    }
    return nullptr;
}

enum class Kind { None, CreateDatabase, DropDatabase, Backup, Restore, Procedure };

Kind classify(const std::vector<Token>& tokens, const ProcedureName*& procedure,
              size_t& procedureStart, size_t& procedureLength)
{
    auto word = [&](size_t i, const char16_t* keyword) {
        return i < tokens.size() && tokens[i].kind == Token::Kind::Word &&
               EqualsNoCase(tokens[i].text, keyword);
    };
    if (word(0, u"CREATE") && word(1, u"DATABASE"))
        return Kind::CreateDatabase;
    if (word(0, u"DROP") && word(1, u"DATABASE"))
        return Kind::DropDatabase;
    if (word(0, u"BACKUP") && (word(1, u"DATABASE") || word(1, u"LOG")))
        return Kind::Backup;
    if (word(0, u"RESTORE") &&
        (word(1, u"DATABASE") || word(1, u"FILELISTONLY") || word(1, u"HEADERONLY") ||
         word(1, u"LOG") || word(1, u"VERIFYONLY") || word(1, u"LABELONLY")))
        return Kind::Restore;
    size_t at = 0;
    if (word(0, u"EXEC") || word(0, u"EXECUTE"))
        at = 1;
    procedure = procedureAt(tokens, at, procedureLength);
    if (procedure) {
        procedureStart = at;
        return Kind::Procedure;
    }
    return Kind::None;
}

// Procedure arguments: [@name =] 'text' | N'text' | number | word | NULL, comma-separated.
bool parseArguments(TokenCursor& cursor, std::vector<Argument>& args, Token& bad)
{
    if (cursor.atStatementEnd())
        return true;
    while (true) {
        Argument arg;
        if (cursor.peek().kind == Token::Kind::Variable && cursor.isSymbol(u'=', 1)) {
            arg.name = cursor.next().text;
            cursor.next();
        }
        const Token& value = cursor.next();
        switch (value.kind) {
        case Token::Kind::String:
        case Token::Kind::Number:
        case Token::Kind::QuotedName:
            arg.value = value.text;
            break;
        case Token::Kind::Word:
            if (EqualsNoCase(value.text, u"NULL"))
                arg.value.reset();
            else
                arg.value = value.text;
            break;
        default:
            bad = value;
            return false;
        }
        args.push_back(std::move(arg));
        if (cursor.acceptSymbol(u','))
            continue;
        if (cursor.atStatementEnd())
            return true;
        bad = cursor.peek();
        return false;
    }
}

// Puts named arguments in their declared places.
bool bindArguments(const ProcedureName& p, std::vector<Argument>& args, Reply& reply)
{
    std::vector<Argument> bound(p.parameters.size());
    std::vector<bool> given(p.parameters.size(), false);
    size_t position = 0;
    bool named = false;
    for (auto& arg : args) {
        size_t slot = position;
        if (!arg.name.empty()) {
            named = true;
            slot = p.parameters.size();
            for (size_t i = 0; i < p.parameters.size(); ++i)
                if (EqualsNoCase(arg.name, p.parameters[i]))
                    slot = i;
            if (slot == p.parameters.size()) {
                reply.message(msg::NotAParameter(arg.name, p.name));
                return false;
            }
        } else if (named) {
            reply.message(msg::SyntaxError(arg.value.value_or(u"NULL")));
            return false;
        } else {
            ++position;
        }
        if (slot >= p.parameters.size()) {
            reply.message(msg::TooManyArguments(p.name));
            return false;
        }
        bound[slot] = std::move(arg);
        given[slot] = true;
    }
    for (size_t i = 0; i < bound.size(); ++i)
        if (!given[i])
            bound[i].name = u"(default)";
    args = std::move(bound);
    return true;
}
} // namespace

namespace {
void runProcedure(ServerCatalog::Impl& impl, const ProcedureName& procedure,
                  std::vector<Argument> args, ServerContext& ctx, ResultSink& sink)
{
    Reply inProcedure(sink, ctx.line, procedure.name);
    int32_t status = 1;
    if (bindArguments(procedure, args, inProcedure)) {
        switch (procedure.procedure) {
        case Procedure::HelpDb:
            status = impl.helpDb(args, inProcedure);
            break;
        case Procedure::Databases:
            status = impl.listDatabases(args, inProcedure);
            break;
        case Procedure::LoginInfo:
            status = impl.loginInfo(args, inProcedure);
            break;
        case Procedure::GrantLogin:
            status = impl.grantLogin(args, ctx, inProcedure);
            break;
        case Procedure::RevokeLogin:
            status = impl.revokeLogin(args, ctx, inProcedure);
            break;
        case Procedure::AddRoleMember:
            status = impl.addServerRoleMember(args, ctx, inProcedure, true);
            break;
        case Procedure::DropRoleMember:
            status = impl.addServerRoleMember(args, ctx, inProcedure, false);
            break;
        case Procedure::None:
            break;
        }
    }
    sink.returnStatus(status);
    sink.done(DoneInfo{DoneInfo::Kind::Procedure, false, 0, inProcedure.failed()});
}

// A failure of the registry or of the file system fails the statement; the server stays up.
template <typename F> void guarded(const ServerContext& ctx, ResultSink& sink, F run)
{
    try {
        run();
    } catch (const std::exception& e) {
        Reply reply(sink, ctx.line);
        reply.message(makeMessage(err::kStorageFailure, {FromUtf8(e.what())}));
        reply.endStatement();
    }
}
} // namespace

bool ServerCatalog::tryExecute(const std::u16string& statementText, ServerContext& ctx,
                               ResultSink& sink)
{
    LexResult lexed = Tokenize(statementText);
    const ProcedureName* procedure = nullptr;
    size_t procedureStart = 0, procedureLength = 0;
    const Kind kind = classify(lexed.tokens, procedure, procedureStart, procedureLength);
    if (kind == Kind::None)
        return false;
    // A bare procedure name is a call only at the start of a batch.
    if (kind == Kind::Procedure && procedureStart == 0 && !ctx.firstInBatch)
        return false;

    Reply reply(sink, ctx.line);
    if (lexed.error) {
        reply.message(msg::SyntaxError(*lexed.error));
        reply.endStatement();
        return true;
    }
    TokenCursor cursor(lexed.tokens);
    guarded(ctx, sink, [&] {
        switch (kind) {
        case Kind::CreateDatabase:
            impl_->createDatabase(cursor, ctx, reply);
            break;
        case Kind::DropDatabase:
            impl_->dropDatabase(cursor, ctx, reply);
            break;
        case Kind::Backup:
            impl_->backupDatabase(cursor, ctx, reply);
            break;
        case Kind::Restore:
            impl_->restore(cursor, ctx, reply);
            break;
        case Kind::Procedure: {
            for (size_t i = 0; i < procedureStart + procedureLength; ++i)
                cursor.next();
            std::vector<Argument> args;
            Token bad;
            if (!parseArguments(cursor, args, bad)) {
                reply.message(msg::SyntaxError(NearText(bad)));
                reply.endStatement();
                break;
            }
            runProcedure(*impl_, *procedure, std::move(args), ctx, sink);
            break;
        }
        case Kind::None:
            break;
        }
    });
    return true;
}

bool ServerCatalog::callProcedure(const std::u16string& name, std::vector<Argument> args,
                                  ServerContext& ctx, ResultSink& sink)
{
    for (const auto& p : procedures()) {
        if (EqualsNoCase(name, p.name)) {
            guarded(ctx, sink, [&] { runProcedure(*impl_, p, std::move(args), ctx, sink); });
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Procedures.

namespace {
ColumnInfo column(const char16_t* name, SqlType type, int32_t length, bool nullable = false)
{
    ColumnInfo c;
    c.name = name;
    c.type = type;
    c.length = length;
    c.nullable = nullable;
    return c;
}

void endResult(Reply& reply, int64_t rows)
{
    reply.sink().done(DoneInfo{DoneInfo::Kind::InProcedure, true, rows, false});
}

// master, tempdb and msdb use the simple recovery model; model, and so every new database, full.
std::u16string databaseStatus(const DatabaseEntry& e)
{
    const bool simple = e.system && e.dbid != 3;
    return std::u16string(
               u"Status=ONLINE, Updateability=READ_WRITE, UserAccess=MULTI_USER, Recovery=") +
           (simple ? u"SIMPLE" : u"FULL") +
           u", Version=904, Collation=SQL_Latin1_General_CP1_CI_AS, SQLSortOrder=52, "
           u"IsAutoCreateStatistics, "
           u"IsAutoUpdateStatistics, IsFullTextEnabled";
}

constexpr const char16_t* kMonths[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                       u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};

// "Dec  7 2026": the first 11 characters of the date's default conversion to text.
std::u16string shortDate(const DateTimeValue& v)
{
    int64_t z = int64_t(v.days) - 25567 + 719468; // days since 0000-03-01
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    return std::u16string(kMonths[month - 1]) + u" " + PadLeft(ToU16(day), 2) + u" " + ToU16(year);
}
} // namespace

int32_t ServerCatalog::Impl::helpDb(const std::vector<Argument>& args, Reply& reply)
{
    std::vector<DatabaseEntry> list;
    {
        std::lock_guard lock(mutex);
        for (const auto& [dbid, entry] : databases)
            list.push_back(entry.entry);
    }
    const std::optional<std::u16string> only = args[0].value;
    if (only) {
        std::erase_if(list, [&](const DatabaseEntry& e) { return !EqualsNoCase(e.name, *only); });
        if (list.empty()) {
            reply.message(makeMessage(err::kHelpDbUnknownDatabase, {*only}));
            return 1;
        }
    }
    std::sort(list.begin(), list.end(), [](const DatabaseEntry& a, const DatabaseEntry& b) {
        return text::collate(a.name, b.name) < 0;
    });

    reply.sink().beginResult(
        {column(u"name", SqlType::NVarChar, 128), column(u"db_size", SqlType::NVarChar, 13, true),
         column(u"owner", SqlType::NVarChar, 128, true), column(u"dbid", SqlType::SmallInt, 2),
         column(u"created", SqlType::NVarChar, 11), column(u"status", SqlType::NVarChar, 600, true),
         column(u"compatibility_level", SqlType::TinyInt, 1)});
    for (const auto& e : list) {
        const int64_t bytes = (DataPages(e.dataFile) + FilePages(e.logFile)) * 8192;
        const std::u16string size =
            PadLeft(FixedPoint((bytes * 100 + 524288) / 1048576, 2), 10) + u" MB";
        reply.sink().row({e.name, size, std::u16string(u"sa"), int64_t(e.dbid),
                          shortDate(e.created), databaseStatus(e), int64_t(150)});
    }
    endResult(reply, int64_t(list.size()));
    if (only) {
        const DatabaseEntry& e = list.front();
        reply.sink().beginResult({column(u"name", SqlType::NChar, 128),
                                  column(u"fileid", SqlType::SmallInt, 2),
                                  column(u"filename", SqlType::NChar, 260),
                                  column(u"filegroup", SqlType::NVarChar, 128, true),
                                  column(u"size", SqlType::NVarChar, 18, true),
                                  column(u"maxsize", SqlType::NVarChar, 18, true),
                                  column(u"growth", SqlType::NVarChar, 18, true),
                                  column(u"usage", SqlType::VarChar, 9)});
        reply.sink().row({PadRight(e.dataLogicalName, 128), int64_t(1),
                          PadRight(e.dataPhysicalName, 260), std::u16string(u"PRIMARY"),
                          ToU16(DataPages(e.dataFile) * 8) + u" KB", std::u16string(u"Unlimited"),
                          std::u16string(u"65536 KB"), std::u16string(u"data only")});
        reply.sink().row(
            {PadRight(e.logLogicalName, 128), int64_t(2), PadRight(e.logPhysicalName, 260), Value{},
             ToU16(FilePages(e.logFile) * 8) + u" KB", std::u16string(u"2147483648 KB"),
             std::u16string(u"65536 KB"), std::u16string(u"log only")});
        endResult(reply, 2);
    }
    return 0;
}

int32_t ServerCatalog::Impl::listDatabases(const std::vector<Argument>&, Reply& reply)
{
    std::vector<DatabaseEntry> list;
    {
        std::lock_guard lock(mutex);
        for (const auto& [dbid, entry] : databases)
            list.push_back(entry.entry);
    }
    std::sort(list.begin(), list.end(), [](const DatabaseEntry& a, const DatabaseEntry& b) {
        return text::collate(a.name, b.name) < 0;
    });
    reply.sink().beginResult({column(u"DATABASE_NAME", SqlType::NVarChar, 128),
                              column(u"DATABASE_SIZE", SqlType::Int, 4, true),
                              column(u"REMARKS", SqlType::VarChar, 254, true)});
    for (const auto& e : list)
        reply.sink().row(
            {e.name, int64_t((DataPages(e.dataFile) + FilePages(e.logFile)) * 8), Value{}});
    endResult(reply, int64_t(list.size()));
    return 0;
}

int32_t ServerCatalog::Impl::loginInfo(const std::vector<Argument>& args, Reply& reply)
{
    std::vector<Login> list;
    {
        std::lock_guard lock(mutex);
        for (const auto& [folded, login] : logins)
            if (login.type != u'S' && (!args[0].value || EqualsNoCase(login.name, *args[0].value)))
                list.push_back(login);
    }
    reply.sink().beginResult({column(u"account name", SqlType::NVarChar, 128),
                              column(u"type", SqlType::Char, 8, true),
                              column(u"privilege", SqlType::Char, 9, true),
                              column(u"mapped login name", SqlType::NVarChar, 128, true),
                              column(u"permission path", SqlType::NVarChar, 128, true)});
    for (const auto& login : list) {
        reply.sink().row({login.name, PadRight(login.type == u'G' ? u"group" : u"user", 8),
                          PadRight(login.sysadmin() ? u"admin" : u"user", 9), login.name, Value{}});
    }
    endResult(reply, int64_t(list.size()));
    return 0;
}

namespace {
// DOMAIN\name with both parts present and nothing else.
bool isWindowsName(const std::u16string& name)
{
    const size_t slash = name.find(u'\\');
    return slash != std::u16string::npos && slash > 0 && slash + 1 < name.size() &&
           name.find(u'\\', slash + 1) == std::u16string::npos && name.size() <= 128;
}
} // namespace

int32_t ServerCatalog::Impl::grantLogin(const std::vector<Argument>& args, ServerContext& ctx,
                                        Reply& reply)
{
    if (ctx.inTransaction) {
        reply.message(msg::ProcedureNotInTransaction(u"sp_grantlogin"));
        return 1;
    }
    const std::u16string name = args[0].value.value_or(u"");
    if (args[0].name == u"(default)") {
        reply.message(msg::ProcedureExpectsParameter(u"sp_grantlogin", u"@loginame"));
        return 1;
    }
    if (!isWindowsName(name)) {
        reply.message(msg::NotWindowsName(name));
        return 1;
    }
    std::lock_guard lock(mutex);
    if (!isSysadminLocked(ctx.login)) {
        reply.message(msg::PermissionDenied(u"CREATE LOGIN"));
        return 1;
    }
    if (logins.count(FoldCase(name))) {
        reply.message(msg::PrincipalExists(name));
        return 1;
    }
    Login login;
    login.name = name;
    login.type = EqualsNoCase(name.substr(0, 8), u"BUILTIN\\") ? u'G' : u'U';
    saveLogin(login);
    logins[FoldCase(name)] = login;
    return 0;
}

int32_t ServerCatalog::Impl::revokeLogin(const std::vector<Argument>& args, ServerContext& ctx,
                                         Reply& reply)
{
    if (ctx.inTransaction) {
        reply.message(msg::ProcedureNotInTransaction(u"sp_revokelogin"));
        return 1;
    }
    const std::u16string name = args[0].value.value_or(u"");
    if (!isWindowsName(name)) {
        reply.message(msg::NotWindowsName(name));
        return 1;
    }
    std::lock_guard lock(mutex);
    if (!isSysadminLocked(ctx.login)) {
        reply.message(msg::PermissionDenied(u"DROP LOGIN"));
        return 1;
    }
    const auto it = logins.find(FoldCase(name));
    if (it == logins.end() || it->second.type == u'S') {
        reply.message(msg::NotValidLogin(name));
        return 1;
    }
    Statement s(registry, "DELETE FROM logins WHERE folded = ?");
    s.bind(1, FoldCase(name));
    s.step();
    logins.erase(it);
    return 0;
}

int32_t ServerCatalog::Impl::addServerRoleMember(const std::vector<Argument>& args,
                                                 ServerContext& ctx, Reply& reply, bool add)
{
    const char16_t* procedure = add ? u"sp_addsrvrolemember" : u"sp_dropsrvrolemember";
    if (ctx.inTransaction) {
        reply.message(msg::ProcedureNotInTransaction(procedure));
        return 1;
    }
    for (size_t i = 0; i < 2; ++i) {
        if (args[i].name == u"(default)") {
            reply.message(
                msg::ProcedureExpectsParameter(procedure, i == 0 ? u"@loginame" : u"@rolename"));
            return 1;
        }
    }
    const std::u16string loginName = args[0].value.value_or(u"");
    const std::u16string role = args[1].value.value_or(u"");
    int roleBit = -1;
    for (int i = 0; i < int(std::size(kFixedServerRoles)); ++i)
        if (EqualsNoCase(role, kFixedServerRoles[i]))
            roleBit = i;
    if (roleBit < 0) {
        reply.message(msg::NotFixedServerRole(role));
        return 1;
    }
    std::lock_guard lock(mutex);
    if (!isSysadminLocked(ctx.login)) {
        reply.message(msg::NotValidLogin(loginName));
        return 1;
    }
    const auto it = logins.find(FoldCase(loginName));
    if (it == logins.end()) {
        reply.message(msg::NotValidLogin(loginName));
        return 1;
    }
    // The membership of sa cannot be changed.
    if (EqualsNoCase(it->second.name, u"sa"))
        return 0;
    Login updated = it->second;
    if (add)
        updated.roles |= 1u << roleBit;
    else
        updated.roles &= ~(1u << roleBit);
    saveLogin(updated);
    it->second = updated;
    return 0;
}

} // namespace standin::server
