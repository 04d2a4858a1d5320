// The cipher against libmcrypt's independent Rijndael-256, and the framing rules of stored
// passwords: block counts, key cut and padding, absent results, unpaired surrogates.
#include "CRijndael.h"
#include "OracleCipher.h"

#include <gtest/gtest.h>

#include <random>

using namespace sqllumo::password;
using sqllumo::testing::oracleEncrypt;
using sqllumo::testing::oracleFrame;
using sqllumo::testing::oracleKeyBlock;

namespace {

Bytes randomBytes(std::mt19937& rng, size_t n)
{
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<uint8_t>(rng());
    return b;
}

} // namespace

TEST(CRijndael, SingleBlocksAgreeWithTheIndependentImplementationBothWays)
{
    std::mt19937 rng(7);
    CRijndael r;
    r.gentables();
    for (int i = 0; i < 200; ++i) {
        Bytes key = randomBytes(rng, 32), block = randomBytes(rng, 32);
        r.gkey(8, 8, key.data());
        Bytes mine = block;
        r.Encrypt(mine.data());
        ASSERT_EQ(mine, oracleEncrypt(key, block)) << "block " << i;
        r.Decrypt(mine.data());
        ASSERT_EQ(mine, block) << "block " << i;
    }
}

TEST(CRijndael, FramedMessagesAreLengthPrefixedZeroPaddedAndEcb)
{
    std::mt19937 rng(11);
    for (size_t length : {1u, 27u, 28u, 29u, 60u, 61u, 124u}) {
        Bytes key = randomBytes(rng, 1 + length % 40), message = randomBytes(rng, length);
        Bytes cipher = EncipherPassword(key, message);
        EXPECT_EQ(cipher, oracleEncrypt(oracleKeyBlock(key), oracleFrame(message))) << length;
        EXPECT_EQ(DecipherPassword(key, cipher), message) << length;
    }
}

TEST(PasswordCipher, StoredTextSizesAndRoundTrips)
{
    const std::u16string user = u"Administrator";
    const std::u16string fourteen = u"abcdefghijklm ";
    const std::u16string fifteen = u"abcdefghijklmno";
    const auto c14 = BytesToText(EncipherPassword(TextToBytes(user), TextToBytes(fourteen)));
    const auto c15 = BytesToText(EncipherPassword(TextToBytes(user), TextToBytes(fifteen)));
    EXPECT_EQ(c14.size(), 16u);
    EXPECT_EQ(c15.size(), 32u);
    // Trailing blanks come back as typed.
    EXPECT_EQ(BytesToText(DecipherPassword(TextToBytes(user), TextToBytes(c14))), fourteen);
    EXPECT_EQ(BytesToText(DecipherPassword(TextToBytes(user), TextToBytes(c15))), fifteen);
    // Deterministic for one key, different for another.
    EXPECT_EQ(c14, BytesToText(EncipherPassword(TextToBytes(user), TextToBytes(fourteen))));
    EXPECT_NE(c14, BytesToText(EncipherPassword(TextToBytes(u"Guest"), TextToBytes(fourteen))));
}

TEST(PasswordCipher, KeyMaterialIsCutAt32BytesAndZeroPadded)
{
    const Bytes message = TextToBytes(u"secret");
    EXPECT_EQ(EncipherPassword(TextToBytes(u"ABCDEFGHIJKLMNOPqrst"), message),
              EncipherPassword(TextToBytes(u"ABCDEFGHIJKLMNOPxyz"), message));
    EXPECT_NE(EncipherPassword(TextToBytes(u"ABCDEFGHIJKLMNOQ"), message),
              EncipherPassword(TextToBytes(u"ABCDEFGHIJKLMNOP"), message));
    EXPECT_EQ(EncipherPassword(TextToBytes(u"ab"), message),
              EncipherPassword(TextToBytes(std::u16string(u"ab\0\0", 4)), message));
}

TEST(PasswordCipher, CipherTextsWithUnpairedSurrogatesSurviveTheTextRules)
{
    // Find ciphers whose text holds a lone surrogate, as stored passwords often do.
    int seen = 0;
    for (int i = 0; i < 400 && seen < 20; ++i) {
        const Bytes key = TextToBytes(u"user" + std::u16string(1, char16_t(u'A' + i % 26)) +
                                      std::u16string(1, char16_t(u'0' + i / 26)));
        const Bytes cipher = EncipherPassword(key, TextToBytes(u"pw"));
        const std::u16string text = BytesToText(cipher);
        bool lone = false;
        for (size_t k = 0; k < text.size(); ++k) {
            const bool high = text[k] >= 0xD800 && text[k] < 0xDC00;
            const bool low = text[k] >= 0xDC00 && text[k] < 0xE000;
            const bool nextLow =
                k + 1 < text.size() && text[k + 1] >= 0xDC00 && text[k + 1] < 0xE000;
            const bool prevHigh = k > 0 && text[k - 1] >= 0xD800 && text[k - 1] < 0xDC00;
            lone = lone || (high && !nextLow) || (low && !prevHigh);
        }
        if (!lone)
            continue;
        ++seen;
        EXPECT_EQ(TextToBytes(text), cipher);
        EXPECT_EQ(BytesToText(DecipherPassword(key, TextToBytes(text))), u"pw");
    }
    EXPECT_GT(seen, 5);
}

TEST(PasswordCipher, AbsentAndFaultyInputs)
{
    const Bytes key = TextToBytes(u"Quartermaster");
    EXPECT_TRUE(EncipherPassword(std::nullopt, TextToBytes(u"x")).empty());
    EXPECT_TRUE(EncipherPassword(key, std::nullopt).empty());
    EXPECT_TRUE(DecipherPassword(key, std::nullopt).empty());
    EXPECT_THROW(EncipherPassword(key, Bytes{}), CipherError);
    EXPECT_THROW(DecipherPassword(key, Bytes{}), CipherError);
    Bytes cipher = EncipherPassword(key, TextToBytes(u"admin"));
    cipher.pop_back();
    EXPECT_TRUE(DecipherPassword(key, cipher).empty());

    // A wrong key decodes a random length: too large is absent, zero or less an error.
    int absent = 0, errors = 0;
    const Bytes good = EncipherPassword(key, TextToBytes(u"admin"));
    for (int i = 0; i < 64; ++i) {
        const Bytes wrong = TextToBytes(u"wrong" + std::u16string(1, char16_t(u'a' + i)));
        try {
            const Bytes result = DecipherPassword(wrong, good);
            absent += result.empty();
            EXPECT_LE(result.size(), good.size() - 4);
        } catch (const CipherError&) {
            ++errors;
        }
    }
    EXPECT_GT(absent, 0);
    EXPECT_GT(errors, 0);
}
