// Opening a hung-up port again, on a recording port: what the driver does to
// the port (opens by path, settings, stops and closes) is written down, the
// test decides when the line hangs up and whether the port opens, and the
// clock is the test's, so the spacing of the attempts is exact.
#include "comm/serial_driver.h"
#include "platform/serial.h"
#include "tests/symax/link_helpers.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct FakePort {
    std::mutex m;
    std::condition_variable cv;
    bool stopped = false;
    bool hangUp = false;
    bool hangReported = false;
    int writing = 0; // bytes of the write in flight
};

// What the driver did, and what the test lets the port do.
struct Recorder {
    std::mutex m;
    std::vector<std::string> calls;
    Bytes written;
    bool openFails = false;
    int64_t now = 100000;
    FakePort *port = nullptr; // the one open now
};
Recorder rec;

void Note(const std::string &call) {
    std::lock_guard<std::mutex> g(rec.m);
    rec.calls.push_back(call);
}

FakePort *Fake(SerialPort *p) {
    return reinterpret_cast<FakePort *>(p);
}

SerialPort *FakeOpen(const char *path) {
    Note(std::string("open ") + path);
    std::lock_guard<std::mutex> g(rec.m);
    if (rec.openFails)
        return nullptr;
    rec.port = new FakePort;
    return reinterpret_cast<SerialPort *>(rec.port);
}

void FakeClose(SerialPort *p) {
    Note("close");
    std::lock_guard<std::mutex> g(rec.m);
    if (rec.port == Fake(p))
        rec.port = nullptr;
    delete Fake(p);
}

int FakeConfigure(SerialPort *, int baud, int parity, int stopBits, int dataBits) {
    Note("configure " + std::to_string(baud) + " " + std::to_string(parity) + " " +
         std::to_string(stopBits) + " " + std::to_string(dataBits));
    return 1;
}

void FakeInterval(SerialPort *, int ms) {
    Note("interval " + std::to_string(ms));
}

void FakeEager(SerialPort *, bool on) {
    Note(std::string("eager ") + (on ? "on" : "off"));
}

void FakeRts(SerialPort *, bool on) {
    Note(std::string("rts toggle ") + (on ? "on" : "off"));
}

void FakeStop(SerialPort *p) {
    Note("stop");
    std::lock_guard<std::mutex> g(Fake(p)->m);
    Fake(p)->stopped = true;
    Fake(p)->cv.notify_all();
}

// Locks: the recorder's before a port's, everywhere.
int FakeWriteStart(SerialPort *p, const uint8_t *buf, int n) {
    FakePort *f = Fake(p);
    std::lock_guard<std::mutex> r(rec.m);
    std::lock_guard<std::mutex> g(f->m);
    if (f->hangUp || f->writing)
        return 0;
    rec.written.insert(rec.written.end(), buf, buf + n);
    f->writing = n;
    f->cv.notify_all();
    return 1;
}

// Every write is done at once; nothing is ever received.
int FakeWait(SerialPort *p, uint8_t *, int, int *count) {
    FakePort *f = Fake(p);
    std::unique_lock<std::mutex> g(f->m);
    *count = 0;
    f->cv.wait(g, [f] { return f->stopped || (f->hangUp && !f->hangReported) || f->writing; });
    if (f->stopped)
        return SERIAL_EV_STOP;
    if (f->hangUp && !f->hangReported) {
        f->hangReported = true;
        f->writing = 0;
        return SERIAL_EV_HUNGUP;
    }
    *count = f->writing;
    f->writing = 0;
    return SERIAL_EV_WRITTEN;
}

int64_t FakeNow(void) {
    std::lock_guard<std::mutex> g(rec.m);
    return rec.now;
}

const SerialOps kRecording = {FakeOpen, FakeClose, FakeConfigure,  FakeInterval, FakeEager,
                              FakeRts,  FakeStop,  FakeWriteStart, FakeWait,     FakeNow};

