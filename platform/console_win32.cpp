// The Win32 console: a screen buffer of its own, cell rectangles, key records.
//
// Take-over makes a new 80 by 25 screen buffer and makes it the active one,
// so the user's buffer (its contents, cursor and size) is never written to;
// give-back makes the user's buffer active again and puts back the input and
// output modes and the title. The give-back runs from ConsoleClose, at exit,
// from the console's control handler (Ctrl-C, Ctrl-Break, closing the window,
// log-off) and from the last-chance handler of a crash.
//
// Output is kept in a picture of the screen's cells; a flush writes the
// rectangle that changed with one WriteConsoleOutputW, so the characters are
// Unicode (code page 437 mapped) whatever the console's code page is. Keys
// come from ReadConsoleInputW as the key bytes of keyrecord.h.
#include "platform/console.h"
#include "platform/console_term.h"
#include "platform/cp437.h"
#include "platform/keyrecord.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int ROWS = 25;
constexpr int COLUMNS = 80;
constexpr int TITLE_MAX = 1024;
constexpr int PENDING_MAX = 64;

struct Saved {
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE user_screen = INVALID_HANDLE_VALUE; // the buffer active before us
    DWORD input_mode = 0;
    DWORD output_mode = 0;
    bool have_input_mode = false, have_output_mode = false;
    wchar_t title[TITLE_MAX] = {0};
    bool have_title = false;
    CONSOLE_CURSOR_INFO cursor = {25, TRUE};
};

Saved saved;
HANDLE screen = INVALID_HANDLE_VALUE; // our buffer while taken
std::atomic<bool> taken{false};
std::atomic<bool> giving_back{false};
std::atomic<bool> resized{false};
bool handlers_installed = false;
size_t cells_sent = 0;

CHAR_INFO cells[ROWS][COLUMNS];
// the rectangle changed since the last flush (empty when top > bottom)
int dirty_top = ROWS, dirty_bottom = -1, dirty_left = COLUMNS, dirty_right = -1;
int lrow = 0, lcol = 0;
WORD cur_attr = 0x07;
int cursor_vis = 0;
bool cursor_dirty = true;

// key bytes read but not yet given (a key repeated more often than there was room)
uint8_t pending[PENDING_MAX];
int pending_count = 0;

void mark(int row, int left, int right) {
    if (row < dirty_top)
        dirty_top = row;
    if (row > dirty_bottom)
        dirty_bottom = row;
    if (left < dirty_left)
        dirty_left = left;
    if (right > dirty_right)
        dirty_right = right;
}

void mark_all() {
    dirty_top = dirty_left = 0;
    dirty_bottom = ROWS - 1;
    dirty_right = COLUMNS - 1;
}

// Gives the console back; safe from any thread and more than once.
void give_back() {
    if (!taken.load() || giving_back.exchange(true))
        return;
    if (saved.user_screen != INVALID_HANDLE_VALUE) {
        SetConsoleActiveScreenBuffer(saved.user_screen);
        if (saved.have_output_mode)
            SetConsoleMode(saved.user_screen, saved.output_mode);
    }
    if (saved.have_input_mode)
        SetConsoleMode(saved.input, saved.input_mode);
    if (saved.have_title)
        SetConsoleTitleW(saved.title);
    if (screen != INVALID_HANDLE_VALUE)
        CloseHandle(screen);
    screen = INVALID_HANDLE_VALUE;
    taken.store(false);
    giving_back.store(false);
}

BOOL WINAPI on_control(DWORD) {
    give_back();
    return FALSE; // the default handler ends the process as it would have
}

LONG WINAPI on_crash(EXCEPTION_POINTERS *) {
    give_back();
    return EXCEPTION_CONTINUE_SEARCH;
}

void at_exit() {
    give_back();
}

// Closes our handles of the user's console (on the caller's thread only: the
// control handler's thread leaves them to the end of the process).
void forget_user_console() {
    if (saved.input != INVALID_HANDLE_VALUE)
        CloseHandle(saved.input);
    if (saved.user_screen != INVALID_HANDLE_VALUE)
        CloseHandle(saved.user_screen);
    saved.input = saved.user_screen = INVALID_HANDLE_VALUE;
}

void install_handlers() {
    if (handlers_installed)
        return;
    handlers_installed = true;
    std::atexit(at_exit);
    SetConsoleCtrlHandler(on_control, TRUE);
    SetUnhandledExceptionFilter(on_crash);
}

