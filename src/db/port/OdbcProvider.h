#pragma once
// The database port bound to the database layer (unixODBC with the FreeTDS driver): the
// provider the program's front ends hand to every function.

#include "DatabasePort.h"

#include <memory>

namespace sqllumo::dbport {

std::unique_ptr<Provider> MakeOdbcProvider();

} // namespace sqllumo::dbport
