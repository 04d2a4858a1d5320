// The inside of ServerCatalog: its parts (the data root and its path mapping, the leases with the
// registry they guard) and the entry points of the statements and procedures it runs.
#pragma once

#include "../Engine.h"
#include "Leases.h"
#include "PathMapper.h"
#include "ServerCatalog.h"
#include "ServerStatements.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace standin::server {

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
    Engine::Options options;
    std::filesystem::path root;
    PathMapper mapper{std::filesystem::path{}};
    std::u16string saPassword;
    Leases leases;

    void log(const std::string& line) const
    {
        if (options.log)
            options.log(line);
    }
    void setFileReleaser(FileReleaser releaser);
    // Called before a data file is replaced or removed; never with the leases locked.
    void releaseFile(const std::filesystem::path& dataFile);
    // A fresh name in the server's own folder, where no server path reaches.
    std::filesystem::path temporaryPath(const std::string& stem);

private:
    std::mutex releaserMutex_;
    FileReleaser releaser_;
    std::atomic<uint64_t> temporaryCounter_{0};
};

// Statements (each sends its whole answer).
void CreateDatabase(ServerCatalog::Impl& catalog, const CreateDatabaseStatement& s,
                    ServerContext& ctx, Reply& reply);
void DropDatabase(ServerCatalog::Impl& catalog, const DropDatabaseStatement& s, ServerContext& ctx,
                  Reply& reply);
void BackupDatabase(ServerCatalog::Impl& catalog, const BackupStatement& s, ServerContext& ctx,
                    Reply& reply);
void Restore(ServerCatalog::Impl& catalog, const RestoreStatement& s, ServerContext& ctx,
             Reply& reply);

// Procedures: send their result sets and messages; return the procedure's status.
int32_t HelpDb(ServerCatalog::Impl& catalog, const std::vector<Argument>& args, Reply& reply);
int32_t ListDatabases(ServerCatalog::Impl& catalog, const std::vector<Argument>& args,
                      Reply& reply);
int32_t LoginInfo(ServerCatalog::Impl& catalog, const std::vector<Argument>& args, Reply& reply);
int32_t GrantLogin(ServerCatalog::Impl& catalog, const std::vector<Argument>& args,
                   ServerContext& ctx, Reply& reply);
int32_t RevokeLogin(ServerCatalog::Impl& catalog, const std::vector<Argument>& args,
                    ServerContext& ctx, Reply& reply);
int32_t ChangeServerRoleMember(ServerCatalog::Impl& catalog, const std::vector<Argument>& args,
                               ServerContext& ctx, Reply& reply, bool add);

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

} // namespace standin::server
