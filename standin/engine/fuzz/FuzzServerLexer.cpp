// libFuzzer entry for the lexer of the server-level statements: any text tokenizes (or says
// where it stopped making sense), the token list always ends, and walking it never reads past
// that end. Bytes are taken as UTF-16LE code units, so every sequence is reachable.
#include "server/ServerLexer.h"

#include <cstdint>
#include <cstdlib>

using namespace standin::server;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.push_back(char16_t(data[i] | (data[i + 1] << 8)));
    const LexResult lexed = Tokenize(text);
    if (lexed.tokens.empty() || lexed.tokens.back().kind != Token::Kind::End)
        std::abort();
    TokenCursor cursor(lexed.tokens);
    size_t steps = 0;
    while (!cursor.atStatementEnd()) {
        (void)NearText(cursor.offending());
        cursor.acceptWord(u"DATABASE");
        cursor.acceptSymbol(u',');
        cursor.next();
        if (++steps > lexed.tokens.size())
            std::abort(); // the cursor must move on every step
    }
    (void)NearText(cursor.offending());
    return 0;
}
