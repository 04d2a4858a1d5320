// Bounds-checked little-endian readers and writers over byte spans: the primitives every TDS
// decoder and encoder is built from. Decoders never do I/O and never read past their span.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace standin::tds {

// Malformed or hostile input from a client; the connection that sent it is closed.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

    size_t position() const { return pos_; }
    size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ == data_.size(); }

    void need(size_t n) const
    {
        if (n > remaining())
            throw ProtocolError("truncated message");
    }
    void skip(size_t n)
    {
        need(n);
        pos_ += n;
    }
    uint8_t u8()
    {
        need(1);
        return data_[pos_++];
    }
    uint16_t u16()
    {
        need(2);
        uint16_t v = uint16_t(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    uint16_t u16be()
    {
        need(2);
        uint16_t v = uint16_t((data_[pos_] << 8) | data_[pos_ + 1]);
        pos_ += 2;
        return v;
    }
    uint32_t u32()
    {
        need(4);
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | data_[pos_ + i];
        pos_ += 4;
        return v;
    }
    uint32_t u32be()
    {
        need(4);
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | data_[pos_ + i];
        pos_ += 4;
        return v;
    }
    uint64_t u64()
    {
        need(8);
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i)
            v = (v << 8) | data_[pos_ + i];
        pos_ += 8;
        return v;
    }
    std::span<const uint8_t> bytes(size_t n)
    {
        need(n);
        auto s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    // UTF-16LE code units, passed through unchanged.
    std::u16string utf16(size_t chars)
    {
        auto raw = bytes(chars * 2);
        std::u16string s(chars, u'\0');
        for (size_t i = 0; i < chars; ++i)
            s[i] = char16_t(raw[2 * i] | (raw[2 * i + 1] << 8));
        return s;
    }
    std::u16string bVarChar() { return utf16(u8()); }
    std::u16string usVarChar() { return utf16(u16()); }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

class ByteWriter {
public:
    std::vector<uint8_t>& buffer() { return buf_; }
    const std::vector<uint8_t>& buffer() const { return buf_; }
    size_t size() const { return buf_.size(); }

    void u8(uint8_t v) { buf_.push_back(v); }
    void u16(uint16_t v)
    {
        buf_.push_back(uint8_t(v));
        buf_.push_back(uint8_t(v >> 8));
    }
    void u16be(uint16_t v)
    {
        buf_.push_back(uint8_t(v >> 8));
        buf_.push_back(uint8_t(v));
    }
    void u32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            buf_.push_back(uint8_t(v >> (8 * i)));
    }
    void u32be(uint32_t v)
    {
        for (int i = 3; i >= 0; --i)
            buf_.push_back(uint8_t(v >> (8 * i)));
    }
    void u64(uint64_t v)
    {
        for (int i = 0; i < 8; ++i)
            buf_.push_back(uint8_t(v >> (8 * i)));
    }
    void bytes(std::span<const uint8_t> b) { buf_.insert(buf_.end(), b.begin(), b.end()); }
    void utf16(std::u16string_view s)
    {
        size_t at = buf_.size();
        buf_.resize(at + s.size() * 2);
        for (size_t i = 0; i < s.size(); ++i) {
            buf_[at + 2 * i] = uint8_t(s[i]);
            buf_[at + 2 * i + 1] = uint8_t(s[i] >> 8);
        }
    }
    // Length-prefixed texts; longer texts are cut to what the prefix can count.
    void bVarChar(std::u16string_view s)
    {
        s = s.substr(0, std::min<size_t>(s.size(), 255));
        u8(uint8_t(s.size()));
        utf16(s);
    }
    void usVarChar(std::u16string_view s)
    {
        s = s.substr(0, std::min<size_t>(s.size(), 65535));
        u16(uint16_t(s.size()));
        utf16(s);
    }
    // Overwrites a little-endian u16 written earlier (token lengths known only afterwards).
    void patchU16(size_t at, uint16_t v)
    {
        buf_[at] = uint8_t(v);
        buf_[at + 1] = uint8_t(v >> 8);
    }
    void patchU32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            buf_[at + i] = uint8_t(v >> (8 * i));
    }

private:
    std::vector<uint8_t> buf_;
};

std::u16string toUtf16(std::string_view ascii);
// For log lines only: unpaired surrogates and other non-ASCII become '?'.
std::string toLogText(std::u16string_view s);

} // namespace standin::tds
