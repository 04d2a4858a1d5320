// CREATE DATABASE, DROP DATABASE and BACKUP DATABASE, and the helpers these and RESTORE share.
#include "../Text.h"
#include "BackupFile.h"
#include "CatalogImpl.h"
#include "ServerMessages.h"
#include "ServerText.h"
#include "StatementSupport.h"

#include <chrono>
#include <thread>

namespace fs = std::filesystem;

namespace standin::server {

namespace msg = messages;

namespace {
constexpr char16_t kCreateDatabase[] = u"CREATE DATABASE";
constexpr char16_t kDropDatabase[] = u"DROP DATABASE";
constexpr char16_t kBackupDatabase[] = u"BACKUP DATABASE";

bool copySqliteDatabase(const fs::path& source, const fs::path& target, std::string& error)
{
    sqlite3* from = nullptr;
    sqlite3* to = nullptr;
    auto closeBoth = [&] {
        sqlite3_close(from);
        sqlite3_close(to);
    };
    if (sqlite3_open_v2(source.c_str(), &from, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_open_v2(target.c_str(), &to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK) {
        error = from ? sqlite3_errmsg(from) : "cannot open";
        closeBoth();
        return false;
    }
    sqlite3_busy_timeout(from, 10000);
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup) {
        error = sqlite3_errmsg(to);
        closeBoth();
        return false;
    }
    // One step copies every page inside one read transaction: a consistent image even while
    // other sessions write (they go on writing to the write-ahead log meanwhile).
    int rc;
    for (int attempt = 0;; ++attempt) {
        rc = sqlite3_backup_step(backup, -1);
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && attempt < 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        break;
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        error = sqlite3_errstr(rc);
    closeBoth();
    return rc == SQLITE_DONE;
}
} // namespace

// ---------------------------------------------------------------------------------------------

void ServerCatalog::Impl::createDatabase(const CreateDatabaseStatement& s, ServerContext& ctx,
                                         Reply& reply)
{
    const std::u16string& name = s.name;
    FileDefinition data = s.data, log = s.log;
    if (ctx.inTransaction) {
        reply.message(msg::NotInTransaction(kCreateDatabase));
        return reply.endStatement();
    }
    if (name.empty() || name.size() > 128) {
        reply.message(msg::SyntaxError(name));
        return reply.endStatement();
    }
    if (!data.given) {
        data.logicalName = name;
        data.physicalName = std::u16string(kDefaultDataDirectory) + name + u".mdf";
    }
    if (!log.given) {
        log.logicalName = name + u"_log";
        log.physicalName = std::u16string(kDefaultDataDirectory) + name + u"_log.ldf";
    }

    const std::u16string folded = FoldCase(name);
    {
        std::lock_guard lock(mutex);
        if (!isSysadminLocked(ctx.login)) {
            reply.message(msg::PermissionDenied(kCreateDatabase));
            return reply.endStatement();
        }
        if (findLocked(name) || reservedNames.count(folded)) {
            reply.message(msg::DatabaseExists(name));
            return reply.endStatement();
        }
        reservedNames.insert(folded);
    }
    Finally unreserve([&] {
        std::lock_guard lock(mutex);
        reservedNames.erase(folded);
    });

    if (EqualsNoCase(data.logicalName, log.logicalName)) {
        reply.message(msg::LogicalNameInUse(log.logicalName));
        return reply.endStatement();
    }
    std::vector<fs::path> claimedFiles;
    Finally unclaim([&] {
        std::lock_guard lock(mutex);
        for (const auto& f : claimedFiles)
            reservedFiles.erase(f);
    });
    // Each file: a name this server can serve, in a folder that exists, not there yet.
    auto place = [&](const FileDefinition& file, fs::path& host) {
        if (IsRelativeServerPath(file.physicalName)) {
            reply.message(msg::FileActivationError(file.physicalName));
            return false;
        }
        const MappedPath mapped = mapper.map(file.physicalName);
        if (!mapped.ok()) {
            reply.message(msg::DirectoryLookupFailed(file.physicalName, OsErrorFor(mapped.status)));
            return false;
        }
        if (!ParentIsDirectory(mapped.host)) {
            reply.message(msg::DirectoryLookupFailed(file.physicalName, msg::kOsPathNotFound));
            return false;
        }
        bool taken = false;
        {
            std::lock_guard lock(mutex);
            for (const auto& [dbid, entry] : databases)
                taken = taken || entry.entry.dataFile == mapped.host ||
                        entry.entry.logFile == mapped.host;
            // Held until the database is registered, so no restore writes over it meanwhile.
            if (!taken && reservedFiles.emplace(mapped.host, name).second)
                claimedFiles.push_back(mapped.host);
            else
                taken = true;
        }
        if (taken || PathExists(mapped.host)) {
            reply.message(msg::FileExists(file.physicalName));
            return false;
        }
        host = mapped.host;
        return true;
    };
    fs::path dataHost, logHost;
    if (!place(data, dataHost) || !place(log, logHost)) {
        reply.message(msg::CreateDatabaseFailed());
        return reply.endStatement();
    }
    if (dataHost == logHost) {
        reply.message(msg::FileExists(log.physicalName));
        reply.message(msg::CreateDatabaseFailed());
        return reply.endStatement();
    }
    PendingFiles pending(*this, {dataHost, logHost});
    switch (CreateDatabaseFiles(dataHost, logHost)) {
    case CreateFilesResult::Ok:
        break;
    case CreateFilesResult::DataExists:
        reply.message(msg::FileExists(data.physicalName));
        reply.message(msg::CreateDatabaseFailed());
        return reply.endStatement();
    case CreateFilesResult::LogExists:
        reply.message(msg::FileExists(log.physicalName));
        reply.message(msg::CreateDatabaseFailed());
        return reply.endStatement();
    case CreateFilesResult::Failed:
        reply.message(msg::DirectoryLookupFailed(data.physicalName, msg::kOsAccessDenied));
        reply.message(msg::CreateDatabaseFailed());
        return reply.endStatement();
    }

    DatabaseEntry e;
    e.name = name;
    e.dataFile = dataHost;
    e.logFile = logHost;
    e.dataPhysicalName = data.physicalName;
    e.logPhysicalName = log.physicalName;
    e.dataLogicalName = data.logicalName;
    e.logLogicalName = log.logicalName;
    e.created = Now();
    try {
        std::lock_guard lock(mutex);
        e.dbid = nextDbid();
        saveDatabase(e);
        Entry entry;
        entry.entry = e;
        databases[e.dbid] = std::move(entry);
    } catch (...) {
        RemoveDatabaseFiles(dataHost, logHost);
        throw;
    }
    reply.endStatement();
}

// ---------------------------------------------------------------------------------------------

ServerCatalog::Impl::Entry*
ServerCatalog::Impl::waitUntilUnheldLocked(std::unique_lock<std::mutex>& lock,
                                           const std::u16string& name)
{
    Entry* entry = nullptr;
    released.wait_for(lock, kClosingSessionGrace, [&] {
        entry = findLocked(name);
        return !entry || (entry->holders == 0 && !entry->busy);
    });
    return entry;
}

void ServerCatalog::Impl::dropDatabase(const DropDatabaseStatement& s, ServerContext& ctx,
                                       Reply& reply)
{
    const bool ifExists = s.ifExists;
    const std::vector<std::u16string>& names = s.names;
    if (ctx.inTransaction) {
        reply.message(msg::NotInUserTransaction(kDropDatabase));
        return reply.endStatement();
    }
    for (const auto& name : names) {
        DatabaseEntry victim;
        {
            std::unique_lock lock(mutex);
            Entry* entry = findLocked(name);
            if (!entry || !isSysadminLocked(ctx.login)) {
                if (!ifExists || entry)
                    reply.message(msg::DropUnknownDatabase(name));
                continue;
            }
            if (entry->entry.system) {
                reply.message(msg::SystemDatabase(u"drop", entry->entry.name));
                continue;
            }
            if ((entry->holders > 0 || entry->busy) &&
                !EqualsNoCase(ctx.currentDatabase, entry->entry.name))
                entry = waitUntilUnheldLocked(lock, name);
            if (!entry) {
                if (!ifExists)
                    reply.message(msg::DropUnknownDatabase(name));
                continue;
            }
            if (entry->holders > 0 || entry->busy) {
                reply.message(msg::DatabaseInUse(entry->entry.name));
                continue;
            }
            entry->busy = true;
            victim = entry->entry;
        }
        releaseFile(victim.dataFile);
        PendingFiles pending(*this, {victim.dataFile, victim.logFile});
        {
            std::lock_guard lock(mutex);
            try {
                deleteDatabase(victim.dbid);
            } catch (...) {
                databases[victim.dbid].busy = false;
                throw;
            }
            databases.erase(victim.dbid);
        }
        RemoveDatabaseFiles(victim.dataFile, victim.logFile);
    }
    reply.endStatement();
}

// ---------------------------------------------------------------------------------------------

void ServerCatalog::Impl::backupDatabase(const BackupStatement& s, ServerContext& ctx, Reply& reply)
{
    const std::u16string& name = s.database;
    const std::u16string& device = s.device;
    const std::vector<WithOption>& options = s.options;
    bool overwrite = false, copyOnly = false, checksum = false;
    std::u16string setName, description, unsupported;
    for (const auto& o : options) {
        if (o.keyword == u"INIT" || o.keyword == u"FORMAT")
            overwrite = true;
        else if (o.keyword == u"COPY_ONLY")
            copyOnly = true;
        else if (o.keyword == u"CHECKSUM")
            checksum = true;
        else if (o.keyword == u"NAME")
            setName = o.value.value_or(u"");
        else if (o.keyword == u"DESCRIPTION")
            description = o.value.value_or(u"");
        else if (!IsAmong(o.keyword,
                          {u"NOINIT", u"NOFORMAT", u"SKIP", u"NOSKIP", u"NO_CHECKSUM",
                           u"STOP_ON_ERROR", u"CONTINUE_AFTER_ERROR", u"NOUNLOAD", u"UNLOAD",
                           u"REWIND", u"NOREWIND", u"COMPRESSION", u"NO_COMPRESSION", u"STATS",
                           u"MEDIANAME", u"MEDIADESCRIPTION"}))
            unsupported += (unsupported.empty() ? u"" : u", ") + o.keyword;
    }
    auto fail = [&](Message m) {
        reply.message(std::move(m));
        reply.message(msg::TerminatingAbnormally(kBackupDatabase));
        reply.endStatement();
    };
    if (!unsupported.empty())
        return fail(msg::OptionsNotSupported(unsupported));
    if (ctx.inTransaction)
        return fail(msg::BackupInTransaction());

    DatabaseEntry source;
    {
        std::lock_guard lock(mutex);
        Entry* entry = findLocked(name);
        if (!entry || entry->busy)
            return fail(msg::DatabaseDoesNotExist(name));
        if (entry->entry.dbid == 2)
            return fail(msg::TempdbBackup());
        if (!isSysadminLocked(ctx.login))
            return fail(msg::PermissionDenied(kBackupDatabase));
        // Held while copying: the database cannot be dropped or restored under the backup.
        ++entry->holders;
        source = entry->entry;
    }
    Finally releaseHold([&] {
        std::lock_guard lock(mutex);
        const auto it = databases.find(source.dbid);
        if (it != databases.end() && it->second.holders > 0)
            --it->second.holders;
        released.notify_all();
    });

    const std::u16string serverPath = CompleteDevice(device);
    const MappedPath mapped = mapper.map(serverPath);
    if (!mapped.ok())
        return fail(msg::CannotOpenBackupDevice(serverPath, OsErrorFor(mapped.status)));
    if (!ParentIsDirectory(mapped.host))
        return fail(msg::CannotOpenBackupDevice(serverPath, msg::kOsPathNotFound));
    {
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(mapped.host, ec)))
            return fail(msg::CannotOpenBackupDevice(serverPath, msg::kOsAccessDenied));
        std::lock_guard lock(mutex);
        for (const auto& [dbid, entry] : databases) {
            // Never write a backup over a database's own file.
            const auto& e = entry.entry;
            for (const auto& file : {e.dataFile, fs::path(e.dataFile.native() + "-wal"),
                                     fs::path(e.dataFile.native() + "-shm"), e.logFile})
                if (file == mapped.host)
                    return fail(msg::CannotOpenBackupDevice(serverPath, msg::kOsSharingViolation));
        }
    }
    const BackupMedia media = ReadBackupMedia(mapped.host);
    if (media.status == BackupMedia::Status::Unreadable)
        return fail(msg::CannotOpenBackupDevice(serverPath, msg::kOsAccessDenied));
    if (media.status == BackupMedia::Status::NotMedia && !overwrite) {
        std::error_code ec;
        if (fs::file_size(mapped.host, ec) > 0)
            return fail(msg::MediaFamilyIncorrect(serverPath));
    }

