// The reader thread's decision of what is due now, driven by a fake clock.
#include "platform/serial.h"
#include "platform/serial_wait.h"

#include <gtest/gtest.h>

namespace {

const int64_t MS = 1000000;

SerialWaitFacts At(int64_t ms, int size = 8) {
    SerialWaitFacts f;
    f.now = ms * MS;
    f.intervalNs = 20 * MS;
    f.size = size;
    return f;
}

// One decision on a state made for the case, and what it should give.
struct Case {
    const char *what;
    SerialWaitState state;
    SerialWaitFacts facts;
    int event;
    int count;
    int64_t until; // event 0
    bool watchLine;
    bool wantOutput;
};

SerialWaitState Read(int count, int64_t lastMs, bool eager, bool quietPending = false) {
    SerialWaitState s;
    s.readCount = count;
    s.lastByteAt = lastMs * MS;
    s.eager = eager;
    s.quietPending = quietPending;
    return s;
}

SerialWaitState Write(int length, int handed, int64_t dueMs) {
    SerialWaitState s;
    s.writing = true;
    s.writeLength = length;
    s.writeHanded = handed;
    s.writeDueAt = dueMs * MS;
    return s;
}

SerialWaitFacts With(SerialWaitFacts f, bool stopped, bool hungUp, bool in, bool out) {
    f.stopped = stopped;
    f.hungUp = hungUp;
    f.inputWaiting = in;
    f.outputQueued = out;
    return f;
}

TEST(SerialWaitDecide, Table) {
    const Case cases[] = {
        {"stop comes before bytes", Read(3, 0, true), With(At(1), true, false, false, false),
         SERIAL_EV_STOP, 0, 0, false, false},
        {"stop comes before a hang-up", Read(0, 0, true), With(At(1), true, true, false, false),
         SERIAL_EV_STOP, 0, 0, false, false},
        {"bytes before a hang-up first", Read(3, 0, false), With(At(1), false, true, false, false),
         SERIAL_EV_READ, 3, 0, false, false},
        {"quiet after them on an eager port", Read(0, 0, true, true),
         With(At(1), false, true, false, false), SERIAL_EV_QUIET, 0, 0, false, false},
        {"then the hang-up", Read(0, 0, true), With(At(1), false, true, false, false),
         SERIAL_EV_HUNGUP, 0, 0, false, false},
        {"eager: any bytes at once", Read(2, 10, true), At(10), SERIAL_EV_READ, 2, 0, false, false},
        {"not eager: bytes wait for the quiet", Read(2, 10, false), At(15), 0, 0, 30 * MS, true,
         false},
        {"not eager: the quiet ends the read", Read(2, 10, false), At(30), SERIAL_EV_READ, 2, 0,
         false, false},
        {"not eager: a full read ends at once", Read(8, 10, false), At(10), SERIAL_EV_READ, 8, 0,
         false, false},
        {"nothing going: wait for the line only", Read(0, 0, true), At(50), 0, 0, SERIAL_FOREVER,
         true, false},
        {"quiet owed, interval not over", Read(0, 10, true, true), At(25), 0, 0, 30 * MS, true,
         false},
        {"quiet owed and over", Read(0, 10, true, true), At(30), SERIAL_EV_QUIET, 0, 0, false,
         false},
        {"quiet over but bytes wait: read them", Read(0, 10, true, true),
         With(At(40), false, false, true, false), 0, 0, 30 * MS, true, false},
        {"write not all taken", Write(8, 3, 40), At(10), 0, 0, SERIAL_FOREVER, true, true},
        {"write taken, bytes still on the wire", Write(8, 8, 40), At(10), 0, 0, 40 * MS, true,
         false},
        {"write due, system queue not empty", Write(8, 8, 40),
         With(At(40), false, false, false, true), 0, 0, 41 * MS, true, false},
        {"write due and drained", Write(8, 8, 40), At(41), SERIAL_EV_WRITTEN, 8, 0, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SerialWaitState s = c.state;
        SerialWaitStep step = SerialWaitDecide(&s, c.facts);
        EXPECT_EQ(step.event, c.event);
        EXPECT_EQ(step.count, c.count);
        if (c.event == 0) {
            EXPECT_EQ(step.until, c.until);
            EXPECT_EQ(step.watchLine, c.watchLine);
            EXPECT_EQ(step.wantOutput, c.wantOutput);
        }
    }
}

TEST(SerialWaitDecide, EventsChangeTheState) {
    SerialWaitState s = Read(3, 0, true);
    SerialWaitDecide(&s, At(0));
    EXPECT_EQ(s.readCount, 0);
    EXPECT_TRUE(s.quietPending); // an eager read owes the quiet after it
    s = Read(3, 0, false);
    SerialWaitDecide(&s, At(20));
    EXPECT_FALSE(s.quietPending);
    s = Write(5, 5, 1);
    SerialWaitDecide(&s, At(2));
    EXPECT_FALSE(s.writing);
    s = Write(5, 2, 100);
    SerialWaitDecide(&s, With(At(2), false, true, false, false));
    EXPECT_FALSE(s.writing); // a hang-up ends the write in flight
    EXPECT_TRUE(s.hangReported);
    SerialWaitStep after = SerialWaitDecide(&s, With(At(3), false, true, false, false));
    EXPECT_EQ(after.event, 0); // reported once; then only the stop is waited for
    EXPECT_FALSE(after.watchLine);
    EXPECT_EQ(after.until, SERIAL_FOREVER);
}

TEST(SerialWaitDecide, QuietAndWriteTogetherWakeAtTheEarlier) {
    SerialWaitState s = Write(4, 4, 50);
    s.eager = true;
    s.quietPending = true;
    s.lastByteAt = 10 * MS;
    EXPECT_EQ(SerialWaitDecide(&s, At(12)).until, 30 * MS);
    s.lastByteAt = 40 * MS;
    EXPECT_EQ(SerialWaitDecide(&s, At(42)).until, 50 * MS);
}

TEST(SerialWaitDecide, FactsAreAskedForOnlyWhenTheyMatter) {
    struct {
        SerialWaitState state;
        SerialWaitFacts facts;
        bool input, output;
    } cases[] = {
        {Read(0, 10, true, true), At(30), true, false},
        {Read(0, 10, true, true), At(29), false, false},
        {Read(0, 10, true, false), At(30), false, false},
        {Read(1, 10, true, true), At(30), false, false},
        {Read(0, 10, true, true), With(At(30), false, true, false, false), false, false},
        {Write(4, 4, 50), At(50), false, true},
        {Write(4, 4, 50), At(49), false, false},
        {Write(4, 3, 50), At(50), false, false},
        {Write(4, 4, 50), With(At(50), true, false, false, false), false, false},
    };
    for (auto &c : cases) {
        EXPECT_EQ(SerialWaitNeedsInput(c.state, c.facts), c.input);
        EXPECT_EQ(SerialWaitNeedsOutput(c.state, c.facts), c.output);
    }
}

// A burst of bytes on an eager port, then the quiet, then a write, as the
// reader sees them on a fake clock: each row lets bytes arrive (or the write
// be taken) at its time and says what the wait reports.
TEST(SerialWaitDecide, EagerLineOnAFakeClock) {
    struct Row {
        int64_t ms;
        int arrive;     // bytes that arrive at ms
        int startWrite; // bytes of a write started at ms, taken at once, 1 ms a character
        int event;
        int count;
        int64_t untilMs; // event 0
    } rows[] = {
        {0, 0, 0, 0, 0, -1},
        {5, 3, 0, SERIAL_EV_READ, 3, 0},
        {6, 0, 0, 0, 0, 25},
        {12, 4, 0, SERIAL_EV_READ, 4, 0},
        {25, 0, 0, 0, 0, 32},
        {32, 0, 0, SERIAL_EV_QUIET, 0, 0},
        {33, 0, 0, 0, 0, -1},
        {40, 0, 6, 0, 0, 46},
        {46, 0, 0, SERIAL_EV_WRITTEN, 6, 0},
        {47, 0, 0, 0, 0, -1},
    };
    SerialWaitState s;
    s.eager = true;
    for (const Row &r : rows) {
        SCOPED_TRACE(r.ms);
        if (r.arrive) {
            s.readCount += r.arrive;
            s.lastByteAt = r.ms * MS;
        }
        if (r.startWrite) {
            s.writing = true;
            s.writeLength = s.writeHanded = r.startWrite;
            s.writeDueAt = (r.ms + r.startWrite) * MS;
        }
        SerialWaitStep step = SerialWaitDecide(&s, At(r.ms, 258));
        EXPECT_EQ(step.event, r.event);
        EXPECT_EQ(step.count, r.count);
        if (r.event == 0) {
            EXPECT_EQ(step.until, r.untilMs < 0 ? SERIAL_FOREVER : r.untilMs * MS);
        }
    }
}

} // namespace
