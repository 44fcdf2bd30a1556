// The register layer against the simulated module: addressing, chunks of
// 128, and one failure state for the whole menu action.
#include "module_fixture.h"

#include <atomic>

namespace {

using Registers = ModuleTest;

TEST_F(Registers, FrontPanelReachesEveryOffsetItsOwnNumberPlusOne) {
    ASSERT_TRUE(WriteModuleRegister(4000, 0x1234));
    EXPECT_EQ(Cmd("get 4000")[0], "4660");
    Cmd("set 4001 77");
    EXPECT_EQ(ReadModuleValue(4001), 77);
    EXPECT_FALSE(ActionFailed());
}

TEST_F(Registers, PlcPortAddsTheRackAddress) {
    RestartModule(true, 1001);
    // The module answers only registers 1001 to 3048 there: offset 1 must
    // become register 1002 or the read is refused.
    Cmd("set 1 9600");
    EXPECT_EQ(ReadModuleValue(1), 9600);
    EXPECT_EQ(ModuleRegisterNumber(2047), 3048);
    uint16_t v;
    EXPECT_TRUE(ReadModuleRegister(2047, &v));
    EXPECT_FALSE(ActionFailed()) << ActionReason();
}

TEST_F(Registers, LongTransfersGoInChunksOf128) {
    uint16_t out[300], in[300] = {};
    for (int i = 0; i < 300; i++)
        out[i] = (uint16_t)(i * 7 + 1);
    long writes = Stat("writes");
    ASSERT_TRUE(WriteModuleRegisters(4000, 300, out));
    EXPECT_EQ(Stat("writes") - writes, 3);
    long reads = Stat("reads");
    ASSERT_TRUE(ReadModuleRegisters(4000, 300, in));
    EXPECT_EQ(Stat("reads") - reads, 3);
    for (int i = 0; i < 300; i++)
        ASSERT_EQ(in[i], out[i]) << i;
    EXPECT_EQ(Cmd("get 4299")[0], std::to_string(out[299]));
    EXPECT_EQ(Cmd("get 4300")[0], "0");
}

TEST_F(Registers, TheFirstFailureEndsTheActionsLinkUse) {
    Cmd("fault noreply 1");
    uint16_t v = 0xAAAA;
    EXPECT_FALSE(ReadModuleRegister(10, &v));
    EXPECT_TRUE(ActionFailed());
    EXPECT_FALSE(ActionAborted());
    EXPECT_STREQ(ActionReason(), "Read reply timeout");
    // Every later operation gives up at once, without a request.
    long requests = Stat("requests");
    EXPECT_FALSE(WriteModuleRegister(10, 5));
    EXPECT_EQ(ReadModuleValue(10), 0);
    uint16_t block[4];
    EXPECT_FALSE(ReadModuleRegisters(10, 4, block));
    EXPECT_EQ(Stat("requests"), requests);
    EXPECT_EQ(Cmd("get 10")[0], "0");
    // The reason stays the first one.
    ActionFail("something later");
    EXPECT_STREQ(ActionReason(), "Read reply timeout");
    // The next action starts clean.
    ActionBegin();
    EXPECT_TRUE(WriteModuleRegister(10, 5));
    EXPECT_EQ(ReadModuleValue(10), 5);
    EXPECT_FALSE(ActionFailed());
}

TEST_F(Registers, AFailedChunkStopsTheTransfer) {
    uint16_t values[300] = {};
    // The second chunk of a read from 4000 covers offset 4200.
    Cmd("fault failread 4200 1");
    long reads = Stat("reads");
    EXPECT_FALSE(ReadModuleRegisters(4000, 300, values));
    EXPECT_EQ(Stat("reads") - reads, 2);
    EXPECT_TRUE(ActionFailed());
    EXPECT_NE(std::string(ActionReason()), "");
}

TEST_F(Registers, ModuleStatusRefusalsFailTheAction) {
    RestartModule(true, 1001);
    // Beyond the rack interface the PLC port answers with a status.
    EXPECT_FALSE(WriteModuleRegister(2048, 1));
    EXPECT_TRUE(ActionFailed());
    EXPECT_NE(std::string(ActionReason()), "");
}

// An idle hook standing for ESC typed during the wait.
int EscAtOnce(void *) {
    return 0;
}

TEST_F(Registers, EscDuringAWaitAbortsTheAction) {
    Cmd("fault delay 300");
    SetIdleHook(g_handle, EscAtOnce, nullptr);
    EXPECT_FALSE(WriteModuleRegister(10, 1));
    EXPECT_TRUE(ActionFailed());
    EXPECT_TRUE(ActionAborted());
    EXPECT_STREQ(ActionReason(), "Application idle abort");
    SetIdleHook(g_handle, nullptr, nullptr);
    Cmd("fault clear");
}

TEST_F(Registers, NoLinkIsOpenedOnlyOnce) {
    CommClose(g_handle);
    g_handle = nullptr;
    g_setup.connectionType = CONN_NONE;
    uint16_t v;
    EXPECT_FALSE(ReadModuleRegister(0, &v));
    EXPECT_TRUE(ActionFailed());
    EXPECT_STREQ(ActionReason(), "Unable to establish link.");
    EXPECT_EQ(TimesShown("Unable to establish link."), 1);
    // The link's own message was the one shown; later steps stay quiet.
    EXPECT_FALSE(WriteModuleRegister(0, 1));
    ShowActionReason();
    EXPECT_EQ(TimesShown("Unable to establish link."), 1);
}

TEST_F(Registers, AFailureReasonIsShownOncePerAction) {
    ActionFail("Read reply timeout");
    ShowActionReason();
    ShowActionReason();
    EXPECT_EQ(TimesShown("Read reply timeout"), 1);
    ActionBegin();
    ShowActionReason();
    EXPECT_EQ(TimesShown("Read reply timeout"), 1);
}

} // namespace
