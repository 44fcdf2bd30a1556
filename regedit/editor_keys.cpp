// The key step: the cursor's field is edited, values are written singly or as
// a block, and the key that ended the field moves the cursor or the table.
#include "regedit/editor.h"
#include "screen/screen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Terminators of every field: Z, Enter, Escape, Down, Up, Left, Right, Page
// Down, Page Up, Home.
static const char Terminators[] = {'Z',        13,         27,         (char)0x8A,
                                   (char)0x8B, (char)0x8C, (char)0x8D, (char)0xBA,
                                   (char)0xBB, (char)0xB1, 0};

static int LastRow(const EditorState *e) {
    return FIRST_ROW + e->shownRows - 1;
}
static long Lowest(const EditorState *e) {
    return e->view == VIEW_6X ? 0 : 1;
}
static uint16_t Shown(const EditorState *e, int row) {
    return e->values[row - FIRST_ROW];
}

static bool IsHexDigit(int key) {
    return (key >= '0' && key <= '9') || (key >= 'A' && key <= 'F') || (key >= 'a' && key <= 'f');
}

// A key that starts a value change: a hexadecimal digit in a value column,
// and in the SIGNED column also the minus sign that starts a negative value.
static bool StartsValueChange(const EditorState *e, int key) {
    if (e->editMode == EDIT_REGISTER)
        return false;
    return IsHexDigit(key) || (e->editMode == EDIT_SIGNED && key == '-');
}

// Edits the field of the cursor row's column and stores its result.
static int EditCursorField(EditorState *e) {
    char text[16];
    const char *allowed;
    int column, flags = EF_INITIAL | EF_REPLACE | EF_UPPER | AT_HIGH;
    uint16_t v = Shown(e, e->cursorRow);
    bool hexNumbers = e->settings->hexNumbers;
    switch (e->editMode) {
    case EDIT_REGISTER:
        column = 1;
        snprintf(text, sizeof text, hexNumbers ? "%04lX" : "%ld", RowRegister(e, e->cursorRow));
        allowed = hexNumbers ? "0-9A-F" : "0-9";
        if (!hexNumbers)
            flags &= ~EF_UPPER;
        break;
    case EDIT_HEX:
        column = 9;
        snprintf(text, sizeof text, "%04X", v);
        allowed = "0-9A-F";
        break;
    case EDIT_UNSIGNED:
        column = 15;
        snprintf(text, sizeof text, "%u", v);
        allowed = "0-9";
        break;
    default:
        column = 23;
        snprintf(text, sizeof text, "%d", (int16_t)v);
        allowed = "-0-9";
        break;
    }
    int key = EditField(text, e->cursorRow, column, 6, ' ', allowed, Terminators, flags);
    if (key == KEY_ESC)
        return key; // the field was emptied and nothing is kept
    uint16_t *slot = &e->blockBuffer[e->cursorRow - e->blockStartRow];
    switch (e->editMode) {
    case EDIT_REGISTER: {
        long start = strtol(text, nullptr, hexNumbers ? 16 : 10) - (e->cursorRow - FIRST_ROW);
        if (start < Lowest(e))
            start = Lowest(e);
        if (start > (long)e->maxRegister)
            start = e->maxRegister;
        e->start = start;
        break;
    }
    case EDIT_HEX:
        *slot = (uint16_t)strtoul(text, nullptr, 16);
        break;
    case EDIT_UNSIGNED:
        *slot = (uint16_t)strtoul(text, nullptr, 10);
        break;
    default:
        *slot = (uint16_t)strtol(text, nullptr, 10);
        break;
    }
    return key;
}

static void WriteBlock(EditorState *e) {
    int count = e->blockEndRow - e->blockStartRow + 1;
    ViewWrite(e, RowRegister(e, e->blockStartRow), count, e->blockBuffer);
}

static void WriteCursorRow(EditorState *e) {
    ViewWrite(e, RowRegister(e, e->cursorRow), 1, &e->blockBuffer[e->cursorRow - e->blockStartRow]);
}

static bool BlockView(const EditorState *e) {
    return e->view == VIEW_4X || e->view == VIEW_0X;
}

