// CREATE DATABASE and DROP DATABASE, and the helpers these, BACKUP and RESTORE share.
#include "../Text.h"
#include "BackupFile.h"
#include "CatalogImpl.h"
#include "ServerMessages.h"
#include "ServerText.h"
#include "StatementSupport.h"

#include <array>
#include <optional>

namespace fs = std::filesystem;

namespace standin::server {

namespace msg = messages;

namespace {
constexpr char16_t kCreateDatabase[] = u"CREATE DATABASE";
constexpr char16_t kDropDatabase[] = u"DROP DATABASE";

// A new database in stages: the statement checked and its files named, the name and the files
// claimed, the files made, the database registered.
class DatabaseCreation {
public:
    DatabaseCreation(ServerCatalog::Impl& catalog, const CreateDatabaseStatement& s,
                     ServerContext& ctx, Reply& reply)
        : catalog_(catalog), name_(s.name), ctx_(ctx), reply_(reply), files_{s.data, s.log},
          claims_(catalog.leases)
    {
    }

    void run()
    {
        if (!plan() || !claimName())
            return;
        if (!placeFiles() || !makeFiles())
            return;
        registerDatabase();
        reply_.endStatement();
    }

private:
    void refuse(Message m)
    {
        reply_.message(std::move(m));
        reply_.endStatement();
    }
    // Ends a statement that got as far as its files.
    void fail(Message m)
    {
        reply_.message(std::move(m));
        reply_.message(msg::CreateDatabaseFailed());
        reply_.endStatement();
    }
    bool plan();
    bool claimName();
    bool placeFiles();
    bool place(const FileDefinition& file, std::filesystem::path& host);
    bool makeFiles();
    void registerDatabase();

