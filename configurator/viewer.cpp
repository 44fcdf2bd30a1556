// "View module registers": twenty module registers at a time in hexadecimal,
// unsigned, signed and binary with their status words, polled without end,
// and changed one register (down to one bit) at a time.
//
// Polling and the key step alternate: a poll run repeats poll cycles until a
// key waits, then the key step edits the cursor's column or moves. A key is
// noticed either by the idle routine during a reply wait or, when no wait
// runs it (no link, or a link that answers at once), by asking whether one
// waits; so ESC always leaves.
#include "comm/comm.h"
#include "configurator/actions.h"
#include "configurator/setup.h"
#include "screen/screen.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr int FIRST_ROW = 5;
constexpr int LAST_ROW = 24;
constexpr int ROWS = LAST_ROW - FIRST_ROW + 1;
constexpr int HIGHEST_REGISTER = 8192;
constexpr int STATUS_ABOVE = 8192;

enum ViewMode { VM_REGISTER = 1, VM_HEX, VM_UNSIGNED, VM_SIGNED, VM_BINARY };

struct Viewer {
    int start;  // module register on the first row, 1 upward
    int cursor; // screen row
    int mode;   // ViewMode
    int base;   // link register of module register 1
    uint16_t values[ROWS];
};

// The module register on a screen row.
int RowRegister(const Viewer &v, int row) {
    return v.start + row - FIRST_ROW;
}

// Rows showing registers that exist (those past 8192 are left blank).
int ShownRows(const Viewer &v) {
    int n = HIGHEST_REGISTER - v.start + 1;
    return n < ROWS ? (n < 1 ? 1 : n) : ROWS;
}

// The attribute of a column on a row: high for the cursor's column.
int ColumnAttr(const Viewer &v, int row, int mode) {
    return row == v.cursor && v.mode == mode ? AT_HIGH : 0;
}

// The 16 bits from the top, a blank after each group of four.
void BinaryText(uint16_t value, char out[21]) {
    char *p = out;
    for (int bit = 15; bit >= 0; bit--) {
        *p++ = (value >> bit) & 1 ? '1' : '0';
        if (bit % 4 == 0)
            *p++ = ' ';
    }
    *p = '\0';
}

// Each 1 or 0 shifts its bit in; anything else is skipped.
uint16_t BinaryValue(const char *text) {
    uint16_t v = 0;
    for (; *text; text++)
        if (*text == '0' || *text == '1')
            v = (uint16_t)((v << 1) | (*text - '0'));
    return v;
}

void DrawRow(const Viewer &v, int row) {
    uint16_t value = v.values[row - FIRST_ROW];
    char bits[21];
    BinaryText(value, bits);
    PutFieldF("%6d", row, 1, 8, ' ', ColumnAttr(v, row, VM_REGISTER), RowRegister(v, row));
    PutFieldF("%04X", row, 9, 6, ' ', ColumnAttr(v, row, VM_HEX), value);
    PutFieldF("%6u  ", row, 15, 8, ' ', ColumnAttr(v, row, VM_UNSIGNED), value);
    PutFieldF("%6d", row, 23, 8, ' ', ColumnAttr(v, row, VM_SIGNED), (int16_t)value);
    PutField(bits, row, 31, 21, ' ', ColumnAttr(v, row, VM_BINARY));
}

void DrawErrorRow(const Viewer &v, int row) {
    int attr = row == v.cursor ? AT_HIGH : 0;
    // The register numbers are drawn too, so that a move shows while the
    // link is down.
    PutFieldF("%6d", row, 1, 8, ' ', ColumnAttr(v, row, VM_REGISTER), RowRegister(v, row));
    PutField("ERROR", row, 9, 20, ' ', attr);
    PutField("", row, 31, 20, ' ', attr);
    PutField("----", row, 54, 4, ' ', attr);
}

