// PRELOGIN option table decoding and the server's answer.
#include "Prelogin.h"

namespace standin::tds {

namespace {
enum Option : uint8_t {
    Version = 0,
    EncryptionOption = 1,
    InstOpt = 2,
    ThreadId = 3,
    Mars = 4,
    Terminator = 0xFF,
};
}

PreloginRequest parsePrelogin(std::span<const uint8_t> payload)
{
    PreloginRequest req;
    ByteReader table(payload);
    for (int count = 0;; ++count) {
        if (count > 64)
            throw ProtocolError("PRELOGIN option table too long");
        const uint8_t token = table.u8();
        if (token == Terminator)
            break;
        const uint16_t offset = table.u16be();
        const uint16_t length = table.u16be();
        if (size_t(offset) + length > payload.size())
            throw ProtocolError("PRELOGIN option outside the message");
        ByteReader value(payload.subspan(offset, length));
        switch (token) {
        case Version:
            if (length >= 4)
                req.clientVersion = value.u32be();
            break;
        case EncryptionOption:
            if (length >= 1) {
                const uint8_t e = value.u8();
                req.encryption = e <= 3 ? Encryption(e) : Encryption::Required;
            }
            break;
        case ThreadId:
            if (length >= 4)
                req.threadId = value.u32();
            break;
        case Mars:
            if (length >= 1)
                req.mars = value.u8() != 0;
            break;
        default:
            break; // instance, trace id, federated authentication, nonce: not used here
        }
    }
    return req;
}

EncryptionAgreement negotiateEncryption(Encryption client, ServerEncryption server)
{
    using Scope = EncryptionScope;
    switch (server) {
    case ServerEncryption::Unavailable:
        // A client that insists ends the connection itself.
        return {Encryption::NotSupported, Scope::None};
    case ServerEncryption::Offered:
        switch (client) {
        case Encryption::Off:
            return {Encryption::Off, Scope::LoginOnly};
        case Encryption::NotSupported:
            return {Encryption::NotSupported, Scope::None};
        case Encryption::On:
        case Encryption::Required:
            return {Encryption::On, Scope::Full};
        }
        break;
    case ServerEncryption::Forced:
        return {Encryption::Required,
                client == Encryption::NotSupported ? Scope::Refused : Scope::Full};
    }
    return {Encryption::NotSupported, Scope::Refused};
}

std::vector<uint8_t> buildPreloginResponse(uint8_t major, uint8_t minor, uint16_t build,
                                           Encryption encryption)
{
    struct Entry {
        uint8_t token;
        std::vector<uint8_t> data;
    };
    const Entry entries[] = {
        {Version, {major, minor, uint8_t(build >> 8), uint8_t(build), 0, 0}},
        {EncryptionOption, {uint8_t(encryption)}},
        {InstOpt, {0}},
        {ThreadId, {}},
        {Mars, {0}},
    };
    const size_t tableSize = std::size(entries) * 5 + 1;
    ByteWriter w;
    size_t offset = tableSize;
    for (const auto& e : entries) {
        w.u8(e.token);
        w.u16be(uint16_t(offset));
        w.u16be(uint16_t(e.data.size()));
        offset += e.data.size();
    }
    w.u8(Terminator);
    for (const auto& e : entries)
        w.bytes(e.data);
    return std::move(w.buffer());
}

} // namespace standin::tds
