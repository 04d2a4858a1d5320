// CREATE DATABASE, DROP DATABASE, BACKUP DATABASE and RESTORE.
#include "../Text.h"
#include "BackupFile.h"
#include "BackupResults.h"
#include "CatalogImpl.h"
#include "ServerMessages.h"
#include "ServerText.h"

#include <chrono>
#include <thread>

namespace fs = std::filesystem;

namespace standin::server {

namespace msg = messages;

namespace {
constexpr char16_t kCreateDatabase[] = u"CREATE DATABASE";
constexpr char16_t kDropDatabase[] = u"DROP DATABASE";
constexpr char16_t kBackupDatabase[] = u"BACKUP DATABASE";
constexpr char16_t kRestoreDatabase[] = u"RESTORE DATABASE";
constexpr char16_t kRestoreFileList[] = u"RESTORE FILELIST";
constexpr char16_t kRestoreVerify[] = u"VERIFY DATABASE";
constexpr char16_t kRestoreHeaders[] = u"RESTORE HEADERONLY";

// Which operating system error SQL Server would quote for a path we refuse.
const char16_t* osErrorFor(MappedPath::Status status)
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

bool parentIsDirectory(const fs::path& host)
{
    std::error_code ec;
    return fs::is_directory(fs::symlink_status(host.parent_path(), ec));
}

bool pathExists(const fs::path& host)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(host, ec));
}

// Removes the mark of an operation in progress on every path out.
template <typename F> class Finally {
public:
    explicit Finally(F f) : f_(std::move(f)) {}
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;
    ~Finally() { f_(); }

private:
    F f_;
};

// Files a statement is making or removing, noted in the registry for as long as the statement
// runs, so that a crash meanwhile leaves nothing the next start does not clean up.
class PendingFiles {
public:
    PendingFiles(ServerCatalog::Impl& catalog, std::vector<fs::path> files)
        : catalog_(catalog), files_(std::move(files))
    {
        std::lock_guard lock(catalog_.mutex);
        catalog_.notePendingFiles(files_);
    }
    ~PendingFiles()
    {
        try {
            std::lock_guard lock(catalog_.mutex);
            catalog_.forgetPendingFiles(files_);
        } catch (...) {
            // Still noted: the next start finds them registered or removes them.
        }
    }
    PendingFiles(const PendingFiles&) = delete;
    PendingFiles& operator=(const PendingFiles&) = delete;

private:
    ServerCatalog::Impl& catalog_;
    std::vector<fs::path> files_;
};

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

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
            reply.message(msg::DirectoryLookupFailed(file.physicalName, osErrorFor(mapped.status)));
            return false;
        }
        if (!parentIsDirectory(mapped.host)) {
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
            if (!taken && reservedFiles.insert(mapped.host).second)
                claimedFiles.push_back(mapped.host);
            else
                taken = true;
        }
        if (taken || pathExists(mapped.host)) {
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

namespace {
struct DeviceClause {
    std::u16string serverPath; // as the server names it, relative names completed
    fs::path host;
};

std::u16string completeDevice(const std::u16string& device)
{
    return IsRelativeServerPath(device) ? std::u16string(kDefaultBackupDirectory) + device : device;
}

bool isAmong(const std::u16string& keyword, std::initializer_list<const char16_t*> list)
{
    for (const char16_t* k : list)
        if (keyword == k)
            return true;
    return false;
}
} // namespace

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
        else if (!isAmong(o.keyword,
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

    const std::u16string serverPath = completeDevice(device);
    const MappedPath mapped = mapper.map(serverPath);
    if (!mapped.ok())
        return fail(msg::CannotOpenBackupDevice(serverPath, osErrorFor(mapped.status)));
    if (!parentIsDirectory(mapped.host))
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
                                             secondsSince(clockStarted)));
    reply.endStatement();
}

// ---------------------------------------------------------------------------------------------

