// PRELOGIN: the option list a client opens with, and the server's answer (version, encryption
// not supported, no instance, MARS off).
#pragma once

#include "ByteIO.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace standin::tds {

enum class Encryption : uint8_t { Off = 0, On = 1, NotSupported = 2, Required = 3 };

struct PreloginRequest {
    std::optional<uint32_t> clientVersion;
    Encryption encryption = Encryption::NotSupported;
    bool mars = false;
    std::optional<uint32_t> threadId;
    // A client that turns encryption on or requires it cannot be served without TLS.
    bool insistsOnEncryption() const
    {
        return encryption == Encryption::On || encryption == Encryption::Required;
    }
};

// Throws ProtocolError on a malformed option table.
PreloginRequest parsePrelogin(std::span<const uint8_t> payload);

// The answer's payload; the server version is major.minor.build.
std::vector<uint8_t> buildPreloginResponse(uint8_t major, uint8_t minor, uint16_t build);

} // namespace standin::tds
