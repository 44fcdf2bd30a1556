// The terminal key decoder: each terminal family's sequences, junk dropped whole.
#include "platform/keydecode.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// Feeds bytes, then the escape time-out, and returns what came out.
std::vector<int> Decode(const std::string &bytes, bool timeout = true) {
    KeyDecoder d;
    KeyDecoderReset(&d);
    std::vector<int> out;
    for (unsigned char b : bytes) {
        KeyDecoderFeed(&d, b);
        for (int k; (k = KeyDecoderTake(&d)) >= 0;)
            out.push_back(k);
    }
    if (timeout)
        KeyDecoderTimeout(&d);
    for (int k; (k = KeyDecoderTake(&d)) >= 0;)
        out.push_back(k);
    return out;
}

std::vector<int> Ext(int scan) {
    return {0, scan};
}

struct Case {
    const char *family;
    std::string bytes;
    std::vector<int> keys;
};

TEST(KeyDecoder, SequencesOfEachTerminalFamily) {
    const Case cases[] = {
        {"xterm", "\x1b[A", Ext(SCAN_UP)},
        {"xterm", "\x1b[B", Ext(SCAN_DOWN)},
        {"xterm", "\x1b[C", Ext(SCAN_RIGHT)},
        {"xterm", "\x1b[D", Ext(SCAN_LEFT)},
        {"xterm", "\x1b[H", Ext(SCAN_HOME)},
        {"xterm", "\x1b[F", Ext(SCAN_END)},
        {"xterm", "\x1bOP", Ext(SCAN_F1)},
        {"xterm", "\x1bOS", Ext(SCAN_F1 + 3)},
        {"xterm", "\x1b[15~", Ext(SCAN_F1 + 4)},
        {"xterm", "\x1b[17~", Ext(SCAN_F1 + 5)},
        {"xterm", "\x1b[21~", Ext(SCAN_F1 + 9)},
        {"xterm", "\x1b[2~", Ext(SCAN_INSERT)},
        {"xterm", "\x1b[3~", Ext(SCAN_DELETE)},
        {"xterm", "\x1b[5~", Ext(SCAN_PGUP)},
        {"xterm", "\x1b[6~", Ext(SCAN_PGDN)},
        {"xterm", "\x1b[24~", Ext(SCAN_F12)},
        {"vt100", "\x1bOA", Ext(SCAN_UP)},
        {"vt100", "\x1bOD", Ext(SCAN_LEFT)},
        {"vt100", "\x1bOH", Ext(SCAN_HOME)},
        {"vt100", "\x1bOF", Ext(SCAN_END)},
        {"vt220", "\x1b[11~", Ext(SCAN_F1)},
        {"vt220", "\x1b[14~", Ext(SCAN_F1 + 3)},
        {"vt220", "\x1b[1~", Ext(SCAN_HOME)},
        {"vt220", "\x1b[4~", Ext(SCAN_END)},
        {"linux", "\x1b[[A", Ext(SCAN_F1)},
        {"linux", "\x1b[[E", Ext(SCAN_F1 + 4)},
        {"linux", "\x1b[19~", Ext(SCAN_F1 + 7)},
        {"rxvt/tmux", "\x1b[7~", Ext(SCAN_HOME)},
        {"rxvt/tmux", "\x1b[8~", Ext(SCAN_END)},
        {"tmux", "\x1b[20~", Ext(SCAN_F1 + 8)},
        {"plain", "a", {'a'}},
        {"plain", "\r", {13}},
        {"plain", "\n", {10}},
        {"backspace", "\x7f", {8}},
        {"ctrl-h", "\x08", {8}},
        {"lone ESC", "\x1b", {27}},
        {"Alt-x (ESC x in one burst)", "\x1bx", {}},
        {"Alt-x then a key", "\x1bxy", {'y'}},
        {"Alt-5",
         "\x1b"
         "5",
         {}},
        {"Alt-space", "\x1b ", {}},
        {"Alt-tilde", "\x1b~", {}},
        {"ESC then ENTER", "\x1b\r", {27, 13}},
        {"ESC then Backspace", "\x1b\x7f", {27, 8}},
        {"two ESC", "\x1b\x1b", {27, 27}},
        {"ESC then arrow", "\x1b\x1b[A", {27, 0, SCAN_UP}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Decode(c.bytes), c.keys) << c.family << " " << c.bytes.substr(1);
}

TEST(KeyDecoder, LoneEscapeIsAKeyOnceItsTimeHasPassed) {
    // ESC, the escape time with nothing more, then a letter: two keys.
    for (const char *next : {"x", "[", "O", "5"}) {
        KeyDecoder d;
        KeyDecoderReset(&d);
        KeyDecoderFeed(&d, 0x1b);
        EXPECT_TRUE(KeyDecoderPending(&d));
        EXPECT_EQ(KeyDecoderTake(&d), -1);
        KeyDecoderTimeout(&d);
        EXPECT_EQ(KeyDecoderTake(&d), 27) << next;
        KeyDecoderFeed(&d, (uint8_t)next[0]);
        EXPECT_EQ(KeyDecoderTake(&d), (uint8_t)next[0]) << next;
        EXPECT_EQ(KeyDecoderTake(&d), -1);
    }
}

TEST(KeyDecoder, ModifiedAndUnknownSequencesAreDroppedWhole) {
    const std::string junk[] = {
        "\x1b[1;5A",                          // Ctrl-Up
        "\x1b[3;2~",                          // Shift-Delete
        "\x1b[200~",                          // bracketed paste start
        "\x1b[?1;2c",                         // device attributes answer
        "\x1b[<0;10;5M",                      // mouse report
        "\x1b[I",                             // focus in
        "\x1bO5P",                            // modified F1
        "\x1b[99~",                           // no such key
        "\x1b[[Z",                            // no such Linux key
        "\x1b[" + std::string(60, '1') + "~", // over-long
    };
    for (const std::string &j : junk) {
        EXPECT_EQ(Decode(j + "k"), std::vector<int>{'k'}) << j.substr(1);
        EXPECT_EQ(Decode(j), std::vector<int>{}) << j.substr(1);
    }
}

TEST(KeyDecoder, HighBytesAndNulNeverComeThrough) {
    EXPECT_EQ(Decode("a\xc3\xa9"
                     "b"),
              (std::vector<int>{'a', 'b'})); // é
    EXPECT_EQ(Decode("\xe2\x82\xac"
                     "c"),
              (std::vector<int>{'c'})); // €
    EXPECT_EQ(Decode("\xf0\x9f\x98\x80"
                     "d"),
              (std::vector<int>{'d'})); // emoji
    EXPECT_EQ(Decode(std::string("\0e", 2)), (std::vector<int>{'e'}));
    EXPECT_EQ(Decode("\x8a\x9a\xff"), std::vector<int>{}); // stray bytes
}

TEST(KeyDecoder, BrokenSequenceKeepsTheKeyThatBrokeIt) {
    EXPECT_EQ(Decode("\x1b[1\r"), std::vector<int>{13});
    EXPECT_EQ(Decode("\x1b[1\x1b[B"), Ext(SCAN_DOWN));
}

TEST(KeyDecoder, IncompleteSequenceWaitsThenIsDropped) {
    KeyDecoder d;
    KeyDecoderReset(&d);
    for (unsigned char b : std::string("\x1b[1"))
        KeyDecoderFeed(&d, b);
    EXPECT_TRUE(KeyDecoderPending(&d));
    EXPECT_EQ(KeyDecoderTake(&d), -1);
    // the rest arrives in the next read: nothing was lost
    for (unsigned char b : std::string("5~"))
        KeyDecoderFeed(&d, b);
    EXPECT_EQ(KeyDecoderTake(&d), 0);
    EXPECT_EQ(KeyDecoderTake(&d), SCAN_F1 + 4);
    EXPECT_FALSE(KeyDecoderPending(&d));
    EXPECT_EQ(Decode("\x1b[1"), std::vector<int>{});
    EXPECT_EQ(Decode("\x1bO"), std::vector<int>{});
}

TEST(KeyDecoder, SeededRandomInputGivesOnlyWellFormedKeys) {
    const std::set<int> scans = {SCAN_F1,     SCAN_F1 + 1, SCAN_F1 + 2, SCAN_F1 + 3, SCAN_F1 + 4,
                                 SCAN_F1 + 5, SCAN_F1 + 6, SCAN_F1 + 7, SCAN_F1 + 8, SCAN_F1 + 9,
                                 SCAN_HOME,   SCAN_UP,     SCAN_PGUP,   SCAN_LEFT,   SCAN_RIGHT,
                                 SCAN_END,    SCAN_DOWN,   SCAN_PGDN,   SCAN_INSERT, SCAN_DELETE,
                                 SCAN_F11,    SCAN_F12};
    const char alphabet[] = "\x1b[O~;0123456789ABCDFHPQRS?<\x7f\xc3\xa9\r a";
    std::mt19937 rng(740);
    for (int round = 0; round < 2000; round++) {
        std::string input;
        int n = (int)(rng() % 40);
        for (int i = 0; i < n; i++)
            input +=
                (rng() % 4 == 0) ? (char)(rng() % 256) : alphabet[rng() % (sizeof alphabet - 1)];
        std::vector<int> out = Decode(input);
        for (size_t i = 0; i < out.size(); i++) {
            if (out[i] == 0) {
                ASSERT_LT(i + 1, out.size());
                ASSERT_TRUE(scans.count(out[i + 1])) << out[i + 1];
                i++;
            } else {
                ASSERT_GE(out[i], 1);
                ASSERT_LE(out[i], 0x7E);
            }
        }
    }
}

} // namespace
