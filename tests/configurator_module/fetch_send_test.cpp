// Fetch, send and the lock register against the simulated module: the
// faults a user cannot easily stage at the terminal.
#include "configurator/fetch_send.h"
#include "module_fixture.h"

#include <array>
#include <cstring>

namespace {

class FetchSend : public ModuleTest {
  protected:
    static constexpr const char *PRESET = "preset 3 10 2 99 2 20 1 49 0 5 0 9 5";
    static ModuleConfig Sample() {
        ModuleConfig c;
        ClearConfig(&c);
        c.fileCount = 3;
        c.files[0] = {10, 2, 99, 2, {6, 19}};
        c.files[1] = {20, 1, 49, 0, {36}};
        c.files[2] = {5, 0, 9, 5, {}};
        return c;
    }
    // The configuration area (front panel) holding files given as
    // {record length, windows, record count, key length}.
    void Area(std::initializer_list<std::array<uint16_t, 4>> files) {
        vrx740::VrxSimWith(sim, [&](vrx740::Module *m, symaxsim::Slave *) {
            m->reg[2048] = (uint16_t)files.size();
            int at = 2051;
            for (const auto &f : files) {
                uint16_t five[5] = {f[0], f[1], 0, f[2], f[3]};
                memcpy(&m->reg[at], five, sizeof five);
                at += 5;
            }
        });
    }
};

TEST_F(FetchSend, AFetchThatLosesTheLinkLeavesTheImageAsItWas) {
    StopModule();
    StartModule(true, 1001);
    Cmd(PRESET);
    ModuleConfig before = Sample();
    before.files[0].maxRecord = 7;
    g_config = before;
    Cmd("fault failread 32 1"); // file 2's parameter block
    EXPECT_FALSE(FetchConfig());
    EXPECT_EQ(memcmp(&g_config, &before, sizeof before), 0);
    EXPECT_TRUE(Shown("(27) Memory Error"));
    EXPECT_TRUE(Shown("FETCH UNSUCCESSFUL"));
    // ESC on the front panel's single read: the same.
    StopModule();
    StartModule(false, 1);
    Cmd(PRESET);
    Cmd("fault delay 300");
    SetIdleHook(
        g_handle, [](void *) { return 0; }, nullptr);
    EXPECT_FALSE(FetchConfig());
    SetIdleHook(g_handle, nullptr, nullptr);
    EXPECT_TRUE(ActionEscaped());
    EXPECT_EQ(memcmp(&g_config, &before, sizeof before), 0);
    Cmd("fault clear");
}

TEST_F(FetchSend, LimitsCutWhatTheModuleReports) {
    // A record count of 0 reads as 65535 records: the store cuts it to what
    // is left; after a full file not one record fits, and the file gets
    // one record, never 65535; a record length of 3000 becomes 2039.
    Area({{10, 1, 10, 0}, {10, 1, 0, 0}, {2039, 17, 1, 2040}, {2039, 0, 1, 0}});
    EXPECT_FALSE(FetchConfig());
    ASSERT_EQ(g_config.fileCount, 4u);
    EXPECT_EQ(g_config.files[0].maxRecord, 9);
    EXPECT_EQ(g_config.files[1].maxRecord, (523115 - 110) / 11 - 1);
    EXPECT_EQ(g_config.files[2].maxRecord, 0);
    EXPECT_EQ(g_config.files[3].maxRecord, 0);
    EXPECT_EQ(g_config.files[2].keyLength, 2039);
    EXPECT_TRUE(Shown("file 3 set to 1 record"));
    EXPECT_TRUE(Shown("Key length exceeds record length."));
    EXPECT_TRUE(Shown("More than 16 windows."));
    EXPECT_TRUE(Shown("FETCH COMPLETED WITH ERRORS"));

    // File 2's window would start at 2043 and run past 2047.
    ActionBegin();
    Area({{2030, 1, 1, 0}, {3000, 0, 1, 0}, {10, 1, 1, 0}});
    EXPECT_FALSE(FetchConfig());
    EXPECT_EQ(g_config.files[0].windowCount, 1);
    EXPECT_EQ(g_config.files[1].recordLength, 2039);
    EXPECT_EQ(g_config.files[2].windowCount, 0);
    EXPECT_TRUE(Shown("Record length exceeds 2039 registers."));
    EXPECT_TRUE(Shown("Rack Interface requirement exceeds 2048 registers."));
}

TEST_F(FetchSend, AModuleStillRefusingAfterTheUnlockCannotBeSet) {
    Cmd(PRESET);
    Cmd("lock 3");
    Cmd("fault noconfig");
    g_config = Sample();
    g_config.files[0].maxRecord = 5;
    ConsoleRecordInput("y");
    EXPECT_FALSE(SendConfig(false, true));
    EXPECT_EQ(TimesShown("Configuration is locked. Unlock it?"), 1);
    EXPECT_TRUE(Shown("Configuration cannot be set."));
    EXPECT_EQ(Cmd("lock")[0], "0");
    EXPECT_EQ(Cmd("config")[3], "99");
}

// The idle hook of the next test: once the module has been told to
// activate, the link goes silent.
vrx740::VrxSim *silenced;
int SilenceAfterActivation(void *) {
    vrx740::VrxSimWith(silenced, [](vrx740::Module *m, symaxsim::Slave *s) {
        if (m->configMode && !(m->reg[0] & CONFIGURE_BIT))
            s->faults.silent = true;
    });
    return 1;
}

TEST_F(FetchSend, ALinkThatGoesSilentDuringActivationIsNoSuccess) {
    g_config = Sample();
    Cmd("fault noactivate");
    silenced = sim;
    SetIdleHook(g_handle, SilenceAfterActivation, nullptr);
    EXPECT_FALSE(SendConfig(false, true));
    SetIdleHook(g_handle, nullptr, nullptr);
    EXPECT_TRUE(Shown("reply timeout"));
    EXPECT_TRUE(Shown("CONFIGURATION FAILED"));
    EXPECT_FALSE(Shown("SUCCESSFUL"));
}

TEST_F(FetchSend, AnUnreadLockRegisterIsNeverWritten) {
    Cmd("lock 2");
    Cmd("fault failread 8191 1");
    long writes = Stat("writes");
    EXPECT_FALSE(ModifyLockRegister(1, 0));
    EXPECT_EQ(Stat("writes"), writes);
    EXPECT_EQ(Cmd("lock")[0], "2");
    EXPECT_TRUE(Shown("COULD NOT ACCESS LOCK REGISTER"));
}

} // namespace
