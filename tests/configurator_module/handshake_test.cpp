// The window handshakes against the simulated module: every command, the
// poll limits, refusals and the chunked record image.
#include "module_fixture.h"

namespace {

class Handshakes : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        // File 1: length 10, 2 windows, records 0-99, key 2; file 2: length 300.
        Cmd("preset 2 10 2 99 2 300 1 9 0");
        g_config.fileCount = 2;
        g_config.files[0] = {10, 2, 99, 2, {}};
        g_config.files[1] = {300, 1, 9, 0, {}};
        ASSERT_TRUE(CheckConfig(&g_config, false, nullptr));
        ASSERT_TRUE(FileWindow(0, 1, &small));
        ASSERT_TRUE(FileWindow(1, 0, &large));
    }
    ModuleWindow small{}, large{};

    // A record image as the simulator writes it, and the buffer as text.
    static std::string Image(int length, int seed) {
        std::string s;
        for (int i = 0; i < length; i++)
            s += " " + std::to_string((seed * 31 + i) & 0xFFFF);
        return s;
    }
    static void Fill(int length, int seed) {
        for (int i = 0; i < length; i++)
            RecordBuffer[i] = (uint16_t)((seed * 31 + i) & 0xFFFF);
    }
    static std::string Buffer(int length) {
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
    for (int number : {5, 7, 42})
        Cmd("setrec 1 " + std::to_string(number) + Image(10, number));
    uint16_t found = 0;
    EXPECT_EQ(ReadRecordHandshake(small, true, 0, POLL_LIMIT, &found), HS_NOT_FOUND);
    for (int number : {5, 7, 42}) {
        ASSERT_EQ(ReadRecordHandshake(small, false, 0, POLL_LIMIT, &found), HS_OK);
        EXPECT_EQ(found, number);
        EXPECT_EQ(Buffer(10), Image(10, number));
    }
    EXPECT_EQ(ReadRecordHandshake(small, false, 0, POLL_LIMIT, &found), HS_NOT_FOUND);
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
    EXPECT_EQ(Buffer(300), Image(300, 3));
}

TEST_F(Handshakes, WritesGoWhereTheirCommandSays) {
    Fill(10, 61);
    ASSERT_EQ(LoadWriteHandshake(small, false, 61), HS_OK);
    EXPECT_EQ(Record(1, 61), Image(10, 61));
    EXPECT_EQ(LoadWriteHandshake(small, false, 100), HS_REFUSED); // past the last record
    Fill(10, 1);
    ASSERT_EQ(LoadWriteHandshake(small, true, 0), HS_OK);
    RecordBuffer[9] = 999; // same key: replaces that record
    ASSERT_EQ(LoadWriteHandshake(small, true, 0), HS_OK);
    Fill(10, 77);
    ASSERT_EQ(RestoreWriteHandshake(small, 77), HS_OK);
    EXPECT_EQ(Record(1, 77), Image(10, 77));
    EXPECT_EQ(Cmd("records 1").size(), 3u);
    ASSERT_EQ(DeleteAllHandshake(small), HS_OK);
    EXPECT_TRUE(Cmd("records 1").empty());
    EXPECT_EQ(Cmd("get " + std::to_string(WindowCommandOffset(small)))[0], "0");
    // Write protect refuses every change.
    Cmd("setrec 1 1" + Image(10, 1));
    Cmd("lock 2");
    EXPECT_EQ(LoadWriteHandshake(small, false, 2), HS_REFUSED);
    EXPECT_EQ(RestoreWriteHandshake(small, 3), HS_REFUSED);
    EXPECT_EQ(DeleteAllHandshake(small), HS_REFUSED);
    EXPECT_EQ(Cmd("records 1"), std::vector<std::string>{"1"});
    EXPECT_FALSE(ActionFailed());
}

TEST_F(Handshakes, WritesPutTheImageInChunksThenTheNumber) {
    // Idle, three image chunks from the first image register, the number,
    // the command: no write starts before the image.
    Fill(300, 8);
    long writes = Stat("writes");
    ASSERT_EQ(LoadWriteHandshake(large, false, 8), HS_OK);
    EXPECT_EQ(Stat("writes") - writes, 6);
    EXPECT_EQ(Record(2, 8), Image(300, 8));
    writes = Stat("writes");
    ASSERT_EQ(RestoreWriteHandshake(large, 9), HS_OK);
    // and the restore's own 0 at its end
    EXPECT_EQ(Stat("writes") - writes, 7);
    EXPECT_EQ(Cmd("get " + std::to_string(WindowCommandOffset(large)))[0], "0");
}

