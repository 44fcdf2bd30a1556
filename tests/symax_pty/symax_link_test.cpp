// The library's Sy/Max link against the simulated device: reads and writes in
// every mode, routes, and the opcode 0x22 extended operations.
#include "pty_fixture.h"

#include <cstring>

using symaxsim::Slave;

namespace {

struct Mode {
    const char *name;
    bool crc, priority;
};

const Mode MODES[] = {
    {"bcc normal", false, false},
    {"bcc priority", false, true},
    {"crc normal", true, false},
    {"crc priority", true, true},
};

// Reads and writes in each mode, with values that need DLE stuffing, the
// largest count and the status words above register 8192.
TEST_F(SymaxPty, ReadAndWriteInEveryMode) {
    for (const Mode &m : MODES) {
        SCOPED_TRACE(m.name);
        LinkSetup s;
        s.crc = m.crc;
        s.priority = m.priority;
        Start(s);
        With([](Slave *d) {
            for (int i = 0; i < 16384; i++)
                d->dev.mem.reg[i] = uint16_t(0x1010 + i * 7);
        });
        uint16_t v[128];
        ASSERT_EQ(Read4X(h, 3, 4, v), 4) << CommErrorText(h);
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(v[i], uint16_t(0x1010 + (2 + i) * 7));
        ASSERT_EQ(Read4X(h, 8100, 128, v), 128) << CommErrorText(h);
        EXPECT_EQ(v[127], uint16_t(0x1010 + 8226 * 7));
        ASSERT_EQ(Read4X(h, 16384, 1, v), 1) << CommErrorText(h);
        EXPECT_EQ(v[0], uint16_t(0x1010 + 16383 * 7));

        uint16_t w[128];
        for (int i = 0; i < 128; i++)
            w[i] = uint16_t(0x1000 + i * 0x101); // 0x10 bytes all over
        ASSERT_EQ(Write4X(h, 100, 128, w), 128) << CommErrorText(h);
        ASSERT_EQ(Write4XOp6(h, 1, 1, w + 5), 1) << CommErrorText(h);
        With([&](Slave *d) {
            EXPECT_EQ(memcmp(d->dev.mem.reg + 99, w, sizeof w), 0);
            EXPECT_EQ(d->dev.mem.reg[0], w[5]);
            EXPECT_EQ(d->dev.lastRequest[0], m.priority ? 0x1E : 0x02);
        });
        // Read back through the link too.
        ASSERT_EQ(Read4X(h, 100, 128, v), 128) << CommErrorText(h);
        EXPECT_EQ(memcmp(v, w, sizeof w), 0);
        Stop();
    }
}

// The transaction byte counts up by request; priority mode keeps 6 bits.
TEST_F(SymaxPty, TransactionBytesCountUp) {
    for (bool priority : {false, true}) {
        LinkSetup s;
        s.priority = priority;
        Start(s);
        uint16_t v[1];
        for (int i = 0; i < 70; i++) {
            ASSERT_EQ(Read4X(h, 1, 1, v), 1) << CommErrorText(h);
            uint8_t t = 0;
            With([&](Slave *d) { t = d->dev.lastRequest[1]; });
            EXPECT_EQ(t, priority ? i & 0x3F : i) << i;
        }
        Stop();
    }
}

// Net-to-Net: the derived drop goes first, the caller's first drop carries
// the mark; the device's reversed route comes back and is accepted.
TEST_F(SymaxPty, NetToNetRouteMarks) {
    struct Case {
        std::vector<uint16_t> route;
        int netToNet;
        std::vector<uint8_t> chars;
    } cases[] = {
        {{1, 5}, 1, {'6', '9', 0xB0, '5'}},
        {{2, 5, 3}, 1, {'6', '9', 0xB0, '5', '0', '3'}},
        {{1, 150}, 1, {'3', '2', 0x80 | '9', '6'}},
        {{2, 5, 3}, 0, {'0', '5', '0', '3'}},
        {{0}, 0, {}},
    };
    for (const Case &c : cases) {
        LinkSetup s;
        s.route = c.route;
        s.netToNet = c.netToNet;
        Start(s);
        With([](Slave *d) { d->dev.mem.reg[9] = 4321; });
        uint16_t v[1] = {0};
        ASSERT_EQ(Read4X(h, 10, 1, v), 1) << CommErrorText(h);
        EXPECT_EQ(v[0], 4321);
        uint16_t w[1] = {77};
        ASSERT_EQ(Write4X(h, 10, 1, w), 1) << CommErrorText(h);
        With([&](Slave *d) { EXPECT_EQ(d->dev.lastRoute, c.chars); });
        EXPECT_EQ(Command("route").size(), 2 + 3 * c.chars.size());
        Stop();
    }
}

// A device that only answers routes ending in its own drop.
TEST_F(SymaxPty, WrongDropGivesIllegalRoute) {
    LinkSetup s;
    s.route = {2, 3, 4};
    s.sim.drop = 5;
    Start(s);
    uint16_t v[1];
    EXPECT_EQ(Read4X(h, 1, 1, v), 0);
    EXPECT_STREQ(CommErrorText(h), "(29) Illegal Route");
    Stop();
    s.route = {2, 3, 5};
    Start(s);
    EXPECT_EQ(Read4X(h, 1, 1, v), 1) << CommErrorText(h);
}

TEST_F(SymaxPty, InputAndExtendedMemory) {
    for (const Mode &m : MODES) {
        SCOPED_TRACE(m.name);
        LinkSetup s;
        s.crc = m.crc;
        s.priority = m.priority;
        Start(s);
        With([](Slave *d) {
            for (int i = 0; i < 8192; i++)
                d->dev.mem.input[i] = uint16_t(0x3000 + i);
            d->dev.mem.ext[2][9998] = 0x1010;
            d->dev.mem.ext[2][9999] = 0xBEEF;
        });
        uint16_t v[125];
        ASSERT_EQ(Read3X(h, 0, 1, 3, v), 3) << CommErrorText(h);
        EXPECT_EQ(v[0], 0x3000);
        EXPECT_EQ(v[2], 0x3002);
        ASSERT_EQ(Read3X(h, 0, 8068, 125, v), 125) << CommErrorText(h);
        EXPECT_EQ(v[124], 0x3000 + 8191);
        ASSERT_EQ(Read6X(h, 3, 9998, 2, v), 2) << CommErrorText(h);
        EXPECT_EQ(v[0], 0x1010);
        EXPECT_EQ(v[1], 0xBEEF);

        uint16_t w[3] = {0x1111, 0x1010, 0xFFFF};
        EXPECT_GT(Write6X(h, 10, 0, 3, w), 0) << CommErrorText(h);
        With([&](Slave *d) { EXPECT_EQ(memcmp(d->dev.mem.ext[9], w, sizeof w), 0); });
        ASSERT_EQ(Read6X(h, 10, 0, 3, v), 3) << CommErrorText(h);
        EXPECT_EQ(memcmp(v, w, sizeof w), 0);
        Stop();
    }
}

// Modbus exceptions carried back through the Sy/Max link.
TEST_F(SymaxPty, CarriedModbusExceptions) {
    LinkSetup s;
    Start(s);
    uint16_t v[4] = {1, 2, 3, 4};
    EXPECT_EQ(Read3X(h, 0, 8192, 2, v), 0);
    EXPECT_STREQ(CommErrorText(h), "Modbus error reply 2 ILLEGAL DATA ADDRESS");
    EXPECT_EQ(Read6X(h, 11, 0, 1, v), 0);
    EXPECT_STREQ(CommErrorText(h), "Modbus error reply 2 ILLEGAL DATA ADDRESS");
    EXPECT_EQ(Write6X(h, 0, 0, 1, v), 0);
    EXPECT_STREQ(CommErrorText(h), "Modbus error reply 2 ILLEGAL DATA ADDRESS");
    EXPECT_EQ(Read3X(h, 0, 1, 126, v), 0); // over the device's Modbus limit
    EXPECT_STREQ(CommErrorText(h), "Modbus error reply 3 ILLEGAL DATA VALUE");
    // The link is still good afterwards.
    EXPECT_EQ(Read3X(h, 0, 1, 2, v), 2) << CommErrorText(h);
}

} // namespace
