// What the server level keeps across restarts: the databases with their files and log chains, the
// logins, and the files a statement was making when the server stopped. One SQLite file of the
// data root, mirrored in memory and written through before a statement is answered.
#pragma once

#include "ServerCatalog.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct sqlite3;

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

struct RegisteredDatabase {
    DatabaseEntry entry;
    // A full backup (or a restore) has started the log chain of this full-recovery database:
    // from then on a RESTORE over it without REPLACE needs the log's tail.
    bool logChain = false;
};

// Not thread-safe: the server's leases serialise every use (see Leases.h).
class Registry {
public:
    Registry() = default;
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // Opened once, when the server starts; throws std::runtime_error when it cannot be.
    void open(const std::filesystem::path& file);
    // Reads the file into memory again.
    void load();
    // Groups the writes of the server's first start.
    void begin();
    void commit();

    const std::map<int32_t, RegisteredDatabase>& databases() const { return databases_; }
    const RegisteredDatabase* find(const std::u16string& name) const;
    const RegisteredDatabase* find(int32_t dbid) const;
    // The lowest free id after the system databases, as the server reuses freed ones.
    int32_t nextDbid() const;
    // True when a registered database has the file as its data or log file.
    bool ownsFile(const std::filesystem::path& file) const;
    void putDatabase(const DatabaseEntry& entry, bool logChain = false);
    void setLogChain(int32_t dbid, bool logChain);
    void removeDatabase(int32_t dbid);

    const std::map<std::u16string, Login>& logins() const { return logins_; } // by folded name
    const Login* login(const std::u16string& name) const;
    bool isSysadmin(const std::u16string& login) const;
    void putLogin(const Login& login);
    void removeLogin(const std::u16string& name);

    // Files that belong to no database until the statement making them registers it: a crash
    // before then leaves them to be removed at the next start.
    void notePendingFiles(const std::vector<std::filesystem::path>& files);
    void forgetPendingFiles(const std::vector<std::filesystem::path>& files);
    // Removes the noted files no database owns; returns them.
    std::vector<std::filesystem::path> removeAbandonedFiles();

private:
    void execSql(const char* sql);

    sqlite3* db_ = nullptr;
    std::map<int32_t, RegisteredDatabase> databases_; // by dbid
    std::map<std::u16string, Login> logins_;
};

} // namespace standin::server
