// The simulated module's lasting state as text: configuration, records, lock
// and baud register. Faults, addressing and window states are not kept.
//
//   VRX740SIM 1
//   lock V
//   baud V
//   files N
//   file L W M K          N lines, in file order
//   record F R v1 .. vL   any number, F from 1, every value 0..65535
//   end
#pragma once
#include "sim/vrx740/module_model.h"

#include <string>

namespace vrx740 {

// The state as text.
std::string StateText(const Module *m);
// Takes a state text into the module; false with *why and the module
// untouched when the text is not a whole, consistent state.
bool StateParse(const std::string &text, Module *m, std::string *why);

} // namespace vrx740
