// Byte-state Rijndael for any block and key length of 4 to 8 words; the product uses 8 and 8.
#include "CRijndael.h"

#include <algorithm>
#include <cstring>

namespace sqllumo::password {
namespace {

uint8_t xtime(uint8_t b)
{
    return static_cast<uint8_t>((b << 1) ^ ((b & 0x80) ? 0x1B : 0));
}
uint8_t rotl8(uint8_t b, int n)
{
    return static_cast<uint8_t>((b << n) | (b >> (8 - n)));
}

} // namespace

CRijndael::CRijndael() = default;

void CRijndael::gentables()
{
    pow_[0] = 1;
    for (int i = 1; i < 256; ++i)
        pow_[i] = static_cast<uint8_t>(pow_[i - 1] ^ xtime(pow_[i - 1]));
    log_.fill(0);
    for (int i = 0; i < 255; ++i)
        log_[pow_[i]] = static_cast<uint8_t>(i);
    sbox_[0] = 0x63;
    for (int x = 1; x < 256; ++x) {
        uint8_t y = pow_[(255 - log_[x]) % 255];
        sbox_[x] =
            static_cast<uint8_t>(y ^ rotl8(y, 1) ^ rotl8(y, 2) ^ rotl8(y, 3) ^ rotl8(y, 4) ^ 0x63);
    }
    for (int i = 0; i < 256; ++i)
        rsbox_[sbox_[i]] = static_cast<uint8_t>(i);
    rcon_[0] = 1;
    for (size_t i = 1; i < rcon_.size(); ++i)
        rcon_[i] = xtime(rcon_[i - 1]);
}

uint8_t CRijndael::mul(uint8_t a, uint8_t b) const
{
    if (a == 0 || b == 0)
        return 0;
    return pow_[(log_[a] + log_[b]) % 255];
}

void CRijndael::gkey(int nb, int nk, const uint8_t* key)
{
    nb_ = std::clamp(nb, 4, kMaxWords);
    nk_ = std::clamp(nk, 4, kMaxWords);
    nr_ = 6 + std::max(nb_, nk_);
    shift_ = nb_ >= 8 ? std::array<int, 3>{1, 3, 4} : std::array<int, 3>{1, 2, 3};

    auto subWord = [this](uint32_t w) {
        return uint32_t(sbox_[w & 0xff]) | uint32_t(sbox_[(w >> 8) & 0xff]) << 8 |
               uint32_t(sbox_[(w >> 16) & 0xff]) << 16 | uint32_t(sbox_[w >> 24]) << 24;
    };
    const int n = nb_ * (nr_ + 1);
    for (int i = 0; i < nk_; ++i)
        ekey_[i] = uint32_t(key[4 * i]) | uint32_t(key[4 * i + 1]) << 8 |
                   uint32_t(key[4 * i + 2]) << 16 | uint32_t(key[4 * i + 3]) << 24;
    for (int i = nk_; i < n; ++i) {
        uint32_t t = ekey_[i - 1];
        if (i % nk_ == 0)
            t = subWord((t >> 8) | (t << 24)) ^ rcon_[i / nk_ - 1];
        else if (nk_ > 6 && i % nk_ == 4)
            t = subWord(t);
        ekey_[i] = ekey_[i - nk_] ^ t;
    }
}

// Byte 4c+r of a round key is byte r (little-endian) of schedule word round*Nb+c.
void CRijndael::addRoundKey(uint8_t* block, int round) const
{
    for (int c = 0; c < nb_; ++c)
        for (int r = 0; r < 4; ++r)
            block[4 * c + r] ^= static_cast<uint8_t>(ekey_[round * nb_ + c] >> (8 * r));
}

void CRijndael::Encrypt(uint8_t* block) const
{
    const int bytes = 4 * nb_;
    uint8_t tmp[4 * kMaxWords];
    auto subShift = [&] {
        for (int c = 0; c < nb_; ++c) {
            tmp[4 * c] = sbox_[block[4 * c]];
            for (int r = 1; r < 4; ++r)
                tmp[4 * c + r] = sbox_[block[4 * ((c + shift_[r - 1]) % nb_) + r]];
        }
        std::memcpy(block, tmp, bytes);
    };
    addRoundKey(block, 0);
    for (int round = 1; round < nr_; ++round) {
        subShift();
        for (int c = 0; c < nb_; ++c) {
            uint8_t* s = block + 4 * c;
            const uint8_t a0 = s[0], a1 = s[1], a2 = s[2], a3 = s[3];
            s[0] = static_cast<uint8_t>(mul(2, a0) ^ mul(3, a1) ^ a2 ^ a3);
            s[1] = static_cast<uint8_t>(a0 ^ mul(2, a1) ^ mul(3, a2) ^ a3);
            s[2] = static_cast<uint8_t>(a0 ^ a1 ^ mul(2, a2) ^ mul(3, a3));
            s[3] = static_cast<uint8_t>(mul(3, a0) ^ a1 ^ a2 ^ mul(2, a3));
        }
        addRoundKey(block, round);
    }
    subShift();
    addRoundKey(block, nr_);
    std::memset(tmp, 0, sizeof tmp);
}

void CRijndael::Decrypt(uint8_t* block) const
{
    const int bytes = 4 * nb_;
    uint8_t tmp[4 * kMaxWords];
    auto invShiftSub = [&] {
        for (int c = 0; c < nb_; ++c) {
            tmp[4 * c] = rsbox_[block[4 * c]];
            for (int r = 1; r < 4; ++r)
                tmp[4 * ((c + shift_[r - 1]) % nb_) + r] = rsbox_[block[4 * c + r]];
        }
        std::memcpy(block, tmp, bytes);
    };
    addRoundKey(block, nr_);
    for (int round = nr_ - 1; round >= 1; --round) {
        invShiftSub();
        addRoundKey(block, round);
        for (int c = 0; c < nb_; ++c) {
            uint8_t* s = block + 4 * c;
            const uint8_t a0 = s[0], a1 = s[1], a2 = s[2], a3 = s[3];
            s[0] = static_cast<uint8_t>(mul(14, a0) ^ mul(11, a1) ^ mul(13, a2) ^ mul(9, a3));
            s[1] = static_cast<uint8_t>(mul(9, a0) ^ mul(14, a1) ^ mul(11, a2) ^ mul(13, a3));
            s[2] = static_cast<uint8_t>(mul(13, a0) ^ mul(9, a1) ^ mul(14, a2) ^ mul(11, a3));
            s[3] = static_cast<uint8_t>(mul(11, a0) ^ mul(13, a1) ^ mul(9, a2) ^ mul(14, a3));
        }
    }
    invShiftSub();
    addRoundKey(block, 0);
    std::memset(tmp, 0, sizeof tmp);
}

void CRijndael::prepareKey(const Bytes& password)
{
    uint8_t key[32] = {};
    std::memcpy(key, password.data(), std::min<size_t>(32, password.size()));
    gentables();
    gkey(8, 8, key);
    std::memset(key, 0, sizeof key);
}

Bytes CRijndael::EncryptData(const std::optional<Bytes>& message,
                             const std::optional<Bytes>& password)
{
    if (!message || !password)
        return {};
    if (message->empty())
        throw CipherError("The message to encipher is empty");
    // The length prefix is a signed 32-bit integer.
    if (message->size() > 0x7FFFFFDBu)
        throw CipherError("The message to encipher is too long");
    prepareKey(*password);
    const size_t length = message->size();
    const size_t framed = (length + 4 + 31) / 32 * 32;
    Bytes out;
    out.reserve(framed);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(length >> (8 * i)));
    out.insert(out.end(), message->begin(), message->end());
    out.resize(framed, 0);
    for (size_t offset = 0; offset < framed; offset += 32)
        Encrypt(out.data() + offset);
    return out;
}

