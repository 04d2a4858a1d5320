// Client requests after login: SQL batches and RPC calls, decoded from a message payload.
#pragma once

#include "ByteIO.h"
#include "Types.h"
#include "engine/Engine.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace standin::tds {

// Procedure ids a client may send instead of a name.
namespace procid {
constexpr uint16_t Cursor = 1;
constexpr uint16_t ExecuteSql = 10;
constexpr uint16_t Prepare = 11;
constexpr uint16_t Execute = 12;
constexpr uint16_t PrepExec = 13;
constexpr uint16_t Unprepare = 15;
} // namespace procid

// The batch text after the headers (present from 7.2 on).
std::u16string parseSqlBatch(std::span<const uint8_t> payload, uint32_t tdsVersion);

// A transaction manager request (drivers send these for their own begin, commit and rollback
// from TDS 7.2 on). Only the local transaction kinds are understood.
struct TransactionRequest {
    enum Kind : uint16_t { Begin = 5, Commit = 7, Rollback = 8, Save = 9 };
    uint16_t kind = 0;
    std::u16string name;
    bool beginAnother = false; // commit or rollback that opens a new transaction at once
};
TransactionRequest parseTransactionRequest(std::span<const uint8_t> payload, uint32_t tdsVersion);

struct RpcCallParam {
    RpcParam param;
    ParamType wireType;
};

struct RpcCall {
    std::u16string name;        // empty when sent by id
    std::optional<uint16_t> id; // the id, when sent so
    uint16_t options = 0;
    std::vector<RpcCallParam> params;
    // The procedure's name as the engine knows it ("sp_executesql" for id 10).
    std::u16string procedureName() const;
};

// One request may hold several calls. Throws ProtocolError on malformed data and
// std::invalid_argument on a parameter type this server does not take.
std::vector<RpcCall> parseRpc(std::span<const uint8_t> payload, uint32_t tdsVersion);

} // namespace standin::tds
