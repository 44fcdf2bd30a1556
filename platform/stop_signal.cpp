// The stop request on POSIX: SIGINT and SIGTERM set the flag. SA_RESTART
// keeps a write that the signal interrupts going, so no line is cut short.
#include "platform/stop_signal.h"

#include <csignal>
#include <cstring>

static volatile sig_atomic_t stopFlag = 0;

static void OnStopSignal(int) {
    stopFlag = 1;
}

bool StopSignalInstall(void) {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

bool StopRequested(void) {
    return stopFlag != 0;
}
