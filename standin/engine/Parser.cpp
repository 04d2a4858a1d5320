// The T-SQL parser: statements, expressions and type names of the subset the stand-in runs.
#include "Parser.h"

#include "Errors.h"
#include "Lexer.h"
#include "Text.h"
#include "TypeTable.h"

#include <cmath>
#include <cstdlib>
#include <set>

namespace standin::sql {

namespace {

const std::set<std::u16string>& reservedWords()
{
    static const std::set<std::u16string> words = [] {
        std::set<std::u16string> w;
        for (const char* k : {"ADD",
                              "ALL",
                              "ALTER",
                              "AND",
                              "ANY",
                              "AS",
                              "ASC",
                              "BACKUP",
                              "BEGIN",
                              "BETWEEN",
                              "BREAK",
                              "BY",
                              "CASCADE",
                              "CASE",
                              "CHECK",
                              "CLUSTERED",
                              "COLUMN",
                              "COMMIT",
                              "CONSTRAINT",
                              "CONTINUE",
                              "CONVERT",
                              "CREATE",
                              "CROSS",
                              "CURRENT",
                              "DATABASE",
                              "DBCC",
                              "DECLARE",
                              "DEFAULT",
                              "DELETE",
                              "DESC",
                              "DISTINCT",
                              "DROP",
                              "ELSE",
                              "END",
                              "ESCAPE",
                              "EXCEPT",
                              "EXEC",
                              "EXECUTE",
                              "EXISTS",
                              "FETCH",
                              "FILE",
                              "FOR",
                              "FOREIGN",
                              "FREETEXT",
                              "FROM",
                              "FULL",
                              "FUNCTION",
                              "GOTO",
                              "GRANT",
                              "GROUP",
                              "HAVING",
                              "IDENTITY",
                              "IDENTITY_INSERT",
                              "IF",
                              "IN",
                              "INDEX",
                              "INNER",
                              "INSERT",
                              "INTERSECT",
                              "INTO",
                              "IS",
                              "JOIN",
                              "KEY",
                              "LEFT",
                              "LIKE",
                              "NOCHECK",
                              "NONCLUSTERED",
                              "NOT",
                              "NULL",
                              "OF",
                              "OFF",
                              "ON",
                              "OPEN",
                              "OPTION",
                              "OR",
                              "ORDER",
                              "OUTER",
                              "PERCENT",
                              "PRIMARY",
                              "PRINT",
                              "PROC",
                              "PROCEDURE",
                              "RAISERROR",
                              "REFERENCES",
                              "RESTORE",
                              "RETURN",
                              "REVOKE",
                              "RIGHT",
                              "ROLLBACK",
                              "SELECT",
                              "SET",
                              "TABLE",
                              "THEN",
                              "TO",
                              "TOP",
                              "TRAN",
                              "TRANSACTION",
                              "TRUNCATE",
                              "UNION",
                              "UNIQUE",
                              "UPDATE",
                              "USE",
                              "VALUES",
                              "VIEW",
                              "WHEN",
                              "WHERE",
                              "WHILE",
                              "WITH"})
            w.insert(text::widen(k));
        return w;
    }();
    return words;
}

const std::set<std::u16string>& statementStarts()
{
    static const std::set<std::u16string> words = [] {
        std::set<std::u16string> w;
        for (const char* k :
             {"SELECT",  "INSERT", "UPDATE", "DELETE",   "CREATE", "DROP",    "ALTER",    "USE",
              "SET",     "BEGIN",  "COMMIT", "ROLLBACK", "EXEC",   "EXECUTE", "BACKUP",   "RESTORE",
              "DECLARE", "PRINT",  "IF",     "WHILE",    "RETURN", "SAVE",    "TRUNCATE", "GRANT",
              "REVOKE",  "DBCC",   "WITH",   "MERGE",    "WAITFOR"})
            w.insert(text::widen(k));
        return w;
    }();
    return words;
}

// A character or binary type written without a length: 1 in definitions, 30 in CAST/CONVERT.
TypeName withDefaultLength(TypeName t, int32_t length)
{
    bool sized = t.type == SqlType::NVarChar || t.type == SqlType::NChar ||
                 t.type == SqlType::VarChar || t.type == SqlType::Char ||
                 t.type == SqlType::VarBinary;
    if (sized && t.length == 0)
        t.length = length;
    return t;
}

int64_t hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return c - u'A' + 10;
}

void numberLiteral(Expr& e, const Token& t)
{
    if (t.kind == TokenKind::Float) {
        std::string digits = text::narrow(t.text);
        double d = std::strtod(digits.c_str(), nullptr);
        if (!std::isfinite(d))
            throw SqlError(err::kOverflowConverting, {u"expression", u"float"});
        e.value = d;
        e.literalType = TypeName{SqlType::Float, 8, 53, 0};
        return;
    }
    std::u16string digits;
    int scale = 0;
    bool afterPoint = false;
    for (char16_t c : t.text) {
        if (c == u'.') {
            afterPoint = true;
            continue;
        }
        digits.push_back(c);
        if (afterPoint)
            ++scale;
    }
    size_t nz = digits.find_first_not_of(u'0');
    std::u16string significant = nz == std::u16string::npos ? u"" : digits.substr(nz);
    int precision = static_cast<int>(std::max<size_t>(significant.size(), 1));
    if (precision < scale)
        precision = scale;
    if (significant.size() > 18)
        throw notSupported(u"Numeric literals of more than 18 digits");
    int64_t v = 0;
    for (char16_t c : significant)
        v = v * 10 + (c - u'0');
    e.value = v;
    if (t.kind == TokenKind::Integer && v <= 2147483647)
        e.literalType = TypeName{SqlType::Int, 4, 10, 0};
    else
        e.literalType = TypeName{SqlType::Decimal, 0, static_cast<uint8_t>(precision),
                                 static_cast<uint8_t>(scale)};
}

void textLiteral(Expr& e, const Token& t)
{
    bool national = t.kind == TokenKind::NString;
    // A plain literal is VARCHAR in the database's code page before anything else sees it,
    // also when it is then stored into an NVARCHAR column.
    e.value = national ? t.text : text::throughCodePage1252(t.text);
    int32_t len = static_cast<int32_t>(std::get<std::u16string>(e.value).size());
    e.literalType =
        TypeName{national ? SqlType::NVarChar : SqlType::VarChar, len == 0 ? 1 : len, 0, 0};
}

void binaryLiteral(Expr& e, const Token& t)
{
    const std::u16string& hex = t.text;
    Bytes bytes;
    size_t i = 0;
    if (hex.size() % 2 == 1) {
        bytes.push_back(static_cast<uint8_t>(hexDigit(hex[0])));
        i = 1;
    }
    for (; i + 1 < hex.size() + 1 && i < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(hexDigit(hex[i]) * 16 + hexDigit(hex[i + 1])));
    int32_t len = static_cast<int32_t>(bytes.size());
    e.value = std::move(bytes);
    e.literalType = TypeName{SqlType::VarBinary, len == 0 ? 1 : len, 0, 0};
}

// A minus sign before a number literal becomes part of it. False when the literal is no number.
bool negateLiteral(Expr& e)
{
    if (auto* n = std::get_if<int64_t>(&e.value)) {
        // -2147483648 is an INT literal; the positive one alone is NUMERIC(10,0).
        bool wasNumeric = e.literalType.type == SqlType::Decimal;
        if (wasNumeric && e.literalType.scale == 0 && *n == 2147483648LL) {
            e.value = int64_t{-2147483648LL};
            e.literalType = TypeName{SqlType::Int, 0, 10, 0};
            return true;
        }
        *n = -*n;
        return true;
    }
    if (auto* d = std::get_if<double>(&e.value)) {
        *d = -*d;
        return true;
    }
    return false;
}

class Parser {
public:
    Parser(const std::u16string& source, std::vector<Token> tokens, ParseRecord* record = nullptr)
        : source_(source), tokens_(std::move(tokens)), record_(record)
    {
    }

