// Stand-in server over the real client path (unixODBC, FreeTDS, loopback TCP): single-row
// INSERT statements each in its own batch, and one SELECT streaming 100,000 rows.
// Targets: at least 5,000 statements/s; 100,000 rows fetched in under 1 s.
// Usage: bench_standin_tds [INSERTS] [ROWS] [ENCRYPTION]; ENCRYPTION is FreeTDS's keyword value
// for the measured connection (require: the whole session through TLS).
#include "BenchSupport.h"
#include "OdbcClient.h"
#include "StandinServer.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace standin::testing;
using namespace standin::bench;

int main(int argc, char** argv)
{
    const int inserts = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int selectRows = argc > 2 ? std::atoi(argv[2]) : 100000;
    const std::string encryption = argc > 3 ? argv[3] : "";
    try {
        StandinServer server;
        std::filesystem::create_directories(server.dataDir() / "C" / "Bench");
        OdbcConnection master(server.odbcConnectionString("master"));
        master.execute(
            u"CREATE DATABASE Bench ON (NAME = Bench, FILENAME = 'C:\\Bench\\Bench.mdf') "
            u"LOG ON (NAME = Bench_log, FILENAME = 'C:\\Bench\\Bench_log.ldf')");
        OdbcConnection db(server.odbcConnectionString("Bench") +
                          (encryption.empty() ? "" : ";Encryption=" + encryption + ";"));
        if (!encryption.empty())
            std::printf("connection with Encryption=%s\n", encryption.c_str());
        db.execute(u"CREATE TABLE T_Patient (ID_Patient INT IDENTITY(1,1) NOT NULL PRIMARY KEY, "
                   u"LastName NVARCHAR(50) NOT NULL, FirstName NVARCHAR(50) NULL, "
                   u"BirthDate DATETIME NULL, Sex TINYINT NULL, Active BIT NOT NULL)");

        auto start = Clock::now();
        for (int i = 0; i < inserts; ++i)
            db.execute(u"INSERT INTO T_Patient (LastName, FirstName, BirthDate, Sex, Active) "
                       u"VALUES (N'Rossi" +
                       u16(std::to_string(i)) + u"', N'Mario', '1970-01-01T10:20:30', 1, 1)");
        const double insertSeconds = seconds(start);
        std::printf("single-row INSERT batches: %d in %.3f s = %.0f statements/s (target >= "
                    "5000)\n",
                    inserts, insertSeconds, inserts / insertSeconds);

        // Fill up to the SELECT size with batches of many statements.
        for (int have = inserts; have < selectRows;) {
            std::u16string batch;
            for (int k = 0; k < 500 && have < selectRows; ++k, ++have)
                batch += u"INSERT INTO T_Patient (LastName, FirstName, BirthDate, Sex, Active) "
                         u"VALUES (N'Bianchi', NULL, '1980-05-06T07:08:09', 2, 0);\n";
            db.execute(batch);
        }

        start = Clock::now();
        OdbcStatement select(db);
        select.execDirect(u"SELECT * FROM T_Patient");
        long rows = 0, checksum = 0;
        while (select.fetch()) {
            ++rows;
            checksum += select.integer(1).value_or(0);
        }
        const double selectSeconds = seconds(start);
        std::printf("SELECT * streaming %ld rows: %.3f s = %.0f rows/s (target: %d rows in < 1 s)"
                    "%s\n",
                    rows, selectSeconds, rows / selectSeconds, selectRows,
                    checksum > 0 ? "" : " (no rows?)");
        return rows == selectRows ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        return 1;
    }
}
