// The load and unload form, and the progress and abort pieces both share.
#include "configurator/transfer_form.h"

#include "configurator/config_model.h"
#include "configurator/dialogs.h"
#include "configurator/module_access.h"
#include "screen/picker.h"
#include "screen/screen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Exit keys of the numeric fields.
const char FORM_TERMINATORS[] = {(char)KEY_DOWN,  (char)KEY_UP,  (char)KEY_F1,
                                 (char)KEY_ENTER, (char)KEY_ESC, '\0'};

const int FORM_COLUMN = 39;
const int NAME_WIDTH = 13;

// The base name last picked, offered first next time.
char lastPicked[16];

// The file's parameters, or a zeroed record when the index is outside the table.
const FileParams &ChosenFile(int fileIndex) {
    static const FileParams none = {};
    if (fileIndex < 0 || fileIndex >= MAX_FILES)
        return none;
    return g_config.files[fileIndex];
}

// The number shown in a field: one-based for file and window.
long FieldValue(const TransferChoice *c, int field) {
    switch (field) {
    case 1:
        return c->fileIndex + 1;
    case 3:
        return c->windowIndex + 1;
    case 4:
        return c->start;
    default:
        return c->count;
    }
}

int FieldWidth(int field) {
    return field == 1 ? 3 : field == 3 ? 2 : 5;
}

void DrawField(const TransferChoice *c, int field) {
    if (field == 2)
        PutField(c->name, 8, FORM_COLUMN, NAME_WIDTH, ' ', 0);
    else
        PutFieldF("%ld", 5 + field + 1, FORM_COLUMN, FieldWidth(field), ' ', 0,
                  FieldValue(c, field));
}

void DrawForm(const TransferChoice *c, int last) {
    static const ScreenText labels[] = {
        {7, 20, "VRX740 File Number", 0}, {8, 22, "MS/DOS File Name", 0},
        {9, 25, "Window to use", 0},      {10, 23, "Starting record", 0},
        {11, 26, "Record count", 0},
    };
    for (int f = 1; f <= last; f++) {
        PutField(labels[f - 1].text, labels[f - 1].row, labels[f - 1].column, 0, ' ', 0);
        DrawField(c, f);
    }
}

// Edits a numeric field; stores the number typed and returns the exit key.
int EditNumber(TransferChoice *c, int field) {
    char text[24];
    snprintf(text, sizeof text, "%ld", FieldValue(c, field));
    int key = EditField(text, 5 + field + 1, FORM_COLUMN, FieldWidth(field), '_', "0-9",
                        FORM_TERMINATORS, EF_INITIAL | EF_REPLACE | AT_HIGH);
    if (key == KEY_ESC)
        return key;
    long n = strtol(text, nullptr, 10);
    switch (field) {
    case 1: {
        int index = SelectFileIndex((int)n);
        c->fileIndex = index < 0 ? 0 : index;
        break;
    }
    case 3:
        c->windowIndex = (int)n - 1;
        break;
    case 4:
        c->start = n;
        break;
    default:
        c->count = n;
        break;
    }
    ClampTransferChoice(c);
    return key;
}

// Runs the picker of field 2; 0 when it was left without a name, else the
// key the form goes on with (dir: the way the form came into the field).
int PickName(TransferFormKind kind, int type, TransferChoice *c, int dir) {
    char pattern[8];
    snprintf(pattern, sizeof pattern, "*%s", DataFileExtension(type));
    for (;;) {
        if (!PickFile(8, FORM_COLUMN, pattern, lastPicked, 1))
            return 0;
        snprintf(c->name, sizeof c->name, "%.9s%s", lastPicked, DataFileExtension(type));
        DrawField(c, 2);
        if (kind != TF_UNLOAD) {
            if (!FileExists(c->name))
                ShowErrorF("Can't open file \"%s\" for read.", c->name);
            return dir < 0 ? KEY_UP : KEY_ENTER;
        }
        if (!FileExists(c->name) || Confirm("File exists, overwrite it?"))
            return KEY_ENTER;
    }
}

} // namespace

// Clamps the window, starting record and count to the chosen file.
void ClampTransferChoice(TransferChoice *c) {
    int window = SelectWindowIndex(c->fileIndex, c->windowIndex + 1);
    c->windowIndex = window < 0 ? 0 : window;
    const FileParams &f = ChosenFile(c->fileIndex);
    if (c->start > f.maxRecord)
        c->start = f.maxRecord;
    if (c->start < 0)
        c->start = 0;
    if (c->count > (long)f.maxRecord + 1)
        c->count = (long)f.maxRecord + 1;
    if (c->count > 65536)
        c->count = 65536;
    if (c->count < 0)
        c->count = 0;
}

// Fills a fresh choice: file 1, window 1, record 0 and the default count;
// field 1 checks them against the file chosen there.
void FirstTransferChoice(TransferChoice *c) {
    *c = {};
    c->fileIndex = SelectFileIndex(1) < 0 ? 0 : SelectFileIndex(1);
    c->count = 65536;
}

// Opens the form's window and runs its fields.
bool RunTransferForm(TransferFormKind kind, int type, const char *title, TransferChoice *c,
                     ScreenWindow **window) {
    *window = OpenWindow(6, 18, 13, 63, title);
    int last = kind == TF_LOAD_KEYED ? 3 : 5;
    DrawForm(c, last);
    int field = 1, dir = 1;
    for (;;) {
        int key;
        if (field == 2) {
            key = PickName(kind, type, c, dir);
            if (key == 0)
                return false;
        } else {
            key = EditNumber(c, field);
            for (int f = 3; f <= last; f++)
                DrawField(c, f);
            DrawField(c, field);
        }
        switch (key) {
        case KEY_ESC:
            return false;
        case KEY_F1:
            return true;
        case KEY_UP:
            dir = -1;
            if (field > 1)
                field--;
            break;
        case KEY_ENTER:
        case KEY_DOWN:
            dir = 1;
            if (++field > last)
                return true;
            break;
        default:
            break;
        }
    }
}

// Shows the progress count at row 12, column 20.
void ShowTransferCount(long records) {
    PutFieldF("%5ld", 12, 20, 5, ' ', 0, records);
}

// Ends a transfer that never started.
void AbortTransfer(ScreenWindow **window) {
    EndWindowAccess();
    CloseWindow(window);
    ShowError("TRANSFER ABORTED");
}

// Ends a transfer declined at the confirmation.
void DeclineTransfer(ScreenWindow **window) {
    CloseWindow(window);
    ShowSuccessF("%d RECORDS TRANSFERRED", 0);
    EndWindowAccess();
}

// Ends a transfer that ran, with its outcome.
void EndTransfer(ScreenWindow **window, long records, const char *why) {
    bool idle = PassEnd();
    if (ActionEscaped()) {
        EndWindowAccess();
        CloseWindow(window);
        ShowError("TRANSFER ABORTED");
        return;
    }
    // A window that could not be put back to idle is said, unless the
    // failure that ended the pass has been said already.
    if (!idle && !why && ActionFailed())
        why = ActionReason();
    if (why)
        ShowError(why);
    CloseWindow(window);
    ShowSuccessF("%ld RECORDS TRANSFERRED", records);
    EndWindowAccess();
}
