// Test fixture: the screen library on the recording console, a scratch
// directory as the start directory, and the messages of the error window.
#pragma once

#include "configurator/module_access.h"
#include "configurator/setup.h"
#include "platform/console_record.h"
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

// Every error window shown while keys pushed by AnswerErrors are read.
inline std::vector<std::string> shown_errors;

// Hot key of the fixture: reads the error window's message off the shadow.
inline void NoteErrorWindow(int, int) {
    std::string row;
    for (int c = 1; c <= CONSOLE_COLUMNS; c++)
        row += (char)ScreenCharAt(23, c);
    // the message stands between the window's two side bars
    size_t left = row.find('\xBA'), right = row.rfind('\xBA');
    if (left == std::string::npos || right <= left)
        return;
    std::string text = row.substr(left + 1, right - left - 1);
    size_t a = text.find_first_not_of(' '), b = text.find_last_not_of(' ');
    shown_errors.push_back(a == std::string::npos ? "" : text.substr(a, b - a + 1));
}

class ConfiguratorTest : public ::testing::Test {
  protected:
    std::string dir;
    std::string saved_cwd;

    void SetUp() override {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        std::random_device seed;
        for (int tries = 0; tries < 100 && dir.empty(); tries++) {
            std::filesystem::path p = base / ("configurator_test_" + std::to_string(seed()));
            if (std::filesystem::create_directory(p, ec))
                dir = p.string();
        }
        ASSERT_FALSE(dir.empty());
        saved_cwd = std::filesystem::current_path(ec).string();
        SetStartDirectory(dir);
        ConsoleRecordStart();
        ScreenInit();
        ConsoleRecordForget();
        AddHotKey(KEY_F9, NoteErrorWindow);
        shown_errors.clear();
        SetupDefaults(&g_setup);
        g_handle = nullptr;
        ActionBegin();
    }
    void TearDown() override {
        ScreenExit();
        ConsoleRecordStop();
        std::error_code ec;
        std::filesystem::current_path(saved_cwd, ec);
        if (ec)
            ADD_FAILURE() << "chdir back";
        std::filesystem::remove_all(dir, ec);
        SetStartDirectory(".");
    }
    // Lets n error windows be read and acknowledged with F10.
    static void AnswerErrors(int n) {
        const char keys[] = {(char)KEY_F9, (char)KEY_F10, 0};
        for (int i = 0; i < n; i++)
            PushKeys(keys);
    }
    // Raw terminal bytes the keyboard will give.
    static void Type(const std::string &bytes) { ConsoleRecordInput(bytes); }
    // Reads what was pushed and not used, so the next step starts clean.
    static void DrainKeys() {
        while (GetKey(0) != 0) {
        }
    }
    std::string Path(const char *name) const { return dir + "/" + name; }
};
