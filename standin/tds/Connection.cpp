// Serving one client: login handshake, batches, RPC calls, attention.
#include "Connection.h"

#include "Log.h"
#include "Login7.h"
#include "Prelogin.h"
#include "Requests.h"
#include "Tokens.h"
#include "engine/Errors.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace standin::tds {

namespace {

constexpr uint8_t ServerMajor = 15;
constexpr uint8_t ServerMinor = 0;
constexpr uint16_t ServerBuild = 2000;
constexpr size_t MaxLoginMessage = 128 * 1024;
constexpr size_t MaxQueuedRequests = 4;
const std::u16string ProgramName = u"Microsoft SQL Server";
const std::u16string DefaultLanguage = u"us_english";

// What escaped the engine without saying what it was.
const std::string UnknownFailure = "unknown failure";

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// Reads exactly n bytes; before login the whole login must arrive by the deadline. The login
// may complete while a read waits (the next request is awaited before it is acknowledged), and
// from then on the deadline no longer applies.
bool readFully(int fd, uint8_t* data, size_t n, const Deadline& deadline,
               const std::atomic<bool>& loggedIn, std::string& why)
{
    size_t got = 0;
    while (got < n) {
        if (deadline && !loggedIn) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                *deadline - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            const int r = left.count() > 0 ? ::poll(&p, 1, int(left.count())) : 0;
            if (r == 0 && loggedIn)
                continue;
            if (r == 0) {
                why = "no login within the time allowed";
                return false;
            }
            if (r < 0 && errno != EINTR) {
                why = std::strerror(errno);
                return false;
            }
            if (r < 0)
                continue;
        }
        const ssize_t k = ::recv(fd, data + got, n - got, 0);
        if (k == 0) {
            why = got ? "client closed the connection inside a packet" : "client disconnected";
            return false;
        }
        if (k < 0) {
            if (errno == EINTR)
                continue;
            why = std::strerror(errno);
            return false;
        }
        got += size_t(k);
    }
    return true;
}

} // namespace

// Reads whole packets off the socket: in clear, or out of TLS records once the handshake is
// done. Records are read one at a time, header first, so that not one byte past the last
// encrypted packet is taken when the session goes on in clear after the login.
class PacketInput {
public:
    PacketInput(int fd, const std::atomic<bool>& loggedIn, std::atomic<bool>& heard,
                Deadline loginDeadline)
        : fd_(fd), loggedIn_(loggedIn), heard_(heard), loginDeadline_(loginDeadline)
    {
    }

    // With `loginOnly`, only the next packet comes through TLS.
    void useTls(TlsChannel* tls, bool loginOnly)
    {
        tls_ = tls;
        loginOnly_ = loginOnly;
    }

    bool next(PacketHeader& h, std::vector<uint8_t>& payload, std::string& why)
    {
        if (!tls_) {
            uint8_t header[HeaderSize];
            if (!read(header, HeaderSize, why))
                return false;
            h = parseHeader(header);
            payload.resize(h.length - HeaderSize);
            return read(payload.data(), payload.size(), why);
        }
        if (!fill(HeaderSize, why))
            return false;
        h = parseHeader(std::span(plain_).subspan(pos_, HeaderSize));
        if (!fill(h.length, why))
            return false;
        payload.assign(plain_.begin() + long(pos_ + HeaderSize),
                       plain_.begin() + long(pos_ + h.length));
        pos_ += h.length;
        if (loginOnly_) {
            if (pos_ != plain_.size())
                throw ProtocolError("more than the login's first packet came encrypted");
            tls_ = nullptr;
        }
        return true;
    }

private:
    bool read(uint8_t* data, size_t n, std::string& why)
    {
        const Deadline timeout = loggedIn_ ? Deadline() : loginDeadline_;
        if (!readFully(fd_, data, n, timeout, loggedIn_, why))
            return false;
        heard_ = true;
        return true;
    }

