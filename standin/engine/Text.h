// UTF-16 text helpers and the server's default collation (case-insensitive, accent-sensitive,
// trailing blanks ignored). Text is kept as raw UTF-16 code units throughout: nothing here
// validates or repairs surrogates.
#pragma once

#include <string>
#include <string_view>

namespace standin::text {

// ASCII/Latin-1 widening for the engine's own texts; never used on user data.
std::u16string widen(std::string_view ascii);
// For logs and exception texts only: non-ASCII units become '?'.
std::string narrow(std::u16string_view text);
// Proper UTF-8 <-> UTF-16 for configuration files (passwords); invalid input becomes U+FFFD.
std::u16string fromUtf8(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

// UTF-8 that also carries unpaired surrogates (each as its own three-byte sequence), so any
// UTF-16 text survives a trip through SQLite's TEXT storage unchanged.
std::string toWtf8(std::u16string_view utf16);
std::u16string fromWtf8(std::string_view bytes);
// The same into `out`, which has room for bytes.size() code units; returns how many it wrote.
size_t fromWtf8Into(std::string_view bytes, char16_t* out);

char16_t foldCase(char16_t c);
std::u16string upper(std::u16string_view s);
bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b);

// Three-way comparison under the default collation.
int collate(std::u16string_view a, std::u16string_view b);
// Key whose order and equality match collate(); used for hashing and grouping.
std::u32string collationKey(std::u16string_view s);

// LIKE under the default collation: %, _, [abc], [a-z], [^...]; optional escape character.
bool like(std::u16string_view value, std::u16string_view pattern, char16_t escape = 0);

std::u16string trimTrailingBlanks(std::u16string_view s);

// Text as a VARCHAR of the default collation keeps it: what code page 1252 cannot represent
// becomes '?', one per code unit.
std::u16string throughCodePage1252(std::u16string_view s);

} // namespace standin::text
