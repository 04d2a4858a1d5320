// The inside of ServerCatalog, shared by the files that implement its statements.
#pragma once

#include "../Engine.h"
#include "PathMapper.h"
#include "ServerCatalog.h"
#include "ServerStatements.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <sqlite3.h>

namespace standin::server {

// The server's fixed roles, in the bit order of Login::roles.
inline constexpr const char16_t* kFixedServerRoles[] = {
    u"sysadmin",     u"securityadmin", u"serveradmin", u"setupadmin",
    u"processadmin", u"diskadmin",     u"dbcreator",   u"bulkadmin"};

struct Login {
    std::u16string name;
    char16_t type = u'S'; // S: SQL login, U: Windows user, G: Windows group
    uint32_t roles = 0;   // bit i = kFixedServerRoles[i]
    bool sysadmin() const { return (roles & 1u) != 0; }
};

// Sends one statement's output with the statement's line in every message.
class Reply {
public:
    Reply(ResultSink& sink, int32_t line, std::u16string procedure = {})
        : sink_(sink), line_(line), procedure_(std::move(procedure))
    {
    }
    void message(Message m)
    {
        m.line = line_;
        if (m.procedure.empty())
            m.procedure = procedure_;
        if (m.isError())
            failed_ = true;
        sink_.message(m);
    }
    ResultSink& sink() { return sink_; }
    bool failed() const { return failed_; }
    // Ends a statement outside a procedure.
    void endStatement() { sink_.done(DoneInfo{DoneInfo::Kind::Statement, false, 0, failed_}); }

private:
    ResultSink& sink_;
    int32_t line_;
    std::u16string procedure_;
    bool failed_ = false;
};

class ServerCatalog::Impl {
public:
    struct Entry {
        DatabaseEntry entry;
        int holders = 0;
        bool busy = false; // being dropped, restored or backed up exclusively
        // A full backup (or a restore) has started the log chain of this full-recovery
        // database: from then on a RESTORE over it without REPLACE needs the log's tail.
        bool logChain = false;
    };

    Engine::Options options;
    std::filesystem::path root;
    PathMapper mapper{std::filesystem::path{}};
    std::u16string saPassword;

    mutable std::mutex mutex;
    // Signalled whenever a database loses a holder. A client that closed its connection is
    // still counted until its session has read the end of the socket, so DROP and RESTORE
    // give closing sessions this long before they call the database in use.
    std::condition_variable released;
    static constexpr std::chrono::seconds kClosingSessionGrace{2};
    // With mutex held: waits up to the grace for the database to have no holder and not be
    // busy; returns its entry then (or nullptr when it went away meanwhile).
    Entry* waitUntilUnheldLocked(std::unique_lock<std::mutex>& lock, const std::u16string& name);
    sqlite3* registry = nullptr;            // guarded by mutex
    std::map<int32_t, Entry> databases;     // by dbid
    std::set<std::u16string> reservedNames; // folded names being created or restored
    // Files a CREATE or RESTORE DATABASE in progress is making, with the database they are for.
    std::map<std::filesystem::path, std::u16string> reservedFiles;
    std::mutex mediaMutex;                  // one writer of backup media at a time
    std::map<std::u16string, Login> logins; // by folded name
    FileReleaser releaser;
    uint64_t temporaryCounter = 0;

    ~Impl();

    void log(const std::string& line) const
    {
        if (options.log)
            options.log(line);
    }

    // Registry (call with mutex held). Opened once, by ServerCatalog::open.
    void openRegistry(const std::filesystem::path& file);
    void execSql(const char* sql);
    void saveDatabase(const DatabaseEntry& e, bool logChain = false);
    void saveLogChain(int32_t dbid, bool logChain);
    void deleteDatabase(int32_t dbid);
    void saveLogin(const Login& login);
    void deleteLogin(const std::u16string& folded);
    void loadAll();
    // Files that belong to no database until the statement making them registers it: a crash
    // before then leaves them to be removed at the next start.
    void notePendingFiles(const std::vector<std::filesystem::path>& files);
    void forgetPendingFiles(const std::vector<std::filesystem::path>& files);
    void removeAbandonedFiles();

    Entry* findLocked(const std::u16string& name);
    int32_t nextDbid() const;
    bool isSysadminLocked(const std::u16string& login) const;
    void releaseFile(const std::filesystem::path& dataFile);
    std::filesystem::path temporaryPath(const std::string& stem);

    // Statements (each sends its whole answer).
    void createDatabase(const CreateDatabaseStatement& s, ServerContext& ctx, Reply& reply);
    void dropDatabase(const DropDatabaseStatement& s, ServerContext& ctx, Reply& reply);
    void backupDatabase(const BackupStatement& s, ServerContext& ctx, Reply& reply);
    void restore(const RestoreStatement& s, ServerContext& ctx, Reply& reply);

    // Procedures: send their result sets and messages; return the procedure's status.
    int32_t helpDb(const std::vector<Argument>& args, Reply& reply);
    int32_t listDatabases(const std::vector<Argument>& args, Reply& reply);
    int32_t loginInfo(const std::vector<Argument>& args, Reply& reply);
    int32_t grantLogin(const std::vector<Argument>& args, ServerContext& ctx, Reply& reply);
    int32_t revokeLogin(const std::vector<Argument>& args, ServerContext& ctx, Reply& reply);
    int32_t addServerRoleMember(const std::vector<Argument>& args, ServerContext& ctx, Reply& reply,
                                bool add);
};

// The server's own entries in the data root; no server path maps onto them.
inline constexpr char kServerFolder[] = "server";
inline constexpr char kRegistryFile[] = "registry.sqlite"; // in kServerFolder
inline constexpr char kPasswordFile[] = "sa-password";
inline constexpr char kSecretSuffix[] = ".new"; // a secret being written, before its rename

// Defaults of a fresh server, as a Windows installation names them.
inline constexpr char16_t kDefaultDataDirectory[] =
    u"C:\\Program Files\\Microsoft SQL Server\\MSSQL15.MSSQLSERVER\\MSSQL\\DATA\\";
inline constexpr char16_t kDefaultBackupDirectory[] =
    u"C:\\Program Files\\Microsoft SQL Server\\MSSQL15.MSSQLSERVER\\MSSQL\\Backup\\";

DateTimeValue Now();
// Size of a data file as the server counts it (with its write-ahead log), in 8 KB pages.
int64_t DataPages(const std::filesystem::path& dataFile);
int64_t FilePages(const std::filesystem::path& file);
// Removes a data file with its SQLite companions, and a log file.
void RemoveDatabaseFiles(const std::filesystem::path& dataFile,
                         const std::filesystem::path& logFile);
// Creates an empty database file (SQLite, WAL) and its log file; false when either exists.
enum class CreateFilesResult { Ok, DataExists, LogExists, Failed };
CreateFilesResult CreateDatabaseFiles(const std::filesystem::path& dataFile,
                                      const std::filesystem::path& logFile);

} // namespace standin::server
