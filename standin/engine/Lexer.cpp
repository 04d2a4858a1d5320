// Turning T-SQL text into tokens: names, bracketed and quoted names, literals and comments.
#include "Lexer.h"

#include "Errors.h"

namespace standin::sql {

namespace {

bool isWordStart(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'#' ||
           (c >= 0xC0 && c != 0xD7 && c != 0xF7 && !(c >= 0xD800 && c < 0xE000) && c != 0xFEFF &&
            c != 0x3000);
}

bool isWordPart(char16_t c)
{
    return isWordStart(c) || (c >= u'0' && c <= u'9') || c == u'@' || c == u'$';
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool isHex(char16_t c)
{
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0x0B || c == 0x0C ||
           c == 0xA0 || c == 0xFEFF || c == 0x3000;
}

// A quoted text from just after its opening quote, where a doubled closing quote stands for
// one; returns the position after the closing quote, and 105 when there is none.
size_t readQuoted(const std::u16string& s, size_t j, char16_t close, std::u16string& value)
{
    while (j < s.size()) {
        const size_t quote = s.find(close, j);
        if (quote == std::u16string::npos)
            break;
        value.append(s, j, quote - j);
        if (quote + 1 < s.size() && s[quote + 1] == close) {
            value.push_back(close);
            j = quote + 2;
            continue;
        }
        return quote + 1;
    }
    value.append(s, j, std::u16string::npos);
    throw SqlError(err::kUnclosedQuote, {value});
}

// The end of a /* */ comment starting at i; such comments nest.
size_t commentEnd(const std::u16string& s, size_t i)
{
    size_t j = i + 2;
    int depth = 1;
    while (j < s.size() && depth > 0) {
        if (s[j] == u'/' && j + 1 < s.size() && s[j + 1] == u'*') {
            ++depth;
            j += 2;
        } else if (s[j] == u'*' && j + 1 < s.size() && s[j + 1] == u'/') {
            --depth;
            j += 2;
        } else {
            ++j;
        }
    }
    if (depth > 0)
        throw SqlError(err::kMissingEndComment);
    return j;
}

// The end of a number starting at i, and whether it is an integer, a decimal or a float.
size_t numberEnd(const std::u16string& s, size_t i, TokenKind& kind)
{
    size_t j = i;
    while (j < s.size() && isDigit(s[j]))
        ++j;
    kind = TokenKind::Integer;
    if (j < s.size() && s[j] == u'.') {
        kind = TokenKind::Decimal;
        ++j;
        while (j < s.size() && isDigit(s[j]))
            ++j;
    }
    if (j < s.size() && (s[j] == u'e' || s[j] == u'E')) {
        size_t k = j + 1;
        if (k < s.size() && (s[k] == u'+' || s[k] == u'-'))
            ++k;
        if (k < s.size() && isDigit(s[k])) {
            while (k < s.size() && isDigit(s[k]))
                ++k;
            kind = TokenKind::Float;
            j = k;
        }
    }
    return j;
}

// The end of an operator or punctuation symbol at i; 102 for a character that is none.
size_t symbolEnd(const std::u16string& s, size_t i)
{
    static const char16_t* const twoChar[] = {u"<>", u"!=", u"<=", u">=", u"!<", u"!>"};
    if (i + 1 < s.size())
        for (const char16_t* op : twoChar)
            if (s[i] == op[0] && s[i + 1] == op[1])
                return i + 2;
    if (std::u16string_view(u"(),.;=<>+-*/%&|^~!:").find(s[i]) != std::u16string_view::npos)
        return i + 1;
    throw syntaxError(s.substr(i, 1));
}

} // namespace

std::vector<Token> tokenize(const std::u16string& s)
{
    std::vector<Token> tokens;
    tokens.reserve(s.size() / 4 + 2);
    size_t i = 0;
    int32_t line = 1;
    auto advance = [&](size_t to) {
        for (; i < to; ++i)
            if (s[i] == u'\n')
                ++line;
    };
    while (i < s.size()) {
        char16_t c = s[i];
        if (isSpace(c)) {
            advance(i + 1);
            continue;
        }
        if (c == u'-' && i + 1 < s.size() && s[i + 1] == u'-') {
            size_t j = i;
            while (j < s.size() && s[j] != u'\n')
                ++j;
            advance(j);
            continue;
        }
        if (c == u'/' && i + 1 < s.size() && s[i + 1] == u'*') {
            advance(commentEnd(s, i));
            continue;
        }
        Token t;
        t.offset = i;
        t.line = line;
        size_t start = i;
        size_t end = i + 1;
        if (c == u'\'' || ((c == u'N' || c == u'n') && i + 1 < s.size() && s[i + 1] == u'\'')) {
            bool national = c != u'\'';
            end = readQuoted(s, i + (national ? 2 : 1), u'\'', t.text);
            t.kind = national ? TokenKind::NString : TokenKind::String;
        } else if (c == u'[' || c == u'"') {
            end = readQuoted(s, i + 1, c == u'[' ? u']' : u'"', t.text);
            t.kind = TokenKind::Quoted;
        } else if (c == u'0' && i + 1 < s.size() && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
            end = i + 2;
            while (end < s.size() && isHex(s[end]))
                ++end;
            t.kind = TokenKind::Binary;
            t.text = s.substr(i + 2, end - i - 2);
        } else if (isDigit(c) || (c == u'.' && i + 1 < s.size() && isDigit(s[i + 1]))) {
            end = numberEnd(s, i, t.kind);
            t.text = s.substr(i, end - i);
        } else if (c == u'@') {
            end = i + 1;
            if (end < s.size() && s[end] == u'@')
                ++end;
            while (end < s.size() && isWordPart(s[end]))
                ++end;
            t.kind = TokenKind::Variable;
            t.text = s.substr(i, end - i);
        } else if (isWordStart(c)) {
            end = i;
            while (end < s.size() && isWordPart(s[end]))
                ++end;
            t.kind = TokenKind::Word;
            t.text = s.substr(i, end - i);
        } else {
            end = symbolEnd(s, i);
            t.kind = TokenKind::Symbol;
            t.text = s.substr(i, end - i);
        }
        advance(end);
        t.length = i - start;
        tokens.push_back(std::move(t));
    }
    Token end;
    end.kind = TokenKind::End;
    end.offset = s.size();
    end.line = line;
    tokens.push_back(end);
    return tokens;
}

} // namespace standin::sql
