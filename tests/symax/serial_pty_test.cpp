// The serial port and the serial driver over a pty pair made by the test:
// pacing, read completion, open failures, a Sy/Max round trip, hang-up and
// close. Starts reader threads.
#include "comm/symax_message.h"
#include "platform/serial.h"
#include "platform/serial_port.h"
#include "tests/symax/link_helpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double CpuMs() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// A pty pair: the master for the test's end, the slave's path for the library.
struct Pty {
    int master = -1;
    char path[64] = {0};
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, path, sizeof path) != 0) {
            if (master >= 0)
                close(master);
            master = -1;
        }
    }
    ~Pty() {
        if (master >= 0)
            close(master);
    }
};

TEST(SerialPort, WritesTakeTheirLineTime) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    SerialPort *slave = SerialPortOpen(pty.path);
    ASSERT_NE(slave, nullptr);
    SerialPort *master = SerialPortAttach(dup(pty.master), 9600); // 10 bits a character
    ASSERT_NE(master, nullptr);
    EXPECT_EQ(SerialPortCharTime(master), 1041);
    uint8_t out[48], in[64];
    for (int i = 0; i < 48; i++)
        out[i] = (uint8_t)(i * 5);
    auto t0 = Clock::now();
    EXPECT_EQ(SerialPortWrite(master, out, 48), 48);
    EXPECT_GE(MsSince(t0), 49.0); // 48 characters at 1.04 ms, never sooner
    SerialPortSetInterval(slave, 5);
    int got = 0;
    while (got < 48) {
        int n = SerialPortRead(slave, in + got, 64 - got, 500);
        ASSERT_GT(n, 0);
        got += n;
    }
    EXPECT_EQ(memcmp(in, out, 48), 0);

    // The slave runs 8E1 after open: 11 bits a character, and 2 stop bits make 12.
    EXPECT_EQ(SerialPortCharTime(slave), 1145);
    EXPECT_EQ(SerialPortConfigure(slave, 1200, PARITY_NONE, 2, 8), 1);
    EXPECT_EQ(SerialPortCharTime(slave), 9166);
    // A rate without a speed code is set by number: 8N1 at 12345 baud.
    EXPECT_EQ(SerialPortConfigure(slave, 12345, PARITY_NONE, 1, 8), 1);
    EXPECT_EQ(SerialPortCharTime(slave), 810);
    EXPECT_EQ(SerialBaudInForce(SerialPortFd(slave), nullptr), 12345);
    // No rate at all changes nothing.
    EXPECT_EQ(SerialPortConfigure(slave, 0, PARITY_EVEN, 2, 7), 0);
    EXPECT_EQ(SerialPortCharTime(slave), 810);
    SerialPortClose(master);
    SerialPortClose(slave);
}

TEST(SerialPort, ReadsEndOnSizeOnQuietOrOnTimeout) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    SerialPort *slave = SerialPortOpen(pty.path);
    ASSERT_NE(slave, nullptr);
    SerialPortSetInterval(slave, 30);
    const uint8_t three[3] = {1, 2, 3};
    uint8_t in[8];
    ASSERT_EQ(write(pty.master, three, 3), 3);
    auto t0 = Clock::now();
    EXPECT_EQ(SerialPortRead(slave, in, 2, 1000), 2); // the read size is reached at once
    EXPECT_LT(MsSince(t0), 25.0);
    t0 = Clock::now();
    EXPECT_EQ(SerialPortRead(slave, in, 8, 1000), 1); // then the line is quiet
    EXPECT_GE(MsSince(t0), 29.0);
    EXPECT_EQ(in[0], 3);
    t0 = Clock::now();
    EXPECT_EQ(SerialPortRead(slave, in, 8, 40), SERIAL_TIMEOUT);
    EXPECT_GE(MsSince(t0), 39.0);

    // A stop wakes a read that would wait for ever, and every later one.
    std::thread stopper([slave] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SerialPortStop(slave);
    });
    EXPECT_EQ(SerialPortRead(slave, in, 8, -1), SERIAL_STOPPED);
    stopper.join();
    EXPECT_EQ(SerialPortRead(slave, in, 8, -1), SERIAL_STOPPED);
    SerialPortClose(slave);
}

