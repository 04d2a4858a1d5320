// sqllumo's connection encryption as its users meet it: the options, what archive info reports,
// and what crosses the wire, recorded by a loopback relay between the program and a stand-in.
// The proof that matters: with encryption the sa password is on the wire neither as UTF-16 nor
// in the scrambled form LOGIN7 gives it; without, the scrambled form is there to be found.
#include "DelayRelay.h"
#include "SqllumoProcess.h"
#include "StandinServer.h"

#include <QSettings>

#include <filesystem>
#include <memory>

using sqllumo::testing::DelayRelay;
using sqllumo::testing::ProcessRun;
using sqllumo::testing::SqllumoProcess;
using standin::testing::StandinServer;

namespace {

// The password as LOGIN7 carries it: UTF-16LE, each byte's nibbles swapped, then XOR 0xA5.
std::string scrambled(const std::string& password)
{
    std::string bytes;
    for (const char16_t unit : QString::fromStdString(password).toStdU16String()) {
        for (const unsigned char b :
             {static_cast<unsigned char>(unit & 0xFF), static_cast<unsigned char>(unit >> 8)})
            bytes += static_cast<char>(static_cast<unsigned char>((b << 4) | (b >> 4)) ^ 0xA5);
    }
    return bytes;
}

std::string utf16(const std::string& password)
{
    std::string bytes;
    for (const char16_t unit : QString::fromStdString(password).toStdU16String()) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::unique_ptr<StandinServer> startStandin(std::vector<std::string> arguments = {})
{
    StandinServer::Options options;
    options.extraArguments = std::move(arguments);
    return std::make_unique<StandinServer>(options);
}

class SqllumoEncryption : public SqllumoProcess {
protected:
    static void SetUpTestSuite() { offering_ = startStandin(); }
    static void TearDownTestSuite() { offering_.reset(); }

    // `archive info` on master of `server`, through a relay that keeps what the program sent.
    ProcessRun infoThroughRelay(const StandinServer& server, const QStringList& options,
                                std::string& sent)
    {
        writeFile("sa.txt", QByteArray::fromStdString(server.saPassword()) + "\n");
        const DelayRelay relay(static_cast<std::uint16_t>(server.port()),
                               std::chrono::microseconds(0), true);
        const ProcessRun r = run(QStringList{"archive", "info", "--server",
                                             "127.0.0.1," + QString::number(relay.port()), "--user",
                                             "sa", "--password-file", path("sa.txt")} +
                                 options);
        sent = relay.clientBytes();
        return r;
    }
    QString storedSetting(const QString& key) const
    {
        return QSettings(iniPath(), QSettings::IniFormat).value("Default/" + key).toString();
    }

    // Offers encryption with the certificate it made for itself, as it does by default.
    static inline std::unique_ptr<StandinServer> offering_;
};

TEST_F(SqllumoEncryption, TheOptionsAreCheckedAndStoredOnlyOnceTheLoginSucceeded)
{
    const ProcessRun help = run({"--help"});
    EXPECT_TRUE(help.out.contains("  require   the whole session is encrypted, or there is no "
                                  "connection"))
        << help.out.toStdString();
    const ProcessRun archiveHelp = run({"archive", "--help"});
    for (const char* option : {"--encryption off|request|require", "--ca-file F"})
        EXPECT_TRUE(archiveHelp.out.contains(option)) << option;

    const ProcessRun bad = run({"archive", "info", "--server", "srv", "--encryption", "maybe"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains("--encryption takes one of off, request, require"))
        << bad.err.toStdString();

    writeFile("wrong.txt", "not the password\n");
    const QString server = QString::fromStdString(offering_->serverName());
    const QStringList refused = {"archive",      "info", "--server",        server,
                                 "--user",       "sa",   "--password-file", path("wrong.txt"),
                                 "--encryption", "off"};
    EXPECT_EQ(run(refused).exitCode, 1);
    EXPECT_TRUE(storedSetting("Encryption").isEmpty());

    std::string sent;
    const ProcessRun ok =
        infoThroughRelay(*offering_, {"--encryption", "OFF", "--ca-file", ""}, sent);
    EXPECT_EQ(ok.exitCode, 0) << ok.out.toStdString() << ok.err.toStdString();
    EXPECT_EQ(storedSetting("Encryption"), "off");
    EXPECT_TRUE(storedSetting("CAFile").isEmpty());
}

TEST_F(SqllumoEncryption, OffSendsTheScrambledPasswordInClearAndSaysSo)
{
    std::string sent;
    const ProcessRun r = infoThroughRelay(*offering_, {"--encryption", "off"}, sent);
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("\nConnection encryption: not encrypted\n")) << r.out.toStdString();
    // The relay saw the login: without this the checks below would prove nothing.
    EXPECT_NE(sent.find(scrambled(offering_->saPassword())), std::string::npos);
}

TEST_F(SqllumoEncryption, RequestAndRequireKeepThePasswordOffTheWire)
{
    for (const auto& [setting, reported] :
         {std::pair<QString, QString>{"request", "login only"}, {"require", "encrypted"}}) {
        std::string sent;
        const ProcessRun r = infoThroughRelay(*offering_, {"--encryption", setting}, sent);
        ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.out.contains("\nConnection encryption: " + reported + "\n"))
            << setting.toStdString() << "\n"
            << r.out.toStdString();
        EXPECT_GT(sent.size(), 100u) << setting.toStdString();
        EXPECT_EQ(sent.find(scrambled(offering_->saPassword())), std::string::npos)
            << setting.toStdString();
        EXPECT_EQ(sent.find(utf16(offering_->saPassword())), std::string::npos)
            << setting.toStdString();
    }
}

TEST_F(SqllumoEncryption, RequestToAServerThatForcesEncryptionEncryptsTheWholeSession)
{
    const auto forcing = startStandin({"--force-encryption"});
    std::string sent;
    const ProcessRun r = infoThroughRelay(*forcing, {"--encryption", "request"}, sent);
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("\nConnection encryption: encrypted\n")) << r.out.toStdString();
    EXPECT_EQ(sent.find(scrambled(forcing->saPassword())), std::string::npos);