    // Decrypts records until `n` bytes of plaintext wait.
    bool fill(size_t n, std::string& why)
    {
        if (pos_ == plain_.size()) {
            plain_.clear();
            pos_ = 0;
        } else if (pos_ > 65536) {
            plain_.erase(plain_.begin(), plain_.begin() + long(pos_));
            pos_ = 0;
        }
        while (plain_.size() - pos_ < n) {
            record_.resize(TlsRecordHeaderSize);
            if (!read(record_.data(), TlsRecordHeaderSize, why))
                return false;
            const int length = tlsRecordLength(record_);
            if (length < 0)
                throw ProtocolError("expected a TLS record, got bytes in clear");
            record_.resize(TlsRecordHeaderSize + size_t(length));
            if (!read(record_.data() + TlsRecordHeaderSize, size_t(length), why))
                return false;
            if (!tls_->decrypt(record_, plain_)) {
                why = tls_->error();
                return false;
            }
        }
        return true;
    }

    int fd_;
    const std::atomic<bool>& loggedIn_;
    std::atomic<bool>& heard_;
    Deadline loginDeadline_;
    TlsChannel* tls_ = nullptr;
    bool loginOnly_ = false;
    std::vector<uint8_t> plain_;
    size_t pos_ = 0;
    std::vector<uint8_t> record_;
};

// Turns the engine's output into tokens, holding back each DONE until it is known whether
// more follows, so that only the last one goes out without the "more" bit. Once the client
// asks to cancel, nothing more is written: rows not yet on their way are dropped, and the
// response is only ended.
class TdsSink : public ResultSink {
public:
    TdsSink(Connection& c, bool inRpc) : c_(c), rpc_(inRpc) {}

    void beginResult(const std::vector<ColumnInfo>& columns) override
    {
        if (stopped())
            return;
        flushPending();
        wire_.clear();
        for (const auto& col : columns)
            wire_.push_back(wireColumnFor(col, c_.tdsVersion_));
        writeColMetadata(out(), columns, wire_, c_.tdsVersion_);
        stream();
    }
    void row(const std::vector<Value>& values) override
    {
        if (stopped())
            return;
        markRow();
        try {
            writeRow(c_.writer_.out(), wire_, values, c_.tdsVersion_);
        } catch (const std::exception& e) {
            if (!rowFailed_) {
                rowFailed_ = true;
                c_.log(std::string("row not sent: ") + e.what());
                const Message m = internalFailure(toUtf16(e.what()));
                writeMessage(out(), m, c_.engine_.serverName(), c_.tdsVersion_);
            }
            anyError_ = true;
        }
        stream();
    }
    void message(const Message& m) override
    {
        if (stopped())
            return;
        flushPending();
        writeMessage(out(), m, c_.engine_.serverName(), c_.tdsVersion_);
        anyError_ = anyError_ || m.isError();
        stream();
    }
    void done(const DoneInfo& info) override
    {
        if (stopped())
            return;
        flushPending();
        Pending p;
        switch (info.kind) {
        case DoneInfo::Kind::Statement:
            p.token = rpc_ ? token::DoneInProc : token::Done;
            break;
        case DoneInfo::Kind::InProcedure:
            p.token = token::DoneInProc;
            break;
        case DoneInfo::Kind::Procedure:
            p.token = token::DoneProc;
            procedureDone_ = true;
            break;
        }
        if (info.hasCount)
            p.status |= done::Count;
        if (info.error || rowFailed_)
            p.status |= done::Error;
        rowFailed_ = false;
        p.count = uint64_t(std::max<int64_t>(info.count, 0));
        pending_ = p;
    }
    void returnStatus(int32_t status) override
    {
        if (stopped())
            return;
        flushPending();
        writeReturnStatus(out(), status);
        returnStatusSent_ = true;
    }
    void databaseChanged(const std::u16string& from, const std::u16string& to) override
    {
        if (stopped())
            return;
        flushPending();
        writeEnvChange(out(), envchange::Database, to, from);
    }

