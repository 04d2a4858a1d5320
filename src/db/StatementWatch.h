#pragma once
// Keeps a statement close to its command time-out when the server stops answering. The driver
// cancels at the time-out and would then wait as long again for the server to acknowledge;
// past a short grace the watch shuts the connection's socket down, so the call returns.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace sqllumo::db::detail {

// This process's sockets: inode -> descriptor.
std::map<ino_t, int> OpenSockets();

class StatementWatch {
public:
    StatementWatch() = default;
    ~StatementWatch();
    StatementWatch(const StatementWatch&) = delete;
    StatementWatch& operator=(const StatementWatch&) = delete;

    // Takes as the connection's socket the one TCP socket to `port` (any port when 0) that is
    // not in `before`; with none or several (another thread connecting to the same server
    // meanwhile) the watch stays without one.
    void adoptNewSocket(const std::map<ino_t, int>& before, int port);
    void forgetSocket();

    // A call that waits for the server starts: it may take `timeoutSeconds` (0: for ever)
    // and the grace.
    void callStarts(int timeoutSeconds);
    void statementEnds();
    // The socket was shut down because the server left a cancelled statement unanswered.
    bool dropped() const;

    static std::chrono::milliseconds Grace(int timeoutSeconds);

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    bool stop_ = false;
    bool armed_ = false;
    bool dropped_ = false;
    uint64_t generation_ = 0; // times the watch was woken for an earlier deadline
    std::chrono::steady_clock::time_point dropAt_;
    // When the watch looks again by itself (max: only when woken).
    std::chrono::steady_clock::time_point wakeAt_ = std::chrono::steady_clock::time_point::max();
    int fd_ = -1;
    ino_t inode_ = 0;
};

} // namespace sqllumo::db::detail
