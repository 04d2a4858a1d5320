// Conversions between the program's UTF-8 text and the byte forms the files store.
#include "TextEncoding.h"

#include <array>
#include <utility>

namespace mdbwriter::encoding {

std::optional<std::u16string> utf16FromUtf8(const std::string& text)
{
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        char32_t cp = 0;
        int extra = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            extra = 3;
        } else {
            return std::nullopt;
        }
        if (i + extra >= text.size() && extra > 0)
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not text.
        static constexpr std::array<char32_t, 4> kMinimum{0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return out;
}

std::vector<std::uint8_t> ucs2Bytes(const std::u16string& text)
{
    std::vector<std::uint8_t> out;
    out.reserve(text.size() * 2);
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> compressedUcs2(const std::u16string& text)
{
    if (text.empty())
        return std::nullopt;
    std::vector<std::uint8_t> out{0xFF, 0xFE};
    bool oneByte = true;
    for (char16_t c : text) {
        // A zero low byte would read as the switch marker in either mode.
        if ((c & 0xFF) == 0)
            return std::nullopt;
        const bool fits = (c >> 8) == 0;
        if (fits != oneByte) {
            out.push_back(0);
            oneByte = fits;
        }
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        if (!oneByte)
            out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (out.size() >= text.size() * 2)
        return std::nullopt;
    return out;
}

std::optional<std::vector<std::uint8_t>> cp1252FromUtf16(const std::u16string& text)
{
    // The 0x80..0x9F row of code page 1252; zero marks the five unassigned places.
    static constexpr std::array<char16_t, 32> kHighRow{
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::vector<std::uint8_t> out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<std::uint8_t>(c));
            continue;
        }
        bool found = false;
        for (std::size_t k = 0; k < kHighRow.size() && !found; ++k) {
            if (kHighRow[k] != 0 && kHighRow[k] == c) {
                out.push_back(static_cast<std::uint8_t>(0x80 + k));
                found = true;
            }
        }
        if (!found)
            return std::nullopt;
    }
    return out;
}

void rc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t length)
{
    std::array<std::uint8_t, 256> s{};
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        j = static_cast<std::uint8_t>(j + s[i] + key[i % keyLength]);
        std::swap(s[i], s[j]);
    }
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    for (std::size_t n = 0; n < length; ++n) {
        a = static_cast<std::uint8_t>(a + 1);
        b = static_cast<std::uint8_t>(b + s[a]);
        std::swap(s[a], s[b]);
        data[n] ^= s[static_cast<std::uint8_t>(s[a] + s[b])];
    }
}

} // namespace mdbwriter::encoding