    // Closes one procedure call of an RPC request the way SQL Server does: RETURNSTATUS,
    // RETURNVALUEs, DONEPROC. When the engine ended the call itself, its DONEPROC is still
    // held back, so output values still go in before it.
    void endProcedure(const std::vector<std::pair<std::u16string, Value>>& outputs = {},
                      const std::vector<ParamType>& outputTypes = {})
    {
        if (stopped())
            return;
        if (!procedureDone_) {
            flushPending();
            if (!returnStatusSent_)
                writeReturnStatus(out(), anyError_ ? -6 : 0);
        }
        for (size_t i = 0; i < outputs.size(); ++i) {
            ColumnInfo info = columnInfoFor(outputTypes[i]);
            writeReturnValue(out(), uint16_t(i), outputs[i].first,
                             wireColumnFor(info, c_.tdsVersion_), outputs[i].second,
                             c_.tdsVersion_);
        }
        if (!procedureDone_) {
            Pending p;
            p.token = token::DoneProc;
            if (anyError_)
                p.status |= done::Error;
            pending_ = p;
        }
        procedureDone_ = false;
        returnStatusSent_ = false;
        anyError_ = false;
    }

    // Sends the last DONE and ends the response. A cancelled request ends with a DONE carrying
    // the error bit; its acknowledgement follows as a message of its own.
    void finish()
    {
        if (c_.broken_)
            return;
        if (stopped()) {
            flushPending();
            writeDone(out(), token::Done, done::Error, 0, 0, c_.tdsVersion_);
        } else if (pending_) {
            writeDone(out(), pending_->token, pending_->status, 0, pending_->count, c_.tdsVersion_);
            pending_.reset();
        } else {
            writeDone(out(), rpc_ ? token::DoneProc : token::Done, 0, 0, 0, c_.tdsVersion_);
        }
        c_.writer_.end();
    }

    void internalError(const std::string& what)
    {
        if (stopped())
            return;
        flushPending();
        const Message m = internalFailure(toUtf16(what));
        writeMessage(out(), m, c_.engine_.serverName(), c_.tdsVersion_);
        anyError_ = true;
        pending_ = Pending{rpc_ ? token::DoneInProc : token::Done, done::Error, 0};
    }

private:
    struct Pending {
        uint8_t token = token::Done;
        uint16_t status = 0;
        uint64_t count = 0;
    };

    // Every token but a row goes through here, so a run of rows never spans one.
    ByteWriter& out()
    {
        rowsFrom_.reset();
        return c_.writer_.out();
    }
    // The first row of the current run not yet (even partly) sent.
    void markRow()
    {
        if (!rowsFrom_ || *rowsFrom_ < c_.writer_.sent())
            rowsFrom_ = c_.writer_.position();
    }
    bool stopped()
    {
        if (c_.broken_)
            return true;
        if (!c_.cancel_)
            return false;
        if (!cancelled_) {
            cancelled_ = true;
            if (rowsFrom_)
                c_.writer_.dropFrom(*rowsFrom_);
            rowsFrom_.reset();
        }
        return true;
    }
    void flushPending()
    {
        if (!pending_)
            return;
        writeDone(out(), pending_->token, uint16_t(pending_->status | done::More), 0,
                  pending_->count, c_.tdsVersion_);
        pending_.reset();
    }
    void stream()
    {
        if (c_.writer_.out().size() >= c_.writer_.packetSize())
            c_.writer_.flushFull();
    }

    Connection& c_;
    bool rpc_;
    std::vector<WireColumn> wire_;
    std::optional<Pending> pending_;
    bool procedureDone_ = false;
    bool returnStatusSent_ = false;
    bool anyError_ = false;
    bool rowFailed_ = false;
    bool cancelled_ = false;
    std::optional<size_t> rowsFrom_;
};

Connection::Connection(Engine& engine, int fd, uint32_t id, std::string peer,
                       const ServerOptions& options)
    : engine_(engine), fd_(fd), id_(id), peer_(std::move(peer)), options_(options),
      writer_([this](std::span<const uint8_t> bytes) { sendRaw(bytes); })
{
    writer_.setSpid(uint16_t(id));
}

