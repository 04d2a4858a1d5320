// Encryption on the wire, against a scripted engine: the PRELOGIN answer to each client choice
// on servers with and without TLS and with it forced, the handshake inside PRELOGIN packets,
// a login-only and a fully encrypted session, clients that break the agreement, and the
// server's own certificate.
#include "Hex.h"
#include "Prelogin.h"
#include "RawClient.h"
#include "ScriptedEngine.h"
#include "Server.h"
#include "Tls.h"
#include "TlsRawClient.h"
#include "Tokens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

using namespace standin;
using namespace standin::tds;
using standin::testing::RawClient;
using standin::testing::ScriptedEngine;
using standin::testing::TlsRawClient;
namespace fs = std::filesystem;

namespace {

fs::path makeTempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "standin-tls-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    return pattern;
}

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The encryption byte of a PRELOGIN answer, wherever its option table puts it.
int encryptionOption(const std::vector<uint8_t>& payload)
{
    for (size_t i = 0; i + 4 < payload.size() && payload[i] != 0xFF; i += 5)
        if (payload[i] == 1) {
            const size_t offset = (payload[i + 1] << 8) | payload[i + 2];
            return offset < payload.size() ? payload[offset] : -1;
        }
    return -1;
}

bool contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

std::vector<uint8_t> utf16(std::u16string_view text)
{
    ByteWriter w;
    w.utf16(text);
    return w.buffer();
}

bool hasLoginAck(const RawClient::Response& r)
{
    return std::find(r.payload.begin(), r.payload.end(), token::LoginAck) != r.payload.end();
}

class TlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new fs::path(makeTempFolder());
        context_ = TlsContext::selfSigned(*folder_ / "tls");
    }
    static void TearDownTestSuite()
    {
        context_.reset();
        fs::remove_all(*folder_);
        delete folder_;
    }

    enum class Kind { NoTls, Default, Forced };
    void start(Kind kind)
    {
        ServerOptions o;
        o.port = 0;
        o.loginTimeoutSeconds = 3;
        if (kind != Kind::NoTls)
            o.tls = context_;
        o.forceEncryption = kind == Kind::Forced;
        server_ = std::make_unique<Server>(engine_, o);
        server_->listen();
        thread_ = std::thread([this] { server_->run(); });
    }
    void stop()
    {
        if (!server_)
            return;
        server_->requestStop();
        thread_.join();
        server_.reset();
    }
    void TearDown() override { stop(); }
    uint16_t port() const { return server_->port(); }

    // PRELOGIN with the client's choice; the answer's encryption byte, or -1.
    static int preloginAnswer(RawClient& c, Encryption choice)
    {
        c.sendMessage(PacketType::Prelogin, RawClient::prelogin(uint8_t(choice)));
        auto r = c.readMessage();
        return r ? encryptionOption(r->payload) : -1;
    }

    static std::vector<uint8_t> login7(const std::u16string& password)
    {
        return RawClient::login7(u"sa", password, {}, 4096, version::V7_4);
    }

    static fs::path* folder_;
    static std::shared_ptr<TlsContext> context_;
    ScriptedEngine engine_;
    std::unique_ptr<Server> server_;
    std::thread thread_;
};

fs::path* TlsTest::folder_ = nullptr;
std::shared_ptr<TlsContext> TlsTest::context_;

} // namespace

TEST_F(TlsTest, PreloginAnswersEachClientChoiceAsTheServerIsSetUp)
{
    using E = Encryption;
    struct Case {
        Kind server;
        E client;
        E answer;
        bool refused;
    } cases[] = {
        {Kind::NoTls, E::Off, E::NotSupported, false},
        {Kind::NoTls, E::On, E::NotSupported, false},
        {Kind::NoTls, E::NotSupported, E::NotSupported, false},
        {Kind::NoTls, E::Required, E::NotSupported, false},
        {Kind::Default, E::Off, E::Off, false},
        {Kind::Default, E::On, E::On, false},
        {Kind::Default, E::NotSupported, E::NotSupported, false},
        {Kind::Default, E::Required, E::On, false},
        {Kind::Forced, E::Off, E::Required, false},
        {Kind::Forced, E::On, E::Required, false},
        {Kind::Forced, E::NotSupported, E::Required, true},
        {Kind::Forced, E::Required, E::Required, false},
    };
    for (const auto& c : cases) {
        start(c.server);
        const std::string name =
            "server " + std::to_string(int(c.server)) + ", client " + std::to_string(int(c.client));
        RawClient client(port());
        EXPECT_EQ(preloginAnswer(client, c.client), int(c.answer)) << name;
        if (c.refused)
            EXPECT_TRUE(client.closedByServer()) << name;
        else
            EXPECT_TRUE(client.silentFor(std::chrono::milliseconds(100))) << name;
        stop();
    }
}

