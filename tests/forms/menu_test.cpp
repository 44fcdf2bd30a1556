// Menu bar, pull-downs and pop-up lists.
#include "keys.h"

namespace {

const char *CONFIG_TABLE[] = {"Configuration",
                              "Fetch configuration from module",
                              "Edit configuration in PC memory",
                              "print Configuration data.",
                              "print Map of rack interface.",
                              "Load from disk to PC memory",
                              "Write from PC memory to disk",
                              "Send configuration to VRX740 module",
                              "Delete configuration file",
                              nullptr,
                              "Transfer",
                              "Sequential file load",
                              "Keyed file load",
                              "Unload data to file",
                              "Delete data file",
                              nullptr,
                              "Backup",
                              "Backup module to disk",
                              "Restore module from disk",
                              "Delete backup file",
                              nullptr,
                              "Utilities",
                              "View module registers",
                              "Erase VRX740 file",
                              "Transferred file record length conversion",
                              nullptr,
                              "Protect",
                              "Lock configuration",
                              "Unlock configuration",
                              "Set write protect",
                              "Clear write protect",
                              nullptr,
                              "Setup",
                              nullptr,
                              "Quit",
                              nullptr,
                              nullptr};

const char *TITLES[] = {"Configuration", "Transfer", "Backup", "Utilities",
                        "Protect",       "Setup",    "Quit",   nullptr};

TEST(MenuBarLayout, ConfiguratorTitles) {
    int columns[MENU_MAX_GROUPS];
    EXPECT_EQ(MenuBarLayout(TITLES, 7, columns), 4);
    const int expected[] = {1, 18, 30, 40, 53, 64, 73};
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(columns[i], expected[i]) << "title " << i;
}

TEST(MenuBarLayout, OneTitleAndTitlesTooLongForTheRow) {
    int columns[MENU_MAX_GROUPS];
    const char *one[] = {"Only", nullptr};
    EXPECT_EQ(MenuBarLayout(one, 1, columns), 0);
    EXPECT_EQ(columns[0], 1);
    const char *wide[] = {"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA",
                          "BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB", nullptr};
    EXPECT_EQ(MenuBarLayout(wide, 2, columns), 1);
    EXPECT_EQ(columns[1], 46);
}

TEST(MenuLetter, FirstCapital) {
    EXPECT_EQ(MenuLetter("print Configuration data."), 'C');
    EXPECT_EQ(MenuLetter("print Map of rack interface."), 'M');
    EXPECT_EQ(MenuLetter("Hex file"), 'H');
    EXPECT_EQ(MenuLetter("no capitals"), 0);
    EXPECT_EQ(MenuLetter(""), 0);
}

class Menu : public FormsScreen {};

struct BarCase {
    const char *name;
    std::string keys;
    int initial;
    int result;
};

TEST_F(Menu, BarChoices) {
    const BarCase cases[] = {
        {"u opens Utilities, ENTER takes its first item", "u\r", 0, 401},
        {"U works the same", "U\r", 0, 401},
        {"s chooses Setup at once", "s", 0, 600},
        {"q chooses Quit", "q", 0, 700},
        {"ESC on the bar", "\x1b", 0, 0},
        {"F1 on the bar", KeyBytes({KEY_F1}), 0, 0},
        {"C in Configuration", "\rC", 0, 103},
        {"M in Configuration", "\rM", 0, 104},
        {"lower-case letters fold", "\rm", 0, 104},
        {"Right in a pull-down opens the next", KeyBytes({13, KEY_RIGHT, 13}), 0, 201},
        {"Left in a pull-down opens the previous", KeyBytes({13, KEY_LEFT, 13}), 201, 101},
        {"Right in Protect moves to Setup", KeyBytes({13, KEY_RIGHT, 13}), 501, 600},
        {"Right on the last title stays", KeyBytes({KEY_RIGHT, 13}), 700, 700},
        {"Left on the first title stays", KeyBytes({KEY_LEFT, 13, 13}), 100, 101},
        {"Down on the last item stays", KeyBytes({13, KEY_DOWN, 13}), 108, 108},
        {"Up on the first item stays", KeyBytes({13, KEY_UP, 13}), 101, 101},
        {"Down then ENTER", KeyBytes({13, KEY_DOWN, KEY_DOWN, 13}), 0, 103},
        {"ESC in a pull-down returns to the bar", KeyBytes({13, 27, KEY_RIGHT, 13, 13}), 0, 201},
        {"ESC in a pull-down, ESC on the bar", KeyBytes({13, 27, 27}), 0, 0},
        {"the starting choice reopens where the user was", "\r\r", 302, 302},
        {"a line feed on the bar opens the pull-down", "\n\r", 400, 401},
        {"arrows then ENTER on the bar", KeyBytes({KEY_RIGHT, KEY_RIGHT, 13, 13}), 100, 301},
    };
    for (const BarCase &c : cases) {
        ConsoleRecordInput(c.keys);
        EXPECT_EQ(MenuBar(CONFIG_TABLE, 4, c.initial), c.result) << c.name;
        EXPECT_EQ(ConsoleRecordStarved(), 0) << c.name;
    }
}

TEST_F(Menu, UnknownLetterRingsAndWaits) {
    int bells = ConsoleRecordCount(CE_BELL);
    Text("zq");
    EXPECT_EQ(MenuBar(CONFIG_TABLE, 4, 0), 700);
    EXPECT_EQ(ConsoleRecordCount(CE_BELL), bells + 1);
}

TEST_F(Menu, BarColours) {
    SnapshotOnF2();
    Keys({KEY_RIGHT, KEY_F2, 27});
    EXPECT_EQ(MenuBarSelect(TITLES, 4, 1), 0);
    ASSERT_EQ(snapshot.taken, 1);
    const std::string &row = snapshot.rows[4];
    const std::string &attrs = snapshot.attrs[4];
    EXPECT_EQ(row.substr(0, 17), "Configuration    ");
    EXPECT_EQ(row.substr(72, 8), "Quit    ");
    // Bar reverse with capitals reverse-high; the current title (Transfer)
    // normal with its capital high.
    EXPECT_EQ(attrs.substr(0, 14), "31111111111111");
    EXPECT_EQ(attrs.substr(17, 9), "20000000"
                                   "1");
    EXPECT_EQ(attrs.substr(76, 4), "1111");
    // The chosen title is high throughout.
    Text("b");
    EXPECT_EQ(MenuBarSelect(TITLES, 4, 2), 3);
    EXPECT_EQ(ShadowAttrs(4, 30, 35), "222222");
    EXPECT_EQ(ShadowAttrs(4, 18, 25), "31111111");
}

TEST_F(Menu, PullDownPlaceColoursAndRestoredScreen) {
    PutField("under the menu", 8, 45, 0, ' ', 0);
    std::string before[SCREEN_ROWS + 1];
    for (int r = 1; r <= SCREEN_ROWS; r++)
        before[r] = ShadowText(r, 1, 80);
    SnapshotOnF2();
    // Utilities: its longest item (41 characters) from column 40 would pass
    // column 80, so the list moves left to end there.
    Keys({'u', KEY_DOWN, KEY_F2, 27, 27});
    EXPECT_EQ(MenuBar(CONFIG_TABLE, 4, 0), 0);
    ASSERT_EQ(snapshot.taken, 1);
    EXPECT_EQ((unsigned char)snapshot.rows[5][36], 0xC9); // frame at column 37
    EXPECT_EQ((unsigned char)snapshot.rows[5][79], 0xBB); // to column 80
    EXPECT_EQ((unsigned char)snapshot.rows[9][79], 0xBC); // 3 items: rows 5 to 9
    EXPECT_EQ(snapshot.rows[7].substr(37, 18), "Erase VRX740 file ");
    EXPECT_EQ(snapshot.attrs[6].substr(37, 6), "200000");      // View...: normal
    EXPECT_EQ(snapshot.attrs[7].substr(37, 10), "3111113331"); // current: reverse
    EXPECT_EQ(snapshot.attrs[7].substr(37 + 41, 1), "1");      // padded in reverse
    for (int r = 5; r <= SCREEN_ROWS; r++)
        EXPECT_EQ(ShadowText(r, 1, 80), before[r]) << "row " << r;
}

TEST_F(Menu, PopupPlacesLongListsToEndAtColumn80) {
    std::string longItem = "Long item" + std::string(51, 'x');
    const char *items[] = {longItem.c_str(), "Second", nullptr};
    SnapshotOnF2();
    Keys({KEY_F2, 13});
    EXPECT_EQ(PopupMenu(items, 6, 30, 1, 0), 1);
    EXPECT_EQ((unsigned char)snapshot.rows[6][17], 0xC9); // column 18
    EXPECT_EQ((unsigned char)snapshot.rows[6][79], 0xBB); // column 80
}

TEST_F(Menu, PopupLettersArrowsAndSideKeysOff) {
    const char *items[] = {"Hex file", "Binary file", "Decimal file", nullptr};
    struct {
        std::string keys;
        int initial;
        int result;
    } cases[] = {
        {"b", 1, 2},
        {"D", 1, 3},
        {KeyBytes({KEY_RIGHT, KEY_LEFT, 13}), 2, 2}, // no side keys: arrows do nothing
        {KeyBytes({KEY_DOWN, KEY_DOWN, KEY_DOWN, 13}), 1, 3},
        {"\r", 9, 3}, // initial clamped to the list
        {"\r", -4, 1},
        {"\x1b", 1, 0},
        {KeyBytes({KEY_F1}), 2, 0},
    };
    for (auto &c : cases) {
        ConsoleRecordInput(c.keys);
        EXPECT_EQ(PopupMenu(items, 6, 18, c.initial, 0), c.result) << c.keys;
    }
    int bells = ConsoleRecordCount(CE_BELL);
    Text("x\r");
    EXPECT_EQ(PopupMenu(items, 6, 18, 1, 0), 1);
    EXPECT_EQ(ConsoleRecordCount(CE_BELL), bells + 1);
    const char *none[] = {nullptr};
    EXPECT_EQ(PopupMenu(none, 6, 18, 1, 0), 0);
    EXPECT_EQ(ConsoleRecordStarved(), 0);
}

TEST_F(Menu, SideKeysLeaveThroughTheTypeAhead) {
    const char *items[] = {"One", "Two", nullptr};
    Keys({KEY_RIGHT});
    EXPECT_EQ(PopupMenu(items, 6, 18, 1, 1), 0);
    // What the bar reads next: the arrow, then a line feed.
    EXPECT_EQ(GetKey(0), KEY_RIGHT);
    EXPECT_EQ(GetKey(0), KEY_LINEFEED);
    EXPECT_EQ(GetKey(0), 0);
}

TEST_F(Menu, TableWithTooManyGroupsShowsNine) {
    const char *table[] = {"Aa",    nullptr, "Bb",    nullptr, "Cc",    nullptr, "Dd",
                           nullptr, "Ee",    nullptr, "Ff",    nullptr, "Gg",    nullptr,
                           "Hh",    nullptr, "Ii",    nullptr, "Jj",    nullptr, nullptr};
    Text("j");
    Text("i");
    EXPECT_EQ(MenuBar(table, 1, 0), 900);
    const char *empty[] = {nullptr};
    EXPECT_EQ(MenuBar(empty, 1, 0), 0);
}

} // namespace
