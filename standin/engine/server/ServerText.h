// Small text helpers of the server level: file names in UTF-8, the case fold that names compare
// under, and number formatting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace standin::server {

// Empty when the text holds an unpaired surrogate (it cannot name a file). Other conversions are
// the engine's own (text::fromUtf8, text::toUtf8).
std::optional<std::string> ToUtf8(std::u16string_view text);

// Names compare under the server's default collation, through the engine's one case fold.
std::u16string FoldCase(std::u16string_view text);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

std::u16string ToU16(int64_t value);
// value / 10^decimals with exactly `decimals` digits after the point.
std::u16string FixedPoint(int64_t scaled, int decimals);
// Left-pads with blanks to `width`.
std::u16string PadLeft(std::u16string text, size_t width);
// Right-pads with blanks to `width` (CHAR/NCHAR values are sent padded).
std::u16string PadRight(std::u16string text, size_t width);

} // namespace standin::server
