// Pop-up windows: each saves the shadow under its rectangle and puts it back
// when closed, in any order.
#include "screen/screen_internal.h"

#include <cstdlib>
#include <cstring>
#include <utility>

// The record is followed in the same block by the saved characters and then
// the saved attribute codes, row by row.
struct ScreenWindow {
    ScreenWindow *next;               // the next newer open window
    ScreenWindow *prev;               // the next older open window
    int16_t bottom, left, top, right; // 0-based, inclusive
};

namespace {

constexpr unsigned char BOX_TOP_LEFT = 0xC9;
constexpr unsigned char BOX_TOP_RIGHT = 0xBB;
constexpr unsigned char BOX_BOTTOM_LEFT = 0xC8;
constexpr unsigned char BOX_BOTTOM_RIGHT = 0xBC;
constexpr unsigned char BOX_VERTICAL = 0xBA;
constexpr unsigned char BOX_HORIZONTAL = 0xCD;

int window_width(const ScreenWindow *w) {
    return w->right - w->left + 1;
}
int window_cells(const ScreenWindow *w) {
    return (w->bottom - w->top + 1) * window_width(w);
}
unsigned char *saved_chars(ScreenWindow *w) {
    return (unsigned char *)(w + 1);
}
unsigned char *saved_attrs(ScreenWindow *w) {
    return saved_chars(w) + window_cells(w);
}

void unlink_window(ScreenWindow *w) {
    if (w->prev)
        w->prev->next = w->next;
    else
        screen.first_window = w->next;
    if (w->next)
        w->next->prev = w->prev;
    else
        screen.last_window = w->prev;
    w->next = w->prev = nullptr;
}

// Puts one row of saved cells back: each run of one attribute code that
// holds a changed cell is written from one cursor placement.
void restore_row(ScreenWindow *w, int row) {
    int width = window_width(w);
    const unsigned char *chars = saved_chars(w) + (row - w->top) * width;
    const unsigned char *attrs = saved_attrs(w) + (row - w->top) * width;
    int base = row * SCREEN_COLUMNS + w->left;
    int i = 0;
    while (i < width) {
        if (screen.chars[base + i] == chars[i] && screen.attrs[base + i] == attrs[i]) {
            i++;
            continue;
        }
        int start = i;
        int attr = attrs[i];
        CursorMove(row, w->left + i);
        SetAttr(attr);
        while (i < width && attrs[i] == attr) {
            screen.chars[base + i] = chars[i];
            screen.attrs[base + i] = attrs[i];
            i++;
        }
        ConsoleWrite((const char *)screen.chars + base + start, i - start);
        SetNormalAttr();
    }
}

} // namespace

void DrawBox(int top, int left, int bottom, int right, int framed) {
    OutputHold();
    const char blank[] = "   ";
    for (int row = top; row <= bottom; row++) {
        if (!framed) {
            PutField(blank, row, left, right - left + 1, ' ', 0);
            continue;
        }
        char first[2] = {(char)BOX_VERTICAL, 0}, last[2] = {(char)BOX_VERTICAL, 0};
        int fill = ' ';
        if (row == top || row == bottom) {
            first[0] = (char)(row == top ? BOX_TOP_LEFT : BOX_BOTTOM_LEFT);
            last[0] = (char)(row == top ? BOX_TOP_RIGHT : BOX_BOTTOM_RIGHT);
            fill = BOX_HORIZONTAL;
        }
        PutField(first, row, left, right - left, fill, 0);
        PutField(last, row, right, 1, ' ', 0);
    }
    OutputRelease();
}

ScreenWindow *OpenWindow(int top, int left, int bottom, int right, const char *title) {
    int t = ClipRow(top), l = ClipColumn(left), b = ClipRow(bottom), r = ClipColumn(right);
    // corners given the wrong way round still make a rectangle
    if (b < t)
        std::swap(t, b);
    if (r < l)
        std::swap(l, r);
    size_t cells = (size_t)(b - t + 1) * (size_t)(r - l + 1);
    ScreenWindow *w = (ScreenWindow *)std::malloc(sizeof(ScreenWindow) + 2 * cells);
    if (!w)
        return nullptr;
    w->top = (int16_t)t;
    w->left = (int16_t)l;
    w->bottom = (int16_t)b;
    w->right = (int16_t)r;
    w->next = nullptr;
    w->prev = screen.last_window;
    if (screen.last_window)
        screen.last_window->next = w;
    else
        screen.first_window = w;
    screen.last_window = w;

    int width = window_width(w);
    for (int row = t; row <= b; row++) {
        std::memcpy(saved_chars(w) + (row - t) * width, screen.chars + row * SCREEN_COLUMNS + l,
                    (size_t)width);
        std::memcpy(saved_attrs(w) + (row - t) * width, screen.attrs + row * SCREEN_COLUMNS + l,
                    (size_t)width);
    }
    OutputHold();
    DrawBox(t + 1, l + 1, b + 1, r + 1, 1);
    if (title && *title) {
        // a title wider than the window is cut, so it never writes outside it
        char text[SCREEN_COLUMNS + 1];
        int length = (int)strnlen(title, (size_t)width);
        std::memcpy(text, title, (size_t)length);
        text[length] = 0;
        PutField(text, t + 1, (l + r - length + 3) / 2, 0, ' ', AT_REVERSE);
    }
    OutputRelease();
    return w;
}

void CloseWindow(ScreenWindow **handle) {
    if (!handle || !*handle)
        return;
    ScreenWindow *w = *handle;
    *handle = nullptr;
    unlink_window(w);
    OutputHold();
    for (int row = w->top; row <= w->bottom; row++)
        restore_row(w, row);
    OutputRelease();
    std::free(w);
}

void WindowsFree(void) {
    while (screen.first_window) {
        ScreenWindow *w = screen.first_window;
        unlink_window(w);
        std::free(w);
    }
}