void ServerCatalog::Impl::restore(const RestoreStatement& s, ServerContext& ctx, Reply& reply)
{
    using Kind = RestoreStatement::Kind;
    const bool fileList = s.kind == Kind::FileListOnly;
    const bool verify = s.kind == Kind::VerifyOnly;
    const bool headers = s.kind == Kind::HeaderOnly;
    const bool readOnly = fileList || verify || headers;
    const char16_t* statement = fileList  ? kRestoreFileList
                                : verify  ? kRestoreVerify
                                : headers ? kRestoreHeaders
                                          : kRestoreDatabase;
    const std::u16string& name = s.database;
    const std::u16string& device = s.device;
    const std::vector<WithOption>& options = s.options;

    auto fail = [&](Message m) {
        reply.message(std::move(m));
        reply.message(msg::TerminatingAbnormally(statement));
        reply.endStatement();
    };
    int32_t fileNumber = 1;
    bool fileGiven = false;
    bool replace = false;
    std::vector<std::pair<std::u16string, std::u16string>> moves;
    std::u16string unsupported;
    for (const auto& o : options) {
        if (o.keyword == u"FILE") {
            const std::u16string v = o.value.value_or(u"");
            int64_t k = 0;
            for (char16_t c : v) {
                if (c < u'0' || c > u'9' || k > 1000000) {
                    k = -1;
                    break;
                }
                k = k * 10 + (c - u'0');
            }
            if (k <= 0) {
                reply.message(msg::SyntaxError(v));
                return reply.endStatement();
            }
            fileNumber = int32_t(k);
            fileGiven = true;
        } else if (!readOnly && o.keyword == u"REPLACE") {
            replace = true;
        } else if (!readOnly && o.keyword == u"MOVE") {
            moves.emplace_back(*o.value, o.moveTo);
        } else if (!isAmong(o.keyword, {u"RECOVERY", u"STATS", u"NOUNLOAD", u"UNLOAD", u"REWIND",
                                        u"NOREWIND", u"CHECKSUM", u"NO_CHECKSUM", u"STOP_ON_ERROR",
                                        u"CONTINUE_AFTER_ERROR"}) ||
                   (readOnly && o.keyword == u"RECOVERY")) {
            unsupported += (unsupported.empty() ? u"" : u", ") + o.keyword;
        }
    }
    if (!unsupported.empty())
        return fail(msg::OptionsNotSupported(unsupported));
    if (!readOnly && ctx.inTransaction)
        return fail(msg::BackupInTransaction());

    const std::u16string serverPath = completeDevice(device);
    const MappedPath mapped = mapper.map(serverPath);
    if (!mapped.ok())
        return fail(msg::CannotOpenBackupDevice(serverPath, osErrorFor(mapped.status)));
    const BackupMedia media = ReadBackupMedia(mapped.host);
    switch (media.status) {
    case BackupMedia::Status::Ok:
        break;
    case BackupMedia::Status::Missing:
        return fail(msg::CannotOpenBackupDevice(serverPath, parentIsDirectory(mapped.host)
                                                                ? msg::kOsFileNotFound
                                                                : msg::kOsPathNotFound));
    case BackupMedia::Status::Unreadable:
        return fail(msg::CannotOpenBackupDevice(serverPath, msg::kOsAccessDenied));
    case BackupMedia::Status::NotMedia:
        return fail(msg::MediaFamilyIncorrect(serverPath));
    }
    if (headers && !fileGiven) {
        std::vector<const BackupSetInfo*> all;
        for (const auto& set : media.sets)
            all.push_back(&set);
        return SendBackupHeaders(reply.sink(), all);
    }
    if (fileNumber > int32_t(media.sets.size()))
        return fail(msg::CannotFindFileId(fileNumber, serverPath));
    const BackupSetInfo& set = media.sets[size_t(fileNumber - 1)];

    if (verify) {
        std::string error;
        if (!VerifyBackupSet(mapped.host, set, error))
            return fail(msg::BackupSetDamaged());
        reply.message(msg::BackupSetValid(fileNumber));
        return reply.endStatement();
    }
    if (fileList)
        return SendFileList(reply.sink(), set);
    if (headers)
        return SendBackupHeaders(reply.sink(), {&set});

    // Where each file goes: its MOVE target, else where it was when backed up.
    std::u16string dataTarget = set.dataPhysicalName, logTarget = set.logPhysicalName;
    for (const auto& [logical, target] : moves) {
        if (EqualsNoCase(logical, set.dataLogicalName))
            dataTarget = target;
        else if (EqualsNoCase(logical, set.logLogicalName))
            logTarget = target;
        else
            return fail(msg::LogicalFileNotInDatabase(logical, name));
    }

    const std::u16string folded = FoldCase(name);
    std::optional<DatabaseEntry> existing;
    {
        std::unique_lock lock(mutex);
        if (!isSysadminLocked(ctx.login))
            return fail(msg::PermissionDenied(kRestoreDatabase));
        if (reservedNames.count(folded))
            return fail(msg::ExclusiveAccess());
        if (Entry* entry = findLocked(name)) {
            if (entry->entry.dbid == 1)
                return fail(msg::MasterSingleUser());
            if (entry->entry.dbid == 2)
                return fail(msg::TempdbBackup());
            if ((entry->busy || entry->holders > 0) &&
                !EqualsNoCase(ctx.currentDatabase, entry->entry.name)) {
                entry = waitUntilUnheldLocked(lock, name);
                if (!entry)
                    return fail(msg::ExclusiveAccess());
            }
            if (entry->busy || entry->holders > 0) {
                if (EqualsNoCase(ctx.currentDatabase, entry->entry.name))
                    return fail(msg::InUseBySession(kRestoreDatabase, entry->entry.name));
                return fail(msg::ExclusiveAccess());
            }
            if (!replace && !EqualsNoCase(entry->entry.name, set.databaseName))
                return fail(msg::OtherDatabaseBackup(entry->entry.name));
            // Restoring over it would throw away log records no backup holds.
            if (!replace && entry->logChain && !entry->entry.system)
                return fail(msg::TailNotBackedUp(entry->entry.name));
            existing = entry->entry;
        }
        reservedNames.insert(folded);
    }
    Finally unreserve([&] {
        std::lock_guard lock(mutex);
        reservedNames.erase(folded);
    });

    // Plan the files before touching anything.
    std::vector<fs::path> claimedFiles;
    Finally unclaim([&] {
        std::lock_guard lock(mutex);
        for (const auto& f : claimedFiles)
            reservedFiles.erase(f);
    });
    bool planned = true;
    fs::path dataHost, logHost;
    auto plan = [&](const std::u16string& logical, const std::u16string& target, fs::path& host) {
        const MappedPath m = IsRelativeServerPath(target) ? MappedPath{} : mapper.map(target);
        if (!m.ok() || !parentIsDirectory(m.host)) {
            reply.message(msg::DirectoryLookupFailed(target, m.ok() ? msg::kOsPathNotFound
                                                                    : osErrorFor(m.status)));
            reply.message(msg::CannotRestoreTo(logical, target));
            planned = false;
            return;
        }
        host = m.host;
        std::u16string owner;
        {
            std::lock_guard lock(mutex);
            for (const auto& [dbid, entry] : databases) {
                const auto& e = entry.entry;
                if ((!existing || e.dbid != existing->dbid) &&
                    (e.dataFile == host || e.logFile == host))
                    owner = e.name;
            }
            // Another restore is writing there right now.
            if (owner.empty() && !reservedFiles.insert(host).second)
                owner = name;
            else if (owner.empty())
                claimedFiles.push_back(host);
        }
        if (!owner.empty()) {
            reply.message(msg::FileInUseByDatabase(target, owner));
            reply.message(msg::CannotRestoreTo(logical, target));
            planned = false;
            return;
        }
        const bool ownFile = existing && (existing->dataFile == host || existing->logFile == host);
        if (!replace && !ownFile && pathExists(host)) {
            reply.message(msg::CannotRestoreOverExisting(logical, target));
            planned = false;
        }
    };
    plan(set.dataLogicalName, dataTarget, dataHost);
    plan(set.logLogicalName, logTarget, logHost);
    if (planned && dataHost == logHost) {
        reply.message(
            msg::FileClaimedTwice(dataTarget, set.dataLogicalName, 1, set.logLogicalName, 2));
        planned = false;
    }
    if (!planned) {
        reply.message(msg::PlanningProblems());
        reply.message(msg::TerminatingAbnormally(statement));
        return reply.endStatement();
    }

    // Exclusive from here: no session may take the database until it is whole again.
    if (existing) {
        std::lock_guard lock(mutex);
        auto it = databases.find(existing->dbid);
        if (it == databases.end() || it->second.holders > 0 || it->second.busy)
            return fail(msg::ExclusiveAccess());
        it->second.busy = true;
    }
    Finally unbusy([&] {
        if (!existing)
            return;
        std::lock_guard lock(mutex);
        auto it = databases.find(existing->dbid);
        if (it != databases.end())
            it->second.busy = false;
    });

    const auto started = std::chrono::steady_clock::now();
    const fs::path dataTemporary = dataHost.native() + ".restoring";
    const fs::path logTemporary = logHost.native() + ".restoring";
    PendingFiles pending(*this, {dataTemporary, logTemporary, dataHost, logHost});
    std::string error;
    if (!ExtractBackupSet(mapped.host, set, dataTemporary, logTemporary, error)) {
        std::error_code ec;
        fs::remove(dataTemporary, ec);
        fs::remove(logTemporary, ec);
        return fail(error == "checksum mismatch"
                        ? msg::BackupSetDamaged()
                        : msg::WriteFailed(dataTarget, text::fromUtf8(error)));
    }
    if (existing)
        releaseFile(existing->dataFile);
    // A write-ahead log left beside the old file would be replayed into the new one.
    std::error_code ec;
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        fs::remove(fs::path(dataHost.native() + suffix), ec);
    if (::rename(dataTemporary.c_str(), dataHost.c_str()) != 0 ||
        ::rename(logTemporary.c_str(), logHost.c_str()) != 0) {
        fs::remove(dataTemporary, ec);
        fs::remove(logTemporary, ec);
        return fail(msg::WriteFailed(dataTarget, u"rename failed"));
    }
    SyncDirectory(dataHost.parent_path());
    SyncDirectory(logHost.parent_path());

    DatabaseEntry e;
    e.name = existing ? existing->name : name;
    e.dataFile = dataHost;
    e.logFile = logHost;
    e.dataPhysicalName = dataTarget;
    e.logPhysicalName = logTarget;
    e.dataLogicalName = set.dataLogicalName;
    e.logLogicalName = set.logLogicalName;
    e.created = Now();
    {
        std::lock_guard lock(mutex);
        e.dbid = existing ? existing->dbid : nextDbid();
        e.system = existing && existing->system;
        // The restored database continues the log chain of its backup.
        saveDatabase(e, !e.system);
        Entry& entry = databases[e.dbid];
        entry.entry = e;
        entry.logChain = !e.system;
    }
    if (existing) {
        // Files the database had before and has no more.
        if (existing->dataFile != dataHost && existing->dataFile != logHost)
            RemoveDatabaseFiles(existing->dataFile, {});
        if (existing->logFile != logHost && existing->logFile != dataHost)
            fs::remove(existing->logFile, ec);
    }

    const int64_t dataPages = int64_t((set.dataSize + 8191) / 8192);
    const int64_t logPages = int64_t((set.logSize + 8191) / 8192);
    reply.message(msg::ProcessedPages(dataPages, name, set.dataLogicalName, fileNumber));
    reply.message(msg::ProcessedPages(logPages, name, set.logLogicalName, fileNumber));
    reply.message(
        msg::SuccessfullyProcessed(kRestoreDatabase, dataPages + logPages, secondsSince(started)));
    reply.endStatement();
}

} // namespace standin::server
