// The shadow screen: take-over and give-back, the field writer that sends only
// what changed, clearing and repainting.
#include "screen/screen_internal.h"

#include "platform/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

ScreenState screen;
int RepaintPending = 0;

namespace {

// Console colours of the attribute codes (6 shows as 4).
const int attr_colours[8] = {0x17, 0x71, 0x1E, 0x7E, 0x1C, 0x7C, 0x1C, 0x6C};

// A gap of unchanged cells up to this long is rewritten with the changes around it.
constexpr int MERGE_GAP = 5;

bool at_exit_registered = false;

void screen_at_exit() {
    if (screen.active) {
        ConsoleFlush();
        ConsoleClose();
        screen.active = 0;
    }
}

// After a resume or a resize the terminal is drawn again from the shadow,
// and a field being edited (which the shadow takes only when it closes) too.
void repaint_terminal() {
    RepaintScreen();
    EditFieldRedraw();
}

bool cell_differs(int cell, unsigned char c, int attr) {
    return screen.chars[cell] != c || screen.attrs[cell] != attr;
}

} // namespace

int ClipRow(int row) {
    if (row > SCREEN_ROWS)
        row = SCREEN_ROWS;
    row -= 1;
    return row < 0 ? 0 : row;
}

int ClipColumn(int column) {
    if (column > SCREEN_COLUMNS)
        column = SCREEN_COLUMNS;
    column -= 1;
    return column < 0 ? 0 : column;
}

int AttrColour(int code) {
    return attr_colours[code & AT_MASK];
}

void SetAttr(int code) {
    screen.colour = AttrColour(code);
    ConsoleColour(screen.colour);
}

void SetNormalAttr(void) {
    screen.colour = NORMAL_COLOUR;
    ConsoleColour(NORMAL_COLOUR);
}

void ConsoleWrite(const char *chars, int count) {
    if (count <= 0)
        return;
    ConsoleWriteChars(chars, count);
    screen.cursor_column += count;
    if (screen.cursor_column >= CONSOLE_COLUMNS) {
        screen.cursor_column = 0;
        screen.cursor_row += 1;
    }
}

void ConsoleClear(void) {
    int row = screen.cursor_row, column = screen.cursor_column;
    // the console is 80 columns wide: a cursor beyond them clears from the next row
    bool moved = column >= CONSOLE_COLUMNS;
    if (moved) {
        row += 1;
        column = 0;
        if (row >= SCREEN_ROWS)
            return;
        ConsoleMove(row, column);
    }
    if (screen.colour != NORMAL_COLOUR)
        ConsoleColour(NORMAL_COLOUR);
    ConsoleClearCells(SCREEN_ROWS * CONSOLE_COLUMNS);
    if (screen.colour != NORMAL_COLOUR)
        ConsoleColour(screen.colour);
    if (moved)
        ConsoleMove(screen.cursor_row, screen.cursor_column);
}

void OutputHold(void) {
    screen.hold++;
}

void OutputRelease(void) {
    if (--screen.hold <= 0) {
        screen.hold = 0;
        ConsoleFlush();
    }
}

void ScreenInit(void) {
    if (ConsoleOpen() != 0)
        std::exit(1); // the console has said why
    WindowsFree();
    HotKeysFree();
    screen.active = 1;
    screen.hold = 0;
    screen.cursor_row = screen.cursor_column = 0;
    screen.colour = NORMAL_COLOUR;
    ConsoleColour(NORMAL_COLOUR);
    CursorHide();
    CursorMove(0, 0);
    ConsoleClear();
    std::memset(screen.chars, ' ', sizeof screen.chars);
    std::memset(screen.attrs, 0, sizeof screen.attrs);
    InsertMode = 1;
    RepaintPending = 0;
    ConsoleSetRepaintHook(repaint_terminal);
    if (!at_exit_registered) {
        at_exit_registered = true;
        std::atexit(screen_at_exit);
    }
    ConsoleFlush();
}

void ScreenExit(void) {
    if (screen.active) {
        ConsoleFlush();
        ConsoleClose();
        screen.active = 0;
    }
    WindowsFree();
    HotKeysFree();
    TypeAheadClear();
    ConsoleDiscardKeys();
    ConsoleSetRepaintHook(nullptr);
}