    ServerCatalog::Impl& catalog_;
    const std::u16string& name_;
    ServerContext& ctx_;
    Reply& reply_;
    std::array<FileDefinition, 2> files_; // data, log
    std::array<fs::path, 2> hosts_;
    std::optional<NameClaim> nameClaim_;
    FileClaims claims_;
    std::optional<PendingFiles> pending_;
};

bool DatabaseCreation::plan()
{
    if (ctx_.inTransaction) {
        refuse(msg::NotInTransaction(kCreateDatabase));
        return false;
    }
    if (name_.empty() || name_.size() > 128) {
        refuse(msg::SyntaxError(name_));
        return false;
    }
    FileDefinition& data = files_[0];
    FileDefinition& log = files_[1];
    if (!data.given) {
        data.logicalName = name_;
        data.physicalName = std::u16string(kDefaultDataDirectory) + name_ + u".mdf";
    }
    if (!log.given) {
        log.logicalName = name_ + u"_log";
        log.physicalName = std::u16string(kDefaultDataDirectory) + name_ + u"_log.ldf";
    }
    return true;
}

bool DatabaseCreation::claimName()
{
    const std::u16string folded = FoldCase(name_);
    auto guard = catalog_.leases.lock();
    if (!guard.registry().isSysadmin(ctx_.login)) {
        refuse(msg::PermissionDenied(kCreateDatabase));
        return false;
    }
    if (guard.registry().find(name_) || guard.nameReserved(folded)) {
        refuse(msg::DatabaseExists(name_));
        return false;
    }
    nameClaim_.emplace(guard, folded);
    return true;
}

bool DatabaseCreation::placeFiles()
{
    if (EqualsNoCase(files_[0].logicalName, files_[1].logicalName)) {
        refuse(msg::LogicalNameInUse(files_[1].logicalName));
        return false;
    }
    if (!place(files_[0], hosts_[0]) || !place(files_[1], hosts_[1])) {
        reply_.message(msg::CreateDatabaseFailed());
        reply_.endStatement();
        return false;
    }
    if (hosts_[0] == hosts_[1]) {
        fail(msg::FileExists(files_[1].physicalName));
        return false;
    }
    return true;
}

// Each file: a name this server can serve, in a folder that exists, not there yet.
bool DatabaseCreation::place(const FileDefinition& file, fs::path& host)
{
    if (IsRelativeServerPath(file.physicalName)) {
        reply_.message(msg::FileActivationError(file.physicalName));
        return false;
    }
    const MappedPath mapped = catalog_.mapper.map(file.physicalName);
    if (!mapped.ok()) {
        reply_.message(msg::DirectoryLookupFailed(file.physicalName, OsErrorFor(mapped.status)));
        return false;
    }
    if (!ParentIsDirectory(mapped.host)) {
        reply_.message(msg::DirectoryLookupFailed(file.physicalName, msg::kOsPathNotFound));
        return false;
    }
    bool taken = false;
    {
        auto guard = catalog_.leases.lock();
        // Held until the database is registered, so no restore writes over it meanwhile.
        taken = guard.registry().ownsFile(mapped.host) || !claims_.claim(guard, mapped.host, name_);
    }
    if (taken || PathExists(mapped.host)) {
        reply_.message(msg::FileExists(file.physicalName));
        return false;
    }
    host = mapped.host;
    return true;
}

bool DatabaseCreation::makeFiles()
{
    pending_.emplace(catalog_.leases, std::vector<fs::path>{hosts_[0], hosts_[1]});
    switch (CreateDatabaseFiles(hosts_[0], hosts_[1])) {
    case CreateFilesResult::Ok:
        return true;
    case CreateFilesResult::DataExists:
        fail(msg::FileExists(files_[0].physicalName));
        return false;
    case CreateFilesResult::LogExists:
        fail(msg::FileExists(files_[1].physicalName));
        return false;
    case CreateFilesResult::Failed:
        break;
    }
    fail(msg::DirectoryLookupFailed(files_[0].physicalName, msg::kOsAccessDenied));
    return false;
}

void DatabaseCreation::registerDatabase()
{
    DatabaseEntry e;
    e.name = name_;
    e.dataFile = hosts_[0];
    e.logFile = hosts_[1];
    e.dataPhysicalName = files_[0].physicalName;
    e.logPhysicalName = files_[1].physicalName;
    e.dataLogicalName = files_[0].logicalName;
    e.logLogicalName = files_[1].logicalName;
    e.created = Now();
    try {
        auto guard = catalog_.leases.lock();
        e.dbid = guard.registry().nextDbid();
        guard.registry().putDatabase(e);
    } catch (...) {
        RemoveDatabaseFiles(hosts_[0], hosts_[1]);
        throw;
    }
}

// Takes one database for DROP: nothing else may use it from here until it is gone.
std::optional<DatabaseEntry> takeForDrop(Leases::Guard& guard, const std::u16string& name,
                                         bool ifExists, ServerContext& ctx, Reply& reply,
                                         std::optional<ExclusiveUse>& exclusive)
{
    const RegisteredDatabase* registered = guard.registry().find(name);
    if (!registered || !guard.registry().isSysadmin(ctx.login)) {
        if (!ifExists || registered)
            reply.message(msg::DropUnknownDatabase(name));
        return std::nullopt;
    }
    if (registered->entry.system) {
        reply.message(msg::SystemDatabase(u"drop", registered->entry.name));
        return std::nullopt;
    }
    if (guard.inUse(registered->entry.dbid) &&
        !EqualsNoCase(ctx.currentDatabase, registered->entry.name))
        registered = guard.waitUntilFree(name);
    if (!registered) {
        if (!ifExists)
            reply.message(msg::DropUnknownDatabase(name));
        return std::nullopt;
    }
    if (guard.inUse(registered->entry.dbid)) {
        reply.message(msg::DatabaseInUse(registered->entry.name));
        return std::nullopt;
    }
    exclusive.emplace(guard, registered->entry.dbid);
    return registered->entry;
}

} // namespace

void CreateDatabase(ServerCatalog::Impl& catalog, const CreateDatabaseStatement& s,
                    ServerContext& ctx, Reply& reply)
{
    DatabaseCreation(catalog, s, ctx, reply).run();
}

void DropDatabase(ServerCatalog::Impl& catalog, const DropDatabaseStatement& s, ServerContext& ctx,
                  Reply& reply)
{
    if (ctx.inTransaction) {
        reply.message(msg::NotInUserTransaction(kDropDatabase));
        return reply.endStatement();
    }
    for (const auto& name : s.names) {
        std::optional<ExclusiveUse> exclusive;
        std::optional<DatabaseEntry> victim;
        {
            auto guard = catalog.leases.lock();
            victim = takeForDrop(guard, name, s.ifExists, ctx, reply, exclusive);
        }
        if (!victim)
            continue;
        catalog.releaseFile(victim->dataFile);
        PendingFiles pending(catalog.leases, {victim->dataFile, victim->logFile});
        catalog.leases.lock().removeDatabase(victim->dbid);
        exclusive->forget();
        RemoveDatabaseFiles(victim->dataFile, victim->logFile);
    }
    reply.endStatement();
}

// ---------------------------------------------------------------------------------------------

const char16_t* OsErrorFor(MappedPath::Status status)
{
    switch (status) {
    case MappedPath::Status::OutsideRoot:
        return msg::kOsAccessDenied;
    case MappedPath::Status::Relative:
    case MappedPath::Status::BadName:
        return msg::kOsBadName;
    case MappedPath::Status::Ok:
        break;
    }
    return msg::kOsPathNotFound;
}

bool ParentIsDirectory(const fs::path& host)
{
    std::error_code ec;
    return fs::is_directory(fs::symlink_status(host.parent_path(), ec));
}

bool PathExists(const fs::path& host)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(host, ec));
}

std::u16string CompleteDevice(const std::u16string& device)
{
    return IsRelativeServerPath(device) ? std::u16string(kDefaultBackupDirectory) + device : device;
}

bool IsAmong(const std::u16string& keyword, std::initializer_list<const char16_t*> list)
{
    for (const char16_t* k : list)
        if (keyword == k)
            return true;
    return false;
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace standin::server
