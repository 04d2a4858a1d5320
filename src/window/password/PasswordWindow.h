// Connects the password area to the main window: its dialog behind the port, and the upgrade
// each time the password catalogue is chosen.
#pragma once

#include "DatabasePort.h"
#include "F_SQLDatabase.h"

#include <functional>

namespace sqllumo::ui {

// settings: where the upgrade finds the password database, database: the port it goes through
// (both outlive the window). endProgram runs when an upgrade
// failed and its backup was put back, as the program must not go on with that database; by
// default it closes the window and ends the event loop with 1.
void ConnectPasswordArea(F_SQLDatabase& window, const Settings& settings,
                         dbport::Provider& database, std::function<void()> endProgram = {});

} // namespace sqllumo::ui
