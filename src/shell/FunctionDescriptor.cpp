// Lookups in a list of function descriptors.
#include "FunctionDescriptor.h"

#include <algorithm>

namespace sqllumo {

std::vector<const FunctionDescriptor*> FunctionsOf(const FunctionList& functions, MenuMode mode)
{
    std::vector<const FunctionDescriptor*> found;
    for (const FunctionDescriptor& function : functions)
        if (function.catalogue == mode)
            found.push_back(&function);
    std::stable_sort(found.begin(), found.end(),
                     [](const auto* a, const auto* b) { return a->index < b->index; });
    return found;
}

const FunctionDescriptor* FindFunction(const FunctionList& functions, MenuMode mode, int index)
{
    for (const FunctionDescriptor& function : functions)
        if (function.catalogue == mode && function.index == index)
            return &function;
    return nullptr;
}

} // namespace sqllumo
