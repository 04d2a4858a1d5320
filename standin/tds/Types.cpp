// Type codecs: column metadata, value encoding, RPC parameter decoding.
#include "Types.h"

#include <cmath>
#include <stdexcept>

namespace standin::tds {

namespace {

constexpr uint16_t MaxMarker = 0xFFFF;
constexpr uint64_t PlpNull = 0xFFFFFFFFFFFFFFFFull;
constexpr uint64_t PlpUnknownLength = 0xFFFFFFFFFFFFFFFEull;
// Days from 0001-01-01 to 1900-01-01.
constexpr int32_t DaysTo1900 = 693595;
constexpr uint32_t TicksPerDay = 300u * 86400u;

const char16_t Cp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

uint8_t decimalBytes(uint8_t precision)
{
    if (precision <= 9)
        return 5;
    if (precision <= 19)
        return 9;
    if (precision <= 28)
        return 13;
    return 17;
}

bool is72(uint32_t v)
{
    return v >= 0x72000000;
}

const std::u16string* textOf(const Value& v)
{
    return std::get_if<std::u16string>(&v);
}
const Bytes* bytesOf(const Value& v)
{
    return std::get_if<Bytes>(&v);
}

[[noreturn]] void mismatch(const char* what)
{
    throw std::invalid_argument(std::string("a value does not fit its column: ") + what);
}

int64_t integerOf(const Value& v)
{
    if (auto i = std::get_if<int64_t>(&v))
        return *i;
    if (auto d = std::get_if<double>(&v))
        return int64_t(std::llround(*d));
    mismatch("not a number");
}

std::u16string asText(const Value& v)
{
    if (auto s = textOf(v))
        return *s;
    if (auto i = std::get_if<int64_t>(&v)) {
        auto s = std::to_string(*i);
        return toUtf16(s);
    }
    mismatch("not a text");
}

void writePlp(ByteWriter& out, std::span<const uint8_t> data)
{
    out.u64(data.size());
    if (!data.empty()) {
        out.u32(uint32_t(data.size()));
        out.bytes(data);
    }
    out.u32(0);
}

std::vector<uint8_t> utf16Bytes(std::u16string_view s)
{
    ByteWriter w;
    w.utf16(s);
    return std::move(w.buffer());
}

void writeLong(ByteWriter& out, std::span<const uint8_t> data)
{
    static const uint8_t textPointer[16] = {0x74, 0x65, 0x78, 0x74, 0x70, 0x74, 0x72};
    out.u8(16);
    out.bytes(textPointer);
    for (int i = 0; i < 8; ++i)
        out.u8(0); // timestamp
    out.u32(uint32_t(data.size()));
    out.bytes(data);
}

} // namespace

bool isNull(const Value& value)
{
    return std::holds_alternative<std::monostate>(value);
}

WireColumn wireColumnFor(const ColumnInfo& c, uint32_t v)
{
    WireColumn w;
    auto sized = [&](uint8_t type, uint32_t bytes) {
        w.type = type;
        w.maxLength = bytes;
    };
    auto variable = [&](uint8_t type, uint8_t longType, int32_t units, uint32_t unitBytes,
                        bool collation) {
        w.hasCollation = collation;
        const bool max = units < 0 || uint64_t(units) * unitBytes > 8000;
        if (!max) {
            sized(type, uint32_t(std::max(units, 1)) * unitBytes);
        } else if (is72(v)) {
            sized(type, MaxMarker);
            w.plp = true;
        } else {
            sized(longType, longType == wire::NText ? 0x7FFFFFFE : 0x7FFFFFFF);
        }
    };
    switch (c.type) {
    case SqlType::Int:
        sized(wire::IntN, 4);
        break;
    case SqlType::SmallInt:
        sized(wire::IntN, 2);
        break;
    case SqlType::TinyInt:
        sized(wire::IntN, 1);
        break;
    case SqlType::BigInt:
        sized(wire::IntN, 8);
        break;
    case SqlType::Bit:
        sized(wire::BitN, 1);
        break;
    case SqlType::DateTime:
        sized(wire::DateTimeN, 8);
        break;
    case SqlType::Float:
        sized(wire::FltN, 8);
        break;
    case SqlType::Decimal:
        w.precision = c.precision ? std::min<uint8_t>(c.precision, 38) : 18;
        w.scale = std::min(c.scale, w.precision);
        sized(wire::DecimalN, decimalBytes(w.precision));
        break;
    case SqlType::NVarChar:
        variable(wire::NVarChar, wire::NText, c.length, 2, true);
        break;
    case SqlType::NChar:
        variable(wire::NChar, wire::NText, c.length, 2, true);
        break;
    case SqlType::VarChar:
        variable(wire::BigVarChar, wire::Text, c.length, 1, true);
        break;
    case SqlType::Char:
        variable(wire::BigChar, wire::Text, c.length, 1, true);
        break;
    case SqlType::VarBinary:
        variable(wire::BigVarBinary, wire::Image, c.length, 1, false);
        break;
    case SqlType::NText:
        sized(wire::NText, 0x7FFFFFFE);
        w.hasCollation = true;
        break;
    case SqlType::Image:
        sized(wire::Image, 0x7FFFFFFF);
        break;
    case SqlType::UniqueIdentifier:
        sized(wire::Guid, 16);
        break;
    }
    if (w.plp && (w.type == wire::NChar || w.type == wire::BigChar))
        w.type = w.type == wire::NChar ? wire::NVarChar : wire::BigVarChar;
    return w;
}

void writeTypeInfo(ByteWriter& out, const WireColumn& c, uint32_t v, bool inColumnMetadata)
{
    out.u8(c.type);
    switch (c.type) {
    case wire::IntN:
    case wire::BitN:
    case wire::FltN:
    case wire::DateTimeN:
    case wire::Guid:
        out.u8(uint8_t(c.maxLength));
        break;
    case wire::DecimalN:
    case wire::NumericN:
        out.u8(uint8_t(c.maxLength));
        out.u8(c.precision);
        out.u8(c.scale);
        break;
    case wire::Image:
    case wire::Text:
    case wire::NText:
        out.u32(c.maxLength);
        if (c.hasCollation)
            out.bytes(DefaultCollation);
        if (inColumnMetadata) {
            if (is72(v))
                out.u8(0); // no table name parts
            else
                out.u16(0);
        }
        break;
    default:
        out.u16(uint16_t(c.maxLength));
        if (c.hasCollation)
            out.bytes(DefaultCollation);
        break;
    }
}

void writeValue(ByteWriter& out, const WireColumn& c, const Value& value)
{
    const bool null = isNull(value);
    switch (c.type) {
    case wire::IntN: {
        if (null) {
            out.u8(0);
            return;
        }
        const int64_t i = integerOf(value);
        const int bits = int(c.maxLength) * 8;
        if (bits < 64) {
            const int64_t lo = c.maxLength == 1 ? 0 : -(int64_t(1) << (bits - 1));
            const int64_t hi = c.maxLength == 1 ? 255 : (int64_t(1) << (bits - 1)) - 1;
            if (i < lo || i > hi)
                mismatch("integer out of range");
        }
        out.u8(uint8_t(c.maxLength));
        for (uint32_t b = 0; b < c.maxLength; ++b)
            out.u8(uint8_t(uint64_t(i) >> (8 * b)));
        return;
    }
    case wire::BitN:
        if (null) {
            out.u8(0);
            return;
        }
        out.u8(1);
        out.u8(integerOf(value) != 0 ? 1 : 0);
        return;
    case wire::FltN: {
        if (null) {
            out.u8(0);
            return;
        }
        double d;
        if (auto p = std::get_if<double>(&value))
            d = *p;
        else
            d = double(integerOf(value));
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        out.u8(8);
        out.u64(bits);
        return;
    }
    case wire::DateTimeN: {
        if (null) {
            out.u8(0);
            return;
        }
        auto dt = std::get_if<DateTimeValue>(&value);
        if (!dt)
            mismatch("not a date");
        out.u8(8);
        out.u32(uint32_t(dt->days));
        out.u32(dt->ticks);
        return;
    }
    case wire::Guid: {
        if (null) {
            out.u8(0);
            return;
        }
        auto b = bytesOf(value);
        if (!b || b->size() != 16)
            mismatch("not 16 bytes");
        out.u8(16);
        out.bytes(*b);
        return;
    }
    case wire::DecimalN:
    case wire::NumericN: {
        if (null) {
            out.u8(0);
            return;
        }
        const int64_t i = integerOf(value);
        const uint64_t magnitude = i < 0 ? uint64_t(0) - uint64_t(i) : uint64_t(i);
        out.u8(uint8_t(c.maxLength));
        out.u8(i < 0 ? 0 : 1);
        for (uint32_t b = 0; b + 1 < c.maxLength; ++b)
            out.u8(b < 8 ? uint8_t(magnitude >> (8 * b)) : 0);
        return;
    }
    default:
        break;
    }

    // Texts and binaries.
    if (null) {
        if (c.plp)
            out.u64(PlpNull);
        else if (c.isLongType())
            out.u8(0);
        else
            out.u16(0xFFFF);
        return;
    }
    std::vector<uint8_t> data;
    switch (c.type) {
    case wire::NVarChar:
    case wire::NChar:
    case wire::NText:
        data = utf16Bytes(asText(value));
        break;
    case wire::BigVarChar:
    case wire::BigChar:
    case wire::Text:
        data = toCodePage1252(asText(value));
        break;
    default: {
        auto b = bytesOf(value);
        if (!b)
            mismatch("not binary");
        data = *b;
        break;
    }
    }
    if (c.plp) {
        writePlp(out, data);
    } else if (c.isLongType()) {
        writeLong(out, data);
    } else {
        if (data.size() > c.maxLength)
            mismatch("longer than its column");
        out.u16(uint16_t(data.size()));
        out.bytes(data);
    }
}

std::vector<uint8_t> toCodePage1252(std::u16string_view text)
{
    std::vector<uint8_t> out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(uint8_t(c));
            continue;
        }
        uint8_t mapped = '?';
        for (int i = 0; i < 32; ++i)
            if (Cp1252High[i] == c && c != 0xFFFD)
                mapped = uint8_t(0x80 + i);
        out.push_back(mapped);
    }
    return out;
}

