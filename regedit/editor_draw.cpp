// Drawing of the register table: heading, help lines, rows, status words,
// the spinner, the error text and the module-ID line.
#include "regedit/editor.h"
#include "screen/screen.h"

#include <cstdio>

static const int HelpRows[] = {6, 8, 9, 10, 11, 12, 13, 14, 16};
static const char *const HelpLines[] = {
    "   Sy/Max Register Viewer",
    "Up and Down arrows to select register,",
    "Page Up and Page Down to change by 10,",
    "Left and Right arrows to select mode,",
    "0..9, A..F to enter new value,",
    "Up/Down Arrow to build block write,",
    "Enter to update without moving,",
    "F10 to acknowledge error,",
    "Escape to exit.",
};

static bool InBlock(const EditorState *e, int row) {
    return row >= e->blockStartRow && row <= e->blockEndRow;
}

static int High(bool on) {
    return on ? AT_HIGH : 0;
}

void DrawHeading(const EditorState *e) {
    const RunSettings *s = e->settings;
    const char *heading = s->suppressPolling
                              ? "REGSTR  HEX   UNSIGN  SIGNED       %c      MIN       MAX   "
                              : "REGSTR  HEX   UNSIGN  SIGNED  STAT %c      MIN       MAX   ";
    char text[96];
    // Without -K the heading ends where the %c stands.
    snprintf(text, sizeof text, heading, s->minMax ? ' ' : '\0');
    PutField(text, 4, 1, 0, ' ', AT_REVERSE);
    if (s->minMax)
        return;
    for (size_t i = 0; i < sizeof HelpRows / sizeof HelpRows[0]; i++)
        PutField(HelpLines[i], HelpRows[i], 40, 0, ' ', 0);
}

static void DrawRegisterNumber(const EditorState *e, int row) {
    long reg = RowRegister(e, row);
    int flags = High(row == e->cursorRow && e->editMode == EDIT_REGISTER);
    if (e->settings->hexNumbers)
        PutFieldF(" %04lX ", row, 1, 8, ' ', flags, reg);
    else
        PutFieldF("%6ld", row, 1, 8, ' ', flags, reg);
}

void DrawRow(const EditorState *e, int row) {
    uint16_t v = e->values[row - FIRST_ROW];
    bool block = InBlock(e, row);
    DrawRegisterNumber(e, row);
    PutFieldF("%04X", row, 9, 6, ' ', High(block && e->editMode == EDIT_HEX), v);
    PutFieldF("%6u  ", row, 15, 8, ' ', High(block && e->editMode == EDIT_UNSIGNED), v);
    PutFieldF("%6d", row, 23, 8, ' ', High(block && e->editMode == EDIT_SIGNED), (int16_t)v);
    if (e->settings->minMax) {
        uint16_t reg = (uint16_t)RowRegister(e, row);
        PutFieldF("%6d", row, 40, 8, ' ', 0, e->minimum[reg]);
        PutFieldF("%6d", row, 50, 8, ' ', 0, e->maximum[reg]);
    }
}

void DrawErrorRow(const EditorState *e, int row) {
    DrawRegisterNumber(e, row);
    PutField("ERROR", row, 9, 20, ' ', High(InBlock(e, row)));
}

void DrawStatus(const EditorState *e, int row, const uint16_t *status) {
    if (status)
        PutFieldF("%04X", row, 31, 4, ' ', 0, status[row - FIRST_ROW]);
    else
        PutField("----", row, 31, 4, ' ', High(row == e->cursorRow));
}

void ShowSpinner(EditorState *e) {
    static const char Spinner[] = "-\\|/";
    e->spinner = (e->spinner + 1) % 4;
    char text[2] = {Spinner[e->spinner], '\0'};
    PutField(text, 1, 80, 1, ' ', 0);
}

void ShowErrorText(EditorState *e, const char *text) {
    snprintf(e->lastError, sizeof e->lastError, "%s", text);
    if (e->settings->trapErrors)
        ShowError(text); // holds the program until F10, Escape or line feed
    else
        PutField(text, 24, 40, 40, ' ', 0);
}

void ShowModuleId(const char *text) {
    PutField(text, 3, 60, 20, ' ', text[0] ? AT_HIGH : 0); // an empty text blanks the field
}
