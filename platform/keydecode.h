// Terminal key decoder: raw terminal bytes in, PC console key bytes out.
//
// The decoder is a byte machine without I/O. It knows the escape sequences of
// xterm, VT100/VT220, the Linux console, rxvt and tmux for the arrows, F1 to
// F12, Home, End, Insert, Delete, Page Up and Page Down and gives each as the
// lead byte 0 plus the PC scan code. Backspace (0x7F) comes out as 8. Bytes
// above 0x7F (UTF-8 text) and NUL are dropped, so they never pose as the
// library's own key codes. An unknown or modified (Ctrl, Alt, Shift) sequence
// is dropped whole, and so is ESC followed at once by a printable byte (the
// terminal's Alt and that key); an ESC is a key of its own only when the
// escape time passes before the next byte.
//
//   ESC [ params final | ESC O final | ESC [ [ A..E | ESC char (Alt, dropped)
//   | ESC alone (time-out)
#pragma once

#include <cstdint>

// PC scan codes of the keys the decoder knows.
constexpr int SCAN_F1 = 0x3B; // F1..F10 are 0x3B..0x44
constexpr int SCAN_HOME = 0x47;
constexpr int SCAN_UP = 0x48;
constexpr int SCAN_PGUP = 0x49;
constexpr int SCAN_LEFT = 0x4B;
constexpr int SCAN_RIGHT = 0x4D;
constexpr int SCAN_END = 0x4F;
constexpr int SCAN_DOWN = 0x50;
constexpr int SCAN_PGDN = 0x51;
constexpr int SCAN_INSERT = 0x52;
constexpr int SCAN_DELETE = 0x53;
constexpr int SCAN_F11 = 0x85;
constexpr int SCAN_F12 = 0x86;

constexpr int KEYDEC_SEQ_MAX = 24; // longer sequences are dropped whole
constexpr int KEYDEC_OUT_MAX = 64; // decoded bytes waiting to be read

struct KeyDecoder {
    int state;                   // see keydecode.cpp
    uint8_t seq[KEYDEC_SEQ_MAX]; // the sequence gathered so far (after ESC)
    int seq_len;
    int utf8_left;               // continuation bytes still to drop
    uint8_t out[KEYDEC_OUT_MAX]; // decoded bytes, a ring
    int out_head;
    int out_count;
};

// Sets the decoder to its idle state with nothing waiting.
void KeyDecoderReset(KeyDecoder *d);
// Feeds one raw byte.
void KeyDecoderFeed(KeyDecoder *d, uint8_t byte);
// Queues a key byte that needs no decoding (one a PC console gave).
void KeyDecoderPut(KeyDecoder *d, uint8_t byte);
// No more bytes came within the escape time: a lone ESC is a key, a partial sequence is dropped.
void KeyDecoderTimeout(KeyDecoder *d);
// True while a sequence is incomplete (the reader then waits the escape time).
int KeyDecoderPending(const KeyDecoder *d);
// Takes the next decoded byte, or -1 when none waits.
int KeyDecoderTake(KeyDecoder *d);
