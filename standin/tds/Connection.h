// One client connection: a reader thread that settles encryption, frames packets (and notices
// attention and disconnection at any time) and a worker thread that logs in and runs the
// requests.
#pragma once

#include "Packet.h"
#include "Server.h"
#include "Tls.h"
#include "Types.h"
#include "engine/Engine.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace standin::tds {

class PacketInput;

class Connection {
public:
    Connection(Engine& engine, int fd, uint32_t id, std::string peer, const ServerOptions& options);
    ~Connection();

    void start();
    // Lets the running request finish, then closes.
    void requestStop();
    bool finished() const { return finished_; }
    // Closed or on its way to close: it no longer counts against the server's limits.
    bool closing() const { return finished_ || broken_; }
    bool loggedIn() const { return loggedIn_; }
    // Nothing has arrived from the client yet.
    bool silent() const { return !heard_; }
    const std::string& peer() const { return peer_; }
    // Cancels what runs and closes the socket: for a client that stopped reading.
    void forceClose();
    void join();

private:
    struct Item {
        enum Kind { Request, Attention, Closed } kind = Request;
        PacketMessage message;
        std::string reason;
    };

    void readLoop();
    // The next whole message off the wire (an attention comes as a message of its own), or
    // nothing once the client has gone.
    std::optional<PacketMessage> readMessage(PacketInput& input, MessageAssembler& assembler,
                                             std::string& why);
    // Answers PRELOGIN and carries out the TLS handshake the answer calls for; returns the
    // message after it, or nothing when the connection ends (`why` says why).
    std::optional<PacketMessage> settleEncryption(const PacketMessage& prelogin, PacketInput& input,
                                                  MessageAssembler& assembler, std::string& why);
    std::string refusalForNoEncryption() const;
    void workLoop();
    bool waitItem(Item& item);
    bool handshake();
    void serveRequest(const PacketMessage& message);
    void runBatch(const PacketMessage& message);
    void runRpc(const PacketMessage& message);
    void runTransactionRequest(const PacketMessage& message);
    void acknowledgeAttention();
    void sendError(const Message& message, PacketType requestType);
    void sendRaw(std::span<const uint8_t> bytes);
    void log(const std::string& text) const;
    friend class TdsSink;

    Engine& engine_;
    int fd_;
    uint32_t id_;
    std::string peer_;
    ServerOptions options_;
    uint32_t tdsVersion_ = 0;
    std::unique_ptr<Session> session_;
    PacketWriter writer_;
    // Set up by the reader before the login; from then on only the worker encrypts.
    std::unique_ptr<TlsChannel> tls_;
    std::atomic<bool> sendThroughTls_{false};
    std::atomic<bool> encrypted_{false}; // the whole session, not the login alone
    std::vector<uint8_t> sealed_;        // the worker's encrypted packet
    std::vector<uint8_t> packet_;        // the reader's packet

    std::thread worker_;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Item> queue_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> loggedIn_{false};
    std::atomic<bool> heard_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> broken_{false}; // the socket failed; nothing more is sent
    std::atomic<bool> finished_{false};

    // Statements prepared with sp_prepare or sp_prepexec, by handle.
    struct Prepared {
        std::u16string parameters;
        std::u16string statement;
    };
    std::map<int32_t, Prepared> prepared_;
    int32_t nextHandle_ = 1;
    uint64_t transactionId_ = 0; // descriptor of the open transaction begun by request, or 0
    uint64_t nextTransactionId_ = 1;
};

} // namespace standin::tds