Connection::~Connection()
{
    join();
    if (fd_ >= 0)
        ::close(fd_);
}

void Connection::start()
{
    worker_ = std::thread([this] { workLoop(); });
}

void Connection::requestStop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
}

void Connection::forceClose()
{
    cancel_ = true;
    broken_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    requestStop();
}

void Connection::join()
{
    if (worker_.joinable())
        worker_.join();
}

void Connection::log(const std::string& text) const
{
    logLine("connection " + std::to_string(id_) + " (" + peer_ + "): " + text);
}

void Connection::sendRaw(std::span<const uint8_t> bytes)
{
    if (broken_)
        return;
    if (sendThroughTls_) {
        sealed_.clear();
        if (!tls_->encrypt(bytes, sealed_)) {
            log(tls_->error());
            broken_ = true;
            cancel_ = true;
            return;
        }
        bytes = sealed_;
    }
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t k = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0) {
            broken_ = true;
            cancel_ = true; // nobody reads the rest: stop the running batch
            return;
        }
        sent += size_t(k);
    }
}

void Connection::readLoop()
{
    MessageAssembler assembler(MaxLoginMessage);
    std::string why;
    auto push = [&](Item item) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(item));
        }
        wake_.notify_all();
    };
    PacketInput input(fd_, loggedIn_, heard_,
                      std::chrono::steady_clock::now() +
                          std::chrono::seconds(options_.loginTimeoutSeconds));
    try {
        std::optional<PacketMessage> message = readMessage(input, assembler, why);
        if (message && message->type == PacketType::Prelogin) {
            message = settleEncryption(*message, input, assembler, why);
        } else if (message && options_.tls && options_.forceEncryption) {
            why = refusalForNoEncryption();
            message.reset();
        }
        for (; message; message = readMessage(input, assembler, why)) {
            if (message->type == PacketType::Attention) {
                cancel_ = true;
                push(Item{Item::Attention, {}, {}});
                continue;
            }
            std::lock_guard lock(mutex_);
            size_t requests = 0;
            for (const auto& i : queue_)
                requests += i.kind == Item::Request;
            if (requests >= MaxQueuedRequests)
                throw ProtocolError("requests sent without waiting for their answers");
            queue_.push_back(Item{Item::Request, std::move(*message), {}});
            wake_.notify_all();
        }
    } catch (const ProtocolError& e) {
        why = std::string("protocol error: ") + e.what();
    }
    cancel_ = true;
    push(Item{Item::Closed, {}, why});
}

std::optional<PacketMessage> Connection::readMessage(PacketInput& input,
                                                     MessageAssembler& assembler, std::string& why)
{
    PacketHeader h;
    for (;;) {
        if (!input.next(h, packet_, why))
            return std::nullopt;
        if (h.type == uint8_t(PacketType::Attention)) {
            if (assembler.midMessage())
                throw ProtocolError("attention inside a request");
            return PacketMessage{PacketType::Attention, h.status, {}};
        }
        if (loggedIn_)
            assembler.setMaxMessageSize(options_.maxMessageSize);
        if (auto message = assembler.add(h, packet_))
            return message;
    }
}

std::string Connection::refusalForNoEncryption() const
{
    const std::string address = peer_.substr(0, peer_.rfind(':'));
    return toLogText(makeMessage(err::kEncryptionRequired).text) + " [CLIENT: " + address + "]";
}

