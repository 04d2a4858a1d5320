// RESTORE FILELISTONLY, HEADERONLY, VERIFYONLY and DATABASE. A database restore goes in stages:
// the database claimed, every target file checked before anything is written, the set copied
// and put in place, the database registered, the pages reported.
#include "../Text.h"
#include "BackupFile.h"
#include "BackupResults.h"
#include "CatalogImpl.h"
#include "ServerMessages.h"
#include "ServerText.h"
#include "StatementSupport.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace fs = std::filesystem;

namespace standin::server {

namespace msg = messages;

namespace {
constexpr char16_t kRestoreDatabase[] = u"RESTORE DATABASE";
constexpr char16_t kRestoreFileList[] = u"RESTORE FILELIST";
constexpr char16_t kRestoreVerify[] = u"VERIFY DATABASE";
constexpr char16_t kRestoreHeaders[] = u"RESTORE HEADERONLY";
// SQLite keeps these beside a data file; they are part of it.
constexpr const char* kCompanionSuffixes[] = {"-wal", "-shm", "-journal"};

struct RestoreOptions {
    int32_t fileNumber = 1;
    bool fileGiven = false;
    bool replace = false;
    std::vector<std::pair<std::u16string, std::u16string>> moves; // logical name, target
    std::u16string unsupported;
    std::optional<std::u16string> badFileNumber; // what stands where FILE = k should
};

RestoreOptions readOptions(const std::vector<WithOption>& options, bool readOnly)
{
    RestoreOptions read;
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
            if (k <= 0 && !read.badFileNumber)
                read.badFileNumber = v.empty() ? o.keyword : v;
            read.fileNumber = int32_t(k);
            read.fileGiven = true;
        } else if (!readOnly && o.keyword == u"REPLACE") {
            read.replace = true;
        } else if (!readOnly && o.keyword == u"MOVE") {
            read.moves.emplace_back(o.value.value_or(u""), o.moveTo);
        } else if (!IsAmong(o.keyword, {u"RECOVERY", u"STATS", u"NOUNLOAD", u"UNLOAD", u"REWIND",
                                        u"NOREWIND", u"CHECKSUM", u"NO_CHECKSUM", u"STOP_ON_ERROR",
                                        u"CONTINUE_AFTER_ERROR"}) ||
                   (readOnly && o.keyword == u"RECOVERY")) {
            read.unsupported += (read.unsupported.empty() ? u"" : u", ") + o.keyword;
        }
    }
    return read;
}

std::u16string osErrorText(int error)
{
    return text::fromUtf8(std::strerror(error));
}

// Windows names one file without regard to case, so the server compares host paths that way.
std::u16string fileKey(const fs::path& host)
{
    return FoldCase(text::fromUtf8(host.native()));
}

std::vector<fs::path> withCompanions(const fs::path& dataFile)
{
    std::vector<fs::path> files{dataFile};
    for (const char* suffix : kCompanionSuffixes)
        files.emplace_back(dataFile.native() + suffix);
    return files;
}

// One file of the backup set and where it goes.
struct Target {
    std::u16string logical;
    std::u16string serverPath;
    bool isData = false;
    fs::path host;
    // Host files that putting it in place replaces: a data file's companions go with it.
    std::vector<fs::path> replaced() const
    {
        return isData ? withCompanions(host) : std::vector<fs::path>{host};
    }
};

class DatabaseRestore {
public:
    DatabaseRestore(ServerCatalog::Impl& catalog, std::u16string name, ServerContext& ctx,
                    Reply& reply, const RestoreOptions& options, fs::path media,
                    const BackupSetInfo& set)
        : catalog_(catalog), name_(std::move(name)), ctx_(ctx), reply_(reply), options_(options),
          media_(std::move(media)), set_(set), fileClaims_(catalog.leases)
    {
    }
    DatabaseRestore(const DatabaseRestore&) = delete;
    DatabaseRestore& operator=(const DatabaseRestore&) = delete;

