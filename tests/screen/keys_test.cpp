// The keyboard: key codes from terminal bytes, type-ahead ring, hot keys, Insert.
#include "screen_fixture.h"

#include <string>
#include <vector>

namespace {

using Keys = ScreenTest;

TEST_F(Keys, TerminalBytesBecomeKeyCodes) {
    struct Case {
        std::string bytes;
        int code;
    } cases[] = {
        {"\x1b[A", KEY_UP},
        {"\x1bOB", KEY_DOWN},
        {"\x1b[C", KEY_RIGHT},
        {"\x1bOD", KEY_LEFT},
        {"\x1bOP", KEY_F1},
        {"\x1b[12~", KEY_F2},
        {"\x1b[[C", KEY_F3},
        {"\x1b[15~", KEY_F5},
        {"\x1b[21~", KEY_F10},
        {"\x1b[H", KEY_HOME},
        {"\x1b[1~", KEY_HOME},
        {"\x1b[4~", KEY_END},
        {"\x1b[F", KEY_END},
        {"\x1b[3~", KEY_DEL},
        {"\x1b[5~", KEY_PGUP},
        {"\x1b[6~", KEY_PGDN},
        {"\x01", KEY_HOME},
        {"\x04", KEY_DELEOL},
        {"\x06", KEY_WORDRIGHT},
        {"\x07", KEY_END},
        {"\x08", KEY_BKSP},
        {"\x7f", KEY_BKSP},
        {"\x12", KEY_WORDLEFT},
        {"\x15", KEY_DELBOL},
        {"\x16", KEY_DEL},
        {"\x19", KEY_CLEAR},
        {"\r", KEY_ENTER},
        {"\x1b", KEY_ESC},
        {"\n", KEY_LINEFEED},
        {"\t", 9},
        {"Z", 'Z'},
        {"~", '~'},
    };
    for (const Case &c : cases) {
        Type(c.bytes);
        EXPECT_EQ(WaitKey(), c.code) << c.bytes.substr(c.bytes[0] == 27 ? 1 : 0);
        EXPECT_EQ(GetKey(0), 0) << "one key only";
    }
    EXPECT_EQ(ConsoleRecordStarved(), 0);
}

TEST_F(Keys, UnknownKeysAndHighBytesGiveNothing) {
    Type("\x1b[23~\x1b[24~\x1b[1;5A\xc3\xa9\x8a\x9a\xff"
         "b");
    EXPECT_EQ(WaitKey(), 'b');
    EXPECT_EQ(GetKey(0), 0);
}

TEST_F(Keys, PollingWithNothingTypedReturnsZero) {
    EXPECT_EQ(GetKey(0), 0);
    EXPECT_EQ(ReadKey(0), 0);
    EXPECT_EQ(ConsoleRecordStarved(), 0);
}

TEST_F(Keys, InsertTogglesAndIsNeverReturned) {
    EXPECT_EQ(InsertMode, 1);
    Type("\x1b[2~q");
    EXPECT_EQ(GetKey(0), 'q');
    EXPECT_EQ(InsertMode, 0);
    Type("\x1b[2~\x1b[2~\x1b[2~r");
    EXPECT_EQ(WaitKey(), 'r');
    EXPECT_EQ(InsertMode, 1);
}

TEST_F(Keys, PollingPassesOverALoneInsertOrDroppedKey) {
    Type("\x1b[2~");
    EXPECT_EQ(GetKey(0), 0);
    EXPECT_EQ(InsertMode, 0);
    Type("\x1b[23~"); // F11
    EXPECT_EQ(GetKey(0), 0);
    EXPECT_EQ(ConsoleRecordStarved(), 0) << "a poll never waits";
    InsertMode = 1;
}

TEST_F(Keys, PushedKeysComeBeforeTheKeyboard) {
    Type("k");
    PushKeys("\r");
    PushKeys("");
    PushKeys("ab");
    EXPECT_EQ(WaitKey(), KEY_ENTER);
    EXPECT_EQ(WaitKey(), 'a');
    EXPECT_EQ(WaitKey(), 'b');
    EXPECT_EQ(WaitKey(), 'k');
    EXPECT_EQ(ConsoleRecordStarved(), 0);
}

TEST_F(Keys, ReadKeyIgnoresTheRing) {
    PushKeys("p");
    Type("q");
    EXPECT_EQ(ReadKey(-1), 'q');
    EXPECT_EQ(GetKey(0), 'p');
}

TEST_F(Keys, CodesBeyondTheRingAreHeldInOrder) {
    // a script of 1500 keys pushed at once comes out whole and in order
    std::string many;
    for (int i = 0; i < 1500; i++)
        many += (char)('!' + i % 90);
    PushKeys(many.c_str());
    EXPECT_TRUE(KeyWaiting());
    for (size_t i = 0; i < many.size(); i++)
        ASSERT_EQ(GetKey(0), (unsigned char)many[i]) << i;
    EXPECT_EQ(GetKey(0), 0);
    EXPECT_FALSE(KeyWaiting());

    // around the ring's end: 60 in, 50 out, 90 more, then codes pushed while
    // some are held go behind them, and a key typed comes after all of them
    std::string sixty(60, 'x'), ninety(90, 'y');
    PushKeys(sixty.c_str());
    for (int i = 0; i < 50; i++)
        GetKey(0);
    PushKeys(ninety.c_str());
    PushKeys("z");
    Type("t");
    std::string order;
    for (int key; (key = GetKey(0)) != 0;)
        order += (char)key;
    EXPECT_EQ(order, std::string(10, 'x') + ninety + "z" + "t");
}

TEST_F(Keys, KeyWaitingSeesTheRingAndTheConsole) {
    EXPECT_FALSE(KeyWaiting());
    PushKeys("a");
    EXPECT_TRUE(KeyWaiting());
    EXPECT_EQ(GetKey(0), 'a');
    EXPECT_FALSE(KeyWaiting());
    Type("b");
    EXPECT_TRUE(KeyWaiting());
    EXPECT_EQ(GetKey(0), 'b');
}

std::vector<std::pair<char, int>> calls;
void HotA(int key, int position) {
    (void)key;
    calls.push_back({'A', position});
}
void HotB(int key, int position) {
    (void)key;
    calls.push_back({'B', position});
}
int inner_key = -1;
void HotReading(int key, int) {
    calls.push_back({'R', key});
    inner_key = WaitKey(); // the same key again goes to this read, not to a second call
}
void HotRemovingItself(int key, int) {
    calls.push_back({'S', key});
    RemoveHotKey(key);
}

TEST_F(Keys, HotKeysTakeTheirKeys) {
    calls.clear();
    ASSERT_NE(AddHotKey(KEY_F2, HotA), nullptr);
    PushKeys("\x92"); // a pushed code is dispatched as a typed one
    Type("\x1b[12~a");
    EXPECT_EQ(WaitKey(), 'a');
    EXPECT_EQ(calls, (std::vector<std::pair<char, int>>{{'A', -1}, {'A', -1}}));
}

TEST_F(Keys, OlderEntryWinsAndRemovalTakesTheNewer) {
    calls.clear();
    AddHotKey(KEY_F2, HotA);
    AddHotKey(KEY_F2, HotB);
    PushKeys("\x92");
    EXPECT_EQ(GetKey(0), 0);
    RemoveHotKey(KEY_F2);
    PushKeys("\x92");
    EXPECT_EQ(GetKey(0), 0);
    RemoveHotKey(KEY_F2);
    RemoveHotKey(KEY_F2); // none left: nothing happens
    PushKeys("\x92");
    EXPECT_EQ(GetKey(0), KEY_F2);
    EXPECT_EQ(calls, (std::vector<std::pair<char, int>>{{'A', -1}, {'A', -1}}));
}

TEST_F(Keys, RunningHotKeyIsNotReentered) {
    calls.clear();
    AddHotKey(KEY_F3, HotReading);
    PushKeys("\x93\x93x");
    EXPECT_EQ(WaitKey(), 'x');
    EXPECT_EQ(inner_key, KEY_F3);
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(Keys, HotKeyMayRemoveItself) {
    calls.clear();
    AddHotKey(KEY_F4, HotRemovingItself);
    PushKeys("\x94\x94");
    EXPECT_EQ(WaitKey(), KEY_F4);
    EXPECT_EQ(calls.size(), 1u);
}

} // namespace
