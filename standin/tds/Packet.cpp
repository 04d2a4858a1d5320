// Packet framing and message reassembly.
#include "Packet.h"

#include <string>

namespace standin::tds {

PacketHeader parseHeader(std::span<const uint8_t> raw, size_t maxLength)
{
    ByteReader r(raw);
    PacketHeader h;
    h.type = r.u8();
    h.status = r.u8();
    h.length = r.u16be();
    h.spid = r.u16be();
    h.packetId = r.u8();
    h.window = r.u8();
    if (h.length < HeaderSize || h.length > maxLength)
        throw ProtocolError("packet length " + std::to_string(h.length) + " out of range");
    return h;
}

std::optional<PacketMessage> MessageAssembler::add(const PacketHeader& header,
                                                   std::span<const uint8_t> payload)
{
    if (!started_) {
        current_ = PacketMessage{};
        current_.type = PacketType(header.type);
        current_.firstStatus = header.status;
        started_ = true;
    } else if (header.type != uint8_t(current_.type)) {
        throw ProtocolError("packet of type " + std::to_string(header.type) +
                            " inside a message of type " + std::to_string(int(current_.type)));
    }
    if (current_.payload.size() + payload.size() > max_)
        throw ProtocolError("message longer than " + std::to_string(max_) + " bytes");
    current_.payload.insert(current_.payload.end(), payload.begin(), payload.end());
    if (!(header.status & status::EndOfMessage))
        return std::nullopt;
    started_ = false;
    if (header.status & status::Ignore) {
        // The client abandoned this message; nothing of it is executed.
        current_.payload.clear();
        return std::nullopt;
    }
    return std::move(current_);
}

void PacketWriter::begin(PacketType type)
{
    type_ = uint8_t(type);
    packetId_ = 1;
    sent_ = 0;
    out_.buffer().clear();
}

void PacketWriter::emit(size_t offset, size_t payloadBytes, bool last)
{
    const size_t length = HeaderSize + payloadBytes;
    frame_.resize(length);
    frame_[0] = type_;
    frame_[1] = last ? status::EndOfMessage : 0;
    frame_[2] = uint8_t(length >> 8);
    frame_[3] = uint8_t(length);
    frame_[4] = uint8_t(spid_ >> 8);
    frame_[5] = uint8_t(spid_);
    frame_[6] = packetId_++;
    frame_[7] = 0;
    if (payloadBytes)
        std::memcpy(frame_.data() + HeaderSize, out_.buffer().data() + offset, payloadBytes);
    sink_(frame_);
}

void PacketWriter::flushFull()
{
    auto& b = out_.buffer();
    const size_t chunk = packetSize_ - HeaderSize;
    size_t sent = 0;
    // Keep at least one byte back: the last packet must carry end-of-message.
    while (b.size() - sent > chunk) {
        emit(sent, chunk, false);
        sent += chunk;
    }
    if (sent)
        b.erase(b.begin(), b.begin() + long(sent));
    sent_ += sent;
}

bool PacketWriter::dropFrom(size_t position)
{
    if (position < sent_ || position > this->position())
        return false;
    out_.buffer().resize(position - sent_);
    return true;
}

void PacketWriter::end()
{
    flushFull();
    emit(0, out_.buffer().size(), true);
    sent_ += out_.buffer().size();
    out_.buffer().clear();
}

std::vector<uint8_t> frameMessage(PacketType type, std::span<const uint8_t> payload,
                                  size_t packetSize, uint16_t spid)
{
    std::vector<uint8_t> all;
    PacketWriter w([&](std::span<const uint8_t> p) { all.insert(all.end(), p.begin(), p.end()); },
                   packetSize);
    w.setSpid(spid);
    w.begin(type);
    w.out().bytes(payload);
    w.end();
    return all;
}

} // namespace standin::tds