// Makes our buffer 80 by 25 with its window showing all of it; false when the
// console window cannot be that big.
bool size_screen() {
    COORD largest = GetLargestConsoleWindowSize(screen);
    if (largest.X != 0 && (largest.X < COLUMNS || largest.Y < ROWS))
        return false;
    // the window must fit the buffer at every step: shrink it first
    SMALL_RECT tiny = {0, 0, 0, 0};
    SetConsoleWindowInfo(screen, TRUE, &tiny);
    COORD size = {COLUMNS, ROWS};
    SetConsoleScreenBufferSize(screen, size);
    SMALL_RECT window = {0, 0, COLUMNS - 1, ROWS - 1};
    SetConsoleWindowInfo(screen, TRUE, &window);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen, &info))
        return false;
    return info.dwSize.X >= COLUMNS && info.dwSize.Y >= ROWS;
}

int con_open() {
    if (taken.load())
        return 0;
    // the console itself, even when standard input or output is redirected
    saved.input =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    saved.user_screen =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (saved.input == INVALID_HANDLE_VALUE || saved.user_screen == INVALID_HANDLE_VALUE ||
        !GetConsoleScreenBufferInfo(saved.user_screen, &info)) {
        forget_user_console();
        std::fprintf(stderr, "This program needs a console window.\n");
        return -1;
    }
    saved.have_input_mode = GetConsoleMode(saved.input, &saved.input_mode) != 0;
    saved.have_output_mode = GetConsoleMode(saved.user_screen, &saved.output_mode) != 0;
    saved.have_title = GetConsoleTitleW(saved.title, TITLE_MAX) != 0 || GetLastError() == 0;
    GetConsoleCursorInfo(saved.user_screen, &saved.cursor);

    screen =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    if (screen == INVALID_HANDLE_VALUE) {
        forget_user_console();
        std::fprintf(stderr, "The console cannot make a screen buffer.\n");
        return -1;
    }
    if (!size_screen()) {
        CloseHandle(screen);
        screen = INVALID_HANDLE_VALUE;
        forget_user_console();
        std::fprintf(stderr, "This program needs a console of at least 80 columns by 25 rows.\n");
        return -1;
    }
    install_handlers();
    // Ctrl-C and Ctrl-Break stay signals; keys, no echo, no line editing, no
    // quick-edit selection holding the output up, size changes reported
    SetConsoleMode(saved.input,
                   ENABLE_PROCESSED_INPUT | ENABLE_WINDOW_INPUT | ENABLE_EXTENDED_FLAGS);
    SetConsoleMode(screen, ENABLE_PROCESSED_OUTPUT);
    taken.store(true);
    SetConsoleActiveScreenBuffer(screen);

    for (int r = 0; r < ROWS; r++)
        for (int c = 0; c < COLUMNS; c++) {
            cells[r][c].Char.UnicodeChar = L' ';
            cells[r][c].Attributes = 0x07;
        }
    mark_all();
    lrow = lcol = 0;
    cur_attr = 0x07;
    cursor_vis = 0;
    cursor_dirty = true;
    pending_count = 0;
    return 0;
}

void con_close() {
    if (!taken.load())
        return;
    ConsoleFlush();
    give_back();
    forget_user_console();
}

void con_move(int row, int column) {
    lrow = row < 0 ? 0 : (row >= ROWS ? ROWS - 1 : row);
    lcol = column < 0 ? 0 : column;
    cursor_dirty = true;
}

void con_colour(int attr) {
    cur_attr = (WORD)(attr & 0xFF);
}

void con_write(const char *chars, int count) {
    int visible = lcol < COLUMNS ? COLUMNS - lcol : 0;
    if (visible > count)
        visible = count;
    for (int i = 0; i < visible; i++) {
        CHAR_INFO &cell = cells[lrow][lcol + i];
        cell.Char.UnicodeChar = (WCHAR)Cp437ToUnicode((unsigned char)chars[i]);
        cell.Attributes = cur_attr;
    }
    if (visible > 0)
        mark(lrow, lcol, lcol + visible - 1);
    lcol += count;
    cursor_dirty = true;
}

// Blanks count cells from the cursor in the current colour, row by row; the
// cursor stays.
void con_clear(int count) {
    int row = lrow, column = lcol;
    while (count > 0 && row < ROWS && column < COLUMNS) {
        int n = COLUMNS - column < count ? COLUMNS - column : count;
        for (int i = 0; i < n; i++) {
            cells[row][column + i].Char.UnicodeChar = L' ';
            cells[row][column + i].Attributes = cur_attr;
        }
        mark(row, column, column + n - 1);
        count -= COLUMNS - column;
        row++;
        column = 0;
    }
}

void con_cursor(int visible) {
    if (visible != cursor_vis)
        cursor_dirty = true;
    cursor_vis = visible;
}