void PutField(const char *text, int row, int column, int width, int fill, int flags) {
    OutputHold();
    if (RepaintPending)
        RepaintScreen();
    int r = ClipRow(row), c = ClipColumn(column);
    char field[SCREEN_COLUMNS + 1];
    int length = text ? (int)strnlen(text, SCREEN_COLUMNS) : 0;
    std::memcpy(field, text ? text : "", (size_t)length);
    if (flags & PF_BELL)
        Bell();
    if (flags & PF_UPPER)
        for (int i = 0; i < length; i++)
            if (field[i] >= 'a' && field[i] <= 'z')
                field[i] = (char)(field[i] - 'a' + 'A');
    if (width > SCREEN_COLUMNS)
        width = SCREEN_COLUMNS;
    if (width <= 0) {
        width = length;
    } else if (length > width) {
        length = width;
    } else if (flags & (PF_CENTER | PF_RIGHT)) {
        int gap = width - length;
        if (flags & PF_CENTER)
            gap /= 2;
        std::memmove(field + gap, field, (size_t)length);
        std::memset(field, fill, (size_t)gap);
        std::memset(field + gap + length, fill, (size_t)(width - gap - length));
    } else {
        std::memset(field + length, fill, (size_t)(width - length));
    }
    if (c + width > SCREEN_COLUMNS)
        width = SCREEN_COLUMNS - c;

    int attr = flags & AT_MASK;
    int base = r * SCREEN_COLUMNS + c;
    bool colour_set = false;
    // The pending run starts at the field's first cell, so a short unchanged
    // lead rides along with the first change; it is written once the gap
    // after its changes proves long, or at the field's end.
    int run = 0, run_end = 0, i = 0;
    auto write_run = [&]() {
        if (run_end <= run)
            return;
        CursorMove(r, c + run);
        if (!colour_set) {
            SetAttr(attr);
            colour_set = true;
        }
        ConsoleWrite(field + run, run_end - run);
    };
    for (;;) {
        int gap = i;
        while (i < width && !cell_differs(base + i, (unsigned char)field[i], attr))
            i++;
        if (i >= width)
            break;
        if (i - gap > MERGE_GAP) {
            write_run();
            run = i;
        }
        while (i < width && cell_differs(base + i, (unsigned char)field[i], attr)) {
            screen.chars[base + i] = (unsigned char)field[i];
            screen.attrs[base + i] = (unsigned char)attr;
            i++;
        }
        run_end = i;
    }
    write_run();
    if (colour_set)
        SetNormalAttr();
    OutputRelease();
}

void PutFieldF(const char *format, int row, int column, int width, int fill, int flags, ...) {
    char text[136];
    va_list args;
    va_start(args, flags);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    PutField(text, row, column, width, fill, flags);
}

void ClearToEndOfScreen(int row, int column) {
    OutputHold();
    int r = ClipRow(row), c = ClipColumn(column);
    CursorMove(r, c);
    ConsoleClear();
    int cell = r * SCREEN_COLUMNS + c;
    std::memset(screen.chars + cell, ' ', (size_t)(SHADOW_CELLS - cell));
    std::memset(screen.attrs + cell, 0, (size_t)(SHADOW_CELLS - cell));
    OutputRelease();
}

void ClearToEndOfLine(int row, int column) {
    OutputHold();
    int r = ClipRow(row), c = ClipColumn(column);
    CursorMove(r, c);
    if (c < CONSOLE_COLUMNS) {
        if (screen.colour != NORMAL_COLOUR)
            SetNormalAttr();
        ConsoleClearCells(CONSOLE_COLUMNS - c);
    }
    int cell = r * SCREEN_COLUMNS + c;
    std::memset(screen.chars + cell, ' ', (size_t)(SCREEN_COLUMNS - c));
    std::memset(screen.attrs + cell, 0, (size_t)(SCREEN_COLUMNS - c));
    OutputRelease();
}

void DrawTextTable(const ScreenText *table) {
    OutputHold();
    for (; table && table->text; table++)
        PutField(table->text, table->row, table->column, 0, ' ', table->flags);
    OutputRelease();
}

void DrawScreen(const ScreenText *table) {
    if (!table)
        return;
    OutputHold();
    ClearToEndOfScreen(table->row, 1);
    DrawTextTable(table);
    OutputRelease();
}

void RepaintScreen(void) {
    OutputHold();
    RepaintPending = 0;
    CursorMove(0, 0);
    SetNormalAttr(); // the terminal may have lost its colour (a stop, a reset)
    ConsoleClear();
    CursorHide();
    for (int cell = 0; cell < SHADOW_CELLS;) {
        if (screen.chars[cell] == ' ' && screen.attrs[cell] == 0) {
            cell++;
            continue;
        }
        int row = cell / SCREEN_COLUMNS;
        int row_end = (row + 1) * SCREEN_COLUMNS;
        CursorMove(row, cell % SCREEN_COLUMNS);
        int attr = screen.attrs[cell];
        SetAttr(attr);
        int start = cell;
        while (cell < row_end && !(screen.chars[cell] == ' ' && screen.attrs[cell] == 0)) {
            if (screen.attrs[cell] != attr) {
                ConsoleWrite((const char *)screen.chars + start, cell - start);
                SetNormalAttr();
                attr = screen.attrs[cell];
                SetAttr(attr);
                start = cell;
            }
            cell++;
        }
        ConsoleWrite((const char *)screen.chars + start, cell - start);
        SetNormalAttr();
    }
    OutputRelease();
}

void CursorShow(void) {
    ConsoleCursor(1);
    screen.cursor_visible = 1;
}

void CursorHide(void) {
    ConsoleCursor(0);
    screen.cursor_visible = 0;
}

void CursorMove(int row, int column) {
    screen.cursor_row = row;
    screen.cursor_column = column;
    ConsoleMove(row, column);
}

void Bell(void) {
    ConsoleBell();
}

int ScreenCharAt(int row, int column) {
    return screen.chars[ClipRow(row) * SCREEN_COLUMNS + ClipColumn(column)];
}

int ScreenAttrAt(int row, int column) {
    return screen.attrs[ClipRow(row) * SCREEN_COLUMNS + ClipColumn(column)];
}
