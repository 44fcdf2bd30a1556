// The simulated storage module served as a Sy/Max slave on a pty, on a
// thread of its own: the Sy/Max simulator's link layer with the module model
// answering the register reads and writes.
//
// VrxSimStart makes the pty (and the COMn link when asked) and serves until
// VrxSimStop. Tests and the vrx740sim program reach the module with
// VrxSimWith or the text commands of vrx_commands.h, under the link's lock.
#pragma once
#include "sim/symax/symax_sim.h"
#include "sim/vrx740/module_model.h"

#include <functional>
#include <string>

namespace vrx740 {

struct VrxSimOptions {
    std::string link; // symlink to the pty slave to create, "" for none
    int baud = 9600;  // pacing of the replies
    bool plc = false; // PLC port addressing at rack, else the front panel
    int rack = 1;
    bool trace = false; // every read and write on the line, on stderr
};

struct VrxSim;

// Starts serving an empty module; none with *error set on failure.
VrxSim *VrxSimStart(const VrxSimOptions &o, std::string *error);
// The slave's path, "/dev/pts/N".
const char *VrxSimSlavePath(const VrxSim *sim);
// Runs f with the module and its link locked.
void VrxSimWith(VrxSim *sim, const std::function<void(Module *, symaxsim::Slave *)> &f);
// One text command (vrx_commands.h); the answer line.
std::string VrxSimCommand(VrxSim *sim, const std::string &line);
// Stops serving, removes the link and frees the module.
void VrxSimStop(VrxSim *sim);

} // namespace vrx740
