// OpenSSL behind the TLS context and channels: certificate loading and making, memory-buffer
// sessions.
#include "Tls.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace standin::tds {

namespace {

namespace fs = std::filesystem;

// Everything OpenSSL queued on this thread, as one line.
std::string openSslErrors()
{
    std::string text;
    while (const unsigned long code = ERR_get_error()) {
        char buf[256];
        ERR_error_string_n(code, buf, sizeof buf);
        text += (text.empty() ? "" : "; ") + std::string(buf);
    }
    return text.empty() ? std::string("no further detail") : text;
}

[[noreturn]] void refuse(const std::string& what)
{
    throw std::runtime_error(what + ": " + openSslErrors());
}

void requireReadable(const fs::path& file, const char* kind)
{
    std::ifstream in(file);
    if (!in)
        throw std::runtime_error("cannot read the TLS " + std::string(kind) + " " + file.string() +
                                 ": " + std::strerror(errno));
}

SSL_CTX* newServerContext()
{
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx)
        refuse("cannot set up TLS");
    // TLS 1.2 as SQL Server speaks it inside TDS 7.x: with 1.3 a client's last handshake flight
    // would have no PRELOGIN answer to travel with. No tickets, no renegotiation: nothing may
    // arrive from the library once the handshake is over but the records the front end asks for.
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(ctx, SSL_OP_NO_TICKET | SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    return ctx;
}

struct Key {
    EVP_PKEY* p = nullptr;
    ~Key() { EVP_PKEY_free(p); }
};
struct Certificate {
    X509* p = nullptr;
    ~Certificate() { X509_free(p); }
};

void addExtension(X509* cert, int nid, const std::string& value)
{
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value.c_str());
    if (!ext || !X509_add_ext(cert, ext, -1)) {
        X509_EXTENSION_free(ext);
        refuse("cannot make the certificate's extension " + value);
    }
    X509_EXTENSION_free(ext);
}

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !*name)
        return "localhost";
    return name;
}

// A self-signed certificate naming this host and the loopback addresses, valid for ten years.
void makeCertificate(Key& key, Certificate& cert)
{
    key.p = EVP_EC_gen("P-256");
    cert.p = X509_new();
    if (!key.p || !cert.p)
        refuse("cannot make a TLS key");
    X509_set_version(cert.p, X509_VERSION_3);
    BIGNUM* serial = BN_new();
    if (!serial || !BN_rand(serial, 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) ||
        !BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert.p))) {
        BN_free(serial);
        refuse("cannot number the certificate");
    }
    BN_free(serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.p), -3600);
    X509_time_adj_ex(X509_getm_notAfter(cert.p), 3650, 0, nullptr);
    X509_set_pubkey(cert.p, key.p);
    const std::string host = hostName();
    X509_NAME* name = X509_get_subject_name(cert.p);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(host.c_str()), -1, -1, 0);
    X509_set_issuer_name(cert.p, name);
    std::string names = "DNS:localhost";
    if (host != "localhost")
        names += ",DNS:" + host;
    names += ",IP:127.0.0.1,IP:::1";
    addExtension(cert.p, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.p, NID_key_usage, "critical,digitalSignature,keyCertSign");
    addExtension(cert.p, NID_ext_key_usage, "serverAuth");
    addExtension(cert.p, NID_subject_key_identifier, "hash");
    addExtension(cert.p, NID_subject_alt_name, names);
    if (!X509_sign(cert.p, key.p, EVP_sha256()))
        refuse("cannot sign the certificate");
}

// Writes a file readable by its owner only; throws when it cannot.
template <typename Write> void writePrivateFile(const fs::path& file, Write write)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FILE* out = fd >= 0 ? ::fdopen(fd, "w") : nullptr;
    if (!out) {
        const std::string why = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        throw std::runtime_error("cannot write " + file.string() + ": " + why);
    }
    ::fchmod(fd, 0600);
    const bool written = write(out);
    if (std::fclose(out) != 0 || !written)
        refuse("cannot write " + file.string());
}

void writeCertificate(const fs::path& folder)
{
    Key key;
    Certificate cert;
    makeCertificate(key, cert);
    // Written under other names first: a start cut short leaves no half pair behind.
    const fs::path keyTemp = folder / (std::string(TlsContext::KeyFile) + ".new");
    const fs::path certTemp = folder / (std::string(TlsContext::CertificateFile) + ".new");
    writePrivateFile(keyTemp, [&](FILE* f) {
        return PEM_write_PrivateKey(f, key.p, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    });
    writePrivateFile(certTemp, [&](FILE* f) { return PEM_write_X509(f, cert.p) == 1; });
    ::chmod(certTemp.c_str(), 0644);
    fs::rename(keyTemp, folder / TlsContext::KeyFile);
    fs::rename(certTemp, folder / TlsContext::CertificateFile);
}

} // namespace

TlsContext::~TlsContext()
{
    SSL_CTX_free(static_cast<SSL_CTX*>(ctx_));
}

