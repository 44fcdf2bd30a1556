// PC console key records: the key bytes each gives, the same the terminal
// decoder gives for that key's escape sequence.
#include "platform/keydecode.h"
#include "platform/keyrecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<int> Bytes(int vk, unsigned ch, unsigned mods = 0, int down = 1) {
    KeyRecord k = {down, vk, ch, mods};
    uint8_t out[2] = {0xEE, 0xEE};
    int n = KeyRecordBytes(&k, out);
    return std::vector<int>(out, out + n);
}

std::vector<int> Decoded(const std::string &bytes) {
    KeyDecoder d;
    KeyDecoderReset(&d);
    for (unsigned char b : bytes)
        KeyDecoderFeed(&d, b);
    KeyDecoderTimeout(&d);
    std::vector<int> out;
    for (int k; (k = KeyDecoderTake(&d)) >= 0;)
        out.push_back(k);
    return out;
}

// The virtual key codes of the letter and digit keys are their capitals.
constexpr int VK_A = 'A', VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_ESCAPE = 0x1B,
              VK_SHIFT = 0x10, VK_MENU = 0x12, VK_OEM_2 = 0xBF, VK_CLEAR = 0x0C;

struct Case {
    const char *name;
    int vk;
    unsigned ch;
    unsigned mods;
    std::string sequence; // what xterm sends for the same key
    std::vector<int> bytes;
};

TEST(KeyRecord, CursorAndFunctionKeysMatchTheTerminalDecoder) {
    const Case cases[] = {
        {"Up", VKEY_UP, 0, 0, "\x1b[A", {0, SCAN_UP}},
        {"Down", VKEY_DOWN, 0, 0, "\x1b[B", {0, SCAN_DOWN}},
        {"Right", VKEY_RIGHT, 0, 0, "\x1b[C", {0, SCAN_RIGHT}},
        {"Left", VKEY_LEFT, 0, 0, "\x1b[D", {0, SCAN_LEFT}},
        {"Home", VKEY_HOME, 0, 0, "\x1b[H", {0, SCAN_HOME}},
        {"End", VKEY_END, 0, 0, "\x1b[F", {0, SCAN_END}},
        {"PgUp", VKEY_PRIOR, 0, 0, "\x1b[5~", {0, SCAN_PGUP}},
        {"PgDn", VKEY_NEXT, 0, 0, "\x1b[6~", {0, SCAN_PGDN}},
        {"Insert", VKEY_INSERT, 0, 0, "\x1b[2~", {0, SCAN_INSERT}},
        // Delete makes the character 0x7F on some keyboards: the key wins
        {"Delete", VKEY_DELETE, 0x7F, 0, "\x1b[3~", {0, SCAN_DELETE}},
        {"F1", VKEY_F1, 0, 0, "\x1bOP", {0, SCAN_F1}},
        {"F2", VKEY_F1 + 1, 0, 0, "\x1bOQ", {0, SCAN_F1 + 1}},
        {"F3", VKEY_F1 + 2, 0, 0, "\x1bOR", {0, SCAN_F1 + 2}},
        {"F4", VKEY_F1 + 3, 0, 0, "\x1bOS", {0, SCAN_F1 + 3}},
        {"F5", VKEY_F1 + 4, 0, 0, "\x1b[15~", {0, SCAN_F1 + 4}},
        {"F6", VKEY_F1 + 5, 0, 0, "\x1b[17~", {0, SCAN_F1 + 5}},
        {"F7", VKEY_F1 + 6, 0, 0, "\x1b[18~", {0, SCAN_F1 + 6}},
        {"F8", VKEY_F1 + 7, 0, 0, "\x1b[19~", {0, SCAN_F1 + 7}},
        {"F9", VKEY_F1 + 8, 0, 0, "\x1b[20~", {0, SCAN_F1 + 8}},
        {"F10", VKEY_F1 + 9, 0, 0, "\x1b[21~", {0, SCAN_F1 + 9}},
        {"F11", VKEY_F1 + 10, 0, 0, "\x1b[23~", {0, SCAN_F11}},
        {"F12", VKEY_F12, 0, 0, "\x1b[24~", {0, SCAN_F12}},
        // modified cursor and function keys are dropped on both sides
        {"Shift-Up", VKEY_UP, 0, KEYMOD_SHIFT, "\x1b[1;2A", {}},
        {"Ctrl-Right", VKEY_RIGHT, 0, KEYMOD_LEFT_CTRL, "\x1b[1;5C", {}},
        {"Alt-F4", VKEY_F1 + 3, 0, KEYMOD_LEFT_ALT, "\x1b[1;3S", {}},
        {"Shift-F1", VKEY_F1, 0, KEYMOD_SHIFT, "\x1b[1;2P", {}},
        {"Ctrl-PgDn", VKEY_NEXT, 0, KEYMOD_RIGHT_CTRL, "\x1b[6;5~", {}},
        {"AltGr-Del", VKEY_DELETE, 0, KEYMOD_RIGHT_ALT | KEYMOD_LEFT_CTRL, "\x1b[3;7~", {}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Bytes(c.vk, c.ch, c.mods), c.bytes) << c.name;
        EXPECT_EQ(Decoded(c.sequence), c.bytes) << c.name << " (terminal)";
    }
}

