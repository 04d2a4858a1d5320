// Tokens of the server-level statements: the few fixed forms of CREATE/DROP DATABASE, BACKUP,
// RESTORE and the server's procedures need no full T-SQL grammar, only its lexical rules
// (comments, bracketed and quoted names, N'...' literals with doubled quotes).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin::server {

struct Token {
    enum class Kind { Word, QuotedName, String, Number, Variable, Symbol, End };
    Kind kind = Kind::End;
    std::u16string text;  // a word or name without its brackets, a literal without its quotes
    int32_t line = 1;     // relative to the statement's first line
    bool unicode = false; // N'...'
};

struct LexResult {
    std::vector<Token> tokens;           // always ends with an End token
    std::optional<std::u16string> error; // text near which the input stopped making sense
};

LexResult Tokenize(const std::u16string& text);

class TokenCursor {
public:
    explicit TokenCursor(const std::vector<Token>& tokens) : tokens_(tokens) {}
    const Token& peek(size_t ahead = 0) const;
    const Token& next();
    // The token before the current one (the current one at the start).
    const Token& previous() const { return tokens_[position_ > 0 ? position_ - 1 : 0]; }
    // The token a syntax error is reported near: the current one, or the last one at the end.
    const Token& offending() const { return atEnd() ? previous() : peek(); }
    bool atEnd() const { return peek().kind == Token::Kind::End; }
    // A keyword compares without regard to case; a bracketed name never matches one.
    bool isWord(const char16_t* keyword, size_t ahead = 0) const;
    bool acceptWord(const char16_t* keyword);
    bool isSymbol(char16_t symbol, size_t ahead = 0) const;
    bool acceptSymbol(char16_t symbol);
    // Skips trailing semicolons; true when nothing else is left.
    bool atStatementEnd();

private:
    const std::vector<Token>& tokens_;
    size_t position_ = 0;
};

// What follows the bad token in SQL Server's "Incorrect syntax near '...'.".
std::u16string NearText(const Token& token);

} // namespace standin::server
