// The stand-in as real clients see it: tsql and the FreeTDS ODBC driver under unixODBC against
// a sqlserver-standin process on a free port with a fresh data folder.
#include "Hex.h"
#include "OdbcClient.h"
#include "RawClient.h"
#include "StandinServer.h"
#include "Tokens.h"
#include "TsqlRun.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sys/wait.h>
#include <thread>

using namespace standin::testing;

namespace {

std::u16string u16(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

// Creates a database whose files lie under the server's data folder.
void createDatabase(StandinServer& server, OdbcConnection& master, const std::string& name)
{
    std::filesystem::create_directories(server.dataDir() / "C" / "Data");
    master.execute(u"CREATE DATABASE " + u16(name) + u" ON (NAME = " + u16(name) +
                   u", FILENAME = 'C:\\Data\\" + u16(name) + u".mdf') LOG ON (NAME = " + u16(name) +
                   u"_log, FILENAME = 'C:\\Data\\" + u16(name) + u"_log.ldf')");
}

// Runs tsql with the statements on its input; the password travels in the environment of the
// shell only, never on a command line of ours that would show in a log.
ToolRun tsql(const StandinServer& s, const std::string& password, const std::string& input,
             const std::string& version = "7.4")
{
    const auto dir = std::filesystem::temp_directory_path();
    const auto in = dir / ("tsql-in-" + std::to_string(::getpid()) + ".sql");
    std::ofstream(in) << input;
    const std::string command = "TDSVER=" + version + " tsql -H " + s.host() + " -p " +
                                std::to_string(s.port()) + " -U sa -P \"$STANDIN_PW\" < " +
                                in.string() + " 2>&1";
    const ToolRun r = RunWithPassword(command, password);
    std::filesystem::remove(in);
    return r;
}

class ClientsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server_ = std::make_unique<StandinServer>();
        OdbcConnection master(server_->odbcConnectionString("master"));
        createDatabase(*server_, master, "Clients");
    }
    static void TearDownTestSuite() { server_.reset(); }
    static OdbcConnection connect()
    {
        return OdbcConnection(server_->odbcConnectionString("Clients"));
    }
    static std::unique_ptr<StandinServer> server_;
};
std::unique_ptr<StandinServer> ClientsTest::server_;

} // namespace

TEST_F(ClientsTest, TsqlLoginAcceptedAndRefused)
{
    const ToolRun ok = tsql(*server_, server_->saPassword(), "SELECT 40 + 2 AS answer\ngo\nexit\n");
    EXPECT_EQ(ok.status, 0) << ok.output;
    EXPECT_NE(ok.output.find("answer"), std::string::npos) << ok.output;
    EXPECT_NE(ok.output.find("42"), std::string::npos) << ok.output;

    const ToolRun refused = tsql(*server_, "not-the-password", "SELECT 1\ngo\nexit\n");
    EXPECT_NE(refused.status, 0) << refused.output;
    EXPECT_NE(refused.output.find("Login failed for user 'sa'."), std::string::npos)
        << refused.output;
    EXPECT_EQ(server_->log().find(server_->saPassword()), std::string::npos)
        << "the sa password appeared in the server log";
}

TEST_F(ClientsTest, EveryProtocolVersionFrom71GetsTypesItCanRead)
{
    // Before 7.2 the MAX types travel as NTEXT and IMAGE; from 7.3 NULLs as NBCROW.
    for (const char* version : {"7.1", "7.2", "7.3", "7.4"}) {
        const ToolRun r = tsql(*server_, server_->saPassword(),
                               "SELECT CAST(N'abc' AS NVARCHAR(MAX)) AS m, CAST(NULL AS INT) AS n, "
                               "CAST(0x0102 AS VARBINARY(MAX)) AS b, CAST(1 AS BIT) AS t\ngo\n"
                               "exit\n",
                               version);
        EXPECT_EQ(r.status, 0) << version << r.output;
        EXPECT_NE(r.output.find("abc\tNULL\t0102\t1"), std::string::npos)
            << version << ": " << r.output;
    }
}

