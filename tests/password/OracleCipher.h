// Cipher texts as an independent Rijndael-256 (libmcrypt) makes them, framed as stored
// passwords are: the expected values of every test that reads what the program stored.
#pragma once

#include <QString>
#include <gtest/gtest.h>
#include <mcrypt.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace sqllumo::testing {

using OracleBytes = std::vector<uint8_t>;

inline OracleBytes oracleEncrypt(OracleBytes key32, OracleBytes data)
{
    MCRYPT td = mcrypt_module_open(const_cast<char*>("rijndael-256"), nullptr,
                                   const_cast<char*>("ecb"), nullptr);
    EXPECT_TRUE(td != MCRYPT_FAILED);
    EXPECT_EQ(mcrypt_enc_get_block_size(td), 32);
    EXPECT_EQ(mcrypt_generic_init(td, key32.data(), 32, nullptr), 0);
    mcrypt_generic(td, data.data(), static_cast<int>(data.size()));
    mcrypt_generic_deinit(td);
    mcrypt_module_close(td);
    return data;
}

// The 4-byte little-endian length, the message, zeros to a multiple of 32.
inline OracleBytes oracleFrame(const OracleBytes& message)
{
    OracleBytes framed((message.size() + 4 + 31) / 32 * 32, 0);
    for (int i = 0; i < 4; ++i)
        framed[i] = static_cast<uint8_t>(message.size() >> (8 * i));
    std::copy(message.begin(), message.end(), framed.begin() + 4);
    return framed;
}

inline OracleBytes oracleKeyBlock(const OracleBytes& key)
{
    OracleBytes block(32, 0);
    std::copy(key.begin(), key.begin() + std::min<size_t>(32, key.size()), block.begin());
    return block;
}

// Text as UTF-16 code units, low byte first, and back; written here again on purpose, so the
// expected values do not come from the code under test.
inline OracleBytes oracleTextBytes(const QString& text)
{
    OracleBytes bytes;
    for (QChar c : text) {
        bytes.push_back(static_cast<uint8_t>(c.unicode() & 0xff));
        bytes.push_back(static_cast<uint8_t>(c.unicode() >> 8));
    }
    return bytes;
}

inline QString oracleCipherText(const QString& key, const QString& plain)
{
    const OracleBytes cipher =
        oracleEncrypt(oracleKeyBlock(oracleTextBytes(key)), oracleFrame(oracleTextBytes(plain)));
    QString text;
    for (size_t i = 0; i + 1 < cipher.size(); i += 2)
        text.append(QChar(static_cast<char16_t>(cipher[i] | cipher[i + 1] << 8)));
    return text;
}

inline QString fixedKeyOracle(const QString& plain)
{
    return oracleCipherText(QStringLiteral("Quartermaster"), plain);
}

} // namespace sqllumo::testing