    const auto clockStarted = std::chrono::steady_clock::now();
    const DateTimeValue started = Now();
    const fs::path copy = temporaryPath("backup");
    Finally removeCopy([&] {
        std::error_code ec;
        fs::remove(copy, ec);
        fs::remove(fs::path(copy.native() + "-journal"), ec);
    });
    std::string error;
    if (!copySqliteDatabase(source.dataFile, copy, error))
        return fail(msg::WriteFailed(serverPath, text::fromUtf8(error)));
    BackupSource set;
    set.info.databaseName = source.name;
    set.info.dataLogicalName = source.dataLogicalName;
    set.info.dataPhysicalName = source.dataPhysicalName;
    set.info.logLogicalName = source.logLogicalName;
    set.info.logPhysicalName = source.logPhysicalName;
    set.info.name = setName;
    set.info.description = description;
    set.info.started = started;
    set.info.databaseCreated = source.created;
    set.info.userName = ctx.login;
    set.info.serverName = this->options.serverName;
    set.info.flags = (copyOnly ? kCopyOnly : 0u) | (checksum ? kWithChecksum : 0u) |
                     (source.system ? kSimpleRecovery : 0u);
    set.info.setGuid = RandomGuid();
    set.dataCopy = copy;
    set.logFile = source.logFile;
    set.info.finished = Now();
    WriteResult written;
    {
        // Appends truncate a torn tail first: two at once would cut each other's sets.
        std::lock_guard media(mediaMutex);
        written = WriteBackupSet(mapped.host, set, overwrite);
    }
    if (written.error)
        return fail(msg::WriteFailed(serverPath, text::fromUtf8(*written.error)));

