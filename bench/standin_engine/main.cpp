// In-process figures of the stand-in engine: single-row INSERT statements into a
// T_Patient-shaped table, set against the same statements through the sqlite3 shell with the
// engine's journal settings, a streamed SELECT * over 100,000 rows, and the memory of 20 open
// databases. Prints each figure with its target.
// Usage: standin_engine_bench [inserts, default 20000]
#include "Engine.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace standin;

namespace {

struct CountingSink : ResultSink {
    int64_t rows = 0;
    int errors = 0;
    std::u16string lastError;
    void beginResult(const std::vector<ColumnInfo>&) override {}
    void row(const std::vector<Value>&) override { ++rows; }
    void message(const Message& m) override
    {
        if (m.isError()) {
            ++errors;
            lastError = m.text;
        }
    }
    void done(const DoneInfo&) override {}
    void returnStatus(int32_t) override {}
    void databaseChanged(const std::u16string&, const std::u16string&) override {}
};

std::u16string wide(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

long residentKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

void run(Session& s, const std::string& batch)
{
    CountingSink sink;
    s.execute(wide(batch), sink);
    if (sink.errors) {
        std::string text(sink.lastError.begin(), sink.lastError.end());
        std::fprintf(stderr, "error in %s: %s\n", batch.substr(0, 60).c_str(), text.c_str());
        std::exit(1);
    }
}

const char* kPatientTable = "CREATE TABLE T_Patient( ID_Patient INT IDENTITY CONSTRAINT "
                            "PrimaryKey_T_Patient PRIMARY KEY, Title NVARCHAR(10) NOT NULL, "
                            "L_Name NVARCHAR(50) NOT NULL, F_Name NVARCHAR(50) NOT NULL, M_Name "
                            "NVARCHAR(50) NOT NULL, B_Date DATETIME NOT NULL, "
                            "Sex BIT NOT NULL, Height SMALLINT NOT NULL, Weight SMALLINT NOT NULL, "
                            "Address NVARCHAR(200) NOT NULL, "
                            "ID_City INT NOT NULL, ID_Province INT NOT NULL, Zip_Code NVARCHAR(10) "
                            "NOT NULL, ID_Country INT NOT NULL, "
                            "Tel_Home NVARCHAR(30) NOT NULL, Tel_Work NVARCHAR(30) NOT NULL, "
                            "Ins_Number NVARCHAR(30) NOT NULL, "
                            "Ins_Company NVARCHAR(30) NOT NULL, Pat_Code_1 NVARCHAR(30) NOT NULL, "
                            "Pat_Code_2 NVARCHAR(30) NOT NULL, "
                            "ID_Hosp_Dep INT NOT NULL, Comment NVARCHAR(250) NOT NULL, ID_Doc_Tech "
                            "INT NOT NULL, Free1 NVARCHAR(50) NOT NULL, "
                            "Free2 NVARCHAR(50) NOT NULL, ID_Marker INT NOT NULL, Used_By "
                            "NVARCHAR(50) NOT NULL, RecDate DATETIME NOT NULL, Photo IMAGE )";

std::string patientInsert(int i)
{
    return "INSERT INTO T_Patient "
           "(Title,L_Name,F_Name,M_Name,B_Date,Sex,Height,Weight,Address,ID_City,ID_Province,"
           "Zip_Code,ID_Country,Tel_Home,Tel_Work,Ins_Number,Ins_Company,Pat_Code_1,Pat_Code_2,ID_"
           "Hosp_Dep,Comment,"
           "ID_Doc_Tech,Free1,Free2,ID_Marker,Used_By,RecDate) VALUES ('Mr','Rossi" +
           std::to_string(i) +
           "','Mario','','19800101',1,180,75,'Via Roma 1',1,1,'00100',1,'0612345','0654321','INS" +
           std::to_string(i) + "','Company','P" + std::to_string(i) +
           "','',1,'comment',1,'','',3,'','20200101 10:00')";
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// The same table for SQLite itself: its integer primary key is the row's own number, as a
// SQLite user would declare it.
std::string sqlitePatientTable()
{
    std::string table = kPatientTable;
    const std::string identity = "INT IDENTITY";
    table.replace(table.find(identity), identity.size(), "INTEGER");
    return table;
}

// Seconds the sqlite3 shell takes for `inserts` single-row INSERT statements, each its own
// statement and transaction, under WAL and synchronous=NORMAL; negative when it cannot run.
double sqliteShellSeconds(const std::filesystem::path& folder, int inserts)
{
    std::filesystem::create_directories(folder);
    const auto script = folder / "inserts.sql";
    const auto file = folder / "shell.sqlite";
    {
        std::ofstream out(script);
        out << ".bail on\nPRAGMA journal_mode=WAL;\nPRAGMA synchronous=NORMAL;\n"
            << sqlitePatientTable() << ";\n";
        for (int i = 0; i < inserts; ++i)
            out << patientInsert(i) << ";\n";
    }
    const std::string command =
        "sqlite3 '" + file.string() + "' < '" + script.string() + "' > /dev/null";
    auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double t = seconds(std::chrono::steady_clock::now() - start);
    return status == 0 ? t : -1;
}

} // namespace

int main(int argc, char** argv)
{
    int inserts = argc > 1 ? std::atoi(argv[1]) : 20000;
    auto root =
        std::filesystem::temp_directory_path() / ("engine-bench-" + std::to_string(getpid()));
    Engine::Options options;
    options.dataRoot = root;
    options.saPassword = "bench";
    {
        auto engine = Engine::open(options);
        auto session = std::move(engine->login(u"sa", u"bench", u"master").session);
        run(*session, "CREATE DATABASE Bench USE Bench");
        run(*session, kPatientTable);

        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < inserts; ++i)
            run(*session, patientInsert(i));
        double t = seconds(std::chrono::steady_clock::now() - start);
        std::printf(
            "single-row INSERT statements: %d in %.2f s = %.0f rows/s (target >= 20000 rows/s)\n",
            inserts, t, inserts / t);
        const double shell = sqliteShellSeconds(root / "shell", inserts);
        if (shell < 0)
            std::printf("sqlite3 shell: could not run (is the sqlite3 package installed?)\n");
        else
            std::printf("sqlite3 shell, same statements: %.2f s = %.0f rows/s; engine/shell = "
                        "%.2f (target >= 0.6)\n",
                        shell, inserts / shell, shell / t);

        run(*session, "BEGIN TRAN");
        for (int i = inserts; i < 100000; ++i)
            run(*session, patientInsert(i));
        run(*session, "COMMIT");
        long before = residentKb("VmRSS:");
        CountingSink sink;
        start = std::chrono::steady_clock::now();
        session->execute(u"SELECT * FROM T_Patient", sink);
        t = seconds(std::chrono::steady_clock::now() - start);
        long after = residentKb("VmRSS:");
        std::printf(
            "SELECT * streamed: %lld rows in %.3f s (target < 0.5 s), resident growth %ld KB\n",
            static_cast<long long>(sink.rows), t, after - before);
    }
    {
        auto engine = Engine::open(options);
        std::vector<std::unique_ptr<Session>> sessions;
        for (int d = 0; d < 20; ++d) {
            auto s = std::move(engine->login(u"sa", u"bench", u"master").session);
            std::string name = "Db" + std::to_string(d);
            run(*s, "CREATE DATABASE " + name + " USE " + name);
            run(*s, kPatientTable);
            for (int i = 0; i < 50; ++i)
                run(*s, patientInsert(i));
            run(*s, "SELECT COUNT(*) FROM T_Patient");
            sessions.push_back(std::move(s));
        }
        std::printf("20 open databases with a session each: resident %ld KB (target < 200 MB)\n",
                    residentKb("VmRSS:"));
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return 0;
}