TEST(SerialPort, WaitReportsReadsWritesHangUpAndStop) {
    Pty *pty = new Pty;
    ASSERT_GE(pty->master, 0);
    SerialPort *slave = SerialPortOpen(pty->path);
    ASSERT_NE(slave, nullptr);
    SerialPortSetInterval(slave, 5);
    uint8_t buf[8];
    int count = 0;
    const uint8_t out[4] = {9, 8, 7, 6};
    ASSERT_EQ(SerialPortWriteStart(slave, out, 4), 1);
    EXPECT_EQ(SerialPortWriteStart(slave, out, 4), 0); // one write at a time
    EXPECT_EQ(SerialPortWait(slave, buf, 8, &count), SERIAL_EV_WRITTEN);
    EXPECT_EQ(count, 4);
    ASSERT_EQ(write(pty->master, out, 3), 3);
    EXPECT_EQ(SerialPortWait(slave, buf, 8, &count), SERIAL_EV_READ);
    EXPECT_EQ(count, 3);
    delete pty;
    // The hang-up is reported once; after it the wait sleeps until the stop.
    EXPECT_EQ(SerialPortWait(slave, buf, 8, &count), SERIAL_EV_HUNGUP);
    EXPECT_EQ(SerialPortWriteStart(slave, out, 4), 0);
    std::thread stopper([slave] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        SerialPortStop(slave);
    });
    double cpu0 = CpuMs();
    EXPECT_EQ(SerialPortWait(slave, buf, 8, &count), SERIAL_EV_STOP);
    EXPECT_LT(CpuMs() - cpu0, 15.0);
    stopper.join();
    SerialPortClose(slave);
}

TEST(SerialPort, PortNames) {
    char path[256];
    char dir[] = "/tmp/comnamesXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    char old[512];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir), 0);
    EXPECT_EQ(SerialPortPath("com1:", path, sizeof path), 1);
    EXPECT_STREQ(path, "/dev/ttyS0");
    EXPECT_EQ(SerialPortPath("COM12:xyz", path, sizeof path), 1); // the first 7 characters
    EXPECT_STREQ(path, "/dev/ttyS11");
    ASSERT_EQ(symlink("/dev/null", "COM3"), 0);
    EXPECT_EQ(SerialPortPath("Com3:", path, sizeof path), 1);
    EXPECT_STREQ(path, "COM3");
    EXPECT_EQ(SerialPortPath("/dev/pts/7", path, sizeof path), 1);
    EXPECT_STREQ(path, "/dev/pts/7");
    for (const char *bad : {"LPT1:", "COM0:", "COM:", "COMX:", "", "C"})
        EXPECT_EQ(SerialPortPath(bad, path, sizeof path), 0) << bad;
    // /dev/null is not a terminal: the open fails.
    EXPECT_EQ(SerialPortOpen("COM3:"), nullptr);
    unlink("COM3");
    ASSERT_EQ(chdir(old), 0);
    rmdir(dir);
}

TEST(SerialOpen, FailuresLeaveNothingAllocated) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    int before = pool_count();
    uint16_t route9[10] = {9, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    uint16_t route8[9] = {8, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(OpenSymax("/nonexistent/port", 0, route8), nullptr);
    EXPECT_EQ(OpenSymax("COM97:", 0, route8), nullptr);
    EXPECT_EQ(OpenSymax(pty.path, 0, route9), nullptr); // more drops than a route holds
    EXPECT_EQ(OpenSymax(pty.path, 1, route8), nullptr); // no room for the Net-to-Net drop
    EXPECT_EQ(OpenModbusRTU("/dev/null", 1), nullptr);  // not a terminal
    EXPECT_EQ(pool_count(), before);

    // The port is not shared: a second open fails while the first holds it.
    CommHandle *h = OpenSymax(pty.path, 0, route8);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(pool_count(), before + 3);
    EXPECT_EQ(OpenSymax(pty.path, 0, route8), nullptr);
    EXPECT_EQ(pool_count(), before + 3);
    EXPECT_EQ(CommClose(h), 1);
    h = OpenSymax(pty.path, 0, route8);
    ASSERT_NE(h, nullptr);
    CommClose(h);
}

TEST(SerialDriver, SetPortParamsSetsTheIntervalByBaud) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    CommHandle *h = OpenModbusRTU(pty.path, 1);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(SerialPortInterval(h->port), 20);
    const struct {
        int baud, interval;
    } table[] = {{300, 517}, {1200, 132}, {2400, 68}, {4800, 36},
                 {9600, 20}, {19200, 12}, {38400, 8}, {57600, 6}};
    for (const auto &t : table) {
        EXPECT_EQ(SetPortParams(h, t.baud, 2, 2, 100, 8), 1);
        EXPECT_EQ(SerialPortInterval(h->port), t.interval) << t.baud;
        // 8 data bits, odd parity, two stop bits: 12 bits a character.
        EXPECT_EQ(SerialPortCharTime(h->port), 12000000 / t.baud) << t.baud;
    }
    // A rate of 0 changes nothing (and divides by nothing) but the timeout.
    EXPECT_EQ(SetPortParams(h, 0, 0, 1, 77, 8), 0);
    EXPECT_STREQ(CommErrorText(h), "Invalid baud rate");
    EXPECT_EQ(SerialPortInterval(h->port), 6);
    EXPECT_EQ(h->replyTimeout, 77);
    CommClose(h);
}