    if (!copyOnly && !source.system) {
        // The first full backup starts the log chain; a copy-only one leaves it alone.
        std::lock_guard lock(mutex);
        const auto it = databases.find(source.dbid);
        if (it != databases.end() && !it->second.logChain) {
            saveLogChain(source.dbid, true);
            it->second.logChain = true;
        }
    }
    const int64_t dataPages = FilePages(copy);
    const int64_t logPages = FilePages(source.logFile);
    reply.message(
        msg::ProcessedPages(dataPages, source.name, source.dataLogicalName, written.position));
    reply.message(
        msg::ProcessedPages(logPages, source.name, source.logLogicalName, written.position));
    reply.message(msg::SuccessfullyProcessed(kBackupDatabase, dataPages + logPages,
                                             SecondsSince(clockStarted)));
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

PendingFiles::PendingFiles(ServerCatalog::Impl& catalog, std::vector<fs::path> files)
    : catalog_(catalog), files_(std::move(files))
{
    std::lock_guard lock(catalog_.mutex);
    catalog_.notePendingFiles(files_);
}

PendingFiles::~PendingFiles()
{
    try {
        std::lock_guard lock(catalog_.mutex);
        catalog_.forgetPendingFiles(files_);
    } catch (...) {
        // Still noted: the next start finds them registered or removes them.
    }
}

} // namespace standin::server