TEST_F(Handshakes, APassEndsWithItsWindowIdleAfterEscOnce) {
    const std::string command = "get " + std::to_string(WindowCommandOffset(small));
    Fill(10, 3);
    PassBegin(small);
    ASSERT_EQ(LoadWriteHandshake(small, false, 3), HS_OK);
    EXPECT_EQ(Cmd(command)[0], "16");
    // ESC ended the action: no more records, but the closing 0 still goes.
    g_action.escaped = true;
    EXPECT_EQ(LoadWriteHandshake(small, false, 4), HS_FAILED);
    EXPECT_TRUE(PassEnd());
    EXPECT_EQ(Cmd(command)[0], "0");
    EXPECT_TRUE(ActionEscaped());
    // ESC seen between two records, with no wait ended by it: the same.
    ActionBegin();
    PassBegin(small);
    ASSERT_EQ(LoadWriteHandshake(small, false, 3), HS_OK);
    g_action.escaped = true;
    EXPECT_TRUE(PassEnd());
    EXPECT_EQ(Cmd(command)[0], "0");
    // Once idle, a pass has nothing more to write.
    long requests = Stat("requests");
    PassBegin(small);
    EXPECT_TRUE(PassEnd());
    EXPECT_EQ(Stat("requests"), requests);
    // ESC again during the closing write ends its wait.
    ActionBegin();
    PassBegin(small);
    ASSERT_EQ(LoadWriteHandshake(small, false, 3), HS_OK);
    g_action.escaped = true;
    Cmd("fault delay 300");
    SetIdleHook(
        g_handle, [](void *) { return 0; }, nullptr);
    EXPECT_FALSE(PassEnd());
    SetIdleHook(g_handle, nullptr, nullptr);
    Cmd("fault clear");
    // After the link itself failed nothing more is sent.
    ActionBegin();
    PassBegin(small);
    ASSERT_EQ(LoadWriteHandshake(small, false, 3), HS_OK);
    Cmd("fault noreply 1");
    EXPECT_EQ(LoadWriteHandshake(small, false, 4), HS_FAILED);
    requests = Stat("requests");
    EXPECT_FALSE(PassEnd());
    EXPECT_EQ(Stat("requests"), requests);
    ActionBegin();
}

TEST_F(Handshakes, PollLimitsAndStuckBits) {
    Cmd("setrec 1 4" + Image(10, 4));
    uint16_t found;
    Cmd("fault slow 8");
    EXPECT_EQ(ReadRecordHandshake(small, true, 4, POLL_LIMIT, &found), HS_OK);
    Cmd("fault slow 12"); // too slow for an unload, not for a backup
    EXPECT_EQ(ReadRecordHandshake(small, true, 4, POLL_LIMIT, &found), HS_NO_COMPLETE);
    EXPECT_EQ(ReadRecordHandshake(small, true, 4, POLL_LIMIT_LONG, &found), HS_OK);
    EXPECT_EQ(LoadWriteHandshake(small, false, 5), HS_NO_COMPLETE);
    EXPECT_EQ(RestoreWriteHandshake(small, 5), HS_OK);
    EXPECT_EQ(DeleteAllHandshake(small), HS_NO_COMPLETE);
    Cmd("fault clear");
    long commands = Stat("commands");
    Cmd("fault stuck 0x0180");
    EXPECT_EQ(ReadRecordHandshake(small, true, 0, POLL_LIMIT, &found), HS_NO_RESET);
    Cmd("fault stuck 0x0018");
    EXPECT_EQ(LoadWriteHandshake(small, false, 0), HS_NO_RESET);
    Cmd("fault stuck 0x0001");
    EXPECT_EQ(DeleteAllHandshake(small), HS_NO_RESET);
    EXPECT_EQ(Stat("commands"), commands);
    EXPECT_FALSE(ActionFailed());
}

TEST_F(Handshakes, NoCommandAfterALinkFailureOrToABadWindow) {
    uint16_t found;
    long requests = Stat("requests");
    for (ModuleWindow bad : {ModuleWindow{6, 5000}, ModuleWindow{2040, 10}, ModuleWindow{0, 1}}) {
        ActionBegin();
        EXPECT_EQ(DeleteAllHandshake(bad), HS_FAILED);
        EXPECT_FALSE(WindowIdle(bad));
    }
    EXPECT_EQ(Stat("requests"), requests);
    ActionBegin();
    Cmd("fault failread " + std::to_string(small.status) + " 1");
    EXPECT_EQ(ReadRecordHandshake(small, true, 0, POLL_LIMIT, &found), HS_FAILED);
    requests = Stat("requests");
    EXPECT_EQ(DeleteAllHandshake(small), HS_FAILED);
    EXPECT_EQ(Stat("requests"), requests);
}

} // namespace
