// Text commands to the simulated module, one line each, answered with one
// line: "OK ..." or "ERR <reason>". Offsets are zero-based module offsets
// (status words at offset + 8192); files are numbered from 1. Values are
// decimal or 0x hexadecimal.
//
//   config                     OK n  L W M K ...   the active configuration
//   preset n L W M K ...       adopt a configuration as activation does
//   records F                  OK r1 r2 ...        record numbers, ascending
//   record F R                 OK v1 v2 ...        a record's image, or ERR none
//   setrec F R v1 v2 ...       store a record (missing values are 0)
//   delrec F R                 remove a record
//   lock [V]                   OK v                show or set the lock register
//   mode                       OK config|active    configuration mode or not
//   get OFFSET [COUNT]         registers as the host would read them (no effects)
//   set OFFSET V...            registers written as the host writes them
//   addressing front | addressing plc RACK
//   fault slow N | stuck BITS | refuse [N] | noconfig | noactivate |
//         failread OFFSET [N] | wrapnext | clear,
//         and the link faults drop|nak|noack|noreply|badcheck [N], silent on|off,
//         status CODE [N], delay MS
//   stats                      OK <counters of the module and the link>
//   save FILE | load FILE      the state file (module_state.h)
#pragma once
#include "sim/symax/symax_slave.h"
#include "sim/vrx740/module_model.h"

#include <string>

namespace vrx740 {

// Runs one command line on the module and its link; the answer without newline.
std::string VrxCommand(Module *m, symaxsim::Slave *s, const std::string &line);

// Writes the state file (through a temporary file renamed over it).
bool StateSave(const Module *m, const std::string &path, std::string *why);
// Reads a state file into the module; false with *why (module untouched).
// *missing tells that the file does not exist.
bool StateLoad(Module *m, const std::string &path, std::string *why, bool *missing);

} // namespace vrx740