    std::vector<Statement> batch()
    {
        std::vector<Statement> out;
        while (!atEnd()) {
            if (isSymbol(u";")) {
                ++pos_;
                continue;
            }
            size_t startToken = pos_;
            Statement st;
            st.line = peek().line;
            st.body = statement(out.empty());
            size_t from = tokens_[startToken].offset;
            size_t to =
                pos_ > startToken ? tokens_[pos_ - 1].offset + tokens_[pos_ - 1].length : from;
            st.text = source_.substr(from, to - from);
            if (record_)
                record_->statements.emplace_back(startToken, pos_);
            out.push_back(std::move(st));
        }
        return out;
    }

    std::vector<std::pair<std::u16string, TypeName>> parameterList()
    {
        lenientTypes_ = true;
        std::vector<std::pair<std::u16string, TypeName>> out;
        while (!atEnd()) {
            if (peek().kind != TokenKind::Variable)
                fail();
            std::u16string name = next().text;
            acceptWord(u"AS");
            TypeName type = withDefaultLength(typeName(), 1);
            if (acceptWord(u"OUTPUT") || acceptWord(u"OUT")) {
            }
            out.emplace_back(name, type);
            if (!acceptSymbol(u","))
                break;
        }
        if (!atEnd())
            fail();
        return out;
    }

private:
    const std::u16string& source_;
    std::vector<Token> tokens_;
    ParseRecord* record_;
    size_t pos_ = 0;
    int depth_ = 0;
    bool lenientTypes_ = false;

    struct DepthGuard {
        explicit DepthGuard(Parser& p) : p_(p)
        {
            if (++p_.depth_ > 200)
                throw notSupported(u"Nesting deeper than 200 levels");
        }
        ~DepthGuard() { --p_.depth_; }
        Parser& p_;
    };

    const Token& peek(size_t ahead = 0) const
    {
        size_t i = pos_ + ahead;
        return i < tokens_.size() ? tokens_[i] : tokens_.back();
    }
    const Token& next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
    bool atEnd() const { return peek().kind == TokenKind::End; }

    bool isWord(const char16_t* word, size_t ahead = 0) const
    {
        const Token& t = peek(ahead);
        return t.kind == TokenKind::Word && text::equalsIgnoreCase(t.text, word);
    }
    bool acceptWord(const char16_t* word)
    {
        if (isWord(word)) {
            ++pos_;
            return true;
        }
        return false;
    }
    void expectWord(const char16_t* word)
    {
        if (!acceptWord(word))
            fail();
    }
    bool isSymbol(const char16_t* symbol, size_t ahead = 0) const
    {
        const Token& t = peek(ahead);
        return t.kind == TokenKind::Symbol && t.text == symbol;
    }
    bool acceptSymbol(const char16_t* symbol)
    {
        if (isSymbol(symbol)) {
            ++pos_;
            return true;
        }
        return false;
    }
    void expectSymbol(const char16_t* symbol)
    {
        if (!acceptSymbol(symbol))
            fail();
    }

    static bool isReserved(const Token& t)
    {
        return t.kind == TokenKind::Word && reservedWords().count(text::upper(t.text)) > 0;
    }

    [[noreturn]] void fail() const
    {
        const Token& t = peek();
        if (t.kind == TokenKind::End) {
            const Token& last = pos_ > 0 ? tokens_[pos_ - 1] : t;
            throw syntaxError(pos_ > 0 ? displayText(last) : std::u16string());
        }
        if (isReserved(t))
            throw syntaxError(text::upper(t.text), true);
        throw syntaxError(displayText(t));
    }

    std::u16string displayText(const Token& t) const { return source_.substr(t.offset, t.length); }

    std::u16string identifier()
    {
        const Token& t = peek();
        if (t.kind == TokenKind::Quoted || (t.kind == TokenKind::Word && !isReserved(t))) {
            if (t.text.size() > 128)
                throw SqlError(err::kIdentifierTooLong, {t.text.substr(0, 128)});
            if (t.text.empty())
                throw SqlError(err::kColumnNotAllowed);
            return next().text;
        }
        fail();
    }

    bool isIdentifier(size_t ahead = 0) const
    {
        const Token& t = peek(ahead);
        return t.kind == TokenKind::Quoted || (t.kind == TokenKind::Word && !isReserved(t));
    }

    TableName tableName()
    {
        TableName name;
        name.parts.push_back(identifier());
        while (isSymbol(u".")) {
            ++pos_;
            if (isSymbol(u".")) { // db..table
                name.parts.push_back(u"");
                continue;
            }
            name.parts.push_back(identifier());
        }
        if (name.parts.size() > 3)
            fail();
        return name;
    }