TEST_F(ClientsTest, OdbcLoginRefusedWithServerNumbers)
{
    auto bad = server_->odbcConnectionString();
    bad.replace(bad.find("PWD={"), 5, "PWD={x");
    try {
        OdbcConnection c(bad);
        FAIL() << "a wrong password logged in";
    } catch (const OdbcError& e) {
        EXPECT_EQ(e.nativeError, 18456) << e.what();
    }
    try {
        OdbcConnection c(server_->odbcConnectionString("NoSuchDatabase"));
        FAIL() << "an unknown database was accepted";
    } catch (const OdbcError& e) {
        EXPECT_EQ(e.nativeError, 4060) << e.what();
    }
}

TEST_F(ClientsTest, EveryTypeRoundTripsWithNulls)
{
    auto db = connect();
    db.execute(u"CREATE TABLE AllTypes (id INT NOT NULL PRIMARY KEY, i INT NULL, s SMALLINT NULL, "
               u"t TINYINT NULL, b BIT NULL, d DATETIME NULL, n NVARCHAR(50) NULL, "
               u"img IMAGE NULL)");
    // Fifty code units of non-ASCII text, a surrogate pair among them.
    std::u16string text = u"\u00e8\u00e9\u20ac\u6f22\u5b57\U0001D11E";
    while (text.size() < 50)
        text += u'\u00f1';
    EXPECT_EQ(db.execute(u"INSERT INTO AllTypes VALUES (1, -2147483648, -32768, 255, 1, "
                         u"'2023-04-05T06:07:08.997', N'" +
                         text + u"', 0x00FF10)"),
              1);
    EXPECT_EQ(db.execute(u"INSERT INTO AllTypes VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL, "
                         u"NULL)"),
              1);

    OdbcStatement s(db);
    s.execDirect(u"SELECT id, i, s, t, b, d, n, img FROM AllTypes ORDER BY id");
    EXPECT_EQ(s.describe(2).type, SQL_INTEGER);
    EXPECT_EQ(s.describe(3).type, SQL_SMALLINT);
    EXPECT_EQ(s.describe(4).type, SQL_TINYINT);
    EXPECT_EQ(s.describe(5).type, SQL_BIT);
    EXPECT_EQ(s.describe(6).type, SQL_TYPE_TIMESTAMP);
    EXPECT_EQ(s.describe(7).type, SQL_WVARCHAR);
    EXPECT_EQ(s.describe(7).size, 50u);
    EXPECT_EQ(s.describe(8).type, SQL_LONGVARBINARY);
    ASSERT_TRUE(s.fetch());
    EXPECT_EQ(s.integer(2), -2147483648L);
    EXPECT_EQ(s.integer(3), -32768L);
    EXPECT_EQ(s.integer(4), 255L);
    EXPECT_EQ(s.integer(5), 1L);
    const auto d = s.timestamp(6);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->year, 2023);
    EXPECT_EQ(d->month, 4);
    EXPECT_EQ(d->day, 5);
    EXPECT_EQ(d->hour, 6);
    EXPECT_EQ(d->minute, 7);
    EXPECT_EQ(d->second, 8);
    EXPECT_EQ(d->fraction, 997000000u);
    EXPECT_EQ(s.wideText(7), text);
    EXPECT_EQ(s.bytes(8), (std::vector<uint8_t>{0x00, 0xFF, 0x10}));
    ASSERT_TRUE(s.fetch());
    for (int i = 2; i <= 8; ++i)
        EXPECT_FALSE(s.text(i)) << "column " << i << " should be NULL";
    EXPECT_FALSE(s.fetch());
}

