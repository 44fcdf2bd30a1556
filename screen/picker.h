// The file picker: a name field over a paged listing of the current
// directory's matching files, its subdirectories and the drive substitutes
// (the root and the home directory).
#pragma once

#include <cstdint>

// Kind byte of a file entry.
constexpr int FE_FILE = 0;      // a file, its name without the extension
constexpr int FE_DIRECTORY = 1; // a subdirectory ("..": the parent)
constexpr int FE_DRIVE = 128;   // a drive substitute: FE_DRIVE + 'A' + its number

// One entry of the listing: the first 9 characters of the name in capitals
// (zero-filled when shorter, not always zero-ended) and its kind.
struct FileEntry {
    char name[9];
    uint8_t kind;
};

// Listing layout: rows 14 to 25, eight columns of 12 entries, 96 to a page.
constexpr int PICK_FIRST_ROW = 14;
constexpr int PICK_ROWS = 12;
constexpr int PICK_COLUMNS = 8;
constexpr int PICK_PAGE = PICK_ROWS * PICK_COLUMNS;

// The picker's cursor: the page shown, and the column and row of the
// highlighted cell on it (0-based).
struct PickCursor {
    int page;
    int column;
    int row;
};

// The listing index of the cell under the cursor.
int PickCursorEntry(PickCursor cursor);
// A cursor past the last of count entries pulled back onto it, on its page;
// any other cursor, or any over an empty listing, as it is.
PickCursor PickCursorSettle(PickCursor cursor, int count);
// Where a key takes the cursor over a listing of count entries: Up and Down
// move within the column, Left and Right across columns and on to the page
// before or after at the same cell, Home and End to the page's first and last
// cell, Page Down and Page Up to the next page's first cell and the page
// before's last (at the ends: the first or last cell). Other keys leave it.
// The cell reached may lie past the last entry: PickCursorSettle follows.
PickCursor PickCursorMove(PickCursor cursor, int key, int count);

// True when the whole name matches the whole pattern. Pattern elements: "="
// any one character, "#" a digit, "?" a letter, "*" any run, "[list]" one
// character of the list's characters and ranges x-y, "(list)" a decimal
// number within one of the list's elements n, n-m or n- (comma-separated);
// anything else matches itself.
int MatchPattern(const char *pattern, const char *name);

// Draws one entry at a 1-based position in attribute code code: a file at
// the column, width 8; a directory or drive between brackets (at column - 1
// and column + 8) with its name (" parent " for "..") highlighted.
void DrawFileEntry(int row, int column, const FileEntry *entry, int code);

// Runs the picker with its name field (width 8) at row, column; lists the
// files whose capitalised full names match pattern, and with dirs also the
// subdirectories and drives, which the user may enter. Returns 1 with the
// chosen or typed base name (capitals, up to 9 characters and a zero byte) in
// result, or 0 for ESC. A name held in result when called is offered first
// unless the listing starts on a file.
int PickFile(int row, int column, const char *pattern, char *result, int dirs);
