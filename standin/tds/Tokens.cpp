// Response token encoders.
#include "Tokens.h"

#include <stdexcept>

namespace standin::tds {

namespace {
bool is72(uint32_t v)
{
    return v >= 0x72000000;
}
bool is73(uint32_t v)
{
    return v >= 0x73000000;
}

// Token with a u16 length after its type byte, patched once the body is written.
template <typename Body> void lengthPrefixed(ByteWriter& out, uint8_t type, Body body)
{
    out.u8(type);
    const size_t at = out.size();
    out.u16(0);
    body();
    const size_t length = out.size() - at - 2;
    if (length > 0xFFFF)
        throw std::length_error("token longer than its length field");
    out.patchU16(at, uint16_t(length));
}
} // namespace

void writeEnvChange(ByteWriter& out, uint8_t type, std::u16string_view newValue,
                    std::u16string_view oldValue)
{
    lengthPrefixed(out, token::EnvChange, [&] {
        out.u8(type);
        out.bVarChar(newValue);
        out.bVarChar(oldValue);
    });
}

void writeCollationChange(ByteWriter& out)
{
    lengthPrefixed(out, token::EnvChange, [&] {
        out.u8(envchange::Collation);
        out.u8(uint8_t(DefaultCollation.size()));
        out.bytes(DefaultCollation);
        out.u8(0);
    });
}

void writeTransactionChange(ByteWriter& out, uint8_t type, std::span<const uint8_t> newValue,
                            std::span<const uint8_t> oldValue)
{
    lengthPrefixed(out, token::EnvChange, [&] {
        out.u8(type);
        out.u8(uint8_t(newValue.size()));
        out.bytes(newValue);
        out.u8(uint8_t(oldValue.size()));
        out.bytes(oldValue);
    });
}

void writeMessage(ByteWriter& out, const Message& m, std::u16string_view serverName, uint32_t v)
{
    lengthPrefixed(out, m.isError() ? token::Error : token::Info, [&] {
        out.u32(uint32_t(m.number));
        out.u8(m.state);
        out.u8(m.severity);
        out.usVarChar(m.text);
        out.bVarChar(serverName);
        out.bVarChar(m.procedure);
        if (is72(v))
            out.u32(uint32_t(m.line));
        else
            out.u16(uint16_t(m.line));
    });
}

void writeLoginAck(ByteWriter& out, uint32_t v, std::u16string_view programName, uint8_t major,
                   uint8_t minor, uint16_t build)
{
    lengthPrefixed(out, token::LoginAck, [&] {
        out.u8(1); // SQL_TSQL
        out.u32be(v);
        out.bVarChar(programName);
        out.u8(major);
        out.u8(minor);
        out.u8(uint8_t(build >> 8));
        out.u8(uint8_t(build));
    });
}

void writeDone(ByteWriter& out, uint8_t tokenType, uint16_t status, uint16_t command,
               uint64_t count, uint32_t v)
{
    out.u8(tokenType);
    out.u16(status);
    out.u16(command);
    if (is72(v))
        out.u64(count);
    else
        out.u32(uint32_t(count));
}

void writeColMetadata(ByteWriter& out, const std::vector<ColumnInfo>& columns,
                      const std::vector<WireColumn>& wire, uint32_t v)
{
    out.u8(token::ColMetadata);
    out.u16(uint16_t(columns.size()));
    for (size_t i = 0; i < columns.size(); ++i) {
        const auto& c = columns[i];
        if (is72(v))
            out.u32(0); // user type
        else
            out.u16(0);
        uint16_t flags = 0;
        if (c.nullable)
            flags |= 0x0001;
        flags |= c.identity ? 0x0000 : 0x0008; // identity columns are not updatable
        if (c.identity)
            flags |= 0x0010;
        out.u16(flags);
        writeTypeInfo(out, wire[i], v);
        out.bVarChar(c.name);
    }
}

void writeRow(ByteWriter& out, const std::vector<WireColumn>& wire,
              const std::vector<Value>& values, uint32_t v)
{
    if (values.size() != wire.size())
        throw std::invalid_argument("a row does not match its columns");
    bool anyNull = false;
    for (const auto& value : values)
        anyNull = anyNull || isNull(value);
    // A value that cannot travel must leave no half row behind.
    const size_t start = out.size();
    try {
        if (anyNull && is73(v)) {
            out.u8(token::NbcRow);
            const size_t bitmapAt = out.size();
            out.buffer().resize(bitmapAt + (values.size() + 7) / 8, 0);
            for (size_t i = 0; i < values.size(); ++i)
                if (isNull(values[i]))
                    out.buffer()[bitmapAt + i / 8] |= uint8_t(1u << (i % 8));
            for (size_t i = 0; i < values.size(); ++i)
                if (!isNull(values[i]))
                    writeValue(out, wire[i], values[i]);
        } else {
            out.u8(token::Row);
            for (size_t i = 0; i < values.size(); ++i)
                writeValue(out, wire[i], values[i]);
        }
    } catch (...) {
        out.buffer().resize(start);
        throw;
    }
}

void writeReturnStatus(ByteWriter& out, int32_t status)
{
    out.u8(token::ReturnStatus);
    out.u32(uint32_t(status));
}

void writeReturnValue(ByteWriter& out, uint16_t ordinal, std::u16string_view name,
                      const WireColumn& column, const Value& value, uint32_t v)
{
    out.u8(token::ReturnValue);
    out.u16(ordinal);
    out.bVarChar(name);
    out.u8(0x01); // output parameter
    if (is72(v))
        out.u32(0);
    else
        out.u16(0);
    out.u16(0x0001); // nullable
    writeTypeInfo(out, column, v, false);
    writeValue(out, column, value);
}

} // namespace standin::tds