std::vector<std::string> TakeCalls(void) {
    std::lock_guard<std::mutex> g(rec.m);
    std::vector<std::string> calls;
    calls.swap(rec.calls);
    return calls;
}

// The line hangs up (from any thread).
void PullCable(void) {
    std::lock_guard<std::mutex> g(rec.m);
    ASSERT_NE(rec.port, nullptr);
    std::lock_guard<std::mutex> p(rec.port->m);
    rec.port->hangUp = true;
    rec.port->cv.notify_all();
}

// The line hangs up, and the reader thread notes it (bounded wait; on the
// caller's thread, which alone may look at the handle's port).
void HangUp(CommHandle *h) {
    PullCable();
    for (int i = 0; i < 5000 && !SerialLineDown(h); i++)
        usleep(1000);
    ASSERT_TRUE(SerialLineDown(h));
}

void Advance(int64_t ms) {
    std::lock_guard<std::mutex> g(rec.m);
    rec.now += ms;
}

int idleCalls = 0;
int CountingHook(void *) {
    idleCalls++;
    return 1;
}

// A handle on the recording port, opened as "COM1:" in a directory that has
// a COM1, from which the program then goes elsewhere.
class Reopen : public ::testing::Test {
  protected:
    void SetUp() override {
        TakeCalls();
        rec.openFails = false;
        {
            std::lock_guard<std::mutex> g(rec.m);
            rec.written.clear();
        }
        char dir[] = "/tmp/reopen_test_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        base = dir;
        FILE *f = fopen((base + "/COM1").c_str(), "w");
        ASSERT_NE(f, nullptr);
        fclose(f);
        char here[512];
        ASSERT_NE(getcwd(here, sizeof here), nullptr);
        ASSERT_EQ(chdir(dir), 0);
        uint16_t route[2] = {1, 1};
        h = SerialOpenWith(&kRecording, "COM1:", 0, route, SERIAL_LINE_SYMAX);
        ASSERT_EQ(chdir(here), 0);
        ASSERT_NE(h, nullptr);
        SetIdleHook(h, CountingHook, nullptr);
        baseline = pool_count();
    }
    void TearDown() override {
        if (h)
            CommClose(h);
        unlink((base + "/COM1").c_str());
        rmdir(base.c_str());
    }
    std::string base;
    CommHandle *h = nullptr;
    int baseline = 0;
};

TEST_F(Reopen, SamePortSameSettingsNewLinkState) {
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"open " + base + "/COM1", "interval 20",
                                                     "eager on", "rts toggle off"}));
    ASSERT_EQ(SetPortParams(h, 19200, 2, 2, 3, 7), 1);
    SetSymaxOptions(h, 1, 0);
    TakeCalls();
    // Link state a hang-up finds: a sequence character moved on, a reply and
    // a frame half received, a request queued.
    {
        std::lock_guard<std::recursive_mutex> g(h->lock);
        h->sequenceChar = DC2;
        h->responseChar = DC1;
        reply_push(h, pool_take());
        h->rxBuffer = pool_take();
        h->rxState = 3;
        h->staleAnswers = 2;
    }
    HangUp(h);
    EXPECT_TRUE(SerialLinkReady(h));
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"stop", "close", "open " + base + "/COM1",
                                                     "interval 20", "eager on", "rts toggle off",
                                                     "configure 19200 2 2 7", "interval 12"}));
    EXPECT_FALSE(SerialLineDown(h));
    {
        std::lock_guard<std::recursive_mutex> g(h->lock);
        EXPECT_EQ(h->replyQueue.head, nullptr);
        EXPECT_EQ(h->txQueue.head, nullptr);
        EXPECT_EQ(h->rxBuffer, nullptr);
        EXPECT_EQ(h->txBuffer, nullptr);
        EXPECT_EQ(h->rxState, 0);
        EXPECT_EQ(h->txState, 0);
        EXPECT_EQ(h->sequenceChar, DC1);
        EXPECT_EQ(h->responseChar, NAK);
        EXPECT_EQ(h->frameSequenceChar, NAK);
        EXPECT_EQ(h->staleAnswers, 0);
        EXPECT_TRUE(h->txFlags & TXF_CRC) << "the options stay";
        EXPECT_EQ(h->replyTimeout, 3);
    }
    EXPECT_EQ(pool_count(), baseline) << "every buffer is back in the pool";
    // The next request goes out on the new port as the first of a new link.
    {
        std::lock_guard<std::mutex> g(rec.m);
        rec.written.clear();
    }
    uint16_t v[2];
    EXPECT_EQ(Read4X(h, 1, 2, v), 0);
    EXPECT_STREQ(CommErrorText(h), "Read reply timeout");
    std::lock_guard<std::mutex> g(rec.m);
    ASSERT_GE(rec.written.size(), 3u);
    EXPECT_EQ(Bytes(rec.written.begin(), rec.written.begin() + 3), (Bytes{DLE, SOH, DC1}));
}

