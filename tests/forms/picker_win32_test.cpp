// The file picker's drives on Windows: the machine's drive letters, after the
// names, each leading to its root.
#include "picker_fixture.h"

namespace {

TEST_F(Picker, DrivesAreTheDriveLettersAfterTheNames) {
    dir.dir("sub");
    std::vector<DriveItem> drives = ListDrives();
    ASSERT_FALSE(drives.empty());
    SnapshotOnF2();
    Keys({KEY_F2, 27});
    EXPECT_EQ(Pick("*.VRX", 1), "");
    EXPECT_EQ(snapshot.rows[14].substr(0, 10), "[ parent ]");
    EXPECT_EQ(snapshot.rows[15].substr(0, 10), "[SUB     ]");
    for (size_t i = 0; i < drives.size() && i < 10; i++)
        EXPECT_EQ(snapshot.rows[16 + i].substr(0, 10), "[" + drives[i].name + "      ]") << i;

    // ENTER on the first drive goes to its root
    Keys({KEY_DOWN, KEY_DOWN, 13, 27});
    EXPECT_EQ(Pick("*.VRX", 1), "");
    EXPECT_EQ(CurrentDirectory(), drives[0].path);
}

} // namespace
