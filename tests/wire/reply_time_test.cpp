// Replies are taken when their last byte is in, not one quiet interval later.
// The test plays the device on a pty at 1200 baud, where the quiet interval
// that used to end every reply is 132 ms (over fourteen character times): a
// reply taken within that interval of its last byte was not held back by it.
#include "comm/comm_internal.h"
#include "platform/pty.h"
#include "platform/serial.h"
#include "sim/modbus_serial/serial_frames.h"
#include "tests/symax/link_helpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Reads the line until pred says the bytes so far are complete, at most 10 s.
Bytes ReadUntil(int fd, const std::function<bool(const Bytes &)> &complete) {
    Bytes got;
    auto end = Clock::now() + std::chrono::seconds(10);
    while (!complete(got) && Clock::now() < end) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        uint8_t buf[256];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
    }
    return got;
}

// The index just past DLE <second> at or after from; 0 when not there.
size_t PastPair(const Bytes &b, uint8_t second, size_t from = 0) {
    for (size_t i = from; i + 1 < b.size(); i++) {
        if (b[i] == DLE && b[i + 1] == DLE) {
            i++; // a data DLE
            continue;
        }
        if (b[i] == DLE && b[i + 1] == second)
            return i + 2;
    }
    return 0;
}

// The caller's thread, joined on every way out of the test (a failed
// assertion included; the read then ends with its timeout).
struct Caller {
    std::thread thread;
    explicit Caller(std::function<void()> f) : thread(std::move(f)) {}
    ~Caller() {
        if (thread.joinable())
            thread.join();
    }
};

struct ReplyTime : ::testing::Test {
    PtyPair pty = {-1, -1, "", ""};
    CommHandle *h = nullptr;
    void TearDown() override {
        if (h)
            CommClose(h);
        PtyClose(&pty);
    }
    long IntervalMs() { return SerialPortInterval(h->port); }
    double CharMs() { return SerialPortCharTime(h->port) / 1000.0; }
};

TEST_F(ReplyTime, SymaxReplyIsTakenWithItsLastByte) {
    ASSERT_TRUE(PtyOpen(&pty));
    uint16_t route[] = {1, 1};
    h = OpenSymax(pty.slavePath, 0, route);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(SetPortParams(h, 1200, 1, 1, 500, 8), 1);
    ASSERT_EQ(IntervalMs(), 132);

    uint16_t v[2] = {0, 0};
    std::atomic<int> result{-1};
    Clock::time_point done;
    Caller caller([&] {
        result = Read4X(h, 3, 2, v);
        done = Clock::now();
    });
    // The request up to its check character, then its acknowledgement.
    Bytes request = ReadUntil(pty.master, [](const Bytes &b) {
        size_t end = PastPair(b, ETX);
        return end != 0 && b.size() > end;
    });
    size_t data = PastPair(request, STX);
    ASSERT_NE(data, 0u) << "no request came";
    ASSERT_GT(request.size(), data + 1);
    uint8_t transaction = request[data + 1];
    const uint8_t ack[] = {DLE, DC1};
    ASSERT_EQ(write(pty.master, ack, sizeof ack), 2);
    // 19 characters: two full reads of 8 and three bytes over, which the
    // reader used to hold until the line went quiet.
    Bytes reply =
        RefFrame(DC1, "01", {0x86, transaction, 0x00, 0x04, 0x12, 0x34, 0x00, 0x10}, false);
    ASSERT_NE(reply.size() % 8, 0u);
    ASSERT_EQ(write(pty.master, reply.data(), reply.size()), (ssize_t)reply.size());
    Clock::time_point last = Clock::now();
    caller.thread.join();
    ASSERT_EQ(result.load(), 2) << CommErrorText(h);
    EXPECT_EQ(v[0], 0x1234);
    EXPECT_EQ(v[1], 0x0010);
    double ms = std::chrono::duration<double, std::milli>(done - last).count();
    EXPECT_LT(ms, (double)IntervalMs())
        << "taken " << ms / CharMs() << " character times after its last byte";
}

TEST_F(ReplyTime, RtuReplyIsTakenWithItsLastByte) {
    ASSERT_TRUE(PtyOpen(&pty));
    h = OpenModbusRTU(pty.slavePath, 7);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(SetPortParams(h, 1200, 1, 1, 500, 8), 1);
    ASSERT_EQ(IntervalMs(), 132);

    uint16_t v[2] = {0, 0};
    std::atomic<int> result{-1};
    Clock::time_point done;
    Caller caller([&] {
        result = Read4X(h, 1, 2, v);
        done = Clock::now();
    });
    Bytes request = ReadUntil(pty.master, [](const Bytes &b) { return b.size() >= 8; });
    ASSERT_EQ(request.size(), 8u) << "no request came";
    EXPECT_EQ(request[1], 0x03);
    const uint8_t pdu[] = {0x03, 0x04, 0x12, 0x34, 0x00, 0x10};
    uint8_t reply[FRAME_RTU_MAX];
    int n = FrameRtuEncode(7, pdu, sizeof pdu, reply);
    ASSERT_EQ(write(pty.master, reply, (size_t)n), (ssize_t)n);
    Clock::time_point last = Clock::now();
    caller.thread.join();
    ASSERT_EQ(result.load(), 2) << CommErrorText(h);
    EXPECT_EQ(v[0], 0x1234);
    EXPECT_EQ(v[1], 0x0010);
    double ms = std::chrono::duration<double, std::milli>(done - last).count();
    EXPECT_LT(ms, (double)IntervalMs())
        << "taken " << ms / CharMs() << " character times after its last byte";
}

} // namespace
