// The line-input field and the character-set masks it is given.
#include "screen/screen_internal.h"

#include "platform/console.h"

#include <cctype>
#include <cstring>

void BuildCharSet(const char *mask, CharSet *set) {
    std::memset(set, 0, sizeof *set);
    if (!mask)
        return;
    const unsigned char *m = (const unsigned char *)mask;
    int n = (int)std::strlen(mask);
    for (int i = 0; i < n; i++) {
        if (m[i] == '-' && i > 0 && i < n - 1) {
            // a range a-b; b itself is added next and may start another range
            for (int c = m[i - 1]; c <= m[i + 1]; c++)
                set->words[c / 16] |= (uint16_t)(1u << (c % 16));
            continue;
        }
        set->words[m[i] / 16] |= (uint16_t)(1u << (m[i] % 16));
    }
}

int InCharSet(int c, const CharSet *set) {
    c &= 0xFF;
    return (set->words[c / 16] >> (c % 16)) & 1;
}

namespace {

// One field being edited.
struct Field {
    char *text;        // the caller's buffer
    const char *shown; // the text, or the fill strip when hidden
    int row, column;   // 0-based first cell
    int width, length, cursor;
    int attr;
    int fill;
    CharSet allowed, terminators;
    char strip[SCREEN_COLUMNS]; // fill characters for the empty cells
};

// The field being edited, for a redraw after the terminal was repainted.
Field *open_field = nullptr;

bool word_char(int c) {
    c &= 0xFF;
    return std::isupper(c) || std::islower(c) || std::isdigit(c) || std::isalpha(c);
}

int char_at(const Field &f, int i) {
    return i < f.length ? (unsigned char)f.text[i] : ' ';
}

void place(const Field &f, int offset) {
    CursorMove(f.row, f.column + offset);
}

// Shows the text from offset up to its end, then fills cells of fill.
void show(const Field &f, int offset, int end, int fills) {
    place(f, offset);
    ConsoleWrite(f.shown + offset, end - offset);
    ConsoleWrite(f.strip, fills);
}

void take_data_key(Field &f, int key, int flags) {
    if (f.cursor < f.length) {
        if (!InsertMode) {
            f.text[f.cursor] = (char)key;
            show(f, f.cursor, f.cursor + 1, 0);
            f.cursor++;
        } else if (f.length < f.width) {
            CursorHide();
            std::memmove(f.text + f.cursor + 1, f.text + f.cursor, (size_t)(f.length - f.cursor));
            f.text[f.cursor] = (char)key;
            f.length++;
            show(f, f.cursor, f.length, 0);
            f.cursor++;
        } else {
            Bell(); // a full field in insert mode: always heard
        }
    } else if (f.length < f.width && f.cursor < f.width) {
        int old_end = f.length;
        for (int i = f.length; i < f.cursor; i++)
            f.text[i] = ' ';
        f.text[f.cursor] = (char)key;
        f.length = f.cursor + 1;
        CursorHide();
        show(f, old_end, f.length, 0);
        f.cursor++;
    } else if (!(flags & EF_QUIET)) {
        Bell();
    }
}

void delete_to_end(Field &f) {
    if (f.cursor >= f.length)
        return;
    place(f, f.cursor);
    ConsoleWrite(f.strip, f.length - f.cursor);
    f.length = f.cursor;
}

// Deletes the character before the cursor (within the text) and closes the gap.
void backspace(Field &f) {
    if (f.cursor <= 0)
        return;
    if (f.cursor > f.length) {
        f.cursor--;
        return;
    }
    std::memmove(f.text + f.cursor - 1, f.text + f.cursor, (size_t)(f.length - f.cursor));
    f.length--;
    f.cursor--;
    show(f, f.cursor, f.length, 1);
}

// Carries out an editing key; false when the key means nothing here.
bool edit_key(Field &f, int key) {
    switch (key) {
    case KEY_END:
        f.cursor = f.length;
        return true;
    case KEY_HOME:
        f.cursor = 0;
        return true;
    case KEY_LEFT:
        if (f.cursor > 0)
            f.cursor--;
        return true;
    case KEY_RIGHT:
        if (f.cursor < f.length) {
            show(f, f.cursor, f.cursor + 1, 0);
            f.cursor++;
        } else if (InCharSet(' ', &f.allowed) && f.cursor < f.width) {
            place(f, f.cursor);
            ConsoleWrite(f.strip, 1);
            f.cursor++;
        }
        return true;
    case KEY_DELBOL:
        if (f.cursor > 0) {
            int gone = f.cursor < f.length ? f.cursor : f.length;
            std::memmove(f.text, f.text + gone, (size_t)(f.length - gone));
            f.length -= gone;
            show(f, 0, f.length, gone);
            f.cursor = 0;
        }
        return true;
    case KEY_CLEAR:
        if (f.length > 0) {
            f.cursor = 0;
            delete_to_end(f);
        }
        return true;
    case KEY_DELEOL:
        delete_to_end(f);
        return true;
    case KEY_DEL:
        if (f.cursor < f.length) {
            f.cursor++;
            backspace(f);
        }
        return true;
    case KEY_BKSP:
        backspace(f);
        return true;
    case KEY_WORDLEFT:
        if (f.cursor > 0) {
            f.cursor--;
            while (f.cursor > 0 && word_char(char_at(f, f.cursor)))
                f.cursor--;
            while (f.cursor > 0 && !word_char(char_at(f, f.cursor - 1)))
                f.cursor--;
        }
        return true;
    case KEY_WORDRIGHT:
        while (f.cursor < f.length && word_char(char_at(f, f.cursor)))
            f.cursor++;
        while (f.cursor < f.length && !word_char(char_at(f, f.cursor)))
            f.cursor++;
        return true;
    default:
        return false;
    }
}

// Finishes the text in the buffer and gives the field to the shadow.
void close_field(Field &f, int flags) {
    int result = f.length;
    if (flags & EF_PAD) {
        int gap = 0;
        if (flags & EF_CENTER)
            gap = (f.width - f.length) / 2;
        else if (flags & EF_RIGHT)
            gap = f.width - f.length;
        std::memmove(f.text + gap, f.text, (size_t)f.length);
        std::memset(f.text, ' ', (size_t)gap);
        std::memset(f.text + gap + f.length, ' ', (size_t)(f.width - gap - f.length));
        f.text[f.width] = 0;
        result = f.width;
    } else {
        std::memset(f.text + f.length, 0, (size_t)(f.width - f.length + 1));
    }
    // The console is made to show what the shadow now holds (the aligned
    // result, no fill characters); a hidden text stays masked on the console.
    int base = f.row * SCREEN_COLUMNS + f.column;
    char cells[SCREEN_COLUMNS];
    for (int i = 0; i < f.width; i++) {
        char c = i < result ? f.text[i] : ' ';
        screen.chars[base + i] = (unsigned char)c;
        screen.attrs[base + i] = (unsigned char)f.attr;
        cells[i] = ((flags & EF_HIDDEN) && c != ' ') ? (char)f.fill : c;
    }
    CursorHide();
    place(f, 0);
    ConsoleWrite(cells, f.width);
    SetNormalAttr();
}

} // namespace

