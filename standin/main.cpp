// sqlserver-standin: a SQL Server stand-in on loopback, the engine behind the TDS front end.
// Usage: sqlserver-standin --data DIR [--port N] [--listen ADDR] [--sa-password-file FILE]
//        [--tls-cert FILE --tls-key FILE | --no-tls] [--force-encryption]
#include "Log.h"
#include "Server.h"
#include "Tls.h"
#include "engine/Engine.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const Usage =
    "usage: sqlserver-standin --data DIR [--port N] [--listen ADDR] [--sa-password-file FILE]\n"
    "                         [--tls-cert FILE --tls-key FILE | --no-tls] [--force-encryption]\n";

const char* const Help =
    "A SQL Server stand-in on loopback: each database in an SQLite file under DIR.\n"
    "\n"
    "  --data DIR               the data folder, made at first start\n"
    "  --port N                 the TCP port, 0 for any free one (default 14330)\n"
    "  --listen ADDR            the IPv4 address to listen on (default 127.0.0.1)\n"
    "  --sa-password-file FILE  sa's password, the first line of FILE\n"
    "  --tls-cert FILE          the PEM certificate for TLS; without it a self-signed one is\n"
    "                           made in DIR/tls at first start and used from then on\n"
    "  --tls-key FILE           the PEM private key of --tls-cert\n"
    "  --force-encryption       refuse clients that will not encrypt their session\n"
    "  --no-tls                 answer that encryption is not supported\n"
    "\n"
    "Clients that ask for encryption get it; those that do not have their login encrypted\n"
    "and the rest in clear, unless --force-encryption is given.\n";

standin::tds::Server* runningServer = nullptr;

void onSignal(int)
{
    if (runningServer)
        runningServer->requestStop();
}

std::optional<std::string> firstLine(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    if (line.empty())
        return std::nullopt;
    return line;
}

} // namespace

int main(int argc, char** argv)
{
    std::optional<std::string> data, passwordFile, tlsCert, tlsKey;
    bool noTls = false;
    standin::tds::ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << arg << " needs a value\n" << Usage;
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--data") {
            data = value();
        } else if (arg == "--port") {
            const std::string text = value();
            char* end = nullptr;
            const long port = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end || port < 0 || port > 65535) {
                std::cerr << "not a port number: " << text << "\n";
                return 2;
            }
            options.port = uint16_t(port);
        } else if (arg == "--listen") {
            options.listenAddress = value();
        } else if (arg == "--sa-password-file") {
            passwordFile = value();
        } else if (arg == "--tls-cert") {
            tlsCert = value();
        } else if (arg == "--tls-key") {
            tlsKey = value();
        } else if (arg == "--force-encryption") {
            options.forceEncryption = true;
        } else if (arg == "--no-tls") {
            noTls = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << Usage << "\n" << Help;
            return 0;
        } else {
            std::cerr << "unknown option " << arg << "\n" << Usage;
            return 2;
        }
    }
    if (!data) {
        std::cerr << Usage;
        return 2;
    }
    if (tlsCert.has_value() != tlsKey.has_value()) {
        std::cerr << "--tls-cert and --tls-key go together\n" << Usage;
        return 2;
    }
    if (noTls && (tlsCert || options.forceEncryption)) {
        std::cerr << "--no-tls cannot go with " << (tlsCert ? "--tls-cert" : "--force-encryption")
                  << "\n"
                  << Usage;
        return 2;
    }

    std::signal(SIGPIPE, SIG_IGN);
    try {
        // The engine makes the folder (or refuses one that is not its own) and keeps the
        // password in it.
        const std::filesystem::path dir = std::filesystem::absolute(*data);
        standin::Engine::Options engineOptions;
        engineOptions.dataRoot = dir;
        if (passwordFile) {
            engineOptions.saPassword = firstLine(*passwordFile);
            if (!engineOptions.saPassword)
                throw std::runtime_error("no password in " + *passwordFile);
        }
        engineOptions.log = [](const std::string& line) { standin::tds::logLine(line); };
        auto engine = standin::Engine::open(engineOptions);
        if (tlsCert) {
            options.tls = standin::tds::TlsContext::fromFiles(*tlsCert, *tlsKey);
            standin::tds::logLine("TLS with the certificate " + *tlsCert);
        } else if (!noTls) {
            options.tls = standin::tds::TlsContext::selfSigned(dir / "tls");
            standin::tds::logLine(
                "TLS with the certificate " +
                (dir / "tls" / standin::tds::TlsContext::CertificateFile).string());
        } else {
            standin::tds::logLine("TLS off: clients are told encryption is not supported");
        }
        if (options.forceEncryption)
            standin::tds::logLine("encryption forced: clients that will not encrypt are refused");

        standin::tds::Server server(*engine, options);
        server.listen();
        runningServer = &server;
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);

        std::cout << "ready on " << server.address() << ":" << server.port() << std::endl;
        standin::tds::logLine("serving " + dir.string() + " on " + server.address() + ":" +
                              std::to_string(server.port()));
        server.run();
        runningServer = nullptr;
        standin::tds::logLine("stopped");
    } catch (const std::exception& e) {
        standin::tds::logLine(std::string("cannot run: ") + e.what());
        return 1;
    }
    return 0;
}