TEST(KeyRecord, CharacterKeysMatchTheTerminalDecoder) {
    const Case cases[] = {
        {"a", VK_A, 'a', 0, "a", {'a'}},
        {"Shift-a", VK_A, 'A', KEYMOD_SHIFT, "A", {'A'}},
        {"Ctrl-a", VK_A, 1, KEYMOD_LEFT_CTRL, "\x01", {1}},
        {"slash", VK_OEM_2, '/', 0, "/", {'/'}},
        {"Enter", VK_RETURN, '\r', 0, "\r", {13}},
        {"Tab", VK_TAB, '\t', 0, "\t", {9}},
        {"Backspace", VK_BACK, 8, 0, "\x7f", {8}},
        {"ESC", VK_ESCAPE, 0x1B, 0, "\x1b", {0x1B}},
        {"ESC without its character", VK_ESCAPE, 0, 0, "\x1b", {0x1B}},
        // Alt and a key: the terminal sends ESC and the key, dropped whole
        {"Alt-x", 'X', 'x', KEYMOD_LEFT_ALT, "\x1bx", {}},
        {"right Alt-x", 'X', 'x', KEYMOD_RIGHT_ALT, "\x1bx", {}},
        // AltGr is how many keyboards type these: plain characters
        {"AltGr-@", 'Q', '@', KEYMOD_RIGHT_ALT | KEYMOD_LEFT_CTRL, "@", {'@'}},
        {"AltGr-backslash", VK_OEM_2, '\\', KEYMOD_RIGHT_ALT | KEYMOD_LEFT_CTRL, "\\", {'\\'}},
        // text beyond ASCII would pose as the library's key codes
        {"e acute", 'E', 0xE9, 0, "\xc3\xa9", {}},
        {"euro", 'E', 0x20AC, KEYMOD_RIGHT_ALT | KEYMOD_LEFT_CTRL, "\xe2\x82\xac", {}},
        {"Shift-Tab", VK_TAB, '\t', KEYMOD_SHIFT, "\x1b[Z", {}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Bytes(c.vk, c.ch, c.mods), c.bytes) << c.name;
        EXPECT_EQ(Decoded(c.sequence), c.bytes) << c.name << " (terminal)";
    }
}

TEST(KeyRecord, ReleasesAndKeysWithoutCharactersGiveNothing) {
    EXPECT_EQ(Bytes(VKEY_UP, 0, 0, 0), std::vector<int>{});
    EXPECT_EQ(Bytes(VK_A, 'a', 0, 0), std::vector<int>{});
    EXPECT_EQ(Bytes(VK_SHIFT, 0, KEYMOD_SHIFT), std::vector<int>{});
    EXPECT_EQ(Bytes(VK_MENU, 0, KEYMOD_LEFT_ALT), std::vector<int>{});
    // the keypad's middle key with Num Lock off
    EXPECT_EQ(Bytes(VK_CLEAR, 0), std::vector<int>{});
    // Ctrl-Space and Ctrl-@ make NUL, which would pose as an extended key's lead
    EXPECT_EQ(Bytes(' ', 0, KEYMOD_LEFT_CTRL), std::vector<int>{});
}

} // namespace
