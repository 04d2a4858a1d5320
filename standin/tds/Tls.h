// TLS for the TDS front end over OpenSSL: the server's certificate and key (given, or made once
// in the data folder), and one connection's TLS state fed and drained through memory buffers,
// so that handshake records can travel inside PRELOGIN packets and later ones raw on the socket.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace standin::tds {

class TlsChannel;

// The server side's certificate, key and settings; shared by every connection.
class TlsContext {
public:
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // Loads a PEM certificate (chain) and its private key; throws std::runtime_error naming the
    // file and the reason when either cannot be read or they do not belong together.
    static std::unique_ptr<TlsContext> fromFiles(const std::filesystem::path& certificate,
                                                 const std::filesystem::path& key);
    // Uses <folder>/server.crt and server.key, first making a self-signed certificate for this
    // host and loopback there (folder 0700, key 0600) when neither exists yet.
    static std::unique_ptr<TlsContext> selfSigned(const std::filesystem::path& folder);

    std::unique_ptr<TlsChannel> newChannel();

    static constexpr const char* CertificateFile = "server.crt";
    static constexpr const char* KeyFile = "server.key";

private:
    explicit TlsContext(void* ctx) : ctx_(ctx) {}
    void* ctx_; // SSL_CTX
};

// One connection's TLS session, server side. Ciphertext goes in with feed() and comes out with
// drain(); safe for one thread decrypting while another encrypts.
class TlsChannel {
public:
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    enum class Step { Done, NeedMore, Failed };
    // Hands the client's handshake bytes over and goes as far as they allow; what the server has
    // to answer is then waiting in drain().
    Step handshake(std::span<const uint8_t> received);
    // Decrypts one or more whole records, appending the plaintext. False when the session
    // failed or the client closed it; error() says which.
    bool decrypt(std::span<const uint8_t> records, std::vector<uint8_t>& plain);
    // Encrypts `plain` as one record (it must fit one: at most 16 KiB) and appends everything
    // due on the wire, in order.
    bool encrypt(std::span<const uint8_t> plain, std::vector<uint8_t>& wire);
    // Takes what the session has to send (handshake flights, alerts).
    void drain(std::vector<uint8_t>& wire);
    const std::string& error() const { return error_; }

private:
    friend class TlsContext;
    TlsChannel(void* ssl, void* in, void* out) : ssl_(ssl), in_(in), out_(out) {}
    void drainLocked(std::vector<uint8_t>& wire);
    void fail(const char* what, int code);

    std::mutex mutex_;
    void* ssl_; // SSL, owning both BIOs
    void* in_;  // BIO the session reads from
    void* out_; // BIO the session writes to
    std::string error_;
};

// The length a TLS record's 5-byte header announces, or -1 when the bytes are no TLS record
// (a content type other than a cipher change, an alert, a handshake or data, or not TLS 1.x).
int tlsRecordLength(std::span<const uint8_t> header);
constexpr size_t TlsRecordHeaderSize = 5;
constexpr size_t MaxTlsRecordSize = 16384 + 2048;

} // namespace standin::tds
