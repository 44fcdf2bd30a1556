// The window handshakes against the simulated module: every command, the
// poll limits, refusals and the chunked record image.
#include "module_fixture.h"

#include <string>

namespace {

class Handshakes : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        // File 1: record length 10, 2 windows, records 0-99, key 2.
        // File 2: record length 300, 1 window, records 0-9.
        Cmd("preset 2 10 2 99 2 300 1 9 0");
        g_config.fileCount = 2;
        g_config.files[0] = {10, 2, 99, 2, {}};
        g_config.files[1] = {300, 1, 9, 0, {}};
        ASSERT_TRUE(CheckConfig(&g_config, false, nullptr));
        ASSERT_TRUE(FileWindow(0, 1, &small));
        ASSERT_TRUE(FileWindow(1, 0, &large));
    }
    ModuleWindow small{}, large{};

    static std::string Image(int length, int seed) {
        std::string s;
        for (int i = 0; i < length; i++)
            s += " " + std::to_string((seed * 31 + i) & 0xFFFF);
        return s;
    }
    static void FillBuffer(int length, int seed) {
        for (int i = 0; i < length; i++)
            RecordBuffer[i] = (uint16_t)((seed * 31 + i) & 0xFFFF);
    }
    static std::string BufferText(int length) {
        std::string s;
        for (int i = 0; i < length; i++)
            s += " " + std::to_string(RecordBuffer[i]);
        return s;
    }
    std::string Record(int file, int number) {
        std::string s;
        for (const std::string &w :
             Cmd("record " + std::to_string(file) + " " + std::to_string(number)))
            s += " " + w;
        return s;
    }
};

TEST_F(Handshakes, AReadPassVisitsTheRecordsInOrderAcrossGaps) {
    Cmd("setrec 1 5" + Image(10, 5));
    Cmd("setrec 1 7" + Image(10, 7));
    Cmd("setrec 1 42" + Image(10, 42));
    uint16_t found = 0;
    // Record 0 is missing: the pass goes on with read-next.
    EXPECT_EQ(ReadRecordHandshake(small, true, 0, POLL_LIMIT, &found), HS_NOT_FOUND);
    int expected[] = {5, 7, 42};
    for (int number : expected) {
        ASSERT_EQ(ReadRecordHandshake(small, false, 0, POLL_LIMIT, &found), HS_OK);
        EXPECT_EQ(found, number);
        EXPECT_EQ(BufferText(10), Image(10, number));
    }
    EXPECT_EQ(ReadRecordHandshake(small, false, 0, POLL_LIMIT, &found), HS_NOT_FOUND);
    EXPECT_TRUE(WindowIdle(small));
    EXPECT_EQ(Cmd("get " + std::to_string(WindowCommandOffset(small)))[0], "0");
    EXPECT_FALSE(ActionFailed());
}

TEST_F(Handshakes, AFirstReadFindsItsNumber) {
    Cmd("setrec 1 7" + Image(10, 7));
    uint16_t found = 0;
    ASSERT_EQ(ReadRecordHandshake(small, true, 7, POLL_LIMIT, &found), HS_OK);
    EXPECT_EQ(found, 7);
    EXPECT_EQ(BufferText(10), Image(10, 7));
}

TEST_F(Handshakes, AnEmptyFileEndsThePassAtOnce) {
    uint16_t found;
    EXPECT_EQ(ReadRecordHandshake(large, true, 0, POLL_LIMIT, &found), HS_NOT_FOUND);
    EXPECT_EQ(ReadRecordHandshake(large, false, 0, POLL_LIMIT, &found), HS_NOT_FOUND);
}

TEST_F(Handshakes, A300RegisterImageMovesInChunks) {
    Cmd("setrec 2 3" + Image(300, 3));
    uint16_t found;
    long reads = Stat("reads"), writes = Stat("writes");
    ASSERT_EQ(ReadRecordHandshake(large, true, 3, POLL_LIMIT, &found), HS_OK);
    // Idle, number, command; two status polls and three image chunks.
    EXPECT_EQ(Stat("writes") - writes, 3);
    EXPECT_EQ(Stat("reads") - reads, 5);
    EXPECT_EQ(BufferText(300), Image(300, 3));

    FillBuffer(300, 8);
    writes = Stat("writes");
    ASSERT_EQ(LoadWriteHandshake(large, false, 8), HS_OK);
    // Idle, the number with the image in three chunks, command.
    EXPECT_EQ(Stat("writes") - writes, 5);
    EXPECT_EQ(Record(2, 8), Image(300, 8));
}

TEST_F(Handshakes, SequentialLoadWritesAtTheNumber) {
    FillBuffer(10, 61);
    ASSERT_EQ(LoadWriteHandshake(small, false, 61), HS_OK);
    EXPECT_EQ(Record(1, 61), Image(10, 61));
    // A number past the file's last record is refused.
    EXPECT_EQ(LoadWriteHandshake(small, false, 100), HS_REFUSED);
    EXPECT_EQ(Cmd("records 1").size(), 1u);
}

