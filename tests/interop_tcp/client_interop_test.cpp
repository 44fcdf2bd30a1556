// Our Modbus TCP and RTU-over-TCP clients against slaves nobody here wrote:
// pymodbus 3.0 (Modbus TCP, and its RTU framer over TCP) and libmodbus.
// Each peer starts with holding register n = 7n, input register n = n + 1000,
// coil n on when n % 3 == 0, discrete input n on when n is even.
#include "comm/comm.h"
#include "tests/harness/peer_process.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct PeerCase {
    const char *name;
    const char *argv[4];
    int rtu;
    int files; // what a file record read gets: 0 refused as a function, 1 empty answer
};

class Interop : public ::testing::TestWithParam<PeerCase> {
  protected:
    PeerProcess peer = {0, -1, -1, 0};
    CommHandle *h = nullptr;
    void SetUp() override {
        const PeerCase &c = GetParam();
        ASSERT_TRUE(PeerStart(&peer, c.argv, 20000)) << "peer did not start: " << c.argv[0];
        h = c.rtu ? OpenRTUoverTCP("127.0.0.1", peer.port, 1)
                  : OpenModbusTCP("127.0.0.1", peer.port, 1);
        ASSERT_NE(h, nullptr);
    }
    void TearDown() override {
        if (h)
            CommClose(h);
        PeerStop(&peer, 5000);
    }
};

TEST_P(Interop, ReadsEveryBitAndRegisterTable) {
    uint16_t v[125];
    ASSERT_EQ(Read4X(h, 1, 10, v), 10) << CommErrorText(h);
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(v[i], 7 * (i + 1));
    ASSERT_EQ(Read4X(h, 1000, 125, v), 125) << CommErrorText(h);
    EXPECT_EQ(v[124], (uint16_t)(7 * 1124));
    ASSERT_EQ(Read3X(h, 0, 1, 5, v), 5) << CommErrorText(h);
    EXPECT_EQ(v[0], 1001);
    EXPECT_EQ(v[4], 1005);
    // Coils 3, 6 in the first byte (bits 2, 5), coil 9 in bit 0 of the second.
    ASSERT_EQ(Read0X(h, 0, 1, 10, v), 10) << CommErrorText(h);
    EXPECT_EQ(v[0], 0x2401);
    ASSERT_EQ(Read1X(h, 0, 1, 10, v), 10) << CommErrorText(h);
    EXPECT_EQ(v[0], 0xAA02);
}

TEST_P(Interop, WritesAndReadsBack) {
    uint16_t regs[3] = {0x1111, 0x2222, 0x3333}, v[20];
    ASSERT_EQ(Write4X(h, 100, 3, regs), 3) << CommErrorText(h);
    ASSERT_EQ(Read4X(h, 100, 3, v), 3) << CommErrorText(h);
    EXPECT_EQ(v[0], 0x1111);
    EXPECT_EQ(v[2], 0x3333);
    uint16_t one[1] = {0xABCD};
    ASSERT_EQ(Write4XOp6(h, 200, 1, one), 1) << CommErrorText(h);
    ASSERT_EQ(Read4X(h, 200, 1, v), 1) << CommErrorText(h);
    EXPECT_EQ(v[0], 0xABCD);
    uint16_t on[1] = {0xFF00};
    ASSERT_EQ(Write0X(h, 50, 1, on), 1) << CommErrorText(h);
    ASSERT_EQ(Read0X(h, 0, 50, 1, v), 1) << CommErrorText(h);
    EXPECT_EQ(v[0], 0x0100);
    uint16_t coils[16] = {1, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
    ASSERT_EQ(Write0XMulti(h, 61, 16, coils), 16) << CommErrorText(h);
    ASSERT_EQ(Read0X(h, 0, 61, 16, v), 16) << CommErrorText(h);
    EXPECT_EQ(v[0], 0x0381);
}

TEST_P(Interop, ExceptionsAndFileRecords) {
    uint16_t v[4] = {1, 2, 3, 4};
    EXPECT_EQ(Read4X(h, 20001, 2, v), 0);
    EXPECT_STREQ(CommErrorText(h), "ILLEGAL DATA ADDRESS");
    if (GetParam().files) {
        // pymodbus answers file record requests without a store behind them:
        // an empty read answer, and the echo of a write.
        EXPECT_EQ(Read6X(h, 1, 0, 2, v), 0);
        EXPECT_STREQ(CommErrorText(h), "Reply length 0 doesn't match query 2");
        EXPECT_EQ(Write6X(h, 1, 0, 2, v), 2) << CommErrorText(h);
        EXPECT_EQ(Write3X(h, 1, 2, v), 2) << CommErrorText(h);
    } else {
        EXPECT_EQ(Read6X(h, 1, 0, 2, v), 0);
        EXPECT_STREQ(CommErrorText(h), "ILLEGAL FUNCTION");
        EXPECT_EQ(Write6X(h, 1, 0, 2, v), 0);
        EXPECT_STREQ(CommErrorText(h), "ILLEGAL FUNCTION");
        EXPECT_EQ(Write3X(h, 1, 2, v), 0);
        EXPECT_STREQ(CommErrorText(h), "ILLEGAL FUNCTION");
    }
    // The link goes on working.
    EXPECT_EQ(Read4X(h, 2, 1, v), 1) << CommErrorText(h);
    EXPECT_EQ(v[0], 14);
}

INSTANTIATE_TEST_SUITE_P(
    Peers, Interop,
    ::testing::Values(
        PeerCase{"PymodbusTcp", {"/usr/bin/python3", PYMODBUS_SERVER, "tcp", nullptr}, 0, 1},
        PeerCase{"PymodbusRtuOverTcp", {"/usr/bin/python3", PYMODBUS_SERVER, "rtu", nullptr}, 1, 1},
        PeerCase{"LibmodbusTcp", {LIBMODBUS_SERVER, nullptr, nullptr, nullptr}, 0, 0}),
    [](const ::testing::TestParamInfo<PeerCase> &i) { return std::string(i.param.name); });

} // namespace
