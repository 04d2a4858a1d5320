// A bare TDS client over a socket for protocol tests: it sends exactly the bytes a test wants
// (well formed or hostile) and reads whole response messages back.
#pragma once

#include "ByteIO.h"
#include "Login7.h"
#include "Packet.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace standin::testing {

class RawClient {
public:
    explicit RawClient(uint16_t port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("cannot connect");
    }
    ~RawClient() { ::close(fd_); }
    int fd() const { return fd_; }

    // False when the server has already closed the connection.
    bool sendBytes(std::span<const uint8_t> bytes)
    {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t k = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (k <= 0)
                return false;
            sent += size_t(k);
        }
        return true;
    }
    bool sendMessage(tds::PacketType type, std::span<const uint8_t> payload,
                     size_t packetSize = 4096)
    {
        return sendBytes(tds::frameMessage(type, payload, packetSize));
    }

    struct Response {
        std::vector<uint8_t> payload;
        size_t packets = 0;
        size_t largestPacket = 0;
        uint8_t type = 0; // of the first packet
    };
    // One whole response message, or nothing when the server closed or stayed silent. Reading
    // may go on from a message whose first packets `r` already holds.
    std::optional<Response>
    readMessage(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        return readMessage(timeout, Response());
    }
    std::optional<Response> readMessage(std::chrono::milliseconds timeout, Response r)
    {
        for (;;) {
            bool last = false;
            if (!readPacket(r, last, timeout))
                return std::nullopt;
            if (last)
                return r;
        }
    }
    // One packet added to `r`; `last` tells whether it ended the message.
    bool readPacket(Response& r, bool& last,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        uint8_t header[8];
        if (!readFully(header, 8, timeout))
            return false;
        const auto h = tds::parseHeader(header);
        std::vector<uint8_t> body(h.length - 8);
        if (!readFully(body.data(), body.size(), timeout))
            return false;
        r.payload.insert(r.payload.end(), body.begin(), body.end());
        if (!r.packets)
            r.type = h.type;
        ++r.packets;
        r.largestPacket = std::max<size_t>(r.largestPacket, h.length);
        last = h.status & tds::status::EndOfMessage;
        return true;
    }
    // True when not one byte arrives within `quiet`.
    bool silentFor(std::chrono::milliseconds quiet)
    {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, int(quiet.count())) == 0;
    }
    // True once the server closed its side (reads end), within the timeout.
    bool closedByServer(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        uint8_t buf[4096];
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                const ssize_t k = ::recv(fd_, buf, sizeof buf, 0);
                if (k <= 0)
                    return true;
            }
        }
        return false;
    }

    // PRELOGIN then LOGIN7 in clear, saying it cannot encrypt; returns the login response.
    std::optional<Response> login(std::u16string_view user, std::u16string_view password,
                                  std::u16string_view database = {}, uint32_t packetSize = 4096,
                                  uint32_t version = tds::version::V7_4)
    {
        sendMessage(tds::PacketType::Prelogin, prelogin(2));
        if (!readMessage())
            return std::nullopt;
        sendMessage(tds::PacketType::Login7, login7(user, password, database, packetSize, version));
        return readMessage();
    }

    static std::vector<uint8_t> prelogin(uint8_t encryption)
    {
        return {0x00, 0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00,
                0x01, 0xFF, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, encryption};
    }

    static std::vector<uint8_t> login7(std::u16string_view user, std::u16string_view password,
                                       std::u16string_view database, uint32_t packetSize,
                                       uint32_t version)
    {
        const std::u16string_view fields[] = {u"host", user,   password, u"raw",  u"server",
                                              u"",     u"lib", u"",      database};
        tds::ByteWriter w;
        constexpr size_t fixed = 94;
        w.u32(0);
        w.u32(version);
        w.u32(packetSize);
        w.u32(0);
        w.u32(1234);
        w.u32(0);
        w.u8(0xE0);
        w.u8(0x03);
        w.u8(0);
        w.u8(0);
        w.u32(0);
        w.u32(0x409);
        std::vector<uint8_t> data;
        size_t offset = fixed;
        for (size_t i = 0; i < std::size(fields); ++i) {
            if (i == 5) { // extension slot
                w.u16(0);
                w.u16(0);
                continue;
            }
            w.u16(uint16_t(offset));
            w.u16(uint16_t(fields[i].size()));
            std::vector<uint8_t> bytes;
            if (i == 2) {
                bytes = tds::obfuscatePassword(fields[i]);
            } else {
                tds::ByteWriter t;
                t.utf16(fields[i]);
                bytes = t.buffer();
            }
            data.insert(data.end(), bytes.begin(), bytes.end());
            offset += bytes.size();
        }
        for (int i = 0; i < 6; ++i)
            w.u8(0); // client id
        for (int i = 0; i < 3; ++i) {
            w.u16(uint16_t(offset)); // SSPI, attach file, change password: empty
            w.u16(0);
        }
        w.u32(0);
        w.bytes(data);
        w.patchU32(0, uint32_t(w.size()));
        return w.buffer();
    }

    static std::vector<uint8_t> sqlBatch(std::u16string_view text)
    {
        tds::ByteWriter w;
        w.u32(22);
        w.u32(18);
        w.u16(2);
        w.u64(0);
        w.u32(1);
        w.utf16(text);
        return w.buffer();
    }

private:
    bool readFully(uint8_t* data, size_t n, std::chrono::milliseconds timeout)
    {
        size_t got = 0;
        while (got < n) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, int(timeout.count())) <= 0)
                return false;
            const ssize_t k = ::recv(fd_, data + got, n - got, 0);
            if (k <= 0)
                return false;
            got += size_t(k);
        }
        return true;
    }

    int fd_ = -1;
};

} // namespace standin::testing
