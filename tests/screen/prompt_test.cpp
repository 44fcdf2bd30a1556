// The error window and the yes/no question.
#include "screen_fixture.h"

#include <string>

namespace {

using Prompts = ScreenTest;

std::string Snapshot() {
    std::string s;
    for (int r = 1; r <= 25; r++)
        for (int c = 1; c <= 132; c++) {
            s += (char)ScreenCharAt(r, c);
            s += (char)('0' + ScreenAttrAt(r, c));
        }
    return s;
}

void Pattern() {
    for (int r = 1; r <= 25; r++)
        PutField("The quick brown fox jumps over the lazy dog, again and again!", r, 1, 80, '=',
                 r % 4);
}

// What the screen held while the prompt waited (a hot key looks).
std::string seen_row22, seen_row23;
int seen_attr;
void Look(int, int) {
    seen_row22.clear();
    seen_row23.clear();
    for (int c = 1; c <= 80; c++) {
        seen_row22 += (char)ScreenCharAt(22, c);
        seen_row23 += (char)ScreenCharAt(23, c);
    }
    seen_attr = ScreenAttrAt(23, 57);
}

TEST_F(Prompts, ErrorWindowHugsTheBottomRight) {
    Pattern();
    std::string before = Snapshot();
    AddHotKey(KEY_F9, Look);
    Type("\x1b[20~\x1b[21~");
    EXPECT_EQ(ShowError("12345678901234567890"), 1);
    EXPECT_EQ((unsigned char)seen_row22[54], 0xC9);
    EXPECT_EQ((unsigned char)seen_row22[78], 0xBB);
    EXPECT_EQ((unsigned char)seen_row23[54], 0xBA);
    EXPECT_EQ(seen_row23.substr(56, 20), "12345678901234567890");
    EXPECT_NE(seen_row22.find("ERROR"), std::string::npos);
    EXPECT_EQ(seen_attr, AT_ALERT);
    EXPECT_EQ(Snapshot(), before);
    ExpectTerminalMatchesShadow();
}

TEST_F(Prompts, ErrorWindowKeys) {
    struct Case {
        std::string typed;
        int result, bells;
    } cases[] = {
        {"\x1b[21~", 1, 1}, {"\x1b", 0, 1}, {"\n", 0, 1}, {"\r\x1b[21~", 1, 2}, {"xyz\x1b", 0, 4},
    };
    for (const Case &c : cases) {
        ConsoleRecordForget();
        Type(c.typed);
        EXPECT_EQ(ShowError("Something failed"), c.result) << c.typed;
        EXPECT_EQ(ConsoleRecordCount(CE_BELL), c.bells) << c.typed;
        EXPECT_EQ(ConsoleRecordStarved(), 0);
    }
}

TEST_F(Prompts, MessagesUpTo78CharactersAreShownWhole) {
    AddHotKey(KEY_F9, Look);
    for (int length : {74, 76, 78, 90}) {
        std::string message;
        for (int i = 0; i < length; i++)
            message += (char)('a' + i % 26);
        Type("\x1b[20~\x1b[21~");
        EXPECT_EQ(ShowError(message.c_str()), 1);
        size_t shown = length < 78 ? (size_t)length : 78;
        size_t column = length < 76 ? (size_t)(76 - length) : 0;
        EXPECT_EQ(seen_row23.substr(column, shown), message.substr(0, shown)) << length;
        EXPECT_EQ((unsigned char)seen_row22[78], 0xBB) << length;
    }
}

TEST_F(Prompts, LongMessagesStayOnTheScreen) {
    Pattern();
    std::string before = Snapshot();
    std::string message(200, 'M');
    Type("\x1b");
    EXPECT_EQ(ShowErrorF("%s and %d more", message.c_str(), 5), 0);
    EXPECT_EQ(Snapshot(), before);
    ExpectTerminalMatchesShadow();
    Type("n");
    EXPECT_EQ(Confirm(message.c_str()), 0);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(Prompts, ConfirmAnswers) {
    struct Case {
        std::string typed;
        int answer, bells;
    } cases[] = {
        {"Y", 1, 0}, {"y", 1, 0}, {"S", 1, 0},    {"s", 1, 0},          {"\r", 1, 0},
        {"N", 0, 0}, {"n", 0, 0}, {"\x1b", 0, 0}, {"x\x1b[21~y", 1, 2}, {"\n?n", 0, 2},
    };
    for (const Case &c : cases) {
        Pattern();
        std::string before = Snapshot();
        ConsoleRecordForget();
        Type(c.typed);
        EXPECT_EQ(Confirm("File exists, overwrite it?"), c.answer) << c.typed;
        EXPECT_EQ(ConsoleRecordCount(CE_BELL), c.bells) << c.typed;
        EXPECT_EQ(Snapshot(), before) << c.typed;
    }
}

TEST_F(Prompts, ConfirmWindowLayout) {
    AddHotKey(KEY_F9, Look);
    Type("\x1b[20~y");
    Confirm("Go on?");
    // window columns 1 to 11, question centred in columns 3 to 10
    EXPECT_EQ((unsigned char)seen_row22[0], 0xC9);
    EXPECT_EQ((unsigned char)seen_row22[10], 0xBB);
    EXPECT_EQ(seen_row23.substr(2, 8), " Go on? ");
    EXPECT_NE(seen_row22.find("CONFIRM"), std::string::npos);
}

} // namespace
