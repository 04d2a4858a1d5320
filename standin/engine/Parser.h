// Recursive-descent parser for the server's T-SQL subset. A syntax error anywhere fails the
// whole batch before any of it runs, as SQL Server compiles a batch before executing it.
#pragma once

#include "Ast.h"
#include "Lexer.h"

#include <string>
#include <string_view>
#include <vector>

namespace standin::sql {

// Throws SqlError (102, 156, 105, ... or "not supported").
std::vector<Statement> parseBatch(const std::u16string& batch);

// Where a parsed batch took its literal values from, so that a batch differing only in them can
// reuse its statements: each literal expression with its token and the minus signs folded into
// it, and each statement's tokens [first, end).
struct ParseRecord {
    struct LiteralUse {
        Expr* expr;
        size_t token;
        int negations;
    };
    std::vector<LiteralUse> literals;
    std::vector<std::pair<size_t, size_t>> statements;
};
std::vector<Statement> parseBatch(const std::u16string& batch, std::vector<Token> tokens,
                                  ParseRecord& record);

// The value and type the parser gives a literal token, after `negations` minus signs.
void setLiteral(Expr& e, const Token& t, int negations);

// For sp_executesql: "@a int, @b nvarchar(10) OUTPUT".
std::vector<std::pair<std::u16string, TypeName>> parseParameterList(const std::u16string& text);

// Whether a word is one of T-SQL's reserved keywords (then 156 names it in syntax errors).
bool isReservedWord(std::u16string_view word);

// The SQL Server name of a type, as messages write it ("nvarchar", "int").
std::u16string typeDisplayName(SqlType type);

} // namespace standin::sql
