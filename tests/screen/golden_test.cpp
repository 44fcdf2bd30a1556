// One scenario against golden text: the terminal as the user sees it, 80 by 25,
// with the error window open over a window whose field was edited by keys.
#include "screen_fixture.h"

#include <string>
#include <vector>

namespace {

// Box lines shown as plain signs so the golden text stays readable.
char Plain(int c) {
    switch (c) {
    case 0xC9:
    case 0xBB:
    case 0xC8:
    case 0xBC:
        return '+';
    case 0xCD:
        return '=';
    case 0xBA:
        return '|';
    default:
        return (char)c;
    }
}

// Attribute code digits of the terminal's colours (6 shows as 4).
char Code(int colour) {
    switch (colour) {
    case 0x17:
        return '0';
    case 0x71:
        return '1';
    case 0x1E:
        return '2';
    case 0x7E:
        return '3';
    case 0x1C:
        return '4';
    case 0x7C:
        return '5';
    case 0x6C:
        return '7';
    default:
        return '?';
    }
}

std::vector<std::string> seen_text, seen_colours;

void Look(int, int) {
    seen_text.clear();
    seen_colours.clear();
    for (int r = 0; r < 25; r++) {
        std::string text, colours;
        for (int c = 0; c < 80; c++) {
            text += Plain(ConsoleRecordChar(r, c));
            colours += Code(ConsoleRecordColour(r, c));
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        seen_text.push_back(text);
        seen_colours.push_back(colours);
    }
}

const ScreenText main_screen[] = {
    {1, 17, "VRX740 MAINTENANCE AND CONFIGURATION SOFTWARE", AT_HIGH},
    {24, 1, "Use initial capital letter or arrows and ENTER to select.", 0},
    {24, 42, "ENTER", AT_HIGH},
    {25, 1, "Type F10 to clear error window.  Type ESC to exit.", 0},
    {25, 6, "F10", AT_HIGH},
    {25, 39, "ESC", AT_HIGH},
    {0, 0, nullptr, 0},
};

using Golden = ScreenTest;

TEST_F(Golden, EditedFieldUnderTheErrorWindow) {
    DrawScreen(main_screen);
    ScreenWindow *w = OpenWindow(4, 20, 9, 60, "RECORD");
    PutField("Record number:", 6, 23, 0, ' ', 0);
    PutField("File name:", 7, 23, 0, ' ', 0);
    char number[8] = "150";
    char name[9] = "";
    // replace, Right keeps the old text, Home, Delete; a refused letter; ENTER
    Type("7\x1b[C\x1b[Hq9\x1b[3~\r");
    EXPECT_EQ(EditField(number, 6, 38, 6, '_', "0-9", "\r\x1b", 0x1A02), KEY_ENTER);
    EXPECT_STREQ(number, "9");
    Type("data\x1b[D\x1b[D\x7f\r");
    EXPECT_EQ(EditField(name, 7, 38, 8, '.', "A-Z0-9", "\r\x1b", 0x1A02), KEY_ENTER);
    EXPECT_STREQ(name, "DTA");
    AddHotKey(KEY_F9, Look);
    Type("\x1b[20~\x1b[21~");
    EXPECT_EQ(ShowError("File DTA does not exist"), 1);

    const std::vector<std::string> text = {
        "                VRX740 MAINTENANCE AND CONFIGURATION SOFTWARE",
        "",
        "",
        "                   +================RECORD=================+",
        "                   |                                       |",
        "                   |  Record number: 9                     |",
        "                   |  File name:     DTA                   |",
        "                   |                                       |",
        "                   +=======================================+",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "",
        "                                                   +==========ERROR===========+",
        "                                                   | File DTA does not exist  |",
        "Use initial capital letter or arrows and ENTER to s+==========================+",
        "Type F10 to clear error window.  Type ESC to exit.",
    };
    ASSERT_EQ(seen_text.size(), text.size());
    for (size_t r = 0; r < text.size(); r++)
        EXPECT_EQ(seen_text[r], text[r]) << "row " << r + 1;
    EXPECT_EQ(seen_colours[0].substr(14, 48), "00" + std::string(45, '2') + "0");
    EXPECT_EQ(seen_colours[5].substr(36, 8), "02222220") << "the field closed in its colour";
    EXPECT_EQ(seen_colours[21].substr(58, 9), "000011111");
    EXPECT_EQ(seen_colours[22].substr(50, 27), "000" + std::string(23, '4') + "0");

    CloseWindow(&w);
    Look(0, 0);
    EXPECT_EQ(seen_text[22], "");
    EXPECT_EQ(seen_text[23], "Use initial capital letter or arrows and ENTER to select.");
    EXPECT_EQ(seen_text[3], "");
    ExpectTerminalMatchesShadow();
}

} // namespace
