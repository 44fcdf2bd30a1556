// Run settings defaults and the view they select.
#include "regedit/settings.h"

#include <cstring>

void SettingsDefaults(RunSettings *s) {
    memset(s, 0, sizeof *s);
    s->start = 1;
    s->count = 20;
    s->tcpPort = TCP_PORT_MODBUS;
    s->sylinkParameter = SYLINK_PARAMETER_DEFAULT;
    s->maxRegister = SYMAX_MAX_REGISTER;
    s->script.intervalMs = 1000;
}

RegisterView SettingsView(const RunSettings *s) {
    if (s->view0X)
        return VIEW_0X;
    if (s->view1X)
        return VIEW_1X;
    if (s->view3X)
        return VIEW_3X;
    if (s->view6X)
        return VIEW_6X;
    return VIEW_4X;
}

unsigned LowestStart(const RunSettings *s) {
    return SettingsView(s) == VIEW_6X ? 0 : 1;
}
