// The file picker's drives on POSIX: the root and the home directory.
#include "picker_fixture.h"

#include <cstdlib>

namespace {

// The home directory is the scratch directory, so "~" leads back there.
class PickerDrives : public Picker {
  protected:
    std::string home;
    void SetUp() override {
        Picker::SetUp();
        const char *h = getenv("HOME");
        home = h != nullptr ? h : "";
        setenv("HOME", dir.path.c_str(), 1);
    }
    void TearDown() override {
        if (!home.empty())
            setenv("HOME", home.c_str(), 1);
        Picker::TearDown();
    }
};

TEST_F(PickerDrives, DirectoriesDrivesAndParent) {
    dir.dir("sub");
    dir.file("sub/inner.vrx");
    dir.file("config.vrx");
    dir.file("notes.txt");
    SnapshotOnF2();
    Keys({KEY_F2, 27});
    Pick("*.VRX", 1);
    // Sorted names (.. first), then the root and home drives.
    EXPECT_EQ(snapshot.rows[14].substr(0, 10), "[ parent ]");
    EXPECT_EQ(snapshot.attrs[14].substr(0, 10), "3333333333");
    EXPECT_EQ(snapshot.rows[15].substr(0, 10), " CONFIG   ");
    EXPECT_EQ(snapshot.rows[16].substr(0, 10), "[SUB     ]");
    EXPECT_EQ(snapshot.attrs[16].substr(0, 10), "0222222220");
    EXPECT_EQ(snapshot.rows[17].substr(0, 10), "[/       ]");
    EXPECT_EQ(snapshot.rows[18].substr(0, 10), "[~       ]");
    EXPECT_EQ(snapshot.rows[19].substr(0, 10), std::string(10, ' '));

    // ENTER on SUB enters it; its file is listed; ENTER picks it.
    Keys({KEY_DOWN, KEY_DOWN, 13, KEY_DOWN, 13});
    EXPECT_EQ(Pick("*.VRX", 1), "INNER");
    EXPECT_EQ(CurrentDirectory(), dir.path + "/sub");
    // The parent leads back up; "~" goes home, "/" to the root.
    Keys({13, 27});
    EXPECT_EQ(Pick("*.VRX", 1), "");
    EXPECT_EQ(CurrentDirectory(), dir.path);
    ASSERT_EQ(ChangeDirectory("sub"), 1);
    Keys({KEY_DOWN, KEY_DOWN, KEY_DOWN, 13, 27}); // .., INNER, /, ~
    EXPECT_EQ(Pick("*.VRX", 1), "");
    EXPECT_EQ(CurrentDirectory(), dir.path);
}

TEST_F(PickerDrives, RootDrive) {
    dir.dir("sub");
    Keys({KEY_DOWN, KEY_DOWN, 13, 27}); // .., SUB, /
    EXPECT_EQ(Pick("*.VRX", 1), "");
    EXPECT_EQ(CurrentDirectory(), "/");
}

} // namespace
