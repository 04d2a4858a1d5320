// LOGIN7 decoding and TDS version negotiation.
#include "Login7.h"

namespace standin::tds {

namespace {
constexpr size_t FixedPart = 36;
constexpr size_t MaxLogin = 128 * 1024;

uint8_t unscramble(uint8_t b)
{
    b ^= 0xA5;
    return uint8_t((b << 4) | (b >> 4));
}
uint8_t scramble(uint8_t b)
{
    b = uint8_t((b << 4) | (b >> 4));
    return b ^ 0xA5;
}
} // namespace

std::u16string deobfuscatePassword(std::span<const uint8_t> raw)
{
    std::u16string out(raw.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = char16_t(unscramble(raw[2 * i]) | (unscramble(raw[2 * i + 1]) << 8));
    return out;
}

std::vector<uint8_t> obfuscatePassword(std::u16string_view password)
{
    std::vector<uint8_t> out;
    for (char16_t c : password) {
        out.push_back(scramble(uint8_t(c)));
        out.push_back(scramble(uint8_t(c >> 8)));
    }
    return out;
}

Login7 parseLogin7(std::span<const uint8_t> payload)
{
    ByteReader r(payload);
    const uint32_t length = r.u32();
    if (length > payload.size() || length > MaxLogin || length < FixedPart + 36)
        throw ProtocolError("LOGIN7 length " + std::to_string(length) + " does not fit");
    auto record = payload.first(length);
    Login7 login;
    login.tdsVersion = r.u32();
    login.packetSize = r.u32();
    r.skip(4); // client program version
    login.clientPid = r.u32();
    r.skip(4); // connection id
    login.optionFlags1 = r.u8();
    login.optionFlags2 = r.u8();
    login.typeFlags = r.u8();
    login.optionFlags3 = r.u8();
    r.skip(8); // time zone, LCID

    auto text = [&](bool isPassword = false) {
        const uint16_t offset = r.u16();
        const uint16_t chars = r.u16();
        if (chars == 0)
            return std::u16string();
        if (size_t(offset) + size_t(chars) * 2 > record.size())
            throw ProtocolError("LOGIN7 field outside the record");
        auto raw = record.subspan(offset, size_t(chars) * 2);
        if (isPassword)
            return deobfuscatePassword(raw);
        return ByteReader(raw).utf16(chars);
    };
    login.hostName = text();
    login.userName = text();
    login.password = text(true);
    login.appName = text();
    login.serverName = text();
    r.skip(4); // extension or unused
    login.libraryName = text();
    login.language = text();
    login.database = text();
    // Client id, SSPI, attach file and change password follow; none is used.
    return login;
}

uint32_t negotiateVersion(uint32_t requested)
{
    if (requested >= version::V7_4)
        return version::V7_4;
    if (requested >= version::V7_3B)
        return version::V7_3B;
    if (requested >= version::V7_3A)
        return version::V7_3A;
    if (requested >= version::V7_2)
        return version::V7_2;
    if (requested >= version::V7_1)
        return version::V7_1_Rev1;
    return 0;
}

} // namespace standin::tds
