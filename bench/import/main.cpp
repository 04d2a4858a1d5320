// Imports a large Access archive into a server on loopback and prints the wall time of each
// phase, rows per second, statements sent and resident memory; then times the plain route
// (mdb-export -I piped into tsql, whole tables as one batch) into the same server, and the whole
// import again through a relay that delays each packet by 0.5 ms each way, and once under each
// setting of Encryption (off, request, require), each saying how its connection travelled.
// Without --server it starts a stand-in of its own (sqlserver-standin beside this program).
#include "AccessImport.h"
#include "AccessSource.h"
#include "ArchiveSchema.h"
#include "BenchServer.h"
#include "ConnectionStrings.h"
#include "DatabasePort.h"
#include "DelayRelay.h"
#include "ReportLog.h"
#include "ServerProvider.h"
#include "ServerStatements.h"
#include "Settings.h"
#include "TestResultRegistry.h"
#include "TransportSecurity.h"
#include "UserInterface.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <unistd.h>

#include <memory>

using namespace sqllumo;

namespace {

long residentKilobytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

// User and system CPU time of a process in milliseconds; -1 when it cannot be read.
qint64 cpuMilliseconds(long long pid)
{
    QFile stat(pid > 0 ? QStringLiteral("/proc/%1/stat").arg(pid)
                       : QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The command name in parentheses may hold blanks: fields are counted after it.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const long ticks = sysconf(_SC_CLK_TCK);
    return (fields[11].toLongLong() + fields[12].toLongLong()) * 1000 / ticks;
}

// The machine's load, which other work on it adds to every figure here.
QString loadAverage()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    if (!load.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(load.readAll()).section(QLatin1Char(' '), 0, 2);
}

// A step's wall time, and the CPU time it takes in this program and in the server, which other
// work on the machine does not add to as it adds to the wall time.
class StepTimer {
public:
    StepTimer(QElapsedTimer& clock, long long serverPid)
        : clock_(clock), serverPid_(serverPid), own_(cpuMilliseconds(-1)),
          server_(serverPid > 0 ? cpuMilliseconds(serverPid) : -1)
    {
        clock_.restart();
    }
    void finish()
    {
        ms = clock_.elapsed();
        cpu = QStringLiteral(" (CPU: import %1 ms").arg(cpuMilliseconds(-1) - own_);
        if (serverPid_ > 0)
            cpu += QStringLiteral(", server %1 ms").arg(cpuMilliseconds(serverPid_) - server_);
        cpu += QLatin1Char(')');
    }
    qint64 ms = 0;
    QString cpu;

private:
    QElapsedTimer& clock_;
    long long serverPid_;
    qint64 own_, server_;
};

// Times each table of the copy from the progress the steps report, and samples memory halfway.
class TimingInterface : public UserInterface {
public:
    explicit TimingInterface(QElapsedTimer& clock) : clock_(clock) {}
    MessageResult showMessage(const Message& message) override
    {
        messages << message.text;
        return MessageResult::Ok;
    }
    void setBusy(bool) override {}
    void processPendingEvents() override {}
    void showProgress(const ProgressState& state) override
    {
        if (state.label != label_) {
            finishTable();
            label_ = state.label;
            since_ = clock_.elapsed();
            rows_ = state.rowsTotal; // the table's maximum is set just before its label
        }
        if (state.rowsTotal > middleOfRows && state.rowsDone == state.rowsTotal / 2) {
            middleKilobytes = residentKilobytes();
            middleOfRows = state.rowsTotal;
        }
    }
    std::optional<QString> chooseFile(const FileChoice&) override { return std::nullopt; }
    PasswordRequestResult passwordRequest(PasswordRequestMode, AdminSecret) override { return {}; }
    bool shiftDatabaseFields(const ShiftDialogRequest&) override { return false; }

    void finishTable()
    {
        if (label_.startsWith(QStringLiteral("Copying table ")))
            tables.push_back({label_.mid(14), rows_, clock_.elapsed() - since_});
        label_.clear();
    }

    struct Table {
        QString name;
        long long rows;
        qint64 ms;
    };
    std::vector<Table> tables;
    QStringList messages;
    long middleKilobytes = -1; // halfway through the largest table
    long long middleOfRows = 0;

private:
    QElapsedTimer& clock_;
    QString label_;
    long long rows_ = 0;
    qint64 since_ = 0;
};

QString rate(long long rows, qint64 ms)
{
    return ms > 0 ? QString::number(rows * 1000 / ms) : QStringLiteral("-");
}

struct PlainTarget {
    QString server, user, password, file, accessSource, database;
    dbport::Provider& provider;
};

// The plain route: each table exported as INSERT statements and run by tsql as one batch, into
// tables defined the same way (no checks, no keys). Prints what it stored; returns its time.
qint64 timePlainRoute(const PlainTarget& target, UserInterface& ui, TestResultRegistry& registry,
                      QTextStream& out)
{
    const QString destination =
        BuildConnectionString(target.server, target.database, target.user, target.password);
    QString errorText;
    {
        const std::unique_ptr<dbport::Catalog> catalog = target.provider.newCatalog();
        catalog->setActiveConnection(destination);
        ReportBuffer report;
        archive::ImportWork steps{ui, report, registry, target.provider};
        archive::DefineImportTables(target.database, destination, *catalog, errorText, steps);
    }
    const QStringList hostPort = target.server.split(QLatin1Char(','));
    QElapsedTimer clock;
    clock.start();
    bool ok = true;
    for (const QString& table : archive::CopyOrder()) {
        const archive::TableDef* def = archive::FindArchiveTable(table.toStdString());
        const QString head = def && def->hasIdentity() ? QStringLiteral("SET IDENTITY_INSERT ") +
                                                             table + QStringLiteral(" ON")
                                                       : QString();
        QProcess route;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TDSVER"), QStringLiteral("7.4"));
        route.setProcessEnvironment(env);
        route.setStandardOutputFile(QProcess::nullDevice());
        route.start(QStringLiteral("bash"),
                    {QStringLiteral("-c"),
                     QStringLiteral("set -o pipefail; { printf '%s\\n' \"$1\"; mdb-export -I "
                                    "sybase -q \"'\" -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d "
                                    "%H:%M:%S' \"$2\" \"$3\"; echo go; } | tsql "
                                    "-H \"$4\" -p \"$5\" -U \"$6\" -P \"$7\" -D \"$8\""),
                     QStringLiteral("route"), head, target.file, table, hostPort.value(0),
                     hostPort.value(1, QStringLiteral("1433")), target.user, target.password,
                     target.database});
        route.waitForFinished(-1);
        ok = ok && route.exitCode() == 0;
    }
    const qint64 ms = clock.elapsed();
    // That route shows empty texts as NULL, so rows with one in a NOT NULL column are lost.
    ReportBuffer report;
    archive::ImportWork steps{ui, report, registry, target.provider};
    long long stored = 0, sourceRows = 0;
    for (const auto& count : archive::VerifyImportedRows(target.accessSource, destination, steps)) {
        stored += count.destination;
        sourceRows += count.source;
    }
    out << "plain route (mdb-export -I | tsql): " << ms << " ms, " << stored << " of " << sourceRows
        << " rows stored" << (ok ? "" : " (some tables failed to export)") << Qt::endl;
    return ms;
}

// The archive's size: the full one, or a fraction of it for short runs while working on the
// import.
struct ArchiveSize {
    int patients = 25000, exams = 60000, files = 120000;
    void scale(double fraction)
    {
        patients = static_cast<int>(patients * fraction);
        exams = static_cast<int>(exams * fraction);
        files = static_cast<int>(files * fraction);
    }
};

// Writes the sample archive with the writer's own command, so its memory is not counted as the
// import's.
bool writeArchive(const QString& path, const ArchiveSize& size, QTextStream& out)
{
    QElapsedTimer clock;
    clock.start();
    QProcess writer;
    writer.start(QDir(QCoreApplication::applicationDirPath()).filePath("mdb-writer"),
                 {QStringLiteral("--patients"), QString::number(size.patients),
                  QStringLiteral("--exams"), QString::number(size.exams), QStringLiteral("--files"),
                  QString::number(size.files), path});
    if (!writer.waitForFinished(-1) || writer.exitCode() != 0) {
        out << "cannot write the archive: " << writer.readAllStandardError() << Qt::endl;
        return false;
    }
    out << "archive written: " << size.patients << " patients, " << size.exams << " exams, "
        << size.files << " files in " << clock.elapsed() << " ms (" << QFileInfo(path).size() / 1024
        << " KB)" << Qt::endl;
    return true;
}

// The whole import once more, into a database of its own (added to databases), over `server`
// (the target's, or a relay's). Returns its time, or -1 when a step failed (printed).
qint64 timedImport(const PlainTarget& target, const QString& server, dbport::Connection& master,
                   const QString& directory, QStringList& databases, TestResultRegistry& registry,
                   long long& statements, QTextStream& out)
{
    master.execute(server::CreateDatabaseStatement(target.database, directory));
    databases << target.database;
    const QString destination =
        BuildConnectionString(server, target.database, target.user, target.password);
    QElapsedTimer clock;
    TimingInterface ui(clock);
    ReportBuffer report;
    archive::ImportWork steps{ui, report, registry, target.provider};
    QString errorText;
    std::unique_ptr<dbport::Catalog> catalog = target.provider.newCatalog();
    clock.start();
    catalog->setActiveConnection(destination);
    bool ok = archive::DefineImportTables(target.database, destination, *catalog, errorText, steps);
    ok = ok && archive::CheckAccessDuplicates(target.accessSource, steps);
    ok = ok && archive::CopyAccessData(target.database, target.accessSource, destination, errorText,
                                       steps);
    const auto counts = archive::VerifyImportedRows(target.accessSource, destination, steps);
    catalog->setActiveConnection(destination);
    ok = ok && archive::DefineImportKeys(target.database, destination, *catalog, errorText, steps);
    const qint64 ms = clock.elapsed();
    for (const auto& count : counts)
        ok = ok && count.matches();
    statements = steps.batchesSent;
    if (!ok) {
        out << "  FAILED " << errorText.left(200) << Qt::endl;
        return -1;
    }
    return ms;
}

// The whole import through a relay that delays every packet by 0.5 ms each way as a clinic's
// network would. False when a step failed.
bool importThroughRelay(const PlainTarget& target, dbport::Connection& master,
                        const QString& directory, QStringList& databases,
                        TestResultRegistry& registry, QTextStream& out)
{
    const quint16 port = target.server.section(QLatin1Char(','), 1).toUShort();
    const sqllumo::testing::DelayRelay relay(port, std::chrono::microseconds(500));
    const QString relayed = QStringLiteral("127.0.0.1,%1").arg(relay.port());
    long long statements = 0;
    const qint64 ms =
        timedImport(target, relayed, master, directory, databases, registry, statements, out);
    out << "whole import through the 0.5 ms relay: " << ms << " ms (target < 12000 ms), "
        << statements << " statements sent" << (ms < 0 ? ", FAILED" : "") << Qt::endl;
    return ms >= 0;
}

// The whole import under each setting of Encryption, one after the other on the same server,
// each line saying how the connection travelled. False when a step failed.
bool importPerEncryption(const PlainTarget& target, const QString& directory,
                         QStringList& databases, TestResultRegistry& registry, QTextStream& out)
{
    const dbport::TransportSecurity before = dbport::CurrentTransportSecurity();
    bool ok = true;
    for (const dbport::Encryption encryption :
         {dbport::Encryption::Off, dbport::Encryption::Request, dbport::Encryption::Require}) {
        dbport::TransportSecurity security = before;
        security.encryption = encryption;
        dbport::SetTransportSecurity(security);
        const QString name = dbport::EncryptionName(encryption);
        dbport::TransportState state = dbport::TransportState::Unknown;
        qint64 ms = -1;
        long long statements = 0;
        try {
            const std::unique_ptr<dbport::Connection> master = target.provider.newConnection();
            master->open(BuildConnectionString(target.server, QStringLiteral("master"), target.user,
                                               target.password));
            state = master->transport();
            PlainTarget each = target;
            each.database = target.database + QLatin1Char('_') + name;
            ms = timedImport(each, target.server, *master, directory, databases, registry,
                             statements, out);
        } catch (const db::Error& e) {
            out << "  " << e.description().left(300) << Qt::endl;
        }
        out << "whole import with Encryption=" << name << " (" << dbport::TransportStateText(state)
            << "): " << ms << " ms, " << statements << " statements sent"
            << (ms < 0 ? ", FAILED" : "") << Qt::endl;
        ok = ok && ms >= 0;
    }
    dbport::SetTransportSecurity(before);
    return ok;
}

void printTables(const TimingInterface& ui, QTextStream& out)
{
    for (const auto& table : ui.tables)
        out << "  " << table.name << ": " << table.rows << " rows, " << table.ms << " ms, "
            << rate(table.rows, table.ms) << " rows/s" << Qt::endl;
}

void dropDatabases(dbport::Connection& master, const QStringList& databases)
{
    master.setCommandTimeout(server::kLongStatementTimeout);
    for (const QString& name : databases) {
        // Sessions just closed may take a moment to leave the server.
        for (int attempt = 0;; ++attempt) {
            try {
                master.execute(server::DropDatabaseStatement(name));
                break;
            } catch (const db::Error&) {
                if (attempt == 20)
                    throw;
                QThread::msleep(250);
            }
        }
    }
}

// The command line: the server's options, then the archive and the comparisons to run.
struct BenchOptions {
    QString source;
    ArchiveSize size;
    bool plainRoute = true;
    bool throughRelay = true;
    bool perEncryption = true;
    void read(const QStringList& args, testing::BenchServer& target)
    {
        for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
            if (target.takeOption(args[i], args[i + 1]))
                continue;
            if (args[i] == "--source")
                source = args[i + 1];
            else if (args[i] == "--plain-route")
                plainRoute = args[i + 1] != QLatin1String("no");
            else if (args[i] == "--relay")
                throughRelay = args[i + 1] != QLatin1String("no");
            else if (args[i] == "--encryption")
                perEncryption = args[i + 1] != QLatin1String("no");
            else if (args[i] == "--scale")
                size.scale(args[i + 1].toDouble());
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    testing::BenchServer target;
    BenchOptions options;
    options.read(app.arguments(), target);
    QString& source = options.source;
    const ArchiveSize& size = options.size;
    const bool plainRoute = options.plainRoute, throughRelay = options.throughRelay,
               perEncryption = options.perEncryption;
    const long startKilobytes = residentKilobytes();
    if (QString error; !target.ready(error)) {
        out << "no server: " << error << Qt::endl
            << "usage: bench_import " << testing::BenchServer::kUsage
            << " [--source FILE.mdb | --scale F] [--plain-route no] [--relay no] [--encryption no]"
            << Qt::endl;
        return 1;
    }
    const QString &serverName = target.server, &user = target.user, &password = target.password;
    QTemporaryDir work;
    Settings settings(Settings::fileIn(work.path()));
    TestResultRegistry registry(settings);
    QElapsedTimer clock;
    if (source.isEmpty()) {
        source = work.filePath(QStringLiteral("bench.mdb"));
        if (!writeArchive(source, size, out))
            return 1;
    }

    const QString database =
        QStringLiteral("BenchImport_%1").arg(QCoreApplication::applicationPid());
    const QString plainDatabase = database + QStringLiteral("_plain");
    const QString directory = QStringLiteral("C:\\Lumeno SQL Database\\");
    const QString destination = BuildConnectionString(serverName, database, user, password);
    const QString accessSource = AccessSourceString(source);
    int status = 0;
    try {
        const std::unique_ptr<dbport::Provider> provider = server::MakeServerProvider();
        const std::unique_ptr<dbport::Connection> master = provider->newConnection();
        master->open(BuildConnectionString(serverName, QStringLiteral("master"), user, password));
        master->execute(server::CreateDatabaseStatement(database, directory));

        ReportBuffer report;
        TimingInterface ui(clock);
        archive::ImportWork steps{ui, report, registry, *provider};
        QString errorText;
        std::unique_ptr<dbport::Catalog> catalog = provider->newCatalog();
        catalog->setActiveConnection(destination);

        clock.restart();
        const bool defined =
            archive::DefineImportTables(database, destination, *catalog, errorText, steps);
        const qint64 defineMs = clock.elapsed();
        clock.restart();
        const bool unique = archive::CheckAccessDuplicates(accessSource, steps);
        const qint64 checkMs = clock.elapsed();
        const QString loadBefore = loadAverage();
        const long long statementsBefore = steps.batchesSent;
        const qint64 ownCpuBefore = cpuMilliseconds(-1);
        const qint64 serverCpuBefore = cpuMilliseconds(target.standinPid());
        clock.restart();
        const bool copied =
            archive::CopyAccessData(database, accessSource, destination, errorText, steps);
        ui.finishTable();
        const qint64 copyMs = clock.elapsed();
        const qint64 ownCpu = cpuMilliseconds(-1) - ownCpuBefore;
        const qint64 serverCpu = cpuMilliseconds(target.standinPid()) - serverCpuBefore;
        const long long copyStatements = steps.batchesSent - statementsBefore;
        const long copyKilobytes = residentKilobytes();
        StepTimer verify(clock, target.standinPid());
        const auto counts = archive::VerifyImportedRows(accessSource, destination, steps);
        verify.finish();
        StepTimer keys(clock, target.standinPid());
        catalog->setActiveConnection(destination);
        const bool keyed =
            archive::DefineImportKeys(database, destination, *catalog, errorText, steps);
        keys.finish();
        const long endKilobytes = residentKilobytes();

        long long rows = 0;
        for (const auto& table : ui.tables)
            rows += table.rows;
        const qint64 totalMs = defineMs + checkMs + copyMs + verify.ms + keys.ms;
        out << "server: " << serverName << Qt::endl;
        out << "define tables: " << (defined ? "ok" : "FAILED ")
            << errorText.left(defined ? 0 : 200) << ", " << defineMs << " ms" << Qt::endl;
        out << "duplicate check: " << (unique ? "ok" : "duplicates") << ", " << checkMs << " ms"
            << Qt::endl;
        out << "copy: " << (copied ? "ok" : "FAILED " + errorText.left(200)) << ", " << copyMs
            << " ms, " << rows << " rows, " << rate(rows, copyMs) << " rows/s" << Qt::endl;
        printTables(ui, out);
        out << "  statements: " << copyStatements << " ("
            << QString::number(rows > 0 ? double(copyStatements) / double(rows) : 0.0, 'f', 3)
            << " per row); CPU: import " << ownCpu << " ms";
        if (target.standinPid() > 0)
            out << ", server " << serverCpu << " ms";
        out << "; load average before " << loadBefore << ", after " << loadAverage() << Qt::endl;
        bool same = true;
        for (const auto& count : counts)
            same = same && count.matches();
        out << "row counts compared: " << (same ? "equal" : "DIFFERENT") << ", " << verify.ms
            << " ms" << verify.cpu << Qt::endl;
        out << "keys and indexes: " << (keyed ? "ok" : "FAILED " + errorText.left(200)) << ", "
            << keys.ms << " ms" << keys.cpu << Qt::endl;
        out << "whole import: " << totalMs << " ms (target < 60000 ms), " << steps.batchesSent
            << " statements sent" << Qt::endl;
        out << "resident memory: start " << startKilobytes << " KB, middle of the largest table "
            << ui.middleKilobytes << " KB, after the copy " << copyKilobytes << " KB, end "
            << endKilobytes << " KB (target: flat)" << Qt::endl;
        status = defined && unique && copied && same && keyed ? 0 : 1;

        QStringList databases{database};
        if (throughRelay && !importThroughRelay({serverName, user, password, source, accessSource,
                                                 database + QStringLiteral("_relay"), *provider},
                                                *master, directory, databases, registry, out))
            status = 1;
        if (perEncryption && !importPerEncryption({serverName, user, password, source, accessSource,
                                                   database + QStringLiteral("_tls"), *provider},
                                                  directory, databases, registry, out))
            status = 1;
        if (plainRoute) {
            master->execute(server::CreateDatabaseStatement(plainDatabase, directory));
            databases << plainDatabase;
            const qint64 plainMs = timePlainRoute(
                {serverName, user, password, source, accessSource, plainDatabase, *provider}, ui,
                registry, out);
            out << "ratio import / plain route: "
                << (plainMs > 0 ? QString::number(double(totalMs) / double(plainMs), 'f', 2)
                                : QStringLiteral("-"))
                << Qt::endl;
        }

        // The catalogues' connections use the databases; the server drops them only after.
        catalog.reset();
        dropDatabases(*master, databases);
        master->close();
    } catch (const db::Error& e) {
        out << "error: " << e.description() << " " << e.number() << Qt::endl;
        return 1;
    }
    return status;
}
