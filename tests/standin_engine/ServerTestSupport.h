// Helpers of the server-level tests: a fresh data root per test, a sink that keeps what a
// statement sent, and text conversions for assertions.
#pragma once

#include "server/ServerCatalog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace standin::server::testing {

inline std::string Narrow(const std::u16string& s)
{
    std::string out;
    for (char16_t c : s)
        out.push_back(c < 0x80 ? char(c) : '?');
    return out;
}

inline std::u16string Wide(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

struct ResultSetCopy {
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<Value>> rows;
    int column(const std::string& name) const
    {
        for (size_t i = 0; i < columns.size(); ++i)
            if (Narrow(columns[i].name) == name)
                return int(i);
        return -1;
    }
    std::string text(size_t row, const std::string& name) const
    {
        const int at = column(name);
        if (at < 0 || row >= rows.size())
            return "<missing>";
        const Value& v = rows[row][size_t(at)];
        if (const auto* s = std::get_if<std::u16string>(&v))
            return Narrow(*s);
        if (const auto* i = std::get_if<int64_t>(&v))
            return std::to_string(*i);
        if (std::holds_alternative<std::monostate>(v))
            return "NULL";
        return "<other>";
    }
};

class CollectingSink : public ResultSink {
public:
    std::vector<ResultSetCopy> results;
    std::vector<Message> messages;
    std::vector<DoneInfo> dones;
    std::vector<int32_t> statuses;
    std::vector<std::string> order; // "result", "row", "message", "done", "status"

    void beginResult(const std::vector<ColumnInfo>& columns) override
    {
        results.push_back({columns, {}});
        order.push_back("result");
    }
    void row(const std::vector<Value>& values) override
    {
        EXPECT_FALSE(results.empty());
        if (!results.empty()) {
            EXPECT_EQ(values.size(), results.back().columns.size());
            results.back().rows.push_back(values);
        }
        order.push_back("row");
    }
    void message(const Message& m) override
    {
        messages.push_back(m);
        order.push_back("message");
    }
    void done(const DoneInfo& info) override
    {
        dones.push_back(info);
        order.push_back("done");
    }
    void returnStatus(int32_t status) override
    {
        statuses.push_back(status);
        order.push_back("status");
    }
    void databaseChanged(const std::u16string&, const std::u16string&) override
    {
        order.push_back("dbchange");
    }

    std::vector<int32_t> errorNumbers() const
    {
        std::vector<int32_t> numbers;
        for (const auto& m : messages)
            if (m.isError())
                numbers.push_back(m.number);
        return numbers;
    }
    std::vector<int32_t> messageNumbers() const
    {
        std::vector<int32_t> numbers;
        for (const auto& m : messages)
            numbers.push_back(m.number);
        return numbers;
    }
    std::string firstErrorText() const
    {
        for (const auto& m : messages)
            if (m.isError())
                return Narrow(m.text);
        return {};
    }
};

// A data root of its own under the system's temporary folder, removed at the end.
class TemporaryRoot {
public:
    TemporaryRoot()
    {
        std::random_device device;
        path_ = std::filesystem::temp_directory_path() /
                ("server-test-" + std::to_string(::getpid()) + "-" + std::to_string(device()));
        std::filesystem::create_directories(path_);
    }
    ~TemporaryRoot()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

class ServerFixture : public ::testing::Test {
protected:
    TemporaryRoot root;
    std::unique_ptr<ServerCatalog> catalog;
    ServerContext sa;

    void SetUp() override
    {
        Engine::Options options;
        options.dataRoot = root.path() / "data";
        options.saPassword = "Test-Passw0rd";
        catalog = ServerCatalog::open(options);
        sa.login = u"sa";
        sa.currentDatabase = u"master";
        sa.spid = 51;
    }

    // Runs one statement that must be a server-level one.
    CollectingSink run(const std::string& statement, ServerContext* context = nullptr)
    {
        CollectingSink sink;
        const bool handled = catalog->tryExecute(Wide(statement), context ? *context : sa, sink);
        EXPECT_TRUE(handled) << statement;
        return sink;
    }

    std::filesystem::path dataDir() const { return catalog->dataRoot(); }

    // Makes the folder that a Windows path such as C:\Lumeno SQL Database\ names.
    std::filesystem::path makeServerDirectory(const std::string& windowsDirectory)
    {
        std::string relative = windowsDirectory.substr(3);
        for (char& c : relative)
            if (c == '\\')
                c = '/';
        const auto host = dataDir() / std::string(1, windowsDirectory[0]) / relative;
        std::filesystem::create_directories(host);
        return host;
    }
};

// Direct SQLite access to a database file, standing where the engine will.
class SqliteFile {
public:
    explicit SqliteFile(const std::filesystem::path& file)
    {
        EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK)
            << file;
        sqlite3_busy_timeout(db_, 5000);
    }
    ~SqliteFile() { sqlite3_close(db_); }
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;
    void exec(const std::string& sql)
    {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << (error ? error : "") << sql;
        sqlite3_free(error);
    }
    int64_t scalar(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        int64_t value = -1;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            value = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        return value;
    }
    std::string text(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        std::string value;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
        return value;
    }

private:
    sqlite3* db_ = nullptr;
};

} // namespace standin::server::testing