    void run()
    {
        if (!chooseTargets() || !claimDatabase())
            return;
        if (!checkTargets() || !reserveTargets()) {
            reply_.message(msg::PlanningProblems());
            return (void)abandon();
        }
        if (!takeDatabase() || !copy())
            return;
        registerDatabase();
        report();
    }

private:
    bool refuse(Message m)
    {
        reply_.message(std::move(m));
        return abandon();
    }
    bool abandon()
    {
        reply_.message(msg::TerminatingAbnormally(kRestoreDatabase));
        reply_.endStatement();
        return false;
    }
    bool chooseTargets();
    bool claimDatabase();
    bool claimExisting(const RegisteredDatabase* registered, Leases::Guard& guard);
    bool checkTargets();
    bool checkTarget(Target& target);
    std::optional<std::u16string> owner(const Leases::Guard& guard, const Target& target) const;
    bool reserveTargets();
    bool takeDatabase();
    bool copy();
    bool putInPlace(const fs::path& dataCopy, const fs::path& logCopy);
    void registerDatabase();
    void report();

    ServerCatalog::Impl& catalog_;
    const std::u16string name_;
    ServerContext& ctx_;
    Reply& reply_;
    const RestoreOptions& options_;
    const fs::path media_; // the backup being read
    const BackupSetInfo& set_;
    std::array<Target, 2> targets_; // data, log
    std::optional<DatabaseEntry> existing_;
    // Given back in the reverse order of their taking, the files' note in the registry first.
    std::optional<NameClaim> nameClaim_;
    FileClaims fileClaims_;
    std::optional<ExclusiveUse> exclusive_;
    std::optional<PendingFiles> pending_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

// Each file goes to its MOVE target, else where it was when backed up.
bool DatabaseRestore::chooseTargets()
{
    targets_[0] = {set_.dataLogicalName, set_.dataPhysicalName, true, {}};
    targets_[1] = {set_.logLogicalName, set_.logPhysicalName, false, {}};
    for (const auto& [logical, target] : options_.moves) {
        if (EqualsNoCase(logical, set_.dataLogicalName))
            targets_[0].serverPath = target;
        else if (EqualsNoCase(logical, set_.logLogicalName))
            targets_[1].serverPath = target;
        else
            return refuse(msg::LogicalFileNotInDatabase(logical, name_));
    }
    return true;
}

bool DatabaseRestore::claimDatabase()
{
    // As CREATE DATABASE refuses them: no database is made under a name nothing can use.
    if (name_.empty() || name_.size() > 128) {
        reply_.message(msg::SyntaxError(name_));
        reply_.endStatement();
        return false;
    }
    const std::u16string folded = FoldCase(name_);
    auto guard = catalog_.leases.lock();
    if (!guard.registry().isSysadmin(ctx_.login))
        return refuse(msg::PermissionDenied(kRestoreDatabase));
    if (guard.nameReserved(folded))
        return refuse(msg::ExclusiveAccess());
    if (const auto* registered = guard.registry().find(name_);
        registered && !claimExisting(registered, guard))
        return false;
    nameClaim_.emplace(guard, folded);
    return true;
}

// A database of that name is restored over only when nothing would be lost without REPLACE.
bool DatabaseRestore::claimExisting(const RegisteredDatabase* registered, Leases::Guard& guard)
{
    if (registered->entry.dbid == 1)
        return refuse(msg::MasterSingleUser());
    if (registered->entry.dbid == 2)
        return refuse(msg::TempdbBackup());
    const bool ownSession = EqualsNoCase(ctx_.currentDatabase, registered->entry.name);
    if (guard.inUse(registered->entry.dbid) && !ownSession) {
        registered = guard.waitUntilFree(name_);
        if (!registered)
            return refuse(msg::ExclusiveAccess());
    }
    const DatabaseEntry& entry = registered->entry;
    if (guard.inUse(entry.dbid))
        return refuse(ownSession ? msg::InUseBySession(kRestoreDatabase, entry.name)
                                 : msg::ExclusiveAccess());
    if (!options_.replace && !EqualsNoCase(entry.name, set_.databaseName))
        return refuse(msg::OtherDatabaseBackup(entry.name));
    // Restoring over it would throw away log records no backup holds.
    if (!options_.replace && registered->logChain && !entry.system)
        return refuse(msg::TailNotBackedUp(entry.name));
    existing_ = entry;
    return true;
}

// Every problem of every file is reported before the statement gives up, as SQL Server plans.
bool DatabaseRestore::checkTargets()
{
    bool planned = true;
    for (auto& target : targets_)
        planned = checkTarget(target) && planned;
    if (!planned)
        return false;
    const std::u16string logKey = fileKey(targets_[1].host);
    for (const auto& file : targets_[0].replaced())
        if (fileKey(file) == logKey) {
            reply_.message(msg::FileClaimedTwice(targets_[1].serverPath, set_.dataLogicalName, 1,
                                                 set_.logLogicalName, 2));
            return false;
        }
    return true;
}

bool DatabaseRestore::checkTarget(Target& target)
{
    auto cannot = [&](Message why) {
        reply_.message(std::move(why));
        reply_.message(msg::CannotRestoreTo(target.logical, target.serverPath));
        return false;
    };
    const MappedPath mapped = IsRelativeServerPath(target.serverPath)
                                  ? MappedPath{}
                                  : catalog_.mapper.map(target.serverPath);
    // The server's own files and anything beyond the data root: the server may not create them.
    if (mapped.status == MappedPath::Status::OutsideRoot)
        return cannot(msg::OsErrorOnFile(msg::kOsAccessDenied, msg::kValidateTargetForCreation,
                                         target.serverPath));
    if (!mapped.ok() || !ParentIsDirectory(mapped.host))
        return cannot(msg::DirectoryLookupFailed(
            target.serverPath, mapped.ok() ? msg::kOsPathNotFound : OsErrorFor(mapped.status)));
    target.host = mapped.host;

    // The backup stays open for reading while the files are written: it cannot be one of them.
    const std::u16string mediaKey = fileKey(media_);
    for (const auto& file : target.replaced())
        if (fileKey(file) == mediaKey)
            return cannot(msg::OsErrorOnFile(msg::kOsSharingViolation,
                                             msg::kValidateTargetForCreation, target.serverPath));
    std::optional<std::u16string> ownerName;
    {
        auto guard = catalog_.leases.lock();
        ownerName = owner(guard, target);
    }
    if (ownerName)
        return cannot(msg::FileInUseByDatabase(target.serverPath, *ownerName));
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(target.host, ec)))
        return cannot(msg::OsErrorOnFile(msg::kOsAccessDenied, msg::kValidateTargetForCreation,
                                         target.serverPath));

    bool ownFile = false;
    if (existing_)
        for (const auto& file : {existing_->dataFile, existing_->logFile})
            ownFile = ownFile || fileKey(file) == fileKey(target.host);
    if (!options_.replace && !ownFile && PathExists(target.host)) {
        reply_.message(msg::CannotRestoreOverExisting(target.logical, target.serverPath));
        return false;
    }
    return true;
}

