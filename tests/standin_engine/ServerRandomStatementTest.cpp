// Bounded random statements against the server level: mutated forms of what the program sends
// must be answered (or declined) without a crash, each with one closing done, and must never
// make a file outside the data root.
#include "ServerTestSupport.h"

#include <cstdlib>
#include <random>
#include <set>

namespace fs = std::filesystem;

namespace standin::server::testing {
namespace {

const std::vector<std::u16string> kSeeds = {
    u"CREATE DATABASE Xa ON (NAME = Xa_Dat, FILENAME = 'C:\\Lumeno SQL Database\\Xadat.mdf') LOG "
    u"ON (NAME = Xa_Log, "
    u"FILENAME = 'C:\\Lumeno SQL Database\\Xalog.ldf')",
    u"CREATE DATABASE [Odd ]]Name] ON PRIMARY (NAME = 'o', FILENAME = N'/srv/o.mdf', SIZE = 10 MB, "
    u"MAXSIZE = UNLIMITED, "
    u"FILEGROWTH = 10%)",
    u"DROP DATABASE Xa",
    u"DROP DATABASE IF EXISTS Xa, Xb",
    u"BACKUP DATABASE Xa TO DISK='C:\\Backups\\xa.bak'",
    u"BACKUP DATABASE Xa TO DISK = N'xa.bak' WITH INIT, NAME = 'n', STATS = 5",
    u"RESTORE FILELISTONLY FROM DISK='C:\\Backups\\xa.bak' ",
    u"RESTORE DATABASE Xc FROM DISK='C:\\Backups\\xa.bak'WITH RECOVERY, MOVE 'Xa_Dat' TO "
    u"'C:\\Lumeno SQL "
    u"Database\\Xcdat.mdf', MOVE 'Xa_Log' TO 'C:\\Lumeno SQL Database\\Xclog.ldf'",
    u"RESTORE DATABASE Xa FROM DISK='xa.bak' WITH FILE = 2, REPLACE",
    u"sp_helpdb",
    u"EXEC sp_helpdb @dbname = N'Xa'",
    u"sp_databases",
    u"xp_logininfo",
    u"sp_grantlogin 'DOM\\user'",
    u"sp_addsrvrolemember 'DOM\\user','sysadmin'",
    u"EXECUTE master.dbo.sp_dropsrvrolemember @loginame = 'DOM\\user', @rolename = 'diskadmin'",
    u"sp_revokelogin 'DOM\\user'",
};

const std::vector<std::u16string> kFragments = {
    u"'",
    u"N'",
    u"[",
    u"]",
    u"\"",
    u"(",
    u")",
    u",",
    u"=",
    u";",
    u"..",
    u"\\..\\",
    u"/../",
    u"--",
    u"/*",
    u"*/",
    u" WITH ",
    u" MOVE ",
    u" TO ",
    u" FILE = ",
    u" REPLACE",
    u" LOG ON ",
    u" ON ",
    u"@x",
    u"NULL",
    u"0",
    u"99999999999999999999",
    u"\xD800",
    u"\xDFFF",
    u"\x0001",
    u"\u00E9",
    u"C:\\",
    u"/tmp/",
    u"\\\\srv\\share\\",
    u"master",
    u"tempdb",
    u" EXEC ",
    u"DISK=",
    u"DATABASE",
    std::u16string(1, u'\0'),
};

std::u16string mutate(std::u16string text, std::mt19937& random)
{
    const int edits = 1 + int(random() % 4);
    for (int e = 0; e < edits; ++e) {
        const size_t at = text.empty() ? 0 : random() % (text.size() + 1);
        switch (random() % 5) {
        case 0: // delete a run
            if (!text.empty())
                text.erase(at < text.size() ? at : text.size() - 1, 1 + random() % 8);
            break;
        case 1: // insert a fragment
            text.insert(at, kFragments[random() % kFragments.size()]);
            break;
        case 2: // replace one unit
            if (at < text.size())
                text[at] = char16_t(random() % 0x80);
            break;
        case 3: // cut the statement short
            text.resize(at);
            break;
        default: // splice another seed's tail
        {
            const std::u16string& other = kSeeds[random() % kSeeds.size()];
            text += other.substr(random() % other.size());
        } break;
        }
    }
    return text;
}

std::set<fs::path> entriesOf(const fs::path& directory)
{
    std::set<fs::path> entries;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(directory, ec))
        entries.insert(e.path());
    return entries;
}

TEST_F(ServerFixture, RandomStatementsAreAnsweredWithoutHarm)
{
    makeServerDirectory("C:\\Lumeno SQL Database\\");
    makeServerDirectory("C:\\Backups\\");
    const fs::path outside = root.path();
    const auto before = entriesOf(outside);
    const auto beforeTmp = entriesOf("/tmp");

    const char* env = std::getenv("SERVER_RANDOM_ITERATIONS");
    const int iterations = env ? std::atoi(env) : 20000;
    std::mt19937 random(20261207);
    int claimed = 0;
    for (int i = 0; i < iterations; ++i) {
        const std::u16string statement = i < int(kSeeds.size())
                                             ? kSeeds[size_t(i)]
                                             : mutate(kSeeds[random() % kSeeds.size()], random);
        ServerContext ctx = sa;
        ctx.inTransaction = random() % 10 == 0;
        ctx.firstInBatch = random() % 4 != 0;
        CollectingSink sink;
        const bool handled = catalog->tryExecute(statement, ctx, sink);
        const std::string shown = Narrow(statement);
        if (!handled) {
            ASSERT_TRUE(sink.order.empty()) << shown;
            continue;
        }
        ++claimed;
        ASSERT_FALSE(sink.dones.empty()) << shown;
        ASSERT_EQ(sink.order.back(), "done") << shown;
        int closing = 0;
        for (const auto& d : sink.dones)
            closing += d.kind != DoneInfo::Kind::InProcedure ? 1 : 0;
        ASSERT_EQ(closing, 1) << shown;
        const bool anyError = !sink.errorNumbers().empty();
        if (anyError && sink.dones.back().kind == DoneInfo::Kind::Statement) {
            ASSERT_TRUE(sink.dones.back().error) << shown;
        }
        for (const auto& m : sink.messages) {
            ASSERT_FALSE(m.text.empty()) << shown;
            ASSERT_NE(m.number, 0) << shown;
        }
    }
    EXPECT_GT(claimed, iterations / 4) << "mutations still reach the statements";
    EXPECT_EQ(entriesOf(outside), before) << "nothing appeared beside the data root";
    for (const auto& p : entriesOf("/tmp"))
        if (!beforeTmp.count(p)) {
            const std::string name = p.filename().string();
            EXPECT_EQ(name.find(".mdf"), std::string::npos) << p;
            EXPECT_EQ(name.find(".bak"), std::string::npos) << p;
        }
    // The server is still sound afterwards.
    auto list = run("sp_helpdb");
    ASSERT_EQ(list.results.size(), 1u);
    EXPECT_GE(list.results[0].rows.size(), 4u);
}

} // namespace
} // namespace standin::server::testing
