// Rijndael with 256-bit blocks and keys, and the byte framing that stored passwords use:
// a 4-byte little-endian length, the message, zero padding to 32 bytes, blocks in ECB order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sqllumo::password {

using Bytes = std::vector<uint8_t>;

// Raised for a zero-length message or cipher, or a decoded length of zero or less.
class CipherError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CRijndael {
public:
    static constexpr int kMaxWords = 8;

    CRijndael();
    // Builds the GF(2^8) power/log tables and both S-boxes.
    void gentables();
    // Sets block and key length in 32-bit words (4..8) and expands the key (4*nk bytes).
    void gkey(int nb, int nk, const uint8_t* key);
    // Enciphers / deciphers one block of 4*Nb bytes in place.
    void Encrypt(uint8_t* block) const;
    void Decrypt(uint8_t* block) const;

    // nullopt stands for an array that was never dimensioned (absent). The result is empty
    // when it is absent: absent input, a cipher not a multiple of 32 bytes, or a length
    // prefix that does not fit (a wrong key). Zero-length input raises CipherError.
    Bytes EncryptData(const std::optional<Bytes>& message, const std::optional<Bytes>& password);
    Bytes DecryptData(const std::optional<Bytes>& cipher, const std::optional<Bytes>& password);

private:
    uint8_t mul(uint8_t a, uint8_t b) const;
    void addRoundKey(uint8_t* block, int round) const;
    void prepareKey(const Bytes& password);

    std::array<uint8_t, 256> pow_{}, log_{}, sbox_{}, rsbox_{};
    std::array<uint8_t, 30> rcon_{};
    int nb_ = 0, nk_ = 0, nr_ = 0;
    std::array<int, 3> shift_{}; // row offsets C1, C2, C3
    std::array<uint32_t, 120> ekey_{};
};

// The only way in for other code; note the key comes first here.
Bytes EncipherPassword(const std::optional<Bytes>& key, const std::optional<Bytes>& message);
Bytes DecipherPassword(const std::optional<Bytes>& key, const std::optional<Bytes>& cipher);

// The key text of the administrator and generic passwords: 13 characters, so its key block
// is 26 text bytes and 6 zero bytes.
inline constexpr char16_t kFixedKeyText[] = u"Quartermaster";

// Text in, text out: text to bytes, encipher or decipher, bytes to text. An absent result is
// the empty text; zero-length input raises CipherError as below.
std::u16string EncipherText(const std::u16string& key, const std::u16string& text);
std::u16string DecipherText(const std::u16string& key, const std::u16string& cipherText);

// Text <-> bytes: each UTF-16 code unit as two bytes, low byte first; no validation, so
// cipher texts with unpaired surrogates survive both ways. An odd trailing byte is dropped.
Bytes TextToBytes(const std::u16string& text);
std::u16string BytesToText(const Bytes& bytes);

} // namespace sqllumo::password
