// The engine's top level: logins and sessions, the open databases, and running a batch
// statement by statement with SQL Server's error reach.
#include "EngineImpl.h"

#include "Text.h"

#include <sqlite3.h>

namespace standin {

using text::widen;

std::unique_ptr<Engine> Engine::open(const Options& options)
{
    return std::make_unique<EngineImpl>(options);
}

EngineImpl::EngineImpl(const Options& options) : options_(options)
{
    // SQLite is used from many threads, each connection by one session at a time.
    sqlite3_initialize();
    catalog_ = server::ServerCatalog::open(options);
    catalog_->setFileReleaser([this](const std::filesystem::path& file) { releaseFile(file); });
}

EngineImpl::~EngineImpl()
{
    if (catalog_)
        catalog_->setFileReleaser({});
    {
        std::lock_guard lock(disposeMutex_);
        disposeStop_ = true;
    }
    disposeWake_.notify_all();
    if (disposer_.joinable())
        disposer_.join();
}

void EngineImpl::dispose(std::shared_ptr<void> garbage)
{
    {
        std::lock_guard lock(disposeMutex_);
        garbage_.push_back(std::move(garbage));
        if (!disposer_.joinable())
            disposer_ = std::thread([this] { disposeLoop(); });
    }
    disposeWake_.notify_all();
}

void EngineImpl::disposeLoop()
{
    std::unique_lock lock(disposeMutex_);
    for (;;) {
        disposeWake_.wait(lock, [&] { return disposeStop_ || !garbage_.empty(); });
        if (garbage_.empty())
            return;
        std::shared_ptr<void> next = std::move(garbage_.front());
        garbage_.pop_front();
        lock.unlock();
        next.reset();
        lock.lock();
    }
}

std::u16string EngineImpl::version() const
{
    return u"Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tStand-in server on SQLite " +
           widen(sqlite3_libversion()) + u"\n";
}

LoginResult EngineImpl::login(const std::u16string& user, const std::u16string& password,
                              const std::u16string& database, const ConnectionInfo& connection)
{
    LoginResult result;
    if (auto error = catalog_->authenticate(user, password)) {
        result.error = *error;
        return result;
    }
    auto session = std::make_unique<SessionImpl>(*this, user, nextSpid_.fetch_add(1));
    std::u16string name = database.empty() ? std::u16string(u"master") : database;
    if (auto error = session->useDatabase(name)) {
        // The named database cannot be opened: 4060, then the login fails (18456).
        Message m = makeMessage(err::kLoginDatabase, {name});
        result.error = m;
        return result;
    }
    {
        std::lock_guard lock(connectionsMutex_);
        const int32_t spid = session->spid();
        connections_[spid] = Connection{spid, connection, now()};
    }
    result.session = std::move(session);
    return result;
}

std::vector<EngineImpl::Connection> EngineImpl::connections()
{
    std::lock_guard lock(connectionsMutex_);
    std::vector<Connection> all;
    for (const auto& [spid, c] : connections_)
        all.push_back(c);
    return all;
}

void EngineImpl::forgetConnection(int32_t spid)
{
    std::lock_guard lock(connectionsMutex_);
    connections_.erase(spid);
}

std::shared_ptr<store::Database> EngineImpl::database(const server::DatabaseEntry& entry)
{
    std::lock_guard lock(mutex_);
    auto it = databases_.find(entry.dataFile);
    if (it != databases_.end())
        return it->second;
    auto db = store::Database::open(entry.dataFile);
    databases_.emplace(entry.dataFile, db);
    return db;
}

void EngineImpl::releaseFile(const std::filesystem::path& file)
{
    std::shared_ptr<store::Database> held;
    {
        std::lock_guard lock(mutex_);
        auto it = databases_.find(file);
        if (it == databases_.end())
            return;
        held = std::move(it->second);
        databases_.erase(it);
    }
    // The last holder closes the SQLite handle; no session uses the database by now.
    held.reset();
}

} // namespace standin
