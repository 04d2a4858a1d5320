#pragma once
// The data access the program's front ends hand to the archive catalogue.

#include "DatabasePort.h"

#include <memory>

namespace sqllumo::server {

// Connections and catalogues over the program's database layer (ODBC and FreeTDS).
std::unique_ptr<dbport::Provider> MakeServerProvider();

} // namespace sqllumo::server
