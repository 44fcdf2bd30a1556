// The Win32 console through the console functions of the screen library: key
// records in, cell rectangles out, and the user's console given back. Runs in
// a console of its own (under wine: a pty; see CMakeLists.txt).
#include "platform/console.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

HANDLE Open(const wchar_t *name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

// Queues one press and release of a key, as the keyboard would.
void Press(WORD vk, wchar_t ch, DWORD mods = 0) {
    HANDLE in = Open(L"CONIN$");
    INPUT_RECORD r[2] = {};
    for (int i = 0; i < 2; i++) {
        r[i].EventType = KEY_EVENT;
        r[i].Event.KeyEvent.bKeyDown = i == 0;
        r[i].Event.KeyEvent.wRepeatCount = 1;
        r[i].Event.KeyEvent.wVirtualKeyCode = vk;
        r[i].Event.KeyEvent.uChar.UnicodeChar = ch;
        r[i].Event.KeyEvent.dwControlKeyState = mods;
    }
    DWORD n = 0;
    WriteConsoleInputW(in, r, 2, &n);
    CloseHandle(in);
}

// The characters and attributes of count cells of the active screen buffer.
std::vector<CHAR_INFO> Cells(int row, int column, int count) {
    HANDLE out = Open(L"CONOUT$");
    std::vector<CHAR_INFO> cells((size_t)count);
    COORD size = {(SHORT)count, 1}, from = {0, 0};
    SMALL_RECT area = {(SHORT)column, (SHORT)row, (SHORT)(column + count - 1), (SHORT)row};
    ReadConsoleOutputW(out, cells.data(), size, from, &area);
    CloseHandle(out);
    return cells;
}

class Win32Console : public ::testing::Test {
  protected:
    void SetUp() override {
        HANDLE in = Open(L"CONIN$");
        ASSERT_NE(in, INVALID_HANDLE_VALUE) << "no console";
        FlushConsoleInputBuffer(in);
        CloseHandle(in);
        ConsoleSelect(nullptr);
    }
    void TearDown() override { ConsoleClose(); }
};

TEST_F(Win32Console, WaitingForAKeyTakesNothing) {
    ASSERT_EQ(ConsoleOpen(), 0);
    EXPECT_EQ(ConsoleKeyWaiting(), 0);
    Press(VK_UP, 0);
    Press('A', L'a');
    Press(VK_F1 + 9, 0);                // F10
    Press('X', L'x', LEFT_ALT_PRESSED); // dropped, as the terminal drops Alt keys
    Press(VK_ESCAPE, 0x1B);
    EXPECT_EQ(ConsoleKeyWaiting(), 1);
    EXPECT_EQ(ConsoleKeyWaiting(), 1);
    std::vector<int> keys;
    while (ConsoleKeyWaiting())
        keys.push_back(ConsoleGetch());
    EXPECT_EQ(keys, (std::vector<int>{0, 0x48, 'a', 0, 0x44, 0x1B}));
}

TEST_F(Win32Console, AKeyBehindManyRecordsWithoutKeysIsWaiting) {
    ASSERT_EQ(ConsoleOpen(), 0);
    // releases and shift presses give no key; twenty of them come first
    for (int i = 0; i < 10; i++)
        Press(VK_SHIFT, 0, SHIFT_PRESSED);
    Press('Z', L'z');
    EXPECT_EQ(ConsoleKeyWaiting(), 1);
    EXPECT_EQ(ConsoleGetch(), 'z');
    EXPECT_EQ(ConsoleKeyWaiting(), 0);
}

TEST_F(Win32Console, CellsAreUnicodeWithTheirAttributes) {
    ASSERT_EQ(ConsoleOpen(), 0);
    ConsoleMove(3, 10);
    ConsoleColour(0x1E);
    ConsoleWriteChars("\xC9\xCD\xBB A", 5); // a box corner and line, in code page 437
    ConsoleColour(0x70);
    ConsoleClearCells(3);
    ConsoleFlush();
    std::vector<CHAR_INFO> c = Cells(3, 10, 8);
    const wchar_t want[] = L"\u2554\u2550\u2557 A   ";
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(c[(size_t)i].Char.UnicodeChar, want[i]) << i;
        EXPECT_EQ(c[(size_t)i].Attributes, i < 5 ? 0x1E : 0x70) << i;
    }
    HANDLE out = Open(L"CONOUT$");
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
    EXPECT_EQ(info.dwSize.X, 80);
    EXPECT_EQ(info.dwSize.Y, 25);
    ConsoleMove(5, 7);
    ConsoleCursor(1);
    ConsoleFlush();
    CONSOLE_CURSOR_INFO cursor;
    ASSERT_TRUE(GetConsoleCursorInfo(out, &cursor));
    EXPECT_TRUE(cursor.bVisible);
    ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
    EXPECT_EQ(info.dwCursorPosition.X, 7);
    EXPECT_EQ(info.dwCursorPosition.Y, 5);
    ConsoleCursor(0);
    ConsoleFlush();
    ASSERT_TRUE(GetConsoleCursorInfo(out, &cursor));
    EXPECT_FALSE(cursor.bVisible);
    CloseHandle(out);
}

TEST_F(Win32Console, TheUsersConsoleComesBack) {
    HANDLE user = Open(L"CONOUT$");
    COORD at = {0, 0};
    DWORD n = 0;
    WriteConsoleOutputCharacterW(user, L"MARK", 4, at, &n);
    SetConsoleTitleW(L"the user's title");
    HANDLE in = Open(L"CONIN$");
    DWORD mode_before = 0, mode_taken = 0, mode_after = 0;
    GetConsoleMode(in, &mode_before);

    ASSERT_EQ(ConsoleOpen(), 0);
    GetConsoleMode(in, &mode_taken);
    EXPECT_EQ(mode_taken & (ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT), 0u);
    ConsoleMove(0, 0);
    ConsoleWriteChars("OURS", 4);
    ConsoleFlush();
    EXPECT_EQ(Cells(0, 0, 1)[0].Char.UnicodeChar, L'O');
    ConsoleClose();

    GetConsoleMode(in, &mode_after);
    EXPECT_EQ(mode_after, mode_before);
    std::vector<CHAR_INFO> c = Cells(0, 0, 4);
    EXPECT_EQ(std::wstring({c[0].Char.UnicodeChar, c[1].Char.UnicodeChar, c[2].Char.UnicodeChar,
                            c[3].Char.UnicodeChar}),
              L"MARK");
    wchar_t title[64] = {0};
    GetConsoleTitleW(title, 64);
    EXPECT_EQ(std::wstring(title), L"the user's title");
    CloseHandle(in);
    CloseHandle(user);
}

} // namespace
