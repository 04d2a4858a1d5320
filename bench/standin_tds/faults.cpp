// The stand-in under hostile clients, as figures: how many cancels of streaming and waiting
// statements it survives (all of them, with the cancelled connection still answering), and how
// long a new client waits for its login while 256 connections sit there without logging in.
// Targets: every cancel survived; the honest client served in well under the login time-out.
#include "BenchSupport.h"
#include "OdbcClient.h"
#include "StandinServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace standin::testing;
using namespace standin::bench;

namespace {
int idleConnection(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
} // namespace

int main(int argc, char** argv)
{
    const int streamed = argc > 1 ? std::atoi(argv[1]) : 200;
    const int timedOut = argc > 2 ? std::atoi(argv[2]) : 10;
    try {
        StandinServer server;
        std::filesystem::create_directories(server.dataDir() / "C" / "Bench");
        OdbcConnection master(server.odbcConnectionString("master"));
        master.execute(u"CREATE DATABASE Faults ON (NAME = Faults, FILENAME = "
                       u"'C:\\Bench\\Faults.mdf') LOG ON (NAME = Faults_log, FILENAME = "
                       u"'C:\\Bench\\Faults_log.ldf')");
        OdbcConnection db(server.odbcConnectionString("Faults"));
        db.execute(u"CREATE TABLE Nums (n INT NOT NULL)");
        std::u16string batch;
        for (int i = 0; i < 1000; ++i)
            batch += u"INSERT INTO Nums VALUES (" + u16(std::to_string(i)) + u");\n";
        db.execute(batch);

        int survived = 0;
        for (int i = 0; i < streamed && server.running(); ++i) {
            OdbcStatement s(db);
            s.execDirect(u"SELECT a.n, b.n FROM Nums a CROSS JOIN Nums b");
            for (int r = 0; r < 500 && s.fetch(); ++r) {
            }
            SQLCancel(s.handle());
            s.closeCursor();
            if (db.query(u"SELECT 1")[0][0] == std::optional<std::string>("1"))
                ++survived;
        }
        for (int i = 0; i < timedOut && server.running(); ++i) {
            OdbcStatement s(db);
            SQLSetStmtAttr(s.handle(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
            try {
                s.execDirect(u"SELECT COUNT(*) FROM Nums a CROSS JOIN Nums b CROSS JOIN Nums c");
            } catch (const OdbcError&) {
            }
            if (db.query(u"SELECT 1")[0][0] == std::optional<std::string>("1"))
                ++survived;
        }
        std::printf("cancels: %d of %d survived (streaming %d, time-outs %d), server %s\n",
                    survived, streamed + timedOut, streamed, timedOut,
                    server.running() ? "running" : "GONE");

        std::vector<int> idle;
        for (int i = 0; i < 256; ++i)
            if (const int fd = idleConnection(server.port()); fd >= 0)
                idle.push_back(fd);
        const auto start = Clock::now();
        double served = -1;
        try {
            OdbcConnection honest(server.odbcConnectionString("Faults"));
            if (honest.query(u"SELECT 1")[0][0] == std::optional<std::string>("1"))
                served = seconds(start);
        } catch (const OdbcError& e) {
            std::printf("honest client refused: %s\n", e.what());
        }
        std::printf("honest client under %zu idle connections: served after %.3f s\n", idle.size(),
                    served);
        for (int fd : idle)
            ::close(fd);
        return survived == streamed + timedOut && served >= 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench failed: %s\n", e.what());
        return 1;
    }
}
