// SQL batch and RPC request decoding.
#include "Requests.h"

namespace standin::tds {

namespace {
constexpr size_t MaxParams = 2100; // SQL Server's own limit

void skipAllHeaders(ByteReader& r, uint32_t v)
{
    if (v < 0x72000000)
        return;
    const uint32_t total = r.u32();
    if (total < 4 || total - 4 > r.remaining())
        throw ProtocolError("request headers of length " + std::to_string(total));
    r.skip(total - 4);
}
} // namespace

std::u16string parseSqlBatch(std::span<const uint8_t> payload, uint32_t v)
{
    ByteReader r(payload);
    skipAllHeaders(r, v);
    if (r.remaining() % 2)
        throw ProtocolError("odd byte count in a batch text");
    return r.utf16(r.remaining() / 2);
}

TransactionRequest parseTransactionRequest(std::span<const uint8_t> payload, uint32_t v)
{
    ByteReader r(payload);
    skipAllHeaders(r, v);
    TransactionRequest t;
    t.kind = r.u16();
    switch (t.kind) {
    case TransactionRequest::Begin:
        r.u8(); // isolation level: the engine keeps its own
        t.name = r.bVarChar();
        break;
    case TransactionRequest::Commit:
    case TransactionRequest::Rollback:
        t.name = r.bVarChar();
        if (!r.atEnd())
            t.beginAnother = r.u8() & 0x01;
        break;
    case TransactionRequest::Save:
        t.name = r.bVarChar();
        break;
    default:
        break; // distributed transactions: refused by the caller
    }
    return t;
}

std::u16string RpcCall::procedureName() const
{
    if (!id)
        return name;
    switch (*id) {
    case procid::Cursor:
        return u"sp_cursor";
    case 2:
        return u"sp_cursoropen";
    case 3:
        return u"sp_cursorprepare";
    case 4:
        return u"sp_cursorexecute";
    case 5:
        return u"sp_cursorprepexec";
    case 6:
        return u"sp_cursorunprepare";
    case 7:
        return u"sp_cursorfetch";
    case 8:
        return u"sp_cursoroption";
    case 9:
        return u"sp_cursorclose";
    case 14:
        return u"sp_prepexecrpc";
    case procid::ExecuteSql:
        return u"sp_executesql";
    case procid::Prepare:
        return u"sp_prepare";
    case procid::Execute:
        return u"sp_execute";
    case procid::PrepExec:
        return u"sp_prepexec";
    case procid::Unprepare:
        return u"sp_unprepare";
    default:
        return u"procedure id " + toUtf16(std::to_string(*id));
    }
}

std::vector<RpcCall> parseRpc(std::span<const uint8_t> payload, uint32_t v)
{
    ByteReader r(payload);
    skipAllHeaders(r, v);
    std::vector<RpcCall> calls;
    while (!r.atEnd()) {
        RpcCall call;
        const uint16_t nameLength = r.u16();
        if (nameLength == 0xFFFF)
            call.id = r.u16();
        else
            call.name = r.utf16(nameLength);
        call.options = r.u16();
        while (!r.atEnd()) {
            const uint8_t next = r.position() < payload.size() ? payload[r.position()] : 0;
            if (next == 0x80 || next == 0xFF || next == 0xFE) {
                r.skip(1); // separator before the next call
                break;
            }
            if (call.params.size() >= MaxParams)
                throw ProtocolError("more than 2100 parameters");
            RpcCallParam p;
            p.param.name = r.bVarChar();
            const uint8_t flags = r.u8();
            p.param.output = flags & 0x01;
            p.wireType = readParamType(r);
            p.param.type = columnInfoFor(p.wireType);
            p.param.value = readParamValue(r, p.wireType);
            call.params.push_back(std::move(p));
        }
        calls.push_back(std::move(call));
    }
    if (calls.empty())
        throw ProtocolError("empty RPC request");
    return calls;
}

} // namespace standin::tds
