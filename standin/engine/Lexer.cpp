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

} // namespace

std::vector<Token> tokenize(const std::u16string& s)
{
    std::vector<Token> tokens;
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
            advance(j);
            continue;
        }
        Token t;
        t.offset = i;
        t.line = line;
        size_t start = i;
        if (c == u'\'' || ((c == u'N' || c == u'n') && i + 1 < s.size() && s[i + 1] == u'\'')) {
            bool national = c != u'\'';
            size_t j = i + (national ? 2 : 1);
            std::u16string value;
            bool closed = false;
            while (j < s.size()) {
                if (s[j] == u'\'') {
                    if (j + 1 < s.size() && s[j + 1] == u'\'') {
                        value.push_back(u'\'');
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                value.push_back(s[j]);
                ++j;
            }
            if (!closed)
                throw SqlError(err::kUnclosedQuote, {value});
            t.kind = national ? TokenKind::NString : TokenKind::String;
            t.text = std::move(value);
            advance(j);
        } else if (c == u'[') {
            size_t j = i + 1;
            std::u16string value;
            bool closed = false;
            while (j < s.size()) {
                if (s[j] == u']') {
                    if (j + 1 < s.size() && s[j + 1] == u']') {
                        value.push_back(u']');
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                value.push_back(s[j]);
                ++j;
            }
            if (!closed)
                throw SqlError(err::kUnclosedQuote, {value});
            t.kind = TokenKind::Quoted;
            t.text = std::move(value);
            advance(j);
        } else if (c == u'"') {
            size_t j = i + 1;
            std::u16string value;
            bool closed = false;
            while (j < s.size()) {
                if (s[j] == u'"') {
                    if (j + 1 < s.size() && s[j + 1] == u'"') {
                        value.push_back(u'"');
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                value.push_back(s[j]);
                ++j;
            }
            if (!closed)
                throw SqlError(err::kUnclosedQuote, {value});
            t.kind = TokenKind::Quoted;
            t.text = std::move(value);
            advance(j);
        } else if (c == u'0' && i + 1 < s.size() && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
            size_t j = i + 2;
            while (j < s.size() && isHex(s[j]))
                ++j;
            t.kind = TokenKind::Binary;
            t.text = s.substr(i + 2, j - i - 2);
            advance(j);
        } else if (isDigit(c) || (c == u'.' && i + 1 < s.size() && isDigit(s[i + 1]))) {
            size_t j = i;
            while (j < s.size() && isDigit(s[j]))
                ++j;
            t.kind = TokenKind::Integer;
            if (j < s.size() && s[j] == u'.') {
                t.kind = TokenKind::Decimal;
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
                    t.kind = TokenKind::Float;
                    j = k;
                }
            }
            t.text = s.substr(i, j - i);
            advance(j);
        } else if (c == u'@') {
            size_t j = i + 1;
            if (j < s.size() && s[j] == u'@')
                ++j;
            while (j < s.size() && isWordPart(s[j]))
                ++j;
            t.kind = TokenKind::Variable;
            t.text = s.substr(i, j - i);
            advance(j);
        } else if (isWordStart(c)) {
            size_t j = i;
            while (j < s.size() && isWordPart(s[j]))
                ++j;
            t.kind = TokenKind::Word;
            t.text = s.substr(i, j - i);
            advance(j);
        } else {
            static const char16_t* const twoChar[] = {u"<>", u"!=", u"<=", u">=", u"!<", u"!>"};
            t.kind = TokenKind::Symbol;
            bool two = false;
            if (i + 1 < s.size())
                for (const char16_t* op : twoChar)
                    if (s[i] == op[0] && s[i + 1] == op[1])
                        two = true;
            if (two) {
                t.text = s.substr(i, 2);
                advance(i + 2);
            } else if (std::u16string_view(u"(),.;=<>+-*/%&|^~!:").find(c) !=
                       std::u16string_view::npos) {
                t.text = s.substr(i, 1);
                advance(i + 1);
            } else {
                throw syntaxError(s.substr(i, 1));
            }
        }
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
