// The numeric functions.
#include "Functions.h"

#include <cmath>

namespace standin::functions {

namespace {

Typed absolute(FunctionCall& call)
{
    Typed a = call.arg(0);
    if (a.isNull())
        return a;
    if (auto* v = std::get_if<int64_t>(&a.value))
        return *v < 0 ? negate(a) : a;
    if (auto* d = std::get_if<double>(&a.value))
        return Typed{std::fabs(*d), a.type};
    throw SqlError(err::kArgumentType, {typeName(a.type), u"1", u"abs"});
}

} // namespace

std::span<const BuiltinFunction> mathFunctions()
{
    static const BuiltinFunction entries[] = {
        {u"ABS", 1, 1, absolute},
    };
    return entries;
}

} // namespace standin::functions