TEST_F(ClientsTest, UnpairedSurrogatesTravelByteForByte)
{
    auto db = connect();
    db.execute(u"CREATE TABLE Cipher (id INT NOT NULL, c NVARCHAR(16) NULL)");
    // A cipher text: lone high and low surrogates, reversed pair, NUL.
    db.execute(u"INSERT INTO Cipher VALUES (1, CAST(0x00D84100FFDF00DC00D80000 AS NVARCHAR(16)))");
    OdbcStatement s(db);
    s.execDirect(u"SELECT CAST(c AS VARBINARY(MAX)) FROM Cipher WHERE id = 1");
    ASSERT_TRUE(s.fetch());
    EXPECT_EQ(toHex(*s.bytes(1)), "00 d8 41 00 ff df 00 dc 00 d8 00 00");

    // And as NVARCHAR on the wire, unchanged: the row token holds the same code units.
    RawClient raw(uint16_t(server_->port()));
    ASSERT_TRUE(raw.login(u"sa", u16(server_->saPassword()), u"Clients"));
    raw.sendMessage(standin::tds::PacketType::SqlBatch,
                    RawClient::sqlBatch(u"SELECT c FROM Cipher WHERE id = 1"));
    auto r = raw.readMessage();
    ASSERT_TRUE(r);
    EXPECT_NE(toHex(r->payload).find("d1 0c 00 00 d8 41 00 ff df 00 dc 00 d8 00 00"),
              std::string::npos)
        << toHex(r->payload);
}

// One prepared INSERT executed three times: FreeTDS sends sp_prepexec, then sp_execute with the
// handle it was given, then sp_unprepare.
TEST_F(ClientsTest, ParameterisedInsertThroughOdbc)
{
    auto db = connect();
    db.execute(u"CREATE TABLE Params (id INT NOT NULL PRIMARY KEY, name NVARCHAR(30) NULL, "
               u"data IMAGE NULL, flag BIT NULL)");
    {
        OdbcStatement ins(db);
        ins.prepare(u"INSERT INTO Params (id, name, data, flag) VALUES (?, ?, ?, ?)");
        SQLINTEGER id = 0;
        char16_t name[31] = {0};
        uint8_t data[3] = {1, 2, 3};
        unsigned char flag = 1;
        SQLLEN idInd = 0, nameInd = SQL_NTS, dataInd = 3, flagInd = 0;
        SQLBindParameter(ins.handle(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0,
                         &idInd);
        SQLBindParameter(ins.handle(), 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 30, 0, name,
                         sizeof name, &nameInd);
        SQLBindParameter(ins.handle(), 3, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 3, 0,
                         data, 3, &dataInd);
        SQLBindParameter(ins.handle(), 4, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 0, 0, &flag, 0,
                         &flagInd);
        const std::u16string names[] = {u"Zo\u00eb", u"O'Brien", u""};
        for (int i = 0; i < 3; ++i) {
            id = i + 1;
            std::fill(std::begin(name), std::end(name), u'\0');
            std::copy(names[i].begin(), names[i].end(), name);
            nameInd = i == 2 ? SQL_NULL_DATA : SQL_NTS;
            data[0] = uint8_t(10 + i);
            ins.execute();
            EXPECT_EQ(ins.rowCount(), 1);
        }
    }
    OdbcStatement s(db);
    s.execDirect(u"SELECT id, name, data, flag FROM Params ORDER BY id");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(s.fetch());
        EXPECT_EQ(s.integer(1), long(i + 1));
        const auto name = s.wideText(2);
        if (i == 0) {
            EXPECT_EQ(name, std::u16string(u"Zo\u00eb"));
        } else if (i == 1) {
            EXPECT_EQ(name, std::u16string(u"O'Brien"));
        } else {
            EXPECT_FALSE(name);
        }
        EXPECT_EQ(s.bytes(3), (std::vector<uint8_t>{uint8_t(10 + i), 2, 3}));
        EXPECT_EQ(s.integer(4), 1L);
    }
    EXPECT_FALSE(s.fetch());
}

TEST_F(ClientsTest, TimestampParameterThroughOdbc)
{
    auto db = connect();
    db.execute(u"CREATE TABLE Stamps (id INT NOT NULL, born DATETIME NULL)");
    OdbcStatement ins(db);
    ins.prepare(u"INSERT INTO Stamps (id, born) VALUES (1, ?)");
    SQL_TIMESTAMP_STRUCT born{1999, 12, 31, 23, 59, 58, 500000000};
    SQLLEN bornInd = 0;
    SQLBindParameter(ins.handle(), 1, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23,
                     3, &born, 0, &bornInd);
    ins.execute();
    OdbcStatement s(db);
    s.execDirect(u"SELECT born FROM Stamps WHERE id = 1");
    ASSERT_TRUE(s.fetch());
    const auto t = s.timestamp(1);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->year, 1999);
    EXPECT_EQ(t->hour, 23);
    EXPECT_EQ(t->second, 58);
    EXPECT_EQ(t->fraction, 500000000u);
}

