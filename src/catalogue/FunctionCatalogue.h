#pragma once
// The program's catalogue functions, archive and password, one descriptor each. How to add a
// function is told in FunctionDescriptor.h.

#include "FunctionDescriptor.h"

namespace sqllumo {

const FunctionList& CatalogueFunctions();

} // namespace sqllumo
