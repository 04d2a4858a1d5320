// The built-in T-SQL functions as one registered table: name, the argument counts it takes and
// its evaluator. Each family of functions lives in a file of its own under functions/.
#pragma once

#include "Ast.h"
#include "Errors.h"
#include "Values.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

class SessionImpl;
struct RowContext;

// One call of a built-in: its arguments, evaluated when asked for, and the session it runs in.
class FunctionCall {
public:
    FunctionCall(SessionImpl& session, const sql::Expr& expr, const RowContext& row)
        : session(session), expr(expr), row(row)
    {
    }
    size_t count() const { return expr.args.size(); }
    Typed arg(size_t i) const;
    const ConversionContext& conversion() const;
    // The value as text or as a whole number, by SQL Server's implicit conversion.
    std::u16string text(const Typed& t) const;
    int64_t integer(const Typed& t) const;

    SessionImpl& session;
    const sql::Expr& expr;
    const RowContext& row;
};

using FunctionEvaluator = Typed (*)(FunctionCall& call);

constexpr uint16_t kAnyArgumentCount = 0xFFFF;

struct BuiltinFunction {
    std::u16string_view name; // upper case, as the parser keeps function names
    uint16_t minArguments;
    uint16_t maxArguments;
    // Null for the aggregates: the SELECT executor computes them over its groups.
    FunctionEvaluator evaluate;
};

// The function of that (upper-case) name, or null when the server has none.
const BuiltinFunction* findFunction(std::u16string_view name);
bool isAggregateFunction(std::u16string_view name);
// Every registered function, in no particular order.
std::vector<const BuiltinFunction*> builtinFunctions();

// Runs a call of a scalar built-in: 195 for an unknown name, 174 for a wrong argument count.
Typed callBuiltin(FunctionCall& call);

// The families; each returns its part of the table.
namespace functions {
std::span<const BuiltinFunction> aggregates();
std::span<const BuiltinFunction> textFunctions();
std::span<const BuiltinFunction> nullFunctions();
std::span<const BuiltinFunction> mathFunctions();
std::span<const BuiltinFunction> dateFunctions();
std::span<const BuiltinFunction> systemFunctions();
} // namespace functions

// Result types and values the built-ins and the system variables share.
namespace fn {
inline const TypeName kInt{SqlType::Int, 4, 10, 0};
inline const TypeName kSmallInt{SqlType::SmallInt, 2, 5, 0};
inline const TypeName kTinyInt{SqlType::TinyInt, 1, 3, 0};
inline const TypeName kSysname{SqlType::NVarChar, 128, 0, 0};
inline const TypeName kDateTime{SqlType::DateTime, 8, 23, 3};
inline const TypeName kIdentityNumeric{SqlType::Decimal, 17, 38, 0};

inline Typed integer(int64_t v)
{
    return Typed{v, kInt};
}
inline Typed nullOf(TypeName t)
{
    return Typed{std::monostate{}, t};
}
inline Typed textOf(std::u16string s, int32_t length = 0)
{
    int32_t n = length > 0 ? length : std::max<int32_t>(1, static_cast<int32_t>(s.size()));
    return Typed{std::move(s), TypeName{SqlType::NVarChar, n, 0, 0}};
}
} // namespace fn

} // namespace standin
