// PC console key records to key bytes.
#include "platform/keyrecord.h"

#include "platform/keydecode.h"

namespace {

// The scan code of a cursor or function key, 0 for other keys.
int extended_scan(int vk) {
    switch (vk) {
    case VKEY_PRIOR:
        return SCAN_PGUP;
    case VKEY_NEXT:
        return SCAN_PGDN;
    case VKEY_END:
        return SCAN_END;
    case VKEY_HOME:
        return SCAN_HOME;
    case VKEY_LEFT:
        return SCAN_LEFT;
    case VKEY_UP:
        return SCAN_UP;
    case VKEY_RIGHT:
        return SCAN_RIGHT;
    case VKEY_DOWN:
        return SCAN_DOWN;
    case VKEY_INSERT:
        return SCAN_INSERT;
    case VKEY_DELETE:
        return SCAN_DELETE;
    case VKEY_F12 - 1:
        return SCAN_F11;
    case VKEY_F12:
        return SCAN_F12;
    default:
        if (vk >= VKEY_F1 && vk < VKEY_F1 + 10)
            return SCAN_F1 + (vk - VKEY_F1);
        return 0;
    }
}

} // namespace

int KeyRecordBytes(const KeyRecord *k, uint8_t out[2]) {
    if (!k->down)
        return 0;
    bool alt = (k->modifiers & (KEYMOD_LEFT_ALT | KEYMOD_RIGHT_ALT)) != 0;
    bool ctrl = (k->modifiers & (KEYMOD_LEFT_CTRL | KEYMOD_RIGHT_CTRL)) != 0;
    bool shift = (k->modifiers & KEYMOD_SHIFT) != 0;
    int scan = extended_scan(k->virtual_key);
    if (scan != 0) {
        if (alt || ctrl || shift)
            return 0;
        out[0] = 0;
        out[1] = (uint8_t)scan;
        return 2;
    }
    unsigned c = k->unicode;
    if (c == 0 && k->virtual_key == VKEY_ESCAPE)
        c = 0x1B;
    if (c == 0 || c >= 0x80)
        return 0;
    // AltGr is right Alt with left Ctrl: its characters are plain text
    bool altgr = (k->modifiers & KEYMOD_RIGHT_ALT) && (k->modifiers & KEYMOD_LEFT_CTRL);
    if (alt && !altgr)
        return 0;
    // Shift-Tab is a modified key the terminal decoder drops too
    if (c == 9 && shift)
        return 0;
    out[0] = c == 0x7F ? 8 : (uint8_t)c;
    return 1;
}
