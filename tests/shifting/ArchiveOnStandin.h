#pragma once
// An archive database made by the program's own creation code on a running stand-in, for the
// shifting tests and benchmark. What the creation records goes to a settings file in `folder`.

#include "ConnectionStrings.h"
#include "DefineArchiveTables.h"
#include "ReportLog.h"
#include "ServerProvider.h"
#include "ServerStatements.h"
#include "Settings.h"
#include "StandinServer.h"
#include "TestResultRegistry.h"

#include "Connection.h"

#include <filesystem>

namespace sqllumo::shifting::testing {

inline QString StandinConnectionString(const standin::testing::StandinServer& server,
                                       const QString& database)
{
    return BuildConnectionString(QString::fromStdString(server.serverName()), database,
                                 QStringLiteral("sa"), QString::fromStdString(server.saPassword()));
}

// False with error set when the archive could not be made.
inline bool CreateArchive(const standin::testing::StandinServer& server, const QString& database,
                          const QString& folder, QString& error)
{
    std::filesystem::create_directories(server.dataDir() / "C" / "Lumeno SQL Database");
    try {
        db::Connection master;
        master.open(StandinConnectionString(server, QStringLiteral("master")));
        master.execute(server::CreateDatabaseStatement(database, kDefaultDataDirectory));
        master.close();
        const auto provider = server::MakeServerProvider();
        auto catalog = provider->newCatalog();
        catalog->setActiveConnection(StandinConnectionString(server, database));
        ReportBuffer report;
        Settings settings(Settings::fileIn(folder));
        TestResultRegistry registry(settings);
        return archive::DefineArchiveTables(database, StandinConnectionString(server, database),
                                            *catalog, false, error, {*provider, report, registry});
    } catch (const std::exception& failure) {
        error = QString::fromUtf8(failure.what());
        return false;
    }
}

} // namespace sqllumo::shifting::testing
