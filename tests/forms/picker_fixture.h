// Test fixture of the file picker: the screen on the recording console and a
// scratch directory as the current one.
#pragma once

#include "keys.h"
#include "platform/files.h"
#include "screen/picker.h"
#include "tempdir.h"

#include <cstdio>
#include <string>

class Picker : public FormsScreen {
  protected:
    TempDir dir;
    CwdGuard cwd;
    void SetUp() override {
        FormsScreen::SetUp();
        ASSERT_EQ(ChangeDirectory(dir.path.c_str()), 1);
    }
    // Makes count files F000.VRX, F001.VRX, ...
    void MakeFiles(int count) {
        for (int i = 0; i < count; i++) {
            char name[16];
            snprintf(name, sizeof name, "F%03d.VRX", i);
            dir.file(name);
        }
    }
    // The picker's answer, "" when it was left with ESC.
    static std::string Pick(const char *pattern, int dirs, const char *offered = "") {
        char result[10];
        snprintf(result, sizeof result, "%s", offered);
        int ok = PickFile(11, 38, pattern, result, dirs);
        EXPECT_EQ(ConsoleRecordStarved(), 0);
        return ok ? std::string(result) : std::string();
    }
};
