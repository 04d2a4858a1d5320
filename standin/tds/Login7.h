// LOGIN7: the client's login record, with the password de-obfuscated.
#pragma once

#include "ByteIO.h"

#include <cstdint>
#include <span>
#include <string>

namespace standin::tds {

// TDS versions as LOGIN7 and LOGINACK carry them.
namespace version {
constexpr uint32_t V7_0 = 0x70000000;
constexpr uint32_t V7_1 = 0x71000000;
constexpr uint32_t V7_1_Rev1 = 0x71000001;
constexpr uint32_t V7_2 = 0x72090002;
constexpr uint32_t V7_3A = 0x730A0003;
constexpr uint32_t V7_3B = 0x730B0003;
constexpr uint32_t V7_4 = 0x74000004;
} // namespace version

struct Login7 {
    uint32_t tdsVersion = 0;
    uint32_t packetSize = 0;
    uint32_t clientPid = 0;
    uint8_t optionFlags1 = 0;
    uint8_t optionFlags2 = 0;
    uint8_t typeFlags = 0;
    uint8_t optionFlags3 = 0;
    std::u16string hostName;
    std::u16string userName;
    std::u16string password; // never logged
    std::u16string appName;
    std::u16string serverName;
    std::u16string libraryName;
    std::u16string language;
    std::u16string database;
    bool integratedSecurity() const { return optionFlags2 & 0x80; }
};

// Throws ProtocolError on a record that is short, points outside itself or lies about its size.
Login7 parseLogin7(std::span<const uint8_t> payload);

// The password as it travels: each byte's nibbles swapped and xored with 0xA5.
std::u16string deobfuscatePassword(std::span<const uint8_t> raw);
std::vector<uint8_t> obfuscatePassword(std::u16string_view password);

// The version this server speaks with a client that asked for `requested` (7.1 to 7.4); 0 when
// the client is older than 7.1.
uint32_t negotiateVersion(uint32_t requested);

} // namespace standin::tds
