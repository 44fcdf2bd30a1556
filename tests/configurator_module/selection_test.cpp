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
        ClearConfig(&g_config);
        // File 1: 2 windows of length 10; file 2: none; file 3: 16 windows of length 1.
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
    static std::string ErrorShown() {
        std::string all;
        for (const ConsoleEvent &e : ConsoleRecordEvents())
            if (e.kind == CE_WRITE)
                all += e.text;
        return all;
    }
};

TEST_F(Selection, FileNumbersStayWithinTheConfiguredFiles) {
    struct Case {
        uint32_t files;
        int typed, index;
    } cases[] = {
        {3, 1, 0}, {3, 3, 2}, {3, 4, 2}, {3, 999, 2},     {3, 0, 0},       {3, -5, 0},
        {0, 1, 0}, {0, 7, 0}, {1, 2, 0}, {292, 292, 291}, {292, 293, 291},
    };
    for (const Case &c : cases) {
        g_config.fileCount = c.files;
        EXPECT_EQ(SelectFileIndex(c.typed), c.index) << c.files << " files, typed " << c.typed;
    }
}

TEST_F(Selection, WindowNumbersStayWithinTheFilesWindows) {
    struct Case {
        int file, typed, index;
    } cases[] = {
        {0, 1, 0},   {0, 2, 1},   {0, 3, 1},   {0, 0, 0}, {1, 1, 0},  {1, 5, 0},
        {2, 16, 15}, {2, 17, 15}, {2, 99, 15}, {3, 1, 0}, {-1, 2, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SelectWindowIndex(c.file, c.typed), c.index)
            << "file index " << c.file << ", typed " << c.typed;
}

TEST_F(Selection, WindowsComeFromTheImageLayout) {
    ModuleWindow w;
    ASSERT_TRUE(FileWindow(0, 0, &w));
    EXPECT_EQ(w.status, 6);
    EXPECT_EQ(w.recordLength, 10);
    EXPECT_EQ(WindowNumberOffset(w), 7);
    EXPECT_EQ(WindowImageOffset(w), 8);
    EXPECT_EQ(WindowCommandOffset(w), 18);
    ASSERT_TRUE(FileWindow(0, 1, &w));
    EXPECT_EQ(w.status, 19);
    // File 2 has no windows, so file 3's block follows file 2's at once.
    ASSERT_TRUE(FileWindow(2, 15, &w));
    EXPECT_EQ(w.status, 32 + 4 + 4 + 15 * 4);
    EXPECT_EQ(w.recordLength, 1);
}

TEST_F(Selection, AFileWithoutWindowsGivesNone) {
    ModuleWindow w = {-1, -1};
    int index = SelectWindowIndex(1, 1);
    EXPECT_FALSE(FileWindow(1, index, &w));
    EXPECT_NE(ErrorShown().find("File 2 has no windows."), std::string::npos);
    EXPECT_EQ(w.status, -1);
}

TEST_F(Selection, NoFilesGiveNoWindow) {
    g_config.fileCount = 0;
    ModuleWindow w;
    EXPECT_FALSE(FileWindow(SelectFileIndex(1), 0, &w));
    EXPECT_NE(ErrorShown().find("File 1 is not configured."), std::string::npos);
}

TEST_F(Selection, WindowsOutsideTheFileOrTheRackInterfaceAreRefused) {
    ModuleWindow w;
    EXPECT_FALSE(FileWindow(0, 2, &w));
    EXPECT_FALSE(FileWindow(0, -1, &w));
    EXPECT_FALSE(FileWindow(3, 0, &w));
    // An image whose window would run past offset 2047 (a hand-made offset).
    g_config.files[0].windowOffset[1] = 2040;
    EXPECT_FALSE(FileWindow(0, 1, &w));
    g_config.files[0].windowOffset[1] = 2035; // 2035 + 13 = 2048: the last window that fits
    EXPECT_TRUE(FileWindow(0, 1, &w));
}

} // namespace
