// The editor's cursor, paging and block moves, bit spreading, minimum and
// maximum records, and the drawn rows on the recording console.
#include "regedit/editor.h"

#include "platform/console_record.h"
#include "screen/screen.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Editor {
    RunSettings s;
    std::unique_ptr<EditorState> e{new EditorState};
    explicit Editor(unsigned count = 20, unsigned start = 1, unsigned maxRegister = 8192,
                    bool six = false) {
        SettingsDefaults(&s);
        s.count = count;
        s.start = start;
        s.maxRegister = maxRegister;
        s.view6X = six;
        EditorInit(e.get(), &s, nullptr);
        for (int i = 0; i < READ_BUFFER_SIZE; i++)
            e->values[i] = (uint16_t)(100 + i);
    }
    EditorState *operator->() { return e.get(); }
    void Key(int key) {
        MoveByKey(e.get(), key);
        SettleAfterKey(e.get());
    }
};

TEST(EditorMove, PagesMoveByHalfTheShownRows) {
    struct Case {
        unsigned count, start;
        int key;
        long expect;
    } cases[] = {
        {20, 100, KEY_PGDN, 110},   {20, 100, KEY_PGUP, 90}, {5, 100, KEY_PGDN, 103},
        {5, 100, KEY_PGUP, 97},     {1, 100, KEY_PGDN, 101}, {20, 5, KEY_PGUP, 1},
        {20, 8170, KEY_PGDN, 8173}, // the last row stops at the highest register
        {125, 100, KEY_PGDN, 110},  // 125 read, 20 shown
    };
    for (const Case &c : cases) {
        Editor ed(c.count, c.start);
        ed.Key(c.key);
        EXPECT_EQ(ed->start, c.expect) << c.count << " " << c.start;
    }
}

TEST(EditorMove, DownAndUpScrollAtTheEdges) {
    Editor ed(20, 100);
    ed->cursorRow = 24;
    ed.Key(KEY_DOWN); // past row 24: up 3 rows, start + 3, same register under the cursor
    EXPECT_EQ(ed->cursorRow, 22);
    EXPECT_EQ(ed->start, 103);
    EXPECT_EQ(RowRegister(ed.e.get(), ed->cursorRow), 120);
    ed->cursorRow = 5;
    ed.Key(KEY_UP);
    EXPECT_EQ(ed->cursorRow, 7);
    EXPECT_EQ(ed->start, 100);
    EXPECT_EQ(RowRegister(ed.e.get(), ed->cursorRow), 102);

    Editor small(3, 50);
    small->cursorRow = 7;
    small.Key(KEY_DOWN);
    EXPECT_EQ(small->cursorRow, 7);
    EXPECT_EQ(small->start, 51);

    Editor low(20, 2);
    low.Key(KEY_UP); // would start at -1: back to register 1 on row 5
    EXPECT_EQ(low->cursorRow, 5);
    EXPECT_EQ(low->start, 1);
    EXPECT_EQ(low->blockStartRow, 5);
    EXPECT_EQ(low->blockEndRow, 5);
}

TEST(EditorMove, ColumnsHomeAndTheHighestStart) {
    Editor ed(20, 300);
    for (int i = 0; i < 5; i++)
        ed.Key(KEY_LEFT);
    EXPECT_EQ(ed->editMode, EDIT_REGISTER);
    for (int i = 0; i < 5; i++)
        ed.Key(KEY_RIGHT);
    EXPECT_EQ(ed->editMode, EDIT_SIGNED);
    ed->cursorRow = 12;
    ed.Key(KEY_HOME);
    EXPECT_EQ(ed->cursorRow, 5);
    EXPECT_EQ(ed->start, 1);

    Editor six(20, 40, 65535, true);
    six.Key(KEY_HOME);
    EXPECT_EQ(six->start, 0);
    six.Key(KEY_PGUP);
    EXPECT_EQ(six->start, 0);

    Editor high(20, 8185); // pulled back so that the last row is 8192
    EXPECT_EQ(high->start, 8173);
    EXPECT_EQ(RowRegister(high.e.get(), high->cursorRow), 8185); // the cursor stays on it
    high->start = 8190;
    high->cursorRow = 6;
    high.Key(0);
    EXPECT_EQ(high->start, 8173);
    EXPECT_EQ(high->cursorRow, 23); // still on register 8191
    EXPECT_EQ(RowRegister(high.e.get(), high->cursorRow), 8191);

    Editor modbus(20, 65535, 65535);
    EXPECT_EQ(modbus->start, 65516);
}

