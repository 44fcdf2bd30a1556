// Directory listing, drive substitutes and case-insensitive file names.
#include "platform/files.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(ListDirectory, NamesWithDirectoryFlagsWithoutDotOrHidden) {
    TempDir t;
    t.file("config.vrx");
    t.file("Other.VRX");
    t.file(".hidden");
    t.dir("sub");
    std::vector<DirItem> items;
    ASSERT_EQ(ListDirectory(t.path.c_str(), items), 1);
    std::sort(items.begin(), items.end(),
              [](const DirItem &a, const DirItem &b) { return a.name < b.name; });
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].name, "..");
    EXPECT_EQ(items[0].directory, 1);
    EXPECT_EQ(items[1].name, "Other.VRX");
    EXPECT_EQ(items[1].directory, 0);
    EXPECT_EQ(items[2].name, "config.vrx");
    EXPECT_EQ(items[3].name, "sub");
    EXPECT_EQ(items[3].directory, 1);
}

TEST(ListDirectory, UnreadableDirectoryListsNothing) {
    std::vector<DirItem> items{{"stale", 0}};
    EXPECT_EQ(ListDirectory("/nonexistent/forms_test_dir", items), 0);
    EXPECT_TRUE(items.empty());
}

TEST(ListDrives, RootThenHome) {
    TempDir t;
    const char *old = getenv("HOME");
    std::string saved = old != nullptr ? old : "";
    setenv("HOME", t.path.c_str(), 1);
    std::vector<DriveItem> drives = ListDrives();
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].path, "/");
    EXPECT_EQ(drives[1].path, t.path);
    setenv("HOME", "/", 1); // a home at the root adds nothing
    EXPECT_EQ(ListDrives().size(), 1u);
    unsetenv("HOME");
    EXPECT_EQ(ListDrives().size(), 1u);
    if (old != nullptr)
        setenv("HOME", saved.c_str(), 1);
}

TEST(ChangeDirectory, GoesThereAndRefusesTheImpossible) {
    TempDir t;
    t.dir("sub");
    CwdGuard guard;
    ASSERT_EQ(ChangeDirectory((t.path + "/sub").c_str()), 1);
    EXPECT_EQ(CurrentDirectory(), t.path + "/sub");
    EXPECT_EQ(ChangeDirectory("/nonexistent/forms_test_dir"), 0);
    EXPECT_EQ(ChangeDirectory(""), 0);
    EXPECT_EQ(CurrentDirectory(), t.path + "/sub");
}

TEST(MapFileName, FindsTheFileOnDiskIgnoringCase) {
    TempDir t;
    t.file("config.vrx");
    std::string real;
    EXPECT_EQ(MapFileName((t.path + "/CONFIG.VRX").c_str(), real), 1);
    EXPECT_EQ(real, t.path + "/config.vrx");

    CwdGuard guard;
    ASSERT_EQ(ChangeDirectory(t.path.c_str()), 1);
    EXPECT_EQ(MapFileName("Config.Vrx", real), 1);
    EXPECT_EQ(real, "config.vrx");
    EXPECT_EQ(MapFileName("NEW.VRX", real), 0);
    EXPECT_EQ(real, "NEW.VRX");
}

TEST(MapFileName, ExactNameWinsThenByteOrder) {
    TempDir t;
    t.file("a.txt");
    t.file("A.TXT");
    t.file("a.TXT");
    std::string real;
    EXPECT_EQ(MapFileName((t.path + "/a.TXT").c_str(), real), 1);
    EXPECT_EQ(real, t.path + "/a.TXT");
    EXPECT_EQ(MapFileName((t.path + "/A.txt").c_str(), real), 1);
    EXPECT_EQ(real, t.path + "/A.TXT");
}

TEST(OpenFile, ReadsTheExistingFileAndCreatesNewOnesAsNamed) {
    TempDir t;
    CwdGuard guard;
    ASSERT_EQ(ChangeDirectory(t.path.c_str()), 1);
    FILE *f = fopen("config.vrx", "w");
    ASSERT_NE(f, nullptr);
    fputs("OLD", f);
    fclose(f);

    f = OpenFile("CONFIG.VRX", "r");
    ASSERT_NE(f, nullptr);
    char buf[8] = {0};
    EXPECT_EQ(fread(buf, 1, 3, f), 3u);
    fclose(f);
    EXPECT_STREQ(buf, "OLD");

    // Rewriting keeps the one file; a new name is created in capitals.
    f = OpenFile("CONFIG.VRX", "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    f = OpenFile("NEW.VRX", "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    std::vector<DirItem> items;
    ListDirectory(".", items);
    std::vector<std::string> names;
    for (const DirItem &i : items)
        names.push_back(i.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"..", "NEW.VRX", "config.vrx"}));

    EXPECT_EQ(DeleteFile("Config.VRX"), 1);
    EXPECT_EQ(DeleteFile("Config.VRX"), 0);
    EXPECT_EQ(OpenFile("MISSING.VRX", "r"), nullptr);
}

} // namespace
