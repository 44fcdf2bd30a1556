// "Erase VRX740 file": deletes every record of one module file with the
// delete-all command, lifting the module's write protection for the time of
// the erase when the user allows it.
#include "configurator/actions.h"
#include "configurator/dialogs.h"
#include "configurator/module_access.h"
#include "configurator/setup.h"
#include "screen/screen.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char EraseTerminators[] = {(char)KEY_DOWN,  (char)KEY_UP,  (char)KEY_F1,
                                 (char)KEY_ENTER, (char)KEY_ESC, 0};

// The file and window chosen on the form, as indexes.
struct EraseChoice {
    int file;
    int window;
};

// Shows the chosen file and window one-based in their fields.
void DrawChoice(const EraseChoice &c) {
    PutFieldF("%d", 11, 39, 3, '_', 0, c.file + 1);
    PutFieldF("%d", 12, 39, 2, '_', 0, c.window + 1);
}

// Runs the two fields; true to go on (F1, or past the second field), false
// for ESC.
bool RunEraseForm(EraseChoice *c) {
    PutField("VRX740 File Number", 11, 20, 0, ' ', 0);
    PutField("Window to use", 12, 25, 0, ' ', 0);
    c->file = SelectFileIndex(1);
    c->window = SelectWindowIndex(c->file, 1);
    int field = 0;
    for (;;) {
        DrawChoice(*c);
        char text[12];
        snprintf(text, sizeof text, "%d", field == 0 ? c->file + 1 : c->window + 1);
        int key = EditField(text, 11 + field, 39, field == 0 ? 3 : 2, '_', "0-9", EraseTerminators,
                            EF_INITIAL | EF_REPLACE);
        if (key == KEY_ESC)
            return false;
        // The window is checked again against whatever file is now chosen.
        if (field == 0)
            c->file = SelectFileIndex(atoi(text));
        c->window = SelectWindowIndex(c->file, field == 1 ? atoi(text) : c->window + 1);
        DrawChoice(*c);
        if (key == KEY_F1)
            return true;
        if (key == KEY_UP) {
            field = 0;
        } else if (++field > 1) {
            return true;
        }
    }
}

// Shows why the delete-all did not complete.
void ShowDeleteFailure(HandshakeResult hs) {
    if (ActionEscaped()) {
        ShowError("DELETE ALL ABORTED");
        return;
    }
    if (hs == HS_NO_RESET)
        ShowError("Delete All completion status won't reset.");
    else if (hs == HS_NO_COMPLETE)
        ShowError("No Delete All completion status.");
    else if (hs == HS_REFUSED)
        ShowError("Delete All refused by the module.");
    else
        ShowActionReason();
}

// Sets the write protect bit again after an erase that lifted it. It starts
// afresh, since whatever ended the erase must not stop the protection coming
// back, and writes only over a lock value that was read.
void ProtectAgain(void) {
    ActionBegin();
    uint16_t lock;
    if (!ReadModuleRegister(OFFSET_LOCK, &lock) ||
        !WriteModuleRegister(OFFSET_LOCK, (uint16_t)(lock | LOCK_WRITE_PROTECT)))
        ShowError("COULD NOT ACCESS LOCK REGISTER");
}

// How the part after the confirmation ended.
enum EraseOutcome { ERASED, ABORTED, FAILED };

// Lifts write protection when needed and allowed, then deletes; *unprotected
// tells whether protection was (or may have been) lifted.
EraseOutcome DeleteAll(const ModuleWindow &w, bool *unprotected) {
    *unprotected = false;
    if (g_setup.connectedVia == VIA_FRONT_PANEL) {
        uint16_t lock;
        if (!ReadModuleRegister(OFFSET_LOCK, &lock)) {
            ShowErrorF("Can't read lock register. %s", ActionReason());
            return FAILED;
        }
        if (lock & LOCK_WRITE_PROTECT) {
            if (!Confirm("Module write protected. Unprotect it?"))
                return ABORTED;
            // Set before the write: a write whose answer was lost may have
            // reached the module all the same.
            *unprotected = true;
            if (!WriteModuleRegister(OFFSET_LOCK, (uint16_t)(lock & ~LOCK_WRITE_PROTECT))) {
                ShowActionReason();
                return FAILED;
            }
        }
    }
    PassBegin(w);
    HandshakeResult hs = DeleteAllHandshake(w);
    PassEnd();
    if (hs == HS_OK)
        return ERASED;
    ShowDeleteFailure(hs);
    return FAILED;
}

} // namespace

void EraseModuleFile(void) {
    if (!BeginWindowAccess())
        return;
    ScreenWindow *win = OpenWindow(10, 18, 14, 63, "ERASE VRX740 FILE");
    EraseChoice c;
    if (!RunEraseForm(&c)) {
        EndWindowAccess();
        CloseWindow(&win);
        ShowError("DELETE ALL ABORTED");
        return;
    }
    // A file without windows offers none to erase through (FileWindow says so).
    ModuleWindow w;
    if (!FileWindow(c.file, c.window, &w) || !Confirm("Proceed to delete all records?")) {
        CloseWindow(&win);
        EndWindowAccess();
        return;
    }
    bool unprotected;
    EraseOutcome outcome = DeleteAll(w, &unprotected);
    if (outcome == ABORTED) {
        EndWindowAccess();
        CloseWindow(&win);
        ShowError("DELETE ALL ABORTED");
        return;
    }
    // Asked whatever happened to the delete: protection is never lost unasked.
    if (unprotected && Confirm("Write protect module?"))
        ProtectAgain();
    CloseWindow(&win);
    if (outcome == ERASED)
        ShowSuccessF("FILE %d ERASED", c.file + 1);
    EndWindowAccess();
}