// The database whose files putting the target in place would overwrite, or for which a CREATE
// or RESTORE in progress is making that file. The database restored over gives up its data and
// log file, but the companions of its data file are no place for a target.
std::optional<std::u16string> DatabaseRestore::owner(const Leases::Guard& guard,
                                                     const Target& target) const
{
    std::set<std::u16string> keys;
    for (const auto& file : target.replaced())
        keys.insert(fileKey(file));
    for (const auto& [dbid, registered] : guard.registry().databases()) {
        const DatabaseEntry& e = registered.entry;
        std::vector<fs::path> files = withCompanions(e.dataFile);
        if (existing_ && e.dbid == existing_->dbid) {
            files.erase(files.begin());
            for (const auto& file : files)
                if (fileKey(file) == fileKey(target.host))
                    return e.name;
            continue;
        }
        files.push_back(e.logFile);
        for (const auto& file : files)
            if (keys.count(fileKey(file)))
                return e.name;
    }
    for (const auto& [file, database] : guard.reservedFiles())
        if (keys.count(fileKey(file)))
            return database;
    return std::nullopt;
}

// Held until the database is registered, so that no CREATE or RESTORE makes them meanwhile.
bool DatabaseRestore::reserveTargets()
{
    auto guard = catalog_.leases.lock();
    for (const auto& target : targets_) {
        if (const auto ownerName = owner(guard, target)) {
            reply_.message(msg::FileInUseByDatabase(target.serverPath, *ownerName));
            reply_.message(msg::CannotRestoreTo(target.logical, target.serverPath));
            return false;
        }
        // Taken already only by the other target, which the plan has refused.
        (void)fileClaims_.claim(guard, target.host, name_);
    }
    return true;
}

