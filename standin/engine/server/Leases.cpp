// The server level's leases: holds, exclusive use and the claims of statements in progress, all
// under one lock, with the registry they guard.
#include "Leases.h"

namespace fs = std::filesystem;

namespace standin::server {

bool Leases::Guard::inUse(int32_t dbid) const
{
    const auto it = leases_.leases_.find(dbid);
    return it != leases_.leases_.end() && (it->second.holders > 0 || it->second.busy);
}

bool Leases::Guard::busy(int32_t dbid) const
{
    const auto it = leases_.leases_.find(dbid);
    return it != leases_.leases_.end() && it->second.busy;
}

void Leases::Guard::hold(int32_t dbid)
{
    ++leases_.leases_[dbid].holders;
}

void Leases::Guard::release(int32_t dbid)
{
    const auto it = leases_.leases_.find(dbid);
    if (it != leases_.leases_.end() && it->second.holders > 0)
        --it->second.holders;
    leases_.released_.notify_all();
}

void Leases::Guard::setBusy(int32_t dbid, bool busy)
{
    if (busy) {
        leases_.leases_[dbid].busy = true;
        return;
    }
    const auto it = leases_.leases_.find(dbid);
    if (it != leases_.leases_.end())
        it->second.busy = false;
    leases_.released_.notify_all();
}

void Leases::Guard::removeDatabase(int32_t dbid)
{
    leases_.registry_.removeDatabase(dbid);
    leases_.leases_.erase(dbid);
}

const RegisteredDatabase* Leases::Guard::waitUntilFree(const std::u16string& name)
{
    const RegisteredDatabase* found = nullptr;
    leases_.released_.wait_for(lock_, kClosingSessionGrace, [&] {
        found = leases_.registry_.find(name);
        return !found || !inUse(found->entry.dbid);
    });
    return found;
}

bool Leases::Guard::nameReserved(const std::u16string& folded) const
{
    return leases_.reservedNames_.count(folded) != 0;
}

NameClaim::NameClaim(Leases::Guard& guard, std::u16string folded)
    : leases_(guard.leases_), folded_(std::move(folded))
{
    leases_.reservedNames_.insert(folded_);
}

NameClaim::~NameClaim()
{
    auto guard = leases_.lock();
    leases_.reservedNames_.erase(folded_);
}

bool FileClaims::claim(Leases::Guard& guard, const fs::path& file, const std::u16string& database)
{
    if (!guard.leases_.reservedFiles_.emplace(file, database).second)
        return false;
    files_.push_back(file);
    return true;
}

FileClaims::~FileClaims()
{
    if (files_.empty())
        return;
    auto guard = leases_.lock();
    for (const auto& file : files_)
        leases_.reservedFiles_.erase(file);
}

DatabaseHold::DatabaseHold(Leases::Guard& guard, int32_t dbid) : leases_(guard.leases_), dbid_(dbid)
{
    guard.hold(dbid_);
}

DatabaseHold::~DatabaseHold()
{
    leases_.lock().release(dbid_);
}

ExclusiveUse::ExclusiveUse(Leases::Guard& guard, int32_t dbid) : leases_(guard.leases_), dbid_(dbid)
{
    guard.setBusy(dbid_, true);
}

ExclusiveUse::~ExclusiveUse()
{
    if (!forgotten_)
        leases_.lock().setBusy(dbid_, false);
}

PendingFiles::PendingFiles(Leases& leases, std::vector<fs::path> files)
    : leases_(leases), files_(std::move(files))
{
    leases_.lock().registry().notePendingFiles(files_);
}

PendingFiles::~PendingFiles()
{
    try {
        leases_.lock().registry().forgetPendingFiles(files_);
    } catch (...) {
        // Still noted: the next start finds them registered or removes them.
    }
}

} // namespace standin::server
