// The server level's leases over a real registry file: what a statement claims is given back on
// every path out, a wait for a held database ends when it is let go, and a claim on a database
// that is gone never touches the one that takes its id next.
#include "ServerTestSupport.h"
#include "server/Leases.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace standin;
using namespace standin::server;
using standin::server::testing::TemporaryRoot;

namespace {

class LeasesTest : public ::testing::Test {
protected:
    void SetUp() override { leases.lock().registry().open(root.path() / "registry.sqlite"); }

    DatabaseEntry registerDatabase(int32_t dbid, const std::u16string& name)
    {
        DatabaseEntry e;
        e.dbid = dbid;
        e.name = name;
        e.dataFile = root.path() / (std::string(name.begin(), name.end()) + ".mdf");
        e.logFile = root.path() / (std::string(name.begin(), name.end()) + "_log.ldf");
        leases.lock().registry().putDatabase(e);
        return e;
    }

    TemporaryRoot root;
    Leases leases;
};

} // namespace

TEST_F(LeasesTest, ClaimsAreGivenBackWhenTheyGoOutOfScope)
{
    const fs::path file = root.path() / "new.mdf";
    {
        std::optional<NameClaim> name;
        FileClaims files(leases);
        FileClaims other(leases);
        auto guard = leases.lock();
        name.emplace(guard, u"NEWDB");
        EXPECT_TRUE(guard.nameReserved(u"NEWDB"));
        EXPECT_TRUE(files.claim(guard, file, u"NewDb"));
        // A second statement cannot claim the same file meanwhile, and gives back only its own.
        EXPECT_FALSE(other.claim(guard, file, u"Other"));
        ASSERT_EQ(guard.reservedFiles().size(), 1u);
        EXPECT_EQ(guard.reservedFiles().begin()->second, u"NewDb");
        // The guard goes first (declared last): the claims lock on their way out.
    }
    auto guard = leases.lock();
    EXPECT_FALSE(guard.nameReserved(u"NEWDB"));
    EXPECT_TRUE(guard.reservedFiles().empty());
}

TEST_F(LeasesTest, HoldsAndExclusiveUseMarkTheDatabaseInUseUntilReleased)
{
    const DatabaseEntry e = registerDatabase(5, u"Archive");
    {
        std::optional<DatabaseHold> hold;
        std::optional<ExclusiveUse> exclusive;
        {
            auto guard = leases.lock();
            EXPECT_FALSE(guard.inUse(e.dbid));
            hold.emplace(guard, e.dbid);
            exclusive.emplace(guard, e.dbid);
            EXPECT_TRUE(guard.inUse(e.dbid));
            EXPECT_TRUE(guard.busy(e.dbid));
        }
        exclusive.reset();
        EXPECT_FALSE(leases.lock().busy(e.dbid));
        EXPECT_TRUE(leases.lock().inUse(e.dbid));
    }
    EXPECT_FALSE(leases.lock().inUse(e.dbid));
}

TEST_F(LeasesTest, WaitForAHeldDatabaseEndsWhenItsHolderLetsGo)
{
    const DatabaseEntry e = registerDatabase(5, u"Archive");
    std::optional<DatabaseHold> hold;
    {
        auto guard = leases.lock();
        hold.emplace(guard, e.dbid);
    }
    std::thread holder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        hold.reset();
    });
    const RegisteredDatabase* found = nullptr;
    bool stillInUse = true;
    {
        auto guard = leases.lock();
        found = guard.waitUntilFree(u"archive");
        stillInUse = found && guard.inUse(found->entry.dbid);
    }
    holder.join();
    ASSERT_NE(found, nullptr);
    EXPECT_FALSE(stillInUse);

    // A database dropped while waiting is reported gone, not in use.
    {
        auto guard = leases.lock();
        hold.emplace(guard, e.dbid);
    }
    std::thread dropper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        auto guard = leases.lock();
        guard.removeDatabase(e.dbid);
        guard.release(e.dbid);
    });
    {
        auto guard = leases.lock();
        found = guard.waitUntilFree(u"Archive");
    }
    dropper.join();
    EXPECT_EQ(found, nullptr);
}

TEST_F(LeasesTest, ExclusiveUseOfADroppedDatabaseLeavesItsIdsNextOwnerAlone)
{
    const DatabaseEntry dropped = registerDatabase(5, u"Old");
    std::optional<ExclusiveUse> dropping;
    {
        auto guard = leases.lock();
        dropping.emplace(guard, dropped.dbid);
        guard.removeDatabase(dropped.dbid);
    }
    dropping->forget();
    // The id goes to the next database, which a restore now has to itself.
    const int32_t freed = leases.lock().registry().nextDbid();
    const DatabaseEntry next = registerDatabase(freed, u"New");
    ASSERT_EQ(next.dbid, dropped.dbid);
    std::optional<ExclusiveUse> restoring;
    {
        auto guard = leases.lock();
        restoring.emplace(guard, next.dbid);
    }
    dropping.reset();
    EXPECT_TRUE(leases.lock().busy(next.dbid));
    restoring.reset();
    EXPECT_FALSE(leases.lock().busy(next.dbid));
}

TEST_F(LeasesTest, PendingFilesOutliveOnlyAnInterruptedStatement)
{
    const DatabaseEntry kept = registerDatabase(5, u"Kept");
    const fs::path orphan = root.path() / "orphan.mdf";
    std::ofstream(orphan) << "half made";
    std::ofstream(kept.dataFile) << "registered";
    {
        PendingFiles finished(leases, {root.path() / "finished.mdf"});
    }
    // As a crash leaves them: noted, never forgotten.
    leases.lock().registry().notePendingFiles({orphan, kept.dataFile});

    const auto removed = leases.lock().registry().removeAbandonedFiles();
    EXPECT_EQ(removed, std::vector<fs::path>{orphan});
    EXPECT_FALSE(fs::exists(orphan));
    EXPECT_TRUE(fs::exists(kept.dataFile));
    // Nothing is noted any more: a second start removes nothing.
    EXPECT_TRUE(leases.lock().registry().removeAbandonedFiles().empty());
}
