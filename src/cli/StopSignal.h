#pragma once
// Ctrl+C and SIGTERM as the console's way of asking a running import to stop: the handler only
// records the signal; the import reads the record where it lets pending events through.

namespace sqllumo::cli {

// The exit status of a function stopped by a signal, as a shell reports one ended by SIGINT.
inline constexpr int kStoppedExitStatus = 130;

// From now on SIGINT and SIGTERM are recorded instead of ending the process; a second one ends
// it as the signal's default would.
void InstallStopSignals();
// True once SIGINT or SIGTERM arrived after InstallStopSignals.
bool StopSignalReceived();

} // namespace sqllumo::cli
