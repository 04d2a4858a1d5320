// TDS packet framing: the 8-byte header, reassembly of messages spanning many packets under a
// size bound, and splitting outgoing messages into packets of the negotiated size.
#pragma once

#include "ByteIO.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace standin::tds {

enum class PacketType : uint8_t {
    SqlBatch = 1,
    PreTds7Login = 2,
    Rpc = 3,
    TabularResult = 4,
    Attention = 6,
    BulkLoad = 7,
    FedAuthToken = 8,
    TransactionManager = 14,
    Login7 = 16,
    Sspi = 17,
    Prelogin = 18,
};

namespace status {
constexpr uint8_t EndOfMessage = 0x01;
constexpr uint8_t Ignore = 0x02;
constexpr uint8_t ResetConnection = 0x08;
constexpr uint8_t ResetConnectionKeepTransaction = 0x10;
} // namespace status

constexpr size_t HeaderSize = 8;
constexpr size_t MinPacketSize = 512;
constexpr size_t MaxPacketSize = 32767;
constexpr size_t DefaultPacketSize = 4096;

struct PacketHeader {
    uint8_t type = 0;
    uint8_t status = 0;
    uint16_t length = 0; // whole packet, header included
    uint16_t spid = 0;
    uint8_t packetId = 0;
    uint8_t window = 0;
};

// Throws ProtocolError unless the header is well formed and its length lies in
// [HeaderSize, maxLength].
PacketHeader parseHeader(std::span<const uint8_t> header, size_t maxLength = MaxPacketSize + 1);

struct PacketMessage {
    PacketType type = PacketType::SqlBatch;
    uint8_t firstStatus = 0; // reset flags travel on the first packet
    std::vector<uint8_t> payload;
};

// Collects packet payloads into whole messages. A message larger than the bound, or a packet
// whose type differs from the message it continues, is a protocol error.
class MessageAssembler {
public:
    explicit MessageAssembler(size_t maxMessageSize) : max_(maxMessageSize) {}
    void setMaxMessageSize(size_t max) { max_ = max; }
    // Returns the completed message once a packet carries end-of-message.
    std::optional<PacketMessage> add(const PacketHeader& header, std::span<const uint8_t> payload);
    bool midMessage() const { return started_; }

private:
    size_t max_;
    bool started_ = false;
    PacketMessage current_;
};

// Writes a response as a sequence of packets of at most packetSize bytes. Full packets are
// handed to `sink` as soon as they fill, so large results stream in bounded memory.
class PacketWriter {
public:
    using Sink = std::function<void(std::span<const uint8_t>)>;
    PacketWriter(Sink sink, size_t packetSize = DefaultPacketSize)
        : sink_(std::move(sink)), packetSize_(packetSize)
    {
    }
    void setPacketSize(size_t size) { packetSize_ = size; }
    size_t packetSize() const { return packetSize_; }
    void setSpid(uint16_t spid) { spid_ = spid; }

    void begin(PacketType type);
    ByteWriter& out() { return out_; }
    // Sends every full packet held so far (call between tokens).
    void flushFull();
    // Sends what is left with end-of-message set.
    void end();
    // Bytes of the current message's payload so far, and how many of them have gone out.
    size_t position() const { return sent_ + out_.size(); }
    size_t sent() const { return sent_; }
    // Forgets what was written from `position` on, provided none of it has gone out yet.
    bool dropFrom(size_t position);

private:
    void emit(size_t offset, size_t payloadBytes, bool last);

    Sink sink_;
    size_t packetSize_;
    uint16_t spid_ = 0;
    uint8_t type_ = uint8_t(PacketType::TabularResult);
    uint8_t packetId_ = 1;
    size_t sent_ = 0;
    ByteWriter out_;
    std::vector<uint8_t> frame_;
};

// One whole message framed for tests and simple replies.
std::vector<uint8_t> frameMessage(PacketType type, std::span<const uint8_t> payload,
                                  size_t packetSize = DefaultPacketSize, uint16_t spid = 0);

} // namespace standin::tds
