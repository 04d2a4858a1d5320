// Encryption as FreeTDS meets it: the ODBC driver's Encryption keyword against a default, a
// forced and a TLS-less stand-in process, what sys.dm_exec_connections then reports, and tsql
// checking the stand-in's own certificate, or a given one, by name.
#include "OdbcClient.h"
#include "StandinServer.h"
#include "TsqlRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace standin::testing;
namespace fs = std::filesystem;

namespace {

const std::u16string OwnConnection =
    u"SELECT encrypt_option, net_transport, auth_scheme, client_net_address "
    u"FROM sys.dm_exec_connections WHERE session_id = @@SPID";

std::unique_ptr<StandinServer> startStandin(std::vector<std::string> arguments = {})
{
    StandinServer::Options o;
    o.extraArguments = std::move(arguments);
    return std::make_unique<StandinServer>(o);
}

// What the server reports of the connection made with `encryption`.
std::vector<std::optional<std::string>> ownConnection(const StandinServer& s,
                                                      const std::string& encryption)
{
    OdbcConnection c(s.odbcConnectionString() + ";Encryption=" + encryption + ";");
    auto rows = c.query(OwnConnection);
    if (rows.size() != 1)
        throw std::runtime_error("not one row for the own connection");
    return rows[0];
}

// tsql through a configuration file naming the server as "standin", with encryption required
// and `caFile` as the only trusted certificate.
ToolRun tsqlTrusting(const StandinServer& s, const fs::path& caFile, const std::string& input)
{
    const fs::path dir = fs::temp_directory_path();
    const std::string stem = "tsql-tls-" + std::to_string(::getpid());
    const fs::path conf = dir / (stem + ".conf");
    const fs::path in = dir / (stem + ".sql");
    std::ofstream(conf) << "[standin]\n\thost = " << s.host() << "\n\tport = " << s.port()
                        << "\n\ttds version = 7.4\n\tencryption = require\n\tca file = "
                        << caFile.string() << "\n";
    std::ofstream(in) << input;
    const std::string command = "FREETDSCONF=" + conf.string() +
                                " tsql -S standin -U sa -P \"$STANDIN_PW\" < " + in.string() +
                                " 2>&1";
    const ToolRun r = RunWithPassword(command, s.saPassword());
    fs::remove(conf);
    fs::remove(in);
    return r;
}

const std::string EncryptOption =
    "SELECT encrypt_option FROM sys.dm_exec_connections WHERE session_id = @@SPID\ngo\nexit\n";

} // namespace

TEST(EncryptionClientsTest, DefaultStandinEncryptsForClientsThatAskAndTheLoginForOthers)
{
    auto server = startStandin();
    const auto required = ownConnection(*server, "require");
    EXPECT_EQ(required[0], "TRUE");
    EXPECT_EQ(required[1], "TCP");
    EXPECT_EQ(required[2], "SQL");
    EXPECT_EQ(required[3], "127.0.0.1");
    EXPECT_EQ(ownConnection(*server, "request")[0], "FALSE"); // the login alone
    EXPECT_EQ(ownConnection(*server, "off")[0], "FALSE");
    const std::string log = server->log();
    EXPECT_NE(log.find(", encrypted, client"), std::string::npos) << log;
    EXPECT_NE(log.find(", login encrypted, client"), std::string::npos) << log;
    EXPECT_NE(log.find(", not encrypted, client"), std::string::npos) << log;
    EXPECT_TRUE(fs::exists(server->dataDir() / "tls" / "server.crt"));
}

TEST(EncryptionClientsTest, ForcedStandinRefusesClientsThatWillNotEncrypt)
{
    auto server = startStandin({"--force-encryption"});
    EXPECT_THROW(ownConnection(*server, "off"), OdbcError);
    EXPECT_NE(server->log().find("Encryption is required to connect to this server but the "
                                 "client library does not support encryption; the connection "
                                 "has been closed. Please upgrade your client library. [CLIENT: "
                                 "127.0.0.1]"),
              std::string::npos)
        << server->log();
    EXPECT_EQ(ownConnection(*server, "request")[0], "TRUE");
    EXPECT_EQ(ownConnection(*server, "require")[0], "TRUE");
}

TEST(EncryptionClientsTest, StandinWithoutTlsSaysItCannotEncrypt)
{
    auto server = startStandin({"--no-tls"});
    EXPECT_THROW(ownConnection(*server, "require"), OdbcError);
    EXPECT_NE(server->log().find("client asks for encryption, which this server does not support"),
              std::string::npos)
        << server->log();
    EXPECT_EQ(ownConnection(*server, "request")[0], "FALSE");
    EXPECT_FALSE(fs::exists(server->dataDir() / "tls"));
}

TEST(EncryptionClientsTest, TsqlTrustsTheCertificateForLoopbackOnlyUnderItsNames)
{
    auto server = startStandin();
    const fs::path ca = server->dataDir() / "tls" / "server.crt";
    const ToolRun ok = tsqlTrusting(*server, ca, EncryptOption);
    EXPECT_EQ(ok.status, 0) << ok.output;
    EXPECT_NE(ok.output.find("TRUE"), std::string::npos) << ok.output;

    // The same files given to a server reached under an address they do not name.
    auto elsewhere = startStandin({"--listen", "127.0.0.2", "--tls-cert", ca.string(), "--tls-key",
                                   (server->dataDir() / "tls" / "server.key").string()});
    EXPECT_FALSE(fs::exists(elsewhere->dataDir() / "tls"));
    const ToolRun refused = tsqlTrusting(*elsewhere, ca, EncryptOption);
    EXPECT_EQ(refused.output.find("TRUE"), std::string::npos) << refused.output;
}

TEST(EncryptionClientsTest, UnusableCertificateOptionsStopTheStart)
{
    auto server = startStandin();
    const fs::path key = server->dataDir() / "tls" / "server.key";
    const fs::path missing = server->dataDir() / "no-such.crt";
    try {
        startStandin({"--tls-cert", missing.string(), "--tls-key", key.string()});
        ADD_FAILURE() << "started with a missing certificate";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot read the TLS certificate " + missing.string()),
                  std::string::npos)
            << e.what();
    }
    for (const std::vector<std::string>& wrong : {
             std::vector<std::string>{"--tls-key", key.string()},
             std::vector<std::string>{"--no-tls", "--force-encryption"},
         }) {
        EXPECT_THROW(startStandin(wrong), std::runtime_error) << wrong[0];
    }
}
