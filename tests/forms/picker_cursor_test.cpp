// The picker's cursor as a pure function of the cursor, the key and the
// listing's length: 12 rows by 8 columns a page, 96 entries to a page.
#include "screen/picker.h"
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool Same(PickCursor a, PickCursor b) {
    return a.page == b.page && a.column == b.column && a.row == b.row;
}

std::string Show(PickCursor c) {
    return "{" + std::to_string(c.page) + "," + std::to_string(c.column) + "," +
           std::to_string(c.row) + "}";
}

TEST(PickCursor, MoveByKey) {
    struct Case {
        const char *what;
        PickCursor from;
        int key;
        int count;
        PickCursor expect;
    } cases[] = {
        {"down", {0, 0, 0}, KEY_DOWN, 30, {0, 0, 1}},
        {"down at the bottom row stays", {0, 0, 11}, KEY_DOWN, 30, {0, 0, 11}},
        {"up", {0, 2, 5}, KEY_UP, 30, {0, 2, 4}},
        {"up at the top row stays", {0, 0, 0}, KEY_UP, 30, {0, 0, 0}},
        {"right", {0, 0, 3}, KEY_RIGHT, 30, {0, 1, 3}},
        {"right into the last, short column", {0, 1, 3}, KEY_RIGHT, 30, {0, 2, 3}},
        {"right past the last filled column stays", {0, 2, 3}, KEY_RIGHT, 30, {0, 2, 3}},
        {"right to a cell past the end (settled later)", {0, 1, 5}, KEY_RIGHT, 24, {0, 2, 5}},
        {"right from the last column opens the next page", {0, 7, 4}, KEY_RIGHT, 200, {1, 7, 4}},
        {"and the one after", {1, 7, 4}, KEY_RIGHT, 200, {2, 7, 4}},
        {"right on a page of eight entries stays", {2, 0, 0}, KEY_RIGHT, 200, {2, 0, 0}},
        {"right from the last column of the only page stays", {0, 7, 4}, KEY_RIGHT, 96, {0, 7, 4}},
        {"left", {0, 3, 2}, KEY_LEFT, 30, {0, 2, 2}},
        {"left at the first column of the first page stays", {0, 0, 2}, KEY_LEFT, 30, {0, 0, 2}},
        {"left from the first column opens the page before", {1, 0, 2}, KEY_LEFT, 200, {0, 0, 2}},
        {"home", {1, 4, 7}, KEY_HOME, 200, {1, 0, 0}},
        {"end", {1, 0, 0}, KEY_END, 200, {1, 7, 11}},
        {"page down opens the next page at its first cell", {0, 3, 3}, KEY_PGDN, 200, {1, 0, 0}},
        {"page down on the last page goes to its last cell", {2, 0, 3}, KEY_PGDN, 200, {2, 7, 11}},
        {"page down on the only page", {0, 1, 1}, KEY_PGDN, 30, {0, 7, 11}},
        {"page up on the first page goes to its first cell", {0, 3, 3}, KEY_PGUP, 200, {0, 0, 0}},
        {"page up opens the page before at its last cell", {2, 1, 1}, KEY_PGUP, 200, {1, 7, 11}},
        {"enter leaves the cursor", {1, 2, 3}, KEY_ENTER, 200, {1, 2, 3}},
        {"a letter leaves the cursor", {1, 2, 3}, 'A', 200, {1, 2, 3}},
        {"down over an empty listing", {0, 0, 0}, KEY_DOWN, 0, {0, 0, 1}},
        {"right over an empty listing stays", {0, 0, 0}, KEY_RIGHT, 0, {0, 0, 0}},
        {"page down over an empty listing", {0, 0, 0}, KEY_PGDN, 0, {0, 7, 11}},
    };
    for (const Case &c : cases) {
        PickCursor got = PickCursorMove(c.from, c.key, c.count);
        EXPECT_TRUE(Same(got, c.expect))
            << c.what << ": " << Show(got) << " not " << Show(c.expect);
    }
}

TEST(PickCursor, SettlesOnTheLastEntry) {
    struct Case {
        const char *what;
        PickCursor from;
        int count;
        PickCursor expect;
    } cases[] = {
        {"an empty listing leaves it", {0, 7, 11}, 0, {0, 7, 11}},
        {"past the end of one page", {0, 7, 11}, 30, {0, 2, 5}},
        {"on the last entry stays", {0, 2, 5}, 30, {0, 2, 5}},
        {"before the last entry stays", {0, 1, 0}, 30, {0, 1, 0}},
        {"past the end of the third page", {2, 7, 11}, 200, {2, 0, 7}},
        {"a single entry", {0, 0, 5}, 1, {0, 0, 0}},
        {"past a full last column", {0, 2, 5}, 24, {0, 1, 11}},
    };
    for (const Case &c : cases) {
        PickCursor got = PickCursorSettle(c.from, c.count);
        EXPECT_TRUE(Same(got, c.expect))
            << c.what << ": " << Show(got) << " not " << Show(c.expect);
    }
}

TEST(PickCursor, EntryCountsPagesThenColumnsThenRows) {
    EXPECT_EQ(PickCursorEntry({0, 0, 0}), 0);
    EXPECT_EQ(PickCursorEntry({0, 0, 11}), 11);
    EXPECT_EQ(PickCursorEntry({0, 1, 0}), 12);
    EXPECT_EQ(PickCursorEntry({1, 2, 3}), 123);
}

TEST(PickCursor, PagingWalksEveryPageAndBack) {
    // Page Down from the first entry of 250 (three pages), settled after each key.
    PickCursor c = {0, 0, 0};
    const int count = 250;
    int entries[6];
    const int keys[6] = {KEY_PGDN, KEY_PGDN, KEY_PGDN, KEY_PGUP, KEY_PGUP, KEY_PGUP};
    for (int i = 0; i < 6; i++) {
        c = PickCursorSettle(PickCursorMove(c, keys[i], count), count);
        entries[i] = PickCursorEntry(c);
    }
    const int expect[6] = {96, 192, 249, 191, 95, 0};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(entries[i], expect[i]) << "key " << i;
}

} // namespace
