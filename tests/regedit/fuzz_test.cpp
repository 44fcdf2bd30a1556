// Seeded random input for VELDAK's parsers (arguments, routes, port settings,
// target forms) and for the editor's key step and moves: nothing overruns,
// every refusal is a whole message, and the editor's state stays in range.
#include "regedit/command_line.h"
#include "regedit/editor.h"
#include "regedit/target.h"
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

std::string RandomText(std::mt19937 &rng, size_t most) {
    static const char alphabet[] = "0123456789,. :;-/?abcdefxyzCOMSA85FI6RLDK\t\x01\xff";
    std::uniform_int_distribution<size_t> length(0, most), pick(0, sizeof alphabet - 2);
    std::string s(length(rng), ' ');
    for (char &c : s)
        c = alphabet[pick(rng)];
    return s;
}

void CheckMessages(const std::string &out) {
    if (!out.empty()) {
        EXPECT_EQ(out.back(), '\n') << out;
    }
}

TEST(Fuzz, ArgumentsRoutesAndTargets) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 4000; round++) {
        std::vector<std::string> words;
        int n = (int)(rng() % 6);
        for (int i = 0; i < n; i++) {
            std::string w = RandomText(rng, round % 10 == 0 ? 400 : 12);
            if (rng() % 2)
                w.insert(0, 1, rng() % 2 ? '-' : '/');
            words.push_back(w);
        }
        std::vector<const char *> argv{"VELDAK"};
        for (const std::string &w : words)
            argv.push_back(w.c_str());
        RunSettings s;
        SettingsDefaults(&s);
        std::string out;
        int r = ParseArguments((int)argv.size(), argv.data(), &s, &out);
        if (r == PARSE_OK) {
            // -? ends the run with the usage text, which has no final line end.
            EXPECT_EQ(out, "");
            EXPECT_GE(s.count, 1u);
            EXPECT_LE(s.count, 125u);
            EXPECT_LT(strlen(s.target), sizeof s.target);
            EXPECT_LT(strlen(s.routeText), sizeof s.routeText);
            std::string routeOut;
            uint16_t route[9];
            if (ParseRoute(s.routeText, route, &routeOut) == PARSE_OK) {
                EXPECT_LE(route[0], 8);
                EXPECT_EQ(routeOut, "");
            } else {
                CheckMessages(routeOut);
            }
            FoldCapitals(s.target);
            TargetKind kind = ClassifyTarget(s.target);
            if (kind == TARGET_COM) {
                SplitComTarget(&s);
                EXPECT_EQ(strlen(s.target), 5u);
                PortSettings p;
                std::string portOut;
                if (ParsePortSettings(s.portSettings, &p, &portOut)) {
                    EXPECT_GE(p.baud, 50);
                    EXPECT_LE(p.baud, 57600);
                    EXPECT_LE(p.parity, 4);
                } else {
                    CheckMessages(portOut);
                }
            } else if (kind == TARGET_TCP) {
                if (SplitTcpTarget(&s)) {
                    EXPECT_LE(s.tcpPort, 65535u);
                }
                EXPECT_EQ(strchr(s.target, ':'), nullptr);
            }
        } else if (out.find("Usage is:") == std::string::npos) {
            CheckMessages(out);
        }
    }
}

TEST(Fuzz, MovesKeepTheCursorAndStartInRange) {
    std::mt19937 rng(7);
    const int keys[] = {KEY_DOWN, KEY_UP,   KEY_LEFT, KEY_RIGHT, KEY_PGDN,
                        KEY_PGUP, KEY_HOME, 'Z',      0};
    std::unique_ptr<EditorState> e(new EditorState);
    for (int round = 0; round < 200; round++) {
        RunSettings s;
        SettingsDefaults(&s);
        s.count = 1 + rng() % 125;
        s.view6X = rng() % 2;
        s.maxRegister = rng() % 2 ? 8192 : 65535;
        s.start = (unsigned)(rng() % (s.maxRegister + 1));
        EditorInit(e.get(), &s, nullptr);
        for (int step = 0; step < 300; step++) {
            if (rng() % 7 == 0 && !e->blockFlag) {
                e->blockFlag = true; // as a value ended with Down or Up under -M
            } else if (rng() % 11 == 0) {
                e->blockFlag = false;
            }
            int key = keys[rng() % (sizeof keys / sizeof keys[0])];
            // As in the key step: any key but Down and Up writes the block and ends it.
            if (key != KEY_DOWN && key != KEY_UP)
                e->blockFlag = false;
            MoveByKey(e.get(), key);
            SettleAfterKey(e.get());
            long lowest = s.view6X ? 0 : 1;
            ASSERT_GE(e->start, lowest);
            ASSERT_LE(e->start + e->shownRows - 1, (long)s.maxRegister);
            ASSERT_GE(e->cursorRow, FIRST_ROW);
            ASSERT_LE(e->cursorRow, FIRST_ROW + e->shownRows - 1);
            ASSERT_GE(e->blockStartRow, FIRST_ROW);
            ASSERT_LE(e->blockStartRow, e->cursorRow);
            ASSERT_GE(e->blockEndRow, e->cursorRow);
            ASSERT_LE(e->blockEndRow - e->blockStartRow, SHOWN_ROWS_MAX - 1);
            ASSERT_GE(e->editMode, EDIT_REGISTER);
            ASSERT_LE(e->editMode, EDIT_SIGNED);
        }
    }
}

} // namespace
