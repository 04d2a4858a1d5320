#pragma once
// "sqllumo archive inspect": the inspection of an Access file printed on the console, or one
// of its tables as CSV. Needs no server and stores no settings.

#include "FunctionDescriptor.h"

namespace sqllumo::archive {

// Its own options, and the help lines under them.
std::vector<ConsoleOwnOption> InspectOptions();
QString InspectNote();

// Exit status: listing: 0 when an import would succeed, 1 when it would not, 2 when the file
// cannot be read as an Access database; CSV: 0 when every row was read, 1 when one could not
// be (or the table cannot be read), 2 when the file cannot; 2 for options that cannot be used.
int RunInspectCommand(ConsoleCall& call);

} // namespace sqllumo::archive
