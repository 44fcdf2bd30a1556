// The Modbus RTU and ASCII back ends over a real pty against our simulator:
// every function code, exception replies and the simulator's faults.
#include "comm/comm.h"
#include "comm/comm_internal.h"
#include "platform/serial.h"
#include "tests/harness/sim_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct Framing {
    const char *name;
    const char *option;
    CommHandle *(*open)(const char *, int);
};

void PrintTo(const Framing &f, std::ostream *os) {
    *os << f.name;
}

const Framing framings[] = {
    {"Rtu", "--rtu", OpenModbusRTU},
    {"Ascii", "--ascii", OpenModbusAscii},
};

struct SerialPtyTest : ::testing::TestWithParam<Framing> {
    TempDir dir;
    SimProcess sim;
    CommHandle *h = nullptr;
    int poolAfterOpen = 0;
    void SetUp() override {
        ASSERT_FALSE(dir.path.empty());
        ASSERT_TRUE(sim.start({MODBUS_SERIAL_SIM, GetParam().option, "--slave", "7", "--baud",
                               "38400", "--link", dir.path + "/COM1", "--late-ms", "900"},
                              nullptr));
        h = GetParam().open("com1:", 7);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(SerialPortRtsMode(h->port), SERIAL_RTS_TOGGLE_PORT);
        // 38400 baud, no parity, one stop bit, a 40-tick (0.4 s) reply timeout.
        ASSERT_EQ(SetPortParams(h, 38400, 0, 1, 40, 8), 1);
        poolAfterOpen = pool_count();
    }
    void TearDown() override {
        // Every request and reply buffer is back in the pool.
        if (h) {
            EXPECT_EQ(pool_count(), poolAfterOpen);
            CommClose(h);
        }
        sim.stop();
    }
    std::string text() { return CommErrorText(h); }
};

} // namespace

TEST_P(SerialPtyTest, HoldingRegisters) {
    ASSERT_EQ(sim.command("set 4x 100 1 2 65535"), "OK");
    uint16_t v[3] = {0};
    ASSERT_EQ(Read4X(h, 100, 3, v), 3) << text();
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 2);
    EXPECT_EQ(v[2], 65535);
    uint16_t w[3] = {0x1234, 0, 0xBEEF};
    ASSERT_EQ(Write4X(h, 200, 3, w), 3) << text();
    EXPECT_EQ(sim.command("get 4x 200 3"), "OK 4660 0 48879");
    uint16_t one[1] = {77};
    ASSERT_EQ(Write4XOp6(h, 5, 1, one), 1) << text();
    EXPECT_EQ(sim.command("get 4x 5 1"), "OK 77");
}

TEST_P(SerialPtyTest, LargestBlocks) {
    uint16_t v[125];
    for (int i = 0; i < 125; i++)
        v[i] = (uint16_t)(i * 517);
    ASSERT_EQ(Write4X(h, 1, 123, v), 123) << text();
    uint16_t r[125] = {0};
    ASSERT_EQ(Read4X(h, 1, 123, r), 123) << text();
    for (int i = 0; i < 123; i++)
        ASSERT_EQ(r[i], v[i]) << i;
}

TEST_P(SerialPtyTest, CoilsAndInputs) {
    ASSERT_EQ(sim.command("set 0x 1 1 0 0 0 0 0 0 1 1 0"), "OK");
    uint16_t v[10] = {0};
    ASSERT_EQ(Read0X(h, 0, 1, 10, v), 10) << text();
    EXPECT_EQ(v[0], 0x8101); // coils 1-8 in the high byte, 9 and 10 in the low
    ASSERT_EQ(sim.command("set 1x 11 0 1 1"), "OK");
    ASSERT_EQ(Read1X(h, 0, 11, 3, v), 3) << text();
    EXPECT_EQ(v[0], 0x0600);
    uint16_t single[1] = {0xFF00};
    ASSERT_EQ(Write0X(h, 20, 1, single), 1) << text();
    EXPECT_EQ(sim.command("get 0x 20 1"), "OK 1");
    uint16_t many[9] = {1, 0, 1, 0, 0, 0, 0, 0, 1};
    ASSERT_EQ(Write0XMulti(h, 30, 9, many), 9) << text();
    EXPECT_EQ(sim.command("get 0x 30 9"), "OK 1 0 1 0 0 0 0 0 1");
}

TEST_P(SerialPtyTest, InputRegistersAndFiles) {
    ASSERT_EQ(sim.command("set 3x 1 11 22"), "OK");
    uint16_t v[4] = {0};
    ASSERT_EQ(Read3X(h, 0, 1, 2, v), 2) << text();
    EXPECT_EQ(v[0], 11);
    EXPECT_EQ(v[1], 22);
    uint16_t w[2] = {333, 444};
    ASSERT_EQ(Write3X(h, 1, 2, w), 2) << text();
    EXPECT_EQ(sim.command("get 3x 1 2"), "OK 333 444");
    uint16_t rec[3] = {5, 6, 7};
    ASSERT_EQ(Write6X(h, 1, 0, 3, rec), 3) << text();
    EXPECT_EQ(sim.command("get 6x 1 0 3"), "OK 5 6 7");
    ASSERT_EQ(sim.command("set 6x 2 9 65535 1"), "OK");
    ASSERT_EQ(Read6X(h, 2, 9, 2, v), 2) << text();
    EXPECT_EQ(v[0], 65535);
    EXPECT_EQ(v[1], 1);
}