std::u16string fromCodePage1252(std::span<const uint8_t> bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (uint8_t b : bytes)
        out.push_back(b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : char16_t(b));
    return out;
}

ParamType readParamType(ByteReader& in)
{
    ParamType t;
    t.type = in.u8();
    switch (t.type) {
    case wire::Null:
        break;
    case wire::Int1:
    case wire::Bit:
        t.maxLength = 1;
        break;
    case wire::Int2:
        t.maxLength = 2;
        break;
    case wire::Int4:
    case wire::DateTime4:
    case wire::Flt4:
    case wire::Money4:
        t.maxLength = 4;
        break;
    case wire::Int8:
    case wire::Money:
    case wire::DateTime:
    case wire::Flt8:
        t.maxLength = 8;
        break;
    case wire::DateN:
        t.maxLength = 3;
        break;
    case wire::TimeN:
    case wire::DateTime2N:
    case wire::DateTimeOffsetN:
        t.scale = in.u8();
        if (t.scale > 7)
            throw ProtocolError("time scale above 7");
        break;
    case wire::Guid:
    case wire::IntN:
    case wire::BitN:
    case wire::FltN:
    case wire::MoneyN:
    case wire::DateTimeN:
    case wire::VarBinary:
    case wire::Binary:
    case wire::VarChar:
    case wire::Char:
        t.maxLength = in.u8();
        break;
    case wire::DecimalN:
    case wire::NumericN:
    case wire::Decimal:
    case wire::Numeric:
        t.maxLength = in.u8();
        t.precision = in.u8();
        t.scale = in.u8();
        if (t.precision == 0 || t.precision > 38 || t.scale > t.precision || t.maxLength > 17)
            throw ProtocolError("bad decimal precision or scale");
        break;
    case wire::BigVarBinary:
    case wire::BigBinary:
        t.maxLength = in.u16();
        t.plp = t.maxLength == MaxMarker;
        break;
    case wire::BigVarChar:
    case wire::BigChar:
    case wire::NVarChar:
    case wire::NChar:
        t.maxLength = in.u16();
        t.plp = t.maxLength == MaxMarker;
        in.skip(5); // collation: parameters are taken as sent
        break;
    case wire::Image:
        t.maxLength = in.u32();
        break;
    case wire::Text:
    case wire::NText:
        t.maxLength = in.u32();
        in.skip(5);
        break;
    default:
        throw std::invalid_argument("parameter type 0x" + [&] {
            static const char* hex = "0123456789ABCDEF";
            return std::string{hex[t.type >> 4], hex[t.type & 15]};
        }() + " is not supported by this server");
    }
    return t;
}