    StatementBody statement(bool firstInBatch)
    {
        const Token& t = peek();
        if (t.kind != TokenKind::Word) {
            if (t.kind == TokenKind::Quoted && firstInBatch)
                return exec(false);
            if (isSymbol(u"("))
                return StatementBody(selectStatement());
            fail();
        }
        std::u16string w = text::upper(t.text);
        if (w == u"SELECT")
            return StatementBody(selectStatement());
        if (w == u"INSERT")
            return insert();
        if (w == u"UPDATE")
            return update();
        if (w == u"DELETE")
            return remove();
        if (w == u"CREATE") {
            if (isWord(u"DATABASE", 1))
                return serverStatement();
            return create();
        }
        if (w == u"DROP") {
            if (isWord(u"DATABASE", 1))
                return serverStatement();
            return drop();
        }
        if (w == u"ALTER") {
            if (isWord(u"TABLE", 1))
                return alterTable();
            next();
            throw notSupported(u"ALTER " + text::upper(peek().text));
        }
        if (w == u"BACKUP" || w == u"RESTORE")
            return serverStatement();
        if (w == u"USE") {
            next();
            UseStmt u;
            u.database = identifier();
            return u;
        }
        if (w == u"SET")
            return set();
        if (w == u"BEGIN") {
            next();
            if (acceptWord(u"TRAN") || acceptWord(u"TRANSACTION")) {
                if (isIdentifier())
                    next();
                return TransactionStmt{TransactionStmt::Kind::Begin};
            }
            throw notSupported(u"BEGIN ... END blocks");
        }
        if (w == u"COMMIT" || w == u"ROLLBACK") {
            next();
            if (!acceptWord(u"TRAN") && !acceptWord(u"TRANSACTION"))
                acceptWord(u"WORK");
            if (isIdentifier() && !statementStarts().count(text::upper(peek().text)))
                next();
            return TransactionStmt{w == u"COMMIT" ? TransactionStmt::Kind::Commit
                                                  : TransactionStmt::Kind::Rollback};
        }
        if (w == u"EXEC" || w == u"EXECUTE") {
            next();
            return exec(true);
        }
        if (w == u"DECLARE")
            return declare();
        if (w == u"WAITFOR") {
            next();
            WaitForStmt wait;
            if (acceptWord(u"TIME"))
                throw notSupported(u"WAITFOR TIME");
            expectWord(u"DELAY");
            if (peek().kind != TokenKind::String && peek().kind != TokenKind::NString)
                fail();
            wait.delay = next().text;
            return wait;
        }
        if (!isReserved(t) && firstInBatch)
            return exec(false);
        if (!isReserved(t))
            fail();
        throw notSupported(u"The statement " + w);
    }

    // CREATE/DROP DATABASE, BACKUP, RESTORE: the tokens up to the next statement, read by the
    // server level's own forms; what they refuse is answered when the statement runs.
    StatementBody serverStatement()
    {
        const size_t from = pos_;
        const bool drop = isWord(u"DROP");
        next();
        int parens = 0;
        while (!atEnd()) {
            const Token& t = peek();
            // DROP DATABASE IF EXISTS: that IF starts no statement.
            const bool ifExists = drop && pos_ == from + 2 && isWord(u"IF") && isWord(u"EXISTS", 1);
            if (parens == 0 && !ifExists &&
                (isSymbol(u";") ||
                 (t.kind == TokenKind::Word && statementStarts().count(text::upper(t.text)) &&
                  !(text::upper(t.text) == u"WITH")))) {
                break;
            }
            if (isSymbol(u"("))
                ++parens;
            if (isSymbol(u")"))
                --parens;
            next();
        }
        return ServerStmt{
            server::ParseServerStatement(std::span(tokens_).subspan(from, pos_ - from))};
    }

    // ---- SELECT ----

    SelectStmt selectStatement()
    {
        DepthGuard guard(*this);
        if (acceptSymbol(u"(")) {
            SelectStmt inner = selectStatement();
            expectSymbol(u")");
            return inner;
        }
        expectWord(u"SELECT");
        SelectStmt s;
        if (acceptWord(u"DISTINCT"))
            s.distinct = true;
        else
            acceptWord(u"ALL");
        if (acceptWord(u"TOP")) {
            if (acceptSymbol(u"(")) {
                s.top = expression();
                expectSymbol(u")");
            } else {
                if (peek().kind != TokenKind::Integer && peek().kind != TokenKind::Variable)
                    fail();
                s.top = primary();
            }
            if (acceptWord(u"PERCENT"))
                s.topPercent = true;
            if (isWord(u"WITH") && isWord(u"TIES", 1))
                throw notSupported(u"TOP WITH TIES");
        }
        do {
            s.items.push_back(selectItem(s));
        } while (acceptSymbol(u","));
        if (acceptWord(u"INTO"))
            throw notSupported(u"SELECT INTO");
        if (acceptWord(u"FROM")) {
            s.from = tableWithAlias();
            for (;;) {
                JoinClause j;
                if (acceptSymbol(u",")) {
                    j.cross = true;
                    j.table = tableWithAlias();
                    s.joins.push_back(std::move(j));
                    continue;
                }
                if (acceptWord(u"CROSS")) {
                    expectWord(u"JOIN");
                    j.cross = true;
                    j.table = tableWithAlias();
                    s.joins.push_back(std::move(j));
                    continue;
                }
                if (acceptWord(u"INNER")) {
                    expectWord(u"JOIN");
                } else if (acceptWord(u"LEFT")) {
                    acceptWord(u"OUTER");
                    expectWord(u"JOIN");
                    j.left = true;
                } else if (isWord(u"RIGHT") || isWord(u"FULL")) {
                    throw notSupported(text::upper(peek().text) + u" OUTER JOIN");
                } else if (!acceptWord(u"JOIN")) {
                    break;
                }
                j.table = tableWithAlias();
                expectWord(u"ON");
                j.on = expression();
                s.joins.push_back(std::move(j));
            }
        }
        if (acceptWord(u"WHERE"))
            s.where = expression();
        if (acceptWord(u"GROUP")) {
            expectWord(u"BY");
            do {
                s.groupBy.push_back(expression());
            } while (acceptSymbol(u","));
        }
        if (acceptWord(u"HAVING"))
            s.having = expression();
        if (acceptWord(u"ORDER")) {
            expectWord(u"BY");
            do {
                OrderItem o;
                o.expr = expression();
                if (acceptWord(u"DESC"))
                    o.descending = true;
                else
                    acceptWord(u"ASC");
                s.orderBy.push_back(std::move(o));
            } while (acceptSymbol(u","));
        }
        if (isWord(u"UNION") || isWord(u"EXCEPT") || isWord(u"INTERSECT"))
            throw notSupported(text::upper(peek().text));
        if (isWord(u"FOR") || isWord(u"OPTION"))
            throw notSupported(text::upper(peek().text) + u" clauses");
        return s;
    }

    TableName tableWithAlias()
    {
        if (isSymbol(u"("))
            throw notSupported(u"Derived tables");
        TableName t = tableName();
        if (isSymbol(u"("))
            throw notSupported(u"Table-valued functions");
        if (acceptWord(u"AS"))
            t.alias = identifier();
        else if (isIdentifier() && !isJoinWord())
            t.alias = identifier();
        if (isWord(u"WITH") && isSymbol(u"(", 1)) {
            // table hints such as WITH (NOLOCK) change nothing here
            next();
            next();
            while (!atEnd() && !isSymbol(u")"))
                next();
            expectSymbol(u")");
        }
        return t;
    }

    bool isJoinWord() const
    {
        for (const char16_t* w :
             {u"INNER", u"LEFT", u"RIGHT", u"FULL", u"CROSS", u"JOIN", u"WHERE", u"ORDER", u"GROUP",
              u"ON", u"HAVING", u"UNION", u"OUTER", u"SET", u"VALUES", u"OPTION", u"FOR"})
            if (isWord(w))
                return true;
        return false;
    }

