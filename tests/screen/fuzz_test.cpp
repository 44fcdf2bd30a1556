// Seeded random runs of the field writer and the line-input field: no
// overrun, the text never beyond its width, the terminal always the shadow.
#include "screen_fixture.h"

#include <cstring>
#include <random>
#include <string>

namespace {

using Fuzz = ScreenTest;

TEST_F(Fuzz, RandomFieldsKeepTerminalAndShadowEqual) {
    std::mt19937 rng(2026);
    const int flags[] = {0, PF_CENTER, PF_RIGHT, PF_UPPER, PF_CENTER | PF_RIGHT};
    for (int round = 0; round < 3000; round++) {
        std::string text;
        int length = (int)(rng() % 150);
        for (int i = 0; i < length; i++)
            text += (char)(' ' + rng() % 95);
        int row = (int)(rng() % 30) - 2, column = (int)(rng() % 140) - 3;
        int width = (int)(rng() % 160) - 5;
        PutField(text.c_str(), row, column, width, "_ .-"[rng() % 4],
                 flags[rng() % 5] | (int)(rng() % 8));
        if (rng() % 50 == 0)
            ClearToEndOfLine((int)(rng() % 27), (int)(rng() % 134));
        if (rng() % 200 == 0)
            ClearToEndOfScreen((int)(rng() % 27), (int)(rng() % 134));
    }
    ExpectTerminalMatchesShadow();
}

TEST_F(Fuzz, RandomKeysIntoRandomFields) {
    std::mt19937 rng(740);
    const char *const keys[] = {"a",         "Z",      "5",      " ",       "-",       "\x1b[C",
                                "\x1b[D",    "\x1b[H", "\x1b[F", "\x1b[3~", "\x7f",    "\x04",
                                "\x15",      "\x19",   "\x12",   "\x06",    "\x1b[2~", "\xc3\xa9",
                                "\x1b[1;5C", "q",      "0"};
    const char *const masks[] = {"0-9", "A-Z0-9", " -~", " 01", "-0-9", "a-z "};
    const int flag_choices[] = {0,
                                EF_PAD,
                                EF_PAD | EF_RIGHT,
                                EF_PAD | EF_CENTER,
                                EF_INITIAL,
                                EF_REPLACE,
                                EF_INITIAL | EF_REPLACE | EF_UPPER,
                                EF_AUTOEXIT,
                                EF_OVERWRITE,
                                EF_QUIET,
                                EF_HIDDEN};
    for (int round = 0; round < 1500; round++) {
        int width = (int)(rng() % 21);
        char buffer[64];
        std::memset(buffer, 'Q', sizeof buffer);
        int initial = (int)(rng() % 30);
        for (int i = 0; i < initial; i++)
            buffer[i] = (char)('a' + rng() % 26);
        buffer[initial] = 0;
        char original[sizeof buffer];
        std::memcpy(original, buffer, sizeof buffer);
        int flags = flag_choices[rng() % 11] | flag_choices[rng() % 11] | (int)(rng() % 8);
        std::string typed;
        int count = (int)(rng() % 30);
        for (int i = 0; i < count; i++)
            typed += keys[rng() % (sizeof keys / sizeof keys[0])];
        typed += "\r";
        ConsoleRecordInput(typed);
        int key = EditField(buffer, (int)(rng() % 25) + 1, (int)(rng() % 70) + 1, width,
                            "_. "[rng() % 3], masks[rng() % 6], "\r\x8a\x8b", flags);
        ASSERT_TRUE(key == KEY_ENTER || key == KEY_ESC) << round;
        ASSERT_EQ(std::memcmp(buffer + width + 1, original + width + 1,
                              sizeof buffer - (size_t)width - 1),
                  0)
            << "written beyond width + 1 bytes in round " << round;
        ASSERT_LE(strnlen(buffer, (size_t)width + 1), (size_t)width) << round;
        if (flags & EF_HIDDEN) {
            // a hidden text stays masked on the terminal while the shadow holds it
            ClearToEndOfScreen(1, 1);
        }
        ExpectTerminalMatchesShadow();
        // whatever the field did not read is dropped before the next round
        while (GetKey(0) != 0) {
        }
        InsertMode = 1;
    }
}

} // namespace