std::unique_ptr<TlsContext> TlsContext::fromFiles(const fs::path& certificate, const fs::path& key)
{
    requireReadable(certificate, "certificate");
    requireReadable(key, "key");
    SSL_CTX* ctx = newServerContext();
    std::unique_ptr<TlsContext> result(new TlsContext(ctx));
    if (SSL_CTX_use_certificate_chain_file(ctx, certificate.c_str()) != 1)
        refuse("not a PEM certificate: " + certificate.string());
    Key pair;
    if (FILE* in = std::fopen(key.c_str(), "r")) {
        // A key under a pass phrase is refused rather than asked for on a terminal.
        auto noPassPhrase = [](char*, int, int, void*) { return 0; };
        pair.p = PEM_read_PrivateKey(in, nullptr, noPassPhrase, nullptr);
        std::fclose(in);
    }
    if (!pair.p)
        refuse("not a PEM private key: " + key.string());
    if (X509_check_private_key(SSL_CTX_get0_certificate(ctx), pair.p) != 1) {
        ERR_clear_error();
        throw std::runtime_error("the key " + key.string() +
                                 " does not belong to the certificate " + certificate.string());
    }
    if (SSL_CTX_use_PrivateKey(ctx, pair.p) != 1)
        refuse("cannot use the key " + key.string());
    return result;
}

std::unique_ptr<TlsContext> TlsContext::selfSigned(const fs::path& folder)
{
    const fs::path cert = folder / CertificateFile;
    const fs::path key = folder / KeyFile;
    std::error_code ec;
    if (!fs::exists(cert, ec) && !fs::exists(key, ec)) {
        fs::create_directories(folder, ec);
        if (ec || ::chmod(folder.c_str(), 0700) != 0)
            throw std::runtime_error("cannot make the folder " + folder.string() + ": " +
                                     (ec ? ec.message() : std::strerror(errno)));
        writeCertificate(folder);
    }
    return fromFiles(cert, key);
}

std::unique_ptr<TlsChannel> TlsContext::newChannel()
{
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(ctx_));
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    if (!ssl || !in || !out) {
        SSL_free(ssl);
        BIO_free(in);
        BIO_free(out);
        refuse("cannot start a TLS session");
    }
    // An empty input buffer means "more to come", not the end of the stream.
    BIO_set_mem_eof_return(in, -1);
    SSL_set_bio(ssl, in, out);
    SSL_set_accept_state(ssl);
    return std::unique_ptr<TlsChannel>(new TlsChannel(ssl, in, out));
}

TlsChannel::~TlsChannel()
{
    SSL_free(static_cast<SSL*>(ssl_));
}

void TlsChannel::fail(const char* what, int code)
{
    error_ = std::string(what);
    if (code == SSL_ERROR_SYSCALL || code == SSL_ERROR_SSL)
        error_ += ": " + openSslErrors();
    ERR_clear_error();
}

TlsChannel::Step TlsChannel::handshake(std::span<const uint8_t> received)
{
    std::lock_guard lock(mutex_);
    SSL* ssl = static_cast<SSL*>(ssl_);
    if (!received.empty() &&
        BIO_write(static_cast<BIO*>(in_), received.data(), int(received.size())) <= 0) {
        fail("TLS handshake failed", SSL_ERROR_SSL);
        return Step::Failed;
    }
    const int r = SSL_do_handshake(ssl);
    if (r == 1)
        return Step::Done;
    const int code = SSL_get_error(ssl, r);
    if (code == SSL_ERROR_WANT_READ)
        return Step::NeedMore;
    fail("TLS handshake failed", code);
    return Step::Failed;
}

bool TlsChannel::decrypt(std::span<const uint8_t> records, std::vector<uint8_t>& plain)
{
    std::lock_guard lock(mutex_);
    SSL* ssl = static_cast<SSL*>(ssl_);
    if (!records.empty() &&
        BIO_write(static_cast<BIO*>(in_), records.data(), int(records.size())) <= 0) {
        fail("TLS failed", SSL_ERROR_SSL);
        return false;
    }
    for (;;) {
        const size_t at = plain.size();
        plain.resize(at + 16384);
        const int n = SSL_read(ssl, plain.data() + at, 16384);
        plain.resize(at + size_t(std::max(n, 0)));
        if (n > 0)
            continue;
        const int code = SSL_get_error(ssl, n);
        if (code == SSL_ERROR_WANT_READ)
            return true;
        if (code == SSL_ERROR_ZERO_RETURN) {
            error_ = "the client ended its TLS session";
            return false;
        }
        fail("TLS failed", code);
        return false;
    }
}

bool TlsChannel::encrypt(std::span<const uint8_t> plain, std::vector<uint8_t>& wire)
{
    std::lock_guard lock(mutex_);
    SSL* ssl = static_cast<SSL*>(ssl_);
    size_t done = 0;
    while (done < plain.size()) {
        const int n = SSL_write(ssl, plain.data() + done, int(plain.size() - done));
        if (n <= 0) {
            fail("TLS failed", SSL_get_error(ssl, n));
            return false;
        }
        done += size_t(n);
    }
    drainLocked(wire);
    return true;
}

void TlsChannel::drain(std::vector<uint8_t>& wire)
{
    std::lock_guard lock(mutex_);
    drainLocked(wire);
}

void TlsChannel::drainLocked(std::vector<uint8_t>& wire)
{
    BIO* out = static_cast<BIO*>(out_);
    const size_t pending = BIO_ctrl_pending(out);
    if (!pending)
        return;
    const size_t at = wire.size();
    wire.resize(at + pending);
    const int n = BIO_read(out, wire.data() + at, int(pending));
    wire.resize(at + size_t(std::max(n, 0)));
}

int tlsRecordLength(std::span<const uint8_t> header)
{
    if (header.size() < TlsRecordHeaderSize)
        return -1;
    const uint8_t type = header[0];
    if (type < 20 || type > 23 || header[1] != 3)
        return -1;
    const int length = (header[3] << 8) | header[4];
    return size_t(length) > MaxTlsRecordSize ? -1 : length;
}

} // namespace standin::tds
