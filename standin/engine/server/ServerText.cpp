// Text helpers of the server level: UTF conversions, name case folding, number formatting.
#include "ServerText.h"

#include "../Text.h"

namespace standin::server {

std::u16string FromUtf8(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        char32_t cp = 0xFFFD;
        size_t extra = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (i + extra >= text.size()) { // truncated sequence at the end
            out.push_back(u'\uFFFD');
            break;
        }
        bool valid = true;
        for (size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!valid) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

namespace {
void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::optional<std::string> toUtf8(std::u16string_view text, bool lossy)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            appendUtf8(out,
                       0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (!lossy)
                return std::nullopt;
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}
} // namespace

std::optional<std::string> ToUtf8(std::u16string_view text)
{
    return toUtf8(text, false);
}

std::string ToUtf8Lossy(std::u16string_view text)
{
    return *toUtf8(text, true);
}

std::u16string FoldCase(std::u16string_view text)
{
    return text::upper(text);
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b)
{
    return text::equalsIgnoreCase(a, b);
}

std::u16string ToU16(int64_t value)
{
    const std::string s = std::to_string(value);
    return std::u16string(s.begin(), s.end());
}

std::u16string FixedPoint(int64_t scaled, int decimals)
{
    const bool negative = scaled < 0;
    uint64_t magnitude = negative ? uint64_t(0) - uint64_t(scaled) : uint64_t(scaled);
    uint64_t divisor = 1;
    for (int i = 0; i < decimals; ++i)
        divisor *= 10;
    std::string whole = std::to_string(magnitude / divisor);
    std::string fraction = std::to_string(magnitude % divisor);
    while (fraction.size() < size_t(decimals))
        fraction.insert(fraction.begin(), '0');
    std::string s = (negative ? "-" : "") + whole + (decimals > 0 ? "." + fraction : "");
    return std::u16string(s.begin(), s.end());
}

std::u16string PadLeft(std::u16string text, size_t width)
{
    if (text.size() < width)
        text.insert(text.begin(), width - text.size(), u' ');
    return text;
}

std::u16string PadRight(std::u16string text, size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), u' ');
    return text;
}

} // namespace standin::server