// One poll cycle: values, then status words; rows past the highest register
// are blank. Drawing stops as soon as a key waits.
void PollCycle(Viewer *v) {
    int shown = ShownRows(*v);
    int lastShown = FIRST_ROW + shown - 1;
    for (int row = lastShown + 1; row <= LAST_ROW; row++)
        PutField("", row, 1, 57, ' ', 0);
    int first = v->start - 1 + v->base;
    if (!Read4X(g_handle, first, shown, v->values)) {
        if (KeyWaiting())
            return; // the wait was ended by a key, not by the link
        PutField(CommErrorText(g_handle), 25, 40, 40, ' ', 0);
        for (int row = FIRST_ROW; row <= lastShown && !KeyWaiting(); row++)
            DrawErrorRow(*v, row);
        // A read that fails at once would otherwise spin without a pause.
        if (!KeyWaiting())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return;
    }
    PutField("", 25, 40, 40, ' ', 0);
    for (int row = FIRST_ROW; row <= lastShown; row++) {
        if (KeyWaiting())
            return;
        DrawRow(*v, row);
    }
    if (KeyWaiting())
        return;
    uint16_t status[ROWS];
    bool ok = Read4X(g_handle, first + STATUS_ABOVE, shown, status);
    for (int row = FIRST_ROW; row <= lastShown; row++) {
        int attr = row == v->cursor ? AT_HIGH : 0;
        if (ok)
            PutFieldF("%04X", row, 54, 4, ' ', attr, status[row - FIRST_ROW]);
        else
            PutField("----", row, 54, 4, ' ', attr);
    }
}

// The keys that end each column's field.
// clang-format off
const char RegisterEnds[] = {13, 27, (char)KEY_DOWN, (char)KEY_UP, (char)KEY_LEFT, (char)KEY_RIGHT,
                             (char)KEY_F1, (char)KEY_PGDN, (char)KEY_PGUP, (char)KEY_HOME, 0};
const char ValueEnds[] = {13, 27, (char)KEY_DOWN, (char)KEY_UP, (char)KEY_LEFT, (char)KEY_RIGHT,
                          (char)KEY_PGDN, (char)KEY_PGUP, (char)KEY_HOME, 0};
const char BinaryEnds[] = {13, 27, (char)KEY_DOWN, (char)KEY_UP, (char)KEY_PGDN, (char)KEY_PGUP, 0};
// clang-format on

// Edits the cursor row's column and acts on the result; returns the key
// that ended the field. A field ended with ESC changes nothing.
int EditCursorField(Viewer *v) {
    char text[24];
    uint16_t shown = v->values[v->cursor - FIRST_ROW];
    int key;
    switch (v->mode) {
    case VM_REGISTER:
        snprintf(text, sizeof text, "%d", RowRegister(*v, v->cursor));
        key = EditField(text, v->cursor, 1, 6, ' ', "0-9", RegisterEnds,
                        EF_INITIAL | EF_REPLACE | AT_HIGH);
        break;
    case VM_HEX:
        snprintf(text, sizeof text, "%04X", shown);
        key = EditField(text, v->cursor, 9, 6, ' ', "0-9A-F", ValueEnds,
                        EF_INITIAL | EF_REPLACE | EF_UPPER | AT_HIGH);
        break;
    case VM_UNSIGNED:
        snprintf(text, sizeof text, "%u", shown);
        key = EditField(text, v->cursor, 15, 6, ' ', "0-9", ValueEnds,
                        EF_INITIAL | EF_REPLACE | EF_UPPER | AT_HIGH);
        break;
    case VM_SIGNED:
        snprintf(text, sizeof text, "%d", (int16_t)shown);
        key = EditField(text, v->cursor, 23, 6, ' ', "-0-9", ValueEnds,
                        EF_INITIAL | EF_REPLACE | EF_UPPER | AT_HIGH);
        break;
    default:
        BinaryText(shown, text);
        text[19] = '\0'; // the trailing blank falls outside the field
        key = EditField(text, v->cursor, 31, 19, ' ', " 01", BinaryEnds,
                        EF_INITIAL | EF_OVERWRITE | AT_HIGH);
        break;
    }
    if (key == KEY_ESC)
        return key;
    if (v->mode == VM_REGISTER) {
        long typed = strtol(text, nullptr, 10) - (v->cursor - FIRST_ROW);
        v->start = typed < 1 ? 1 : typed > HIGHEST_REGISTER ? HIGHEST_REGISTER : (int)typed;
        return key;
    }
    uint16_t value;
    if (v->mode == VM_HEX)
        value = (uint16_t)strtoul(text, nullptr, 16);
    else if (v->mode == VM_BINARY)
        value = BinaryValue(text);
    else
        value = (uint16_t)strtol(text, nullptr, 10);
    int reg = RowRegister(*v, v->cursor);
    if (value != shown && reg <= HIGHEST_REGISTER)
        Write4X(g_handle, reg - 1 + v->base, 1, &value); // the next cycle shows what took
    return key;
}