TEST_F(Handshakes, KeyedLoadReplacesTheRecordWithTheSameKey) {
    FillBuffer(10, 1);
    ASSERT_EQ(LoadWriteHandshake(small, true, 0), HS_OK);
    RecordBuffer[9] = 999; // same key, new data
    ASSERT_EQ(LoadWriteHandshake(small, true, 0), HS_OK);
    std::vector<std::string> numbers = Cmd("records 1");
    ASSERT_EQ(numbers.size(), 1u);
    EXPECT_EQ(Cmd("record 1 " + numbers[0])[9], "999");
}

TEST_F(Handshakes, RestoreWritesTheNumberItIsGiven) {
    FillBuffer(10, 77);
    ASSERT_EQ(RestoreWriteHandshake(small, 77), HS_OK);
    EXPECT_EQ(Record(1, 77), Image(10, 77));
    EXPECT_EQ(Cmd("get " + std::to_string(WindowCommandOffset(small)))[0], "0");
}

TEST_F(Handshakes, WriteProtectRefusesWritesAndDeleteAll) {
    Cmd("setrec 1 1" + Image(10, 1));
    Cmd("lock 2");
    FillBuffer(10, 2);
    EXPECT_EQ(LoadWriteHandshake(small, false, 2), HS_REFUSED);
    EXPECT_EQ(LoadWriteHandshake(small, true, 0), HS_REFUSED);
    EXPECT_EQ(RestoreWriteHandshake(small, 3), HS_REFUSED);
    EXPECT_EQ(DeleteAllHandshake(small), HS_REFUSED);
    EXPECT_EQ(Cmd("records 1"), std::vector<std::string>{"1"});
    EXPECT_FALSE(ActionFailed());
}

TEST_F(Handshakes, DeleteAllEmptiesTheFile) {
    Cmd("setrec 1 1" + Image(10, 1));
    Cmd("setrec 1 50" + Image(10, 50));
    Cmd("setrec 2 1" + Image(300, 1));
    ASSERT_EQ(DeleteAllHandshake(small), HS_OK);
    EXPECT_TRUE(Cmd("records 1").empty());
    EXPECT_EQ(Cmd("records 2").size(), 1u);
    EXPECT_EQ(Cmd("get " + std::to_string(WindowCommandOffset(small)))[0], "0");
}

TEST_F(Handshakes, SlowCompletionWithinTheLimitSucceeds) {
    Cmd("setrec 1 4" + Image(10, 4));
    uint16_t found;
    Cmd("fault slow 8");
    EXPECT_EQ(ReadRecordHandshake(small, true, 4, POLL_LIMIT, &found), HS_OK);
    // Twelve reads before the bits show: too slow for an unload, not for a backup.
    Cmd("fault slow 12");
    EXPECT_EQ(ReadRecordHandshake(small, true, 4, POLL_LIMIT, &found), HS_NO_COMPLETE);
    EXPECT_EQ(ReadRecordHandshake(small, true, 4, POLL_LIMIT_LONG, &found), HS_OK);
    FillBuffer(10, 5);
    EXPECT_EQ(LoadWriteHandshake(small, false, 5), HS_NO_COMPLETE);
    EXPECT_EQ(RestoreWriteHandshake(small, 5), HS_OK);
    EXPECT_EQ(DeleteAllHandshake(small), HS_NO_COMPLETE);
    EXPECT_FALSE(ActionFailed());
}

TEST_F(Handshakes, StuckBitsNeverLetACommandStart) {
    uint16_t found;
    long commands = Stat("commands");
    Cmd("fault stuck 0x0180");
    EXPECT_EQ(ReadRecordHandshake(small, true, 0, POLL_LIMIT, &found), HS_NO_RESET);
    Cmd("fault stuck 0x0018");
    EXPECT_EQ(LoadWriteHandshake(small, false, 0), HS_NO_RESET);
    Cmd("fault stuck 0x0008");
    EXPECT_EQ(RestoreWriteHandshake(small, 0), HS_NO_RESET);
    Cmd("fault stuck 0x0001");
    EXPECT_EQ(DeleteAllHandshake(small), HS_NO_RESET);
    EXPECT_EQ(Stat("commands"), commands);
}

TEST_F(Handshakes, ALinkFailureEndsTheHandshakeAndTheAction) {
    uint16_t found;
    Cmd("fault failread " + std::to_string(small.status) + " 1");
    EXPECT_EQ(ReadRecordHandshake(small, true, 0, POLL_LIMIT, &found), HS_FAILED);
    EXPECT_TRUE(ActionFailed());
    long requests = Stat("requests");
    EXPECT_EQ(DeleteAllHandshake(small), HS_FAILED);
    EXPECT_EQ(Stat("requests"), requests);
}

TEST_F(Handshakes, AWindowOutsideTheRackInterfaceGetsNoCommand) {
    long requests = Stat("requests");
    uint16_t found;
    ModuleWindow bad[] = {{6, 5000}, {2040, 10}, {0, 1}, {6, -1}};
    for (const ModuleWindow &w : bad) {
        ActionBegin();
        EXPECT_EQ(ReadRecordHandshake(w, true, 0, POLL_LIMIT, &found), HS_FAILED);
        EXPECT_EQ(DeleteAllHandshake(w), HS_FAILED);
        EXPECT_FALSE(WindowIdle(w));
        EXPECT_TRUE(ActionFailed());
    }
    EXPECT_EQ(Stat("requests"), requests);
}

} // namespace
