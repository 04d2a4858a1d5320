// The connection's socket is found by comparing the process's sockets before and after the
// login, and shut down (never closed: the descriptor stays the driver's) when a call outlives
// its time-out and the grace.
#include "StatementWatch.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace sqllumo::db::detail {

std::map<ino_t, int> OpenSockets()
{
    std::map<ino_t, int> sockets;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return sockets;
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end)
            continue;
        struct stat st {};
        if (::fstat(int(fd), &st) == 0 && S_ISSOCK(st.st_mode))
            sockets[st.st_ino] = int(fd);
    }
    ::closedir(dir);
    return sockets;
}

namespace {
bool connectedTo(int fd, int port)
{
    int type = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM)
        return false;
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0)
        return false;
    if (peer.ss_family == AF_INET)
        return port == 0 || ntohs(reinterpret_cast<const sockaddr_in&>(peer).sin_port) == port;
    if (peer.ss_family == AF_INET6)
        return port == 0 || ntohs(reinterpret_cast<const sockaddr_in6&>(peer).sin6_port) == port;
    return false;
}
} // namespace

StatementWatch::~StatementWatch()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void StatementWatch::adoptNewSocket(const std::map<ino_t, int>& before, int port)
{
    int found = -1;
    ino_t inode = 0;
    int candidates = 0;
    for (const auto& [ino, fd] : OpenSockets()) {
        if (before.count(ino) || !connectedTo(fd, port))
            continue;
        ++candidates;
        found = fd;
        inode = ino;
    }
    std::lock_guard lock(mutex_);
    fd_ = candidates == 1 ? found : -1;
    inode_ = candidates == 1 ? inode : 0;
    dropped_ = false;
}

void StatementWatch::forgetSocket()
{
    std::lock_guard lock(mutex_);
    fd_ = -1;
    inode_ = 0;
    armed_ = false;
}

std::chrono::milliseconds StatementWatch::Grace(int timeoutSeconds)
{
    // A quarter of the time-out, between one and five seconds: a server that is merely busy
    // acknowledges a cancel within that.
    return std::chrono::milliseconds(std::clamp(timeoutSeconds * 250, 1000, 5000));
}

void StatementWatch::callStarts(int timeoutSeconds)
{
    if (timeoutSeconds <= 0)
        return;
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        return;
    dropAt_ = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds) +
              Grace(timeoutSeconds);
    armed_ = true;
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { run(); });
    } else if (dropAt_ < wakeAt_) {
        // Only a deadline before the one the watch sleeps until needs it awake: waking it for
        // every statement would cost two thread switches each, which one-row statements feel.
        ++generation_;
        wake_.notify_all();
    }
}

void StatementWatch::statementEnds()
{
    std::lock_guard lock(mutex_);
    armed_ = false;
}

bool StatementWatch::dropped() const
{
    std::lock_guard lock(mutex_);
    return dropped_;
}

void StatementWatch::run()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        const auto now = std::chrono::steady_clock::now();
        if (armed_ && now >= dropAt_) {
            struct stat st {};
            // Still the driver's socket, not a descriptor number reused since.
            if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && st.st_ino == inode_) {
                ::shutdown(fd_, SHUT_RDWR);
                dropped_ = true;
            }
            armed_ = false;
            continue;
        }
        // Each call moves the deadline on; the watch looks again when the one it knew passes.
        // Idle, it keeps the last deadline, so statements that follow each other closely do
        // not have to wake it.
        wakeAt_ = armed_ || dropAt_ > now ? dropAt_ : std::chrono::steady_clock::time_point::max();
        const uint64_t generation = generation_;
        const auto woken = [&] { return stop_ || generation_ != generation; };
        if (wakeAt_ == std::chrono::steady_clock::time_point::max())
            wake_.wait(lock, woken);
        else
            wake_.wait_until(lock, wakeAt_, woken);
    }
}

} // namespace sqllumo::db::detail
