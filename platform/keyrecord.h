// PC console key records to key bytes: what the Win32 console reader gives
// the key reading of console.h, the same bytes the terminal decoder gives for
// the same keys (keydecode.h). A pure function, so it is tested on every system.
//
// An ordinary key gives its character (ASCII only; other characters are
// dropped, as the decoder drops UTF-8 text), DEL gives Backspace (8), and the
// arrows, Home, End, Page Up, Page Down, Insert, Delete and F1 to F12 give the
// lead byte 0 and their scan code. ESC is 27 also where the console gives it
// no character (wine's console does so). Alt with a key, and a cursor or function
// key with Shift, Ctrl or Alt, are dropped whole, as the terminal decoder
// drops them; AltGr (right Alt with left Ctrl) with a character is that character.
#pragma once

#include <cstdint>

// The virtual key codes of the keys above (the values of the Win32 VK_ names).
enum {
    VKEY_PRIOR = 0x21,
    VKEY_NEXT = 0x22,
    VKEY_END = 0x23,
    VKEY_HOME = 0x24,
    VKEY_LEFT = 0x25,
    VKEY_UP = 0x26,
    VKEY_RIGHT = 0x27,
    VKEY_DOWN = 0x28,
    VKEY_INSERT = 0x2D,
    VKEY_DELETE = 0x2E,
    VKEY_F1 = 0x70, // F1..F12 are 0x70..0x7B
    VKEY_F12 = 0x7B,
    VKEY_ESCAPE = 0x1B,
};

// The control-key state bits of a key record (the Win32 values).
enum {
    KEYMOD_RIGHT_ALT = 0x0001,
    KEYMOD_LEFT_ALT = 0x0002,
    KEYMOD_RIGHT_CTRL = 0x0004,
    KEYMOD_LEFT_CTRL = 0x0008,
    KEYMOD_SHIFT = 0x0010,
};

// One key event as the console reports it.
struct KeyRecord {
    int down;           // 1 pressed, 0 released (a release gives nothing)
    int virtual_key;    // VKEY_ code
    unsigned unicode;   // the character the key makes, 0 for none
    unsigned modifiers; // KEYMOD_ bits
};

// Puts the key bytes of one press of the key into out (room for 2); returns
// their count, 0 when the record gives no key.
int KeyRecordBytes(const KeyRecord *k, uint8_t out[2]);
