// Module register access, the state of the running menu action, and the
// window command handshakes.
#include "configurator/module_access.h"

#include "comm/comm.h"
#include "configurator/fetch_send.h"
#include "configurator/setup.h"
#include "screen/screen.h"

#include <cstdio>
#include <cstring>

uint16_t RecordBuffer[RECORD_BUFFER_WORDS];
MenuAction g_action;

// The action record under its short name.
static MenuAction &action = g_action;

static const char IDLE_ABORT_TEXT[] = "Application idle abort";

// A new menu action: no failure, no ESC, nothing shown, no window.
void ActionBegin(void) {
    memset(&action, 0, sizeof action);
}

// Whether a register operation of this action failed or ESC ended it.
bool ActionFailed(void) {
    return action.failed;
}

// Whether ESC was typed at the console during this action.
bool ActionEscaped(void) {
    if (action.escaped || !action.transfer)
        return action.escaped;
    // Only the console is read, as the idle routine reads it.
    for (int key; !action.escaped && (key = ReadKey(0)) != KEY_NONE;) {
        if (key == KEY_ESC) {
            action.escaped = true;
        } else {
            char text[2] = {(char)key, 0};
            PushKeys(text);
        }
    }
    return action.escaped;
}

// Marks the action failed; the first reason stays.
void ActionFail(const char *reason) {
    if (action.failed)
        return;
    action.failed = true;
    snprintf(action.reason, sizeof action.reason, "%s", reason ? reason : "");
}

// Why the action failed.
const char *ActionReason(void) {
    return action.reason;
}

// Puts the reason in the error window, once per action.
void ShowActionReason(void) {
    if (!action.failed || action.reasonShown)
        return;
    action.reasonShown = true;
    if (action.reason[0])
        ShowError(action.reason);
}

// True when the action may still use the link; opens the link when none is
// open yet. A link that cannot be opened has already said so.
static bool LinkReady(void) {
    // ESC typed while a reply was already on its way ends the action at the
    // next transfer, as one that ended the wait itself does.
    if (action.escaped && !action.failed)
        ActionFail(IDLE_ABORT_TEXT);
    if (action.failed)
        return false;
    if (g_handle)
        return true;
    if (EstablishLink() && g_handle)
        return true;
    ActionFail("Unable to establish link.");
    action.reasonShown = true;
    action.linkDown = true;
    return false;
}

// A transfer on the link failed: the action ends with the link's own words.
static void LinkFailed(int moved, int wanted) {
    if (moved > 0 && moved < wanted) {
        action.linkDown = true;
        ActionFail("Short reply from the module");
        return;
    }
    const char *text = CommErrorText(g_handle);
    // After ESC the link is sound; any other failure is the link's.
    if (strcmp(text, IDLE_ABORT_TEXT) == 0)
        action.escaped = true;
    else
        action.linkDown = true;
    ActionFail(text);
}

// Reads count registers from offset on, 128 to a transaction.
bool ReadModuleRegisters(int offset, int count, uint16_t *dest) {
    for (int done = 0; done < count; done += MODULE_CHUNK) {
        if (!LinkReady())
            return false;
        int n = count - done < MODULE_CHUNK ? count - done : MODULE_CHUNK;
        int got = Read4X(g_handle, ModuleRegisterNumber(offset + done), n, dest + done);
        if (got != n) {
            LinkFailed(got, n);
            return false;
        }
    }
    return !action.failed;
}

// Writes count registers from offset on, 128 to a transaction.
bool WriteModuleRegisters(int offset, int count, const uint16_t *src) {
    uint16_t chunk[MODULE_CHUNK];
    for (int done = 0; done < count; done += MODULE_CHUNK) {
        if (!LinkReady())
            return false;
        int n = count - done < MODULE_CHUNK ? count - done : MODULE_CHUNK;
        // The library takes a writable array; the caller's stays untouched.
        memcpy(chunk, src + done, sizeof(uint16_t) * (size_t)n);
        int put = Write4X(g_handle, ModuleRegisterNumber(offset + done), n, chunk);
        if (put != n) {
            LinkFailed(put, n);
            return false;
        }
    }
    return !action.failed;
}

// Reads one register.
bool ReadModuleRegister(int offset, uint16_t *value) {
    return ReadModuleRegisters(offset, 1, value);
}

// One register's value, 0 when the read failed.
uint16_t ReadModuleValue(int offset) {
    uint16_t v = 0;
    return ReadModuleRegister(offset, &v) ? v : 0;
}

// Writes one register.
bool WriteModuleRegister(int offset, uint16_t value) {
    return WriteModuleRegisters(offset, 1, &value);
}

// Reads the window's status until the masked bits are set (or clear), at most limit times.
bool PollStatus(const ModuleWindow &w, uint16_t mask, bool wantSet, int limit, uint16_t *last) {
    uint16_t status = 0;
    bool reached = false;
    for (int i = 0; i < limit && !reached; i++) {
        if (!ReadModuleRegister(w.status, &status))
            break;
        reached = wantSet ? (status & mask) != 0 : (status & mask) == 0;
    }
    if (last)
        *last = status;
    return reached;
}

