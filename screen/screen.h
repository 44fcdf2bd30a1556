// Console screen and input library.
//
// The library owns the terminal from ScreenInit to ScreenExit. It keeps a
// shadow of the screen (25 rows by 132 columns, a character plane in code
// page 437 and an attribute plane of codes 0 to 7) and writes to the terminal
// only the cells that differ from the shadow. Keys come in as one-byte codes:
// ordinary characters as themselves, cursor and function keys as KEY_*.
// Positions are 1-based rows (1..25) and columns (1..132) and are clamped,
// never rejected; CursorMove alone takes 0-based coordinates.
#pragma once

#include <cstdint>

// Shadow geometry: rows, columns of the shadow, columns shown on the terminal.
constexpr int SCREEN_ROWS = 25;
constexpr int SCREEN_COLUMNS = 132;
constexpr int CONSOLE_COLUMNS = 80;

// Attribute code bits, stored in the shadow and given in bits 0 to 2 of flags.
constexpr int AT_REVERSE = 1; // blue on grey
constexpr int AT_HIGH = 2;    // yellow
constexpr int AT_ALERT = 4;   // light red
constexpr int AT_MASK = 7;    // the attribute code inside a flags word

// PutField options (bits 0 to 2 of the same word are the attribute code).
constexpr int PF_CENTER = 0x20;  // centre the text in the field (wins over PF_RIGHT)
constexpr int PF_RIGHT = 0x40;   // right-align the text in the field
constexpr int PF_UPPER = 0x1000; // fold a to z into capitals
constexpr int PF_BELL = 0x2000;  // sound the bell first

// EditField options (bits 0 to 2 are the attribute code of the field).
constexpr int EF_CENTER = 0x20;       // with EF_PAD: centre the result
constexpr int EF_RIGHT = 0x40;        // with EF_PAD: right-align the result
constexpr int EF_PAD = 0x80;          // pad the result with spaces to the full width
constexpr int EF_HIDDEN = 0x100;      // show the fill character in place of the text
constexpr int EF_INITIAL = 0x200;     // edit the buffer's current text
constexpr int EF_AUTOEXIT = 0x400;    // a data key that fills the field becomes ENTER
constexpr int EF_REPLACE = 0x800;     // cursor at the start; a first data key erases the text
constexpr int EF_UPPER = 0x1000;      // fold typed a to z into capitals
constexpr int EF_BELL = 0x2000;       // sound the bell when the field opens
constexpr int EF_QUIET = 0x4000;      // no bell for refused or meaningless keys
constexpr int EF_OVERWRITE = 0x10000; // overwrite mode for this field only

// Key codes: plain keys as themselves, the library's own codes above 0x7F.
constexpr int KEY_NONE = 0;         // no key (polling found nothing)
constexpr int KEY_LINEFEED = 10;    // Ctrl-J, the line feed
constexpr int KEY_ENTER = 13;       // ENTER
constexpr int KEY_ESC = 27;         // ESC
constexpr int KEY_DELCHAR = 0x7F;   // extended key whose second code is 8
constexpr int KEY_DOWN = 0x8A;      // Down arrow
constexpr int KEY_UP = 0x8B;        // Up arrow
constexpr int KEY_LEFT = 0x8C;      // Left arrow
constexpr int KEY_RIGHT = 0x8D;     // Right arrow
constexpr int KEY_F1 = 0x91;        // F1 (F2..F9 follow in order)
constexpr int KEY_F2 = 0x92;        // F2
constexpr int KEY_F3 = 0x93;        // F3
constexpr int KEY_F4 = 0x94;        // F4
constexpr int KEY_F5 = 0x95;        // F5
constexpr int KEY_F6 = 0x96;        // F6
constexpr int KEY_F7 = 0x97;        // F7
constexpr int KEY_F8 = 0x98;        // F8
constexpr int KEY_F9 = 0x99;        // F9
constexpr int KEY_F10 = 0x9A;       // F10
constexpr int KEY_HOME = 0xB1;      // Home, Ctrl-A
constexpr int KEY_END = 0xB2;       // End, Ctrl-G
constexpr int KEY_CLEAR = 0xB3;     // Ctrl-Y: clear the field
constexpr int KEY_DELEOL = 0xB4;    // Ctrl-D: delete to the end of the text
constexpr int KEY_DELBOL = 0xB5;    // Ctrl-U: delete to the start of the field
constexpr int KEY_WORDRIGHT = 0xB6; // Ctrl-F: next word
constexpr int KEY_WORDLEFT = 0xB7;  // Ctrl-R: previous word
constexpr int KEY_DEL = 0xB8;       // Delete, Ctrl-V
constexpr int KEY_BKSP = 0xB9;      // Backspace
constexpr int KEY_PGDN = 0xBA;      // Page Down
constexpr int KEY_PGUP = 0xBB;      // Page Up
constexpr int KEY_INSERT = 0xFF;    // Insert: toggles InsertMode, never returned