void con_bell() {
    if (taken.load()) {
        DWORD written = 0;
        WriteConsoleW(screen, L"\a", 1, &written, nullptr);
    }
}

void con_flush() {
    if (!taken.load())
        return;
    if (dirty_top <= dirty_bottom) {
        COORD size = {COLUMNS, ROWS};
        COORD from = {(SHORT)dirty_left, (SHORT)dirty_top};
        SMALL_RECT area = {(SHORT)dirty_left, (SHORT)dirty_top, (SHORT)dirty_right,
                           (SHORT)dirty_bottom};
        WriteConsoleOutputW(screen, &cells[0][0], size, from, &area);
        cells_sent +=
            (size_t)(dirty_bottom - dirty_top + 1) * (size_t)(dirty_right - dirty_left + 1);
        dirty_top = ROWS;
        dirty_bottom = -1;
        dirty_left = COLUMNS;
        dirty_right = -1;
    }
    if (cursor_dirty) {
        bool shown = cursor_vis == 1 && lcol < COLUMNS;
        if (shown) {
            COORD at = {(SHORT)lcol, (SHORT)lrow};
            SetConsoleCursorPosition(screen, at);
        }
        CONSOLE_CURSOR_INFO ci = {saved.cursor.dwSize, shown ? TRUE : FALSE};
        SetConsoleCursorInfo(screen, &ci);
        cursor_dirty = false;
    }
}

int take_pending(unsigned char *buf, int size) {
    int n = pending_count < size ? pending_count : size;
    std::memcpy(buf, pending, (size_t)n);
    std::memmove(pending, pending + n, (size_t)(pending_count - n));
    pending_count -= n;
    return n;
}

// Turns one input record into key bytes (a size change into a repaint request).
void take_record(const INPUT_RECORD &r) {
    if (r.EventType == WINDOW_BUFFER_SIZE_EVENT) {
        resized.store(true);
        return;
    }
    if (r.EventType != KEY_EVENT)
        return;
    const KEY_EVENT_RECORD &k = r.Event.KeyEvent;
    KeyRecord key = {k.bKeyDown ? 1 : 0, k.wVirtualKeyCode, k.uChar.UnicodeChar,
                     (unsigned)k.dwControlKeyState};
    uint8_t bytes[2];
    int n = KeyRecordBytes(&key, bytes);
    for (int rep = 0; n > 0 && rep < (k.wRepeatCount ? k.wRepeatCount : 1); rep++) {
        if (pending_count + n > PENDING_MAX)
            break; // a flood of repeats is cut, not overrun
        std::memcpy(pending + pending_count, bytes, (size_t)n);
        pending_count += n;
    }
}

// Turns the input records waiting into key bytes: a few at a time until one
// gives a key (releases, mouse and focus records give none) or none are left.
void read_records() {
    for (int batch = 0; batch < 16 && pending_count == 0; batch++) {
        INPUT_RECORD records[8];
        DWORD count = 0;
        if (!GetNumberOfConsoleInputEvents(saved.input, &count) || count == 0)
            return;
        if (!ReadConsoleInputW(saved.input, records, count < 8 ? count : 8, &count))
            return;
        for (DWORD i = 0; i < count; i++)
            take_record(records[i]);
    }
}

int con_read_raw(unsigned char *buf, int size, int timeout_ms) {
    if (pending_count == 0 && saved.input == INVALID_HANDLE_VALUE)
        return -1; // keys are read only from a console taken over
    if (pending_count == 0) {
        DWORD wait = timeout_ms < 0 ? INFINITE : (DWORD)timeout_ms;
        DWORD r = WaitForSingleObject(saved.input, wait);
        if (r == WAIT_FAILED)
            return -1;
        if (r == WAIT_OBJECT_0)
            read_records();
    }
    return take_pending(buf, size);
}

const ConsoleOps win32_ops = {
    con_open,   con_close, con_move,  con_colour,   con_write, con_clear,
    con_cursor, con_bell,  con_flush, con_read_raw, 1,
};

} // namespace

const ConsoleOps *ConsoleTerminal(void) {
    return &win32_ops;
}

size_t ConsoleBytesSent(void) {
    return cells_sent;
}

// The Win32 console is always the process's own console.
void ConsoleSetTerminalFds(int, int) {}

bool TerminalTakeRepaintRequest(void) {
    if (!resized.exchange(false) || !taken.load())
        return false;
    // a window size change may have changed our buffer too: back to 80 by 25
    size_screen();
    mark_all();
    cursor_dirty = true;
    return true;
}

void TerminalInputGone(void) {
    con_close();
    std::fprintf(stderr, "The console's input has closed.\n");
    std::exit(1);
}
