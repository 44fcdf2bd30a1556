// Placeholder until module register access, fetch and send are built.
#include "configurator/fetch_send.h"
#include "configurator/module_access.h"
#include "screen/screen.h"

uint16_t RecordBuffer[RECORD_BUFFER_WORDS];
static bool failed;
void ActionBegin(void) { failed = false; }
bool ActionFailed(void) { return failed; }
bool ActionAborted(void) { return false; }
void ActionFail(const char *) { failed = true; }
const char *ActionReason(void) { return "Module access is not available yet"; }
bool ReadModuleRegister(int, uint16_t *) { return false; }
uint16_t ReadModuleValue(int) { return 0; }
bool ReadModuleRegisters(int, int, uint16_t *) { return false; }
bool WriteModuleRegister(int, uint16_t) { return false; }
bool WriteModuleRegisters(int, int, const uint16_t *) { return false; }
bool PollStatus(const ModuleWindow &, uint16_t, bool, int, uint16_t *) { return false; }
HandshakeResult ReadRecordHandshake(const ModuleWindow &, bool, uint16_t, int, uint16_t *) {
    return HS_FAILED;
}
HandshakeResult LoadWriteHandshake(const ModuleWindow &, bool, uint16_t) { return HS_FAILED; }
HandshakeResult RestoreWriteHandshake(const ModuleWindow &, uint16_t) { return HS_FAILED; }
HandshakeResult DeleteAllHandshake(const ModuleWindow &) { return HS_FAILED; }
bool WindowIdle(const ModuleWindow &) { return false; }
int SelectFileIndex(int) { return 0; }
int SelectWindowIndex(int, int) { return 0; }
bool FileWindow(int, int, ModuleWindow *) { return false; }
bool BeginWindowAccess(void) {
    ShowError("Module access is not available yet");
    return false;
}
void EndWindowAccess(void) {}
bool FetchConfig(void) {
    ShowError("Fetch is not available yet");
    return false;
}
bool SendConfig(bool, bool) {
    ShowError("Send is not available yet");
    return false;
}
bool ModifyLockRegister(unsigned, unsigned) {
    ShowError("Lock register access is not available yet");
    return false;
}
