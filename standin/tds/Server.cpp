// Listening socket, accept loop and orderly stop.
#include "Server.h"

#include "Connection.h"
#include "Log.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace standin::tds {

Server::Server(Engine& engine, ServerOptions options)
    : engine_(engine), options_(std::move(options))
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
}

Server::~Server()
{
    requestStop();
    reap(true);
    if (listenFd_ >= 0)
        ::close(listenFd_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

void Server::listen()
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(options_.port);
    if (::inet_pton(AF_INET, options_.listenAddress.c_str(), &addr.sin_addr) != 1)
        throw std::runtime_error("not an IPv4 address: " + options_.listenAddress);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        throw std::runtime_error(std::string("cannot create a socket: ") + std::strerror(errno));
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error("cannot listen on " + options_.listenAddress + ":" +
                                 std::to_string(options_.port) + ": " + std::strerror(errno));
    if (::listen(listenFd_, 64) != 0)
        throw std::runtime_error(std::string("cannot listen: ") + std::strerror(errno));
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
}

void Server::requestStop()
{
    stopping_ = true;
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(wakeWrite_, &byte, 1);
}

void Server::reap(bool all)
{
    if (all) {
        // Running batches get a grace period to finish; clients that stop reading do not hold
        // the server up beyond it.
        for (auto& c : connections_)
            c->requestStop();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (auto& c : connections_) {
            while (!c->finished() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!c->finished())
                c->forceClose();
        }
    }
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (all || (*it)->finished()) {
            (*it)->join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

bool Server::makeRoom(const std::string& newcomer)
{
    size_t open = 0;
    std::vector<Connection*> waiting; // oldest first, as accepted
    for (const auto& c : connections_) {
        if (c->closing())
            continue;
        ++open;
        if (!c->loggedIn())
            waiting.push_back(c.get());
    }
    const bool full = open >= options_.maxConnections;
    if (!full && waiting.size() < options_.maxWaitingLogins)
        return true;
    if (waiting.empty())
        return false;
    // One that has sent nothing yet goes first: a client in the middle of its login is spared.
    Connection* victim = waiting.front();
    for (Connection* c : waiting)
        if (c->silent()) {
            victim = c;
            break;
        }
    logLine("closed " + victim->peer() + " before its login to make room for " + newcomer + ": " +
            std::to_string(waiting.size()) + " connections waiting to log in");
    victim->forceClose();
    return true;
}

void Server::run()
{
    if (listenFd_ < 0)
        throw std::runtime_error("the server is not listening");
    while (!stopping_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        const int r = ::poll(fds, 2, 1000);
        reap(false);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));
        }
        if (fds[1].revents || stopping_)
            break;
        if (!(fds[0].revents & POLLIN))
            continue;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        char text[INET_ADDRSTRLEN] = "?";
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        const std::string name = std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
        if (!makeRoom(name)) {
            logLine("refused " + name + ": " + std::to_string(options_.maxConnections) +
                    " connections already open");
            ::close(fd);
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto connection = std::make_shared<Connection>(engine_, fd, nextId_++, name, options_);
        connections_.push_back(connection);
        connection->start();
    }
    ::close(listenFd_);
    listenFd_ = -1;
    reap(true);
}

} // namespace standin::tds
