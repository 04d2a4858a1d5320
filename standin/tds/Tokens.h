// Encoders of the response tokens a server sends: login acknowledgement, environment changes,
// messages, result metadata and rows, done, return status and return value.
#pragma once

#include "ByteIO.h"
#include "Types.h"
#include "engine/Engine.h"

#include <cstdint>
#include <vector>

namespace standin::tds {

namespace token {
constexpr uint8_t ReturnStatus = 0x79;
constexpr uint8_t ColMetadata = 0x81;
constexpr uint8_t Order = 0xA9;
constexpr uint8_t Error = 0xAA;
constexpr uint8_t Info = 0xAB;
constexpr uint8_t ReturnValue = 0xAC;
constexpr uint8_t LoginAck = 0xAD;
constexpr uint8_t Row = 0xD1;
constexpr uint8_t NbcRow = 0xD2;
constexpr uint8_t EnvChange = 0xE3;
constexpr uint8_t Done = 0xFD;
constexpr uint8_t DoneProc = 0xFE;
constexpr uint8_t DoneInProc = 0xFF;
} // namespace token

namespace done {
constexpr uint16_t Final = 0x00;
constexpr uint16_t More = 0x01;
constexpr uint16_t Error = 0x02;
constexpr uint16_t InTransaction = 0x04;
constexpr uint16_t Count = 0x10;
constexpr uint16_t Attention = 0x20;
constexpr uint16_t ServerError = 0x100;
} // namespace done

namespace envchange {
constexpr uint8_t Database = 1;
constexpr uint8_t Language = 2;
constexpr uint8_t PacketSize = 4;
constexpr uint8_t Collation = 7;
constexpr uint8_t BeginTransaction = 8;
constexpr uint8_t CommitTransaction = 9;
constexpr uint8_t RollbackTransaction = 10;
} // namespace envchange

void writeEnvChange(ByteWriter& out, uint8_t type, std::u16string_view newValue,
                    std::u16string_view oldValue);
void writeCollationChange(ByteWriter& out);
// Transaction descriptors travel as byte values (8 bytes, or none).
void writeTransactionChange(ByteWriter& out, uint8_t type, std::span<const uint8_t> newValue,
                            std::span<const uint8_t> oldValue);
// ERROR for severities above 10, INFO otherwise.
void writeMessage(ByteWriter& out, const Message& message, std::u16string_view serverName,
                  uint32_t tdsVersion);
void writeLoginAck(ByteWriter& out, uint32_t tdsVersion, std::u16string_view programName,
                   uint8_t major, uint8_t minor, uint16_t build);
void writeDone(ByteWriter& out, uint8_t tokenType, uint16_t status, uint16_t command,
               uint64_t count, uint32_t tdsVersion);
void writeColMetadata(ByteWriter& out, const std::vector<ColumnInfo>& columns,
                      const std::vector<WireColumn>& wire, uint32_t tdsVersion);
// NBCROW (from 7.3) when the row holds NULLs, ROW otherwise.
void writeRow(ByteWriter& out, const std::vector<WireColumn>& wire,
              const std::vector<Value>& values, uint32_t tdsVersion);
void writeReturnStatus(ByteWriter& out, int32_t status);
void writeReturnValue(ByteWriter& out, uint16_t ordinal, std::u16string_view name,
                      const WireColumn& column, const Value& value, uint32_t tdsVersion);

} // namespace standin::tds