TEST_P(SerialPtyTest, ExceptionReplies) {
    uint16_t v[2] = {0};
    EXPECT_EQ(Read4X(h, 60000, 2, v), 0);
    EXPECT_EQ(text().rfind("Modbus error reply 2 ", 0), 0u) << text();
    EXPECT_EQ(Write4X(h, 60000, 2, v), 0);
    EXPECT_EQ(text().rfind("Modbus error reply 2 ", 0), 0u) << text();
    // The handle goes on working.
    EXPECT_EQ(Read4X(h, 1, 2, v), 2) << text();
}

TEST_P(SerialPtyTest, ReplyFromAnotherSlave) {
    ASSERT_EQ(sim.command("fault wrong-slave once"), "OK");
    uint16_t v[2] = {0};
    EXPECT_EQ(Read4X(h, 1, 2, v), 0);
    EXPECT_EQ(text(), "Read reply had wrong drop");
    ASSERT_EQ(sim.command("fault wrong-slave once"), "OK");
    EXPECT_EQ(Write4X(h, 1, 2, v), 0);
    EXPECT_EQ(text(), "Write reply had wrong drop");
}

TEST_P(SerialPtyTest, BadCheckAndSilenceTimeOut) {
    uint16_t v[2] = {0};
    ASSERT_EQ(sim.command("fault bad-check once"), "OK");
    EXPECT_EQ(Read4X(h, 1, 2, v), 0);
    EXPECT_EQ(text(), "No reply to read command");
    ASSERT_EQ(sim.command("fault silence once"), "OK");
    EXPECT_EQ(Write4X(h, 1, 2, v), 0);
    EXPECT_EQ(text(), "No reply to write command");
    EXPECT_EQ(Read4X(h, 1, 2, v), 2) << text();
}

TEST_P(SerialPtyTest, OverlongReplyFailsTheRead) {
    // A 30-second timeout: the overlong frame ends the wait long before.
    ASSERT_EQ(SetPortParams(h, 38400, 0, 1, 3000, 8), 1);
    ASSERT_EQ(sim.command("fault overlong once"), "OK");
    uint16_t v[2] = {0};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Read4X(h, 1, 2, v), 0);
    EXPECT_EQ(text(), "No reply to read command");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    for (int i = 0; i < 100 && sim.command("stats").rfind("OK replies 1 ", 0) != 0; i++)
        usleep(20000);
    usleep(100000); // the rest of the junk reaches the framer while no reply is wanted
    EXPECT_EQ(Read4X(h, 1, 2, v), 2) << text();
}

TEST_P(SerialPtyTest, LateReplyIsNotTakenForTheNextOne) {
    ASSERT_EQ(sim.command("set 4x 1 10 20"), "OK");
    ASSERT_EQ(sim.command("fault late once"), "OK");
    uint16_t v[2] = {0};
    EXPECT_EQ(Read4X(h, 1, 2, v), 0);
    EXPECT_EQ(text(), "No reply to read command");
    // Wait (bounded) until the late reply has gone out, then read again.
    for (int i = 0; i < 100 && sim.command("stats").rfind("OK replies 1 ", 0) != 0; i++)
        usleep(20000);
    // The reader thread hands the late bytes to the framer once the line has
    // been quiet for its interval (8 ms at 38400 baud); give it well over that,
    // as a master leaves the line idle before its next request.
    usleep(100000);
    ASSERT_EQ(sim.command("set 4x 1 30 40"), "OK");
    ASSERT_EQ(Read4X(h, 1, 2, v), 2) << text();
    EXPECT_EQ(v[0], 30);
    EXPECT_EQ(v[1], 40);
}

TEST_P(SerialPtyTest, RequestForAnotherSlaveIsNotAnswered) {
    CommClose(h);
    h = GetParam().open("COM1:", 8);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(SetPortParams(h, 38400, 0, 1, 30, 8), 1);
    poolAfterOpen = pool_count();
    uint16_t v[1];
    EXPECT_EQ(Read4X(h, 1, 1, v), 0);
    EXPECT_EQ(text(), "No reply to read command");
    EXPECT_EQ(sim.command("stats"), "OK replies 0 bad-frames 0 other-slave 1");
}

TEST_P(SerialPtyTest, BufferShortage) {
    std::vector<MsgBuffer *> taken;
    while (MsgBuffer *b = pool_take())
        taken.push_back(b);
    uint16_t v[1] = {0};
    EXPECT_EQ(Read4X(h, 1, 1, v), 0);
    EXPECT_EQ(text(), "Buffer shortage, try again");
    EXPECT_EQ(Write6X(h, 1, 0, 1, v), 0);
    EXPECT_EQ(text(), "Buffer shortage, try again");
    for (MsgBuffer *b : taken)
        pool_give(b);
    EXPECT_EQ(Read4X(h, 1, 1, v), 1) << text();
}

TEST_P(SerialPtyTest, IdleHookAborts) {
    ASSERT_EQ(sim.command("fault silence once"), "OK");
    SetIdleHook(
        h, [](void *) { return 0; }, nullptr);
    uint16_t v[1];
    EXPECT_EQ(Read4X(h, 1, 1, v), 0);
    EXPECT_EQ(text(), "Application idle abort");
}

INSTANTIATE_TEST_SUITE_P(Framings, SerialPtyTest, ::testing::ValuesIn(framings),
                         [](const auto &info) { return std::string(info.param.name); });
