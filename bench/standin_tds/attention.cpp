// How long a client that cancels a streaming SELECT waits for the stand-in's acknowledgement:
// a bare TDS client reads the first packet of a cross join's rows, sends attention and reads
// on to the acknowledgement, 50 times (or as often as asked) on one connection.
// Target: every acknowledgement within 1 s of its attention, the connection still answering.
#include "BenchSupport.h"
#include "OdbcClient.h"
#include "RawClient.h"
#include "StandinServer.h"
#include "Tokens.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace standin::testing;
using namespace standin::bench;
using standin::tds::PacketType;

namespace {

bool isAcknowledgement(const RawClient::Response& r)
{
    return r.payload.size() == 13 && r.payload[0] == standin::tds::token::Done &&
           r.payload[1] == standin::tds::done::Attention && r.payload[2] == 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int cancels = argc > 1 ? std::atoi(argv[1]) : 50;
    try {
        StandinServer server;
        std::filesystem::create_directories(server.dataDir() / "C" / "Bench");
        OdbcConnection master(server.odbcConnectionString("master"));
        master.execute(u"CREATE DATABASE Attn ON (NAME = Attn, FILENAME = 'C:\\Bench\\Attn.mdf') "
                       u"LOG ON (NAME = Attn_log, FILENAME = 'C:\\Bench\\Attn_log.ldf')");
        OdbcConnection db(server.odbcConnectionString("Attn"));
        db.execute(u"CREATE TABLE Ten (n INT NOT NULL)");
        db.execute(u"INSERT INTO Ten VALUES (0); INSERT INTO Ten VALUES (1); INSERT INTO Ten "
                   u"VALUES (2); INSERT INTO Ten VALUES (3); INSERT INTO Ten VALUES (4); INSERT "
                   u"INTO Ten VALUES (5); INSERT INTO Ten VALUES (6); INSERT INTO Ten VALUES (7); "
                   u"INSERT INTO Ten VALUES (8); INSERT INTO Ten VALUES (9)");
        db.execute(u"CREATE TABLE Big (n INT NOT NULL, label NVARCHAR(40) NOT NULL)");
        db.execute(u"INSERT INTO Big SELECT a.n + 10 * b.n + 100 * c.n + 1000 * d.n + 10000 * e.n, "
                   u"N'patient record number ' + CAST(a.n AS NVARCHAR(2)) FROM Ten a CROSS JOIN "
                   u"Ten b CROSS JOIN Ten c CROSS JOIN Ten d CROSS JOIN Ten e");

        RawClient c(uint16_t(server.port()));
        if (!c.login(u"sa", u16(server.saPassword()), u"Attn"))
            throw std::runtime_error("login failed");
        std::vector<double> waits;
        int answered = 0;
        for (int i = 0; i < cancels; ++i) {
            c.sendMessage(
                PacketType::SqlBatch,
                RawClient::sqlBatch(u"SELECT a.n, a.label, b.n FROM Big a CROSS JOIN Ten b"));
            RawClient::Response first;
            bool last = false;
            if (!c.readPacket(first, last) || last)
                throw std::runtime_error("no streamed rows");
            const auto sent = Clock::now();
            c.sendMessage(PacketType::Attention, {});
            const auto rest = c.readMessage(std::chrono::seconds(30), first);
            const auto ack = c.readMessage(std::chrono::seconds(30));
            if (!rest || !ack || !isAcknowledgement(*ack))
                throw std::runtime_error("no acknowledgement after cancel " + std::to_string(i));
            waits.push_back(seconds(sent) * 1000.0);
            c.sendMessage(PacketType::SqlBatch, RawClient::sqlBatch(u"SELECT 1"));
            if (c.readMessage())
                ++answered;
        }
        std::sort(waits.begin(), waits.end());
        const double median = waits.size() % 2
                                  ? waits[waits.size() / 2]
                                  : (waits[waits.size() / 2 - 1] + waits[waits.size() / 2]) / 2;
        std::printf("attention to acknowledgement over %d cancels while streaming: median %.2f ms, "
                    "maximum %.2f ms (target < 1000 ms); connection answered %d of %d times "
                    "afterwards\n",
                    cancels, median, waits.back(), answered, cancels);
        return waits.back() < 1000.0 && answered == cancels ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench failed: %s\n", e.what());
        return 1;
    }
}
