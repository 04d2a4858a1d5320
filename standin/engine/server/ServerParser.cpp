// The fixed forms of the server-level statements read from the engine's tokens into statement
// objects; a bad form becomes the message that refuses it.
#include "ServerStatements.h"

#include "ServerMessages.h"
#include "ServerText.h"

namespace standin::server {

namespace msg = messages;
using sql::Token;
using sql::TokenKind;

namespace {

struct Refused {
    Message message;
};

class Cursor {
public:
    explicit Cursor(std::span<const Token> tokens) : tokens_(tokens)
    {
        while (!tokens_.empty() && tokens_.back().kind == TokenKind::End)
            tokens_ = tokens_.first(tokens_.size() - 1);
    }
    const Token& peek(size_t ahead = 0) const
    {
        const size_t at = position_ + ahead;
        return at < tokens_.size() ? tokens_[at] : end_;
    }
    const Token& next()
    {
        const Token& t = peek();
        if (position_ < tokens_.size())
            ++position_;
        return t;
    }
    bool atEnd() const { return position_ >= tokens_.size(); }
    // A keyword compares without regard to case; a bracketed name never matches one.
    bool isWord(const char16_t* keyword, size_t ahead = 0) const
    {
        const Token& t = peek(ahead);
        return t.kind == TokenKind::Word && EqualsNoCase(t.text, keyword);
    }
    bool acceptWord(const char16_t* keyword)
    {
        if (!isWord(keyword))
            return false;
        next();
        return true;
    }
    bool isSymbol(char16_t symbol, size_t ahead = 0) const
    {
        const Token& t = peek(ahead);
        return t.kind == TokenKind::Symbol && t.text.size() == 1 && t.text[0] == symbol;
    }
    bool acceptSymbol(char16_t symbol)
    {
        if (!isSymbol(symbol))
            return false;
        next();
        return true;
    }
    bool isNumber() const
    {
        const TokenKind k = peek().kind;
        return k == TokenKind::Integer || k == TokenKind::Decimal || k == TokenKind::Float;
    }
    bool isString() const
    {
        return peek().kind == TokenKind::String || peek().kind == TokenKind::NString;
    }
    bool isName() const
    {
        return peek().kind == TokenKind::Word || peek().kind == TokenKind::Quoted;
    }
    // Skips trailing semicolons; true when nothing else is left.
    bool atStatementEnd()
    {
        while (acceptSymbol(u';')) {
        }
        return atEnd();
    }
    // "Incorrect syntax near ..." names the current token, or the last one at the end.
    [[noreturn]] void syntaxError() const
    {
        const Token& t = atEnd() && position_ > 0 ? tokens_[position_ - 1] : peek();
        throw Refused{msg::SyntaxError(t.kind == TokenKind::End ? std::u16string() : t.text)};
    }
    std::u16string name()
    {
        if (!isName())
            syntaxError();
        return next().text;
    }
    void expectEnd()
    {
        if (!atStatementEnd())
            syntaxError();
    }

private:
    std::span<const Token> tokens_;
    Token end_;
    size_t position_ = 0;
};

[[noreturn]] void notSupported(const std::u16string& what)
{
    throw Refused{msg::NotSupported(what)};
}

// ( NAME = n, FILENAME = 'f' [, SIZE = n[KB|MB|GB|TB]] [, MAXSIZE = n[..] | UNLIMITED] [,
// FILEGROWTH = n[..|%]] )
bool parseFileDefinition(Cursor& cursor, FileDefinition& file)
{
    if (!cursor.acceptSymbol(u'('))
        return false;
    bool haveName = false, haveFile = false;
    do {
        if (cursor.acceptWord(u"NAME")) {
            if (!cursor.acceptSymbol(u'='))
                return false;
            if (!cursor.isName() && cursor.peek().kind != TokenKind::String &&
                cursor.peek().kind != TokenKind::NString)
                return false;
            file.logicalName = cursor.next().text;
            haveName = true;
        } else if (cursor.acceptWord(u"FILENAME")) {
            if (!cursor.acceptSymbol(u'=') || !cursor.isString())
                return false;
            file.physicalName = cursor.next().text;
            haveFile = true;
        } else if (cursor.acceptWord(u"SIZE") || cursor.acceptWord(u"MAXSIZE") ||
                   cursor.acceptWord(u"FILEGROWTH")) {
            if (!cursor.acceptSymbol(u'='))
                return false;
            if (cursor.acceptWord(u"UNLIMITED"))
                continue;
            if (!cursor.isNumber())
                return false;
            cursor.next();
            if (!(cursor.acceptWord(u"KB") || cursor.acceptWord(u"MB") ||
                  cursor.acceptWord(u"GB") || cursor.acceptWord(u"TB")))
                cursor.acceptSymbol(u'%');
        } else {
            return false;
        }
    } while (cursor.acceptSymbol(u','));
    if (!cursor.acceptSymbol(u')') || !haveName || !haveFile)
        return false;
    file.given = true;
    return true;
}

CreateDatabaseStatement createDatabase(Cursor& cursor)
{
    CreateDatabaseStatement s;
    s.name = cursor.name();
    if (cursor.acceptWord(u"CONTAINMENT"))
        notSupported(u"CONTAINMENT");
    if (cursor.acceptWord(u"ON")) {
        cursor.acceptWord(u"PRIMARY");
        const bool ok = parseFileDefinition(cursor, s.data);
        if ((ok && cursor.isSymbol(u',') && cursor.isSymbol(u'(', 1)) ||
            cursor.isWord(u"FILEGROUP") ||
            (cursor.isSymbol(u',') && cursor.isWord(u"FILEGROUP", 1)))
            notSupported(u"A database with more than one data file");
        if (!ok)
            cursor.syntaxError();
    }
    if (cursor.acceptWord(u"LOG")) {
        if (!cursor.acceptWord(u"ON"))
            cursor.syntaxError();
        if (!parseFileDefinition(cursor, s.log))
            cursor.syntaxError();
        if (cursor.isSymbol(u',') && cursor.isSymbol(u'(', 1))
            notSupported(u"A database with more than one log file");
    }
    if (cursor.acceptWord(u"COLLATE")) {
        const std::u16string collation = cursor.name();
        if (!EqualsNoCase(collation, u"SQL_Latin1_General_CP1_CI_AS"))
            notSupported(u"COLLATE " + collation);
    }
    if (cursor.isWord(u"WITH") || cursor.isWord(u"FOR") || cursor.isWord(u"AS"))
        notSupported(u"CREATE DATABASE ... " + cursor.peek().text);
    cursor.expectEnd();
    return s;
}

DropDatabaseStatement dropDatabase(Cursor& cursor)
{
    DropDatabaseStatement s;
    if (cursor.isWord(u"IF") && cursor.isWord(u"EXISTS", 1)) {
        cursor.next();
        cursor.next();
        s.ifExists = true;
    }
    do
        s.names.push_back(cursor.name());
    while (cursor.acceptSymbol(u','));
    cursor.expectEnd();
    return s;
}

// DISK = 'file' only.
std::u16string disk(Cursor& cursor)
{
    if (cursor.isWord(u"TAPE") || cursor.isWord(u"URL"))
        notSupported(u"Backup to " + cursor.peek().text);
    if (!cursor.acceptWord(u"DISK")) {
        if (cursor.isName())
            notSupported(u"A logical backup device");
        cursor.syntaxError();
    }
    if (!cursor.acceptSymbol(u'=') || !cursor.isString())
        cursor.syntaxError();
    std::u16string device = cursor.next().text;
    if (cursor.isSymbol(u',') &&
        (cursor.isWord(u"DISK", 1) || cursor.isWord(u"TAPE", 1) || cursor.isWord(u"URL", 1)))
        notSupported(u"A backup striped over several devices");
    return device;
}

// WITH a [= v], b, MOVE 'l' TO 'p', ...
std::vector<WithOption> with(Cursor& cursor)
{
    std::vector<WithOption> options;
    if (!cursor.acceptWord(u"WITH"))
        return options;
    do {
        if (cursor.peek().kind != TokenKind::Word)
            cursor.syntaxError();
        WithOption option;
        option.keyword = FoldCase(cursor.next().text);
        if (option.keyword == u"MOVE") {
            if (!cursor.isString())
                cursor.syntaxError();
            option.value = cursor.next().text;
            if (!cursor.acceptWord(u"TO") || !cursor.isString())
                cursor.syntaxError();
            option.moveTo = cursor.next().text;
        } else if (cursor.acceptSymbol(u'=')) {
            if (!cursor.isString() && !cursor.isNumber() && cursor.peek().kind != TokenKind::Word)
                cursor.syntaxError();
            option.value = cursor.next().text;
        }
        options.push_back(std::move(option));
    } while (cursor.acceptSymbol(u','));
    return options;
}

BackupStatement backup(Cursor& cursor)
{
    if (cursor.isWord(u"LOG"))
        notSupported(u"BACKUP LOG");
    if (!cursor.acceptWord(u"DATABASE"))
        notSupported(u"BACKUP in this form");
    BackupStatement s;
    s.database = cursor.name();
    if (cursor.isWord(u"FILE") || cursor.isWord(u"FILEGROUP") ||
        cursor.isWord(u"READ_WRITE_FILEGROUPS"))
        notSupported(u"A file or filegroup backup");
    if (!cursor.acceptWord(u"TO"))
        cursor.syntaxError();
    s.device = disk(cursor);
    s.options = with(cursor);
    cursor.expectEnd();
    return s;
}

RestoreStatement restore(Cursor& cursor)
{
    RestoreStatement s;
    if (cursor.acceptWord(u"FILELISTONLY"))
        s.kind = RestoreStatement::Kind::FileListOnly;
    else if (cursor.acceptWord(u"VERIFYONLY"))
        s.kind = RestoreStatement::Kind::VerifyOnly;
    else if (cursor.acceptWord(u"HEADERONLY"))
        s.kind = RestoreStatement::Kind::HeaderOnly;
    else if (cursor.isWord(u"LOG") || cursor.isWord(u"LABELONLY"))
        notSupported(u"RESTORE " + FoldCase(cursor.peek().text));
    else if (!cursor.acceptWord(u"DATABASE"))
        notSupported(u"RESTORE in this form");
    if (s.kind == RestoreStatement::Kind::Database) {
        s.database = cursor.name();
        if (cursor.isWord(u"FILE") || cursor.isWord(u"FILEGROUP") || cursor.isWord(u"PAGE"))
            notSupported(u"A file or page restore");
    }
    if (!cursor.acceptWord(u"FROM"))
        cursor.syntaxError();
    s.device = disk(cursor);
    s.options = with(cursor);
    cursor.expectEnd();
    return s;
}

} // namespace

ServerStatement ParseServerStatement(std::span<const Token> tokens)
{
    Cursor cursor(tokens);
    ServerStatement parsed;
    try {
        if (cursor.acceptWord(u"CREATE") && cursor.acceptWord(u"DATABASE"))
            parsed.body = createDatabase(cursor);
        else if (cursor.acceptWord(u"DROP") && cursor.acceptWord(u"DATABASE"))
            parsed.body = dropDatabase(cursor);
        else if (cursor.acceptWord(u"BACKUP"))
            parsed.body = backup(cursor);
        else if (cursor.acceptWord(u"RESTORE"))
            parsed.body = restore(cursor);
        else
            cursor.syntaxError();
    } catch (const Refused& refused) {
        parsed.body.reset();
        parsed.refusal = refused.message;
    }
    return parsed;
}

} // namespace standin::server
