// Recursive-descent parser for the server's T-SQL subset. A syntax error anywhere fails the
// whole batch before any of it runs, as SQL Server compiles a batch before executing it.
#pragma once

#include "Ast.h"

#include <string>
#include <string_view>
#include <vector>

namespace standin::sql {

// Throws SqlError (102, 156, 105, ... or "not supported").
std::vector<Statement> parseBatch(const std::u16string& batch);

// For sp_executesql: "@a int, @b nvarchar(10) OUTPUT".
std::vector<std::pair<std::u16string, TypeName>> parseParameterList(const std::u16string& text);

// Whether a word is one of T-SQL's reserved keywords (then 156 names it in syntax errors).
bool isReservedWord(std::u16string_view word);

// The SQL Server name of a type, as messages write it ("nvarchar", "int").
std::u16string typeDisplayName(SqlType type);

} // namespace standin::sql
