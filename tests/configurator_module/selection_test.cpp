// File and window selection on the operation forms, and the window a file
// gives: pure rules on the PC image.
#include "configurator/config_model.h"
#include "configurator/module_access.h"
#include "platform/console_record.h"
#include "screen/screen.h"

#include <gtest/gtest.h>

namespace {

class Selection : public ::testing::Test {
  protected:
    void SetUp() override {
        ConsoleRecordStart();
        ScreenInit();
        // File 1: 2 windows of length 10; file 2: none; file 3: 16 of length 1.
        ClearConfig(&g_config);
        g_config.fileCount = 3;
        g_config.files[0] = {10, 2, 99, 2, {}};
        g_config.files[1] = {20, 0, 49, 0, {}};
        g_config.files[2] = {1, 16, 9, 0, {}};
        ASSERT_TRUE(CheckConfig(&g_config, false, nullptr));
    }
    void TearDown() override {
        ScreenExit();
        ConsoleRecordStop();
    }
};

TEST_F(Selection, TypedNumbersStayWithinTheFilesAndTheirWindows) {
    struct Case {
        uint32_t files;
        int typed, index;
    } files[] = {{3, 1, 0}, {3, 4, 2}, {3, 0, 0},      {3, -5, 0},
                 {0, 1, 0}, {0, 7, 0}, {292, 293, 291}};
    for (const Case &c : files) {
        g_config.fileCount = c.files;
        EXPECT_EQ(SelectFileIndex(c.typed), c.index) << c.files << " files, typed " << c.typed;
    }
    g_config.fileCount = 3;
    struct WindowCase {
        int file, typed, index;
    } windows[] = {{0, 2, 1}, {0, 3, 1}, {0, 0, 0}, {1, 5, 0}, {2, 17, 15}, {3, 1, 0}, {-1, 2, 0}};
    for (const WindowCase &c : windows)
        EXPECT_EQ(SelectWindowIndex(c.file, c.typed), c.index) << c.file << ", typed " << c.typed;
}

TEST_F(Selection, WindowsComeFromTheLayoutAndNeverFromAFileWithoutThem) {
    ModuleWindow w = {-1, -1};
    ASSERT_TRUE(FileWindow(0, 1, &w));
    EXPECT_EQ(w.status, 19);
    EXPECT_EQ(WindowCommandOffset(w), 31);
    // File 2 has no windows, so file 3's block follows file 2's at once.
    ASSERT_TRUE(FileWindow(2, 15, &w));
    EXPECT_EQ(w.status, 40 + 15 * 4);

    w = {-1, -1};
    EXPECT_FALSE(FileWindow(1, SelectWindowIndex(1, 1), &w));
    EXPECT_FALSE(FileWindow(0, 2, &w));
    EXPECT_FALSE(FileWindow(3, 0, &w));
    g_config.files[0].windowOffset[1] = 2040; // a hand-made window past 2047
    EXPECT_FALSE(FileWindow(0, 1, &w));
    EXPECT_EQ(w.status, -1);
    g_config.fileCount = 0;
    EXPECT_FALSE(FileWindow(SelectFileIndex(1), 0, &w));
    std::string shown;
    for (const ConsoleEvent &e : ConsoleRecordEvents())
        if (e.kind == CE_WRITE)
            shown += e.text;
    EXPECT_NE(shown.find("File 2 has no windows."), std::string::npos);
    EXPECT_NE(shown.find("File 1 is not configured."), std::string::npos);
}

} // namespace
