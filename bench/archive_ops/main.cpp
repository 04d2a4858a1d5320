// Creates a new-version archive and runs the structure test against a server on loopback,
// printing the wall time and the number of statements each sends. Without --server it starts
// a stand-in of its own (sqlserver-standin beside this program).
#include "BenchServer.h"
#include "ConnectionStrings.h"
#include "CountingProvider.h"
#include "DefineArchiveTables.h"
#include "ReportLog.h"
#include "ServerProvider.h"
#include "ServerStatements.h"
#include "Settings.h"
#include "TestArchiveStructure.h"
#include "TestResultRegistry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

using namespace sqllumo;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    testing::BenchServer target;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2)
        target.takeOption(args[i], args[i + 1]);
    if (QString error; !target.ready(error)) {
        out << "no server: " << error << Qt::endl
            << "usage: bench_archive_ops " << testing::BenchServer::kUsage << Qt::endl;
        return 1;
    }
    const QString &serverName = target.server, &user = target.user, &password = target.password;
    QTemporaryDir settingsFolder;
    Settings settings(Settings::fileIn(settingsFolder.path()));
    TestResultRegistry registry(settings);

    const auto real = server::MakeServerProvider();
    server::CountingProvider counting(*real);
    const QString database =
        QStringLiteral("BenchArchive_%1").arg(QCoreApplication::applicationPid());
    const QString cs = BuildConnectionString(serverName, database, user, password);
    try {
        auto master = real->newConnection();
        master->open(BuildConnectionString(serverName, "master", user, password));
        master->execute(server::CreateDatabaseStatement(database, "C:\\Lumeno SQL Database\\"));
        master->close();

        ReportBuffer report;
        QString errorText;
        auto catalog = counting.newCatalog();
        catalog->setActiveConnection(cs);
        QElapsedTimer clock;
        clock.start();
        const bool created = archive::DefineArchiveTables(database, cs, *catalog, true, errorText,
                                                          {counting, report, registry});
        const qint64 createMs = clock.elapsed();
        const server::SentCounts createCounts = counting.counts();
        counting.reset();

        auto testCatalog = counting.newCatalog();
        testCatalog->setActiveConnection(cs);
        clock.restart();
        const bool tested = archive::TestArchiveStructure(database, cs, *testCatalog, errorText,
                                                          {counting, report, registry});
        const qint64 testMs = clock.elapsed();
        const server::SentCounts testCounts = counting.counts();

        out << "server: " << serverName << Qt::endl;
        out << "create (new version): " << (created ? "ok" : "FAILED " + errorText) << ", "
            << createMs << " ms, " << createCounts.statements << " statements, "
            << createCounts.indexes << " index appends, " << createCounts.catalogueReads
            << " catalogue reads (target < 2000 ms)" << Qt::endl;
        out << "structure test: " << (tested ? "ok" : "FAILED " + errorText) << ", " << testMs
            << " ms, " << testCounts.statements << " statements, " << testCounts.catalogueReads
            << " catalogue reads (target < 1000 ms)" << Qt::endl;

        // The catalogues' connections use the database; SQL Server refuses to drop it until they
        // go.
        catalog.reset();
        testCatalog.reset();
        auto cleanup = real->newConnection();
        cleanup->open(BuildConnectionString(serverName, "master", user, password));
        cleanup->execute(server::DropDatabaseStatement(database));
        cleanup->close();
        return created && tested ? 0 : 1;
    } catch (const db::Error& e) {
        out << "error: " << db::ErrorText(e) << Qt::endl;
        return 1;
    }
}