    SelectItem selectItem(SelectStmt& s)
    {
        SelectItem item;
        if (acceptSymbol(u"*")) {
            item.star = true;
            return item;
        }
        if (isIdentifier() && isSymbol(u".", 1) && isSymbol(u"*", 2)) {
            item.starQualifier = identifier();
            next();
            next();
            item.star = true;
            return item;
        }
        if (peek().kind == TokenKind::Variable && isSymbol(u"=", 1) &&
            peek().text.rfind(u"@@", 0) != 0) {
            std::u16string var = next().text;
            next();
            s.assignments.emplace_back(var, expression());
            return item;
        }
        // alias = expression
        if ((peek().kind == TokenKind::Quoted ||
             (peek().kind == TokenKind::Word && !isReserved(peek()))) &&
            isSymbol(u"=", 1)) {
            item.alias = identifier();
            item.hasAlias = true;
            next();
            item.expr = expression();
            return item;
        }
        if (peek().kind == TokenKind::String && isSymbol(u"=", 1)) {
            item.alias = next().text;
            item.hasAlias = true;
            next();
            item.expr = expression();
            return item;
        }
        item.expr = expression();
        if (acceptWord(u"AS")) {
            if (peek().kind == TokenKind::String)
                item.alias = next().text;
            else
                item.alias = identifier();
            item.hasAlias = true;
        } else if (isIdentifier() && !isWord(u"FROM")) {
            item.alias = identifier();
            item.hasAlias = true;
        } else if (peek().kind == TokenKind::String) {
            item.alias = next().text;
            item.hasAlias = true;
        }
        return item;
    }

    // ---- expressions ----

    ExprPtr make(ExprKind kind, int32_t line)
    {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->line = line;
        return e;
    }

    ExprPtr expression()
    {
        DepthGuard guard(*this);
        return orExpr();
    }

    ExprPtr orExpr()
    {
        ExprPtr left = andExpr();
        while (isWord(u"OR")) {
            int32_t line = next().line;
            auto e = make(ExprKind::Or, line);
            e->args.push_back(std::move(left));
            e->args.push_back(andExpr());
            left = std::move(e);
        }
        return left;
    }

    ExprPtr andExpr()
    {
        ExprPtr left = notExpr();
        while (isWord(u"AND")) {
            int32_t line = next().line;
            auto e = make(ExprKind::And, line);
            e->args.push_back(std::move(left));
            e->args.push_back(notExpr());
            left = std::move(e);
        }
        return left;
    }

    ExprPtr notExpr()
    {
        if (isWord(u"NOT")) {
            DepthGuard guard(*this);
            int32_t line = next().line;
            auto e = make(ExprKind::Not, line);
            e->args.push_back(notExpr());
            return e;
        }
        if (isWord(u"EXISTS"))
            throw notSupported(u"EXISTS");
        return predicate();
    }

    ExprPtr predicate()
    {
        ExprPtr left = additive();
        int32_t line = peek().line;
        static const char16_t* const comparisons[] = {u"=",  u"<>", u"!=", u"<", u">",
                                                      u"<=", u">=", u"!<", u"!>"};
        for (const char16_t* op : comparisons) {
            if (isSymbol(op)) {
                next();
                if (isWord(u"ALL") || isWord(u"ANY") || isWord(u"SOME"))
                    throw notSupported(text::upper(peek().text) + u" comparisons");
                auto e = make(ExprKind::Compare, line);
                std::u16string o = op;
                if (o == u"!=")
                    o = u"<>";
                else if (o == u"!<")
                    o = u">=";
                else if (o == u"!>")
                    o = u"<=";
                e->op = o;
                e->args.push_back(std::move(left));
                e->args.push_back(additive());
                return e;
            }
        }
        if (isWord(u"IS")) {
            next();
            auto e = make(ExprKind::IsNull, line);
            e->negated = acceptWord(u"NOT");
            expectWord(u"NULL");
            e->args.push_back(std::move(left));
            return e;
        }
        bool negated = false;
        if (isWord(u"NOT") && (isWord(u"LIKE", 1) || isWord(u"IN", 1) || isWord(u"BETWEEN", 1))) {
            next();
            negated = true;
        }
        if (acceptWord(u"LIKE")) {
            auto e = make(ExprKind::Like, line);
            e->negated = negated;
            e->args.push_back(std::move(left));
            e->args.push_back(additive());
            if (acceptWord(u"ESCAPE"))
                e->args.push_back(additive());
            return e;
        }
        if (acceptWord(u"IN")) {
            auto e = make(ExprKind::In, line);
            e->negated = negated;
            e->args.push_back(std::move(left));
            expectSymbol(u"(");
            if (isWord(u"SELECT"))
                throw notSupported(u"Subqueries");
            do {
                e->args.push_back(expression());
            } while (acceptSymbol(u","));
            expectSymbol(u")");
            return e;
        }
        if (acceptWord(u"BETWEEN")) {
            auto e = make(ExprKind::Between, line);
            e->negated = negated;
            e->args.push_back(std::move(left));
            e->args.push_back(additive());
            expectWord(u"AND");
            e->args.push_back(additive());
            return e;
        }
        if (negated)
            fail();
        return left;
    }

    ExprPtr additive()
    {
        ExprPtr left = multiplicative();
        for (;;) {
            const Token& t = peek();
            if (t.kind == TokenKind::Symbol &&
                (t.text == u"+" || t.text == u"-" || t.text == u"&" || t.text == u"|" ||
                 t.text == u"^")) {
                auto e = make(ExprKind::Arithmetic, t.line);
                e->op = next().text;
                e->args.push_back(std::move(left));
                e->args.push_back(multiplicative());
                left = std::move(e);
            } else {
                return left;
            }
        }
    }

    ExprPtr multiplicative()
    {
        ExprPtr left = unary();
        for (;;) {
            const Token& t = peek();
            if (t.kind == TokenKind::Symbol &&
                (t.text == u"*" || t.text == u"/" || t.text == u"%")) {
                auto e = make(ExprKind::Arithmetic, t.line);
                e->op = next().text;
                e->args.push_back(std::move(left));
                e->args.push_back(unary());
                left = std::move(e);
            } else {
                return left;
            }
        }
    }

    ExprPtr unary()
    {
        DepthGuard guard(*this);
        const Token& t = peek();
        if (t.kind == TokenKind::Symbol && (t.text == u"-" || t.text == u"+" || t.text == u"~")) {
            std::u16string op = next().text;
            ExprPtr operand = unary();
            if (op == u"+")
                return operand;
            if (op == u"-" && operand->kind == ExprKind::Literal && negateLiteral(*operand)) {
                if (record_)
                    for (auto& use : record_->literals)
                        if (use.expr == operand.get())
                            ++use.negations;
                return operand;
            }
            auto e = make(op == u"-" ? ExprKind::Negate : ExprKind::BitNot, t.line);
            e->args.push_back(std::move(operand));
            return e;
        }
        return primary();
    }

