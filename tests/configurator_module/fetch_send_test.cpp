// Fetch, send and the lock register against the simulated module.
#include "configurator/fetch_send.h"
#include "module_fixture.h"

#include <array>
#include <cstring>

namespace {

class FetchSend : public ModuleTest {
  protected:
    // Three files: windows of length 10 and 20, and a file without windows.
    static constexpr const char *PRESET = "preset 3 10 2 99 2 20 1 49 0 5 0 9 5";

    static ModuleConfig Expected() {
        ModuleConfig c;
        ClearConfig(&c);
        c.fileCount = 3;
        c.files[0] = {10, 2, 99, 2, {6, 19}};
        c.files[1] = {20, 1, 49, 0, {36}};
        c.files[2] = {5, 0, 9, 5, {}};
        return c;
    }
    static void ExpectImage(const ModuleConfig &want) {
        ASSERT_EQ(g_config.fileCount, want.fileCount);
        for (uint32_t i = 0; i < want.fileCount; i++)
            EXPECT_EQ(memcmp(&g_config.files[i], &want.files[i], sizeof want.files[i]), 0)
                << "file " << i + 1;
    }
    // Writes configuration area registers (offset 2048 on) as the module would hold them.
    void Area(int offset, std::initializer_list<uint16_t> values) {
        vrx740::VrxSimWith(sim, [&](vrx740::Module *m, symaxsim::Slave *) {
            int at = offset;
            for (uint16_t v : values)
                m->reg[at++] = v;
        });
    }
    // The configuration area of files given as (length, windows, count, key).
    void AreaFiles(std::initializer_list<std::array<uint16_t, 4>> files) {
        Area(2048, {(uint16_t)files.size()});
        int at = 2051;
        for (const auto &f : files) {
            Area(at, {f[0], f[1], 0, f[2], f[3]});
            at += 5;
        }
    }
    static void Yes() { ConsoleRecordInput("y"); }
};

TEST_F(FetchSend, FrontPanelAndPlcPortFetchTheSameImage) {
    Cmd(PRESET);
    long reads = Stat("reads");
    ASSERT_TRUE(FetchConfig());
    // The configuration area of a small configuration is one read.
    EXPECT_EQ(Stat("reads") - reads, 1);
    ExpectImage(Expected());
    EXPECT_NE(Row(10).find("CONFIGURATION FETCHED"), std::string::npos);

    RestartModule(true, 1001);
    Cmd(PRESET);
    ClearConfig(&g_config);
    ActionBegin();
    ASSERT_TRUE(FetchConfig());
    ExpectImage(Expected());
}

TEST_F(FetchSend, AFetchThatLosesTheLinkLeavesTheImageAsItWas) {
    RestartModule(true, 1001);
    Cmd(PRESET);
    ModuleConfig before = Expected();
    before.files[0].maxRecord = 7;
    g_config = before;
    // File 2's parameter block is at offset 32.
    Cmd("fault failread 32 1");
    EXPECT_FALSE(FetchConfig());
    EXPECT_EQ(memcmp(&g_config, &before, sizeof before), 0);
    EXPECT_TRUE(Shown("FETCH UNSUCCESSFUL"));
    EXPECT_EQ(Row(10).find("FETCHED"), std::string::npos);

    RestartModule(false, 1);
    Cmd(PRESET);
    Cmd("fault failread 2048 1");
    EXPECT_FALSE(FetchConfig());
    EXPECT_EQ(memcmp(&g_config, &before, sizeof before), 0);
}

TEST_F(FetchSend, AModuleWithoutFilesIsNoFetch) {
    g_config = Expected();
    EXPECT_FALSE(FetchConfig());
    EXPECT_TRUE(Shown("FETCH UNSUCCESSFUL"));
    EXPECT_EQ(g_config.fileCount, 0u);
    EXPECT_EQ(g_config.files[0].recordLength, 10);
}

TEST_F(FetchSend, ARecordCountOfZeroIsCutByTheStore) {
    AreaFiles({{10, 1, 10, 0}, {10, 1, 0, 0}});
    EXPECT_FALSE(FetchConfig());
    EXPECT_EQ(g_config.files[0].maxRecord, 9);
    // 65536 records do not fit: what is left after file 1 does.
    EXPECT_EQ(g_config.files[1].maxRecord, (523115 - 110) / 11 - 1);
    EXPECT_TRUE(Shown("Data storage exceeds 523115 registers."));
    EXPECT_TRUE(Shown("FETCH COMPLETED WITH ERRORS"));
}

TEST_F(FetchSend, AFileWhereNotOneRecordFitsGetsOneNotAll) {
    AreaFiles({{2039, 0, 256, 0}, {2039, 0, 1, 0}, {3000, 0, 1, 0}});
    EXPECT_FALSE(FetchConfig());
    ASSERT_EQ(g_config.fileCount, 3u);
    EXPECT_EQ(g_config.files[0].maxRecord, 255);
    EXPECT_EQ(g_config.files[1].maxRecord, 0);
    EXPECT_EQ(g_config.files[2].maxRecord, 0);
    EXPECT_EQ(g_config.files[2].recordLength, 2039);
    EXPECT_TRUE(Shown("file 2 set to 1 record"));
    EXPECT_TRUE(Shown("Record length exceeds 2039 registers."));
    EXPECT_TRUE(Shown("FETCH COMPLETED WITH ERRORS"));
}

TEST_F(FetchSend, WindowsStayWithinTheRackInterface) {
    // File 2's window would start at 2043 and end past 2047.
    AreaFiles({{2030, 1, 1, 0}, {10, 1, 1, 0}});
    EXPECT_FALSE(FetchConfig());
    ASSERT_EQ(g_config.fileCount, 2u);
    EXPECT_EQ(g_config.files[0].windowCount, 1);
    EXPECT_EQ(g_config.files[1].windowCount, 0);
    EXPECT_TRUE(Shown("Rack Interface requirement exceeds 2048 registers."));
    ModuleWindow w;
    EXPECT_FALSE(FileWindow(1, SelectWindowIndex(1, 1), &w));
    EXPECT_TRUE(Shown("File 2 has no windows."));
}

TEST_F(FetchSend, TooManyWindowsAndKeyTooLongAreCut) {
    AreaFiles({{4, 17, 1, 5}});
    EXPECT_FALSE(FetchConfig());
    EXPECT_EQ(g_config.files[0].windowCount, 16);
    EXPECT_EQ(g_config.files[0].keyLength, 4);
    EXPECT_EQ(g_config.files[0].windowOffset[15], 6 + 15 * 7);
    EXPECT_TRUE(Shown("More than 16 windows."));
    EXPECT_TRUE(Shown("Key length exceeds record length."));
}

TEST_F(FetchSend, SendThenFetchGivesTheSameImage) {
    Cmd("preset 1 4 1 9 1");
    Cmd("setrec 1 3 1 2 3 4");
    g_config = Expected();
    ASSERT_TRUE(SendConfig(false, false));
    EXPECT_NE(Row(10).find("CONFIGURATION SUCCESSFUL"), std::string::npos);
    EXPECT_EQ(Cmd("config"), (std::vector<std::string>{"3", "10", "2", "99", "2", "20", "1", "49",
                                                       "0", "5", "0", "9", "5"}));
    EXPECT_TRUE(Cmd("records 1").empty());
    ClearConfig(&g_config);
    ASSERT_TRUE(FetchConfig());
    ExpectImage(Expected());
}

TEST_F(FetchSend, AnEmptyConfigurationIsSentAsNoFiles) {
    Cmd(PRESET);
    ASSERT_TRUE(SendConfig(false, false));
    EXPECT_EQ(Cmd("config"), std::vector<std::string>{"0"});
}

TEST_F(FetchSend, ALockedModuleOffersToUnlockThenToLock) {
    Cmd("lock 3");
    g_config = Expected();
    Yes(); // unlock
    Yes(); // lock afterwards
    ASSERT_TRUE(SendConfig(false, true));
    EXPECT_TRUE(Shown("Configuration is locked. Unlock it?"));
    EXPECT_TRUE(Shown("Lock configuration?"));
    EXPECT_NE(Row(10).find("LOCK REGISTER MODIFIED"), std::string::npos);
    EXPECT_EQ(Cmd("config")[0], "3");
    // Unlocking cleared the write protection too; the lock came back alone.
    EXPECT_EQ(Cmd("lock")[0], "1");
}

TEST_F(FetchSend, NoToTheUnlockOfferChangesNothing) {
    Cmd(PRESET);
    Cmd("lock 1");
    ClearConfig(&g_config);
    g_config.fileCount = 1;
    g_config.files[0] = {3, 1, 1, 0, {}};
    EXPECT_FALSE(SendConfig(false, true)); // no keys: the answer is no
    EXPECT_EQ(Cmd("lock")[0], "1");
    EXPECT_EQ(Cmd("config")[0], "3");
    EXPECT_EQ(Row(10).find("SUCCESSFUL"), std::string::npos);
}

TEST_F(FetchSend, AModuleThatStaysOutOfConfigurationModeIsReported) {
    g_config = Expected();
    Cmd("fault noconfig");
    EXPECT_FALSE(SendConfig(false, true));
    EXPECT_TRUE(Shown("Configuration cannot be set."));
    EXPECT_FALSE(Shown("Unlock it?"));

    // Locked, with the unlock already tried: no second offer.
    Cmd("fault clear");
    Cmd("lock 1");
    EXPECT_FALSE(SendConfig(true, true));
    EXPECT_FALSE(Shown("Unlock it?"));
    EXPECT_EQ(TimesShown("Configuration cannot be set."), 2);
}

TEST_F(FetchSend, AModuleStillRefusingAfterTheUnlockCannotBeSet) {
    Cmd(PRESET);
    Cmd("lock 3");
    Cmd("fault noconfig");
    g_config = Expected();
    g_config.files[0].maxRecord = 5;
    Yes();
    EXPECT_FALSE(SendConfig(false, true));
    EXPECT_EQ(TimesShown("Configuration is locked. Unlock it?"), 1);
    EXPECT_TRUE(Shown("Configuration cannot be set."));
    EXPECT_EQ(Cmd("lock")[0], "0");
    EXPECT_EQ(Cmd("config")[3], "99");
}

// An idle hook standing for ESC typed during the wait.
int EscAtOnce(void *) {
    return 0;
}

TEST_F(FetchSend, EscDuringAFetchLeavesTheImage) {
    Cmd(PRESET);
    ModuleConfig before = Expected();
    before.files[1].keyLength = 3;
    g_config = before;
    Cmd("fault delay 300");
    SetIdleHook(g_handle, EscAtOnce, nullptr);
    EXPECT_FALSE(FetchConfig());
    SetIdleHook(g_handle, nullptr, nullptr);
    EXPECT_TRUE(ActionAborted());
    EXPECT_EQ(memcmp(&g_config, &before, sizeof before), 0);
    EXPECT_TRUE(Shown("FETCH UNSUCCESSFUL"));
    Cmd("fault clear");
}

TEST_F(FetchSend, ThroughThePlcPortALockedModuleMayBeLocked) {
    RestartModule(true, 1001);
    Cmd("lock 1");
    g_config = Expected();
    EXPECT_FALSE(SendConfig(false, true));
    EXPECT_TRUE(Shown("Configuration may be locked."));
    EXPECT_FALSE(Shown("Unlock it?"));
}

TEST_F(FetchSend, AModuleThatWontActivateFails) {
    g_config = Expected();
    Cmd("fault noactivate");
    EXPECT_FALSE(SendConfig(false, true));
    EXPECT_TRUE(Shown("CONFIGURATION FAILED"));
    EXPECT_EQ(Row(10).find("SUCCESSFUL"), std::string::npos);
    EXPECT_FALSE(Shown("Lock configuration?"));
}

// The idle hook of the next test: once the module has been told to activate,
// the link goes silent.
vrx740::VrxSim *silence_sim;
int SilenceAfterActivation(void *) {
    vrx740::VrxSimWith(silence_sim, [](vrx740::Module *m, symaxsim::Slave *s) {
        if (m->configMode && !(m->reg[0] & 0x8000))
            s->faults.silent = true;
    });
    return 1;
}

TEST_F(FetchSend, ALinkThatGoesSilentDuringActivationIsNoSuccess) {
    g_config = Expected();
    Cmd("fault noactivate");
    silence_sim = sim;
    SetIdleHook(g_handle, SilenceAfterActivation, nullptr);
    EXPECT_FALSE(SendConfig(false, true));
    SetIdleHook(g_handle, nullptr, nullptr);
    EXPECT_TRUE(ActionFailed());
    EXPECT_TRUE(Shown("reply timeout"));
    EXPECT_TRUE(Shown("CONFIGURATION FAILED"));
    EXPECT_FALSE(Shown("SUCCESSFUL"));
}

TEST_F(FetchSend, ProtectBitsAreSetAndClearedAlone) {
    struct Case {
        uint16_t before;
        unsigned set, clear;
        uint16_t after;
    } cases[] = {
        {0, 1, 0, 1}, {1, 2, 0, 3},           {3, 0, 1, 2},
        {2, 0, 2, 0}, {0x8004, 1, 0, 0x8005}, {0x8007, 0, 2, 0x8005},
    };
    for (const Case &c : cases) {
        Cmd("lock " + std::to_string(c.before));
        ActionBegin();
        EXPECT_TRUE(ModifyLockRegister(c.set, c.clear));
        EXPECT_EQ(Cmd("lock")[0], std::to_string(c.after))
            << c.before << " +" << c.set << " -" << c.clear;
    }
    EXPECT_NE(Row(10).find("LOCK REGISTER MODIFIED"), std::string::npos);
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