// Exclusive from here: no session may take the database until it is whole again.
bool DatabaseRestore::takeDatabase()
{
    if (!existing_)
        return true;
    auto guard = catalog_.leases.lock();
    if (!guard.registry().find(existing_->dbid) || guard.inUse(existing_->dbid))
        return refuse(msg::ExclusiveAccess());
    exclusive_.emplace(guard, existing_->dbid);
    return true;
}

// The set is copied into the server's own folder first, where no server path reaches, so that
// nothing at the targets changes until the whole copy is there and its checksum is right.
bool DatabaseRestore::copy()
{
    const fs::path dataCopy = catalog_.temporaryPath("restore-data");
    const fs::path logCopy = catalog_.temporaryPath("restore-log");
    Finally removeCopies([&] {
        std::error_code ec;
        fs::remove(dataCopy, ec);
        fs::remove(logCopy, ec);
    });
    std::string error;
    if (!ExtractBackupSet(media_, set_, dataCopy, logCopy, error))
        return refuse(error == "checksum mismatch"
                          ? msg::BackupSetDamaged()
                          : msg::WriteFailed(targets_[0].serverPath, text::fromUtf8(error)));
    if (existing_)
        catalog_.releaseFile(existing_->dataFile);
    return putInPlace(dataCopy, logCopy);
}

// The log first: should the data file's rename fail, the database's data is as it was.
bool DatabaseRestore::putInPlace(const fs::path& dataCopy, const fs::path& logCopy)
{
    const fs::path& dataHost = targets_[0].host;
    const fs::path& logHost = targets_[1].host;
    // From the first rename on, a crash leaves files no database owns yet: the next start
    // removes them unless the database was registered.
    pending_.emplace(catalog_.leases, std::vector<fs::path>{dataHost, logHost});
    const bool logWasThere = PathExists(logHost);
    if (std::rename(logCopy.c_str(), logHost.c_str()) != 0)
        return refuse(msg::WriteFailed(targets_[1].serverPath, osErrorText(errno)));
    // A write-ahead log left beside the old file would be replayed into the new one; it is set
    // aside rather than removed until the new file is in place.
    std::vector<std::pair<fs::path, fs::path>> setAside;
    for (const char* suffix : kCompanionSuffixes) {
        const fs::path companion = dataHost.native() + suffix;
        if (!PathExists(companion))
            continue;
        const fs::path aside = catalog_.temporaryPath("restore-companion");
        if (std::rename(companion.c_str(), aside.c_str()) == 0)
            setAside.emplace_back(companion, aside);
    }
    if (std::rename(dataCopy.c_str(), dataHost.c_str()) != 0) {
        const int failure = errno;
        for (const auto& [companion, aside] : setAside)
            std::rename(aside.c_str(), companion.c_str());
        std::error_code ec;
        if (!logWasThere)
            fs::remove(logHost, ec);
        return refuse(msg::WriteFailed(targets_[0].serverPath, osErrorText(failure)));
    }
    std::error_code ec;
    for (const auto& [companion, aside] : setAside)
        fs::remove(aside, ec);
    SyncDirectory(dataHost.parent_path());
    SyncDirectory(logHost.parent_path());
    return true;
}

void DatabaseRestore::registerDatabase()
{
    DatabaseEntry e;
    e.name = existing_ ? existing_->name : name_;
    e.dataFile = targets_[0].host;
    e.logFile = targets_[1].host;
    e.dataPhysicalName = targets_[0].serverPath;
    e.logPhysicalName = targets_[1].serverPath;
    e.dataLogicalName = set_.dataLogicalName;
    e.logLogicalName = set_.logLogicalName;
    e.created = Now();
    {
        auto guard = catalog_.leases.lock();
        e.dbid = existing_ ? existing_->dbid : guard.registry().nextDbid();
        e.system = existing_ && existing_->system;
        // The restored database continues the log chain of its backup.
        guard.registry().putDatabase(e, !e.system);
    }
    if (!existing_)
        return;
    // Files the database had before and has no more.
    std::error_code ec;
    if (existing_->dataFile != e.dataFile && existing_->dataFile != e.logFile)
        RemoveDatabaseFiles(existing_->dataFile, {});
    if (existing_->logFile != e.logFile && existing_->logFile != e.dataFile)
        fs::remove(existing_->logFile, ec);
}