// True when the window lies within the rack interface and its image fits the
// record buffer; otherwise the action fails before any command goes out.
static bool WindowUsable(const ModuleWindow &w) {
    if (w.recordLength >= 0 && w.recordLength <= MAX_RECORD_LENGTH &&
        w.status >= GLOBAL_REGISTERS &&
        w.status + w.recordLength + WINDOW_OVERHEAD <= RACK_INTERFACE_REGISTERS)
        return true;
    ActionFail("Window outside the rack interface.");
    return false;
}

// Writes a command (0: idle) to the window's command register. A command is
// taken to stand from before its write, since a write whose answer was lost
// may have reached the module all the same.
static bool WriteCommand(const ModuleWindow &w, uint16_t code) {
    if (code != 0)
        action.commandStanding = true;
    if (!WriteModuleRegister(WindowCommandOffset(w), code))
        return false;
    if (code == 0)
        action.commandStanding = false;
    return true;
}

// Puts the window's command register back to idle.
bool WindowIdle(const ModuleWindow &w) {
    return WindowUsable(w) && WriteCommand(w, 0);
}

// Starts a pass through a window.
void PassBegin(const ModuleWindow &w) {
    PassEnd();
    action.transfer = true;
    action.windowInUse = true;
    action.window = w;
    action.commandStanding = false;
}

// Ends the pass with the window's command register at 0.
bool PassEnd(void) {
    if (!action.windowInUse)
        return true;
    action.windowInUse = false;
    const ModuleWindow w = action.window;
    if (!action.commandStanding)
        return true;
    if (!action.failed && !action.escaped)
        return WindowIdle(w);
    if (!action.escaped || action.linkDown || !g_handle)
        return false;
    // ESC has ended the action: this one write still goes out past it, and
    // a second ESC, noted afresh, ends its wait.
    bool escaped = action.escaped;
    action.escaped = false;
    uint16_t zero = 0;
    bool idle = Write4X(g_handle, ModuleRegisterNumber(WindowCommandOffset(w)), 1, &zero) == 1;
    action.escaped = action.escaped || escaped;
    if (idle)
        action.commandStanding = false;
    return idle;
}

// A poll that did not get there: the link's fault, or the module's (result).
static HandshakeResult PollMissed(HandshakeResult result) {
    return ActionFailed() ? HS_FAILED : result;
}

// Reads one record through the window: by number first, then the next one.
HandshakeResult ReadRecordHandshake(const ModuleWindow &w, bool first, uint16_t number,
                                    int pollLimit, uint16_t *found) {
    uint16_t status;
    if (!WindowUsable(w))
        return HS_FAILED;
    if (!WindowIdle(w))
        return HS_FAILED;
    if (!PollStatus(w, ST_READ_DONE, false, POLL_LIMIT, &status))
        return PollMissed(HS_NO_RESET);
    if (first) {
        if (!WriteModuleRegister(WindowNumberOffset(w), number) ||
            !WriteCommand(w, CMD_READ_RECORD))
            return HS_FAILED;
    } else if (!WriteCommand(w, CMD_READ_NEXT)) {
        return HS_FAILED;
    }
    if (!PollStatus(w, ST_READ_DONE, true, pollLimit, &status))
        return PollMissed(HS_NO_COMPLETE);
    if (!(status & ST_FOUND))
        return HS_NOT_FOUND;
    int length = w.recordLength;
    if (first) {
        if (!ReadModuleRegisters(WindowImageOffset(w), length, RecordBuffer))
            return HS_FAILED;
        if (found)
            *found = number;
        return HS_OK;
    }
    // After a read-next the record number register sits just before the
    // image: one read takes both.
    static uint16_t numberAndImage[1 + RECORD_BUFFER_WORDS];
    if (!ReadModuleRegisters(WindowNumberOffset(w), length + 1, numberAndImage))
        return HS_FAILED;
    memcpy(RecordBuffer, numberAndImage + 1, sizeof(uint16_t) * (size_t)length);
    if (found)
        *found = numberAndImage[0];
    return HS_OK;
}

// Writes the image in RecordBuffer, then the record number: the image in
// chunks from the first image register on, so that a module reading its
// registers as they come sees them in the order of the protocol.
static bool WriteImageAndNumber(const ModuleWindow &w, uint16_t number) {
    return WriteModuleRegisters(WindowImageOffset(w), w.recordLength, RecordBuffer) &&
           WriteModuleRegister(WindowNumberOffset(w), number);
}

