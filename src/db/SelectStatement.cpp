// A small reader of SELECT statements: enough to map each output column to its base table
// and column, so that updates know where a field came from.
#include "SelectStatement.h"

#include "Error.h"
#include "SqlText.h"

namespace sqllumo::db::detail {

namespace {

struct Token {
    enum class Type { Word, Quoted, String, Number, Symbol };
    Type type;
    QString value; // unquoted for Quoted; upper-cased copy kept in `upper` for words
    QString upper;
    qsizetype start;
    qsizetype end;
};

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('@') ||
           c == QLatin1Char('#') || c == QLatin1Char('$');
}

// nullopt on text it cannot split (an unterminated quote or comment).
std::optional<std::vector<Token>> tokenize(const QString& s)
{
    std::vector<Token> tokens;
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        const QChar c = s[i];
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == QLatin1Char('-') && i + 1 < n && s[i + 1] == QLatin1Char('-')) {
            while (i < n && s[i] != QLatin1Char('\n'))
                ++i;
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < n && s[i + 1] == QLatin1Char('*')) {
            const qsizetype close = s.indexOf(QLatin1String("*/"), i + 2);
            if (close < 0)
                return std::nullopt;
            i = close + 2;
            continue;
        }
        const qsizetype start = i;
        if (c == QLatin1Char('[') || c == QLatin1Char('"')) {
            const QChar closer = c == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char('"');
            QString value;
            ++i;
            for (;;) {
                if (i >= n)
                    return std::nullopt;
                if (s[i] == closer) {
                    if (i + 1 < n && s[i + 1] == closer) {
                        value += closer;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += s[i++];
            }
            tokens.push_back({Token::Type::Quoted, value, value.toUpper(), start, i});
            continue;
        }
        if (c == QLatin1Char('\'') || ((c == QLatin1Char('N') || c == QLatin1Char('n')) &&
                                       i + 1 < n && s[i + 1] == QLatin1Char('\''))) {
            i += c == QLatin1Char('\'') ? 1 : 2;
            for (;;) {
                if (i >= n)
                    return std::nullopt;
                if (s[i] == QLatin1Char('\'')) {
                    if (i + 1 < n && s[i + 1] == QLatin1Char('\'')) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            tokens.push_back({Token::Type::String, s.mid(start, i - start), QString(), start, i});
            continue;
        }
        if (c.isDigit()) {
            while (i < n && (s[i].isLetterOrNumber() || s[i] == QLatin1Char('.')))
                ++i;
            tokens.push_back({Token::Type::Number, s.mid(start, i - start), QString(), start, i});
            continue;
        }
        if (isWordChar(c)) {
            while (i < n && isWordChar(s[i]))
                ++i;
            const QString word = s.mid(start, i - start);
            tokens.push_back({Token::Type::Word, word, word.toUpper(), start, i});
            continue;
        }
        ++i;
        tokens.push_back({Token::Type::Symbol, QString(c), QString(c), start, i});
    }
    return tokens;
}

bool isWord(const Token& t, const char* upper)
{
    return t.type == Token::Type::Word && t.upper == QLatin1String(upper);
}

bool isSymbol(const Token& t, char c)
{
    return t.type == Token::Type::Symbol && t.value == QLatin1Char(c);
}

bool isName(const Token& t)
{
    return t.type == Token::Type::Word || t.type == Token::Type::Quoted;
}

// Keywords that end a FROM clause or the statement.
bool endsFrom(const Token& t)
{
    static const QStringList words = {QStringLiteral("WHERE"),     QStringLiteral("GROUP"),
                                      QStringLiteral("HAVING"),    QStringLiteral("ORDER"),
                                      QStringLiteral("UNION"),     QStringLiteral("EXCEPT"),
                                      QStringLiteral("INTERSECT"), QStringLiteral("FOR"),
                                      QStringLiteral("OPTION"),    QStringLiteral("COMPUTE")};
    return (t.type == Token::Type::Word && words.contains(t.upper)) || isSymbol(t, ';');
}

bool isReserved(const Token& t)
{
    static const QStringList words = {
        QStringLiteral("ON"),    QStringLiteral("WITH"),   QStringLiteral("AS"),
        QStringLiteral("JOIN"),  QStringLiteral("INNER"),  QStringLiteral("LEFT"),
        QStringLiteral("RIGHT"), QStringLiteral("FULL"),   QStringLiteral("OUTER"),
        QStringLiteral("CROSS"), QStringLiteral("WHERE"),  QStringLiteral("GROUP"),
        QStringLiteral("ORDER"), QStringLiteral("HAVING"), QStringLiteral("UNION"),
        QStringLiteral("FROM"),  QStringLiteral("SELECT")};
    return t.type == Token::Type::Word && words.contains(t.upper);
}

// name ( "." name )*, returning the parts; pos moves past them.
std::optional<QStringList> readName(const std::vector<Token>& t, size_t& pos, size_t end)
{
    QStringList parts;
    if (pos >= end || !isName(t[pos]) || (t[pos].type == Token::Type::Word && isReserved(t[pos])))
        return std::nullopt;
    parts << t[pos++].value;
    while (pos + 1 < end && isSymbol(t[pos], '.') && isName(t[pos + 1])) {
        parts << t[pos + 1].value;
        pos += 2;
    }
    return parts;
}

SelectItem readItem(const QString& s, const std::vector<Token>& t, size_t begin, size_t end)
{
    SelectItem item;
    item.text = s.mid(t[begin].start, t[end - 1].end - t[begin].start);
    if (end - begin == 1 && isSymbol(t[begin], '*')) {
        item.kind = SelectItem::Kind::Star;
        return item;
    }
    size_t pos = begin;
    const auto name = readName(t, pos, end);
    if (!name)
        return item;
    if (pos + 2 == end && isSymbol(t[pos], '.') && isSymbol(t[pos + 1], '*')) {
        item.kind = SelectItem::Kind::Star;
        item.qualifier = *name;
        return item;
    }
    QString alias;
    if (pos + 2 == end && isWord(t[pos], "AS") &&
        (isName(t[pos + 1]) || t[pos + 1].type == Token::Type::String))
        alias = t[pos + 1].value;
    else if (pos + 1 == end && isName(t[pos]) && !isReserved(t[pos]))
        alias = t[pos].value;
    else if (pos != end)
        return item;
    if (alias.startsWith(QLatin1Char('\'')) || alias.startsWith(QLatin1String("N'")))
        return item; // a string alias: leave the naming to the server
    item.kind = SelectItem::Kind::Column;
    item.column = name->back();
    item.qualifier = name->mid(0, name->size() - 1);
    item.alias = alias;
    return item;
}

} // namespace

std::optional<SelectStatement> ParseSelect(const QString& s)
{
    const auto tokens = tokenize(s);
    if (!tokens || tokens->empty() || !isWord(tokens->front(), "SELECT"))
        return std::nullopt;
    const std::vector<Token>& t = *tokens;
    SelectStatement statement;
    size_t pos = 1;
    if (pos < t.size() && (isWord(t[pos], "DISTINCT") || isWord(t[pos], "ALL"))) {
        statement.aggregated = isWord(t[pos], "DISTINCT");
        ++pos;
    }
    if (pos < t.size() && isWord(t[pos], "TOP")) {
        ++pos;
        if (pos < t.size() && isSymbol(t[pos], '(')) {
            int depth = 0;
            do {
                if (isSymbol(t[pos], '('))
                    ++depth;
                else if (isSymbol(t[pos], ')'))
                    --depth;
                ++pos;
            } while (pos < t.size() && depth > 0);
        } else if (pos < t.size()) {
            ++pos;
        }
        if (pos < t.size() && isWord(t[pos], "PERCENT"))
            ++pos;
        if (pos + 1 < t.size() && isWord(t[pos], "WITH") && isWord(t[pos + 1], "TIES"))
            pos += 2;
    }
    if (pos >= t.size())
        return std::nullopt;
    statement.head = s.left(t[pos].start).trimmed();

    // The select list runs to the FROM at depth 0.
    size_t itemStart = pos;
    int depth = 0;
    size_t from = 0;
    for (; pos < t.size(); ++pos) {
        if (isSymbol(t[pos], '('))
            ++depth;
        else if (isSymbol(t[pos], ')'))
            --depth;
        else if (depth == 0 && isWord(t[pos], "INTO"))
            return std::nullopt;
        else if (depth == 0 && isWord(t[pos], "FROM")) {
            from = pos;
            break;
        }
        if (depth == 0 && isSymbol(t[pos], ',')) {
            if (pos == itemStart)
                return std::nullopt;
            statement.items.push_back(readItem(s, t, itemStart, pos));
            itemStart = pos + 1;
        }
    }
    if (from == 0 || itemStart == from)
        return std::nullopt;
    statement.items.push_back(readItem(s, t, itemStart, from));
    statement.tail = s.mid(t[from].start);

    // FROM: table [AS] [alias] [WITH (hints)], joined by commas or JOIN ... ON ...
    pos = from + 1;
    depth = 0;
    bool expectTable = true;
    for (; pos < t.size(); ++pos) {
        const Token& tok = t[pos];
        if (depth == 0 && endsFrom(tok))
            break;
        if (isSymbol(tok, '('))
            ++depth;
        else if (isSymbol(tok, ')'))
            --depth;
        if (depth > 0 && expectTable)
            return std::nullopt; // a derived table or a function: not a plain table
        if (depth > 0 || isSymbol(tok, ')'))
            continue;
        if (expectTable) {
            const auto name = readName(t, pos, t.size());
            if (!name)
                return std::nullopt;
            TableReference table;
            table.name = *name;
            if (pos < t.size() && isWord(t[pos], "AS"))
                ++pos;
            if (pos < t.size() && isName(t[pos]) && !isReserved(t[pos]) && !endsFrom(t[pos]))
                table.alias = t[pos++].value;
            table.text = table.alias.isEmpty() ? QuotedQualifiedName(table.name)
                                               : QuotedIdentifier(table.alias);
            statement.tables.push_back(std::move(table));
            expectTable = false;
            --pos; // the loop's ++ moves to the token after the table
            continue;
        }
        if (isSymbol(tok, ',') || isWord(tok, "JOIN") || isWord(tok, "APPLY"))
            expectTable = true;
        else if (isWord(tok, "GROUP"))
            break;
    }
    size_t whereStart = 0, whereEnd = t.size();
    for (; pos < t.size(); ++pos) {
        if (isSymbol(t[pos], '('))
            ++depth;
        else if (isSymbol(t[pos], ')'))
            --depth;
        if (depth == 0 && isWord(t[pos], "WHERE") && whereStart == 0)
            whereStart = pos + 1;
        else if (depth == 0 && whereStart != 0 && whereEnd == t.size() &&
                 (isWord(t[pos], "GROUP") || isWord(t[pos], "HAVING") || isWord(t[pos], "ORDER") ||
                  isWord(t[pos], "OPTION") || isWord(t[pos], "FOR") || isSymbol(t[pos], ';')))
            whereEnd = pos;
        if (isWord(t[pos], "GROUP") || isWord(t[pos], "HAVING"))
            statement.aggregated = true;
        if (isWord(t[pos], "UNION") || isWord(t[pos], "EXCEPT") || isWord(t[pos], "INTERSECT") ||
            isWord(t[pos], "INTO") || isWord(t[pos], "COMPUTE"))
            return std::nullopt;
        // A second statement after ";" could be anything.
        if (isSymbol(t[pos], ';') && pos + 1 < t.size())
            return std::nullopt;
    }
    if (statement.tables.empty())
        return std::nullopt;
    if (whereStart != 0 && whereStart < whereEnd)
        statement.where = s.mid(t[whereStart].start, t[whereEnd - 1].end - t[whereStart].start);
    return statement;
}

namespace {

bool carriedByUtf8(const QString& text, qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i < to; ++i) {
        const char16_t u = text[i].unicode();
        if (u == 0)
            return false;
        if (QChar::isHighSurrogate(u)) {
            if (i + 1 >= to || !QChar::isLowSurrogate(text[i + 1].unicode()))
                return false;
            ++i;
        } else if (QChar::isLowSurrogate(u)) {
            return false;
        }
    }
    return true;
}

} // namespace

QString WithExactLiterals(const QString& batch)
{
    if (carriedByUtf8(batch, 0, batch.size()))
        return batch;
    const auto tokens = tokenize(batch);
    if (!tokens)
        throw Error(kInvalidArgument,
                    QStringLiteral("The statement holds text that is not valid Unicode and "
                                   "cannot be read for its string literals."));
    QString out;
    qsizetype copied = 0;
    for (const Token& t : *tokens) {
        if (t.type != Token::Type::String || carriedByUtf8(batch, t.start, t.end))
            continue;
        out += batch.mid(copied, t.start - copied);
        const qsizetype open = batch.indexOf(QLatin1Char('\''), t.start);
        QString content = batch.mid(open + 1, t.end - open - 2);
        content.replace(QStringLiteral("''"), QStringLiteral("'"));
        out += QStringLiteral("CAST(") + Utf16BinaryLiteral(content) +
               QStringLiteral(" AS NVARCHAR(MAX))");
        copied = t.end;
    }
    out += batch.mid(copied);
    if (!carriedByUtf8(out, 0, out.size()))
        throw Error(kInvalidArgument,
                    QStringLiteral("The statement holds text that is not valid Unicode outside a "
                                   "string literal; it cannot be sent."));
    return out;
}

std::optional<QStringList> ParseTableName(const QString& text)
{
    const auto tokens = tokenize(text);
    if (!tokens || tokens->empty())
        return std::nullopt;
    size_t pos = 0;
    const auto name = readName(*tokens, pos, tokens->size());
    if (!name || pos != tokens->size() || name->size() > 3)
        return std::nullopt;
    return name;
}

} // namespace sqllumo::db::detail
