#pragma once
// Archive catalogue entry 8: a new database on the server made from an Access archive.

#include "Operation.h"

namespace sqllumo::server {

// Works through the database layer itself: it reads an Access file as well as the server.
OperationOutcome ImportFromAccess(OperationContext& context);

} // namespace sqllumo::server