// Acts on the key that ended the field (or the navigation key taken).
void MoveByKey(Viewer *v, int key) {
    switch (key) {
    case KEY_DOWN:
        if (++v->cursor > LAST_ROW) {
            v->cursor -= 3;
            v->start += 3;
        }
        break;
    case KEY_UP:
        if (--v->cursor < FIRST_ROW) {
            v->cursor += 3;
            v->start -= 3;
        }
        if (v->start < 1) {
            v->cursor = FIRST_ROW;
            v->start = 1;
        }
        break;
    case KEY_LEFT:
        if (v->mode > VM_REGISTER)
            v->mode--;
        break;
    case KEY_RIGHT:
        if (v->mode < VM_BINARY)
            v->mode++;
        break;
    case KEY_HOME:
        v->start = 1;
        v->cursor = FIRST_ROW;
        break;
    case KEY_PGDN:
        v->start += 10;
        break;
    case KEY_PGUP:
        v->start = v->start > 10 ? v->start - 10 : 1;
        break;
    default:
        break;
    }
    // The cursor row never passes the highest register.
    if (RowRegister(*v, v->cursor) > HIGHEST_REGISTER)
        v->start = HIGHEST_REGISTER + FIRST_ROW - v->cursor;
}

bool IsNavigationKey(int key) {
    return key == KEY_DOWN || key == KEY_UP || key == KEY_LEFT || key == KEY_RIGHT ||
           key == KEY_PGDN || key == KEY_PGUP;
}

// One key step. In the first four columns the waiting key opens the field
// as its first key (the moving keys end it at once); the binary field takes
// Left and Right itself, so there a moving key is acted on without a field,
// and any other key reaches the field behind Home, so that it starts on the
// first bit. Returns the key acted on.
int KeyStep(Viewer *v) {
    int key;
    if (v->mode != VM_BINARY) {
        key = EditCursorField(v);
    } else {
        key = WaitKey();
        if (!IsNavigationKey(key)) {
            // Every key waiting is taken and put back behind Home in its order.
            std::string keys(1, (char)KEY_HOME);
            keys += (char)key;
            while (KeyWaiting() && keys.size() < 64) {
                int more = GetKey(0);
                if (more != KEY_NONE)
                    keys += (char)more;
            }
            PushKeys(keys.c_str());
            key = EditCursorField(v);
        }
    }
    MoveByKey(v, key);
    return key;
}

const ScreenText HelpTexts[] = {
    {8, 40, "Up and Down arrows to select register,", 0},
    {9, 40, "Page Up and Page Down to change by 10,", 0},
    {10, 40, "Left and Right arrows to select radix,", 0},
    {11, 40, "0..9, A..F to enter new value,", 0},
    {12, 40, "ENTER to update without moving,", 0},
    {13, 40, "F10 to acknowledge error,", 0},
    {15, 40, "When on the BINARY field, use left", 0},
    {16, 40, "and right arrows to select the desired", 0},
    {17, 40, "bit and enter '0' or '1'.", 0},
    {19, 40, "ESC to exit Register Viewer.", 0},
    {21, 40, "Press any key to close help window.", 0},
    {0, 0, nullptr, 0},
};

// F2: the help window, from any key wait while the viewer runs.
void ShowViewerHelp(int, int) {
    ScreenWindow *win = OpenWindow(6, 38, 22, 79, "REGISTER VIEWER HELP");
    DrawTextTable(HelpTexts);
    WaitKey();
    PushKeys("\r"); // only refreshes the screen
    CloseWindow(&win);
}

const ScreenText ViewerTexts[] = {
    {4, 1, "REGSTR  HEX   UNSIGN  SIGNED         BINARY          STAT", AT_REVERSE},
    {6, 62, "  VRX740 Sy/Max", 0},
    {7, 62, " Register Viewer", 0},
    {9, 62, "Press F2 for Help", 0},
    {0, 0, nullptr, 0},
};

} // namespace

void ViewModuleRegisters(void) {
    if (!g_handle)
        EstablishLink();
    ClearToEndOfScreen(3, 1);
    Viewer v = {1, FIRST_ROW, VM_HEX, 1, {}};
    if (g_setup.connectedVia == VIA_PLC_PORT) {
        PutField("VRX740", 3, 1, 0, ' ', AT_REVERSE);
        PutField("Connected via PLC", 10, 62, 0, ' ', 0);
        v.base = g_setup.rackAddress;
    } else {
        PutField("Connected DIRECT", 10, 62, 0, ' ', 0);
    }
    DrawTextTable(ViewerTexts);
    AddHotKey(KEY_F2, ShowViewerHelp);
    for (;;) {
        while (!KeyWaiting())
            PollCycle(&v);
        if (KeyStep(&v) == KEY_ESC)
            break;
    }
    RemoveHotKey(KEY_F2);
    ClearToEndOfScreen(3, 1);
}
