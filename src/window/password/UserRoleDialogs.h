#pragma once
// Connects the user details dialog, the role editor library and the two name-list buttons to
// the main window, for the password catalogue's user and role functions.

#include "RoleFunctionSheetLoader.h"

namespace sqllumo {
class Settings;
namespace dbport {
class Provider;
}
} // namespace sqllumo

namespace sqllumo::ui {

class F_SQLDatabase;
class WindowDispatch;

// loader: opens the editor library the first time a role is edited; it and database (where the
// user dialog reads the roles) must outlive the window.
void ConnectUserAndRoleDialogs(F_SQLDatabase& window, WindowDispatch& dispatch, Settings& settings,
                               dbport::Provider& database,
                               rolefunctionsheet::RoleFunctionSheetLoader& loader);

} // namespace sqllumo::ui
