#pragma once
// A loopback listener that speaks just enough TDS to make FreeTDS send its login packet,
// then decodes the user, password and database it carries. It shows what really reached
// the wire through unixODBC and the driver, whatever the connection string looked like.
// In silent mode it accepts and never answers, like a server that hangs.

#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace sqllumo::db::wire {

struct CapturedLogin {
    QString user;
    QString password;
    QString database;
};

class FakeTdsListener {
public:
    explicit FakeTdsListener(bool silent = false) : silent_(silent)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::listen(fd_, 8);
        socklen_t length = sizeof(address);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeTdsListener()
    {
        stop_ = true;
        thread_.join();
        for (int c : open_)
            ::close(c);
        ::close(fd_);
    }
    int port() const { return port_; }
    std::optional<CapturedLogin> lastLogin()
    {
        std::lock_guard lock(mutex_);
        return last_;
    }

private:
    static std::vector<unsigned char> readPacket(int c)
    {
        std::vector<unsigned char> packet(8);
        if (!readAll(c, packet.data(), 8))
            return {};
        const size_t length = (packet[2] << 8) | packet[3];
        if (length < 8)
            return {};
        packet.resize(length);
        if (!readAll(c, packet.data() + 8, length - 8))
            return {};
        return packet;
    }
    static bool readAll(int c, unsigned char* into, size_t n)
    {
        while (n > 0) {
            pollfd p{c, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0)
                return false;
            const ssize_t got = ::recv(c, into, n, 0);
            if (got <= 0)
                return false;
            into += got;
            n -= static_cast<size_t>(got);
        }
        return true;
    }
    static QString field(const std::vector<unsigned char>& p, size_t at, bool password)
    {
        // LOGIN7 offsets are from the start of the login record, after the 8-byte header.
        const size_t base = 8;
        const size_t offset = p[base + at] | (p[base + at + 1] << 8);
        const size_t chars = p[base + at + 2] | (p[base + at + 3] << 8);
        QString text;
        for (size_t i = 0; i < chars && base + offset + 2 * i + 1 < p.size(); ++i) {
            unsigned char lo = p[base + offset + 2 * i], hi = p[base + offset + 2 * i + 1];
            if (password) {
                auto clear = [](unsigned char b) {
                    b ^= 0xA5;
                    return static_cast<unsigned char>((b >> 4) | (b << 4));
                };
                lo = clear(lo);
                hi = clear(hi);
            }
            text += QChar(static_cast<char16_t>(lo | (hi << 8)));
        }
        return text;
    }
    void serve()
    {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0)
                continue;
            if (silent_) {
                open_.push_back(c);
                continue;
            }
            for (;;) {
                const auto packet = readPacket(c);
                if (packet.empty())
                    break;
                if (packet[0] == 0x12) {
                    // Pre-login answer: version 15.0, no encryption.
                    const unsigned char body[] = {0x00, 0x00, 11, 0x00, 6,    0x01, 0x00, 17, 0x00,
                                                  1,    0xFF, 15, 0,    0x07, 0xD0, 0,    0,  2};
                    unsigned char header[8] = {
                        0x04, 0x01, 0, static_cast<unsigned char>(8 + sizeof(body)), 0, 0, 1, 0};
                    ::send(c, header, 8, MSG_NOSIGNAL);
                    ::send(c, body, sizeof(body), MSG_NOSIGNAL);
                } else if (packet[0] == 0x10) {
                    std::lock_guard lock(mutex_);
                    last_ = CapturedLogin{field(packet, 40, false), field(packet, 44, true),
                                          field(packet, 68, false)};
                    break;
                } else {
                    break;
                }
            }
            ::close(c);
        }
    }

    bool silent_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<int> open_;
    std::mutex mutex_;
    std::optional<CapturedLogin> last_;
};

} // namespace sqllumo::db::wire