// Rates the programs offer that have no speed code of their own (134.5 is
// asked for as 135) are set by number, with the interval, pacing, parity and
// stop bits that go with them; a coded rate afterwards sets both directions.
TEST(SerialDriver, RatesWithoutASpeedCodeAreSetByNumber) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    CommHandle *h = OpenModbusRTU(pty.path, 1);
    ASSERT_NE(h, nullptr);
    const struct {
        int baud, interval;
    } table[] = {{135, 1144}, {3600, 46}, {7200, 25}, {14400, 14}, {28800, 9}, {56000, 6}};
    int fd = SerialPortFd(h->port);
    for (const auto &t : table) {
        EXPECT_EQ(SetPortParams(h, t.baud, PARITY_ODD, 2, 100, 8), 1) << CommErrorText(h);
        EXPECT_EQ(SerialPortInterval(h->port), t.interval) << t.baud;
        // 8 data bits, odd parity, two stop bits: 12 bits a character.
        EXPECT_EQ(SerialPortCharTime(h->port), 12000000 / t.baud) << t.baud;
        int input = 0;
        EXPECT_EQ(SerialBaudInForce(fd, &input), t.baud);
        EXPECT_EQ(input, t.baud);
        // A pty keeps the stop bits (it drops parity, which the pacing counts).
        termios tio;
        ASSERT_EQ(tcgetattr(fd, &tio), 0);
        EXPECT_TRUE(tio.c_cflag & CSTOPB) << t.baud;
    }
    // Even parity, one stop bit at 14400: 11 bits a character.
    EXPECT_EQ(SetPortParams(h, 14400, PARITY_EVEN, 1, 100, 8), 1);
    EXPECT_EQ(SerialPortCharTime(h->port), 11000000 / 14400);
    termios tio;
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
    EXPECT_EQ(SetPortParams(h, 9600, PARITY_NONE, 1, 100, 8), 1) << CommErrorText(h);
    int input = 0;
    EXPECT_EQ(SerialBaudInForce(fd, &input), 9600);
    EXPECT_EQ(input, 9600);
    EXPECT_EQ(SerialPortInterval(h->port), 20);
    CommClose(h);
}

// A device on the master end built from a port-less handle's framers: it
// answers each read request with the register numbers as values.
struct Device {
    SerialPort *port = nullptr;
    CommHandle *link = nullptr;
    std::thread thread;
    Bytes lastRoute;
    std::atomic<int> requests{0};
};

void DeviceLoop(Device *d) {
    uint8_t in[64];
    for (;;) {
        int n = SerialPortRead(d->port, in, sizeof in, -1);
        if (n == SERIAL_STOPPED)
            return;
        if (n <= 0)
            continue;
        Feed(d->link, Bytes(in, in + n));
        MsgBuffer *req = nullptr;
        {
            std::lock_guard<std::recursive_mutex> g(d->link->lock);
            req = queue_take(&d->link->replyQueue);
        }
        if (req) {
            d->lastRoute.clear();
            for (int i = 0; i < MSG_ROUTE_SIZE && req->route[i] != 0xFF; i++)
                d->lastRoute.push_back(req->route[i]);
            unsigned start = (unsigned)(req->data[2] << 8 | req->data[3]) / 2 + 1;
            unsigned count = req->data[5] + 1u;
            req->data[0] = 0x86;
            req->data[2] = req->data[3] = 0;
            for (unsigned i = 0; i < count; i++) {
                req->data[4 + 2 * i] = (uint8_t)((start + i) >> 8);
                req->data[5 + 2 * i] = (uint8_t)(start + i);
            }
            req->length = (uint16_t)(4 + 2 * count);
            d->link->expectedTransaction = (uint8_t)(req->data[1] + 1);
            SendMessage(d->link, req);
            d->requests++;
        }
        // Everything the device's link has to say, without waiting for its
        // fill bytes to run out.
        Bytes out;
        for (int i = 0; i < 400; i++) {
            unsigned b = TxFramer(d->link);
            if (b > 0xFF || b == FILL)
                break;
            out.push_back((uint8_t)b);
        }
        if (!out.empty() && SerialPortWrite(d->port, out.data(), (int)out.size()) < 0)
            return;
    }
}

