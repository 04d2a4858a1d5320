// PRELOGIN: the option list a client opens with, the server's answer (version, encryption, no
// instance, MARS off), and how far the session is encrypted for the client's choice.
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

// What the server can do: no TLS at all, TLS when the client wants it, or TLS always.
enum class ServerEncryption { Unavailable, Offered, Forced };

// How much of the session travels through TLS.
enum class EncryptionScope {
    None,      // all in clear
    LoginOnly, // the first packet of the login, then clear
    Full,      // everything after the handshake
    Refused,   // the client cannot encrypt and the server insists: the connection ends
};

struct EncryptionAgreement {
    Encryption answer;
    EncryptionScope scope;
};

// The server's answer to the client's encryption option and what follows from it.
EncryptionAgreement negotiateEncryption(Encryption client, ServerEncryption server);

// The answer's payload; the server version is major.minor.build.
std::vector<uint8_t> buildPreloginResponse(uint8_t major, uint8_t minor, uint16_t build,
                                           Encryption encryption = Encryption::NotSupported);

} // namespace standin::tds
