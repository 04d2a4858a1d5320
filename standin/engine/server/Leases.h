// Who holds what at the server level: sessions and backups holding a database, statements having
// it to themselves, and the names and files a CREATE or RESTORE DATABASE in progress has claimed.
// Everything here, the registry included, is reached through a Guard, whose lifetime is the lock;
// the scoped claims below give back what they took on every path out.
#pragma once

#include "Registry.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace standin::server {

class Leases {
public:
    class Guard {
    public:
        explicit Guard(Leases& leases) : leases_(leases), lock_(leases.mutex_) {}
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

        Registry& registry() { return leases_.registry_; }
        const Registry& registry() const { return leases_.registry_; }

        // Held by a session or a backup, or being dropped, restored or backed up exclusively.
        bool inUse(int32_t dbid) const;
        bool busy(int32_t dbid) const;
        void hold(int32_t dbid);
        void release(int32_t dbid);
        void setBusy(int32_t dbid, bool busy);
        // Unregisters the database and forgets its lease.
        void removeDatabase(int32_t dbid);
        // Waits (without the lock meanwhile) up to the grace for the database to be in no use;
        // returns it then, or nullptr when it went away meanwhile. A client that closed its
        // connection is still counted until its session has read the end of the socket, so DROP
        // and RESTORE give closing sessions this long before they call the database in use.
        const RegisteredDatabase* waitUntilFree(const std::u16string& name);

        bool nameReserved(const std::u16string& folded) const;
        // The files claimed by statements in progress, with the database each is for.
        const std::map<std::filesystem::path, std::u16string>& reservedFiles() const
        {
            return leases_.reservedFiles_;
        }

    private:
        friend class NameClaim;
        friend class FileClaims;
        friend class DatabaseHold;
        friend class ExclusiveUse;
        Leases& leases_;
        std::unique_lock<std::mutex> lock_;
    };

    static constexpr std::chrono::seconds kClosingSessionGrace{2};

    Guard lock() { return Guard(*this); }

private:
    friend class MediaWriter;
    friend class NameClaim;
    friend class FileClaims;
    struct Lease {
        int holders = 0;
        bool busy = false;
    };
    std::mutex mutex_;
    std::condition_variable released_; // a database lost a holder or stopped being busy
    Registry registry_;
    std::map<int32_t, Lease> leases_;        // by dbid; none while nobody holds it
    std::set<std::u16string> reservedNames_; // folded names being created or restored
    std::map<std::filesystem::path, std::u16string> reservedFiles_;
    std::mutex mediaMutex_;
};

// One writer of backup media at a time: appends truncate a torn tail first, so two at once would
// cut each other's sets.
class MediaWriter {
public:
    explicit MediaWriter(Leases& leases) : lock_(leases.mediaMutex_) {}

private:
    std::lock_guard<std::mutex> lock_;
};

// A database name being created or restored; no other CREATE or RESTORE takes it meanwhile.
class NameClaim {
public:
    NameClaim(Leases::Guard& guard, std::u16string folded);
    ~NameClaim();
    NameClaim(const NameClaim&) = delete;
    NameClaim& operator=(const NameClaim&) = delete;

private:
    Leases& leases_;
    std::u16string folded_;
};

// Files a statement is making, held until their database is registered so that no other CREATE
// or RESTORE makes them meanwhile.
class FileClaims {
public:
    explicit FileClaims(Leases& leases) : leases_(leases) {}
    ~FileClaims();
    FileClaims(const FileClaims&) = delete;
    FileClaims& operator=(const FileClaims&) = delete;
    // False when another statement has claimed the file already.
    bool claim(Leases::Guard& guard, const std::filesystem::path& file,
               const std::u16string& database);

private:
    Leases& leases_;
    std::vector<std::filesystem::path> files_;
};

// A hold on a database (as a session's current one or under a backup): no DROP or RESTORE takes
// it from under the holder.
class DatabaseHold {
public:
    DatabaseHold(Leases::Guard& guard, int32_t dbid);
    ~DatabaseHold();
    DatabaseHold(const DatabaseHold&) = delete;
    DatabaseHold& operator=(const DatabaseHold&) = delete;

private:
    Leases& leases_;
    int32_t dbid_;
};

// A database a statement has to itself until it ends: no session may take it meanwhile.
class ExclusiveUse {
public:
    ExclusiveUse(Leases::Guard& guard, int32_t dbid);
    ~ExclusiveUse();
    ExclusiveUse(const ExclusiveUse&) = delete;
    ExclusiveUse& operator=(const ExclusiveUse&) = delete;
    // Once the database is unregistered its id may go to another one: nothing is given back.
    void forget() { forgotten_ = true; }

private:
    Leases& leases_;
    int32_t dbid_;
    bool forgotten_ = false;
};

// Files a statement is making or removing, noted in the registry for as long as the statement
// runs, so that a crash meanwhile leaves nothing the next start does not clean up.
class PendingFiles {
public:
    PendingFiles(Leases& leases, std::vector<std::filesystem::path> files);
    ~PendingFiles();
    PendingFiles(const PendingFiles&) = delete;
    PendingFiles& operator=(const PendingFiles&) = delete;

private:
    Leases& leases_;
    std::vector<std::filesystem::path> files_;
};

} // namespace standin::server
