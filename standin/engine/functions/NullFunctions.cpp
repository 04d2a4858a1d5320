// ISNULL, COALESCE and NULLIF: the functions that choose between values by NULL.
#include "Functions.h"

namespace standin::functions {

using namespace fn;

namespace {

Typed isNull(FunctionCall& call)
{
    Typed a = call.arg(0);
    if (!a.isNull())
        return a;
    Typed b = call.arg(1);
    return Typed{convert(b, a.type, ConversionMode::Implicit, call.conversion()), a.type};
}

// The first value that is not NULL, in the type of highest precedence among all of them.
Typed coalesce(FunctionCall& call)
{
    std::vector<Typed> values;
    for (size_t i = 0; i < call.count(); ++i)
        values.push_back(call.arg(i));
    TypeName best = values.front().type;
    for (const auto& v : values)
        if (precedence(v.type.type) > precedence(best.type))
            best = v.type;
    for (auto& v : values)
        if (!v.isNull())
            return Typed{convert(v, best, ConversionMode::Implicit, call.conversion()), best};
    return nullOf(best);
}

Typed nullIf(FunctionCall& call)
{
    Typed a = call.arg(0);
    auto c = compare(a, call.arg(1), call.conversion());
    if (c && *c == 0)
        return nullOf(a.type);
    return a;
}

} // namespace

std::span<const BuiltinFunction> nullFunctions()
{
    static const BuiltinFunction entries[] = {
        {u"ISNULL", 2, 2, isNull},
        {u"COALESCE", 2, kAnyArgumentCount, coalesce},
        {u"NULLIF", 2, 2, nullIf},
    };
    return entries;
}

} // namespace standin::functions
