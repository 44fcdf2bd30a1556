// The Win32 files service: drive letters for the picker, backslash paths and
// names that ignore case.
#include "platform/files.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(FilesWin32, DrivesAreLettersInOrderEachGoingToItsRoot) {
    std::vector<DriveItem> drives = ListDrives();
    ASSERT_FALSE(drives.empty());
    bool have_c = false;
    for (size_t i = 0; i < drives.size(); i++) {
        const DriveItem &d = drives[i];
        ASSERT_EQ(d.name.size(), 2u);
        EXPECT_TRUE(d.name[0] >= 'A' && d.name[0] <= 'Z') << d.name;
        EXPECT_EQ(d.name[1], ':');
        EXPECT_EQ(d.path, d.name + "\\");
        if (i > 0) {
            EXPECT_LT(drives[i - 1].name, d.name);
        }
        have_c = have_c || d.name == "C:";
    }
    EXPECT_TRUE(have_c);
}

TEST(FilesWin32, ADriveRootIsListedAndBecomesTheCurrentDirectory) {
    CwdGuard guard;
    ASSERT_EQ(ChangeDirectory("C:\\"), 1);
    EXPECT_EQ(CurrentDirectory(), "C:\\");
    std::vector<DirItem> items;
    ASSERT_EQ(ListDirectory(".", items), 1);
    bool windows = false;
    for (const DirItem &i : items)
        windows =
            windows || (i.directory && i.name == "windows") || (i.directory && i.name == "Windows");
    EXPECT_TRUE(windows);
}

TEST(FilesWin32, BackslashPathsAndNamesInAnyCase) {
    TempDir t;
    t.dir("SUB");
    t.file("SUB\\config.vrx");
    CwdGuard guard;
    ASSERT_EQ(ChangeDirectory((t.path + "\\SUB").c_str()), 1);
    std::string here = CurrentDirectory();
    EXPECT_EQ(here.find('/'), std::string::npos) << here;
    EXPECT_EQ(here.substr(1, 2), ":\\");
    std::string real;
    EXPECT_EQ(MapFileName("CONFIG.VRX", real), 1);
    FILE *f = OpenFile("Config.Vrx", "r");
    EXPECT_NE(f, nullptr);
    if (f != nullptr)
        fclose(f);
    EXPECT_EQ(DeleteFile("CONFIG.VRX"), 1);
    EXPECT_EQ(MapFileName("CONFIG.VRX", real), 0);
}

} // namespace
