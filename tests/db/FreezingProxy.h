#pragma once
// A loopback relay in front of a real server that can be frozen: from then on it swallows
// what either side sends, as a server that hangs after the login would (a cancel never
// arrives, nothing comes back).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace sqllumo::db::wire {

class FreezingProxy {
public:
    explicit FreezingProxy(int serverPort) : serverPort_(serverPort)
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::listen(listen_, 8);
        socklen_t length = sizeof(address);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~FreezingProxy()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }
    void freeze() { frozen_ = true; }

private:
    static sockaddr_in loopback(int port)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        return a;
    }
    void serve()
    {
        struct Pair {
            int client;
            int server;
        };
        std::vector<Pair> pairs;
        while (!stop_) {
            std::vector<pollfd> fds{{listen_, POLLIN, 0}};
            for (const auto& p : pairs) {
                fds.push_back({p.client, POLLIN, 0});
                fds.push_back({p.server, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), 100) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                const int c = ::accept(listen_, nullptr, nullptr);
                const int s = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in target = loopback(serverPort_);
                if (c >= 0 && s >= 0 &&
                    ::connect(s, reinterpret_cast<sockaddr*>(&target), sizeof(target)) == 0) {
                    pairs.push_back({c, s});
                } else {
                    ::close(c);
                    ::close(s);
                }
                continue; // the list of descriptors changed
            }
            std::vector<Pair> alive;
            for (size_t i = 0; i < pairs.size(); ++i) {
                bool closed = false;
                for (int side = 0; side < 2; ++side) {
                    if (!(fds[1 + 2 * i + side].revents & (POLLIN | POLLHUP | POLLERR)))
                        continue;
                    const int from = side == 0 ? pairs[i].client : pairs[i].server;
                    const int to = side == 0 ? pairs[i].server : pairs[i].client;
                    char buffer[16384];
                    const ssize_t got = ::recv(from, buffer, sizeof(buffer), 0);
                    if (got <= 0)
                        closed = true;
                    else if (!frozen_)
                        ::send(to, buffer, static_cast<size_t>(got), MSG_NOSIGNAL);
                }
                if (closed) {
                    ::close(pairs[i].client);
                    ::close(pairs[i].server);
                } else {
                    alive.push_back(pairs[i]);
                }
            }
            pairs = std::move(alive);
        }
        for (const auto& p : pairs) {
            ::close(p.client);
            ::close(p.server);
        }
    }

    int serverPort_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> frozen_{false};
    std::thread thread_;
};

} // namespace sqllumo::db::wire
