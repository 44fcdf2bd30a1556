// The link statistics of a Sy/Max handle against the device's injected
// faults: each fault shows in its own counters, and the device's own counts
// agree with ours.
#include "pty_fixture.h"

using symaxsim::Slave;

namespace {

TEST_F(SymaxPty, StatisticsCountInjectedFaults) {
    struct Case {
        const char *fault;
        bool ok;
        CommStats want; // sent, received, timeouts, retransmissions, naks, enquiries,
                        // check errors, error replies, reconnections
    } cases[] = {
        {"fault clear", true, {1, 1, 0, 0, 0, 0, 0, 0, 0}},
        // Our request refused twice: sent again twice.
        {"fault nak 2", true, {1, 1, 0, 2, 2, 0, 0, 0, 0}},
        // The reply spoiled once: one check error, and our NAK has it sent again.
        {"fault badcheck 1", true, {1, 1, 0, 1, 0, 0, 1, 0, 0}},
        {"fault status 4", false, {1, 1, 0, 0, 0, 0, 0, 1, 0}},
        {"fault noreply 1", false, {1, 0, 1, 0, 0, 0, 0, 0, 0}},
    };
    for (bool crc : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.fault) + (crc ? " crc" : " bcc"));
            LinkSetup s;
            s.crc = crc;
            s.baud = 9600;
            s.timeoutTicks = 50;
            Start(s);
            ASSERT_EQ(Command(c.fault), "OK");
            uint16_t v[2];
            EXPECT_EQ(Read4X(h, 1, 2, v), c.ok ? 2 : 0) << CommErrorText(h);
            CommStats st;
            ASSERT_EQ(CommGetStats(h, &st), 1);
            EXPECT_EQ(st.requestsSent, c.want.requestsSent);
            EXPECT_EQ(st.repliesTaken, c.want.repliesTaken);
            EXPECT_EQ(st.timeouts, c.want.timeouts);
            EXPECT_EQ(st.retransmissions, c.want.retransmissions);
            EXPECT_EQ(st.naks, c.want.naks);
            EXPECT_EQ(st.checkErrors, c.want.checkErrors);
            EXPECT_EQ(st.errorReplies, c.want.errorReplies);
            EXPECT_EQ(st.reconnections, 0u);
            // The device resent what we refused, and saw the NAKs we counted as sent.
            long resent = 0;
            With([&](Slave *d) { resent = d->stats.retransmits; });
            EXPECT_EQ(resent, (long)st.checkErrors);
            Stop();
        }
    }
}

TEST_F(SymaxPty, StatisticsCountEnquiriesForALostRequest) {
    LinkSetup s;
    s.baud = 9600;
    Start(s);
    ASSERT_EQ(Command("fault drop 1"), "OK");
    uint16_t v[1];
    ASSERT_EQ(Read4X(h, 1, 1, v), 1) << CommErrorText(h);
    CommStats st;
    CommGetStats(h, &st);
    // Ignored: we enquire, the device answers NAK, and the frame goes again.
    EXPECT_GE(st.enquiries, 1u);
    EXPECT_GE(st.naks, 1u);
    EXPECT_GE(st.retransmissions, 1u);
    EXPECT_EQ(st.repliesTaken, 1u);
    long enqIn = 0;
    With([&](Slave *d) { enqIn = d->stats.enqIn; });
    // An enquiry may still be on the line when the reply is in.
    EXPECT_LE((unsigned)enqIn, st.enquiries);
    EXPECT_GE(enqIn, 1);
}

TEST(CommStatsHandle, NoHandleGivesZeros) {
    CommStats st;
    st.requestsSent = 7;
    EXPECT_EQ(CommGetStats(nullptr, &st), 0);
    EXPECT_EQ(st.requestsSent, 0u);
    EXPECT_EQ(CommGetStats(nullptr, nullptr), 0);
}

} // namespace