    // Off cannot reach it, and is told why.
    const ProcessRun off = infoThroughRelay(*forcing, {"--encryption", "off"}, sent);
    EXPECT_EQ(off.exitCode, 1);
    EXPECT_TRUE(off.out.contains(" accepts only encrypted connections, and the setting Encryption "
                                 "is off: the login was not sent."))
        << off.out.toStdString();
}

TEST_F(SqllumoEncryption, RequireAgainstAServerWithoutEncryptionIsRefusedBeforeTheLogin)
{
    const auto clear = startStandin({"--no-tls"});
    std::string sent;
    const ProcessRun r = infoThroughRelay(*clear, {"--encryption", "require"}, sent);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains(" cannot encrypt the connection, and the setting Encryption is "
                               "require: the login was not sent."))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("The server 127.0.0.1,")) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains("report:"));
    EXPECT_EQ(sent.find(scrambled(clear->saPassword())), std::string::npos);
    EXPECT_TRUE(storedSetting("Encryption").isEmpty());

    // Request settles for it, and says that nothing was encrypted.
    const ProcessRun request = infoThroughRelay(*clear, {"--encryption", "request"}, sent);
    ASSERT_EQ(request.exitCode, 0) << request.out.toStdString();
    EXPECT_TRUE(request.out.contains("\nConnection encryption: not encrypted\n"))
        << request.out.toStdString();
}

TEST_F(SqllumoEncryption, ACertificateTheCaFileDidNotSignIsRefusedClearly)
{
    const std::filesystem::path own = offering_->dataDir() / "tls" / "server.crt";
    ASSERT_TRUE(std::filesystem::exists(own)) << own;
    // Another stand-in's certificate: a CA file, but not the one that vouches for this server.
    const auto other = startStandin();
    const QString wrong =
        QString::fromStdString((other->dataDir() / "tls" / "server.crt").string());
    std::string sent;
    const ProcessRun refused =
        infoThroughRelay(*offering_, {"--encryption", "require", "--ca-file", wrong}, sent);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.contains("The certificate of the server 127.0.0.1,"))
        << refused.out.toStdString();
    EXPECT_TRUE(refused.out.contains("was refused: it is not signed by the certificate authority "
                                     "in the CA file \"" +
                                     wrong + "\""))
        << refused.out.toStdString();
    EXPECT_EQ(sent.find(scrambled(offering_->saPassword())), std::string::npos);

    const ProcessRun trusted = infoThroughRelay(
        *offering_, {"--encryption", "require", "--ca-file", QString::fromStdString(own.string())},
        sent);
    EXPECT_EQ(trusted.exitCode, 0) << trusted.out.toStdString();
    EXPECT_TRUE(trusted.out.contains("\nConnection encryption: encrypted\n"))
        << trusted.out.toStdString();
    EXPECT_EQ(storedSetting("CAFile"), QString::fromStdString(own.string()));
}

} // namespace
