// The file picker: listing, pages, directories and typed names.
#include "picker_fixture.h"

namespace {

TEST_F(Picker, NinetySevenEntriesPageByPage) {
    MakeFiles(97);
    struct {
        const char *name;
        std::string keys;
        const char *result;
    } cases[] = {
        {"ENTER takes the first entry", "\r", "F000"},
        {"Down", KeyBytes({KEY_DOWN, KEY_DOWN, 13}), "F002"},
        {"Up on the first row stays", KeyBytes({KEY_UP, 13}), "F000"},
        {"Down stops at row 12",
         KeyBytes({KEY_END, KEY_HOME, KEY_DOWN, KEY_DOWN, KEY_DOWN, KEY_DOWN, KEY_DOWN, KEY_DOWN,
                   KEY_DOWN, KEY_DOWN, KEY_DOWN, KEY_DOWN, KEY_DOWN, KEY_DOWN, KEY_DOWN, 13}),
         "F011"},
        {"Right moves a column", KeyBytes({KEY_RIGHT, KEY_DOWN, 13}), "F013"},
        {"End is the page's last cell", KeyBytes({KEY_END, 13}), "F095"},
        {"Page Down shows the page of one", KeyBytes({KEY_PGDN, 13}), "F096"},
        {"Down there stays on it", KeyBytes({KEY_PGDN, KEY_DOWN, KEY_DOWN, 13}), "F096"},
        {"Page Down on the last page goes to its last cell", KeyBytes({KEY_PGDN, KEY_PGDN, 13}),
         "F096"},
        {"Page Up goes to the last cell of the page before", KeyBytes({KEY_PGDN, KEY_PGUP, 13}),
         "F095"},
        {"Page Up on page 0 goes to its first cell", KeyBytes({KEY_DOWN, KEY_PGUP, 13}), "F000"},
        {"Right from the last column opens the next page",
         KeyBytes({KEY_RIGHT, KEY_RIGHT, KEY_RIGHT, KEY_RIGHT, KEY_RIGHT, KEY_RIGHT, KEY_RIGHT,
                   KEY_RIGHT, 13}),
         "F096"},
        {"Left from the first column opens the page before at the same cell",
         KeyBytes({KEY_PGDN, KEY_LEFT, 13}), "F000"},
        {"Right on a page of one does nothing", KeyBytes({KEY_PGDN, KEY_RIGHT, 13}), "F096"},
        {"Left on page 0 column 0 does nothing", KeyBytes({KEY_LEFT, 13}), "F000"},
        {"a letter replaces the name", KeyBytes({KEY_DOWN, 'x', 'y', 13}), "XY"},
        {"ESC", "\x1b", ""},
    };
    for (auto &c : cases) {
        ConsoleRecordInput(c.keys);
        EXPECT_EQ(Pick("*.VRX", 0), c.result) << c.name;
    }
}

TEST_F(Picker, ColumnMovesAcrossFullPages) {
    MakeFiles(200); // pages of 96, 96 and 8 entries
    const std::string toLastColumn =
        KeyBytes({KEY_RIGHT, KEY_RIGHT, KEY_RIGHT, KEY_RIGHT, KEY_RIGHT, KEY_RIGHT, KEY_RIGHT});
    struct {
        const char *name;
        std::string keys;
        const char *result;
    } cases[] = {
        {"Right on the last column keeps column and row on the next page",
         toLastColumn + KeyBytes({KEY_DOWN, KEY_DOWN, KEY_DOWN, KEY_RIGHT, 13}), "F183"},
        {"Left on the first column keeps the row on the page before",
         KeyBytes({KEY_PGDN, KEY_DOWN, KEY_DOWN, KEY_LEFT, 13}), "F002"},
        {"Left on the new page moves one column back",
         toLastColumn + KeyBytes({KEY_DOWN, KEY_RIGHT, KEY_LEFT, 13}), "F169"},
        {"the page's last cell leads to the next page's last cell",
         toLastColumn + KeyBytes({KEY_END, KEY_RIGHT, 13}), "F191"},
        {"a cell past the end of a short page takes its last entry",
         toLastColumn + KeyBytes({KEY_END, KEY_RIGHT, KEY_RIGHT, 13}), "F199"},
        {"Left from that entry keeps its own cell on the page before",
         toLastColumn + KeyBytes({KEY_END, KEY_RIGHT, KEY_RIGHT, KEY_LEFT, 13}), "F103"},
    };
    for (auto &c : cases) {
        ConsoleRecordInput(c.keys);
        EXPECT_EQ(Pick("*.VRX", 0), c.result) << c.name;
    }
}

TEST_F(Picker, PageLayoutAndCurrentEntry) {
    MakeFiles(97);
    SnapshotOnF2();
    Keys({KEY_END, KEY_F2, KEY_PGDN, KEY_F2, 27});
    // Two snapshots: only the last is kept, so check the page of one here.
    EXPECT_EQ(Pick("*.VRX", 0), "");
    ASSERT_EQ(snapshot.taken, 2);
    EXPECT_EQ(snapshot.rows[14].substr(1, 8), "F096    ");
    EXPECT_EQ(snapshot.attrs[14].substr(1, 8), "33333333");
    for (int r = 15; r <= 25; r++)
        EXPECT_EQ(snapshot.rows[r], std::string(80, ' ')) << r;
    EXPECT_EQ(snapshot.rows[14].substr(9), std::string(71, ' '));
    // ESC clears the listing.
    EXPECT_EQ(ShadowText(14, 1, 80), std::string(80, ' '));
}

TEST_F(Picker, FirstPageColumns) {
    MakeFiles(97);
    SnapshotOnF2();
    Keys({KEY_F2, 27});
    Pick("*.VRX", 0);
    EXPECT_EQ(snapshot.rows[14].substr(1, 4), "F000");
    EXPECT_EQ(snapshot.rows[25].substr(1, 4), "F011");
    EXPECT_EQ(snapshot.rows[14].substr(11, 4), "F012");
    EXPECT_EQ(snapshot.rows[25].substr(71, 4), "F095");
    EXPECT_EQ(snapshot.attrs[14].substr(1, 8), "33333333"); // the current entry
    EXPECT_EQ(snapshot.attrs[15].substr(1, 8), "00000000");
    EXPECT_EQ(snapshot.console[11].substr(37, 8), "F000...."); // the name field
}

TEST_F(Picker, PatternsAndCase) {
    dir.file("config.vrx");
    dir.file("BACKUP.740");
    dir.file("Other.740");
    dir.file("readme");
    Keys({KEY_DOWN, 13});
    EXPECT_EQ(Pick("*.740", 0), "OTHER");
    Keys({KEY_DOWN, 13});
    EXPECT_EQ(Pick("*.vrx", 0), "CONFIG"); // one entry: Down stays on it
    // The picked name opens the file on disk whatever its case.
    FILE *f = OpenFile("CONFIG.VRX", "r");
    ASSERT_NE(f, nullptr);
    fclose(f);
}

TEST_F(Picker, LongNamesAreCutAndStillChosenWhole) {
    dir.file("verylongname.vrx");
    SnapshotOnF2();
    Keys({KEY_F2, 13});
    EXPECT_EQ(Pick("*.VRX", 0), "VERYLONGN"); // nine characters kept
    EXPECT_EQ(snapshot.rows[14].substr(1, 9), "VERYLONG ");
    EXPECT_EQ(snapshot.console[11].substr(37, 8), "VERYLONG");
    Keys({KEY_DEL, 13});
    EXPECT_EQ(Pick("*.VRX", 0), "ERYLONG"); // an edited name is the typed one
}

TEST_F(Picker, EmptyListingStillTakesATypedName) {
    int bells = ConsoleRecordCount(CE_BELL);
    Keys({13, KEY_DOWN, KEY_PGDN, KEY_END, KEY_RIGHT});
    Text("newfile\r");
    EXPECT_EQ(Pick("*.VRX", 0), "NEWFILE");
    EXPECT_GT(ConsoleRecordCount(CE_BELL), bells); // ENTER on nothing rang
    Keys({27});
    EXPECT_EQ(Pick("*.VRX", 0), "");
}

TEST_F(Picker, TypedNameNeedNotExist) {
    MakeFiles(3);
    Text("NOSUCH\r");
    EXPECT_EQ(Pick("*.VRX", 0), "NOSUCH");
}

TEST_F(Picker, OfferedNameWhenTheListStartsOnADirectory) {
    MakeFiles(2);
    Keys({13});
    EXPECT_EQ(Pick("*.VRX", 1, "lastname"), "LASTNAME");
    Keys({13});
    EXPECT_EQ(Pick("*.VRX", 0, "lastname"), "F000"); // a file entry wins
}

TEST_F(Picker, DrawFileEntryKinds) {
    FileEntry file = {{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I'}, FE_FILE};
    DrawFileEntry(14, 2, &file, 0);
    EXPECT_EQ(ShadowText(14, 1, 11), " ABCDEFGH  ");
    FileEntry parent = {{'.', '.'}, FE_DIRECTORY};
    DrawFileEntry(15, 72, &parent, 3);
    EXPECT_EQ(ShadowText(15, 71, 80), "[ parent ]");
    EXPECT_EQ(ShadowAttrs(15, 71, 80), "3333333333");
    FileEntry drive = {{'/'}, (uint8_t)(FE_DRIVE + 'A')};
    DrawFileEntry(16, 12, &drive, 0);
    EXPECT_EQ(ShadowText(16, 11, 20), "[/       ]");
    EXPECT_EQ(ShadowAttrs(16, 11, 20), "0222222220");
}

} // namespace
