// The error window and the yes/no question, both at the bottom of the screen.
#include "screen/screen_internal.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// The longest question that fits its window within the 80 columns.
constexpr int PROMPT_MAX = 75;
// The longest error message kept whole: from 74 characters on the window's
// left edge is column 1 and the text runs over its left side, up to the
// right frame at column 79.
constexpr int ERROR_MAX = 78;

// Copies text cut to most characters; returns its length.
int prompt_text(const char *text, char *out, int most) {
    int length = text ? (int)strnlen(text, (size_t)most) : 0;
    std::memcpy(out, text ? text : "", (size_t)length);
    out[length] = 0;
    return length;
}

} // namespace

int ShowError(const char *message) {
    char text[ERROR_MAX + 1];
    int length = prompt_text(message, text, ERROR_MAX);
    ScreenWindow *w = OpenWindow(22, std::max(1, 75 - length), 24, 79, "ERROR");
    PutField(text, 23, std::max(1, 77 - length), 0, ' ', 0x24);
    int key;
    for (;;) {
        Bell();
        key = WaitKey();
        if (key == KEY_F10 || key == KEY_ESC || key == KEY_LINEFEED)
            break;
    }
    CloseWindow(&w);
    return key == KEY_F10 ? 1 : 0;
}

int ShowErrorF(const char *format, ...) {
    char text[136];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return ShowError(text);
}

int Confirm(const char *question) {
    char text[PROMPT_MAX + 1];
    int length = prompt_text(question, text, PROMPT_MAX);
    ScreenWindow *w = OpenWindow(22, 1, 24, length + 5, "CONFIRM");
    PutField(text, 23, 3, length + 2, ' ', PF_CENTER);
    int answer = -1;
    while (answer < 0) {
        int key = WaitKey();
        if (key == 'Y' || key == 'y' || key == 'S' || key == 's' || key == KEY_ENTER)
            answer = 1;
        else if (key == 'N' || key == 'n' || key == KEY_ESC)
            answer = 0;
        else
            Bell();
    }
    CloseWindow(&w);
    return answer;
}
