// The server level of the stand-in: the data root, logins, the registry of databases and their
// files, and the statements that work on whole databases (CREATE/DROP DATABASE, BACKUP, RESTORE,
// sp_helpdb, sp_databases, xp_logininfo, sp_grantlogin, sp_addsrvrolemember).
//
// Thread safety: every member may be called from many sessions' threads at once.
#pragma once

#include "../Engine.h"
#include "ServerStatements.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin::server {

struct DatabaseEntry {
    std::u16string name; // as created
    int32_t dbid = 0;
    std::filesystem::path dataFile; // the SQLite file on this machine
    std::filesystem::path logFile;
    std::u16string dataPhysicalName; // as the server names it, e.g. C:\Dir\Xdat.mdf
    std::u16string logPhysicalName;
    std::u16string dataLogicalName;
    std::u16string logLogicalName;
    DateTimeValue created;
    bool system = false; // master, model, msdb, tempdb
};

// What a server-level statement needs to know of the session running it.
struct ServerContext {
    std::u16string login;
    std::u16string currentDatabase;
    int32_t spid = 0;
    int32_t line = 1;           // line of the statement's first token within its batch
    bool inTransaction = false; // CREATE/DROP/BACKUP/RESTORE are refused inside one
    bool firstInBatch = true;   // a procedure name without EXEC is a call only here
};

// A procedure argument: its value as text (empty for NULL), optionally named.
struct Argument {
    std::u16string name; // "@dbname", empty when positional
    std::optional<std::u16string> value;
};

class ServerCatalog;

// Held by a session while a database is its current one; DROP DATABASE and RESTORE refuse a
// database that any session holds. Released by destruction.
class DatabaseUse {
public:
    DatabaseUse(const DatabaseUse&) = delete;
    DatabaseUse& operator=(const DatabaseUse&) = delete;
    ~DatabaseUse();
    const DatabaseEntry& entry() const { return entry_; }

private:
    friend class ServerCatalog;
    DatabaseUse(ServerCatalog& catalog, DatabaseEntry entry);
    ServerCatalog& catalog_;
    DatabaseEntry entry_;
};

class ServerCatalog {
public:
    // Opens the data root, creating it on first start: the registry, the files of the system
    // databases, and <dataRoot>/sa-password (one line, mode 0600). Options::saPassword, when
    // given, becomes sa's password and is kept there; otherwise the kept one stays (a generated
    // one on first start). Throws std::runtime_error when the data root is unusable.
    // Every DatabaseUse must be released before the catalogue is destroyed.
    static std::unique_ptr<ServerCatalog> open(const Engine::Options& options);
    ~ServerCatalog();

    const std::filesystem::path& dataRoot() const;

    // Nothing when the login may connect; otherwise error 18456.
    std::optional<Message> authenticate(const std::u16string& user,
                                        const std::u16string& password) const;
    bool isSysadmin(const std::u16string& login) const;

    // Names compare without regard to case.
    std::optional<DatabaseEntry> find(const std::u16string& name) const;
    std::vector<DatabaseEntry> databases() const; // by dbid

    // Empty when the database does not exist or is being dropped or restored.
    std::unique_ptr<DatabaseUse> use(const std::u16string& name);

    // Called (outside the catalogue's lock) before DROP or RESTORE removes or replaces a data
    // file, when no session uses it: whoever caches SQLite handles of that file closes them.
    using FileReleaser = std::function<void(const std::filesystem::path& dataFile)>;
    void setFileReleaser(FileReleaser releaser);

    // Runs a server-level statement the engine's parser read; a refused one is answered with
    // its message.
    void execute(const ServerStatement& statement, ServerContext& context, ResultSink& sink);
    // Runs one of the server's procedures, named as [master.][dbo.|sys.]name, with its values
    // already in hand; false, having sent nothing, when the name is none of them.
    bool callProcedure(const std::vector<std::u16string>& nameParts, std::vector<Argument> args,
                       ServerContext& context, ResultSink& sink);
    // One statement given as text, for tools and tests: runs it and returns true when it is a
    // server-level statement or procedure call (literal arguments only); returns false, having
    // sent nothing, for any other statement. A text that does not parse is answered with its error.
    bool tryExecute(const std::u16string& statementText, ServerContext& context, ResultSink& sink);

    // Maps a server-side path (C:\Dir\File.mdf or /dir/file.mdf) to a path under the data root;
    // empty when it names nothing there (relative, "..", a link leading out, a bad character).
    std::optional<std::filesystem::path> mapPath(std::u16string_view serverPath) const;

    class Impl;

private:
    friend class DatabaseUse;
    explicit ServerCatalog(std::unique_ptr<Impl> impl);
    void release(const DatabaseEntry& entry);
    std::unique_ptr<Impl> impl_;
};

} // namespace standin::server
