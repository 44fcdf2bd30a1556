// The line-input field: masks, editing keys, flags, and what the screen keeps.
#include "screen_fixture.h"

#include <cstring>
#include <string>

namespace {

using Field = ScreenTest;

const char *const ARROWS_ENTER = "\r\x8a\x8b"; // ENTER, Down, Up
const char *const WITH_ESC = "\r\x1b\x8a\x8b";

struct Outcome {
    int key;
    std::string text;
    int bells;
};

// Edits a field at row 10, column 5 with the typed terminal bytes.
Outcome Edit(const char *initial, int width, const char *allowed, const char *terminators,
             int flags, const std::string &typed, int fill = '_') {
    char buffer[140];
    std::memset(buffer, 'Q', sizeof buffer);
    std::strcpy(buffer, initial);
    ConsoleRecordForget();
    ConsoleRecordInput(typed);
    int key = EditField(buffer, 10, 5, width, fill, allowed, terminators, flags);
    EXPECT_EQ(ConsoleRecordStarved(), 0) << "the field wanted more keys than were typed";
    EXPECT_EQ(buffer[width + 1], 'Q') << "written beyond width + 1 bytes";
    return {key, std::string(buffer, strnlen(buffer, (size_t)width + 1)),
            ConsoleRecordCount(CE_BELL)};
}

struct Case {
    const char *name;
    const char *initial;
    int width;
    const char *allowed;
    const char *terminators;
    int flags;
    std::string typed;
    int key;
    const char *text;
    int bells; // -1: not checked
};

TEST_F(Field, EditingKeysAndFlags) {
    const Case cases[] = {
        {"first key replaces", "123", 6, "0-9", ARROWS_ENTER, 0x1A02, "7\r", KEY_ENTER, "7", 0},
        {"moving first keeps the text", "123", 6, "0-9", ARROWS_ENTER, 0x1A02, "\x1b[C7\r",
         KEY_ENTER, "1723", 0},
        {"terminator ends with the text", "12", 6, "0-9", ARROWS_ENTER, EF_INITIAL, "\x1b[D5\x1b[B",
         KEY_DOWN, "152", 0},
        {"Up is a terminator", "12", 6, "0-9", ARROWS_ENTER, EF_INITIAL, "\x1b[A", KEY_UP, "12", 0},
        {"ESC empties the text", "abc", 6, "a-z", ARROWS_ENTER, EF_INITIAL, "x\x1b", KEY_ESC, "",
         0},
        {"ESC as a terminator keeps it", "abc", 6, "a-z", WITH_ESC, EF_INITIAL, "x\x1b", KEY_ESC,
         "abcx", 0},
        {"no initial text", "999", 6, "0-9", ARROWS_ENTER, 0, "12\r", KEY_ENTER, "12", 0},
        {"full in insert mode: bell even quiet", "1234", 4, "0-9", ARROWS_ENTER,
         EF_INITIAL | EF_QUIET,
         "\x1b[H"
         "9\r",
         KEY_ENTER, "1234", 1},
        {"full at the end, quiet", "1234", 4, "0-9", ARROWS_ENTER, EF_INITIAL | EF_QUIET, "9\r",
         KEY_ENTER, "1234", 0},
        {"full at the end, not quiet", "1234", 4, "0-9", ARROWS_ENTER, EF_INITIAL, "9\r", KEY_ENTER,
         "1234", 1},
        {"auto exit", "", 3, "0-9", ARROWS_ENTER, EF_AUTOEXIT, "123", KEY_ENTER, "123", 0},
        {"auto exit after replace", "45", 2, "0-9", ARROWS_ENTER,
         EF_AUTOEXIT | EF_INITIAL | EF_REPLACE, "12", KEY_ENTER, "12", 0},
        {"pad right", "", 6, "A-Z", ARROWS_ENTER, EF_PAD | EF_RIGHT, "AB\r", KEY_ENTER, "    AB",
         0},
        {"pad centre", "", 6, "A-Z", ARROWS_ENTER, EF_PAD | EF_CENTER, "AB\r", KEY_ENTER, "  AB  ",
         0},
        {"pad centre wins", "", 7, "A-Z", ARROWS_ENTER, EF_PAD | EF_CENTER | EF_RIGHT, "AB\r",
         KEY_ENTER, "  AB   ", 0},
        {"pad", "", 6, "A-Z", ARROWS_ENTER, EF_PAD, "AB\r", KEY_ENTER, "AB    ", 0},
        {"right stops at the end", "12", 6, "0-9", ARROWS_ENTER, EF_INITIAL, "\x1b[C3\r", KEY_ENTER,
         "123", 0},
        {"right over empty cells", "12", 6, " 0-9", ARROWS_ENTER, EF_INITIAL, "\x1b[C3\r",
         KEY_ENTER, "12 3", 0},
        {"right to the last cell", "", 3, " 0-9", ARROWS_ENTER, EF_QUIET,
         "\x1b[C\x1b[C\x1b[C\x1b[C"
         "5\r",
         KEY_ENTER, "", 0},
        {"overwrite flag", "1010", 4, " 01", ARROWS_ENTER, EF_INITIAL | EF_OVERWRITE,
         "\x1b[H"
         "11\r",
         KEY_ENTER, "1110", 0},
        {"backspace inside", "abcd", 8, "a-z", ARROWS_ENTER, EF_INITIAL, "\x1b[D\x1b[D\x7f\r",
         KEY_ENTER, "acd", 0},
        {"backspace at the end", "abcd", 8, "a-z", ARROWS_ENTER, EF_INITIAL, "\x08\r", KEY_ENTER,
         "abc", 0},
        {"backspace at the start", "abcd", 8, "a-z", ARROWS_ENTER, EF_INITIAL, "\x01\x7f\r",
         KEY_ENTER, "abcd", 0},
        {"delete", "abcd", 8, "a-z", ARROWS_ENTER, EF_INITIAL, "\x1b[H\x1b[3~\r", KEY_ENTER, "bcd",
         0},
        {"ctrl-v deletes", "abcd", 8, "a-z", ARROWS_ENTER, EF_INITIAL, "\x01\x16\x16\r", KEY_ENTER,
         "cd", 0},
        {"delete at the end", "abcd", 8, "a-z", ARROWS_ENTER, EF_INITIAL, "\x1b[3~\r", KEY_ENTER,
         "abcd", 0},
        {"delete to end", "abcd", 8, "a-z", ARROWS_ENTER, EF_INITIAL, "\x01\x1b[C\x04\r", KEY_ENTER,
         "a", 0},
        {"delete to start", "abcd", 8, "a-z", ARROWS_ENTER, EF_INITIAL, "\x1b[D\x15\r", KEY_ENTER,
         "d", 0},
        {"clear", "abcd", 8, "a-z", ARROWS_ENTER, EF_INITIAL, "\x19x\r", KEY_ENTER, "x", 0},
        {"home and end", "bc", 8, "a-z", ARROWS_ENTER, EF_INITIAL, "\x1b[Ha\x1b[Fd\r", KEY_ENTER,
         "abcd", 0},
        {"word left", "abc def ghi", 20, "a-z ", ARROWS_ENTER, EF_INITIAL, "\x12x\x1b[D\x12y\r",
         KEY_ENTER, "abcy defx ghi", 0},
        {"word right", "abc def ghi", 20, "a-z ", ARROWS_ENTER, EF_INITIAL, "\x01\x06z\r",
         KEY_ENTER, "abc zdef ghi", 0},
        {"capitals", "", 6, "A-Z", ARROWS_ENTER, EF_UPPER, "ab\r", KEY_ENTER, "AB", 0},
        {"no capitals: refused", "", 6, "A-Z", ARROWS_ENTER, 0, "ab\r", KEY_ENTER, "", 2},
        {"refused quietly", "", 6, "0-9", ARROWS_ENTER, EF_QUIET, "x\x1b[6~\r", KEY_ENTER, "", 0},
        {"bell on open", "", 6, "0-9", ARROWS_ENTER, EF_BELL, "\r", KEY_ENTER, "", 1},
        {"high bytes never arrive", "", 10, " -~", ARROWS_ENTER, 0,
         "a\xc3\xa9\x8a"
         "b\r",
         KEY_ENTER, "ab", 0},
        {"unknown sequences never arrive", "", 10, " -~", ARROWS_ENTER, 0, "\x1b[1;5Ca\x1b[200~b\r",
         KEY_ENTER, "ab", 0},
        {"insert key toggles", "abc", 6, "a-z", ARROWS_ENTER, EF_INITIAL,
         "\x1b[H\x1b[2~x\x1b[2~y\r", KEY_ENTER, "xybc", 0},
    };
    for (const Case &c : cases) {
        InsertMode = 1;
        Outcome o = Edit(c.initial, c.width, c.allowed, c.terminators, c.flags, c.typed);
        EXPECT_EQ(o.key, c.key) << c.name;
        EXPECT_EQ(o.text, c.text) << c.name;
        if (c.bells >= 0) {
            EXPECT_EQ(o.bells, c.bells) << c.name;
        }
        EXPECT_EQ(InsertMode, 1) << c.name;
        ExpectTerminalMatchesShadow();
    }
}

TEST_F(Field, InsertModeCarriesOverToTheNextField) {
    Outcome o = Edit("abc", 6, "a-z", ARROWS_ENTER, EF_INITIAL, "\x1b[2~\x01x\r");
    EXPECT_EQ(o.text, "xbc");
    EXPECT_EQ(InsertMode, 0);
    o = Edit("abc", 6, "a-z", ARROWS_ENTER, EF_INITIAL, "\x01y\r");
    EXPECT_EQ(o.text, "ybc");
    InsertMode = 1;
}

TEST_F(Field, ShadowTakesTheResultAndFillDisappears) {
    Outcome o = Edit("123", 6, "0-9", ARROWS_ENTER, 0x1A02, "7\r", '_');
    EXPECT_EQ(o.text, "7");
    EXPECT_EQ(ShadowText(10, 5, 10), "7     ");
    for (int c = 5; c <= 10; c++)
        EXPECT_EQ(ScreenAttrAt(10, c), AT_HIGH);
    EXPECT_EQ(ShownText(10, 5, 10), "7     ");
    EXPECT_EQ(ConsoleRecordColour(9, 4), 0x1E);
    EXPECT_FALSE(ConsoleRecordCursorShown());
    ExpectTerminalMatchesShadow();
    // writing the same value again afterwards sends nothing
    ConsoleRecordForget();
    PutField("7", 10, 5, 6, ' ', AT_HIGH);
    EXPECT_EQ(ConsoleRecordCount(CE_WRITE), 0);
}

std::string peeked;
void Peek(int, int) {
    peeked = ConsoleRecordRow(9).substr(4, 6);
}

TEST_F(Field, FillShowsWhileEditing) {
    char buffer[8] = "12";
    ConsoleRecordInput("3");
    // a hot key looks at the terminal while the field is open
    AddHotKey(KEY_F9, Peek);
    ConsoleRecordInput("\x1b[20~\r");
    EditField(buffer, 10, 5, 6, '.', "0-9", ARROWS_ENTER, EF_INITIAL);
    EXPECT_EQ(peeked, "123...");
    EXPECT_STREQ(buffer, "123");
}

TEST_F(Field, UnpaddedResultIsZeroedToWidth) {
    char buffer[10];
    std::memset(buffer, 'Q', sizeof buffer);
    std::memcpy(buffer, "abcdef", 6);
    ConsoleRecordInput("\x08\x08\x08\r");
    EditField(buffer, 1, 1, 6, ' ', "a-z", ARROWS_ENTER, EF_INITIAL);
    EXPECT_EQ(std::string(buffer, 7), std::string("abc\0\0\0\0", 7));
    EXPECT_EQ(buffer[7], 'Q');
}

TEST_F(Field, HiddenTextStaysMasked) {
    Outcome o = Edit("", 8, "a-z", ARROWS_ENTER, EF_HIDDEN, "pw\r", '*');
    EXPECT_EQ(o.text, "pw");
    EXPECT_EQ(ShadowText(10, 5, 6), "pw");
    EXPECT_EQ(ShownText(10, 5, 7), "** ");
}

std::vector<int> positions;
void RecordPosition(int, int position) {
    positions.push_back(position);
}

TEST_F(Field, HotKeysSeeTheCursorOffset) {
    positions.clear();
    AddHotKey(KEY_F2, RecordPosition);
    Outcome o = Edit("abc", 6, "a-z", ARROWS_ENTER, EF_INITIAL, "\x1b[D\x1bOQ\x1b[12~\x1b[Hx\r");
    EXPECT_EQ(positions, (std::vector<int>{2, 2}));
    EXPECT_EQ(o.text, "xabc");
}

TEST_F(Field, FieldIsCutAtTheShadowsEdge) {
    char buffer[140] = "";
    ConsoleRecordInput("abcdef\r");
    EditField(buffer, 3, 130, 50, ' ', "a-z", ARROWS_ENTER, 0);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(ShadowText(3, 130, 132), "abc");
    EXPECT_EQ(ScreenCharAt(4, 1), ' ');
}

TEST(CharSetMasks, RangesAndLiterals) {
    struct Case {
        const char *mask;
        std::string in, out;
    } cases[] = {
        {"-0-9", "-0123456789", "+./:aA"},
        {"0-9A-F", "0123456789ABCDEF", "Gabcdef-/:@"},
        {"A-Z0-9$.\\_~:", "AZ09$.\\_~:", "a-/;@[]^`{}"},
        {"0-9-A", "0123456789:;<=>?@A", "B/-"},
        {"a-", "a-", "b`"},
        {"z-a", "za", "bmy-"},
        {"", "", "a0-"},
        {"\r\x1b\x8a\x8b", "\r\x1b\x8a\x8b", "\n\x8c"},
    };
    for (const Case &c : cases) {
        CharSet set;
        BuildCharSet(c.mask, &set);
        for (unsigned char ch : c.in)
            EXPECT_TRUE(InCharSet(ch, &set)) << c.mask << " " << ch;
        for (unsigned char ch : c.out)
            EXPECT_FALSE(InCharSet(ch, &set)) << c.mask << " " << ch;
    }
    CharSet set;
    BuildCharSet("\x01-\xff", &set);
    for (int ch = 1; ch < 256; ch++)
        EXPECT_TRUE(InCharSet(ch, &set)) << ch;
    EXPECT_FALSE(InCharSet(0, &set));
}

} // namespace
