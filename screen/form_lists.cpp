// The two field types with editors of their own: choices and number lists.
#include "screen/forms.h"
#include "screen/screen.h"

#include <cstdio>
#include <cstring>

namespace {

// Counts a null-ended list and finds its longest text.
int choice_count(const char **list, int *longest) {
    int n = 0;
    *longest = 0;
    while (list != nullptr && list[n] != nullptr) {
        int len = (int)strnlen(list[n], FORM_TEXT_MAX);
        if (len > *longest)
            *longest = len;
        n++;
    }
    return n;
}

// The exit keys of a number list.
const char NUMLIST_TERMINATORS[] = {(char)KEY_ENTER, (char)KEY_ESC, (char)KEY_DOWN, (char)KEY_UP,
                                    '\0'};

// True when the text holds no number at all (only commas and spaces).
bool text_blank(const char *text) {
    for (const char *p = text; *p != '\0'; p++)
        if (*p != ',' && *p != ' ')
            return false;
    return true;
}

} // namespace

void ShowChoice(int row, int column, const char **list, int index, int width, int flags) {
    int longest;
    int n = choice_count(list, &longest);
    const char *text = (index >= 0 && index < n) ? list[index] : "INVALID";
    PutField(text, row, column, width, ' ', flags);
}

int EditChoice(int row, int column, const char **list, int16_t *index, const char *terminators,
               int flags) {
    CharSet terms;
    BuildCharSet(terminators == nullptr ? "" : terminators, &terms);
    int longest;
    int n = choice_count(list, &longest);
    int cur = n > 0 ? ((*index % n) + n) % n : 0;
    for (;;) {
        if (n > 0)
            PutField(list[cur], row, column, longest, ' ', AT_REVERSE);
        else
            PutField("INVALID", row, column, 0, ' ', AT_REVERSE);
        int key = WaitKey();
        if (n > 0) {
            switch (key) {
            case 'N':
            case 'n':
            case '-':
                if (cur > 0)
                    cur--;
                continue;
            case KEY_LEFT:
                cur = (cur + n - 1) % n;
                continue;
            case KEY_RIGHT:
            case ' ':
                cur = (cur + 1) % n;
                continue;
            case '+':
            case 'S':
            case 's':
            case 'Y':
            case 'y':
                if (cur < n - 1)
                    cur++;
                continue;
            }
        }
        bool inputEnded = key == KEY_NONE;
        if (inputEnded)
            key = KEY_ESC; // input has ended
        else if (!InCharSet(key, &terms))
            continue;
        // Any terminator stores the choice; the caller compares with its own
        // copy when it wants ESC to throw changes away.
        if (!inputEnded && n > 0)
            *index = (int16_t)cur;
        ShowChoice(row, column, list, *index, n > 0 ? longest : 7, flags);
        return key;
    }
}

void ShowNumberList(int row, int column, const uint16_t *list, int flags) {
    char text[FORM_TEXT_MAX + 1];
    FormatValue(text, list, DT_NUMLIST, FORM_TEXT_MAX);
    PutField(text, row, column, NUMLIST_WIDTH, ' ', flags);
}

int EditNumberList(int row, int column, uint16_t *list, int flags) {
    if (list[0] > NUMLIST_MAX)
        list[0] = NUMLIST_MAX;
    char text[FORM_TEXT_MAX + 1];
    size_t used = 0;
    text[0] = '\0';
    for (int i = 0; i < list[0]; i++)
        used += (size_t)snprintf(text + used, sizeof text - used, i ? ",%d" : "%d", list[1 + i]);
    int key;
    for (;;) {
        key = EditField(text, row, column, NUMLIST_WIDTH, ' ', "0-9, ", NUMLIST_TERMINATORS, flags);
        if (key == KEY_ESC || key == KEY_NONE)
            break;
        if (text_blank(text)) {
            list[0] = 0;
            break;
        }
        // More than eight numbers, or one beyond 16 bits, is refused whole.
        if (ParseValue(list, text, DT_NUMLIST, NUMLIST_WIDTH))
            break;
        ShowError("Unacceptable format of data");
        if (key != KEY_ENTER)
            break;
        flags |= EF_INITIAL; // edit the refused entry again
    }
    ShowNumberList(row, column, list, flags);
    return key;
}