TEST_F(TlsTest, HandshakeInPreloginPacketsThenTheWholeSessionIsEncrypted)
{
    std::atomic<bool> endless{false};
    engine_.onBatch = [&](const std::u16string& text, ResultSink& sink,
                          const std::atomic<bool>* cancel) {
        ColumnInfo column;
        column.name = u"n";
        sink.beginResult({column});
        for (int64_t i = 0; text == u"endless" && !cancel->load(); ++i) {
            endless = true;
            sink.row({i});
        }
        sink.row({int64_t{7}});
        sink.done(DoneInfo{});
    };
    start(Kind::Default);
    RawClient raw(port());
    ASSERT_EQ(preloginAnswer(raw, Encryption::On), int(Encryption::On));
    TlsRawClient tls(raw);
    ASSERT_TRUE(tls.handshake()) << tls.error();
    EXPECT_EQ(tls.protocol(), "TLSv1.2");

    ASSERT_TRUE(tls.sendMessage(PacketType::Login7, login7(engine_.password)));
    auto ack = tls.readMessage();
    ASSERT_TRUE(ack);
    EXPECT_TRUE(hasLoginAck(*ack));
    EXPECT_TRUE(engine_.lastConnection().encrypted);
    EXPECT_EQ(engine_.lastConnection().clientAddress, "127.0.0.1");

    const std::u16string query = u"SELECT 'a secret patient name'";
    ASSERT_TRUE(tls.sendMessage(PacketType::SqlBatch, RawClient::sqlBatch(query), 512));
    auto result = tls.readMessage();
    ASSERT_TRUE(result);
    EXPECT_EQ(engine_.batches().back(), query);
    EXPECT_FALSE(contains(tls.wireSent(), utf16(u"secret patient")));
    EXPECT_FALSE(contains(tls.wireSent(), utf16(u"sa")));

    // A cancel is an encrypted packet too, and is acknowledged on its own.
    ASSERT_TRUE(tls.sendMessage(PacketType::SqlBatch, RawClient::sqlBatch(u"endless")));
    while (!endless)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(tls.sendMessage(PacketType::Attention, {}));
    bool acknowledged = false;
    for (int i = 0; i < 3 && !acknowledged; ++i) {
        auto r = tls.readMessage();
        ASSERT_TRUE(r);
        const size_t n = r->payload.size();
        acknowledged =
            n >= 13 && r->payload[n - 13] == token::Done && (r->payload[n - 12] & done::Attention);
    }
    EXPECT_TRUE(acknowledged);
    ASSERT_TRUE(tls.sendMessage(PacketType::SqlBatch, RawClient::sqlBatch(u"SELECT 2")));
    EXPECT_TRUE(tls.readMessage());
}

TEST_F(TlsTest, LoginOnlyEncryptionCarriesTheFirstLoginPacketThenGoesOnInClear)
{
    start(Kind::Default);
    RawClient raw(port());
    ASSERT_EQ(preloginAnswer(raw, Encryption::Off), int(Encryption::Off));
    TlsRawClient tls(raw);
    ASSERT_TRUE(tls.handshake()) << tls.error();
    ASSERT_TRUE(tls.sendMessage(PacketType::Login7, login7(engine_.password)));
    EXPECT_FALSE(contains(tls.wireSent(), utf16(u"host")));
    auto ack = raw.readMessage();
    ASSERT_TRUE(ack);
    EXPECT_TRUE(hasLoginAck(*ack));
    EXPECT_FALSE(engine_.lastConnection().encrypted);
    ASSERT_TRUE(raw.sendMessage(PacketType::SqlBatch, RawClient::sqlBatch(u"SELECT 1")));
    EXPECT_TRUE(raw.readMessage());
    EXPECT_EQ(engine_.batches().size(), 1u);
}

TEST_F(TlsTest, ClientThatBreaksTheAgreementIsDisconnectedBeforeItsLogin)
{
    const auto clearLogin = tds::frameMessage(PacketType::Login7, login7(engine_.password));
    struct Case {
        const char* name;
        Kind server;
        Encryption choice;
        std::vector<uint8_t> after; // sent once the PRELOGIN is answered
        bool handshake;             // ... or after a completed handshake
    } cases[] = {
        {"login in clear instead of a handshake", Kind::Default, Encryption::On, clearLogin, false},
        {"login in clear after the handshake", Kind::Default, Encryption::On, clearLogin, true},
        {"login-only client sends its login in clear", Kind::Default, Encryption::Off, clearLogin,
         true},
        {"forced server, login in clear", Kind::Forced, Encryption::Off, clearLogin, true},
        {"garbage as the handshake", Kind::Default, Encryption::On,
         tds::frameMessage(PacketType::Prelogin, std::vector<uint8_t>(300, 0x42)), false},
        {"handshake after saying it cannot encrypt", Kind::Default, Encryption::NotSupported,
         tds::frameMessage(PacketType::Prelogin, std::vector<uint8_t>{0x16, 3, 1, 0, 0}), false},
    };
    for (const auto& c : cases) {
        start(c.server);
        RawClient raw(port());
        ASSERT_NE(preloginAnswer(raw, c.choice), -1) << c.name;
        TlsRawClient tls(raw);
        if (c.handshake) {
            ASSERT_TRUE(tls.handshake()) << c.name << ": " << tls.error();
        }
        raw.sendBytes(c.after);
        EXPECT_TRUE(raw.closedByServer()) << c.name;
        stop();
    }
    EXPECT_EQ(engine_.lastConnection().clientAddress, "") << "a login reached the engine";
}