void DatabaseRestore::report()
{
    const int64_t dataPages = int64_t((set_.dataSize + 8191) / 8192);
    const int64_t logPages = int64_t((set_.logSize + 8191) / 8192);
    reply_.message(
        msg::ProcessedPages(dataPages, name_, set_.dataLogicalName, options_.fileNumber));
    reply_.message(msg::ProcessedPages(logPages, name_, set_.logLogicalName, options_.fileNumber));
    reply_.message(
        msg::SuccessfullyProcessed(kRestoreDatabase, dataPages + logPages, SecondsSince(started_)));
    reply_.endStatement();
}

const char16_t* statementName(RestoreStatement::Kind kind)
{
    switch (kind) {
    case RestoreStatement::Kind::FileListOnly:
        return kRestoreFileList;
    case RestoreStatement::Kind::VerifyOnly:
        return kRestoreVerify;
    case RestoreStatement::Kind::HeaderOnly:
        return kRestoreHeaders;
    case RestoreStatement::Kind::Database:
        break;
    }
    return kRestoreDatabase;
}
} // namespace

void Restore(ServerCatalog::Impl& catalog, const RestoreStatement& s, ServerContext& ctx,
             Reply& reply)
{
    using Kind = RestoreStatement::Kind;
    const bool readOnly = s.kind != Kind::Database;
    const char16_t* statement = statementName(s.kind);
    auto fail = [&](Message m) {
        reply.message(std::move(m));
        reply.message(msg::TerminatingAbnormally(statement));
        reply.endStatement();
    };
    const RestoreOptions options = readOptions(s.options, readOnly);
    if (options.badFileNumber) {
        reply.message(msg::SyntaxError(*options.badFileNumber));
        return reply.endStatement();
    }
    if (!options.unsupported.empty())
        return fail(msg::OptionsNotSupported(options.unsupported));
    if (!readOnly && ctx.inTransaction)
        return fail(msg::BackupInTransaction());

    const std::u16string device = CompleteDevice(s.device);
    const MappedPath mapped = catalog.mapper.map(device);
    if (!mapped.ok())
        return fail(msg::CannotOpenBackupDevice(device, OsErrorFor(mapped.status)));
    const BackupMedia media = ReadBackupMedia(mapped.host);
    switch (media.status) {
    case BackupMedia::Status::Ok:
        break;
    case BackupMedia::Status::Missing:
        return fail(msg::CannotOpenBackupDevice(
            device, ParentIsDirectory(mapped.host) ? msg::kOsFileNotFound : msg::kOsPathNotFound));
    case BackupMedia::Status::Unreadable:
        return fail(msg::CannotOpenBackupDevice(device, msg::kOsAccessDenied));
    case BackupMedia::Status::NotMedia:
        return fail(msg::MediaFamilyIncorrect(device));
    }
    if (s.kind == Kind::HeaderOnly && !options.fileGiven) {
        std::vector<const BackupSetInfo*> all;
        for (const auto& set : media.sets)
            all.push_back(&set);
        return SendBackupHeaders(reply.sink(), all);
    }
    if (options.fileNumber > int32_t(media.sets.size()))
        return fail(msg::CannotFindFileId(options.fileNumber, device));
    const BackupSetInfo& set = media.sets[size_t(options.fileNumber - 1)];
    switch (s.kind) {
    case Kind::VerifyOnly: {
        std::string error;
        if (!VerifyBackupSet(mapped.host, set, error))
            return fail(msg::BackupSetDamaged());
        reply.message(msg::BackupSetValid(options.fileNumber));
        return reply.endStatement();
    }
    case Kind::FileListOnly:
        return SendFileList(reply.sink(), set);
    case Kind::HeaderOnly:
        return SendBackupHeaders(reply.sink(), {&set});
    case Kind::Database:
        break;
    }
    DatabaseRestore(catalog, s.database, ctx, reply, options, mapped.host, set).run();
}

} // namespace standin::server
