// Bytes the terminal receives from the shadow screen's diff writer, beside the
// least any writer could send: the changed cells alone.
//
// The screen is a register table as the register editor draws it: a title, a
// framed window, twenty rows of address, hex, unsigned and signed values, and
// a help line. Cases: the full screen drawn on a blank terminal, one value
// changed, the same screen drawn again unchanged, and a repaint from the shadow.
#include "platform/console.h"
#include "screen/screen.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

unsigned short registers[20];

void draw_table() {
    PutField("REGISTER EDITOR", 1, 33, 0, ' ', AT_HIGH);
    PutField("Target 127.0.0.1  Drop 1  Modbus TCP", 2, 2, 0, ' ', 0);
    for (int i = 0; i < 20; i++) {
        int row = 4 + i;
        PutFieldF("4%04d", row, 4, 6, ' ', 0, 1 + i);
        PutFieldF("%04X", row, 14, 4, ' ', AT_HIGH, registers[i]);
        PutFieldF("%u", row, 22, 6, ' ', PF_RIGHT, registers[i]);
        PutFieldF("%d", row, 32, 7, ' ', PF_RIGHT, (short)registers[i]);
    }
    PutField("F1 help  ENTER write  ESC exit", 25, 1, 80, ' ', AT_REVERSE);
}

// Cells of the shadow that differ between two snapshots (within 80 columns).
int changed_cells(const unsigned char *a, const unsigned char *b) {
    int n = 0;
    for (int i = 0; i < SCREEN_ROWS * CONSOLE_COLUMNS * 2; i += 2)
        n += a[i] != b[i] || a[i + 1] != b[i + 1];
    return n;
}

void snapshot(unsigned char *out) {
    for (int r = 1; r <= SCREEN_ROWS; r++)
        for (int c = 1; c <= CONSOLE_COLUMNS; c++) {
            *out++ = (unsigned char)ScreenCharAt(r, c);
            *out++ = (unsigned char)ScreenAttrAt(r, c);
        }
}

int failures = 0;

void report(const char *what, size_t bytes, int cells, size_t limit) {
    bool ok = bytes <= limit;
    std::printf("%-34s %8zu bytes %8d changed cells   limit %6zu  %s\n", what, bytes, cells, limit,
                ok ? "ok" : "OVER");
    if (!ok)
        failures++;
}

} // namespace

int main() {
    int sink = open("/dev/null", O_RDWR);
    ConsoleSetTerminalFds(sink, sink);
    for (int i = 0; i < 20; i++)
        registers[i] = (unsigned short)(i * 4097 + 3);
    unsigned char before[SCREEN_ROWS * CONSOLE_COLUMNS * 2],
        after[SCREEN_ROWS * CONSOLE_COLUMNS * 2];

    ScreenInit();
    snapshot(before);
    size_t start = ConsoleBytesSent();
    draw_table();
    ScreenWindow *w = OpenWindow(8, 45, 14, 78, "WRITE");
    PutField("New value:", 10, 48, 0, ' ', 0);
    ConsoleFlush();
    snapshot(after);
    int cells = changed_cells(before, after);
    // every changed cell once (box lines are 3 bytes of UTF-8), plus a cursor
    // placement (8 bytes) and two colour changes (8 bytes each) per field or box row
    report("full screen on a blank terminal", ConsoleBytesSent() - start, cells,
           (size_t)cells * 3 + 120 * 24);

    registers[7] = 0xBEEF;
    snapshot(before);
    start = ConsoleBytesSent();
    draw_table();
    ConsoleFlush();
    snapshot(after);
    cells = changed_cells(before, after);
    report("one value changed", ConsoleBytesSent() - start, cells, (size_t)cells + 3 * 24);

    start = ConsoleBytesSent();
    draw_table();
    ConsoleFlush();
    report("unchanged redraw", ConsoleBytesSent() - start, 0, 0);

    snapshot(before);
    start = ConsoleBytesSent();
    CloseWindow(&w);
    ConsoleFlush();
    snapshot(after);
    cells = changed_cells(before, after);
    report("window closed", ConsoleBytesSent() - start, cells, (size_t)cells * 3 + 7 * 24);

    start = ConsoleBytesSent();
    RepaintScreen();
    ConsoleFlush();
    int shown = 0;
    for (int r = 1; r <= SCREEN_ROWS; r++)
        for (int c = 1; c <= CONSOLE_COLUMNS; c++)
            shown += ScreenCharAt(r, c) != ' ' || ScreenAttrAt(r, c) != 0;
    report("repaint from the shadow", ConsoleBytesSent() - start, shown,
           (size_t)shown * 3 + 25 * 16 + 120 * 24);

    // speed of the writer itself, for the record
    auto t0 = std::chrono::steady_clock::now();
    const int rounds = 20000;
    for (int i = 0; i < rounds; i++) {
        registers[i % 20] = (unsigned short)i;
        draw_table();
    }
    ConsoleFlush();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%-34s %8.2f us per table (%d fields)\n", "table redraw, one value changing",
                seconds * 1e6 / rounds, 83);

    ScreenExit();
    ConsoleSetTerminalFds(-1, -1);
    close(sink);
    std::printf(failures ? "over the limit\n" : "all within the limits\n");
    return failures ? 1 : 0;
}
