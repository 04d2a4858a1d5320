// The relay: one thread accepts; each connection gets, per direction, a reader that stamps the
// chunks it reads and a writer that sends each one when its delay has passed.
#include "DelayRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace sqllumo::bench {

namespace {

using Clock = std::chrono::steady_clock;

struct Chunk {
    Clock::time_point due;
    std::string bytes; // empty: the reader's side has closed
};

// One direction of one connection.
class Pipe {
public:
    Pipe(int from, int to, std::chrono::microseconds delay) : from_(from), to_(to), delay_(delay)
    {
        reader_ = std::thread([this] { read(); });
        writer_ = std::thread([this] { write(); });
    }
    ~Pipe()
    {
        reader_.join();
        writer_.join();
    }

private:
    void push(Chunk chunk)
    {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(chunk));
        }
        ready_.notify_one();
    }
    void read()
    {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(from_, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            push({Clock::now() + delay_, std::string(buffer, static_cast<size_t>(n))});
        }
        push({Clock::now() + delay_, std::string()});
    }
    void write()
    {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [this] { return !queue_.empty(); });
                chunk = std::move(queue_.front());
                queue_.pop_front();
            }
            std::this_thread::sleep_until(chunk.due);
            if (chunk.bytes.empty()) {
                ::shutdown(to_, SHUT_WR);
                return;
            }
            size_t sent = 0;
            while (sent < chunk.bytes.size()) {
                const ssize_t n =
                    ::send(to_, chunk.bytes.data() + sent, chunk.bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    // The other side is gone: stop reading this one too.
                    ::shutdown(from_, SHUT_RD);
                    return drain();
                }
                sent += static_cast<size_t>(n);
            }
        }
    }
    // Waits for the reader's last chunk, so the reader never pushes to a finished writer.
    void drain()
    {
        for (;;) {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [this] { return !queue_.empty(); });
            const bool last = queue_.front().bytes.empty();
            queue_.pop_front();
            if (last)
                return;
        }
    }

    int from_;
    int to_;
    std::chrono::microseconds delay_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Chunk> queue_;
    std::thread reader_;
    std::thread writer_;
};

struct Connection {
    int client = -1;
    int server = -1;
    std::unique_ptr<Pipe> up;
    std::unique_ptr<Pipe> down;
    ~Connection()
    {
        up.reset();
        down.reset();
        ::close(client);
        ::close(server);
    }
};

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

struct DelayRelay::State {
    std::uint16_t target = 0;
    std::chrono::microseconds delay{0};
    int listener = -1;
    std::uint16_t port = 0;
    std::atomic<bool> stopping{false};
    std::mutex mutex;
    std::vector<std::unique_ptr<Connection>> connections;
    std::thread acceptor;

    void accept()
    {
        while (!stopping) {
            pollfd waiting{listener, POLLIN, 0};
            if (::poll(&waiting, 1, 50) <= 0)
                continue;
            const int client = ::accept(listener, nullptr, nullptr);
            if (client < 0)
                continue;
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in address = loopback(target);
            if (server < 0 ||
                ::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address)) {
                ::close(client);
                if (server >= 0)
                    ::close(server);
                continue;
            }
            // The delay is the relay's; the sockets themselves send at once.
            const int on = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            auto connection = std::make_unique<Connection>();
            connection->client = client;
            connection->server = server;
            connection->up = std::make_unique<Pipe>(client, server, delay);
            connection->down = std::make_unique<Pipe>(server, client, delay);
            std::lock_guard lock(mutex);
            connections.push_back(std::move(connection));
        }
    }
};

DelayRelay::DelayRelay(std::uint16_t targetPort, std::chrono::microseconds delay)
    : state_(std::make_unique<State>())
{
    state_->target = targetPort;
    state_->delay = delay;
    state_->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (state_->listener < 0 ||
        ::bind(state_->listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) ||
        ::listen(state_->listener, 16) ||
        ::getsockname(state_->listener, reinterpret_cast<sockaddr*>(&address), &length)) {
        if (state_->listener >= 0)
            ::close(state_->listener);
        throw std::runtime_error("the relay cannot listen on 127.0.0.1");
    }
    state_->port = ntohs(address.sin_port);
    state_->acceptor = std::thread([state = state_.get()] { state->accept(); });
}

DelayRelay::~DelayRelay()
{
    state_->stopping = true;
    state_->acceptor.join();
    ::close(state_->listener);
    std::lock_guard lock(state_->mutex);
    // Both ends shut, so every reader sees the end and every writer its last chunk.
    for (const auto& connection : state_->connections) {
        ::shutdown(connection->client, SHUT_RDWR);
        ::shutdown(connection->server, SHUT_RDWR);
    }
    state_->connections.clear();
}

std::uint16_t DelayRelay::port() const
{
    return state_->port;
}

} // namespace sqllumo::bench
