// Public face of the stand-in engine: T-SQL batches in; result sets, row counts and messages out,
// with SQL Server's semantics. The TDS server is its only user besides the tests. No Qt here.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace standin {

// Types as they travel to a client; the TDS layer picks the wire type from these.
enum class SqlType {
    Int,
    SmallInt,
    TinyInt,
    BigInt,
    Bit,
    DateTime,
    Float,
    Decimal, // value is the unscaled integer; ColumnInfo::scale says where the point is
    NVarChar,
    NChar,
    VarChar, // single-byte text in the server's code page (1252); values still travel as UTF-16
    Char,
    NText,
    VarBinary,
    Image,
    UniqueIdentifier, // value: Bytes of 16 in the order they travel
};

// DATETIME as SQL Server keeps it: days since 1900-01-01 and 1/300 s ticks since midnight.
struct DateTimeValue {
    int32_t days = 0;
    uint32_t ticks = 0;
    bool operator==(const DateTimeValue&) const = default;
};

using Bytes = std::vector<uint8_t>;

// NULL, integers (all integer kinds, BIT, DECIMAL unscaled), FLOAT, text as UTF-16 code units
// (never validated: unpaired surrogates pass unchanged), binary, DATETIME.
using Value = std::variant<std::monostate, int64_t, double, std::u16string, Bytes, DateTimeValue>;

struct ColumnInfo {
    std::u16string name;
    SqlType type = SqlType::Int;
    int32_t length = 0; // characters for text types, bytes for binary; -1 = MAX
    uint8_t precision = 0;
    uint8_t scale = 0;
    bool nullable = true;
    bool identity = false;
};

// An error (severity above 10) or an informational message, as SQL Server sends them.
struct Message {
    int32_t number = 0;
    uint8_t state = 1;
    uint8_t severity = 0;
    std::u16string text;
    std::u16string procedure;
    int32_t line = 1;
    bool isError() const { return severity > 10; }
};

struct DoneInfo {
    enum class Kind { Statement, InProcedure, Procedure };
    Kind kind = Kind::Statement;
    bool hasCount = false;
    int64_t count = 0;
    bool error = false;
};

// Receives a batch's output in the order a client must see it.
class ResultSink {
public:
    virtual ~ResultSink() = default;
    virtual void beginResult(const std::vector<ColumnInfo>& columns) = 0;
    virtual void row(const std::vector<Value>& values) = 0;
    virtual void message(const Message& message) = 0;
    // End of one statement (or, with Kind::Procedure, of a procedure call).
    virtual void done(const DoneInfo& info) = 0;
    virtual void returnStatus(int32_t status) = 0;
    virtual void databaseChanged(const std::u16string& from, const std::u16string& to) = 0;
};

struct RpcParam {
    std::u16string name; // with its leading '@', may be empty for positional parameters
    ColumnInfo type;
    Value value;
    bool output = false;
};

class Session {
public:
    virtual ~Session() = default;
    // Runs every statement of the batch; `cancel`, when set by another thread, stops it between
    // statements and rows (the caller then acknowledges the attention).
    virtual void execute(const std::u16string& batch, ResultSink& sink,
                         const std::atomic<bool>* cancel = nullptr) = 0;
    // A remote procedure call; sp_executesql (and the prepare family) bind typed parameters.
    virtual void executeRpc(const std::u16string& procedure, const std::vector<RpcParam>& params,
                            ResultSink& sink, const std::atomic<bool>* cancel = nullptr) = 0;
    virtual std::u16string currentDatabase() const = 0;
    virtual std::u16string loginName() const = 0;
};

// What the front end knows of a client's connection, for sys.dm_exec_connections.
struct ConnectionInfo {
    bool encrypted = false;    // the whole session travels through TLS, not the login alone
    std::string clientAddress; // empty for a session opened inside this process
    int32_t clientPort = 0;
    int32_t packetSize = 4096;
};

struct LoginResult {
    std::unique_ptr<Session> session; // empty when the login failed
    std::optional<Message> error;     // 18456, 4060, ...
};

class Engine {
public:
    struct Options {
        std::filesystem::path dataRoot;
        // Set on first start; when absent then, a random one is generated and kept in dataRoot.
        std::optional<std::string> saPassword;
        std::u16string serverName = u"STANDIN";
        // Where the engine says what it did on its own (cleaning up after a crash); may be empty.
        std::function<void(const std::string&)> log;
    };

    virtual ~Engine() = default;
    // Opens (creating on first start) the data root. Throws std::runtime_error when unusable.
    static std::unique_ptr<Engine> open(const Options& options);

    // Safe to call from many threads at once; each session is used by one thread at a time.
    virtual LoginResult login(const std::u16string& user, const std::u16string& password,
                              const std::u16string& database,
                              const ConnectionInfo& connection = {}) = 0;
    virtual std::u16string serverName() const = 0;
};

} // namespace standin
