// Pop-up windows: frames, titles, and the screen put back in any closing order.
#include "screen_fixture.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

using Windows = ScreenTest;

// Fills the screen with a pattern of characters and colours.
void Pattern() {
    for (int r = 1; r <= 25; r++) {
        char text[81];
        for (int c = 0; c < 80; c++)
            text[c] = (char)('a' + (r * 7 + c) % 26);
        text[80] = 0;
        PutField(text, r, 1, 0, ' ', r % 8);
    }
}

std::string Snapshot() {
    std::string s;
    for (int r = 1; r <= 25; r++)
        for (int c = 1; c <= 132; c++) {
            s += (char)ScreenCharAt(r, c);
            s += (char)('0' + ScreenAttrAt(r, c));
        }
    return s;
}

TEST_F(Windows, FrameAndTitle) {
    ScreenWindow *w = OpenWindow(5, 10, 9, 30, "TITLE");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(ScreenCharAt(5, 10), 0xC9);
    EXPECT_EQ(ScreenCharAt(5, 30), 0xBB);
    EXPECT_EQ(ScreenCharAt(9, 10), 0xC8);
    EXPECT_EQ(ScreenCharAt(9, 30), 0xBC);
    EXPECT_EQ(ScreenCharAt(7, 10), 0xBA);
    EXPECT_EQ(ScreenCharAt(7, 30), 0xBA);
    EXPECT_EQ(ScreenCharAt(9, 20), 0xCD);
    EXPECT_EQ(ShadowText(7, 11, 29), std::string(19, ' '));
    // 0-based left 9, right 29, title 5: column (9 + 29 - 5 + 3) / 2 = 18
    EXPECT_EQ(ShadowText(5, 18, 22), "TITLE");
    EXPECT_EQ(ScreenAttrAt(5, 18), AT_REVERSE);
    EXPECT_EQ(ScreenAttrAt(5, 17), 0);
    ExpectTerminalMatchesShadow();
    CloseWindow(&w);
    EXPECT_EQ(w, nullptr);
}

TEST_F(Windows, FullWidthTitleIsCentred) {
    ScreenWindow *w = OpenWindow(1, 1, 5, 80, "0123456789");
    EXPECT_EQ(ShadowText(1, 36, 45), "0123456789");
    CloseWindow(&w);
}

TEST_F(Windows, TitleWiderThanTheWindowStaysInside) {
    Pattern();
    std::string before = Snapshot();
    ScreenWindow *w = OpenWindow(3, 40, 6, 45, "A VERY LONG TITLE");
    EXPECT_EQ(ShadowText(3, 40, 45), "A VERY");
    EXPECT_EQ(ScreenCharAt(3, 39), before[(2 * 132 + 38) * 2]);
    CloseWindow(&w);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(Windows, ClosingRestoresTheScreenAndTerminal) {
    Pattern();
    std::string before = Snapshot();
    ScreenWindow *w = OpenWindow(4, 20, 12, 60, "BOX");
    PutField("inside", 6, 22, 0, ' ', AT_HIGH);
    CloseWindow(&w);
    EXPECT_EQ(Snapshot(), before);
    ExpectTerminalMatchesShadow();
    CloseWindow(&w); // a closed handle is none: nothing happens
    CloseWindow(nullptr);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(Windows, ClosingInEveryOrder) {
    // three windows that do not overlap, closed in each of the six orders
    std::array<int, 3> order = {0, 1, 2};
    do {
        Pattern();
        std::string before = Snapshot();
        ScreenWindow *w[3] = {OpenWindow(2, 2, 6, 20, "ONE"), OpenWindow(8, 30, 14, 50, "TWO"),
                              OpenWindow(16, 60, 24, 79, "THREE")};
        for (int i : order) {
            CloseWindow(&w[i]);
            EXPECT_EQ(w[i], nullptr);
        }
        EXPECT_EQ(Snapshot(), before);
        ExpectTerminalMatchesShadow();
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(Windows, StackedWindowsClosedNewestFirst) {
    Pattern();
    std::string before = Snapshot();
    ScreenWindow *a = OpenWindow(5, 5, 20, 70, "A");
    std::string with_a = Snapshot();
    ScreenWindow *b = OpenWindow(8, 10, 15, 40, "B");
    CloseWindow(&b);
    EXPECT_EQ(Snapshot(), with_a);
    CloseWindow(&a);
    EXPECT_EQ(Snapshot(), before);
    ExpectTerminalMatchesShadow();
}

TEST_F(Windows, CornersOutOfRangeOrReversed) {
    Pattern();
    std::string before = Snapshot();
    ScreenWindow *w = OpenWindow(20, 90, 30, 200, "EDGE");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(ScreenCharAt(25, 132), 0xBC);
    ScreenWindow *v = OpenWindow(10, 40, 3, 5, "");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(ScreenCharAt(3, 5), 0xC9);
    EXPECT_EQ(ScreenCharAt(10, 40), 0xBC);
    CloseWindow(&w);
    CloseWindow(&v);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(Windows, ExitFreesWindowsLeftOpen) {
    // ScreenExit frees them; the leak checker of the sanitizer build sees to it
    OpenWindow(2, 2, 10, 10, "LEFT");
    OpenWindow(3, 3, 11, 11, "OPEN");
}

TEST_F(Windows, BlankBox) {
    Pattern();
    DrawBox(3, 3, 5, 10, 0);
    for (int r = 3; r <= 5; r++) {
        EXPECT_EQ(ShadowText(r, 3, 10), std::string(8, ' '));
        EXPECT_EQ(ScreenAttrAt(r, 3), 0);
    }
    EXPECT_NE(ScreenCharAt(3, 11), ' ');
    ExpectTerminalMatchesShadow();
}

} // namespace
