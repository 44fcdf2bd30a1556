// A small program on the screen library: a window with a hex field, the error
// window, a question and a hot key. The end-to-end test drives it in a pty.
//
// screen_demo          the demonstration
// screen_demo abandon  F5 ends the program with exit(3), without ScreenExit
#include "screen/screen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const ScreenText main_screen[] = {
    {1, 26, "SCREEN LIBRARY DEMONSTRATION", AT_HIGH},
    {24, 1, "Type a value of four hex digits and ENTER.  F2 counts.", 0},
    {24, 37, "ENTER", AT_HIGH},
    {25, 1, "Type F10 to clear error window.  Type ESC to exit.", 0},
    {25, 6, "F10", AT_HIGH},
    {25, 39, "ESC", AT_HIGH},
    {0, 0, nullptr, 0},
};

int presses = 0;

void count_press(int, int) {
    presses++;
    PutFieldF("F2 PRESSED %d", 3, 60, 20, ' ', AT_ALERT, presses);
}

void leave_abruptly(int, int) {
    std::exit(3);
}

} // namespace

int main(int argc, char **argv) {
    bool abandon = argc > 1 && std::strcmp(argv[1], "abandon") == 0;
    ScreenInit();
    DrawScreen(main_screen);
    AddHotKey(KEY_F2, count_press);
    if (abandon)
        AddHotKey(KEY_F5, leave_abruptly);
    ScreenWindow *w = OpenWindow(6, 10, 12, 60, "REGISTER");
    PutField("Value:", 8, 13, 0, ' ', 0);
    char value[8] = "12";
    for (;;) {
        int key = EditField(value, 8, 20, 4, '_', "0-9A-F", "\r\x1b", 0x1A02);
        if (key == KEY_ESC) {
            if (Confirm("Quit the demo?"))
                break;
            continue;
        }
        if (std::strlen(value) < 4) {
            if (!ShowErrorF("Value %s needs four hex digits", value))
                break;
            continue;
        }
        PutFieldF("Accepted %s", 10, 13, 20, ' ', AT_HIGH, value);
        if (Confirm("Quit the demo?"))
            break;
    }
    CloseWindow(&w);
    RemoveHotKey(KEY_F2);
    ScreenExit();
    std::printf("demo: value %s\n", value);
    return 0;
}
