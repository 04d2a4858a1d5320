// Attention against the stand-in process, read packet by packet as a bare client reads it:
// whatever the query was doing, its response ends, the acknowledgement follows within a second
// as a message of its own with nothing after it, and the connection serves the next batch.
#include "Hex.h"
#include "OdbcClient.h"
#include "RawClient.h"
#include "StandinServer.h"
#include "Tokens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

using namespace standin::testing;
using namespace standin::tds;
using Clock = std::chrono::steady_clock;

namespace {

const char* const AckHex = "fd 20 00 00 00 00 00 00 00 00 00 00 00";

std::u16string u16(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

class AttentionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server_ = std::make_unique<StandinServer>();
        std::filesystem::create_directories(server_->dataDir() / "C" / "Data");
        OdbcConnection master(server_->odbcConnectionString("master"));
        master.execute(u"CREATE DATABASE Attn ON (NAME = Attn, FILENAME = 'C:\\Data\\Attn.mdf') "
                       u"LOG ON (NAME = Attn_log, FILENAME = 'C:\\Data\\Attn_log.ldf')");
        OdbcConnection db(server_->odbcConnectionString("Attn"));
        db.execute(u"CREATE TABLE Ten (n INT NOT NULL)");
        std::u16string ten;
        for (int i = 0; i < 10; ++i)
            ten += u"INSERT INTO Ten VALUES (" + u16(std::to_string(i)) + u");\n";
        db.execute(ten);
        // 100,000 rows with a little text each, so a streamed cross join with Ten is far more
        // than the sockets hold.
        db.execute(u"CREATE TABLE Big (n INT NOT NULL, label NVARCHAR(40) NOT NULL)");
        db.execute(u"INSERT INTO Big SELECT a.n + 10 * b.n + 100 * c.n + 1000 * d.n + 10000 * e.n, "
                   u"N'patient record number ' + CAST(a.n AS NVARCHAR(2)) FROM Ten a CROSS JOIN "
                   u"Ten b CROSS JOIN Ten c CROSS JOIN Ten d CROSS JOIN Ten e");
        ASSERT_EQ(db.query(u"SELECT COUNT(*) FROM Big")[0][0],
                  std::optional<std::string>("100000"));
    }
    static void TearDownTestSuite() { server_.reset(); }

    static std::unique_ptr<RawClient> loggedIn()
    {
        auto c = std::make_unique<RawClient>(uint16_t(server_->port()));
        const std::string& pw = server_->saPassword();
        auto r = c->login(u"sa", u16(pw), u"Attn");
        EXPECT_TRUE(r && std::find(r->payload.begin(), r->payload.end(), token::LoginAck) !=
                             r->payload.end());
        return c;
    }

    static bool endsWithDone(const std::vector<uint8_t>& p, uint16_t status)
    {
        if (p.size() < 13)
            return false;
        const size_t at = p.size() - 13;
        return p[at] == token::Done && uint16_t(p[at + 1] | (p[at + 2] << 8)) == status;
    }

    // After the attention: the response read to its end (it may already have begun in
    // `begun`), then the acknowledgement on its own, then silence and a working connection.
    // Returns the response.
    static RawClient::Response cancelAndCheck(RawClient& c, const RawClient::Response& begun,
                                              const std::string& what)
    {
        const auto sent = Clock::now();
        EXPECT_TRUE(c.sendMessage(PacketType::Attention, {})) << what;
        auto response = c.readMessage(std::chrono::seconds(10), begun);
        EXPECT_TRUE(response) << what << ": the response did not end";
        if (!response)
            return {};
        EXPECT_TRUE(endsWithDone(response->payload, done::Error))
            << what << ": " << toHex(response->payload).substr(0, 200);
        auto ack = c.readMessage(std::chrono::seconds(10));
        const auto acknowledged = Clock::now();
        EXPECT_TRUE(ack) << what << ": no acknowledgement";
        if (!ack)
            return *response;
        EXPECT_EQ(toHex(ack->payload), AckHex) << what;
        EXPECT_LT(acknowledged - sent, std::chrono::seconds(1)) << what;
        EXPECT_TRUE(c.silentFor(std::chrono::milliseconds(300)))
            << what << ": something came after the acknowledgement";

        c.sendMessage(PacketType::SqlBatch, RawClient::sqlBatch(u"SELECT 1"));
        auto one = c.readMessage();
        EXPECT_TRUE(one) << what;
        if (one) {
            // A single INT row (value 1) and the DONE with its count of one row.
            const std::string hex = toHex(one->payload);
            const std::string tail = "d1 04 01 00 00 00 fd 10 00 00 00 01 00 00 00 00 00 00 00";
            EXPECT_TRUE(hex.size() > tail.size() && hex.ends_with(tail)) << what << ": " << hex;
        }
        EXPECT_TRUE(server_->running()) << what << "\n" << server_->log();
        return *response;
    }