    ExprPtr primary()
    {
        const Token& t = peek();
        switch (t.kind) {
        case TokenKind::Integer:
        case TokenKind::Decimal:
        case TokenKind::Float:
        case TokenKind::String:
        case TokenKind::NString:
        case TokenKind::Binary: {
            auto e = make(ExprKind::Literal, t.line);
            setLiteral(*e, t, 0);
            if (record_)
                record_->literals.push_back({e.get(), pos_, 0});
            next();
            return e;
        }
        case TokenKind::Variable: {
            auto e = make(ExprKind::Variable, t.line);
            e->name = text::upper(next().text);
            if (e->name.rfind(u"@@", 0) != 0)
                e->name = tokens_[pos_ - 1].text;
            return e;
        }
        case TokenKind::Symbol:
            if (t.text == u"(") {
                next();
                if (isWord(u"SELECT"))
                    throw notSupported(u"Subqueries");
                ExprPtr inner = expression();
                expectSymbol(u")");
                return inner;
            }
            fail();
        case TokenKind::Quoted:
            return columnOrFunction();
        case TokenKind::Word:
            break;
        case TokenKind::End:
            fail();
        }
        std::u16string w = text::upper(t.text);
        if (w == u"NULL") {
            auto e = make(ExprKind::Literal, next().line);
            e->literalType = TypeName{SqlType::Int, 4, 10, 0};
            return e;
        }
        if (w == u"CAST") {
            auto e = make(ExprKind::Cast, next().line);
            expectSymbol(u"(");
            e->args.push_back(expression());
            expectWord(u"AS");
            e->castType = withDefaultLength(typeName(), 30);
            expectSymbol(u")");
            return e;
        }
        if (w == u"CONVERT") {
            auto e = make(ExprKind::Cast, next().line);
            expectSymbol(u"(");
            e->castType = withDefaultLength(typeName(), 30);
            expectSymbol(u",");
            e->args.push_back(expression());
            if (acceptSymbol(u","))
                e->args.push_back(expression());
            expectSymbol(u")");
            return e;
        }
        if (w == u"CASE")
            return caseExpr();
        if (isReserved(t) && !(isSymbol(u"(", 1) && (w == u"LEFT" || w == u"RIGHT")))
            fail();
        return columnOrFunction();
    }

    ExprPtr caseExpr()
    {
        auto e = make(ExprKind::Case, next().line);
        if (!isWord(u"WHEN")) {
            e->hasOperand = true;
            e->args.push_back(expression());
        }
        if (!isWord(u"WHEN"))
            fail();
        while (acceptWord(u"WHEN")) {
            e->args.push_back(expression());
            expectWord(u"THEN");
            e->args.push_back(expression());
        }
        if (acceptWord(u"ELSE")) {
            e->hasElse = true;
            e->args.push_back(expression());
        }
        expectWord(u"END");
        return e;
    }

    ExprPtr columnOrFunction()
    {
        const Token& t = peek();
        if (t.kind == TokenKind::Word && isSymbol(u"(", 1)) {
            auto e = make(ExprKind::Function, t.line);
            e->name = text::upper(next().text);
            next();
            if (e->name == u"COUNT" && acceptSymbol(u"*")) {
                expectSymbol(u")");
                e->kind = ExprKind::CountStar;
                return e;
            }
            if (acceptWord(u"DISTINCT"))
                e->distinct = true;
            if (!isSymbol(u")")) {
                do {
                    e->args.push_back(expression());
                } while (acceptSymbol(u","));
            }
            expectSymbol(u")");
            return e;
        }
        auto e = make(ExprKind::Column, t.line);
        e->parts.push_back(identifier());
        while (isSymbol(u".")) {
            next();
            if (isSymbol(u"*"))
                fail();
            e->parts.push_back(identifier());
        }
        if (e->parts.size() > 4)
            fail();
        if (isSymbol(u"("))
            throw notSupported(u"User-defined functions");
        return e;
    }

    // FLOAT(n), DATETIME2(n): the number changes nothing here.
    void skipPrecisionArgument()
    {
        if (acceptSymbol(u"(")) {
            if (peek().kind != TokenKind::Integer)
                fail();
            next();
            expectSymbol(u")");
        }
    }

    // DECIMAL(p[, s]) within the range the engine keeps exactly.
    void decimalArguments(TypeName& type)
    {
        if (acceptSymbol(u"(")) {
            if (peek().kind != TokenKind::Integer)
                fail();
            int p = std::stoi(text::narrow(next().text.substr(0, 4)));
            int s = 0;
            if (acceptSymbol(u",")) {
                if (peek().kind != TokenKind::Integer)
                    fail();
                s = std::stoi(text::narrow(next().text.substr(0, 4)));
            }
            expectSymbol(u")");
            if (p < 1 || p > 38)
                throw SqlError(err::kPrecisionRange, {text::widen(std::to_string(p)), u"38"});
            if (s > p)
                throw SqlError(err::kScaleRange, {text::widen(std::to_string(s))});
            type.precision = static_cast<uint8_t>(p);
            type.scale = static_cast<uint8_t>(s);
        }
        if (type.precision > 18)
            throw notSupported(u"DECIMAL wider than 18 digits");
    }

