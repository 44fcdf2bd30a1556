// A simulated Sy/Max slave device serving a pty, on a thread of its own.
//
// SimStart makes the pty pair (and, when asked, a COMn symlink to its slave
// so the communications library can open "COMn:"), puts the master behind a
// paced serial port so that replies keep the line time of the baud rate, and
// serves until SimStop. Tests and the symaxsim program reach the device's
// memory, faults and counters with SimWith or the text commands of
// sim_commands.h, both under the simulator's lock.
#pragma once
#include "sim/symax/symax_slave.h"

#include <functional>
#include <string>

namespace symaxsim {

struct SimOptions {
    std::string link; // symlink to the slave to create, "" for none
    int baud = 9600;
    int bitsPerChar = 11; // start, 8 data, even parity, stop: as the library opens
    bool crc = false;
    int delayMs = 0;
    int drop = -1;      // the device's drop number; -1 answers every route
    bool trace = false; // every read and write, with ms times, on stderr
    RegisterHook hook;  // another model serving the registers, from the first request
};

struct Sim;

// Starts serving; none with *error set when the pty, link or thread fails.
Sim *SimStart(const SimOptions &o, std::string *error);
// The slave's path, "/dev/pts/N".
const char *SimSlavePath(const Sim *sim);
// Runs f with the device locked (memory, faults, counters, link settings).
void SimWith(Sim *sim, const std::function<void(Slave *)> &f);
// Stops the thread, removes the link and closes the pty.
void SimStop(Sim *sim);

} // namespace symaxsim
