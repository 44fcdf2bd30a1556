// The files service as both systems give it: listing, the current directory,
// opening, deleting and replacing files.
#include "platform/files.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

std::vector<std::string> Names(const char *path) {
    std::vector<DirItem> items;
    ListDirectory(path, items);
    std::vector<std::string> names;
    for (const DirItem &i : items)
        names.push_back(i.name + (i.directory ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

std::string Content(const std::string &path) {
    FILE *f = OpenFile(path.c_str(), "rb");
    if (f == nullptr)
        return "(none)";
    char buf[64] = {0};
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    return std::string(buf, n);
}

void Write(const std::string &path, const char *text) {
    FILE *f = OpenFile(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fputs(text, f);
    fclose(f);
}

TEST(FilesService, ListsNamesAndDirectoriesWithParentWithoutDotOrHidden) {
    TempDir t;
    t.file("CONFIG.VRX");
    t.file("data.hex");
    t.file(".hidden");
    t.dir("SUB");
    EXPECT_EQ(Names(t.path.c_str()),
              (std::vector<std::string>{"../", "CONFIG.VRX", "SUB/", "data.hex"}));
    // an empty directory still has its parent
    EXPECT_EQ(Names((t.path + "/SUB").c_str()), (std::vector<std::string>{"../"}));
    std::vector<DirItem> items{{"stale", 0}};
    EXPECT_EQ(ListDirectory((t.path + "/MISSING").c_str(), items), 0);
    EXPECT_TRUE(items.empty());
}

TEST(FilesService, ChangesTheCurrentDirectory) {
    TempDir t;
    t.dir("SUB");
    CwdGuard guard;
    ASSERT_EQ(ChangeDirectory((t.path + "/SUB").c_str()), 1);
    EXPECT_TRUE(std::filesystem::equivalent(CurrentDirectory(), t.path + "/SUB"));
    EXPECT_EQ(Names("."), (std::vector<std::string>{"../"}));
    ASSERT_EQ(ChangeDirectory(".."), 1);
    EXPECT_TRUE(std::filesystem::equivalent(CurrentDirectory(), t.path));
    EXPECT_EQ(ChangeDirectory((t.path + "/MISSING").c_str()), 0);
    EXPECT_EQ(ChangeDirectory(""), 0);
    EXPECT_TRUE(std::filesystem::equivalent(CurrentDirectory(), t.path));
}

TEST(FilesService, OpensDeletesAndMapsNames) {
    TempDir t;
    CwdGuard guard;
    ASSERT_EQ(ChangeDirectory(t.path.c_str()), 1);
    Write("CONFIG.VRX", "OLD");
    EXPECT_EQ(Content("CONFIG.VRX"), "OLD");
    std::string real;
    EXPECT_EQ(MapFileName("CONFIG.VRX", real), 1);
    EXPECT_EQ(real, "CONFIG.VRX");
    EXPECT_EQ(MapFileName("NEW.VRX", real), 0);
    EXPECT_EQ(real, "NEW.VRX");
    EXPECT_EQ(OpenFile("MISSING.VRX", "r"), nullptr);
    EXPECT_EQ(DeleteFile("CONFIG.VRX"), 1);
    EXPECT_EQ(DeleteFile("CONFIG.VRX"), 0);
    EXPECT_EQ(Names("."), (std::vector<std::string>{"../"}));
}

TEST(FilesService, RenameOverReplacesAnOlderFile) {
    TempDir t;
    std::string scratch = t.path + "/BACKUP.$$$", target = t.path + "/BACKUP.740";
    Write(target, "older backup");
    Write(scratch, "new backup");
    // the backup's last step: its scratch file takes the place of the older one
    ASSERT_EQ(RenameOver(scratch.c_str(), target.c_str()), 1);
    EXPECT_EQ(Content(target), "new backup");
    EXPECT_EQ(Content(scratch), "(none)");
    // and with no older file there
    Write(scratch, "first");
    ASSERT_EQ(RenameOver(scratch.c_str(), (t.path + "/OTHER.740").c_str()), 1);
    EXPECT_EQ(Content(t.path + "/OTHER.740"), "first");
    EXPECT_EQ(RenameOver(scratch.c_str(), target.c_str()), 0);
    EXPECT_EQ(Content(target), "new backup");
    EXPECT_EQ(Names(t.path.c_str()), (std::vector<std::string>{"../", "BACKUP.740", "OTHER.740"}));
}

} // namespace
