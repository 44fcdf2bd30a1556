// Test fixture: the screen library on the recording console.
#pragma once

#include "platform/console_record.h"
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <string>

class ScreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ConsoleRecordStart();
        ScreenInit();
        ConsoleRecordForget();
    }
    void TearDown() override {
        ScreenExit();
        ConsoleRecordStop();
    }
    // Raw terminal bytes the keyboard will give.
    static void Type(const std::string &bytes) { ConsoleRecordInput(bytes); }
    // The shadow's characters of a 1-based row, columns from..to.
    static std::string ShadowText(int row, int from, int to) {
        std::string s;
        for (int c = from; c <= to; c++)
            s += (char)ScreenCharAt(row, c);
        return s;
    }
    // The recorded terminal's characters of a 1-based row, columns from..to.
    static std::string ShownText(int row, int from, int to) {
        return ConsoleRecordRow(row - 1).substr((size_t)from - 1, (size_t)(to - from + 1));
    }
    // Every cell the terminal shows equals the shadow (character and colour).
    static void ExpectTerminalMatchesShadow() {
        static const int colours[8] = {0x17, 0x71, 0x1E, 0x7E, 0x1C, 0x7C, 0x1C, 0x6C};
        for (int r = 1; r <= SCREEN_ROWS; r++)
            for (int c = 1; c <= CONSOLE_COLUMNS; c++) {
                ASSERT_EQ(ConsoleRecordChar(r - 1, c - 1), ScreenCharAt(r, c))
                    << "row " << r << " column " << c;
                ASSERT_EQ(ConsoleRecordColour(r - 1, c - 1), colours[ScreenAttrAt(r, c)])
                    << "row " << r << " column " << c;
            }
    }
};