    TypeName typeName()
    {
        const Token& t = peek();
        if (t.kind != TokenKind::Word && t.kind != TokenKind::Quoted)
            fail();
        std::u16string w = text::upper(next().text);
        if (w == u"SYS" && acceptSymbol(u".")) // sys.int style
            w = text::upper(next().text);
        TypeName type;
        auto lengthArg = [&](int32_t defaultLength, int32_t maxLength) -> int32_t {
            if (!acceptSymbol(u"("))
                return defaultLength;
            int32_t n = 0;
            if (acceptWord(u"MAX")) {
                n = -1;
            } else {
                if (peek().kind != TokenKind::Integer)
                    fail();
                std::u16string digits = next().text;
                n = digits.size() > 9 ? 1000000000 : std::stoi(text::narrow(digits));
                if (n < 1 || n > maxLength)
                    throw SqlError(err::kTypeSizeTooBig,
                                   {typeDisplayName(type.type), text::widen(std::to_string(n)),
                                    text::widen(std::to_string(maxLength))});
            }
            expectSymbol(u")");
            return n;
        };
        if (const SqlTypeInfo* info = typeByKeyword(w)) {
            type = info->declared;
            if (info->type == SqlType::Float)
                skipPrecisionArgument();
            else if (info->type == SqlType::Decimal)
                decimalArguments(type);
            else if (info->maxDeclaredLength > 0) {
                type.length = lengthArg(0, info->maxDeclaredLength);
                if (type.length == -1 && !info->takesMax)
                    fail();
            }
        } else if (lenientTypes_ && (w == u"DATETIME2" || w == u"DATE" || w == u"TIME" ||
                                     w == u"DATETIMEOFFSET" || w == u"SMALLDATETIME")) {
            // Parameter declarations of drivers: the value arrives with its own type.
            skipPrecisionArgument();
            type = typeInfo(SqlType::DateTime).declared;
        } else if (lenientTypes_ && w == u"REAL") {
            type = {SqlType::Float, 8, 53, 0};
        } else if (lenientTypes_ && (w == u"MONEY" || w == u"SMALLMONEY")) {
            type = {SqlType::Decimal, 0, 18, 4};
        } else if (lenientTypes_ && w == u"TEXT") {
            type = {SqlType::VarChar, -1, 0, 0};
        } else if (lenientTypes_ && w == u"BINARY") {
            type.type = SqlType::VarBinary;
            type.length = lengthArg(0, 8000);
        } else if (lenientTypes_ && w == u"UNIQUEIDENTIFIER") {
            type = {SqlType::UniqueIdentifier, 16, 0, 0};
        } else {
            throw notSupported(u"The data type " + w);
        }
        return type;
    }

    // ---- INSERT / UPDATE / DELETE ----

    StatementBody insert()
    {
        next();
        acceptWord(u"INTO");
        InsertStmt s;
        s.table = tableName();
        if (isSymbol(u"(")) {
            next();
            s.hasColumnList = true;
            do {
                s.columns.push_back(identifier());
            } while (acceptSymbol(u","));
            expectSymbol(u")");
        }
        if (acceptWord(u"DEFAULT")) {
            expectWord(u"VALUES");
            s.defaultValues = true;
            return s;
        }
        if (isWord(u"SELECT") || isSymbol(u"(")) {
            s.select = std::make_unique<SelectStmt>(selectStatement());
            return s;
        }
        if (isWord(u"EXEC") || isWord(u"EXECUTE"))
            throw notSupported(u"INSERT ... EXEC");
        expectWord(u"VALUES");
        do {
            expectSymbol(u"(");
            std::vector<ExprPtr> row;
            do {
                if (isWord(u"DEFAULT")) {
                    next();
                    auto e = make(ExprKind::Function, peek().line);
                    e->name = u"DEFAULT";
                    row.push_back(std::move(e));
                } else {
                    row.push_back(expression());
                }
            } while (acceptSymbol(u","));
            expectSymbol(u")");
            s.rows.push_back(std::move(row));
        } while (acceptSymbol(u","));
        return s;
    }

    StatementBody update()
    {
        next();
        UpdateStmt s;
        if (isWord(u"TOP"))
            throw notSupported(u"UPDATE TOP");
        s.table = tableName();
        expectWord(u"SET");
        do {
            std::u16string column;
            if (peek().kind == TokenKind::Variable)
                throw notSupported(u"Variable assignment in UPDATE");
            column = identifier();
            while (acceptSymbol(u"."))
                column = identifier(); // t.c = ...: the table is the updated one
            expectSymbol(u"=");
            if (isWord(u"DEFAULT"))
                throw notSupported(u"SET column = DEFAULT");
            s.assignments.emplace_back(column, expression());
        } while (acceptSymbol(u","));
        if (isWord(u"FROM"))
            throw notSupported(u"UPDATE ... FROM");
        if (acceptWord(u"WHERE"))
            s.where = expression();
        return s;
    }

    StatementBody remove()
    {
        next();
        DeleteStmt s;
        if (isWord(u"TOP"))
            throw notSupported(u"DELETE TOP");
        acceptWord(u"FROM");
        s.table = tableName();
        if (isWord(u"FROM"))
            throw notSupported(u"DELETE ... FROM");
        if (acceptWord(u"WHERE"))
            s.where = expression();
        return s;
    }

    // ---- DDL ----

    ReferentialAction referentialAction()
    {
        if (acceptWord(u"CASCADE"))
            return ReferentialAction::Cascade;
        if (acceptWord(u"NO")) {
            expectWord(u"ACTION");
            return ReferentialAction::NoAction;
        }
        if (isWord(u"SET"))
            throw notSupported(u"ON DELETE/UPDATE SET NULL or SET DEFAULT");
        fail();
    }

    void referencesClause(ConstraintDef& c)
    {
        expectWord(u"REFERENCES");
        TableName ref = tableName();
        c.refTable = ref.table();
        if (acceptSymbol(u"(")) {
            do {
                c.refColumns.push_back(identifier());
            } while (acceptSymbol(u","));
            expectSymbol(u")");
        }
        for (;;) {
            if (isWord(u"ON") && isWord(u"DELETE", 1)) {
                next();
                next();
                c.onDelete = referentialAction();
            } else if (isWord(u"ON") && isWord(u"UPDATE", 1)) {
                next();
                next();
                c.onUpdate = referentialAction();
            } else if (isWord(u"NOT") && isWord(u"FOR", 1)) {
                next();
                next();
                expectWord(u"REPLICATION");
            } else {
                break;
            }
        }
    }

    std::vector<std::u16string> columnList()
    {
        std::vector<std::u16string> cols;
        expectSymbol(u"(");
        do {
            cols.push_back(identifier());
            if (!acceptWord(u"ASC"))
                if (acceptWord(u"DESC"))
                    throw notSupported(u"Descending key columns");
        } while (acceptSymbol(u","));
        expectSymbol(u")");
        return cols;
    }

    void clusterOption(ConstraintDef& c)
    {
        if (acceptWord(u"CLUSTERED")) {
            c.clustered = true;
            c.clusteredGiven = true;
        } else if (acceptWord(u"NONCLUSTERED")) {
            c.clustered = false;
            c.clusteredGiven = true;
        }
    }

    void skipIndexOptions()
    {
        if (isWord(u"WITH") && isSymbol(u"(", 1))
            throw notSupported(u"Index options");
        if (acceptWord(u"ON")) // filegroup
            identifier();
    }

    // A table-level constraint (after an optional CONSTRAINT name).
    ConstraintDef tableConstraint()
    {
        ConstraintDef c;
        if (acceptWord(u"CONSTRAINT"))
            c.name = identifier();
        if (acceptWord(u"PRIMARY")) {
            expectWord(u"KEY");
            c.kind = ConstraintDef::Kind::PrimaryKey;
            clusterOption(c);
            c.columns = columnList();
            skipIndexOptions();
        } else if (acceptWord(u"UNIQUE")) {
            c.kind = ConstraintDef::Kind::Unique;
            c.clustered = false;
            clusterOption(c);
            c.columns = columnList();
            skipIndexOptions();
        } else if (acceptWord(u"FOREIGN")) {
            expectWord(u"KEY");
            c.kind = ConstraintDef::Kind::ForeignKey;
            c.columns = columnList();
            referencesClause(c);
        } else if (isWord(u"CHECK") || isWord(u"DEFAULT")) {
            throw notSupported(text::upper(peek().text) + u" constraints");
        } else {
            fail();
        }
        return c;
    }

