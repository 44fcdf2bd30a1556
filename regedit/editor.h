// The register editor screen: a live table of up to 20 registers of the
// addressed device, polled continuously, with values typed in hexadecimal,
// unsigned or signed decimal and written singly or as block writes.
//
// The screen is rows 1 to 3 for the title and module-ID line, the heading at
// row 4 and one register per row from row 5. Polling and the key step
// alternate: a poll run repeats poll cycles until a key arrives, then the key
// step edits the cursor's field and acts on the key that ended it.
#pragma once
#include "regedit/settings.h"

#include <cstdint>

struct CommHandle;

enum EditMode { EDIT_REGISTER = 1, EDIT_HEX = 2, EDIT_UNSIGNED = 3, EDIT_SIGNED = 4 };

enum {
    FIRST_ROW = 5, // screen row of the first register
    READ_BUFFER_SIZE = 128,
    BIT_ENTRIES = 32,     // bit references spread from the first two words
    STATUS_OFFSET = 8192, // Sy/Max status words sit this far above their registers
    MODULE_ID_REGISTER = 8188,
    MODULE_NAME_REGISTER = 8177,
    SPINNER_STEP_MS = 100, // the spinner moves at most ten times a second
};

struct EditorState {
    const RunSettings *settings;
    CommHandle *h;
    RegisterView view;
    unsigned maxRegister;

    long start;                        // register on the first row (signed while it is moved)
    int readCount;                     // values read each cycle
    int shownRows;                     // rows on screen, at most 20
    uint16_t values[READ_BUFFER_SIZE]; // as read this cycle (bit views: one entry per reference)

    int cursorRow; // screen row
    int editMode;  // EditMode
    bool blockFlag;
    int blockStartRow, blockEndRow;
    uint16_t blockBuffer[SHOWN_ROWS_MAX];

    int16_t minimum[65536]; // per register number, signed
    int16_t maximum[65536];

    volatile bool abortFlag;    // a key arrived during a transfer
    int spinner;                // 0..3
    int64_t spinnerShownMs = 0; // when the spinner last moved (monotonic ms); 0: not yet
    bool idleRan;               // the idle routine ran during this cycle
    char lastError[84];         // the error text on row 24
};

// Sets up the state for a run (min/max reset, cursor on row 5, HEX column).
void EditorInit(EditorState *e, const RunSettings *s, CommHandle *h);
// The whole editor: poll runs and key steps until Escape.
void RunEditor(EditorState *e);

// The idle routine the library calls during every reply wait: notes a key,
// ends the wait on Escape, turns the spinner (SpinnerTurn).
int EditorIdle(void *arg);
// Shows the next spinner character when SPINNER_STEP_MS have passed since the
// last one shown (or none was); at nowMs, monotonic milliseconds, when given.
void SpinnerTurn(EditorState *e, int64_t nowMs = -1);
// Reads the module identification and shows it on row 3 (nothing under -S).
void ModuleIdRefresh(EditorState *e);
// One poll cycle: read, draw, show errors, read status words.
void PollCycle(EditorState *e);
// One key step: edit the cursor's field, write, move. Returns the ending key.
int KeyStep(EditorState *e);

// Key step pieces without a link or a screen, kept apart for tests.
// Acts on the key that ended the field (moves, pages, columns, Z).
void MoveByKey(EditorState *e, int key);
// Block rows follow the cursor while no block is being built; start is brought into range.
void SettleAfterKey(EditorState *e);
// Lowers the minimum and raises the maximum of register reg with value v.
void MinMaxUpdate(EditorState *e, unsigned reg, uint16_t v);
void MinMaxReset(EditorState *e);
// Spreads the first two words of a bit read into one 0/1 entry per reference.
void SpreadBits(const uint16_t *words, uint16_t *entries);
// The register number on a screen row.
long RowRegister(const EditorState *e, int row);

// Drawing (editor_draw.cpp).
void DrawHeading(const EditorState *e);
void DrawRow(const EditorState *e, int row);
void DrawErrorRow(const EditorState *e, int row);
void DrawStatus(const EditorState *e, int row, const uint16_t *status);
void ShowSpinner(EditorState *e);
void ShowErrorText(EditorState *e, const char *text);
void ShowModuleId(const char *text);

// Reads and writes by view (editor_io.cpp).
int ViewRead(EditorState *e, long start, int count, uint16_t *values);
int ViewWrite(EditorState *e, long start, int count, const uint16_t *values);