    static std::unique_ptr<StandinServer> server_;
};
std::unique_ptr<StandinServer> AttentionTest::server_;

} // namespace

TEST_F(AttentionTest, CancelOnTheFirstRowOfAStreamingCrossJoin)
{
    auto c = loggedIn();
    for (int round = 0; round < 3; ++round) {
        c->sendMessage(
            PacketType::SqlBatch,
            RawClient::sqlBatch(u"SELECT a.n, a.label, b.n FROM Big a CROSS JOIN Ten b"));
        RawClient::Response begun;
        bool last = false;
        ASSERT_TRUE(c->readPacket(begun, last));
        ASSERT_FALSE(last) << "the whole result fitted one packet";
        ASSERT_EQ(begun.payload[0], token::ColMetadata);
        const auto response =
            cancelAndCheck(*c, begun, "streaming, round " + std::to_string(round));
        // Far fewer than the million rows went out: the server stopped producing them.
        EXPECT_LT(response.payload.size(), size_t(20) * 1000 * 1000);
    }
}

TEST_F(AttentionTest, CancelBeforeTheFirstRowOfASlowCount)
{
    auto c = loggedIn();
    for (int round = 0; round < 2; ++round) {
        c->sendMessage(PacketType::SqlBatch,
                       RawClient::sqlBatch(u"SELECT COUNT(*) FROM Big a CROSS JOIN Big b"));
        EXPECT_TRUE(c->silentFor(std::chrono::milliseconds(700))) << "the count came back early";
        const auto response = cancelAndCheck(*c, {}, "counting, round " + std::to_string(round));
        EXPECT_EQ(toHex(response.payload), "fd 02 00 00 00 00 00 00 00 00 00 00 00");
    }
}

TEST_F(AttentionTest, CancelWhileSortingGroupingFilteringOrWaiting)
{
    const std::u16string sorted = u"SELECT a.n, b.n FROM Big a CROSS JOIN Ten b";
    const std::u16string order = u" ORDER BY b.n DESC, a.n DESC";
    auto c = loggedIn();
    // When the sort runs depends on the machine: a tenth of the rows is collected, sorted and
    // sent in `tenth`. All of them take about ten times as long to collect, and longer than ten
    // times as long to sort, which takes the larger part: six times `tenth` falls in the sort.
    // The quickest of three timings, so a burst of load elsewhere cannot stretch `tenth` past
    // the whole query's time.
    auto tenth = std::chrono::milliseconds::max();
    for (int timing = 0; timing < 3; ++timing) {
        const auto begun = Clock::now();
        c->sendMessage(PacketType::SqlBatch,
                       RawClient::sqlBatch(sorted + u" WHERE b.n = 0" + order));
        ASSERT_TRUE(c->readMessage(std::chrono::seconds(60)));
        tenth = std::min(
            tenth, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begun));
    }
    struct Case {
        std::u16string sql;
        std::chrono::milliseconds delay;
        const char* what;
    } cases[] = {
        {u"WAITFOR DELAY '00:00:30'", std::chrono::milliseconds(300), "waiting"},
        {sorted + order, std::chrono::milliseconds(300), "collecting rows to sort"},
        {sorted + order, 6 * tenth, "sorting"},
        {u"SELECT b.n, COUNT(*), MAX(a.label) FROM Big a CROSS JOIN Big b GROUP BY b.n",
         std::chrono::milliseconds(700), "grouping"},
        // An ON clause that rejects every pair: no row ever reaches the output.
        {u"SELECT a.n FROM Big a JOIN Big b ON a.n < 0", std::chrono::milliseconds(700),
         "joining without a match"},
        {u"SELECT DISTINCT a.label, b.n, a.n FROM Big a CROSS JOIN Ten b",
         std::chrono::milliseconds(700), "distinct rows"},
    };
    for (const auto& k : cases) {
        c->sendMessage(PacketType::SqlBatch, RawClient::sqlBatch(k.sql));
        EXPECT_TRUE(c->silentFor(k.delay)) << k.what << ": answered before it was cancelled";
        cancelAndCheck(*c, {}, k.what);
    }
    printf("%s", server_->log().c_str());
}
