// The menu bar, its pull-downs and pop-up lists.
#include "screen/menu.h"
#include "screen/screen.h"

#include <cstring>

namespace {

bool is_capital(int c) {
    return c >= 'A' && c <= 'Z';
}

// A key folded to a capital (only a to z change).
int key_capital(int key) {
    return (key >= 'a' && key <= 'z') ? key - 'a' + 'A' : key;
}

// Writes text in a field of width cells (padded with spaces) at row, column,
// its capitals in attribute code caps and everything else in code normal.
void put_with_capitals(const char *text, int row, int column, int width, int normal, int caps) {
    int len = (int)strnlen(text, SCREEN_COLUMNS);
    if (width <= 0)
        width = len;
    int i = 0;
    while (i < width) {
        bool cap = i < len && is_capital((unsigned char)text[i]);
        int j = i;
        while (j < width && (j < len && is_capital((unsigned char)text[j])) == cap)
            j++;
        char run[SCREEN_COLUMNS + 1];
        int n = 0;
        for (int k = i; k < j && k < len; k++)
            run[n++] = text[k];
        run[n] = '\0';
        PutField(run, row, column + i, j - i, ' ', cap ? caps : normal);
        i = j;
    }
}

// Counts the texts of a null-ended list (at most limit) and finds the longest.
int list_count(const char *const *list, int limit, int *longest) {
    int n = 0;
    *longest = 0;
    while (n < limit && list[n] != nullptr) {
        int len = (int)strnlen(list[n], CONSOLE_COLUMNS);
        if (len > *longest)
            *longest = len;
        n++;
    }
    return n;
}

// How a bar title is drawn.
enum TitleLook { TITLE_BAR, TITLE_CURRENT, TITLE_CHOSEN };

void bar_title(const char *title, int row, int column, TitleLook look) {
    if (look == TITLE_CHOSEN)
        PutField(title, row, column, 0, ' ', AT_HIGH);
    else if (look == TITLE_CURRENT)
        put_with_capitals(title, row, column, 0, 0, AT_HIGH);
    else
        put_with_capitals(title, row, column, 0, AT_REVERSE, AT_REVERSE | AT_HIGH);
}

// Draws the whole bar row with one title current (or chosen).
void bar_draw(const char **titles, int n, const int *columns, int row, int current,
              TitleLook currentLook) {
    int col = 1;
    for (int i = 0; i < n; i++) {
        // The reverse space before each title, then the title.
        if (columns[i] > col)
            PutField("", row, col, columns[i] - col, ' ', AT_REVERSE);
        bar_title(titles[i], row, columns[i], i == current ? currentLook : TITLE_BAR);
        col = columns[i] + (int)strlen(titles[i]);
    }
    if (col <= CONSOLE_COLUMNS)
        PutField("", row, col, CONSOLE_COLUMNS + 1 - col, ' ', AT_REVERSE);
}

// Draws item k of a pop-up list, current or not.
void popup_item(const char *item, int row, int column, int width, bool current) {
    if (current)
        put_with_capitals(item, row, column, width, AT_REVERSE, AT_REVERSE | AT_HIGH);
    else
        put_with_capitals(item, row, column, width, 0, AT_HIGH);
}

} // namespace

int MenuLetter(const char *text) {
    for (const char *p = text; p != nullptr && *p != '\0'; p++)
        if (is_capital((unsigned char)*p))
            return (unsigned char)*p;
    return 0;
}

int MenuBarLayout(const char *const *titles, int n, int *columns) {
    int total = 0;
    for (int i = 0; i < n; i++)
        total += (int)strlen(titles[i]);
    // One title needs no gap; titles too long for the row keep one space apart.
    int gap = n > 1 ? (CONSOLE_COLUMNS - total) / (n - 1) : 0;
    if (n > 1 && gap < 1)
        gap = 1;
    int col = 1;
    for (int i = 0; i < n; i++) {
        columns[i] = col;
        col += (int)strlen(titles[i]) + gap;
    }
    return gap;
}