TEST(SerialDriver, RoundTripWithNetToNetRoute) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    uint16_t route[3] = {2, 5, 3};
    CommHandle *h = OpenSymax(pty.path, 1, route);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->route.count, 3);
    EXPECT_EQ(h->route.drops[0], 105);

    Device d;
    d.port = SerialPortAttach(dup(pty.master), 9600);
    SerialPortSetPacing(d.port, 9600, 11);
    SerialPortSetInterval(d.port, 2);
    d.link = LinkHandle(false);
    d.link->expectedTransaction = 0; // the first request's transaction byte
    d.thread = std::thread(DeviceLoop, &d);

    h->replyTimeout = 200;
    uint16_t v[20] = {};
    for (int round = 0; round < 3; round++) {
        ASSERT_EQ(Read4X(h, 100 + round, 20, v), 20) << CommErrorText(h);
        EXPECT_EQ(v[0], 100 + round);
        EXPECT_EQ(v[19], 119 + round);
    }
    EXPECT_EQ(CommClose(h), 1);
    SerialPortStop(d.port);
    d.thread.join();
    EXPECT_EQ(d.lastRoute, (Bytes{'6', '9', 0xB0, '5', '0', '3'}));
    EXPECT_EQ(d.requests.load(), 3);
    SerialPortClose(d.port);
    LinkRelease(d.link);
}

TEST(SerialDriver, HangUpNeitherSpinsNorBlocksClose) {
    Pty *pty = new Pty;
    ASSERT_GE(pty->master, 0);
    uint16_t route[2] = {1, 1};
    CommHandle *h = OpenSymax(pty->path, 0, route);
    ASSERT_NE(h, nullptr);
    delete pty; // the far end goes away
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    SetPortParams(h, 9600, 1, 1, 30, 8);
    uint16_t v[4] = {};
    double cpu0 = CpuMs();
    auto t0 = Clock::now();
    // The port is gone for good: every transaction says so without waiting
    // for its reply, and neither the reader thread nor the attempts to open
    // the port again spin.
    for (int i = 0; i < 20; i++) {
        EXPECT_EQ(Read4X(h, 1, 4, v), 0);
        EXPECT_STREQ(CommErrorText(h), "Port not available");
        EXPECT_EQ(Write4X(h, 1, 4, v), 0);
        EXPECT_STREQ(CommErrorText(h), "Port not available");
    }
    double wall = MsSince(t0), cpu = CpuMs() - cpu0;
    EXPECT_LT(cpu, wall * 0.25) << "the dead line is spun on";
    t0 = Clock::now();
    EXPECT_EQ(CommClose(h), 1);
    EXPECT_LT(MsSince(t0), 500.0);
}

TEST(SerialDriver, CloseWhileSendingAtLowBaud) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    uint16_t route[2] = {1, 1};
    CommHandle *h = OpenSymax(pty.path, 0, route);
    ASSERT_NE(h, nullptr);
    SetPortParams(h, 300, 1, 1, 500, 8);
    uint16_t v[100] = {};
    MsgBuffer *b = pool_take();
    ASSERT_NE(b, nullptr);
    memset(b->data, 0x10, 200); // 400 characters on the wire: over ten seconds
    b->length = 200;
    EncodeRoute(b, &h->route);
    SendMessage(h, b);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto t0 = Clock::now();
    EXPECT_EQ(CommClose(h), 1);
    EXPECT_LT(MsSince(t0), 500.0);
    (void)v;
}

} // namespace
