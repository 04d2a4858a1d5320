#pragma once
// Before a user or role function runs on the console: the names it is given are checked
// against the lists the window's buttons would show, so that a mistyped name is refused
// before anything is written instead of reported as done.

#include "CommandLine.h"
#include "Dispatcher.h"

#include <QTextStream>

namespace sqllumo::cli {

// Fills the lists the function's names need (check B first, as the buttons ask it) and checks
// --name, --role and --rename against them. False, with the refusal written to err or shown
// through the port, when the function must not run.
bool CheckListedNames(Dispatcher& dispatcher, const WindowState& state,
                      const FunctionDescriptor& function, const UserRoleOptions& options,
                      QTextStream& err);

} // namespace sqllumo::cli
