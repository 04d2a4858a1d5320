// BACKUP DATABASE, in stages: the statement's options read, the database held and the device
// checked, the database copied, the set written and the log chain noted, the pages reported.
#include "../Text.h"
#include "BackupFile.h"
#include "CatalogImpl.h"
#include "ServerMessages.h"
#include "ServerText.h"
#include "StatementSupport.h"

#include <chrono>
#include <optional>
#include <sqlite3.h>
#include <thread>

namespace fs = std::filesystem;

namespace standin::server {

namespace msg = messages;

namespace {
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

struct BackupOptions {
    bool overwrite = false, copyOnly = false, checksum = false;
    std::u16string setName, description, unsupported;
};

BackupOptions readOptions(const std::vector<WithOption>& options)
{
    BackupOptions read;
    for (const auto& o : options) {
        if (o.keyword == u"INIT" || o.keyword == u"FORMAT")
            read.overwrite = true;
        else if (o.keyword == u"COPY_ONLY")
            read.copyOnly = true;
        else if (o.keyword == u"CHECKSUM")
            read.checksum = true;
        else if (o.keyword == u"NAME")
            read.setName = o.value.value_or(u"");
        else if (o.keyword == u"DESCRIPTION")
            read.description = o.value.value_or(u"");
        else if (!IsAmong(o.keyword,
                          {u"NOINIT", u"NOFORMAT", u"SKIP", u"NOSKIP", u"NO_CHECKSUM",
                           u"STOP_ON_ERROR", u"CONTINUE_AFTER_ERROR", u"NOUNLOAD", u"UNLOAD",
                           u"REWIND", u"NOREWIND", u"COMPRESSION", u"NO_COMPRESSION", u"STATS",
                           u"MEDIANAME", u"MEDIADESCRIPTION"}))
            read.unsupported += (read.unsupported.empty() ? u"" : u", ") + o.keyword;
    }
    return read;
}

class DatabaseBackup {
public:
    DatabaseBackup(ServerCatalog::Impl& catalog, const BackupStatement& s, ServerContext& ctx,
                   Reply& reply)
        : catalog_(catalog), statement_(s), ctx_(ctx), reply_(reply),
          options_(readOptions(s.options)), serverPath_(CompleteDevice(s.device))
    {
    }
    ~DatabaseBackup()
    {
        std::error_code ec;
        if (!copy_.empty()) {
            fs::remove(copy_, ec);
            fs::remove(fs::path(copy_.native() + "-journal"), ec);
        }
    }
    DatabaseBackup(const DatabaseBackup&) = delete;
    DatabaseBackup& operator=(const DatabaseBackup&) = delete;

    void run()
    {
        if (!plan() || !holdDatabase() || !checkDevice() || !copy() || !write())
            return;
        noteLogChain();
        report();
    }

private:
    bool fail(Message m)
    {
        reply_.message(std::move(m));
        reply_.message(msg::TerminatingAbnormally(kBackupDatabase));
        reply_.endStatement();
        return false;
    }
    bool plan();
    bool holdDatabase();
    bool checkDevice();
    bool copy();
    bool write();
    void noteLogChain();
    void report();