namespace {

std::vector<uint8_t> readPlp(ByteReader& in, bool& null)
{
    const uint64_t total = in.u64();
    null = total == PlpNull;
    std::vector<uint8_t> data;
    if (null)
        return data;
    if (total != PlpUnknownLength && total > in.remaining())
        throw ProtocolError("chunked value longer than its message");
    for (;;) {
        const uint32_t chunk = in.u32();
        if (chunk == 0)
            break;
        auto part = in.bytes(chunk);
        data.insert(data.end(), part.begin(), part.end());
    }
    if (total != PlpUnknownLength && total != data.size())
        throw ProtocolError("chunked value length does not match its chunks");
    return data;
}

uint64_t littleEndian(std::span<const uint8_t> b)
{
    uint64_t v = 0;
    for (size_t i = b.size(); i-- > 0;)
        v = (v << 8) | b[i];
    return v;
}

// Time of day in units of 10^-scale seconds, rounded to DATETIME's 1/300 s.
DateTimeValue fromDaysAndTime(int64_t daysSince0001, uint64_t units, uint8_t scale,
                              int32_t offsetMinutes = 0)
{
    uint64_t perSecond = 1;
    for (int i = 0; i < scale; ++i)
        perSecond *= 10;
    const long double seconds = (long double)units / (long double)perSecond + offsetMinutes * 60.0L;
    int64_t days = daysSince0001 - DaysTo1900;
    int64_t ticks = std::llround(seconds * 300.0L);
    while (ticks >= int64_t(TicksPerDay)) {
        ticks -= TicksPerDay;
        ++days;
    }
    while (ticks < 0) {
        ticks += TicksPerDay;
        --days;
    }
    return {int32_t(days), uint32_t(ticks)};
}

size_t timeBytes(uint8_t scale)
{
    return scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
}

} // namespace

