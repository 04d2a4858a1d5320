// The TDS listener: accepts connections on one address and serves each on a thread of its own,
// in front of the engine. A misbehaving client loses its connection and nothing else.
#pragma once

#include "engine/Engine.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

namespace standin::tds {

class Connection;
class TlsContext;

struct ServerOptions {
    std::string listenAddress = "127.0.0.1";
    uint16_t port = 14330; // 0 picks a free port
    size_t maxMessageSize = 64u * 1024 * 1024;
    // Before its login a connection costs the server threads and a slot while it proves
    // nothing: it gets little time, and only so many may wait at once (the oldest gives way,
    // one that has sent nothing before one that has begun its login).
    int loginTimeoutSeconds = 10;
    size_t maxWaitingLogins = 32;
    size_t maxConnections = 256;
    // Without a context the server answers that it cannot encrypt. With one it encrypts for
    // clients that want it, or, forced, refuses clients that cannot.
    std::shared_ptr<TlsContext> tls;
    bool forceEncryption = false;
};

class Server {
public:
    Server(Engine& engine, ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; throws std::runtime_error with the reason when it cannot.
    void listen();
    const std::string& address() const { return options_.listenAddress; }
    uint16_t port() const { return port_; }

    // Accepts until requestStop(); then lets every running batch finish and closes every
    // connection before returning.
    void run();
    // Safe from a signal handler and from any thread.
    void requestStop();

private:
    void reap(bool all);
    // Makes room for one more connection; false when every slot is held by a logged-in client.
    bool makeRoom(const std::string& newcomer);

    Engine& engine_;
    ServerOptions options_;
    int listenFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    uint32_t nextId_ = 51;
    std::list<std::shared_ptr<Connection>> connections_;
};

} // namespace standin::tds
