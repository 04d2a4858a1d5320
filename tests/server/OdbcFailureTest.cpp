// The real driver against a port where nothing listens: the failure is a connection failure,
// numbered as such, and it comes at once instead of hanging the window.
#include "ArchiveCatalogue.h"
#include "ConnectionStrings.h"
#include "ServerProvider.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <gtest/gtest.h>

using namespace sqllumo;

namespace {
// A port that was free a moment ago.
quint16 closedPort()
{
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
} // namespace

TEST(OdbcFailure, NothingListeningIsAConnectionFailureWithinTheLoginTimeout)
{
    const auto provider = server::MakeServerProvider();
    const QString target = QStringLiteral("127.0.0.1,%1").arg(closedPort());
    QElapsedTimer clock;
    clock.start();
    auto connection = provider->newConnection();
    try {
        connection->open(BuildConnectionString(target, "master", "sa", "x"));
        ADD_FAILURE() << "a connection opened where nothing listens";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.number(), db::kConnectionFailed);
        EXPECT_FALSE(e.description().isEmpty());
        EXPECT_FALSE(e.description().startsWith('[')) << e.description().toStdString();
    }
    auto catalog = provider->newCatalog();
    try {
        catalog->setActiveConnection(BuildConnectionString(target, "Archive", "sa", "x"));
        ADD_FAILURE() << "a catalogue bound where nothing listens";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.number(), db::kConnectionFailed);
    }
    EXPECT_LT(clock.elapsed(), 15000);
    // A closed connection refuses statements instead of crashing.
    try {
        connection->execute("SELECT 1");
        ADD_FAILURE() << "a statement ran on a closed connection";
    } catch (const db::Error& e) {
        EXPECT_EQ(e.number(), db::kClosedObject);
    }
}