std::optional<PacketMessage> Connection::settleEncryption(const PacketMessage& prelogin,
                                                          PacketInput& input,
                                                          MessageAssembler& assembler,
                                                          std::string& why)
{
    const PreloginRequest request = parsePrelogin(prelogin.payload);
    const ServerEncryption server = !options_.tls              ? ServerEncryption::Unavailable
                                    : options_.forceEncryption ? ServerEncryption::Forced
                                                               : ServerEncryption::Offered;
    const EncryptionAgreement agreed = negotiateEncryption(request.encryption, server);
    if (server == ServerEncryption::Unavailable && request.insistsOnEncryption())
        log("client asks for encryption, which this server does not support");
    sendRaw(
        frameMessage(PacketType::TabularResult,
                     buildPreloginResponse(ServerMajor, ServerMinor, ServerBuild, agreed.answer),
                     DefaultPacketSize, uint16_t(id_)));
    if (agreed.scope == EncryptionScope::Refused) {
        why = refusalForNoEncryption();
        return std::nullopt;
    }
    if (agreed.scope == EncryptionScope::None) {
        auto next = readMessage(input, assembler, why);
        if (next && next->type == PacketType::Prelogin) {
            why = server == ServerEncryption::Unavailable
                      ? "client started an encrypted session, which this server does not support"
                      : "client started an encrypted session after saying it cannot encrypt";
            return std::nullopt;
        }
        return next;
    }
    tls_ = options_.tls->newChannel();
    for (;;) {
        auto flight = readMessage(input, assembler, why);
        if (!flight)
            return std::nullopt;
        if (flight->type != PacketType::Prelogin) {
            why = "expected the TLS handshake in PRELOGIN packets, got message type " +
                  std::to_string(int(flight->type));
            return std::nullopt;
        }
        const TlsChannel::Step step = tls_->handshake(flight->payload);
        std::vector<uint8_t> answer;
        tls_->drain(answer);
        if (!answer.empty())
            sendRaw(frameMessage(PacketType::Prelogin, answer, DefaultPacketSize, uint16_t(id_)));
        if (step == TlsChannel::Step::Failed) {
            why = tls_->error();
            return std::nullopt;
        }
        if (step == TlsChannel::Step::Done)
            break;
    }
    const bool full = agreed.scope == EncryptionScope::Full;
    encrypted_ = full;
    sendThroughTls_ = full;
    input.useTls(tls_.get(), !full);
    return readMessage(input, assembler, why);
}

bool Connection::waitItem(Item& item)
{
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return !queue_.empty() || stop_; });
    if (queue_.empty())
        return false; // stopping while idle
    item = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

void Connection::workLoop()
{
    reader_ = std::thread([this] { readLoop(); });
    std::string reason = "server stopping";
    try {
        if (handshake()) {
            Item item;
            while (!stop_ && !broken_ && waitItem(item)) {
                if (item.kind == Item::Closed) {
                    reason = item.reason;
                    break;
                }
                if (item.kind == Item::Attention) {
                    acknowledgeAttention();
                    continue;
                }
                serveRequest(item.message);
            }
            if (broken_)
                reason = "client stopped reading";
        } else {
            reason.clear();
        }
    } catch (const ProtocolError& e) {
        reason = std::string("protocol error: ") + e.what();
    } catch (const std::exception& e) {
        reason = std::string("internal error: ") + e.what();
    } catch (...) {
        reason = "internal error: " + UnknownFailure;
    }
    if (!reason.empty())
        log("closed: " + reason);
    ::shutdown(fd_, SHUT_RDWR);
    if (reader_.joinable())
        reader_.join();
    session_.reset();
    finished_ = true;
}

