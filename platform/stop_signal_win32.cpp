// The stop request on Windows: Ctrl+C, Ctrl+Break and the console's close,
// log-off and shut-down events set the flag. The handler runs on a thread of
// its own, so the flag is atomic. After a close, log-off or shut-down the
// system ends the process as soon as the handler returns, so the handler
// holds it back a while for the run to finish its line.
#include "platform/stop_signal.h"

#include <atomic>
#include <windows.h>

enum { CLOSE_GRACE_MS = 4000 }; // within the time the system allows a closing console

static std::atomic<bool> stopFlag{false};

static BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        stopFlag = true;
        return TRUE; // handled: the process is not ended at once
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        stopFlag = true;
        Sleep(CLOSE_GRACE_MS);
        return TRUE;
    default:
        return FALSE;
    }
}

bool StopSignalInstall(void) {
    return SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

bool StopRequested(void) {
    return stopFlag.load();
}
