// What the simulators' mains share: numbers from the command line, and the
// stop signals taken through a descriptor.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sys/signalfd.h>

// Reads a whole decimal number from lo to hi into *v; false (and *v as it
// was) for anything else.
inline bool number_arg(const char *text, long lo, long hi, long *v) {
    char *end = nullptr;
    errno = 0;
    long x = strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != 0 || x < lo || x > hi)
        return false;
    *v = x;
    return true;
}

// Blocks SIGTERM, SIGINT and SIGHUP (threads started later inherit the mask),
// ignores SIGPIPE, and gives the descriptor the stop signals arrive through;
// -1 (errno set) when there is none.
inline int stop_signal_fd(void) {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGHUP);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return signalfd(-1, &mask, SFD_CLOEXEC);
}