int MenuBarSelect(const char **titles, int row, int initial) {
    int longest;
    int n = list_count(titles, MENU_MAX_GROUPS, &longest);
    if (n == 0)
        return 0;
    int columns[MENU_MAX_GROUPS];
    MenuBarLayout(titles, n, columns);
    int current = initial - 1 < 0 ? 0 : (initial - 1 >= n ? n - 1 : initial - 1);
    bar_draw(titles, n, columns, row, current, TITLE_CURRENT);
    for (;;) {
        int key = WaitKey();
        int next = current;
        switch (key) {
        case KEY_LEFT:
            if (current > 0)
                next = current - 1;
            break;
        case KEY_RIGHT:
            if (current < n - 1)
                next = current + 1;
            break;
        case KEY_ENTER:
        case KEY_LINEFEED:
            bar_title(titles[current], row, columns[current], TITLE_CHOSEN);
            return key == KEY_ENTER ? current + 1 : -(current + 1);
        case KEY_NONE: // input has ended: leave as with ESC
        case KEY_ESC:
        case KEY_F1:
            return 0;
        default: {
            int c = key_capital(key);
            for (int i = 0; i < n; i++) {
                if (MenuLetter(titles[i]) != c)
                    continue;
                if (i != current)
                    bar_title(titles[current], row, columns[current], TITLE_BAR);
                bar_title(titles[i], row, columns[i], TITLE_CHOSEN);
                return i + 1;
            }
            Bell();
            break;
        }
        }
        if (next != current) {
            bar_title(titles[current], row, columns[current], TITLE_BAR);
            bar_title(titles[next], row, columns[next], TITLE_CURRENT);
            current = next;
        }
    }
}

int PopupMenu(const char **items, int top, int left, int initial, int sidekeys) {
    int longest;
    int n = list_count(items, SCREEN_ROWS, &longest);
    if (n == 0)
        return 0;
    int current = initial - 1 < 0 ? 0 : (initial - 1 >= n ? n - 1 : initial - 1);
    int column = left;
    if (longest + left + 2 > CONSOLE_COLUMNS)
        column = CONSOLE_COLUMNS - 2 - longest;
    if (column < 1)
        column = 1;
    ScreenWindow *w = OpenWindow(top, column, top + n + 1, column + longest + 2, "");
    for (int k = 0; k < n; k++)
        popup_item(items[k], top + 1 + k, column + 1, longest + 1, k == current);
    int result = -1;
    while (result < 0) {
        int key = WaitKey();
        int next = current;
        switch (key) {
        case KEY_DOWN:
            if (current < n - 1)
                next = current + 1;
            break;
        case KEY_UP:
            if (current > 0)
                next = current - 1;
            break;
        case KEY_LEFT:
        case KEY_RIGHT:
            if (sidekeys) {
                // Leave the list; the bar then moves and opens its neighbour.
                const char script[] = {(char)KEY_ESC, (char)key, (char)KEY_LINEFEED, '\0'};
                PushKeys(script);
            }
            break;
        case KEY_ENTER:
            result = current + 1;
            break;
        case KEY_NONE: // input has ended: leave as with ESC
        case KEY_ESC:
        case KEY_F1:
            result = 0;
            break;
        default: {
            int c = key_capital(key);
            for (int k = 0; k < n && result < 0; k++)
                if (MenuLetter(items[k]) == c)
                    result = k + 1;
            if (result < 0)
                Bell();
            break;
        }
        }
        if (next != current) {
            popup_item(items[current], top + 1 + current, column + 1, longest + 1, false);
            popup_item(items[next], top + 1 + next, column + 1, longest + 1, true);
            current = next;
        }
    }
    CloseWindow(&w);
    return result;
}

int MenuBar(const char **table, int row, int initial) {
    const char *titles[MENU_MAX_GROUPS + 1];
    const char **items[MENU_MAX_GROUPS];
    int n = 0;
    const char **p = table;
    while (n < MENU_MAX_GROUPS && *p != nullptr) {
        titles[n] = *p++;
        items[n] = p;
        while (*p != nullptr)
            p++;
        p++; // the group's closing null
        n++;
    }
    titles[n] = nullptr;
    if (n == 0)
        return 0;
    int columns[MENU_MAX_GROUPS];
    MenuBarLayout(titles, n, columns);
    int group = initial / 100;
    for (;;) {
        int r = MenuBarSelect(titles, row, group);
        if (r == 0)
            return 0;
        group = r < 0 ? -r : r;
        if (items[group - 1][0] == nullptr) {
            if (r > 0)
                return group * 100;
            continue; // reached by a side key: stay on the bar
        }
        int item = PopupMenu(items[group - 1], row + 1, columns[group - 1], initial % 100, 1);
        if (item != 0)
            return group * 100 + item;
    }
}
