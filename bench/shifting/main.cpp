// One shift over many patients against a stand-in it starts (sqlserver-standin beside this
// program): the code moved into the comment, then the quick-search flag 6 of one exam and file
// per patient; both once straight to the stand-in and once through a relay that delays every
// packet by 0.5 ms each way, as a clinic's network would. Prints rows per second, and the CPU
// time the stand-in and this program spent on each move: on a shared machine the wall clock
// varies from run to run far more than the work does.
// Usage: bench_shifting [patients, default 25000]
#include "ArchiveOnStandin.h"
#include "DelayRelay.h"
#include "GestioneDbPazienti.h"
#include "ShiftLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <fstream>
#include <functional>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace sqllumo;

namespace {

// Inserts `count` rows, 500 to a statement, each made by `row(i)`.
void insertRows(db::Connection& connection, const QString& head, int count,
                const std::function<QString(int)>& row)
{
    for (int from = 0; from < count; from += 500) {
        QStringList values;
        for (int i = from; i < std::min(count, from + 500); ++i)
            values << row(i);
        connection.execute(head + values.join(QStringLiteral(", ")));
    }
}

// CPU milliseconds (user and system, all threads) a process has used so far.
double processCpuMs(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the command name, which may hold blanks, start after its ')'.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double ownCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int patients = argc > 1 ? std::max(1, std::atoi(argv[1])) : 25000;

    standin::testing::StandinServer server;
    QTemporaryDir folder;
    const QString database = QStringLiteral("BenchShift");
    auto connectionString = [&](const QString& name) {
        return shifting::testing::StandinConnectionString(server, name);
    };
    QString error;
    if (!shifting::testing::CreateArchive(server, database, folder.path(), error)) {
        out << "archive creation failed: " << error << Qt::endl;
        return 1;
    }

    db::Connection data;
    data.open(connectionString(database));
    QElapsedTimer fill;
    fill.start();
    insertRows(
        data,
        QStringLiteral("INSERT INTO T_Patient(Title, L_Name, F_Name, M_Name, B_Date, Sex, Height, "
                       "Weight, Address, ID_City, ID_Province, Zip_Code, ID_Country, Tel_Home, "
                       "Tel_Work, Ins_Number, Ins_Company, Pat_Code_1, Pat_Code_2, ID_Hosp_Dep, "
                       "Comment, ID_Doc_Tech, Free1, Free2, ID_Marker, Used_By, RecDate) VALUES "),
        patients, [](int i) {
            return QStringLiteral("('', 'Last%1', 'First%1', '', '1960-01-01', 0, 170, 70, "
                                  "'', 23, 10, '', 6, '', '', '', '', 'CODE-%1', '', 8, "
                                  "'comment %1', 17, '', '', 3, '', '2020-01-01')")
                .arg(i);
        });
    insertRows(data,
               QStringLiteral("INSERT INTO T_Exam(ID_Patient, Code, rv_1, rv_2, rv_3, rv_4, rv_5, "
                              "rv_6, rv_7, rv_8, ID_Marker, Comment) VALUES "),
               patients, [](int i) {
                   return QStringLiteral("(%1, 'E', 0, 0, 0, 0, 0, 0, 1, 0, 3, '')").arg(i + 1);
               });
    insertRows(data,
               QStringLiteral("INSERT INTO T_File(ID_Multi, [Primary], ID_Type, [Date], ID_Tech, "
                              "ID_Doc, ID_Doc_Req, ID_Hosp_Dep, Duration, Path_Local, "
                              "Path_Archive, ID_Storage, FileDateLastModify, FileLen, Comment, "
                              "Used_By) VALUES "),
               patients, [](int i) {
                   return QStringLiteral("(%1, 1, 1, '2020-01-01', 17, 17, 17, 8, 60, '', '', "
                                         "NULL, '2020-01-01', 1000, '', '')")
                       .arg(i + 1);
               });
    out << "filled " << patients << " patients, exams and files in " << fill.elapsed() << " ms"
        << Qt::endl;

    const QString log = shifting::ShiftLogPath(folder.path());
    const auto port = server::MakeServerProvider();
    shifting::GestioneDbPazienti worker(*port);
    auto run = [&](const QString& connection, const QString& what, bool exam, int origine,
                   int destinazione) {
        QString errore;
        const double serverBefore = processCpuMs(server.pid());
        const double ownBefore = ownCpuMs();
        QElapsedTimer clock;
        clock.start();
        const bool done =
            exam ? worker.ShiftExamFields(connection, log, origine, destinazione, errore)
                 : worker.ShiftPatientFields(connection, log, origine, destinazione, errore);
        const double seconds = clock.nsecsElapsed() / 1e9;
        const double serverCpu = processCpuMs(server.pid()) - serverBefore;
        const double ownCpu = ownCpuMs() - ownBefore;
        if (!done) {
            out << what << ": failed: " << errore << Qt::endl;
            return false;
        }
        out << what << ": " << worker.rowsShifted() << " rows in "
            << QString::number(seconds, 'f', 2) << " s, "
            << QString::number(worker.rowsShifted() / seconds, 'f', 0) << " rows/s (CPU: stand-in "
            << QString::number(serverCpu, 'f', 0) << " ms, this program "
            << QString::number(ownCpu, 'f', 0) << " ms)" << Qt::endl;
        return worker.rowsShifted() == static_cast<size_t>(patients);
    };
    // Each pass starts from the same rows: the codes and flags put back between them.
    auto pass = [&](const QString& connection, const QString& network) {
        data.execute(QStringLiteral("UPDATE T_Patient SET Pat_Code_1 = 'CODE-' + "
                                    "CAST(ID_Patient - 1 AS NVARCHAR(10)), Comment = 'comment'"));
        data.execute(QStringLiteral("UPDATE T_Exam SET rv_1 = 0, rv_7 = 1"));
        return run(connection, "ID1 to comment, " + network, false, shifting::kPatientCode1,
                   shifting::kComment) &&
               run(connection, "quick search 6 to 0, " + network, true, shifting::kQuickSearch6,
                   shifting::kFirstQuickSearch);
    };
    bool ok = pass(connectionString(database), QStringLiteral("loopback"));
    {
        const sqllumo::testing::DelayRelay relay(static_cast<std::uint16_t>(server.port()),
                                                 std::chrono::microseconds(500));
        const QString relayed = BuildConnectionString(
            QStringLiteral("127.0.0.1,%1").arg(relay.port()), database, QStringLiteral("sa"),
            QString::fromStdString(server.saPassword()));
        ok = pass(relayed, QStringLiteral("0.5 ms each way")) && ok;
    }
    out << "shift log: " << QFileInfo(log).size() << " bytes" << Qt::endl;
    data.close();
    return ok ? 0 : 1;
}