bool Connection::handshake()
{
    Item item;
    auto next = [&]() -> bool {
        if (!waitItem(item))
            return false;
        if (item.kind == Item::Closed) {
            log("closed before login: " + item.reason);
            return false;
        }
        if (item.kind == Item::Attention) {
            log("closed: attention before login");
            return false;
        }
        return true;
    };
    if (!next())
        return false;
    if (item.message.type != PacketType::Login7) {
        log("closed: expected a login, got message type " + std::to_string(int(item.message.type)));
        return false;
    }
    const Login7 login = parseLogin7(item.message.payload);
    tdsVersion_ = negotiateVersion(login.tdsVersion);
    if (!tdsVersion_) {
        log("closed: TDS version below 7.1 is not supported");
        return false;
    }
    if (login.integratedSecurity()) {
        sendError(makeMessage(err::kUntrustedDomain), PacketType::Login7);
        log("login refused: integrated security");
        return false;
    }
    const size_t packetSize =
        login.packetSize == 0 ? DefaultPacketSize
                              : std::clamp<size_t>(login.packetSize, MinPacketSize, MaxPacketSize);
    ConnectionInfo connection;
    connection.encrypted = encrypted_;
    connection.clientAddress = peer_.substr(0, peer_.rfind(':'));
    connection.clientPort = std::atoi(peer_.substr(peer_.rfind(':') + 1).c_str());
    connection.packetSize = int32_t(packetSize);
    LoginResult result = engine_.login(login.userName, login.password, login.database, connection);
    if (!result.session) {
        const Message m = result.error.value_or(makeMessage(err::kLoginFailed, {login.userName}));
        writer_.begin(PacketType::TabularResult);
        writeMessage(writer_.out(), m, engine_.serverName(), tdsVersion_);
        writeDone(writer_.out(), token::Done, done::Error, 0, 0, tdsVersion_);
        writer_.end();
        log("login refused for '" + toLogText(login.userName) + "' (error " +
            std::to_string(m.number) + ")");
        return false;
    }
    session_ = std::move(result.session);

    const std::u16string db = session_->currentDatabase();
    const std::u16string server = engine_.serverName();
    ByteWriter& out = writer_.out();
    writer_.begin(PacketType::TabularResult);
    writeEnvChange(out, envchange::Database, db, u"master");
    Message changedDatabase = makeMessage(err::kDatabaseChanged, {db});
    changedDatabase.state = 2;
    writeMessage(out, changedDatabase, server, tdsVersion_);
    writeCollationChange(out);
    writeEnvChange(out, envchange::Language, DefaultLanguage, {});
    writeMessage(out, makeMessage(err::kLanguageChanged, {DefaultLanguage}), server, tdsVersion_);
    writeLoginAck(out, tdsVersion_, ProgramName, ServerMajor, ServerMinor, ServerBuild);
    const std::u16string size = toUtf16(std::to_string(packetSize));
    writeEnvChange(out, envchange::PacketSize, size, size);
    writeDone(out, token::Done, done::Final, 0, 0, tdsVersion_);
    writer_.end();
    writer_.setPacketSize(packetSize);
    loggedIn_ = true;
    log("login '" + toLogText(login.userName) + "' to '" + toLogText(db) + "', TDS " +
        std::to_string(tdsVersion_ >> 28) + "." + std::to_string((tdsVersion_ >> 24) & 15) +
        ", packets of " + std::to_string(packetSize) + " bytes, " +
        (encrypted_ ? "encrypted"
         : tls_     ? "login encrypted"
                    : "not encrypted") +
        ", client '" + toLogText(login.appName) + "'");
    return true;
}

void Connection::sendError(const Message& message, PacketType requestType)
{
    writer_.begin(PacketType::TabularResult);
    writeMessage(writer_.out(), message, engine_.serverName(),
                 tdsVersion_ ? tdsVersion_ : version::V7_4);
    writeDone(writer_.out(), requestType == PacketType::Rpc ? token::DoneProc : token::Done,
              done::Error, 0, 0, tdsVersion_ ? tdsVersion_ : version::V7_4);
    writer_.end();
}

// The acknowledgement is a message of its own, also when the request it was meant for had
// already been answered: the client reads up to it and discards what came before.
void Connection::acknowledgeAttention()
{
    writer_.begin(PacketType::TabularResult);
    writeDone(writer_.out(), token::Done, done::Attention, 0, 0, tdsVersion_);
    writer_.end();
    cancel_ = false;
}

void Connection::serveRequest(const PacketMessage& message)
{
    switch (message.type) {
    case PacketType::SqlBatch:
        runBatch(message);
        break;
    case PacketType::Rpc:
        runRpc(message);
        break;
    case PacketType::TransactionManager:
        runTransactionRequest(message);
        break;
    default:
        throw ProtocolError("unexpected message type " + std::to_string(int(message.type)) +
                            " after login");
    }
}

