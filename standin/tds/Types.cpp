// Type codecs: column metadata, value encoding, RPC parameter decoding.
#include "Types.h"

#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace standin::tds {

namespace {

constexpr uint16_t MaxMarker = 0xFFFF;
constexpr uint64_t PlpNull = 0xFFFFFFFFFFFFFFFFull;
constexpr uint64_t PlpUnknownLength = 0xFFFFFFFFFFFFFFFEull;
// Days from 0001-01-01 to 1900-01-01.
constexpr int32_t DaysTo1900 = 693595;
constexpr uint32_t TicksPerDay = 300u * 86400u;
const char* const WideDecimalText = "A decimal parameter beyond 19 digits";

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
    const SqlTypeInfo& info = typeInfo(c.type);
    WireColumn w;
    w.type = info.wireType;
    w.maxLength = info.wireLength;
    w.hasCollation = info.family == TypeFamily::Text;
    if (info.type == SqlType::Decimal) {
        w.precision = c.precision ? std::min<uint8_t>(c.precision, 38) : 18;
        w.scale = std::min(c.scale, w.precision);
        w.maxLength = decimalBytes(w.precision);
    } else if (info.isVariable()) {
        // Beyond 8000 bytes: chunked (PLP) from TDS 7.2 on, the long types before.
        const int64_t bytes = info.octets(c.length);
        if (bytes >= 0 && bytes <= 8000) {
            w.maxLength = uint32_t(std::max<int64_t>(bytes, info.unitBytes()));
        } else if (is72(v)) {
            w.maxLength = MaxMarker;
            w.plp = true;
        } else {
            w.type = info.wireLongType;
            w.maxLength = typeInfo(info.national ? SqlType::NText : SqlType::Image).wireLength;
        }
    }
    if (w.plp && (w.type == wire::NChar || w.type == wire::BigChar))
        w.type = w.type == wire::NChar ? wire::NVarChar : wire::BigVarChar;
    return w;
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

// ---- the codec table: one row per TDS type code ----

// What follows a type's code in its TYPE_INFO.
enum class Info : uint8_t {
    None,        // the NULL type
    Fixed,       // fixed-size types: nothing (their values carry no length, DATEN aside)
    Scale,       // one scale byte (the time types)
    ByteLength,  // one length byte
    Decimal,     // length, precision and scale
    ShortLength, // two length bytes; 0xFFFF marks a chunked value
    ShortText,   // two length bytes and a collation
    LongLength,  // four length bytes
    LongText,    // four length bytes and a collation
};

using Reader = Value (*)(ByteReader& in, const ParamType& type);
using Writer = void (*)(ByteWriter& out, const WireColumn& column, const Value& value);

struct WireCodec {
    uint8_t code;
    Info info;
    uint8_t fixedLength;
    SqlType engineType; // what a parameter of this type is to the engine
    uint8_t unit;       // bytes per character of its length; 0 when it has none
    Reader read;
    Writer write; // null for the types this server never sends
};

// Reading values.

Value readNothing(ByteReader&, const ParamType&)
{
    return {};
}

Value readFixedInteger(ByteReader& in, const ParamType& t)
{
    const uint64_t raw = littleEndian(in.bytes(t.maxLength));
    if (t.type == wire::Bit)
        return int64_t(raw != 0);
    if (t.maxLength == 1 || t.maxLength == 8)
        return int64_t(raw);
    const int shift = int(64 - 8 * t.maxLength);
    return int64_t(raw << shift) >> shift;
}

Value readIntN(ByteReader& in, const ParamType& t)
{
    const size_t len = in.u8();
    if (len == 0)
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

// The fixed-size code carries its length in its type; the nullable one in each value.
size_t valueLength(ByteReader& in, const ParamType& t, uint8_t nullableCode)
{
    return t.type == nullableCode ? in.u8() : t.maxLength;
}

Value readFloat(ByteReader& in, const ParamType& t)
{
    const size_t len = valueLength(in, t, wire::FltN);
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

Value readMoney(ByteReader& in, const ParamType& t)
{
    const size_t len = valueLength(in, t, wire::MoneyN);
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

Value readDateTime(ByteReader& in, const ParamType& t)
{
    const size_t len = valueLength(in, t, wire::DateTimeN);
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

Value readDate(ByteReader& in, const ParamType&)
{
    const size_t len = in.u8();
    if (len == 0)
        return {};
    if (len != 3)
        throw ProtocolError("date of length " + std::to_string(len));
    return fromDaysAndTime(int64_t(littleEndian(in.bytes(3))), 0, 0);
}

Value readTime(ByteReader& in, const ParamType& t)
{
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

Value readDecimal(ByteReader& in, const ParamType&)
{
    const size_t len = in.u8();
    if (len == 0)
        return {};
    if (len < 2 || len > 17)
        throw ProtocolError("decimal of length " + std::to_string(len));
    const uint8_t sign = in.u8();
    auto magnitude = in.bytes(len - 1);
    for (size_t i = 8; i < magnitude.size(); ++i)
        if (magnitude[i])
            throw UnsupportedParameter(WideDecimalText);
    uint64_t m = littleEndian(magnitude.first(std::min<size_t>(8, magnitude.size())));
    if (m > uint64_t(INT64_MAX))
        throw UnsupportedParameter(WideDecimalText);
    return sign ? int64_t(m) : -int64_t(m);
}

Value readShortBinary(ByteReader& in, const ParamType& t)
{
    const size_t len = in.u8();
    if (len == 0 && t.type == wire::Guid)
        return {};
    if (t.type == wire::Guid && len != 16)
        throw ProtocolError("uniqueidentifier of length " + std::to_string(len));
    auto b = in.bytes(len);
    return Bytes(b.begin(), b.end());
}

Value readShortText(ByteReader& in, const ParamType&)
{
    const size_t len = in.u8();
    return fromCodePage1252(in.bytes(len));
}

// The bytes of a value with a two- or four-byte length or in chunks; nullopt for NULL.
std::optional<std::vector<uint8_t>> readLarge(ByteReader& in, const ParamType& t)
{
    if (t.plp) {
        bool null = false;
        std::vector<uint8_t> data = readPlp(in, null);
        return null ? std::nullopt : std::optional(std::move(data));
    }
    if (t.type == wire::Image || t.type == wire::Text || t.type == wire::NText) {
        const uint32_t len = in.u32();
        if (len == 0xFFFFFFFF)
            return std::nullopt;
        auto b = in.bytes(len);
        return std::vector<uint8_t>(b.begin(), b.end());
    }
    const uint16_t len = in.u16();
    if (len == 0xFFFF)
        return std::nullopt;
    if (len > t.maxLength)
        throw ProtocolError("parameter longer than its declared type");
    auto b = in.bytes(len);
    return std::vector<uint8_t>(b.begin(), b.end());
}

Value readLargeUtf16(ByteReader& in, const ParamType& t)
{
    auto data = readLarge(in, t);
    if (!data)
        return {};
    if (data->size() % 2)
        throw ProtocolError("odd byte count in a UTF-16 text");
    ByteReader r(*data);
    return r.utf16(data->size() / 2);
}

Value readLargeCp1252(ByteReader& in, const ParamType& t)
{
    auto data = readLarge(in, t);
    if (!data)
        return {};
    return fromCodePage1252(*data);
}

Value readLargeBinary(ByteReader& in, const ParamType& t)
{
    auto data = readLarge(in, t);
    if (!data)
        return {};
    return Bytes(std::move(*data));
}

// Writing values.

// The types with a length byte send NULL as a zero length.
bool writtenNull(ByteWriter& out, const Value& value)
{
    if (!isNull(value))
        return false;
    out.u8(0);
    return true;
}

void writeIntN(ByteWriter& out, const WireColumn& c, const Value& value)
{
    if (writtenNull(out, value))
        return;
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
}

void writeBitN(ByteWriter& out, const WireColumn&, const Value& value)
{
    if (writtenNull(out, value))
        return;
    out.u8(1);
    out.u8(integerOf(value) != 0 ? 1 : 0);
}

void writeFltN(ByteWriter& out, const WireColumn&, const Value& value)
{
    if (writtenNull(out, value))
        return;
    double d;
    if (auto p = std::get_if<double>(&value))
        d = *p;
    else
        d = double(integerOf(value));
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    out.u8(8);
    out.u64(bits);
}

void writeDateTimeN(ByteWriter& out, const WireColumn&, const Value& value)
{
    if (writtenNull(out, value))
        return;
    auto dt = std::get_if<DateTimeValue>(&value);
    if (!dt)
        mismatch("not a date");
    out.u8(8);
    out.u32(uint32_t(dt->days));
    out.u32(dt->ticks);
}

void writeGuid(ByteWriter& out, const WireColumn&, const Value& value)
{
    if (writtenNull(out, value))
        return;
    auto b = bytesOf(value);
    if (!b || b->size() != 16)
        mismatch("not 16 bytes");
    out.u8(16);
    out.bytes(*b);
}

void writeDecimalN(ByteWriter& out, const WireColumn& c, const Value& value)
{
    if (writtenNull(out, value))
        return;
    const int64_t i = integerOf(value);
    const uint64_t magnitude = i < 0 ? uint64_t(0) - uint64_t(i) : uint64_t(i);
    out.u8(uint8_t(c.maxLength));
    out.u8(i < 0 ? 0 : 1);
    for (uint32_t b = 0; b + 1 < c.maxLength; ++b)
        out.u8(b < 8 ? uint8_t(magnitude >> (8 * b)) : 0);
}

// Texts and binaries: NULL and the data as chunks, as a long type or with a two-byte length.
void writeLargeNull(ByteWriter& out, const WireColumn& c)
{
    if (c.plp)
        out.u64(PlpNull);
    else if (c.isLongType())
        out.u8(0);
    else
        out.u16(0xFFFF);
}

void writeLargeData(ByteWriter& out, const WireColumn& c, const std::vector<uint8_t>& data)
{
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

void writeUtf16Text(ByteWriter& out, const WireColumn& c, const Value& value)
{
    if (isNull(value))
        return writeLargeNull(out, c);
    writeLargeData(out, c, utf16Bytes(asText(value)));
}

void writeCp1252Text(ByteWriter& out, const WireColumn& c, const Value& value)
{
    if (isNull(value))
        return writeLargeNull(out, c);
    writeLargeData(out, c, toCodePage1252(asText(value)));
}

void writeBinary(ByteWriter& out, const WireColumn& c, const Value& value)
{
    if (isNull(value))
        return writeLargeNull(out, c);
    auto b = bytesOf(value);
    if (!b)
        mismatch("not binary");
    writeLargeData(out, c, *b);
}

using T = SqlType;
const WireCodec kCodecs[] = {
    {wire::Null, Info::None, 0, T::Int, 0, readNothing, nullptr},
    {wire::Int1, Info::Fixed, 1, T::TinyInt, 0, readFixedInteger, nullptr},
    {wire::Bit, Info::Fixed, 1, T::Bit, 0, readFixedInteger, nullptr},
    {wire::Int2, Info::Fixed, 2, T::SmallInt, 0, readFixedInteger, nullptr},
    {wire::Int4, Info::Fixed, 4, T::Int, 0, readFixedInteger, nullptr},
    {wire::Int8, Info::Fixed, 8, T::BigInt, 0, readFixedInteger, nullptr},
    {wire::IntN, Info::ByteLength, 0, T::Int, 0, readIntN, writeIntN},
    {wire::BitN, Info::ByteLength, 0, T::Bit, 0, readIntN, writeBitN},
    {wire::Flt4, Info::Fixed, 4, T::Float, 0, readFloat, nullptr},
    {wire::Flt8, Info::Fixed, 8, T::Float, 0, readFloat, nullptr},
    {wire::FltN, Info::ByteLength, 0, T::Float, 0, readFloat, writeFltN},
    {wire::Money4, Info::Fixed, 4, T::Decimal, 0, readMoney, nullptr},
    {wire::Money, Info::Fixed, 8, T::Decimal, 0, readMoney, nullptr},
    {wire::MoneyN, Info::ByteLength, 0, T::Decimal, 0, readMoney, nullptr},
    {wire::DateTime4, Info::Fixed, 4, T::DateTime, 0, readDateTime, nullptr},
    {wire::DateTime, Info::Fixed, 8, T::DateTime, 0, readDateTime, nullptr},
    {wire::DateTimeN, Info::ByteLength, 0, T::DateTime, 0, readDateTime, writeDateTimeN},
    {wire::DateN, Info::Fixed, 3, T::DateTime, 0, readDate, nullptr},
    {wire::TimeN, Info::Scale, 0, T::DateTime, 0, readTime, nullptr},
    {wire::DateTime2N, Info::Scale, 0, T::DateTime, 0, readTime, nullptr},
    {wire::DateTimeOffsetN, Info::Scale, 0, T::DateTime, 0, readTime, nullptr},
    {wire::Decimal, Info::Decimal, 0, T::Decimal, 0, readDecimal, nullptr},
    {wire::Numeric, Info::Decimal, 0, T::Decimal, 0, readDecimal, nullptr},
    {wire::DecimalN, Info::Decimal, 0, T::Decimal, 0, readDecimal, writeDecimalN},
    {wire::NumericN, Info::Decimal, 0, T::Decimal, 0, readDecimal, writeDecimalN},
    {wire::Guid, Info::ByteLength, 0, T::UniqueIdentifier, 0, readShortBinary, writeGuid},
    {wire::VarBinary, Info::ByteLength, 0, T::VarBinary, 1, readShortBinary, nullptr},
    {wire::Binary, Info::ByteLength, 0, T::VarBinary, 1, readShortBinary, nullptr},
    {wire::VarChar, Info::ByteLength, 0, T::VarChar, 1, readShortText, nullptr},
    {wire::Char, Info::ByteLength, 0, T::Char, 1, readShortText, nullptr},
    {wire::BigVarBinary, Info::ShortLength, 0, T::VarBinary, 1, readLargeBinary, writeBinary},
    {wire::BigBinary, Info::ShortLength, 0, T::VarBinary, 1, readLargeBinary, writeBinary},
    {wire::BigVarChar, Info::ShortText, 0, T::VarChar, 1, readLargeCp1252, writeCp1252Text},
    {wire::BigChar, Info::ShortText, 0, T::Char, 1, readLargeCp1252, writeCp1252Text},
    {wire::NVarChar, Info::ShortText, 0, T::NVarChar, 2, readLargeUtf16, writeUtf16Text},
    {wire::NChar, Info::ShortText, 0, T::NChar, 2, readLargeUtf16, writeUtf16Text},
    {wire::Image, Info::LongLength, 0, T::Image, 0, readLargeBinary, writeBinary},
    {wire::Text, Info::LongText, 0, T::VarChar, 0, readLargeCp1252, writeCp1252Text},
    {wire::NText, Info::LongText, 0, T::NText, 0, readLargeUtf16, writeUtf16Text},
};

const WireCodec* codecFor(uint8_t code)
{
    static const auto byCode = [] {
        std::array<const WireCodec*, 256> table{};
        for (const WireCodec& c : kCodecs)
            table[c.code] = &c;
        return table;
    }();
    return byCode[code];
}

} // namespace

void writeTypeInfo(ByteWriter& out, const WireColumn& c, uint32_t v, bool inColumnMetadata)
{
    out.u8(c.type);
    const WireCodec* codec = codecFor(c.type);
    switch (codec ? codec->info : Info::ShortLength) {
    case Info::ByteLength:
        out.u8(uint8_t(c.maxLength));
        break;
    case Info::Decimal:
        out.u8(uint8_t(c.maxLength));
        out.u8(c.precision);
        out.u8(c.scale);
        break;
    case Info::LongLength:
    case Info::LongText:
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
    const WireCodec* codec = codecFor(c.type);
    (codec && codec->write ? codec->write : writeBinary)(out, c, value);
}

namespace {
UnsupportedParameter unsupportedType(uint8_t type)
{
    static const char* hex = "0123456789ABCDEF";
    return UnsupportedParameter("Parameter type 0x" + std::string{hex[type >> 4], hex[type & 15]});
}
} // namespace

ParamType readParamType(ByteReader& in)
{
    ParamType t;
    t.type = in.u8();
    const WireCodec* codec = codecFor(t.type);
    if (!codec)
        throw unsupportedType(t.type);
    switch (codec->info) {
    case Info::None:
        break;
    case Info::Fixed:
        t.maxLength = codec->fixedLength;
        break;
    case Info::Scale:
        t.scale = in.u8();
        if (t.scale > 7)
            throw ProtocolError("time scale above 7");
        break;
    case Info::ByteLength:
        t.maxLength = in.u8();
        break;
    case Info::Decimal:
        t.maxLength = in.u8();
        t.precision = in.u8();
        t.scale = in.u8();
        if (t.precision == 0 || t.precision > 38 || t.scale > t.precision || t.maxLength > 17)
            throw ProtocolError("bad decimal precision or scale");
        break;
    case Info::ShortLength:
    case Info::ShortText:
        t.maxLength = in.u16();
        t.plp = t.maxLength == MaxMarker;
        if (codec->info == Info::ShortText)
            in.skip(5); // collation: parameters are taken as sent
        break;
    case Info::LongLength:
    case Info::LongText:
        t.maxLength = in.u32();
        if (codec->info == Info::LongText)
            in.skip(5);
        break;
    }
    return t;
}

Value readParamValue(ByteReader& in, const ParamType& t)
{
    const WireCodec* codec = codecFor(t.type);
    if (!codec)
        throw unsupportedType(t.type);
    return codec->read(in, t);
}

ColumnInfo columnInfoFor(const ParamType& t)
{
    ColumnInfo c;
    const WireCodec* codec = codecFor(t.type);
    c.type = codec ? codec->engineType : SqlType::VarBinary;
    const uint32_t unit = codec ? codec->unit : 1;
    if (unit)
        c.length = t.plp ? -1 : int32_t(std::min<uint32_t>(t.maxLength / unit, INT32_MAX));
    else if (typeInfo(c.type).isLong || t.type == wire::Text)
        c.length = -1;
    if (t.type == wire::IntN)
        c.type = t.maxLength == 1   ? SqlType::TinyInt
                 : t.maxLength == 2 ? SqlType::SmallInt
                 : t.maxLength == 8 ? SqlType::BigInt
                                    : SqlType::Int;
    if (c.type == SqlType::Decimal) {
        const bool money =
            t.type == wire::Money || t.type == wire::Money4 || t.type == wire::MoneyN;
        c.precision = money ? 19 : t.precision;
        c.scale = money ? 4 : t.scale;
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
