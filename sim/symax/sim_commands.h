// Text commands to the simulated device, one line each, answered with one
// line: "OK ..." or "ERR <reason>". Registers are numbered from 1.
//
//   get N [COUNT]            4X registers (8193 up are the status words)
//   set N V...               4X registers from N on
//   get3 N [COUNT]           3X input registers
//   set3 N V...
//   get6 FILE REC [COUNT]    6X extended memory, files 1-10, records 0-9999
//   set6 FILE REC V...
//   fault drop|nak|noack|noreply|badcheck [N]   the next N request frames (or replies)
//   fault status CODE [N]    answer the next N requests with error status CODE
//   fault delay MS           delay the next reply only
//   fault silent on|off      ignore everything / serve again
//   fault clear              no faults
//   delay MS                 delay every reply
//   stats                    counters of the link
//   route                    route characters of the last request, in hex
// Values are decimal or 0x hexadecimal.
#pragma once
#include "sim/symax/symax_slave.h"

#include <string>

namespace symaxsim {

// Runs one command line on the device; the answer line without newline.
std::string SlaveCommand(Slave *s, const std::string &line);

} // namespace symaxsim
