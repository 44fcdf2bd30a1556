// The library's Sy/Max link against a misbehaving device: refused and lost
// frames, silence, late and repeated replies, error status, idle abort.
#include "pty_fixture.h"

#include <chrono>
#include <thread>

using symaxsim::Slave;

namespace {

// Faults the link must ride out: the operation still succeeds.
TEST_F(SymaxPty, LinkRecoversFromFaults) {
    struct Case {
        const char *fault;
        // What the device must have seen or done by the end.
        std::function<bool(const symaxsim::SlaveStats &)> seen;
    } cases[] = {
        // Two NAKs: the library sends the same frame a third time.
        {"fault nak 2", [](const symaxsim::SlaveStats &t) { return t.framesIn >= 3; }},
        // A request ignored: the library enquires, takes the answer (NAK) as a
        // refusal and sends again.
        {"fault drop 1",
         [](const symaxsim::SlaveStats &t) { return t.framesIn >= 2 && t.enqIn >= 1; }},
        // Our reply spoiled: the library answers NAK and we send it again.
        {"fault badcheck 1",
         [](const symaxsim::SlaveStats &t) { return t.nakIn >= 1 && t.retransmits >= 1; }},
        // The request answered but not acknowledged: the library sends it
        // again, and takes the first answer.
        {"fault noack 1", [](const symaxsim::SlaveStats &t) { return t.framesIn >= 2; }},
    };
    for (bool crc : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.fault) + (crc ? " crc" : " bcc"));
            LinkSetup s;
            s.crc = crc;
            // The library gives a frame 32 enquiries, each after fill bytes
            // that outlast the read interval, before it drops it: at 9600 baud
            // that leaves the device over a second, time enough on a busy machine.
            s.baud = 9600;
            Start(s);
            With([](Slave *d) { d->dev.mem.reg[0] = 0x1234; });
            ASSERT_EQ(Command(c.fault), "OK");
            uint16_t v[1] = {0};
            ASSERT_EQ(Read4X(h, 1, 1, v), 1) << CommErrorText(h);
            EXPECT_EQ(v[0], 0x1234);
            EXPECT_TRUE(WaitFor([&](Slave *d) { return c.seen(d->stats); })) << Command("stats");
            // And the next transaction is clean.
            With([](Slave *d) { d->dev.mem.reg[0] = 0x5678; });
            ASSERT_EQ(Read4X(h, 1, 1, v), 1) << CommErrorText(h);
            EXPECT_EQ(v[0], 0x5678);
            Stop();
        }
    }
}

// Faults that end the operation with a text.
TEST_F(SymaxPty, FailuresGiveTheirTexts) {
    struct Case {
        const char *fault;
        bool write, priority;
        const char *text;
    } cases[] = {
        {"fault noreply", false, false, "Read reply timeout"},
        {"fault noreply", true, false, "Write reply timeout"},
        {"fault silent on", false, false, "Read reply timeout"},
        {"fault nak 20", false, false, "Read reply timeout"}, // dropped after 8 retries
        {"fault nak 20", true, true, "Write reply timeout"},
        {"fault status 4", false, false, "(4) Illegal Rack Address"},
        {"fault status 4", true, false, "(4) Illegal Rack Address"},
        {"fault status 135", false, true, "(135) Error Noted During A Transfer"},
        {"fault status 0", false, false, "(0) No Error"}, // an error reply fails even with 0
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.fault) + (c.write ? " write" : " read") +
                     (c.priority ? " priority" : ""));
        LinkSetup s;
        s.priority = c.priority;
        s.timeoutTicks = 50;
        Start(s);
        ASSERT_EQ(Command(c.fault), "OK");
        uint16_t v[2] = {1, 2};
        int r = c.write ? Write4X(h, 1, 2, v) : Read4X(h, 1, 2, v);
        EXPECT_EQ(r, 0);
        EXPECT_STREQ(CommErrorText(h), c.text);
        // The device well again, the same handle works.
        ASSERT_EQ(Command("fault clear"), "OK");
        ASSERT_EQ(SetPortParams(h, 115200, 1, 1, 300, 8), 1);
        EXPECT_EQ(Read4X(h, 1, 2, v), 2) << CommErrorText(h);
        Stop();
    }
}

// A reply that comes after its request timed out waits in the reply queue;
// the next request throws it away and gets its own answer.
TEST_F(SymaxPty, StaleReplyIsDrainedBeforeTheNextRequest) {
    LinkSetup s;
    s.timeoutTicks = 10;
    Start(s);
    With([](Slave *d) {
        d->dev.mem.reg[0] = 111;
        d->faults.delayOnce = 400;
    });
    uint16_t v[1] = {0};
    EXPECT_EQ(Read4X(h, 1, 1, v), 0);
    EXPECT_STREQ(CommErrorText(h), "Read reply timeout");
    // The late reply reaches the library and is acknowledged.
    ASSERT_TRUE(WaitFor([](Slave *d) { return d->stats.repliesSent == 1; }));
    With([](Slave *d) { d->dev.mem.reg[0] = 222; });
    ASSERT_EQ(SetPortParams(h, 115200, 1, 1, 300, 8), 1);
    ASSERT_EQ(Read4X(h, 1, 1, v), 1) << CommErrorText(h);
    EXPECT_EQ(v[0], 222);
}

int AbortAtOnce(void *arg) {
    ++*static_cast<int *>(arg);
    return 0;
}

// An idle hook that says stop ends the wait at once, long before the timeout.
TEST_F(SymaxPty, IdleHookAbortsTheWait) {
    LinkSetup s;
    s.timeoutTicks = 1000; // ten seconds
    Start(s);
    ASSERT_EQ(Command("fault silent on"), "OK");
    int calls = 0;
    ASSERT_EQ(SetIdleHook(h, AbortAtOnce, &calls), 1);
    uint16_t v[1];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Read4X(h, 1, 1, v), 0);
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_STREQ(CommErrorText(h), "Application idle abort");
    EXPECT_EQ(calls, 1);
    // Far below the ten seconds of the timeout, with room for a slow machine.
    EXPECT_LT(took, std::chrono::seconds(3));
}

} // namespace
