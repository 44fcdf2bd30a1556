// The editor run: poll runs and key steps alternate until Escape.
#include "regedit/editor.h"
#include "screen/screen.h"

#include <cstring>

void EditorInit(EditorState *e, const RunSettings *s, CommHandle *h) {
    e->settings = s;
    e->h = h;
    e->view = SettingsView(s);
    e->maxRegister = s->maxRegister;
    e->start = s->start;
    e->readCount = (int)s->count;
    e->shownRows = e->readCount < SHOWN_ROWS_MAX ? e->readCount : SHOWN_ROWS_MAX;
    memset(e->values, 0, sizeof e->values);
    e->cursorRow = FIRST_ROW;
    e->editMode = EDIT_HEX;
    e->blockFlag = false;
    e->blockStartRow = e->blockEndRow = FIRST_ROW;
    memset(e->blockBuffer, 0, sizeof e->blockBuffer);
    MinMaxReset(e);
    e->abortFlag = false;
    e->spinner = 0;
    e->idleRan = false;
    e->lastError[0] = '\0';
    // A start whose last row would pass the highest register is pulled back
    // before the first read, as every key step does.
    SettleAfterKey(e);
}

void RunEditor(EditorState *e) {
    // The cursor, column and block were set by EditorInit: a start pulled back
    // there left the cursor on the register asked for, not on the first row.
    MinMaxReset(e);
    ClearToEndOfScreen(4, 1);
    DrawHeading(e);
    for (;;) {
        e->abortFlag = false;
        while (!e->abortFlag)
            PollCycle(e);
        if (KeyStep(e) == KEY_ESC)
            break;
    }
    ClearToEndOfScreen(4, 1);
}
