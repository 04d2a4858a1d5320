// libFuzzer entry for the T-SQL front end: input bytes become UTF-16 text that is tokenized,
// parsed and, when it parses, executed against a scratch database.
#include "Engine.h"
#include "Errors.h"
#include "Parser.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace {

struct NullSink : standin::ResultSink {
    void beginResult(const std::vector<standin::ColumnInfo>&) override {}
    void row(const std::vector<standin::Value>&) override {}
    void message(const standin::Message&) override {}
    void done(const standin::DoneInfo&) override {}
    void returnStatus(int32_t) override {}
    void databaseChanged(const std::u16string&, const std::u16string&) override {}
};

standin::Session& session()
{
    static std::unique_ptr<standin::Engine> engine;
    static std::unique_ptr<standin::Session> s;
    if (!s) {
        standin::Engine::Options options;
        options.dataRoot = std::filesystem::temp_directory_path() / ("engine-fuzz-" + std::to_string(getpid()));
        options.saPassword = "fuzz";
        engine = standin::Engine::open(options);
        s = std::move(engine->login(u"sa", u"fuzz", u"master").session);
        NullSink sink;
        s->execute(u"CREATE DATABASE Fuzz USE Fuzz CREATE TABLE T( id INT IDENTITY PRIMARY KEY, n NVARCHAR(20) NULL )",
                   sink);
    }
    return *s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    try {
        standin::sql::parseBatch(text);
    } catch (const standin::SqlError&) {
        return 0;
    }
    NullSink sink;
    session().execute(text, sink);
    return 0;
}
