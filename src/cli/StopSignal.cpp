// The stop signals' handler: it does nothing but store into a sig_atomic_t, which is all a
// handler may safely do; SA_RESETHAND leaves the next signal to its default action.
#include "StopSignal.h"

#include <csignal>

namespace sqllumo::cli {

namespace {
volatile std::sig_atomic_t stopSignal = 0;

void recordStopSignal(int signal)
{
    stopSignal = signal;
}
} // namespace

void InstallStopSignals()
{
    struct sigaction action {};
    action.sa_handler = recordStopSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls: a signal must not turn a network read into a failed statement.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopSignalReceived()
{
    return stopSignal != 0;
}

} // namespace sqllumo::cli