void Connection::runBatch(const PacketMessage& message)
{
    const std::u16string text = parseSqlBatch(message.payload, tdsVersion_);
    writer_.begin(PacketType::TabularResult);
    TdsSink sink(*this, false);
    try {
        session_->execute(text, sink, &cancel_);
    } catch (const std::exception& e) {
        log(std::string("batch failed: ") + e.what());
        sink.internalError(e.what());
    } catch (...) {
        // Whatever escapes the engine ends this request, never the server.
        log("batch failed: " + UnknownFailure);
        sink.internalError(UnknownFailure);
    }
    sink.finish();
}

// Begin, commit and rollback requests run as the statements they stand for; the client learns
// the transaction's descriptor from ENVCHANGE, as SQL Server tells it.
void Connection::runTransactionRequest(const PacketMessage& message)
{
    const TransactionRequest t = parseTransactionRequest(message.payload, tdsVersion_);
    std::u16string statement;
    switch (t.kind) {
    case TransactionRequest::Begin:
        statement = u"BEGIN TRANSACTION";
        break;
    case TransactionRequest::Commit:
        statement = u"COMMIT TRANSACTION";
        break;
    case TransactionRequest::Rollback:
        statement = u"ROLLBACK TRANSACTION";
        break;
    case TransactionRequest::Save:
        statement = u"SAVE TRANSACTION " + t.name;
        break;
    default:
        sendError(makeMessage(err::kDistributedTransaction), message.type);
        return;
    }
    if (t.beginAnother)
        statement += u"; BEGIN TRANSACTION";

    // The engine's own done tokens are replaced by one DONE for the request.
    class Collector : public ResultSink {
    public:
        std::vector<Message> messages;
        bool failed = false;
        void beginResult(const std::vector<ColumnInfo>&) override {}
        void row(const std::vector<Value>&) override {}
        void message(const Message& m) override
        {
            messages.push_back(m);
            failed = failed || m.isError();
        }
        void done(const DoneInfo& d) override { failed = failed || d.error; }
        void returnStatus(int32_t) override {}
        void databaseChanged(const std::u16string&, const std::u16string&) override {}
    } collector;
    try {
        session_->execute(statement, collector, &cancel_);
    } catch (const std::exception& e) {
        collector.messages.push_back(internalFailure(toUtf16(e.what())));
        collector.failed = true;
    } catch (...) {
        collector.messages.push_back(internalFailure(toUtf16(UnknownFailure)));
        collector.failed = true;
    }
    writer_.begin(PacketType::TabularResult);
    ByteWriter& out = writer_.out();
    for (const auto& m : collector.messages)
        writeMessage(out, m, engine_.serverName(), tdsVersion_);
    if (!collector.failed) {
        auto descriptor = [](uint64_t id) {
            std::vector<uint8_t> d(8);
            for (int i = 0; i < 8; ++i)
                d[size_t(i)] = uint8_t(id >> (8 * i));
            return d;
        };
        if (t.kind == TransactionRequest::Commit || t.kind == TransactionRequest::Rollback) {
            writeTransactionChange(out,
                                   t.kind == TransactionRequest::Commit
                                       ? envchange::CommitTransaction
                                       : envchange::RollbackTransaction,
                                   {}, descriptor(transactionId_));
            transactionId_ = 0;
        }
        if (t.kind == TransactionRequest::Begin || t.beginAnother) {
            transactionId_ = nextTransactionId_++;
            writeTransactionChange(out, envchange::BeginTransaction, descriptor(transactionId_),
                                   {});
        }
    }
    writeDone(out, token::Done, collector.failed ? done::Error : done::Final, 0, 0, tdsVersion_);
    writer_.end();
}

