// The link's retries against the simulated device at full speed: requests
// reach the device once, and carried (opcode 0x22) operations, which all have
// the same transaction byte, each take their own reply.
#include "pty_fixture.h"

#include <cstring>

using symaxsim::Slave;

namespace {

// A run of carried operations of different shapes, one after another: each
// must get its own answer, never the one before's.
TEST_F(SymaxPty, CarriedOperationsTakeTheirOwnReplies) {
    for (bool crc : {false, true}) {
        SCOPED_TRACE(crc ? "crc" : "bcc");
        LinkSetup s;
        s.crc = crc;
        Start(s);
        With([](Slave *d) {
            for (int i = 0; i < 64; i++)
                d->dev.mem.input[i] = uint16_t(0x3000 + i);
            for (int i = 0; i < 64; i++)
                d->dev.mem.ext[4][i] = uint16_t(0x5000 + i);
        });
        for (int i = 0; i < 25; i++) {
            SCOPED_TRACE(i);
            uint16_t v[8] = {};
            int n3 = 2 + i % 3;
            ASSERT_EQ(Read3X(h, 0, 1 + i, n3, v), n3) << CommErrorText(h);
            EXPECT_EQ(v[0], 0x3000 + i);
            EXPECT_EQ(v[n3 - 1], 0x3000 + i + n3 - 1);
            ASSERT_EQ(Read6X(h, 5, i, 5, v), 5) << CommErrorText(h);
            EXPECT_EQ(v[0], 0x5000 + i);
            EXPECT_EQ(v[4], 0x5000 + i + 4);
            int nw = 1 + i % 2;
            uint16_t w[2] = {uint16_t(0x1010 + i), uint16_t(0xA000 + i)};
            EXPECT_GT(Write6X(h, 6, 100 + i, nw, w), 0) << CommErrorText(h);
            ASSERT_EQ(Read6X(h, 6, 100 + i, nw, v), nw) << CommErrorText(h);
            EXPECT_EQ(memcmp(v, w, size_t(nw) * 2), 0);
        }
        Stop();
    }
}

// Every write goes to the device once: the library does not enquire while an
// acknowledgement is still on its way through the reader, so no late answer
// to an enquiry makes it send a request again.
TEST_F(SymaxPty, WritesReachTheDeviceOnce) {
    for (int baud : {115200, 9600}) {
        SCOPED_TRACE(baud);
        LinkSetup s;
        s.baud = baud;
        Start(s);
        const int writes = 20;
        for (int i = 0; i < writes; i++) {
            uint16_t w[2] = {uint16_t(i), uint16_t(0x1000 + i)};
            ASSERT_EQ(Write4X(h, 1 + 2 * i, 2, w), 2) << CommErrorText(h);
        }
        long requests = 0;
        With([&](Slave *d) { requests = d->dev.requests; });
        EXPECT_EQ(requests, writes) << Command("stats");
        Stop();
    }
}

} // namespace