    ServerCatalog::Impl& catalog_;
    const BackupStatement& statement_;
    ServerContext& ctx_;
    Reply& reply_;
    const BackupOptions options_;
    const std::u16string serverPath_;
    fs::path device_;
    DatabaseEntry source_;
    // Held while copying: the database cannot be dropped or restored under the backup.
    std::optional<DatabaseHold> hold_;
    std::chrono::steady_clock::time_point clockStarted_;
    DateTimeValue started_;
    fs::path copy_;
    WriteResult written_;
};

bool DatabaseBackup::plan()
{
    if (!options_.unsupported.empty())
        return fail(msg::OptionsNotSupported(options_.unsupported));
    if (ctx_.inTransaction)
        return fail(msg::BackupInTransaction());
    return true;
}

bool DatabaseBackup::holdDatabase()
{
    const std::u16string& name = statement_.database;
    auto guard = catalog_.leases.lock();
    const RegisteredDatabase* registered = guard.registry().find(name);
    if (!registered || guard.busy(registered->entry.dbid))
        return fail(msg::DatabaseDoesNotExist(name));
    if (registered->entry.dbid == 2)
        return fail(msg::TempdbBackup());
    if (!guard.registry().isSysadmin(ctx_.login))
        return fail(msg::PermissionDenied(kBackupDatabase));
    hold_.emplace(guard, registered->entry.dbid);
    source_ = registered->entry;
    return true;
}

bool DatabaseBackup::checkDevice()
{
    const MappedPath mapped = catalog_.mapper.map(serverPath_);
    if (!mapped.ok())
        return fail(msg::CannotOpenBackupDevice(serverPath_, OsErrorFor(mapped.status)));
    if (!ParentIsDirectory(mapped.host))
        return fail(msg::CannotOpenBackupDevice(serverPath_, msg::kOsPathNotFound));
    device_ = mapped.host;
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(device_, ec)))
        return fail(msg::CannotOpenBackupDevice(serverPath_, msg::kOsAccessDenied));
    {
        auto guard = catalog_.leases.lock();
        for (const auto& [dbid, registered] : guard.registry().databases()) {
            // Never write a backup over a database's own file.
            const auto& e = registered.entry;
            for (const auto& file : {e.dataFile, fs::path(e.dataFile.native() + "-wal"),
                                     fs::path(e.dataFile.native() + "-shm"), e.logFile})
                if (file == device_)
                    return fail(msg::CannotOpenBackupDevice(serverPath_, msg::kOsSharingViolation));
        }
    }
    const BackupMedia media = ReadBackupMedia(device_);
    if (media.status == BackupMedia::Status::Unreadable)
        return fail(msg::CannotOpenBackupDevice(serverPath_, msg::kOsAccessDenied));
    if (media.status == BackupMedia::Status::NotMedia && !options_.overwrite &&
        fs::file_size(device_, ec) > 0)
        return fail(msg::MediaFamilyIncorrect(serverPath_));
    return true;
}

bool DatabaseBackup::copy()
{
    clockStarted_ = std::chrono::steady_clock::now();
    started_ = Now();
    copy_ = catalog_.temporaryPath("backup");
    std::string error;
    if (!copySqliteDatabase(source_.dataFile, copy_, error))
        return fail(msg::WriteFailed(serverPath_, text::fromUtf8(error)));
    return true;
}

bool DatabaseBackup::write()
{
    BackupSource set;
    set.info.databaseName = source_.name;
    set.info.dataLogicalName = source_.dataLogicalName;
    set.info.dataPhysicalName = source_.dataPhysicalName;
    set.info.logLogicalName = source_.logLogicalName;
    set.info.logPhysicalName = source_.logPhysicalName;
    set.info.name = options_.setName;
    set.info.description = options_.description;
    set.info.started = started_;
    set.info.databaseCreated = source_.created;
    set.info.userName = ctx_.login;
    set.info.serverName = catalog_.options.serverName;
    set.info.flags = (options_.copyOnly ? kCopyOnly : 0u) |
                     (options_.checksum ? kWithChecksum : 0u) |
                     (source_.system ? kSimpleRecovery : 0u);
    set.info.setGuid = RandomGuid();
    set.dataCopy = copy_;
    set.logFile = source_.logFile;
    set.info.finished = Now();
    {
        MediaWriter one(catalog_.leases);
        written_ = WriteBackupSet(device_, set, options_.overwrite);
    }
    if (written_.error)
        return fail(msg::WriteFailed(serverPath_, text::fromUtf8(*written_.error)));
    return true;
}

// The first full backup starts the log chain; a copy-only one leaves it alone.
void DatabaseBackup::noteLogChain()
{
    if (options_.copyOnly || source_.system)
        return;
    auto guard = catalog_.leases.lock();
    const RegisteredDatabase* registered = guard.registry().find(source_.dbid);
    if (registered && !registered->logChain)
        guard.registry().setLogChain(source_.dbid, true);
}

void DatabaseBackup::report()
{
    const int64_t dataPages = FilePages(copy_);
    const int64_t logPages = FilePages(source_.logFile);
    reply_.message(
        msg::ProcessedPages(dataPages, source_.name, source_.dataLogicalName, written_.position));
    reply_.message(
        msg::ProcessedPages(logPages, source_.name, source_.logLogicalName, written_.position));
    reply_.message(msg::SuccessfullyProcessed(kBackupDatabase, dataPages + logPages,
                                              SecondsSince(clockStarted_)));
    reply_.endStatement();
}
} // namespace

void BackupDatabase(ServerCatalog::Impl& catalog, const BackupStatement& s, ServerContext& ctx,
                    Reply& reply)
{
    DatabaseBackup(catalog, s, ctx, reply).run();
}

} // namespace standin::server