void EditFieldRedraw(void) {
    if (!open_field)
        return;
    Field &f = *open_field;
    SetAttr(f.attr);
    show(f, 0, f.length, f.width - f.length);
    place(f, f.cursor);
    CursorShow();
}

int EditField(char *buffer, int row, int column, int width, int fill, const char *allowed,
              const char *terminators, int flags) {
    if (!buffer)
        return KEY_ESC;
    OutputHold();
    if (RepaintPending)
        RepaintScreen();
    Field f;
    BuildCharSet(allowed, &f.allowed);
    BuildCharSet(terminators, &f.terminators);
    f.row = ClipRow(row);
    f.column = ClipColumn(column);
    if (width > SCREEN_COLUMNS - f.column)
        width = SCREEN_COLUMNS - f.column;
    f.width = width < 0 ? 0 : width;
    f.text = buffer;
    f.attr = flags & AT_MASK;
    f.fill = fill & 0xFF;
    std::memset(f.strip, f.fill, sizeof f.strip);
    f.shown = (flags & EF_HIDDEN) ? f.strip : f.text;
    if (flags & EF_BELL)
        Bell();
    SetAttr(f.attr);
    f.length = f.cursor = 0;
    if (flags & EF_INITIAL) {
        buffer[f.width] = 0;
        f.length = (int)std::strlen(buffer);
        if (!(flags & EF_REPLACE))
            f.cursor = f.length;
    }
    int saved_insert = InsertMode;
    if (flags & EF_OVERWRITE)
        InsertMode = 0;
    show(f, 0, f.length, f.width - f.length);
    place(f, f.cursor);
    OutputRelease();

    bool first_key = true;
    int key;
    Field *outer = open_field; // a hot key may open a field of its own
    open_field = &f;
    for (;;) {
        CursorShow();
        key = TypeAheadTake();
        if (key < 0)
            key = ReadKey(-1);
        if (key == 0)
            continue;
        if (HotKey *h = HotKeyFind(key)) {
            SetNormalAttr();
            CursorHide();
            open_field = outer; // the callback owns the screen meanwhile
            HotKeyRun(h, key, f.cursor);
            open_field = &f;
            place(f, f.cursor);
            SetAttr(f.attr);
            continue;
        }
        if ((flags & EF_UPPER) && key >= 'a' && key <= 'z')
            key = key - 'a' + 'A';
        bool data = InCharSet(key, &f.allowed);
        if (data) {
            if (first_key && (flags & EF_REPLACE)) {
                f.length = 0;
                show(f, 0, 0, f.width);
            }
            take_data_key(f, key, flags);
            if ((flags & EF_AUTOEXIT) && f.length >= f.width)
                key = KEY_ENTER;
        }
        if (InCharSet(key, &f.terminators))
            break;
        if (!data) {
            if (key == KEY_ESC) {
                edit_key(f, KEY_CLEAR);
                break;
            }
            if (!edit_key(f, key)) {
                if (!(flags & EF_QUIET))
                    Bell();
                place(f, f.cursor);
                continue;
            }
        }
        first_key = false;
        place(f, f.cursor);
    }
    open_field = outer;
    OutputHold();
    close_field(f, flags);
    if (flags & EF_OVERWRITE)
        InsertMode = saved_insert;
    OutputRelease();
    return key;
}
