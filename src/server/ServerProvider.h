#pragma once
// The data access the program's front ends hand to the archive catalogue.

#include "OdbcProvider.h"

#include <memory>

namespace sqllumo::server {

// Connections and catalogues over the program's database layer (ODBC and FreeTDS).
inline std::unique_ptr<dbport::Provider> MakeServerProvider()
{
    return dbport::MakeOdbcProvider();
}

} // namespace sqllumo::server