TEST_F(ClientsTest, ErrorsArriveWithSqlServerNumbers)
{
    auto db = connect();
    db.execute(u"CREATE TABLE Errs (id INT NOT NULL PRIMARY KEY, n NVARCHAR(3) NULL)");
    db.execute(u"INSERT INTO Errs VALUES (1, N'a')");
    const std::pair<std::u16string, long> cases[] = {
        {u"SELECT * FROM NoSuchTable", 208},
        {u"SELECT nosuch FROM Errs", 207},
        {u"INSERT INTO Errs VALUES (1, N'b')", 2627},
        {u"INSERT INTO Errs VALUES (NULL, N'b')", 515},
        {u"INSERT INTO Errs VALUES (2, N'abcd')", 8152},
        {u"SELECT 1 +", 102},
        {u"SELEC 1", 2812},
    };
    for (const auto& [sql, number] : cases) {
        try {
            db.execute(sql);
            ADD_FAILURE() << "no error for statement " << number;
        } catch (const OdbcError& e) {
            EXPECT_EQ(e.nativeError, number) << e.what();
        }
    }
    // Nothing of the refused statements was written.
    EXPECT_EQ(db.query(u"SELECT COUNT(*) FROM Errs")[0][0], std::optional<std::string>("1"));
}

TEST_F(ClientsTest, CatalogueProceduresShowTheirDocumentedColumns)
{
    auto db = connect();
    db.execute(u"CREATE TABLE Parent (ID_Parent INT NOT NULL PRIMARY KEY, Name NVARCHAR(20))");
    db.execute(u"CREATE TABLE Child (ID_Child INT NOT NULL PRIMARY KEY, ID_Parent INT NULL "
               u"REFERENCES Parent (ID_Parent))");
    db.execute(u"CREATE INDEX IX_Child_1 ON Child (ID_Parent)");
    auto columnsOf = [&](const std::u16string& sql) {
        OdbcStatement s(db);
        s.execDirect(sql);
        std::vector<std::string> names;
        for (int i = 1; i <= s.columns(); ++i)
            names.push_back(s.describe(i).name);
        return names;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(
        columnsOf(u"EXEC sp_pkeys N'Parent'"),
        (V{"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "COLUMN_NAME", "KEY_SEQ", "PK_NAME"}));
    EXPECT_EQ(columnsOf(u"EXEC sp_fkeys N'Parent'"),
              (V{"PKTABLE_QUALIFIER", "PKTABLE_OWNER", "PKTABLE_NAME", "PKCOLUMN_NAME",
                 "FKTABLE_QUALIFIER", "FKTABLE_OWNER", "FKTABLE_NAME", "FKCOLUMN_NAME", "KEY_SEQ",
                 "UPDATE_RULE", "DELETE_RULE", "FK_NAME", "PK_NAME", "DEFERRABILITY"}));
    EXPECT_EQ(columnsOf(u"EXEC sp_helpindex N'Child'"),
              (V{"index_name", "index_description", "index_keys"}));
    const auto keys = db.query(u"EXEC sp_pkeys N'Parent'");
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0][3], std::optional<std::string>("ID_Parent"));
    EXPECT_EQ(keys[0][4], std::optional<std::string>("1"));
}

TEST_F(ClientsTest, TwoClientsAtOnce)
{
    {
        auto db = connect();
        db.execute(u"CREATE TABLE Shared (who INT NOT NULL, n INT NOT NULL)");
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> clients;
    for (int who = 1; who <= 2; ++who)
        clients.emplace_back([&, who] {
            try {
                auto db = connect();
                for (int n = 0; n < 300; ++n)
                    db.execute(u"INSERT INTO Shared VALUES (" + u16(std::to_string(who)) + u", " +
                               u16(std::to_string(n)) + u")");
                if (db.query(u"SELECT COUNT(*) FROM Shared WHERE who = " +
                             u16(std::to_string(who)))[0][0] != std::optional<std::string>("300"))
                    ++failures;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "client %d: %s\n", who, e.what());
                ++failures;
            }
        });
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    auto db = connect();
    EXPECT_EQ(db.query(u"SELECT COUNT(*) FROM Shared")[0][0], std::optional<std::string>("600"));
}

TEST_F(ClientsTest, LargeResultsStreamAcrossPackets)
{
    auto db = connect();
    db.execute(u"CREATE TABLE Wide (id INT NOT NULL, txt NVARCHAR(200) NOT NULL)");
    std::u16string batch;
    for (int i = 0; i < 3000; ++i)
        batch += u"INSERT INTO Wide VALUES (" + u16(std::to_string(i)) + u", N'" +
                 std::u16string(150, u'a' + char16_t(i % 26)) + u"');\n";
    db.execute(batch);
    OdbcStatement s(db);
    s.execDirect(u"SELECT id, txt FROM Wide ORDER BY id");
    int n = 0;
    while (s.fetch()) {
        EXPECT_EQ(s.integer(1), long(n));
        EXPECT_EQ(s.wideText(2), std::u16string(150, u'a' + char16_t(n % 26)));
        ++n;
    }
    EXPECT_EQ(n, 3000);
}

TEST_F(ClientsTest, LargeValuesTravelInManyPacketsBothWays)
{
    auto db = connect();
    db.execute(u"CREATE TABLE Big (id INT NOT NULL, img IMAGE NULL, txt NVARCHAR(MAX) NULL)");
    // A request of about 4 MiB (1 MiB of bytes as hex, in UTF-16) and values far beyond one
    // packet on the way back.
    std::vector<uint8_t> image(1 << 20);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = uint8_t((i * 2654435761u) >> 13);
    static const char* digits = "0123456789ABCDEF";
    std::u16string hex;
    for (uint8_t b : image) {
        hex += char16_t(digits[b >> 4]);
        hex += char16_t(digits[b & 15]);
    }
    std::u16string text;
    for (int i = 0; i < 100000; ++i)
        text += char16_t(0x4E00 + i % 5000);
    EXPECT_EQ(db.execute(u"INSERT INTO Big VALUES (1, 0x" + hex + u", N'" + text + u"')"), 1);
    OdbcStatement s(db);
    s.execDirect(u"SELECT img, txt FROM Big WHERE id = 1");
    ASSERT_TRUE(s.fetch());
    EXPECT_EQ(s.bytes(1), image);
    EXPECT_EQ(s.wideText(2), text);
}

TEST_F(ClientsTest, QueryTimeoutCancelsAWaitingStatementThroughAttention)
{
    auto holder = connect();
    holder.execute(u"CREATE TABLE Locked (n INT NOT NULL)");
    holder.execute(u"BEGIN TRANSACTION");
    holder.execute(u"INSERT INTO Locked VALUES (1)");

    // The second client waits for the first one's transaction; its driver gives up after a
    // second and sends attention, which must stop the wait and be acknowledged.
    auto waiter = connect();
    OdbcStatement s(waiter);
    SQLSetStmtAttr(s.handle(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
    const auto start = std::chrono::steady_clock::now();
    try {
        s.execDirect(u"INSERT INTO Locked VALUES (2)");
        ADD_FAILURE() << "the insert did not wait for the open transaction";
    } catch (const OdbcError& e) {
        EXPECT_EQ(e.sqlState, "HYT00") << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    holder.execute(u"COMMIT TRANSACTION");

    // Both connections go on working; the cancelled insert left nothing behind.
    OdbcStatement after(waiter);
    after.execDirect(u"SELECT COUNT(*) FROM Locked");
    ASSERT_TRUE(after.fetch());
    EXPECT_EQ(after.integer(1), 1L);
}

TEST(ServerLifecycle, KilledDuringInsertsKeepsEveryAnsweredInsert)
{
    StandinServer server;
    {
        OdbcConnection master(server.odbcConnectionString("master"));
        createDatabase(server, master, "Crash");
        OdbcConnection db(server.odbcConnectionString("Crash"));
        db.execute(u"CREATE TABLE Log (n INT NOT NULL PRIMARY KEY, txt NVARCHAR(40) NULL)");
    }
    std::mutex mutex;
    std::set<int> answered;
    std::thread writer([&] {
        try {
            OdbcConnection db(server.odbcConnectionString("Crash"));
            for (int n = 0;; ++n) {
                db.execute(u"INSERT INTO Log VALUES (" + u16(std::to_string(n)) + u", N'row')");
                std::lock_guard lock(mutex);
                answered.insert(n);
            }
        } catch (const std::exception&) {
            // The server went away mid-stream: expected.
        }
    });
    for (int waited = 0; waited < 200; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::lock_guard lock(mutex);
        if (answered.size() > 200)
            break;
    }
    server.kill();
    writer.join();
    ASSERT_GT(answered.size(), 0u);

    server.start();
    OdbcConnection db(server.odbcConnectionString("Crash"));
    std::set<int> present;
    for (const auto& row : db.query(u"SELECT n FROM Log"))
        present.insert(std::stoi(*row[0]));
    for (int n : answered)
        ASSERT_TRUE(present.count(n)) << "answered insert " << n << " lost";
    // Still writable after the crash.
    EXPECT_EQ(db.execute(u"INSERT INTO Log VALUES (-1, N'after')"), 1);
}

TEST(ServerLifecycle, TerminationIsOrderlyAndTheDataFolderIsPrivate)
{
    StandinServer server;
    struct stat st {};
    ASSERT_EQ(::stat((server.dataDir() / "sa-password").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600);
    {
        OdbcConnection db(server.odbcConnectionString("master"));
        EXPECT_EQ(db.query(u"SELECT 1")[0][0], std::optional<std::string>("1"));
        const int status = server.stop();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << server.log();
    }
    // The same password comes back on the next start.
    const std::string password = server.saPassword();
    server.start();
    EXPECT_EQ(server.saPassword(), password);
    OdbcConnection again(server.odbcConnectionString("master"));
    EXPECT_EQ(again.query(u"SELECT 2")[0][0], std::optional<std::string>("2"));
}

TEST(ServerLifecycle, PasswordFromAFileReplacesTheGeneratedOne)
{
    const auto file =
        std::filesystem::temp_directory_path() / ("standin-pw-" + std::to_string(::getpid()));
    std::ofstream(file) << "Given#Pass9\n";
    StandinServer::Options options;
    options.extraArguments = {"--sa-password-file", file.string()};
    StandinServer server(options);
    std::filesystem::remove(file);
    EXPECT_EQ(server.saPassword(), "Given#Pass9");
    OdbcConnection db(server.odbcConnectionString("master"));
    EXPECT_EQ(db.query(u"SELECT 3")[0][0], std::optional<std::string>("3"));
    EXPECT_EQ(server.log().find("Given#Pass9"), std::string::npos);
}

TEST(ServerLifecycle, TerminationLetsTheRunningBatchFinish)
{
    StandinServer server;
    {
        OdbcConnection master(server.odbcConnectionString("master"));
        createDatabase(server, master, "Finish");
        OdbcConnection db(server.odbcConnectionString("Finish"));
        db.execute(u"CREATE TABLE Rows (n INT NOT NULL)");
    }
    std::u16string batch;
    for (int i = 0; i < 20000; ++i)
        batch += u"INSERT INTO Rows VALUES (" + u16(std::to_string(i)) + u");\n";
    std::atomic<bool> answered{false};
    std::thread client([&] {
        try {
            OdbcConnection db(server.odbcConnectionString("Finish"));
            db.execute(batch);
            answered = true;
        } catch (const std::exception&) {
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int status = server.stop(std::chrono::seconds(60));
    client.join();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << server.log();
    server.start();
    OdbcConnection db(server.odbcConnectionString("Finish"));
    const auto count = db.query(u"SELECT COUNT(*) FROM Rows")[0][0];
    // The batch either ran to its end (and was answered) or had not started.
    if (answered) {
        EXPECT_EQ(count, std::optional<std::string>("20000"));
    } else {
        EXPECT_TRUE(count == std::optional<std::string>("20000") ||
                    count == std::optional<std::string>("0"))
            << *count;
    }
}
