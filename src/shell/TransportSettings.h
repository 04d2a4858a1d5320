#pragma once
// The settings Encryption and CAFile, read into the transport security every connection of
// the process follows. Each front end applies them once at its start, the console after its
// options have been taken as the new values.

#include "TransportSecurity.h"

namespace sqllumo {

class Settings;

dbport::TransportSecurity TransportSecurityFromSettings(const Settings& settings);
// Sets the process's transport security from the settings and returns it.
dbport::TransportSecurity ApplyTransportSettings(const Settings& settings);

} // namespace sqllumo