Value readParamValue(ByteReader& in, const ParamType& t)
{
    auto lengthPrefixed = [&](size_t& len) -> bool {
        len = in.u8();
        return len != 0;
    };
    switch (t.type) {
    case wire::Null:
        return {};
    case wire::Int1:
        return int64_t(in.u8());
    case wire::Bit:
        return int64_t(in.u8() != 0);
    case wire::Int2:
        return int64_t(int16_t(in.u16()));
    case wire::Int4:
        return int64_t(int32_t(in.u32()));
    case wire::Int8:
        return int64_t(in.u64());
    case wire::IntN:
    case wire::BitN: {
        size_t len;
        if (!lengthPrefixed(len))
            return {};
        if (len != 1 && len != 2 && len != 4 && len != 8)
            throw ProtocolError("integer of length " + std::to_string(len));
        uint64_t raw = littleEndian(in.bytes(len));
        if (t.type == wire::BitN)
            return int64_t(raw != 0);
        if (len == 1)
            return int64_t(raw);
        const int shift = int(64 - 8 * len);
        return int64_t(raw << shift) >> shift;
    }
    case wire::Flt4:
    case wire::Flt8:
    case wire::FltN: {
        size_t len = t.type == wire::Flt4 ? 4 : t.type == wire::Flt8 ? 8 : in.u8();
        if (len == 0)
            return {};
        if (len == 4) {
            uint32_t bits = in.u32();
            float f;
            std::memcpy(&f, &bits, 4);
            return double(f);
        }
        if (len != 8)
            throw ProtocolError("float of length " + std::to_string(len));
        uint64_t bits = in.u64();
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    case wire::Money:
    case wire::Money4:
    case wire::MoneyN: {
        size_t len = t.type == wire::Money ? 8 : t.type == wire::Money4 ? 4 : in.u8();
        if (len == 0)
            return {};
        if (len == 4)
            return int64_t(int32_t(in.u32()));
        if (len != 8)
            throw ProtocolError("money of length " + std::to_string(len));
        const uint32_t hi = in.u32();
        const uint32_t lo = in.u32();
        return int64_t((uint64_t(hi) << 32) | lo);
    }
    case wire::DateTime:
    case wire::DateTime4:
    case wire::DateTimeN: {
        size_t len = t.type == wire::DateTime ? 8 : t.type == wire::DateTime4 ? 4 : in.u8();
        if (len == 0)
            return {};
        if (len == 8) {
            const int32_t days = int32_t(in.u32());
            const uint32_t ticks = in.u32();
            if (ticks >= TicksPerDay)
                throw ProtocolError("time of day out of range");
            return DateTimeValue{days, ticks};
        }
        if (len != 4)
            throw ProtocolError("date of length " + std::to_string(len));
        const uint16_t days = in.u16();
        const uint16_t minutes = in.u16();
        if (minutes >= 1440)
            throw ProtocolError("time of day out of range");
        return DateTimeValue{days, uint32_t(minutes) * 60u * 300u};
    }
    case wire::DateN: {
        const size_t len = in.u8();
        if (len == 0)
            return {};
        if (len != 3)
            throw ProtocolError("date of length " + std::to_string(len));
        return fromDaysAndTime(int64_t(littleEndian(in.bytes(3))), 0, 0);
    }
    case wire::TimeN:
    case wire::DateTime2N:
    case wire::DateTimeOffsetN: {
        const size_t len = in.u8();
        if (len == 0)
            return {};
        const size_t tb = timeBytes(t.scale);
        const size_t expected =
            tb + (t.type == wire::TimeN ? 0 : 3) + (t.type == wire::DateTimeOffsetN ? 2 : 0);
        if (len != expected)
            throw ProtocolError("date or time of unexpected length");
        const uint64_t units = littleEndian(in.bytes(tb));
        int64_t days = DaysTo1900;
        if (t.type != wire::TimeN)
            days = int64_t(littleEndian(in.bytes(3)));
        int32_t offset = 0;
        if (t.type == wire::DateTimeOffsetN)
            offset = int16_t(in.u16());
        return fromDaysAndTime(days, units, t.scale, offset);
    }
    case wire::Decimal:
    case wire::Numeric:
    case wire::DecimalN:
    case wire::NumericN: {
        const size_t len = in.u8();
        if (len == 0)
            return {};
        if (len < 2 || len > 17)
            throw ProtocolError("decimal of length " + std::to_string(len));
        const uint8_t sign = in.u8();
        auto magnitude = in.bytes(len - 1);
        for (size_t i = 8; i < magnitude.size(); ++i)
            if (magnitude[i])
                throw std::invalid_argument("a decimal parameter beyond 19 digits is not "
                                            "supported by this server");
        uint64_t m = littleEndian(magnitude.first(std::min<size_t>(8, magnitude.size())));
        if (m > uint64_t(INT64_MAX))
            throw std::invalid_argument("a decimal parameter beyond 19 digits is not supported "
                                        "by this server");
        return sign ? int64_t(m) : -int64_t(m);
    }
    case wire::Guid:
    case wire::VarBinary:
    case wire::Binary: {
        const size_t len = in.u8();
        if (len == 0 && t.type == wire::Guid)
            return {};
        if (t.type == wire::Guid && len != 16)
            throw ProtocolError("uniqueidentifier of length " + std::to_string(len));
        auto b = in.bytes(len);
        return Bytes(b.begin(), b.end());
    }
    case wire::VarChar:
    case wire::Char: {
        const size_t len = in.u8();
        return fromCodePage1252(in.bytes(len));
    }
    default:
        break;
    }

    std::vector<uint8_t> data;
    if (t.plp) {
        bool null = false;
        data = readPlp(in, null);
        if (null)
            return {};
    } else if (t.type == wire::Image || t.type == wire::Text || t.type == wire::NText) {
        const uint32_t len = in.u32();
        if (len == 0xFFFFFFFF)
            return {};
        auto b = in.bytes(len);
        data.assign(b.begin(), b.end());
    } else {
        const uint16_t len = in.u16();
        if (len == 0xFFFF)
            return {};
        if (len > t.maxLength)
            throw ProtocolError("parameter longer than its declared type");
        auto b = in.bytes(len);
        data.assign(b.begin(), b.end());
    }
    switch (t.type) {
    case wire::NVarChar:
    case wire::NChar:
    case wire::NText: {
        if (data.size() % 2)
            throw ProtocolError("odd byte count in a UTF-16 text");
        ByteReader r(data);
        return r.utf16(data.size() / 2);
    }
    case wire::BigVarChar:
    case wire::BigChar:
    case wire::Text:
        return fromCodePage1252(data);
    default:
        return Bytes(std::move(data));
    }
}

ColumnInfo columnInfoFor(const ParamType& t)
{
    ColumnInfo c;
    auto chars = [&](uint32_t unit) {
        return t.plp ? -1 : int32_t(std::min<uint32_t>(t.maxLength / unit, INT32_MAX));
    };
    switch (t.type) {
    case wire::Int1:
        c.type = SqlType::TinyInt;
        break;
    case wire::Int2:
        c.type = SqlType::SmallInt;
        break;
    case wire::Int4:
        c.type = SqlType::Int;
        break;
    case wire::Int8:
        c.type = SqlType::BigInt;
        break;
    case wire::IntN:
        c.type = t.maxLength == 1   ? SqlType::TinyInt
                 : t.maxLength == 2 ? SqlType::SmallInt
                 : t.maxLength == 8 ? SqlType::BigInt
                                    : SqlType::Int;
        break;
    case wire::Bit:
    case wire::BitN:
        c.type = SqlType::Bit;
        break;
    case wire::Flt4:
    case wire::Flt8:
    case wire::FltN:
        c.type = SqlType::Float;
        break;
    case wire::Money:
    case wire::Money4:
    case wire::MoneyN:
        c.type = SqlType::Decimal;
        c.precision = 19;
        c.scale = 4;
        break;
    case wire::Decimal:
    case wire::Numeric:
    case wire::DecimalN:
    case wire::NumericN:
        c.type = SqlType::Decimal;
        c.precision = t.precision;
        c.scale = t.scale;
        break;
    case wire::DateTime:
    case wire::DateTime4:
    case wire::DateTimeN:
    case wire::DateN:
    case wire::TimeN:
    case wire::DateTime2N:
    case wire::DateTimeOffsetN:
        c.type = SqlType::DateTime;
        break;
    case wire::NVarChar:
        c.type = SqlType::NVarChar;
        c.length = chars(2);
        break;
    case wire::NChar:
        c.type = SqlType::NChar;
        c.length = chars(2);
        break;
    case wire::NText:
        c.type = SqlType::NText;
        c.length = -1;
        break;
    case wire::BigVarChar:
    case wire::VarChar:
        c.type = SqlType::VarChar;
        c.length = chars(1);
        break;
    case wire::BigChar:
    case wire::Char:
        c.type = SqlType::Char;
        c.length = chars(1);
        break;
    case wire::Text:
        c.type = SqlType::VarChar;
        c.length = -1;
        break;
    case wire::Image:
        c.type = SqlType::Image;
        c.length = -1;
        break;
    case wire::Null:
        c.type = SqlType::Int;
        break;
    case wire::Guid:
        c.type = SqlType::UniqueIdentifier;
        break;
    default:
        c.type = SqlType::VarBinary;
        c.length = chars(1);
        break;
    }
    return c;
}

std::u16string toUtf16(std::string_view ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

std::string toLogText(std::u16string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            out += '?';
            continue;
        }
        if (c < 0x20 && c != '\t' && c != '\n')
            out += '?';
        else if (c < 0x80)
            out += char(c);
        else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace standin::tds
