// The keyboard: key codes from the console, the type-ahead ring, hot keys
// and the insert mode that the Insert key toggles.
#include "screen/screen_internal.h"

#include "platform/console.h"

#include <cstdlib>
#include <cstring>

int InsertMode = 1;

struct HotKey {
    HotKey *next; // the next newer entry
    HotKey *prev; // the next older entry
    unsigned char key;
    HotKeyCallback callback;
    unsigned char active;  // set while its callback runs
    unsigned char removed; // removed while running: freed when the callback returns
};

namespace {

// Type-ahead ring: codes pushed by the program, read before the keyboard.
unsigned char ring[TYPEAHEAD_SIZE];
int ring_write = 0, ring_read = 0, ring_count = 0;

// Codes pushed while the ring was full, oldest first, fed into the ring as it
// empties; a long command-line script waits here in order.
unsigned char *held = nullptr;
int held_first = 0, held_count = 0, held_size = 0;

void ring_put(unsigned char code) {
    ring_count++;
    ring_write = (ring_write + 1) % TYPEAHEAD_SIZE;
    ring[ring_write] = code;
}

// Appends a code to the held queue; false when it cannot grow.
bool held_append(unsigned char code) {
    if (held_first + held_count == held_size) {
        if (held_first > 0) {
            // slide the unread codes down before growing
            std::memmove(held, held + held_first, (size_t)held_count);
            held_first = 0;
        }
        if (held_count == held_size) {
            if (held_size >= TYPEAHEAD_HOLD_MAX)
                return false;
            int size = held_size ? held_size * 2 : 256;
            if (size > TYPEAHEAD_HOLD_MAX)
                size = TYPEAHEAD_HOLD_MAX;
            unsigned char *grown = (unsigned char *)std::realloc(held, (size_t)size);
            if (!grown)
                return false;
            held = grown;
            held_size = size;
        }
    }
    held[held_first + held_count++] = code;
    return true;
}

// Moves held codes into the ring while it has room.
void held_feed() {
    while (held_count > 0 && ring_count < TYPEAHEAD_SIZE) {
        ring_put(held[held_first++]);
        held_count--;
    }
    if (held_count == 0)
        held_first = 0;
}

HotKey *first_hot = nullptr, *last_hot = nullptr;

// Second codes of extended keys; every other entry is 0 and the key is dropped.
unsigned char extended_table[256];

void build_extended_table() {
    extended_table[8] = KEY_DELCHAR;
    for (int i = 0; i < 10; i++)
        extended_table[0x3B + i] = (unsigned char)(KEY_F1 + i);
    extended_table[0x47] = KEY_HOME;
    extended_table[0x48] = KEY_UP;
    extended_table[0x49] = KEY_PGUP;
    extended_table[0x4B] = KEY_LEFT;
    extended_table[0x4D] = KEY_RIGHT;
    extended_table[0x4F] = KEY_END;
    extended_table[0x50] = KEY_DOWN;
    extended_table[0x51] = KEY_PGDN;
    extended_table[0x52] = KEY_INSERT;
    extended_table[0x53] = KEY_DEL;
}

// The control keys that stand for editing keys.
int control_code(int b) {
    switch (b) {
    case 1:
        return KEY_HOME;
    case 4:
        return KEY_DELEOL;
    case 6:
        return KEY_WORDRIGHT;
    case 7:
        return KEY_END;
    case 8:
        return KEY_BKSP;
    case 18:
        return KEY_WORDLEFT;
    case 21:
        return KEY_DELBOL;
    case 22:
        return KEY_DEL;
    case 25:
        return KEY_CLEAR;
    default:
        return b;
    }
}

void unlink_hot(HotKey *h) {
    if (h->prev)
        h->prev->next = h->next;
    else
        first_hot = h->next;
    if (h->next)
        h->next->prev = h->prev;
    else
        last_hot = h->prev;
    h->next = h->prev = nullptr;
}

} // namespace

int TypeAheadTake(void) {
    if (ring_count == 0)
        return -1;
    ring_count--;
    ring_read = (ring_read + 1) % TYPEAHEAD_SIZE;
    int code = ring[ring_read];
    held_feed();
    return code;
}

void TypeAheadClear(void) {
    ring_write = ring_read = ring_count = 0;
    std::free(held);
    held = nullptr;
    held_first = held_count = held_size = 0;
}

void PushKeys(const char *text) {
    if (!text)
        return;
    for (; *text; text++) {
        // Behind held codes, or with the ring full, a code waits its turn in
        // the held queue; past its limit the rest of the text is dropped.
        if (held_count > 0 || ring_count >= TYPEAHEAD_SIZE) {
            if (!held_append((unsigned char)*text))
                return;
        } else {
            ring_put((unsigned char)*text);
        }
    }
}

int KeyWaiting(void) {
    return ring_count > 0 || held_count > 0 || ConsoleKeyWaiting();
}

int ReadKey(int mode) {
    if (!extended_table[0x48])
        build_extended_table();
    if (screen.cursor_visible)
        ConsoleMove(screen.cursor_row, screen.cursor_column);
    if (mode >= 0 && !ConsoleKeyWaiting())
        return 0;
    for (;;) {
        int b = ConsoleGetch();
        int code = (b == 0 || b == 0xE0) ? extended_table[ConsoleGetch() & 0xFF] : control_code(b);
        if (code == KEY_INSERT) {
            InsertMode = InsertMode ? 0 : 1;
            if (screen.cursor_visible)
                CursorShow();
            code = 0;
        }
        if (code != 0)
            return code;
        // An Insert or a dropped key is passed over; a poll that finds nothing
        // after it says so rather than wait, so a polling screen keeps running.
        if (mode >= 0 && !ConsoleKeyWaiting())
            return 0;
    }
}

int GetKey(int mode) {
    for (;;) {
        if (RepaintPending)
            RepaintScreen();
        int code = TypeAheadTake();
        if (code < 0) {
            code = ReadKey(mode);
            if (code == 0)
                return 0;
        }
        HotKey *h = HotKeyFind(code);
        if (!h)
            return code;
        HotKeyRun(h, code, -1);
    }
}

int WaitKey(void) {
    return GetKey(-1);
}

HotKey *AddHotKey(int key, HotKeyCallback callback) {
    HotKey *h = (HotKey *)std::malloc(sizeof(HotKey));
    if (!h)
        return nullptr;
    h->key = (unsigned char)key;
    h->callback = callback;
    h->active = 0;
    h->removed = 0;
    h->next = nullptr;
    h->prev = last_hot;
    if (last_hot)
        last_hot->next = h;
    else
        first_hot = h;
    last_hot = h;
    return h;
}

void RemoveHotKey(int key) {
    for (HotKey *h = last_hot; h; h = h->prev) {
        if (h->key != (unsigned char)key)
            continue;
        unlink_hot(h);
        // an entry whose callback is running is freed when the callback returns
        if (h->active)
            h->removed = 1;
        else
            std::free(h);
        return;
    }
}

HotKey *HotKeyFind(int key) {
    for (HotKey *h = first_hot; h; h = h->next)
        if (!h->active && h->key == (unsigned char)key)
            return h;
    return nullptr;
}

void HotKeyRun(HotKey *h, int key, int position) {
    h->active = 1;
    if (h->callback)
        h->callback(key, position);
    h->active = 0;
    if (h->removed)
        std::free(h);
}

void HotKeysFree(void) {
    while (first_hot) {
        HotKey *h = first_hot;
        unlink_hot(h);
        if (h->active)
            h->removed = 1;
        else
            std::free(h);
    }
}