TEST(EditorMove, BlockGrowsDownAndUp) {
    Editor ed(20, 10);
    ed->cursorRow = 8;
    ed->blockStartRow = ed->blockEndRow = 8;
    ed->blockFlag = true;
    ed->blockBuffer[0] = 0x1234;
    ed.Key(KEY_DOWN);
    EXPECT_EQ(ed->cursorRow, 9);
    EXPECT_EQ(ed->blockEndRow, 9);
    EXPECT_EQ(ed->blockBuffer[1], ed->values[4]); // the value shown on row 9
    ed.Key(KEY_UP);
    ed.Key(KEY_UP);
    EXPECT_EQ(ed->cursorRow, 7);
    EXPECT_EQ(ed->blockStartRow, 7);
    EXPECT_EQ(ed->blockEndRow, 9);
    EXPECT_EQ(ed->blockBuffer[0], ed->values[2]);
    EXPECT_EQ(ed->blockBuffer[1], 0x1234);
    EXPECT_EQ(ed->start, 10); // a block never scrolls the table

    ed->cursorRow = 24;
    ed->blockEndRow = 24;
    ed.Key(KEY_DOWN);
    EXPECT_EQ(ed->cursorRow, 24);
    EXPECT_EQ(ed->start, 10);
}

TEST(EditorMove, MinimumMaximumAndZ) {
    Editor ed;
    MinMaxUpdate(ed.e.get(), 7, 5);
    MinMaxUpdate(ed.e.get(), 7, 0xFFFF); // -1 as a signed number
    MinMaxUpdate(ed.e.get(), 7, 3);
    EXPECT_EQ(ed->minimum[7], -1);
    EXPECT_EQ(ed->maximum[7], 5);
    MinMaxUpdate(ed.e.get(), 65536 + 8, 9); // register numbers index modulo 65536
    EXPECT_EQ(ed->maximum[8], 9);
    ed.Key('Z');
    EXPECT_EQ(ed->minimum[7], 32767);
    EXPECT_EQ(ed->maximum[7], -32768);
}

TEST(EditorMove, BitsSpreadHighByteFirst) {
    uint16_t words[2] = {0x8001, 0x0102};
    uint16_t entries[BIT_ENTRIES];
    SpreadBits(words, entries);
    std::string bits;
    for (uint16_t b : entries)
        bits += (char)('0' + b);
    // word 0 bits 8..15, then 0..7; word 1 the same.
    EXPECT_EQ(bits, "00000001"
                    "10000000"
                    "10000000"
                    "01000000");
}

TEST(EditorDraw, RowsHeadingAndHighlights) {
    ConsoleRecordStart();
    ScreenInit();
    Editor ed(20, 1000);
    ed.s.minMax = true;
    ed->values[0] = 0xFFFE;
    MinMaxUpdate(ed.e.get(), 1000, 0xFFFE);
    DrawHeading(ed.e.get());
    DrawRow(ed.e.get(), 5);
    ed.s.hexNumbers = true;
    DrawRow(ed.e.get(), 6);
    DrawErrorRow(ed.e.get(), 7);
    EXPECT_EQ(ConsoleRecordRow(3).substr(0, 58),
              "REGSTR  HEX   UNSIGN  SIGNED  STAT        MIN       MAX   ");
    EXPECT_EQ(ConsoleRecordRow(4).substr(0, 60),
              "  1000  FFFE   65534      -2               -2        -2     ");
    EXPECT_EQ(ConsoleRecordRow(5).substr(0, 30), " 03E9   0065     101     101  ");
    EXPECT_EQ(ConsoleRecordRow(6).substr(0, 28), " 03EA   ERROR               ");
    // The block row (the cursor row) is highlighted in the HEX column.
    EXPECT_EQ(ScreenAttrAt(5, 9), AT_HIGH);
    EXPECT_EQ(ScreenAttrAt(5, 15), 0);
    EXPECT_EQ(ScreenAttrAt(6, 9), 0);
    ScreenExit();
    ConsoleRecordStop();
}

TEST(EditorDraw, HeadingWithoutMinMaxEndsAfterStatus) {
    ConsoleRecordStart();
    ScreenInit();
    Editor ed;
    ed.s.suppressPolling = true;
    DrawHeading(ed.e.get());
    EXPECT_EQ(ConsoleRecordRow(3).substr(0, 40), "REGSTR  HEX   UNSIGN  SIGNED            ");
    EXPECT_EQ(ScreenAttrAt(4, 35), AT_REVERSE);
    EXPECT_EQ(ScreenAttrAt(4, 36), 0);
    EXPECT_EQ(ConsoleRecordRow(5).substr(39, 26), "   Sy/Max Register Viewer ");
    EXPECT_EQ(ConsoleRecordRow(15).substr(39, 16), "Escape to exit. ");
    ScreenExit();
    ConsoleRecordStop();
}

} // namespace
