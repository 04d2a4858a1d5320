// libFuzzer entry for the server-level statements: any text the engine's lexer takes is read into
// a statement object or refused with a message, never both and never neither, and the batch
// parser around it stays sound. Bytes are taken as UTF-16LE code units, so every sequence is
// reachable.
#include "Errors.h"
#include "Lexer.h"
#include "Parser.h"
#include "server/ServerStatements.h"

#include <cstdint>
#include <cstdlib>

using namespace standin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.push_back(char16_t(data[i] | (data[i + 1] << 8)));
    std::vector<sql::Token> tokens;
    try {
        tokens = sql::tokenize(text);
    } catch (const SqlError&) {
        return 0;
    }
    const server::ServerStatement parsed = server::ParseServerStatement(tokens);
    if (parsed.body.has_value() == (parsed.refusal.number != 0))
        std::abort();
    if (!parsed.body && parsed.refusal.text.empty())
        std::abort();
    try {
        for (const auto& statement : sql::parseBatch(text))
            if (const auto* server = std::get_if<sql::ServerStmt>(&statement.body))
                if (server->statement.body.has_value() == (server->statement.refusal.number != 0))
                    std::abort();
    } catch (const SqlError&) {
    }
    return 0;
}
