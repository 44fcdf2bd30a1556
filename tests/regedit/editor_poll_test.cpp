// The editor's poll cycle, idle routine and key step against the Modbus TCP
// simulator in process, on the recording console: values drawn, keys noticed
// within one cycle, single and block writes, errors and Escape on a silent link.
#include "regedit/editor.h"

#include "comm/comm.h"
#include "platform/console_record.h"
#include "screen/screen.h"
#include "sim/modbus_slave/modbus_slave.h"
#include "sim/modbus_tcp/tcp_sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

struct Live : ::testing::Test {
    ModbusSlave *slave = nullptr;
    TcpSim *sim = nullptr;
    CommHandle *h = nullptr;
    RunSettings s;
    std::unique_ptr<EditorState> e{new EditorState};

    void SetUp() override {
        slave = SlaveCreate();
        TcpSimOptions options = {0, -1, 1000, 0};
        sim = TcpSimStart(slave, &options);
        ASSERT_NE(sim, nullptr);
        h = OpenModbusTCP("127.0.0.1", TcpSimPort(sim), 0);
        ASSERT_NE(h, nullptr);
        SetPortParams(h, 9600, 0, 1, 100, 8); // a silent peer times out after about 1 s
        SettingsDefaults(&s);
        s.maxRegister = MODBUS_MAX_REGISTER;
        s.suppressPolling = true;
        ConsoleRecordStart();
        ScreenInit();
    }
    void TearDown() override {
        ScreenExit();
        ConsoleRecordStop();
        if (h)
            CommClose(h);
        if (sim)
            TcpSimStop(sim);
        if (slave)
            SlaveDestroy(slave);
    }
    void Begin() {
        EditorInit(e.get(), &s, h);
        SetIdleHook(h, EditorIdle, e.get());
        DrawHeading(e.get());
    }
    void Set(int table, int first, std::initializer_list<uint16_t> v) {
        SlaveSet(slave, table, 0, first, (int)v.size(), v.begin());
    }
    uint16_t Get(int table, int first, int file = 0) {
        uint16_t v = 0;
        SlaveGet(slave, table, file, first, 1, &v);
        return v;
    }
    std::string Cells(int row, int column, int width) {
        return ConsoleRecordRow(row - 1).substr(column - 1, width);
    }
    // Types keys and runs the key step they drive.
    int Keys(const std::string &bytes) {
        ConsoleRecordInput(bytes);
        return KeyStep(e.get());
    }
};

TEST_F(Live, CycleDrawsTheDeviceValues) {
    Set(TABLE_HOLDING, 0, {0x1234, 0xFFFF});
    Begin();
    PollCycle(e.get());
    EXPECT_EQ(Cells(5, 1, 30), "     1  1234    4660    4660  ");
    EXPECT_EQ(Cells(6, 1, 30), "     2  FFFF   65535      -1  ");
    EXPECT_FALSE(e->abortFlag);
}

TEST_F(Live, KeyIsNoticedWithinOneCycleOnAFastLink) {
    Begin();
    ConsoleRecordInput("5");
    PollCycle(e.get());
    EXPECT_TRUE(e->abortFlag);
    ConsoleRecordInput("\r");
    EXPECT_EQ(KeyStep(e.get()), KEY_ENTER);
    EXPECT_EQ(Get(TABLE_HOLDING, 0), 5);
}

TEST_F(Live, KeyIsNoticedEvenWhenTheIdleRoutineNeverRuns) {
    // A reply that is there before the first idle tick: the library never
    // calls the idle routine, as here where none is installed.
    Begin();
    SetIdleHook(h, nullptr, nullptr);
    PollCycle(e.get());
    EXPECT_FALSE(e->abortFlag);
    EXPECT_EQ(Cells(1, 80, 1), "\\");     // the spinner still turned once
    e->spinnerShownMs -= SPINNER_STEP_MS; // and turns again a tenth of a second later
    ConsoleRecordInput("7");
    PollCycle(e.get());
    EXPECT_TRUE(e->abortFlag);
    EXPECT_EQ(Cells(1, 80, 1), "|");
}

