// The simulated storage module's model: configuration mode and activation,
// the lock, the window commands, refusals, faults and addressing.
#include "sim/vrx740/module_model.h"
#include "sim/vrx740/module_state.h"

#include <gtest/gtest.h>

#include <memory>

using namespace vrx740;

namespace {

// File 1: record length 4, 2 windows (offsets 6 and 13), records 0-99, key 1.
// File 2: record length 10, 1 window (offset 24), records 0-9, unkeyed.
const std::vector<FileConfig> SAMPLE = {{4, 2, 99, 1}, {10, 1, 9, 0}};
enum { W1 = 6, W2 = 13, W3 = 24 };

struct Model : ::testing::Test {
    std::unique_ptr<Module> m = std::make_unique<Module>();
    void SetUp() override {
        ModuleInit(m.get());
        std::string why;
        ASSERT_TRUE(ModuleConfigure(m.get(), SAMPLE, &why)) << why;
    }
    uint16_t Read(int offset) { return ModuleRead(m.get(), offset); }
    void Write(int offset, uint16_t v) { ModuleWrite(m.get(), offset, v); }
    // Puts an image into the window at start (record length length).
    void Image(int start, std::vector<uint16_t> v) {
        for (size_t i = 0; i < v.size(); i++)
            Write(start + 2 + int(i), v[i]);
    }
    // Clears the window's bits, then runs a command; the status read after it.
    uint16_t Command(int start, int length, uint16_t command) {
        Write(start + length + 2, 0);
        Write(start + length + 2, command);
        return Read(start);
    }
    std::vector<int> Numbers(int file) {
        std::vector<int> n;
        for (const auto &e : m->files[size_t(file)].records)
            n.push_back(e.first);
        return n;
    }
};

TEST_F(Model, LayoutParameterBlocksAndConfigurationArea) {
    const uint16_t rack[] = {2, 0, 4, 2, 99, 1};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(Read(i), rack[i]) << i;
    EXPECT_EQ(Read(20), 10); // file 2 after two windows of 7
    EXPECT_EQ(Read(21), 1);
    const uint16_t area[] = {2, 0, 0, 4, 2, 2, 100, 1, 10, 1, 20, 10, 0};
    for (int i = 0; i < 13; i++)
        EXPECT_EQ(Read(2048 + i), area[i]) << 2048 + i;
    EXPECT_EQ(Read(8192 + 5), 0); // status words are good
}

TEST_F(Model, ConfigurationModeAndActivationAdoptTheWrittenBlocks) {
    ModuleSetRecord(m.get(), 0, 3, {1, 2, 3, 4});
    Write(0, 0x8001);
    EXPECT_TRUE(m->configMode);
    EXPECT_EQ(Read(6) & 0x8000, 0x8000);
    EXPECT_EQ(Read(0), 0x8001);
    // One file of record length 2, 3 windows, records 0-49, key 2.
    const uint16_t block[] = {2, 3, 49, 2};
    for (int i = 0; i < 4; i++)
        Write(2 + i, block[i]);
    Write(0, 1);
    EXPECT_FALSE(m->configMode);
    EXPECT_EQ(Read(6) & 0x8000, 0);
    ASSERT_EQ(m->files.size(), 1u);
    EXPECT_EQ(m->files[0].cfg.windows, 3);
    EXPECT_TRUE(m->files[0].records.empty());
    EXPECT_EQ(Read(0), 1);
    EXPECT_EQ(Read(2048), 1);
    EXPECT_EQ(Read(2054), 50);
    ASSERT_EQ(m->windows.size(), 3u);
    EXPECT_EQ(m->windows[2].start, 6 + 2 * 5);
}

TEST_F(Model, ConfigurationThatDoesNotFitStaysInConfigurationMode) {
    Write(0, 0x8001);
    Write(2, 3000); // record length beyond 2039
    Write(0, 1);
    EXPECT_TRUE(m->configMode);
    EXPECT_EQ(Read(6) & 0x8000, 0x8000);
    EXPECT_EQ(m->files.size(), 2u); // the old configuration stands meanwhile
}

TEST_F(Model, LockAndFaultsRefuseConfigurationMode) {
    m->reg[MOD_LOCK] = LOCK_CONFIG;
    Write(0, 0x8002);
    EXPECT_FALSE(m->configMode);
    EXPECT_EQ(Read(0), 2);
    EXPECT_EQ(Read(6) & 0x8000, 0);
    m->reg[MOD_LOCK] = LOCK_WRITE_PROTECT;
    m->faults.noConfig = true;
    Write(0, 0x8002);
    EXPECT_FALSE(m->configMode);
    m->faults.noConfig = false;
    m->faults.noActivate = true;
    Write(0, 0x8002);
    Write(0, 2);
    EXPECT_TRUE(m->configMode);
    EXPECT_EQ(Read(0), 2);
    EXPECT_EQ(Read(6) & 0x8000, 0x8000);
}

TEST_F(Model, WriteAtNumberAndReadRecord) {
    Image(W3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    Write(W3 + 1, 7);
    EXPECT_EQ(Command(W3, 10, CMD_WRITE_AT_NUMBER), CMD_WRITE_AT_NUMBER);
    EXPECT_EQ(Numbers(1), std::vector<int>{7});
    Image(W3, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(Command(W3, 10, CMD_READ_RECORD), CMD_READ_RECORD | ST_FOUND);
    EXPECT_EQ(Read(W3 + 2), 1);
    EXPECT_EQ(Read(W3 + 11), 10);
    Write(W3 + 1, 8);
    EXPECT_EQ(Command(W3, 10, CMD_READ_RECORD), CMD_READ_RECORD);
    EXPECT_EQ(Command(W3, 10, 0), 0);
}

TEST_F(Model, WriteRecordPlacesByKeyOrLowestFreeOrGivenNumber) {
    // Keyed file 1: a new key takes the lowest free number, a known key its record.
    ModuleSetRecord(m.get(), 0, 0, {5, 0, 0, 0});
    ModuleSetRecord(m.get(), 0, 2, {6, 0, 0, 0});
    Image(W1, {9, 1, 1, 1});
    EXPECT_EQ(Command(W1, 4, CMD_WRITE_RECORD), CMD_WRITE_RECORD);
    EXPECT_EQ(Read(W1 + 1), 1);
    Image(W1, {6, 2, 2, 2});
    EXPECT_EQ(Command(W1, 4, CMD_WRITE_RECORD), CMD_WRITE_RECORD);
    EXPECT_EQ(Read(W1 + 1), 2);
    EXPECT_EQ(m->files[0].records[2], (std::vector<uint16_t>{6, 2, 2, 2}));
    EXPECT_EQ(Numbers(0), (std::vector<int>{0, 1, 2}));
    // A number written first (restore) places the record there.
    Write(W2, 0); // status registers ignore the host
    Write(W2 + 6, 0);
    Image(W2, {7, 7, 7, 7});
    Write(W2 + 1, 50);
    Write(W2 + 6, CMD_WRITE_RECORD);
    EXPECT_EQ(Read(W2), CMD_WRITE_RECORD);
    EXPECT_EQ(Numbers(0), (std::vector<int>{0, 1, 2, 50}));
    // Unkeyed file 2 fills from 0.
    EXPECT_EQ(Command(W3, 10, CMD_WRITE_RECORD), CMD_WRITE_RECORD);
    EXPECT_EQ(Numbers(1), std::vector<int>{0});
}

TEST_F(Model, ReadNextSkipsGapsAndEndsWithoutWrap) {
    for (int n : {0, 3, 4, 9})
        ModuleSetRecord(m.get(), 1, n, {uint16_t(100 + n)});
    Write(W3 + 1, 1);
    EXPECT_EQ(Command(W3, 10, CMD_READ_RECORD), CMD_READ_RECORD); // 1 is empty
    std::vector<int> seen;
    for (int i = 0; i < 5; i++) {
        uint16_t st = Command(W3, 10, CMD_READ_NEXT);
        EXPECT_EQ(st & CMD_READ_NEXT, CMD_READ_NEXT);
        if (!(st & ST_FOUND))
            break;
        seen.push_back(Read(W3 + 1));
        EXPECT_EQ(Read(W3 + 2), 100 + seen.back());
    }
    EXPECT_EQ(seen, (std::vector<int>{3, 4, 9}));
    EXPECT_EQ(Command(W3, 10, CMD_READ_NEXT), CMD_READ_NEXT); // still at the end
    m->faults.wrapNext = true;
    EXPECT_EQ(Command(W3, 10, CMD_READ_NEXT), CMD_READ_NEXT | ST_FOUND);
    EXPECT_EQ(Read(W3 + 1), 0);
    // A read-next the link delivered twice moves on once: 0 comes first.
    Write(W3 + 1, 0);
    Command(W3, 10, CMD_READ_RECORD);
    Write(W3 + 12, CMD_READ_NEXT);
    Write(W3 + 12, CMD_READ_NEXT);
    EXPECT_EQ(Read(W3 + 1), 3);
}

TEST_F(Model, DeleteAllEmptiesTheFileOnly) {
    ModuleSetRecord(m.get(), 0, 1, {1});
    ModuleSetRecord(m.get(), 1, 1, {1});
    EXPECT_EQ(Command(W3, 10, CMD_DELETE_ALL), CMD_DELETE_ALL);
    EXPECT_TRUE(m->files[1].records.empty());
    EXPECT_EQ(m->files[0].records.size(), 1u);
}

TEST_F(Model, RefusalsCarryTheRefusedBit) {
    struct Case {
        const char *what;
        uint16_t lock;
        int refuse;
        uint16_t number;
        uint16_t command;
    } cases[] = {
        {"write protect, write", LOCK_WRITE_PROTECT, 0, 1, CMD_WRITE_AT_NUMBER},
        {"write protect, keyed", LOCK_WRITE_PROTECT, 0, 1, CMD_WRITE_RECORD},
        {"write protect, delete", LOCK_WRITE_PROTECT, 0, 1, CMD_DELETE_ALL},
        {"number above maximum", 0, 0, 10, CMD_WRITE_AT_NUMBER},
        {"fault refuse", 0, 1, 1, CMD_WRITE_AT_NUMBER},
        {"fault refuse always", 0, -1, 1, CMD_DELETE_ALL},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ModuleSetRecord(m.get(), 1, 5, {42});
        m->reg[MOD_LOCK] = c.lock;
        m->faults.refuse = c.refuse;
        Write(W3 + 1, c.number);
        EXPECT_EQ(Command(W3, 10, c.command), c.command | ST_REFUSED);
        EXPECT_EQ(Numbers(1), std::vector<int>{5});
    }
    m->reg[MOD_LOCK] = 0;
    m->faults.refuse = 2;
    Write(W3 + 1, 1);
    EXPECT_EQ(Command(W3, 10, CMD_WRITE_AT_NUMBER) & ST_REFUSED, ST_REFUSED);
    EXPECT_EQ(Command(W3, 10, CMD_WRITE_AT_NUMBER) & ST_REFUSED, ST_REFUSED);
    Write(W3 + 1, 1);
    EXPECT_EQ(Command(W3, 10, CMD_WRITE_AT_NUMBER), CMD_WRITE_AT_NUMBER);
}

TEST_F(Model, SlowCompletionShowsAfterNStatusReads) {
    m->faults.slow = 3;
    Write(W3 + 12, 0);
    Write(W3 + 12, CMD_DELETE_ALL);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(Read(W3), 0) << i;
    EXPECT_EQ(Read(W3), CMD_DELETE_ALL);
    EXPECT_EQ(Read(W3), CMD_DELETE_ALL);
}

TEST_F(Model, StuckBitsStayThroughTheClearingCommand) {
    m->faults.stuck = 0x0180;
    EXPECT_EQ(Command(W3, 10, 0), 0x0180);
    EXPECT_EQ(Command(W3, 10, CMD_DELETE_ALL), 0x0181);
}

TEST_F(Model, AddressingFrontPanelAndPlcPort) {
    m->reg[MOD_LOCK] = 3;
    uint16_t v[4] = {};
    // Front panel: index = register - 1 = offset; 8192 up are status words.
    ASSERT_EQ(ModuleLinkRead(m.get(), 8191, 1, v), 0);
    EXPECT_EQ(v[0], 3);
    ASSERT_EQ(ModuleLinkRead(m.get(), 8192 + 2, 2, v), 0);
    EXPECT_EQ(v[0], 0);
    // PLC port at 1001: register 1001 is offset 0, its status word 9193.
    m->plc = true;
    m->rack = 1001;
    ASSERT_EQ(ModuleLinkRead(m.get(), 1000, 4, v), 0);
    EXPECT_EQ(v[0], 2);
    EXPECT_EQ(v[2], 4);
    EXPECT_EQ(ModuleLinkRead(m.get(), 9192, 1, v), 0);
    EXPECT_EQ(ModuleLinkRead(m.get(), 999, 2, v), MOD_ILLEGAL_ADDRESS);
    EXPECT_EQ(ModuleLinkRead(m.get(), 1000 + 2047, 2, v), MOD_ILLEGAL_ADDRESS);
    EXPECT_EQ(ModuleLinkRead(m.get(), 1000 + 8191, 1, v), MOD_ILLEGAL_ADDRESS);
    // A window command through the rack address.
    uint16_t cmd[1] = {CMD_DELETE_ALL};
    m->reg[MOD_LOCK] = 0;
    ModuleSetRecord(m.get(), 1, 0, {});
    ASSERT_EQ(ModuleLinkWrite(m.get(), 1000 + W3 + 12, 1, cmd), 0);
    EXPECT_TRUE(m->files[1].records.empty());
}

TEST_F(Model, FailReadFailsTheNextReadsTouchingTheOffset) {
    m->faults.failReadOffset = 6;
    m->faults.failReadCount = 2;
    uint16_t v[8];
    EXPECT_EQ(ModuleLinkRead(m.get(), 0, 6, v), 0); // offsets 0-5
    EXPECT_EQ(ModuleLinkRead(m.get(), 4, 4, v), MOD_READ_ERROR);
    EXPECT_EQ(ModuleLinkRead(m.get(), 6, 1, v), MOD_READ_ERROR);
    EXPECT_EQ(ModuleLinkRead(m.get(), 6, 1, v), 0);
}

TEST_F(Model, StateTextRoundTripsAndBadTextChangesNothing) {
    ModuleSetRecord(m.get(), 0, 3, {1, 2, 3, 65535});
    ModuleSetRecord(m.get(), 1, 9, {7});
    m->reg[MOD_LOCK] = 2;
    std::string text = StateText(m.get());
    auto other = std::make_unique<Module>();
    ModuleInit(other.get());
    std::string why;
    ASSERT_TRUE(StateParse(text, other.get(), &why)) << why;
    EXPECT_EQ(StateText(other.get()), text);
    const char *bad[] = {
        "",
        "VRX740SIM 2\nend\n",
        "VRX740SIM 1\nfiles 1\nfile 4 1 9 0\n",                           // no end
        "VRX740SIM 1\nfiles 1\nfile 4 1 9 0\nrecord 1 10 1 2 3 4\nend\n", // beyond maximum
        "VRX740SIM 1\nfiles 1\nfile 4 1 9 0\nrecord 1 1 1 2 3\nend\n",    // short image
        "VRX740SIM 1\nfiles 1\nfile 3000 1 9 0\nend\n",                   // too long
        "VRX740SIM 1\nfiles 2\nfile 4 1 9 0\nend\n",                      // a file missing
        "VRX740SIM 1\nlock 70000\nend\n",
    };
    for (const char *b : bad) {
        EXPECT_FALSE(StateParse(b, other.get(), &why)) << b;
        EXPECT_EQ(StateText(other.get()), text) << b;
    }
}

} // namespace
