// Text as the files hold it: UTF-8 input turned into UCS-2 (plain or in the compressed form)
// or into code page 1252 bytes, plus the RC4 stream that hides part of the header page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mdbwriter::encoding {

// UTF-16 code units; nullopt when the input is not valid UTF-8.
std::optional<std::u16string> utf16FromUtf8(const std::string& text);

// Little-endian UCS-2 bytes.
std::vector<std::uint8_t> ucs2Bytes(const std::u16string& text);

// The compressed form (0xFF 0xFE, then one byte per character whose high byte is zero and a
// zero byte switching to and from two-byte characters); nullopt when the text has a character
// the form cannot carry or when it would not be shorter than plain UCS-2.
std::optional<std::vector<std::uint8_t>> compressedUcs2(const std::u16string& text);

// Code page 1252 bytes; nullopt when a character has no place in it.
std::optional<std::vector<std::uint8_t>> cp1252FromUtf16(const std::u16string& text);

// RC4 applied in place (it is its own inverse).
void rc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t length);

} // namespace mdbwriter::encoding
