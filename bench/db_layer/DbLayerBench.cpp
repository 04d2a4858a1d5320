// Statement rates of the database layer against a stand-in on loopback: single-row INSERTs
// through Connection::execute, and a keyset recordset walking and updating every row. Prints
// statements per second and this process's resident memory along the way.
#include "Connection.h"
#include "ConnectionStrings.h"
#include "Recordset.h"
#include "StandinServer.h"

#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

using namespace sqllumo;

namespace {

long residentKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    standin::testing::StandinServer server;
    const QString name = QString::fromStdString(server.serverName());
    const QString password = QString::fromStdString(server.saPassword());
    {
        db::Connection master;
        master.open(BuildConnectionString(name, "master", "sa", password));
        master.execute("CREATE DATABASE DbLayerBench");
    }
    db::Connection c;
    c.open(BuildConnectionString(name, "DbLayerBench", "sa", password));
    c.execute(
        "CREATE TABLE T_Bench( ID INT IDENTITY(1,1) CONSTRAINT PrimaryKey_T_Bench PRIMARY KEY, "
        "Name NVARCHAR(50) NOT NULL, N INT NOT NULL )");
    std::printf("rows: %d\n", rows);
    std::printf("resident before: %ld KiB\n", residentKiB());

    QElapsedTimer clock;
    clock.start();
    long halfway = 0;
    for (int i = 0; i < rows; ++i) {
        c.execute(QStringLiteral("INSERT INTO T_Bench(Name, N) VALUES (N'row %1', %1)").arg(i));
        if (i == rows / 2)
            halfway = residentKiB();
    }
    const double insertSeconds = clock.elapsed() / 1000.0;
    std::printf("execute INSERT: %d statements in %.2f s = %.0f statements/s\n", rows,
                insertSeconds, rows / insertSeconds);
    std::printf("resident after half / all INSERTs: %ld / %ld KiB\n", halfway, residentKiB());

    // The same kind of statement the recordset sends, through execute: what the server costs.
    clock.restart();
    for (int i = 1; i <= rows; ++i)
        c.execute(QStringLiteral("UPDATE [dbo].[T_Bench] SET [N] = %1 WHERE [ID] = %2 AND [N] = %1")
                      .arg(i - 1)
                      .arg(i));
    const double keyedSeconds = clock.elapsed() / 1000.0;
    std::printf("execute UPDATE by key: %d statements in %.2f s = %.0f statements/s\n", rows,
                keyedSeconds, rows / keyedSeconds);

    clock.restart();
    db::Recordset rs;
    rs.open("SELECT * FROM T_Bench", c, db::CursorType::Keyset, db::LockType::Optimistic);
    const double openSeconds = clock.elapsed() / 1000.0;
    const long afterOpen = residentKiB();
    clock.restart();
    long updated = 0;
    long midWalk = 0;
    for (; !rs.eof(); rs.moveNext()) {
        rs.field("N") = rs.value("N").toInt() + 1;
        rs.update();
        if (++updated == rows / 2)
            midWalk = residentKiB();
    }
    const double walkSeconds = clock.elapsed() / 1000.0;
    std::printf("keyset open of %lld rows: %.2f s\n", rs.recordCount(), openSeconds);
    std::printf("keyset walk+update: %ld statements in %.2f s = %.0f statements/s\n", updated,
                walkSeconds, updated / walkSeconds);
    std::printf("resident after open / half walk / walk: %ld / %ld / %ld KiB\n", afterOpen, midWalk,
                residentKiB());
    rs.close();
    std::printf("resident after close: %ld KiB\n", residentKiB());
    const long long check =
        c.query("SELECT SUM(CAST(N AS BIGINT)) AS S FROM T_Bench").value(0).toLongLong();
    const long long expected = static_cast<long long>(rows) * (rows - 1) / 2 + rows;
    std::printf("check: sum %lld, expected %lld: %s\n", check, expected,
                check == expected ? "ok" : "WRONG");
    return check == expected ? 0 : 1;
}