static void MoveDown(EditorState *e) {
    int last = LastRow(e);
    int row = e->cursorRow + 1;
    if (e->blockFlag) {
        if (row > last)
            return;
        e->cursorRow = row;
        if (row > e->blockEndRow) {
            e->blockEndRow = row;
            e->blockBuffer[row - e->blockStartRow] = Shown(e, row);
        }
        return;
    }
    e->cursorRow = row;
    if (row > last) {
        int by = e->shownRows > 3 ? 3 : 1;
        e->cursorRow -= by;
        e->start += by;
    }
}

static void MoveUp(EditorState *e) {
    int row = e->cursorRow - 1;
    if (e->blockFlag) {
        if (row >= FIRST_ROW) {
            e->cursorRow = row;
            if (row < e->blockStartRow) {
                e->blockStartRow = row;
                memmove(&e->blockBuffer[1], &e->blockBuffer[0],
                        (SHOWN_ROWS_MAX - 1) * sizeof e->blockBuffer[0]);
                e->blockBuffer[0] = Shown(e, row);
            }
        }
    } else {
        e->cursorRow = row;
        if (row < FIRST_ROW) {
            int by = e->shownRows > 3 ? 3 : 1;
            e->cursorRow += by;
            e->start -= by;
        }
    }
    if (e->start < Lowest(e)) {
        e->cursorRow = FIRST_ROW;
        e->start = Lowest(e);
    }
}

void MoveByKey(EditorState *e, int key) {
    switch (key) {
    case KEY_PGDN:
        e->start += (e->shownRows + 1) / 2;
        break;
    case KEY_PGUP:
        e->start -= (e->shownRows + 1) / 2;
        break;
    case KEY_DOWN:
        MoveDown(e);
        break;
    case KEY_UP:
        MoveUp(e);
        break;
    case KEY_LEFT:
        if (e->editMode > EDIT_REGISTER)
            e->editMode--;
        break;
    case KEY_RIGHT:
        if (e->editMode < EDIT_SIGNED)
            e->editMode++;
        break;
    case KEY_HOME:
        e->cursorRow = FIRST_ROW;
        e->start = Lowest(e);
        break;
    case 'Z':
    case 'z':
        MinMaxReset(e);
        break;
    default:
        break;
    }
}

void SettleAfterKey(EditorState *e) {
    long highest = (long)e->maxRegister - e->shownRows + 1;
    if (e->start < Lowest(e)) {
        e->start = Lowest(e);
    } else if (e->start > highest) {
        // The cursor stays on its register while the table moves back.
        e->cursorRow += (int)(e->start - highest);
        e->start = highest;
        if (e->cursorRow > LastRow(e))
            e->cursorRow = LastRow(e);
        if (e->cursorRow < FIRST_ROW)
            e->cursorRow = FIRST_ROW;
    }
    // Taken after the range step, which may move the cursor, so that the
    // highlighted row and the written slot are the cursor's own.
    if (!e->blockFlag)
        e->blockStartRow = e->blockEndRow = e->cursorRow;
}

int KeyStep(EditorState *e) {
    e->blockBuffer[e->cursorRow - e->blockStartRow] = Shown(e, e->cursorRow);
    int key = WaitKey();
    char pushed[2] = {(char)key, '\0'};
    PushKeys(pushed);
    bool change = StartsValueChange(e, key);
    int end = EditCursorField(e);
    bool moving = end == KEY_DOWN || end == KEY_UP;
    if (e->blockFlag) {
        if (!moving && end != KEY_ESC) {
            WriteBlock(e);
            e->blockFlag = false;
        }
    } else if (change) {
        if (moving && e->settings->blockWrites && BlockView(e))
            e->blockFlag = true;
        else if (end != KEY_ESC)
            WriteCursorRow(e);
    }
    // Enter with nothing typed writes the shown value again, also just after
    // it has written a block.
    if (end == KEY_ENTER && !change && !e->blockFlag && e->editMode > EDIT_REGISTER)
        WriteCursorRow(e);
    MoveByKey(e, end);
    SettleAfterKey(e);
    return end;
}
