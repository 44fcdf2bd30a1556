// The gateway dialogue over a real pty against the simulated gateway device.
#include "comm/comm.h"
#include "comm/comm_internal.h"
#include "platform/serial.h"
#include "tests/harness/sim_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct GatewayPtyTest : ::testing::Test {
    TempDir dir;
    SimProcess sim;
    CommHandle *h = nullptr;
    int poolAfterOpen = 0;
    void open_route(std::vector<uint16_t> route) {
        ASSERT_TRUE(
            sim.start({GATEWAY_SIM, "--baud", "38400", "--link", dir.path + "/COM1"}, nullptr));
        h = OpenGateway("COM1:", route.data());
        ASSERT_NE(h, nullptr);
        // A pty has no line driver: the port itself toggles RTS around writes.
        EXPECT_EQ(SerialPortRtsMode(h->port), SERIAL_RTS_TOGGLE_PORT);
        ASSERT_EQ(SetPortParams(h, 38400, 0, 1, 40, 8), 1);
        poolAfterOpen = pool_count();
    }
    void TearDown() override {
        // Every command and reply buffer is back in the pool.
        if (h) {
            EXPECT_EQ(pool_count(), poolAfterOpen);
            CommClose(h);
        }
        sim.stop();
    }
    std::string text() { return CommErrorText(h); }
};

} // namespace

TEST_F(GatewayPtyTest, ReadsSelectTheRouteOnce) {
    open_route({2, 12, 7});
    ASSERT_EQ(sim.command("set 4x 8190 10 20 30"), "OK");
    uint16_t v[3] = {0};
    ASSERT_EQ(Read4X(h, 8190, 3, v), 3) << text();
    EXPECT_EQ(v[0], 10);
    EXPECT_EQ(v[1], 20);
    EXPECT_EQ(v[2], 30);
    ASSERT_EQ(Read4X(h, 8190, 3, v), 3) << text();
    EXPECT_EQ(sim.command("route"), "OK 2 12 7");
    EXPECT_EQ(sim.command("stats"), "OK selects 1 reads 2 writes 0 bad 0");
}

TEST_F(GatewayPtyTest, WritesSignWidenedValues) {
    open_route({0});
    uint16_t w[3] = {1, 32768, 65535};
    ASSERT_EQ(Write4X(h, 1, 3, w), 3) << text();
    EXPECT_EQ(sim.command("get 4x 1 3"), "OK 1 32768 65535");
    EXPECT_EQ(sim.command("route"), "OK 0");
    ASSERT_EQ(Write4XOp6(h, 9, 1, w), 1) << text();
    EXPECT_EQ(sim.command("get 4x 9 1"), "OK 1");
}

TEST_F(GatewayPtyTest, LongWriteGoesOutInSeveralLines) {
    open_route({1, 3});
    std::vector<uint16_t> w(128);
    for (int i = 0; i < 128; i++)
        w[i] = (uint16_t)(65535 - i);
    ASSERT_EQ(Write4X(h, 100, 128, w.data()), 128) << text();
    std::string expect = "OK";
    for (int i = 0; i < 128; i++)
        expect += " " + std::to_string(65535 - i);
    EXPECT_EQ(sim.command("get 4x 100 128"), expect);
}

TEST_F(GatewayPtyTest, StatusPortionIsRefused) {
    open_route({0});
    uint16_t v[4];
    EXPECT_EQ(Read4X(h, 8190, 4, v), 0);
    EXPECT_EQ(text(), "Gateway can't read status portion");
    EXPECT_EQ(Write4X(h, 8192, 2, v), 0);
    EXPECT_EQ(text(), "Gateway can't write status portion");
    EXPECT_EQ(sim.command("stats"), "OK selects 0 reads 0 writes 0 bad 0");
}

TEST_F(GatewayPtyTest, ShortAndLongReplies) {
    open_route({0});
    uint16_t v[3];
    ASSERT_EQ(sim.command("fault short once"), "OK");
    EXPECT_EQ(Read4X(h, 1, 3, v), 0);
    EXPECT_EQ(text(), "Read reply too short");
    ASSERT_EQ(sim.command("fault long once"), "OK");
    EXPECT_EQ(Read4X(h, 1, 2, v), 0);
    EXPECT_EQ(text(), "Read reply too short");
    EXPECT_EQ(Read4X(h, 1, 3, v), 3) << text();
}

TEST_F(GatewayPtyTest, NoReplySelectsTheRouteAgain) {
    open_route({1, 5});
    uint16_t v[2];
    ASSERT_EQ(Read4X(h, 1, 2, v), 2) << text();
    ASSERT_EQ(sim.command("fault silence once"), "OK");
    EXPECT_EQ(Read4X(h, 1, 2, v), 0);
    EXPECT_EQ(text(), "No reply to R command");
    ASSERT_EQ(Read4X(h, 1, 2, v), 2) << text();
    EXPECT_EQ(sim.command("stats"), "OK selects 2 reads 2 writes 0 bad 0");
}

TEST_F(GatewayPtyTest, FailedSelectionIsNotCached) {
    open_route({1, 5});
    uint16_t v[2];
    ASSERT_EQ(sim.command("fault silence once"), "OK");
    EXPECT_EQ(Read4X(h, 1, 2, v), 0);
    EXPECT_EQ(text(), "No valid reply to A command");
    ASSERT_EQ(Read4X(h, 1, 2, v), 2) << text();
    // The silent selection is not counted: the one counted came after it.
    EXPECT_EQ(sim.command("stats"), "OK selects 1 reads 1 writes 0 bad 0");
}

TEST_F(GatewayPtyTest, WrongWriteReplyIsWaitedOnNotResent) {
    open_route({0});
    uint16_t v[1] = {5};
    ASSERT_EQ(Write4X(h, 1, 1, v), 1) << text();
    ASSERT_EQ(sim.command("fault garbage once"), "OK");
    EXPECT_EQ(Write4X(h, 1, 1, v), 0);
    EXPECT_EQ(text(), "No valid reply to W command");
    EXPECT_EQ(sim.command("stats"), "OK selects 1 reads 0 writes 1 bad 0");
    // The route cache was forgotten: the next command selects it again.
    ASSERT_EQ(Write4X(h, 1, 1, v), 1) << text();
    EXPECT_EQ(sim.command("stats"), "OK selects 2 reads 0 writes 2 bad 0");
}

TEST_F(GatewayPtyTest, BufferShortage) {
    open_route({1, 4});
    std::vector<MsgBuffer *> taken;
    while (MsgBuffer *b = pool_take())
        taken.push_back(b);
    uint16_t v[1] = {0};
    EXPECT_EQ(Read4X(h, 1, 1, v), 0);
    EXPECT_EQ(text(), "Buffer shortage, try again");
    // One buffer: enough for the read command but not for the route selection.
    pool_give(taken.back());
    taken.pop_back();
    EXPECT_EQ(Write4X(h, 1, 1, v), 0);
    EXPECT_EQ(text(), "Buffer shortage, try again");
    EXPECT_EQ(pool_count(), 1);
    for (MsgBuffer *b : taken)
        pool_give(b);
    EXPECT_EQ(Read4X(h, 1, 1, v), 1) << text();
}
