// Test helpers: the screen library on the recording console, and key codes
// turned into the raw bytes a terminal sends for them.
#pragma once

#include "platform/console_record.h"
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

// The bytes a terminal sends for a sequence of key codes; text pieces are
// given as plain strings between the codes.
std::string KeyBytes(std::initializer_list<int> codes);

class FormsScreen : public ::testing::Test {
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
    // Keys the keyboard will give: codes, then plain text.
    static void Keys(std::initializer_list<int> codes) { ConsoleRecordInput(KeyBytes(codes)); }
    static void Text(const std::string &text) { ConsoleRecordInput(text); }
    // The shadow's characters of a 1-based row, columns from..to.
    static std::string ShadowText(int row, int from, int to) {
        std::string s;
        for (int c = from; c <= to; c++)
            s += (char)ScreenCharAt(row, c);
        return s;
    }
    // The shadow's attribute codes of a row, as digits.
    static std::string ShadowAttrs(int row, int from, int to) {
        std::string s;
        for (int c = from; c <= to; c++)
            s += (char)('0' + ScreenAttrAt(row, c));
        return s;
    }
};

// A snapshot of the screen taken by a hot key (F2) while a menu waits.
struct Snapshot {
    std::string rows[SCREEN_ROWS + 1];    // 1-based, 80 characters each
    std::string attrs[SCREEN_ROWS + 1];   // attribute codes as digits
    std::string console[SCREEN_ROWS + 1]; // what the terminal shows
    int taken;
};
extern Snapshot snapshot;
// Registers F2 to take the snapshot.
void SnapshotOnF2(void);
