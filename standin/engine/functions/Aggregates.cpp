// The aggregate functions: registered for their names and argument counts; the SELECT
// executor computes them over its groups.
#include "Functions.h"

namespace standin::functions {

std::span<const BuiltinFunction> aggregates()
{
    static const BuiltinFunction entries[] = {
        {u"COUNT", 1, 1, nullptr}, {u"COUNT_BIG", 1, 1, nullptr}, {u"SUM", 1, 1, nullptr},
        {u"MIN", 1, 1, nullptr},   {u"MAX", 1, 1, nullptr},       {u"AVG", 1, 1, nullptr},
    };
    return entries;
}

} // namespace standin::functions