// Capacity of the type-ahead ring; codes pushed beyond it are held in order
// (up to TYPEAHEAD_HOLD_MAX of them) and fed in as the ring empties.
constexpr int TYPEAHEAD_SIZE = 100;
constexpr int TYPEAHEAD_HOLD_MAX = 1 << 20;

// One static screen text of a table ended by a record whose text is null.
struct ScreenText {
    int16_t row;
    int16_t column;
    const char *text;
    int32_t flags;
};

// A pop-up window: saves the rectangle it covers; made by OpenWindow.
struct ScreenWindow;
// A registered hot key; made by AddHotKey, owned by the library.
struct HotKey;
// A hot-key callback: the key and the cursor offset in a field (-1 outside one).
typedef void (*HotKeyCallback)(int key, int position);

// A set of byte values (256 bits), built from a mask such as "0-9A-F".
struct CharSet {
    uint16_t words[16];
};

// 1 while typed characters are inserted, 0 in overwrite mode; Insert toggles it.
extern int InsertMode;
// When set, the next PutField, GetKey or EditField first repaints the terminal.
extern int RepaintPending;

// Takes over the terminal as the 80 by 25 blue screen and resets the library.
void ScreenInit(void);
// Gives the terminal back exactly as it was; frees open windows and hot keys.
void ScreenExit(void);

// Writes text into a field of width cells (0: the text's length), padded with fill.
void PutField(const char *text, int row, int column, int width, int fill, int flags);
// PutField of a printf-style text (cut to 135 characters).
void PutFieldF(const char *format, int row, int column, int width, int fill, int flags, ...)
    __attribute__((format(printf, 1, 7)));
// Blanks from the position to the end of the screen.
void ClearToEndOfScreen(int row, int column);
// Blanks from the position to the end of its row.
void ClearToEndOfLine(int row, int column);
// Draws each text of a table (PutField, width 0, fill space) up to a null text.
void DrawTextTable(const ScreenText *table);
// Clears from the first text's row down, then draws the table.
void DrawScreen(const ScreenText *table);
// Redraws the whole terminal from the shadow.
void RepaintScreen(void);

// Opens a framed window over the 1-based inclusive rectangle; none when out of memory.
ScreenWindow *OpenWindow(int top, int left, int bottom, int right, const char *title);
// Closes the window the variable holds (none is fine), restoring what it covered.
void CloseWindow(ScreenWindow **handle);
// Draws a double-line frame (framed not 0) or blanks the rectangle.
void DrawBox(int top, int left, int bottom, int right, int framed);

// Shows the terminal cursor.
void CursorShow(void);
// Hides the terminal cursor.
void CursorHide(void);
// Places the cursor at a 0-based row and column and remembers it.
void CursorMove(int row, int column);
// Sounds the bell.
void Bell(void);

// Reads one key from the terminal; mode < 0 waits, mode >= 0 polls (0: none).
int ReadKey(int mode);
// Next key from the type-ahead ring or the terminal, after hot keys; 0 when polling finds none.
int GetKey(int mode);
// GetKey that waits.
int WaitKey(void);
// Appends each byte of the text to the type-ahead ring.
void PushKeys(const char *text);
// True when a key is waiting in the type-ahead or at the console.
int KeyWaiting(void);
// Registers a hot key; returns the entry, or none when out of memory.
HotKey *AddHotKey(int key, HotKeyCallback callback);
// Removes the newest entry for the key, if any.
void RemoveHotKey(int key);

// Builds a set from a mask: characters stand for themselves, a-b for a range.
void BuildCharSet(const char *mask, CharSet *set);
// Tests whether the byte value c is in the set.
int InCharSet(int c, const CharSet *set);
// Edits the text in buffer (at least width + 1 bytes) in place; returns the ending key.
int EditField(char *buffer, int row, int column, int width, int fill, const char *allowed,
              const char *terminators, int flags);

// Shows a message in the error window; 1 for F10, 0 for ESC or line feed.
int ShowError(const char *message);
// ShowError of a printf-style text (cut to 135 characters).
int ShowErrorF(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Asks a yes/no question; 1 for yes (Y, S, ENTER), 0 for no (N, ESC).
int Confirm(const char *question);

// The character (code page 437) in the shadow at a 1-based position, clamped.
int ScreenCharAt(int row, int column);
// The attribute code in the shadow at a 1-based position, clamped.
int ScreenAttrAt(int row, int column);

// Menus, the file picker and typed forms.
#include "screen/menu.h"
