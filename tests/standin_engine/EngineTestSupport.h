// Helpers of the engine tests: a fresh data root with an engine and an sa session on a new
// user database, a sink that records a batch's output in order, and value formatting.
#pragma once

#include "Engine.h"
#include "Text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace standin::testing {

inline std::u16string u16(const std::string& utf8)
{
    return text::fromUtf8(utf8);
}
inline std::string u8(const std::u16string& s)
{
    return text::toUtf8(s);
}

// One value as a short text: NULL, integers, texts in quotes, 0x.. for bytes, dates ISO.
inline std::string show(const Value& v)
{
    if (std::holds_alternative<std::monostate>(v))
        return "NULL";
    if (auto* n = std::get_if<int64_t>(&v))
        return std::to_string(*n);
    if (auto* d = std::get_if<double>(&v)) {
        std::string s = std::to_string(*d);
        return s;
    }
    if (auto* s = std::get_if<std::u16string>(&v))
        return "'" + u8(*s) + "'";
    if (auto* b = std::get_if<Bytes>(&v)) {
        static const char* hex = "0123456789ABCDEF";
        std::string out = "0x";
        for (uint8_t c : *b) {
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
        return out;
    }
    if (auto* dt = std::get_if<DateTimeValue>(&v))
        return "dt(" + std::to_string(dt->days) + "," + std::to_string(dt->ticks) + ")";
    return "?";
}

struct ResultSet {
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<Value>> rows;

    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (const auto& c : columns)
            out.push_back(u8(c.name));
        return out;
    }
    // Rows as "a|b|c" lines.
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (const auto& r : rows) {
            std::string line;
            for (size_t i = 0; i < r.size(); ++i)
                line += (i ? "|" : "") + show(r[i]);
            out.push_back(line);
        }
        return out;
    }
};

class RecordingSink : public ResultSink {
public:
    std::vector<ResultSet> results;
    std::vector<Message> messages;
    std::vector<DoneInfo> dones;
    std::vector<int32_t> statuses;
    std::vector<std::string> events;

    void beginResult(const std::vector<ColumnInfo>& columns) override
    {
        results.push_back({columns, {}});
        events.push_back("result");
    }
    void row(const std::vector<Value>& values) override
    {
        if (results.empty())
            ADD_FAILURE() << "row before any result set";
        else
            results.back().rows.push_back(values);
        events.push_back("row");
    }
    void message(const Message& m) override
    {
        messages.push_back(m);
        events.push_back("message " + std::to_string(m.number));
    }
    void done(const DoneInfo& d) override
    {
        dones.push_back(d);
        events.push_back(d.kind == DoneInfo::Kind::Procedure ? "doneproc" : "done");
    }
    void returnStatus(int32_t s) override
    {
        statuses.push_back(s);
        events.push_back("status");
    }
    void databaseChanged(const std::u16string&, const std::u16string& to) override
    {
        events.push_back("database " + u8(to));
    }

    std::vector<int> errors() const
    {
        std::vector<int> out;
        for (const auto& m : messages)
            if (m.isError())
                out.push_back(m.number);
        return out;
    }
    std::string errorText() const
    {
        for (const auto& m : messages)
            if (m.isError())
                return u8(m.text);
        return {};
    }
    const Message* error() const
    {
        for (const auto& m : messages)
            if (m.isError())
                return &m;
        return nullptr;
    }
    // The counts of the statements' dones, -1 where no count was sent.
    std::vector<int64_t> counts() const
    {
        std::vector<int64_t> out;
        for (const auto& d : dones)
            if (d.kind != DoneInfo::Kind::Procedure)
                out.push_back(d.hasCount ? d.count : -1);
        return out;
    }
};

class TemporaryDirectory {
public:
    TemporaryDirectory()
    {
        std::random_device device;
        path_ = std::filesystem::temp_directory_path() /
                ("engine-test-" + std::to_string(::getpid()) + "-" + std::to_string(device()));
        std::filesystem::create_directories(path_);
    }
    ~TemporaryDirectory()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline const char* kSaPassword = "Engine-Test-1";

// The statements of a data file under tests/standin_engine/data, one per line.
inline std::vector<std::string> statementsOf(const std::string& file)
{
    std::ifstream in(std::string(STANDIN_ENGINE_TEST_DATA) + "/" + file);
    EXPECT_TRUE(in.good()) << file;
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line))
        if (!line.empty())
            out.push_back(line);
    return out;
}

// A fresh data root, an engine on it and an sa session whose current database is a new,
// empty user database "EngineTest".
class EngineFixture : public ::testing::Test {
protected:
    TemporaryDirectory root;
    std::unique_ptr<Engine> engine;
    std::unique_ptr<Session> session;

    void SetUp() override
    {
        engine = Engine::open(options());
        session = connect(u"master");
        RecordingSink created = run("CREATE DATABASE EngineTest");
        ASSERT_TRUE(created.errors().empty()) << created.errorText();
        RecordingSink used = run("USE EngineTest");
        ASSERT_TRUE(used.errors().empty()) << used.errorText();
    }

    Engine::Options options() const
    {
        Engine::Options o;
        o.dataRoot = root.path() / "data";
        o.saPassword = kSaPassword;
        return o;
    }

    std::unique_ptr<Session> connect(const std::u16string& database)
    {
        LoginResult r = engine->login(u"sa", u16(kSaPassword), database);
        EXPECT_TRUE(r.session) << (r.error ? u8(r.error->text) : "");
        return std::move(r.session);
    }

    RecordingSink run(const std::string& batch, Session* on = nullptr)
    {
        RecordingSink sink;
        (on ? on : session.get())->execute(u16(batch), sink);
        return sink;
    }
    RecordingSink run16(const std::u16string& batch, Session* on = nullptr)
    {
        RecordingSink sink;
        (on ? on : session.get())->execute(batch, sink);
        return sink;
    }

    // Runs a batch that must succeed and returns its last result set's lines.
    std::vector<std::string> rows(const std::string& batch)
    {
        RecordingSink sink = run(batch);
        EXPECT_TRUE(sink.errors().empty()) << batch << ": " << sink.errorText();
        if (sink.results.empty()) {
            ADD_FAILURE() << "no result set from " << batch;
            return {};
        }
        return sink.results.back().lines();
    }

    void ok(const std::string& batch)
    {
        RecordingSink sink = run(batch);
        EXPECT_TRUE(sink.errors().empty()) << batch << ": " << sink.errorText();
    }

    // The number of the first error a batch gives, 0 when none.
    int errorOf(const std::string& batch)
    {
        RecordingSink sink = run(batch);
        auto e = sink.errors();
        return e.empty() ? 0 : e.front();
    }
};

} // namespace standin::testing