TEST_F(TlsTest, ForcedServerRefusesClientsThatCannotEncrypt)
{
    start(Kind::Forced);
    {
        RawClient notSupported(port());
        EXPECT_EQ(preloginAnswer(notSupported, Encryption::NotSupported),
                  int(Encryption::Required));
        EXPECT_TRUE(notSupported.closedByServer());
    }
    {
        RawClient noPrelogin(port()); // an old client that starts with its login
        noPrelogin.sendMessage(PacketType::Login7, login7(engine_.password));
        EXPECT_TRUE(noPrelogin.closedByServer());
    }
    // One that will encrypt gets the whole session encrypted.
    RawClient raw(port());
    ASSERT_EQ(preloginAnswer(raw, Encryption::Off), int(Encryption::Required));
    TlsRawClient tls(raw);
    ASSERT_TRUE(tls.handshake()) << tls.error();
    ASSERT_TRUE(tls.sendMessage(PacketType::Login7, login7(engine_.password)));
    auto ack = tls.readMessage();
    ASSERT_TRUE(ack);
    EXPECT_TRUE(hasLoginAck(*ack));
    EXPECT_TRUE(engine_.lastConnection().encrypted);
}

TEST_F(TlsTest, SelfSignedCertificateIsMadeOnceForLoopbackWithItsKeyPrivate)
{
    const fs::path dir = *folder_ / "tls";
    struct stat folder {
    }, key{};
    ASSERT_EQ(::stat(dir.c_str(), &folder), 0);
    ASSERT_EQ(::stat((dir / TlsContext::KeyFile).c_str(), &key), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EXPECT_EQ(key.st_mode & 0777, 0600u);
    const std::string certificate = readFile(dir / TlsContext::CertificateFile);
    TlsContext::selfSigned(dir);
    EXPECT_EQ(readFile(dir / TlsContext::CertificateFile), certificate) << "made anew";

    // A client that trusts this certificate finds it names each loopback address and name.
    start(Kind::Default);
    for (const char* host : {"127.0.0.1", "::1", "localhost"}) {
        RawClient raw(port());
        ASSERT_EQ(preloginAnswer(raw, Encryption::On), int(Encryption::On));
        TlsRawClient tls(raw, (dir / TlsContext::CertificateFile).string(), host);
        EXPECT_TRUE(tls.handshake()) << host << ": " << tls.error();
    }
    RawClient raw(port());
    ASSERT_EQ(preloginAnswer(raw, Encryption::On), int(Encryption::On));
    TlsRawClient wrongName(raw, (dir / TlsContext::CertificateFile).string(), "example.org");
    EXPECT_FALSE(wrongName.handshake());
}

TEST_F(TlsTest, UnusableCertificateFilesAreRefusedByName)
{
    const fs::path dir = *folder_ / "tls";
    const fs::path cert = dir / TlsContext::CertificateFile;
    const fs::path key = dir / TlsContext::KeyFile;
    const fs::path other = *folder_ / "other";
    TlsContext::selfSigned(other); // a second pair: its key does not fit the first certificate
    const fs::path junk = *folder_ / "junk.pem";
    std::ofstream(junk) << "not a certificate\n";
    struct Case {
        fs::path certificate, key;
        std::string expected;
    } cases[] = {
        {*folder_ / "missing.crt", key, "missing.crt"},
        {cert, *folder_ / "missing.key", "missing.key"},
        {junk, key, "junk.pem"},
        {cert, junk, "junk.pem"},
        {cert, other / TlsContext::KeyFile, "does not belong"},
    };
    for (const auto& c : cases) {
        try {
            TlsContext::fromFiles(c.certificate, c.key);
            ADD_FAILURE() << c.expected << " was accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
        }
    }
    // Half a pair left in the folder is not silently replaced.
    fs::remove(other / TlsContext::CertificateFile);
    EXPECT_THROW(TlsContext::selfSigned(other), std::runtime_error);
    EXPECT_FALSE(fs::exists(other / TlsContext::CertificateFile));
}
