// Tokens of the server-level statements.
#include "ServerLexer.h"

#include "ServerText.h"

namespace standin::server {

namespace {
bool isIdentifierStart(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'#' ||
           (c >= 0xC0 && c != 0xD7 && c != 0xF7 && !(c >= 0xD800 && c <= 0xDFFF));
}

bool isIdentifierPart(char16_t c)
{
    return isIdentifierStart(c) || (c >= u'0' && c <= u'9') || c == u'@' || c == u'$';
}

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
}
} // namespace

LexResult Tokenize(const std::u16string& text)
{
    LexResult result;
    int32_t line = 1;
    size_t i = 0;
    const size_t n = text.size();
    auto push = [&](Token::Kind kind, std::u16string value, int32_t atLine, bool unicode = false) {
        Token t;
        t.kind = kind;
        t.text = std::move(value);
        t.line = atLine;
        t.unicode = unicode;
        result.tokens.push_back(std::move(t));
    };
    auto fail = [&](std::u16string near) {
        result.error = std::move(near);
        push(Token::Kind::End, {}, line);
        return result;
    };
    while (i < n) {
        const char16_t c = text[i];
        if (c == u'\n') {
            ++line;
            ++i;
            continue;
        }
        if (isSpace(c)) {
            ++i;
            continue;
        }
        if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
            while (i < n && text[i] != u'\n')
                ++i;
            continue;
        }
        if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
            // Block comments nest in T-SQL.
            int depth = 0;
            do {
                if (i + 1 < n && text[i] == u'/' && text[i + 1] == u'*') {
                    ++depth;
                    i += 2;
                } else if (i + 1 < n && text[i] == u'*' && text[i + 1] == u'/') {
                    --depth;
                    i += 2;
                } else {
                    if (text[i] == u'\n')
                        ++line;
                    ++i;
                }
            } while (depth > 0 && i < n);
            if (depth > 0)
                return fail(u"/*");
            continue;
        }
        const int32_t startLine = line;
        bool unicode = false;
        size_t quoteAt = i;
        if ((c == u'N' || c == u'n') && i + 1 < n && text[i + 1] == u'\'') {
            unicode = true;
            quoteAt = i + 1;
        }
        if (text[quoteAt] == u'\'') {
            std::u16string value;
            size_t j = quoteAt + 1;
            bool closed = false;
            while (j < n) {
                if (text[j] == u'\'') {
                    if (j + 1 < n && text[j + 1] == u'\'') {
                        value.push_back(u'\'');
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                if (text[j] == u'\n')
                    ++line;
                value.push_back(text[j]);
                ++j;
            }
            if (!closed)
                return fail(text.substr(quoteAt, 40));
            push(Token::Kind::String, std::move(value), startLine, unicode);
            i = j;
            continue;
        }
        if (c == u'[' || c == u'"') {
            const char16_t close = c == u'[' ? u']' : u'"';
            std::u16string value;
            size_t j = i + 1;
            bool closed = false;
            while (j < n) {
                if (text[j] == close) {
                    if (j + 1 < n && text[j + 1] == close) {
                        value.push_back(close);
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                if (text[j] == u'\n')
                    ++line;
                value.push_back(text[j]);
                ++j;
            }
            if (!closed)
                return fail(text.substr(i, 40));
            push(Token::Kind::QuotedName, std::move(value), startLine);
            i = j;
            continue;
        }
        if (c >= u'0' && c <= u'9') {
            size_t j = i;
            while (j < n && ((text[j] >= u'0' && text[j] <= u'9') || text[j] == u'.'))
                ++j;
            push(Token::Kind::Number, text.substr(i, j - i), startLine);
            i = j;
            continue;
        }
        if (c == u'@') {
            size_t j = i + 1;
            while (j < n && isIdentifierPart(text[j]))
                ++j;
            push(Token::Kind::Variable, text.substr(i, j - i), startLine);
            i = j;
            continue;
        }
        if (isIdentifierStart(c)) {
            size_t j = i;
            while (j < n && isIdentifierPart(text[j]))
                ++j;
            push(Token::Kind::Word, text.substr(i, j - i), startLine);
            i = j;
            continue;
        }
        push(Token::Kind::Symbol, std::u16string(1, c), startLine);
        ++i;
    }
    push(Token::Kind::End, {}, line);
    return result;
}

const Token& TokenCursor::peek(size_t ahead) const
{
    const size_t at = position_ + ahead;
    return at < tokens_.size() ? tokens_[at] : tokens_.back();
}

const Token& TokenCursor::next()
{
    const Token& t = peek();
    if (position_ + 1 < tokens_.size())
        ++position_;
    return t;
}

bool TokenCursor::isWord(const char16_t* keyword, size_t ahead) const
{
    const Token& t = peek(ahead);
    return t.kind == Token::Kind::Word && EqualsNoCase(t.text, keyword);
}

bool TokenCursor::acceptWord(const char16_t* keyword)
{
    if (!isWord(keyword))
        return false;
    next();
    return true;
}

bool TokenCursor::isSymbol(char16_t symbol, size_t ahead) const
{
    const Token& t = peek(ahead);
    return t.kind == Token::Kind::Symbol && t.text.size() == 1 && t.text[0] == symbol;
}

bool TokenCursor::acceptSymbol(char16_t symbol)
{
    if (!isSymbol(symbol))
        return false;
    next();
    return true;
}

bool TokenCursor::atStatementEnd()
{
    while (acceptSymbol(u';')) {
    }
    return atEnd();
}

std::u16string NearText(const Token& token)
{
    switch (token.kind) {
    case Token::Kind::String:
    case Token::Kind::QuotedName:
        return token.text;
    case Token::Kind::End:
        return {};
    default:
        return token.text;
    }
}

} // namespace standin::server
