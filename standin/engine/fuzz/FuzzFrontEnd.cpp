// libFuzzer entry for the T-SQL front end: input bytes become UTF-16 text that is tokenized,
// parsed and, when it parses, executed against a scratch database.
//
// The bytes are read as UTF-8 that also admits encoded surrogates, so the seed corpus stays plain
// text while every UTF-16 sequence, unpaired surrogates included, remains reachable; a byte that
// starts no valid sequence stands for the code unit of the same value.
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

// Tables shaped like the archive's: identities, a unique index, cascades over two levels.
const char16_t* const kSchema =
    u"CREATE DATABASE Fuzz USE Fuzz "
    u"CREATE TABLE T( id INT IDENTITY PRIMARY KEY, n NVARCHAR(20) NULL ) "
    u"CREATE TABLE T_City( ID_City INT IDENTITY(23,1) CONSTRAINT PrimaryKey_T_City PRIMARY KEY, "
    u"City NVARCHAR(30) NOT NULL ) "
    u"CREATE TABLE T_Patient( ID_Patient INT IDENTITY CONSTRAINT PrimaryKey_T_Patient PRIMARY KEY, "
    u"L_Name NVARCHAR(50) NOT NULL, B_Date DATETIME NOT NULL, Sex BIT NOT NULL, Height SMALLINT "
    u"NOT NULL, "
    u"ID_City INT NOT NULL FOREIGN KEY REFERENCES T_City (ID_City), Photo IMAGE ) "
    u"CREATE NONCLUSTERED INDEX IX_T_Patient ON T_Patient (L_Name) "
    u"CREATE TABLE T_Exam( ID_Multi INT IDENTITY CONSTRAINT PrimaryKey_T_Exam PRIMARY KEY, "
    u"ID_Patient INT CONSTRAINT ID_Patient_fk NOT NULL FOREIGN KEY REFERENCES T_Patient "
    u"(ID_Patient) "
    u"ON DELETE CASCADE ON UPDATE CASCADE, Code NVARCHAR(30) NOT NULL, Kind TINYINT NOT NULL ) "
    u"CREATE TABLE T_File( ID_Exam INT IDENTITY CONSTRAINT PrimaryKey_T_File PRIMARY KEY, "
    u"ID_Multi INT NOT NULL FOREIGN KEY REFERENCES T_Exam (ID_Multi) ON DELETE CASCADE ON UPDATE "
    u"CASCADE, "
    u"[Date] DATETIME NOT NULL, Path_Local NVARCHAR(100) NOT NULL ) "
    u"CREATE UNIQUE INDEX UX_T_File ON T_File (Path_Local) "
    u"INSERT INTO T_City(City) VALUES ('') "
    u"INSERT INTO T_Patient(L_Name, B_Date, Sex, Height, ID_City) VALUES (N'Rossi', '19700101', 1, "
    u"180, 23) "
    u"INSERT INTO T_Exam(ID_Patient, Code, Kind) VALUES (1, N'E1', 2) "
    u"INSERT INTO T_File(ID_Multi, [Date], Path_Local) VALUES (1, GETDATE(), N'a.dat')";

// The scratch data root goes when the process ends, after the engine that uses it.
struct ScratchRoot {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("engine-fuzz-" + std::to_string(getpid()));
    ~ScratchRoot()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

standin::Session& session()
{
    static ScratchRoot root;
    static std::unique_ptr<standin::Engine> engine;
    static std::unique_ptr<standin::Session> s;
    if (!s) {
        standin::Engine::Options options;
        options.dataRoot = root.path;
        options.saPassword = "fuzz";
        engine = standin::Engine::open(options);
        s = std::move(engine->login(u"sa", u"fuzz", u"master").session);
        NullSink sink;
        s->execute(kSchema, sink);
    }
    return *s;
}

std::u16string decode(const uint8_t* data, size_t size)
{
    std::u16string text;
    size_t i = 0;
    auto continuation = [&](size_t at) { return at < size && (data[at] & 0xC0) == 0x80; };
    while (i < size) {
        uint8_t b = data[i];
        if (b >= 0xC2 && b < 0xE0 && continuation(i + 1)) {
            text.push_back(static_cast<char16_t>(((b & 0x1F) << 6) | (data[i + 1] & 0x3F)));
            i += 2;
        } else if (b >= 0xE0 && b < 0xF0 && continuation(i + 1) && continuation(i + 2)) {
            text.push_back(static_cast<char16_t>(((b & 0x0F) << 12) | ((data[i + 1] & 0x3F) << 6) |
                                                 (data[i + 2] & 0x3F)));
            i += 3;
        } else if (b >= 0xF0 && b < 0xF5 && continuation(i + 1) && continuation(i + 2) &&
                   continuation(i + 3)) {
            uint32_t cp = ((b & 0x07) << 18) | ((data[i + 1] & 0x3F) << 12) |
                          ((data[i + 2] & 0x3F) << 6) | (data[i + 3] & 0x3F);
            if (cp >= 0x10000 && cp <= 0x10FFFF) {
                cp -= 0x10000;
                text.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
                text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
            } else {
                text.push_back(static_cast<char16_t>(b));
                i += 1;
                continue;
            }
            i += 4;
        } else {
            text.push_back(static_cast<char16_t>(b));
            i += 1;
        }
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string text = decode(data, size);
    try {
        standin::sql::parseBatch(text);
    } catch (const standin::SqlError&) {
        return 0;
    }
    NullSink sink;
    session().execute(text, sink);
    return 0;
}