Bytes CRijndael::DecryptData(const std::optional<Bytes>& cipher,
                             const std::optional<Bytes>& password)
{
    if (!cipher || !password)
        return {};
    if (cipher->empty())
        throw CipherError("The cipher to decipher is empty");
    if (cipher->size() % 32 != 0)
        return {};
    prepareKey(*password);
    Bytes out = *cipher;
    for (size_t offset = 0; offset < out.size(); offset += 32)
        Decrypt(out.data() + offset);
    const auto l = static_cast<int32_t>(uint32_t(out[0]) | uint32_t(out[1]) << 8 |
                                        uint32_t(out[2]) << 16 | uint32_t(out[3]) << 24);
    if (l <= 0)
        throw CipherError("The deciphered length is not positive");
    if (static_cast<int64_t>(l) > static_cast<int64_t>(out.size()) - 4)
        return {};
    return Bytes(out.begin() + 4, out.begin() + 4 + l);
}

Bytes EncipherPassword(const std::optional<Bytes>& key, const std::optional<Bytes>& message)
{
    CRijndael cipher;
    return cipher.EncryptData(message, key);
}

Bytes DecipherPassword(const std::optional<Bytes>& key, const std::optional<Bytes>& cipher)
{
    CRijndael rijndael;
    return rijndael.DecryptData(cipher, key);
}

std::u16string EncipherText(const std::u16string& key, const std::u16string& text)
{
    return BytesToText(EncipherPassword(TextToBytes(key), TextToBytes(text)));
}

std::u16string DecipherText(const std::u16string& key, const std::u16string& cipherText)
{
    return BytesToText(DecipherPassword(TextToBytes(key), TextToBytes(cipherText)));
}

Bytes TextToBytes(const std::u16string& text)
{
    Bytes bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xff));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

std::u16string BytesToText(const Bytes& bytes)
{
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

} // namespace sqllumo::password
