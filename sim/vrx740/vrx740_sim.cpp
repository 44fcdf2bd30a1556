// The simulated module on a pty (see vrx740_sim.h).
#include "sim/vrx740/vrx740_sim.h"

#include "sim/vrx740/vrx_commands.h"

namespace vrx740 {

struct VrxSim {
    symaxsim::Sim *sim = nullptr;
    Module module;
};

// The link layer's register hook: called with the link locked.
static int hook_read(void *ctx, unsigned first, unsigned count, uint16_t *values) {
    return ModuleLinkRead(static_cast<Module *>(ctx), first, count, values);
}

static int hook_write(void *ctx, unsigned first, unsigned count, const uint16_t *values) {
    return ModuleLinkWrite(static_cast<Module *>(ctx), first, count, values);
}

VrxSim *VrxSimStart(const VrxSimOptions &o, std::string *error) {
    if (o.plc && (o.rack < 1 || o.rack > MOD_MAX_RACK)) {
        *error = "rack address 1 to 6145 expected";
        return nullptr;
    }
    VrxSim *v = new VrxSim;
    ModuleInit(&v->module);
    v->module.plc = o.plc;
    v->module.rack = o.rack;
    symaxsim::SimOptions so;
    so.link = o.link;
    so.baud = o.baud;
    so.trace = o.trace;
    so.hook.read = hook_read;
    so.hook.write = hook_write;
    so.hook.ctx = &v->module;
    v->sim = symaxsim::SimStart(so, error);
    if (v->sim == nullptr) {
        delete v;
        return nullptr;
    }
    return v;
}

const char *VrxSimSlavePath(const VrxSim *sim) {
    return symaxsim::SimSlavePath(sim->sim);
}

void VrxSimWith(VrxSim *sim, const std::function<void(Module *, symaxsim::Slave *)> &f) {
    symaxsim::SimWith(sim->sim, [&](symaxsim::Slave *s) { f(&sim->module, s); });
}

std::string VrxSimCommand(VrxSim *sim, const std::string &line) {
    std::string answer;
    VrxSimWith(sim, [&](Module *m, symaxsim::Slave *s) { answer = VrxCommand(m, s, line); });
    return answer;
}

void VrxSimStop(VrxSim *sim) {
    if (sim == nullptr)
        return;
    symaxsim::SimStop(sim->sim);
    delete sim;
}

} // namespace vrx740