    bool atTableConstraint() const
    {
        return isWord(u"CONSTRAINT") || isWord(u"PRIMARY") || isWord(u"FOREIGN") ||
               isWord(u"UNIQUE") || isWord(u"CHECK");
    }

    ColumnDefinition columnDefinition(bool allowConstraints)
    {
        ColumnDefinition col;
        col.name = identifier();
        if (isWord(u"AS"))
            throw notSupported(u"Computed columns");
        col.type = withDefaultLength(typeName(), 1);
        // "CONSTRAINT name NOT NULL FOREIGN KEY ...": the name belongs to the next constraint.
        std::u16string pendingName;
        for (;;) {
            if (isWord(u"CONSTRAINT") && allowConstraints && isIdentifier(1) &&
                (isWord(u"NULL", 2) || (isWord(u"NOT", 2) && isWord(u"NULL", 3)))) {
                next();
                pendingName = identifier();
                continue;
            }
            if (acceptWord(u"NULL")) {
                col.nullable = true;
            } else if (isWord(u"NOT") && isWord(u"NULL", 1)) {
                next();
                next();
                col.nullable = false;
            } else if (acceptWord(u"IDENTITY")) {
                col.identity = true;
                if (acceptSymbol(u"(")) {
                    col.seed = signedInteger();
                    expectSymbol(u",");
                    col.increment = signedInteger();
                    expectSymbol(u")");
                }
                if (col.increment == 0)
                    throw notSupported(u"An identity increment of zero");
            } else if (isWord(u"COLLATE")) {
                next();
                std::u16string collation = identifier();
                if (!text::equalsIgnoreCase(collation, u"SQL_Latin1_General_CP1_CI_AS") &&
                    !text::equalsIgnoreCase(collation, u"database_default"))
                    throw notSupported(u"The collation " + collation);
            } else if (allowConstraints &&
                       (isWord(u"CONSTRAINT") || isWord(u"PRIMARY") || isWord(u"UNIQUE") ||
                        isWord(u"REFERENCES") || isWord(u"FOREIGN"))) {
                ConstraintDef c;
                c.name = pendingName;
                pendingName.clear();
                if (acceptWord(u"CONSTRAINT"))
                    c.name = identifier();
                if (acceptWord(u"PRIMARY")) {
                    expectWord(u"KEY");
                    c.kind = ConstraintDef::Kind::PrimaryKey;
                    clusterOption(c);
                    skipIndexOptions();
                } else if (acceptWord(u"UNIQUE")) {
                    c.kind = ConstraintDef::Kind::Unique;
                    c.clustered = false;
                    clusterOption(c);
                    skipIndexOptions();
                } else if (isWord(u"REFERENCES") || isWord(u"FOREIGN")) {
                    if (acceptWord(u"FOREIGN"))
                        expectWord(u"KEY");
                    c.kind = ConstraintDef::Kind::ForeignKey;
                    referencesClause(c);
                } else if (isWord(u"DEFAULT") || isWord(u"CHECK")) {
                    throw notSupported(text::upper(peek().text) + u" constraints");
                } else {
                    fail();
                }
                c.columns.push_back(col.name);
                col.constraints.push_back(std::move(c));
            } else if (isWord(u"DEFAULT") || isWord(u"CHECK") || isWord(u"ROWGUIDCOL") ||
                       isWord(u"SPARSE")) {
                throw notSupported(text::upper(peek().text) + u" column options");
            } else {
                break;
            }
        }
        return col;
    }

    int64_t signedInteger()
    {
        bool negative = acceptSymbol(u"-");
        if (!negative)
            acceptSymbol(u"+");
        if (peek().kind != TokenKind::Integer)
            fail();
        std::u16string digits = next().text;
        if (digits.size() > 18)
            throw notSupported(u"Identity seeds of more than 18 digits");
        int64_t v = std::stoll(text::narrow(digits));
        return negative ? -v : v;
    }

    StatementBody create()
    {
        next();
        if (acceptWord(u"TABLE")) {
            CreateTableStmt s;
            s.table = tableName();
            expectSymbol(u"(");
            do {
                if (isSymbol(u")"))
                    break; // trailing comma, as SQL Server allows
                if (atTableConstraint())
                    s.constraints.push_back(tableConstraint());
                else
                    s.columns.push_back(columnDefinition(true));
            } while (acceptSymbol(u","));
            expectSymbol(u")");
            skipIndexOptions();
            return s;
        }
        CreateIndexStmt s;
        if (acceptWord(u"UNIQUE"))
            s.unique = true;
        if (acceptWord(u"CLUSTERED"))
            s.clustered = true;
        else
            acceptWord(u"NONCLUSTERED");
        if (!acceptWord(u"INDEX")) {
            if (isWord(u"VIEW") || isWord(u"PROCEDURE") || isWord(u"PROC") || isWord(u"FUNCTION") ||
                isWord(u"TRIGGER") || isWord(u"SCHEMA") || isWord(u"LOGIN") || isWord(u"USER"))
                throw notSupported(u"CREATE " + text::upper(peek().text));
            fail();
        }
        s.name = identifier();
        expectWord(u"ON");
        s.table = tableName();
        s.columns = columnList();
        if (isWord(u"INCLUDE") || isWord(u"WHERE"))
            throw notSupported(u"Included columns and filtered indexes");
        skipIndexOptions();
        return s;
    }

    StatementBody drop()
    {
        next();
        if (acceptWord(u"TABLE")) {
            DropTableStmt s;
            if (isWord(u"IF") && isWord(u"EXISTS", 1)) {
                next();
                next();
                s.ifExists = true;
            }
            do {
                s.tables.push_back(tableName());
            } while (acceptSymbol(u","));
            return s;
        }
        if (acceptWord(u"INDEX")) {
            DropIndexStmt s;
            do {
                TableName first = tableName();
                if (acceptWord(u"ON")) {
                    TableName table = tableName();
                    s.indexes.emplace_back(table, first.table());
                } else {
                    if (first.parts.size() < 2)
                        fail();
                    std::u16string index = first.parts.back();
                    first.parts.pop_back();
                    s.indexes.emplace_back(first, index);
                }
            } while (acceptSymbol(u","));
            return s;
        }
        throw notSupported(u"DROP " + text::upper(peek().text));
    }