TEST_F(Live, EachColumnWritesItsValue) {
    Begin();
    PollCycle(e.get());
    EXPECT_EQ(Keys("abc\r"), KEY_ENTER); // HEX, folded to capitals
    EXPECT_EQ(Get(TABLE_HOLDING, 0), 0xABC);
    e->editMode = EDIT_UNSIGNED;
    EXPECT_EQ(Keys("65535\r"), KEY_ENTER);
    EXPECT_EQ(Get(TABLE_HOLDING, 0), 65535);
    e->editMode = EDIT_SIGNED;
    EXPECT_EQ(Keys("-7\r"), KEY_ENTER); // a minus starts a value in the SIGNED column
    EXPECT_EQ(Get(TABLE_HOLDING, 0), 0xFFF9);
    EXPECT_EQ(Keys("-9\x1b[B"), KEY_DOWN); // and is written when Down ends it, too
    EXPECT_EQ(Get(TABLE_HOLDING, 0), 0xFFF7);
    EXPECT_EQ(e->cursorRow, 6);
    e->editMode = EDIT_REGISTER;
    EXPECT_EQ(Keys("300\r"), KEY_ENTER); // the register column moves the table, writes nothing
    EXPECT_EQ(RowRegister(e.get(), e->cursorRow), 300); // on the cursor's row (6)
    EXPECT_EQ(e->start, 299);
    EXPECT_EQ(Get(TABLE_HOLDING, 299), 0);
}

TEST_F(Live, EscapeAbandonsATypedValue) {
    Begin();
    PollCycle(e.get());
    unsigned long before = SlaveRequests(slave);
    EXPECT_EQ(Keys("12\x1b"), KEY_ESC);
    EXPECT_EQ(SlaveRequests(slave), before);
    EXPECT_EQ(Get(TABLE_HOLDING, 0), 0);
}

TEST_F(Live, BlockIsWrittenInOneRequest) {
    s.blockWrites = true;
    Begin();
    PollCycle(e.get());
    unsigned long before = SlaveRequests(slave);
    EXPECT_EQ(Keys("1234\x1b[B"), KEY_DOWN);
    EXPECT_TRUE(e->blockFlag);
    EXPECT_EQ(SlaveRequests(slave), before); // nothing yet
    PollCycle(e.get());
    EXPECT_EQ(Cells(5, 9, 4), "1234"); // the typed value stays on screen
    before = SlaveRequests(slave);
    EXPECT_EQ(Keys("5\r"), KEY_ENTER);
    EXPECT_EQ(SlaveRequests(slave), before + 1);
    EXPECT_EQ(Get(TABLE_HOLDING, 0), 0x1234);
    EXPECT_EQ(Get(TABLE_HOLDING, 1), 5);
    EXPECT_FALSE(e->blockFlag);

    // Enter with nothing typed writes the block, then the cursor row again.
    EXPECT_EQ(Keys("9\x1b[B"), KEY_DOWN);
    EXPECT_TRUE(e->blockFlag);
    before = SlaveRequests(slave);
    EXPECT_EQ(Keys("\r"), KEY_ENTER);
    EXPECT_EQ(SlaveRequests(slave), before + 2);
    EXPECT_EQ(Get(TABLE_HOLDING, 1), 9);
    EXPECT_FALSE(e->blockFlag);
}

TEST_F(Live, BlocksOnlyInTheHoldingAndCoilViews) {
    s.blockWrites = true;
    s.view3X = true;
    Begin();
    PollCycle(e.get());
    EXPECT_EQ(Keys("9\x1b[B"), KEY_DOWN);
    EXPECT_FALSE(e->blockFlag);
    EXPECT_EQ(Get(TABLE_INPUT_REGS, 0), 9);
}

TEST_F(Live, CoilsAndFiles) {
    s.view0X = true;
    Set(TABLE_COILS, 2, {1});
    Begin();
    PollCycle(e.get());
    EXPECT_EQ(Cells(7, 9, 4), "0001");
    EXPECT_EQ(Cells(6, 9, 4), "0000");
    EXPECT_EQ(Keys("1\r"), KEY_ENTER);
    EXPECT_EQ(Get(TABLE_COILS, 0), 1);

    s.view0X = false;
    s.view6X = true;
    s.file6X = 2;
    s.start = 0;
    uint16_t rec[2] = {7, 8};
    SlaveSet(slave, TABLE_FILES, 2, 0, 2, rec);
    Begin();
    PollCycle(e.get());
    EXPECT_EQ(Cells(5, 1, 12), "     0  0007");
    EXPECT_EQ(Keys("\x1b[B"
                   "42\r"),
              KEY_DOWN); // Down first: the next key step types
    EXPECT_EQ(KeyStep(e.get()), KEY_ENTER);
    EXPECT_EQ(Get(TABLE_FILES, 1, 2), 0x42);
}

