// Text helpers of the server level: file names in UTF-8, name case folding, number formatting.
#include "ServerText.h"

#include "../Text.h"

namespace standin::server {

std::optional<std::string> ToUtf8(std::u16string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
        else if (c >= 0xD800 && c <= 0xDFFF)
            return std::nullopt;
    }
    return text::toUtf8(text);
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
