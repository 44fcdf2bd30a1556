// The shadow screen's field writer: what reaches the terminal, alignment, clipping.
#include "screen_fixture.h"

#include <string>
#include <vector>

namespace {

struct Write {
    int row, column;
    std::string text;
    bool operator==(const Write &o) const {
        return row == o.row && column == o.column && text == o.text;
    }
};

std::ostream &operator<<(std::ostream &os, const Write &w) {
    return os << "(" << w.row << "," << w.column << ",\"" << w.text << "\")";
}

// The writes since the last Forget, each with the cursor it was written at.
std::vector<Write> Writes() {
    std::vector<Write> out;
    for (const ConsoleEvent &e : ConsoleRecordEvents())
        if (e.kind == CE_WRITE)
            out.push_back({e.row, e.column, e.text});
    return out;
}

using DiffWriter = ScreenTest;

TEST_F(DiffWriter, SameFieldTwiceSendsNothing) {
    PutField("HELLO", 5, 10, 12, '.', AT_HIGH);
    ConsoleRecordForget();
    PutField("HELLO", 5, 10, 12, '.', AT_HIGH);
    EXPECT_TRUE(ConsoleRecordEvents().empty());
}

TEST_F(DiffWriter, ChangeOfColourAloneIsWritten) {
    PutField("HELLO", 5, 10, 0, ' ', 0);
    ConsoleRecordForget();
    PutField("HELLO", 5, 10, 0, ' ', AT_REVERSE);
    EXPECT_EQ(Writes(), (std::vector<Write>{{4, 9, "HELLO"}}));
    EXPECT_EQ(ConsoleRecordColour(4, 9), 0x71);
}

TEST_F(DiffWriter, ShortLeadRidesAlongLongGapIsSkipped) {
    PutField("AXCDEFGHIY", 3, 1, 0, ' ', 0);
    ConsoleRecordForget();
    PutField("ABCDEFGHIJ", 3, 1, 0, ' ', 0);
    EXPECT_EQ(Writes(), (std::vector<Write>{{2, 0, "AB"}, {2, 9, "J"}}));
    EXPECT_EQ(ConsoleRecordCount(CE_MOVE), 2);
    // one colour for the field, then the normal colour back
    EXPECT_EQ(ConsoleRecordCount(CE_COLOUR), 2);
    ExpectTerminalMatchesShadow();
}

TEST_F(DiffWriter, GapOfFiveMergesGapOfSixSplits) {
    struct Case {
        const char *before, *after;
        std::vector<Write> writes;
    } cases[] = {
        {"..........", "X.....Y...", {{0, 0, "X.....Y"}}},
        {"..........", "X......Y..", {{0, 0, "X"}, {0, 7, "Y"}}},
        {"..........", "......X...", {{0, 6, "X"}}},      // lead of 6 is skipped
        {"..........", ".....X....", {{0, 0, ".....X"}}}, // lead of 5 rides along
        {"..........", "..........", {}},
    };
    for (const Case &c : cases) {
        PutField(c.before, 1, 1, 0, ' ', 0);
        ConsoleRecordForget();
        PutField(c.after, 1, 1, 0, ' ', 0);
        EXPECT_EQ(Writes(), c.writes) << c.after;
        EXPECT_EQ(ConsoleRecordCount(CE_MOVE), (int)c.writes.size()) << c.after;
        ExpectTerminalMatchesShadow();
    }
}

TEST_F(DiffWriter, AlignmentAndCutting) {
    struct Case {
        const char *text;
        int width, flags;
        const char *shadow;
    } cases[] = {
        {"AB", 10, PF_CENTER, "----AB----"},
        {"AB", 10, PF_RIGHT, "--------AB"},
        {"AB", 10, PF_CENTER | PF_RIGHT, "----AB----"},
        {"AB", 10, 0, "AB--------"},
        {"ABC", 10, PF_CENTER, "---ABC----"},
        {"ABCDE", 3, PF_RIGHT, "ABC"},
        {"abc1z", 0, PF_UPPER, "ABC1Z"},
        {"", 4, 0, "----"},
    };
    for (const Case &c : cases) {
        ClearToEndOfScreen(1, 1);
        PutField(c.text, 7, 5, c.width, '-', c.flags);
        std::string expect = c.shadow;
        EXPECT_EQ(ShadowText(7, 5, 4 + (int)expect.size()), expect) << c.text << " " << c.flags;
        EXPECT_EQ(ScreenCharAt(7, 5 + (int)expect.size()), ' ') << "nothing beyond the field";
        ExpectTerminalMatchesShadow();
    }
}

TEST_F(DiffWriter, PositionsAreClamped) {
    struct Case {
        int row, column;
        int shadow_row, shadow_column;
    } cases[] = {
        {0, 1, 1, 1}, {-5, 3, 1, 3}, {26, 1, 25, 1},   {99, 2, 25, 2},
        {4, 0, 4, 1}, {4, -7, 4, 1}, {4, 200, 4, 132},
    };
    for (const Case &c : cases) {
        ClearToEndOfScreen(1, 1);
        PutField("Q", c.row, c.column, 0, ' ', 0);
        EXPECT_EQ(ScreenCharAt(c.shadow_row, c.shadow_column), 'Q') << c.row << "," << c.column;
    }
}

TEST_F(DiffWriter, FieldsAreCutAtTheShadowsEdge) {
    PutField("ABCDEFGHIJ", 2, 130, 10, ' ', 0);
    EXPECT_EQ(ShadowText(2, 130, 132), "ABC");
    EXPECT_EQ(ScreenCharAt(3, 1), ' ') << "nothing spills into the next row";
    std::string longer(300, 'L');
    PutField(longer.c_str(), 5, 1, 0, ' ', 0);
    EXPECT_EQ(ShadowText(5, 1, 132), std::string(132, 'L'));
    EXPECT_EQ(ScreenCharAt(6, 1), ' ');
    PutField(longer.c_str(), 8, 1, 500, '*', PF_CENTER);
    EXPECT_EQ(ScreenCharAt(9, 1), ' ');
    // columns beyond 80 live in the shadow only; the terminal still matches within 80
    ExpectTerminalMatchesShadow();
}

TEST_F(DiffWriter, FormattedFieldsAreCutNotOverrun) {
    std::string huge(400, 'x');
    PutFieldF("%s|%d", 1, 1, 0, ' ', 0, huge.c_str(), 42);
    EXPECT_EQ(ShadowText(1, 1, 132), std::string(132, 'x'));
    PutFieldF("R%03d", 2, 1, 6, ' ', PF_RIGHT, 7);
    EXPECT_EQ(ShadowText(2, 1, 6), "  R007");
}

TEST_F(DiffWriter, ClearingBlanksShadowAndTerminal) {
    for (int r = 1; r <= 25; r++)
        PutField("0123456789012345678901234567890123456789", r, 1, 80, '#', AT_HIGH);
    ClearToEndOfLine(3, 11);
    EXPECT_EQ(ShadowText(3, 1, 12), "0123456789  ");
    ClearToEndOfScreen(20, 5);
    EXPECT_EQ(ShadowText(20, 1, 6), "0123  ");
    EXPECT_EQ(ShadowText(25, 1, 3), "   ");
    EXPECT_EQ(ShadowText(19, 1, 3), "012");
    ExpectTerminalMatchesShadow();
}

TEST_F(DiffWriter, TextTableAndDrawScreen) {
    static const ScreenText table[] = {
        {3, 17, "TITLE OF THE SCREEN", AT_HIGH},
        {24, 1, "Use initial capital letter or arrows and ENTER to select.", 0},
        {24, 42, "ENTER", AT_HIGH},
        {0, 0, nullptr, 0},
    };
    PutField("stale", 1, 1, 0, ' ', 0);
    PutField("stale", 10, 1, 0, ' ', 0);
    DrawScreen(table);
    EXPECT_EQ(ShadowText(1, 1, 5), "stale") << "rows above the first text are kept";
    EXPECT_EQ(ShadowText(10, 1, 5), "     ");
    EXPECT_EQ(ShadowText(3, 17, 35), "TITLE OF THE SCREEN");
    EXPECT_EQ(ScreenAttrAt(24, 42), AT_HIGH);
    EXPECT_EQ(ScreenAttrAt(24, 41), 0);
    ExpectTerminalMatchesShadow();
}

TEST_F(DiffWriter, RepaintRedrawsEveryCellFromTheShadow) {
    PutField("NORMAL", 1, 1, 0, ' ', 0);
    PutField("HIGH", 1, 7, 0, ' ', AT_HIGH);
    PutField("ALERT", 12, 40, 0, ' ', AT_ALERT | AT_REVERSE | AT_HIGH);
    PutField("  gap  ", 20, 1, 0, ' ', AT_REVERSE);
    ConsoleRecordStart(); // the terminal forgets everything
    RepaintPending = 1;
    PutField("X", 25, 80, 0, ' ', 0);
    EXPECT_EQ(RepaintPending, 0);
    ExpectTerminalMatchesShadow();
    EXPECT_EQ(ConsoleRecordColour(11, 39), 0x6C);
}

TEST_F(DiffWriter, BellFlag) {
    PutField("X", 1, 1, 0, ' ', PF_BELL);
    EXPECT_EQ(ConsoleRecordCount(CE_BELL), 1);
}

} // namespace
