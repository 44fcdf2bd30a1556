// Private state and helpers shared by the files of the screen library.
#pragma once

#include "screen/screen.h"

constexpr int SHADOW_CELLS = SCREEN_ROWS * SCREEN_COLUMNS;
constexpr int NORMAL_COLOUR = 0x17; // grey on blue: attribute code 0 and every cleared cell

// The one screen of the program.
struct ScreenState {
    unsigned char chars[SHADOW_CELLS]; // character plane (code page 437)
    unsigned char attrs[SHADOW_CELLS]; // attribute codes 0 to 7
    int cursor_row, cursor_column;     // remembered cursor, 0-based
    int cursor_visible;                // CursorVisible
    int colour;                        // console colour last set
    int active;                        // between ScreenInit and ScreenExit
    int hold;                          // nesting of operations that flush at their end
    ScreenWindow *first_window, *last_window;
};

extern ScreenState screen;

// A 1-based row or column clamped to the shadow and made 0-based.
int ClipRow(int row);
int ClipColumn(int column);
// The console colour of an attribute code.
int AttrColour(int code);
// Sets and remembers the console colour of an attribute code; of code 0.
void SetAttr(int code);
void SetNormalAttr(void);
// Writes characters at the remembered cursor and advances it.
void ConsoleWrite(const char *chars, int count);
// Blanks the console from the remembered cursor to the end of the screen.
void ConsoleClear(void);
// Output of nested operations is sent once, when the outermost one ends.
void OutputHold(void);
void OutputRelease(void);

// The next code of the type-ahead ring, or -1 when it is empty.
int TypeAheadTake(void);
// Empties the type-ahead ring.
void TypeAheadClear(void);
// The oldest hot-key entry for a key that is not running, or none.
HotKey *HotKeyFind(int key);
// Runs an entry's callback with the entry marked active.
void HotKeyRun(HotKey *h, int key, int position);
// Frees every hot-key entry.
void HotKeysFree(void);
// Shows the open line-input field again after the terminal was repainted.
void EditFieldRedraw(void);
// Frees every open window record without drawing.
void WindowsFree(void);