    StatementBody alterTable()
    {
        next();
        next();
        AlterTableStmt s;
        s.table = tableName();
        if (acceptWord(u"ADD")) {
            s.action = AlterTableStmt::Action::Add;
            do {
                if (atTableConstraint())
                    s.addConstraints.push_back(tableConstraint());
                else
                    s.addColumns.push_back(columnDefinition(true));
            } while (acceptSymbol(u","));
            return s;
        }
        if (isWord(u"WITH") || isWord(u"CHECK") || isWord(u"NOCHECK"))
            throw notSupported(u"WITH CHECK / NOCHECK");
        if (acceptWord(u"DROP")) {
            if (acceptWord(u"COLUMN")) {
                s.action = AlterTableStmt::Action::DropColumn;
                do {
                    s.dropNames.push_back(identifier());
                } while (acceptSymbol(u","));
                return s;
            }
            s.action = AlterTableStmt::Action::DropConstraint;
            acceptWord(u"CONSTRAINT");
            do {
                acceptWord(u"CONSTRAINT");
                s.dropNames.push_back(identifier());
            } while (acceptSymbol(u","));
            return s;
        }
        if (acceptWord(u"ALTER")) {
            expectWord(u"COLUMN");
            s.action = AlterTableStmt::Action::AlterColumn;
            s.alterColumn = columnDefinition(false);
            if (s.alterColumn.identity)
                fail();
            return s;
        }
        fail();
    }

    // ---- SET, EXEC, DECLARE ----

    StatementBody set()
    {
        next();
        if (peek().kind == TokenKind::Variable) {
            SetVariableStmt s;
            s.variable = next().text;
            expectSymbol(u"=");
            s.value = expression();
            return s;
        }
        if (acceptWord(u"IDENTITY_INSERT")) {
            SetIdentityInsertStmt s;
            s.table = tableName();
            if (acceptWord(u"ON"))
                s.on = true;
            else
                expectWord(u"OFF");
            return s;
        }
        SetOptionStmt s;
        if (peek().kind != TokenKind::Word)
            fail();
        s.option = text::upper(next().text);
        s.options.push_back(s.option);
        if (s.option == u"TRANSACTION") {
            expectWord(u"ISOLATION");
            expectWord(u"LEVEL");
            while (peek().kind == TokenKind::Word &&
                   !statementStarts().count(text::upper(peek().text)))
                s.value += text::upper(next().text) + u" ";
            return s;
        }
        while (acceptSymbol(u",")) {
            if (peek().kind != TokenKind::Word)
                fail();
            s.options.push_back(text::upper(next().text));
        }
        const Token& v = peek();
        if (v.kind == TokenKind::Word || v.kind == TokenKind::Integer ||
            v.kind == TokenKind::String || v.kind == TokenKind::NString ||
            v.kind == TokenKind::Quoted) {
            s.value = next().text;
        } else if (isSymbol(u"-") && peek(1).kind == TokenKind::Integer) {
            next();
            s.value = u"-" + next().text;
        } else {
            fail();
        }
        return s;
    }

    StatementBody exec(bool explicitExec)
    {
        ExecStmt s;
        if (explicitExec && peek().kind == TokenKind::Variable && isSymbol(u"=", 1))
            throw notSupported(u"EXEC @status =");
        if (explicitExec && isSymbol(u"("))
            throw notSupported(u"EXEC of a dynamic string");
        s.explicitExec = explicitExec;
        s.procedure.push_back(identifier());
        while (acceptSymbol(u".")) {
            if (isSymbol(u".")) {
                s.procedure.push_back({});
                continue;
            }
            s.procedure.push_back(identifier());
        }
        if (s.procedure.size() > 4)
            fail();
        if (atEnd() || isSymbol(u";"))
            return s;
        if (peek().kind == TokenKind::Word && statementStarts().count(text::upper(peek().text)))
            return s;
        do {
            ProcArg arg;
            if (peek().kind == TokenKind::Variable && isSymbol(u"=", 1)) {
                arg.name = next().text;
                next();
            }
            const Token& t = peek();
            if (t.kind == TokenKind::Word && !isReserved(t)) {
                auto e = make(ExprKind::Literal, t.line);
                e->value = next().text;
                e->literalType =
                    TypeName{SqlType::NVarChar, static_cast<int32_t>(t.text.size()), 0, 0};
                arg.value = std::move(e);
            } else if (t.kind == TokenKind::Quoted) {
                auto e = make(ExprKind::Literal, t.line);
                e->value = next().text;
                e->literalType =
                    TypeName{SqlType::NVarChar,
                             std::max<int32_t>(1, static_cast<int32_t>(t.text.size())), 0, 0};
                arg.value = std::move(e);
            } else if (isWord(u"DEFAULT")) {
                next();
                arg.value = nullptr;
            } else if (isWord(u"NULL")) {
                arg.value = primary();
            } else {
                arg.value = unary();
            }
            if (acceptWord(u"OUTPUT") || acceptWord(u"OUT"))
                arg.output = true;
            s.args.push_back(std::move(arg));
        } while (acceptSymbol(u","));
        if (isWord(u"WITH"))
            throw notSupported(u"EXEC ... WITH");
        return s;
    }

    StatementBody declare()
    {
        next();
        DeclareStmt s;
        do {
            if (peek().kind != TokenKind::Variable)
                fail();
            std::u16string name = next().text;
            acceptWord(u"AS");
            if (isWord(u"TABLE") || isWord(u"CURSOR"))
                throw notSupported(u"DECLARE ... " + text::upper(peek().text));
            TypeName type = withDefaultLength(typeName(), 1);
            s.variables.emplace_back(name, type);
            if (acceptSymbol(u"="))
                s.initial.push_back(expression());
            else
                s.initial.push_back(nullptr);
        } while (acceptSymbol(u","));
        return s;
    }
};

} // namespace

bool isReservedWord(std::u16string_view word)
{
    return reservedWords().count(text::upper(word)) > 0;
}

std::u16string typeDisplayName(SqlType type)
{
    return std::u16string(typeInfo(type).name);
}

std::vector<Statement> parseBatch(const std::u16string& batch)
{
    Parser parser(batch, tokenize(batch));
    return parser.batch();
}

std::vector<Statement> parseBatch(const std::u16string& batch, std::vector<Token> tokens,
                                  ParseRecord& record)
{
    Parser parser(batch, std::move(tokens), &record);
    return parser.batch();
}

void setLiteral(Expr& e, const Token& t, int negations)
{
    if (t.kind == TokenKind::String || t.kind == TokenKind::NString)
        textLiteral(e, t);
    else if (t.kind == TokenKind::Binary)
        binaryLiteral(e, t);
    else
        numberLiteral(e, t);
    for (int i = 0; i < negations; ++i)
        negateLiteral(e);
}

std::vector<std::pair<std::u16string, TypeName>> parseParameterList(const std::u16string& text)
{
    Parser parser(text, tokenize(text));
    return parser.parameterList();
}

} // namespace standin::sql
