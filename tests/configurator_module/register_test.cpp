// The register layer against the simulated module: addressing, chunks of
// 128, and one failure state for the whole menu action.
#include "module_fixture.h"

namespace {

using Registers = ModuleTest;

TEST_F(Registers, PlcPortAddressingAndChunksOf128) {
    StopModule();
    StartModule(true, 1001);
    // The module answers only registers 1001 to 3048 there.
    Cmd("set 1 9600");
    EXPECT_EQ(ReadModuleValue(1), 9600);
    uint16_t out[300], in[300] = {};
    for (int i = 0; i < 300; i++)
        out[i] = (uint16_t)(i * 7 + 1);
    long writes = Stat("writes"), reads = Stat("reads");
    ASSERT_TRUE(WriteModuleRegisters(1700, 300, out));
    ASSERT_TRUE(ReadModuleRegisters(1700, 300, in));
    EXPECT_EQ(Stat("writes") - writes, 3);
    EXPECT_EQ(Stat("reads") - reads, 3);
    EXPECT_EQ(std::vector<uint16_t>(in, in + 300), std::vector<uint16_t>(out, out + 300));
    EXPECT_EQ(Cmd("get 1999")[0], std::to_string(out[299]));
    EXPECT_FALSE(ActionFailed()) << ActionReason();
}

TEST_F(Registers, TheFirstFailureEndsTheActionsLinkUse) {
    Cmd("fault noreply 1");
    uint16_t v;
    EXPECT_FALSE(ReadModuleRegister(10, &v));
    EXPECT_TRUE(ActionFailed());
    EXPECT_FALSE(ActionEscaped());
    EXPECT_STREQ(ActionReason(), "Read reply timeout");
    long requests = Stat("requests");
    EXPECT_FALSE(WriteModuleRegister(10, 5));
    EXPECT_EQ(ReadModuleValue(10), 0);
    EXPECT_EQ(Stat("requests"), requests);
    ActionFail("something later");
    ShowActionReason();
    ShowActionReason();
    EXPECT_EQ(TimesShown("Read reply timeout"), 1);
    ActionBegin();
    EXPECT_TRUE(WriteModuleRegister(10, 5));
    EXPECT_EQ(ReadModuleValue(10), 5);
}

int EscAtOnce(void *) {
    return 0;
}

TEST_F(Registers, EscDuringAWaitAbortsTheAction) {
    Cmd("fault delay 300");
    SetIdleHook(g_handle, EscAtOnce, nullptr);
    EXPECT_FALSE(WriteModuleRegister(10, 1));
    SetIdleHook(g_handle, nullptr, nullptr);
    EXPECT_TRUE(ActionEscaped());
    EXPECT_STREQ(ActionReason(), "Application idle abort");
    Cmd("fault clear");
}

TEST_F(Registers, EscTypedAsTheReplyCameEndsTheActionAtTheNextTransfer) {
    uint16_t v;
    EXPECT_TRUE(ReadModuleRegister(0, &v));
    // The idle routine saw ESC, but the reply won the race and the read stood.
    g_action.escaped = true;
    EXPECT_FALSE(ReadModuleRegister(0, &v));
    EXPECT_TRUE(ActionEscaped());
    ActionBegin();
    EXPECT_TRUE(ReadModuleRegister(0, &v));
}

TEST_F(Registers, WithoutALinkTheLinksOwnWordsAreShownOnce) {
    CommClose(g_handle);
    g_handle = nullptr;
    g_setup.connectionType = CONN_NONE;
    uint16_t v;
    EXPECT_FALSE(ReadModuleRegister(0, &v));
    EXPECT_FALSE(WriteModuleRegister(0, 1));
    ShowActionReason();
    EXPECT_STREQ(ActionReason(), "Unable to establish link.");
    EXPECT_EQ(TimesShown("Unable to establish link."), 1);
}

} // namespace