// Writes the record in RecordBuffer through the window, keyed or at a number.
HandshakeResult LoadWriteHandshake(const ModuleWindow &w, bool keyed, uint16_t number) {
    uint16_t status;
    if (!WindowUsable(w))
        return HS_FAILED;
    if (!WindowIdle(w))
        return HS_FAILED;
    if (!PollStatus(w, ST_WRITE_DONE, false, POLL_LIMIT, &status))
        return PollMissed(HS_NO_RESET);
    if (keyed) {
        if (!WriteModuleRegisters(WindowImageOffset(w), w.recordLength, RecordBuffer) ||
            !WriteCommand(w, CMD_WRITE_RECORD))
            return HS_FAILED;
    } else if (!WriteImageAndNumber(w, number) || !WriteCommand(w, CMD_WRITE_AT_NUMBER)) {
        return HS_FAILED;
    }
    if (!PollStatus(w, ST_WRITE_DONE, true, POLL_LIMIT, &status))
        return PollMissed(HS_NO_COMPLETE);
    return (status & ST_REFUSED) ? HS_REFUSED : HS_OK;
}

// Writes the record in RecordBuffer at its number, as a restore does.
HandshakeResult RestoreWriteHandshake(const ModuleWindow &w, uint16_t number) {
    uint16_t status;
    if (!WindowUsable(w))
        return HS_FAILED;
    if (!WindowIdle(w))
        return HS_FAILED;
    if (!PollStatus(w, ST_WRITE_RECORD_DONE, false, POLL_LIMIT, &status))
        return PollMissed(HS_NO_RESET);
    if (!WriteImageAndNumber(w, number) || !WriteCommand(w, CMD_WRITE_RECORD))
        return HS_FAILED;
    bool done = PollStatus(w, ST_WRITE_RECORD_DONE, true, POLL_LIMIT_LONG, &status);
    if (!done && ActionFailed())
        return HS_FAILED;
    // Every record leaves the command register at 0, whatever its outcome.
    if (!WindowIdle(w))
        return HS_FAILED;
    if (!done)
        return HS_NO_COMPLETE;
    return (status & ST_REFUSED) ? HS_REFUSED : HS_OK;
}

// Deletes every record of the window's file.
HandshakeResult DeleteAllHandshake(const ModuleWindow &w) {
    uint16_t status;
    if (!WindowUsable(w))
        return HS_FAILED;
    if (!WindowIdle(w))
        return HS_FAILED;
    if (!PollStatus(w, ST_DELETE_DONE, false, POLL_LIMIT, &status))
        return PollMissed(HS_NO_RESET);
    if (!WriteCommand(w, CMD_DELETE_ALL))
        return HS_FAILED;
    bool done = PollStatus(w, ST_DELETE_DONE, true, POLL_LIMIT, &status);
    if (!done && ActionFailed())
        return HS_FAILED;
    // The command register goes back to idle whether or not the bit came.
    if (!WindowIdle(w))
        return HS_FAILED;
    if (!done)
        return HS_NO_COMPLETE;
    return (status & ST_REFUSED) ? HS_REFUSED : HS_OK;
}

// The file index of a typed file number, within the configured files.
int SelectFileIndex(int typedNumber) {
    int count = (int)g_config.fileCount;
    int index = typedNumber - 1;
    if (index >= count)
        index = count - 1;
    // No files, or a number below 1: the first file.
    return index < 0 ? 0 : index;
}

// The window index of a typed window number, within the file's windows.
int SelectWindowIndex(int fileIndex, int typedNumber) {
    int windows = 0;
    if (fileIndex >= 0 && fileIndex < (int)g_config.fileCount && fileIndex < MAX_FILES)
        windows = g_config.files[fileIndex].windowCount;
    if (windows > MAX_WINDOWS)
        windows = MAX_WINDOWS;
    int index = typedNumber - 1;
    if (index >= windows)
        index = windows - 1;
    return index < 0 ? 0 : index;
}

// The window of a file from the PC image, or false with the reason shown.
bool FileWindow(int fileIndex, int windowIndex, ModuleWindow *w) {
    if (fileIndex < 0 || fileIndex >= (int)g_config.fileCount || fileIndex >= MAX_FILES) {
        ShowErrorF("File %d is not configured.", fileIndex + 1);
        return false;
    }
    const FileParams &f = g_config.files[fileIndex];
    if (f.windowCount == 0) {
        ShowErrorF("File %d has no windows.", fileIndex + 1);
        return false;
    }
    if (windowIndex < 0 || windowIndex >= f.windowCount || windowIndex >= MAX_WINDOWS) {
        ShowErrorF("File %d has no window %d.", fileIndex + 1, windowIndex + 1);
        return false;
    }
    int status = f.windowOffset[windowIndex];
    // Commands go only to a window that lies wholly in the rack interface.
    if (f.recordLength > MAX_RECORD_LENGTH || status < GLOBAL_REGISTERS ||
        status + f.recordLength + WINDOW_OVERHEAD > RACK_INTERFACE_REGISTERS) {
        ShowErrorF("Window %d of file %d lies outside the rack interface.", windowIndex + 1,
                   fileIndex + 1);
        return false;
    }
    w->status = status;
    w->recordLength = f.recordLength;
    return true;
}

// Parks the PC image and fetches the module's own for window access.
bool BeginWindowAccess(void) {
    SaveSpareImage();
    if (FetchConfig())
        return true;
    RestoreSpareImage();
    return false;
}

// Puts the parked PC image back.
void EndWindowAccess(void) {
    RestoreSpareImage();
}
