// The bare TDS client with TLS, for protocol tests: the handshake travels inside PRELOGIN
// packets, then packets go out and come back as TLS records on the socket. It keeps every byte
// it put on and took off the socket, so a test can look at what an eavesdropper would see.
#pragma once

#include "RawClient.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <string>

namespace standin::testing {

class TlsRawClient {
public:
    // With `caFile`, the server's certificate must chain to it and name `expectedHost` (an IP
    // address or a DNS name).
    explicit TlsRawClient(RawClient& raw, const std::string& caFile = {},
                          const std::string& expectedHost = {})
        : raw_(raw)
    {
        ctx_ = SSL_CTX_new(TLS_client_method());
        if (!caFile.empty()) {
            SSL_CTX_load_verify_locations(ctx_, caFile.c_str(), nullptr);
            SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
        }
        ssl_ = SSL_new(ctx_);
        in_ = BIO_new(BIO_s_mem());
        out_ = BIO_new(BIO_s_mem());
        BIO_set_mem_eof_return(in_, -1);
        SSL_set_bio(ssl_, in_, out_);
        SSL_set_connect_state(ssl_);
        if (!expectedHost.empty()) {
            X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
            if (X509_VERIFY_PARAM_set1_ip_asc(param, expectedHost.c_str()) != 1)
                X509_VERIFY_PARAM_set1_host(param, expectedHost.c_str(), 0);
        }
    }
    ~TlsRawClient()
    {
        SSL_free(ssl_);
        SSL_CTX_free(ctx_);
    }
    TlsRawClient(const TlsRawClient&) = delete;
    TlsRawClient& operator=(const TlsRawClient&) = delete;

    // Runs the handshake inside PRELOGIN packets; false with error() set when it fails.
    // Every packet of the server's answers must be of the PRELOGIN type.
    bool handshake()
    {
        for (;;) {
            const int r = SSL_do_handshake(ssl_);
            const int code = r == 1 ? 0 : SSL_get_error(ssl_, r);
            std::vector<uint8_t> flight = drain();
            if (!flight.empty() && !raw_.sendMessage(tds::PacketType::Prelogin, flight))
                return failed("the server closed the connection during the handshake");
            if (r == 1)
                return true;
            if (code != SSL_ERROR_WANT_READ)
                return failed("handshake failed");
            auto answer = raw_.readMessage();
            if (!answer)
                return failed("no answer to a handshake flight");
            if (answer->type != uint8_t(tds::PacketType::Prelogin))
                return failed("handshake answer in a packet of type " +
                              std::to_string(answer->type));
            BIO_write(in_, answer->payload.data(), int(answer->payload.size()));
        }
    }
    const std::string& error() const { return error_; }
    std::string cipher() const { return SSL_get_cipher_name(ssl_); }
    std::string protocol() const { return SSL_get_version(ssl_); }

    // Each packet of the message as one TLS record.
    bool sendMessage(tds::PacketType type, std::span<const uint8_t> payload,
                     size_t packetSize = 4096)
    {
        const std::vector<uint8_t> framed = tds::frameMessage(type, payload, packetSize);
        for (size_t at = 0; at < framed.size();) {
            const size_t length = (framed[at + 2] << 8) | framed[at + 3];
            if (SSL_write(ssl_, framed.data() + at, int(length)) <= 0)
                return failed("cannot encrypt");
            at += length;
            const std::vector<uint8_t> wire = drain();
            sent_.insert(sent_.end(), wire.begin(), wire.end());
            if (!raw_.sendBytes(wire))
                return false;
        }
        return true;
    }

    // One whole response message, decrypted; nothing when the server closed or stayed silent.
    std::optional<RawClient::Response>
    readMessage(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        RawClient::Response r;
        for (;;) {
            if (!fill(8, timeout))
                return std::nullopt;
            const auto h = tds::parseHeader(std::span(plain_).first(8));
            if (!fill(h.length, timeout))
                return std::nullopt;
            r.payload.insert(r.payload.end(), plain_.begin() + 8, plain_.begin() + h.length);
            if (!r.packets)
                r.type = h.type;
            ++r.packets;
            plain_.erase(plain_.begin(), plain_.begin() + h.length);
            if (h.status & tds::status::EndOfMessage)
                return r;
        }
    }

    // Every byte that went over the socket through this object.
    const std::vector<uint8_t>& wireSent() const { return sent_; }
    const std::vector<uint8_t>& wireReceived() const { return received_; }

private:
    std::vector<uint8_t> drain()
    {
        std::vector<uint8_t> bytes(BIO_ctrl_pending(out_));
        if (!bytes.empty())
            BIO_read(out_, bytes.data(), int(bytes.size()));
        return bytes;
    }

    bool fill(size_t n, std::chrono::milliseconds timeout)
    {
        while (plain_.size() < n) {
            uint8_t buf[16384];
            const int k = SSL_read(ssl_, buf, sizeof buf);
            if (k > 0) {
                plain_.insert(plain_.end(), buf, buf + k);
                continue;
            }
            if (SSL_get_error(ssl_, k) != SSL_ERROR_WANT_READ)
                return failed("cannot decrypt");
            pollfd p{raw_.fd(), POLLIN, 0};
            if (::poll(&p, 1, int(timeout.count())) <= 0)
                return false;
            const ssize_t got = ::recv(raw_.fd(), buf, sizeof buf, 0);
            if (got <= 0)
                return false;
            received_.insert(received_.end(), buf, buf + got);
            BIO_write(in_, buf, int(got));
        }
        return true;
    }

    bool failed(const std::string& what)
    {
        error_ = what;
        char buf[256];
        while (const unsigned long code = ERR_get_error()) {
            ERR_error_string_n(code, buf, sizeof buf);
            error_ += std::string(": ") + buf;
        }
        return false;
    }

    RawClient& raw_;
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    BIO* in_ = nullptr;
    BIO* out_ = nullptr;
    std::vector<uint8_t> plain_;
    std::vector<uint8_t> sent_;
    std::vector<uint8_t> received_;
    std::string error_;
};

} // namespace standin::testing