void Connection::runRpc(const PacketMessage& message)
{
    std::vector<RpcCall> calls;
    try {
        calls = parseRpc(message.payload, tdsVersion_);
    } catch (const UnsupportedParameter& e) {
        sendError(makeMessage(err::kNotSupported, {toUtf16(e.what())}), PacketType::Rpc);
        return;
    }
    writer_.begin(PacketType::TabularResult);
    TdsSink sink(*this, true);
    auto intParam = [](const RpcCall& call, size_t i) -> std::optional<int32_t> {
        if (i >= call.params.size())
            return std::nullopt;
        if (auto v = std::get_if<int64_t>(&call.params[i].param.value))
            return int32_t(*v);
        return std::nullopt;
    };
    auto textParam = [](const RpcCall& call, size_t i) -> std::u16string {
        if (i >= call.params.size())
            return {};
        if (auto v = std::get_if<std::u16string>(&call.params[i].param.value))
            return *v;
        return {};
    };
    auto asExecuteSql = [](const Prepared& p, const RpcCall& call, size_t firstValue) {
        std::vector<RpcParam> params;
        RpcParam stmt;
        stmt.type.type = SqlType::NVarChar;
        stmt.type.length = -1;
        stmt.value = p.statement;
        params.push_back(stmt);
        RpcParam decl = stmt;
        decl.value = p.parameters;
        params.push_back(decl);
        for (size_t i = firstValue; i < call.params.size(); ++i)
            params.push_back(call.params[i].param);
        return params;
    };
    auto unknownHandle = [&](std::optional<int32_t> handle) {
        sink.message(makeMessage(err::kUnknownPreparedHandle,
                                 {toUtf16(std::to_string(handle.value_or(0)))}));
    };

    for (const RpcCall& call : calls) {
        if (cancel_)
            break;
        const std::u16string name = call.procedureName();
        std::vector<std::pair<std::u16string, Value>> outputs;
        std::vector<ParamType> outputTypes;
        try {
            const uint16_t id = call.id.value_or(0);
            auto is = [&](uint16_t procId, std::u16string_view procName) {
                if (id == procId)
                    return true;
                if (call.id || name.size() != procName.size())
                    return false;
                for (size_t i = 0; i < name.size(); ++i)
                    if (std::tolower(int(name[i])) != procName[i])
                        return false;
                return true;
            };
            if (is(procid::PrepExec, u"sp_prepexec") || is(procid::Prepare, u"sp_prepare")) {
                const bool execute = is(procid::PrepExec, u"sp_prepexec");
                Prepared p{textParam(call, 1), textParam(call, 2)};
                if (call.params.size() < 3 || p.statement.empty()) {
                    sink.message(makeMessage(err::kTooManyArguments, {name}));
                } else {
                    const int32_t handle = nextHandle_++;
                    prepared_[handle] = p;
                    if (execute)
                        session_->executeRpc(u"sp_executesql", asExecuteSql(p, call, 3), sink,
                                             &cancel_);
                    outputs.emplace_back(call.params[0].param.name, int64_t(handle));
                    ParamType t;
                    t.type = wire::IntN;
                    t.maxLength = 4;
                    outputTypes.push_back(t);
                }
            } else if (is(procid::Execute, u"sp_execute")) {
                const auto handle = intParam(call, 0);
                auto found = handle ? prepared_.find(*handle) : prepared_.end();
                if (found == prepared_.end())
                    unknownHandle(handle);
                else
                    session_->executeRpc(u"sp_executesql", asExecuteSql(found->second, call, 1),
                                         sink, &cancel_);
            } else if (is(procid::Unprepare, u"sp_unprepare")) {
                const auto handle = intParam(call, 0);
                if (!handle || !prepared_.erase(*handle))
                    unknownHandle(handle);
            } else if (call.id && id != procid::ExecuteSql) {
                sink.message(makeMessage(err::kNotSupported, {u"The procedure " + name}));
            } else {
                std::vector<RpcParam> params;
                for (const auto& p : call.params)
                    params.push_back(p.param);
                session_->executeRpc(name, params, sink, &cancel_);
            }
        } catch (const std::exception& e) {
            log("call of " + toLogText(name) + " failed: " + e.what());
            sink.internalError(e.what());
        } catch (...) {
            log("call of " + toLogText(name) + " failed: " + UnknownFailure);
            sink.internalError(UnknownFailure);
        }
        sink.endProcedure(outputs, outputTypes);
    }
    sink.finish();
}

} // namespace standin::tds