TEST_F(Live, FailedReadsShowErrorRowsAndText) {
    Begin();
    TcpSimSetFault(sim, TCPSIM_GARBAGE, 0);
    PollCycle(e.get());
    EXPECT_EQ(Cells(5, 9, 5), "ERROR");
    EXPECT_EQ(Cells(24, 9, 5), "ERROR");
    EXPECT_NE(Cells(24, 40, 40), std::string(40, ' '));
    EXPECT_NE(e->lastError[0], '\0');
    TcpSimSetFault(sim, TCPSIM_NONE, 0);
    Set(TABLE_HOLDING, 0, {3});
    for (int i = 0; i < 5 && Cells(5, 9, 4) != "0003"; i++)
        PollCycle(e.get());
    EXPECT_EQ(Cells(5, 9, 4), "0003");
}

TEST_F(Live, TrappedErrorWaitsInTheErrorWindow) {
    s.trapErrors = true;
    Begin();
    TcpSimSetFault(sim, TCPSIM_GARBAGE, 1);
    PollCycle(e.get());
    // The window rang and waited for its key (the recording console, out of
    // input, answers a wait with Escape, which closes it).
    EXPECT_EQ(ConsoleRecordStarved(), 1);
    EXPECT_GE(ConsoleRecordCount(CE_BELL), 1);
    EXPECT_NE(e->lastError[0], '\0');
    EXPECT_EQ(Cells(24, 40, 40), std::string(40, ' ')); // not on row 24
    EXPECT_EQ(Cells(5, 9, 5), "ERROR");
}

TEST_F(Live, EscapeOnASilentLinkEndsTheWaitAtOnce) {
    Begin();
    PollCycle(e.get());
    TcpSimSetFault(sim, TCPSIM_SILENT, 0);
    ConsoleRecordInput(std::string("\x1b"));
    auto t0 = std::chrono::steady_clock::now();
    PollCycle(e.get());
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(took, 0.5);
    EXPECT_TRUE(e->abortFlag);
    EXPECT_EQ(Cells(10, 20, 10), "Exiting...");
    EXPECT_EQ(Cells(5, 9, 4), "0000"); // no ERROR rows for an aborted wait
    EXPECT_EQ(KeyStep(e.get()), KEY_ESC);
}

TEST_F(Live, ModuleIdentification) {
    s.suppressPolling = false;
    Begin();
    Set(TABLE_HOLDING, MODULE_ID_REGISTER - 1, {740});
    ModuleIdRefresh(e.get());
    EXPECT_EQ(Cells(3, 60, 20), "Model 740           ");
    Set(TABLE_HOLDING, MODULE_ID_REGISTER - 1, {0x9995});
    Set(TABLE_HOLDING, MODULE_NAME_REGISTER - 1, {0x4142, 0x0043, 0x4400});
    ModuleIdRefresh(e.get());
    EXPECT_EQ(Cells(3, 60, 20), "AB CD               ");
    Set(TABLE_HOLDING, MODULE_ID_REGISTER - 1, {0});
    ModuleIdRefresh(e.get());
    EXPECT_EQ(Cells(3, 60, 20), std::string(20, ' '));
}

TEST_F(Live, StatusWordsAndTheirFailure) {
    s.suppressPolling = false;
    Set(TABLE_HOLDING, 8192, {0xBEEF});
    Begin();
    PollCycle(e.get());
    EXPECT_EQ(Cells(5, 31, 4), "BEEF");
    e->start = 9990; // status words beyond the simulator's memory fail
    PollCycle(e.get());
    EXPECT_EQ(Cells(5, 31, 4), "----");
}

} // namespace

// A long read at the top of the range asks only for registers that exist
// (here the Sy/Max range of 8192, on a device that has more).
TEST_F(Live, LongReadStopsAtTheHighestRegister) {
    s.maxRegister = 8192;
    s.count = 125;
    s.start = 8192;
    Set(TABLE_HOLDING, 8191, {7, 5});
    Begin();
    PollCycle(e.get());
    EXPECT_EQ(e->start, 8173); // the 20 shown rows end at the highest register
    EXPECT_EQ(Cells(24, 1, 30), "  8192  0007       7       7  ");
    EXPECT_EQ(e->maximum[8192], 7);
    EXPECT_EQ(e->maximum[8193], -32768); // never asked for
}
