// Placeholder until the setup record, its file, the dialogue and the link are built.
#include "configurator/setup.h"

#include "screen/screen.h"

#include <cstring>

SetupRecord g_setup;
CommHandle *g_handle;
int AbortFlag;
static std::string start_directory = ".";

void SetupDefaults(SetupRecord *s) {
    memset(s, 0, sizeof *s);
    s->connectionType = CONN_SYMAX;
    s->baud = 13;
    s->dataBits = 1;
    s->parity = 1;
    s->rackAddress = 1;
}
void SetupEncode(const SetupRecord *, uint8_t out[SETUP_RECORD_BYTES]) {
    memset(out, 0, SETUP_RECORD_BYTES);
}
int SetupDecode(const uint8_t *, SetupRecord *) { return 0; }
void SetStartDirectory(const std::string &dir) { start_directory = dir; }
std::string StartPath(const char *name) { return start_directory + "/" + name; }
void LoadSetupAtStart(void) { SetupDefaults(&g_setup); }
bool EstablishLink(void) { return g_handle != nullptr; }
CommHandle *SetupDialog(void) {
    ShowError("Setup is not available yet");
    return g_handle;
}
int ConfigIdle(void *) { return 1; }
int ModuleRegisterNumber(int offset) {
    return g_setup.connectedVia == VIA_PLC_PORT ? offset + g_setup.rackAddress : offset + 1;
}