TEST_F(Reopen, AttemptsAreSpacedAndEachTransactionFailsAtOnce) {
    SetPortParams(h, 9600, 1, 1, 500, 8);
    TakeCalls();
    rec.openFails = true;
    HangUp(h);
    uint16_t v[2] = {};
    // The first transaction after the hang-up tries at once; those within the
    // spacing after it do not try, and none waits for a reply.
    for (int i = 0; i < 10; i++) {
        idleCalls = 0;
        EXPECT_EQ(i % 2 ? Write4X(h, 1, 1, v) : Read4X(h, 1, 2, v), 0);
        EXPECT_STREQ(CommErrorText(h), "Port not available");
        EXPECT_EQ(idleCalls, 1) << "one idle tick, not the reply time-out";
        Advance(49);
    }
    std::vector<std::string> calls = TakeCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2], "open " + base + "/COM1");
    Advance(500 - 490 - 1); // 499 ms after the attempt
    EXPECT_EQ(Read4X(h, 1, 2, v), 0);
    EXPECT_TRUE(TakeCalls().empty());
    Advance(1);
    EXPECT_EQ(Read4X(h, 1, 2, v), 0);
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"open " + base + "/COM1"}));
    // The port is back: the next attempt opens it with its settings.
    rec.openFails = false;
    Advance(500);
    SetPortParams(h, 4800, 0, 1, 3, 8); // asked for while the port was missing
    EXPECT_TRUE(SerialLinkReady(h));
    EXPECT_EQ(TakeCalls(),
              (std::vector<std::string>{"open " + base + "/COM1", "interval 20", "eager on",
                                        "rts toggle off", "configure 4800 0 1 8", "interval 36"}));
    EXPECT_FALSE(SerialLineDown(h));
    EXPECT_EQ(pool_count(), baseline);
}

// A transaction waiting for its reply when the line hangs up ends then, with
// the port's text, instead of waiting out its reply time-out.
TEST_F(Reopen, HangUpEndsTheWaitInProgress) {
    SetPortParams(h, 9600, 1, 1, 500, 8);
    rec.openFails = true;
    std::thread puller([] {
        for (int i = 0; i < 5000; i++) {
            {
                std::lock_guard<std::mutex> g(rec.m);
                if (rec.written.size() > 0)
                    break;
            }
            usleep(1000);
        }
        PullCable();
    });
    idleCalls = 0;
    uint16_t v[2];
    EXPECT_EQ(Read4X(h, 1, 2, v), 0);
    puller.join();
    EXPECT_STREQ(CommErrorText(h), "Port not available");
    EXPECT_LT(idleCalls, 500) << "the whole reply time-out was waited";
}

TEST(ReopenDue, SpacingOfTheAttempts) {
    struct Case {
        int64_t now, last;
        int due;
    } cases[] = {
        {1000, 1000, 0}, {1499, 1000, 0}, {1500, 1000, 1},
        {9000, 1000, 1}, {999, 1000, 1}, // a clock that went back does not hold the port shut
    };
    for (const Case &c : cases)
        EXPECT_EQ(ReopenDue(c.now, c.last), c.due) << c.now << " after " << c.last;
}

} // namespace
