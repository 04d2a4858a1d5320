// Fuzz entry point for every decoder a client's bytes reach: packet headers and reassembly,
// PRELOGIN, LOGIN7, SQL batches, RPC calls and parameter values. Each must either decode or
// throw ProtocolError / std::invalid_argument; anything else is a fault.
#include "Login7.h"
#include "Packet.h"
#include "Prelogin.h"
#include "Requests.h"

#include <cstddef>
#include <cstdint>
#include <span>

using namespace standin::tds;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> input(data, size);

    // As a stream of packets, reassembled under a small bound.
    try {
        MessageAssembler assembler(64 * 1024);
        size_t at = 0;
        while (at + HeaderSize <= input.size()) {
            const PacketHeader h = parseHeader(input.subspan(at, HeaderSize));
            if (at + h.length > input.size())
                break;
            auto message = assembler.add(h, input.subspan(at + HeaderSize, h.length - HeaderSize));
            at += h.length;
            if (!message)
                continue;
            try {
                switch (message->type) {
                case PacketType::Prelogin:
                    parsePrelogin(message->payload);
                    break;
                case PacketType::Login7:
                    parseLogin7(message->payload);
                    break;
                case PacketType::SqlBatch:
                    parseSqlBatch(message->payload, version::V7_4);
                    break;
                case PacketType::Rpc:
                    parseRpc(message->payload, version::V7_4);
                    break;
                default:
                    break;
                }
            } catch (const ProtocolError&) {
            } catch (const std::invalid_argument&) {
            }
        }
    } catch (const ProtocolError&) {
    }

    // As the payload of each message kind directly.
    auto guarded = [&](auto parse) {
        try {
            parse();
        } catch (const ProtocolError&) {
        } catch (const std::invalid_argument&) {
        }
    };
    guarded([&] { parsePrelogin(input); });
    guarded([&] { parseLogin7(input); });
    guarded([&] { parseRpc(input, version::V7_4); });
    guarded([&] { parseRpc(input, version::V7_1_Rev1); });
    guarded([&] { parseSqlBatch(input, version::V7_4); });
    guarded([&] {
        ByteReader r(input);
        while (!r.atEnd()) {
            const ParamType t = readParamType(r);
            readParamValue(r, t);
        }
    });
    return 0;
}
