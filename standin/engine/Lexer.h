// T-SQL tokens. Keywords are recognised by the parser (they are ordinary words here), so a
// bracketed name can never be mistaken for one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin::sql {

enum class TokenKind {
    Word,     // identifier or keyword, as written
    Quoted,   // [name] or "name": an identifier, never a keyword
    Variable, // @name or @@name, as written
    String,   // '...' (text holds the value, quotes undoubled)
    NString,  // N'...'
    Integer,  // digits only
    Decimal,  // digits with a point
    Float,    // with an exponent
    Binary,   // 0x..., text holds the hex digits
    Symbol,   // operators and punctuation: ( ) , . ; = <> != < > <= >= !< !> + - * / % & | ^ ~
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::u16string text;
    size_t offset = 0; // in the batch, for the source text of server-level statements
    size_t length = 0;
    int32_t line = 1;
};

// Throws SqlError (105 for an unclosed quote, 102 otherwise).
std::vector<Token> tokenize(const std::u16string& batch);

} // namespace standin::sql
